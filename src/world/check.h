// The world checker: problems a person writing map.m would otherwise learn of only from
// a wrong picture, each tied to the line of the record at fault. The checks read the
// world tables as the map loader left them and compute; no GL, no files.
// Required for: MapLines (where each record stands).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "world/map.h"  // Required for: MapLines

// How far off counts, in map units. A point lies outside a box when it is more than
// checkTolerance beyond it in X or in Z (the only extents the engine reads); a portal's
// corner is off its plane when farther than that from it; a plain portal touches its
// neighbour when its opening comes within that of the neighbour's box; two boxes overlap
// when they share more than that in both X and Z; two openings are the same when every
// corner of one lies within that of a corner of the other in X, Y and Z.
constexpr float checkTolerance = 0.01f;
// A triangle or portal of less area than this (square map units) has none.
constexpr float checkMinArea = 1e-6f;

enum class Severity { error, warning };

struct WorldProblem {
    int32_t line = 0;  // of the record at fault; 0 for the world as a whole
    Severity severity = Severity::error;
    std::string message;
};

// What the checks need to know beyond the tables.
struct CheckSettings {
    float startX = 0, startZ = 0;     // the fixed point where the eye starts
    int32_t maxStencilPortals = 100;  // stencil portals one walk can list
    float eyeHeight = 3;              // the eye walks level at this height
    float collisionMargin = 2.5f;     // squared plane distance below which a hit wall stops the eye
    // The selection frustum, whose hits are the walls the eye can bump into, reaches this
    // far ahead, and this far aside, up and down per unit ahead.
    float selectionFar = 2;
    float selectionSlope = 0.5f;
};

// Every problem of the loaded world, in map order (by line, checks in a fixed order
// within a line). `lines` is what loadMap filled for the tables.
std::vector<WorldProblem> checkWorld(const MapLines& lines, const CheckSettings& settings);

// Stable sort by line, so problems without a line come first and each record's
// problems keep their order.
void sortProblems(std::vector<WorldProblem>& problems);

// "FILE:LINE: error: MESSAGE" (or "FILE: error: MESSAGE" without a line), the form
// compilers use, so editors can jump to the line.
std::string formatProblem(const std::string& fileName, const WorldProblem& problem);

// --- Textures and models ---------------------------------------------------------------

// What failed to load while the checker read a map: the texture or model table index and
// a message naming the file, with the loader's or the toolkit's words on one line.
struct AssetFailures {
    std::vector<std::pair<int32_t, std::string>> textures;
    std::vector<std::pair<int32_t, std::string>> models;
};

// Resolvers for loadMap that load every new texture through the bitmap loader and read
// every new model through the model toolkit the way the model builder does, texture maps
// included, but without GL and without ending the process on a toolkit error: each
// failure is noted in `failures` (which must outlive the load) and loading goes on.
// Models draw nothing.
MapResolvers checkingResolvers(AssetFailures& failures);

// What reading a model the model builder's way tells.
struct ModelProbe {
    std::string error;  // the toolkit's complaint or a corrupt face; empty when none
    // The texture map of every group the builder would compile, in the order it would.
    std::vector<std::string> textureMaps;
};

// Opens the model, loads its database, lists its meshes, fetches each mesh and the
// material of each of its groups, and checks the faces of every textured group, stopping
// at the first error. Leaves the toolkit's error list empty.
ModelProbe probeModel(const char* fileName);

// The failures as errors on the lines of the records that first named them.
std::vector<WorldProblem> assetProblems(const AssetFailures& failures, const MapLines& lines);
