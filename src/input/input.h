// Input devices, the player's camera and the per-frame control step with demos.
#pragma once

#include <cstdint>

// Key codes of the keyboard state table (bit 0x80 of an entry = key down).
constexpr int keyEscape = 0x01;
constexpr int keyQ = 0x10;
constexpr int keyP = 0x19;
constexpr int keyS = 0x1F;
constexpr int keyF = 0x21;
constexpr int keyLeftShift = 0x2A;
constexpr int keyUp = 0xC8;

// The keyboard's state by key code, refreshed by readKeyboard; all zero without a keyboard
// or while the window does not have the focus.
extern uint8_t keyState[256];
// Mouse motion since the previous read, in the mouse's relative units (Y positive toward
// the user); 0 while the window does not have the focus.
extern int32_t mouseDeltaX;
extern int32_t mouseDeltaY;

// The one camera. Written by the control step (and taken back by the collision pass),
// read by the frame step and the traversal.
struct CameraState {
    int32_t yaw = 0;     // tenths of a degree, 0..3600; 0 looks along +Z, growing turns toward +X
    int32_t pitch = 1800;  // tenths of a degree, 899..2699; 1800 level, 900 down, 2700 up
    float posX = 0, posY = 0, posZ = 0;  // eye position; posY never changed by motion
    float sinYaw = 0, cosYaw = 0;  // sineTable[yaw], cosineTable[yaw], refreshed every step
    float stepX = 0, stepZ = 0;    // this step's displacement, taken back on collision
    int32_t selectPass = 0;        // 1 while the frame draws its selection pass
    int32_t showFrameRate = 0;     // status line switches
    int32_t showCellInfo = 0;
    float sideSpeed = 0, upSpeed = 0, forwardSpeed = 0;  // units per frame, camera space
};

extern CameraState camera;
extern int32_t portalCulling;   // 1: the traversal decides what is drawn; 0: everything
extern int32_t stencilPortals;  // non-zero: stencil portals are drawn
