// The timedemo's frame times and per-frame file, the start-up switches and the demo
// files named on the command line, on a small world whose counts are known.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/timedemo.h"
#include "render/map_writer.h"
#include "render/world_fixture.h"
#include "assets/box_model.h"
#include "support/child_process.h"
#include "assets/chunk_writer.h"

namespace {

TEST(FrameTimes, PercentilesAreTheNearestRank) {
    struct Case {
        const char* name;
        std::vector<float> times;
        double p50, p95, p99, worst;
    };
    std::vector<float> hundred, sixty, mostlyFast, fewSlow;
    for (int i = 100; i >= 1; --i) hundred.push_back(float(i));  // out of order
    for (int i = 1; i <= 60; ++i) sixty.push_back(float(i));
    for (int i = 0; i < 990; ++i) mostlyFast.push_back(1);
    fewSlow = mostlyFast;
    for (int i = 0; i < 10; ++i) mostlyFast.push_back(50);
    for (int i = 0; i < 11; ++i) fewSlow.push_back(50);
    fewSlow.erase(fewSlow.begin());
    const Case cases[] = {
        {"1 to 100", hundred, 50, 95, 99, 100},
        // 95 % of 60 is exactly 57: the 57th, with no rounding up to the 58th.
        {"1 to 60", sixty, 30, 57, 60, 60},
        {"three", {30, 10, 20}, 20, 30, 30, 30},
        {"one", {7}, 7, 7, 7, 7},
        {"none", {}, 0, 0, 0, 0},
        {"ten slow in a thousand: the 99th is still fast", mostlyFast, 1, 1, 1, 50},
        {"eleven slow in a thousand: the 99th is slow", fewSlow, 1, 1, 50, 50},
    };
    for (const Case& c : cases) {
        const FrameTimeSummary s = summariseFrameTimes(c.times, 2.0);
        EXPECT_EQ(s.frames, int64_t(c.times.size())) << c.name;
        EXPECT_EQ(s.p50, c.p50) << c.name;
        EXPECT_EQ(s.p95, c.p95) << c.name;
        EXPECT_EQ(s.p99, c.p99) << c.name;
        EXPECT_EQ(s.worst, c.worst) << c.name;
        EXPECT_DOUBLE_EQ(s.framesPerSecond, double(c.times.size()) / 2.0) << c.name;
    }
    EXPECT_EQ(summariseFrameTimes({5}, 0).framesPerSecond, 0);
}

struct EngineRun {
    int status = -1;
    std::string output;  // standard output and standard error
};

EngineRun runEngine(const std::string& arguments) {
    EngineRun run;
    run.status = runCommand(std::string(ENGINE_BINARY) + " " + arguments + " 2>&1", run.output);
    return run;
}

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// One line of the frame-time file.
struct FrameRow {
    long frame = -1;
    double ms = -1;
    int currentCell = -2, cellsVisited = -1, wallsDrawn = -1, objectsDrawn = -1, stencilPortals = -1;
};

bool parseRow(const std::string& line, FrameRow& row) {
    char end = 0;
    return std::sscanf(line.c_str(), "%ld,%lf,%d,%d,%d,%d,%d%c", &row.frame, &row.ms, &row.currentCell,
                       &row.cellsVisited, &row.wallsDrawn, &row.objectsDrawn, &row.stencilPortals, &end) == 7;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

// The eye starts at (-25, 15) in cell 0, looking along +Z through a plain opening into
// cell 3, whose far wall has a stencil window onto cell 1 (stored far away, shown behind
// the wall). Cell 2 has no portals. Each wall is two triangles.
//   cell 0: a floor triangle          cell 3: its far wall, a box straight ahead
//   cell 1: a wall, a box             cell 2: one triangle, far away
// From the start: cells 0, 3, 1 entered; walls 1 + 2 seen directly, 1 without portals,
// 2 through the window; both boxes drawn; one window. Walking on, the eye passes into
// cell 3, which has no way back: cells 3, 1; walls 2 + 1 + 2.
class TimedemoRun : public testing::Test {
protected:
    void SetUp() override {
        if (access(ENGINE_BINARY, X_OK) != 0) GTEST_SKIP() << "no engine binary at " << ENGINE_BINARY;
        std::string pattern = testing::TempDir() + "timedemo_XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern + "/";
        writeWorld();
    }
    void TearDown() override {
        if (!dir.empty() && !HasFailure()) std::system(("rm -rf " + dir).c_str());
    }

    void writeWorld() {
        using namespace testworld;
        reset();
        ASSERT_TRUE(writeSolidBmp(dir + "stone.bmp", 8, 8, 180, 160, 120));
        ASSERT_TRUE(writeSolidBmp(dir + "moss.bmp", 8, 8, 40, 160, 60));
        std::snprintf(textures[0].fileName, nameFieldSize, "stone.bmp");
        std::snprintf(textures[1].fileName, nameFieldSize, "moss.bmp");
        textureCount = 2;
        addCell(-40, 0, -10, 20);
        addTriangle(0, {-40, 0, 0}, {-10, 0, 0}, {-10, 0, 20});
        addCell(480, 20, 520, 40);
        addWall(1, 520, 30, 480, 30);
        addObject(1, 500, 35, 0.5f);
        addPortal(1, 3, 490, 20, 510, 20);  // back the way it was seen: never followed
        addCell(300, 300, 310, 310);
        addMarker(0, 305, 305);
        addCell(-40, 20, -10, 40);
        addWall(0, -10, 38, -40, 38);
        addObject(3, -25, 30, 0.5f);
        addPortal(0, 3, -10, 20, -40, 20);
        const int k = addPortal(3, 1, -23, 37.9f, -27, 37.9f, 1);
        for (int v = 0; v < 4; ++v) cells[3].portalCornerY[v][k] = (v == 1 || v == 2) ? 4.0f : 2.0f;
        setPortalShift(3, k, {-525, 0, 15});
        ASSERT_TRUE(writeMap(dir + "map.m"));
        ASSERT_TRUE(chunkwriter::writeFile(dir + "box.3ds", boxmodel::boxModel3ds(0.5f, "moss.bmp")));
        writeIni("");
        std::string walk, turns;
        for (int i = 0; i < 120; ++i) walk += std::string("\0\0\1\0\0", 5);
        for (int i = 0; i < 60; ++i) turns += {0, 0, 1, char(i % 5 - 2), char(i % 3 - 1)};
        std::ofstream(dir + "walk.dem", std::ios::binary) << walk;
        std::ofstream(dir + "turns.dem", std::ios::binary) << turns;
    }

    void writeIni(const std::string& demoKeys) {
        std::ofstream(dir + "game.ini") << "WIDTH 160 HEIGHT 120 FULLSCREEN 0 DIRECTX 0 " << demoKeys;
    }

    // The rows of a timedemo's frame-time file, after checking its header.
    std::vector<FrameRow> frameRows(const std::string& path) {
        const std::vector<std::string> text = lines(fileBytes(path));
        std::vector<FrameRow> rows;
        EXPECT_FALSE(text.empty());
        if (text.empty()) return rows;
        EXPECT_EQ(text[0], "frame,ms,current_cell,cells_visited,walls_drawn,objects_drawn,stencil_portals");
        for (size_t i = 1; i < text.size(); ++i) {
            FrameRow row;
            EXPECT_TRUE(parseRow(text[i], row)) << text[i];
            EXPECT_EQ(row.frame, long(i - 1));
            rows.push_back(row);
        }
        return rows;
    }

    std::string dir;
};

void expectCounts(const FrameRow& row, int cell, int visited, int walls, int objects, int stencils,
                  const std::string& what) {
    EXPECT_EQ(row.currentCell, cell) << what;
    EXPECT_EQ(row.cellsVisited, visited) << what;
    EXPECT_EQ(row.wallsDrawn, walls) << what;
    EXPECT_EQ(row.objectsDrawn, objects) << what;
    EXPECT_EQ(row.stencilPortals, stencils) << what;
}

TEST_F(TimedemoRun, PlaysTheDemoAndWritesEveryFramesTimeAndCounts) {
    const EngineRun run = runEngine("--headless --timedemo-csv " + dir + "frames.csv --demo " + dir + "walk.dem " + dir);
    ASSERT_EQ(run.status, 0) << run.output;
    long long frames = 0;
    double seconds = 0, fps = 0, p50 = 0, p95 = 0, p99 = 0, worst = 0;
    const size_t at = run.output.find("timedemo frames=");
    ASSERT_NE(at, std::string::npos) << run.output;
    ASSERT_EQ(std::sscanf(run.output.c_str() + at,
                          "timedemo frames=%lld seconds=%lf fps=%lf p50_ms=%lf p95_ms=%lf p99_ms=%lf max_ms=%lf",
                          &frames, &seconds, &fps, &p50, &p95, &p99, &worst),
              7)
        << run.output;
    EXPECT_NE(run.output.find("timedemo: " + std::to_string(frames) + " frames in "), std::string::npos);
    EXPECT_EQ(frames, 120);  // one timed frame a record; the end of the demo ends the run
    EXPECT_NEAR(fps, frames / seconds, 0.01 * fps);
    EXPECT_LE(p50, p95);
    EXPECT_LE(p95, p99);
    EXPECT_LE(p99, worst);

    const std::vector<FrameRow> rows = frameRows(dir + "frames.csv");
    ASSERT_EQ(rows.size(), size_t(frames));
    expectCounts(rows.front(), 0, 3, 6, 2, 1, "first frame");
    expectCounts(rows.back(), 3, 2, 5, 2, 1, "last frame");
    int changes = 0;
    std::vector<float> times;
    for (size_t i = 0; i < rows.size(); ++i) {
        changes += i > 0 && rows[i].currentCell != rows[i - 1].currentCell;
        times.push_back(float(rows[i].ms));
    }
    EXPECT_EQ(changes, 1);
    // The summary is made of the times in the file.
    std::sort(times.begin(), times.end());
    EXPECT_NEAR(framePercentile(times, 95), p95, 0.001);
    EXPECT_NEAR(times.back(), worst, 0.001);
}

TEST_F(TimedemoRun, StartUpSwitchesShowInTheFirstFrame) {
    struct Case {
        const char* switches;
        int cell, visited, walls, objects, stencils;
    };
    const Case cases[] = {
        {"", 0, 3, 6, 2, 1},
        // Every polygon as stored plus the cells without portals; nothing was ever walked.
        {"--no-culling", -1, 0, 7, 0, 0},
        {"--no-stencil-portals", 0, 3, 4, 1, 0},
        {"--no-culling --no-stencil-portals --status", -1, 0, 7, 0, 0},
    };
    for (const Case& c : cases) {
        const EngineRun run = runEngine("--headless --frames 1 --timedemo-csv " + dir + "one.csv --demo " + dir +
                                  "walk.dem " + c.switches + " " + dir);
        ASSERT_EQ(run.status, 0) << run.output;
        const std::vector<FrameRow> rows = frameRows(dir + "one.csv");
        ASSERT_EQ(rows.size(), 1u) << c.switches;
        expectCounts(rows[0], c.cell, c.visited, c.walls, c.objects, c.stencils, c.switches);
    }
    // The status lines are drawn over the corner from the first frame.
    ASSERT_EQ(runEngine("--headless --frames 1 --screenshot " + dir + "plain.png " + dir).status, 0);
    ASSERT_EQ(runEngine("--headless --frames 1 --status --screenshot " + dir + "status.png " + dir).status, 0);
    EXPECT_NE(fileBytes(dir + "plain.png"), fileBytes(dir + "status.png"));
}

TEST_F(TimedemoRun, WithoutADemoTimesAFixedNumberOfFramesFromTheStart) {
    const EngineRun run = runEngine("--headless --timedemo --frames 7 " + dir);
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("No demo to play"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("timedemo frames=7 "), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("frames 7 camera -25.000000 3.000000 15.000000 0 1800"), std::string::npos);
}

TEST_F(TimedemoRun, AFrameFileThatCannotBeWrittenFailsTheRun) {
    for (const std::string& path : {dir + "no/such/folder/f.csv", std::string("/dev/full")}) {
        const EngineRun run = runEngine("--headless --timedemo-csv " + path + " --demo " + dir + "walk.dem " + dir);
        EXPECT_EQ(run.status, 1) << run.output;
        EXPECT_NE(run.output.find("Cannot write the frame-time file \"" + path + "\""), std::string::npos)
            << run.output;
    }
}

// --demo and --record stand for PLAYDEMO and SAVEDEMO; one file is never both played and
// recorded into, and a demo recorded while another plays is a copy of what was played.
TEST_F(TimedemoRun, DemoFilesOnTheCommandLine) {
    const std::string turns = fileBytes(dir + "turns.dem");
    struct Case {
        const char* name;
        std::string ini, arguments;
        int status;
        std::string recorded, expected;  // a file and the bytes it must hold
        const char* message;
    };
    const Case cases[] = {
        {"records live play", "", "--frames 5 --record " + dir + "rec.dem", 0, dir + "rec.dem", std::string(25, '\0'),
         ""},
        {"records what it plays", "", "--frames 30 --demo " + dir + "turns.dem --record " + dir + "copy.dem", 0,
         dir + "copy.dem", turns.substr(0, 150), ""},
        {"keeps game.ini's recording when --demo names another file", "SAVEDEMO 1 kept.dem",
         "--demo " + dir + "turns.dem", 0, dir + "kept.dem", turns, ""},
        {"refuses one file for both", "", "--demo " + dir + "turns.dem --record " + dir + "turns.dem", 1,
         dir + "turns.dem", turns, "both played and recorded"},
        {"refuses one file under two names", "PLAYDEMO 1 turns.dem", "--record " + dir + "./turns.dem", 1,
         dir + "turns.dem", turns, "both played and recorded"},
        {"refuses the played file under a name in another case", "",
         "--demo " + dir + "TURNS.DEM --record " + dir + "turns.dem", 1, dir + "turns.dem", turns,
         "both played and recorded"},
        {"names a demo that is missing", "", "--demo " + dir + "missing.dem", 1, dir + "turns.dem", turns,
         "missing.dem"},
    };
    for (const Case& c : cases) {
        writeIni(c.ini);
        const EngineRun run = runEngine("--headless " + c.arguments + " " + dir);
        EXPECT_EQ(run.status, c.status) << c.name << "\n" << run.output;
        EXPECT_TRUE(fileBytes(c.recorded) == c.expected) << c.name;
        EXPECT_NE(run.output.find(c.message), std::string::npos) << c.name << "\n" << run.output;
    }
}

}  // namespace
