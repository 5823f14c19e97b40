// The command line: portal-engine [--headless] [--frames N] [--screenshot FILE.png]
// [--timedemo] [--debug-view] [--check] [--help] [DIR]
#pragma once

#include <string>

struct CommandLine {
    bool headless = false;
    bool help = false;
    bool timedemo = false;   // no wait for the vertical retrace
    bool debugView = false;  // the portal map shows from the first frame
    bool check = false;      // check the world and report instead of running it
    long frames = 0;         // 0: run until quit
    std::string screenshot;  // PNG of the last frame drawn, when set
    std::string worldDir;    // folder holding game.ini and map.m; empty: the current one
};

// Parses argv. false with `error` set on an unknown option, a missing or bad value,
// or a second folder.
bool parseCommandLine(int argc, const char* const* argv, CommandLine& line, std::string& error);

// The usage text printed by --help and after a command-line error.
const char* usageText();
