#include "worldbuild/layout.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>

#include "worldbuild/plan.h"  // Required for: PlanEdge, the tests between plans

namespace worldbuild {
namespace {

// The walls of a room are the edges of its plan, in plan order (a box's: -z, +x, +z, -x).
// A wall is named in a description by the side it faces (+x, -x, +z, -z) or, in a plan,
// by its number: wall N runs from point N to the next.
int wallIndex(const std::vector<PlanEdge>& edges, const std::string& side) {
    if (!side.empty() && side[0] >= '1' && side[0] <= '9') {
        const size_t n = size_t(std::stoi(side));
        return n <= edges.size() ? int(n) - 1 : -1;
    }
    for (size_t k = 0; k < edges.size(); ++k)
        if (edges[k].side == side) return int(k);
    return -1;
}

// A point of a wall, (u, y) along it, in the world.
void wallPoint(const PlanEdge& w, float u, float y, float out[3]) {
    const PlanPoint p = pointAlong(w, u);
    out[0] = p.x;
    out[1] = y;
    out[2] = p.z;
}

// The constant coordinate of a wall square to an axis.
float wallPlane(const PlanEdge& w) { return w.side[1] == 'x' ? w.a.x : w.a.z; }

struct Opening {
    float u1, u2, y1, y2;
};

// Where room `other` touches this room's wall: the common stretch along the wall, the
// common heights, and the other room's wall there.
struct Shared {
    int other = -1;
    int otherWall = -1;
    float u1 = 0, u2 = 0, y1 = 0, y2 = 0;
};

struct Portal {
    int neighbour = 0;
    int kind = 0;
    std::array<float, 3> offset{0, 0, 0}, turn{0, 0, 0}, scale{1, 1, 1};
    float corners[4][3] = {};
};

struct RoomPlan {
    std::vector<PlanEdge> walls;
    std::map<int, std::vector<Opening>> openings;  // by wall
    std::map<int, std::vector<Shared>> shared;     // by wall
    std::vector<Portal> portals;
    std::vector<const PlaceDecl*> places;
};

struct Plan {
    std::map<std::string, int> roomIndex;
    std::vector<RoomPlan> rooms;
    std::vector<size_t> order;  // rooms in the order their cells are written
    std::vector<int> cellOf;    // by room: its cell's number in the map
};

std::string opposite(const std::string& side) { return std::string(side[0] == '+' ? "-" : "+") + side[1]; }

// The wall of room a that touches room b (and b's wall there), or -1 when they share no
// stretch of wall at a common height.
int touchingWall(const RoomDecl& a, const RoomDecl& b, Shared& shared) {
    const float y1 = std::max(a.box[1], b.box[1]), y2 = std::min(a.box[4], b.box[4]);
    if (!(y1 < y2)) return -1;
    const std::vector<PlanEdge> mine = planEdges(a.plan), theirs = planEdges(b.plan);
    for (size_t e = 0; e < mine.size(); ++e)
        for (size_t f = 0; f < theirs.size(); ++f) {
            float u1 = 0, u2 = 0;
            if (!sharedStretch(mine[e], theirs[f], u1, u2)) continue;
            shared = {-1, int(f), u1, u2, y1, y2};
            return int(e);
        }
    return -1;
}

std::string number(float v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", double(v));
    return std::string(text) == "-0" ? "0" : text;
}

// The engine stops the eye at any wall that its selection frustum (up to 2 units ahead,
// reaching half a unit aside, up and down per unit ahead) meets within the collision
// limit (plane distance squared under 2.5). The eye walks level at startY, so a floor or
// ceiling within a unit of it, or an opening's edge within half the limit's root of it
// (above, below or aside), takes back every step near it.
constexpr float levelReach = 1.0f;                    // floor or ceiling; the lesser of 0.5 x 2 and 1.58
constexpr float openingReach = 0.5f * 1.58113883f;    // 0.79: the edge of an opening
// What is asked of a room or doorway, to a tenth, on the safe side.
std::string tenthUp(float v) { return number(std::ceil(v * 10 - 1e-4f) / 10); }

class Planner {
public:
    Planner(const WorldDecl& world, Plan& plan) : world_(world), plan_(plan) {}

    bool run() {
        return names() && rooms() && walls() && doors() && boxesRead() && windows() && places() && capacities();
    }

    std::string error;
    std::vector<std::string> warnings;

private:
    bool fail(int line, const std::string& message) {
        error = world_.fileName + ":" + std::to_string(line) + ": " + message;
        return false;
    }

    // File names become files in the output folder: nothing that could leave it.
    static bool plainFileName(const std::string& name) {
        if (name.empty() || name[0] == '.') return false;
        for (const char c : name)
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '_' && c != '-') return false;
        return true;
    }

    bool names() {
        std::set<std::string> seen;
        for (const TextureDecl& t : world_.textures)
            if (!plainFileName(t.file))
                return fail(t.line, "file name '" + t.file + "' may hold only letters, digits, '.', '_' and '-'");
        for (const ModelDecl& m : world_.models)
            if (!plainFileName(m.file))
                return fail(m.line, "file name '" + m.file + "' may hold only letters, digits, '.', '_' and '-'");
        for (const TextureDecl& t : world_.textures)
            if (pictureName(t.file)) return fail(t.line, notBmpMessage(t));
        for (const TextureDecl& t : world_.textures) {
            if (t.file.size() > maxNameLength) return fail(t.line, "texture name '" + t.file + "' is longer than " + std::to_string(maxNameLength) + " characters");
            if (!seen.insert(t.file).second) return fail(t.line, "texture '" + t.file + "' is declared twice");
        }
        for (const ModelDecl& m : world_.models) {
            if (m.file.size() > maxNameLength) return fail(m.line, "model name '" + m.file + "' is longer than " + std::to_string(maxNameLength) + " characters");
            if (!seen.insert(m.file).second) return fail(m.line, "'" + m.file + "' is declared twice");
            // A model from a file brings its own texture maps; a texture of its own is optional.
            const bool needsTexture = m.source.empty() || !m.recipe.texture.empty();
            if (needsTexture && !hasTexture(m.recipe.texture))
                return fail(m.line, "unknown texture '" + m.recipe.texture + "'");
            if (m.recipe.texture.size() > maxModelTextureLength)
                return fail(m.line, "a model's texture name '" + m.recipe.texture + "' is longer than " + std::to_string(maxModelTextureLength) + " characters");
        }
        if (world_.textures.size() > maxTextures) return fail(world_.textures[maxTextures].line, "more than " + std::to_string(maxTextures) + " textures");
        if (world_.models.size() > maxModels) return fail(world_.models[maxModels].line, "more than " + std::to_string(maxModels) + " models");
        return true;
    }

    // A texture named as a picture of another kind (photo.png): the engine reads only BMP,
    // so such a picture is converted, under a .bmp name. Other names that are not .bmp
    // are refused where the files are written.
    static bool pictureName(const std::string& file) {
        const size_t dot = file.rfind('.');
        if (dot == std::string::npos) return false;
        std::string ending = file.substr(dot + 1);
        for (char& c : ending) c = char(std::tolower(static_cast<unsigned char>(c)));
        for (const char* kind : {"png", "jpg", "jpeg", "gif", "webp", "tga", "tif", "tiff", "pcx", "pnm", "ppm", "pgm",
                                 "xpm", "lbm", "qoi", "avif", "jxl", "svg"})
            if (ending == kind) return true;
        return false;
    }

    // The hint names the picture already given, if any, rather than the texture's name.
    static std::string notBmpMessage(const TextureDecl& t) {
        const std::string stem = t.file.substr(0, t.file.rfind('.'));
        const std::string picture = t.source.empty() ? t.file : t.source;
        return "texture '" + t.file + "' must end in .bmp: the engine reads only BMP textures; to convert the "
               "picture, write 'texture " + stem + ".bmp file " + picture + "'";
    }

    bool hasTexture(const std::string& file) const {
        for (const TextureDecl& t : world_.textures)
            if (t.file == file) return true;
        return false;
    }

    bool rooms() {
        if (world_.rooms.empty()) return fail(1, "no room: a world needs at least one");
        if (world_.rooms.size() > maxRooms) return fail(world_.rooms[maxRooms].line, "more than " + std::to_string(maxRooms) + " rooms");
        for (size_t i = 0; i < world_.rooms.size(); ++i) {
            const RoomDecl& r = world_.rooms[i];
            if (!plan_.roomIndex.emplace(r.name, int(i)).second) return fail(r.line, "room '" + r.name + "' is declared twice");
            for (const std::string* t : {&r.floor, &r.ceiling, &r.walls})
                if (!hasTexture(*t)) return fail(r.line, "unknown texture '" + *t + "'");
            if (!(r.box[1] < startY - levelReach))
                return fail(r.line, "the player cannot walk in room '" + r.name + "': its floor at " + number(r.box[1]) +
                                        " is within reach of the eye (at " + number(startY) + "); the floor must stay below " +
                                        number(startY - levelReach));
            if (!(r.box[4] > startY + levelReach))
                return fail(r.line, "the player cannot walk in room '" + r.name + "': its ceiling at " + number(r.box[4]) +
                                        " is within reach of the eye (at " + number(startY) + "); the ceiling must rise above " +
                                        number(startY + levelReach));
            // The engine finds the eye's cell by X and Z alone.
            for (size_t j = 0; j < i; ++j)
                if (plansOverlap(r.plan, world_.rooms[j].plan))
                    return fail(r.line, "room '" + r.name + "' overlaps room '" + world_.rooms[j].name + "' (line " +
                                            std::to_string(world_.rooms[j].line) + ")");
        }
        const RoomDecl& first = world_.rooms[0];
        if (world_.hasStart) {
            if (!planHolds(first.plan, world_.startX, world_.startZ))
                return fail(world_.startLine, "the start (" + number(world_.startX) + ", " + number(world_.startZ) +
                                                  ") is not inside the first room '" + first.name + "' (line " +
                                                  std::to_string(first.line) + ")");
        } else if (!planHolds(first.plan, startX, startZ)) {
            return fail(first.line, "the start point (" + number(startX) + ", " + number(startY) + ", " + number(startZ) +
                                        ") is not inside the first room '" + first.name + "'");
        }
        plan_.rooms.assign(world_.rooms.size(), RoomPlan{});
        for (size_t i = 0; i < world_.rooms.size(); ++i) plan_.rooms[i].walls = planEdges(world_.rooms[i].plan);
        return true;
    }

    bool doorBetween(size_t a, size_t b) const {
        for (const DoorDecl& d : world_.doors)
            if ((d.rooms[0] == world_.rooms[a].name && d.rooms[1] == world_.rooms[b].name) ||
                (d.rooms[1] == world_.rooms[a].name && d.rooms[0] == world_.rooms[b].name))
                return true;
        return false;
    }

    // The engine takes the eye to stand in the last cell, in map order, whose box (a
    // plan's bounding rectangle) holds it. Where a room's box reaches into another room,
    // the eye there would be taken for standing in the room of the box if that came later:
    // the walk would start from the wrong cell, and the walls around the eye would neither
    // show nor stop it. So the cells are written in an order where every such box comes
    // first. Two rooms whose boxes reach into each other cannot both come first: beside a
    // doorway between them that cannot be helped (a slanted doorway's boxes always reach
    // across it), so it is a warning; anywhere else, an error.
    bool boxesRead() {
        const size_t n = world_.rooms.size();
        std::vector<std::vector<bool>> reaches(n, std::vector<bool>(n, false));
        for (size_t a = 0; a < n; ++a) {
            const RoomDecl& boxed = world_.rooms[a];
            const std::vector<PlanPoint> box = boxPlan(boxed.box[0], boxed.box[2], boxed.box[3], boxed.box[5]);
            for (size_t b = 0; b < n; ++b) reaches[a][b] = a != b && plansOverlap(box, world_.rooms[b].plan);
        }
        std::vector<std::vector<size_t>> before(n);  // before[b]: rooms whose boxes reach into b
        for (size_t a = 0; a < n; ++a)
            for (size_t b = 0; b < n; ++b) {
                if (!reaches[a][b]) continue;
                if (!reaches[b][a] || !doorBetween(a, b)) {
                    before[b].push_back(a);
                    continue;
                }
                if (a > b) continue;  // one warning for the pair
                warnings.push_back(world_.fileName + ":" + std::to_string(world_.rooms[b].line) + ": warning: " +
                                   reachesInto(a, b) + ", and the box of '" + world_.rooms[b].name + "' into '" +
                                   world_.rooms[a].name + "': the engine finds the eye's room by the boxes, so "
                                   "beside the doorway between them it may take the eye for standing in the other "
                                   "room and miss walls for a step or two");
            }
        return orderCells(before);
    }

    std::string reachesInto(size_t a, size_t b) const {
        const RoomDecl& r = world_.rooms[a];
        return "the box of room '" + r.name + "' (" + number(r.box[0]) + " " + number(r.box[2]) + " to " +
               number(r.box[3]) + " " + number(r.box[5]) + ") reaches into room '" + world_.rooms[b].name + "' (line " +
               std::to_string(world_.rooms[b].line) + ")";
    }

    // Declaration order where it can be kept: each cell as early as its constraints allow,
    // the lowest declared first.
    bool orderCells(const std::vector<std::vector<size_t>>& before) {
        const size_t n = before.size();
        std::vector<bool> placed(n, false);
        plan_.cellOf.assign(n, -1);
        while (plan_.order.size() < n) {
            size_t next = n;
            for (size_t b = 0; b < n && next == n; ++b) {
                if (placed[b]) continue;
                bool ready = true;
                for (const size_t a : before[b]) ready = ready && placed[a];
                if (ready) next = b;
            }
            if (next == n) return cycle(before, placed);
            placed[next] = true;
            plan_.cellOf[next] = int(plan_.order.size());
            plan_.order.push_back(next);
        }
        return true;
    }

    bool cycle(const std::vector<std::vector<size_t>>& before, const std::vector<bool>& placed) {
        for (size_t b = 0; b < before.size(); ++b) {
            if (placed[b]) continue;
            for (const size_t a : before[b]) {
                if (placed[a]) continue;
                return fail(world_.rooms[std::max(a, b)].line,
                            reachesInto(a, b) + ", and the engine finds the eye's room by the boxes, the last one in "
                                                "the map first; the boxes of the rooms left reach into each other, so no "
                                                "order of them helps: change their plans, or join them by a doorway");
            }
        }
        return fail(1, "internal: no order of the cells found");
    }

    // Every pair of rooms that touch shares the common stretch of wall.
    bool walls() {
        for (size_t i = 0; i < world_.rooms.size(); ++i) {
            for (size_t j = 0; j < world_.rooms.size(); ++j) {
                Shared s;
                const int wall = i == j ? -1 : touchingWall(world_.rooms[i], world_.rooms[j], s);
                if (wall < 0) continue;
                s.other = int(j);
                plan_.rooms[i].shared[wall].push_back(s);
            }
        }
        return true;
    }

    const PlanEdge& wallAt(int roomIndex, int wall) const { return plan_.rooms[size_t(roomIndex)].walls[size_t(wall)]; }

    std::string wallName(int roomIndex, int wall) const {
        const PlanEdge& w = wallAt(roomIndex, wall);
        return w.side.empty() ? "wall " + std::to_string(wall + 1) : w.side + " wall";
    }

    int room(const std::string& name) const {
        const auto found = plan_.roomIndex.find(name);
        return found == plan_.roomIndex.end() ? -1 : found->second;
    }

    // An opening in a wall; openings in one wall may not overlap.
    bool cut(int roomIndex, int wall, const Opening& o, int line) {
        for (const Opening& other : plan_.rooms[size_t(roomIndex)].openings[wall])
            if (o.u1 < other.u2 && other.u1 < o.u2 && o.y1 < other.y2 && other.y1 < o.y2)
                return fail(line, "this opening overlaps another one in the " + wallName(roomIndex, wall) + " of room '" +
                                      world_.rooms[size_t(roomIndex)].name + "'");
        plan_.rooms[size_t(roomIndex)].openings[wall].push_back(o);
        return true;
    }

    static Portal portalIn(const PlanEdge& w, const Opening& o, int neighbour) {
        Portal p;
        p.neighbour = neighbour;
        // Corners 0 and 3 at the foot of the opening, 1 and 2 above them, in order
        // round its edge: the walk takes its new wedge from corners 0 and 3.
        wallPoint(w, o.u1, o.y1, p.corners[0]);
        wallPoint(w, o.u1, o.y2, p.corners[1]);
        wallPoint(w, o.u2, o.y2, p.corners[2]);
        wallPoint(w, o.u2, o.y1, p.corners[3]);
        return p;
    }

    bool doors() {
        for (const DoorDecl& d : world_.doors) {
            const int a = room(d.rooms[0]), b = room(d.rooms[1]);
            for (int k = 0; k < 2; ++k)
                if ((k == 0 ? a : b) < 0) return fail(d.line, "a doorway to a missing room '" + d.rooms[k] + "'");
            if (a == b) return fail(d.line, "a doorway from room '" + d.rooms[0] + "' to itself");
            const RoomDecl& ra = world_.rooms[size_t(a)];
            const RoomDecl& rb = world_.rooms[size_t(b)];
            Shared s;
            const int wall = touchingWall(ra, rb, s);
            PlanPoint corner;
            if (wall < 0 && touchAtCorner(ra.plan, rb.plan, corner))
                return fail(d.line, "rooms '" + ra.name + "' and '" + rb.name + "' touch only at (" + number(corner.x) +
                                        ", " + number(corner.z) + "): a doorway needs a stretch of wall they share");
            if (wall < 0)
                return fail(d.line, "a doorway between rooms '" + ra.name + "' and '" + rb.name + "' that do not touch");
            if (!(d.u1 < d.u2)) return fail(d.line, "the doorway's span " + number(d.u1) + " to " + number(d.u2) + " has no width");
            if (d.u1 < s.u1 || d.u2 > s.u2)
                return fail(d.line, "the doorway's span " + number(d.u1) + " to " + number(d.u2) +
                                        " leaves the wall the rooms share (" + number(s.u1) + " to " + number(s.u2) + ")");
            const float top = d.hasTop ? d.top : s.y2;
            if (!(top > s.y1) || top > s.y2)
                return fail(d.line, "the doorway's top must lie above " + number(s.y1) + " and at most at " + number(s.y2));
            if (top < startY + openingReach)
                return fail(d.line, "the player cannot walk through the doorway: its top at " + number(top) +
                                        " is within reach of the eye (at " + number(startY) + "); the top must reach " +
                                        tenthUp(startY + openingReach) + " or higher");
            // A slanted wall is longer than its span along the axis it is measured on.
            const float width = (d.u2 - d.u1) * stretchPerU(wallAt(a, wall));
            if (width < 2 * openingReach)
                return fail(d.line, "the player cannot walk through the doorway: it is " + number(width) +
                                        " wide; it must be at least " + tenthUp(2 * openingReach) + " wide");
            const Opening o{d.u1, d.u2, s.y1, top};
            if (!cut(a, wall, o, d.line) || !cut(b, s.otherWall, o, d.line)) return false;
            // A room drawn always has no portals: the opening is only a hole in the walls.
            if (ra.noPortals || rb.noPortals) continue;
            plan_.rooms[size_t(a)].portals.push_back(portalIn(wallAt(a, wall), o, b));
            plan_.rooms[size_t(b)].portals.push_back(portalIn(wallAt(b, s.otherWall), o, a));
        }
        return true;
    }

    // A window and its image: the opening, carried into the target's coordinates by the
    // inverse of the placement, must land on the target's wall that faces back. The
    // builder cuts the same opening there and gives it the portal back, with the inverse
    // placement, so each side shows the other and neither looks at the back of a wall.
    // A passage is a window that only shifts: the target's wall, moved onto this one,
    // with the opening's start at `at` along it.
    bool passageWindow(const PassageDecl& p, WindowDecl& w) {
        const int r = room(p.room), t = room(p.target);
        if (r < 0) return fail(p.line, "a passage in a missing room '" + p.room + "'");
        if (t < 0) return fail(p.line, "a passage onto a missing room '" + p.target + "'");
        if (p.targetSide != opposite(p.side))
            return fail(p.line, "a passage only shifts, so its far end must face it: side " + opposite(p.side) +
                                    " of room '" + p.target + "', not " + p.targetSide);
        const RoomDecl& here = world_.rooms[size_t(r)];
        const RoomDecl& there = world_.rooms[size_t(t)];
        const int mineIndex = wallIndex(plan_.rooms[size_t(r)].walls, p.side);
        const int theirsIndex = wallIndex(plan_.rooms[size_t(t)].walls, p.targetSide);
        if (mineIndex < 0) return fail(p.line, "room '" + p.room + "' has no wall facing " + p.side);
        if (theirsIndex < 0) return fail(p.line, "room '" + p.target + "' has no wall facing " + p.targetSide);
        const PlanEdge& mine = wallAt(r, mineIndex);
        const PlanEdge& theirs = wallAt(t, theirsIndex);
        const size_t axis = mine.side[1] == 'x' ? 0 : 2, along = axis == 0 ? 2 : 0;
        w.room = p.room;
        w.side = p.side;
        w.target = p.target;
        w.u1 = p.u1;
        w.u2 = p.u2;
        w.y1 = p.hasRise ? p.y1 : std::max(here.box[1], there.box[1]);
        w.y2 = p.hasRise ? p.y2 : std::min(here.box[4], there.box[4]);
        if (!(w.y1 < w.y2))
            return fail(p.line, "rooms '" + p.room + "' and '" + p.target + "' share no height for the passage");
        w.offset[axis] = wallPlane(mine) - wallPlane(theirs);
        w.offset[along] = p.u1 - p.at;
        w.kind = "passage";
        w.line = p.line;
        return true;
    }

    bool windows() {
        size_t count = 0;
        std::vector<WindowDecl> all = world_.windows;
        for (const PassageDecl& p : world_.passages) {
            WindowDecl w;
            if (!passageWindow(p, w)) return false;
            all.push_back(w);
        }
        for (const WindowDecl& w : all) {
            const int r = room(w.room), t = room(w.target);
            const std::string kind = w.kind;
            if (r < 0) return fail(w.line, "a window in a missing room '" + w.room + "'");
            if (t < 0) return fail(w.line, "a window onto a missing room '" + w.target + "'");
            if (r == t) return fail(w.line, "a " + kind + " of room '" + w.room + "' onto itself");
            const RoomDecl& room = world_.rooms[size_t(r)];
            const RoomDecl& target = world_.rooms[size_t(t)];
            if (room.noPortals || target.noPortals)
                return fail(w.line, "a " + kind + " in or onto a room without portals ('" +
                                        (room.noPortals ? room.name : target.name) + "')");
            const int wall = wallIndex(plan_.rooms[size_t(r)].walls, w.side);
            if (wall < 0) return fail(w.line, "room '" + room.name + "' has no wall " + sideWords(w.side));
            const Opening here{w.u1, w.u2, w.y1, w.y2};
            Opening there{};
            int targetWall = -1;
            if (!fits(w.line, r, wall, here, "the " + kind) || !image(w, r, wall, t, there, targetWall) ||
                !fits(w.line, t, targetWall, there, kind == "passage" ? "the passage's far end" : "the window's image"))
                return false;
            if (!cut(r, wall, here, w.line) || !cut(t, targetWall, there, w.line)) return false;
            Portal forth = portalIn(wallAt(r, wall), here, t);
            Portal back = portalIn(wallAt(t, targetWall), there, r);
            forth.kind = back.kind = 1;
            for (size_t k = 0; k < 3; ++k) {
                forth.offset[k] = w.offset[k];
                forth.turn[k] = w.turn[k];
                forth.scale[k] = w.scale[k];
                back.offset[k] = -w.offset[k] / w.scale[k];
                back.turn[k] = -w.turn[k];
                back.scale[k] = 1 / w.scale[k];
            }
            plan_.rooms[size_t(r)].portals.push_back(forth);
            plan_.rooms[size_t(t)].portals.push_back(back);
            if ((count += 2) > 100) return fail(w.line, "more than 100 stencil portals");
        }
        // Windows come after the doorways in each cell, so the walk reaches a room's
        // plain neighbours before anything seen through its windows.
        for (RoomPlan& rp : plan_.rooms)
            std::stable_partition(rp.portals.begin(), rp.portals.end(), [](const Portal& p) { return p.kind == 0; });
        return true;
    }

    static std::string sideWords(const std::string& side) {
        return side[0] == '+' || side[0] == '-' ? "facing " + side : "number " + side;
    }

    // An opening inside a wall of room r, clear of every stretch another room shares.
    bool fits(int line, int r, int wallNumber, const Opening& o, const std::string& what) {
        const RoomDecl& room = world_.rooms[size_t(r)];
        const PlanEdge& wall = wallAt(r, wallNumber);
        // A slanted wall's ends are found by arithmetic: allow for its rounding.
        const float slack = wall.side.empty() ? 1e-4f * std::max(1.0f, std::fabs(wall.uHigh)) : 0;
        if (o.u1 < wall.uLow - slack || o.u2 > wall.uHigh + slack || o.y1 < room.box[1] || o.y2 > room.box[4])
            return fail(line, what + " does not fit in the " + wallName(r, wallNumber) + " of room '" + room.name + "'");
        for (const Shared& s : plan_.rooms[size_t(r)].shared[wallNumber])
            if (o.u1 < s.u2 && s.u1 < o.u2)
                return fail(line, what + " lies in the wall that room '" + room.name + "' shares with room '" +
                                      world_.rooms[size_t(s.other)].name + "'");
        return true;
    }

    // The window's opening in the target's own coordinates; it must lie on the target's
    // wall that faces back through the window. `targetWall` receives that wall.
    bool image(const WindowDecl& w, int r, int wall, int t, Opening& there, int& targetWall) {
        const PlanEdge& mine = wallAt(r, wall);
        const RoomDecl& target = world_.rooms[size_t(t)];
        if (!mine.side.empty()) return squareImage(w, mine, t, there, targetWall);
        // A slanted wall: its opening's ends, carried back, on a wall of the target on the
        // same line that faces the other way.
        PlanPoint ends[2];
        for (int k = 0; k < 2; ++k) {
            const PlanPoint p = pointAlong(mine, k == 0 ? w.u1 : w.u2);
            ends[k] = {(p.x - w.offset[0]) / w.scale[0], (p.z - w.offset[2]) / w.scale[2]};
        }
        for (size_t k = 0; k < plan_.rooms[size_t(t)].walls.size(); ++k) {
            const PlanEdge& theirs = plan_.rooms[size_t(t)].walls[k];
            if (!onLineFacing(ends, mine, theirs)) continue;
            targetWall = int(k);
            const float a = theirs.along == 0 ? ends[0].x : ends[0].z, b = theirs.along == 0 ? ends[1].x : ends[1].z;
            there = {std::min(a, b), std::max(a, b), (w.y1 - w.offset[1]) / w.scale[1], (w.y2 - w.offset[1]) / w.scale[1]};
            return true;
        }
        return fail(w.line, "the window's image, from (" + number(ends[0].x) + ", " + number(ends[0].z) + ") to (" +
                                number(ends[1].x) + ", " + number(ends[1].z) + ") in room '" + target.name +
                                "', lies on none of its walls facing back");
    }

    // Both ends of the carried opening on the line of `theirs`, which faces against `mine`.
    static bool onLineFacing(const PlanPoint ends[2], const PlanEdge& mine, const PlanEdge& theirs) {
        if (mine.outward.x * theirs.outward.x + mine.outward.z * theirs.outward.z > -0.999f) return false;
        for (int k = 0; k < 2; ++k) {
            const double d = double(theirs.outward.x) * (double(ends[k].x) - theirs.a.x) +
                             double(theirs.outward.z) * (double(ends[k].z) - theirs.a.z);
            if (std::fabs(d) > 1e-3) return false;
        }
        return true;
    }

    // A wall square to an axis: the image's plane must be the target's wall facing back.
    bool squareImage(const WindowDecl& w, const PlanEdge& mine, int t, Opening& there, int& targetWall) {
        const RoomDecl& target = world_.rooms[size_t(t)];
        const std::string back = opposite(mine.side);
        targetWall = wallIndex(plan_.rooms[size_t(t)].walls, back);
        if (targetWall < 0)
            return fail(w.line, "the window's image would lie on room '" + target.name + "''s " + back +
                                    " wall, and it has none");
        const size_t axis = mine.side[1] == 'x' ? 0 : 2, along = axis == 0 ? 2 : 0;
        const float plane = (wallPlane(mine) - w.offset[axis]) / w.scale[axis];
        const float theirs = wallPlane(wallAt(t, targetWall));
        // Within a thousandth: the numbers come from a person's decimal fractions.
        if (std::fabs(plane - theirs) > 1e-3f)
            return fail(w.line, "the window's image lies at " + std::string(axis == 0 ? "x" : "z") + " = " +
                                    number(plane) + " in room '" + target.name + "', not on its " + back +
                                    " wall at " + number(theirs));
        there = {(w.u1 - w.offset[along]) / w.scale[along], (w.u2 - w.offset[along]) / w.scale[along],
                 (w.y1 - w.offset[1]) / w.scale[1], (w.y2 - w.offset[1]) / w.scale[1]};
        return true;
    }

    bool places() {
        for (const PlaceDecl& p : world_.places) {
            bool known = false;
            for (const ModelDecl& m : world_.models) known = known || m.file == p.model;
            if (!known)
                return fail(p.line, "unknown model '" + p.model + "': declare it before it is placed, with 'model " +
                                        p.model + " file PATH' for a model made elsewhere or 'model " + p.model +
                                        " shape S texture T.bmp size W H'");
            const int r = room(p.room);
            if (r < 0) return fail(p.line, "a model in a missing room '" + p.room + "'");
            if (!planHolds(world_.rooms[size_t(r)].plan, p.at[0], p.at[2]))
                return fail(p.line, "the model stands outside room '" + p.room + "'");
            plan_.rooms[size_t(r)].places.push_back(&p);
        }
        if (world_.places.size() > maxPlaces) return fail(world_.places[maxPlaces].line, "more than " + std::to_string(maxPlaces) + " placed models");
        return true;
    }

    bool capacities() {
        for (size_t i = 0; i < world_.rooms.size(); ++i)
            if (plan_.rooms[i].portals.size() > maxPortalsPerRoom)
                return fail(world_.rooms[i].line, "room '" + world_.rooms[i].name + "' has more than " + std::to_string(maxPortalsPerRoom) + " doorways and windows");
        return true;
    }

    const WorldDecl& world_;
    Plan& plan_;
};

// --- Writing ----------------------------------------------------------------------------

// How a wall's texture runs along it: u = (c + gx x + gz z) / tile. A box room's walls
// follow the world's X or Z, as its floor does; a plan room's run on round its edge, so
// the picture turns its corners without a seam (up to where the round closes).
struct WallTexture {
    float c = 0, gx = 1, gz = 0;
};

std::vector<WallTexture> wallTextures(const RoomDecl& room, const std::vector<PlanEdge>& walls) {
    std::vector<WallTexture> out;
    float round = 0;
    for (const PlanEdge& w : walls) {
        if (!room.shaped) {
            out.push_back(w.along == 0 ? WallTexture{0, 1, 0} : WallTexture{0, 0, 1});
            continue;
        }
        const float gx = (w.b.x - w.a.x) / w.length, gz = (w.b.z - w.a.z) / w.length;
        out.push_back({round - (gx * w.a.x + gz * w.a.z), gx, gz});
        round += w.length;
    }
    return out;
}

class MapWriter {
public:
    MapWriter(const WorldDecl& world, const Plan& plan) : world_(world), plan_(plan) {
        // The description's start lands on the engine's: everything moves by the difference.
        if (world.hasStart) {
            shiftX_ = startX - world.startX;
            shiftZ_ = startZ - world.startZ;
        }
        for (size_t i = 0; i < world.rooms.size(); ++i) textures_.push_back(wallTextures(world.rooms[i], plan.rooms[i].walls));
    }

    std::string run() {
        for (const size_t i : plan_.order) {
            cell(i);
            surfaces(world_.rooms[i]);
            for (size_t k = 0; k < plan_.rooms[i].walls.size(); ++k) wall(i, int(k));
            for (const PlaceDecl* p : plan_.rooms[i].places) place(*p);
        }
        text_ += "100000\n";
        return text_;
    }

private:
    // A position as written: moved so that the start lands where the engine starts.
    std::string at(float v, int axis) const {
        return number(axis == 0 ? v + shiftX_ : axis == 2 ? v + shiftZ_ : v);
    }

    void cell(size_t i) {
        const RoomDecl& r = world_.rooms[i];
        text_ += number(tagCell);
        for (size_t k = 0; k < 6; ++k) text_ += " " + at(r.box[k], int(k % 3));
        text_ += " " + std::to_string(plan_.rooms[i].portals.size());
        for (const Portal& p : plan_.rooms[i].portals) {
            text_ += "  " + std::to_string(plan_.cellOf[size_t(p.neighbour)]) + " " + std::to_string(p.kind);
            // A point q of the neighbour shows at q s + o; with both moved by t it shows at
            // (q - t) s + o + t, so the offset becomes o + t - t s.
            for (int k = 0; k < 3; ++k) {
                const float t = k == 0 ? shiftX_ : k == 2 ? shiftZ_ : 0;
                text_ += " " + number(t == 0 ? p.offset[size_t(k)] : p.offset[size_t(k)] + t - t * p.scale[size_t(k)]);
            }
            for (const auto* values : {&p.turn, &p.scale})
                for (const float v : *values) text_ += " " + number(v);
            for (const auto& corner : p.corners)
                for (int k = 0; k < 3; ++k) text_ += " " + at(corner[k], k);
        }
        text_ += "\n";
        texture_.clear();  // every cell names its first texture again, for a reader's sake
    }

    void useTexture(const std::string& file) {
        if (file == texture_) return;
        text_ += number(tagTexture) + " " + file + "\n";
        texture_ = file;
    }

    float tile(const std::string& file) const {
        for (const TextureDecl& t : world_.textures)
            if (t.file == file) return t.tile;
        return 1;
    }

    // One flat triangle; texture coordinates follow the world at the texture's tile
    // size, so pictures tile across neighbouring pieces without a seam or a stretch.
    // `map` gives u; v is the height (walls) or Z (floors and ceilings).
    void triangle(const float* a, const float* b, const float* c, const WallTexture& map, int vAxis) {
        const float t = tile(texture_);
        text_ += number(tagFlatPolygon);
        for (const float* p : {a, b, c})
            for (int k = 0; k < 3; ++k) text_ += " " + at(p[k], k);
        for (const float* p : {a, b, c})
            text_ += " " + number((map.c + map.gx * p[0] + map.gz * p[2]) / t) + " " + number(p[vAxis] / t);
        text_ += "\n";
    }

    void quad(const float a[3], const float b[3], const float c[3], const float d[3], const WallTexture& map, int vAxis) {
        triangle(a, b, c, map, vAxis);
        triangle(a, c, d, map, vAxis);
    }

    // Floor and ceiling: a fan from the plan's first point (a box's two triangles).
    void surfaces(const RoomDecl& r) {
        for (const float y : {r.box[1], r.box[4]}) {
            useTexture(y == r.box[1] ? r.floor : r.ceiling);
            for (size_t k = 1; k + 1 < r.plan.size(); ++k) {
                const float a[3] = {r.plan[0].x, y, r.plan[0].z};
                const float b[3] = {r.plan[k].x, y, r.plan[k].z};
                const float c[3] = {r.plan[k + 1].x, y, r.plan[k + 1].z};
                triangle(a, b, c, WallTexture{0, 1, 0}, 2);
            }
        }
    }

    // A wall cut into rectangles at every opening and at every stretch shared with a
    // neighbour. A shared stretch is written the same by both rooms, on the line and with
    // the texture of the room declared first, so the two copies are the same triangles
    // and never fight over the same pixels.
    void wall(size_t i, int wallNumber) {
        const PlanEdge& w = plan_.rooms[i].walls[size_t(wallNumber)];
        const auto openings = plan_.rooms[i].openings.find(wallNumber);
        const auto shared = plan_.rooms[i].shared.find(wallNumber);
        std::vector<float> us = {w.uLow, w.uHigh};
        if (openings != plan_.rooms[i].openings.end())
            for (const Opening& o : openings->second) us.insert(us.end(), {o.u1, o.u2});
        if (shared != plan_.rooms[i].shared.end())
            for (const Shared& s : shared->second) us.insert(us.end(), {s.u1, s.u2});
        std::sort(us.begin(), us.end());
        us.erase(std::unique(us.begin(), us.end()), us.end());
        for (size_t k = 0; k + 1 < us.size(); ++k) {
            const float ua = us[k], ub = us[k + 1], mid = (ua + ub) / 2;
            const Opening* hole = nullptr;
            const Shared* common = nullptr;
            if (openings != plan_.rooms[i].openings.end())
                for (const Opening& o : openings->second)
                    if (o.u1 < mid && mid < o.u2) hole = &o;
            if (shared != plan_.rooms[i].shared.end())
                for (const Shared& s : shared->second)
                    if (s.u1 < mid && mid < s.u2) common = &s;
            column(i, wallNumber, ua, ub, hole, common);
        }
    }

    void column(size_t i, int wallNumber, float ua, float ub, const Opening* hole, const Shared* common) {
        const RoomDecl& r = world_.rooms[i];
        const float y1 = r.box[1], y2 = r.box[4];
        std::vector<float> ys = {y1, y2};
        for (const float y : {hole ? hole->y1 : y1, hole ? hole->y2 : y1, common ? common->y1 : y1, common ? common->y2 : y1})
            if (y > y1 && y < y2) ys.push_back(y);
        std::sort(ys.begin(), ys.end());
        ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
        for (size_t k = 0; k + 1 < ys.size(); ++k) {
            const float ya = ys[k], yb = ys[k + 1], mid = (ya + yb) / 2;
            if (hole && hole->y1 < mid && mid < hole->y2) continue;
            const bool both = common && common->y1 < mid && mid < common->y2;
            const bool theirs = both && size_t(common->other) < i;
            const size_t owner = theirs ? size_t(common->other) : i;
            const int ownerWall = theirs ? common->otherWall : wallNumber;
            const PlanEdge& w = plan_.rooms[owner].walls[size_t(ownerWall)];
            useTexture(world_.rooms[owner].walls);
            float a[3], b[3], c[3], d[3];
            wallPoint(w, ua, ya, a);
            wallPoint(w, ub, ya, b);
            wallPoint(w, ub, yb, c);
            wallPoint(w, ua, yb, d);
            quad(a, b, c, d, textures_[owner][size_t(ownerWall)], 1);
        }
    }

    void place(const PlaceDecl& p) {
        text_ += number(tagPlacedObject) + " " + p.model;
        for (int k = 0; k < 3; ++k) text_ += " " + at(p.at[size_t(k)], k);
        for (const int v : p.turn) text_ += " " + std::to_string(v);
        for (const float v : p.box) text_ += " " + number(v);
        text_ += p.spin ? " 1\n" : " 0\n";
    }

    const WorldDecl& world_;
    const Plan& plan_;
    std::vector<std::vector<WallTexture>> textures_;  // by room, by wall
    float shiftX_ = 0, shiftZ_ = 0;
    std::string text_;
    std::string texture_;
};

}  // namespace

bool checkWorld(const WorldDecl& world, std::string& error, std::vector<std::string>* warnings) {
    Plan plan;
    Planner planner(world, plan);
    const bool ok = planner.run();
    if (warnings) *warnings = planner.warnings;
    if (ok) return true;
    error = planner.error;
    return false;
}

std::string writeMap(const WorldDecl& world) {
    Plan plan;
    Planner planner(world, plan);
    planner.run();
    return MapWriter(world, plan).run();
}

std::string writeGameIni(const WorldDecl& world) {
    return "FULLSCREEN 0\nWIDTH " + std::to_string(world.width) + "\nHEIGHT " + std::to_string(world.height) +
           "\nDIRECTX 0\n";
}

}  // namespace worldbuild
