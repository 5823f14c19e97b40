// The per-frame control step: the one place that decides whether this frame's motion
// comes from the devices or from the demo file, and that records it.
#include <cstdint>

#include "input/input_local.h"
#include "platform/platform.h"  // Required for: postQuitMessage at the end of a demo
#include "world/settings.h"     // Required for: PLAYDEMO, SAVEDEMO
#include "world/world.h"        // Required for: sineTable, cosineTable

// Written by the control step every frame (the collision pass may take the step back);
// set to the start values by resetCamera at world initialisation.
CameraState camera;
// Set by the switch keys in live play; 1 at program start and after resetInput.
int32_t portalCulling = 1;
int32_t stencilPortals = 1;
// Off at program start; the start-up switch or M turns it on.
int32_t debugView = 0;

namespace {

constexpr int32_t fullTurn = 3600;  // tenths of a degree
constexpr int32_t quarterTurn = 900;
constexpr int32_t lowestPitch = 899;    // a tenth past straight down
constexpr int32_t highestPitch = 2699;  // a tenth short of straight up

bool keyDown(int keyCode) { return (keyState[keyCode] & 0x80) != 0; }

void liveInput() {
    readKeyboard();
    if (keyDown(keyUp)) camera.forwardSpeed += speedStep;
    readMouse();
    camera.yaw = turnAngle(camera.yaw, mouseDeltaX);
    camera.pitch = turnAngle(camera.pitch, mouseDeltaY);
}

// false at the end of the demo.
bool playbackInput(DemoRecord& record) {
    if (!readDemoRecord(record)) {
        // Posted again by every later step until the loop reaches it.
        platform::postQuitMessage(0);
        return false;
    }
    applyDemoRecord(record, camera);
    return true;
}

void recordStep() {
    writeDemoRecord(encodeDemoRecord(camera.sideSpeed, camera.upSpeed, camera.forwardSpeed,
                                     mouseDeltaX, mouseDeltaY));
}

// Walks by this step's speeds in the heading `yaw`; the table at yaw + 900 gives
// cos(yaw) (sine table) and -sin(yaw) (cosine table). upSpeed is never applied.
void moveCamera() {
    const int32_t yaw = camera.yaw;
    const float dx = camera.forwardSpeed * sineTable[yaw] +
                     camera.sideSpeed * sineTable[yaw + quarterTurn];
    const float dz = camera.sideSpeed * cosineTable[yaw + quarterTurn] +
                     camera.forwardSpeed * cosineTable[yaw];
    camera.posX += dx;
    camera.posZ += dz;
    camera.stepX = dx;
    camera.stepZ = dz;
    camera.sinYaw = sineTable[yaw];
    camera.cosYaw = cosineTable[yaw];
}

// Level-triggered: each held key sets its switch on every step. Q and M run the other
// way round from S, F and P: the plain key switches on.
void applySwitches() {
    const bool shift = keyDown(keyLeftShift);
    if (keyDown(keyQ)) portalCulling = shift ? 0 : 1;
    if (keyDown(keyS)) camera.showCellInfo = shift ? 1 : 0;
    if (keyDown(keyF)) camera.showFrameRate = shift ? 1 : 0;
    if (keyDown(keyP)) stencilPortals = shift ? 1 : 0;
    if (keyDown(keyM)) debugView = shift ? 0 : 1;
}

}  // namespace

int32_t wrapYaw(int32_t yaw) {
    if (yaw > fullTurn) yaw = 0;
    if (yaw < 0) yaw = fullTurn;
    return yaw;
}

int32_t clampPitch(int32_t pitch) {
    if (pitch > highestPitch) return highestPitch;
    if (pitch < lowestPitch) return lowestPitch;
    return pitch;
}

void resetCamera() {
    camera = CameraState{};
    camera.posX = startX;
    camera.posY = startY;
    camera.posZ = startZ;
    camera.yaw = startYaw;
    camera.pitch = startPitch;
}

void controlStep() {
    camera.sideSpeed = camera.upSpeed = camera.forwardSpeed = 0;
    if (PLAYDEMO == 0) liveInput();
    DemoRecord played;
    const bool playing = PLAYDEMO == 1 && playbackInput(played);
    // A demo recorded while another plays is a copy of the played records, byte for
    // byte, up to the played demo's end (the devices are not read then).
    if (SAVEDEMO == 1 && PLAYDEMO == 1 && playing) writeDemoRecord(played);
    if (SAVEDEMO == 1 && PLAYDEMO != 1) recordStep();
    camera.yaw = wrapYaw(camera.yaw);
    camera.pitch = clampPitch(camera.pitch);
    moveCamera();
    if (PLAYDEMO != 0) return;  // a played demo (or no input at all) sets no switches
    applySwitches();
}

void resetInput() {
    resetDevices();
    resetDemo();
    resetCamera();
    portalCulling = 1;
    stencilPortals = 1;
    debugView = 0;
}
