#include "platform/text.h"

#include <SDL.h>      // Required for: SDL_Surface, pixel format conversion
#include <SDL_ttf.h>  // Required for: TTF_OpenFont, TTF_RenderUTF8_Shaded
#include <GL/gl.h>    // Required for: glDrawPixels over the picture
#include <fontconfig/fontconfig.h>  // Required for: finding the status font

#include <cstdio>
#include <string>
#include <vector>

namespace platform {
namespace {

constexpr int fontPointSize = 14;

// Asked of fontconfig: the font the status lines have always used; when it is missing,
// fontconfig's nearest match (another monospaced face) stands in.
constexpr const char* fontPattern = "DejaVu Sans Mono:style=Book:scalable=true";

// The file of the best match for fontPattern, empty when fontconfig finds none.
std::string statusFontFile() {
    std::string path;
    FcConfig* config = FcInitLoadConfigAndFonts();
    if (!config) return path;
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(fontPattern));
    if (pattern && FcConfigSubstitute(config, pattern, FcMatchPattern)) {
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        if (FcPattern* match = FcFontMatch(config, pattern, &result)) {
            FcChar8* file = nullptr;
            if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file)
                path = reinterpret_cast<const char*>(file);
            FcPatternDestroy(match);
        }
    }
    if (pattern) FcPatternDestroy(pattern);
    FcConfigDestroy(config);
    return path;
}

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
    const std::string file = statusFontFile();
    if (!file.empty()) {
        font = TTF_OpenFont(file.c_str(), fontPointSize);
        if (font) return font;
    }
    std::fprintf(stderr, "status text: no font found (fontconfig matched %s for \"%s\"); status lines are not drawn\n",
                 file.empty() ? "nothing" : file.c_str(), fontPattern);
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
