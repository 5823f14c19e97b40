#include "platform/platform.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <vector>

#include "platform/icon.h"  // Required for: the window's icon

#include "files/regular_file.h"  // Required for: printable

namespace platform {

struct Window {
    SDL_Window* sdl = nullptr;
    SDL_GLContext context = nullptr;
    WindowProc proc = nullptr;
    bool fullscreen = false;  // a display mode was set and must be restored
};

namespace {

struct WindowClass {
    WindowProc proc = nullptr;
    std::string iconFile;
};

// Process-wide, like the window system it stands in for: set up by startVideo and
// registerWindowClass, emptied by resetMessages.
bool headlessVideo = false;
bool videoStarted = false;
std::function<void(const std::string&)> errorBoxSink;
std::map<std::string, WindowClass> windowClasses;
std::deque<Message> messageQueue;
Window* firstWindow = nullptr;  // SDL_QUIT (the desktop asking the program to end) goes here
std::function<uint32_t()> clockSource;  // set by tests only

// Turns the SDL events the engine cares about into messages: close, activate. Key and
// mouse events are not queued; the devices read SDL's state directly.
void pumpEvents() {
    if (!videoStarted) return;
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (event.type == SDL_QUIT && firstWindow) {
            messageQueue.push_back({MessageType::close, firstWindow, 0});
        } else if (event.type == SDL_WINDOWEVENT) {
            Window* window = firstWindow;  // the engine has one window
            if (!window) continue;
            switch (event.window.event) {
            case SDL_WINDOWEVENT_CLOSE:
                messageQueue.push_back({MessageType::close, window, 0});
                break;
            case SDL_WINDOWEVENT_FOCUS_GAINED:
                messageQueue.push_back({MessageType::activate, window, 1});
                break;
            case SDL_WINDOWEVENT_FOCUS_LOST:
                messageQueue.push_back({MessageType::activate, window, 0});
                break;
            default:
                break;
            }
        }
    }
}

// The surface the engine asks for. Set before the window exists too, since some video
// drivers choose the window's visual when it is created.
bool requestGlAttributes(const PixelFormatRequest& request) {
    const int channel = request.colorBits >= 24 ? 8 : 5;
    bool ok = SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, request.doubleBuffer ? 1 : 0) == 0;
    ok = ok && SDL_GL_SetAttribute(SDL_GL_RED_SIZE, channel) == 0;
    ok = ok && SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, channel) == 0;
    ok = ok && SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, channel) == 0;
    ok = ok && SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, request.depthBits) == 0;
    ok = ok && SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, request.stencilBits) == 0;
    // Display lists, selection mode and immediate mode need the compatibility profile.
    ok = ok && SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY) == 0;
    return ok;
}

int glAttribute(SDL_GLattr attribute) {
    int value = 0;
    return SDL_GL_GetAttribute(attribute, &value) == 0 ? value : 0;
}

int shiftOf(Uint32 mask) {
    if (mask == 0) return 0;
    int shift = 0;
    while (!(mask & 1u)) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

}  // namespace

bool startVideo(bool headless) {
    if (videoStarted) return true;
    headlessVideo = headless;
    if (headless) setenv("SDL_VIDEODRIVER", "offscreen", 1);
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_TIMER) != 0) {
        std::fprintf(stderr, "Cannot start the video system: %s\n", SDL_GetError());
        return false;
    }
    videoStarted = true;
    return true;
}

void stopVideo() {
    if (!videoStarted) return;
    SDL_Quit();
    videoStarted = false;
}

bool isHeadless() { return headlessVideo; }

void showErrorBox(const std::string& text) {
    if (errorBoxSink) {
        errorBoxSink(text);
        return;
    }
    SDL_Window* owner = videoStarted ? SDL_GetKeyboardFocus() : nullptr;
    if (headlessVideo || !videoStarted ||
        SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, "Error", text.c_str(), owner) != 0) {
        std::fprintf(stderr, "Error: %s%s", printable(text, true).c_str(),
                     !text.empty() && text.back() == '\n' ? "" : "\n");
    }
}

void setErrorBoxSink(std::function<void(const std::string&)> sink) { errorBoxSink = std::move(sink); }

bool registerWindowClass(const char* className, WindowProc proc, const char* iconFile) {
    windowClasses[className] = WindowClass{proc, iconFile ? iconFile : ""};
    return true;
}

namespace {

// The class's icon file when it names one that loads, the program's own picture otherwise.
void setWindowIcon(SDL_Window* sdl, const std::string& iconFile) {
    if (!iconFile.empty()) {
        if (SDL_Surface* icon = SDL_LoadBMP(iconFile.c_str())) {
            SDL_SetWindowIcon(sdl, icon);
            SDL_FreeSurface(icon);
            return;
        }
    }
    constexpr int side = 64;
    std::vector<uint8_t> pixels = drawIcon(side);
    if (SDL_Surface* icon = SDL_CreateRGBSurfaceWithFormatFrom(pixels.data(), side, side, 32, side * 4,
                                                               SDL_PIXELFORMAT_RGBA32)) {
        SDL_SetWindowIcon(sdl, icon);
        SDL_FreeSurface(icon);
    }
}

}  // namespace

Window* createWindow(const char* className, const char* title, WindowStyle style, int width,
                     int height) {
    const auto found = windowClasses.find(className);
    if (found == windowClasses.end() || !videoStarted) return nullptr;
    requestGlAttributes(PixelFormatRequest{});
    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
    if (style == WindowStyle::popup) flags |= SDL_WINDOW_BORDERLESS;
    SDL_Window* sdl = SDL_CreateWindow(title, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                                       width, height, flags);
    if (!sdl) {
        std::fprintf(stderr, "Cannot create the window: %s\n", SDL_GetError());
        return nullptr;
    }
    setWindowIcon(sdl, found->second.iconFile);
    Window* window = new Window{sdl, nullptr, found->second.proc, false};
    if (!firstWindow) firstWindow = window;
    return window;
}

void showWindow(Window* window) {
    if (window) SDL_ShowWindow(window->sdl);
}

void destroyWindow(Window* window) {
    if (!window) return;
    if (window->proc) window->proc(window, MessageType::destroy, 0);
    if (window->fullscreen) restoreDisplayMode(window);
    deleteContext(window);
    SDL_DestroyWindow(window->sdl);
    for (auto it = messageQueue.begin(); it != messageQueue.end();) {
        it = (it->window == window && it->type != MessageType::quit) ? messageQueue.erase(it) : it + 1;
    }
    if (firstWindow == window) firstWindow = nullptr;
    delete window;
}

bool peekMessage(Message& message) {
    pumpEvents();
    if (messageQueue.empty()) return false;
    message = messageQueue.front();
    return true;
}

void getMessage(Message& message) {
    pumpEvents();
    while (messageQueue.empty()) {
        SDL_WaitEventTimeout(nullptr, 10);
        pumpEvents();
    }
    message = messageQueue.front();
    messageQueue.pop_front();
}

// Nothing to translate: the engine reads keys as device state, never as characters.
void translateMessage(const Message&) {}

intptr_t dispatchMessage(const Message& message) {
    if (!message.window || !message.window->proc) return 0;
    return message.window->proc(message.window, message.type, message.wParam);
}

intptr_t defaultWindowProc(Window* window, MessageType type, intptr_t) {
    if (type == MessageType::close) destroyWindow(window);
    return 0;
}

void postQuitMessage(int exitCode) { messageQueue.push_back({MessageType::quit, nullptr, exitCode}); }

void postMessage(const Message& message) { messageQueue.push_back(message); }

void resetMessages() {
    messageQueue.clear();
    windowClasses.clear();
}

int choosePixelFormat(Window* window, const PixelFormatRequest& request) {
    if (!window || !requestGlAttributes(request)) return 0;
    if (!(SDL_GetWindowFlags(window->sdl) & SDL_WINDOW_OPENGL)) return 0;
    return 1;
}

bool setPixelFormat(Window* window, int format, const PixelFormatRequest& request) {
    if (!window || format != 1 || window->context) return false;
    window->context = SDL_GL_CreateContext(window->sdl);
    if (!window->context) {
        std::fprintf(stderr, "Cannot create an OpenGL context: %s\n", SDL_GetError());
        return false;
    }
    const PixelFormatInfo granted = describePixelFormat(window);
    // Buffering is not checked: offscreen surfaces report a single buffer, and a swap
    // on one is harmless. The stencil and depth bits are what drawing relies on.
    if (granted.stencilBits < request.stencilBits || granted.depthBits < request.depthBits) {
        std::fprintf(stderr, "The OpenGL surface has %d depth and %d stencil bits, %s buffered\n",
                     granted.depthBits, granted.stencilBits, granted.doubleBuffer ? "double" : "single");
        deleteContext(window);
        return false;
    }
    return true;
}

PixelFormatInfo describePixelFormat(Window* window) {
    PixelFormatInfo info;
    if (!window) return info;
    info.redBits = glAttribute(SDL_GL_RED_SIZE);
    info.greenBits = glAttribute(SDL_GL_GREEN_SIZE);
    info.blueBits = glAttribute(SDL_GL_BLUE_SIZE);
    info.depthBits = glAttribute(SDL_GL_DEPTH_SIZE);
    info.stencilBits = glAttribute(SDL_GL_STENCIL_SIZE);
    info.doubleBuffer = glAttribute(SDL_GL_DOUBLEBUFFER) != 0;
    info.colorBits = info.redBits + info.greenBits + info.blueBits;
    const Uint32 format = SDL_GetWindowPixelFormat(window->sdl);
    int bpp = 0;
    Uint32 r = 0, g = 0, b = 0, a = 0;
    if (format != SDL_PIXELFORMAT_UNKNOWN && SDL_PixelFormatEnumToMasks(format, &bpp, &r, &g, &b, &a)) {
        info.redShift = shiftOf(r);
        info.greenShift = shiftOf(g);
        info.blueShift = shiftOf(b);
        info.needsPalette = SDL_ISPIXELFORMAT_INDEXED(format);
    }
    return info;
}

namespace {
Window* contextWindow = nullptr;  // set and cleared by makeContextCurrent and deleteContext
}  // namespace

bool makeContextCurrent(Window* window) {
    contextWindow = nullptr;
    if (!window) return SDL_GL_MakeCurrent(nullptr, nullptr) == 0;
    const bool made = SDL_GL_MakeCurrent(window->sdl, window->context) == 0;
    if (made) contextWindow = window;
    return made;
}

Window* currentWindow() { return contextWindow; }

void deleteContext(Window* window) {
    if (!window || !window->context) return;
    if (contextWindow == window) contextWindow = nullptr;
    if (SDL_GL_GetCurrentContext() == window->context) SDL_GL_MakeCurrent(window->sdl, nullptr);
    SDL_GL_DeleteContext(window->context);
    window->context = nullptr;
}

bool hasContext(Window* window) { return window && window->context; }

void swapBuffers(Window* window) {
    if (window && window->context) SDL_GL_SwapWindow(window->sdl);
}

void setSwapInterval(int interval) { SDL_GL_SetSwapInterval(interval); }

void drawableSize(Window* window, int& width, int& height) {
    width = height = 0;
    if (window) SDL_GL_GetDrawableSize(window->sdl, &width, &height);
}

bool setDisplayMode(Window* window, int width, int height, int bitsPerPixel) {
    if (!window) return false;
    // There is no screen to switch when headless; the window keeps its size.
    if (headlessVideo) {
        window->fullscreen = true;
        return true;
    }
    const int display = SDL_GetWindowDisplayIndex(window->sdl);
    SDL_DisplayMode wanted{bitsPerPixel <= 16 ? SDL_PIXELFORMAT_RGB565 : SDL_PIXELFORMAT_RGB888, width,
                           height, 0, nullptr};
    SDL_DisplayMode closest;
    if (display < 0 || !SDL_GetClosestDisplayMode(display, &wanted, &closest)) return false;
    if (SDL_SetWindowDisplayMode(window->sdl, &closest) != 0) return false;
    if (SDL_SetWindowFullscreen(window->sdl, SDL_WINDOW_FULLSCREEN) != 0) return false;
    window->fullscreen = true;
    return true;
}

void restoreDisplayMode(Window* window) {
    if (!window || !window->fullscreen) return;
    if (!headlessVideo) SDL_SetWindowFullscreen(window->sdl, 0);
    window->fullscreen = false;
}

bool displayModeSet(Window* window) { return window && window->fullscreen; }

bool isBorderless(Window* window) {
    return window && (SDL_GetWindowFlags(window->sdl) & SDL_WINDOW_BORDERLESS) != 0;
}

uint32_t milliseconds() { return clockSource ? clockSource() : SDL_GetTicks(); }

void setClockSource(std::function<uint32_t()> clock) { clockSource = std::move(clock); }

}  // namespace platform
