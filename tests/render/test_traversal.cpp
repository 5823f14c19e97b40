// The portal walk without GL: wedge tests, marks, portals, placements, stencil entries.
#include <gtest/gtest.h>

#include <vector>

#include "render/world_fixture.h"

using namespace testworld;

namespace {

struct OrientationCase {
    const char* name;
    float x1, z1, x2, z2, x3, z3;
    int expected;
};

TEST(Orientation, SignOfTheDeterminant) {
    const OrientationCase cases[] = {
        {"collinear", 0, 0, 1, 1, 2, 2, 0},
        {"third point on the first", 1, 1, 3, 2, 1, 1, 0},
        {"right of the line along +Z", 0, 0, 0, 1, -1, 1, -1},
        {"left of the line along +Z", 0, 0, 0, 1, 1, 1, 1},
        {"swapping the last two flips the sign", 0, 0, 1, 1, 0, 1, -1},
        {"large coordinates, exactly collinear", 1000, 1000, 3000, 2000, 5000, 3000, 0},
        {"tiny offset off a long line", 0, 0, 1000, 1000, 500, 500.001f, -1},
    };
    for (const OrientationCase& c : cases)
        EXPECT_EQ(orientation(c.x1, c.z1, c.x2, c.z2, c.x3, c.z3), c.expected) << c.name;
}

TEST(PortalWedge, CornerZeroIsLeftOnlyWhenTheEyeIsRightOfTheLine) {
    // Portal across +Z ahead: corner 0 at x = 2 (left, since +X is left at heading 0).
    WedgeEdges w = portalWedge(2, 10, -2, 10, 0, 0);
    EXPECT_EQ(orientation(2, 10, -2, 10, 0, 0), -1);
    EXPECT_FLOAT_EQ(w.leftX, 2);
    EXPECT_FLOAT_EQ(w.rightX, -2);
    // Seen from the other side the corners swap roles.
    w = portalWedge(2, 10, -2, 10, 0, 20);
    EXPECT_FLOAT_EQ(w.leftX, -2);
    EXPECT_FLOAT_EQ(w.rightX, 2);
    // Eye on the line through corners 0 and 3: orientation 0 gives L = corner 3, R = corner 0.
    w = portalWedge(2, 10, -2, 10, 7, 10);
    EXPECT_FLOAT_EQ(w.leftX, -2);
    EXPECT_FLOAT_EQ(w.rightX, 2);
}

class Traversal : public ::testing::Test {
protected:
    void SetUp() override { reset(); }
};

// One cell around the eye at the origin, looking along +Z; the top-level wedge's edge
// points are (0.5, 1) on the left and (-0.5, 1) on the right.
TEST_F(Traversal, MarksPolygonsByTheTwoEdgeLines) {
    addCell(-200, -200, 200, 200);
    struct Shape {
        const char* name;
        Vec3 a, b, c;
        int expected;
    };
    const Shape shapes[] = {
        {"straight ahead", {0, 0, 5}, {0.2f, 0, 5}, {0, 0, 5.2f}, 1},
        {"one vertex exactly on the left edge", {2, 0, 4}, {10, 0, 4}, {10, 0, 5}, 1},
        {"one vertex exactly on the right edge", {-2, 0, 4}, {-10, 0, 4}, {-10, 0, 5}, 1},
        {"just outside the left edge", {2.01f, 0, 4}, {10, 0, 4}, {10, 0, 5}, 0},
        {"spanning the view, every vertex outside", {-100, 0, 5}, {100, 0, 5}, {100, 0, 6}, 1},
        {"all beyond the left line", {10, 0, 1}, {11, 0, 1}, {10, 0, 2}, 0},
        {"all beyond the right line", {-10, 0, 1}, {-11, 0, 1}, {-10, 0, 2}, 0},
        {"small, straight behind the eye", {0, 0, -5}, {0.1f, 0, -5}, {0, 0, -5.1f}, 0},
        {"wide, behind the eye across both lines", {-100, 0, -5}, {100, 0, -5}, {0, 0, -6}, 1},
    };
    for (const Shape& s : shapes) addTriangle(0, s.a, s.b, s.c);
    placeEye(0, 0);
    computeVisibleSet();
    EXPECT_EQ(currentCell, 0);
    EXPECT_EQ(viewedCellCount, 1);
    for (int i = 0; i < int(sizeof shapes / sizeof shapes[0]); ++i)
        EXPECT_EQ(wallPolygons[i].visibleMark, shapes[i].expected) << shapes[i].name;
}

TEST_F(Traversal, TheWedgeTurnsWithTheHeading) {
    addCell(-200, -200, 200, 200);
    const int ahead = addMarker(0, 0, 10);
    const int left = addMarker(0, 10, 0);  // +X is to the left at heading 0
    placeEye(0, 0, 900);                   // a quarter turn: now looking along +X
    computeVisibleSet();
    EXPECT_EQ(wallPolygons[ahead].visibleMark, 0);
    EXPECT_EQ(wallPolygons[left].visibleMark, 1);
}

TEST_F(Traversal, PortalsNarrowTheWedgeAndNeverLeadBack) {
    const int a = addCell(-10, 0, 10, 10);
    const int aWall = addMarker(0, 0, 8);
    const int b = addCell(-10, 10, 10, 30);
    const int bInPortalWedge = addMarker(0, 0, 15);
    const int bInViewOnly = addMarker(0, 4, 15);  // inside the view, outside the opening's wedge
    addPortal(a, b, 1, 10, -1, 10);
    addPortal(b, a, -1, 10, 1, 10);  // back to the eye's cell: never followed
    placeEye(0, 5);
    computeVisibleSet();
    EXPECT_EQ(currentCell, a);
    EXPECT_EQ(visitedCount, 2);
    EXPECT_EQ(visitedCells[0], a);
    EXPECT_EQ(visitedCells[1], b);
    EXPECT_EQ(viewedCellCount, visitedCount);
    EXPECT_EQ(wallPolygons[aWall].visibleMark, 1);
    EXPECT_EQ(wallPolygons[bInPortalWedge].visibleMark, 1);
    EXPECT_EQ(wallPolygons[bInViewOnly].visibleMark, 0);
    EXPECT_EQ(stencilPortalCount, 0);
}

TEST_F(Traversal, PortalsOutsideTheViewAreNotFollowed) {
    const int a = addCell(-10, 0, 10, 10);
    const int b = addCell(-10, -20, 10, 0);
    const int c = addCell(10, 0, 30, 10);
    const int behind = addMarker(0, 0, -5);
    addPortal(a, b, -1, 0, 1, 0);   // behind the eye
    addPortal(a, c, 10, 4, 10, 6);  // far to the left, outside the view wedge
    placeEye(0, 5);
    computeVisibleSet();
    EXPECT_EQ(visitedCount, 1);
    EXPECT_EQ(viewedCellCount, 1);
    EXPECT_EQ(wallPolygons[behind].visibleMark, 0);
    (void)c;
}

TEST_F(Traversal, ACellSeenAlongTwoPathsIsEnteredOnce) {
    const int a = addCell(-10, 0, 10, 10);
    const int b = addCell(-10, 10, 0, 20);
    const int c = addCell(0, 10, 10, 20);
    const int d = addCell(-10, 20, 10, 30);
    addPortal(a, b, 0, 10, -4, 10);
    addPortal(a, c, 4, 10, 0, 10);
    addPortal(b, d, 0, 20, -4, 20);
    addPortal(c, d, 4, 20, 0, 20);  // d is entered through b first, never through c
    placeEye(0, 2);
    computeVisibleSet();
    EXPECT_EQ(visitedCount, 4);
    EXPECT_EQ(viewedCellCount, 4);
    EXPECT_EQ(visitedCells[1], b);
    EXPECT_EQ(visitedCells[2], d);  // depth first: b, then d through b
    EXPECT_EQ(visitedCells[3], c);
    (void)d;
}

// Below the top level the wedge through the last opening and the view wedge differ: a
// portal is followed only when it passes both, while walls are marked by the opening's
// wedge alone. The eye is at the origin looking along +Z, so the view takes in |x| <= z/2;
// cells 0..3 are chained by openings across +Z at z = 10, 20 and 30.
TEST_F(Traversal, BelowTheTopLevelAPortalMustPassTheOpeningAndTheView) {
    struct Opening {
        int from;
        float x1, x2;  // corner 0 at x1, corner 3 at x2
    };
    struct Marker {
        int cell;
        float x, z;
        int expected;
    };
    struct Case {
        const char* name;
        std::vector<Opening> openings;
        int expectedVisited;
        std::vector<Marker> markers;
    };
    const Case cases[] = {
        // Through a narrow opening (|x| <= z/10), the next one lies in the view only.
        {"second opening in the view, outside the first", {{0, 1, -1}, {1, 5, 4}}, 2,
         {{1, 1.2f, 15, 1}, {1, 3, 15, 0}}},
        // Through an opening wider than the view (|x| <= 2z), the next one lies in it
        // but outside the view; a wall there is still marked by the opening's wedge.
        {"second opening in the first, outside the view", {{0, 20, -20}, {1, 15, 14}}, 2,
         {{1, 12, 15, 1}, {1, 40, 15, 0}}},
        {"third opening in the view, outside the second", {{0, 20, -20}, {1, 2, -2}, {2, 8, 7}}, 3,
         {{2, 1, 25, 1}, {2, 5, 25, 0}}},
        {"third opening in the second, outside the view", {{0, 20, -20}, {1, 20, -20}, {2, 20, 19}}, 3,
         {{2, 20, 25, 1}}},
        {"three openings inside both", {{0, 1, -1}, {1, 1, -1}, {2, 1, -1}}, 4, {{3, 0, 35, 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        reset();
        for (int cell = 0; cell < 4; ++cell) {
            addCell(-50, cell == 0 ? -5.0f : 10.0f * cell, 50, 10.0f * cell + 10);
            for (const Marker& m : c.markers)
                if (m.cell == cell) addMarker(0, m.x, m.z);
        }
        for (const Opening& o : c.openings) {
            const float z = 10.0f * (o.from + 1);
            addPortal(o.from, o.from + 1, o.x1, z, o.x2, z);
        }
        placeEye(0, 0);
        computeVisibleSet();
        EXPECT_EQ(visitedCount, c.expectedVisited);
        EXPECT_EQ(viewedCellCount, c.expectedVisited);
        for (size_t i = 0; i < c.markers.size(); ++i)
            EXPECT_EQ(wallPolygons[i].visibleMark, c.markers[i].expected) << "marker " << i;
    }
}

TEST_F(Traversal, NeighboursComposeThePlacementAcrossPortals) {
    const int a = addCell(-10, 0, 10, 10);
    const int b = addCell(-10, 10, 10, 20);
    const int c = addCell(-10, 20, 10, 30);
    cells[a].placement.offsetY = 4;
    cells[a].placement.rotateX = 10;
    cells[a].placement.rotateY = 20;
    cells[a].placement.scaleY = 2;
    const int ab = addPortal(a, b, 2, 10, -2, 10);
    setPortalShift(a, ab, {0, 1, 0}, {1, 3, 1});
    cells[a].portalPlacement[axisX][placementRotate][ab] = 5;
    const int bc = addPortal(b, c, 2, 20, -2, 20);
    setPortalShift(b, bc, {0, -2, 0}, {1, 0.5f, 1});
    cells[b].portalPlacement[axisZ][placementRotate][bc] = 7;
    placeEye(0, 5);
    computeVisibleSet();
    ASSERT_EQ(visitedCount, 3);
    const CellPlacement& pb = cells[b].placement;
    EXPECT_FLOAT_EQ(pb.offsetY, 5);
    EXPECT_FLOAT_EQ(pb.rotateX, 15);
    EXPECT_FLOAT_EQ(pb.rotateY, 20);
    EXPECT_FLOAT_EQ(pb.scaleY, 6);
    EXPECT_FLOAT_EQ(pb.scaleX, 1);
    const CellPlacement& pc = cells[c].placement;
    EXPECT_FLOAT_EQ(pc.offsetY, 3);
    EXPECT_FLOAT_EQ(pc.rotateX, 15);
    EXPECT_FLOAT_EQ(pc.rotateZ, 7);
    EXPECT_FLOAT_EQ(pc.scaleY, 3);
}

TEST_F(Traversal, PlacementShiftsWhereANeighboursWallsAreTested) {
    const int a = addCell(-10, 0, 10, 10);
    const int b = addCell(100, 10, 120, 30);  // stored far to the left; shown straight ahead
    const int wall = addMarker(0, 110, 15);
    const int k = addPortal(a, b, 2, 10, -2, 10);
    setPortalShift(a, k, {-110, 0, 0});
    placeEye(0, 5);
    computeVisibleSet();
    EXPECT_EQ(wallPolygons[wall].visibleMark, 1);
    EXPECT_FLOAT_EQ(cells[b].placement.offsetX, -110);
}

TEST_F(Traversal, StencilPortalsAreListedAndMarkWhatTheyShow) {
    const int a = addCell(-10, 0, 10, 10);
    const int direct = addMarker(0, 0, 8);
    const int b = addCell(-10, 10, 0, 20);
    const int bWall = addMarker(0, -2, 15);
    const int c = addCell(0, 10, 10, 20);
    const int cWall = addMarker(0, 2, 15);
    const int d = addCell(0, 20, 10, 30);
    const int dWall = addMarker(0, 3, 25);
    const int bObject = addObject(b, -2, 15, 0.5f);
    const int ab = addPortal(a, b, 0, 10, -4, 10, 1);
    addPortal(a, c, 4, 10, 0, 10, 1);
    addPortal(c, d, 4, 20, 1, 20, 0);  // plain opening inside the second stencil portal
    placeEye(0, 2);
    computeVisibleSet();
    ASSERT_EQ(stencilPortalCount, 2);
    EXPECT_EQ(stencilPortalList[0].cell, a);
    EXPECT_EQ(stencilPortalList[0].neighbour, b);
    EXPECT_EQ(stencilPortalList[1].neighbour, c);
    for (int v = 0; v < 4; ++v) {
        EXPECT_FLOAT_EQ(stencilPortalList[0].cornerX[v], cells[a].portalCornerX[v][ab]);
        EXPECT_FLOAT_EQ(stencilPortalList[0].cornerY[v], cells[a].portalCornerY[v][ab]);
        EXPECT_FLOAT_EQ(stencilPortalList[0].cornerZ[v], cells[a].portalCornerZ[v][ab]);
    }
    EXPECT_EQ(wallPolygons[direct].visibleMark, 1);
    EXPECT_EQ(wallPolygons[bWall].visibleMark, 101);
    EXPECT_EQ(wallPolygons[cWall].visibleMark, 102);
    EXPECT_EQ(wallPolygons[dWall].visibleMark, 102);
    EXPECT_EQ(placedObjects[bObject].visibleMark, 101);
}

TEST_F(Traversal, ACellBehindAStencilPortalKeepsItsEntryAfterADeeperOne) {
    // a -stencil-> b; b -stencil-> c first, then b -plain-> d: d is still seen through
    // entry 0, though entry 1 was listed in between.
    const int a = addCell(-10, 0, 10, 10);
    const int b = addCell(-10, 10, 10, 20);
    const int c = addCell(-10, 20, 0, 30);
    const int cWall = addMarker(0, -2, 25);
    const int d = addCell(0, 20, 10, 30);
    const int dWall = addMarker(0, 2, 25);
    addPortal(a, b, 4, 10, -4, 10, 1);
    addPortal(b, c, 0, 20, -4, 20, 1);
    addPortal(b, d, 4, 20, 0, 20, 0);
    placeEye(0, 2);
    computeVisibleSet();
    ASSERT_EQ(stencilPortalCount, 2);
    EXPECT_EQ(wallPolygons[cWall].visibleMark, 102);
    EXPECT_EQ(wallPolygons[dWall].visibleMark, 101);
    (void)c;
    (void)d;
}

TEST_F(Traversal, WallsSeenThroughAnEntryComeInArrayOrderWithItsNeighboursPlacement) {
    // a -stencil-> c, then c -plain-> b: the walk enters c before b, yet b's polygons come
    // first, and both are placed as c is (7 up).
    const int a = addCell(-10, 0, 10, 10);
    const int b = addCell(-10, 20, 10, 30);
    const int bWall = addMarker(0, 0, 25);
    const int c = addCell(-10, 10, 10, 20);
    const int cWall = addMarker(0, 1, 15);
    const int k = addPortal(a, c, 4, 10, -4, 10, 1);
    setPortalShift(a, k, {0, 7, 0});
    addPortal(c, b, 4, 20, -4, 20);
    placeEye(0, 2);
    computeVisibleSet();
    ASSERT_EQ(visitedCount, 3);
    ASSERT_EQ(visitedCells[1], c);
    TriangleBatch batch;
    appendMarkedWalls(batch, 101, &cells[c].placement);
    ASSERT_EQ(batch.polygon.size(), 2u);
    EXPECT_EQ(batch.polygon[0], bWall);
    EXPECT_EQ(batch.polygon[1], cWall);
    EXPECT_FLOAT_EQ(batch.position[1], 7);
    EXPECT_FLOAT_EQ(batch.position[9 + 1], 7);
    clearBatch(batch);
    appendMarkedWalls(batch, 1, nullptr);
    EXPECT_TRUE(batch.polygon.empty());
}

// Only the walk writes wall marks, so a walk clears just what the last one marked: the
// first walk, and the first after the tables change, must clear every mark, since a
// loaded polygon carries 1.
TEST_F(Traversal, EachWalkClearsTheLastWalksMarksAndTheFirstClearsThemAll) {
    const int orphan = addMarker(0, 0, 3);  // before any cell: never drawn with culling on
    addCell(-10, 0, 10, 10);
    const int aWall = addMarker(0, 0, 8);
    addCell(-10, 20, 10, 30);
    const int bWall = addMarker(0, 0, 28);
    placeEye(0, 5);
    computeVisibleSet();
    EXPECT_EQ(wallPolygons[orphan].visibleMark, 0);
    EXPECT_EQ(wallPolygons[aWall].visibleMark, 1);
    EXPECT_EQ(wallPolygons[bWall].visibleMark, 0);

    placeEye(0, 25);
    computeVisibleSet();
    EXPECT_EQ(wallPolygons[aWall].visibleMark, 0);
    EXPECT_EQ(wallPolygons[bWall].visibleMark, 1);

    addCell(-10, 40, 10, 50);
    const int added = addMarker(0, 0, 45);
    computeVisibleSet();
    EXPECT_EQ(wallPolygons[added].visibleMark, 0);
    EXPECT_EQ(wallPolygons[bWall].visibleMark, 1);
}

TEST_F(Traversal, ObjectsAreFoundByTheirCellInAnyTableOrderAndWhenAddedLater) {
    const int a = addCell(-10, 0, 10, 10);
    const int b = addCell(-10, 10, 10, 30);
    addPortal(a, b, 5, 10, -5, 10);
    const int inB = addObject(b, 0, 20, 0.5f);
    const int inA = addObject(a, 0, 8, 0.5f);
    const int nowhere = addObject(-1, 0, 7, 0.5f);
    placeEye(0, 5);
    computeVisibleSet();
    EXPECT_EQ(placedObjects[inB].visibleMark, 1);
    EXPECT_EQ(placedObjects[inA].visibleMark, 1);
    EXPECT_EQ(placedObjects[nowhere].visibleMark, 0);
    const int later = addObject(b, 1, 25, 0.5f);
    computeVisibleSet();
    EXPECT_EQ(placedObjects[later].visibleMark, 1);
}

TEST_F(Traversal, MoreStencilPortalsThanTheListHoldsNeverOverrun) {
    // Cell 0 has 32 stencil portals to cells 1..32, each of which has 3 more: 128 in all,
    // every opening straight ahead of the eye.
    const int first = addCell(-10, 0, 10, 10);
    (void)first;
    for (int i = 1; i <= 32 + 96; ++i) addCell(-10, 10, 10, 20);
    for (int i = 1; i <= 32; ++i) addPortal(0, i, 2, 10, -2, 10, 1);
    int next = 33;
    for (int i = 1; i <= 32; ++i)
        for (int j = 0; j < 3; ++j) addPortal(i, next++, 2, 10, -2, 10, 1);
    placeEye(0, 5);
    computeVisibleSet();
    EXPECT_EQ(stencilPortalCount, maxStencilPortals);
    // Portals past the list's end are not followed: one visited cell per listed entry.
    EXPECT_EQ(visitedCount, 1 + maxStencilPortals);
    EXPECT_EQ(viewedCellCount, visitedCount);
    for (int i = 0; i < stencilPortalCount; ++i) {
        EXPECT_GE(stencilPortalList[i].neighbour, 1);
        EXPECT_LT(stencilPortalList[i].neighbour, cellCount);
    }
}

TEST_F(Traversal, ObjectsOfCellsNotEnteredKeepTheirMark) {
    const int a = addCell(-10, 0, 10, 10);
    const int b = addCell(-10, -20, 10, 0);
    const int seen = addObject(a, 0, 8, 0.5f);
    const int hiddenBehind = addObject(a, 0, 1, 0.2f);
    const int elsewhere = addObject(b, 0, -10, 0.5f);
    placedObjects[hiddenBehind].visibleMark = 1;
    placedObjects[elsewhere].visibleMark = 1;
    placeEye(0, 5);
    computeVisibleSet();
    EXPECT_EQ(placedObjects[seen].visibleMark, 1);
    EXPECT_EQ(placedObjects[hiddenBehind].visibleMark, 0);
    EXPECT_EQ(placedObjects[elsewhere].visibleMark, 1);
}

TEST_F(Traversal, AnObjectBoxReachingIntoTheViewIsMarked) {
    addCell(-50, -50, 50, 50);
    // Centre outside the left edge, box corner (8 - 6, 10 - 6) = (2, 4) exactly on it.
    const int object = addObject(0, 8, 10, 6);
    placeEye(0, 0);
    computeVisibleSet();
    EXPECT_EQ(placedObjects[object].visibleMark, 1);
}

TEST(CurrentCell, BoxesInXAndZBoundsIncludedHighestIndexWins) {
    reset();
    addCell(0, 0, 10, 10);
    addCell(20, 10, 10, 0);  // corners given in the other order
    addCell(5, 5, 15, 15);   // overlaps both
    struct Case {
        const char* name;
        float x, z;
        int expected;
    };
    const Case cases[] = {
        {"inside the first", 2, 2, 0},
        {"on the first box's corner", 0, 0, 0},
        {"on the shared edge: higher index", 10, 2, 1},
        {"inside the reversed box", 18, 1, 1},
        {"overlap of all three boxes' reach: highest", 10, 5, 2},
        {"outside every box", -1, 5, -1},
        {"beyond in Z only", 2, 16, -1},
    };
    for (const Case& c : cases) EXPECT_EQ(findCurrentCell(c.x, c.z), c.expected) << c.name;
}

TEST_F(Traversal, EyeOutsideEveryCellMarksNothing) {
    addCell(0, 0, 10, 10);
    const int wall = addMarker(0, 5, 5);
    stencilPortalCount = 3;
    placeEye(-20, 5, 900);
    computeVisibleSet();
    EXPECT_EQ(currentCell, -1);
    EXPECT_EQ(wallPolygons[wall].visibleMark, 0);
    EXPECT_EQ(stencilPortalCount, 0);
    EXPECT_EQ(viewedCellCount, 0);
}

TEST_F(Traversal, VisibleWallsArePlacedCellByCellInTextureRuns) {
    const int a = addCell(-10, 0, 10, 10);
    addMarker(3, 0, 8);
    addMarker(3, 0.5f, 8);
    const int b = addCell(-10, 10, 10, 20);
    // Stored 100 behind; the portal shows them 100 further on and twice as wide.
    addMarker(4, 0, -85);
    addMarker(3, 0.5f, -85);
    const int k = addPortal(a, b, 2, 10, -2, 10);
    setPortalShift(a, k, {0, 0, 100}, {2, 1, 1});
    placeEye(0, 5);
    TriangleBatch batch;
    collectVisibleWalls(batch);
    ASSERT_EQ(batch.polygon.size(), 4u);
    ASSERT_EQ(batch.runs.size(), 3u);
    EXPECT_EQ(batch.runs[0].textureIndex, 3);
    EXPECT_EQ(batch.runs[0].count, 2);
    EXPECT_EQ(batch.runs[1].textureIndex, 4);
    EXPECT_EQ(batch.runs[2].textureIndex, 3);
    EXPECT_FLOAT_EQ(batch.position[2 * 9 + 0], 0);
    EXPECT_FLOAT_EQ(batch.position[3 * 9 + 0], 1.0f);  // 0.5 scaled by 2
    EXPECT_FLOAT_EQ(batch.position[2 * 9 + 2], 15.0f);

    portalCulling = 0;
    collectVisibleWalls(batch);
    EXPECT_EQ(batch.polygon.size(), 4u);
    EXPECT_FLOAT_EQ(batch.position[3 * 9 + 0], 0.5f);  // as stored
}

}  // namespace
