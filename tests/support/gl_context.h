// GL tests never pass by not running: when no GL context can be had they fail with the
// reason, unless the environment asks to skip them (SKIP_GL_TESTS=1, for machines
// without a GL driver; CI never sets it).
#pragma once

#include <SDL.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace glcheck {

inline bool skipRequested() {
    const char* value = std::getenv("SKIP_GL_TESTS");
    return value && *value && std::strcmp(value, "0") != 0;
}

// Opens a hidden window of width x height with the context the engine asks for (GL
// compatibility profile, double buffer, 16 depth and 8 stencil bits) on SDL's offscreen
// driver unless another is chosen. Empty on success, else why not.
inline std::string openContext(int width, int height, SDL_Window** window, SDL_GLContext* context) {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return std::string("SDL_Init: ") + SDL_GetError();
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    *window = SDL_CreateWindow("test", 0, 0, width, height, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!*window) return std::string("SDL_CreateWindow: ") + SDL_GetError();
    *context = SDL_GL_CreateContext(*window);
    if (!*context) return std::string("SDL_GL_CreateContext: ") + SDL_GetError();
    int stencil = 0;
    SDL_GL_GetAttribute(SDL_GL_STENCIL_SIZE, &stencil);
    if (stencil < 8) return "the GL surface has only " + std::to_string(stencil) + " stencil bits";
    return {};
}

// Why no GL context can be had here, or empty: tried once, in a child process, so the
// test's own process starts its video afresh.
inline std::string probeContext() {
    static const std::string reason = [] {
        int fds[2];
        if (pipe(fds) != 0) return std::string("pipe failed");
        const pid_t child = fork();
        if (child == 0) {
            close(fds[0]);
            SDL_Window* window = nullptr;
            SDL_GLContext context = nullptr;
            const std::string why = openContext(16, 16, &window, &context);
            if (write(fds[1], why.data(), why.size()) < 0) _exit(2);
            _exit(0);
        }
        close(fds[1]);
        std::string why;
        char buffer[256];
        ssize_t n;
        while ((n = read(fds[0], buffer, sizeof buffer)) > 0) why.append(buffer, size_t(n));
        close(fds[0]);
        int status = 0;
        waitpid(child, &status, 0);
        if (why.empty() && !(WIFEXITED(status) && WEXITSTATUS(status) == 0))
            why = "the GL probe process ended abnormally";
        return why;
    }();
    return reason;
}

}  // namespace glcheck

// For the set-up of a test that needs GL: skips with the reason when SKIP_GL_TESTS asks
// for it and no context can be had; otherwise the test runs (and fails with the driver's
// reason if GL is missing).
#define SKIP_IF_GL_UNAVAILABLE_AND_ASKED()                                              \
    do {                                                                                 \
        if (glcheck::skipRequested()) {                                                  \
            const std::string glProblem = glcheck::probeContext();                       \
            if (!glProblem.empty()) GTEST_SKIP() << "SKIP_GL_TESTS: no GL: " << glProblem; \
        }                                                                                \
    } while (0)
