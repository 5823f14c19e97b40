// The two readers of game.ini: one before the window exists (its size and style),
// one at engine start-up (every setting, into the globals of world/settings.h).
#pragma once

#include <string>

// What the window is created with. The entry reader starts from these values when the
// file or a key is missing.
struct WindowConfig {
    int fullscreen = 0;  // non-zero: a pop-up window
    int width = 640;
    int height = 480;
};

// Reads FULLSCREEN, WIDTH and HEIGHT. A file that is missing or cannot be read (a
// folder, a FIFO, a device, no permission, larger than 1 MiB) gives the defaults without
// a word: the start-up reader reports it. A key whose value is not a number keeps its
// default with a warning on standard error.
WindowConfig readWindowConfig(const char* fileName);

// Sets the start-up defaults (FULLSCREEN 1, WIDTH 640, HEIGHT 480, DIRECTX 0; PLAYDEMO
// and SAVEDEMO keep their values) and reads all six keys into the settings. A file that
// is missing or cannot be read leaves the defaults, with one warning line naming the
// file and the reason on standard error.
void readEngineConfig(const char* fileName);
