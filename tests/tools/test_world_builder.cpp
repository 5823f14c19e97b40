// The world builder: the committed sample world is exactly what its description makes,
// bad descriptions are refused with their file and line, and what the builder writes
// reads back through the engine's own loaders.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "image/bitmap.h"
#include "model3ds/3dserr.h"
#include "model3ds/3dsfile.h"
#include "model3ds/chunk3ds.h"
#include "model3ds/dbase3ds.h"
#include "assets/bmp_writer.h"
#include "support/child_process.h"
#include "assets/chunk_writer.h"
#include "world/map.h"
#include "world/world.h"
#include "worldbuild/build.h"
#include "worldbuild/layout.h"
#include "worldbuild/models.h"
#include "worldbuild/textures.h"

namespace fs = std::filesystem;
using namespace worldbuild;

namespace {

const std::string sampleDir = std::string(SOURCE_DIR) + "/worlds/sample";

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string freshDir() {
    std::string pattern = testing::TempDir() + "builder_XXXXXX";
    return mkdtemp(pattern.data()) ? pattern : std::string();
}

// Every file the builder makes is committed as made, and nothing it would not make is
// left beside them (the description, the demo and its walk, the licences and the
// pictures the builder converts are the only other files).
TEST(SampleWorld, CommittedFilesAreExactlyWhatTheDescriptionMakes) {
    const std::string out = freshDir();
    std::string error;
    ASSERT_TRUE(buildWorld(sampleDir + "/world.txt", out, error)) << error;
    std::set<std::string> built;
    for (const auto& entry : fs::directory_iterator(out)) {
        const std::string name = entry.path().filename().string();
        built.insert(name);
        EXPECT_EQ(readFile(entry.path().string()), readFile(sampleDir + "/" + name)) << name << " differs from the build";
    }
    for (const auto& entry : fs::directory_iterator(sampleDir)) {
        const std::string name = entry.path().filename().string();
        if (name != "world.txt" && name != "demo.dem" && name != "demo.walk" && name != "LICENSES.md" &&
            name != "pictures") {
            EXPECT_TRUE(built.count(name)) << name << " is committed but not built";
        }
    }
    // A second build gives the same bytes.
    const std::string again = freshDir();
    ASSERT_TRUE(buildWorld(sampleDir + "/world.txt", again, error)) << error;
    for (const std::string& name : built) EXPECT_EQ(readFile(out + "/" + name), readFile(again + "/" + name)) << name;
}

// --- Bad descriptions ------------------------------------------------------------------

const char* const goodRooms =
    "texture t.bmp pattern tiles flavour pal4\n"                              // line 1
    "room a box -35 0 5 -15 6 25 floor t.bmp ceiling t.bmp walls t.bmp\n"   // line 2
    "room b box -28 0 25 -22 6 45 floor t.bmp ceiling t.bmp walls t.bmp\n"  // line 3
    "room c box 100 0 100 110 6 110 floor t.bmp ceiling t.bmp walls t.bmp\n";  // line 4

struct BadCase {
    const char* what;
    std::string text;
    const char* message;  // expected, after "world.txt:"
};

TEST(BuilderErrors, EachBadDescriptionIsRefusedWithItsLine) {
    const std::string rooms = goodRooms;
    const BadCase cases[] = {
        {"unknown statement", rooms + "stair a b\n", "5: unknown statement 'stair'"},
        {"unknown word", rooms + "door a b span -27 -23 hieght 4\n", "5: unknown word 'hieght' in a door statement"},
        {"value missing", rooms + "door a b span -27\n", "5: 'span' needs 2 values"},
        {"not a number", "room a box -35 0 5 -15 six 25 floor t ceiling t walls t\n", "1: 'six' is not a number"},
        {"key given twice", rooms + "door a b span -27 -23 span 1 2\n", "5: 'span' given twice"},
        {"flat box", "room a box 0 0 0 0 6 10 floor t ceiling t walls t\n", "1: box must give the lower corner first"},
        {"unknown texture", "room a box -35 0 5 -15 6 25 floor t.bmp ceiling t.bmp walls w.bmp\n",
         "1: unknown texture 't.bmp'"},
        {"unknown pattern", "texture t.bmp pattern plaid flavour pal4\n", "1: unknown pattern 'plaid'"},
        {"pixels not a power of two", "texture t.bmp pattern tiles flavour pal4 pixels 48\n",
         "1: pixels must be a power of two"},
        {"texture name too long", "texture a_rather_long_name.bmp pattern tiles flavour pal4\n",
         "1: texture name 'a_rather_long_name.bmp' is longer than 19 characters"},
        {"model texture too long", rooms + "texture thirteen_c.bmp pattern wood flavour pal8\n"
                                           "model m.3ds shape crate texture thirteen_c.bmp size 1 1\n",
         "6: a model's texture name 'thirteen_c.bmp' is longer than 12 characters"},
        {"file name leaving the folder", "texture ../t.bmp pattern tiles flavour pal4\n",
         "1: file name '../t.bmp' may hold only letters, digits, '.', '_' and '-'"},
        {"room declared twice", rooms + "room a box 200 0 0 210 6 10 floor t.bmp ceiling t.bmp walls t.bmp\n",
         "5: room 'a' is declared twice"},
        {"rooms overlap", rooms + "room d box -20 0 20 -10 6 30 floor t.bmp ceiling t.bmp walls t.bmp\n",
         "5: room 'd' overlaps room 'a' (line 2)"},
        {"start outside the first room", "texture t.bmp pattern tiles flavour pal4\n"
                                         "room a box 0 0 0 10 6 10 floor t.bmp ceiling t.bmp walls t.bmp\n",
         "2: the start point (-25, 3, 15) is not inside the first room 'a'"},
        {"doorway between rooms that do not touch", rooms + "door a c span 0 1\n",
         "5: a doorway between rooms 'a' and 'c' that do not touch"},
        {"doorway to a missing room", rooms + "door a z span 0 1\n", "5: a doorway to a missing room 'z'"},
        {"doorway beyond the shared wall", rooms + "door a b span -30 -23\n",
         "5: the doorway's span -30 to -23 leaves the wall the rooms share (-28 to -22)"},
        {"doorway above the ceiling", rooms + "door a b span -27 -23 top 7\n", "5: the doorway's top must lie above 0"},
        {"openings overlap", rooms + "door a b span -27 -23\ndoor a b span -25 -23\n", "6: this opening overlaps"},
        // The eye walks at 3; the selection frustum reaches a unit above and below it and
        // the walls around an opening stop it within 0.79 of an edge.
        {"ceiling within the eye's reach", rooms + "room d box 200 0 0 210 4 10 floor t.bmp ceiling t.bmp walls t.bmp\n",
         "5: the player cannot walk in room 'd': its ceiling at 4 is within reach of the eye (at 3); the ceiling must "
         "rise above 4"},
        {"floor within the eye's reach", rooms + "room d box 200 2 0 210 8 10 floor t.bmp ceiling t.bmp walls t.bmp\n",
         "5: the player cannot walk in room 'd': its floor at 2 is within reach of the eye (at 3); the floor must "
         "stay below 2"},
        {"doorway too low to walk through", rooms + "door a b span -27 -23 top 3.7\n",
         "5: the player cannot walk through the doorway: its top at 3.7 is within reach of the eye (at 3); the top "
         "must reach 3.8 or higher"},
        {"doorway too narrow to walk through", rooms + "door a b span -25 -23.5\n",
         "5: the player cannot walk through the doorway: it is 1.5 wide; it must be at least 1.6 wide"},
        {"window onto a missing room", rooms + "window a side -z span -27 -23 rise 2 4 onto nowhere\n",
         "5: a window onto a missing room 'nowhere'"},
        {"window in a shared wall", rooms + "window a side +z span -27 -23 rise 2 4 onto c\n",
         "5: the window lies in the wall that room 'a' shares with room 'b'"},
        {"window image off the facing wall", rooms + "window a side -z span -27 -23 rise 2 4 onto c offset 0 0 -90\n",
         "5: the window's image lies at z = 95 in room 'c', not on its +z wall at 110"},
        {"window image outside the facing wall",
         rooms + "window a side -z span -27 -23 rise 2 4 onto c offset 0 0 -105\n",
         "5: the window's image does not fit in the +z wall of room 'c'"},
        {"model outside its room", rooms + "model m.3ds shape gem texture t.bmp size 1 1\n"
                                           "place m.3ds in b at 0 0 0 box -1 0 -1 1 1 1\n",
         "6: the model stands outside room 'b'"},
        {"unknown model", rooms + "place m.3ds in b at -25 0 30 box -1 0 -1 1 1 1\n", "5: unknown model 'm.3ds': declare it before it is placed, with 'model m.3ds file PATH'"},
        {"passage onto a missing room", rooms + "passage a side -z span -27 -23 onto z side +z at 102\n",
         "5: a passage onto a missing room 'z'"},
        {"passage whose far end turns", rooms + "passage a side -z span -27 -23 onto c side -z at 102\n",
         "5: a passage only shifts, so its far end must face it: side +z of room 'c', not -z"},
        {"passage far end past the wall", rooms + "passage a side -z span -27 -23 onto c side +z at 108\n",
         "5: the passage's far end does not fit in the +z wall of room 'c'"},
        {"passage in a shared wall", rooms + "passage a side +z span -27 -23 onto c side -z at 102\n",
         "5: the passage lies in the wall that room 'a' shares with room 'b'"},
        {"passage without its far side", rooms + "passage a side -z span -27 -23 onto c at 102\n",
         "5: passage needs 'side of the far end'"},
        {"passage of bad side", rooms + "passage a side -z span -27 -23 onto c side up at 102\n",
         "5: side must be +x, -x, +z or -z, not 'up'"},
    };
    for (const BadCase& c : cases) {
        WorldDecl world;
        WorldFiles files;
        std::string error;
        const bool ok = parseDescription("world.txt", c.text, world, error) && makeWorldFiles(world, files, error);
        EXPECT_FALSE(ok) << c.what;
        EXPECT_EQ(error.rfind(std::string("world.txt:") + c.message, 0), 0u) << c.what << ": got " << error;
    }
}

// A passage opens both ends, stencil portals that only shift, each by the other's inverse,
// and the checker finds nothing wrong with them.
TEST(BuilderPassages, OpensBothEndsWithInverseShifts) {
    const std::string text = std::string(goodRooms) + "passage a side -z span -27 -23 onto c side +z at 102\n";
    WorldDecl world;
    WorldFiles files;
    std::string error;
    ASSERT_TRUE(parseDescription("world.txt", text, world, error) && makeWorldFiles(world, files, error)) << error;
    std::string map;
    for (const auto& file : files)
        if (file.first == "map.m") map.assign(file.second.begin(), file.second.end());
    // Room a's -z wall at z = 5 shows room c's +z wall at z = 110, x 102..106 at -27..-23;
    // cell 0 leads to cell 2 and cell 2 back to cell 0, both stencil portals.
    EXPECT_NE(map.find(" 2 1 -129 0 -105 0 0 0 1 1 1 -27 "), std::string::npos) << map;
    EXPECT_NE(map.find(" 0 1 129 0 105 0 0 0 1 1 1 102 "), std::string::npos) << map;
}

TEST(BuilderErrors, ProgramNamesTheDescriptionAndFailsWithStatusOne) {
    const std::string dir = freshDir();
    std::ofstream(dir + "/world.txt") << goodRooms << "door a c span 0 1\n";
    const std::string command = std::string(BUILD_DIR) + "/world_builder " + dir + "/world.txt " + dir + "/out 2>&1";
    std::string output;
    EXPECT_EQ(runCommand(command, output), 1);
    EXPECT_EQ(output.substr(0, output.find('\n') + 1),
              dir + "/world.txt:5: a doorway between rooms 'a' and 'c' that do not touch\n");
    EXPECT_FALSE(fs::exists(dir + "/out/map.m")) << "nothing is written for a refused world";
}

// --- What the builder writes, read back by the engine ------------------------------------

// Every pattern in every flavour decodes, through the engine's bitmap loader, to exactly
// the picture that was drawn.
TEST(BuilderTextures, EveryFlavourDecodesToThePictureDrawn) {
    for (const char* pattern : {"bricks", "tiles", "wood", "stone", "metal", "sky"}) {
        for (const char* flavour : {"rgb24", "pal8", "rle8", "pal4"}) {
            TextureSpec recipe;
            recipe.pattern = pattern;
            recipe.flavour = flavour;
            recipe.pixels = 32;
            defaultColour(pattern, recipe.colour);
            const std::vector<uint8_t> rgb = renderTexture(recipe);
            std::vector<uint8_t> file;
            std::string error;
            ASSERT_TRUE(encodeBmp(rgb, recipe.pixels, flavour, file, error)) << pattern << " " << flavour << ": " << error;
            const DecodeResult decoded = decodeBitmap(file.data(), file.size());
            ASSERT_TRUE(decoded.image) << pattern << " " << flavour;
            EXPECT_EQ(decoded.image->width, 32);
            EXPECT_EQ(decoded.image->height, 32);
            EXPECT_EQ(decoded.image->pixels, rgb) << pattern << " " << flavour;
        }
    }
}

TEST(BuilderTextures, RunsAndStretchesOfRle8DecodeToTheirRows) {
    // A run longer than 255, stretches of one, two and three pixels, an odd stretch that
    // needs padding, and a row of one colour.
    std::vector<std::vector<uint8_t>> rows = {std::vector<uint8_t>(300, 7),
                                              {1, 2, 2, 3, 4, 5, 5, 5, 5, 6, 8, 9, 10},
                                              std::vector<uint8_t>(300, 9)};
    rows[1].resize(300, 11);
    BmpLayout layout;
    layout.width = 300;
    layout.height = 3;
    layout.bitCount = 8;
    layout.compression = 1;
    layout.palette = rampPalette(256);
    layout.pixels = encodeRle8(rows);
    const std::vector<uint8_t> file = makeBmp(layout);
    const DecodeResult decoded = decodeBitmap(file.data(), file.size());
    ASSERT_TRUE(decoded.image) << decoded.detail;
    for (size_t y = 0; y < rows.size(); ++y)
        for (size_t x = 0; x < rows[y].size(); ++x) {
            const uint8_t* p = &decoded.image->pixels[(y * 300 + x) * 3];
            ASSERT_EQ(p[0], layout.palette[rows[y][x]][0]) << "row " << y << " pixel " << x;
        }
}

TEST(BuilderTextures, TooManyColoursForThePaletteIsRefused) {
    std::vector<uint8_t> rgb;
    for (int i = 0; i < 17 * 3; ++i) rgb.push_back(uint8_t(i / 3 * 10));
    rgb.resize(size_t(8 * 8 * 3), 0);
    std::vector<uint8_t> file;
    std::string error;
    EXPECT_FALSE(encodeBmp(rgb, 8, "pal4", file, error));
    EXPECT_EQ(error, "more than 16 colours for a pal4 palette");
    EXPECT_TRUE(encodeBmp(rgb, 8, "pal8", file, error)) << error;
}

// Each shape reads back through the model toolkit: a tree without errors, one mesh whose
// vertex, texture-coordinate and face counts agree, and a material naming the texture.
TEST(BuilderModels, EveryShapeReadsBackThroughTheToolkit) {
    const std::string dir = freshDir();
    for (const char* shape : {"crate", "pillar", "ring", "gem"}) {
        ModelSpec recipe{shape, "brass.bmp", 2, 3};
        const Mesh mesh = makeMesh(recipe);
        ASSERT_EQ(mesh.points.size() / 3, mesh.texCoords.size() / 2) << shape;
        for (const uint16_t index : mesh.faces) ASSERT_LT(index, mesh.points.size() / 3) << shape;
        const std::string path = dir + "/" + shape + ".3ds";
        ASSERT_TRUE(chunkwriter::writeFile(path, encodeModel(mesh, shape, recipe.texture)));
        ResetToolkit3ds();
        file3ds* file = OpenModelFile3ds(path.c_str(), "rb");
        ASSERT_NE(file, nullptr);
        ChunkDatabase3ds db;
        LoadDatabase3ds(file, &db);
        ASSERT_FALSE(errorPending3ds) << shape;
        ChunkNode3ds* points = nullptr;
        ChunkNode3ds* faces = nullptr;
        ChunkNode3ds* map = nullptr;
        FindChunkInTree3ds(db.topchunk, kChunkVertexList3ds, &points);
        FindChunkInTree3ds(db.topchunk, kChunkFaceList3ds, &faces);
        FindChunkInTree3ds(db.topchunk, 0xA300, &map);
        ASSERT_TRUE(points && faces && map) << shape;
        const auto* vertexData = std::get_if<VertexData3ds>(ReadChunkData3ds(points));
        ASSERT_TRUE(vertexData) << shape;
        EXPECT_EQ(vertexData->vertices.size(), mesh.points.size() / 3) << shape;
        const auto* faceData = std::get_if<FaceData3ds>(ReadChunkData3ds(faces));
        ASSERT_TRUE(faceData) << shape;
        EXPECT_EQ(faceData->faces.size(), mesh.faces.size() / 3) << shape;
        const auto* name = std::get_if<StringData3ds>(ReadChunkData3ds(map));
        ASSERT_TRUE(vertexData && faceData && name) << shape;
        EXPECT_EQ(name->text, "brass.bmp") << shape;
        EXPECT_FALSE(errorPending3ds) << shape;
        FreeChunkTree3ds(&db.topchunk);
        CloseModelFile3ds(file);
    }
}

TEST(BuilderModels, SeriesSineMatchesTheLibraryAtEveryStepTheShapesUse) {
    for (const int n : {6, 8, 24}) {
        for (int k = -n; k <= 2 * n; ++k) {
            EXPECT_NEAR(turnSine(k, n), std::sin(2 * M_PI * k / n), 1e-12) << k << "/" << n;
            EXPECT_NEAR(turnCosine(k, n), std::cos(2 * M_PI * k / n), 1e-12) << k << "/" << n;
        }
    }
}

}  // namespace
