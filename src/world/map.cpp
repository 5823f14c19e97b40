#include "world/map.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "files/huge_pages.h"        // Required for: adviseHugePages
#include "files/mapped_file.h"   // Required for: MappedFile
#include "world/world.h"

#include <sys/mman.h>  // Required for: madvise

namespace {

bool isRecordTag(float value) {
    return value == tagTexture || value == tagPlacedObject || value == tagCell || value == tagFlatPolygon ||
           value == tagNormalPolygon;
}

// A field of a record, where it stands in the file.
struct TagField {
    int32_t line = 0;  // 0: none
    const char* start = nullptr;
    size_t length = 0;
};

// The whole map file in memory with a cursor. Numbers are taken the way the formatted
// conversions take them: leading blanks skipped, then the longest prefix that forms a
// number, the rest left for the next read. std::from_chars is exact (correctly rounded,
// like strtof) and several times faster than a formatted read per value.
struct MapReader {
    const char* fileName = "";
    const char* p = nullptr;
    const char* end = nullptr;
    int line = 1;
    int tokenLine = 1;  // line of the last token started; where an early end is reported
    std::string error;  // first failure; once set, every read fails

    bool failed() const { return !error.empty(); }

    void skipBlanks() {
        while (p < end) {
            const char c = *p;
            if (c == '\n') {
                ++line;
            } else if (c != ' ' && c != '\t' && c != '\r' && c != '\v' && c != '\f') {
                tokenLine = line;
                return;
            }
            ++p;
        }
    }

    // Records the first failure with the file and line it happened at.
    bool fail(const std::string& what) {
        if (failed()) return false;
        error = std::string(fileName) + ": line " + std::to_string(line) + ": " + what;
        return false;
    }

    bool failExpected(const char* what) {
        if (p >= end) {
            line = tokenLine;
            return fail(std::string("unexpected end of file, expected ") + what);
        }
        const char* wordEnd = p;
        while (wordEnd < end && wordEnd - p < 24 && !isBlank(*wordEnd)) ++wordEnd;
        return fail(std::string("expected ") + what + ", found '" + std::string(p, wordEnd) + "'");
    }

    static bool isBlank(char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
    }

    // A leading '+' is part of a number for the formatted conversions but not for
    // from_chars; this steps over it and says whether a sign was there.
    const char* afterPlus(const char* q) const {
        return (q < end && *q == '+' && q + 1 < end && q[1] != '-' && q[1] != '+') ? q + 1 : q;
    }

    // The first field of the record being read that holds a record tag: where a record
    // cut short by a number took the next record's tag as its own. Watched only for the
    // checker, so the engine's load pays nothing for it.
    bool watchTags = false;
    TagField tagField;

    void noteTagField(bool isTag, const char* start) {
        if (!isTag || tagField.line != 0) return;
        tagField = TagField{tokenLine, start, size_t(p - start)};
    }

    bool readFloat(float& value, const char* what) {
        if (!watchTags) return readFloatValue(value, what);
        skipBlanks();
        const char* start = p;
        if (!readFloatValue(value, what)) return false;
        noteTagField(isRecordTag(value), start);
        return true;
    }

    bool readFloatValue(float& value, const char* what) {
        if (failed()) return false;
        skipBlanks();
        const char* start = afterPlus(p);
        if (isHexPrefix(start)) return readFloatSlow(value, what);
        if (const char* stop = readPlainDecimal(start, value)) {
            p = stop;
            return true;
        }
        const auto result = std::from_chars(start, end, value);
        if (result.ec == std::errc::result_out_of_range) return readFloatSlow(value, what);
        if (result.ec != std::errc()) return failExpected(what);
        p = result.ptr;
        return true;
    }

    // The common case, a short decimal such as -12.375: when the digits make an integer
    // of at most 2^24 and there are at most 10 decimals, both it and the power of ten are
    // exact floats, so one division rounds correctly and gives what a full conversion
    // gives. Returns where the number ends, or null to leave it to the full conversion
    // (exponents, long mantissas, inf and nan, anything malformed).
    const char* readPlainDecimal(const char* q, float& value) const {
        static constexpr float powersOfTen[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f,
                                                1e6f, 1e7f, 1e8f, 1e9f, 1e10f};
        const bool negative = q < end && *q == '-';
        if (negative) ++q;
        uint32_t mantissa = 0;
        int digits = 0;
        int decimals = 0;
        while (q < end && unsigned(*q - '0') < 10u) {
            if (++digits > 8) return nullptr;
            mantissa = mantissa * 10 + uint32_t(*q++ - '0');
        }
        if (q < end && *q == '.') {
            ++q;
            while (q < end && unsigned(*q - '0') < 10u) {
                if (++digits > 8 || ++decimals > 10) return nullptr;
                mantissa = mantissa * 10 + uint32_t(*q++ - '0');
            }
        }
        if (digits == 0 || mantissa > (1u << 24)) return nullptr;
        if (q < end && (*q == 'e' || *q == 'E')) return nullptr;
        const float magnitude = float(mantissa) / powersOfTen[decimals];
        value = negative ? -magnitude : magnitude;
        return q;
    }

    bool isHexPrefix(const char* q) const {
        if (q < end && *q == '-') ++q;
        return end - q >= 2 && q[0] == '0' && (q[1] == 'x' || q[1] == 'X');
    }

    // Hexadecimal floats and values beyond float's range: strtof gives the conversion's
    // exact answer (infinity or a denormal). Copies a bounded token so it never reads
    // past the buffer.
    bool readFloatSlow(float& value, const char* what) {
        const char* wordEnd = p;
        while (wordEnd < end && !isBlank(*wordEnd) && wordEnd - p < 512) ++wordEnd;
        const std::string token(p, wordEnd);
        char* stop = nullptr;
        const float parsed = std::strtof(token.c_str(), &stop);
        if (stop == token.c_str()) return failExpected(what);
        value = parsed;
        p += stop - token.c_str();
        return true;
    }

    bool readInt(int32_t& value, const char* what) {
        if (failed()) return false;
        skipBlanks();
        const char* token = p;
        const char* start = afterPlus(p);
        const auto result = std::from_chars(start, end, value);
        if (result.ec == std::errc::result_out_of_range) {
            return fail(std::string("number out of range for ") + what);
        }
        if (result.ec != std::errc()) return failExpected(what);
        p = result.ptr;
        if (watchTags) noteTagField(isRecordTag(float(value)), token);
        return true;
    }

    // A word: the next run of non-blank characters. Names that do not fit a 20-byte
    // table field are refused rather than cut.
    bool readName(char (&field)[nameFieldSize], const char* what) {
        if (failed()) return false;
        skipBlanks();
        if (p >= end) return failExpected(what);
        const char* start = p;
        while (p < end && !isBlank(*p)) ++p;
        const size_t length = size_t(p - start);
        if (length >= size_t(nameFieldSize)) {
            return fail(std::string(what) + " '" + std::string(start, std::min<size_t>(length, 40)) +
                        (length > 40 ? "..." : "") + "' is longer than " +
                        std::to_string(nameFieldSize - 1) + " characters");
        }
        std::memcpy(field, start, length);
        field[length] = '\0';
        if (watchTags) {
            float asNumber = 0;
            const auto number = std::from_chars(start, p, asNumber);
            noteTagField(number.ec == std::errc() && number.ptr == p && isRecordTag(asNumber), start);
        }
        return true;
    }

    bool readFloats(float* values, int count, const char* what) {
        for (int i = 0; i < count; ++i) {
            if (!readFloat(values[i], what)) return false;
        }
        return true;
    }
};

// Where each portal was read, so a neighbour can be refused by its line once every
// cell is known.
struct PortalSource {
    int cell;
    int portal;
    int line;
};

struct LoadState {
    MapReader reader;
    const MapResolvers* resolvers = nullptr;
    int32_t polygonIndex = 0;  // n: polygons read so far
    int32_t currentTexture = 0;
    std::vector<PortalSource> portalSources;
    const char* populatedEnd = nullptr;  // the file's pages before this are mapped in
    const char* releasedEnd = nullptr;   // and those before this let go again
    MapLines* lines = nullptr;  // where records stand, when the caller asked
};

// Gives every table entry the last record created (its own, or for textures a model
// brought in, the model's) the line of that record's tag.
void noteRecordLines(LoadState& state, int32_t tagLine) {
    MapLines* lines = state.lines;
    if (!lines) return;
    const auto fill = [tagLine](std::vector<int32_t>& table, int32_t count) {
        while (int32_t(table.size()) < count) table.push_back(tagLine);
    };
    fill(lines->cells, cellCount);
    fill(lines->polygons, state.polygonIndex);
    fill(lines->placedObjects, placedObjectCount);
    fill(lines->textures, textureCount);
    fill(lines->models, modelCount);
}

void notePortalLines(const LoadState& state) {
    MapLines* lines = state.lines;
    if (!lines) return;
    lines->portals.assign(size_t(cellCount), {});
    for (const PortalSource& source : state.portalSources) {
        std::vector<int32_t>& portals = lines->portals[size_t(source.cell)];
        if (int32_t(portals.size()) <= source.portal) portals.resize(size_t(source.portal) + 1, 0);
        portals[size_t(source.portal)] = source.line;
    }
}

// The file's pages are mapped in ahead of the parser a window at a time, one call per
// window rather than a fault per page, and let go once the parser is past them. So the
// loader holds at most two windows of the file, whatever its size, and touches nothing
// more than a window beyond the record being read: what follows the end tag stays on
// disk.
constexpr size_t populateWindow = size_t(256) << 10;
constexpr uintptr_t pageMask = 4095;

const char* pageFloor(const char* p) {
    return reinterpret_cast<const char*>(reinterpret_cast<uintptr_t>(p) & ~pageMask);
}

void populateAhead(LoadState& state) {
    const MapReader& reader = state.reader;
    if (reader.p >= reader.end || size_t(state.populatedEnd - reader.p) >= populateWindow / 2) return;
    const char* from = pageFloor(state.populatedEnd);
    const char* to = std::min(reader.end, state.populatedEnd + populateWindow);
    madvise(const_cast<char*>(from), size_t(to - from), MADV_POPULATE_READ);
    state.populatedEnd = to;
    const char* keepFrom = pageFloor(reader.p);
    if (keepFrom > state.releasedEnd + populateWindow) {
        madvise(const_cast<char*>(state.releasedEnd), size_t(keepFrom - state.releasedEnd), MADV_DONTNEED);
        state.releasedEnd = keepFrom;
    }
}

// The polygon array grows by doubling as records come, so its memory follows what was
// parsed, never the file's size. Each new block is advised onto huge pages before
// anything is copied into it: a fault per 4 KiB page would cost more than the parsing.
void appendPolygon(const WallPolygon& polygon) {
    if (wallPolygons.size() == wallPolygons.capacity()) {
        std::vector<WallPolygon> grown;
        grown.reserve(std::max<size_t>(64, wallPolygons.capacity() * 2));
        adviseHugePages(grown.data(), grown.capacity() * sizeof(WallPolygon));
        grown.insert(grown.end(), wallPolygons.begin(), wallPolygons.end());
        wallPolygons.swap(grown);
    }
    wallPolygons.push_back(polygon);
}

bool readTexture(LoadState& state) {
    char name[nameFieldSize];
    if (!state.reader.readName(name, "a texture file name")) return false;
    const int32_t index = findOrAddTexture(name, state.resolvers->loadTexture);
    if (index < 0) {
        return state.reader.fail("more than " + std::to_string(maxTextures) + " textures");
    }
    state.currentTexture = index;
    return true;
}

// Finds the model by name or builds it; -1 when the table is full.
int32_t findOrBuildModel(LoadState& state, const char (&name)[nameFieldSize]) {
    for (int32_t i = 0; i < modelCount; ++i) {
        if (std::strcmp(models[i].name, name) == 0) return i;
    }
    if (modelCount >= maxModels) return -1;
    ModelEntry& model = models[modelCount];
    std::memcpy(model.name, name, sizeof name);
    model.displayList = state.resolvers->buildModel ? state.resolvers->buildModel(name) : 0;
    model.textureIndex = lastModelTexture;
    return modelCount++;
}

bool readPlacedObject(LoadState& state) {
    MapReader& reader = state.reader;
    char name[nameFieldSize];
    if (!reader.readName(name, "a model file name")) return false;
    if (placedObjectCount >= maxPlacedObjects) {
        return reader.fail("more than " + std::to_string(maxPlacedObjects) + " placed objects");
    }
    const int32_t modelIndex = findOrBuildModel(state, name);
    if (modelIndex < 0) return reader.fail("more than " + std::to_string(maxModels) + " models");

    PlacedObject object{};
    const char* what = "a number of the placed object";
    reader.readFloat(object.x, what);
    reader.readFloat(object.y, what);
    reader.readFloat(object.z, what);
    reader.readInt(object.rotateX, "a whole-degree rotation of the placed object");
    reader.readInt(object.rotateY, "a whole-degree rotation of the placed object");
    reader.readInt(object.rotateZ, "a whole-degree rotation of the placed object");
    reader.readFloat(object.boxX1, what);
    reader.readFloat(object.boxY1, what);
    reader.readFloat(object.boxZ1, what);
    reader.readFloat(object.boxX2, what);
    reader.readFloat(object.boxY2, what);
    reader.readFloat(object.boxZ2, what);
    reader.readInt(object.spinning, "the spinning flag of the placed object");
    if (reader.failed()) return false;

    object.visibleMark = 0;
    object.cell = cellCount - 1;
    object.displayList = models[modelIndex].displayList;
    object.textureIndex = models[modelIndex].textureIndex;
    placedObjects[placedObjectCount++] = object;
    return true;
}

bool readPortal(LoadState& state, Cell& cell, int k) {
    MapReader& reader = state.reader;
    state.portalSources.push_back({cellCount, k, 0});
    reader.skipBlanks();
    state.portalSources.back().line = reader.line;
    reader.readInt(cell.portalNeighbour[k], "the neighbour cell of a portal");
    reader.readInt(cell.portalKind[k], "the kind of a portal");
    for (int component = 0; component < 3; ++component) {
        for (int axis = 0; axis < 3; ++axis) {
            reader.readFloat(cell.portalPlacement[axis][component][k], "a placement number of a portal");
        }
    }
    for (int corner = 0; corner < 4; ++corner) {
        reader.readFloat(cell.portalCornerX[corner][k], "a corner coordinate of a portal");
        reader.readFloat(cell.portalCornerY[corner][k], "a corner coordinate of a portal");
        reader.readFloat(cell.portalCornerZ[corner][k], "a corner coordinate of a portal");
    }
    return !reader.failed();
}

bool readCell(LoadState& state) {
    MapReader& reader = state.reader;
    if (cellCount >= maxCells) return reader.fail("more than " + std::to_string(maxCells) + " cells");
    Cell& cell = cells[cellCount];
    cell = Cell{};
    float box[6];
    if (!reader.readFloats(box, 6, "a number of the cell box")) return false;
    cell.boxX1 = box[0], cell.boxY1 = box[1], cell.boxZ1 = box[2];
    cell.boxX2 = box[3], cell.boxY2 = box[4], cell.boxZ2 = box[5];
    if (cellCount > 0) cells[cellCount - 1].lastPolygon = state.polygonIndex - 1;
    cell.firstPolygon = state.polygonIndex;
    if (!reader.readInt(cell.portalCount, "the portal count of the cell")) return false;
    if (cell.portalCount < 0 || cell.portalCount > maxPortalsPerCell) {
        return reader.fail("portal count " + std::to_string(cell.portalCount) + " is outside 0.." +
                           std::to_string(maxPortalsPerCell));
    }
    for (int k = 0; k < cell.portalCount; ++k) {
        if (!readPortal(state, cell, k)) return false;
    }
    ++cellCount;
    return true;
}

// Plane of a flat triangle into slot 0: the unnormalised normal
// (v1 - v0) x (v2 - v0) and the constant that puts v0 on the plane, written as the
// expanded determinants so the single-precision results are reproducible.
void computeFlatPlane(WallPolygon& poly) {
    const float x0 = poly.x[0], x1 = poly.x[1], x2 = poly.x[2];
    const float y0 = poly.y[0], y1 = poly.y[1], y2 = poly.y[2];
    const float z0 = poly.z[0], z1 = poly.z[1], z2 = poly.z[2];
    poly.normalX[0] = y0 * z1 + y1 * z2 + y2 * z0 - y0 * z2 - y1 * z0 - y2 * z1;
    poly.normalY[0] = z0 * x1 + z1 * x2 + z2 * x0 - z0 * x2 - z1 * x0 - z2 * x1;
    poly.normalZ[0] = x0 * y1 + x1 * y2 + x2 * y0 - x0 * y2 - x1 * y0 - x2 * y1;
    poly.planeD[0] = x2 * y1 * z0 + x0 * y2 * z1 + x1 * y0 * z2 - x0 * y1 * z2 - x2 * y0 * z1 - x1 * y2 * z0;
}

bool readPolygon(LoadState& state, bool withNormals) {
    MapReader& reader = state.reader;
    WallPolygon poly{};
    const char* what = "a number of the wall polygon";
    for (int v = 0; v < 3; ++v) {
        reader.readFloat(poly.x[v], what);
        reader.readFloat(poly.y[v], what);
        reader.readFloat(poly.z[v], what);
    }
    for (int v = 0; v < 3; ++v) {
        reader.readFloat(poly.s[v], what);
        reader.readFloat(poly.t[v], what);
    }
    if (withNormals) {
        for (int v = 0; v < 3; ++v) {
            reader.readFloat(poly.normalX[v], "a vertex normal of the wall polygon");
            reader.readFloat(poly.normalY[v], "a vertex normal of the wall polygon");
            reader.readFloat(poly.normalZ[v], "a vertex normal of the wall polygon");
        }
    }
    if (reader.failed()) return false;
    poly.visibleMark = 1;
    poly.textureIndex = state.currentTexture;
    if (withNormals) {
        // The collision pass reads slot 0 of every polygon: the plane of normal 0
        // through vertex 0.
        poly.planeD[0] = -(poly.normalX[0] * poly.x[0] + poly.normalY[0] * poly.y[0] +
                           poly.normalZ[0] * poly.z[0]);
    } else {
        computeFlatPlane(poly);
    }
    appendPolygon(poly);
    ++state.polygonIndex;
    return true;
}

// What lies after the number that ended the map: how many lines hold anything and
// whether any word there is a record tag. Read only for the checker.
void noteWhatFollowsTheEnd(LoadState& state, const char* numberStart, int32_t shortRecordLine,
                           const TagField& shortField) {
    MapReader& reader = state.reader;
    MapLines::End& end = state.lines->end;
    end.line = reader.tokenLine;
    end.number.assign(numberStart, size_t(reader.p - numberStart));
    end.shortRecordLine = shortField.line != 0 ? shortRecordLine : 0;
    end.shortFieldLine = shortField.line;
    if (shortField.line != 0) end.shortFieldTag.assign(shortField.start, shortField.length);
    // The rest of the end's own line is dropped too, but "the lines after it" are the later ones.
    bool lineHolds = false, endLine = true;
    for (const char* q = reader.p; q < reader.end;) {
        if (*q == '\n') {
            if (endLine) lineHolds = false;
            endLine = false;
            if (lineHolds) ++end.linesAfter;
            lineHolds = false;
            ++q;
            continue;
        }
        if (MapReader::isBlank(*q)) {
            ++q;
            continue;
        }
        const char* word = q;
        while (q < reader.end && !MapReader::isBlank(*q)) ++q;
        lineHolds = true;
        float value = 0;
        const auto parsed = std::from_chars(word, q, value);
        if (parsed.ec == std::errc() && parsed.ptr == q && isRecordTag(value)) end.tagsAfter = true;
    }
    if (lineHolds && !endLine) ++end.linesAfter;
}

// Runs the records until the end tag. false on the first failure.
bool readRecords(LoadState& state) {
    MapReader& reader = state.reader;
    int32_t recordLine = 0;
    for (;;) {
        populateAhead(state);
        // A tag field of the record just read, kept apart from the tag about to be read.
        const TagField shortField = reader.tagField;
        float tag = 0;
        reader.skipBlanks();
        const char* numberStart = reader.p;
        if (!reader.readFloatValue(tag, "a record tag or the end tag")) return false;
        const int32_t tagLine = reader.tokenLine;
        reader.tagField = TagField{};
        bool ok = true;
        if (tag == tagTexture) {
            ok = readTexture(state);
        } else if (tag == tagPlacedObject) {
            ok = readPlacedObject(state);
        } else if (tag == tagCell) {
            ok = readCell(state);
        } else if (tag == tagFlatPolygon) {
            ok = readPolygon(state, false);
        } else if (tag == tagNormalPolygon) {
            ok = readPolygon(state, true);
        } else {
            if (state.lines) noteWhatFollowsTheEnd(state, numberStart, recordLine, shortField);
            return true;
        }
        if (!ok) return false;
        recordLine = tagLine;
        noteRecordLines(state, tagLine);
    }
}

bool checkNeighbours(LoadState& state) {
    for (const PortalSource& source : state.portalSources) {
        const int32_t neighbour = cells[source.cell].portalNeighbour[source.portal];
        if (neighbour < 0 || neighbour >= cellCount) {
            state.reader.line = source.line;
            return state.reader.fail("portal " + std::to_string(source.portal) + " of cell " +
                                     std::to_string(source.cell) + " leads to cell " +
                                     std::to_string(neighbour) + ", which does not exist (cells 0.." +
                                     std::to_string(cellCount - 1) + ")");
        }
    }
    return true;
}

}  // namespace

std::string mapEndProblem(const MapLines::End& end, int32_t& line) {
    line = 0;
    if (end.line == 0 || (!end.tagsAfter && end.shortRecordLine == 0)) return "";
    const std::string after = end.linesAfter == 1 ? "the 1 line after it is"
                                                   : "the " + std::to_string(end.linesAfter) + " lines after it are";
    std::string message = "the map ends at line " + std::to_string(end.line) + " on " + end.number +
                          ", which is no record tag; " + after + " not read";
    line = end.line;
    if (end.shortRecordLine != 0) {
        line = end.shortRecordLine;
        return message + ": the record of line " + std::to_string(end.shortRecordLine) +
               " is cut short and took the record tag " + end.shortFieldTag + " of line " +
               std::to_string(end.shortFieldLine) + " as one of its numbers; give it all its numbers";
    }
    return message + " (a mistyped tag? the record tags are 99999, 99998, 99997, 99995 and 99900)";
}

bool loadMap(const char* fileName, const MapResolvers& resolvers, std::string& error, MapLines* lines) {
    if (lines) *lines = MapLines{};
    // Pages are read as the parser reaches them: whatever follows the end tag is never
    // touched, however large.
    const platform::MappedFile file(fileName, platform::MappedReading::frontToBack);
    if (!file.ok()) {
        error = std::string("Cannot open the map file ") + fileName + ": " + file.reason();
        return false;
    }
    const char* bytes = reinterpret_cast<const char*>(file.data());
    LoadState state;
    state.reader.fileName = fileName;
    state.reader.p = bytes;
    state.reader.end = bytes + file.size();
    state.populatedEnd = state.releasedEnd = bytes;
    state.resolvers = &resolvers;
    state.lines = lines;
    state.reader.watchTags = lines != nullptr;

    cellCount = 0;
    wallPolygons.clear();
    wallPolygons.shrink_to_fit();
    polygonCount = 0;
    const bool recordsRead = readRecords(state);
    const bool ok = recordsRead && checkNeighbours(state);
    if (!ok) {
        error = state.reader.error;
        int32_t endLine = 0;
        const std::string endProblem = recordsRead && lines ? mapEndProblem(lines->end, endLine) : std::string();
        if (!endProblem.empty()) {
            // A neighbour missing because the map ended early: the early end is the fault.
            const std::string place = std::string(fileName) + ": line " + std::to_string(state.reader.line) + ": ";
            const std::string refusal = error.compare(0, place.size(), place) == 0 ? error.substr(place.size()) : error;
            error = std::string(fileName) + ": line " + std::to_string(endLine) + ": " + endProblem + ", so " + refusal;
            state.reader.line = endLine;
        }
        if (lines) {
            *lines = MapLines{};
            lines->refusedLine = state.reader.line;
        }
        resetWorld();  // no half-read map is left behind
        return false;
    }
    if (cellCount > 0) cells[cellCount - 1].lastPolygon = state.polygonIndex - 1;
    polygonCount = state.polygonIndex;
    notePortalLines(state);
    return true;
}
