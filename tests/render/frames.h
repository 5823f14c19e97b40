// Frames drawn through the engine's own frame step, and the one demo the renderer's
// tests play: walking straight ahead.
#pragma once

#include <cstdio>

#include "input/input.h"      // Required for: playDemoStream
#include "render/render.h"    // Required for: frameStep, framesDrawn, frameLimit
#include "world/settings.h"   // Required for: PLAYDEMO

namespace testgl {

// Draws `count` frames (fewer if the engine stops drawing); the camera moves only as a
// playing demo says.
inline void drawFrames(int count) {
    frameLimit = framesDrawn + count;
    while (framesDrawn < frameLimit) {
        const int before = framesDrawn;
        frameStep();
        if (framesDrawn == before) break;
    }
}

// Plays `frames` records that walk forward one step each; the caller closes the file.
inline std::FILE* playWalkingForward(int frames) {
    std::FILE* demo = std::tmpfile();
    for (int i = 0; i < frames; ++i) std::fwrite("\0\0\1\0\0", 1, 5, demo);
    std::rewind(demo);
    playDemoStream(demo);
    PLAYDEMO = 1;
    return demo;
}

}  // namespace testgl
