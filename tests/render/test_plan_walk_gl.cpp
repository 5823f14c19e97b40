// Rooms of any convex plan, as the world builder makes them, walked through the real frame
// step (selection pass, collision response, portal walk): a slanted wall stops the eye as
// a wall square to an axis does, a doorway in a slanted wall is open, and the walk from
// the start sees through both kinds of doorway.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "input/input.h"
#include "platform/platform.h"
#include "render/frames.h"
#include "render/gl_fixture.h"
#include "render/world_fixture.h"
#include "world/init.h"
#include "world/settings.h"
#include "worldbuild/build.h"

namespace {

constexpr float limit = 1.5811388f;  // the eye's limit from a hit plane: sqrt(2.5)

// A hexagon holding the start, a box room beyond its north wall and a room beyond its
// slanted east-south-east wall, through a doorway there from z = 9 to 13.
const char* const hexWorld =
    "texture t.bmp pattern tiles flavour pal4\n"
    "texture w.bmp pattern bricks flavour rle8\n"
    "room hex plan -35 15 -30 7 -20 7 -15 15 -20 23 -30 23 height 6 floor t.bmp ceiling t.bmp walls w.bmp\n"
    "room north box -30 0 23 -20 6 33 floor t.bmp ceiling t.bmp walls w.bmp\n"
    "room east plan -20 7 -5 7 -5 15 -15 15 height 6 floor t.bmp ceiling t.bmp walls w.bmp\n"
    "door hex north span -27 -23\n"
    "door hex east span 9 13\n";

// Distance of (x, z) from the line through a and b.
float fromLine(float x, float z, float ax, float az, float bx, float bz) {
    const float dx = bx - ax, dz = bz - az;
    return std::fabs(dx * (z - az) - dz * (x - ax)) / std::hypot(dx, dz);
}

class PlanWalk : public ::testing::Test {
protected:
    void SetUp() override {
        START_GL_TEST();
        testworld::reset();
        resetSettings();
        platform::resetMessages();
        char cwd[4096];
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        home = cwd;
        std::string pattern = testing::TempDir() + "planwalk_XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder = pattern;
        std::ofstream(folder + "/world.txt") << hexWorld;
        std::string error;
        ASSERT_TRUE(worldbuild::buildWorld(folder + "/world.txt", folder, error)) << error;
        ASSERT_EQ(chdir(folder.c_str()), 0);
        ASSERT_EQ(initWorldFrom("map.m"), 0);
        loaded = true;
    }
    void TearDown() override {
        playDemoStream(nullptr);
        if (demo) std::fclose(demo);
        frameLimit = 0;
        if (loaded) releaseWorld();
        if (!home.empty() && chdir(home.c_str()) != 0) std::perror("chdir");
        resetSettings();
        platform::resetMessages();
        testworld::reset();
        if (!folder.empty()) std::filesystem::remove_all(folder);
    }
    void walk(float x, float z, int yaw, int steps) {
        for (int32_t c = 0; c < cellCount; ++c) testworld::identity(cells[c].placement);
        testworld::placeEye(x, z, yaw);
        playDemoStream(nullptr);
        if (demo) std::fclose(demo);
        demo = testgl::playWalkingForward(steps);
        testgl::drawFrames(steps);
    }
    bool sees(int32_t cell) const {
        for (int32_t i = 0; i < visitedCount; ++i)
            if (visitedCells[i] == cell) return true;
        return false;
    }
    std::string home, folder;
    bool loaded = false;
    std::FILE* demo = nullptr;
};

TEST_F(PlanWalk, TheWalkFromTheHexagonSeesThroughBothDoorways) {
    ASSERT_EQ(cellCount, 3);
    testworld::placeEye(-25, 15, 0);
    computeVisibleSet();
    EXPECT_EQ(currentCell, 0);
    EXPECT_TRUE(sees(1)) << "north, through the doorway square to Z";
    testworld::placeEye(-25, 11, 900);
    computeVisibleSet();
    EXPECT_EQ(currentCell, 0);
    EXPECT_TRUE(sees(2)) << "east, through the slanted doorway";
}

TEST_F(PlanWalk, ASlantedWallStopsTheEyeAtTheLimit) {
    // Square to the wall from (-35, 15) to (-30, 23): heading 302 degrees.
    walk(-25, 15, 3020, 150);
    const float d = fromLine(camera.posX, camera.posZ, -35, 15, -30, 23);
    EXPECT_GE(d, limit - 0.001f) << camera.posX << " " << camera.posZ;
    EXPECT_LE(d, limit + 0.15f) << camera.posX << " " << camera.posZ;
    EXPECT_EQ(findCurrentCell(camera.posX, camera.posZ), 0);
}

TEST_F(PlanWalk, DoorwaysSquareAndSlantedAreOpen) {
    walk(-25, 15, 0, 200);  // north through the doorway at z = 23, to the far wall at 33
    EXPECT_NEAR(camera.posX, -25, 0.01f);
    EXPECT_GE(camera.posZ, 33 - limit - 0.1f);
    EXPECT_LE(camera.posZ, 33 - limit);
    EXPECT_EQ(findCurrentCell(camera.posX, camera.posZ), 1);
    walk(-25, 11, 900, 150);  // east through the slanted doorway, 15 on
    EXPECT_NEAR(camera.posX, -10, 0.01f);
    EXPECT_NEAR(camera.posZ, 11, 0.01f);
    EXPECT_EQ(findCurrentCell(camera.posX, camera.posZ), 2);
}

}  // namespace
