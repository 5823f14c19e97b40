// The command line: portal-engine [--headless] [--frames N] [--screenshot FILE.png]
// [--timedemo] [--timedemo-csv FILE] [--demo FILE] [--record FILE] [--no-culling]
// [--no-stencil-portals] [--status] [--debug-view] [--check] [--video FILE] [--watch]
// [--reload-shots PREFIX] [--model-info FILE.3ds] [--help] [--version] [DIR]
#pragma once

#include <cstdint>
#include <string>

// The largest --frames: the renderer's frame counters are 32-bit.
constexpr long maxFrameCount = INT32_MAX;

struct CommandLine {
    bool headless = false;
    bool help = false;
    bool version = false;    // print the version and stop
    bool timedemo = false;   // as fast as it can, then frame times (also set by --timedemo-csv)
    bool debugView = false;  // the portal map shows from the first frame
    bool check = false;      // check the world and report instead of running it
    long frames = 0;         // 0: run until quit
    std::string screenshot;  // PNG of the last frame drawn, when set
    std::string timedemoCsv;  // one line per frame of a timedemo, when set
    std::string demo;         // demo file to play, in place of game.ini's PLAYDEMO
    std::string record;       // demo file to record into, in place of game.ini's SAVEDEMO
    bool noCulling = false;         // portal culling off from the first frame
    bool noStencilPortals = false;  // stencil portals off from the first frame
    bool status = false;            // frame-rate and cell lines on from the first frame
    std::string video;       // every frame drawn, encoded by ffmpeg (.mp4, .webm or .gif)
    bool watch = false;      // load the world again whenever its files are saved
    std::string reloadShots;  // with --watch: PREFIX-N.png after the start and each reload
    std::string modelInfo;   // print what this model file holds and stop, when set
    std::string worldDir;    // folder holding game.ini and map.m; empty: the current one
};

// Parses argv. false with `error` set on an unknown option, a missing or bad value,
// or a second folder.
bool parseCommandLine(int argc, const char* const* argv, CommandLine& line, std::string& error);

// The usage text printed by --help and after a command-line error.
const char* usageText();
