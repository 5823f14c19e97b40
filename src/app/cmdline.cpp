#include "app/cmdline.h"

#include <charconv>
#include <cstring>

#include "app/video.h"  // Required for: videoFormatOf

const char* usageText() {
    return "usage: portal-engine [--headless] [--frames N] [--screenshot FILE.png] [--timedemo]\n"
           "                     [--timedemo-csv FILE] [--demo FILE] [--record FILE] [--no-culling]\n"
           "                     [--no-stencil-portals] [--status] [--debug-view] [--check] [--video FILE]\n"
           "                     [--watch] [--reload-shots PREFIX] [--model-info FILE.3ds] [--help]\n"
           "                     [--version] [DIR]\n"
           "  DIR               world folder holding game.ini and map.m (default: the current folder;\n"
           "                    when it holds no map.m, the installed sample world)\n"
           "  --headless        no window on screen; messages go to standard error\n"
           "  --frames N        quit after N frames\n"
           "  --screenshot F    write the last frame drawn to the PNG file F\n"
           "  --timedemo        play the demo as fast as possible, then print the frame times\n"
           "  --timedemo-csv F  a timedemo that also writes one line per frame to the file F\n"
           "  --demo F          play the demo file F (in place of PLAYDEMO in game.ini)\n"
           "  --record F        record into the demo file F (in place of SAVEDEMO in game.ini)\n"
           "  --no-culling      start with portal culling off (Shift+Q)\n"
           "  --no-stencil-portals  start with stencil portals off (P)\n"
           "  --status          start with the frame-rate and cell lines on (Shift+F, Shift+S)\n"
           "  --debug-view      show the portal map in the top-right corner from the start (M / Shift+M)\n"
           "  --check           check the world without opening a window: every problem as\n"
           "                    map.m:LINE: error|warning: ..., then a count; exit status 1 on errors.\n"
           "                    A point counts as outside a box when more than 0.01 beyond it in X or Z;\n"
           "                    portal corners more than 0.01 off their plane, and a plain portal's\n"
           "                    opening more than 0.01 from its neighbour's box, are errors; boxes\n"
           "                    overlap when they share more than 0.01 in both X and Z; a triangle or\n"
           "                    portal under 1e-6 square units has no area\n"
           "  --video F         write every frame drawn to the video F (.mp4, .webm or .gif), one\n"
           "                    frame a demo record at 60 frames a second, through ffmpeg\n"
           "  --watch           load the world again whenever game.ini, map.m or a texture or model it\n"
           "                    uses is saved, keeping the eye and the switches; a save that does not\n"
           "                    load keeps the last world on screen with the problems drawn over it\n"
           "  --reload-shots P  with --watch: write the first frame to P-0.png and the first frame\n"
           "                    after each reload (or refused one) to P-1.png, P-2.png, ...\n"
           "  --model-info F    print what the model file F holds (meshes with their vertices, faces and\n"
           "                    materials; materials with their texture maps; the bounds) and stop;\n"
           "                    exit status 1 when it cannot be read\n"
           "  --help            show this text\n"
           "  --version         show the version\n";
}

namespace {

// The renderer counts frames in 32 bits: a larger count would wrap to a small one, or
// to one that is never reached.
bool parseCount(const char* text, long& value) {
    const char* end = text + std::strlen(text);
    const auto result = std::from_chars(text, end, value);
    return result.ec == std::errc() && result.ptr == end && value > 0 && value <= maxFrameCount;
}

// The file name after the option at argv[i], which it steps over; false with `error` set
// when there is none.
bool takeFileName(int argc, const char* const* argv, int& i, std::string& value, std::string& error) {
    if (i + 1 >= argc || argv[i + 1][0] == '\0') {
        error = std::string(argv[i]) + " needs a file name";
        return false;
    }
    value = argv[++i];
    return true;
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
        } else if (arg == "--version") {
            line.version = true;
        } else if (arg == "--video") {
            if (!takeFileName(argc, argv, i, line.video, error)) return false;
            if (videoFormatOf(line.video) == VideoFormat::none) {
                error = "--video needs a file name ending in .mp4, .webm or .gif: " + line.video;
                return false;
            }
        } else if (arg == "--timedemo") {
            line.timedemo = true;
        } else if (arg == "--debug-view") {
            line.debugView = true;
        } else if (arg == "--check") {
            line.check = true;
        } else if (arg == "--frames") {
            if (!hasValue || !parseCount(argv[i + 1], line.frames)) {
                error = "--frames needs a whole number from 1 to " + std::to_string(maxFrameCount);
                return false;
            }
            ++i;
        } else if (arg == "--screenshot") {
            if (!hasValue || argv[i + 1][0] == '\0') {
                error = "--screenshot needs a file name";
                return false;
            }
            line.screenshot = argv[++i];
        } else if (arg == "--timedemo-csv") {
            if (!takeFileName(argc, argv, i, line.timedemoCsv, error)) return false;
        } else if (arg == "--demo") {
            if (!takeFileName(argc, argv, i, line.demo, error)) return false;
        } else if (arg == "--record") {
            if (!takeFileName(argc, argv, i, line.record, error)) return false;
        } else if (arg == "--no-culling") {
            line.noCulling = true;
        } else if (arg == "--no-stencil-portals") {
            line.noStencilPortals = true;
        } else if (arg == "--watch") {
            line.watch = true;
        } else if (arg == "--reload-shots") {
            if (!takeFileName(argc, argv, i, line.reloadShots, error)) return false;
        } else if (arg == "--model-info") {
            if (!takeFileName(argc, argv, i, line.modelInfo, error)) return false;
        } else if (arg == "--status") {
            line.status = true;
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
    // A frame-time file is only written by a timedemo.
    if (!line.timedemoCsv.empty()) line.timedemo = true;
    if (!line.reloadShots.empty() && !line.watch) {
        error = "--reload-shots needs --watch";
        return false;
    }
    return true;
}
