// The two game.ini readers and the command line.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <string>

#include "app/cmdline.h"
#include "app/config.h"
#include "support/child_process.h"
#include "world/settings.h"

namespace {

std::string writeIni(const std::string& text) {
    const std::string path = testing::TempDir() + "game_" +
                             testing::UnitTest::GetInstance()->current_test_info()->name() + ".ini";
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

class Config : public testing::Test {
protected:
    void SetUp() override { resetSettings(); }
    void TearDown() override { resetSettings(); }
};

TEST_F(Config, TheTwoReadersHaveTheirOwnDefaults) {
    const std::string path = writeIni("WIDTH 800\nHEIGHT 600\n");
    const WindowConfig window = readWindowConfig(path.c_str());
    EXPECT_EQ(window.fullscreen, 0);  // an overlapped window...
    EXPECT_EQ(window.width, 800);
    EXPECT_EQ(window.height, 600);
    readEngineConfig(path.c_str());
    EXPECT_EQ(FULLSCREEN, 1);  // ...while the engine still switches the display
    EXPECT_EQ(WIDTH, 800);
    EXPECT_EQ(HEIGHT, 600);
    EXPECT_EQ(DIRECTX, 0);
}

// A file that is missing or too large to be a configuration is not read at all: each
// reader keeps its defaults, and the start-up reader says so in one line.
TEST_F(Config, AFileThatCannotBeReadGivesEachReaderItsDefaultsAndOneWarning) {
    const std::string oversized = writeIni("WIDTH 800 " + std::string(1 << 20, ' '));
    const std::pair<std::string, std::string> cases[] = {
        {"/nonexistent/game.ini", "No such file or directory"},
        {oversized, "is larger than 1048576 bytes"},
    };
    for (const auto& [path, reason] : cases) {
        resetSettings();
        testing::internal::CaptureStderr();
        const WindowConfig window = readWindowConfig(path.c_str());
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(window.fullscreen, 0);
        EXPECT_EQ(window.width, 640);
        EXPECT_EQ(window.height, 480);
        testing::internal::CaptureStderr();
        readEngineConfig(path.c_str());
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  path + ": warning: " + reason +
                      "; using the defaults FULLSCREEN 1, WIDTH 640, HEIGHT 480, DIRECTX 0\n");
        EXPECT_EQ(FULLSCREEN, 1);
        EXPECT_EQ(WIDTH, 640);
        EXPECT_EQ(HEIGHT, 480);
        EXPECT_EQ(PLAYDEMO, 0);
        EXPECT_EQ(SAVEDEMO, 0);
    }
}

TEST_F(Config, KeysAreCaseSensitiveStrayWordsSkippedLastValueWins) {
    const std::string path =
        writeIni("width 800 FULLSCREEN 2 junk 17 WIDTH 320 DIRECTX 1 WIDTH 1024 PLAYDEMO 1 walk.dem\n");
    const WindowConfig window = readWindowConfig(path.c_str());
    EXPECT_EQ(window.width, 1024);
    EXPECT_EQ(window.fullscreen, 2);
    readEngineConfig(path.c_str());
    EXPECT_EQ(WIDTH, 1024);
    EXPECT_EQ(FULLSCREEN, 2);
    EXPECT_EQ(DIRECTX, 1);
    EXPECT_EQ(PLAYDEMO, 1);
    EXPECT_EQ(demoPath, "walk.dem");
}

TEST_F(Config, AValueThatIsNotANumberWarnsAndKeepsTheDefault) {
    const std::string path = writeIni("WIDTH wide HEIGHT 600\nDIRECTX 1.5\nFULLSCREEN 99999999999\n");
    testing::internal::CaptureStderr();
    const WindowConfig window = readWindowConfig(path.c_str());
    readEngineConfig(path.c_str());
    const std::string warnings = testing::internal::GetCapturedStderr();
    EXPECT_EQ(window.width, 640);
    EXPECT_EQ(window.height, 600);  // the bad value did not swallow the next key
    EXPECT_EQ(WIDTH, 640);
    EXPECT_EQ(HEIGHT, 600);
    EXPECT_EQ(DIRECTX, 0);
    EXPECT_EQ(FULLSCREEN, 1);
    EXPECT_NE(warnings.find("WIDTH"), std::string::npos) << warnings;
    EXPECT_NE(warnings.find("'wide'"), std::string::npos) << warnings;
    EXPECT_NE(warnings.find("line 2: warning: DIRECTX"), std::string::npos) << warnings;
    EXPECT_NE(warnings.find("FULLSCREEN"), std::string::npos) << warnings;
}

TEST_F(Config, SizesMustMakeAWindow) {
    const std::string path = writeIni("WIDTH 0 HEIGHT -5\n");
    testing::internal::CaptureStderr();
    readEngineConfig(path.c_str());
    const std::string warnings = testing::internal::GetCapturedStderr();
    EXPECT_EQ(WIDTH, 640);
    EXPECT_EQ(HEIGHT, 480);
    EXPECT_NE(warnings.find("HEIGHT must be"), std::string::npos) << warnings;
}

// A value that is not a number is not consumed: the word is read again as a key, so a key
// written where the value should be still counts. A number out of range is consumed.
TEST_F(Config, EdgeValuesAndAKeyRightAfterABadValue) {
    struct Case {
        const char* text;
        int width, height, fullscreen, playDemo;  // as the start-up reader leaves them
        int windowWidth, windowHeight, windowFullscreen;
    };
    const Case cases[] = {
        {"WIDTH HEIGHT 600", 640, 600, 1, 0, 640, 600, 0},
        {"FULLSCREEN WIDTH 800", 800, 480, 1, 0, 800, 480, 0},
        {"HEIGHT FULLSCREEN 0", 640, 480, 0, 0, 640, 480, 0},
        {"WIDTH 0 HEIGHT 600", 640, 600, 1, 0, 640, 600, 0},
        {"WIDTH 1 HEIGHT 1 FULLSCREEN 0", 1, 1, 0, 0, 1, 1, 0},
        {"PLAYDEMO WIDTH 800", 800, 480, 1, 0, 800, 480, 0},
        {"PLAYDEMO x HEIGHT 300", 640, 300, 1, 0, 640, 300, 0},
        {"DIRECTX 0x1 HEIGHT 300 WIDTH", 640, 300, 1, 0, 640, 300, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        resetSettings();
        const std::string path = writeIni(c.text);
        testing::internal::CaptureStderr();
        const WindowConfig window = readWindowConfig(path.c_str());
        readEngineConfig(path.c_str());
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(WIDTH, c.width);
        EXPECT_EQ(HEIGHT, c.height);
        EXPECT_EQ(FULLSCREEN, c.fullscreen);
        EXPECT_EQ(DIRECTX, 0);
        EXPECT_EQ(PLAYDEMO, c.playDemo);
        EXPECT_EQ(window.width, c.windowWidth);
        EXPECT_EQ(window.height, c.windowHeight);
        EXPECT_EQ(window.fullscreen, c.windowFullscreen);
    }
}

// A side the engine could not draw at in reasonable memory and time is warned about
// and the default kept; the largest it draws is kept.
TEST_F(Config, SidesPastTheLargestWindowKeepTheDefault) {
    const struct {
        const char* text;
        int width, height;
        bool warned;
    } cases[] = {
        {"WIDTH 8192 HEIGHT 8192\n", 8192, 8192, false},
        {"WIDTH 16384 HEIGHT 16384\n", 640, 480, true},
        {"WIDTH 8193 HEIGHT 4294967297\n", 640, 480, true},
    };
    for (const auto& c : cases) {
        const std::string path = writeIni(c.text);
        testing::internal::CaptureStderr();
        readEngineConfig(path.c_str());
        const std::string warnings = testing::internal::GetCapturedStderr();
        EXPECT_EQ(WIDTH, c.width) << c.text;
        EXPECT_EQ(HEIGHT, c.height) << c.text;
        EXPECT_EQ(warnings.find("WIDTH must be 1..8192") != std::string::npos, c.warned) << warnings;
        const WindowConfig window = readWindowConfig(path.c_str());
        EXPECT_EQ(window.width, c.width) << c.text;
        EXPECT_EQ(window.height, c.height) << c.text;
    }
}

TEST_F(Config, LongTokensAndDemoPathsAreReadWhole) {
    const std::string longWord(5000, 'x');
    const std::string longPath = "demos/" + std::string(300, 'd') + ".dem";
    const std::string path = writeIni(longWord + " SAVEDEMO 1 " + longPath + " WIDTH 720");
    readEngineConfig(path.c_str());
    EXPECT_EQ(SAVEDEMO, 1);
    EXPECT_EQ(demoPath, longPath);
    EXPECT_EQ(WIDTH, 720);
}

// game.ini is only read: the readers ask for no write access, which no one (root
// included) has in the child.
TEST_F(Config, ReadingAsksForReadAccessOnly) {
    const std::string path = writeIni("WIDTH 1000 FULLSCREEN 0");
    ChildOptions options;
    options.denyWriteOpens = true;
    const ChildResult child = runInChild([&] {
        const WindowConfig window = readWindowConfig(path.c_str());
        readEngineConfig(path.c_str());
        return std::to_string(window.width) + " " + std::to_string(WIDTH) + " " + std::to_string(FULLSCREEN);
    }, options);
    EXPECT_EQ(child.output, "1000 1000 0") << child.describe();
}

struct CommandLineCase {
    std::vector<const char*> args;
    bool ok;
    const char* errorFragment;
};

TEST(CommandLineParse, AcceptsTheOptionsAndRefusesTheRest) {
    const CommandLineCase cases[] = {
        {{}, true, ""},
        {{"--headless", "worlds/sample"}, true, ""},
        {{"--frames", "30", "--screenshot", "out.png", "--timedemo"}, true, ""},
        {{"--debug-view", "--check", "worlds/sample"}, true, ""},
        {{"--fullscreen"}, false, "unknown option --fullscreen"},
        {{"--frames"}, false, "--frames needs"},
        {{"--frames", "-3"}, false, "--frames needs"},
        {{"--frames", "12x"}, false, "--frames needs"},
        {{"--frames", "0"}, false, "--frames needs a whole number from 1 to 2147483647"},
        {{"--frames", "--headless"}, false, "--frames needs"},
        // Frames are counted in 32 bits: past that a count would wrap, never stop or
        // stop at once, so it is refused.
        {{"--frames", "2147483647"}, true, ""},
        {{"--frames", "2147483648"}, false, "--frames needs a whole number from 1 to 2147483647"},
        {{"--frames", "4294967301"}, false, "--frames needs a whole number from 1 to 2147483647"},
        {{"--frames", "99999999999999999999999"}, false, "--frames needs"},
        {{"--screenshot"}, false, "--screenshot needs"},
        {{"a", "b"}, false, "more than one world folder"},
        {{"--demo", "walk.dem", "--record", "rec.dem", "--no-culling", "--no-stencil-portals", "--status"}, true, ""},
        {{"--demo"}, false, "--demo needs a file name"},
        {{"--record", ""}, false, "--record needs a file name"},
        {{"--timedemo-csv"}, false, "--timedemo-csv needs a file name"},
        {{"--watch", "--reload-shots", "shot", "worlds/sample"}, true, ""},
        {{"--reload-shots", "shot"}, false, "--reload-shots needs --watch"},
        {{"--watch", "--reload-shots"}, false, "--reload-shots needs a file name"},
    };
    for (const CommandLineCase& c : cases) {
        std::vector<const char*> argv = {"portal-engine"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        CommandLine line;
        std::string error;
        EXPECT_EQ(parseCommandLine(int(argv.size()), argv.data(), line, error), c.ok) << error;
        EXPECT_NE(error.find(c.errorFragment), std::string::npos) << error;
    }
    const char* argv[] = {"portal-engine", "--headless", "--frames", "30", "--screenshot", "s.png", "dir"};
    CommandLine line;
    std::string error;
    ASSERT_TRUE(parseCommandLine(7, argv, line, error));
    EXPECT_TRUE(line.headless);
    EXPECT_EQ(line.frames, 30);
    // The smallest count there is.
    const char* one[] = {"portal-engine", "--frames", "1"};
    CommandLine single;
    ASSERT_TRUE(parseCommandLine(3, one, single, error)) << error;
    EXPECT_EQ(single.frames, 1);
    EXPECT_EQ(line.screenshot, "s.png");
    EXPECT_EQ(line.worldDir, "dir");
    EXPECT_FALSE(line.timedemo);

    // A frame-time file is written by a timedemo only, so asking for one asks for both.
    const char* csv[] = {"portal-engine", "--timedemo-csv", "t.csv", "dir"};
    CommandLine timed;
    ASSERT_TRUE(parseCommandLine(4, csv, timed, error));
    EXPECT_TRUE(timed.timedemo);
    EXPECT_EQ(timed.timedemoCsv, "t.csv");
}

}  // namespace
