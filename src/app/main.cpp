// portal-engine: walks a world of cells and portals read from game.ini and map.m.
#include <cstdio>

#include "app/check.h"
#include "app/cmdline.h"
#include "app/engine.h"
#include "app/sample_world.h"
#include "app/version.h"

int main(int argc, char** argv) {
    CommandLine line;
    std::string error;
    if (!parseCommandLine(argc, argv, line, error)) {
        std::fprintf(stderr, "portal-engine: %s\n%s", error.c_str(), usageText());
        return 2;
    }
    if (line.help) {
        std::fputs(usageText(), stdout);
        return 0;
    }
    if (line.version) {
        std::printf("portal-engine %s\n", engineVersion);
        return 0;
    }
    if (!line.modelInfo.empty()) return printModelInfo(line.modelInfo, stdout);
    if (line.check) return runWorldCheck(line.worldDir, stdout);
    // Started with no world from a folder without one (from the desktop's menu, say):
    // the sample world that comes with the engine, and a first line that says so.
    if (line.worldDir.empty() && !holdsMap(".")) {
        line.worldDir = findSampleWorld();
        if (!line.worldDir.empty())
            std::fprintf(stderr, "No map.m in this folder: opening the sample world %s\n", line.worldDir.c_str());
    }
    return engineMain(line);
}
