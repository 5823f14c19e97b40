// The renderer: the frame loop, the portal visibility traversal, drawing of the visible
// cells, placed objects and stencil portals, and the collision response that uses the
// selection pass's hits.
//
// Front end (traversal.cpp, collision.cpp) computes on the world tables and the camera
// and never calls GL, so it tests without a context; back end (draw.cpp, frame.cpp,
// screenshot.cpp) sends GL.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "world/init.h"   // Required for: TriangleBatch
#include "world/world.h"  // Required for: maxCells, the tables the walk marks

// --- Constants -------------------------------------------------------------------

constexpr int framesPerBatch = 30;       // frames drawn per idle turn of the message loop
constexpr float nearPlane = 1.0f;    // near distance of both frustums and of the view wedge
constexpr float collisionMargin = 2.5f;  // squared plane distance that pushes back; box margin
constexpr int maxStencilPortals = 100;

// --- Traversal state (rebuilt by every walk, i.e. twice per frame) -----------------

// One stencil portal met by the walk: what lies behind it is drawn through its opening.
struct StencilPortal {
    int32_t cell = 0;       // the cell holding the portal; its placement positions the quad
    int32_t neighbour = 0;  // the cell behind; its placement positions what is seen through it
    float cornerX[4] = {}, cornerY[4] = {}, cornerZ[4] = {};  // corners 0..3, local to `cell`
    bool direct = true;  // `cell` was reached through plain portals only: the opening is where it shows
    bool passage = false;  // the portal only shifts: the eye walks through it, it is no glass
};

// The cell whose box holds the eye (highest index wins), -1 when none; written by
// buildVisibleList / computeVisibleSet with portal culling on.
extern int32_t currentCell;
// The cell a passage carried the eye into: it stays the current cell, whatever other box
// holds the eye too, for as long as its own box holds the eye. -1 when none.
extern int32_t carriedCell;
// Cells the walk entered, in order of entry; entry 0 is the eye's cell.
extern int32_t visitedCells[maxCells];
extern int32_t visitedCount;
// One per call of traverseCell; shown as "Kol view portal %d".
extern int32_t viewedCellCount;
// Stencil portals in the order the walk met them. The list holds maxStencilPortals;
// a walk that meets more does not follow the further ones (see traverseCell).
extern StencilPortal stencilPortalList[maxStencilPortals];
extern int32_t stencilPortalCount;
// The top-level wedge, camera-relative (lateral offset positive to the left, forward
// distance): every portal is tested against it as well as against its own wedge.
extern float viewRightX, viewLeftX, viewRightZ, viewLeftZ;

// --- Traversal (GL-free) ---------------------------------------------------------

// Sign (+1, 0, -1) of (x3 - x1)(z2 - z1) - (x2 - x1)(z3 - z1), formed by the rule of
// Sarrus and rounded to single precision before the sign is taken.
int orientation(float x1, float z1, float x2, float z2, float x3, float z3);

// The wedge into the cell behind a portal runs from the eye through its corners 0 and 3:
// corner 0 is the left edge when the eye lies right of the line from corner 0 to corner 3
// (orientation negative); otherwise, the eye on that line included, corner 3 is.
struct WedgeEdges {
    float leftX = 0, leftZ = 0, rightX = 0, rightZ = 0;
};
WedgeEdges portalWedge(float p0x, float p0z, float p3x, float p3z, float eyeX, float eyeZ);

// Depth-first walk from `cell` with the wedge from the eye through R and L. relative 1:
// camera-relative edge points (rightX/leftX lateral, rightZ/leftZ forward); 0: world X/Z.
// Marks polygons and objects, places neighbours, lists stencil portals.
void traverseCell(int32_t cell, float rightX, float leftX, float rightZ, float leftZ,
                  int relative, int throughStencil);

// The cell the current-cell rule gives an eye at (x, z): the cell a passage carried the eye
// into while its box holds the point, else findCurrentCell.
int32_t cellOfEye(float x, float z);

// The eye has walked through a passage into `cell`: it becomes the current cell, drawn at
// its stored place.
void carryIntoCell(int32_t cell);

// The GL-free half of buildVisibleList with portal culling on: clears the wall marks,
// finds the current cell, resets the bookkeeping and walks from the current cell.
// Only the walk writes wall marks: the next walk clears just the ones it listed (every
// mark, the first time and whenever the tables have changed).
void computeVisibleSet();
// How many wall polygons the last walk marked (the benchmark's measure of a walk).
int32_t markedWallCount();

// Appends, in array order, every wall polygon the last walk marked `mark` and that still
// carries it, each placed with `placement`, or with its own cell's placement when null.
void appendMarkedWalls(TriangleBatch& batch, int32_t mark, const CellPlacement* placement);

// The visible walls as the render pass sends them (GL-free): with portal culling on, the
// walk's result (computeVisibleSet) and then every polygon marked 1, cell by cell, placed
// with its cell's placement; with portal culling off, every polygon as stored.
void collectVisibleWalls(TriangleBatch& batch);

// --- Collision (GL-free) ----------------------------------------------------------

// Squared distance of (x, y, z) from the polygon's plane; stores it in eyePlaneDistSq.
float planeDistanceSq(WallPolygon& polygon, float x, float y, float z);
// The eye lies within collisionMargin / 2 of the object's box in X and in Z.
bool insideObjectMargin(const PlacedObject& object, float x, float z);
// The point (x, y, z), in world coordinates, lies within the collision limit of the
// stencil entry's opening as placed: its plane's squared distance below collisionMargin,
// and no farther than the limit's root beyond any edge of the opening within that plane.
bool nearStencilOpening(const StencilPortal& entry, float x, float y, float z);
// The same with the limits given: nearer than `planeDistance` to the opening's plane, and
// no farther than `edgeReach` beyond any edge within it.
bool withinOpening(const StencilPortal& entry, float x, float y, float z, double planeDistance, double edgeReach);

// The step from (fromX, fromZ) to (toX, toZ) crosses the X-Z line of the opening from
// (x0, z0) to (x3, z3), within its ends, from the side `inside` (the sign orientation
// gives a point on that side; a start on the line counts as inside) to the other side.
bool stepCrossesOpening(float fromX, float fromZ, float toX, float toZ, float x0, float z0, float x3, float z3,
                        int inside);

// Takes back this frame's step where the eye came too close to a hit wall's plane, to the
// opening of a stencil portal the walk met directly (a window is glass), or to a visible
// object's box, or where the step would leave every cell's box (when it started inside
// one). `records` holds hitCount selection hit records of GL's layout
// (name count, min depth, max depth, names...) within `recordCapacity` values; a
// negative hitCount (overflow) tests no wall. The name on top of a record's stack is the
// wall polygon's index; records naming no polygon are skipped. Each wall and object is
// met where its cell is drawn. A step that then crosses the opening of a passage of the
// current cell carries the eye into the neighbour (carryIntoCell): the eye becomes the
// point of the neighbour's own coordinates at which it was seen. A passage onto no cell's
// box holds the eye like glass.
void resolveCollisions(const uint32_t* records, int64_t recordCapacity, int32_t hitCount);

// --- Stencil openings on the screen (GL-free) --------------------------------------

// A window rectangle in pixels (x, y of its lower left corner); empty when width or
// height is 0.
struct ScreenRect {
    int x = 0, y = 0, width = 0, height = 0;
};

// The window rectangle holding every pixel a quad (corners x, y, z, world coordinates)
// can cover under column-major `modelview` and `projection` matrices and `viewport`
// (x, y, width, height), with a pixel to spare on each side against rounding; clipped
// to the viewport. The part behind the near plane is cut off first, so a quad reaching
// behind the eye still gets the rectangle of what lies in front. Empty when nothing
// lies in front of the eye and inside the viewport.
ScreenRect quadScreenRect(const float x[4], const float y[4], const float z[4], const float modelview[16],
                          const float projection[16], const int viewport[4]);

// --- Selection frustum (GL-free) --------------------------------------------------

// Relative to the size of the terms that make up a plane distance: the GL forms the
// same clip coordinates in single precision (a few units in the last place, 1e-7 each),
// so a point this far outside by our reckoning is outside by the GL's too.
constexpr double clipOutsideMargin = 1e-4;

// The six planes of a view volume in world coordinates: a point p lies inside plane i
// when a*x + b*y + c*z + d <= 0 (with a margin, see outsideOnePlane).
struct ClipPlanes {
    double plane[6][4] = {};
    double bound[6][4] = {};  // the planes' terms in magnitude (|P| |M|), for the margin
};
// projection x modelview (column-major) in double; with `magnitudes`, |projection| x
// |modelview|, which bounds every term the GL adds up for a clip coordinate, whatever
// order it multiplies in.
void clipProduct(const float projection[16], const float modelview[16], bool magnitudes, double out[16]);
// The planes of the volume -w <= x, y, z <= w under column-major `modelview` and
// `projection` matrices.
ClipPlanes clipPlanes(const float modelview[16], const float projection[16]);
// True when all three vertices (x, y, z each, 9 floats) lie outside one and the same
// plane by more than a margin for the GL's own rounding: such a triangle cannot reach
// the volume, so it cannot produce a selection hit. Never true for a triangle that may.
bool outsideOnePlane(const ClipPlanes& planes, const float* vertices);
// True when the ball of radius `reach` about (x, y, z) lies wholly outside one plane of
// the volume, by the same margin: nothing drawn within it can reach the volume, so it
// writes no fragment. Never true for a reach or position that is not a number.
bool ballOutsideOnePlane(const ClipPlanes& planes, double x, double y, double z, double reach);

// --- What the picture can show (GL-free) ---------------------------------------------

// The render pass's view: its volume, its matrices and the pixels that may change (the
// viewport, or a stencil entry's opening).
struct ViewVolume {
    double clip[16] = {};       // projection x modelview, column-major
    double clipBound[16] = {};  // |projection| x |modelview|, for the GL's rounding
    double rowBound[4] = {};    // per clip row, clipBound's X, Y and Z terms summed
    int viewport[4] = {};       // x, y, width, height
    ScreenRect region;
};
// The view under column-major `modelview` and `projection` matrices and `viewport`;
// only pixels of `region` count.
ViewVolume viewVolume(const float modelview[16], const float projection[16], const int viewport[4],
                      const ScreenRect& region);
// True when the triangle (x, y, z each, 9 floats) cannot cover the centre of any pixel of
// the region: it lies wholly outside one plane of the volume (as outsideOnePlane tells
// it), or its window rectangle, widened by a margin for the GL's rounding and its
// snapping of positions, holds no pixel centre of the region. A triangle with a vertex
// in the eye's plane or behind it, or not a number, is never such a triangle. Drawn,
// such a triangle would write no fragment.
bool coversNoPixel(const ViewVolume& volume, const float* vertices);
// The view matrix (column-major) of an eye at (eyeX, eyeY, eyeZ) looking at the target
// with +Y up, as the GL utility library's look-at makes it. false when the direction is
// zero or straight up or down (the matrix is then degenerate, as the library's is).
bool lookAtMatrix(double eyeX, double eyeY, double eyeZ, double targetX, double targetY, double targetZ,
                  float out[16]);

// --- Drawing (GL) -----------------------------------------------------------------

// Finds the visible set and sends it: with selectPass 1, each visible polygon named by its
// index (for selection mode); with 0, compiled into the world display list.
void buildVisibleList();
// The render pass's half of buildVisibleList (selectPass 0) on the walls the last call
// collected, without walking again: compiles them into the world display list.
void compileVisibleList();
// Every cell without portals, whole, at its stored position.
void drawPortallessCells();
// Draws the object's model where its cell places it. With `view` (the planes of what the
// picture can show) and drawOnlyVisibleObjects, a model that lies wholly outside one of
// them is not sent, as it would write no fragment; a spinning one still turns.
void drawPlacedObject(PlacedObject& object, const ClipPlanes* view = nullptr);
// What lies behind each stencil portal of the list, confined to its own opening.
void drawStencilPortals();

// --- Portal map (GL) -------------------------------------------------------------------
// A top-down map over the picture, in the top-right corner, drawn while debugView is on:
// every cell's box as stored, plain and stencil portals in two colours, the cells the
// last walk entered filled, the current cell outlined, the eye and the view wedge.
// Seen from above: +Z up the screen, +X to the left, as the eye sees them at yaw 0.

// Where the map goes in a viewport of the given size and how the world fits in it.
struct DebugMapFrame {
    int32_t left = 0, bottom = 0, size = 0;  // the square, in window pixels from bottom-left
    double centreX = 0, centreZ = 0;         // the world point at its centre
    double pixelsPerUnit = 1;
};
// Fits every cell box (or, with no cells, a small area around the eye) into the square.
DebugMapFrame debugMapFrame(int32_t viewportWidth, int32_t viewportHeight);
// The window position (pixels from bottom-left) of the world point (x, z).
void debugMapPixel(const DebugMapFrame& frame, double x, double z, double& px, double& py);

// Draws the map into the current viewport's corner; every GL state it touches is put
// back, and nothing outside the square changes.
void drawDebugView();

// --- Frame loop (GL) -----------------------------------------------------------------

// Draws a batch of framesPerBatch frames; returns 0. Does nothing while DIRECTX is set.
int frameStep();

// What the render pass of the last frame drew; the timedemo writes it out per frame.
struct FrameCounts {
    int32_t currentCell = -1;    // as the status line shows it
    int32_t cellsVisited = 0;    // cells the pass's walk entered; 0 with portal culling off
    int32_t wallsDrawn = 0;      // wall polygons of the visible list, of the cells without
                                 // portals and seen through each stencil entry drawn
                                 // (each once, though an entry draws its walls twice)
    int32_t objectsDrawn = 0;    // placed objects drawn, directly or through an entry
    int32_t stencilPortals = 0;  // stencil entries drawn (0 with stencil portals off)
};
extern FrameCounts frameCounts;

// When set, called after every frame with its time in milliseconds: from the start of
// its control step until the GL has finished drawing it (the frame loop then waits for
// the GL with glFinish, so the time is that of the whole frame, not of queuing it).
// While it is set, the end of a played demo also ends the batch: the frame that found
// the end is drawn but not timed, and no further frame is drawn.
extern std::function<void(double milliseconds)> frameTimeObserver;

// Ways the frame loop saves work without changing a pixel, a hit or the camera. All on;
// benchmarks and tests switch them off to draw the same frames the long way beside them.
struct FrameShortcuts {
    bool nameFromArray = true;     // the selection pass sends its triangles from a vertex array;
                                   // off, one glBegin each as it once did, which this GL makes
                                   // keep every such buffer of the frame alive: only the
                                   // tests and benchmarks switch it off, for a few frames
    bool nameOnlyHittable = true;  // the selection pass names no triangle outside its frustum
    bool scissorStencil = true;    // each stencil entry draws under its opening's rectangle
    bool reuseWalk = true;         // the render pass keeps the selection pass's walk and list
                                   // when the eye has not moved since
    bool drawOnlyCovering = true;  // the world list and the stencil entries leave out the
                                   // triangles that cover no pixel centre (coversNoPixel)
    bool drawOnlyVisibleObjects = true;  // placed models wholly outside the view are not
                                         // sent (ballOutsideOnePlane with the list's reach)
    bool depthOnlyFirstPass = true;  // a stencil entry's first pass, whose colour its second
                                     // pass always covers, writes depth only
};
extern FrameShortcuts frameShortcuts;

// Frames drawn since start (or resetRenderer()).
extern int32_t framesDrawn;
// 0: no limit. Otherwise, once framesDrawn reaches it, the quit message (code 0) is
// posted and no further frame is drawn.
extern int32_t frameLimit;
// true: every frame's finished picture is kept for writeScreenshot (costs a read-back).
// With a frame limit the frame that reaches it is kept in any case.
extern bool keepLastFrame;

// When set, called with every frame kept (each frame while keepLastFrame is set): its
// size and its RGB rows, bottom first, as the screenshot takes them.
extern std::function<void(int32_t width, int32_t height, const std::vector<uint8_t>& rgbBottomFirst)>
    frameKeptObserver;

// Writes the last frame kept (keepLastFrame) as an 8-bit RGB PNG. false, with a message
// on standard error naming the file, when there is no frame or the file cannot be written.
bool writeScreenshot(const std::string& pngPath);

// Lines drawn over the picture below the status lines, overlayLinesAtOnce at a time,
// the next ones every overlayPageMilliseconds (the problems of a world that did not load).
extern std::vector<std::string> overlayLines;
constexpr int overlayLinesAtOnce = 4;
constexpr uint32_t overlayPageMilliseconds = 3000;
constexpr int overlayTop = 52;  // pixels from the top, below the status lines

// When set, called before each frame is drawn: the one place between two frames where
// the world may be released and loaded again.
extern std::function<void()> betweenFrames;

// Back to program start: traversal state, counters, kept frame, selection buffer size.
void resetRenderer();
