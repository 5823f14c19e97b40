// Collision response: takes back this frame's step, along X, Z or both, where the eye
// came too close to the plane of a wall hit by the selection pass, to a stencil window
// (glass: what lies behind it is shown elsewhere, often nowhere near), or to the box of a
// visible placed object, and where the step would leave every cell's box. Works on hit
// records handed in and on the walk's stencil list; no GL.
#include "render/render.h"

#include <cmath>  // Required for: std::fabs, std::sqrt, std::fmin, std::fmax

#include "input/input.h"  // Required for: camera (eye and this frame's step)
#include "render/local.h"  // Required for: placementOf

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

// The placement of the cell whose polygons hold `index`, or null for none.
const CellPlacement* placementOfPolygon(int32_t index) {
    for (int32_t c = 0; c < cellCount; ++c)
        if (index >= cells[c].firstPolygon && index <= cells[c].lastPolygon) return &cells[c].placement;
    return nullptr;
}

// Where a cell is drawn: its offset, which the eye loses to be compared with the cell's
// own coordinates (its scale is not undone). Zero for no cell.
struct CellShift {
    float x = 0, y = 0, z = 0;
};

CellShift shiftOf(const CellPlacement* placement) {
    return placement ? CellShift{placement->offsetX, placement->offsetY, placement->offsetZ} : CellShift{};
}

void collideWithWalls(const uint32_t* records, int64_t capacity, int32_t hitCount, float dx, float dz) {
    int64_t offset = 0;
    for (int32_t h = 0; h < hitCount && offset < capacity; ++h) {
        const int32_t index = nextHitPolygon(records, capacity, offset);
        if (index < 0) continue;
        WallPolygon& polygon = wallPolygons[size_t(index)];
        const CellShift at = shiftOf(placementOfPolygon(index));
        takeBackStep(dx, dz, [&] {
            return planeDistanceSq(polygon, camera.posX - at.x, camera.posY - at.y, camera.posZ - at.z) >=
                   collisionMargin;
        });
    }
}

// Every stencil window the walk met through plain portals only, in world coordinates:
// the walk placed its cell where it shows. One seen through another window is drawn at
// that window's far side, so it is nowhere the eye can walk.
void collideWithWindows(float dx, float dz) {
    for (int32_t i = 0; i < stencilPortalCount && i < maxStencilPortals; ++i) {
        const StencilPortal& entry = stencilPortalList[i];
        if (!entry.direct || entry.passage) continue;
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

// A mark of something seen through a stencil passage the walk met directly: it stands
// where the eye can walk.
bool seenThroughPassage(int32_t mark) {
    const int32_t i = mark - 101;
    return i >= 0 && i < stencilPortalCount && i < maxStencilPortals && stencilPortalList[i].direct &&
           stencilPortalList[i].passage;
}

void collideWithObjects(float dx, float dz) {
    for (int32_t i = 0; i < placedObjectCount; ++i) {
        const PlacedObject& object = placedObjects[i];
        if (object.visibleMark != 1 && !seenThroughPassage(object.visibleMark)) continue;
        const bool inCellTable = object.cell >= 0 && object.cell < cellCount;
        const CellShift at = shiftOf(inCellTable ? &cells[object.cell].placement : nullptr);
        takeBackStep(dx, dz, [&] { return !insideObjectMargin(object, camera.posX - at.x, camera.posZ - at.z); });
    }
}

// Which side of the line from corner 0 to corner 3 the cell lies on: that of its box's
// middle, or, for a line through the middle, that of the eye before the step.
int insideSide(const Cell& cell, float x0, float z0, float x3, float z3, float fromX, float fromZ) {
    const int middle = orientation(x0, z0, x3, z3, (cell.boxX1 + cell.boxX2) / 2, (cell.boxZ1 + cell.boxZ2) / 2);
    return middle != 0 ? middle : orientation(x0, z0, x3, z3, fromX, fromZ);
}

// Carries the eye through the first passage of the cell it stood in before the step whose
// opening this step crossed, between the opening's bottom and top. true when the eye was
// carried, or held at a passage onto no cell's box (its step taken back).
bool crossPassages(float fromX, float fromZ) {
    const int32_t standing = cellOfEye(fromX, fromZ);
    if (portalCulling == 0 || standing < 0 || standing >= cellCount) return false;
    const Cell& cell = cells[standing];
    const CellPlacement& at = cell.placement;
    for (int32_t k = 0; k < cell.portalCount && k < maxPortalsPerCell; ++k) {
        const int32_t neighbour = cell.portalNeighbour[k];
        if (neighbour < 0 || neighbour >= cellCount || !isPassage(cell, k)) continue;
        const float x0 = placedX(at, cell.portalCornerX[0][k]);
        const float z0 = placedZ(at, cell.portalCornerZ[0][k]);
        const float x3 = placedX(at, cell.portalCornerX[3][k]);
        const float z3 = placedZ(at, cell.portalCornerZ[3][k]);
        float bottom = cell.portalCornerY[0][k], top = bottom;
        for (int v = 1; v < 4; ++v) {
            bottom = std::fmin(bottom, cell.portalCornerY[v][k]);
            top = std::fmax(top, cell.portalCornerY[v][k]);
        }
        bottom = placedY(at, bottom);
        top = placedY(at, top);
        if (camera.posY < bottom || camera.posY > top) continue;
        const int inside = insideSide(cell, x0, z0, x3, z3, fromX, fromZ);
        if (!stepCrossesOpening(fromX, fromZ, camera.posX, camera.posZ, x0, z0, x3, z3, inside)) continue;
        // Where the walk places the neighbour, whether or not this frame's walk reached it.
        const float shiftX = at.offsetX + cell.portalPlacement[axisX][placementOffset][k];
        const float shiftY = at.offsetY + cell.portalPlacement[axisY][placementOffset][k];
        const float shiftZ = at.offsetZ + cell.portalPlacement[axisZ][placementOffset][k];
        const float toX = camera.posX - shiftX, toZ = camera.posZ - shiftZ;
        if (findCurrentCell(toX, toZ) < 0) {
            // Onto no box: the picture would go black with no way back.
            camera.posX = fromX;
            camera.posZ = fromZ;
            return true;
        }
        camera.posX = toX;
        camera.posY -= shiftY;
        camera.posZ = toZ;
        carryIntoCell(neighbour);
        return true;
    }
    return false;
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
    const double limit = std::sqrt(double(collisionMargin));
    return withinOpening(entry, x, y, z, limit, limit);
}

bool withinOpening(const StencilPortal& entry, float x, float y, float z, double planeDistance, double edgeReach) {
    const CellPlacement& placement = placementOf(entry.cell);
    double p[4][3];
    for (int v = 0; v < 4; ++v) {
        p[v][0] = placedX(placement, entry.cornerX[v]);
        p[v][1] = placedY(placement, entry.cornerY[v]);
        p[v][2] = placedZ(placement, entry.cornerZ[v]);
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
    if (side * side / normSq >= planeDistance * planeDistance) return false;
    // Within the plane: how far beyond each edge, measured away from the opening's middle.
    const double reach = edgeReach;
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

bool stepCrossesOpening(float fromX, float fromZ, float toX, float toZ, float x0, float z0, float x3, float z3,
                        int inside) {
    if (inside == 0) return false;
    const int from = orientation(x0, z0, x3, z3, fromX, fromZ);
    const int to = orientation(x0, z0, x3, z3, toX, toZ);
    if (from == -inside || to != -inside) return false;
    // The opening's ends on either side of the step's line, or on it.
    const int end0 = orientation(fromX, fromZ, toX, toZ, x0, z0);
    const int end3 = orientation(fromX, fromZ, toX, toZ, x3, z3);
    return end0 * end3 <= 0 && !(end0 == 0 && end3 == 0);
}

void resolveCollisions(const uint32_t* records, int64_t recordCapacity, int32_t hitCount) {
    const float dx = camera.stepX, dz = camera.stepZ;
    const float fromX = camera.posX - dx, fromZ = camera.posZ - dz;
    if (records) collideWithWalls(records, recordCapacity, hitCount, dx, dz);
    collideWithObjects(dx, dz);
    collideWithWindows(dx, dz);
    if (crossPassages(fromX, fromZ)) return;
    keepInsideCells(fromX, fromZ);
}
