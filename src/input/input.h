// Input devices, the player's camera and the per-frame control step with demos.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace platform {
struct Window;
}

// Key codes of the keyboard state table (bit 0x80 of an entry = key down).
constexpr int keyEscape = 0x01;
constexpr int keyQ = 0x10;
constexpr int keyP = 0x19;
constexpr int keyS = 0x1F;
constexpr int keyF = 0x21;
constexpr int keyM = 0x32;
constexpr int keyLeftShift = 0x2A;
constexpr int keyUp = 0xC8;

// The keyboard's state by key code, refreshed by readKeyboard; all zero without a keyboard
// and after a read that failed (the window does not have the focus), so no key stays
// held down while the window is in the background.
extern uint8_t keyState[256];
// Mouse motion since the previous read, in the mouse's relative units (Y positive toward
// the user); 0 after a read that failed, so the camera does not keep turning while the
// window is in the background.
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
extern int32_t debugView;       // non-zero: the portal map is drawn over the picture

// --- Devices ----------------------------------------------------------------------
// The keyboard and mouse exist only in live play: the engine start-up creates them,
// the window procedure re-acquires them on every activation, the shutdown releases them.

constexpr int32_t inputFailure = -1;  // status of a set-up step that failed

// Creates the keyboard, then the mouse, for the window, acquiring each. Returns 0, or
// inputFailure at the first device that cannot be created; what was created stays in
// use (a keyboard without a mouse works) and is freed by releaseInput.
int32_t initInput(platform::Window* window);
// Refreshes keyState; a read that fails leaves it all zero. A read that finds the
// focus gone tries to take the keyboard back for the next call.
void readKeyboard();
// Refreshes mouseDeltaX and mouseDeltaY; without a mouse they stay as they are, a read
// that fails leaves them 0. Lost input is re-acquired and read again in the same call.
void readMouse();
// Acquires both devices (on window activation). inputFailure when there is no keyboard
// yet; a refused acquisition (window in the background) is not a failure here, the
// next reads fail instead.
int32_t acquireInput();
// Unacquires and frees both devices; harmless when none exist.
void releaseInput();

// --- Player control -----------------------------------------------------------------

constexpr float speedStep = 0.1f;  // world units per frame of one walk step and of a demo unit

// Start values of the camera: eye at the world's start point, yaw and pitch as it sets
// them (world/world.h), every other field 0. Called by the application as graphics start,
// before the world is loaded; needs no table.
void resetCamera();
// One frame of player control, before the view is set up: turns and walks the camera
// by the devices (live play, PLAYDEMO 0) or by the next demo record (PLAYDEMO 1),
// records the step (SAVEDEMO 1), and in live play sets the display switches from the
// keys. The end of a played demo posts the quit message (code 0) on every call.
void controlStep();

// Yaw past 3600 snaps to 0, below 0 to 3600 (snapped, not reduced: a turn past the end
// loses the remainder). Pitch is held in 899..2699.
int32_t wrapYaw(int32_t yaw);
int32_t clampPitch(int32_t pitch);

// --- Demo file ----------------------------------------------------------------------
// Headerless 5-byte records, one per control step: side, up and forward speed in
// steps of speedStep, then mouse X and Y motion, each a signed byte (written as the
// low 8 bits, read back sign-extended).

constexpr int demoRecordSize = 5;

struct DemoRecord {
    uint8_t bytes[demoRecordSize] = {};
};

// The record of one step: speeds divided by speedStep and truncated toward zero, then
// the mouse motion, each kept to its low 8 bits.
DemoRecord encodeDemoRecord(float sideSpeed, float upSpeed, float forwardSpeed,
                            int32_t mouseX, int32_t mouseY);
// Sets the speeds from a record and turns yaw and pitch by its mouse motion (not yet
// wrapped or clamped).
void applyDemoRecord(const DemoRecord& record, CameraState& camera);

// Refuses settings that cannot work together, before any file is opened: PLAYDEMO 1
// with SAVEDEMO 1 (one shared path; opening the recording would truncate the demo
// about to be played). Returns 0, or inputFailure with `message` naming the file.
int32_t checkDemoSettings(std::string& message);
// Why game.ini's SAVEDEMO file may not be recorded into: it is not a plain file name in
// the world folder (a '/', "..", an absolute path). Empty when it may, or SAVEDEMO is not 1.
std::string worldRecordingRefusal();
// Opens demoPath as the demo file: for playback (PLAYDEMO 1, "rb", an existing regular
// file) or recording (SAVEDEMO 1: a new file beside the target, which must be missing
// or a regular file, never a symbolic link; the target is untouched). Nothing to do for
// other settings. Returns 0, or inputFailure with `message` naming the file and why;
// the caller shows it and ends the process with status 1.
int32_t openDemo(std::string& message);
// Pushes what was recorded so far to the file. Every record is flushed as it is
// written already; the frame loop calls this at the end of each batch as well.
void flushDemo();
// Flushes and closes the demo file; harmless when none is open. A recording, made in a
// new file beside its target, is renamed over the target here. false (with a warning)
// when the recording could not be written whole: the target is then left as it was.
bool closeDemo();
// true once a control step has found the end of the played demo (or failed to read it).
bool demoPlaybackEnded();
// The last problem met with the demo file while running (a stray partial record at the
// end of a played demo, a failed read or write); empty when none. Also written to
// standard error when it happens.
const std::string& demoWarning();
// Plays the records of an open stream in place of the file openDemo would open (tests
// and benchmarks). The stream is closed with the demo file (closeDemo, resetDemo)
// unless handed back first with playDemoStream(nullptr).
void playDemoStream(std::FILE* file);
// true while a demo file is open for playback (opened or handed over).
bool demoFileOpen();

// Back to program start (tests): devices released, keys and mouse motion zero, camera
// at its start values, both switches 1, the portal map off, demo state cleared. Leaves the settings alone.
void resetInput();
