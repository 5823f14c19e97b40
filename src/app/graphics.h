// The OpenGL surface of the main window: display mode, pixel format, palette, context,
// the fixed state and projection the renderer relies on, and their release.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/platform.h"  // Required for: Window, PixelFormatInfo

constexpr double farPlane = 200.0;  // far distance of the main projection

// The one window: set when the engine opens it, null once it is destroyed.
extern platform::Window* mainWindow;

// initGraphics results besides 0.
constexpr int graphicsDisplayModeFailed = -1;
constexpr int graphicsWorldFailed = -2;  // the map was refused; the message was shown

// Sets up the window's drawing surface, puts the camera at the start point and loads
// the world (a refusal is shown in the "Error" box). Returns 0, or
// graphicsDisplayModeFailed (nothing after the display mode was done), or
// graphicsWorldFailed. Pixel-format failures end the process (exit code 1).
int initGraphics(platform::Window* window);

// The fixed GL state every frame relies on, set once on the new context: every optional
// feature off but the depth test, the main projection for WIDTH x HEIGHT multiplied into
// the projection matrix (the identity on a new context), model-view current, stencil
// clear 0 and write mask 0xFF. The renderer's tests start from it too.
void setFixedState();

// Asks for a double-buffered RGBA surface with 16 depth and 8 stencil bits; on failure
// shows "ChoosePixelFormat failed." or "SetPixelFormat failed." and exits with code 1.
void setupPixelFormat(platform::Window* window);

struct PaletteEntry {
    uint8_t red = 0, green = 0, blue = 0, flags = 0;
};

// The palette a palette device needs for the format: 2^colorBits entries, each channel
// ((i >> shift) & mask) * 255 / mask in integer arithmetic. Empty when none is needed.
std::vector<PaletteEntry> buildPalette(const platform::PixelFormatInfo& format);

// Builds and keeps the palette where the surface needs one.
void setupPalette(platform::Window* window);

// Releases the world, closes the status-line font, restores the display mode, deletes
// the context.
void releaseGraphics();

// The palette made by setupPalette (empty on true-colour surfaces).
extern std::vector<PaletteEntry> palette;
