#include "app/graphics.h"

#include <GL/gl.h>

#include <cstdlib>
#include <string>

#include "input/input.h"        // Required for: resetCamera
#include "platform/platform.h"  // Required for: showErrorBox
#include "platform/text.h"      // Required for: closeStatusFont
#include "render/render.h"  // Required for: nearPlane
#include "world/init.h"
#include "world/settings.h"

platform::Window* mainWindow = nullptr;

std::vector<PaletteEntry> palette;

namespace {

constexpr int fullscreenBitsPerPixel = 16;

// Fatal surface failures: the box, then the process ends with code 1 as nothing can be
// drawn without the surface.
[[noreturn]] void pixelFormatFailure(const char* text) {
    platform::showErrorBox(text);
    std::exit(1);
}

}  // namespace

void setFixedState() {
    const GLenum disabled[] = {GL_ALPHA_TEST,   GL_BLEND,           GL_DITHER,
                               GL_FOG,          GL_LINE_SMOOTH,     GL_LINE_STIPPLE,
                               GL_INDEX_LOGIC_OP, GL_POINT_SMOOTH,  GL_POLYGON_STIPPLE,
                               GL_SCISSOR_TEST, GL_STENCIL_TEST,    GL_TEXTURE_1D,
                               GL_TEXTURE_2D};
    for (GLenum capability : disabled) glDisable(capability);
    glGetError();  // colour-index logic op is not there in RGBA contexts: ignore its error

    // A new context's projection is the identity, so the frustum is multiplied in.
    const double aspect = double(HEIGHT) / double(WIDTH);
    glMatrixMode(GL_PROJECTION);
    glFrustum(-0.5, 0.5, -0.5 * aspect, 0.5 * aspect, nearPlane, farPlane);
    glMatrixMode(GL_MODELVIEW);
    glEnable(GL_DEPTH_TEST);
    glClearStencil(0);
    glStencilMask(0xFF);
}

void setupPixelFormat(platform::Window* window) {
    const platform::PixelFormatRequest request;  // RGBA, double buffer, 16 colour, 16 depth, 8 stencil
    const int format = platform::choosePixelFormat(window, request);
    if (format == 0) pixelFormatFailure("ChoosePixelFormat failed.");
    if (!platform::setPixelFormat(window, format, request)) pixelFormatFailure("SetPixelFormat failed.");
}

std::vector<PaletteEntry> buildPalette(const platform::PixelFormatInfo& format) {
    std::vector<PaletteEntry> entries;
    if (!format.needsPalette || format.colorBits <= 0 || format.colorBits > 16) return entries;
    entries.resize(size_t(1) << format.colorBits);
    const auto channel = [](size_t i, int shift, int bits) -> uint8_t {
        const unsigned mask = (1u << bits) - 1u;
        return mask == 0 ? 0 : uint8_t(((unsigned(i) >> shift) & mask) * 255u / mask);
    };
    for (size_t i = 0; i < entries.size(); ++i) {
        entries[i].red = channel(i, format.redShift, format.redBits);
        entries[i].green = channel(i, format.greenShift, format.greenBits);
        entries[i].blue = channel(i, format.blueShift, format.blueBits);
    }
    return entries;
}

void setupPalette(platform::Window* window) { palette = buildPalette(platform::describePixelFormat(window)); }

int initGraphics(platform::Window* window) {
    if (FULLSCREEN == 1 && !platform::setDisplayMode(window, WIDTH, HEIGHT, fullscreenBitsPerPixel)) {
        std::fprintf(stderr, "Cannot switch the display to %d x %d\n", WIDTH, HEIGHT);
        return graphicsDisplayModeFailed;
    }
    setupPixelFormat(window);
    setupPalette(window);
    platform::makeContextCurrent(window);
    setFixedState();
    resetCamera();
    std::string message;
    if (initWorld(message) == 0) return 0;
    platform::showErrorBox(message);
    return graphicsWorldFailed;
}

void releaseGraphics() {
    if (platform::hasContext(mainWindow)) releaseWorld();
    platform::closeStatusFont();
    platform::restoreDisplayMode(mainWindow);
    if (platform::hasContext(mainWindow)) {
        platform::makeContextCurrent(nullptr);
        platform::deleteContext(mainWindow);
    }
    palette.clear();
}
