// The engine binary, headless, on worlds written by the test: a played demo walks
// straight at a wall, and two runs of it end alike; the same from a start in a cell
// other than the first; and a demo walking at a placed model stops short of its box.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "render/gl_fixture.h"  // Required for: Rgb, near
#include "render/map_writer.h"
#include "render/world_fixture.h"
#include "support/model_writer.h"

using namespace testworld;

namespace {

struct EngineRun {
    int status = -1;
    std::string output;
};

EngineRun runEngine(const std::string& arguments) {
    EngineRun run;
    const std::string command = std::string(ENGINE_BINARY) + " " + arguments + " 2>/dev/null";
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe)) run.output += buffer;
    run.status = pclose(pipe);
    return run;
}

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// The pixel at (x, y) from the top left of a PNG the engine wrote, as red, green, blue.
bool pngPixel(const std::string& path, int x, int y, uint8_t rgb[3]) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_RGB;
    std::string pixels(PNG_IMAGE_SIZE(image), '\0');
    const bool read = png_image_finish_read(&image, nullptr, &pixels[0], 0, nullptr);
    if (!read || x >= int(image.width) || y >= int(image.height)) return false;
    for (int c = 0; c < 3; ++c) rgb[c] = uint8_t(pixels[(size_t(y) * image.width + size_t(x)) * 3 + size_t(c)]);
    return true;
}

void writeWalkForward(const std::string& dir) {
    std::ofstream ini(dir + "game.ini");
    ini << "WIDTH 160\nHEIGHT 120\nFULLSCREEN 0\nDIRECTX 0\nPLAYDEMO 1 walk.dem\nSAVEDEMO 0 walk.dem\n";
    std::ofstream demo(dir + "walk.dem", std::ios::binary);
    for (int i = 0; i < 200; ++i) demo.write("\0\0\1\0\0", 5);
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        if (access(ENGINE_BINARY, X_OK) != 0) GTEST_SKIP() << "no engine binary at " << ENGINE_BINARY;
        dir = ::testing::TempDir() + "e2e_" + std::to_string(getpid()) + "/";
        ASSERT_EQ(std::system(("mkdir -p " + dir).c_str()), 0);
        writeWorld();
    }
    void TearDown() override {
        if (!dir.empty() && !HasFailure()) std::system(("rm -rf " + dir).c_str());
    }

    // A room around the start (-25, 3, 15) with a wall 10 ahead, a small stencil window on
    // that wall onto a second room, and a demo that only walks forward.
    void writeWorld() {
        reset();
        ASSERT_TRUE(writeSolidBmp(dir + "stone.bmp", 16, 16, 180, 160, 120));
        ASSERT_TRUE(writeSolidBmp(dir + "moss.bmp", 8, 8, 40, 160, 60));
        std::snprintf(textures[0].fileName, nameFieldSize, "stone.bmp");
        std::snprintf(textures[1].fileName, nameFieldSize, "moss.bmp");
        textureCount = 2;
        const int start = addCell(-40, 0, -10, 30);
        addWall(0, -15, 25, -35, 25);  // straight ahead of the start
        addWall(0, -12, 0, -12, 30);
        addTriangle(0, {-40, 0, 0}, {-10, 0, 0}, {-10, 0, 30});
        const int behind = addCell(0, 0, 20, 30);
        addWall(1, 20, 25, -10, 25);  // shown 30 to the right, 2 further on
        // A small stencil window just in front of the wall ahead, onto the moss wall.
        const int k = addPortal(start, behind, -24.6f, 24.9f, -25.4f, 24.9f, 1);
        for (int v = 0; v < 4; ++v) cells[start].portalCornerY[v][k] = (v == 1 || v == 2) ? 3.3f : 2.7f;
        setPortalShift(start, k, {-30, 0, 2});
        addObject(start, -20, 20, 1);  // beside the path: seen, never in the way
        placedObjects[0].spinning = 1;
        ASSERT_TRUE(writeMap(dir + "map.m"));
        ASSERT_TRUE(modelwriter::writeScene(dir + "box.3ds", {{"paint", "moss.bmp"}},
                                            {modelwriter::box("box", "paint", 1, 1, 1)}));
        writeWalkForward(dir);
    }

    // The same room around the start, but as cell 1, with a portal behind the eye to a
    // cell 0 far off: no traversal has placed cell 1 when the first frame is drawn.
    void writeWorldStartingInCellOne() {
        reset();
        std::snprintf(textures[0].fileName, nameFieldSize, "stone.bmp");
        std::snprintf(textures[1].fileName, nameFieldSize, "moss.bmp");
        textureCount = 2;
        const int far = addCell(100, 0, 130, 30);
        addWall(1, 125, 25, 105, 25);
        const int start = addCell(-40, 0, -10, 30);
        addWall(0, -15, 25, -35, 25);  // straight ahead of the start
        addTriangle(0, {-40, 0, 0}, {-10, 0, 0}, {-10, 0, 30});
        const int k = addPortal(start, far, -35, 0.5f, -15, 0.5f);
        setPortalShift(start, k, {140, 0, 0});
        ASSERT_TRUE(writeMap(dir + "map.m"));
    }

    std::string dir;
};

TEST_F(EndToEnd, TheWorldPassesTheChecker) {
    const EngineRun check = runEngine("--check " + dir);
    EXPECT_EQ(check.status, 0) << check.output;
    EXPECT_NE(check.output.find("0 errors"), std::string::npos) << check.output;
}

TEST_F(EndToEnd, ADemoWalkingIntoAWallStopsShortOfItAndRepeatsExactly) {
    const std::string first = dir + "first.png", second = dir + "second.png";
    const EngineRun a = runEngine("--headless --frames 150 --screenshot " + first + " " + dir);
    const EngineRun b = runEngine("--headless --frames 150 --screenshot " + second + " " + dir);
    ASSERT_EQ(a.status, 0) << a.output;
    ASSERT_EQ(b.status, 0) << b.output;

    int frames = 0, yaw = -1, pitch = -1;
    float x = 0, y = 0, z = 0;
    ASSERT_EQ(std::sscanf(a.output.c_str(), "frames %d camera %f %f %f %d %d", &frames, &x, &y, &z, &yaw, &pitch), 6)
        << a.output;
    EXPECT_EQ(frames, 150);
    EXPECT_FLOAT_EQ(x, -25);
    EXPECT_FLOAT_EQ(y, 3);
    // 15 units of walking toward a wall 10 ahead: held between 1.5 and 2 units short.
    EXPECT_LT(z, 25 - 1.5f);
    EXPECT_GT(z, 25 - 2.0f);
    EXPECT_EQ(yaw, 0);
    EXPECT_EQ(pitch, 1800);

    EXPECT_EQ(a.output, b.output);
    const std::string shotA = fileBytes(first), shotB = fileBytes(second);
    ASSERT_GT(shotA.size(), 8u);
    EXPECT_EQ(shotA.substr(1, 3), "PNG");
    EXPECT_TRUE(shotA == shotB) << "the two screenshots differ";
}

// Every cell has its placement from the start: walls of the cell the eye starts in are
// drawn and stop it, whichever cell that is.
TEST_F(EndToEnd, StartingInACellNoWalkHasPlacedShowsItsWallsAndStopsAtThem) {
    writeWorldStartingInCellOne();
    const std::string shot = dir + "cell1.png";
    const EngineRun run = runEngine("--headless --frames 150 --screenshot " + shot + " " + dir);
    ASSERT_EQ(run.status, 0) << run.output;
    float x = 0, y = 0, z = 0;
    int frames = 0, yaw = -1, pitch = -1;
    ASSERT_EQ(std::sscanf(run.output.c_str(), "frames %d camera %f %f %f %d %d", &frames, &x, &y, &z, &yaw, &pitch), 6)
        << run.output;
    EXPECT_LT(z, 25 - 1.5f) << "walked through the wall";
    EXPECT_GT(z, 25 - 2.0f);
    uint8_t centre[3] = {};
    ASSERT_TRUE(pngPixel(shot, 80, 60, centre));
    EXPECT_EQ(int(centre[0]), 180);  // the stone wall fills the middle of the view
    EXPECT_EQ(int(centre[1]), 160);
    EXPECT_EQ(int(centre[2]), 120);
}

TEST_F(EndToEnd, ADemoWalkingIntoAModelStopsShortOfItsBoxWithTheModelInView) {
    reset();
    ASSERT_TRUE(writeSolidBmp(dir + "stone.bmp", 16, 16, 180, 160, 120));
    std::snprintf(textures[0].fileName, nameFieldSize, "stone.bmp");
    textureCount = 1;
    addCell(-40, 0, -10, 40);
    addTriangle(0, {-40, 0, 0}, {-10, 0, 0}, {-10, 0, 40});
    const int crate = addObject(0, -25, 22, 1);  // straight ahead; its box's front at 21
    placedObjects[crate].y = 3;
    ASSERT_TRUE(writeMap(dir + "map.m", "crate.3ds"));
    ASSERT_TRUE(writeSolidBmp(dir + "paint.bmp", 8, 8, 200, 40, 40));
    ASSERT_TRUE(modelwriter::writeScene(dir + "crate.3ds", {{"paint", "paint.bmp"}},
                                        {modelwriter::box("crate", "paint", 1, 1, 1)}));

    const std::string shot = dir + "crate.png";
    const EngineRun run = runEngine("--headless --frames 150 --screenshot " + shot + " " + dir);
    ASSERT_EQ(run.status, 0) << run.output;
    float x = 0, y = 0, z = 0;
    int frames = 0, yaw = 0, pitch = 0;
    ASSERT_EQ(std::sscanf(run.output.c_str(), "frames %d camera %f %f %f %d %d", &frames, &x, &y, &z, &yaw, &pitch), 6)
        << run.output;
    // The eye is held where it would come within 1.25 of the box: one step short.
    EXPECT_LE(z, 21 - 1.25f);
    EXPECT_GT(z, 21 - 1.25f - 0.11f);
    EXPECT_FLOAT_EQ(x, -25);
    uint8_t centre[3] = {};
    ASSERT_TRUE(pngPixel(shot, 80, 60, centre));  // the crate fills the middle of the view
    EXPECT_TRUE(testgl::near({centre[0], centre[1], centre[2]}, {200, 40, 40}));
}

}  // namespace
