#include "platform/text.h"

#include <SDL.h>      // Required for: SDL_Surface, pixel format conversion
#include <SDL_ttf.h>  // Required for: TTF_OpenFont, TTF_RenderUTF8_Shaded
#include <GL/gl.h>    // Required for: glDrawPixels over the picture

#include <cstdio>
#include <vector>

namespace platform {
namespace {

constexpr int fontPointSize = 14;

// Fonts from the usual Debian packages, best first.
const char* const fontCandidates[] = {
    "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf",
    "/usr/share/fonts/truetype/liberation/LiberationMono-Regular.ttf",
    "/usr/share/fonts/truetype/freefont/FreeMono.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
};

std::function<void(int, int, const std::string&)> textObserver;
TTF_Font* font = nullptr;
bool fontMissing = false;  // a failed search is not repeated every frame

TTF_Font* statusFont() {
    if (font || fontMissing) return font;
    if (!TTF_WasInit() && TTF_Init() != 0) {
        std::fprintf(stderr, "status text: the font library cannot start: %s\n", TTF_GetError());
        fontMissing = true;
        return nullptr;
    }
    for (const char* path : fontCandidates) {
        font = TTF_OpenFont(path, fontPointSize);
        if (font) return font;
    }
    std::fprintf(stderr, "status text: no font found (tried %s and others); status lines are not drawn\n",
                 fontCandidates[0]);
    fontMissing = true;
    return nullptr;
}

// The line as RGBA rows, bottom row first as glDrawPixels wants them.
bool renderLine(const char* text, std::vector<uint8_t>& rgba, int& width, int& height) {
    const SDL_Color white = {255, 255, 255, 255};
    const SDL_Color black = {0, 0, 0, 255};
    SDL_Surface* shaded = TTF_RenderUTF8_Shaded(statusFont(), text, white, black);
    if (!shaded) return false;
    SDL_Surface* converted = SDL_ConvertSurfaceFormat(shaded, SDL_PIXELFORMAT_ABGR8888, 0);
    SDL_FreeSurface(shaded);
    if (!converted) return false;
    width = converted->w;
    height = converted->h;
    rgba.resize(size_t(width) * size_t(height) * 4);
    SDL_LockSurface(converted);
    const uint8_t* pixels = static_cast<const uint8_t*>(converted->pixels);
    for (int row = 0; row < height; ++row)
        SDL_memcpy(&rgba[size_t(height - 1 - row) * size_t(width) * 4], pixels + size_t(row) * converted->pitch,
                   size_t(width) * 4);
    SDL_UnlockSurface(converted);
    SDL_FreeSurface(converted);
    return true;
}

}  // namespace

void setStatusTextObserver(std::function<void(int x, int y, const std::string& text)> observer) {
    textObserver = std::move(observer);
}

bool drawStatusText(int x, int y, const char* text) {
    if (textObserver && text) textObserver(x, y, text);
    if (!text || !*text || !statusFont()) return false;
    std::vector<uint8_t> rgba;
    int width = 0, height = 0;
    if (!renderLine(text, rgba, width, height)) return false;

    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    const int bottom = viewport[3] - y - height;  // GL counts rows from the bottom
    if (bottom < 0 || x >= viewport[2]) return false;

    glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT | GL_COLOR_BUFFER_BIT | GL_PIXEL_MODE_BIT |
                 GL_TRANSFORM_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_STENCIL_TEST);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_LIGHTING);
    glDisable(GL_BLEND);
    glDisable(GL_ALPHA_TEST);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelZoom(1.0f, 1.0f);

    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, viewport[2], 0, viewport[3], -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glRasterPos2i(x, bottom);
    glDrawPixels(width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();

    glPopClientAttrib();
    glPopAttrib();  // also brings back the matrix mode (transform bit)
    return true;
}

void closeStatusFont() {
    if (font) TTF_CloseFont(font);
    font = nullptr;
    fontMissing = false;
    if (TTF_WasInit()) TTF_Quit();
}

}  // namespace platform
