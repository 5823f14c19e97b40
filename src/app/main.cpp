// portal-engine: walks a world of cells and portals read from game.ini and map.m.
#include <cstdio>

#include "app/check.h"
#include "app/cmdline.h"
#include "app/engine.h"

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
    if (line.check) return runWorldCheck(line.worldDir, stdout);
    return engineMain(line);
}
