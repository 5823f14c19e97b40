// The map loader: map.m, a text file of float-tagged records, into the world tables.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "image/bitmap.h"  // Required for: ImageRecord of each new texture

// Record tags, compared exactly; any other number ends the map.
constexpr float tagTexture = 99999.0f;
constexpr float tagPlacedObject = 99995.0f;
constexpr float tagCell = 99900.0f;
constexpr float tagFlatPolygon = 99998.0f;
constexpr float tagNormalPolygon = 99997.0f;

// How the loader turns a new name into a resource. The world start-up passes the
// bitmap loader and the model builder; tests pass fakes.
struct MapResolvers {
    // A new texture file name -> its image, or none (the entry keeps the name).
    std::function<std::unique_ptr<ImageRecord>(const char* fileName)> loadTexture;
    // A new model file name -> its display list; leaves the model's texture index in
    // lastModelTexture.
    std::function<int32_t(const char* fileName)> buildModel;
};

// Where the records of a map stand in its file, for tools that point a person at a line
// (the world checker): the line of each record's tag, in table order. A texture or model
// has the line of the record that first named it (a texture a model brings in, the line
// of that model's placed-object record); a portal, the line its group starts on.
struct MapLines {
    std::vector<int32_t> cells;
    std::vector<std::vector<int32_t>> portals;  // [cell][portal]
    std::vector<int32_t> polygons;
    std::vector<int32_t> placedObjects;
    std::vector<int32_t> textures;
    std::vector<int32_t> models;
    int32_t refusedLine = 0;  // where a refused map was refused; 0 when it was not opened

    // How the map ended: any number that is no record tag ends it, so a mistyped tag or a
    // record a number short silently drops the rest. Filled only when `lines` is asked
    // for (only then is the rest of the file read, to tell what was dropped).
    struct End {
        int32_t line = 0;            // of the number that ended the map; 0 at the end of the file
        std::string number;          // as written
        int32_t linesAfter = 0;      // lines after it that hold anything
        bool tagsAfter = false;      // some of the words after it are record tags
        int32_t shortRecordLine = 0;  // the record before the end took a record tag as one of its
        int32_t shortFieldLine = 0;   // numbers (or names): its line, and the line of that tag
        std::string shortFieldTag;
    };
    End end;
};

// The end of the map when it looks like a mistake (record tags follow the number that
// ended it, or the record before took a record tag as one of its numbers): what to
// change, and in `line` the line to point at. Empty when the end looks meant.
std::string mapEndProblem(const MapLines::End& end, int32_t& line);

// Reads fileName into the tables: sets cellCount to 0 and fills cells, wallPolygons,
// placedObjects, models and textures (placedObjectCount and modelCount are the
// caller's to zero first; textureCount keeps its value). Returns false on a map that
// cannot be opened, ends early, holds a token that is not a number where one is due,
// exceeds a capacity or names a neighbour that does not exist; `error` then names the
// file, the line and what was wrong, and the tables hold no half-read map. `lines`, when
// given, receives where each record stands (only refusedLine after a refusal).
bool loadMap(const char* fileName, const MapResolvers& resolvers, std::string& error,
             MapLines* lines = nullptr);
