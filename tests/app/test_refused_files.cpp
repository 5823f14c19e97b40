// Every kind of file the engine opens, given as something that is no regular file (a
// FIFO, a folder, a device) or that cannot be read: each reader refuses at once with a
// message naming the file and what it is, and follows its own rule for a refusal.
// Each case runs in a child that is killed if an open blocks, and that runs without
// root so that a file of mode 000 really is unreadable.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "app/config.h"
#include "image/bitmap.h"
#include "input/input.h"
#include "model3ds/3dserr.h"
#include "model3ds/3dsfile.h"
#include "support/child_process.h"
#include "world/map.h"
#include "world/settings.h"
#include "world/world.h"

namespace fs = std::filesystem;

namespace {

// What each reader shows for a refused path, and what its refusal leaves behind.
struct FileKind {
    const char* name;
    std::function<std::string(const std::string& path)> open;  // the message, or "opened"
    std::function<std::string(const std::string& path, const std::string& reason)> expected;
};

std::string configOutcome(const std::string& path) {
    resetSettings();
    testing::internal::CaptureStderr();
    readWindowConfig(path.c_str());
    readEngineConfig(path.c_str());
    const std::string warning = testing::internal::GetCapturedStderr();
    // The defaults stay.
    if (FULLSCREEN != 1 || WIDTH != 640 || HEIGHT != 480 || DIRECTX != 0) return "settings changed";
    return warning;
}

std::string mapOutcome(const std::string& path) {
    resetWorld();
    std::string error;
    return loadMap(path.c_str(), MapResolvers{}, error) ? "opened" : error;
}

std::string demoOutcome(const std::string& path, bool play) {
    resetSettings();
    PLAYDEMO = play ? 1 : 0;
    SAVEDEMO = play ? 0 : 1;
    demoPath = path;
    std::string message;
    return openDemo(message) == 0 ? "opened" : message;
}

std::string bitmapOutcome(const std::string& path) {
    std::string shown;
    bitmapErrorSink = [&](const std::string& text) { shown += text; };
    return loadBitmap(path.c_str()) ? "opened" : shown;
}

std::string modelOutcome(const std::string& path) {
    ResetToolkit3ds();
    if (OpenModelFile3ds(path.c_str(), "rb")) return "opened";
    const ErrorEntry3ds& error = ErrorList3ds()[0];
    return std::to_string(error.code) + " " + error.where;
}

const FileKind fileKinds[] = {
    {"game.ini", configOutcome,
     [](const std::string& path, const std::string& reason) {
         return path + ": warning: " + reason + "; using the defaults FULLSCREEN 1, WIDTH 640, HEIGHT 480, DIRECTX 0\n";
     }},
    {"map.m", mapOutcome,
     [](const std::string& path, const std::string& reason) {
         return "Cannot open the map file " + path + ": " + reason;
     }},
    {"demo to play", [](const std::string& path) { return demoOutcome(path, true); },
     [](const std::string& path, const std::string& reason) {
         return "Cannot play the demo file \"" + path + "\": " + reason;
     }},
    {"demo to record", [](const std::string& path) { return demoOutcome(path, false); },
     [](const std::string& path, const std::string& reason) {
         return "Cannot record into the demo file \"" + path + "\": " + reason;
     }},
    {"bitmap", bitmapOutcome,
     [](const std::string& path, const std::string& reason) {
         return "Failed to open DIB file " + path + ".\n" + path + ": " + reason;
     }},
    {"model", modelOutcome,
     [](const std::string& path, const std::string& reason) {
         return std::to_string(ERR_OPENING_FILE) + " " + path + ": " + reason;
     }},
};

class SpecialFiles : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/refused_files_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        ASSERT_EQ(chmod(dir.c_str(), 0755), 0);  // the unprivileged child must get in
        ASSERT_EQ(mkfifo((dir + "/fifo").c_str(), 0666), 0);
        ASSERT_EQ(chmod((dir + "/fifo").c_str(), 0666), 0);  // writable for the recording case
        fs::create_directory(dir + "/folder");
        std::ofstream(dir + "/unreadable") << "WIDTH 800";
        ASSERT_EQ(chmod((dir + "/unreadable").c_str(), 0), 0);
    }
    void TearDown() override {
        fs::remove_all(dir);
        resetSettings();
    }
    std::string dir;
};

TEST_F(SpecialFiles, EveryReaderRefusesAtOnceNamingTheFileAndWhatItIs) {
    const struct {
        std::string path;
        std::string reason;
    } specials[] = {
        {dir + "/fifo", "is a FIFO"},
        {dir + "/folder", "is a folder"},
        {"/dev/zero", "is a device"},
        {dir + "/unreadable", "Permission denied"},
    };
    ChildOptions options;
    options.timeoutSeconds = 5;  // a blocked open never returns; a refusal takes milliseconds
    options.unprivileged = true;
    for (const FileKind& kind : fileKinds) {
        for (const auto& special : specials) {
            const ChildResult child = runInChild([&] { return kind.open(special.path); }, options);
            EXPECT_TRUE(child.exited) << kind.name << ", " << special.path << ": " << child.describe();
            EXPECT_EQ(child.output, kind.expected(special.path, special.reason))
                << kind.name << ", " << special.path;
        }
    }
}

}  // namespace
