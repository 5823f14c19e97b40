// Drawing and the frame loop on a headless GL context: pixels read back, stencil
// confinement, selection hits, status lines, screenshots.
#include <gtest/gtest.h>
#include <png.h>
#include <GL/glu.h>

#include <cstdio>
#include <string>

#include "platform/platform.h"
#include "render/frames.h"
#include "render/gl_fixture.h"
#include "render/local.h"
#include "render/world_fixture.h"
#include "world/init.h"
#include "world/settings.h"

using namespace testworld;
using testgl::drawFrames;
using testgl::Rgb;

namespace {

const Rgb red{255, 0, 0}, green{0, 255, 0}, blue{0, 0, 255}, yellow{255, 255, 0}, black{0, 0, 0};
enum Texture { texRed, texGreen, texBlue, texYellow, texQuarters };

ImageRecord solid(const Rgb& colour) {
    ImageRecord image;
    image.width = image.height = 4;
    for (int i = 0; i < 16; ++i)
        image.pixels.insert(image.pixels.end(), {uint8_t(colour.r), uint8_t(colour.g), uint8_t(colour.b)});
    return image;
}

// 8 x 8 texels, red at s < 0.5 and t < 0.5, green at s >= 0.5 (t < 0.5), blue at t >= 0.5
// (s < 0.5), yellow at both >= 0.5: a turned or mirrored wall texture shows.
ImageRecord quarters() {
    ImageRecord image;
    image.width = image.height = 8;
    for (int t = 0; t < 8; ++t)
        for (int s = 0; s < 8; ++s) {
            const Rgb& c = t < 4 ? (s < 4 ? red : green) : (s < 4 ? blue : yellow);
            image.pixels.insert(image.pixels.end(), {uint8_t(c.r), uint8_t(c.g), uint8_t(c.b)});
        }
    return image;
}

class DrawGl : public ::testing::Test {
protected:
    void SetUp() override {
        START_GL_TEST();
        reset();
        resetSettings();
        platform::resetMessages();
        const Rgb colours[] = {red, green, blue, yellow};
        for (const Rgb& c : colours) textures[textureCount++].image = std::make_unique<ImageRecord>(solid(c));
        textures[textureCount++].image = std::make_unique<ImageRecord>(quarters());
        uploadTextures();
        placeEye(0, 0);
    }
    void TearDown() override {
        if (textureCount > 0) glDeleteTextures(textureCount, textureNames);
        glDeleteLists(worldList, 1);
        if (demo) std::fclose(demo);
        playDemoStream(nullptr);
        resetSettings();
        platform::resetMessages();
    }

    void walkForward(int frames) { demo = testgl::playWalkingForward(frames); }

    // Screen x of a point `lateral` to the left of the view's centre at distance `depth`.
    static int screenX(float lateral, float depth) {
        return int(testgl::width / 2 - lateral / depth * testgl::width);
    }

    std::FILE* demo = nullptr;
};

// An upright wall across the view at distance z, from x1 to x2 (x1 on the left), y0..y1.
void wallAcross(int texture, float x1, float x2, float z, float y0 = 0, float y1 = 6) {
    addTriangle(texture, {x1, y0, z}, {x2, y0, z}, {x2, y1, z});
    addTriangle(texture, {x1, y0, z}, {x2, y1, z}, {x1, y1, z});
}

// The wall in the quarters texture: s runs 0..1 from its left end to its right, t from
// its foot to its top.
void quartersWallAcross(float x1, float x2, float z) {
    const int first = polygonCount;
    wallAcross(texQuarters, x1, x2, z);
    const float s[2][3] = {{0, 1, 1}, {0, 1, 0}}, t[2][3] = {{0, 0, 1}, {0, 1, 1}};
    for (int p = 0; p < 2; ++p)
        for (int k = 0; k < 3; ++k) {
            wallPolygons[size_t(first + p)].s[k] = s[p][k];
            wallPolygons[size_t(first + p)].t[k] = t[p][k];
        }
}

// Tall enough to fill every row of the view behind everything else.
void backdrop(int texture, float z) { wallAcross(texture, 60, -60, z, -60, 60); }

TEST_F(DrawGl, TheWallAheadShowsItsTextureTheWayItsCoordinatesLayIt) {
    addCell(-20, -20, 20, 20);
    quartersWallAcross(3, -3, 10);
    drawFrames(1);
    // The eye is at height 3, the wall 0..6 high 10 ahead: 16 pixels a unit.
    const int left = screenX(1.5f, 10), right = screenX(-1.5f, 10), top = 60 - 24, foot = 60 + 24;
    EXPECT_TRUE(testgl::near(testgl::pixel(left, foot), red));
    EXPECT_TRUE(testgl::near(testgl::pixel(right, foot), green));
    EXPECT_TRUE(testgl::near(testgl::pixel(left, top), blue));
    EXPECT_TRUE(testgl::near(testgl::pixel(right, top), yellow));
    EXPECT_TRUE(testgl::near(testgl::pixel(2, 60), black));  // 5 units left at that depth
    EXPECT_EQ(framesDrawn, 1);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(DrawGl, TextureRunsAABAGiveThreeBatchesWithTheirOwnTextures) {
    addCell(-20, -20, 20, 20);
    wallAcross(texRed, 4, 2, 10);
    wallAcross(texRed, 2, 0, 10);
    wallAcross(texBlue, 0, -2, 10);
    wallAcross(texRed, -2, -4, 10);
    // Two triangles per wall: runs of polygons 0..3 (red), 4..5 (blue), 6..7 (red).
    TriangleBatch batch;
    appendAllPolygons(batch);
    ASSERT_EQ(batch.runs.size(), 3u);
    EXPECT_EQ(batch.runs[0].count, 4);
    EXPECT_EQ(batch.runs[1].textureIndex, texBlue);
    EXPECT_EQ(batch.runs[2].first, 6);

    compileWorldList();  // as start-up leaves it: every polygon, unplaced
    glLoadIdentity();
    glEnable(GL_TEXTURE_2D);
    gluLookAt(0, 3, 0, 0, 3, 1, 0, 1, 0);
    glCallList(worldList);
    EXPECT_TRUE(testgl::near(testgl::pixel(screenX(3, 10), 60), red));
    EXPECT_TRUE(testgl::near(testgl::pixel(screenX(1, 10), 60), red));
    EXPECT_TRUE(testgl::near(testgl::pixel(screenX(-1, 10), 60), blue));
    EXPECT_TRUE(testgl::near(testgl::pixel(screenX(-3, 10), 60), red));
}

TEST_F(DrawGl, ABitmapThatFailedToLoadGetsTheCheckerInstead) {
    textures[texGreen].image.reset();
    uploadTextures();
    glBindTexture(GL_TEXTURE_2D, textureNames[texGreen]);
    GLint width = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    EXPECT_EQ(width, placeholderImage().width);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(DrawGl, OutsideEveryCellOnlyCellsWithoutPortalsAreDrawn) {
    const int a = addCell(-20, 5, 20, 20);
    wallAcross(texRed, 3, 1, 10);
    const int b = addCell(-20, 30, 20, 40);
    addPortal(a, b, 1, 20, -1, 20);
    const int c = addCell(100, 100, 120, 120);  // no portals: always drawn, as stored
    wallAcross(texBlue, -1, -3, 10);
    (void)c;
    drawFrames(1);
    EXPECT_EQ(currentCell, -1);
    EXPECT_TRUE(testgl::near(testgl::pixel(screenX(2, 10), 60), black));
    EXPECT_TRUE(testgl::near(testgl::pixel(screenX(-2, 10), 60), blue));
}

// The eye's cell has a blue backdrop far behind a small stencil opening. The cell behind
// the opening is stored far away at half width; the portal shows it doubled and moved in
// front of the backdrop, where unconfined it would cover the whole view.
TEST_F(DrawGl, AStencilPortalShowsItsNeighbourInsideTheOpeningOnly) {
    const int a = addCell(-20, -5, 20, 60);
    backdrop(texBlue, 50);
    const int b = addCell(490, 20, 510, 40);
    wallAcross(texGreen, 510, 490, 30, -50, 50);  // shown at x 20 .. -20
    const int k = addPortal(a, b, 1, 10, -1, 10, 1);
    for (int v = 0; v < 4; ++v) cells[a].portalCornerY[v][k] = (v == 1 || v == 2) ? 4.0f : 2.0f;
    setPortalShift(a, k, {-1000, 0, 0}, {2, 1, 1});
    drawFrames(1);
    ASSERT_EQ(stencilPortalCount, 1);
    EXPECT_TRUE(testgl::near(testgl::pixel(80, 60), green));
    EXPECT_TRUE(testgl::near(testgl::pixel(80 - 30, 60), blue));
    EXPECT_TRUE(testgl::near(testgl::pixel(80 + 30, 60), blue));
    EXPECT_TRUE(testgl::near(testgl::pixel(80, 60 - 30), blue));
    EXPECT_EQ(glIsEnabled(GL_STENCIL_TEST), GLboolean(GL_FALSE));
}

TEST_F(DrawGl, TwoStencilPortalsEachShowTheirOwnNeighbour) {
    const int a = addCell(-20, -5, 20, 60);
    backdrop(texBlue, 50);
    const int b = addCell(490, 20, 510, 40);
    wallAcross(texGreen, 520, 480, 30, -50, 50);
    const int c = addCell(-510, 20, -490, 40);
    wallAcross(texYellow, -480, -520, 30, -50, 50);
    const int left = addPortal(a, b, 4, 10, 2, 10, 1);
    const int right = addPortal(a, c, -2, 10, -4, 10, 1);
    setPortalShift(a, left, {-500, 0, 0});
    setPortalShift(a, right, {500, 0, 0});
    drawFrames(1);
    ASSERT_EQ(stencilPortalCount, 2);
    EXPECT_TRUE(testgl::near(testgl::pixel(screenX(3, 10), 60), green));
    EXPECT_TRUE(testgl::near(testgl::pixel(screenX(-3, 10), 60), yellow));
    EXPECT_TRUE(testgl::near(testgl::pixel(80, 60), blue));
    EXPECT_TRUE(testgl::near(testgl::pixel(80, 10), blue));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

// The rectangle a stencil entry clears: a square frustum 1 to 100 (as glFrustum(-0.5,
// 0.5, -0.5, 0.5, 1, 100) makes it), the eye at the origin looking down -Z, a 100 x 100
// viewport from (0, 0).
TEST(StencilOpening, TheClearedRectangleHoldsWhatOfTheQuadLiesInFront) {
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    const float n = 1, f = 100;
    const float frustum[16] = {2, 0, 0, 0, 0, 2, 0, 0, 0, 0, -(f + n) / (f - n), -1, 0, 0, -2 * f * n / (f - n), 0};
    const int viewport[4] = {0, 0, 100, 100};
    struct Case {
        const char* name;
        float x[4], y[4], z[4];
        ScreenRect expected;
    };
    const Case cases[] = {
        // Corners at NDC +-0.5: pixels 25..75, one spare on each side.
        {"upright, in front", {-0.5f, -0.5f, 0.5f, 0.5f}, {-0.5f, 0.5f, 0.5f, -0.5f}, {-2, -2, -2, -2}, {24, 24, 52, 52}},
        // From 2 behind the eye to 3 in front, on the floor half a unit down: only the
        // part from the near plane (1 ahead: the whole width, the bottom edge) to 3 ahead
        // (NDC y -1/3) shows. Corners behind the eye would project upside down.
        {"a floor reaching behind the eye", {-0.5f, -0.5f, 0.5f, 0.5f}, {-0.5f, -0.5f, -0.5f, -0.5f}, {2, -3, -3, 2},
         {0, 0, 100, 35}},
        {"wholly behind the eye", {-1, -1, 1, 1}, {-1, 1, 1, -1}, {3, 3, 3, 3}, {0, 0, 0, 0}},
        {"partly right of the view", {0, 0, 5, 5}, {-0.5f, 0.5f, 0.5f, -0.5f}, {-2, -2, -2, -2}, {49, 24, 51, 52}},
        {"wholly left of the view", {-9, -9, -8, -8}, {-0.5f, 0.5f, 0.5f, -0.5f}, {-2, -2, -2, -2}, {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        const ScreenRect r = quadScreenRect(c.x, c.y, c.z, identity, frustum, viewport);
        EXPECT_EQ(r.x, c.expected.x) << c.name;
        EXPECT_EQ(r.y, c.expected.y) << c.name;
        EXPECT_EQ(r.width, c.expected.width) << c.name;
        EXPECT_EQ(r.height, c.expected.height) << c.name;
    }
}

TEST_F(DrawGl, StencilPortalsSwitchedOffLeaveTheOpeningAsTheCellDrewIt) {
    const int a = addCell(-20, -5, 20, 60);
    backdrop(texBlue, 50);
    const int b = addCell(490, 20, 510, 40);
    wallAcross(texGreen, 520, 480, 30, -50, 50);
    const int k = addPortal(a, b, 2, 10, -2, 10, 1);
    setPortalShift(a, k, {-500, 0, 0});
    stencilPortals = 0;
    drawFrames(1);
    EXPECT_TRUE(testgl::near(testgl::pixel(80, 60), blue));
}

TEST_F(DrawGl, PlacedObjectsDrawTheirListAtTheCellsOffsetAndSpin) {
    addCell(-20, -20, 20, 20);
    const GLuint list = glGenLists(1);
    glNewList(list, GL_COMPILE);
    glBegin(GL_TRIANGLES);  // a 2 x 2 square facing the eye, around the object's origin
    glTexCoord2f(0, 0), glVertex3f(1, -1, 0), glVertex3f(-1, -1, 0), glVertex3f(-1, 1, 0);
    glVertex3f(1, -1, 0), glVertex3f(-1, 1, 0), glVertex3f(1, 1, 0);
    glEnd();
    glEndList();
    const int object = addObject(0, 0, 10, 1, int(list), texYellow);
    placedObjects[object].y = 3;
    placedObjects[object].spinning = 1;
    placedObjects[object].spinAngle = 359.9f;
    // A model with nothing to draw (list 0) still turns each time it is drawn.
    const int empty = addObject(0, 3, 10, 1, 0, texRed);
    placedObjects[empty].spinning = 1;
    drawFrames(1);
    EXPECT_TRUE(testgl::near(testgl::pixel(80, 60), yellow));
    EXPECT_FLOAT_EQ(placedObjects[object].spinAngle, 0.1f);  // 360.15 is past a full turn
    drawFrames(1);
    EXPECT_FLOAT_EQ(placedObjects[object].spinAngle, 0.35f);
    EXPECT_FLOAT_EQ(placedObjects[empty].spinAngle, 0.5f);
    glDeleteLists(list, 1);
}

TEST_F(DrawGl, WalkingIntoAWallStopsShortOfIt) {
    addCell(-20, -20, 20, 20);
    wallAcross(texRed, 10, -10, 10);
    walkForward(150);
    drawFrames(150);
    EXPECT_EQ(framesDrawn, 150);
    EXPECT_LT(camera.posZ, 10.0f - 1.5f);
    EXPECT_GT(camera.posZ, 10.0f - 2.0f);
    EXPECT_FLOAT_EQ(camera.posX, 0);
}

TEST_F(DrawGl, ASelectionBufferThatOverflowsGrowsAndStillStopsTheEye) {
    addCell(-20, -20, 20, 20);
    // 2100 triangles in the same wall: more hit records than 8192 values hold.
    for (int i = 0; i < 1050; ++i) wallAcross(texRed, 10, -10, 10);
    placeEye(0, 7.5f);
    walkForward(20);
    drawFrames(20);
    EXPECT_GT(activeSelectCapacity(), selectBufferSize);
    EXPECT_LT(camera.posZ, 10.0f - 1.5f);
}

TEST_F(DrawGl, TheFrameLimitPostsTheQuitMessageOnceAndDrawsNoMore) {
    addCell(-20, -20, 20, 20);
    frameLimit = 40;
    frameStep();
    EXPECT_EQ(framesDrawn, 30);
    frameStep();
    EXPECT_EQ(framesDrawn, 40);
    frameStep();
    EXPECT_EQ(framesDrawn, 40);
    platform::Message message;
    ASSERT_TRUE(platform::peekMessage(message));
    platform::getMessage(message);
    EXPECT_EQ(message.type, platform::MessageType::quit);
    EXPECT_EQ(message.wParam, 0);
    EXPECT_FALSE(platform::peekMessage(message));
}

TEST_F(DrawGl, DirectXSetDrawsNothingAndLeavesTheCameraAlone) {
    addCell(-20, -20, 20, 20);
    wallAcross(texGreen, 3, -3, 10);
    DIRECTX = 1;
    walkForward(30);
    frameStep();
    EXPECT_EQ(framesDrawn, 0);
    EXPECT_FLOAT_EQ(camera.posZ, 0);
    EXPECT_TRUE(testgl::near(testgl::pixel(80, 60), black));
}

TEST_F(DrawGl, StatusLinesAreReadableOverTheTopLeftCorner) {
    addCell(-20, -20, 20, 20);
    backdrop(texRed, 10);
    camera.showFrameRate = 1;
    camera.showCellInfo = 1;
    drawFrames(1);
    int white = 0, dark = 0;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 100; ++x) {
            const Rgb p = testgl::pixel(x, y);
            white += p.r > 200 && p.g > 200 && p.b > 200;
            dark += p.r < 40 && p.g < 40 && p.b < 40;
        }
    EXPECT_GT(white, 50);
    EXPECT_GT(dark, 500);
    EXPECT_TRUE(testgl::near(testgl::pixel(150, 100), red));  // the rest of the picture
    EXPECT_EQ(glIsEnabled(GL_DEPTH_TEST), GLboolean(GL_TRUE));
}

TEST_F(DrawGl, TheScreenshotIsTheLastFrameAsAPng) {
    addCell(-20, -20, 20, 20);
    quartersWallAcross(3, -3, 10);
    drawFrames(1);
    const std::string path = ::testing::TempDir() + "render_shot.png";
    ASSERT_TRUE(writeScreenshot(path));
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, path.c_str()));
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr));
    ASSERT_EQ(int(image.width), testgl::width);
    ASSERT_EQ(int(image.height), testgl::height);
    // Rows top first: the wall's top left quarter (blue) above its foot's (red).
    const auto shot = [&](int x, int y) {
        const uint8_t* p = &pixels[(size_t(y) * testgl::width + x) * 3];
        return Rgb{p[0], p[1], p[2]};
    };
    EXPECT_TRUE(testgl::near(shot(screenX(1.5f, 10), 60 - 24), blue));
    EXPECT_TRUE(testgl::near(shot(screenX(1.5f, 10), 60 + 24), red));
    EXPECT_TRUE(testgl::near(shot(screenX(-1.5f, 10), 60 + 24), green));
    EXPECT_TRUE(testgl::near(shot(80, 2), black));  // above the wall
    std::remove(path.c_str());

    EXPECT_FALSE(writeScreenshot("/nonexistent-folder/shot.png"));
    resetRenderer();
    EXPECT_FALSE(writeScreenshot(path));
}

}  // namespace
