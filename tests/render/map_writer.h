// Writes a world built in the tables out as a map file, with solid-colour bitmaps, so
// start-up and end-to-end tests load it the way the engine does.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "world/world.h"

namespace testworld {

// A 24-bit bottom-up BMP of one colour.
inline bool writeSolidBmp(const std::string& path, int width, int height, uint8_t r, uint8_t g, uint8_t b) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const int stride = (width * 3 + 3) & ~3;
    const uint32_t imageSize = uint32_t(stride * height);
    const uint32_t fileSize = 54 + imageSize;
    auto u16 = [&](uint32_t v) { std::fputc(int(v & 0xff), file), std::fputc(int((v >> 8) & 0xff), file); };
    auto u32 = [&](uint32_t v) { u16(v & 0xffff), u16(v >> 16); };
    std::fputc('B', file);
    std::fputc('M', file);
    u32(fileSize), u32(0), u32(54);
    u32(40), u32(uint32_t(width)), u32(uint32_t(height)), u16(1), u16(24), u32(0), u32(imageSize);
    u32(2835), u32(2835), u32(0), u32(0);
    for (int row = 0; row < height; ++row) {
        for (int x = 0; x < width; ++x) std::fputc(b, file), std::fputc(g, file), std::fputc(r, file);
        for (int pad = width * 3; pad < stride; ++pad) std::fputc(0, file);
    }
    return std::fclose(file) == 0;
}

// The tables as map records: each cell, then its objects (model `modelName`), then its
// polygons, a texture record before every change of texture. Texture indices must appear
// in the order of their first use for the reloaded indices to match.
inline bool writeMap(const std::string& path, const char* modelName = "box.3ds") {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (!file) return false;
    int32_t current = -1;
    for (int32_t c = 0; c < cellCount; ++c) {
        const Cell& cell = cells[c];
        std::fprintf(file, "99900 %g %g %g %g %g %g %d\n", cell.boxX1, cell.boxY1, cell.boxZ1, cell.boxX2,
                     cell.boxY2, cell.boxZ2, cell.portalCount);
        for (int32_t k = 0; k < cell.portalCount; ++k) {
            std::fprintf(file, "  %d %d", cell.portalNeighbour[k], cell.portalKind[k]);
            for (int component = 0; component < 3; ++component)
                for (int axis = 0; axis < 3; ++axis)
                    std::fprintf(file, " %g", cell.portalPlacement[axis][component][k]);
            for (int v = 0; v < 4; ++v)
                std::fprintf(file, " %g %g %g", cell.portalCornerX[v][k], cell.portalCornerY[v][k],
                             cell.portalCornerZ[v][k]);
            std::fprintf(file, "\n");
        }
        for (int32_t o = 0; o < placedObjectCount; ++o) {
            const PlacedObject& p = placedObjects[o];
            if (p.cell != c) continue;
            std::fprintf(file, "99995 %s %g %g %g %d %d %d %g %g %g %g %g %g %d\n", modelName, p.x, p.y, p.z,
                         p.rotateX, p.rotateY, p.rotateZ, p.boxX1, p.boxY1, p.boxZ1, p.boxX2, p.boxY2, p.boxZ2,
                         p.spinning);
        }
        for (int32_t i = cell.firstPolygon; i <= cell.lastPolygon; ++i) {
            const WallPolygon& w = wallPolygons[size_t(i)];
            if (w.textureIndex != current) {
                std::fprintf(file, "99999 %s\n", textures[w.textureIndex].fileName);
                current = w.textureIndex;
            }
            std::fprintf(file, "99998");
            for (int k = 0; k < 3; ++k) std::fprintf(file, " %g %g %g", w.x[k], w.y[k], w.z[k]);
            for (int k = 0; k < 3; ++k) std::fprintf(file, " %g %g", w.s[k], w.t[k]);
            std::fprintf(file, "\n");
        }
    }
    std::fprintf(file, "100000\n");
    return std::fclose(file) == 0;
}

}  // namespace testworld
