// The open world of the renderer benchmark, built into the tables: 250 cells all in
// view, a placed model in every cell and 20 stencil windows.
//
// The eye stands far back in a gallery (cell 0) and looks along +Z at 23 columns of
// square cells, each column a chain joined by openings as wide as the cell. The last cell
// of 20 columns has a stencil window in its far wall onto a small room stored far away,
// shown behind the wall. The gallery, 229 column cells (ten or eleven to a column) and
// the 20 rooms make maxCells.
#pragma once

#include "render/world_fixture.h"

namespace openworld {

constexpr int columns = 23;
constexpr int windows = 20;
constexpr float side = 8;     // width and depth of a column cell
constexpr float eyeZ = -190;  // far enough back for every column to be in view
constexpr float rooms = 1000; // where the rooms behind the windows are stored (x)

enum Texture { floorTexture = 0, wallTexture = 1, roomTexture = 2 };

inline float columnX(int column) { return (float(column) - columns / 2.0f) * side; }

// A window room at its stored place: floor, back and side walls, a post.
inline void addWindowRoom(int room) {
    using namespace testworld;
    const float x0 = rooms + room * 20.0f, x1 = x0 + side;
    const int cell = addCell(x0, 0, x1, side);
    addTriangle(roomTexture, {x0, 0, 0}, {x1, 0, 0}, {x1, 0, side});
    addTriangle(roomTexture, {x0, 0, 0}, {x1, 0, side}, {x0, 0, side});
    addWall(roomTexture, x1, side, x0, side, 5);
    addWall(roomTexture, x0, side, x0, 0, 5);
    addWall(roomTexture, x1, 0, x1, side, 5);
    addObject(cell, x0 + side / 2, side / 2, 1);
}

inline void build() {
    using namespace testworld;
    const int columnCells = maxCells - 1 - windows;
    const float left = columnX(0), right = columnX(columns);
    // Cell 0, the gallery: its floor, and one opening onto each column.
    const int gallery = addCell(left, eyeZ - 10, right, 0);
    addTriangle(floorTexture, {left, 0, eyeZ - 10}, {right, 0, eyeZ - 10}, {right, 0, 0});
    addTriangle(floorTexture, {left, 0, eyeZ - 10}, {right, 0, 0}, {left, 0, 0});
    addObject(gallery, 0, eyeZ + 20, 1);
    // The column cells come next in index order, then the rooms.
    int firstCell[columns], length[columns];
    int next = 1;
    for (int c = 0; c < columns; ++c) {
        length[c] = columnCells / columns + (c < columnCells % columns ? 1 : 0);
        firstCell[c] = next;
        next += length[c];
    }
    for (int c = 0; c < columns; ++c) addPortal(gallery, firstCell[c], columnX(c + 1), 0, columnX(c), 0);
    for (int c = 0; c < columns; ++c) {
        const float x0 = columnX(c), x1 = columnX(c + 1);
        for (int k = 0; k < length[c]; ++k) {
            const float z0 = k * side, z1 = z0 + side;
            const int cell = addCell(x0, z0, x1, z1);
            addTriangle(floorTexture, {x0, 0, z0}, {x1, 0, z0}, {x1, 0, z1});
            addTriangle(floorTexture, {x0, 0, z0}, {x1, 0, z1}, {x0, 0, z1});
            addWall(wallTexture, x0 + 3.5f, z0 + 4, x0 + 4.5f, z0 + 4, 3);  // a post facing the eye
            if (c == 0) addWall(wallTexture, x0, z1, x0, z0, 4);
            if (c == columns - 1) addWall(wallTexture, x1, z0, x1, z1, 4);
            addObject(cell, x0 + 2, z0 + 2, 0.5f);
            if (k + 1 < length[c]) {
                addPortal(cell, cell + 1, x1, z1, x0, z1);
                continue;
            }
            addWall(wallTexture, x1, z1, x0, z1, 6);  // the far end
            // A cell without portals would be drawn whole in every frame and twice in
            // every stencil entry: the last cells keep their way back.
            if (c >= windows) {
                addPortal(cell, cell - 1, x0, z0, x1, z0);
                continue;
            }
            // A window in the far wall onto room c, shown just behind it.
            const int room = 1 + columnCells + c;
            const int w = addPortal(cell, room, x0 + 6, z1 - 0.1f, x0 + 2, z1 - 0.1f, 1);
            for (int v = 0; v < 4; ++v) cells[cell].portalCornerY[v][w] = (v == 1 || v == 2) ? 4.0f : 1.0f;
            setPortalShift(cell, w, {x0 - (rooms + c * 20.0f), 0, z1});
        }
    }
    for (int r = 0; r < windows; ++r) addWindowRoom(r);
    // Every room looks back out through its window, so it too has a portal.
    for (int r = 0; r < windows; ++r) {
        const float x0 = rooms + r * 20.0f;
        addPortal(1 + columnCells + r, firstCell[r] + length[r] - 1, x0 + 2, 0, x0 + 6, 0);
    }
}

// Far back in the gallery, 40 up and looking down on the columns. The walk looks at X
// and Z only, so every cell stays in view; the height spreads the picture out.
inline void placeEye() {
    testworld::placeEye(0, eyeZ);
    camera.posY = 40;
    camera.pitch = 1700;
}

}  // namespace openworld
