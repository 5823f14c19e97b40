// The engine's life cycle: entry, start-up, the message loop with its idle frames,
// the window procedure and shutdown.
#pragma once

#include <cstdint>
#include <functional>

#include "app/cmdline.h"         // Required for: CommandLine
#include "platform/platform.h"  // Required for: Window, MessageType

constexpr const char* windowClassName = "Render Window";
constexpr const char* windowTitle = "OpenGL:3D engine with support portal";

// The whole program: reads game.ini for the window, opens it, starts the engine and
// runs the message loop. Returns the process's exit status.
int engineMain(const CommandLine& line);

// Reads game.ini with the entry reader and opens the main window, borderless when its
// FULLSCREEN is non-zero, of its WIDTH x HEIGHT, and shows it. Null when it cannot.
platform::Window* openMainWindow();

// Reads game.ini for every setting, sets up graphics and the world, then input or the
// demo file. Returns 0, or 1 when the engine cannot run (refused map, demo file that
// cannot be opened, conflicting demo settings); the message was shown.
int engineStart(platform::Window* window);

// Releases graphics (screenshot first, when asked for), input and the demo file. Runs
// once however the program ends; later calls do nothing.
void engineStop();

intptr_t windowProc(platform::Window* window, platform::MessageType type, intptr_t wParam);

// Dispatches waiting messages and runs a frame step whenever none waits, until the quit
// message; returns its code.
int runMessageLoop();

// Tests watch shutdown here: called with the name of each stage engineStop runs.
extern std::function<void(const char* stage)> shutdownObserver;
// Called once game.ini has been read and the command line's demo files applied, before
// any of them is checked or opened: a tool that drives the engine sets the settings its
// run needs here (the demo recorder turns off a game.ini's PLAYDEMO and DIRECTX).
extern std::function<void()> settingsObserver;
// Puts the life-cycle state back to program start (tests).
void resetEngine();
