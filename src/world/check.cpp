// The world checker's checks: geometry and topology of the loaded tables.
#include "world/check.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <deque>

#include "world/world.h"

namespace {

struct Vec3 {
    double x = 0, y = 0, z = 0;
};

Vec3 operator-(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 cross(const Vec3& a, const Vec3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
double length(const Vec3& a) { return std::sqrt(dot(a, a)); }

// A cell's box in X and Z, whichever way round the map gave its corners.
struct Box2 {
    double minX = 0, maxX = 0, minZ = 0, maxZ = 0;
};

Box2 boxOf(const Cell& cell) {
    return {std::min(cell.boxX1, cell.boxX2), std::max(cell.boxX1, cell.boxX2),
            std::min(cell.boxZ1, cell.boxZ2), std::max(cell.boxZ1, cell.boxZ2)};
}

// How far (x, z) lies beyond the box in X or Z; 0 inside.
double distanceBeyond(const Box2& box, double x, double z) {
    const double dx = std::max({box.minX - x, x - box.maxX, 0.0});
    const double dz = std::max({box.minZ - z, z - box.maxZ, 0.0});
    return std::max(dx, dz);
}

Vec3 portalCorner(const Cell& cell, int k, int v) {
    return {cell.portalCornerX[v][k], cell.portalCornerY[v][k], cell.portalCornerZ[v][k]};
}

// Portal k shows its neighbour where the map puts it: no offset, no turn, scale 1.
bool portalLeavesInPlace(const Cell& cell, int k) {
    for (int axis = 0; axis < 3; ++axis) {
        if (cell.portalPlacement[axis][placementOffset][k] != 0.0f ||
            cell.portalPlacement[axis][placementRotate][k] != 0.0f ||
            cell.portalPlacement[axis][placementScale][k] != 1.0f)
            return false;
    }
    return true;
}

// nan and inf pass the loader ("%f" reads them) but make every comparison meaningless.
bool allFinite(std::initializer_list<double> values) {
    for (const double value : values)
        if (!std::isfinite(value)) return false;
    return true;
}

bool finiteBox(const Cell& cell) {
    return allFinite({cell.boxX1, cell.boxY1, cell.boxZ1, cell.boxX2, cell.boxY2, cell.boxZ2});
}

bool finitePortal(const Cell& cell, int k) {
    for (int v = 0; v < 4; ++v)
        if (!allFinite({cell.portalCornerX[v][k], cell.portalCornerY[v][k], cell.portalCornerZ[v][k]})) return false;
    for (int axis = 0; axis < 3; ++axis)
        for (int component = 0; component < 3; ++component)
            if (!std::isfinite(cell.portalPlacement[axis][component][k])) return false;
    return true;
}

bool finitePolygon(const WallPolygon& polygon) {
    for (int v = 0; v < 3; ++v)
        if (!allFinite({polygon.x[v], polygon.y[v], polygon.z[v]})) return false;
    return true;
}

const char* const notFinite = " is not a finite number (nan or inf)";

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

std::string portalName(int32_t cell, int k) {
    return "portal " + std::to_string(k) + " of cell " + std::to_string(cell);
}

// Collects problems with the line of their record.
struct Report {
    const MapLines& lines;
    std::vector<WorldProblem> problems;

    static int32_t lineOf(const std::vector<int32_t>& table, int32_t index) {
        return index >= 0 && size_t(index) < table.size() ? table[size_t(index)] : 0;
    }
    int32_t cellLine(int32_t cell) const { return lineOf(lines.cells, cell); }
    int32_t portalLine(int32_t cell, int k) const {
        if (cell < 0 || size_t(cell) >= lines.portals.size()) return cellLine(cell);
        const int32_t line = lineOf(lines.portals[size_t(cell)], k);
        return line != 0 ? line : cellLine(cell);
    }
    int32_t polygonLine(int32_t polygon) const { return lineOf(lines.polygons, polygon); }

    void add(int32_t line, Severity severity, std::string message) {
        problems.push_back({line, severity, std::move(message)});
    }
};

// --- Portals ---------------------------------------------------------------------------

// The opening must be a flat convex quadrilateral: the stencil pass fills it as the two
// triangles 0-1-2 and 0-2-3, and the traversal narrows the view to its corners.
void checkPortalShape(Report& report, int32_t c, int k) {
    const Cell& cell = cells[c];
    Vec3 p[4];
    for (int v = 0; v < 4; ++v) p[v] = portalCorner(cell, k, v);

    // The plane of the largest corner triangle, so a crossed quad still has one.
    Vec3 normal;
    int apart = 0;  // the corner not in that triangle
    for (int skip = 0; skip < 4; ++skip) {
        const Vec3& a = p[(skip + 1) % 4];
        const Vec3 n = cross(p[(skip + 2) % 4] - a, p[(skip + 3) % 4] - a);
        if (length(n) > length(normal)) normal = n, apart = skip;
    }
    if (length(normal) / 2 < checkMinArea) {
        report.add(report.portalLine(c, k), Severity::error,
                   portalName(c, k) + " has no area: its corners lie on one line");
        return;
    }
    const Vec3 unit{normal.x / length(normal), normal.y / length(normal), normal.z / length(normal)};
    const double off = std::fabs(dot(unit, p[apart] - p[(apart + 1) % 4]));
    if (off > checkTolerance) {
        report.add(report.portalLine(c, k), Severity::error,
                   portalName(c, k) + ": its corners do not lie in one plane (corner " +
                       std::to_string(apart) + " is " + number(off) + " off the plane of the others)");
        return;
    }
    // Convex: every turn from one edge to the next goes the same way round the normal;
    // a straight run (three corners on a line) is allowed.
    bool left = false, right = false;
    for (int v = 0; v < 4; ++v) {
        const Vec3 e1 = p[(v + 1) % 4] - p[v];
        const Vec3 e2 = p[(v + 2) % 4] - p[(v + 1) % 4];
        const double turn = dot(cross(e1, e2), unit);
        const double scale = length(e1) * length(e2);
        if (turn > 1e-6 * scale) left = true;
        if (turn < -1e-6 * scale) right = true;
    }
    if (left && right) {
        report.add(report.portalLine(c, k), Severity::error,
                   portalName(c, k) + ": its corners do not form a convex quadrilateral "
                                      "(taken in order 0, 1, 2, 3 they cross or turn inwards)");
    }
}

void checkPortalInsideOwnBox(Report& report, int32_t c, int k) {
    const Cell& cell = cells[c];
    const Box2 box = boxOf(cell);
    for (int v = 0; v < 4; ++v) {
        const double beyond = distanceBeyond(box, cell.portalCornerX[v][k], cell.portalCornerZ[v][k]);
        if (beyond > checkTolerance) {
            report.add(report.portalLine(c, k), Severity::warning,
                       portalName(c, k) + ": corner " + std::to_string(v) + " lies " + number(beyond) +
                           " outside the box of cell " + std::to_string(c));
            return;
        }
    }
}

// Separating axes in X and Z: the box's own axes and the normal of each edge of the
// opening's footprint. An axis that separates them proves they do not meet; testing
// only these can at worst miss a gap, never invent one.
bool openingTouchesBox(const Cell& cell, int k, const Box2& box) {
    double px[4], pz[4];
    for (int v = 0; v < 4; ++v) px[v] = cell.portalCornerX[v][k], pz[v] = cell.portalCornerZ[v][k];
    const double bx[4] = {box.minX - checkTolerance, box.maxX + checkTolerance, box.maxX + checkTolerance,
                          box.minX - checkTolerance};
    const double bz[4] = {box.minZ - checkTolerance, box.minZ - checkTolerance, box.maxZ + checkTolerance,
                          box.maxZ + checkTolerance};
    const auto separates = [&](double ax, double az) {
        double pMin = INFINITY, pMax = -INFINITY, bMin = INFINITY, bMax = -INFINITY;
        for (int i = 0; i < 4; ++i) {
            const double pp = px[i] * ax + pz[i] * az, bp = bx[i] * ax + bz[i] * az;
            pMin = std::min(pMin, pp), pMax = std::max(pMax, pp);
            bMin = std::min(bMin, bp), bMax = std::max(bMax, bp);
        }
        return pMax < bMin || bMax < pMin;
    };
    if (separates(1, 0) || separates(0, 1)) return false;
    for (int v = 0; v < 4; ++v) {
        const double ex = px[(v + 1) % 4] - px[v], ez = pz[(v + 1) % 4] - pz[v];
        const double len = std::sqrt(ex * ex + ez * ez);
        if (len > checkTolerance && separates(-ez / len, ex / len)) return false;
    }
    return true;
}

bool sameOpening(const Cell& a, int ka, const Cell& b, int kb) {
    const auto covered = [](const Cell& from, int kf, const Cell& to, int kt) {
        for (int v = 0; v < 4; ++v) {
            bool found = false;
            for (int w = 0; w < 4 && !found; ++w) {
                found = std::fabs(from.portalCornerX[v][kf] - to.portalCornerX[w][kt]) <= checkTolerance &&
                        std::fabs(from.portalCornerY[v][kf] - to.portalCornerY[w][kt]) <= checkTolerance &&
                        std::fabs(from.portalCornerZ[v][kf] - to.portalCornerZ[w][kt]) <= checkTolerance;
            }
            if (!found) return false;
        }
        return true;
    };
    return covered(a, ka, b, kb) && covered(b, kb, a, ka);
}

// A neighbour reached without a shift is seen in place, so the eye that walks into it
// expects to look back the way it came.
void checkWayBack(Report& report, int32_t c, int k, int32_t n) {
    const Cell& neighbour = cells[n];
    bool anyBack = false;
    for (int j = 0; j < neighbour.portalCount && j < maxPortalsPerCell; ++j) {
        if (neighbour.portalNeighbour[j] != c) continue;
        anyBack = true;
        if (sameOpening(cells[c], k, neighbour, j)) return;
    }
    report.add(report.portalLine(c, k), Severity::warning,
               portalName(c, k) + " leads to cell " + std::to_string(n) + ", which has " +
                   (anyBack ? "no portal back to cell " + std::to_string(c) + " through the same opening"
                            : "no portal back to cell " + std::to_string(c)));
}

// A passage carries the eye across its opening into its neighbour's own coordinates (the
// eye less the shift): that point must lie in some cell's box, and the eye that walks on
// expects an opening back at the same place, shifting the other way.
void checkPassage(Report& report, int32_t c, int k, int32_t n) {
    const Cell& cell = cells[c];
    const double dx = cell.portalPlacement[axisX][placementOffset][k];
    const double dy = cell.portalPlacement[axisY][placementOffset][k];
    const double dz = cell.portalPlacement[axisZ][placementOffset][k];
    const double landX = (double(cell.portalCornerX[0][k]) + cell.portalCornerX[3][k]) / 2 - dx;
    const double landZ = (double(cell.portalCornerZ[0][k]) + cell.portalCornerZ[3][k]) / 2 - dz;
    if (findCurrentCell(float(landX), float(landZ)) < 0) {
        report.add(report.portalLine(c, k), Severity::error,
                   "passage " + portalName(c, k) + ": it carries the eye to (" + number(landX) + ", " +
                       number(landZ) + "), outside every cell's box");
        return;
    }
    const Cell& neighbour = cells[n];
    const auto near = [](double a, double b) { return std::fabs(a - b) <= checkTolerance; };
    for (int j = 0; j < neighbour.portalCount && j < maxPortalsPerCell; ++j) {
        if (neighbour.portalNeighbour[j] != c || !isPassage(neighbour, j)) continue;
        if (!near(neighbour.portalPlacement[axisX][placementOffset][j], -dx) ||
            !near(neighbour.portalPlacement[axisY][placementOffset][j], -dy) ||
            !near(neighbour.portalPlacement[axisZ][placementOffset][j], -dz))
            continue;
        Cell shifted = cell;
        for (int v = 0; v < 4; ++v) {
            shifted.portalCornerX[v][k] = float(cell.portalCornerX[v][k] - dx);
            shifted.portalCornerY[v][k] = float(cell.portalCornerY[v][k] - dy);
            shifted.portalCornerZ[v][k] = float(cell.portalCornerZ[v][k] - dz);
        }
        if (sameOpening(shifted, k, neighbour, j)) return;
    }
    report.add(report.portalLine(c, k), Severity::warning,
               "passage " + portalName(c, k) + " leads to cell " + std::to_string(n) +
                   ", which has no passage back to cell " + std::to_string(c) + " at the same place (shifted by " +
                   number(0 - dx) + " " + number(0 - dy) + " " + number(0 - dz) + "), so the eye cannot walk back");
}

void checkPortal(Report& report, int32_t c, int k) {
    const Cell& cell = cells[c];
    const int32_t n = cell.portalNeighbour[k];
    if (!finitePortal(cell, k)) {
        report.add(report.portalLine(c, k), Severity::error, portalName(c, k) + ": a corner or placement value" + notFinite);
        return;
    }
    checkPortalShape(report, c, k);
    if (finiteBox(cell)) checkPortalInsideOwnBox(report, c, k);
    if (n == c) {
        report.add(report.portalLine(c, k), Severity::warning,
                   portalName(c, k) + " leads back to its own cell, so the walk never follows it");
        return;
    }
    if (n >= 0 && n < cellCount && isPassage(cell, k)) checkPassage(report, c, k, n);
    if (n < 0 || n >= cellCount || !portalLeavesInPlace(cell, k) || !finiteBox(cells[n])) return;
    if (cell.portalKind[k] != 1 && !openingTouchesBox(cell, k, boxOf(cells[n]))) {
        report.add(report.portalLine(c, k), Severity::error,
                   "plain " + portalName(c, k) + ": its opening does not touch the box of cell " +
                       std::to_string(n) + ", the cell it leads to");
    }
    checkWayBack(report, c, k, n);
}

// --- Cells -----------------------------------------------------------------------------

// A box the engine can use, and not sharing ground with an earlier one.
void checkCellBox(Report& report, int32_t c) {
    if (!finiteBox(cells[c])) {
        report.add(report.cellLine(c), Severity::error, "the box of cell " + std::to_string(c) + notFinite);
        return;
    }
    const Box2 mine = boxOf(cells[c]);
    for (int32_t other = 0; other < c; ++other) {
        if (!finiteBox(cells[other])) continue;
        const Box2 theirs = boxOf(cells[other]);
        const double shareX = std::min(mine.maxX, theirs.maxX) - std::max(mine.minX, theirs.minX);
        const double shareZ = std::min(mine.maxZ, theirs.maxZ) - std::max(mine.minZ, theirs.minZ);
        if (shareX > checkTolerance && shareZ > checkTolerance) {
            report.add(report.cellLine(c), Severity::warning,
                       "the box of cell " + std::to_string(c) + " overlaps the box of cell " +
                           std::to_string(other) + "; where both hold the eye, cell " + std::to_string(c) +
                           " is the current cell");
        }
    }
}

void checkPolygons(Report& report, int32_t c) {
    const Cell& cell = cells[c];
    const Box2 box = boxOf(cell);
    const int32_t last = std::min(cell.lastPolygon, polygonCount - 1);
    for (int32_t i = std::max(cell.firstPolygon, 0); i <= last; ++i) {
        const WallPolygon& polygon = wallPolygons[size_t(i)];
        const Vec3 v0{polygon.x[0], polygon.y[0], polygon.z[0]};
        const Vec3 v1{polygon.x[1], polygon.y[1], polygon.z[1]};
        const Vec3 v2{polygon.x[2], polygon.y[2], polygon.z[2]};
        const std::string name = "wall triangle " + std::to_string(i) + " of cell " + std::to_string(c);
        if (!finitePolygon(polygon)) {
            report.add(report.polygonLine(i), Severity::error, name + ": a vertex coordinate" + notFinite);
            continue;
        }
        if (length(cross(v1 - v0, v2 - v0)) / 2 < checkMinArea) {
            report.add(report.polygonLine(i), Severity::warning, name + " has no area");
        }
        for (int v = 0; v < 3 && finiteBox(cell); ++v) {
            const double beyond = distanceBeyond(box, polygon.x[v], polygon.z[v]);
            if (beyond > checkTolerance) {
                report.add(report.polygonLine(i), Severity::warning,
                           name + ": vertex " + std::to_string(v) + " lies " + number(beyond) +
                               " outside the cell's box");
                break;
            }
        }
    }
}

// Cells the walk can enter from `start`, whatever the view.
std::vector<bool> reachableFrom(int32_t start) {
    std::vector<bool> reached(size_t(cellCount), false);
    std::deque<int32_t> queue{start};
    reached[size_t(start)] = true;
    while (!queue.empty()) {
        const Cell& cell = cells[queue.front()];
        queue.pop_front();
        for (int k = 0; k < cell.portalCount && k < maxPortalsPerCell; ++k) {
            const int32_t n = cell.portalNeighbour[k];
            if (n < 0 || n >= cellCount || reached[size_t(n)]) continue;
            reached[size_t(n)] = true;
            queue.push_back(n);
        }
    }
    return reached;
}

// The walk's own order (depth first, portals in order, each cell entered once) with a
// view that sees through every portal. Returns true once it has met more stencil
// portals than a walk lists, at `where`.
struct StencilWalk {
    int32_t limit = 0;
    int32_t met = 0;
    std::vector<bool> entered;
    int32_t atCell = -1, atPortal = -1;

    bool walk(int32_t c) {
        const Cell& cell = cells[c];
        for (int k = 0; k < cell.portalCount && k < maxPortalsPerCell; ++k) {
            const int32_t n = cell.portalNeighbour[k];
            if (n < 0 || n >= cellCount || entered[size_t(n)]) continue;
            entered[size_t(n)] = true;
            if (cell.portalKind[k] == 1 && ++met > limit) {
                atCell = c, atPortal = k;
                return true;
            }
            if (walk(n)) return true;
        }
        return false;
    }
};

void checkStencilWalks(Report& report, int32_t limit) {
    for (int32_t start = 0; start < cellCount; ++start) {
        StencilWalk walk{limit, 0, std::vector<bool>(size_t(cellCount), false)};
        walk.entered[size_t(start)] = true;
        if (!walk.walk(start)) continue;
        report.add(report.portalLine(walk.atCell, walk.atPortal), Severity::warning,
                   "a walk from cell " + std::to_string(start) + " that sees through every portal meets " +
                       portalName(walk.atCell, walk.atPortal) + " as stencil portal " +
                       std::to_string(limit + 1) + "; a walk lists " + std::to_string(limit) +
                       " and does not follow the rest");
        return;  // one walk says it; the others would repeat it
    }
}

// --- Where the eye can walk -------------------------------------------------------------

// How near the eye a wall may come before the selection frustum meets it within the
// collision limit, which takes back every step.
struct Reach {
    double eye = 3;
    double vertical = 1;     // a floor or ceiling this close above or below the eye stops it
    double beside = 0.79;    // the edge of an opening this close above, below or aside of it
};

Reach reachOf(const CheckSettings& settings) {
    const double limit = std::sqrt(double(settings.collisionMargin));
    const double slope = settings.selectionSlope, far = settings.selectionFar;
    return {settings.eyeHeight, std::min(slope * far, limit), slope * std::min(far, limit)};
}

// A limit to a tenth, rounded the way that keeps clear of it.
std::string tenthAbove(double value) { return number(std::ceil(value * 10 - 1e-9) / 10); }
std::string tenthBelow(double value) { return number(std::floor(value * 10 + 1e-9) / 10); }

// Level triangles close enough above or below the eye that any step near them is taken
// back: the eye cannot walk in that part of the cell. The first floor and the first
// ceiling of the cell are named.
void checkFloorsAndCeilings(Report& report, int32_t c, const Reach& reach) {
    const Cell& cell = cells[c];
    const int32_t last = std::min(cell.lastPolygon, polygonCount - 1);
    bool floorSaid = false, ceilingSaid = false;
    for (int32_t i = std::max(cell.firstPolygon, 0); i <= last; ++i) {
        const WallPolygon& polygon = wallPolygons[size_t(i)];
        if (!finitePolygon(polygon)) continue;
        const Vec3 v0{polygon.x[0], polygon.y[0], polygon.z[0]};
        const Vec3 n = cross(Vec3{polygon.x[1], polygon.y[1], polygon.z[1]} - v0,
                             Vec3{polygon.x[2], polygon.y[2], polygon.z[2]} - v0);
        if (length(n) / 2 < checkMinArea || std::fabs(n.y) < 0.999 * length(n)) continue;
        const double height = (double(polygon.y[0]) + polygon.y[1] + polygon.y[2]) / 3;
        const double above = height - reach.eye;
        if (std::fabs(above) > reach.vertical) continue;
        const bool ceiling = above > 0;
        if (ceiling ? ceilingSaid : floorSaid) continue;
        (ceiling ? ceilingSaid : floorSaid) = true;
        const std::string what = ceiling ? "a ceiling" : "a floor";
        report.add(report.polygonLine(i), Severity::warning,
                   "wall triangle " + std::to_string(i) + " of cell " + std::to_string(c) + " is " + what +
                       " at height " + number(height) +
                       ": the selection frustum meets it within the eye's collision limit, so the eye (at height " +
                       number(reach.eye) + ") cannot walk there; " +
                       (ceiling ? "the ceiling must rise above " + number(reach.eye + reach.vertical)
                                : "the floor must stay below " + number(reach.eye - reach.vertical)));
    }
}

// A plain portal the eye is meant to walk through (its opening spans the eye's height)
// but whose edges come so close that the walls around it stop the eye.
void checkDoorway(Report& report, int32_t c, int k, const Reach& reach) {
    const Cell& cell = cells[c];
    const int32_t n = cell.portalNeighbour[k];
    if (cell.portalKind[k] == 1 || n < 0 || n >= cellCount || n == c || !finitePortal(cell, k)) return;
    double top = -INFINITY, bottom = INFINITY;
    for (int v = 0; v < 4; ++v) {
        top = std::max(top, double(cell.portalCornerY[v][k]));
        bottom = std::min(bottom, double(cell.portalCornerY[v][k]));
    }
    if (reach.eye < bottom || reach.eye > top) return;
    const double width = std::hypot(double(cell.portalCornerX[3][k]) - cell.portalCornerX[0][k],
                                    double(cell.portalCornerZ[3][k]) - cell.portalCornerZ[0][k]);
    std::string change;
    if (top - reach.eye < reach.beside)
        change = "its top (at " + number(top) + ") must reach at least " + tenthAbove(reach.eye + reach.beside);
    else if (reach.eye - bottom < reach.beside)
        change = "its foot (at " + number(bottom) + ") must stay at or below " + tenthBelow(reach.eye - reach.beside);
    else if (width < 2 * reach.beside)
        change = "it must be at least " + tenthAbove(2 * reach.beside) + " wide (it is " + number(width) + ")";
    if (change.empty()) return;
    report.add(report.portalLine(c, k), Severity::warning,
               "plain " + portalName(c, k) + ": the eye cannot walk through it into cell " + std::to_string(n) +
                   ": the selection frustum meets the wall around the opening within the eye's collision limit; " +
                   change);
}

bool insideTriangle(const WallPolygon& polygon, const Vec3& p) {
    const Vec3 a{polygon.x[0], polygon.y[0], polygon.z[0]};
    const Vec3 b{polygon.x[1], polygon.y[1], polygon.z[1]};
    const Vec3 c{polygon.x[2], polygon.y[2], polygon.z[2]};
    const Vec3 n = cross(b - a, c - a);
    const double nn = dot(n, n);
    if (nn == 0) return false;
    // Barycentric weights of p's projection; a little slack so a middle on the diagonal
    // of a wall split in two still counts.
    const double wa = dot(cross(c - b, p - b), n) / nn;
    const double wb = dot(cross(a - c, p - c), n) / nn;
    const double wc = dot(cross(b - a, p - a), n) / nn;
    const double slack = -1e-6;
    return wa >= slack && wb >= slack && wc >= slack;
}

// A stencil window shows its target through the opening carried back into the target's
// own coordinates: a wall of the target lying across that spot is what the window shows.
void checkWindowLanding(Report& report, int32_t c, int k) {
    const Cell& cell = cells[c];
    const int32_t n = cell.portalNeighbour[k];
    if (cell.portalKind[k] != 1 || n < 0 || n >= cellCount || n == c || !finitePortal(cell, k)) return;
    Vec3 middle;
    for (int v = 0; v < 4; ++v) {
        const double p[3] = {cell.portalCornerX[v][k], cell.portalCornerY[v][k], cell.portalCornerZ[v][k]};
        double q[3];
        for (int axis = 0; axis < 3; ++axis) {
            const double scale = cell.portalPlacement[axis][placementScale][k];
            if (scale == 0) return;
            q[axis] = (p[axis] - cell.portalPlacement[axis][placementOffset][k]) / scale;
        }
        middle.x += q[0] / 4, middle.y += q[1] / 4, middle.z += q[2] / 4;
    }
    const Cell& target = cells[n];
    const int32_t last = std::min(target.lastPolygon, polygonCount - 1);
    for (int32_t i = std::max(target.firstPolygon, 0); i <= last; ++i) {
        const WallPolygon& polygon = wallPolygons[size_t(i)];
        if (!finitePolygon(polygon)) continue;
        const Vec3 a{polygon.x[0], polygon.y[0], polygon.z[0]};
        const Vec3 normal = cross(Vec3{polygon.x[1], polygon.y[1], polygon.z[1]} - a,
                                  Vec3{polygon.x[2], polygon.y[2], polygon.z[2]} - a);
        if (length(normal) / 2 < checkMinArea) continue;
        const double off = std::fabs(dot(normal, middle - a)) / length(normal);
        if (off > checkTolerance || !insideTriangle(polygon, middle)) continue;
        report.add(report.portalLine(c, k), Severity::warning,
                   "stencil " + portalName(c, k) + ": its opening lands in cell " + std::to_string(n) +
                       " on wall triangle " + std::to_string(i) + " (line " + std::to_string(report.polygonLine(i)) +
                       "), which has no hole there, so the window shows that wall; leave the wall open where the "
                       "opening lands (" + number(middle.x) + ", " + number(middle.y) + ", " + number(middle.z) + ")");
        return;
    }
}

void checkMapEnd(Report& report) {
    int32_t line = 0;
    const std::string message = mapEndProblem(report.lines.end, line);
    if (!message.empty()) report.add(line, Severity::warning, message);
}

// Polygons before the first cell record and objects placed before it belong to no cell:
// the walk never marks them, so with portal culling on they are never drawn.
void checkStrays(Report& report) {
    const int32_t strayPolygons = cellCount > 0 ? std::min(cells[0].firstPolygon, polygonCount) : polygonCount;
    if (strayPolygons > 0) {
        report.add(report.polygonLine(0), Severity::warning,
                   std::to_string(strayPolygons) + " wall triangle" + (strayPolygons > 1 ? "s" : "") +
                       " before the first cell belong to no cell; they are drawn only with portal culling off");
    }
    for (int32_t i = 0; i < placedObjectCount; ++i) {
        if (placedObjects[i].cell >= 0) continue;
        report.add(Report::lineOf(report.lines.placedObjects, i), Severity::warning,
                   "placed object " + std::to_string(i) +
                       " comes before the first cell and stands in none; it is never drawn");
    }
}

}  // namespace

std::vector<WorldProblem> checkWorld(const MapLines& lines, const CheckSettings& settings) {
    Report report{lines, {}};
    const int32_t start = findCurrentCell(settings.startX, settings.startZ);
    if (start < 0) {
        report.add(0, Severity::error,
                   "the start point (" + number(settings.startX) + ", " + number(settings.startZ) +
                       " in X and Z) lies outside every cell's box");
    }
    const std::vector<bool> reached = start >= 0 ? reachableFrom(start) : std::vector<bool>();
    const Reach reach = reachOf(settings);
    checkMapEnd(report);
    checkStrays(report);
    for (int32_t c = 0; c < cellCount; ++c) {
        checkCellBox(report, c);
        // A cell without portals is drawn always and whole, whether a walk reaches it or not.
        if (start >= 0 && !reached[size_t(c)] && cells[c].portalCount > 0) {
            report.add(report.cellLine(c), Severity::warning,
                       "cell " + std::to_string(c) + " cannot be reached through portals from cell " +
                           std::to_string(start) + ", where the eye starts");
        }
        for (int k = 0; k < cells[c].portalCount && k < maxPortalsPerCell; ++k) {
            checkPortal(report, c, k);
            checkWindowLanding(report, c, k);
            if (start >= 0 && reached[size_t(c)]) checkDoorway(report, c, k, reach);
        }
        checkPolygons(report, c);
        if (start >= 0 && reached[size_t(c)]) checkFloorsAndCeilings(report, c, reach);
    }
    checkStencilWalks(report, settings.maxStencilPortals);
    sortProblems(report.problems);
    return report.problems;
}

void sortProblems(std::vector<WorldProblem>& problems) {
    std::stable_sort(problems.begin(), problems.end(),
                     [](const WorldProblem& a, const WorldProblem& b) { return a.line < b.line; });
}

std::string formatProblem(const std::string& fileName, const WorldProblem& problem) {
    std::string text = fileName;
    if (problem.line > 0) text += ":" + std::to_string(problem.line);
    text += problem.severity == Severity::error ? ": error: " : ": warning: ";
    return text + problem.message;
}
