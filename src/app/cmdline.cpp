#include "app/cmdline.h"

#include <charconv>
#include <cstring>

const char* usageText() {
    return "usage: portal-engine [--headless] [--frames N] [--screenshot FILE.png] [--timedemo] [--help] [DIR]\n"
           "  DIR               world folder holding game.ini and map.m (default: the current folder)\n"
           "  --headless        no window on screen; messages go to standard error\n"
           "  --frames N        quit after N frames\n"
           "  --screenshot F    write the last frame drawn to the PNG file F\n"
           "  --timedemo        do not wait for the vertical retrace\n"
           "  --help            show this text\n";
}

namespace {

bool parseCount(const char* text, long& value) {
    const char* end = text + std::strlen(text);
    const auto result = std::from_chars(text, end, value);
    return result.ec == std::errc() && result.ptr == end && value > 0;
}

}  // namespace

bool parseCommandLine(int argc, const char* const* argv, CommandLine& line, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--headless") {
            line.headless = true;
        } else if (arg == "--help" || arg == "-h") {
            line.help = true;
        } else if (arg == "--timedemo") {
            line.timedemo = true;
        } else if (arg == "--frames") {
            if (!hasValue || !parseCount(argv[i + 1], line.frames)) {
                error = "--frames needs a positive whole number";
                return false;
            }
            ++i;
        } else if (arg == "--screenshot") {
            if (!hasValue || argv[i + 1][0] == '\0') {
                error = "--screenshot needs a file name";
                return false;
            }
            line.screenshot = argv[++i];
        } else if (!arg.empty() && arg[0] == '-') {
            error = "unknown option " + arg;
            return false;
        } else if (!line.worldDir.empty()) {
            error = "more than one world folder: " + line.worldDir + " and " + arg;
            return false;
        } else {
            line.worldDir = arg;
        }
    }
    return true;
}
