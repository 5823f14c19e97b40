// Small worlds built straight into the tables, for the renderer's tests and benchmark.
#pragma once

#include <cstring>

#include "input/input.h"
#include "render/render.h"
#include "world/world.h"

namespace testworld {

struct Vec3 {
    float x = 0, y = 0, z = 0;
};

// Back to an empty world with the trig tables built, the camera at its start and the
// renderer's state cleared.
inline void reset() {
    resetWorld();
    resetInput();
    resetRenderer();
    buildTrigTables();
    portalCulling = 1;
    stencilPortals = 1;
}

inline void identity(CellPlacement& placement) {
    placement = CellPlacement{};
    placement.scaleX = placement.scaleY = placement.scaleZ = 1.0f;
}

// Appends a cell whose box spans x1..x2 and z1..z2 (Y 0..10); cells must be added in
// index order, each before its walls.
inline int addCell(float x1, float z1, float x2, float z2) {
    const int index = cellCount++;
    Cell& cell = cells[index];
    cell = Cell{};
    identity(cell.placement);
    cell.boxX1 = x1;
    cell.boxZ1 = z1;
    cell.boxX2 = x2;
    cell.boxZ2 = z2;
    cell.boxY2 = 10;
    cell.firstPolygon = polygonCount;
    cell.lastPolygon = polygonCount - 1;
    return index;
}

// Appends a triangle to the last cell added (or to no cell when none); its plane is set
// as the loader sets that of a flat polygon.
inline int addTriangle(int texture, Vec3 a, Vec3 b, Vec3 c) {
    WallPolygon polygon;
    polygon.visibleMark = 1;
    polygon.textureIndex = texture;
    const Vec3 v[3] = {a, b, c};
    for (int k = 0; k < 3; ++k) {
        polygon.x[k] = v[k].x;
        polygon.y[k] = v[k].y;
        polygon.z[k] = v[k].z;
    }
    polygon.s[1] = 1;
    polygon.t[2] = 1;
    const float ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z;
    const float vx = c.x - a.x, vy = c.y - a.y, vz = c.z - a.z;
    polygon.normalX[0] = uy * vz - uz * vy;
    polygon.normalY[0] = uz * vx - ux * vz;
    polygon.normalZ[0] = ux * vy - uy * vx;
    polygon.planeD[0] = -(polygon.normalX[0] * a.x + polygon.normalY[0] * a.y + polygon.normalZ[0] * a.z);
    wallPolygons.push_back(polygon);
    const int index = polygonCount++;
    if (cellCount > 0) cells[cellCount - 1].lastPolygon = index;
    return index;
}

// A flat triangle lying at height 0 around (x, z): the traversal only looks at X and Z.
inline int addMarker(int texture, float x, float z, float size = 0.2f) {
    return addTriangle(texture, {x, 0, z}, {x + size, 0, z}, {x, 0, z + size});
}

// An upright quad (two triangles) from (x1, z1) to (x2, z2), 0..height high, facing the
// side from which the corners run left to right.
inline void addWall(int texture, float x1, float z1, float x2, float z2, float height = 6) {
    addTriangle(texture, {x1, 0, z1}, {x2, 0, z2}, {x2, height, z2});
    addTriangle(texture, {x1, 0, z1}, {x2, height, z2}, {x1, height, z1});
}

// Portal from `cell` to `neighbour` across the segment (x1, z1) to (x2, z2), 0..height:
// corners 0 and 3 are at the ends on the floor side, so corner 0 is (x1, z1).
inline int addPortal(int cell, int neighbour, float x1, float z1, float x2, float z2, int kind = 0,
                     float height = 6) {
    Cell& c = cells[cell];
    const int k = c.portalCount++;
    c.portalNeighbour[k] = neighbour;
    c.portalKind[k] = kind;
    const float xs[4] = {x1, x1, x2, x2};
    const float ys[4] = {0, height, height, 0};
    const float zs[4] = {z1, z1, z2, z2};
    for (int v = 0; v < 4; ++v) {
        c.portalCornerX[v][k] = xs[v];
        c.portalCornerY[v][k] = ys[v];
        c.portalCornerZ[v][k] = zs[v];
    }
    for (int axis = 0; axis < 3; ++axis) {
        c.portalPlacement[axis][placementOffset][k] = 0;
        c.portalPlacement[axis][placementRotate][k] = 0;
        c.portalPlacement[axis][placementScale][k] = 1;
    }
    return k;
}

inline void setPortalShift(int cell, int k, Vec3 offset, Vec3 scale = {1, 1, 1}) {
    Cell& c = cells[cell];
    c.portalPlacement[axisX][placementOffset][k] = offset.x;
    c.portalPlacement[axisY][placementOffset][k] = offset.y;
    c.portalPlacement[axisZ][placementOffset][k] = offset.z;
    c.portalPlacement[axisX][placementScale][k] = scale.x;
    c.portalPlacement[axisY][placementScale][k] = scale.y;
    c.portalPlacement[axisZ][placementScale][k] = scale.z;
}

inline int addObject(int cell, float x, float z, float halfSize, int displayList = 0, int texture = 0) {
    const int index = placedObjectCount++;
    PlacedObject& object = placedObjects[index];
    object = PlacedObject{};
    object.cell = cell;
    object.x = x;
    object.z = z;
    object.boxX1 = object.boxZ1 = object.boxY1 = -halfSize;
    object.boxX2 = object.boxZ2 = object.boxY2 = halfSize;
    object.displayList = displayList;
    object.textureIndex = texture;
    return index;
}

// Eye at (x, 3, z) with the given heading (tenths of a degree), level.
inline void placeEye(float x, float z, int yaw = 0) {
    camera.posX = x;
    camera.posY = 3;
    camera.posZ = z;
    camera.yaw = yaw;
    camera.pitch = 1800;
    camera.sinYaw = sineTable[yaw];
    camera.cosYaw = cosineTable[yaw];
    camera.stepX = camera.stepZ = 0;
}

// A corridor of `count` square rooms along +Z, each `size` wide, joined by openings a
// fifth of the room wide, set alternately left and right of the middle so the view down
// the corridor is cut off after a few rooms. Every room has side walls, a floor and an
// object; rooms alternate textures 0 and 1. Used by the benchmark and end-to-end tests.
inline float corridorOpening(int room, float size) { return (room % 2 ? 1.0f : -1.0f) * size / 4; }

inline void buildCorridor(int count, float size = 10) {
    const float h = size / 2, w = size / 10;
    for (int i = 0; i < count; ++i) {
        const float z0 = i * size, z1 = (i + 1) * size;
        const int texture = i % 2;
        const int cell = addCell(-h, z0, h, z1);
        addWall(texture, h, z0, h, z1);
        addWall(texture, -h, z1, -h, z0);
        addTriangle(texture, {-h, 0, z0}, {h, 0, z0}, {h, 0, z1});
        addTriangle(texture, {-h, 0, z0}, {h, 0, z1}, {-h, 0, z1});
        // The far side: walls either side of the opening, closed in the last room.
        const float far = corridorOpening(i, size);
        addWall(texture, -h, z1, far - w, z1);
        addWall(texture, far + w, z1, h, z1);
        if (i == count - 1) addWall(texture, far - w, z1, far + w, z1);
        // The near side: closed in the first room, else around the previous opening.
        const float near = i > 0 ? corridorOpening(i - 1, size) : 0;
        if (i == 0) addWall(texture, h, z0, -h, z0);
        if (i > 0) {
            addWall(texture, h, z0, near + w, z0);
            addWall(texture, near - w, z0, -h, z0);
        }
        if (i + 1 < count) addPortal(cell, i + 1, far + w, z1, far - w, z1);
        if (i > 0) addPortal(cell, i - 1, near - w, z0, near + w, z0);
        addObject(cell, -h / 2, z0 + h, 0.5f);
    }
}

}  // namespace testworld
