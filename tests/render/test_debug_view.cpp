// The portal map over the picture, read back from a headless context; and the tests'
// own worlds through the world checker.
#include <gtest/gtest.h>

#include <vector>

#include "render/gl_fixture.h"
#include "render/local.h"
#include "render/world_fixture.h"
#include "world/check.h"
#include "world/settings.h"

using namespace testworld;
using testgl::Rgb;

namespace {

const Rgb background{16, 16, 24}, entered{40, 90, 160}, current{255, 220, 0}, plainPortal{0, 220, 0},
    stencilPortal{255, 0, 255}, eye{255, 255, 255};

ImageRecord grey() {
    ImageRecord image;
    image.width = image.height = 2;
    image.pixels.assign(12, 128);
    return image;
}

class DebugView : public ::testing::Test {
protected:
    // Three rooms in a row along Z; the eye in the middle one looks on through a doorway
    // into the far room, with a stencil window behind it onto the near room.
    void SetUp() override {
        START_GL_TEST();
        reset();
        resetSettings();
        textures[textureCount++].image = std::make_unique<ImageRecord>(grey());
        uploadTextures();
        const int middle = addCell(-10, 0, 10, 20);
        addWall(0, 10, 0, 10, 20);
        const int far = addCell(-10, 20, 10, 40);
        addWall(0, -10, 40, 10, 40);
        const int behind = addCell(-10, -20, 10, 0);
        addPortal(middle, far, 4, 20, -4, 20);
        addPortal(middle, behind, -1, 0, 1, 0, 1);  // narrow enough to drop out of view
        addPortal(far, middle, -4, 20, 4, 20);
        addPortal(behind, middle, 1, 0, -1, 0);
        placeEye(0, 5);
    }
    void TearDown() override {
        if (textureCount > 0) glDeleteTextures(textureCount, textureNames);
        glDeleteLists(worldList, 1);
        resetSettings();
    }

    static Rgb at(double x, double z) {
        const DebugMapFrame frame = debugMapFrame(testgl::width, testgl::height);
        double px = 0, py = 0;
        debugMapPixel(frame, x, z, px, py);
        return testgl::pixel(int(px), testgl::height - 1 - int(py));
    }
    // Whether `colour` is found within two pixels of the map point (x, z).
    static bool near(double x, double z, const Rgb& colour) {
        const DebugMapFrame frame = debugMapFrame(testgl::width, testgl::height);
        double px = 0, py = 0;
        debugMapPixel(frame, x, z, px, py);
        for (int dy = -2; dy <= 2; ++dy)
            for (int dx = -2; dx <= 2; ++dx)
                if (testgl::near(testgl::pixel(int(px) + dx, testgl::height - 1 - int(py) - dy), colour, 4))
                    return true;
        return false;
    }

    std::vector<uint8_t> frameWith(int32_t mapSwitch) {
        debugView = mapSwitch;
        frameLimit = framesDrawn + 1;
        frameStep();
        return keptFrame.pixels;
    }
};

TEST_F(DebugView, TheCornerMapShowsWhatTheWalkEntered) {
    computeVisibleSet();
    ASSERT_EQ(currentCell, 0);
    ASSERT_EQ(visitedCount, 2) << "the far room is entered, the one behind is not";
    drawDebugView();

    EXPECT_TRUE(testgl::near(at(5, 33), entered)) << "far room, entered";
    EXPECT_TRUE(testgl::near(at(5, 2.5), entered)) << "the eye's room, entered";
    EXPECT_TRUE(testgl::near(at(5, -13), background)) << "the room behind, not entered";
    EXPECT_TRUE(near(0, 5, eye));
    EXPECT_TRUE(near(-10, 10, current)) << "the eye's room outlined";
    EXPECT_TRUE(near(-2, 20, plainPortal));
    EXPECT_TRUE(near(0.5, 0, stencilPortal));

    // Seen from above the way the eye sees at yaw 0: ahead (+Z) is up, +X is on the left.
    const DebugMapFrame frame = debugMapFrame(testgl::width, testgl::height);
    double x1, y1, x2, y2;
    debugMapPixel(frame, 10, 0, x1, y1);
    debugMapPixel(frame, -10, 20, x2, y2);
    EXPECT_LT(x1, x2);
    EXPECT_LT(y1, y2);
    // In the top-right corner, the rest of the picture untouched.
    EXPECT_GT(frame.left, testgl::width / 2);
    EXPECT_GT(frame.bottom, testgl::height / 2);
    EXPECT_TRUE(testgl::near(testgl::pixel(frame.left - 2, testgl::height / 2), Rgb{0, 0, 0}, 0));
}

TEST_F(DebugView, OnlyItsCornerChangesAndOffLeavesThePictureAsItWas) {
    std::FILE* still = std::tmpfile();
    for (int i = 0; i < 3; ++i) std::fwrite("\0\0\0\0\0", 1, 5, still);
    std::rewind(still);
    playDemoStream(still);
    PLAYDEMO = 1;
    keepLastFrame = true;

    const std::vector<uint8_t> before = frameWith(0);
    const std::vector<uint8_t> with = frameWith(1);
    const std::vector<uint8_t> after = frameWith(0);
    playDemoStream(nullptr);
    std::fclose(still);

    ASSERT_EQ(before.size(), size_t(testgl::width * testgl::height * 3));
    EXPECT_TRUE(before == after) << "the map leaves nothing behind once off";
    const DebugMapFrame frame = debugMapFrame(testgl::width, testgl::height);
    int changedInside = 0, changedOutside = 0;
    for (int y = 0; y < testgl::height; ++y) {
        for (int x = 0; x < testgl::width; ++x) {
            const size_t i = (size_t(y) * testgl::width + x) * 3;
            const bool differs = before[i] != with[i] || before[i + 1] != with[i + 1] || before[i + 2] != with[i + 2];
            const bool inside = x >= frame.left && x < frame.left + frame.size && y >= frame.bottom &&
                                y < frame.bottom + frame.size;
            (inside ? changedInside : changedOutside) += differs ? 1 : 0;
        }
    }
    EXPECT_GT(changedInside, frame.size * frame.size / 2);
    EXPECT_EQ(changedOutside, 0);
}

// The corridor the renderer's tests and benchmark walk passes the checker from its
// first room.
TEST(TestWorlds, TheCorridorHasNoErrors) {
    reset();
    buildCorridor(8);
    CheckSettings settings;
    settings.startX = 0;
    settings.startZ = 5;
    for (const WorldProblem& problem : checkWorld(MapLines{}, settings))
        EXPECT_NE(problem.severity, Severity::error) << problem.message;
    reset();
}

}  // namespace
