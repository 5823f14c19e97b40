// Renderer state shared by its own files only.
#pragma once

#include <cstdint>
#include <vector>

#include "world/init.h"   // Required for: TriangleBatch
#include "world/world.h"  // Required for: cells, identityPlacement

// The placement of cell `index`, or the identity for an index that names no cell (an
// object placed before any cell, a stencil entry of none).
inline const CellPlacement& placementOf(int32_t index) {
    return index >= 0 && index < cellCount ? cells[index].placement : identityPlacement;
}

// The last finished frame, kept when keepLastFrame is set: RGB rows bottom first.
struct KeptFrame {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> pixels;
};
extern KeptFrame keptFrame;

// Where selection hits go: the world's selectBuffer until a pass overflows it, then a
// larger buffer of our own, kept for the rest of the run.
extern std::vector<uint32_t> grownSelectBuffer;
uint32_t* activeSelectBuffer();
int64_t activeSelectCapacity();
// Doubles the selection buffer; false once it has reached its ceiling.
bool growSelectBuffer();

// Scratch batches, reused from frame to frame so drawing does not allocate.
extern TriangleBatch visibleBatch;
extern TriangleBatch stencilBatch;
// What of visibleBatch the selection pass names (those that may hit).
extern TriangleBatch hittableBatch;

// The eye, and a target one unit away along the view direction: what both passes look
// through (with +Y up).
struct CameraAim {
    double eye[3] = {}, target[3] = {};
};
CameraAim cameraAim();
// A batch of the render pass's triangles that can cover a pixel (see drawOnlyCovering).
extern TriangleBatch coveringBatch;

// Forgets the last walk (its visits, listed marks and stencil bookkeeping): the next walk
// clears every wall mark.
void forgetWalk();

// --- The traversal's scratch state (rebuilt by every walk) --------------------------

// One cell the walk entered and the wall polygons it marked there: entries firstMarked ..
// firstMarked + markedCount - 1 of markedPolygons, ascending, all marked `mark` (1, or
// 101 + the stencil entry it is seen through).
struct CellVisit {
    int32_t cell = 0;
    int32_t mark = 0;
    int32_t firstMarked = 0;
    int32_t markedCount = 0;
};
// What the last walk reached, so that clearing its marks and building the lists cost in
// proportion to it rather than to the world. Rebuilt by computeVisibleSet; kept, like
// the marks, while portal culling is off.
extern std::vector<CellVisit> cellVisits;    // in order of entry
extern std::vector<int32_t> markedPolygons;  // every wall polygon the walk marked non-zero
// cellVisits indices ordered by mark, then by cell index. A cell's polygons follow those
// of lower-numbered cells in wallPolygons, so within one mark this is array order.
extern std::vector<int32_t> visitOrder;
