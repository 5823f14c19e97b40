// World start-up and release on a headless GL context, from a map and bitmaps written
// by the test. (Here rather than with the world's tests: start-up sets the camera, which
// the input module owns.)
#include <gtest/gtest.h>
#include <GL/glu.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <string>

#include "platform/platform.h"
#include "render/gl_fixture.h"
#include "render/map_writer.h"
#include "render/world_fixture.h"
#include "assets/model_writer.h"
#include "image/resample.h"
#include "world/init.h"

using namespace testworld;

namespace {

class InitWorld : public ::testing::Test {
protected:
    void SetUp() override {
        START_GL_TEST();
        reset();
        dir = ::testing::TempDir() + "init_world_" + std::to_string(getpid()) + "/";
        ASSERT_EQ(std::system(("mkdir -p " + dir).c_str()), 0);
        ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
        ASSERT_EQ(chdir(dir.c_str()), 0);
        platform::setErrorBoxSink([this](const std::string& text) { boxes.push_back(text); });
        bitmapErrorSink = [this](const std::string& text) { boxes.push_back(text); };
    }
    void TearDown() override {
        if (!previous[0]) return;
        releaseWorld();
        platform::setErrorBoxSink(nullptr);
        bitmapErrorSink = nullptr;
        if (chdir(previous) != 0) std::perror("chdir");
        std::system(("rm -rf " + dir).c_str());
    }

    // Two cells, the second behind a portal, walls in textures red.bmp, blue.bmp, red.bmp
    // and an object, a crate painted red.bmp (placed before the walls name it); written
    // out, then the tables emptied again.
    void writeWorld(bool withBlueBitmap = true) {
        ASSERT_TRUE(writeSolidBmp("red.bmp", 8, 8, 255, 0, 0));
        if (withBlueBitmap) {
            ASSERT_TRUE(writeSolidBmp("blue.bmp", 6, 5, 0, 0, 255));
        }
        std::snprintf(textures[0].fileName, nameFieldSize, "red.bmp");
        std::snprintf(textures[1].fileName, nameFieldSize, "blue.bmp");
        textureCount = 2;
        const int a = addCell(-20, 0, 20, 20);
        addWall(0, 3, 10, 1, 10);
        addWall(1, 1, 10, -1, 10);
        addWall(0, -1, 10, -3, 10);
        addObject(a, 5, 5, 1);
        const int b = addCell(-20, 20, 20, 40);
        addPortal(a, b, 5, 20, -5, 20);
        addWall(0, 3, 30, -3, 30);
        ASSERT_TRUE(writeMap("map.m", "crate.3ds"));
        ASSERT_TRUE(modelwriter::writeScene("crate.3ds", {{"paint", "red.bmp"}},
                                            {modelwriter::box("crate", "paint", 1, 1, 1)}));
        resetWorld();
    }

    std::string dir;
    char previous[PATH_MAX] = {};
    std::vector<std::string> boxes;
};

TEST_F(InitWorld, BuildsTablesTexturesAndTheWorldListAndLeavesTheCamera) {
    writeWorld();
    camera.posX = 7.0f;  // the application's to set: a reload keeps the eye where it is
    camera.pitch = 1700;
    ASSERT_EQ(initWorldFrom("map.m"), 0);
    EXPECT_TRUE(boxes.empty());

    EXPECT_EQ(sineTable[900], 1.0f);
    EXPECT_EQ(camera.posX, 7.0f);
    EXPECT_EQ(camera.pitch, 1700);
    EXPECT_EQ(cellCount, 2);
    EXPECT_EQ(polygonCount, 8);
    for (int32_t c = 0; c < cellCount; ++c) {  // every cell where the map puts it
        const CellPlacement& p = cells[c].placement;
        EXPECT_EQ(p.scaleX, 1.0f) << c;
        EXPECT_EQ(p.scaleY, 1.0f) << c;
        EXPECT_EQ(p.scaleZ, 1.0f) << c;
        EXPECT_EQ(p.offsetX, 0.0f) << c;
    }
    ASSERT_EQ(placedObjectCount, 1);
    ASSERT_EQ(modelCount, 1);
    EXPECT_NE(placedObjects[0].displayList, 0);
    EXPECT_EQ(placedObjects[0].displayList, models[0].displayList);
    EXPECT_TRUE(glIsList(GLuint(placedObjects[0].displayList)));
    EXPECT_EQ(placedObjects[0].textureIndex, 0);  // the model named red.bmp first; the walls share it

    ASSERT_EQ(textureCount, 2);
    for (int i = 0; i < textureCount; ++i) EXPECT_TRUE(glIsTexture(textureNames[i])) << i;
    EXPECT_TRUE(glIsList(worldList));

    // The world list draws every wall where the map put it, in its bitmap's colour.
    glLoadIdentity();
    glEnable(GL_TEXTURE_2D);
    gluLookAt(0, 3, 0, 0, 3, 1, 0, 1, 0);
    glCallList(worldList);
    glDisable(GL_TEXTURE_2D);
    EXPECT_TRUE(testgl::near(testgl::pixel(80 - 32, 60), {255, 0, 0}));
    const testgl::Rgb centre = testgl::pixel(80, 60);
    EXPECT_TRUE(testgl::near(centre, {0, 0, 255})) << centre.r << " " << centre.g << " " << centre.b;
    EXPECT_TRUE(testgl::near(testgl::pixel(80 + 32, 60), {255, 0, 0}));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(InitWorld, AMissingBitmapIsReportedAndDrawnAsAChecker) {
    writeWorld(false);
    ASSERT_EQ(initWorldFrom("map.m"), 0);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("blue.bmp"), std::string::npos) << boxes[0];
    EXPECT_EQ(textures[1].image, nullptr);
    glBindTexture(GL_TEXTURE_2D, textureNames[1]);
    GLint width = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    EXPECT_EQ(width, 8);
    // Not a flat colour: a checker of two.
    glEnable(GL_TEXTURE_2D);
    std::vector<uint8_t> texels(8 * 8 * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
    glDisable(GL_TEXTURE_2D);
    EXPECT_NE(texels[0], texels[2 * 3]);
}

// The message goes back to the caller (the application shows it), naming the file.
TEST_F(InitWorld, ARefusedMapIsReportedAsAFailureWithItsMessage) {
    std::FILE* file = std::fopen("map.m", "w");
    ASSERT_NE(file, nullptr);
    std::fputs("99900 0 0 0 10 10 10 1\n 7 0", file);  // a portal to a cell that never comes
    std::fclose(file);
    std::string message;
    EXPECT_LT(initWorldFrom("map.m", &message), 0);
    EXPECT_EQ(message.rfind("map.m: line ", 0), 0u) << message;

    message.clear();
    EXPECT_LT(initWorldFrom("no-such-map.m", &message), 0);
    EXPECT_NE(message.find("no-such-map.m"), std::string::npos) << message;
    EXPECT_TRUE(boxes.empty());
}

TEST_F(InitWorld, ReleaseFreesTexturesTheListAndThePolygons) {
    writeWorld();
    ASSERT_EQ(initWorldFrom("map.m"), 0);
    const GLuint first = textureNames[0];
    releaseWorld();
    EXPECT_FALSE(glIsTexture(first));
    EXPECT_FALSE(glIsList(worldList));
    EXPECT_EQ(polygonCount, 0);
    EXPECT_TRUE(wallPolygons.empty());
    EXPECT_EQ(cellCount, 2);  // the other tables stay until the process ends
}

// Each row one colour, so a row read from the wrong offset (rows of 2 pixels are 6
// bytes, not padded to 4) or lost in rescaling to power-of-two sides shows up.
TEST_F(InitWorld, TexturesFilterLinearlyRepeatAndKeepEveryRowOfAnyWidth) {
    const uint8_t rowColours[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}};
    const int widths[] = {2, 3, 6};
    for (int w : widths) {
        auto image = std::make_unique<ImageRecord>();
        image->width = w;
        image->height = 4;
        for (const auto& colour : rowColours)
            for (int x = 0; x < w; ++x) image->pixels.insert(image->pixels.end(), colour, colour + 3);
        textures[textureCount++].image = std::move(image);
    }
    uploadTextures();

    for (int i = 0; i < textureCount; ++i) {
        SCOPED_TRACE("width " + std::to_string(widths[i]));
        glBindTexture(GL_TEXTURE_2D, textureNames[i]);
        GLint minFilter = 0, magFilter = 0, wrapS = 0, wrapT = 0, width = 0, height = 0, envMode = 0;
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &magFilter);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrapS);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &wrapT);
        glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &envMode);
        EXPECT_EQ(minFilter, GL_LINEAR);  // not the mipmap filter a new texture starts with
        EXPECT_EQ(magFilter, GL_LINEAR);
        EXPECT_EQ(wrapS, GL_REPEAT);
        EXPECT_EQ(wrapT, GL_REPEAT);
        EXPECT_EQ(envMode, GL_REPLACE);

        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
        EXPECT_EQ(width, nearestPowerOfTwo(widths[i]));
        ASSERT_EQ(height, 4);
        std::vector<uint8_t> texels(size_t(width) * size_t(height) * 3);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
        for (int row = 0; row < height; ++row)
            for (int x = 0; x < width; ++x) {
                const uint8_t* texel = &texels[(size_t(row) * size_t(width) + size_t(x)) * 3];
                EXPECT_TRUE(testgl::near({texel[0], texel[1], texel[2]},
                                         {rowColours[row][0], rowColours[row][1], rowColours[row][2]}))
                    << "row " << row << " texel " << x << ": " << int(texel[0]) << " " << int(texel[1])
                    << " " << int(texel[2]);
            }
    }
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

}  // namespace
