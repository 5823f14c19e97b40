// The frame loop: batches of frames, each a control step, a selection pass with its
// collision response, the render pass, the status lines and the swap.
#include "render/render.h"

#include <GL/gl.h>   // Required for: selection mode, matrices, clears
#include <GL/glu.h>  // Required for: gluLookAt

#include <chrono>  // Required for: steady_clock, the frame times of a timedemo
#include <cstdio>
#include <cstring>  // Required for: memcmp
#include <string>

#include "input/input.h"        // Required for: controlStep, camera, keyState, flushDemo
#include "platform/platform.h"  // Required for: milliseconds, swapBuffers, postQuitMessage
#include "platform/text.h"      // Required for: drawStatusText
#include "render/local.h"
#include "world/settings.h"     // Required for: DIRECTX, PLAYDEMO

namespace {

int clampedIndex(int32_t index) {
    return index < 0 ? 0 : index >= trigTableSize ? trigTableSize - 1 : index;
}

void lookThroughCamera() {
    const CameraAim aim = cameraAim();
    gluLookAt(aim.eye[0], aim.eye[1], aim.eye[2], aim.target[0], aim.target[1], aim.target[2], 0, 1, 0);
}

// Sends the visible walls through a square frustum 1 to 2 units ahead of the eye in
// selection mode. An overflowing buffer would lose every wall hit of the frame (and let
// the eye through walls), so the pass runs again with a buffer twice as large until the
// hits fit. Returns the hit count, -1 only past the buffer's ceiling.
int32_t selectionPass() {
    camera.selectPass = 1;
    int32_t hits = -1;
    for (;;) {
        glSelectBuffer(GLsizei(activeSelectCapacity()), activeSelectBuffer());
        glRenderMode(GL_SELECT);
        glInitNames();
        glPushName(0);
        glLoadIdentity();
        glMatrixMode(GL_PROJECTION);
        glPushMatrix();
        glLoadIdentity();
        glFrustum(-0.5, 0.5, -0.5, 0.5, nearPlane, 2.0);
        glMatrixMode(GL_MODELVIEW);
        lookThroughCamera();
        glDisable(GL_TEXTURE_2D);
        glDisable(GL_LIGHTING);
        buildVisibleList();
        hits = glRenderMode(GL_RENDER);
        glMatrixMode(GL_PROJECTION);
        glPopMatrix();
        glMatrixMode(GL_MODELVIEW);
        if (hits >= 0 || !growSelectBuffer()) break;
    }
    return hits;
}

// What the walk of a visible list depends on besides the tables, which nothing changes
// between the two passes of a frame: the eye's X and Z, its heading and the culling.
struct WalkInputs {
    float x = 0, z = 0;
    int32_t yaw = 0;
    int32_t culling = 0;
};

WalkInputs walkInputs() { return WalkInputs{camera.posX, camera.posZ, camera.yaw, portalCulling}; }

// Bit for bit, so that an eye collision moved and moved back by a rounding walks again.
bool sameWalkInputs(const WalkInputs& a, const WalkInputs& b) {
    return std::memcmp(&a.x, &b.x, sizeof a.x) == 0 && std::memcmp(&a.z, &b.z, sizeof a.z) == 0 &&
           a.yaw == b.yaw && a.culling == b.culling;
}

// The render pass's visible list: the one the selection pass collected when its walk
// would come out the same (its marks, placements and stencil list are still in place),
// else walked again. The world list is compiled either way.
void buildRenderList(const WalkInputs& selectionWalk) {
    if (frameShortcuts.reuseWalk && sameWalkInputs(selectionWalk, walkInputs())) {
        compileVisibleList();
        return;
    }
    buildVisibleList();
}

// The planes of what the render pass's matrices can show.
ClipPlanes viewPlanes() {
    GLfloat modelview[16], projection[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    return clipPlanes(modelview, projection);
}

void renderPass(const WalkInputs& selectionWalk) {
    frameCounts = FrameCounts{};
    buildRenderList(selectionWalk);
    frameCounts.currentCell = currentCell;
    frameCounts.cellsVisited = portalCulling != 0 ? viewedCellCount : 0;
    glLoadIdentity();
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_LIGHTING);
    lookThroughCamera();
    glCallList(worldList);
    drawPortallessCells();
    frameCounts.wallsDrawn = int32_t(visibleBatch.polygon.size()) + portallessPolygonCount();
    const ClipPlanes view = viewPlanes();
    for (int32_t i = 0; i < placedObjectCount; ++i) {
        if (placedObjects[i].visibleMark != 1) continue;
        drawPlacedObject(placedObjects[i], &view);
        ++frameCounts.objectsDrawn;
    }
    if (stencilPortals != 0) drawStencilPortals();
    glDisable(GL_TEXTURE_2D);
    glFlush();
}

void drawStatusLines(int frame, float framesPerSecond) {
    char text[64];
    if (camera.showFrameRate != 0) {
        std::snprintf(text, sizeof text, "Frame %2d  (%3.1f fps)", frame, double(framesPerSecond));
        platform::drawStatusText(0, 0, text);
    }
    if (camera.showCellInfo != 0) {
        std::snprintf(text, sizeof text, "Current portal %d", currentCell);
        platform::drawStatusText(0, 17, text);
        std::snprintf(text, sizeof text, "Kol view portal %d", viewedCellCount);
        platform::drawStatusText(0, 33, text);
    }
}

// A page of the overlay lines, one every overlayPageMilliseconds, each page numbered
// when there is more than one.
void drawOverlayLines() {
    if (overlayLines.empty()) return;
    const size_t count = overlayLines.size();
    const size_t pages = (count + overlayLinesAtOnce - 1) / overlayLinesAtOnce;
    const size_t page = pages > 1 ? (platform::milliseconds() / overlayPageMilliseconds) % pages : 0;
    int y = overlayTop;
    if (pages > 1) {
        const std::string heading = "problems " + std::to_string(page + 1) + "/" + std::to_string(pages);
        platform::drawStatusText(0, y, heading.c_str());
        y += 17;
    }
    for (size_t i = page * overlayLinesAtOnce; i < count && i < (page + 1) * overlayLinesAtOnce; ++i) {
        platform::drawStatusText(0, y, overlayLines[i].c_str());
        y += 17;
    }
}

// Reads the buffer being drawn (the back buffer, or the only one of a single-buffered
// offscreen surface).
void keepFrame() {
    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    keptFrame.width = viewport[2];
    keptFrame.height = viewport[3];
    keptFrame.pixels.resize(size_t(keptFrame.width) * size_t(keptFrame.height) * 3);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(viewport[0], viewport[1], keptFrame.width, keptFrame.height, GL_RGB,
                 GL_UNSIGNED_BYTE, keptFrame.pixels.data());
    glPopClientAttrib();
    if (frameKeptObserver) frameKeptObserver(keptFrame.width, keptFrame.height, keptFrame.pixels);
}

float framesPerSecond(int frame, uint32_t batchStart) {
    const uint32_t elapsed = platform::milliseconds() - batchStart;
    return elapsed == 0 ? 0.0f : float(frame * 1000.0 / double(elapsed));
}

bool frameLimitReached() { return frameLimit > 0 && framesDrawn >= frameLimit; }

// One frame; the frame index may be raised to the batch's end by Escape.
void drawFrame(int& frame, uint32_t batchStart) {
    const float fps = framesPerSecond(frame, batchStart);
    controlStep();
    if (PLAYDEMO == 0 && (keyState[keyEscape] & 0x80) != 0) {
        // The frame in progress is still drawn in full; the batch ends after it.
        frame = framesPerBatch;
        platform::postQuitMessage(0);
    }
    // The stencil is cleared with the depth (one fill of the packed buffer); the stencil
    // portals rely on it being zero.
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    const WalkInputs selectionWalk = walkInputs();
    const int32_t hits = selectionPass();
    resolveCollisions(activeSelectBuffer(), activeSelectCapacity(), hits);
    camera.selectPass = 0;
    renderPass(selectionWalk);
    if (debugView != 0) drawDebugView();
    drawStatusLines(frame, fps);
    drawOverlayLines();
    if (keepLastFrame || (frameLimit > 0 && framesDrawn + 1 >= frameLimit)) keepFrame();
    platform::swapBuffers(platform::currentWindow());
    ++framesDrawn;
}

}  // namespace

CameraAim cameraAim() {
    const int pitchIndex = clampedIndex(camera.pitch + 1800);
    const float s = sineTable[pitchIndex];
    const float c = cosineTable[pitchIndex];
    return CameraAim{{camera.posX, camera.posY, camera.posZ},
                     {camera.posX + camera.sinYaw * c, camera.posY + s, camera.posZ + camera.cosYaw * c}};
}

int frameStep() {
    const uint32_t batchStart = platform::milliseconds();
    if (DIRECTX != 0 || frameLimitReached()) return 0;
    for (int frame = 0; frame < framesPerBatch; ++frame) {
        if (betweenFrames) betweenFrames();
        const auto frameStart = std::chrono::steady_clock::now();
        drawFrame(frame, batchStart);
        if (frameTimeObserver) {
            // A timed run ends with its demo: the frame that found the end played no
            // record, so it is not timed, and no frame follows it.
            if (PLAYDEMO == 1 && demoPlaybackEnded()) break;
            glFinish();
            const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - frameStart;
            frameTimeObserver(took.count());
        }
        if (frameLimitReached()) {
            platform::postQuitMessage(0);
            break;
        }
    }
    flushDemo();
    return 0;
}
