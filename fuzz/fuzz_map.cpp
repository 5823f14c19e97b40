// libFuzzer target for the map loader: any text must load or be refused with a message
// naming the file and a line, never crash, hang or leave a half-read map behind.
//
// Built by `make fuzz` (CMake option FUZZ, clang) and run there on the test data with
// its dictionary; see scripts/fuzz.sh.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "world/map.h"
#include "world/world.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/fuzz_map_" + std::to_string(getpid()) + ".m";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) std::abort();
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    MapResolvers resolvers;
    resolvers.buildModel = [](const char*) {
        lastModelTexture = 0;
        return 0;
    };
    std::string error;
    resetWorld();
    const bool loaded = loadMap(path.c_str(), resolvers, error);
    if (loaded == !error.empty()) std::abort();
    if (!loaded && (error.find(path) != 0 || error.find(": line ") == std::string::npos)) std::abort();
    if (!loaded && (cellCount != 0 || polygonCount != 0 || placedObjectCount != 0)) std::abort();
    if (loaded) {
        for (int32_t c = 0; c < cellCount; ++c) {
            const Cell& cell = cells[c];
            if (cell.firstPolygon < 0 || cell.lastPolygon < cell.firstPolygon - 1 || cell.lastPolygon >= polygonCount)
                std::abort();
            for (int k = 0; k < cell.portalCount; ++k)
                if (cell.portalNeighbour[k] < 0 || cell.portalNeighbour[k] >= cellCount) std::abort();
        }
        if (size_t(polygonCount) != wallPolygons.size()) std::abort();
    }
    return 0;
}
