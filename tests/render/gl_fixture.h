// A headless GL context for the renderer's tests: an SDL offscreen window with a
// compatibility context (8 stencil bits, 16+ depth, double buffer), opened once per test
// program and kept, plus the fixed state and projection the frame expects.
#pragma once

#include <SDL.h>
#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace testgl {

constexpr int width = 160;
constexpr int height = 120;

// Opens the context at the first call, with a window of the given size (the first call's
// size stays); false (with the reason on standard error) when none can be had.
// The context stays open until the process ends (the driver's own allocations are then
// reported by leak checkers; leak_suppressions.cpp names them).
inline bool ensureContext(int windowWidth = width, int windowHeight = height) {
    static bool tried = false;
    static bool ok = false;
    if (tried) return ok;
    tried = true;
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "SDL_Init: %s\n", SDL_GetError());
        return false;
    }
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_Window* window = SDL_CreateWindow("test", 0, 0, windowWidth, windowHeight, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!window) {
        std::fprintf(stderr, "SDL_CreateWindow: %s\n", SDL_GetError());
        return false;
    }
    SDL_GLContext context = SDL_GL_CreateContext(window);
    if (!context) {
        std::fprintf(stderr, "SDL_GL_CreateContext: %s\n", SDL_GetError());
        return false;
    }
    int stencil = 0;
    SDL_GL_GetAttribute(SDL_GL_STENCIL_SIZE, &stencil);
    if (stencil < 8) {
        std::fprintf(stderr, "only %d stencil bits\n", stencil);
        return false;
    }
    ok = true;
    return ok;
}

// The state the frame loop relies on: depth test, the main projection for the test
// window's aspect (or that of the size given), stencil clear 0 and write mask 0xFF,
// model-view current.
inline void fixedState(int viewWidth = width, int viewHeight = height) {
    glViewport(0, 0, viewWidth, viewHeight);
    glDisable(GL_STENCIL_TEST);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_LIGHTING);
    glDisable(GL_BLEND);
    glDisable(GL_DITHER);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glClearColor(0, 0, 0, 0);
    glClearStencil(0);
    glStencilMask(0xFF);
    const double aspect = double(viewHeight) / double(viewWidth);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glFrustum(-0.5, 0.5, -0.5 * aspect, 0.5 * aspect, 1.0, 200.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
}

struct Rgb {
    int r = 0, g = 0, b = 0;
};

// The drawn buffer's pixel at (x, y), y counted from the top.
inline Rgb pixel(int x, int y) {
    unsigned char p[4] = {};
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, height - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
    return Rgb{p[0], p[1], p[2]};
}

inline bool near(const Rgb& a, const Rgb& b, int tolerance = 8) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
           std::abs(a.b - b.b) <= tolerance;
}

}  // namespace testgl
