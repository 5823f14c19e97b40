// Portal visibility traversal: a depth-first walk over the cells in the horizontal
// X-Z plane. Marks what lies inside a wedge from the eye, narrows the wedge to each
// portal it passes, places the neighbours and lists the stencil portals. No GL.
#include "render/render.h"

#include <algorithm>  // Required for: std::sort, std::lower_bound
#include <cmath>      // Required for: std::fabs

#include "input/input.h"  // Required for: camera (eye and yaw)
#include "render/local.h"  // Required for: forgetWalk

// Rebuilt by every walk; computeVisibleSet() resets them, resetRenderer() zeroes them.
int32_t currentCell = -1;
int32_t carriedCell = -1;
int32_t visitedCells[maxCells];
int32_t visitedCount = 0;
int32_t viewedCellCount = 0;
StencilPortal stencilPortalList[maxStencilPortals];
int32_t stencilPortalCount = 0;
float viewRightX = 0, viewLeftX = 0, viewRightZ = 0, viewLeftZ = 0;
std::vector<CellVisit> cellVisits;
std::vector<int32_t> markedPolygons;
std::vector<int32_t> visitOrder;

int32_t markedWallCount() { return int32_t(markedPolygons.size()); }

namespace {

struct Point2 {
    float x = 0, z = 0;
};

// Index of the stencil entry whose opening the cells being walked are seen through, or
// -1. Kept per branch so that a cell behind a stencil portal keeps that portal's mark even
// after a deeper stencil portal has been listed.
int32_t enclosingStencilEntry = -1;

// Membership of visitedCells without scanning it: a cell is in this walk's list when its
// stamp equals the walk's number.
uint32_t visitStamp[maxCells] = {};
uint32_t walkNumber = 0;

// Every wall polygon with a non-zero mark is listed in markedPolygons (the walk is the
// only writer of wall marks), so a walk clears just those. Not so at start-up (a loaded
// polygon carries 1) or after the tables changed: then every mark is cleared once.
struct MarkedList {
    bool complete = false;
    uint32_t revision = 0;
    int32_t polygons = -1;
};
MarkedList markedList;

int clampedAngle(int32_t tenths) {
    return tenths < 0 ? 0 : tenths > 3600 ? 3600 : tenths;
}

Point2 eye() { return Point2{camera.posX, camera.posZ}; }

// A camera-relative point (lateral, positive to the left; forward) in world X and Z,
// turned by the camera's heading like the walk.
Point2 relativeToWorld(float lateral, float forward) {
    const int yaw = clampedAngle(camera.yaw);
    Point2 p;
    p.x = camera.posX + forward * sineTable[yaw] + lateral * sineTable[yaw + 900];
    p.z = camera.posZ + lateral * cosineTable[yaw + 900] + forward * cosineTable[yaw];
    return p;
}

Point2 localToWorld(const CellPlacement& placement, float x, float z) {
    return Point2{placedX(placement, x), placedZ(placement, z)};
}

// A wedge from the eye through its left and right edge points, in world coordinates.
struct Wedge {
    Point2 left, right;
};

// Zero counts as inside on both edges.
bool insideLeft(const Point2& e, const Wedge& w, const Point2& v) {
    return orientation(e.x, e.z, w.left.x, w.left.z, v.x, v.z) <= 0;
}
bool insideRight(const Point2& e, const Wedge& w, const Point2& v) {
    return orientation(e.x, e.z, w.right.x, w.right.z, v.x, v.z) >= 0;
}

// A shape passes the wedge when some point is inside the left edge and some (maybe
// another) point is inside the right edge: whole lines through the eye, so a wide shape
// behind the eye that reaches across both lines passes too.
bool passesWedge(const Point2& e, const Wedge& w, const Point2* points, int count) {
    bool left = false;
    for (int i = 0; i < count && !left; ++i) left = insideLeft(e, w, points[i]);
    if (!left) return false;
    for (int i = 0; i < count; ++i)
        if (insideRight(e, w, points[i])) return true;
    return false;
}

Wedge viewWedge() {
    return Wedge{relativeToWorld(viewLeftX, viewLeftZ), relativeToWorld(viewRightX, viewRightZ)};
}

// Marks the cell's polygons and lists the visit with the ones it marked.
void markWallPolygons(int32_t cell, const Wedge& wedge, int32_t mark) {
    const Cell& c = cells[cell];
    const Point2 e = eye();
    const int32_t first = c.firstPolygon < 0 ? 0 : c.firstPolygon;
    const int32_t last = c.lastPolygon >= polygonCount ? polygonCount - 1 : c.lastPolygon;
    CellVisit visit;
    visit.cell = cell;
    visit.mark = mark;
    visit.firstMarked = int32_t(markedPolygons.size());
    for (int32_t i = first; i <= last; ++i) {
        WallPolygon& polygon = wallPolygons[size_t(i)];
        Point2 vertices[3];
        for (int k = 0; k < 3; ++k) vertices[k] = localToWorld(c.placement, polygon.x[k], polygon.z[k]);
        const bool seen = passesWedge(e, wedge, vertices, 3);
        polygon.visibleMark = seen ? mark : 0;
        if (seen) markedPolygons.push_back(i);
    }
    visit.markedCount = int32_t(markedPolygons.size()) - visit.firstMarked;
    cellVisits.push_back(visit);
}

// Objects of cells the walk does not enter keep the mark they had.
void markPlacedObjects(int32_t cell, const Wedge& wedge, int32_t mark) {
    const CellPlacement& placement = cells[cell].placement;
    const Point2 e = eye();
    int32_t count = 0;
    const int32_t* standing = objectsInCell(cell, count);
    for (int32_t n = 0; n < count; ++n) {
        PlacedObject& object = placedObjects[standing[n]];
        const Point2 corners[2] = {
            localToWorld(placement, object.boxX1 + object.x, object.boxZ1 + object.z),
            localToWorld(placement, object.boxX2 + object.x, object.boxZ2 + object.z)};
        object.visibleMark = passesWedge(e, wedge, corners, 2) ? mark : 0;
    }
}

bool visited(int32_t cell) { return visitStamp[cell] == walkNumber; }

void addVisited(int32_t cell) {
    visitedCells[visitedCount++] = cell;
    if (cell >= 0 && cell < maxCells) visitStamp[cell] = walkNumber;
}

// A new walk: no cell is in its list yet.
void beginWalk() {
    if (++walkNumber == 0) {
        for (uint32_t& stamp : visitStamp) stamp = 0;
        walkNumber = 1;
    }
    visitedCount = 0;
}

void clearWallMarks() {
    const bool listed = markedList.complete && markedList.revision == worldRevision &&
                        markedList.polygons == polygonCount;
    if (listed) {
        for (const int32_t p : markedPolygons) wallPolygons[size_t(p)].visibleMark = 0;
    } else {
        for (int32_t i = 0; i < polygonCount; ++i) wallPolygons[size_t(i)].visibleMark = 0;
    }
    markedPolygons.clear();
    cellVisits.clear();
    markedList = MarkedList{true, worldRevision, polygonCount};
}

// Visits by mark, then by cell index.
void orderVisits() {
    visitOrder.resize(cellVisits.size());
    for (size_t i = 0; i < visitOrder.size(); ++i) visitOrder[i] = int32_t(i);
    std::sort(visitOrder.begin(), visitOrder.end(), [](int32_t a, int32_t b) {
        const CellVisit& x = cellVisits[size_t(a)];
        const CellVisit& y = cellVisits[size_t(b)];
        return x.mark != y.mark ? x.mark < y.mark : x.cell < y.cell;
    });
}

void placeNeighbour(int32_t cell, int32_t k, int32_t neighbour) {
    const Cell& c = cells[cell];
    const CellPlacement& from = c.placement;
    CellPlacement& to = cells[neighbour].placement;
    to.offsetX = from.offsetX + c.portalPlacement[axisX][placementOffset][k];
    to.rotateX = from.rotateX + c.portalPlacement[axisX][placementRotate][k];
    to.scaleX = from.scaleX * c.portalPlacement[axisX][placementScale][k];
    to.offsetY = from.offsetY + c.portalPlacement[axisY][placementOffset][k];
    to.rotateY = from.rotateY + c.portalPlacement[axisY][placementRotate][k];
    to.scaleY = from.scaleY * c.portalPlacement[axisY][placementScale][k];
    to.offsetZ = from.offsetZ + c.portalPlacement[axisZ][placementOffset][k];
    to.rotateZ = from.rotateZ + c.portalPlacement[axisZ][placementRotate][k];
    to.scaleZ = from.scaleZ * c.portalPlacement[axisZ][placementScale][k];
}

void listStencilPortal(int32_t cell, int32_t k, int32_t neighbour, bool direct) {
    const Cell& c = cells[cell];
    StencilPortal& entry = stencilPortalList[stencilPortalCount];
    entry.cell = cell;
    entry.neighbour = neighbour;
    entry.direct = direct;
    entry.passage = isPassage(c, k);
    for (int v = 0; v < 4; ++v) {
        entry.cornerX[v] = c.portalCornerX[v][k];
        entry.cornerY[v] = c.portalCornerY[v][k];
        entry.cornerZ[v] = c.portalCornerZ[v][k];
    }
    ++stencilPortalCount;
}

// Follows portal k of `cell` if it is unvisited and inside both the current wedge and the
// view wedge; the neighbour's wedge runs from the eye through the portal's corners 0 and 3.
void followPortal(int32_t cell, int32_t k, const Wedge& wedge, int throughStencil) {
    const Cell& c = cells[cell];
    const int32_t neighbour = c.portalNeighbour[k];
    if (neighbour < 0 || neighbour >= cellCount || visited(neighbour)) return;

    Point2 corners[4];
    for (int v = 0; v < 4; ++v)
        corners[v] = localToWorld(c.placement, c.portalCornerX[v][k], c.portalCornerZ[v][k]);
    const Point2 e = eye();
    if (!passesWedge(e, wedge, corners, 4) || !passesWedge(e, viewWedge(), corners, 4)) return;

    const bool stencil = c.portalKind[k] == 1;
    // The list holds maxStencilPortals entries. A stencil portal met after it is full is
    // not followed at all: its opening stays empty this frame rather than showing the cell
    // behind unconfined (and possibly shifted) over the rest of the picture.
    if (stencil && stencilPortalCount >= maxStencilPortals) return;

    addVisited(neighbour);
    placeNeighbour(cell, k, neighbour);

    const WedgeEdges edges = portalWedge(corners[0].x, corners[0].z, corners[3].x, corners[3].z, e.x, e.z);
    Wedge next;
    next.left = Point2{edges.leftX, edges.leftZ};
    next.right = Point2{edges.rightX, edges.rightZ};

    const int32_t savedEntry = enclosingStencilEntry;
    if (stencil) {
        listStencilPortal(cell, k, neighbour, throughStencil == 0);
        enclosingStencilEntry = stencilPortalCount - 1;
        throughStencil = 1;
    }
    traverseCell(neighbour, next.right.x, next.left.x, next.right.z, next.left.z, 0, throughStencil);
    enclosingStencilEntry = savedEntry;
}

}  // namespace

int orientation(float x1, float z1, float x2, float z2, float x3, float z3) {
    // Products of floats are exact in double; the sum is rounded once, to float.
    const double d = double(x1) * z3 + double(z2) * x3 + double(z1) * x2 -
                     double(x3) * z1 - double(z2) * x1 - double(z3) * x2;
    const float det = float(d);
    return det > 0 ? 1 : det < 0 ? -1 : 0;
}

WedgeEdges portalWedge(float p0x, float p0z, float p3x, float p3z, float eyeX, float eyeZ) {
    if (orientation(p0x, p0z, p3x, p3z, eyeX, eyeZ) < 0) return WedgeEdges{p0x, p0z, p3x, p3z};
    return WedgeEdges{p3x, p3z, p0x, p0z};
}

void traverseCell(int32_t cell, float rightX, float leftX, float rightZ, float leftZ,
                  int relative, int throughStencil) {
    if (cell < 0 || cell >= cellCount) return;
    Wedge wedge;
    if (relative == 1) {
        viewRightX = rightX;
        viewLeftX = leftX;
        viewRightZ = rightZ;
        viewLeftZ = leftZ;
        enclosingStencilEntry = -1;
        wedge = viewWedge();
    } else {
        wedge.left = Point2{leftX, leftZ};
        wedge.right = Point2{rightX, rightZ};
    }
    ++viewedCellCount;

    // Seen through a stencil portal: 101 + the entry of the portal this branch went through.
    const int32_t mark = throughStencil == 1 && enclosingStencilEntry >= 0 ? 101 + enclosingStencilEntry : 1;
    markWallPolygons(cell, wedge, mark);
    markPlacedObjects(cell, wedge, mark);

    const int32_t portals = cells[cell].portalCount;
    for (int32_t k = 0; k < portals && k < maxPortalsPerCell; ++k)
        followPortal(cell, k, wedge, throughStencil);
}

namespace {

// Overlapping boxes are what a passage makes possible: the cell walked into wins while
// the eye stays in its box.
int32_t eyeCell() {
    if (carriedCell >= 0 && carriedCell < cellCount && cellBoxHolds(cells[carriedCell], camera.posX, camera.posZ))
        return carriedCell;
    carriedCell = -1;
    return findCurrentCell(camera.posX, camera.posZ);
}

}  // namespace

int32_t cellOfEye(float x, float z) {
    if (carriedCell >= 0 && carriedCell < cellCount && cellBoxHolds(cells[carriedCell], x, z)) return carriedCell;
    return findCurrentCell(x, z);
}

void carryIntoCell(int32_t cell) {
    if (cell < 0 || cell >= cellCount) return;
    CellPlacement& placement = cells[cell].placement;
    placement = CellPlacement{};
    placement.scaleX = placement.scaleY = placement.scaleZ = 1.0f;
    carriedCell = cell;
    currentCell = cell;
}

void computeVisibleSet() {
    clearWallMarks();
    currentCell = eyeCell();
    viewedCellCount = 0;
    stencilPortalCount = 0;
    beginWalk();
    addVisited(currentCell);
    if (currentCell >= 0)
        traverseCell(currentCell, -0.5f, 0.5f, nearPlane, nearPlane, 1, 0);
    orderVisits();
}

void forgetWalk() {
    cellVisits.clear();
    markedPolygons.clear();
    visitOrder.clear();
    markedList = MarkedList{};
    enclosingStencilEntry = -1;
}

void appendMarkedWalls(TriangleBatch& batch, int32_t mark, const CellPlacement* placement) {
    const auto first = std::lower_bound(visitOrder.begin(), visitOrder.end(), mark,
                                        [](int32_t v, int32_t m) { return cellVisits[size_t(v)].mark < m; });
    for (auto v = first; v != visitOrder.end() && cellVisits[size_t(*v)].mark == mark; ++v) {
        const CellVisit& visit = cellVisits[size_t(*v)];
        const CellPlacement* where = placement ? placement : &cells[visit.cell].placement;
        for (int32_t n = 0; n < visit.markedCount; ++n) {
            const int32_t p = markedPolygons[size_t(visit.firstMarked + n)];
            if (wallPolygons[size_t(p)].visibleMark == mark) appendTriangle(batch, p, where);
        }
    }
}
