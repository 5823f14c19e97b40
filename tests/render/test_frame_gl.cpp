// The frame loop's own rules on a headless GL context: Escape, the frame rate and the
// status lines, portal culling switched off, the reach of the selection frustum, and the
// transform calls of a placed object.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "input/input.h"
#include "platform/devices.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "render/gl_calls.h"
#include "render/frames.h"
#include "render/gl_fixture.h"
#include "render/local.h"
#include "render/world_fixture.h"
#include "world/init.h"
#include "world/settings.h"

using namespace testworld;
using testgl::Rgb;

namespace {

const Rgb red{255, 0, 0}, green{0, 255, 0}, black{0, 0, 0};
enum Texture { texRed, texGreen };

struct StatusLine {
    int x = 0, y = 0;
    std::string text;
};

class FrameGl : public ::testing::Test {
protected:
    void SetUp() override {
        START_GL_TEST();
        reset();
        resetSettings();
        platform::resetMessages();
        for (const Rgb& c : {red, green}) {
            auto image = std::make_unique<ImageRecord>();
            image->width = image->height = 2;
            for (int i = 0; i < 4; ++i)
                image->pixels.insert(image->pixels.end(), {uint8_t(c.r), uint8_t(c.g), uint8_t(c.b)});
            textures[textureCount++].image = std::move(image);
        }
        uploadTextures();
        placeEye(0, 0);
        platform::setStatusTextObserver([this](int x, int y, const std::string& text) {
            lines.push_back({x, y, text});
        });
    }
    void TearDown() override {
        platform::setStatusTextObserver(nullptr);
        platform::setClockSource(nullptr);
        releaseInput();
        platform::useFakeInputSource(false);
        if (textureCount > 0) glDeleteTextures(textureCount, textureNames);
        glDeleteLists(worldList, 1);
        closeDemo();
        resetSettings();
        platform::resetMessages();
    }

    // Live play on the fake devices, the window in the foreground.
    void startLive() {
        static char standIn;
        platform::useFakeInputSource(true);
        platform::setFakeFocus(true);
        ASSERT_EQ(initInput(reinterpret_cast<platform::Window*>(&standIn)), 0);
    }

    // A played demo of `frames` records walking one step forward each.
    void playWalk(int frames) {
        std::FILE* demo = std::tmpfile();
        ASSERT_NE(demo, nullptr);
        for (int i = 0; i < frames; ++i) std::fwrite("\0\0\1\0\0", 1, 5, demo);
        std::rewind(demo);
        playDemoStream(demo);
        PLAYDEMO = 1;
    }

    // Frames drawn through the real frame step.
    static void drawFrames(int count) {
        testgl::drawFrames(count);
        frameLimit = 0;
        quitMessages();  // the limit's own
    }

    static int quitMessages() {
        int quits = 0;
        platform::Message message;
        while (platform::peekMessage(message)) {
            platform::getMessage(message);
            quits += message.type == platform::MessageType::quit && message.wParam == 0;
        }
        return quits;
    }

    // The wall polygons named by the hit records of the last selection pass.
    static std::vector<uint32_t> selectedNames() {
        std::vector<uint32_t> names;
        const uint32_t* record = activeSelectBuffer();
        const uint32_t* end = record + activeSelectCapacity();
        while (record + 4 <= end && record[0] == 1) {
            names.push_back(record[3]);
            record += 4;
        }
        return names;
    }

    static void clearSelectBuffer() {
        uint32_t* buffer = activeSelectBuffer();
        for (int64_t i = 0; i < activeSelectCapacity(); ++i) buffer[i] = 0xFFFFFFFFu;
    }

    std::vector<StatusLine> lines;
};

// An upright quad across the view at distance z, from x1 (left) to x2, heights y0..y1.
void quadAcross(int texture, float x1, float x2, float z, float y0 = 0, float y1 = 6) {
    addTriangle(texture, {x1, y0, z}, {x2, y0, z}, {x2, y1, z});
    addTriangle(texture, {x1, y0, z}, {x2, y1, z}, {x1, y1, z});
}

TEST_F(FrameGl, EscapeInLivePlayFinishesTheFrameAsFrame30AndQuitsOnce) {
    addCell(-20, -20, 20, 20);
    quadAcross(texGreen, 3, -3, 10);
    startLive();
    platform::setFakeKey(keyEscape, true);
    camera.showFrameRate = 1;
    platform::setClockSource([] { return 5000u; });
    frameStep();
    EXPECT_EQ(framesDrawn, 1) << "no further frame of the batch";
    EXPECT_TRUE(testgl::near(testgl::pixel(80, 60), green)) << "the frame in progress is drawn in full";
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, "Frame 30  (0.0 fps)");
    EXPECT_EQ(quitMessages(), 1);
}

TEST_F(FrameGl, EscapeDuringPlaybackDoesNothing) {
    addCell(-20, -20, 20, 20);
    playWalk(40);
    keyState[keyEscape] = 0x80;
    frameStep();
    EXPECT_EQ(framesDrawn, framesPerBatch);
    EXPECT_EQ(quitMessages(), 0);
    EXPECT_NEAR(camera.posZ, framesPerBatch * 0.1, 1e-4);
}

// The clock stands still within a frame and moves on as frames finish: frame i starts at
// 1000 + elapsed[i] milliseconds, the batch at 1000.
TEST_F(FrameGl, TheFrameRateIsTheRunningAverageSinceTheBatchBegan) {
    addCell(-20, -20, 20, 20);
    camera.showFrameRate = 1;
    static const uint32_t elapsed[framesPerBatch + 1] = {0,   0,   40,  60,  80,  100, 120, 140,
                                                          160, 180, 200, 210, 220, 230, 240, 250,
                                                          260, 270, 280, 290, 300, 310, 320, 330,
                                                          340, 350, 360, 370, 380, 390, 400};
    platform::setClockSource([] { return 1000u + elapsed[framesDrawn % (framesPerBatch + 1)]; });
    frameStep();
    ASSERT_EQ(lines.size(), size_t(framesPerBatch));
    EXPECT_EQ(lines[0].text, "Frame  0  (0.0 fps)");
    EXPECT_EQ(lines[1].text, "Frame  1  (0.0 fps)");  // no millisecond has passed yet
    EXPECT_EQ(lines[2].text, "Frame  2  (50.0 fps)");
    EXPECT_EQ(lines[15].text, "Frame 15  (60.0 fps)");
    EXPECT_EQ(lines[29].text, "Frame 29  (74.4 fps)");
    for (const StatusLine& line : lines) EXPECT_EQ(std::to_string(line.x) + "," + std::to_string(line.y), "0,0");

    // A new batch measures afresh (a 32-bit clock that wrapped in between included).
    lines.clear();
    platform::setClockSource([] { return framesDrawn == framesPerBatch ? 0xFFFFFFF0u : 0x0Eu; });
    frameStep();
    ASSERT_EQ(lines.size(), size_t(framesPerBatch));
    EXPECT_EQ(lines[0].text, "Frame  0  (0.0 fps)");
    EXPECT_EQ(lines[1].text, "Frame  1  (33.3 fps)");  // 30 ms across the wrap
}

TEST_F(FrameGl, StatusLinesAreWrittenOnlyWhenTheirSwitchesAreOn) {
    const int a = addCell(-20, -20, 20, 20);
    const int b = addCell(-20, 20, 20, 40);
    addPortal(a, b, 5, 20, -5, 20);
    platform::setClockSource([] { return 0u; });
    struct Case {
        int frameRate, cellInfo;
        std::vector<std::string> expected;  // "y text" for the batch's last frame
    } cases[] = {
        {0, 0, {}},
        {1, 0, {"0 Frame 29  (0.0 fps)"}},
        {0, 1, {"17 Current portal 0", "33 Kol view portal 2"}},
        {1, 1, {"0 Frame 29  (0.0 fps)", "17 Current portal 0", "33 Kol view portal 2"}},
    };
    for (const Case& c : cases) {
        camera.showFrameRate = c.frameRate;
        camera.showCellInfo = c.cellInfo;
        lines.clear();
        frameStep();
        const size_t perFrame = c.expected.size();
        ASSERT_EQ(lines.size(), perFrame * framesPerBatch) << c.frameRate << c.cellInfo;
        for (size_t i = 0; i < perFrame; ++i) {
            const StatusLine& line = lines[lines.size() - perFrame + i];
            EXPECT_EQ(std::to_string(line.y) + " " + line.text, c.expected[i]);
            EXPECT_EQ(line.x, 0);
        }
    }
}

// Polygon 0 belongs to the eye's cell; polygon 1 to a cell the walk never enters, which
// an earlier walk left placed 50 units away. Both stand 1.5 ahead, inside the selection
// frustum.
TEST_F(FrameGl, PortalCullingOffSendsEveryPolygonByIndexAtItsStoredPlace) {
    const int a = addCell(-20, -20, 20, 20);
    quadAcross(texRed, 0.6f, 0.1f, 1.5f, 2.5f, 3.5f);
    const int b = addCell(100, -20, 140, 20);
    quadAcross(texGreen, -0.1f, -0.6f, 1.5f, 2.5f, 3.5f);
    addPortal(b, a, 100, 0, 100, 5);  // one way only: a's walk never reaches b
    cells[b].placement.offsetX = 50;

    clearSelectBuffer();
    drawFrames(1);
    EXPECT_EQ(selectedNames(), (std::vector<uint32_t>{0, 1}));  // the eye's cell's two triangles
    EXPECT_TRUE(testgl::near(testgl::pixel(testgl::width / 2 - 20, 60), red));
    EXPECT_TRUE(testgl::near(testgl::pixel(testgl::width / 2 + 20, 60), black));

    portalCulling = 0;
    clearSelectBuffer();
    drawFrames(1);
    EXPECT_EQ(selectedNames(), (std::vector<uint32_t>{0, 1, 2, 3}));
    EXPECT_TRUE(testgl::near(testgl::pixel(testgl::width / 2 - 20, 60), red));
    EXPECT_TRUE(testgl::near(testgl::pixel(testgl::width / 2 + 20, 60), green));
    EXPECT_FLOAT_EQ(camera.posZ, 0);
}

// One step forward (0.1) from (0, 3, 0) with portal culling off, so that every wall is
// sent and only the selection frustum (1 to 2 ahead, 0.5 to 1 either side) decides. Each
// wall's plane passes close enough to the eye to push it back if the wall is hit.
TEST_F(FrameGl, OnlyWallsInsideTheSelectionFrustumStopTheEye) {
    struct Case {
        const char* name;
        Vec3 a, b, c;  // one upright triangle
        bool stops;
    } cases[] = {
        {"across the way 1.5 ahead", {-5, 0, 1.5f}, {5, 0, 1.5f}, {0, 6, 1.5f}, true},
        {"along the way 0.5 aside, from 1.2 ahead", {0.5f, 0, 1.2f}, {0.5f, 0, 6}, {0.5f, 6, 3}, true},
        {"along the way 0.5 aside, from 2.3 ahead", {0.5f, 0, 2.3f}, {0.5f, 0, 6}, {0.5f, 6, 4}, false},
        {"beside the eye, 0.8 to the side", {0.8f, 0, -5}, {0.8f, 0, 5}, {0.8f, 6, 0}, true},
        {"beside the eye, 1.2 to the side", {1.2f, 0, -5}, {1.2f, 0, 5}, {1.2f, 6, 0}, false},
        {"across the way 1.0 behind", {5, 0, -1}, {-5, 0, -1}, {0, 6, -1}, false},
    };
    for (const Case& c : cases) {
        reset();
        addCell(-20, -20, 20, 20);
        addTriangle(texRed, c.a, c.b, c.c);
        placeEye(0, 0);
        portalCulling = 0;
        closeDemo();
        playWalk(1);
        drawFrames(1);
        EXPECT_NEAR(camera.posZ, c.stops ? 0.0f : 0.1f, 1e-6) << c.name;
        EXPECT_FLOAT_EQ(camera.posX, 0) << c.name;
    }
}

// drawPlacedObject's transform calls: the translation, one rotation per axis whose
// object-plus-cell angle is not 0, the spin, one scale per axis whose cell scale is not 1.
TEST_F(FrameGl, APlacedObjectTurnsAndScalesOnlyWhereItMust) {
    struct Case {
        const char* name;
        int rotate[3];
        float cellRotate[3], cellScale[3];
        int spinning;
        glcalls::Log expected;
    } cases[] = {
        {"nothing to turn or scale", {0, 0, 0}, {0, 0, 0}, {1, 1, 1}, 0, {"translate 3 1 12"}},
        {"angles cancelling out", {30, -45, 0}, {-30, 45, 0}, {1, 1, 1}, 0, {"translate 3 1 12"}},
        {"the cell's turn added",
         {30, 30, 0},
         {0, 60, 45},
         {1, 1, 1},
         0,
         {"translate 3 1 12", "rotate 30 1 0 0", "rotate 90 0 1 0", "rotate 45 0 0 1"}},
        {"spinning", {0, 0, 0}, {0, 0, 0}, {1, 1, 1}, 1, {"translate 3 1 12", "rotate 10.25 0 0 1"}},
        // The position is scaled with its cell: (1, 0, 10) x scale + (2, 1, 2).
        {"scaled along X", {0, 0, 0}, {0, 0, 0}, {2, 1, 1}, 0, {"translate 4 1 12", "scale 2 1 1"}},
        {"scaled along Y and Z",
         {0, 0, 0},
         {0, 0, 0},
         {1, 0.5f, 3},
         0,
         {"translate 3 1 32", "scale 1 0.5 1", "scale 1 1 3"}},
    };
    const int cell = addCell(-20, -20, 20, 20);
    const GLuint model = glGenLists(1);  // an empty model: the calls around it are the subject
    glNewList(model, GL_COMPILE);
    glEndList();
    for (const Case& c : cases) {
        CellPlacement& placement = cells[cell].placement;
        identity(placement);
        placement.offsetX = 2, placement.offsetY = 1, placement.offsetZ = 2;
        placement.rotateX = c.cellRotate[0], placement.rotateY = c.cellRotate[1];
        placement.rotateZ = c.cellRotate[2];
        placement.scaleX = c.cellScale[0], placement.scaleY = c.cellScale[1], placement.scaleZ = c.cellScale[2];
        PlacedObject object;
        object.cell = cell;
        object.x = 1, object.y = 0, object.z = 10;
        object.rotateX = c.rotate[0], object.rotateY = c.rotate[1], object.rotateZ = c.rotate[2];
        object.spinning = c.spinning;
        object.spinAngle = 10;
        object.displayList = int32_t(model);
        glcalls::start();
        drawPlacedObject(object);
        EXPECT_EQ(glcalls::stop(), c.expected) << c.name;
    }
    glDeleteLists(model, 1);
}

}  // namespace
