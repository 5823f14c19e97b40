// Worlds at the scale of a large map, built straight into the tables for the renderer's
// benchmark and tests: 250 square cells in a 25 x 10 grid, every wall and floor cut into
// small quads so the world holds a given number of wall triangles (100k, 1M...), the
// walls between cells pierced either by 8 narrow openings or by one wide one, 490
// textures and 250 placed models, each its own list and texture.
//
// Built in memory rather than written and parsed: generation stays well under a second
// and a few hundred MB even at 1M triangles, and what is timed is the frame, not start-up.
#pragma once

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>

#include "render/world_fixture.h"
#include "world/init.h"
#include "world/model.h"  // Required for: recordListReach

namespace scaleworld {

constexpr int columns = 25;
constexpr int rows = 10;
constexpr float side = 16;   // width and depth of a cell
constexpr float height = 6;  // of walls and openings
constexpr int textureKinds = 490;

enum Openings { manyOpenings = 0, wideOpening = 1 };

// A side of a cell is cut into slots, alternately wall and opening: 17 slots (9 walls,
// 8 openings) or 3 (a wall a fifth of the side at each end, the opening between).
inline int slotCount(Openings o) { return o == manyOpenings ? 17 : 3; }
inline float slotStart(Openings o, int slot) {
    if (o == manyOpenings) return side * float(slot) / 17.0f;
    const float starts[4] = {0, side * 0.2f, side * 0.8f, side};
    return starts[slot];
}
inline bool isOpening(int slot) { return slot % 2 == 1; }

struct Tessellation {
    int floorQuads = 1;         // per side of the floor
    int wallColumns = 1;        // per wall slot, across
    int wallRows = 1;           // per wall slot, up
};

inline bool interiorSide(int column, int row, int s) {
    switch (s) {
        case 0: return row > 0;             // south
        case 1: return column < columns - 1;  // east
        case 2: return row < rows - 1;      // north
        default: return column > 0;         // west
    }
}

// Wall slots of the whole grid: an outer side is wall all along.
inline int wallSlotsInGrid(Openings o) {
    int slots = 0;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c)
            for (int s = 0; s < 4; ++s) slots += interiorSide(c, r, s) ? (slotCount(o) + 1) / 2 : slotCount(o);
    return slots;
}

// Quads per floor and per wall slot that come closest to `triangles` in all: a fifth of
// them on the floors, the rest on the walls.
inline Tessellation tessellationFor(Openings o, int64_t triangles) {
    const double perCell = double(triangles) / (columns * rows);
    Tessellation t;
    t.floorQuads = std::max(1, int(std::lround(std::sqrt(perCell * 0.2 / 2))));
    const double wallTriangles = double(triangles) - 2.0 * t.floorQuads * t.floorQuads * columns * rows;
    const double quadsPerSlot = std::max(1.0, wallTriangles / (2.0 * wallSlotsInGrid(o)));
    t.wallRows = std::max(1, int(std::lround(std::sqrt(quadsPerSlot))));
    t.wallColumns = std::max(1, int(std::lround(quadsPerSlot / t.wallRows)));
    return t;
}

// An upright wall from (x1, z1) to (x2, z2) in columns x rows quads, facing as addWall's.
inline void addWallGrid(int texture, float x1, float z1, float x2, float z2, int cols, int ups) {
    for (int i = 0; i < cols; ++i) {
        const float a = float(i) / float(cols), b = float(i + 1) / float(cols);
        const float ax = x1 + (x2 - x1) * a, az = z1 + (z2 - z1) * a;
        const float bx = x1 + (x2 - x1) * b, bz = z1 + (z2 - z1) * b;
        for (int j = 0; j < ups; ++j) {
            const float y0 = height * float(j) / float(ups), y1 = height * float(j + 1) / float(ups);
            testworld::addTriangle(texture, {ax, y0, az}, {bx, y0, bz}, {bx, y1, bz});
            testworld::addTriangle(texture, {ax, y0, az}, {bx, y1, bz}, {ax, y1, az});
        }
    }
}

inline int cellAt(int column, int row) { return row * columns + column; }

// Corner (x, z) of side s of cell (column, row) at distance d along it; each side runs
// so that its walls face into the cell (south +X, east +Z, north -X, west -Z).
inline void alongSide(int column, int row, int s, float d, float& x, float& z) {
    const float x0 = float(column) * side, z0 = float(row) * side;
    switch (s) {
        case 0: x = x0 + d, z = z0; break;
        case 1: x = x0 + side, z = z0 + d; break;
        case 2: x = x0 + side - d, z = z0 + side; break;
        default: x = x0, z = z0 + side - d; break;
    }
}

inline int neighbourAcross(int column, int row, int s) {
    const int dc[4] = {0, 1, 0, -1}, dr[4] = {-1, 0, 1, 0};
    return cellAt(column + dc[s], row + dr[s]);
}

// Fills the tables (after testworld::reset) and gives the textures their images; the
// GL's part (textures, model lists) is uploadScaleWorld's.
inline void build(Openings o, int64_t triangles) {
    using namespace testworld;
    const Tessellation t = tessellationFor(o, triangles);
    wallPolygons.reserve(size_t(triangles + triangles / 4));
    for (int i = 0; i < textureKinds; ++i) {
        auto image = std::make_unique<ImageRecord>();
        image->width = image->height = 4;
        for (int p = 0; p < 16; ++p)
            image->pixels.insert(image->pixels.end(), {uint8_t(40 + (i * 37) % 200), uint8_t(40 + (i * 71 + p) % 200),
                                                       uint8_t(40 + (i * 13) % 200)});
        textures[textureCount++].image = std::move(image);
    }
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            const int index = cellAt(c, r);
            const float x0 = float(c) * side, z0 = float(r) * side;
            const int cell = addCell(x0, z0, x0 + side, z0 + side);
            const int floorTexture = (2 * index) % textureKinds, wallTexture = (2 * index + 1) % textureKinds;
            const int n = t.floorQuads;
            for (int i = 0; i < n; ++i)
                for (int j = 0; j < n; ++j) {
                    const float ax = x0 + side * float(i) / float(n), bx = x0 + side * float(i + 1) / float(n);
                    const float az = z0 + side * float(j) / float(n), bz = z0 + side * float(j + 1) / float(n);
                    addTriangle(floorTexture, {ax, 0, az}, {bx, 0, az}, {bx, 0, bz});
                    addTriangle(floorTexture, {ax, 0, az}, {bx, 0, bz}, {ax, 0, bz});
                }
            for (int s = 0; s < 4; ++s) {
                const bool interior = interiorSide(c, r, s);
                for (int slot = 0; slot < slotCount(o); ++slot) {
                    float x1, z1, x2, z2;
                    alongSide(c, r, s, slotStart(o, slot), x1, z1);
                    alongSide(c, r, s, slotStart(o, slot + 1), x2, z2);
                    if (interior && isOpening(slot)) {
                        addPortal(cell, neighbourAcross(c, r, s), x1, z1, x2, z2, 0, height);
                        continue;
                    }
                    addWallGrid(wallTexture, x1, z1, x2, z2, t.wallColumns, t.wallRows);
                }
            }
            // Off the middle, clear of the eyes below; each its own model and texture.
            const int object = addObject(cell, x0 + side * 0.7f, z0 + side * 0.3f, 0.4f + 0.1f * float(index % 5));
            placedObjects[object].textureIndex = (7 * index + 3) % textureKinds;
        }
    }
}

// A box of the object's own size as its model, one list each.
inline void compileModels() {
    const GLuint first = glGenLists(placedObjectCount);
    for (int32_t i = 0; i < placedObjectCount; ++i) {
        PlacedObject& object = placedObjects[i];
        const float h = object.boxX2;
        object.displayList = int32_t(first) + i;
        glNewList(first + GLuint(i), GL_COMPILE);
        glBegin(GL_QUADS);
        const float faces[6][4][3] = {
            {{-h, 0, -h}, {h, 0, -h}, {h, 2 * h, -h}, {-h, 2 * h, -h}}, {{h, 0, h}, {-h, 0, h}, {-h, 2 * h, h}, {h, 2 * h, h}},
            {{h, 0, -h}, {h, 0, h}, {h, 2 * h, h}, {h, 2 * h, -h}},     {{-h, 0, h}, {-h, 0, -h}, {-h, 2 * h, -h}, {-h, 2 * h, h}},
            {{-h, 2 * h, -h}, {h, 2 * h, -h}, {h, 2 * h, h}, {-h, 2 * h, h}}, {{-h, 0, h}, {h, 0, h}, {h, 0, -h}, {-h, 0, -h}}};
        const float st[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
        for (const auto& face : faces)
            for (int v = 0; v < 4; ++v) {
                glTexCoord2f(st[v][0], st[v][1]);
                glVertex3fv(face[v]);
            }
        glEnd();
        glEndList();
        float reach = 0;
        for (const auto& face : faces)
            for (const auto& corner : face)
                reach = std::max(reach, std::sqrt(corner[0] * corner[0] + corner[1] * corner[1] + corner[2] * corner[2]));
        recordListReach(object.displayList, reach);
    }
}

inline void releaseModels() {
    if (placedObjectCount > 0 && placedObjects[0].displayList != 0) {
        for (int32_t i = 0; i < placedObjectCount; ++i) forgetListReach(placedObjects[i].displayList);
        glDeleteLists(GLuint(placedObjects[0].displayList), placedObjectCount);
    }
}

// The GL's part, with the context current: textures, model lists, the lists of the world.
inline void upload() {
    uploadTextures();
    compileModels();
    compileWorldList();
    compilePortallessList();
}

enum View { manyVisible = 0, fewVisible = 1 };

// manyVisible: in the corner cell, looking along the grid's diagonal. fewVisible: in a
// middle cell half a unit from the middle of a wall slot of its north side, facing it,
// so that no opening is in the walk's view.
inline void placeEye(Openings o, View v) {
    if (v == manyVisible) {
        testworld::placeEye(1.5f, 1.0f, 450);
        return;
    }
    const int c = columns / 2, r = rows / 2;
    // The middle slot of the many (8, counted from the east end) and the first of the
    // wide layout are walls.
    float x1, z1, x2, z2;
    alongSide(c, r, 2, slotStart(o, o == manyOpenings ? 8 : 0), x1, z1);
    alongSide(c, r, 2, slotStart(o, o == manyOpenings ? 9 : 1), x2, z2);
    testworld::placeEye((x1 + x2) / 2, z1 - 0.5f, 0);
}

}  // namespace scaleworld
