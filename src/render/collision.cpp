// Collision response: takes back this frame's step, along X, Z or both, where the eye
// came too close to the plane of a wall hit by the selection pass, to a stencil window
// (glass: what lies behind it is shown elsewhere, often nowhere near), or to the box of a
// visible placed object, and where the step would leave every cell's box. Works on hit
// records handed in and on the walk's stencil list; no GL.
#include "render/render.h"

#include <cmath>  // Required for: std::fabs, std::sqrt

#include "input/input.h"  // Required for: camera (eye and this frame's step)

namespace {

// Stands in for A^2 + B^2 + C^2 of a polygon without a normal, so nothing divides by 0.
constexpr float zeroNormalSubstitute = 1e-5f;

// The wall polygon named on top of hit record `h`'s name stack, or -1. `offset` walks the
// records (name count, min depth, max depth, names...) and never leaves the capacity.
int32_t nextHitPolygon(const uint32_t* records, int64_t capacity, int64_t& offset) {
    if (offset + 3 > capacity) return -1;
    const int64_t names = records[offset];
    const int64_t end = offset + 3 + names;
    if (names == 0 || end > capacity) {
        offset = end;
        return -1;
    }
    const uint32_t name = records[end - 1];
    offset = end;
    return name < uint32_t(polygonCount) ? int32_t(name) : -1;
}

// Takes back X, else Z alone, else both, keeping the first that leaves `clear` true.
template <typename Clear>
void takeBackStep(float dx, float dz, Clear clear) {
    if (clear()) return;
    camera.posX -= dx;
    if (clear()) return;
    camera.posX += dx;
    camera.posZ -= dz;
    if (clear()) return;
    camera.posX -= dx;
}

void collideWithWalls(const uint32_t* records, int64_t capacity, int32_t hitCount, float dx, float dz) {
    int64_t offset = 0;
    for (int32_t h = 0; h < hitCount && offset < capacity; ++h) {
        const int32_t index = nextHitPolygon(records, capacity, offset);
        if (index < 0) continue;
        WallPolygon& polygon = wallPolygons[size_t(index)];
        takeBackStep(dx, dz, [&] {
            return planeDistanceSq(polygon, camera.posX, camera.posY, camera.posZ) >= collisionMargin;
        });
    }
}

// Every stencil window the walk met through plain portals only, in world coordinates:
// the walk placed its cell where it shows. One seen through another window is drawn at
// that window's far side, so it is nowhere the eye can walk.
void collideWithWindows(float dx, float dz) {
    for (int32_t i = 0; i < stencilPortalCount && i < maxStencilPortals; ++i) {
        const StencilPortal& entry = stencilPortalList[i];
        if (!entry.direct) continue;
        takeBackStep(dx, dz, [&] { return !nearStencilOpening(entry, camera.posX, camera.posY, camera.posZ); });
    }
}

// A step from inside some cell's box to outside all of them: the current-cell search
// would find none and the walk would show nothing, with no way back. Takes back X, else
// Z, else both, to where the eye stood before the step. An eye that already stood
// outside every box (a start point outside them) is left free to walk in.
void keepInsideCells(float fromX, float fromZ) {
    if (findCurrentCell(camera.posX, camera.posZ) >= 0 || findCurrentCell(fromX, fromZ) < 0) return;
    const float toX = camera.posX;
    camera.posX = fromX;
    if (findCurrentCell(camera.posX, camera.posZ) >= 0) return;
    camera.posX = toX;
    camera.posZ = fromZ;
    if (findCurrentCell(camera.posX, camera.posZ) >= 0) return;
    camera.posX = fromX;
}

void collideWithObjects(float dx, float dz) {
    for (int32_t i = 0; i < placedObjectCount; ++i) {
        const PlacedObject& object = placedObjects[i];
        if (object.visibleMark != 1) continue;
        takeBackStep(dx, dz, [&] { return !insideObjectMargin(object, camera.posX, camera.posZ); });
    }
}

}  // namespace

float planeDistanceSq(WallPolygon& polygon, float x, float y, float z) {
    const float a = polygon.normalX[0], b = polygon.normalY[0], c = polygon.normalZ[0];
    float normSq = a * a + b * b + c * c;
    if (normSq == 0.0f) normSq = zeroNormalSubstitute;
    const float side = a * x + b * y + c * z + polygon.planeD[0];
    polygon.eyePlaneDistSq = side * side / normSq;
    return polygon.eyePlaneDistSq;
}

bool insideObjectMargin(const PlacedObject& o, float x, float z) {
    const bool insideX = std::fabs(x - o.x - o.boxX1) + std::fabs(x - o.x - o.boxX2) <=
                         std::fabs(o.boxX1 - o.boxX2) + collisionMargin;
    const bool insideZ = std::fabs(z - o.z - o.boxZ1) + std::fabs(z - o.z - o.boxZ2) <=
                         std::fabs(o.boxZ1 - o.boxZ2) + collisionMargin;
    return insideX && insideZ;
}

bool nearStencilOpening(const StencilPortal& entry, float x, float y, float z) {
    const CellPlacement* placement = entry.cell >= 0 && entry.cell < cellCount ? &cells[entry.cell].placement : nullptr;
    double p[4][3];
    for (int v = 0; v < 4; ++v) {
        p[v][0] = placement ? entry.cornerX[v] * placement->scaleX + placement->offsetX : entry.cornerX[v];
        p[v][1] = placement ? entry.cornerY[v] * placement->scaleY + placement->offsetY : entry.cornerY[v];
        p[v][2] = placement ? entry.cornerZ[v] * placement->scaleZ + placement->offsetZ : entry.cornerZ[v];
    }
    const auto sub = [](const double* a, const double* b, double* out) {
        for (int i = 0; i < 3; ++i) out[i] = a[i] - b[i];
    };
    const auto cross = [](const double* a, const double* b, double* out) {
        out[0] = a[1] * b[2] - a[2] * b[1];
        out[1] = a[2] * b[0] - a[0] * b[2];
        out[2] = a[0] * b[1] - a[1] * b[0];
    };
    const auto dot = [](const double* a, const double* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; };
    // The plane of corners 0, 1 and 3 (or 0, 2 and 3 when 1 repeats a corner).
    double e1[3], e2[3], normal[3];
    sub(p[1], p[0], e1);
    sub(p[3], p[0], e2);
    cross(e1, e2, normal);
    if (dot(normal, normal) == 0) {
        sub(p[2], p[0], e1);
        cross(e1, e2, normal);
    }
    const double normSq = dot(normal, normal);
    if (normSq == 0) return false;  // no area: nothing to stop at
    const double eye[3] = {x, y, z};
    double toEye[3];
    sub(eye, p[0], toEye);
    const double side = dot(normal, toEye);
    if (side * side / normSq >= double(collisionMargin)) return false;
    // Within the plane: how far beyond each edge, measured away from the opening's middle.
    const double reach = std::sqrt(double(collisionMargin));
    double middle[3] = {0, 0, 0};
    for (int v = 0; v < 4; ++v)
        for (int i = 0; i < 3; ++i) middle[i] += p[v][i] / 4;
    for (int v = 0; v < 4; ++v) {
        double edge[3], out[3], toMiddle[3], fromCorner[3];
        sub(p[(v + 1) % 4], p[v], edge);
        cross(edge, normal, out);
        const double outSq = dot(out, out);
        if (outSq == 0) continue;  // a repeated corner: no edge
        sub(middle, p[v], toMiddle);
        sub(eye, p[v], fromCorner);
        double beyond = dot(fromCorner, out) / std::sqrt(outSq);
        if (dot(toMiddle, out) > 0) beyond = -beyond;
        if (beyond > reach) return false;
    }
    return true;
}

void resolveCollisions(const uint32_t* records, int64_t recordCapacity, int32_t hitCount) {
    const float dx = camera.stepX, dz = camera.stepZ;
    const float fromX = camera.posX - dx, fromZ = camera.posZ - dz;
    // Wall planes and object positions are in their cell's own coordinates; the eye is
    // compared in the current cell's (its scale is not undone, only its offset).
    float offsetX = 0, offsetZ = 0;
    if (currentCell >= 0 && currentCell < cellCount) {
        offsetX = cells[currentCell].placement.offsetX;
        offsetZ = cells[currentCell].placement.offsetZ;
    }
    camera.posX -= offsetX;
    camera.posZ -= offsetZ;
    if (records) collideWithWalls(records, recordCapacity, hitCount, dx, dz);
    collideWithObjects(dx, dz);
    camera.posX += offsetX;
    camera.posZ += offsetZ;
    collideWithWindows(dx, dz);
    keepInsideCells(fromX, fromZ);
}
