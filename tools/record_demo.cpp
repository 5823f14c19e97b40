// record_demo: records a demo by playing a world live with a scripted player.
// Usage: record_demo SCRIPT WORLD_DIR DEMO_FILE
//
// The engine runs headless in live play on the world folder as it is, exactly as for a
// person, except that its keyboard and mouse are a script's: the control step reads
// them, moves the camera, collides with walls and models, and records every step into
// the demo file named as --record would name it. So the demo is the engine's own
// recording; the script only says which keys are held. What game.ini says of demos and
// of drawing is set aside for the run (PLAYDEMO 0, DIRECTX 0, the recording as --record):
// the demo is the script's, whatever the world's game.ini holds.
//
// The demo is recorded into a new file beside DEMO_FILE and renamed over it only when
// the script ran to its end and the engine ended with status 0; anything else (an error,
// Ctrl+C, a full disk) leaves the old demo as it was and ends with status 1.
//
// Script, one step a line ('#' starts a comment):
//   walk N        hold the Up arrow for N frames
//   turn D [N]    move the mouse so the heading turns by D tenths of a degree (positive:
//                 to the left), spread over N frames (default: 16 tenths a frame)
//   look D [N]    the same for the pitch (positive: up)
//   wait N        N frames with nothing held
// At the end of the script the player presses Escape.
// After each line the tool prints the frame, the eye, the heading and the current cell.
#include <fcntl.h>   // Required for: open
#include <unistd.h>  // Required for: unlink

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/cmdline.h"
#include "app/engine.h"
#include "input/input.h"  // Required for: keyEscape, keyUp, the demo
#include "platform/devices.h"
#include "files/regular_file.h"  // Required for: createBeside, finishBeside, printable
#include "render/render.h"
#include "program_info.h"  // Required for: --help, --version
#include "world/settings.h"  // Required for: PLAYDEMO, DIRECTX

namespace {

// Frames the run may take beyond the script's: a few batches for the Escape to take
// effect.
constexpr long escapeFrames = 100;

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
    long total = 0;  // frames of the steps so far
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
            errno = 0;
            const long value = std::strtol(words[k].c_str(), &end, 10);
            if (*end != '\0' || words[k].empty()) return fail("'" + words[k] + "' is not a whole number");
            // Frame counts and angles are ints in the engine; beyond that a step would
            // wrap round (or never end).
            if (errno == ERANGE || value < INT_MIN || value > INT_MAX)
                return fail("'" + words[k] + "' is outside " + std::to_string(INT_MIN) + ".." +
                            std::to_string(INT_MAX));
            values.push_back(value);
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
        // The engine counts the whole run's frames in an int, with room for the Escape.
        if (total + step.frames > INT_MAX - escapeFrames)
            return fail("the script is longer than " + std::to_string(INT_MAX - escapeFrames) + " frames");
        total += step.frames;
        steps.push_back(step);
    }
    if (in.bad()) {
        error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

// The player: at each keyboard read, the keys and motion of the next frame of the script.
struct Player {
    std::vector<Step> steps;
    size_t step = 0;
    int frame = 0;  // within the step
    int total = 0;
    bool finished = false;  // every step was played and Escape pressed

    void report(const Step& s) const {
        std::printf("line %3d: frame %5d  eye %8.2f %8.2f  yaw %4d  pitch %4d  cell %d\n", s.line, total, camera.posX,
                    camera.posZ, camera.yaw, camera.pitch, currentCell);
    }

    void next() {
        platform::clearFakeKeys();
        while (step < steps.size() && frame == steps[step].frames) {
            ++step;
            frame = 0;
            report(steps[step - 1]);
        }
        ++total;
        if (step == steps.size()) {
            finished = true;
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

// The recording goes into a new file beside the demo; only a whole run is renamed over
// it, so a run that fails, is interrupted or is killed leaves the old demo as it was.
bool newFileBeside(const std::string& output, std::string& path, std::string& error) {
    platform::OpenedFile file = platform::createBeside(output, path);
    if (!file.ok()) {
        error = "cannot record into " + output + ": " + file.reason + "; no demo written";
        return false;
    }
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

// The demo is the script's alone: a game.ini that would play a demo (PLAYDEMO 1) or draw
// nothing (DIRECTX) is set aside for the run, and --record stands for its SAVEDEMO.
void recordExactlyTheScript() {
    PLAYDEMO = 0;
    DIRECTX = 0;
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
        std::fprintf(stderr, "%s\n", platform::printable(error).c_str());
        return 1;
    }
    const std::string output = std::filesystem::absolute(argv[3]).string();
    std::string recording;
    if (!newFileBeside(output, recording, error)) {
        std::fprintf(stderr, "%s\n", platform::printable(error).c_str());
        return 1;
    }
    platform::useFakeInputSource(true);
    platform::setFakeFocus(true);
    platform::setFakeInputFeeder([&player] { player.next(); });
    settingsObserver = recordExactlyTheScript;
    CommandLine line;
    line.headless = true;
    line.worldDir = argv[2];
    line.record = recording;  // as --record: the engine writes every frame's step
    // A bound in case the player is never asked for input (the devices not read).
    long frames = 0;
    for (const Step& s : player.steps) frames += s.frames;
    line.frames = frames + escapeFrames;
    const int status = engineMain(line);
    std::string reason;
    bool written = false;
    if (status == 0 && player.finished) {
        platform::FileHandle file(open(recording.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
        reason = file ? "" : std::strerror(errno);
        written = file && platform::finishBeside(std::move(file), recording, output, reason);
    }
    if (!written) {
        unlink(recording.c_str());
        const std::string why = status != 0        ? "the engine ended with status " + std::to_string(status)
                                : !player.finished ? "the run ended before the end of the script"
                                                   : reason;
        std::fprintf(stderr, "recording failed (%s); no demo written, %s left as it was\n",
                     platform::printable(why).c_str(), platform::printable(output).c_str());
        return 1;
    }
    return 0;
}
