#include "render/gl_calls.h"

#include <GL/gl.h>
#include <dlfcn.h>

#include <cstdio>

namespace glcalls {
namespace {

bool recording = false;
Log calls;

void record(const char* name, float a, float b, float c, float d = 0, bool four = false) {
    if (!recording) return;
    char text[128];
    if (four)
        std::snprintf(text, sizeof text, "%s %g %g %g %g", name, double(a), double(b), double(c), double(d));
    else
        std::snprintf(text, sizeof text, "%s %g %g %g", name, double(a), double(b), double(c));
    calls.push_back(text);
}

// The driver's own function of that name.
template <typename Function>
Function driver(const char* name) {
    void* found = dlsym(RTLD_NEXT, name);
    if (!found) {
        static void* library = dlopen("libGL.so.1", RTLD_LAZY);
        found = library ? dlsym(library, name) : nullptr;
    }
    return reinterpret_cast<Function>(found);
}

}  // namespace

void start() {
    calls.clear();
    recording = true;
}

Log stop() {
    recording = false;
    return calls;
}

}  // namespace glcalls

extern "C" {

void glTranslatef(GLfloat x, GLfloat y, GLfloat z) {
    static const auto real = glcalls::driver<void (*)(GLfloat, GLfloat, GLfloat)>("glTranslatef");
    glcalls::record("translate", x, y, z);
    real(x, y, z);
}

void glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z) {
    static const auto real = glcalls::driver<void (*)(GLfloat, GLfloat, GLfloat, GLfloat)>("glRotatef");
    glcalls::record("rotate", angle, x, y, z, true);
    real(angle, x, y, z);
}

void glScalef(GLfloat x, GLfloat y, GLfloat z) {
    static const auto real = glcalls::driver<void (*)(GLfloat, GLfloat, GLfloat)>("glScalef");
    glcalls::record("scale", x, y, z);
    real(x, y, z);
}

}  // extern "C"
