// The GL driver keeps allocations of the context that the tests hold open until the
// process ends; they are the driver's, not the engine's.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:swrast_dri.so\n"
           "leak:libGLX_mesa.so\n"
           "leak:libEGL_mesa.so\n"
           "leak:libgallium\n";
}
