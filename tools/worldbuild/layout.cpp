#include "worldbuild/layout.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>

namespace worldbuild {
namespace {

// One wall of a room's box: the plane X = at (axis 0) or Z = at (axis 2); along it, u
// runs over Z or X respectively.
struct Wall {
    int axis = 0;
    float at = 0;
    float u1 = 0, u2 = 0;  // the room's extent along the wall
};

const char* const sides[] = {"-z", "+x", "+z", "-x"};  // the order walls are written in

Wall wallOf(const RoomDecl& room, const std::string& side) {
    const auto& b = room.box;
    Wall w;
    w.axis = side[1] == 'x' ? 0 : 2;
    w.at = side[0] == '+' ? b[size_t(w.axis) + 3] : b[size_t(w.axis)];
    const size_t along = w.axis == 0 ? 2 : 0;
    w.u1 = b[along];
    w.u2 = b[along + 3];
    return w;
}

// A point of a wall, (u, y) along it, in the world.
void wallPoint(const Wall& w, float u, float y, float out[3]) {
    out[0] = w.axis == 0 ? w.at : u;
    out[1] = y;
    out[2] = w.axis == 0 ? u : w.at;
}

struct Opening {
    float u1, u2, y1, y2;
};

// Where room `other` touches this room's wall `side`: the common stretch along the wall
// and the common heights.
struct Shared {
    int other = -1;
    float u1 = 0, u2 = 0, y1 = 0, y2 = 0;
};

struct Portal {
    int neighbour = 0;
    int kind = 0;
    std::array<float, 3> offset{0, 0, 0}, turn{0, 0, 0}, scale{1, 1, 1};
    float corners[4][3] = {};
};

struct RoomPlan {
    std::vector<Portal> portals;
    std::map<std::string, std::vector<Opening>> openings;  // by side
    std::map<std::string, std::vector<Shared>> shared;     // by side
    std::vector<const PlaceDecl*> places;
};

struct Plan {
    std::map<std::string, int> roomIndex;
    std::vector<RoomPlan> rooms;
};

std::string opposite(const std::string& side) { return std::string(side[0] == '+' ? "-" : "+") + side[1]; }

// The side of room a that touches room b, or "" when they share no wall.
std::string touchingSide(const RoomDecl& a, const RoomDecl& b, Shared& shared) {
    const auto& p = a.box;
    const auto& q = b.box;
    const float y1 = std::max(p[1], q[1]), y2 = std::min(p[4], q[4]);
    if (!(y1 < y2)) return "";
    for (const int axis : {0, 2}) {
        const size_t along = axis == 0 ? 2 : 0;
        const float u1 = std::max(p[along], q[along]), u2 = std::min(p[along + 3], q[along + 3]);
        if (!(u1 < u2)) continue;
        const char name = axis == 0 ? 'x' : 'z';
        shared = {-1, u1, u2, y1, y2};
        if (p[size_t(axis) + 3] == q[size_t(axis)]) return std::string("+") + name;
        if (p[size_t(axis)] == q[size_t(axis) + 3]) return std::string("-") + name;
    }
    return "";
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
        return names() && rooms() && walls() && doors() && windows() && places() && capacities();
    }

    std::string error;

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
        for (const TextureDecl& t : world_.textures) {
            if (t.file.size() > maxNameLength) return fail(t.line, "texture name '" + t.file + "' is longer than " + std::to_string(maxNameLength) + " characters");
            if (!seen.insert(t.file).second) return fail(t.line, "texture '" + t.file + "' is declared twice");
        }
        for (const ModelDecl& m : world_.models) {
            if (m.file.size() > maxNameLength) return fail(m.line, "model name '" + m.file + "' is longer than " + std::to_string(maxNameLength) + " characters");
            if (!seen.insert(m.file).second) return fail(m.line, "'" + m.file + "' is declared twice");
            if (!hasTexture(m.recipe.texture)) return fail(m.line, "unknown texture '" + m.recipe.texture + "'");
            if (m.recipe.texture.size() > maxModelTextureLength)
                return fail(m.line, "a model's texture name '" + m.recipe.texture + "' is longer than " + std::to_string(maxModelTextureLength) + " characters");
        }
        if (world_.textures.size() > maxTextures) return fail(world_.textures[maxTextures].line, "more than " + std::to_string(maxTextures) + " textures");
        if (world_.models.size() > maxModels) return fail(world_.models[maxModels].line, "more than " + std::to_string(maxModels) + " models");
        return true;
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
            // The engine finds the eye's cell by the boxes' X and Z extents alone.
            for (size_t j = 0; j < i; ++j) {
                const auto& p = r.box;
                const auto& q = world_.rooms[j].box;
                if (p[0] < q[3] && q[0] < p[3] && p[2] < q[5] && q[2] < p[5])
                    return fail(r.line, "room '" + r.name + "' overlaps room '" + world_.rooms[j].name + "' (line " +
                                            std::to_string(world_.rooms[j].line) + ")");
            }
        }
        const RoomDecl& first = world_.rooms[0];
        const auto& b = first.box;
        if (!(b[0] <= startX && startX <= b[3] && b[1] <= startY && startY <= b[4] && b[2] <= startZ && startZ <= b[5]))
            return fail(first.line, "the start point (" + number(startX) + ", " + number(startY) + ", " + number(startZ) + ") is not inside the first room '" + first.name + "'");
        plan_.rooms.assign(world_.rooms.size(), RoomPlan{});
        return true;
    }

    // Every pair of rooms that touch shares the common stretch of wall.
    bool walls() {
        for (size_t i = 0; i < world_.rooms.size(); ++i) {
            for (size_t j = 0; j < world_.rooms.size(); ++j) {
                Shared s;
                const std::string side = i == j ? "" : touchingSide(world_.rooms[i], world_.rooms[j], s);
                if (side.empty()) continue;
                s.other = int(j);
                plan_.rooms[i].shared[side].push_back(s);
            }
        }
        return true;
    }

    int room(const std::string& name) const {
        const auto found = plan_.roomIndex.find(name);
        return found == plan_.roomIndex.end() ? -1 : found->second;
    }

    // An opening in a wall; openings in one wall may not overlap.
    bool cut(int roomIndex, const std::string& side, const Opening& o, int line) {
        for (const Opening& other : plan_.rooms[size_t(roomIndex)].openings[side])
            if (o.u1 < other.u2 && other.u1 < o.u2 && o.y1 < other.y2 && other.y1 < o.y2)
                return fail(line, "this opening overlaps another one in the " + side + " wall of room '" +
                                      world_.rooms[size_t(roomIndex)].name + "'");
        plan_.rooms[size_t(roomIndex)].openings[side].push_back(o);
        return true;
    }

    static Portal portalIn(const Wall& w, const Opening& o, int neighbour) {
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
            const std::string side = touchingSide(ra, rb, s);
            if (side.empty())
                return fail(d.line, "a doorway between rooms '" + ra.name + "' and '" + rb.name + "' that do not touch");
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
            if (d.u2 - d.u1 < 2 * openingReach)
                return fail(d.line, "the player cannot walk through the doorway: it is " + number(d.u2 - d.u1) +
                                        " wide; it must be at least " + tenthUp(2 * openingReach) + " wide");
            const Opening o{d.u1, d.u2, s.y1, top};
            if (!cut(a, side, o, d.line) || !cut(b, opposite(side), o, d.line)) return false;
            // A room drawn always has no portals: the opening is only a hole in the walls.
            if (ra.noPortals || rb.noPortals) continue;
            plan_.rooms[size_t(a)].portals.push_back(portalIn(wallOf(ra, side), o, b));
            plan_.rooms[size_t(b)].portals.push_back(portalIn(wallOf(rb, opposite(side)), o, a));
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
        const Wall mine = wallOf(here, p.side), theirs = wallOf(there, p.targetSide);
        const size_t axis = size_t(mine.axis), along = axis == 0 ? 2 : 0;
        w.room = p.room;
        w.side = p.side;
        w.target = p.target;
        w.u1 = p.u1;
        w.u2 = p.u2;
        w.y1 = p.hasRise ? p.y1 : std::max(here.box[1], there.box[1]);
        w.y2 = p.hasRise ? p.y2 : std::min(here.box[4], there.box[4]);
        if (!(w.y1 < w.y2))
            return fail(p.line, "rooms '" + p.room + "' and '" + p.target + "' share no height for the passage");
        w.offset[axis] = mine.at - theirs.at;
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
            const Opening here{w.u1, w.u2, w.y1, w.y2};
            Opening there{};
            if (!fits(w.line, r, w.side, here, "the " + kind) || !image(w, target, there) ||
                !fits(w.line, t, opposite(w.side), there, kind == "passage" ? "the passage's far end" : "the window's image"))
                return false;
            if (!cut(r, w.side, here, w.line) || !cut(t, opposite(w.side), there, w.line)) return false;
            Portal forth = portalIn(wallOf(room, w.side), here, t);
            Portal back = portalIn(wallOf(target, opposite(w.side)), there, r);
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

    // An opening inside a wall of room r, clear of every stretch another room shares.
    bool fits(int line, int r, const std::string& side, const Opening& o, const std::string& what) {
        const RoomDecl& room = world_.rooms[size_t(r)];
        const Wall wall = wallOf(room, side);
        if (o.u1 < wall.u1 || o.u2 > wall.u2 || o.y1 < room.box[1] || o.y2 > room.box[4])
            return fail(line, what + " does not fit in the " + side + " wall of room '" + room.name + "'");
        for (const Shared& s : plan_.rooms[size_t(r)].shared[side])
            if (o.u1 < s.u2 && s.u1 < o.u2)
                return fail(line, what + " lies in the wall that room '" + room.name + "' shares with room '" +
                                      world_.rooms[size_t(s.other)].name + "'");
        return true;
    }

    // The window's opening in the target's own coordinates; it must lie in the plane of
    // the target's wall that faces back through the window.
    bool image(const WindowDecl& w, const RoomDecl& target, Opening& there) {
        const Wall mine = wallOf(world_.rooms[size_t(room(w.room))], w.side);
        const Wall theirs = wallOf(target, opposite(w.side));
        const size_t axis = size_t(mine.axis), along = axis == 0 ? 2 : 0;
        const float plane = (mine.at - w.offset[axis]) / w.scale[axis];
        // Within a thousandth: the numbers come from a person's decimal fractions.
        if (std::fabs(plane - theirs.at) > 1e-3f)
            return fail(w.line, "the window's image lies at " + std::string(axis == 0 ? "x" : "z") + " = " +
                                    number(plane) + " in room '" + target.name + "', not on its " + opposite(w.side) +
                                    " wall at " + number(theirs.at));
        there = {(w.u1 - w.offset[along]) / w.scale[along], (w.u2 - w.offset[along]) / w.scale[along],
                 (w.y1 - w.offset[1]) / w.scale[1], (w.y2 - w.offset[1]) / w.scale[1]};
        return true;
    }

    bool places() {
        for (const PlaceDecl& p : world_.places) {
            bool known = false;
            for (const ModelDecl& m : world_.models) known = known || m.file == p.model;
            if (!known) return fail(p.line, "unknown model '" + p.model + "'");
            const int r = room(p.room);
            if (r < 0) return fail(p.line, "a model in a missing room '" + p.room + "'");
            const auto& b = world_.rooms[size_t(r)].box;
            if (p.at[0] < b[0] || p.at[0] > b[3] || p.at[2] < b[2] || p.at[2] > b[5])
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

class MapWriter {
public:
    MapWriter(const WorldDecl& world, const Plan& plan) : world_(world), plan_(plan) {}

    std::string run() {
        for (size_t i = 0; i < world_.rooms.size(); ++i) {
            cell(i);
            surfaces(world_.rooms[i]);
            for (const char* side : sides) wall(i, side);
            for (const PlaceDecl* p : plan_.rooms[i].places) place(*p);
        }
        text_ += "100000\n";
        return text_;
    }

private:
    void cell(size_t i) {
        const RoomDecl& r = world_.rooms[i];
        text_ += number(tagCell);
        for (const float v : r.box) text_ += " " + number(v);
        text_ += " " + std::to_string(plan_.rooms[i].portals.size());
        for (const Portal& p : plan_.rooms[i].portals) {
            text_ += "  " + std::to_string(p.neighbour) + " " + std::to_string(p.kind);
            for (const auto* values : {&p.offset, &p.turn, &p.scale})
                for (const float v : *values) text_ += " " + number(v);
            for (const auto& corner : p.corners)
                for (const float v : corner) text_ += " " + number(v);
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
    void triangle(const float* a, const float* b, const float* c, int uAxis, int vAxis) {
        const float t = tile(texture_);
        text_ += number(tagFlatPolygon);
        for (const float* p : {a, b, c})
            for (int k = 0; k < 3; ++k) text_ += " " + number(p[k]);
        for (const float* p : {a, b, c}) text_ += " " + number(p[uAxis] / t) + " " + number(p[vAxis] / t);
        text_ += "\n";
    }

    void quad(const float a[3], const float b[3], const float c[3], const float d[3], int uAxis, int vAxis) {
        triangle(a, b, c, uAxis, vAxis);
        triangle(a, c, d, uAxis, vAxis);
    }

    void surfaces(const RoomDecl& r) {
        const auto& b = r.box;
        for (const float y : {b[1], b[4]}) {
            useTexture(y == b[1] ? r.floor : r.ceiling);
            const float p[4][3] = {{b[0], y, b[2]}, {b[3], y, b[2]}, {b[3], y, b[5]}, {b[0], y, b[5]}};
            quad(p[0], p[1], p[2], p[3], 0, 2);
        }
    }

    // A wall cut into rectangles at every opening and at every stretch shared with a
    // neighbour. A shared stretch is written the same by both rooms, with the texture of
    // the room declared first, so the two copies are the same triangles and never fight
    // over the same pixels.
    void wall(size_t i, const std::string& side) {
        const RoomDecl& r = world_.rooms[i];
        const Wall w = wallOf(r, side);
        const auto openings = plan_.rooms[i].openings.find(side);
        const auto shared = plan_.rooms[i].shared.find(side);
        std::vector<float> us = {w.u1, w.u2};
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
            column(r, w, ua, ub, hole, common);
        }
    }

    void column(const RoomDecl& r, const Wall& w, float ua, float ub, const Opening* hole, const Shared* common) {
        const float y1 = r.box[1], y2 = r.box[4];
        std::vector<float> ys = {y1, y2};
        for (const float y : {hole ? hole->y1 : y1, hole ? hole->y2 : y1, common ? common->y1 : y1, common ? common->y2 : y1})
            if (y > y1 && y < y2) ys.push_back(y);
        std::sort(ys.begin(), ys.end());
        ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
        const int uAxis = w.axis == 0 ? 2 : 0;
        for (size_t k = 0; k + 1 < ys.size(); ++k) {
            const float ya = ys[k], yb = ys[k + 1], mid = (ya + yb) / 2;
            if (hole && hole->y1 < mid && mid < hole->y2) continue;
            const bool both = common && common->y1 < mid && mid < common->y2;
            const size_t owner = both ? std::min(size_t(common->other), index(r)) : index(r);
            useTexture(world_.rooms[owner].walls);
            float a[3], b[3], c[3], d[3];
            wallPoint(w, ua, ya, a);
            wallPoint(w, ub, ya, b);
            wallPoint(w, ub, yb, c);
            wallPoint(w, ua, yb, d);
            quad(a, b, c, d, uAxis, 1);
        }
    }

    size_t index(const RoomDecl& r) const { return size_t(&r - world_.rooms.data()); }

    void place(const PlaceDecl& p) {
        text_ += number(tagPlacedObject) + " " + p.model;
        for (const float v : p.at) text_ += " " + number(v);
        for (const int v : p.turn) text_ += " " + std::to_string(v);
        for (const float v : p.box) text_ += " " + number(v);
        text_ += p.spin ? " 1\n" : " 0\n";
    }

    const WorldDecl& world_;
    const Plan& plan_;
    std::string text_;
    std::string texture_;
};

}  // namespace

bool checkWorld(const WorldDecl& world, std::string& error) {
    Plan plan;
    Planner planner(world, plan);
    if (planner.run()) return true;
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
