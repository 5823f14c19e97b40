#include "worldbuild/description.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>

#include "worldbuild/image_import.h"  // Required for: maxImportedSide

namespace worldbuild {
namespace {

// One statement's words after the keyword: a few leading names, then keyed fields,
// each key followed by a fixed number of values.
struct Fields {
    std::vector<std::string> names;
    std::map<std::string, std::vector<std::string>> keyed;

    bool has(const std::string& key) const { return keyed.count(key) != 0; }
    const std::vector<std::string>& values(const std::string& key) const { return keyed.at(key); }
};

struct KeySpec {
    const char* key;
    int arity;  // values after the key; anyValues: every word up to the next key
    bool required;
};
constexpr int anyValues = -1;

class LineReader {
public:
    LineReader(const std::string& file, int line, std::vector<std::string> words)
        : file_(file), line_(line), words_(std::move(words)) {}

    // The names, then the keyed fields of the table, in any order, each at most once.
    // A word that comes again after `after` names something else there: it becomes
    // `as` (a passage's far end has a side of its own).
    void renameAfter(const std::string& after, const std::string& word, const std::string& as) {
        bool past = false;
        for (std::string& w : words_) {
            if (past && w == word) w = as;
            if (w == after) past = true;
        }
    }

    bool read(size_t nameCount, const std::vector<KeySpec>& keys, Fields& fields) {
        const std::string& keyword = words_[0];
        size_t i = 1;
        for (; i < words_.size() && fields.names.size() < nameCount; ++i) fields.names.push_back(words_[i]);
        if (fields.names.size() < nameCount) return fail(keyword + " needs " + std::to_string(nameCount) +
                                                         (nameCount == 1 ? " name" : " names") + " first");
        while (i < words_.size()) {
            const std::string& key = words_[i];
            const KeySpec* known = nullptr;
            for (const KeySpec& k : keys)
                if (key == k.key) known = &k;
            if (!known) return fail("unknown word '" + key + "' in a " + keyword + " statement");
            if (fields.has(key)) return fail("'" + key + "' given twice");
            std::vector<std::string>& values = fields.keyed[key];
            if (known->arity == anyValues) {
                while (i + 1 < words_.size() && !isKey(words_[i + 1], keys)) values.push_back(words_[++i]);
                ++i;
                continue;
            }
            for (int v = 0; v < known->arity; ++v) {
                if (++i >= words_.size() || isKey(words_[i], keys))
                    return fail("'" + key + "' needs " + std::to_string(known->arity) +
                                (known->arity == 1 ? " value" : " values"));
                values.push_back(words_[i]);
            }
            ++i;
        }
        for (const KeySpec& k : keys)
            if (k.required && !fields.has(k.key)) return fail(keyword + " needs '" + k.key + "'");
        return true;
    }

    bool number(const std::string& text, float& value) {
        errno = 0;
        char* end = nullptr;
        const double parsed = std::strtod(text.c_str(), &end);
        if (end == text.c_str() || *end != '\0' || errno == ERANGE || !std::isfinite(parsed) ||
            std::fabs(parsed) > 1e6)
            return fail("'" + text + "' is not a number from -1000000 to 1000000");
        value = float(parsed);
        return true;
    }
    bool whole(const std::string& text, int& value, int low, int high) {
        char* end = nullptr;
        errno = 0;
        const long parsed = std::strtol(text.c_str(), &end, 10);
        if (end == text.c_str() || *end != '\0' || errno == ERANGE || parsed < low || parsed > high)
            return fail("'" + text + "' is not a whole number from " + std::to_string(low) + " to " +
                        std::to_string(high));
        value = int(parsed);
        return true;
    }
    template <size_t N>
    bool numbers(const std::vector<std::string>& texts, std::array<float, N>& values) {
        for (size_t k = 0; k < N; ++k)
            if (!number(texts[k], values[k])) return false;
        return true;
    }

    bool fail(const std::string& message) {
        error = file_ + ":" + std::to_string(line_) + ": " + message;
        return false;
    }
    int line() const { return line_; }
    const std::string& keyword() const { return words_[0]; }
    size_t wordCount() const { return words_.size(); }

    std::string error;

private:
    static bool isKey(const std::string& word, const std::vector<KeySpec>& keys) {
        for (const KeySpec& k : keys)
            if (word == k.key) return true;
        return false;
    }

    std::string file_;
    int line_;
    std::vector<std::string> words_;
};

// Wall N of a plan, from its point N to the next: 1 to 64.
bool isWallNumber(const std::string& word) {
    if (word.empty() || word.size() > 2 || word[0] == '0') return false;
    for (const char c : word)
        if (c < '0' || c > '9') return false;
    return std::stoi(word) <= int(maxPlanPoints);
}

bool readScreen(LineReader& in, WorldDecl& world) {
    Fields f;
    if (!in.read(2, {}, f)) return false;
    return in.whole(f.names[0], world.width, 64, 8192) && in.whole(f.names[1], world.height, 64, 8192);
}

// A picture to convert: the name and its side; the builder reads it when it makes the files.
bool readTextureFile(LineReader& in, const Fields& f, TextureDecl& t) {
    for (const char* drawn : {"pattern", "flavour", "colour"})
        if (f.has(drawn))
            return in.fail(std::string("a texture converted from a file takes no '") + drawn +
                           "' (it is written as 24-bit BMP)");
    t.source = f.values("file")[0];
    t.recipe.flavour = "rgb24";
    if (f.has("pixels")) {
        if (!in.whole(f.values("pixels")[0], t.sourcePixels, 1, maxImportedSide)) return false;
        if ((t.sourcePixels & (t.sourcePixels - 1)) != 0) return in.fail("pixels must be a power of two");
    }
    return true;
}

bool readTexture(LineReader& in, WorldDecl& world) {
    Fields f;
    if (!in.read(1, {{"pattern", 1, false}, {"flavour", 1, false}, {"file", 1, false}, {"pixels", 1, false},
                     {"tile", 1, false}, {"colour", 3, false}},
                 f))
        return false;
    TextureDecl t;
    t.file = f.names[0];
    t.line = in.line();
    if (f.has("tile")) {
        if (!in.number(f.values("tile")[0], t.tile)) return false;
        if (t.tile <= 0) return in.fail("tile must be above 0");
    }
    if (f.has("file")) {
        if (!readTextureFile(in, f, t)) return false;
        world.textures.push_back(t);
        return true;
    }
    for (const char* needed : {"pattern", "flavour"})
        if (!f.has(needed)) return in.fail(std::string("texture needs '") + needed + "' (or 'file' to convert a picture)");
    t.recipe.pattern = f.values("pattern")[0];
    t.recipe.flavour = f.values("flavour")[0];
    if (!isPattern(t.recipe.pattern))
        return in.fail("unknown pattern '" + t.recipe.pattern + "' (known: " + patternNames() + ")");
    if (!isFlavour(t.recipe.flavour))
        return in.fail("unknown flavour '" + t.recipe.flavour + "' (known: " + flavourNames() + ")");
    if (f.has("pixels")) {
        if (!in.whole(f.values("pixels")[0], t.recipe.pixels, 8, 512)) return false;
        if ((t.recipe.pixels & (t.recipe.pixels - 1)) != 0) return in.fail("pixels must be a power of two");
    }
    defaultColour(t.recipe.pattern, t.recipe.colour);
    if (f.has("colour")) {
        for (int c = 0; c < 3; ++c) {
            int v = 0;
            if (!in.whole(f.values("colour")[size_t(c)], v, 0, 255)) return false;
            t.recipe.colour[c] = uint8_t(v);
        }
    }
    world.textures.push_back(t);
    return true;
}

// A model brought in from a file: any of the shape's fields would contradict it.
bool readModelFile(LineReader& in, const Fields& f, ModelDecl& m, WorldDecl& world) {
    for (const char* key : {"shape", "size"})
        if (f.has(key)) return in.fail("'" + std::string(key) + "' goes with a shape, not with 'file'");
    m.source = f.values("file")[0];
    if (f.has("scale")) {
        if (!in.number(f.values("scale")[0], m.scale)) return false;
        if (!(m.scale > 0)) return in.fail("scale must be above 0");
    }
    world.models.push_back(m);
    return true;
}

bool readModel(LineReader& in, WorldDecl& world) {
    Fields f;
    if (!in.read(1, {{"shape", 1, false}, {"texture", 1, false}, {"size", 2, false}, {"file", 1, false},
                     {"scale", 1, false}},
                 f))
        return false;
    ModelDecl m;
    m.file = f.names[0];
    m.line = in.line();
    if (f.has("texture")) m.recipe.texture = f.values("texture")[0];
    if (f.has("file")) return readModelFile(in, f, m, world);
    for (const char* key : {"shape", "texture", "size"})
        if (!f.has(key)) return in.fail("model needs 'file', or 'shape', 'texture' and 'size'; '" + std::string(key) +
                                        "' is missing");
    if (f.has("scale")) return in.fail("'scale' goes with 'file'; a shape takes its 'size'");
    m.recipe.shape = f.values("shape")[0];
    if (!isShape(m.recipe.shape)) return in.fail("unknown shape '" + m.recipe.shape + "' (known: " + shapeNames() + ")");
    std::array<float, 2> size{};
    if (!in.numbers(f.values("size"), size)) return false;
    if (size[0] <= 0 || size[1] <= 0) return in.fail("size must be above 0");
    m.recipe.width = size[0];
    m.recipe.height = size[1];
    world.models.push_back(m);
    return true;
}

// `plan X1 Z1 X2 Z2 ... [base Y] height H`: a convex polygon standing from base to
// base + height; its box is the polygon's bounding rectangle.
bool readPlan(LineReader& in, const Fields& f, RoomDecl& r) {
    if (f.has("box")) return in.fail("a room takes a box or a plan, not both");
    const std::vector<std::string>& values = f.values("plan");
    if (values.size() % 2 != 0) return in.fail("plan needs pairs of numbers (X Z), one for each corner");
    // Walls are named by number up to this, and the checks compare every pair of points.
    if (values.size() > 2 * maxPlanPoints)
        return in.fail("a plan has at most " + std::to_string(maxPlanPoints) + " points");
    for (size_t k = 0; k < values.size(); k += 2) {
        PlanPoint p;
        if (!in.number(values[k], p.x) || !in.number(values[k + 1], p.z)) return false;
        r.plan.push_back(p);
    }
    std::string why;
    if (!normalisePlan(r.plan, why)) return in.fail("plan: " + why);
    if (!f.has("height")) return in.fail("a room with a plan needs 'height'");
    float base = 0, height = 0;
    if (f.has("base") && !in.number(f.values("base")[0], base)) return false;
    if (!in.number(f.values("height")[0], height)) return false;
    if (!(height > 0)) return in.fail("height must be above 0");
    const std::array<float, 4> b = planBounds(r.plan);
    r.box = {b[0], base, b[1], b[2], base + height, b[3]};
    r.shaped = true;
    return true;
}

bool readRoom(LineReader& in, WorldDecl& world) {
    Fields f;
    if (!in.read(1, {{"box", 6, false}, {"plan", anyValues, false}, {"base", 1, false}, {"height", 1, false},
                     {"floor", 1, true}, {"ceiling", 1, true}, {"walls", 1, true}, {"noportals", 0, false}},
                 f))
        return false;
    RoomDecl r;
    r.name = f.names[0];
    r.line = in.line();
    if (f.has("plan")) {
        if (!readPlan(in, f, r)) return false;
    } else {
        if (!f.has("box")) return in.fail("room needs 'box' or 'plan'");
        if (f.has("base") || f.has("height")) return in.fail("a box room gives its heights in the box: no 'base' or 'height'");
        if (!in.numbers(f.values("box"), r.box)) return false;
        if (!(r.box[0] < r.box[3] && r.box[1] < r.box[4] && r.box[2] < r.box[5]))
            return in.fail("box must give the lower corner first, and be more than flat on every axis");
        r.plan = boxPlan(r.box[0], r.box[2], r.box[3], r.box[5]);
    }
    r.floor = f.values("floor")[0];
    r.ceiling = f.values("ceiling")[0];
    r.walls = f.values("walls")[0];
    r.noPortals = f.has("noportals");
    world.rooms.push_back(r);
    return true;
}

bool readDoor(LineReader& in, WorldDecl& world) {
    Fields f;
    if (!in.read(2, {{"span", 2, true}, {"top", 1, false}}, f)) return false;
    DoorDecl d;
    d.rooms[0] = f.names[0];
    d.rooms[1] = f.names[1];
    d.line = in.line();
    if (!in.number(f.values("span")[0], d.u1) || !in.number(f.values("span")[1], d.u2)) return false;
    // A span of no width is left to the layout, which can tell rooms that meet only at a
    // corner (where a person would write one) from a slip of the pen.
    if (d.u1 > d.u2) return in.fail("span must go from the lower end to the higher");
    if (f.has("top")) {
        if (!in.number(f.values("top")[0], d.top)) return false;
        d.hasTop = true;
    }
    world.doors.push_back(d);
    return true;
}

bool readWindow(LineReader& in, WorldDecl& world) {
    Fields f;
    if (!in.read(1, {{"side", 1, true}, {"span", 2, true}, {"rise", 2, true}, {"onto", 1, true},
                     {"offset", 3, false}, {"turn", 3, false}, {"scale", 3, false}},
                 f))
        return false;
    WindowDecl w;
    w.room = f.names[0];
    w.line = in.line();
    w.side = f.values("side")[0];
    if (w.side != "+x" && w.side != "-x" && w.side != "+z" && w.side != "-z" && !isWallNumber(w.side))
        return in.fail("side must be +x, -x, +z, -z or the number of a plan's wall, not '" + w.side + "'");
    if (!in.number(f.values("span")[0], w.u1) || !in.number(f.values("span")[1], w.u2) ||
        !in.number(f.values("rise")[0], w.y1) || !in.number(f.values("rise")[1], w.y2))
        return false;
    if (!(w.u1 < w.u2) || !(w.y1 < w.y2)) return in.fail("span and rise must go from the lower end to the higher");
    w.target = f.values("onto")[0];
    if (f.has("offset") && !in.numbers(f.values("offset"), w.offset)) return false;
    if (f.has("turn") && !in.numbers(f.values("turn"), w.turn)) return false;
    if (f.has("scale") && !in.numbers(f.values("scale"), w.scale)) return false;
    for (const float s : w.scale)
        if (s <= 0) return in.fail("scale must be above 0");
    world.windows.push_back(w);
    return true;
}

bool readStart(LineReader& in, WorldDecl& world) {
    Fields f;
    if (!in.read(2, {}, f)) return false;
    if (world.hasStart) return in.fail("the start is given twice (first on line " + std::to_string(world.startLine) + ")");
    if (!in.number(f.names[0], world.startX) || !in.number(f.names[1], world.startZ)) return false;
    world.hasStart = true;
    world.startLine = in.line();
    return true;
}

bool readPassage(LineReader& in, WorldDecl& world) {
    Fields f;
    // The far end's side follows 'onto' and is told apart by a name no word can have.
    const char* const farSide = "side of the far end";
    in.renameAfter("onto", "side", farSide);
    if (!in.read(1, {{"side", 1, true}, {"span", 2, true}, {"onto", 1, true}, {farSide, 1, true}, {"at", 1, true},
                     {"rise", 2, false}},
                 f))
        return false;
    PassageDecl p;
    p.room = f.names[0];
    p.line = in.line();
    p.side = f.values("side")[0];
    p.target = f.values("onto")[0];
    p.targetSide = f.values(farSide)[0];
    for (const std::string& side : {p.side, p.targetSide})
        if (side != "+x" && side != "-x" && side != "+z" && side != "-z")
            return in.fail("side must be +x, -x, +z or -z, not '" + side + "'");
    if (!in.number(f.values("span")[0], p.u1) || !in.number(f.values("span")[1], p.u2) ||
        !in.number(f.values("at")[0], p.at))
        return false;
    if (!(p.u1 < p.u2)) return in.fail("span must go from the lower end to the higher");
    if (f.has("rise")) {
        if (!in.number(f.values("rise")[0], p.y1) || !in.number(f.values("rise")[1], p.y2)) return false;
        if (!(p.y1 < p.y2)) return in.fail("rise must go from the lower end to the higher");
        p.hasRise = true;
    }
    world.passages.push_back(p);
    return true;
}

bool readPlace(LineReader& in, WorldDecl& world) {
    Fields f;
    if (!in.read(1, {{"in", 1, true}, {"at", 3, true}, {"turn", 3, false}, {"box", 6, false}, {"scale", 1, false},
                     {"spin", 0, false}},
                 f))
        return false;
    PlaceDecl p;
    p.model = f.names[0];
    p.line = in.line();
    p.room = f.values("in")[0];
    if (!in.numbers(f.values("at"), p.at)) return false;
    p.hasBox = f.has("box");
    if (p.hasBox && !in.numbers(f.values("box"), p.box)) return false;
    if (f.has("scale")) {
        if (!in.number(f.values("scale")[0], p.scale)) return false;
        if (!(p.scale > 0)) return in.fail("scale must be above 0");
    }
    if (f.has("turn"))
        for (size_t k = 0; k < 3; ++k)
            if (!in.whole(f.values("turn")[k], p.turn[k], -360, 360)) return false;
    if (!(p.box[0] <= p.box[3] && p.box[1] <= p.box[4] && p.box[2] <= p.box[5]))
        return in.fail("box must give the lower corner first");
    p.spin = f.has("spin");
    world.places.push_back(p);
    return true;
}

std::vector<std::string> words(const std::string& line) {
    std::istringstream in(line.substr(0, line.find('#')));
    std::vector<std::string> out;
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

}  // namespace

bool parseDescription(const std::string& fileName, const std::string& text, WorldDecl& world, std::string& error) {
    world = WorldDecl{};
    world.fileName = fileName;
    std::istringstream lines(text);
    int number = 0;
    for (std::string line; std::getline(lines, line);) {
        ++number;
        std::vector<std::string> ws = words(line);
        if (ws.empty()) continue;
        LineReader in(fileName, number, std::move(ws));
        const std::string& keyword = in.keyword();
        bool ok;
        if (keyword == "screen") ok = readScreen(in, world);
        else if (keyword == "texture") ok = readTexture(in, world);
        else if (keyword == "model") ok = readModel(in, world);
        else if (keyword == "room") ok = readRoom(in, world);
        else if (keyword == "door") ok = readDoor(in, world);
        else if (keyword == "window") ok = readWindow(in, world);
        else if (keyword == "passage") ok = readPassage(in, world);
        else if (keyword == "place") ok = readPlace(in, world);
        else if (keyword == "start") ok = readStart(in, world);
        else ok = in.fail("unknown statement '" + keyword + "'");
        if (!ok) {
            error = in.error;
            return false;
        }
    }
    return true;
}

}  // namespace worldbuild
