// The engine binary, headless, as a user runs it: a played demo in a fixture world walks
// up to a wall with a stencil window in it, two runs end alike, and the picture shows
// the wall's texture around the window and the neighbouring room's inside it; the same
// walk from a start in a cell other than the first, and at a placed model, which stops
// it short of the model's box; the bundled world draws a picture of several textures.
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "render/map_writer.h"
#include "render/world_fixture.h"
#include "support/child_process.h"
#include "support/gl_context.h"
#include "assets/model_writer.h"

namespace {

struct EngineRun {
    int status = -1;
    std::string output;
};

EngineRun runEngine(const std::string& arguments) {
    EngineRun run;
    run.status = runCommand(std::string(ENGINE_BINARY) + " " + arguments + " 2>/dev/null", run.output);
    return run;
}

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

struct Rgb {
    int r = 0, g = 0, b = 0;
};

bool near(const Rgb& a, const Rgb& b, int tolerance = 8) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
           std::abs(a.b - b.b) <= tolerance;
}

std::ostream& operator<<(std::ostream& out, const Rgb& c) {
    return out << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

// A screenshot as RGB rows, top row first.
struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    Rgb at(int x, int y) const {
        const uint8_t* p = &rgb[(size_t(y) * size_t(width) + size_t(x)) * 3];
        return {p[0], p[1], p[2]};
    }
};

bool readPng(const std::string& path, Picture& picture) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_RGB;
    picture.width = int(image.width);
    picture.height = int(image.height);
    picture.rgb.resize(PNG_IMAGE_SIZE(image));
    return png_image_finish_read(&image, nullptr, picture.rgb.data(), 0, nullptr) != 0;
}

// A copy of a world folder in a new folder of its own, so no run can change the original.
std::string copyWorld(const std::string& from) {
    std::string pattern = testing::TempDir() + "e2e_XXXXXX";
    if (!mkdtemp(pattern.data())) return {};
    const std::string command = "cp -r " + from + "/. " + pattern + "/";
    return std::system(command.c_str()) == 0 ? pattern + "/" : std::string();
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        SKIP_IF_GL_UNAVAILABLE_AND_ASKED();
        ASSERT_EQ(access(ENGINE_BINARY, X_OK), 0) << "no engine binary at " << ENGINE_BINARY;
    }
    void TearDown() override {
        if (!dir.empty() && !HasFailure()) std::system(("rm -rf " + dir).c_str());
    }
    std::string dir;
};

TEST_F(EndToEnd, TheFixtureWorldPassesTheChecker) {
    dir = copyWorld(std::string(SOURCE_DIR) + "/tests/worlds/stencil_window");
    ASSERT_FALSE(dir.empty());
    const EngineRun check = runEngine("--check " + dir);
    EXPECT_EQ(check.status, 0) << check.output;
    EXPECT_NE(check.output.find("0 errors"), std::string::npos) << check.output;
}

// tests/worlds/stencil_window: from (-25, 3, 15) the demo walks 200 steps of 0.1 along +Z
// at a stone wall (180, 160, 120) across z 25. Just in front of it, 0.8 wide and 0.6
// high around the eye's height, a stencil window shows the second room's moss wall
// (40, 160, 60), moved 30 along -X and 2 further on. 160 x 120 pixels.
TEST_F(EndToEnd, ADemoWalkingAtAWallStopsShortOfItAndSeesThroughItsStencilWindow) {
    dir = copyWorld(std::string(SOURCE_DIR) + "/tests/worlds/stencil_window");
    ASSERT_FALSE(dir.empty());
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
    EXPECT_TRUE(fileBytes(first) == fileBytes(second)) << "the two screenshots differ";

    // About 1.6 from the window, it covers the middle half of the picture both ways.
    Picture shot;
    ASSERT_TRUE(readPng(first, shot));
    ASSERT_EQ(shot.width, 160);
    ASSERT_EQ(shot.height, 120);
    const Rgb stone{180, 160, 120}, moss{40, 160, 60};
    const struct {
        int x, y;
        Rgb colour;
        const char* what;
    } points[] = {
        {80, 60, moss, "the window's middle"},      {60, 45, moss, "inside the window, upper left"},
        {100, 75, moss, "inside the window, lower right"}, {10, 60, stone, "the wall left of the window"},
        {150, 60, stone, "the wall right of the window"},  {80, 10, stone, "the wall above the window"},
        {80, 110, stone, "the wall below the window"},     {5, 5, stone, "the top left corner"},
    };
    for (const auto& p : points)
        EXPECT_TRUE(near(shot.at(p.x, p.y), p.colour)) << p.what << " at " << p.x << ", " << p.y << " is "
                                                      << shot.at(p.x, p.y) << ", not " << p.colour;
}

// The fixture world's room around the start, but as cell 1, with a portal behind the eye
// to a cell 0 far off: no traversal has placed cell 1 when the first frame is drawn.
void writeMapStartingInCellOne(const std::string& path) {
    using namespace testworld;
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
    ASSERT_TRUE(writeMap(path));
}

// Every cell has its placement from the start: walls of the cell the eye starts in are
// drawn and stop it, whichever cell that is.
TEST_F(EndToEnd, StartingInACellNoWalkHasPlacedShowsItsWallsAndStopsAtThem) {
    dir = copyWorld(std::string(SOURCE_DIR) + "/tests/worlds/stencil_window");
    ASSERT_FALSE(dir.empty());
    ASSERT_NO_FATAL_FAILURE(writeMapStartingInCellOne(dir + "map.m"));
    const std::string shot = dir + "cell1.png";
    const EngineRun run = runEngine("--headless --frames 150 --screenshot " + shot + " " + dir);
    ASSERT_EQ(run.status, 0) << run.output;
    float x = 0, y = 0, z = 0;
    int frames = 0, yaw = -1, pitch = -1;
    ASSERT_EQ(std::sscanf(run.output.c_str(), "frames %d camera %f %f %f %d %d", &frames, &x, &y, &z, &yaw, &pitch), 6)
        << run.output;
    EXPECT_LT(z, 25 - 1.5f) << "walked through the wall";
    EXPECT_GT(z, 25 - 2.0f);
    Picture picture;
    ASSERT_TRUE(readPng(shot, picture));
    // The stone wall fills the middle of the view.
    EXPECT_TRUE(near(picture.at(80, 60), Rgb{180, 160, 120}, 0)) << picture.at(80, 60);
}

// The fixture world's stone floor with a crate (a box model, 2 x 2 x 2, painted red)
// straight ahead of the start: its box's front is at z 21.
TEST_F(EndToEnd, ADemoWalkingIntoAModelStopsShortOfItsBoxWithTheModelInView) {
    using namespace testworld;
    dir = copyWorld(std::string(SOURCE_DIR) + "/tests/worlds/stencil_window");
    ASSERT_FALSE(dir.empty());
    reset();
    std::snprintf(textures[0].fileName, nameFieldSize, "stone.bmp");
    textureCount = 1;
    addCell(-40, 0, -10, 40);
    addTriangle(0, {-40, 0, 0}, {-10, 0, 0}, {-10, 0, 40});
    const int crate = addObject(0, -25, 22, 1);
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
    Picture picture;
    ASSERT_TRUE(readPng(shot, picture));
    // The crate fills the middle of the view.
    EXPECT_TRUE(near(picture.at(80, 60), Rgb{200, 40, 40})) << picture.at(80, 60);
}

// The bundled world changes as it grows, so only loosely: a picture, not a blank
// screen, made of several of the world's textures.
TEST_F(EndToEnd, TheBundledWorldDrawsSeveralTexturesOnScreen) {
    dir = copyWorld(std::string(SOURCE_DIR) + "/worlds/sample");
    ASSERT_FALSE(dir.empty());
    const EngineRun run = runEngine("--headless --frames 5 --screenshot " + dir + "shot.png " + dir);
    ASSERT_EQ(run.status, 0) << run.output;
    Picture shot;
    ASSERT_TRUE(readPng(dir + "shot.png", shot));
    ASSERT_GT(shot.width * shot.height, 0);
    // Colours counted in steps of 32 per channel; a texture's colour covers at least 2%.
    std::map<int, int> bins;
    size_t black = 0;
    for (int y = 0; y < shot.height; ++y)
        for (int x = 0; x < shot.width; ++x) {
            const Rgb c = shot.at(x, y);
            black += c.r + c.g + c.b < 24;
            ++bins[(c.r / 32) * 64 + (c.g / 32) * 8 + c.b / 32];
        }
    const size_t pixels = size_t(shot.width) * size_t(shot.height);
    int colours = 0;
    for (const auto& bin : bins) colours += size_t(bin.second) * 50 >= pixels;
    EXPECT_LT(black * 2, pixels) << "mostly black";
    EXPECT_GE(colours, 3) << "fewer than three colours cover 2% of the picture each";
}

// tests/worlds/passage: a loop longer inside than outside. The demo walks 50 units along +Z
// from (-25, 3, 15): through the start room's north passage at z 25 into the corridor
// stored at x 100..106 (landing at (103, 0)), and 40 along it. Two timed runs report the
// same frames, the camera in the corridor's own coordinates and the cell it stands in.
TEST_F(EndToEnd, ADemoThroughAPassageEndsInThePlaceShownTheSameEveryRun) {
    dir = copyWorld(std::string(SOURCE_DIR) + "/tests/worlds/passage");
    ASSERT_FALSE(dir.empty());
    const EngineRun check = runEngine("--check " + dir);
    EXPECT_NE(check.output.find("0 errors, 0 warnings"), std::string::npos) << check.output;
    std::string frames[2];
    std::string lines[2];
    for (int run = 0; run < 2; ++run) {
        const std::string csv = dir + "frames" + std::to_string(run) + ".csv";
        const EngineRun r = runEngine("--headless --timedemo-csv " + csv + " " + dir);
        ASSERT_EQ(r.status, 0) << r.output;
        lines[run] = r.output.substr(r.output.rfind("frames "));
        // Every column but the time.
        std::istringstream in(fileBytes(csv));
        for (std::string line; std::getline(in, line);) {
            const size_t first = line.find(','), second = line.find(',', first + 1);
            frames[run] += line.substr(0, first) + line.substr(second) + "\n";
        }
    }
    EXPECT_EQ(lines[0], lines[1]);
    EXPECT_EQ(frames[0], frames[1]);
    int count = 0, yaw = -1, pitch = -1, cell = -2;
    float x = 0, y = 0, z = 0;
    ASSERT_EQ(std::sscanf(lines[0].c_str(), "frames %d camera %f %f %f %d %d cell %d", &count, &x, &y, &z, &yaw,
                          &pitch, &cell),
              7)
        << lines[0];
    EXPECT_NEAR(x, 103, 1e-4);
    EXPECT_NEAR(z, 40, 1e-3);
    EXPECT_EQ(cell, 1);
    // The per-frame file: the start room (cell 0) for the first 10 units, the corridor after.
    std::istringstream in(frames[0]);
    std::string line;
    std::vector<int> cells;
    std::getline(in, line);  // the header
    while (std::getline(in, line)) cells.push_back(std::atoi(line.c_str() + line.find(',') + 1));
    ASSERT_EQ(cells.size(), 500u);
    for (size_t i = 0; i < cells.size(); ++i) EXPECT_EQ(cells[i], i < 99 ? 0 : 1) << "frame " << i;
}

}  // namespace
