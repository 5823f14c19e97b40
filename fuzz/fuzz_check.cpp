// libFuzzer target for the world checker: whatever map the loader accepts, the checks end,
// never crash, and put every problem on a line the text has (0 for the world as a whole).
//
// Built by `make fuzz` (CMake option FUZZ, clang) and run there on the worlds' maps with
// the map dictionary; see scripts/fuzz.sh.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "world/check.h"
#include "world/world.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/fuzz_check_" + std::to_string(getpid()) + ".m";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) std::abort();
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    MapResolvers resolvers;
    resolvers.buildModel = [](const char*) { return 0; };
    std::string error;
    MapLines lines;
    resetWorld();
    if (!loadMap(path.c_str(), resolvers, error, &lines)) return 0;
    const int32_t lastLine = int32_t(std::count(data, data + size, '\n')) + 1;
    CheckSettings settings;
    settings.startX = -25;
    settings.startZ = 15;
    for (const WorldProblem& problem : checkWorld(lines, settings)) {
        if (problem.line < 0 || problem.line > lastLine || problem.message.empty()) std::abort();
    }
    return 0;
}
