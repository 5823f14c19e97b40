// Collision response: takes back this frame's step, along X, Z or both, where the eye
// came too close to the plane of a wall hit by the selection pass or to the box of a
// visible placed object. Works on hit records handed in; no GL.
#include "render/render.h"

#include <cmath>  // Required for: std::fabs

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

void resolveCollisions(const uint32_t* records, int64_t recordCapacity, int32_t hitCount) {
    const float dx = camera.stepX, dz = camera.stepZ;
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
}
