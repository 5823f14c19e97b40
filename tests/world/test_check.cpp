// The world checker on small broken worlds: each map differs from a clean two-room world
// by one mistake and must give exactly its problems, on the right lines.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "assets/bmp_writer.h"
#include "assets/model_writer.h"
#include "world/check.h"
#include "world/world.h"

namespace {

// Two rooms joined by a doorway at z = 25, portals both ways; the start (-25, 15) lies in
// room 0. Line numbers of the base map are those of this list, from 1.
const std::vector<std::string> baseMap = {
    "99900 -35 0 5 -15 6 25 1",                                                    // 1
    "  1 0  0 0 0  0 0 0  1 1 1  -27 0 25  -27 5 25  -23 5 25  -23 0 25",          // 2
    "99999 wall.bmp",                                                              // 3
    "99998 -35 0 5  -15 0 5  -15 0 25  0 0 1 0 1 1",                               // 4
    "99900 -27 0 25 -23 6 45 1",                                                   // 5
    "  0 0  0 0 0  0 0 0  1 1 1  -23 0 25  -23 5 25  -27 5 25  -27 0 25",          // 6
    "99998 -27 0 25  -23 0 25  -23 0 45  0 0 1 0 1 1",                             // 7
    "100000",                                                                      // 8
};

// A stencil portal of room 0 onto room 1, shifted and turned (a window, no passage), so no
// check but its own applies; on room 0's west wall.
std::string shiftedWindow(const std::string& corners) { return "  1 1  0 0 9  0 90 0  1 1 1  " + corners; }
// A passage on room 0's west wall that carries the eye to (-25, 35) in room 1, and the
// opening back at the same place in room 1.
const char* const westPassage = "  1 0  -10 0 -23  0 0 0  1 1 1  -35 1 10  -35 4 10  -35 4 14  -35 1 14";
const char* const passageBack = "  0 0  10 0 23  0 0 0  1 1 1  -25 1 33  -25 4 33  -25 4 37  -25 1 37";
const char* const westWall = "-35 1 10  -35 4 10  -35 4 14  -35 1 14";

struct Edit {
    int line;          // of the base map
    bool insert;       // before that line, or replace it
    std::string text;
};

struct Expected {
    int line;
    Severity severity;
    const char* fragment;
};

struct BrokenWorld {
    const char* name;
    std::vector<Edit> edits;
    std::vector<Expected> problems;
    float startX = -25;
    int maxStencil = 100;
};

void PrintTo(const BrokenWorld& world, std::ostream* out) { *out << world.name; }

const BrokenWorld brokenWorlds[] = {
    {"clean", {}, {}},
    {"start outside every cell", {}, {{0, Severity::error, "start point (500, 15"}}, 500},
    {"portal corners off one plane",
     {{1, false, "99900 -35 0 5 -15 6 25 2"}, {3, true, shiftedWindow("-35 1 10  -35 4 10  -34 4 14  -35 1 14")}},
     {{3, Severity::error, "its corners do not lie in one plane"}}},
    {"portal corners crossed",
     {{1, false, "99900 -35 0 5 -15 6 25 2"}, {3, true, shiftedWindow("-35 1 10  -35 4 14  -35 4 10  -35 1 14")}},
     {{3, Severity::error, "convex quadrilateral"}}},
    {"portal without area",
     {{1, false, "99900 -35 0 5 -15 6 25 2"}, {3, true, shiftedWindow("-35 1 10  -35 1 11  -35 1 12  -35 1 13")}},
     {{3, Severity::error, "has no area"}}},
    {"portal corner outside its cell",
     {{1, false, "99900 -35 0 5 -15 6 25 2"}, {3, true, shiftedWindow("-40 1 10  -40 4 10  -40 4 14  -40 1 14")}},
     {{3, Severity::warning, "corner 0 lies 5 outside the box of cell 0"}}},
    {"plain portal away from its neighbour",
     {{1, false, "99900 -35 0 5 -15 6 25 2"}, {3, true, std::string("  1 0  0 0 0  0 0 0  1 1 1  ") + westWall}},
     {{3, Severity::error, "does not touch the box of cell 1"},
      {3, Severity::warning, "no portal back to cell 0 through the same opening"}}},
    {"portal back to its own cell",
     {{1, false, "99900 -35 0 5 -15 6 25 2"}, {3, true, std::string("  0 0  0 0 0  0 0 0  1 1 1  ") + westWall}},
     {{3, Severity::warning, "leads back to its own cell"}}},
    {"no portal back", {{5, false, "99900 -27 0 25 -23 6 45 0"}, {6, false, ""}},
     {{2, Severity::warning, "which has no portal back to cell 0"}}},
    {"passage with its way back",
     {{1, false, "99900 -35 0 5 -15 6 25 2"}, {3, true, westPassage}, {5, false, "99900 -27 0 25 -23 6 45 2"},
      {7, true, passageBack}},
     {}},
    {"passage without its way back",
     {{1, false, "99900 -35 0 5 -15 6 25 2"}, {3, true, westPassage}},
     {{3, Severity::warning, "which has no passage back to cell 0 at the same place (shifted by 10 0 23)"}}},
    {"passage back shifted by another amount",
     {{1, false, "99900 -35 0 5 -15 6 25 2"}, {3, true, westPassage}, {5, false, "99900 -27 0 25 -23 6 45 2"},
      {7, true, "  0 0  10 0 22  0 0 0  1 1 1  -25 1 33  -25 4 33  -25 4 37  -25 1 37"}},
     {{3, Severity::warning, "which has no passage back to cell 0 at the same place"},
      {8, Severity::warning, "which has no passage back to cell 1 at the same place (shifted by -10 0 -22)"}}},
    {"passage onto no cell's box",
     {{1, false, "99900 -35 0 5 -15 6 25 2"}, {3, true, "  1 1  0 0 9  0 0 0  1 1 1  -35 1 10  -35 4 10  -35 4 14  -35 1 14"}},
     {{3, Severity::error, "passage portal 1 of cell 0: it carries the eye to (-35, 3), outside every cell's box"}}},
    {"wall triangle outside its cell", {{4, false, "99998 -35 0 5  -15 0 5  -15 0 32  0 0 1 0 1 1"}},
     {{4, Severity::warning, "wall triangle 0 of cell 0: vertex 2 lies 7 outside"}}},
    {"number that is not finite", {{4, false, "99998 -35 0 5  -15 0 5  -15 nan 25  0 0 1 0 1 1"}},
     {{4, Severity::error, "wall triangle 0 of cell 0: a vertex coordinate is not a finite number"}}},
    {"wall triangle without area", {{4, false, "99998 -35 0 5  -25 0 5  -15 0 5  0 0 1 0 1 1"}},
     {{4, Severity::warning, "wall triangle 0 of cell 0 has no area"}}},
    {"unreachable cell",
     {{8, true, "99900 100 0 100 110 6 110 1"},
      {8, true, "  0 1  0 0 9  0 90 0  1 1 1  100 1 102  100 4 102  100 4 106  100 1 106"}},
     {{8, Severity::warning, "cell 2 cannot be reached through portals from cell 0"}}},
    {"overlapping boxes", {{8, true, "99900 -30 0 35 -10 6 40 0"}},
     {{8, Severity::warning, "the box of cell 2 overlaps the box of cell 1"}}},
    {"stencil portals past the list",
     {{1, false, "99900 -35 0 5 -15 6 25 2"}, {2, true, shiftedWindow(westWall)}},
     {{2, Severity::warning, "meets portal 0 of cell 0 as stencil portal 1; a walk lists 0"}},
     -25, 0},
    {"stencil portals within the list",
     {{1, false, "99900 -35 0 5 -15 6 25 2"}, {2, true, shiftedWindow(westWall)}}, {}, -25, 1},
    {"triangle and object before the first cell",
     {{1, true, "99998 -35 0 5  -15 0 5  -15 0 25  0 0 1 0 1 1"}, {1, true, "99995 cube.3ds 0 0 0 0 0 0 -1 -1 -1 1 1 1 0"}},
     {{1, Severity::warning, "1 wall triangle before the first cell"},
      {2, Severity::warning, "placed object 0 comes before the first cell"}}},
    {"texture that does not load", {{3, false, "99999 missing.bmp"}},
     {{3, Severity::error, "texture missing.bmp does not load: Failed to open DIB file missing.bmp"}}},
    {"model that does not load", {{4, true, "99995 cut.3ds -30 0 10 0 0 0 -1 -1 -1 1 1 1 0"}},
     {{4, Severity::error, "model cut.3ds does not load: "}}},
    {"model with a texture map", {{4, true, "99995 painted.3ds -30 0 10 0 0 0 -1 -1 -1 1 1 1 0"}}, {}},
    {"model texture that does not load", {{4, true, "99995 faded.3ds -30 0 10 0 0 0 -1 -1 -1 1 1 1 0"}},
     {{4, Severity::error, "texture gone.bmp of model faded.3ds does not load: Failed to open DIB file gone.bmp"}}},
    {"model that is no 3D Studio file", {{4, true, "99995 text.3ds -30 0 10 0 0 0 -1 -1 -1 1 1 1 0"}},
     {{4, Severity::error, "model text.3ds does not load: it is no 3D Studio file"}}},
    {"model of zeros", {{4, true, "99995 zeros.3ds -30 0 10 0 0 0 -1 -1 -1 1 1 1 0"}},
     {{4, Severity::error, "model zeros.3ds does not load: it is no 3D Studio file"}}},
    {"model without a mesh", {{4, true, "99995 empty.3ds -30 0 10 0 0 0 -1 -1 -1 1 1 1 0"}},
     {{4, Severity::error, "model empty.3ds does not load: it holds no mesh, so the engine would draw nothing"}}},
    // The map's end: any number that is no tag ends it.
    {"mistyped tag with records after it",
     {{7, false, "99996 -27 0 25  -23 0 25  -23 0 45  0 0 1 0 1 1"}, {8, true, "99999 wall.bmp"}},
     {{7, Severity::warning,
       "the map ends at line 7 on 99996, which is no record tag; the 2 lines after it are not read (a mistyped tag?"}}},
    {"record a number short",
     {{7, false, "99998 -27 0 25  -23 0 25  -23 0 45  0 0 1 0 1"}, {8, true, "99998 -27 0 25  -23 0 25  -23 0 45  0 0 1 0 1 1"}},
     {{7, Severity::warning,
       "the map ends at line 8 on -27, which is no record tag; the 1 line after it is not read: the record of line 7 "
       "is cut short and took the record tag 99998 of line 8 as one of its numbers"}}},
    {"end number with only numbers after it", {{8, false, "0 1 2 3"}, {8, true, "100000"}}, {}},
    // Where the eye cannot walk: it is at 3, the selection frustum reaches a unit above and
    // below it, and the wall around an opening stops it within 0.79 of an edge.
    {"ceiling within the eye's reach", {{7, true, "99998 -27 4 25  -23 4 45  -23 4 25  0 0 1 0 1 1"}},
     {{7, Severity::warning,
       "wall triangle 1 of cell 1 is a ceiling at height 4: the selection frustum meets it within the eye's "
       "collision limit, so the eye (at height 3) cannot walk there; the ceiling must rise above 4"}}},
    {"floor within the eye's reach", {{7, false, "99998 -27 2 25  -23 2 25  -23 2 45  0 0 1 0 1 1"}},
     {{7, Severity::warning, "is a floor at height 2: the selection frustum meets it within the eye's collision "
                             "limit, so the eye (at height 3) cannot walk there; the floor must stay below 2"}}},
    {"floor and ceiling clear of the eye",
     {{7, false, "99998 -27 1.9 25  -23 1.9 25  -23 1.9 45  0 0 1 0 1 1"}, {8, true, "99998 -27 4.1 25  -23 4.1 45  -23 4.1 25  0 0 1 0 1 1"}},
     {}},
    {"doorway too low",
     {{2, false, "  1 0  0 0 0  0 0 0  1 1 1  -27 0 25  -27 3.5 25  -23 3.5 25  -23 0 25"},
      {6, false, "  0 0  0 0 0  0 0 0  1 1 1  -23 0 25  -23 3.5 25  -27 3.5 25  -27 0 25"}},
     {{2, Severity::warning, "plain portal 0 of cell 0: the eye cannot walk through it into cell 1: the selection "
                             "frustum meets the wall around the opening within the eye's collision limit; its top (at "
                             "3.5) must reach at least 3.8"},
      {6, Severity::warning, "its top (at 3.5) must reach at least 3.8"}}},
    {"doorway too narrow",
     {{2, false, "  1 0  0 0 0  0 0 0  1 1 1  -26 0 25  -26 5 25  -25 5 25  -25 0 25"},
      {6, false, "  0 0  0 0 0  0 0 0  1 1 1  -25 0 25  -25 5 25  -26 5 25  -26 0 25"}},
     {{2, Severity::warning, "it must be at least 1.6 wide (it is 1)"},
      {6, Severity::warning, "it must be at least 1.6 wide (it is 1)"}}},
    // A window of room 0's west wall onto room 1, carried back by (-8, 0, -20) onto room
    // 1's west wall at x = -27, z 30 to 34: a wall triangle there shows instead.
    {"window onto a wall without a hole",
     {{1, false, "99900 -35 0 5 -15 6 25 2"}, {2, true, std::string("  1 1  -8 0 -20  0 90 0  1 1 1  ") + westWall},
      {7, true, "99998 -27 0 25  -27 6 25  -27 0 45  0 0 1 0 1 1"}},
     {{2, Severity::warning, "stencil portal 0 of cell 0: its opening lands in cell 1 on wall triangle 1 (line 8), "
                             "which has no hole there, so the window shows that wall"}}},
    {"window onto a wall beside its landing",
     {{1, false, "99900 -35 0 5 -15 6 25 2"}, {2, true, std::string("  1 1  -8 0 -20  0 90 0  1 1 1  ") + westWall},
      {7, true, "99998 -27 0 36  -27 6 36  -27 0 45  0 0 1 0 1 1"}},
     {}},
    {"model with a corrupt face", {{4, true, "99995 broken.3ds -30 0 10 0 0 0 -1 -1 -1 1 1 1 0"}},
     {{4, Severity::error, "model broken.3ds does not load: corrupt mesh \"box\": material group \"paint\" names face 12"}}},
};

std::string mapWith(const std::vector<Edit>& edits) {
    std::string text;
    for (int line = 1; line <= int(baseMap.size()); ++line) {
        bool replaced = false;
        for (const Edit& edit : edits) {
            if (edit.line != line) continue;
            text += edit.text + "\n";
            replaced = replaced || !edit.insert;
        }
        if (!replaced) text += baseMap[size_t(line - 1)] + "\n";
    }
    return text;
}

// Runs in a folder of its own holding the textures and models the maps name.
class WorldCheck : public testing::TestWithParam<BrokenWorld> {
protected:
    void SetUp() override {
        char cwd[4096];
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        home = cwd;
        dir = testing::TempDir() + "world_check_" + std::to_string(getpid());
        ASSERT_EQ(std::system(("mkdir -p " + dir).c_str()), 0);
        ASSERT_EQ(chdir(dir.c_str()), 0);
        BmpLayout wall;
        wall.pixels = padRows({{10, 20, 30}});
        ASSERT_TRUE(writeBytes("wall.bmp", makeBmp(wall)));
        std::ifstream cube(std::string(TESTDATA_DIR) + "/models3ds/assimp/RotatingCube.3DS", std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(cube)), std::istreambuf_iterator<char>());
        ASSERT_GT(bytes.size(), 200u);
        std::ofstream("cube.3ds", std::ios::binary) << bytes;
        std::ofstream("cut.3ds", std::ios::binary) << bytes.substr(0, 200);
        std::ofstream("text.3ds", std::ios::binary) << "a model, honest\n";
        std::ofstream("zeros.3ds", std::ios::binary) << std::string(64, '\0');
        ASSERT_TRUE(modelwriter::writeScene("empty.3ds", {{"paint", "wall.bmp"}}, {}));
        using modelwriter::box;
        ASSERT_TRUE(modelwriter::writeScene("painted.3ds", {{"paint", "wall.bmp"}}, {box("box", "paint", 1, 1, 1)}));
        ASSERT_TRUE(modelwriter::writeScene("faded.3ds", {{"paint", "gone.bmp"}}, {box("box", "paint", 1, 1, 1)}));
        modelwriter::Mesh broken = box("box", "paint", 1, 1, 1);
        broken.groups[0].faces.push_back(12);
        ASSERT_TRUE(modelwriter::writeScene("broken.3ds", {{"paint", "wall.bmp"}}, {broken}));
        resetWorld();
    }
    void TearDown() override {
        resetWorld();
        ASSERT_EQ(chdir(home.c_str()), 0);
    }

    std::vector<WorldProblem> check(const std::string& text, const CheckSettings& settings) {
        std::ofstream("map.m") << text;
        MapLines lines;
        AssetFailures failures;
        std::string error;
        EXPECT_TRUE(loadMap("map.m", checkingResolvers(failures), error, &lines)) << error;
        std::vector<WorldProblem> problems = checkWorld(lines, settings);
        for (const WorldProblem& problem : assetProblems(failures, lines)) problems.push_back(problem);
        sortProblems(problems);
        return problems;
    }

    std::string home, dir;
};

TEST_P(WorldCheck, GivesExactlyTheProblemsOfTheMistake) {
    const BrokenWorld& world = GetParam();
    CheckSettings settings;
    settings.startX = world.startX;
    settings.startZ = 15;
    settings.maxStencilPortals = world.maxStencil;
    const std::vector<WorldProblem> problems = check(mapWith(world.edits), settings);
    std::string all;
    for (const WorldProblem& problem : problems) all += formatProblem("map.m", problem) + "\n";
    ASSERT_EQ(problems.size(), world.problems.size()) << all;
    for (size_t i = 0; i < problems.size(); ++i) {
        EXPECT_EQ(problems[i].line, world.problems[i].line) << all;
        EXPECT_EQ(problems[i].severity, world.problems[i].severity) << all;
        EXPECT_NE(problems[i].message.find(world.problems[i].fragment), std::string::npos) << all;
    }
}

INSTANTIATE_TEST_SUITE_P(BrokenWorlds, WorldCheck, testing::ValuesIn(brokenWorlds),
                         [](const testing::TestParamInfo<BrokenWorld>& info) {
                             std::string name;
                             for (const char* c = info.param.name; *c; ++c) name += std::isalnum(*c) ? *c : '_';
                             return name;
                         });

// A texture record without its name takes the next tag as the name, and the map ends on
// the number after it: the portal to the cell never read is refused, and the refusal
// points at the record cut short, not at the portal.
TEST(WorldCheckEarlyEnd, ARefusalCausedByAnEarlyEndNamesTheRecordCutShort) {
    const std::string path = testing::TempDir() + "early_end_" + std::to_string(getpid()) + ".m";
    {
        std::ofstream map(path);
        for (size_t i = 0; i < baseMap.size(); ++i) map << (i == 2 ? "99999" : baseMap[i]) << "\n";
    }
    resetWorld();
    MapLines lines;
    std::string error;
    MapResolvers resolvers;
    EXPECT_FALSE(loadMap(path.c_str(), resolvers, error, &lines));
    EXPECT_EQ(lines.refusedLine, 3);
    EXPECT_NE(error.find(": line 3: the map ends at line 4 on -35, which is no record tag; the 4 lines after it are "
                         "not read: the record of line 3 is cut short and took the record tag 99998 of line 4"),
              std::string::npos)
        << error;
    EXPECT_NE(error.find("so portal 0 of cell 0 leads to cell 1, which does not exist"), std::string::npos) << error;
    resetWorld();
    std::remove(path.c_str());
}

TEST(WorldCheckFormat, ReadsAsACompilerMessage) {
    EXPECT_EQ(formatProblem("w/map.m", {12, Severity::error, "bad"}), "w/map.m:12: error: bad");
    EXPECT_EQ(formatProblem("map.m", {0, Severity::warning, "odd"}), "map.m: warning: odd");
}

}  // namespace
