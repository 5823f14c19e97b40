// The platform layer: the one place that talks to SDL2. It offers the engine a window
// system shaped like the one the engine was designed for (a window class with a
// procedure, a peek/get/dispatch message loop, a quit message carrying a code), an
// OpenGL context on the window, the display mode, a millisecond clock and the "Error"
// message box. Keyboard and mouse live in platform/devices.h.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace platform {

// --- Start-up -----------------------------------------------------------------

// Starts SDL's video. Headless uses the offscreen driver: real GL, no window on
// screen, message boxes on standard error. Returns false (with a message on standard
// error) when no video driver can be started.
bool startVideo(bool headless);
void stopVideo();
bool isHeadless();

// --- Message box ----------------------------------------------------------------

// A modal box captioned "Error" with an OK button; standard error when headless.
void showErrorBox(const std::string& text);
// Tests catch the box's texts here instead; an empty function restores the box.
void setErrorBoxSink(std::function<void(const std::string&)> sink);

// --- Windows and messages -------------------------------------------------------

struct Window;  // opaque: an SDL window and what the layer keeps beside it

enum class MessageType { none, close, destroy, activate, quit, other };

struct Message {
    MessageType type = MessageType::none;
    Window* window = nullptr;
    intptr_t wParam = 0;  // activate: 1 gained focus, 0 lost it; quit: the exit code
};

using WindowProc = intptr_t (*)(Window* window, MessageType type, intptr_t wParam);

enum class WindowStyle { overlapped, popup };

// Records the procedure (and an icon file, if it exists) under a class name.
bool registerWindowClass(const char* className, WindowProc proc, const char* iconFile);
// Creates a window of the registered class, outer size width x height, hidden until shown.
Window* createWindow(const char* className, const char* title, WindowStyle style,
                     int width, int height);
void showWindow(Window* window);
// Sends destroy to the window's procedure, then takes the window down.
void destroyWindow(Window* window);

// True when a message waits; leaves it in the queue.
bool peekMessage(Message& message);
// Takes the next message, waiting for one if none is queued.
void getMessage(Message& message);
void translateMessage(const Message& message);
intptr_t dispatchMessage(const Message& message);
intptr_t defaultWindowProc(Window* window, MessageType type, intptr_t wParam);
// Queues the quit message; the loop ends when it reaches it.
void postQuitMessage(int exitCode);
// Queues any message, as the window system would (tests post close this way).
void postMessage(const Message& message);
// Clears the queue and the class table (tests).
void resetMessages();

// --- OpenGL context ---------------------------------------------------------------

// What the engine asks of its drawing surface.
struct PixelFormatRequest {
    bool doubleBuffer = true;
    int colorBits = 16;
    int depthBits = 16;
    int stencilBits = 8;
};

// What the surface has: channel bits and shifts as a pixel format describes them.
struct PixelFormatInfo {
    bool needsPalette = false;
    int colorBits = 0, depthBits = 0, stencilBits = 0;
    int redBits = 0, greenBits = 0, blueBits = 0;
    int redShift = 0, greenShift = 0, blueShift = 0;
    bool doubleBuffer = false;
};

// Asks for the closest format the system has; 0 when there is none.
int choosePixelFormat(Window* window, const PixelFormatRequest& request);
// Makes the chosen format the window's: creates the GL context on it. false when the
// context cannot be had or lacks what was asked (fewer stencil or depth bits).
bool setPixelFormat(Window* window, int format, const PixelFormatRequest& request);
PixelFormatInfo describePixelFormat(Window* window);
bool makeContextCurrent(Window* window);
void deleteContext(Window* window);
bool hasContext(Window* window);
void swapBuffers(Window* window);  // nothing for null
// The window whose context makeContextCurrent made current; null after
// makeContextCurrent(nullptr), or once that context is deleted. The frame loop
// presents to it.
Window* currentWindow();
// 1 waits for the vertical retrace, 0 does not.
void setSwapInterval(int interval);
void drawableSize(Window* window, int& width, int& height);

// --- Display mode -------------------------------------------------------------------

// Switches the window to exclusive full screen at the display mode closest to
// width x height x bitsPerPixel. false when the display has no such mode.
bool setDisplayMode(Window* window, int width, int height, int bitsPerPixel);
// Back to the desktop's own mode; harmless when none was set.
void restoreDisplayMode(Window* window);
// True from a successful setDisplayMode until the mode is restored (headless too, where
// there is no screen to switch).
bool displayModeSet(Window* window);
// True for a window made with the pop-up style (no border, no title bar).
bool isBorderless(Window* window);

// --- Clock ---------------------------------------------------------------------------

uint32_t milliseconds();
// Tests set the time here: milliseconds() returns what `clock` returns until an empty
// function brings back the real clock.
void setClockSource(std::function<uint32_t()> clock);

}  // namespace platform
