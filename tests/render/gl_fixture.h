// A headless GL context for the renderer's tests: an SDL offscreen window with a
// compatibility context (8 stencil bits, 16+ depth, double buffer), opened once per test
// program and kept, in the state the engine's start-up leaves (setFixedState), which
// every test starts from again.
#pragma once

#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/graphics.h"        // Required for: setFixedState
#include "support/gl_context.h"  // Required for: openContext, skipRequested
#include "world/settings.h"      // Required for: WIDTH, HEIGHT

namespace testgl {

constexpr int width = 160;
constexpr int height = 120;

// Opens the context at the first call, with a window of the given size (the first call's
// size stays), and gives it the start-up state for that size, which is then kept on the
// attribute stack. Empty on success, else why no context could be had.
// The context stays open until the process ends (the driver's own allocations are then
// reported by leak checkers, which is why `make asan` does not check GL tests for leaks).
inline const std::string& ensureContext(int windowWidth = width, int windowHeight = height) {
    static const std::string problem = [windowWidth, windowHeight] {
        SDL_Window* window = nullptr;
        SDL_GLContext context = nullptr;
        const std::string why = glcheck::openContext(windowWidth, windowHeight, &window, &context);
        if (!why.empty()) return why;
        const int32_t savedWidth = WIDTH, savedHeight = HEIGHT;
        WIDTH = windowWidth;
        HEIGHT = windowHeight;
        setFixedState();
        WIDTH = savedWidth;
        HEIGHT = savedHeight;
        glPushAttrib(GL_ALL_ATTRIB_BITS);
        return std::string();
    }();
    return problem;
}

// Back to the state start-up left: every attribute, the main projection, an identity
// model-view, cleared buffers.
inline void startState() {
    static GLdouble projection[16];
    static const bool saved = [] {
        glGetDoublev(GL_PROJECTION_MATRIX, projection);
        return true;
    }();
    (void)saved;
    glPopAttrib();
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixd(projection);
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

// For a GL test's set-up (with gtest included): opens the context (failing with the reason when none can be
// had, or skipping when SKIP_GL_TESTS asks) and starts from the start-up state.
#define START_GL_TEST()                                                                        \
    do {                                                                                       \
        const std::string& glProblem = testgl::ensureContext();                                \
        if (!glProblem.empty()) {                                                              \
            if (glcheck::skipRequested()) GTEST_SKIP() << "SKIP_GL_TESTS: no GL: " << glProblem; \
            FAIL() << "no GL context (SKIP_GL_TESTS=1 skips GL tests): " << glProblem;          \
        }                                                                                      \
        testgl::startState();                                                                  \
    } while (0)
