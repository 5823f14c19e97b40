// The world's tables: cells joined by portals, wall triangles, placed models,
// the model and texture tables and the sine and cosine tables.
// Filled once at start-up by the map loader and the model builder; read every
// frame by the traversal, the renderer and the collision pass.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "image/bitmap.h"  // Required for: ImageRecord behind each texture

// Capacities. The map loader refuses a map that would exceed any of them.
constexpr int maxCells = 250;
constexpr int maxPortalsPerCell = 32;
constexpr int maxPlacedObjects = 250;
constexpr int maxModels = 500;
constexpr int maxTextures = 500;
constexpr int nameFieldSize = 20;  // names hold at most 19 characters and a NUL
constexpr int trigTableSize = 4501;  // 0..4500 tenths of a degree
constexpr int selectBufferSize = 8192;

// Where every camera starts, in world units, and how it looks there: yaw and pitch in
// tenths of a degree (yaw 0 along +Z, pitch 1800 level). The first cell must hold the
// start point: the world checker and the world builder refuse a world whose does not.
constexpr float startX = -25, startY = 3, startZ = 15;
constexpr int32_t startYaw = 0, startPitch = 1800;

// Where a cell is drawn: a local point p is used at p * scale + offset per axis.
// Rotations (degrees) are added to the own rotation of the cell's objects.
struct CellPlacement {
    float offsetX = 0, rotateX = 0, scaleX = 0;
    float offsetY = 0, rotateY = 0, scaleY = 0;
    float offsetZ = 0, rotateZ = 0, scaleZ = 0;
};

// The placement that leaves a cell where the map puts it: scale 1, no offset, no turn.
constexpr CellPlacement identityPlacement{0, 0, 1, 0, 0, 1, 0, 0, 1};
// Where a local coordinate of a cell is drawn: v * scale + offset on that axis (the
// rotations turn the cell's objects only). Every placed wall, corner and object goes
// through these, so all of them round alike.
inline float placedX(const CellPlacement& p, float x) { return x * p.scaleX + p.offsetX; }
inline float placedY(const CellPlacement& p, float y) { return y * p.scaleY + p.offsetY; }
inline float placedZ(const CellPlacement& p, float z) { return z * p.scaleZ + p.offsetZ; }

// Indices into Cell::portalPlacement's first two dimensions.
enum PlacementAxis { axisX = 0, axisY = 1, axisZ = 2 };
enum PlacementComponent { placementOffset = 0, placementRotate = 1, placementScale = 2 };

struct Cell;
// Portal k of `cell` only shifts what it shows (scale 1 and no turn on every axis, some
// offset not 0): the eye can walk through it into the place it shows.
bool isPassage(const Cell& cell, int32_t k);

struct Cell {
    CellPlacement placement;  // set for cell 0 at start-up, for others by the traversal
    float boxX1 = 0, boxY1 = 0, boxZ1 = 0;  // two opposite corners as the map gives them;
    float boxX2 = 0, boxY2 = 0, boxZ2 = 0;  // only X and Z are read (current-cell search)
    int32_t firstPolygon = 0;
    int32_t lastPolygon = 0;  // inclusive; firstPolygon - 1 for a cell without polygons
    int32_t portalCount = 0;  // 0..maxPortalsPerCell
    int32_t portalNeighbour[maxPortalsPerCell] = {};
    float portalCornerX[4][maxPortalsPerCell] = {};  // [corner][portal], cell-local
    float portalCornerY[4][maxPortalsPerCell] = {};
    float portalCornerZ[4][maxPortalsPerCell] = {};
    int32_t portalKind[maxPortalsPerCell] = {};  // 1 = stencil portal, else plain opening
    float portalPlacement[3][3][maxPortalsPerCell] = {};  // [axis][component][portal]
};

// One wall triangle. Slot 0 of the normal and planeD give its plane:
// normalX[0]*x + normalY[0]*y + normalZ[0]*z + planeD[0] = 0 (normal not unit length).
struct WallPolygon {
    int32_t visibleMark = 0;  // 0 unseen, 1 seen, 101 + i seen through stencil portal i
    int32_t textureIndex = 0;
    float eyePlaneDistSq = 0;  // scratch of the selection pass
    float x[4] = {}, y[4] = {}, z[4] = {};  // slots 0..2 are the vertices; slot 3 unused
    float s[3] = {}, t[3] = {};
    float normalX[3] = {}, normalY[3] = {}, normalZ[3] = {};
    float planeD[3] = {};
};

struct PlacedObject {
    float boxX1 = 0, boxX2 = 0, boxY1 = 0, boxY2 = 0, boxZ1 = 0, boxZ2 = 0;  // relative to x, y, z
    float spinAngle = 0;  // degrees, advanced 0.25 a drawing while spinning
    int32_t spinning = 0;
    int32_t visibleMark = 0;  // as WallPolygon::visibleMark
    int32_t rotateX = 0, rotateY = 0, rotateZ = 0;  // whole degrees
    int32_t cell = -1;  // the cell it stands in; -1 when placed before any cell
    int32_t displayList = 0;  // copied from its ModelEntry
    int32_t textureIndex = 0;  // copied from its ModelEntry
    float x = 0, y = 0, z = 0;  // cell-local position
};

struct ModelEntry {
    char name[nameFieldSize] = {};
    int32_t displayList = 0;  // 0 when the model has nothing to draw
    int32_t textureIndex = 0;
};

struct TextureEntry {
    char fileName[nameFieldSize] = {};
    std::unique_ptr<ImageRecord> image;  // none when the bitmap failed to load
};

// Tables. Zero at start; filled by loadMap (and the model builder), cleared by resetWorld().
extern Cell cells[maxCells];
extern int32_t cellCount;
extern std::vector<WallPolygon> wallPolygons;  // polygonCount records; freed by releaseWorld
extern int32_t polygonCount;
extern PlacedObject placedObjects[maxPlacedObjects];
extern int32_t placedObjectCount;
extern ModelEntry models[maxModels];
extern int32_t modelCount;
extern TextureEntry textures[maxTextures];
extern uint32_t textureNames[maxTextures];  // GL texture names, created by initWorld
extern int32_t textureCount;
extern int32_t lastModelTexture;  // texture index of the model the builder made last
extern uint32_t selectBuffer[selectBufferSize];

// Angles in tenths of a degree, 0..4500; built by buildTrigTables().
extern float sineTable[trigTableSize];
extern float cosineTable[trigTableSize];

// Fills sineTable and cosineTable: sin and cos of i * pi / 1800, with pi taken as a
// 32-bit float and the rest in double precision, rounded to float.
void buildTrigTables();

// Puts every table back to its state at program start (tests, and a second load).
void resetWorld();

// The current-cell rule, shared by the renderer, the collision pass and the checker.
// The cell's box holds (x, z) in X and Z, bounds included, in single precision.
bool cellBoxHolds(const Cell& cell, float x, float z);
// The cell whose box holds (x, z), the highest index winning; -1 when none.
int32_t findCurrentCell(float x, float z);

// How a new texture entry gets its image (none when the bitmap cannot be had).
using TextureImageLoader = std::function<std::unique_ptr<ImageRecord>(const char* fileName)>;

// The index of the texture entry named exactly `fileName` (a name of at most 19
// characters), appending a new entry whose image comes from `load` when there is
// none. Textures of the map and of models share entries this way, so each bitmap is
// read once. -1 when the table already holds maxTextures entries.
int32_t findOrAddTexture(const char* fileName, const TextureImageLoader& load);

// --- Derived from the tables ------------------------------------------------------------

// Bumped by resetWorld(): whatever was derived from the tables before (the object index,
// the display list of the cells without portals) is stale after it.
extern uint32_t worldRevision;

// The placed objects of each cell, so the traversal looks only at the objects of the
// cells it enters. Built by the world start-up once the map is loaded; objectsInCell
// builds it again whenever the tables have changed since (a reset, another count of
// cells or objects), so tables filled by hand are indexed too. Objects of no cell (-1,
// or an index past cellCount) are in no cell's list.
void buildObjectIndex();
// The indices of the objects standing in `cell`, ascending (table order); `count` gets
// how many. Empty for an index that names no cell.
const int32_t* objectsInCell(int32_t cell, int32_t& count);
