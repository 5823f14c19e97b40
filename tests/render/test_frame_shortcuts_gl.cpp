// The frame's shortcuts (naming only triangles that can hit, scissored stencil entries,
// one walk when the eye stays) against the frames drawn the long way: the same pictures
// byte for byte, the same camera and the same counts, on the fixture worlds, the sample
// world with its demo and a generated world of many cells; and the selection test's
// margin against the GL's own selection.
#include <gtest/gtest.h>
#include <GL/glu.h>
#include <unistd.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "input/input.h"
#include "platform/platform.h"
#include "render/frames.h"
#include "render/gl_fixture.h"
#include "render/local.h"  // Required for: keptFrame
#include "render/scale_world.h"
#include "render/world_fixture.h"
#include "world/init.h"
#include "world/settings.h"

namespace {

// --- The selection frustum's planes (GL-free) ----------------------------------------

const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

TEST(SelectionPlanes, OnlyATriangleWhollyOutsideOneAndTheSamePlaneIsDropped) {
    const ClipPlanes cube = clipPlanes(identity, identity);  // the volume -1..1 on each axis
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        const char* what;
        float v[9];
        bool dropped;
    };
    const Case cases[] = {
        {"inside", {0, 0, 0, 0.5f, 0, 0, 0, 0.5f, 0}, false},
        {"beyond +x", {1.5f, 0, 0, 2, 1, 0, 1.2f, -1, 0.5f}, true},
        {"beyond -z", {0, 0, -1.5f, 1, 0, -3, 0, 1, -1.1f}, true},
        {"straddling +x", {0.5f, 0, 0, 2, 0, 0, 2, 1, 0}, false},
        {"touching +x", {1, 0, 0, 2, 0, 0, 2, 1, 0}, false},
        {"a hair beyond +x (within the margin)", {1.00001f, 0, 0, 2, 0, 0, 2, 1, 0}, false},
        {"each vertex beyond another plane, across the volume", {3, 0, 0, 0, 3, 0, 0, 0, 3}, false},
        {"each beyond another plane, clear of the volume", {3, 3, 0, 0, 3, 3, 3, 0, 3}, false},
        {"a NaN vertex, the others beyond +y", {nan, 2, 0, 0, 2, 0, 1, 3, 0}, false},
        {"beyond +y and clear", {0, 2, 0, 1, 2, 0, 0, 3, 1}, true},
    };
    for (const Case& c : cases) EXPECT_EQ(outsideOnePlane(cube, c.v), c.dropped) << c.what;
}

// --- Frames drawn with and without the shortcuts ------------------------------------

struct Played {
    std::vector<std::vector<uint8_t>> pictures;  // at each checkpoint
    std::vector<FrameCounts> counts;
    std::vector<int32_t> cellsEntered;
    float x = 0, y = 0, z = 0;
    int32_t yaw = 0, pitch = 0;
};

class FrameShortcutsGl : public ::testing::Test {
protected:
    void SetUp() override {
        START_GL_TEST();
        testworld::reset();
        resetSettings();
        platform::resetMessages();
        ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    }
    void TearDown() override {
        if (demo) std::fclose(demo);
        playDemoStream(nullptr);
        PLAYDEMO = 0;
        resetSettings();
        platform::resetMessages();
        if (previous[0] && chdir(previous) != 0) std::perror("chdir");
    }

    // The world of a folder (read in place) with its demo.
    void loadFolder(const std::string& folder, const char* demoName) {
        testworld::reset();
        testgl::startState();
        ASSERT_EQ(chdir(folder.c_str()), 0) << folder;
        ASSERT_EQ(initWorldFrom("map.m"), 0) << folder;
        demo = std::fopen(demoName, "rb");
        ASSERT_NE(demo, nullptr) << folder << "/" << demoName;
        ASSERT_EQ(chdir(previous), 0);
        playDemoStream(demo);
        PLAYDEMO = 1;
    }

    // The generated world, the eye walking `steps` forward from the many-cells view.
    void loadScaleWorld(scaleworld::Openings openings, int64_t triangles, int steps) {
        testworld::reset();
        testgl::startState();
        scaleworld::build(openings, triangles);
        scaleworld::upload();
        scaleworld::placeEye(openings, scaleworld::manyVisible);
        demo = testgl::playWalkingForward(steps);
    }

    // Plays the loaded world with `shortcuts`, `frames` frames at a time, once per
    // checkpoint, keeping the last picture of each.
    Played play(const FrameShortcuts& shortcuts, int checkpoints, int frames) {
        frameShortcuts = shortcuts;
        Played played;
        for (int i = 0; i < checkpoints; ++i) {
            testgl::drawFrames(frames);
            played.pictures.push_back(keptFrame.pixels);
            played.counts.push_back(frameCounts);
            played.cellsEntered.push_back(viewedCellCount);
        }
        frameLimit = 0;
        played.x = camera.posX, played.y = camera.posY, played.z = camera.posZ;
        played.yaw = camera.yaw, played.pitch = camera.pitch;
        if (demo) std::fclose(demo);
        demo = nullptr;
        playDemoStream(nullptr);
        scaleworld::releaseModels();
        releaseWorld();
        return played;
    }

    static void expectSame(const Played& longWay, const Played& shortWay, const std::string& world) {
        ASSERT_EQ(longWay.pictures.size(), shortWay.pictures.size()) << world;
        for (size_t i = 0; i < longWay.pictures.size(); ++i) {
            EXPECT_FALSE(longWay.pictures[i].empty()) << world << " checkpoint " << i;
            EXPECT_TRUE(longWay.pictures[i] == shortWay.pictures[i]) << world << ": picture at checkpoint " << i;
            const FrameCounts& a = longWay.counts[i];
            const FrameCounts& b = shortWay.counts[i];
            EXPECT_EQ(a.currentCell, b.currentCell) << world << " checkpoint " << i;
            EXPECT_EQ(a.cellsVisited, b.cellsVisited) << world << " checkpoint " << i;
            EXPECT_EQ(a.wallsDrawn, b.wallsDrawn) << world << " checkpoint " << i;
            EXPECT_EQ(a.objectsDrawn, b.objectsDrawn) << world << " checkpoint " << i;
            EXPECT_EQ(a.stencilPortals, b.stencilPortals) << world << " checkpoint " << i;
            EXPECT_EQ(longWay.cellsEntered[i], shortWay.cellsEntered[i]) << world << " checkpoint " << i;
        }
        // Bit for bit: the collision response saw the same hits in the same order.
        EXPECT_EQ(std::memcmp(&longWay.x, &shortWay.x, sizeof longWay.x), 0) << world << " x";
        EXPECT_EQ(std::memcmp(&longWay.y, &shortWay.y, sizeof longWay.y), 0) << world << " y";
        EXPECT_EQ(std::memcmp(&longWay.z, &shortWay.z, sizeof longWay.z), 0) << world << " z";
        EXPECT_EQ(longWay.yaw, shortWay.yaw) << world;
        EXPECT_EQ(longWay.pitch, shortWay.pitch) << world;
    }

    std::FILE* demo = nullptr;
    char previous[PATH_MAX] = {};
};

const FrameShortcuts longWay{false, false, false};
const FrameShortcuts shortWay{};

TEST_F(FrameShortcutsGl, TheStencilWindowFixtureDrawsTheSameFramesEitherWay) {
    const std::string folder = std::string(SOURCE_DIR) + "/tests/worlds/stencil_window";
    loadFolder(folder, "walk.dem");
    const Played a = play(longWay, 5, 40);
    loadFolder(folder, "walk.dem");
    const Played b = play(shortWay, 5, 40);
    expectSame(a, b, "stencil_window");
    EXPECT_GT(a.counts.back().stencilPortals, 0);  // the window is in the pictures compared
}

TEST_F(FrameShortcutsGl, TheSampleWorldDrawsTheSameFramesOverItsDemo) {
    const std::string folder = std::string(SOURCE_DIR) + "/worlds/sample";
    for (const bool culling : {true, false}) {
        loadFolder(folder, "demo.dem");
        portalCulling = culling ? 1 : 0;
        const int frames = culling ? 150 : 60;
        const Played a = play(longWay, 4, frames);
        loadFolder(folder, "demo.dem");
        portalCulling = culling ? 1 : 0;
        const Played b = play(shortWay, 4, frames);
        expectSame(a, b, culling ? "sample" : "sample, no culling");
    }
}

TEST_F(FrameShortcutsGl, AGeneratedWorldOfManyCellsDrawsTheSameFramesEitherWay) {
    for (const auto openings : {scaleworld::manyOpenings, scaleworld::wideOpening}) {
        const std::string world = openings == scaleworld::manyOpenings ? "many openings" : "wide openings";
        loadScaleWorld(openings, 10000, 100);
        const Played a = play(longWay, 4, 25);
        loadScaleWorld(openings, 10000, 100);
        const Played b = play(shortWay, 4, 25);
        expectSame(a, b, world);
        EXPECT_GT(a.counts.front().cellsVisited, 3) << world;
    }
}

// Cell 0 (red, z 0..10) opens onto cell 1 (green, z 10..20), whose far wall stands at
// z 11.55. The eye at z 9.95 steps 0.1 forward into cell 1, 1.5 from that wall: the
// collision takes the step back into cell 0, so the render pass must walk from there.
TEST_F(FrameShortcutsGl, AStepTakenBackAcrossACellBoundaryIsWalkedAgainFromWhereTheEyeStands) {
    using namespace testworld;
    struct Frame {
        std::vector<uint8_t> picture;
        FrameCounts counts;
        int32_t cellOfTheEye = -1;
    };
    auto playStep = [&](const FrameShortcuts& shortcuts) {
        reset();
        testgl::startState();
        for (const uint8_t g : {uint8_t(0), uint8_t(255)}) {
            auto image = std::make_unique<ImageRecord>();
            image->width = image->height = 2;
            for (int i = 0; i < 4; ++i) image->pixels.insert(image->pixels.end(), {uint8_t(255 - g), g, 0});
            textures[textureCount++].image = std::move(image);
        }
        uploadTextures();
        const int near = addCell(-5, 0, 5, 10);
        addWall(0, 5, 0, 5, 10);
        addWall(0, -5, 10, -5, 0);
        addTriangle(0, {-5, 0, 0}, {5, 0, 0}, {5, 0, 10});
        addTriangle(0, {-5, 0, 0}, {5, 0, 10}, {-5, 0, 10});
        addPortal(near, 1, 5, 10, -5, 10);
        const int far = addCell(-5, 10, 5, 20);
        addWall(1, 5, 11.55f, -5, 11.55f);
        addWall(1, 5, 10, 5, 11.55f);
        addWall(1, -5, 11.55f, -5, 10);
        addPortal(far, near, -5, 10, 5, 10);
        placeEye(0, 9.95f);
        demo = testgl::playWalkingForward(1);
        frameShortcuts = shortcuts;
        testgl::drawFrames(1);
        frameLimit = 0;
        Frame frame{keptFrame.pixels, frameCounts, findCurrentCell(camera.posX, camera.posZ)};
        std::fclose(demo);
        demo = nullptr;
        playDemoStream(nullptr);
        glDeleteTextures(textureCount, textureNames);
        return frame;
    };
    const Frame a = playStep(longWay);
    const Frame b = playStep(shortWay);
    ASSERT_EQ(a.cellOfTheEye, 0);  // the step was taken back
    EXPECT_EQ(b.cellOfTheEye, 0);
    EXPECT_EQ(a.counts.currentCell, 0);
    EXPECT_EQ(b.counts.currentCell, 0);
    EXPECT_EQ(a.counts.wallsDrawn, b.counts.wallsDrawn);
    EXPECT_TRUE(a.picture == b.picture);
}

// --- The selection test against the GL's selection -------------------------------------

// One triangle alone in selection mode under the current matrices: its hit count.
int glHits(const float* v) {
    GLuint records[64];
    glSelectBuffer(64, records);
    glRenderMode(GL_SELECT);
    glInitNames();
    glPushName(7);
    glBegin(GL_TRIANGLES);
    for (int k = 0; k < 3; ++k) glVertex3f(v[k * 3], v[k * 3 + 1], v[k * 3 + 2]);
    glEnd();
    return glRenderMode(GL_RENDER);
}

TEST_F(FrameShortcutsGl, NoTriangleTheSelectionTestDropsIsOneTheGlWouldHaveHit) {
    // The selection pass's frustum, an eye somewhere off the origin looking askew.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glFrustum(-0.5, 0.5, -0.5, 0.5, nearPlane, 2.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(103.25, 3, -47.5, 103.25 + 0.6, 3.1, -47.5 + 0.8, 0, 1, 0);
    GLdouble model[16], projection[16];
    GLfloat modelF[16], projectionF[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, model);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetFloatv(GL_MODELVIEW_MATRIX, modelF);
    glGetFloatv(GL_PROJECTION_MATRIX, projectionF);
    const ClipPlanes planes = clipPlanes(modelF, projectionF);
    const GLint unit[4] = {0, 0, 1, 1};

    // A point given in the unit window (x, y across, z depth 0 near .. 1 far) in the world.
    auto world = [&](double wx, double wy, double wz, float* out) {
        double x, y, z;
        gluUnProject(wx, wy, wz, model, projection, unit, &x, &y, &z);
        out[0] = float(x), out[1] = float(y), out[2] = float(z);
    };
    std::mt19937 random(23);
    std::uniform_real_distribution<double> across(-0.5, 1.5), along(0, 1);
    int dropped = 0, droppedNearTheirPlane = 0, tested = 0;
    const double beyond[] = {0, 1e-7, 1e-6, 1e-5, 1e-4, 1e-3, 1e-2, 0.3};
    for (int round = 0; round < 400; ++round) {
        // Anywhere around the volume, most of them straddling it.
        float v[9];
        for (int k = 0; k < 3; ++k) world(across(random), across(random), across(random) * 0.9, v + k * 3);
        const bool drop = outsideOnePlane(planes, v);
        ++tested;
        dropped += drop;
        if (drop) {
            EXPECT_EQ(glHits(v), 0) << "round " << round;
        }
        // Just beyond one face (x, y or depth, either side), by each distance.
        for (const double d : beyond) {
            const int face = round % 6;
            float w[9];
            for (int k = 0; k < 3; ++k) {
                double p[3] = {along(random), along(random), along(random)};
                p[face / 2] = face % 2 == 0 ? 1 + d : -d;
                world(p[0], p[1], p[2], w + k * 3);
            }
            const bool dropNear = outsideOnePlane(planes, w);
            ++tested;
            droppedNearTheirPlane += dropNear;
            if (dropNear) {
                EXPECT_EQ(glHits(w), 0) << "face " << face << " beyond by " << d;
            }
            if (d == 0) {
                EXPECT_FALSE(dropNear) << "a triangle on face " << face << " was dropped";
            }
        }
    }
    // The test drops what is clearly outside: not a test that keeps everything.
    EXPECT_GT(dropped, 20);
    EXPECT_GT(droppedNearTheirPlane, 400);
    EXPECT_LT(dropped + droppedNearTheirPlane, tested);
}

}  // namespace
