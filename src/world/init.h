// World start-up and release: the trig tables, the selection buffer, the map, one GL texture per texture entry and the world display list.
// Also the triangle batches every wall drawing goes through: wall polygons placed and
// grouped into runs of one texture (GL-free), then sent with one glBegin per run.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "image/bitmap.h"  // Required for: ImageRecord of the placeholder texture
#include "world/world.h"   // Required for: CellPlacement, wallPolygons

constexpr uint32_t worldList = 2;  // display list id of the visible walls

// Runs once with the GL context current: builds the trig tables, registers the
// selection buffer, loads map.m (textures through the bitmap loader, models through the
// model builder), gives every cell the placement the map gives it, uploads the textures
// and compiles the world list. 0 on success; -1 when the map failed, with the loader's
// message (file and line) in `message` for the caller to show. The camera is the
// caller's: the application puts it at the start point first.
int initWorld(std::string& message);
// With the context still current: deletes the textures, the world list and the models'
// lists and frees the polygon array.
void releaseWorld();

// The same start-up with the map file named (tests); the message is dropped when null.
int initWorldFrom(const char* mapFile, std::string* message = nullptr);

// --- Textures -------------------------------------------------------------------------

// A small grey and magenta checker, shown where a texture's bitmap failed to load.
ImageRecord placeholderImage();
// glGenTextures for every entry, then each image (or the placeholder) with mipmaps,
// GL_REPLACE, linear filters and repeat wrap.
void uploadTextures();

// --- Triangle batches -------------------------------------------------------------------

// Consecutive triangles of one texture.
struct TriangleRun {
    int32_t textureIndex = 0;
    int32_t first = 0;  // index of the run's first triangle in the batch
    int32_t count = 0;
};

// Wall triangles ready to send: positions already placed.
struct TriangleBatch {
    std::vector<int32_t> polygon;  // wall polygon index of each triangle
    std::vector<float> position;   // x, y, z of vertices 0, 1, 2: 9 floats per triangle
    std::vector<TriangleRun> runs;
};

// Empties the batch, keeping its storage; the next triangle opens a run.
void clearBatch(TriangleBatch& batch);
// Appends wall polygon `index`, each vertex at v * scale + offset of `placement` (as stored
// when null). A new run opens when its texture differs from the open run's.
void appendTriangle(TriangleBatch& batch, int32_t index, const CellPlacement* placement);
// Appends every polygon of the array at its stored position.
void appendAllPolygons(TriangleBatch& batch);

// Sends the batch as GL_TRIANGLES, one glBegin per run, binding textureNames[run's
// texture] first when bindTextures is set; each vertex as its texture coordinate and
// position.
void emitTriangleBatch(const TriangleBatch& batch, bool bindTextures);
// Sends every triangle on its own, after glLoadName with its polygon index (selection),
// positions only, from the batch as a client-side vertex array.
void emitNamedTriangles(const TriangleBatch& batch);

// Compiles the world list: every polygon in array order, in texture runs, unplaced.
void compileWorldList();

// The cells without portals never move, so they are compiled once into a display list
// of their own: every such cell in index order, all its polygons as stored, in texture
// runs, binding textures. initWorld compiles it; callPortallessList compiles it again
// first when the tables have changed since (a reset, another count of cells, polygons
// or textures), so worlds filled by hand are drawn right too.
void compilePortallessList();
// Draws the cells without portals (glCallList of that list).
void callPortallessList();
// How many wall polygons the list draws.
int32_t portallessPolygonCount();
