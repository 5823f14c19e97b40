// The bundled sample world as a new user first sees it: in a real X11 window, pictured
// from outside the engine, and its demo, which shows every room and every window.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "world/map.h"
#include "world/world.h"

namespace {

const std::string sampleWorld = std::string(SOURCE_DIR) + "/worlds/sample";

std::string tempPath(const std::string& name) { return testing::TempDir() + std::to_string(getpid()) + "_" + name; }

// Under xvfb-run the engine opens a window titled as the engine is; import, an outside
// program, finds it by that title and pictures it. The picture is the sample world's
// first view: the same, within a little colour fuzz, as the engine's own headless
// screenshot of the unmoved camera, and certainly not a blank.
TEST(SampleWorldWindow, PictureTakenFromOutsideShowsTheWorld) {
    const std::string shot = tempPath("window.png"), reference = tempPath("reference.png");
    std::string output;
    ASSERT_EQ(runCommand(std::string(ENGINE_BINARY) + " --headless --frames 5 --screenshot " + reference + " " +
                      sampleWorld + " 2>/dev/null",
                  output),
              0);
    ASSERT_EQ(runCommand("xvfb-run -a -s '-screen 0 1024x768x24' sh " + std::string(SOURCE_DIR) +
                      "/tests/app/x11_window_shot.sh " + ENGINE_BINARY + " " + sampleWorld + " " + shot + " 2>&1",
                  output),
              0)
        << output;
    ASSERT_EQ(runCommand("identify -format '%w %h %k' " + shot, output), 0);
    int width = 0, height = 0, colours = 0;
    ASSERT_EQ(std::sscanf(output.c_str(), "%d %d %d", &width, &height, &colours), 3) << output;
    EXPECT_EQ(width, 800);
    EXPECT_EQ(height, 600);
    EXPECT_GT(colours, 500) << "a blank or nearly blank window";
    // compare prints the number of pixels that differ by more than the fuzz.
    runCommand("compare -metric AE -fuzz 5% " + shot + " " + reference + " null: 2>&1", output);
    EXPECT_LT(std::stol(output), 800L * 600 / 100) << "more than 1% of the pixels differ from the engine's own picture";
    std::remove(shot.c_str());
    std::remove(reference.c_str());
}

// For each cell of the sample map, whether it holds a stencil window. A window is told
// from the frame file only by the cell the eye stands in, so each cell may hold one.
std::vector<bool> cellsWithAWindow() {
    resetWorld();
    MapResolvers resolvers;
    resolvers.buildModel = [](const char*) { return 0; };
    std::string error;
    EXPECT_TRUE(loadMap((sampleWorld + "/map.m").c_str(), resolvers, error)) << error;
    std::vector<bool> window(size_t(cellCount), false);
    for (int c = 0; c < cellCount; ++c) {
        int windows = 0;
        for (int k = 0; k < cells[c].portalCount; ++k) windows += cells[c].portalKind[k] == 1;
        EXPECT_LE(windows, 1) << "cell " << c << ": two windows cannot be told apart here";
        window[size_t(c)] = windows > 0;
    }
    resetWorld();
    return window;
}

// The bundled demo, played headless, stands in every cell at some frame (the cell
// without portals among them) and, standing in each cell that holds a window, draws a
// stencil window at some frame.
TEST(SampleWorldDemo, StandsInEveryCellAndLooksThroughEveryWindow) {
    const std::vector<bool> window = cellsWithAWindow();
    ASSERT_GE(window.size(), 10u);
    const std::string csv = tempPath("demo.csv");
    std::string output;
    ASSERT_EQ(runCommand(std::string(ENGINE_BINARY) + " --headless --timedemo-csv " + csv + " --demo " + sampleWorld +
                      "/demo.dem " + sampleWorld + " 2>&1",
                  output),
              0)
        << output;
    std::vector<bool> stood(window.size()), lookedThrough(window.size());
    std::ifstream in(csv);
    std::string line;
    ASSERT_TRUE(std::getline(in, line));
    ASSERT_EQ(line, "frame,ms,current_cell,cells_visited,walls_drawn,objects_drawn,stencil_portals");
    long frames = 0;
    while (std::getline(in, line)) {
        long frame = 0, cell = 0, visited = 0, walls = 0, objects = 0, stencils = 0;
        double ms = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "%ld,%lf,%ld,%ld,%ld,%ld,%ld", &frame, &ms, &cell, &visited, &walls,
                              &objects, &stencils),
                  7)
            << line;
        ASSERT_EQ(frame, frames++);
        ASSERT_TRUE(cell >= 0 && size_t(cell) < window.size()) << "frame " << frame << ": the eye outside every cell";
        stood[size_t(cell)] = true;
        if (stencils > 0) lookedThrough[size_t(cell)] = true;
    }
    EXPECT_GT(frames, 1000);
    for (size_t c = 0; c < window.size(); ++c) {
        EXPECT_TRUE(stood[c]) << "the demo never stands in cell " << c;
        if (window[c]) {
            EXPECT_TRUE(lookedThrough[c]) << "the demo never looks through the window of cell " << c;
        }
    }
    std::remove(csv.c_str());
}

// The recorder plays a script live: one mouse count turns the heading by 4 tenths, so
// "turn 8" is a count of -2 in one frame; each walking frame records a forward step of
// one tenth; Escape at the end records still frames until the batch of frames ends.
TEST(DemoRecorder, RecordsWhatTheScriptHolds) {
    const std::string script = tempPath("walk.txt"), demo = tempPath("walk.dem");
    std::FILE* file = std::fopen(script.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs("turn 8  # one frame\nwalk 3\nlook -12 3\n", file);
    std::fclose(file);
    std::string output;
    ASSERT_EQ(runCommand(std::string(BUILD_DIR) + "/record_demo " + script + " " + sampleWorld + " " + demo + " 2>/dev/null",
                  output),
              0)
        << output;
    std::FILE* in = std::fopen(demo.c_str(), "rb");
    ASSERT_NE(in, nullptr);
    std::vector<unsigned char> bytes(4096);
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), in));
    std::fclose(in);
    const std::vector<unsigned char> expected = {0, 0, 0, 0xFE, 0,  0, 0, 1, 0, 0,  0, 0, 1, 0, 0,  0, 0, 1, 0, 0,
                                                 0, 0, 0, 0, 1,     0, 0, 0, 0, 1,  0, 0, 0, 0, 1};
    ASSERT_GE(bytes.size(), expected.size());
    EXPECT_EQ(std::vector<unsigned char>(bytes.begin(), bytes.begin() + long(expected.size())), expected);
    EXPECT_EQ(bytes.size() % 5, 0u);
    for (size_t i = expected.size(); i < bytes.size(); ++i) EXPECT_EQ(bytes[i], 0) << "byte " << i;
    // The recorder reports the eye after each step: three steps of 0.1 along the heading.
    EXPECT_NE(output.find("line   2: frame     4  eye   -25.00    15.30  yaw    8"), std::string::npos) << output;
    std::remove(script.c_str());
    std::remove(demo.c_str());
}

}  // namespace
