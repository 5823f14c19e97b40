// The frame's shortcuts (naming only triangles that can hit, scissored stencil entries,
// one walk when the eye stays, no model drawn out of view) against the frames drawn the long way: the same pictures
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

TEST(SelectionPlanes, ABallIsOutsideOnlyWhenItsNearestPointIsOutsideOnePlane) {
    const ClipPlanes cube = clipPlanes(identity, identity);
    // Under a perspective the side planes lean: their normals are not of unit length, so
    // a reach counted along the axis rather than the normal misplaces the ball's edge.
    const float perspectiveNear1[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -101.0f / 99, -1, 0, 0, -200.0f / 99, 0};
    const ClipPlanes view = clipPlanes(identity, perspectiveNear1);  // 90 degrees, looking down -z
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* what;
        const ClipPlanes& planes;
        double x, y, z, reach;
        bool outside;
    };
    const Case cases[] = {
        {"centre inside", cube, 0, 0, 0, 0.1, false},
        {"centre beyond +x, the ball reaching back in", cube, 1.5, 0, 0, 0.6, false},
        {"centre beyond +x, the ball clear of it", cube, 1.5, 0, 0, 0.4, true},
        {"touching -y", cube, 0, -1.5, 0, 0.5, false},
        {"beyond -z by a hair (within the margin)", cube, 0, 0, -1.50001, 0.5, false},
        {"a point beyond +z", cube, 0, 0, 1.2, 0, true},
        {"beyond two planes at once, but reaching the corner region", cube, 1.3, 1.3, 0, 0.5, false},
        {"a reach that is not a number", cube, 5, 0, 0, nan, false},
        {"a centre that is not a number", cube, nan, 0, 0, 0.1, false},
        {"a negative reach", cube, 5, 0, 0, -1, false},
        // The side plane x = -z: (4, 0, -2) lies 2 / sqrt(2) = 1.414 from it.
        {"beside the view, reaching in across the leaning plane", view, 4, 0, -2, 1.5, false},
        {"beside the view, clear of the leaning plane", view, 4, 0, -2, 1.3, true},
        {"behind the eye", view, 0, 0, 3, 1, true},
        {"behind the eye, reaching past the near plane", view, 0, 0, 3, 4.2, false},
    };
    for (const Case& c : cases) EXPECT_EQ(ballOutsideOnePlane(c.planes, c.x, c.y, c.z, c.reach), c.outside) << c.what;
}

// --- What the render pass can leave out (GL-free) -------------------------------------

// A perspective of 90 degrees, near 1 and far 100, seen through a 10 x 10 viewport: a
// vertex given by its window position (pixel centres at i + 0.5) and its distance.
const float perspective[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -101.0f / 99, -1, 0, 0, -200.0f / 99, 0};
const int tenByTen[4] = {0, 0, 10, 10};

struct WindowPoint {
    float x, y, distance;
};

void atWindow(const WindowPoint (&points)[3], float* v) {
    for (int k = 0; k < 3; ++k) {
        const float d = points[k].distance;
        v[k * 3] = (points[k].x / 5 - 1) * d;
        v[k * 3 + 1] = (points[k].y / 5 - 1) * d;
        v[k * 3 + 2] = -d;
    }
}

TEST(CoveredPixels, OnlyATriangleThatCanReachNoPixelCentreIsLeftOut) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const ScreenRect all{0, 0, 10, 10};
    const ScreenRect rightHalf{5, 0, 5, 10};
    struct Case {
        const char* what;
        WindowPoint points[3];
        ScreenRect region;
        bool leftOut;
    };
    const Case cases[] = {
        {"around a centre", {{2.2f, 2.2f, 10}, {2.8f, 2.2f, 10}, {2.5f, 2.8f, 10}}, all, false},
        {"between two columns of centres", {{2.6f, 1, 10}, {3.4f, 1, 10}, {3, 9, 10}}, all, true},
        {"between two rows of centres", {{1, 4.6f, 10}, {9, 4.6f, 10}, {5, 5.4f, 10}}, all, true},
        {"a hundredth of a pixel short of a centre (within the margin)",
         {{2.51f, 1, 10}, {3.4f, 1, 10}, {3, 9, 10}}, all, false},
        {"a tenth of a pixel short of a centre", {{2.6f, 1, 10}, {3.4f, 1, 10}, {3, 9, 10}}, all, true},
        {"a large triangle across the view", {{-20, -20, 10}, {40, -20, 10}, {5, 40, 10}}, all, false},
        {"left of the viewport", {{-3, 2, 10}, {-1, 2, 10}, {-2, 8, 10}}, all, true},
        {"beyond the far plane", {{2, 2, 150}, {8, 2, 150}, {5, 8, 150}}, all, true},
        {"a vertex nearer than the near plane", {{2.6f, 1, 10}, {3.4f, 1, 10}, {3, 9, 0.01f}}, all, true},
        {"a vertex in the eye's plane", {{2.6f, 1, 10}, {3.4f, 1, 10}, {3, 9, 0}}, all, false},
        {"a vertex behind the eye", {{2.6f, 1, 10}, {3.4f, 1, 10}, {3, 9, -5}}, all, false},
        {"around a centre left of the opening", {{2.2f, 2.2f, 10}, {2.8f, 2.2f, 10}, {2.5f, 2.8f, 10}}, rightHalf, true},
        {"around a centre inside the opening", {{7.2f, 2.2f, 10}, {7.8f, 2.2f, 10}, {7.5f, 2.8f, 10}}, rightHalf, false},
        {"an empty opening", {{2.2f, 2.2f, 10}, {2.8f, 2.2f, 10}, {2.5f, 2.8f, 10}}, ScreenRect{5, 0, 0, 10}, true},
    };
    for (const Case& c : cases) {
        float v[9];
        atWindow(c.points, v);
        EXPECT_EQ(coversNoPixel(viewVolume(identity, perspective, tenByTen, c.region), v), c.leftOut) << c.what;
    }
    float v[9];
    atWindow(cases[1].points, v);
    v[4] = nan;
    EXPECT_FALSE(coversNoPixel(viewVolume(identity, perspective, tenByTen, all), v)) << "a NaN vertex";
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

// Every shortcut off, each by name: the frame as it was drawn before any of them.
FrameShortcuts noShortcuts() {
    FrameShortcuts s;
    s.nameFromArray = s.nameOnlyHittable = s.scissorStencil = s.reuseWalk = s.drawOnlyCovering = false;
    s.drawOnlyVisibleObjects = s.depthOnlyFirstPass = false;
    return s;
}
const FrameShortcuts longWay = noShortcuts();
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

// --- The render pass's test against the GL's drawing -----------------------------------

TEST_F(FrameShortcutsGl, TheLookAtMatrixIsTheOneTheGlUtilityLibraryMakes) {
    struct Case {
        double eye[3], target[3];
    };
    const Case cases[] = {
        {{0, 0, 0}, {0, 0, 1}},
        {{103.25, 3, -47.5}, {103.85, 3.1, -46.7}},
        {{1.5, 1, 450}, {2.2, 0.8, 450.6}},
        {{-3, 40, -190}, {-3, 39.5, -189.1}},
        {{7, 2, 7}, {6, 2.3, 6.2}},
    };
    for (const Case& c : cases) {
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        gluLookAt(c.eye[0], c.eye[1], c.eye[2], c.target[0], c.target[1], c.target[2], 0, 1, 0);
        GLfloat gl[16], ours[16];
        glGetFloatv(GL_MODELVIEW_MATRIX, gl);
        ASSERT_TRUE(lookAtMatrix(c.eye[0], c.eye[1], c.eye[2], c.target[0], c.target[1], c.target[2], ours));
        for (int i = 0; i < 16; ++i)
            EXPECT_NEAR(ours[i], gl[i], 1e-5 * (1 + std::fabs(gl[i]))) << "entry " << i << " eye " << c.eye[0];
    }
    float m[16];
    EXPECT_FALSE(lookAtMatrix(1, 2, 3, 1, 5, 3, m)) << "straight up";
    EXPECT_FALSE(lookAtMatrix(1, 2, 3, 1, 2, 3, m)) << "no direction";
}

// Draws one white triangle alone on black, untextured and unlit; whether any pixel of
// the viewport came out other than black.
bool glDrawsAPixel(const float* v) {
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    glColor3f(1, 1, 1);
    glBegin(GL_TRIANGLES);
    for (int k = 0; k < 3; ++k) glVertex3f(v[k * 3], v[k * 3 + 1], v[k * 3 + 2]);
    glEnd();
    std::vector<uint8_t> pixels(size_t(viewport[2]) * size_t(viewport[3]) * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(viewport[0], viewport[1], viewport[2], viewport[3], GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    for (const uint8_t p : pixels)
        if (p != 0) return true;
    return false;
}

TEST_F(FrameShortcutsGl, NoTriangleTheRenderPassLeavesOutIsOneTheGlWouldHaveDrawn) {
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_STENCIL_TEST);
    glDisable(GL_CULL_FACE);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(60, double(testgl::width) / testgl::height, nearPlane, 500);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(103.25, 3, -47.5, 103.25 + 0.6, 3.1, -47.5 + 0.8, 0, 1, 0);
    GLdouble model[16], projection[16];
    GLfloat modelF[16], projectionF[16];
    GLint viewport[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, model);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetFloatv(GL_MODELVIEW_MATRIX, modelF);
    glGetFloatv(GL_PROJECTION_MATRIX, projectionF);
    glGetIntegerv(GL_VIEWPORT, viewport);
    const ScreenRect all{viewport[0], viewport[1], viewport[2], viewport[3]};
    const ViewVolume volume = viewVolume(modelF, projectionF, viewport, all);

    // A point given in window pixels and depth (0 near .. 1 far) in the world.
    auto world = [&](double wx, double wy, double wz, float* out) {
        double x, y, z;
        gluUnProject(wx, wy, wz, model, projection, viewport, &x, &y, &z);
        out[0] = float(x), out[1] = float(y), out[2] = float(z);
    };
    std::mt19937 random(29);
    std::uniform_int_distribution<int> column(-2, viewport[2] + 1), row(-2, viewport[3] + 1);
    std::uniform_real_distribution<double> offset(-1, 1), within(0, 1), depth(0.2, 0.999);
    int leftOut = 0, keptAndDrawn = 0;
    const int rounds = 900;
    for (int round = 0; round < rounds; ++round) {
        // Small triangles and slivers, lying or standing, anywhere within a pixel and
        // around the edges of the viewport.
        const double cx = column(random) + within(random), cy = row(random) + within(random), wz = depth(random);
        const double reach = round % 3 == 0 ? 0.6 : round % 3 == 1 ? 0.3 : 0.03;
        const bool lying = round % 2 == 0;
        float v[9];
        for (int k = 0; k < 3; ++k)
            world(cx + offset(random) * (lying ? 2 : reach), cy + offset(random) * (lying ? reach : 2), wz, v + k * 3);
        const bool out = coversNoPixel(volume, v);
        const bool gl = glDrawsAPixel(v);
        leftOut += out;
        keptAndDrawn += !out && gl;
        if (out) {
            EXPECT_FALSE(gl) << "round " << round << " about (" << cx << ", " << cy << ")";
        }
    }
    // Neither a test that keeps everything nor one that the GL never contradicts by drawing.
    EXPECT_GT(leftOut, rounds / 4);
    EXPECT_GT(keptAndDrawn, rounds / 10);
}

}  // namespace
