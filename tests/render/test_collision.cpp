// The collision response fed with hand-made selection hit records; no GL.
#include <gtest/gtest.h>

#include <vector>

#include "render/world_fixture.h"

using namespace testworld;

namespace {

class Collision : public ::testing::Test {
protected:
    void SetUp() override {
        reset();
        addCell(-100, -100, 100, 100);
        currentCell = 0;
    }

    // The eye as controlStep leaves it: moved by (dx, dz) to (x, z).
    static void stepTo(float x, float z, float dx, float dz) {
        placeEye(x, z);
        camera.stepX = dx;
        camera.stepZ = dz;
    }

    // One GL hit record per polygon: one name, two depths, the polygon's index.
    static std::vector<uint32_t> hitsOn(std::initializer_list<int> polygons) {
        std::vector<uint32_t> records;
        for (int p : polygons) records.insert(records.end(), {1u, 0u, 0xffffffffu, uint32_t(p)});
        return records;
    }

    static void resolve(const std::vector<uint32_t>& records, int hitCount) {
        resolveCollisions(records.data(), int64_t(records.size()), hitCount);
    }
};

// A wall across X at x = 1.5 (plane x - 1.5 = 0), facing the eye.
int wallAcrossX(float at) { return addTriangle(0, {at, 0, -5}, {at, 5, -5}, {at, 0, 5}); }

TEST_F(Collision, AWallTooCloseTakesBackOnlyWhatIsNeeded) {
    struct Case {
        const char* name;
        float x, z, dx, dz;  // eye after the step, and the step
        float expectedX, expectedZ;
    };
    const Case cases[] = {
        // 1.5 from the wall after the step (2.25 < 2.5); X back gives 1.6 (2.56): Z is kept.
        {"wall 1.5 ahead", 0.0f, 0.3f, 0.1f, 0.3f, -0.1f, 0.3f},
        {"far enough already", -0.1f, 0.0f, 0.1f, 0.0f, -0.1f, 0.0f},
        // Moving along the wall only: X back does not help, Z back neither, so both go.
        {"sliding along the wall", 0.0f, 0.2f, 0.0f, 0.2f, 0.0f, 0.0f},
    };
    const int wall = wallAcrossX(1.5f);
    const std::vector<uint32_t> records = hitsOn({wall});
    for (const Case& c : cases) {
        stepTo(c.x, c.z, c.dx, c.dz);
        resolve(records, 1);
        EXPECT_FLOAT_EQ(camera.posX, c.expectedX) << c.name;
        EXPECT_FLOAT_EQ(camera.posZ, c.expectedZ) << c.name;
        EXPECT_FLOAT_EQ(camera.posY, 3) << c.name;
    }
}

// A wall of its own plane a·x + c·z + d = 0, standing in the current cell.
int planeWall(float a, float c, float d) {
    const int wall = addTriangle(0, {0, 0, 0}, {0, 5, 0}, {1, 0, 0});
    wallPolygons[wall].normalX[0] = a;
    wallPolygons[wall].normalY[0] = 0;
    wallPolygons[wall].normalZ[0] = c;
    wallPolygons[wall].planeD[0] = d;
    return wall;
}

TEST_F(Collision, DiagonalStepsAgainstObliqueWallsTakeBackXBeforeZ) {
    struct Case {
        const char* name;
        float a, c, d;       // the wall's plane
        float x, z, dx, dz;  // eye after the step, and the step
        float expectedX, expectedZ;
    };
    // The eye stands at the origin after a step of 0.1 on both axes. Against x + 2z = t
    // (squared distance (t - x - 2z)^2 / 5, limit at 3.536 from the plane in t) taking
    // back Z gains twice what taking back X does.
    const Case cases[] = {
        // X back alone (3.55) and Z back alone (3.65) both clear: X is tried first.
        {"either would do: X goes back", 1, 2, -3.45f, 0, 0, 0.1f, 0.1f, -0.1f, 0},
        // X back alone (3.5) is not enough, Z back alone (3.6) is: X is restored.
        {"only Z clears: X is restored", 1, 2, -3.40f, 0, 0, 0.1f, 0.1f, 0, -0.1f},
        // Neither alone (3.4, 3.5) clears, both (3.6) do.
        {"neither alone: both go back", 1, 2, -3.30f, 0, 0, 0.1f, 0.1f, -0.1f, -0.1f},
        // Mirrored: x - 2z = t, stepping +X and -Z.
        {"mirrored, only Z clears", 1, -2, -3.40f, 0, 0, 0.1f, -0.1f, 0, 0.1f},
        {"mirrored, either would do", 1, -2, -3.45f, 0, 0, 0.1f, -0.1f, -0.1f, 0},
        // The other way round: 2x + z = t, X back gains more; only X clears.
        {"steep wall, only X clears", 2, 1, -3.40f, 0, 0, 0.1f, 0.1f, -0.1f, 0},
        // Squared distance exactly 2.5 (25 / 10) after the step: not below, nothing moves.
        {"exactly at the limit", 1, 3, -5, 0, 0, 0.1f, 0.1f, 0, 0},
        // 1.225 after the step, exactly 2.5 with X back: that is clear, Z is kept.
        {"X back reaches the limit exactly", 3, 1, -5.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0, 0.5f},
    };
    for (const Case& c : cases) {
        reset();
        addCell(-100, -100, 100, 100);
        currentCell = 0;
        const int wall = planeWall(c.a, c.c, c.d);
        stepTo(c.x, c.z, c.dx, c.dz);
        resolve(hitsOn({wall}), 1);
        EXPECT_FLOAT_EQ(camera.posX, c.expectedX) << c.name;
        EXPECT_FLOAT_EQ(camera.posZ, c.expectedZ) << c.name;
    }
}

TEST_F(Collision, ACornerTakesBackBothSteps) {
    // Plane x + z = 2: 2.0 away squared at the origin, 2.205 with either step back alone.
    const int corner = addTriangle(0, {2, 0, 0}, {0, 0, 2}, {2, 5, 0});
    stepTo(0, 0, 0.1f, 0.1f);
    resolve(hitsOn({corner}), 1);
    EXPECT_FLOAT_EQ(camera.posX, -0.1f);
    EXPECT_FLOAT_EQ(camera.posZ, -0.1f);
    EXPECT_NEAR(wallPolygons[corner].eyePlaneDistSq, 2.205f, 1e-4);  // the last distance computed
}

TEST_F(Collision, AZeroPlaneBlocksEveryStepAndAZeroNormalNone) {
    const int zero = addTriangle(0, {0, 0, 0}, {0, 0, 0}, {0, 0, 0});
    stepTo(1, 1, 0.1f, 0.1f);
    resolve(hitsOn({zero}), 1);
    EXPECT_FLOAT_EQ(camera.posX, 0.9f);
    EXPECT_FLOAT_EQ(camera.posZ, 0.9f);
    EXPECT_EQ(wallPolygons[zero].eyePlaneDistSq, 0.0f);

    // No normal but a plane constant: the 1e-5 stand-in makes it far, not a division by 0.
    wallPolygons[zero].planeD[0] = 1;
    stepTo(1, 1, 0.1f, 0.1f);
    resolve(hitsOn({zero}), 1);
    EXPECT_FLOAT_EQ(camera.posX, 1);
    EXPECT_GT(wallPolygons[zero].eyePlaneDistSq, 1e4f);
}

TEST_F(Collision, HitsAreHandledInOrderFromWhereThePreviousLeftTheEye) {
    const int first = wallAcrossX(1.5f);
    const int second = wallAcrossX(1.5f);
    stepTo(0, 0.3f, 0.1f, 0.3f);
    resolve(hitsOn({first, second}), 2);
    // The second hit finds the eye already 1.6 away: nothing more is taken back.
    EXPECT_FLOAT_EQ(camera.posX, -0.1f);
    EXPECT_FLOAT_EQ(camera.posZ, 0.3f);
}

TEST_F(Collision, RecordsAreReadByTheirOwnLengthAndNeverPastTheBuffer) {
    const int wall = wallAcrossX(1.5f);
    // A record with no name, one with an out-of-range name, one with two names (the top
    // one counts), then a record cut off by the buffer's end.
    std::vector<uint32_t> records = {0u, 0u, 0u,                      //
                                     1u, 0u, 0u, 9999u,               //
                                     2u, 0u, 0u, 9999u, uint32_t(wall),  //
                                     1u, 0u};
    stepTo(0, 0.3f, 0.1f, 0.3f);
    resolve(records, 10);
    EXPECT_FLOAT_EQ(camera.posX, -0.1f);
    EXPECT_FLOAT_EQ(camera.posZ, 0.3f);
}

TEST_F(Collision, AnOverflowTestsNoWallButStillTheObjects) {
    const int wall = wallAcrossX(1.5f);
    const int object = addObject(0, 0, 3, 1);
    placedObjects[object].visibleMark = 1;
    // 2.2 from the object's centre in Z: inside its reach, and 1.5 from the wall. The wall
    // would take X back first; the object alone takes back Z only.
    stepTo(0, 0.8f, 0.1f, 0.1f);
    resolve(hitsOn({wall}), -1);
    EXPECT_FLOAT_EQ(camera.posX, 0);
    EXPECT_FLOAT_EQ(camera.posZ, 0.7f);
}

TEST(ObjectMargin, TheEyeCountsAsInsideUpTo1Point25BeyondTheBox) {
    PlacedObject object;
    object.x = 10;
    object.z = -4;
    object.boxX1 = -1;
    object.boxX2 = 1;
    object.boxZ1 = -2;
    object.boxZ2 = 0.5f;
    struct Case {
        float x, z;
        bool inside;
    };
    const Case cases[] = {
        {10, -4, true},   {12.25f, -4, true}, {7.75f, -4, true},  {12.26f, -4, false},
        {7.74f, -4, false}, {10, -2.25f, true}, {10, -7.25f, true}, {10, -2.2f, false},
        {10, -7.3f, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(insideObjectMargin(object, c.x, c.z), c.inside) << c.x << ", " << c.z;
}

TEST_F(Collision, OnlyObjectsMarkedSeenDirectlyPushBack) {
    const int seen = addObject(0, 3, 0, 1);
    const int throughPortal = addObject(0, -3, 0, 1);
    placedObjects[seen].visibleMark = 1;
    placedObjects[throughPortal].visibleMark = 101;
    stepTo(0.8f, 0, 0.1f, 0);  // 2.2 from the seen object: inside; X back gives 2.3
    resolveCollisions(nullptr, 0, 0);
    EXPECT_FLOAT_EQ(camera.posX, 0.7f);
    stepTo(-0.8f, 0, -0.1f, 0);  // as close to the other one: ignored
    resolveCollisions(nullptr, 0, 0);
    EXPECT_FLOAT_EQ(camera.posX, -0.8f);
}

TEST_F(Collision, TheEyeIsComparedInTheCurrentCellsOwnCoordinates) {
    // The current cell is shown 100 along X and 50 along Z from where it is stored; its
    // walls and objects are tested against the eye made local to it, and those of a cell
    // drawn where it is stored against the eye as it is.
    const int shifted = addCell(-100, -100, 100, 100);
    cells[shifted].placement.offsetX = 100;
    cells[shifted].placement.offsetZ = 50;
    currentCell = shifted;
    const int wall = wallAcrossX(1.5f);
    stepTo(100.0f, 50.3f, 0.1f, 0.3f);
    resolve(hitsOn({wall}), 1);
    EXPECT_FLOAT_EQ(camera.posX, 99.9f);
    EXPECT_FLOAT_EQ(camera.posZ, 50.3f);

    const int unshifted = addObject(0, 3, 0, 1);  // stands in cell 0, drawn at (3, 0)
    placedObjects[unshifted].visibleMark = 1;
    stepTo(100.8f, 50.0f, 0.1f, 0.0f);  // local (0.8, 0): far from where it is drawn
    resolveCollisions(nullptr, 0, 0);
    EXPECT_FLOAT_EQ(camera.posX, 100.8f);
    stepTo(3.8f, 0.0f, 0.1f, 0.0f);  // beside where it is drawn
    resolveCollisions(nullptr, 0, 0);
    EXPECT_FLOAT_EQ(camera.posX, 3.7f);

    const int object = addObject(shifted, 3, 0, 1);  // drawn at (103, 50)
    placedObjects[object].visibleMark = 1;
    stepTo(100.8f, 50.0f, 0.1f, 0.0f);  // local (0.8, 0): within reach of the object
    resolveCollisions(nullptr, 0, 0);
    EXPECT_FLOAT_EQ(camera.posX, 100.7f);
    EXPECT_FLOAT_EQ(camera.posZ, 50.0f);
}

}  // namespace
