// The world builder's rooms of any convex plan, its start point and its pictures turned
// into textures, each read back through the engine's own readers: the map loader, the
// current-cell search, the bitmap decoder and the checker.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "image/bitmap.h"
#include "render/render.h"
#include "support/child_process.h"
#include "world/map.h"
#include "world/world.h"
#include "worldbuild/build.h"
#include "worldbuild/image_import.h"

namespace fs = std::filesystem;
using namespace worldbuild;

namespace {

const std::string bmpsuite = std::string(TESTDATA_DIR) + "/bmpsuite";

std::string freshDir() {
    std::string pattern = testing::TempDir() + "plans_XXXXXX";
    return mkdtemp(pattern.data()) ? pattern : std::string();
}

const char* const textures =
    "texture t.bmp pattern tiles flavour pal4\n"   // line 1
    "texture w.bmp pattern bricks flavour rle8\n";  // line 2

// A hexagon round the start, 6 high, in the order given, with the rest after it.
std::string hexagon(const std::string& points, const std::string& rest = "") {
    return std::string(textures) + "room hex plan " + points + " height 6 floor t.bmp ceiling t.bmp walls w.bmp\n" + rest;
}
const std::string hexPoints = "-35 15 -30 7 -20 7 -15 15 -20 23 -30 23";

bool make(const std::string& text, WorldFiles& files, std::string& error, std::vector<std::string>* warnings = nullptr) {
    WorldDecl world;
    return parseDescription("world.txt", text, world, error) && makeWorldFiles(world, files, error, warnings);
}

std::string fileOf(const WorldFiles& files, const std::string& name) {
    for (const auto& f : files)
        if (f.first == name) return std::string(f.second.begin(), f.second.end());
    return "";
}

// Loads a built map into the engine's tables (models stand in as nothing).
void loadBuilt(const WorldFiles& files) {
    const std::string dir = freshDir();
    std::ofstream(dir + "/map.m") << fileOf(files, "map.m");
    resetWorld();
    MapResolvers resolvers;
    resolvers.buildModel = [](const char*) { return 0; };
    std::string error;
    ASSERT_TRUE(loadMap((dir + "/map.m").c_str(), resolvers, error)) << error;
}

TEST(BuilderPlans, EachBadPlanIsRefusedWithItsLineAndReason) {
    const struct {
        const char* what;
        std::string text;
        std::string message;  // expected, after "world.txt:"
    } cases[] = {
        {"odd count", hexagon("-35 15 -30 7 -20"), "3: plan needs pairs of numbers"},
        {"two points", hexagon("-35 15 -30 7"), "3: plan: a plan needs at least three points"},
        {"too many points", hexagon([] {
             std::string many;
             for (int k = 0; k < 65; ++k) many += "-25 15 ";
             return many;
         }()),
         "3: a plan has at most 64 points"},
        {"repeated point", hexagon("-35 15 -30 7 -20 7 -30 7"), "3: plan: point 4 (-30, 7) repeats point 2"},
        {"three in a line", hexagon("-35 15 -30 7 -25 7 -20 7 -15 15 -20 23 -30 23"),
         "3: plan: point 3 (-25, 7) lies on the line from its neighbours"},
        {"not convex", hexagon("-35 15 -30 7 -20 7 -25 15 -20 23 -30 23"),
         "3: plan: the plan is not convex: it bends outward at point 4 (-25, 15)"},
        {"a star winds twice", hexagon("-25 25 -19 7 -35 18 -15 18 -31 7"), "3: plan: the plan winds round more than once"},
        {"no height", std::string(textures) + "room a plan -35 5 -15 5 -25 25 floor t.bmp ceiling t.bmp walls w.bmp\n",
         "3: a room with a plan needs 'height'"},
        {"box and plan", std::string(textures) +
                             "room a plan -35 5 -15 5 -25 25 box 0 0 0 1 1 1 height 6 floor t.bmp ceiling t.bmp walls w.bmp\n",
         "3: a room takes a box or a plan, not both"},
        {"neither", std::string(textures) + "room a floor t.bmp ceiling t.bmp walls w.bmp\n", "3: room needs 'box' or 'plan'"},
        {"plans overlap", hexagon(hexPoints, "room b plan -19 12 0 12 0 20 height 6 floor t.bmp ceiling t.bmp walls w.bmp\n"),
         "4: room 'b' overlaps room 'hex' (line 3)"},
        {"window on a wall the plan lacks",
         hexagon(hexPoints, "room far box 100 0 0 120 6 20 floor t.bmp ceiling t.bmp walls w.bmp\n"
                            "window hex side 7 span 0 1 rise 1 2 onto far\n"),
         "5: room 'hex' has no wall number 7"},
        {"slanted window's image on no wall",
         hexagon(hexPoints, "room far box 100 0 0 120 6 20 floor t.bmp ceiling t.bmp walls w.bmp\n"
                            "window hex side 3 span 9 13 rise 1 5 onto far offset -100 0 0\n"),
         "5: the window's image, from (81.25, 9) to (83.75, 13) in room 'far', lies on none of its walls facing back"},
        // Boxes that reach into each other with no doorway between: no order helps.
        {"boxes into each other",
         hexagon(hexPoints, "room east plan -20 7 -5 7 -5 15 -15 15 height 6 floor t.bmp ceiling t.bmp walls w.bmp\n"),
         "4: the box of room 'east' (-20 7 to -5 15) reaches into room 'hex' (line 3), and the engine finds the eye's "
         "room by the boxes"},
        {"doorway at a corner only",
         std::string(textures) + "room a box -35 0 5 -15 6 25 floor t.bmp ceiling t.bmp walls w.bmp\n"
                                 "room b box -15 0 25 0 6 40 floor t.bmp ceiling t.bmp walls w.bmp\n"
                                 "door a b span -20 -16\n",
         "5: rooms 'a' and 'b' touch only at (-15, 25): a doorway needs a stretch of wall they share"},
        // Where they meet, as a person would write it.
        {"doorway at the corner itself",
         std::string(textures) + "room a box -35 0 5 -15 6 25 floor t.bmp ceiling t.bmp walls w.bmp\n"
                                 "room b box -15 0 25 0 6 40 floor t.bmp ceiling t.bmp walls w.bmp\n"
                                 "door a b span -15 -15\n",
         "5: rooms 'a' and 'b' touch only at (-15, 25)"},
        {"doorway of no width", hexagon(hexPoints, "room north box -30 0 23 -20 6 33 floor t.bmp ceiling t.bmp walls w.bmp\n"
                                                   "door hex north span -25 -25\n"),
         "5: the doorway's span -25 to -25 has no width"},
        {"start outside the first room", hexagon(hexPoints, "start 0 0\n"),
         "4: the start (0, 0) is not inside the first room 'hex' (line 3)"},
        {"start twice", hexagon(hexPoints, "start -25 15\nstart -25 15\n"), "5: the start is given twice (first on line 4)"},
        {"a PNG named as a texture", "texture photo.png pattern tiles flavour pal4\n",
         "1: texture 'photo.png' must end in .bmp: the engine reads only BMP textures; to convert the picture, "
         "write 'texture photo.bmp file photo.png'"},
        {"a PNG named as a texture, converted", "texture photo.png file pictures/photo.png\n",
         "1: texture 'photo.png' must end in .bmp: the engine reads only BMP textures; to convert the picture, "
         "write 'texture photo.bmp file pictures/photo.png'"},
        {"drawn and converted", "texture p.bmp file p.png pattern tiles\n", "1: a texture converted from a file takes no 'pattern'"},
        {"converted at no power of two", "texture p.bmp file p.png pixels 100\n", "1: pixels must be a power of two"},
        {"a folder as the picture", hexagon(hexPoints, "texture p.bmp file " + std::string(SOURCE_DIR) + "\n"),
         "4: texture 'p.bmp' from '" + std::string(SOURCE_DIR) + "': is a folder"},
        {"a file that is no picture", hexagon(hexPoints, "texture p.bmp file " + std::string(SOURCE_DIR) + "/README.md\n"),
         "4: texture 'p.bmp' from '"},
    };
    for (const auto& c : cases) {
        WorldFiles files;
        std::string error;
        EXPECT_FALSE(make(c.text, files, error)) << c.what;
        EXPECT_EQ(error.rfind(std::string("world.txt:") + c.message, 0), 0u) << c.what << ": got " << error;
    }
}

// Rooms that meet only at a corner are no error, and neither box reaches the other room.
TEST(BuilderPlans, RoomsMeetingAtACornerBuild) {
    WorldFiles files;
    std::string error;
    EXPECT_TRUE(make(std::string(textures) + "room a box -35 0 5 -15 6 25 floor t.bmp ceiling t.bmp walls w.bmp\n"
                                             "room b plan -15 25 0 25 -15 40 height 6 floor t.bmp ceiling t.bmp walls w.bmp\n",
                     files, error))
        << error;
}

// Clockwise or counter-clockwise, a plan makes the same map.
TEST(BuilderPlans, EitherWindingMakesTheSameMap) {
    WorldFiles forward, backward;
    std::string error;
    ASSERT_TRUE(make(hexagon(hexPoints), forward, error)) << error;
    ASSERT_TRUE(make(hexagon("-30 23 -20 23 -15 15 -20 7 -30 7 -35 15"), backward, error)) << error;
    EXPECT_EQ(fileOf(forward, "map.m"), fileOf(backward, "map.m"));
    loadBuilt(forward);
    EXPECT_EQ(polygonCount, 4 * 2 + 6 * 2) << "four floor and four ceiling triangles, two for each of six walls";
    EXPECT_EQ(cells[0].boxX1, -35);
    EXPECT_EQ(cells[0].boxX2, -15);
    EXPECT_EQ(cells[0].boxZ1, 7);
    EXPECT_EQ(cells[0].boxZ2, 23);
    resetWorld();
}

// A box that reaches into a room declared before it is written first, so that the engine
// finds every room's inside in that room's own cell.
TEST(BuilderPlans, CellsAreOrderedSoTheEngineFindsEachRoom) {
    // b's box (-20 20 to 0 30) reaches into a's corner; b touches a only at (-15, 25).
    const std::string text = std::string(textures) +
                             "room a box -35 0 5 -15 6 25 floor t.bmp ceiling t.bmp walls w.bmp\n"
                             "room b plan -20 30 -10 20 0 30 height 6 floor t.bmp ceiling t.bmp walls w.bmp\n";
    WorldFiles files;
    std::string error;
    ASSERT_TRUE(make(text, files, error)) << error;
    loadBuilt(files);
    ASSERT_EQ(cellCount, 2);
    const int32_t inA = findCurrentCell(-17, 22), inB = findCurrentCell(-10, 27);
    ASSERT_GE(inA, 0);
    ASSERT_GE(inB, 0);
    EXPECT_NE(inA, inB) << "a's corner under b's box is still a";
    EXPECT_EQ(cells[inA].boxX1, -35);
    EXPECT_EQ(cells[inB].boxX1, -20);
    resetWorld();
}

// Where two plans share a slanted wall, both cells hold the same triangles there (so
// they never fight over pixels), and a hexagon's walls run on round its corners.
TEST(BuilderPlans, SharedSlantedWallsAreOneSurfaceAndCornersHaveNoSeam) {
    WorldFiles files;
    std::string error;
    std::vector<std::string> warnings;
    ASSERT_TRUE(make(hexagon(hexPoints, "room east plan -20 7 -5 7 -5 15 -15 15 height 6 floor t.bmp ceiling t.bmp walls w.bmp\n"
                                        "door hex east span 9 13\n"),
                     files, error, &warnings))
        << error;
    ASSERT_EQ(warnings.size(), 1u) << "each box reaches into the other beside the doorway: one warning";
    EXPECT_EQ(warnings[0].rfind("world.txt:4: warning: the box of room 'hex' (-35 7 to -15 23) reaches into room "
                                "'east' (line 4), and the box of 'east' into 'hex'",
                                0),
              0u)
        << warnings[0];
    loadBuilt(files);
    ASSERT_EQ(cellCount, 2);
    // Wall triangles on the line from (-20, 7) to (-15, 15), by their corners.
    const auto onSlant = [](const WallPolygon& w) {
        for (int v = 0; v < 3; ++v)
            if (std::fabs(8 * (w.x[v] + 20) - 5 * (w.z[v] - 7)) > 1e-3f) return false;
        return w.y[0] != w.y[1] || w.y[1] != w.y[2];
    };
    std::vector<std::array<float, 15>> slanted[2];
    for (int c = 0; c < 2; ++c)
        for (int32_t i = cells[c].firstPolygon; i <= cells[c].lastPolygon; ++i) {
            const WallPolygon& w = wallPolygons[size_t(i)];
            if (!onSlant(w)) continue;
            std::array<float, 15> key{};
            for (int v = 0; v < 3; ++v) {
                key[size_t(v * 5)] = w.x[v];
                key[size_t(v * 5 + 1)] = w.y[v];
                key[size_t(v * 5 + 2)] = w.z[v];
                key[size_t(v * 5 + 3)] = w.s[v];
                key[size_t(v * 5 + 4)] = w.t[v];
            }
            slanted[c].push_back(key);
        }
    EXPECT_EQ(slanted[0].size(), 4u) << "the wall beside the doorway, on both sides of it";
    EXPECT_EQ(slanted[0], slanted[1]);
    // At each corner but the first point, where the round closes, the two walls meeting
    // there give it the same u.
    std::map<std::pair<float, float>, std::vector<float>> us;
    for (int32_t i = cells[0].firstPolygon; i <= cells[0].lastPolygon; ++i) {
        const WallPolygon& w = wallPolygons[size_t(i)];
        if (w.y[0] == w.y[1] && w.y[1] == w.y[2]) continue;  // floor or ceiling
        for (int v = 0; v < 3; ++v)
            if (w.y[v] == 0) us[{w.x[v], w.z[v]}].push_back(w.s[v]);
    }
    for (const auto& [corner, values] : us) {
        if (corner == std::make_pair(-35.0f, 15.0f)) continue;
        for (const float u : values) EXPECT_NEAR(u, values[0], 1e-4f) << corner.first << " " << corner.second;
    }
    resetWorld();
}

// `start X Z` moves the world so that X Z lands on the engine's start: the same rooms laid
// out round the origin give the same walls, where the engine starts.
TEST(BuilderStart, MovesTheWorldOntoTheEnginesStart) {
    const std::string rooms = std::string(textures) +
                              "room a plan -10 -10 10 -10 10 10 -10 10 height 6 floor t.bmp ceiling t.bmp walls w.bmp\n"
                              "room b box -4 0 10 4 6 20 floor t.bmp ceiling t.bmp walls w.bmp\n"
                              "door a b span -2 2\n"
                              "room far box 100 0 -10 110 6 10 floor t.bmp ceiling t.bmp walls w.bmp\n"
                              "window a side -z span -2 2 rise 1 5 onto far offset -105 0 -20 scale 1 1 1\n";
    WorldFiles moved, plain;
    std::string error;
    ASSERT_TRUE(make(rooms + "start 0 0\n", moved, error)) << error;
    ASSERT_TRUE(make(rooms, plain, error) == false) << "without a start the first room must hold (-25, 15)";
    loadBuilt(moved);
    ASSERT_EQ(cellCount, 3);
    EXPECT_EQ(findCurrentCell(-25, 15), 0);
    EXPECT_EQ(cells[0].boxX1, -35);
    EXPECT_EQ(cells[0].boxZ2, 25);
    EXPECT_EQ(cells[1].boxZ2, 35);
    // The window still shows far's +z wall: a point there, placed by the portal, lands on
    // the window's opening in a's -z wall.
    int window = -1;
    for (int k = 0; k < cells[0].portalCount; ++k)
        if (cells[0].portalKind[k] == 1) window = k;
    ASSERT_GE(window, 0);
    const float offsetX = cells[0].portalPlacement[axisX][placementOffset][window];
    const float offsetZ = cells[0].portalPlacement[axisZ][placementOffset][window];
    EXPECT_FLOAT_EQ(cells[2].boxZ2 + offsetZ, cells[0].boxZ1);
    EXPECT_FLOAT_EQ(cells[2].boxX1 + 3 + offsetX, cells[0].portalCornerX[0][window]);
    // Texture coordinates stay with the walls: the floor's pattern does not move.
    EXPECT_NE(fileOf(moved, "map.m").find(" -2.5 -2.5 "), std::string::npos);
    resetWorld();
}

// A window in a slanted wall opens its image on the shown room's wall on the same line,
// facing back, and the checker finds nothing wrong with either portal.
TEST(BuilderPlans, AWindowInASlantedWallOpensOnTheWallItShows) {
    const std::string dir = freshDir();
    std::ofstream(dir + "/world.txt")
        << hexagon(hexPoints, "room far plan -120 7 -105 7 -105 15 -115 15 height 6 floor t.bmp ceiling t.bmp walls w.bmp\n"
                              "window hex side 3 span 9 13 rise 1 5 onto far offset 100 0 0\n");
    std::string error;
    ASSERT_TRUE(buildWorld(dir + "/world.txt", dir + "/out", error)) << error;
    std::ifstream in(dir + "/out/map.m");
    const std::string map((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    loadBuilt({{"map.m", std::vector<uint8_t>(map.begin(), map.end())}});
    ASSERT_EQ(cellCount, 2);
    ASSERT_EQ(cells[1].portalCount, 1);
    for (int v = 0; v < 4; ++v) {
        // On far's wall from (-120, 7) to (-115, 15): 8 (x + 120) = 5 (z - 7).
        const float x = cells[1].portalCornerX[v][0], z = cells[1].portalCornerZ[v][0];
        EXPECT_NEAR(8 * (x + 120), 5 * (z - 7), 1e-3f) << "corner " << v;
        EXPECT_NEAR(cells[0].portalCornerX[v][0] - 100, x, 1e-4f) << "corner " << v;
    }
    resetWorld();
    std::string output;
    EXPECT_EQ(runCommand(std::string(ENGINE_BINARY) + " --check " + dir + "/out 2>&1", output), 0) << output;
    EXPECT_NE(output.find("0 errors, 0 warnings"), std::string::npos) << output;
}

// The program prints the warnings and builds: a slanted doorway's boxes reach across it.
TEST(BuilderPlans, TheProgramPrintsWarningsAndBuilds) {
    const std::string dir = freshDir();
    std::ofstream(dir + "/world.txt")
        << hexagon(hexPoints, "room east plan -20 7 -5 7 -5 15 -15 15 height 6 floor t.bmp ceiling t.bmp walls w.bmp\n"
                              "door hex east span 9 13\n");
    std::string output;
    EXPECT_EQ(runCommand(std::string(BUILD_DIR) + "/world_builder " + dir + "/world.txt " + dir + "/out 2>&1", output), 0);
    EXPECT_NE(output.find(dir + "/world.txt:4: warning: the box of room 'hex'"), std::string::npos) << output;
    EXPECT_TRUE(fs::exists(dir + "/out/map.m"));
}

// --- Pictures into textures --------------------------------------------------------------

DecodeResult decodeFile(const std::vector<uint8_t>& bytes) { return decodeBitmap(bytes.data(), bytes.size()); }

DecodeResult decodePath(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return decodeFile(bytes);
}

// The suite's reference picture of its 24-bit BMP, 127 x 64, converted at the nearest
// powers of two (128 x 64) and read by the engine's decoder: every pixel is one of the
// two nearest columns of the suite's own BMP, read by the same decoder, in the same row.
TEST(BuilderPictures, APngBecomesTheBmpItShows) {
    std::vector<uint8_t> file;
    std::string why;
    ASSERT_TRUE(importTexture(bmpsuite + "/html/rgb24.png", 0, file, why)) << why;
    const DecodeResult made = decodeFile(file);
    ASSERT_TRUE(made.image) << made.detail;
    ASSERT_EQ(made.image->width, 128);
    ASSERT_EQ(made.image->height, 64);
    const DecodeResult suite = decodePath(bmpsuite + "/g/rgb24.bmp");
    ASSERT_TRUE(suite.image) << suite.detail;
    ASSERT_EQ(suite.image->width, 127);
    const auto pixel = [](const ImageRecord& image, int x, int y) {
        const uint8_t* p = &image.pixels[(size_t(y) * size_t(image.width) + size_t(x)) * 3];
        return std::array<uint8_t, 3>{p[0], p[1], p[2]};
    };
    int mismatches = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 128; ++x) {
            const auto got = pixel(*made.image, x, y);
            const bool near = got == pixel(*suite.image, std::min(x, 126), y) ||
                              got == pixel(*suite.image, std::max(x - 1, 0), y);
            mismatches += !near;
        }
    EXPECT_EQ(mismatches, 0);
}

// A JPEG at a side asked for, read by the engine: that size, and colours close to the
// suite's BMP (JPEG is lossy) averaged over the same squares.
TEST(BuilderPictures, AJpegAtTheSideAskedFor) {
    const std::string dir = freshDir();
    std::ofstream(dir + "/world.txt") << hexagon(hexPoints, "texture photo.bmp file " + bmpsuite + "/html/rgb24.jpg pixels 32\n");
    std::string error;
    ASSERT_TRUE(buildWorld(dir + "/world.txt", dir + "/out", error)) << error;
    const DecodeResult made = decodePath(dir + "/out/photo.bmp");
    ASSERT_TRUE(made.image) << made.detail;
    EXPECT_EQ(made.image->width, 32);
    EXPECT_EQ(made.image->height, 32);
    const DecodeResult suite = decodePath(bmpsuite + "/g/rgb24.bmp");
    ASSERT_TRUE(suite.image);
    double worst = 0, total = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            for (int c = 0; c < 3; ++c) {
                double sum = 0;
                int count = 0;
                for (int sy = y * 2; sy < y * 2 + 2; ++sy)
                    for (int sx = x * 127 / 32; sx < (x + 1) * 127 / 32; ++sx, ++count)
                        sum += suite.image->pixels[(size_t(sy) * 127 + size_t(sx)) * 3 + size_t(c)];
                const double got = made.image->pixels[(size_t(y) * 32 + size_t(x)) * 3 + size_t(c)];
                worst = std::max(worst, std::fabs(got - sum / count));
                total += std::fabs(got - sum / count);
            }
    EXPECT_LT(total / (32 * 32 * 3), 4) << "JPEG loses detail, not whole colours";
    EXPECT_LT(worst, 40);
    // The world built with it passes the engine's checker.
    std::string output;
    EXPECT_EQ(runCommand(std::string(ENGINE_BINARY) + " --check " + dir + "/out 2>&1", output), 0) << output;
}

// A small file claiming a huge picture is refused from its header, before it is decoded:
// the suite's PNG and JPEG with their sizes rewritten, a frame header far into the file,
// a header cut short, and a format whose header is not read here.
TEST(BuilderPictures, AHeaderClaimingAHugePictureIsRefused) {
    const std::string dir = freshDir();
    const auto bytesOf = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    };
    std::vector<uint8_t> png = bytesOf(bmpsuite + "/html/rgb24.png");
    ASSERT_GE(png.size(), 24u);
    for (const size_t at : {16, 20}) png[at] = 0, png[at + 1] = 0, png[at + 2] = 0x4e, png[at + 3] = 0x20;
    std::vector<uint8_t> jpeg = bytesOf(bmpsuite + "/html/rgb24.jpg");
    size_t frame = 2;
    while (frame + 9 < jpeg.size() && !(jpeg[frame + 1] >= 0xC0 && jpeg[frame + 1] <= 0xC2))
        frame += 2 + size_t(jpeg[frame + 2] << 8 | jpeg[frame + 3]);
    ASSERT_LT(frame + 9, jpeg.size()) << "a frame header";
    for (const size_t at : {frame + 5, frame + 7}) jpeg[at] = 0x4e, jpeg[at + 1] = 0x20;
    // Sides whose product passes what 64 bits hold.
    std::vector<uint8_t> widest = png;
    for (const size_t at : {16, 20}) widest[at] = widest[at + 1] = widest[at + 2] = widest[at + 3] = 0xFF;
    // The frame header past the first 64 KiB, behind two large comment segments.
    std::vector<uint8_t> late(jpeg.begin(), jpeg.begin() + 2);
    for (int i = 0; i < 2; ++i) {
        late.insert(late.end(), {0xFF, 0xFE, 0x9C, 0x40});
        late.insert(late.end(), 40000 - 2, uint8_t('x'));
    }
    late.insert(late.end(), jpeg.begin() + 2, jpeg.end());
    const auto text = [](const std::string& t) { return std::vector<uint8_t>(t.begin(), t.end()); };
    const std::string huge = "the picture says it is 20000 x 20000 pixels, more than 64 Mpixel";
    const std::tuple<const char*, std::vector<uint8_t>, std::string> cases[] = {
        {"huge.png", png, huge},
        {"huge.jpg", jpeg, huge},
        {"late.jpg", late, huge},
        {"widest.png", widest, "the picture says it is 4294967295 x 4294967295 pixels, more than 64 Mpixel"},
        {"cut.png", std::vector<uint8_t>(png.begin(), png.begin() + 12),
         "its header does not say its size (the file is cut short or damaged)"},
        {"huge.ppm", text("P6\n30000 30000\n255\n"), "it is not a PNG, JPEG, GIF, WebP or BMP picture"},
    };
    for (const auto& [name, bytes, expected] : cases) {
        std::ofstream(dir + "/" + name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                               std::streamsize(bytes.size()));
        std::vector<uint8_t> file;
        std::string why;
        EXPECT_FALSE(importTexture(dir + "/" + name, 0, file, why)) << name;
        EXPECT_EQ(why, expected) << name;
    }
}

TEST(BuilderPictures, NearestPowersOfTwo) {
    const std::pair<int, int> sides[] = {{1, 1}, {2, 2}, {3, 4}, {5, 4}, {6, 8}, {127, 128}, {191, 128}, {192, 256},
                                         {300, 256}, {5000, 4096}, {100000, 4096}};
    for (const auto& [side, expected] : sides) EXPECT_EQ(nearestPowerOfTwo(side), expected) << side;
}

}  // namespace
