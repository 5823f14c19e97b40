// Process-wide settings from game.ini, written once by the engine start-up reader and
// read-only afterwards. They live here, below every module that reads them.
#pragma once

#include <cstdint>
#include <string>

extern int32_t FULLSCREEN;  // 1: exclusive full-screen display mode
extern int32_t WIDTH;       // window and display-mode size in pixels
extern int32_t HEIGHT;
extern int32_t DIRECTX;     // non-zero: the frame step does nothing
extern int32_t PLAYDEMO;    // 0 live play; 1 the demo file drives the camera
extern int32_t SAVEDEMO;    // 1 every control step is recorded into the demo file
extern std::string demoPath;  // shared by PLAYDEMO and SAVEDEMO
// The file SAVEDEMO records into when it is not demoPath (the command line's --record, or
// game.ini's file kept when --demo names another to play); empty: demoPath.
extern std::string recordPath;

// Back to program start: FULLSCREEN, WIDTH, HEIGHT, DIRECTX, PLAYDEMO, SAVEDEMO all 0,
// no demo or record path (tests).
void resetSettings();
