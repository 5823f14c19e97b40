// The engine's life cycle on a real (offscreen) window: the GL state after set-up, the
// shutdown order, and the program run as a user runs it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <GL/gl.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "app/engine.h"
#include "app/graphics.h"
#include "input/input.h"
#include "platform/devices.h"
#include "support/child_process.h"
#include "support/gl_context.h"
#include "world/settings.h"
#include "world/world.h"

namespace {

const char* const minimalMap =
    "99900 -10 0 -10 10 5 10 0 99999 floor.bmp 99998 -10 0 -10 10 0 -10 10 0 10 0 0 4 0 4 4 100000\n";

// A new, empty folder: nothing left over from an earlier run can change what a test sees.
std::string freshDir() {
    std::string pattern = testing::TempDir() + "world_XXXXXX";
    return mkdtemp(pattern.data()) ? pattern : std::string();
}

// A world folder of its own for each test, holding the given files.
std::string makeWorld(const std::vector<std::pair<std::string, std::string>>& files) {
    const std::string dir = freshDir();
    for (const auto& [name, text] : files) std::ofstream(dir + "/" + name, std::ios::binary) << text;
    return dir;
}

// Runs the engine binary; returns its exit status and what it printed.
int runEngine(const std::string& args, std::string& output) {
    return runCommand(std::string(ENGINE_BINARY) + " " + args + " 2>&1", output);
}

// Enters a world folder and opens the engine's window on the offscreen driver.
class EngineWindow : public testing::Test {
protected:
    void SetUp() override {
        SKIP_IF_GL_UNAVAILABLE_AND_ASKED();
        char cwd[4096];
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        startDir = cwd;
        resetSettings();
        resetWorld();
        resetEngine();
        platform::resetMessages();
        platform::setErrorBoxSink([this](const std::string& text) { boxes.push_back(text); });
        ASSERT_TRUE(platform::startVideo(true));
    }
    void TearDown() override {
        if (startDir.empty()) return;  // skipped
        if (mainWindow) platform::destroyWindow(mainWindow);
        mainWindow = nullptr;
        platform::setErrorBoxSink(nullptr);
        platform::resetMessages();
        resetEngine();
        resetSettings();
        resetWorld();
        ASSERT_EQ(chdir(startDir.c_str()), 0);
    }
    void openWindow(const std::string& worldDir, int width, int height) {
        ASSERT_EQ(chdir(worldDir.c_str()), 0);
        platform::registerWindowClass(windowClassName, windowProc, nullptr);
        mainWindow = platform::createWindow(windowClassName, windowTitle, platform::WindowStyle::overlapped,
                                            width, height);
        ASSERT_NE(mainWindow, nullptr);
        platform::showWindow(mainWindow);
    }

    std::string startDir;
    std::vector<std::string> boxes;
};

TEST_F(EngineWindow, InitGraphicsLeavesTheFixedStateAndProjection) {
    openWindow(makeWorld({{"map.m", minimalMap}}), 640, 480);
    WIDTH = 640;
    HEIGHT = 480;
    FULLSCREEN = 0;
    ASSERT_EQ(initGraphics(mainWindow), 0);

    GLdouble projection[16];
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    // glFrustum(-0.5, 0.5, -0.375, 0.375, 1, 200), column by column.
    const double n = 1.0, f = 200.0;
    const double expected[16] = {2 * n / 1.0, 0, 0, 0, 0, 2 * n / 0.75, 0, 0, 0, 0, -(f + n) / (f - n), -1,
                                 0,           0, -2 * f * n / (f - n), 0};
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(projection[i], expected[i], 1e-6) << "element " << i;

    GLint mode = 0, stencilBits = 0, depthBits = 0, clearStencil = -1, writeMask = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    glGetIntegerv(GL_STENCIL_BITS, &stencilBits);
    glGetIntegerv(GL_DEPTH_BITS, &depthBits);
    glGetIntegerv(GL_STENCIL_CLEAR_VALUE, &clearStencil);
    glGetIntegerv(GL_STENCIL_WRITEMASK, &writeMask);
    EXPECT_EQ(mode, GL_MODELVIEW);
    EXPECT_GE(stencilBits, 8);
    EXPECT_GE(depthBits, 16);
    EXPECT_EQ(clearStencil, 0);
    EXPECT_EQ(writeMask & 0xFF, 0xFF);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    for (GLenum off : {GL_STENCIL_TEST, GL_TEXTURE_2D, GL_BLEND, GL_ALPHA_TEST, GL_FOG, GL_SCISSOR_TEST}) {
        EXPECT_FALSE(glIsEnabled(off)) << "capability " << off;
    }
    EXPECT_EQ(polygonCount, 1);  // the world was loaded last
    releaseGraphics();
}

TEST_F(EngineWindow, ClosingTheWindowRunsEngineStopInOrderAndEndsTheLoopWithZero) {
    openWindow(makeWorld({{"map.m", minimalMap}, {"game.ini", "FULLSCREEN 0 WIDTH 320 HEIGHT 240"}}), 320, 240);
    ASSERT_EQ(engineStart(mainWindow), 0);
    std::vector<std::string> stages;
    shutdownObserver = [&stages](const char* stage) { stages.push_back(stage); };
    platform::postMessage({platform::MessageType::close, mainWindow, 0});
    EXPECT_EQ(runMessageLoop(), 0);
    EXPECT_EQ(stages, (std::vector<std::string>{"releaseGraphics", "releaseInput"}));
    EXPECT_EQ(mainWindow, nullptr);
    engineStop();  // a second stop does nothing
    EXPECT_EQ(stages.size(), 2u);
}

TEST_F(EngineWindow, ARefusedMapStopsTheStartWithItsMessage) {
    openWindow(makeWorld({{"map.m", "99900 1 2 3\n"}, {"game.ini", "FULLSCREEN 0"}}), 320, 240);
    EXPECT_EQ(engineStart(mainWindow), 1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("map.m: line 1: unexpected end of file"), std::string::npos) << boxes[0];
}

// The entry reader's FULLSCREEN picks the window's style (non-zero: no border); the
// start-up reader's, which defaults to 1, switches the display mode only when exactly 1,
// and the release switches it back.
TEST_F(EngineWindow, FullscreenChoosesTheWindowStyleAndOnlyOneSwitchesTheDisplay) {
    struct Case {
        const char* ini;
        bool borderless, displayMode;
    } cases[] = {
        {"WIDTH 160 HEIGHT 120", false, true},
        {"FULLSCREEN 0 WIDTH 160 HEIGHT 120", false, false},
        {"FULLSCREEN 1 WIDTH 160 HEIGHT 120", true, true},
        {"FULLSCREEN 2 WIDTH 160 HEIGHT 120", true, false},
        {"FULLSCREEN -1 WIDTH 160 HEIGHT 120", true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ini);
        ASSERT_EQ(chdir(makeWorld({{"map.m", minimalMap}, {"game.ini", c.ini}}).c_str()), 0);
        resetSettings();
        resetEngine();
        mainWindow = openMainWindow();
        ASSERT_NE(mainWindow, nullptr);
        EXPECT_EQ(platform::isBorderless(mainWindow), c.borderless);
        EXPECT_FALSE(platform::displayModeSet(mainWindow));
        ASSERT_EQ(engineStart(mainWindow), 0);
        EXPECT_EQ(platform::displayModeSet(mainWindow), c.displayMode);
        platform::Window* window = mainWindow;
        releaseGraphics();
        EXPECT_FALSE(platform::displayModeSet(window));
        platform::destroyWindow(window);  // runs engineStop: input released, nothing else left
        mainWindow = nullptr;
    }
}

// The window procedure takes the devices back on every activation in live play, and
// does nothing with them while a demo plays.
TEST(WindowActivation, ReacquiresTheDevicesInLivePlayOnly) {
    static char standIn;
    platform::Window* window = reinterpret_cast<platform::Window*>(&standIn);
    resetSettings();
    resetInput();
    platform::useFakeInputSource(true);
    platform::setFakeFocus(true);
    ASSERT_EQ(initInput(window), 0);
    uint8_t keys[256];
    int32_t dx = 0, dy = 0;
    for (int played : {0, 1}) {
        SCOPED_TRACE(played ? "playing a demo" : "live play");
        PLAYDEMO = played;
        platform::setFakeFocus(false);
        platform::readKeyboardDevice(keys);  // the focus went: the devices are taken away
        platform::readMouseDevice(dx, dy);
        platform::setFakeFocus(true);
        EXPECT_EQ(platform::readKeyboardDevice(keys), platform::DeviceStatus::notAcquired);
        windowProc(window, platform::MessageType::activate, 1);
        const auto expected = played ? platform::DeviceStatus::notAcquired : platform::DeviceStatus::ok;
        EXPECT_EQ(platform::readKeyboardDevice(keys), expected);
        EXPECT_EQ(platform::readMouseDevice(dx, dy), expected);
        EXPECT_EQ(platform::mouseCaptured(), played == 0);
    }
    releaseInput();
    platform::useFakeInputSource(false);
    resetSettings();
}

// A 3-3-2 surface: red in bits 0-2, green in 3-5, blue in 6-7. The levels of a 3-bit
// channel are 0, 36, 72, 109, 145, 182, 218, 255 and of a 2-bit one 0, 85, 170, 255.
TEST(PaletteRule, ThreeThreeTwoSpreadsEachChannelOverTheFullRange) {
    platform::PixelFormatInfo format;
    format.needsPalette = true;
    format.colorBits = 8;
    format.redBits = 3, format.redShift = 0;
    format.greenBits = 3, format.greenShift = 3;
    format.blueBits = 2, format.blueShift = 6;
    const std::vector<PaletteEntry> entries = buildPalette(format);
    ASSERT_EQ(entries.size(), 256u);
    const struct {
        size_t index;
        int red, green, blue;
    } cases[] = {{0x00, 0, 0, 0},     {0x05, 182, 0, 0},   {0x30, 0, 218, 0}, {0x40, 0, 0, 85},
                 {0x9D, 182, 109, 170}, {0x92, 72, 72, 170}, {0xFF, 255, 255, 255}};
    for (const auto& c : cases) {
        const PaletteEntry& e = entries[c.index];
        EXPECT_EQ((std::vector<int>{e.red, e.green, e.blue}), (std::vector<int>{c.red, c.green, c.blue}))
            << "entry " << c.index;
    }
    format.needsPalette = false;
    EXPECT_TRUE(buildPalette(format).empty());  // true colour: no palette
}

TEST(EngineProgram, RunsHeadlessForTheFramesAskedAndReportsTheCamera) {
    SKIP_IF_GL_UNAVAILABLE_AND_ASKED();
    const std::string dir = freshDir();
    std::ofstream(dir + "/map.m") << minimalMap;
    std::ofstream(dir + "/game.ini") << "FULLSCREEN 0 WIDTH 160 HEIGHT 120";
    std::string output;
    EXPECT_EQ(runEngine("--headless --frames 3 " + dir, output), 0) << output;
    // The start lies outside the map's one box: no current cell.
    EXPECT_NE(output.find("frames 3 camera -25.000000 3.000000 15.000000 0 1800 cell -1\n"), std::string::npos)
        << output;
}

TEST(EngineProgram, ReportsBadInputWithAClearMessageAndStatus) {
    SKIP_IF_GL_UNAVAILABLE_AND_ASKED();
    const std::string dir = freshDir();
    std::ofstream(dir + "/game.ini") << "FULLSCREEN 0 WIDTH 160 HEIGHT 120";
    std::string output;
    EXPECT_EQ(runEngine("--headless --frames 300 " + dir, output), 1) << output;
    EXPECT_NE(output.find("map.m"), std::string::npos) << output;

    std::ofstream(dir + "/map.m") << "99900 -10 0 -10 10 5 10 0\n99998 1 2 3 4 five\n";
    EXPECT_EQ(runEngine("--headless --frames 300 " + dir, output), 1) << output;
    EXPECT_NE(output.find("map.m: line 2: expected a number of the wall polygon, found 'five'"),
              std::string::npos)
        << output;

    EXPECT_EQ(runEngine("--no-such-option", output), 2);
    EXPECT_NE(output.find("unknown option --no-such-option"), std::string::npos) << output;
    EXPECT_NE(output.find("usage: portal-engine"), std::string::npos) << output;

    EXPECT_EQ(runEngine("--headless /nonexistent/world", output), 1);
    EXPECT_NE(output.find("/nonexistent/world"), std::string::npos) << output;

    std::ofstream(dir + "/map.m") << minimalMap;
    std::ofstream(dir + "/walk.dem", std::ios::binary) << std::string(10, '\1');
    std::ofstream(dir + "/game.ini") << "FULLSCREEN 0 PLAYDEMO 1 walk.dem SAVEDEMO 1 walk.dem";
    EXPECT_EQ(runEngine("--headless --frames 300 " + dir, output), 1) << output;
    std::ifstream demo(dir + "/walk.dem", std::ios::binary | std::ios::ate);
    EXPECT_EQ(demo.tellg(), 10) << "the demo to be played is left whole";
}

TEST(EngineProgram, AHeadlessRunThatDrawsNothingEnds) {
    SKIP_IF_GL_UNAVAILABLE_AND_ASKED();
    const std::string dir = freshDir();
    std::ofstream(dir + "/map.m") << minimalMap;
    std::ofstream(dir + "/game.ini") << "FULLSCREEN 0 WIDTH 160 HEIGHT 120 DIRECTX 1";
    std::string output;
    EXPECT_EQ(runEngine("--headless --frames 5 " + dir, output), 0) << output;
    EXPECT_NE(output.find("frames 0 camera -25.000000 3.000000 15.000000 0 1800"), std::string::npos) << output;
}

}  // namespace

// --check: compiler-style lines in map order, a count, and the exit status.
TEST(EngineProgram, ChecksAWorldWithoutRunningIt) {
    std::string output;
    EXPECT_EQ(runEngine(std::string("--check ") + SOURCE_DIR + "/worlds/sample", output), 0) << output;
    const size_t lastLine = output.rfind('\n', output.size() - 2);
    EXPECT_EQ(output.compare(lastLine == std::string::npos ? 0 : lastLine + 1, 10, "0 errors, "), 0) << output;

    // A doorway whose neighbour's box starts a unit too far, a texture that is not there.
    const std::string dir = makeWorld({{"map.m",
                                        "99900 -35 0 5 -15 6 25 1\n"
                                        "  1 0  0 0 0  0 0 0  1 1 1  -27 0 25  -27 5 25  -23 5 25  -23 0 25\n"
                                        "99999 stone.bmp\n"
                                        "99900 -27 0 26 -23 6 45 1\n"
                                        "  0 0  0 0 0  0 0 0  1 1 1  -23 0 25  -23 5 25  -27 5 25  -27 0 25\n"
                                        "100000\n"},
                                       {"game.ini", "WIDTH 320"}});
    EXPECT_EQ(runEngine("--check " + dir, output), 1);
    EXPECT_EQ(output, dir + "/map.m:2: error: plain portal 0 of cell 0: its opening does not touch the box of "
                            "cell 1, the cell it leads to\n" +
                          dir + "/map.m:3: error: texture stone.bmp does not load: Failed to open DIB file "
                                "stone.bmp. stone.bmp: No such file or directory\n" +
                          dir + "/map.m:5: warning: portal 0 of cell 1: corner 0 lies 1 outside the box of cell 1\n"
                                "2 errors, 1 warning\n");

    // What the loader refuses, on its line, and nothing else: there is no world to check.
    std::ofstream(dir + "/map.m") << "99900 -35 0 5 -15 6 25 0\n99998 1 2 3 4 five\n";
    EXPECT_EQ(runEngine("--check " + dir + "/", output), 1);
    EXPECT_EQ(output, dir + "/map.m:2: error: expected a number of the wall polygon, found 'five'\n1 error, 0 warnings\n");

    // game.ini settings that would stop the start are errors too.
    std::ofstream(dir + "/map.m") << minimalMap;
    std::ofstream(dir + "/game.ini") << "PLAYDEMO 1 missing.dem";
    EXPECT_EQ(runEngine("--check " + dir, output), 1);
    EXPECT_NE(output.find(dir + "/game.ini: error: "), std::string::npos) << output;
    EXPECT_NE(output.find("missing.dem"), std::string::npos) << output;
}
