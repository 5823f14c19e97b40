// Where walking stops, on small worlds walked by played demos through the real frame
// step (selection pass and collision response): a stencil window is glass, a plain
// doorway is open, and no step leaves every cell's box. Checked by the final camera.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>

#include "input/input.h"
#include "platform/platform.h"
#include "render/frames.h"
#include "render/gl_fixture.h"
#include "render/world_fixture.h"
#include "world/init.h"
#include "world/settings.h"

using namespace testworld;

namespace {

// The eye's limit from a hit plane: sqrt(2.5).
constexpr float limit = 1.5811388f;

struct Walk {
    const char* name;
    std::function<void()> build;  // the world, cell 0 holding the start
    float x, z;                   // the start
    int yaw;                      // heading, tenths of a degree
    int steps;                    // of 0.1 forward
    float minX, maxX, minZ, maxZ;  // where the walk must end
};

// A window of cell 0 across z = 5 from x = x1 to x2, the full height of the room, onto
// a cell far off along +X (drawn there through the opening, shifted back). It turns what
// it shows (the cell holds nothing a turn moves), so it is a window, not a passage.
void windowAcrossZ5(float x1, float x2) {
    const int k = addPortal(0, 1, x2, 5, x1, 5, 1);
    setPortalShift(0, k, {-200, 0, 0});
    cells[0].portalPlacement[axisY][placementRotate][k] = 90;
}

void farCell() {
    addCell(190, -10, 210, 20);
    addWall(0, 210, 10, 190, 10);
}

const Walk walks[] = {
    {"straight at a window: stopped at the limit, as by a wall",
     [] {
         addCell(-10, -10, 10, 20);  // the box runs on past the window
         farCell();
         windowAcrossZ5(-2, 2);
     },
     0, 0, 0, 100, -0.01f, 0.01f, 5 - limit - 0.1f, 5 - limit},
    {"along a window, just outside the limit: not held",
     [] {
         addCell(-10, -10, 10, 20);
         farCell();
         windowAcrossZ5(-2, 2);
     },
     -5, 5 - 1.6f, 900, 100, 4.99f, 5.01f, 5 - 1.6f - 0.001f, 5 - 1.6f + 0.001f},
    {"beside a window, past its edge: not held",
     [] {
         addCell(-10, -10, 10, 20);
         farCell();
         windowAcrossZ5(-2, 2);
     },
     4, 0, 0, 100, 3.99f, 4.01f, 9.99f, 10.01f},
    {"into the corner between a window and a wall: held by both",
     [] {
         addCell(-10, -10, 10, 20);
         addWall(0, 2, -10, 2, 5);  // across x = 2, facing -X
         farCell();
         windowAcrossZ5(-4, 2);
     },
     -3, -3, 450, 200, 2 - limit - 0.1f, 2 - limit, 5 - limit - 0.1f, 5 - limit},
    {"into a plain passage onto no cell's box: held at the box's edge",
     [] {
         addCell(-10, -10, 10, 5);
         const int k = addPortal(0, 1, 2, 5, -2, 5);
         addCell(190, 5, 210, 20);
         setPortalShift(0, k, {200, 0, 0});
     },
     0, 0, 0, 100, -0.01f, 0.01f, 4.9f, 5},
    {"through a plain doorway without shift: walks on into the next room",
     [] {
         addCell(-10, -10, 10, 5);
         addPortal(0, 1, 2, 5, -2, 5);
         addCell(-10, 5, 10, 20);
         addPortal(1, 0, -2, 5, 2, 5);
     },
     0, 0, 0, 100, -0.01f, 0.01f, 9.99f, 10.01f},
    {"out of an open side with no wall: held at the box's edge",
     [] { addCell(-10, -10, 10, 5); },
     0, 0, 0, 100, -0.01f, 0.01f, 4.9f, 5},
    {"started outside every box: free to walk in",
     [] { addCell(-10, -10, 10, 20); },
     0, -15, 0, 100, -0.01f, 0.01f, -5.01f, -4.99f},
};

class Walking : public ::testing::TestWithParam<Walk> {
protected:
    void SetUp() override {
        START_GL_TEST();
        reset();
        resetSettings();
        platform::resetMessages();
    }
    void TearDown() override {
        if (demo) std::fclose(demo);
        playDemoStream(nullptr);
        frameLimit = 0;
        resetSettings();
        platform::resetMessages();
        reset();
    }
    std::FILE* demo = nullptr;
};

void PrintTo(const Walk& walk, std::ostream* out) { *out << walk.name; }

TEST_P(Walking, EndsWhereTheRulesHoldTheEye) {
    const Walk& walk = GetParam();
    walk.build();
    placeEye(walk.x, walk.z, walk.yaw);
    demo = testgl::playWalkingForward(walk.steps);
    testgl::drawFrames(walk.steps);
    EXPECT_GE(camera.posX, walk.minX) << walk.name;
    EXPECT_LE(camera.posX, walk.maxX) << walk.name;
    EXPECT_GE(camera.posZ, walk.minZ) << walk.name;
    EXPECT_LE(camera.posZ, walk.maxZ) << walk.name;
    EXPECT_FLOAT_EQ(camera.posY, 3) << walk.name;
}

INSTANTIATE_TEST_SUITE_P(SmallWorlds, Walking, testing::ValuesIn(walks), [](const testing::TestParamInfo<Walk>& info) {
    return "walk" + std::to_string(info.index);
});

// The bundled sample world: walking at each of its windows from inside the room that
// holds it, the eye stops in front of the glass and stays in that room.
struct WindowWalk {
    const char* name;
    float x, z;
    int yaw;
    int cell;                 // where the walk starts and must end
    float along;              // the window's plane across the walk, in X or Z
    bool acrossX;             // the plane is one of constant X
};

class SampleWindows : public Walking {
protected:
    void SetUp() override {
        Walking::SetUp();
        if (HasFatalFailure() || IsSkipped()) return;
        char cwd[4096];
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        home = cwd;
        ASSERT_EQ(chdir((std::string(SOURCE_DIR) + "/worlds/sample").c_str()), 0);
        ASSERT_EQ(initWorldFrom("map.m"), 0);
        loaded = true;
    }
    void TearDown() override {
        if (loaded) releaseWorld();
        if (!home.empty() && chdir(home.c_str()) != 0) std::perror("chdir");
        Walking::TearDown();
    }
    std::string home;
    bool loaded = false;
};

TEST_F(SampleWindows, EveryWindowStopsTheEyeInsideItsRoom) {
    const WindowWalk walks[] = {
        // The window back in the gallery's north wall, 8 wide and 1.5 to 5.5 high: no wall
        // around it comes near the eye's view.
        {"the gallery's north window", -75, 62, 0, 8, 70, false},
        {"the study's west window", -75, 40, 2700, 9, -85, true},
        {"the start room's back window", -25, 15, 1800, 0, 5, false},
    };
    for (const WindowWalk& walk : walks) {
        // As at start-up: every cell where the map puts it (a window's walk shifts cells).
        for (int32_t c = 0; c < cellCount; ++c) identity(cells[c].placement);
        placeEye(walk.x, walk.z, walk.yaw);
        if (demo) std::fclose(demo);
        demo = testgl::playWalkingForward(150);
        testgl::drawFrames(150);
        const float at = walk.acrossX ? camera.posX : camera.posZ;
        EXPECT_GE(std::fabs(at - walk.along), limit - 0.001f) << walk.name << ": at " << at;
        EXPECT_LE(std::fabs(at - walk.along), limit + 0.1f) << walk.name << ": at " << at;
        EXPECT_EQ(findCurrentCell(camera.posX, camera.posZ), walk.cell) << walk.name;
    }
}

}  // namespace
