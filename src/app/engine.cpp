#include "app/engine.h"

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/config.h"
#include "app/graphics.h"
#include "app/live_world.h"
#include "app/timedemo.h"
#include "app/video.h"
#include "image/bitmap.h"
#include "input/input.h"
#include "files/regular_file.h"  // Required for: printable
#include "render/render.h"
#include "world/settings.h"

std::function<void(const char* stage)> shutdownObserver;
std::function<void()> settingsObserver;

namespace {

// Written once by engineMain from the command line.
std::string screenshotPath;
std::string playPath;    // --demo: played in place of game.ini's PLAYDEMO file
std::string recordInto;  // --record: recorded into in place of game.ini's SAVEDEMO file
bool timedemoRun = false;
bool engineRunning = false;  // engineStart ran and engineStop has not yet
bool endWritesFailed = false;  // the screenshot or the recording could not be written

void observe(const char* stage) {
    if (shutdownObserver) shutdownObserver(stage);
}

// Relative paths on the command line mean the folder the engine was started from, not
// the world folder it moves into.
std::string absolutePath(const std::string& path) {
    if (path.empty() || path[0] == '/') return path;
    char cwd[PATH_MAX];
    return getcwd(cwd, sizeof cwd) ? std::string(cwd) + "/" + path : path;
}

}  // namespace

platform::Window* openMainWindow() {
    const WindowConfig config = readWindowConfig("game.ini");
    platform::registerWindowClass(windowClassName, windowProc, nullptr);
    const platform::WindowStyle style =
        config.fullscreen ? platform::WindowStyle::popup : platform::WindowStyle::overlapped;
    platform::Window* window =
        platform::createWindow(windowClassName, windowTitle, style, config.width, config.height);
    if (window) platform::showWindow(window);
    return window;
}

namespace {

// The command line's demo files stand for the game.ini keys: --demo for PLAYDEMO,
// --record for SAVEDEMO. game.ini names one file for both, so a recording it asks for
// keeps that file when --demo names another to play.
void overrideDemoSettings() {
    if (!recordInto.empty()) {
        SAVEDEMO = 1;
        recordPath = recordInto;
    } else if (!playPath.empty() && SAVEDEMO == 1 && recordPath.empty()) {
        recordPath = demoPath;
    }
    if (!playPath.empty()) {
        PLAYDEMO = 1;
        demoPath = playPath;
    }
}

// Names on the command line are the user's own and may be any path; game.ini's
// recording (when --record does not stand for it) must stay in the world folder.
int refuseWorldRecordingPath() {
    if (!recordInto.empty()) return 0;
    const std::string refusal = worldRecordingRefusal();
    if (refusal.empty()) return 0;
    platform::showErrorBox("game.ini: " + refusal + ". Use --record FILE to record elsewhere.");
    return 1;
}

// The demo settings are checked before any file is opened: playing and recording
// into the same file would truncate the demo about to be played. A timedemo without a
// demo reads no devices: its camera stays at the start.
int startDemoOrInput(platform::Window* window) {
    if (PLAYDEMO == 0 && !timedemoRun) initInput(window);
    std::string message;
    if (openDemo(message) != 0) {
        platform::showErrorBox(message);
        return 1;
    }
    return 0;
}

}  // namespace

int engineStart(platform::Window* window) {
    readEngineConfig("game.ini");
    if (refuseWorldRecordingPath() != 0) return 1;
    overrideDemoSettings();
    if (settingsObserver) settingsObserver();
    std::string message;
    if (checkDemoSettings(message) != 0) {
        platform::showErrorBox(message);
        return 1;
    }
    engineRunning = true;
    if (initGraphics(window) == graphicsWorldFailed) return 1;
    return startDemoOrInput(window);
}

void engineStop() {
    if (!engineRunning) return;
    engineRunning = false;
    if (!screenshotPath.empty() && platform::hasContext(mainWindow)) {
        observe("screenshot");
        if (!writeScreenshot(screenshotPath)) {
            std::fprintf(stderr, "Cannot write the screenshot %s\n", platform::printable(screenshotPath).c_str());
            endWritesFailed = true;
        }
    }
    observe("releaseGraphics");
    releaseGraphics();
    if (PLAYDEMO == 0) {
        observe("releaseInput");
        releaseInput();
    }
    if (SAVEDEMO != 0 || PLAYDEMO != 0) {
        observe("closeDemo");
        if (!closeDemo()) endWritesFailed = true;
    }
}

intptr_t windowProc(platform::Window* window, platform::MessageType type, intptr_t wParam) {
    switch (type) {
    case platform::MessageType::destroy:
        engineStop();
        mainWindow = nullptr;
        platform::postQuitMessage(0);
        return 0;
    case platform::MessageType::activate:
        if (PLAYDEMO == 0) acquireInput();
        return platform::defaultWindowProc(window, type, wParam);
    case platform::MessageType::close:
        platform::destroyWindow(window);
        return 0;
    default:
        return platform::defaultWindowProc(window, type, wParam);
    }
}

namespace {

// Blocks until a message arrives and leaves it queued for the loop.
void waitForMessage() {
    platform::Message waiting;
    platform::getMessage(waiting);
    platform::postMessage(waiting);
}

}  // namespace

int runMessageLoop() {
    platform::Message message;
    for (;;) {
        if (platform::peekMessage(message)) {
            platform::getMessage(message);
            if (message.type == platform::MessageType::quit) return int(message.wParam);
            platform::translateMessage(message);
            platform::dispatchMessage(message);
            continue;
        }
        const bool drawing = platform::hasContext(mainWindow) && DIRECTX == 0;
        if (drawing) {
            frameStep();
        } else if (platform::isHeadless()) {
            // Nothing is drawn and no one can close a window that is not on screen.
            std::fprintf(stderr, "Nothing to draw (%s); ending the headless run.\n",
                         DIRECTX != 0 ? "DIRECTX is set" : "no OpenGL surface");
            platform::postQuitMessage(0);
        } else {
            // A blank window that still closes: wait for its messages instead of spinning.
            waitForMessage();
        }
    }
}

namespace {

// The start-up switches, once the engine start-up has set the defaults.
void applyStartSwitches(const CommandLine& line) {
    if (line.noCulling) portalCulling = 0;
    if (line.noStencilPortals) stencilPortals = 0;
    if (line.status) camera.showFrameRate = camera.showCellInfo = 1;
}

// A timedemo without a demo times a fixed number of frames from the start.
void limitTimedemoWithoutDemo(const CommandLine& line) {
    if (PLAYDEMO == 1) return;
    const long frames = line.frames > 0 ? line.frames : timedemoFramesWithoutDemo;
    frameLimit = int32_t(frames);
    std::fprintf(stderr, "No demo to play: the timedemo times %ld frames from the start.\n", frames);
}

// Runs the message loop, timed frame by frame in a timedemo, and prints the frame
// times. A frame-time file that could not be written in full makes the exit status 1.
int runLoop(const CommandLine& line) {
    if (!line.timedemo) return runMessageLoop();
    limitTimedemoWithoutDemo(line);
    const int exitCode = runMessageLoop();
    FrameTimeSummary summary;
    std::string error;
    const bool written = finishTimedemo(summary, error);
    std::fputs(timedemoReport(summary).c_str(), stdout);
    if (written) return exitCode;
    std::fprintf(stderr, "%s\n", error.c_str());
    return exitCode != 0 ? exitCode : 1;
}

}  // namespace

int engineMain(const CommandLine& line) {
    screenshotPath = absolutePath(line.screenshot);
    playPath = absolutePath(line.demo);
    recordInto = absolutePath(line.record);
    const std::string reloadShots = absolutePath(line.reloadShots);
    timedemoRun = line.timedemo;
    frameLimit = int32_t(line.frames);
    std::string error;
    if (!line.video.empty() && !beginVideoRecording(absolutePath(line.video), error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    // The frame-time file is created first: a run whose figures cannot be kept is not made.
    if (line.timedemo && !startTimedemo(absolutePath(line.timedemoCsv), error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    // However the run ends (frame count, Escape, end of a demo, a closed window), the
    // screenshot shows the last frame drawn.
    keepLastFrame = !screenshotPath.empty() || !line.video.empty();
    debugView = line.debugView ? 1 : 0;
    if (!line.worldDir.empty() && chdir(line.worldDir.c_str()) != 0) {
        std::fprintf(stderr, "Cannot enter the world folder %s\n", platform::printable(line.worldDir).c_str());
        return 1;
    }
    if (!platform::startVideo(line.headless)) {
        std::fprintf(stderr, "No display could be opened; --headless runs without one.\n");
        return 1;
    }
    bitmapErrorSink = [](const std::string& text) { platform::showErrorBox(text); };
    mainWindow = openMainWindow();
    if (!mainWindow) {
        platform::stopVideo();
        return 1;
    }
    int startStatus = engineStart(mainWindow);
    platform::setSwapInterval(line.headless || line.timedemo ? 0 : 1);
    if (startStatus == 0) applyStartSwitches(line);
    if (startStatus == 0 && line.watch && !startWorldWatch(reloadShots, line.headless, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        startStatus = 1;
    }
    int exitCode = startStatus != 0 ? startStatus : runLoop(line);
    stopWorldWatch();
    // The video ends with the last frame; one not written whole fails the run.
    if (!line.video.empty() && !endVideoRecording(startStatus == 0) && exitCode == 0) exitCode = 1;
    if (startStatus != 0 && line.timedemo) {
        FrameTimeSummary unused;
        finishTimedemo(unused, error);
    }
    // Every way out (window closed, Escape, end of a played demo, a failed start)
    // takes the window down, which runs engineStop once.
    if (mainWindow) platform::destroyWindow(mainWindow);
    if (line.headless && startStatus == 0) {
        // The eye in the coordinates of the cell it stands in (a passage carries it into
        // those of the cell it leads to), and that cell.
        std::printf("frames %d camera %.6f %.6f %.6f %d %d cell %d\n", framesDrawn, camera.posX, camera.posY,
                    camera.posZ, camera.yaw, camera.pitch, frameCounts.currentCell);
    }
    platform::stopVideo();
    // A screenshot or a recording asked for and not written is a failed run.
    return exitCode == 0 && endWritesFailed ? 1 : exitCode;
}

void resetEngine() {
    engineRunning = false;
    screenshotPath.clear();
    playPath.clear();
    recordInto.clear();
    timedemoRun = false;
    endWritesFailed = false;
    shutdownObserver = nullptr;
    settingsObserver = nullptr;
}
