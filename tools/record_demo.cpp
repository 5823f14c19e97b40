// record_demo: records a demo by playing a world live with a scripted player.
// Usage: record_demo SCRIPT WORLD_DIR DEMO_FILE
//
// The engine runs headless in live play on the world folder as it is, exactly as for a
// person, except that its keyboard and mouse are a script's: the control step reads
// them, moves the camera, collides with walls and models, and records every step into
// the demo file named as --record would name it. So the demo is the engine's own
// recording; the script only says which keys are held.
//
// Script, one step a line ('#' starts a comment):
//   walk N        hold the Up arrow for N frames
//   turn D [N]    move the mouse so the heading turns by D tenths of a degree (positive:
//                 to the left), spread over N frames (default: 16 tenths a frame)
//   look D [N]    the same for the pitch (positive: up)
//   wait N        N frames with nothing held
// At the end of the script the player presses Escape.
// After each line the tool prints the frame, the eye, the heading and the current cell.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/cmdline.h"
#include "app/engine.h"
#include "input/input.h"
#include "platform/devices.h"
#include "render/render.h"
#include "program_info.h"  // Required for: --help, --version

namespace {

constexpr int keyEscape = 0x01, keyUp = 0xC8;

struct Step {
    int line = 0;
    bool walk = false;
    int frames = 0;
    int mouseX = 0, mouseY = 0;  // motion over the whole step, in mouse counts
};

// One mouse count turns the camera by 4 tenths of a degree.
bool parseScript(const std::string& path, std::vector<Step>& steps, std::string& error) {
    std::ifstream in(path);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    int number = 0;
    for (std::string text; std::getline(in, text);) {
        ++number;
        std::istringstream in(text.substr(0, text.find('#')));
        std::vector<std::string> words;
        for (std::string w; in >> w;) words.push_back(w);
        if (words.empty()) continue;
        const std::string& verb = words[0];
        Step step;
        step.line = number;
        const auto fail = [&](const std::string& why) {
            error = path + ":" + std::to_string(number) + ": " + why;
            return false;
        };
        std::vector<long> values;
        for (size_t k = 1; k < words.size(); ++k) {
            char* end = nullptr;
            values.push_back(std::strtol(words[k].c_str(), &end, 10));
            if (*end != '\0' || words[k].empty()) return fail("'" + words[k] + "' is not a whole number");
        }
        if (values.empty() || values.size() > 2) return fail("expected: walk N | turn D [N] | look D [N] | wait N");
        const long a = values[0], b = values.size() > 1 ? values[1] : -1;
        if (verb == "walk" || verb == "wait") {
            if (a <= 0 || b != -1) return fail(verb + " takes one positive frame count");
            step.walk = verb == "walk";
            step.frames = int(a);
        } else if (verb == "turn" || verb == "look") {
            if (a % 4 != 0) return fail("angles go in steps of 4 tenths of a degree");
            const long counts = -a / 4;
            const long frames = b > 0 ? b : (std::labs(a) + 15) / 16;
            if (frames <= 0 || std::labs(counts) > 100 * frames) return fail("too fast a turn for one mouse step a frame");
            step.frames = int(frames);
            (verb == "turn" ? step.mouseX : step.mouseY) = int(counts);
        } else {
            return fail("unknown step '" + verb + "'");
        }
        steps.push_back(step);
    }
    return true;
}

// The player: at each keyboard read, the keys and motion of the next frame of the script.
struct Player {
    std::vector<Step> steps;
    size_t step = 0;
    int frame = 0;  // within the step
    int total = 0;

    void report(const Step& s) const {
        std::printf("line %3d: frame %5d  eye %8.2f %8.2f  yaw %4d  pitch %4d  cell %d\n", s.line, total, camera.posX,
                    camera.posZ, camera.yaw, camera.pitch, currentCell);
    }

    void next() {
        platform::clearFakeKeys();
        while (step < steps.size() && frame == steps[step].frames) {
            ++step;
            frame = 0;
            if (step < steps.size() || true) report(steps[step - 1]);
        }
        ++total;
        if (step == steps.size()) {
            platform::setFakeKey(keyEscape, true);
            return;
        }
        const Step& s = steps[step];
        // Spread the motion evenly: frame k moves by the difference of two rounded shares.
        const auto share = [&](int counts, int k) { return int(long(counts) * k / s.frames); };
        platform::addFakeMouseMotion(share(s.mouseX, frame + 1) - share(s.mouseX, frame),
                                     share(s.mouseY, frame + 1) - share(s.mouseY, frame));
        if (s.walk) platform::setFakeKey(keyUp, true);
        ++frame;
    }
};

// A fresh name in the temporary folder, for the recording until it is complete: a
// failed run leaves the demo it would have replaced as it was.
bool temporaryDemo(std::string& path) {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/record_XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0) return false;
    close(fd);
    path = pattern;
    return true;
}

std::string helpText(const std::string& name) {
    return "usage: " + name + " SCRIPT WORLD_DIR DEMO_FILE\n"
           "Records a portal-engine demo: plays WORLD_DIR live and headless with a scripted player\n"
           "at the keyboard and mouse, and writes every frame's step into DEMO_FILE (only once the\n"
           "run has succeeded). After each step it prints the frame, the eye and the current cell.\n"
           "Script, one step a line ('#' starts a comment):\n"
           "  walk N       hold the Up arrow for N frames\n"
           "  turn D [N]   turn the heading by D tenths of a degree (positive: to the left),\n"
           "               spread over N frames (default: 16 tenths a frame)\n"
           "  look D [N]   the same for the pitch (positive: up)\n"
           "  wait N       N frames with nothing held\n"
           "At the end of the script the player presses Escape.\n"
           "  --help       show this text\n"
           "  --version    show the version\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (answerInfoOption(argc, argv, helpText)) return 0;
    if (argc != 4) {
        std::fprintf(stderr, "usage: record_demo SCRIPT WORLD_DIR DEMO_FILE\n");
        return 2;
    }
    Player player;
    std::string error;
    if (!parseScript(argv[1], player.steps, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::string recording;
    if (!temporaryDemo(recording)) {
        std::fprintf(stderr, "cannot make a temporary file for the recording\n");
        return 1;
    }
    const std::string output = std::filesystem::absolute(argv[3]).string();
    platform::useFakeInputSource(true);
    platform::setFakeFocus(true);
    platform::setFakeInputFeeder([&player] { player.next(); });
    CommandLine line;
    line.headless = true;
    line.worldDir = argv[2];
    line.record = recording;  // as --record: the engine writes every frame's step
    // A bound in case the player is never asked for input (the devices not read):
    // the script's frames, and a few batches for the Escape to take effect.
    long frames = 0;
    for (const Step& s : player.steps) frames += s.frames;
    line.frames = frames + 100;
    const int status = engineMain(line);
    std::error_code code;
    if (status == 0)
        std::filesystem::copy_file(recording, output, std::filesystem::copy_options::overwrite_existing, code);
    std::filesystem::remove(recording);
    if (status != 0 || code) {
        std::fprintf(stderr, "recording failed (engine status %d%s)\n", status, code ? ", no demo written" : "");
        return 1;
    }
    return 0;
}
