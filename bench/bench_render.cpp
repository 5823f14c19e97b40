// The renderer side by side on two generated worlds:
//  (a) open: 250 cells all in view, a placed model in each, 20 stencil windows
//      (bench/open_world.h), written out as a map with a .3ds model and loaded the way
//      the engine loads a world;
//  (b) corridor: 250 rooms along a winding corridor, where a few rooms are in view.
// For each: one frame's CPU work of the walk and the visible-wall lists (both passes,
// no GL), and headless frames per second at 640 x 480 (BENCH_FRAME_SIZE=WxH for another
// size) with portal culling on (1) and off from the start (0, as --no-culling); for the
// open world also switched off after a walk (2, as Shift+Q).
//
// The offscreen driver rasterises on the benchmark's own thread (LP_NUM_THREADS=0 unless
// set otherwise), so the thread's CPU time holds all of a frame's work: fps_cpu (frames
// per CPU second) is the figure to compare on a machine shared with other work, fps
// (frames per second of wall time) the one a player would see on an idle machine.
#include <benchmark/benchmark.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "open_world.h"
#include "render/gl_fixture.h"
#include "render/map_writer.h"
#include "render/world_fixture.h"
#include "support/box_model.h"
#include "support/chunk_writer.h"
#include "world/init.h"

namespace {

// The engine's default window, or BENCH_FRAME_SIZE=WxH (the renderer's tests use 160x120).
int frameWidth = 640, frameHeight = 480;

enum World { openWorld = 0, corridorWorld = 1 };

std::string madeFolder;
void removeMadeFolder() {
    std::error_code ignored;
    if (!madeFolder.empty()) std::filesystem::remove_all(madeFolder, ignored);
}

// The open world as files in a folder of its own, made once per run, removed at exit.
std::string openWorldFolder() {
    static std::string folder;
    if (!folder.empty()) return folder;
    std::string pattern = (std::filesystem::temp_directory_path() / "bench_open_world_XXXXXX").string();
    if (!mkdtemp(pattern.data())) return "";
    madeFolder = pattern;
    std::atexit(removeMadeFolder);
    const std::string dir = pattern + "/";
    testworld::reset();
    const char* names[] = {"floor.bmp", "wall.bmp", "room.bmp"};
    const uint8_t colours[3][3] = {{90, 90, 100}, {170, 140, 110}, {60, 90, 200}};
    for (int i = 0; i < 3; ++i) {
        std::snprintf(textures[i].fileName, nameFieldSize, "%s", names[i]);
        testworld::writeSolidBmp(dir + names[i], 16, 16, colours[i][0], colours[i][1], colours[i][2]);
    }
    textureCount = 3;
    testworld::writeSolidBmp(dir + "crate.bmp", 16, 16, 200, 150, 40);
    openworld::build();
    const bool ok = testworld::writeMap(dir + "map.m", "box.3ds") &&
                    chunkwriter::writeFile(dir + "box.3ds", boxmodel::boxModel3ds(1, "crate.bmp"));
    testworld::reset();
    folder = ok ? dir : "";
    return folder;
}

// Loads a world into the tables (and, with a GL context, its textures and lists); the eye
// where each world is looked at from.
bool loadWorld(World world) {
    testworld::reset();
    if (world == corridorWorld) {
        testworld::buildCorridor(250);
        testworld::placeEye(0, 2);
        return true;
    }
    const std::string dir = openWorldFolder();
    char back[4096];
    if (dir.empty() || !getcwd(back, sizeof back) || chdir(dir.c_str()) != 0) return false;
    const bool loaded = initWorldFrom("map.m") == 0;
    const bool returned = chdir(back) == 0;
    openworld::placeEye();
    return loaded && returned;
}

// The one GL context of the run; the driver's threads are settled when it opens.
bool openContext() {
    setenv("LP_NUM_THREADS", "0", 0);
    int w = 0, h = 0;
    const char* size = std::getenv("BENCH_FRAME_SIZE");
    if (size && std::sscanf(size, "%dx%d", &w, &h) == 2 && w > 0 && h > 0 && w <= 4096 && h <= 4096) {
        frameWidth = w;
        frameHeight = h;
    }
    const std::string& problem = testgl::ensureContext(frameWidth, frameHeight);
    if (!problem.empty()) std::fprintf(stderr, "no headless GL context: %s\n", problem.c_str());
    return problem.empty();
}

void BM_FrameCpu(benchmark::State& state) {
    const World world = World(state.range(0));
    if (!openContext() || !loadWorld(world)) {
        state.SkipWithError("the world could not be loaded");
        return;
    }
    portalCulling = 1;
    TriangleBatch selection, render;
    for (auto _ : state) {
        collectVisibleWalls(selection);  // selection pass
        resolveCollisions(nullptr, 0, 0);
        collectVisibleWalls(render);     // render pass
        benchmark::DoNotOptimize(render.position.data());
    }
    state.counters["cells_entered"] = double(visitedCount);
    state.counters["stencil_entries"] = double(stencilPortalCount);
    state.counters["walls_marked"] = double(markedPolygons.size());
    state.counters["walls_total"] = double(polygonCount);
    state.counters["objects"] = double(placedObjectCount);
    releaseWorld();
}
BENCHMARK(BM_FrameCpu)->ArgName("world")->Arg(openWorld)->Arg(corridorWorld)->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)->ReportAggregatesOnly(true);

ImageRecord solid(uint8_t r, uint8_t g, uint8_t b) {
    ImageRecord image;
    image.width = image.height = 4;
    for (int i = 0; i < 16; ++i) image.pixels.insert(image.pixels.end(), {r, g, b});
    return image;
}

double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// One batch of frames (frameStep) per iteration: control step, selection pass,
// collision, render pass, waited for with glFinish.
void BM_HeadlessFrames(benchmark::State& state) {
    const World world = World(state.range(0));
    if (!openContext()) {
        state.SkipWithError("no headless GL context");
        return;
    }
    testgl::startState();  // as start-up leaves it, before the world is loaded
    if (!loadWorld(world)) {
        state.SkipWithError("the world could not be loaded");
        return;
    }
    if (world == corridorWorld) {
        textures[textureCount++].image = std::make_unique<ImageRecord>(solid(200, 60, 60));
        textures[textureCount++].image = std::make_unique<ImageRecord>(solid(60, 60, 200));
        uploadTextures();
    }
    // culling 2: switched off after a batch with it on, as Shift+Q does: the marks and the
    // stencil list of the last walk stay, so the same models and windows are drawn as
    // with culling on, and only the walk and the lists differ.
    const int mode = int(state.range(1));
    portalCulling = mode == 0 ? 0 : 1;
    frameStep();  // the first batch pays for compiling shaders
    glFinish();
    if (mode == 2) portalCulling = 0;
    int64_t frames = 0;
    const auto wallStart = std::chrono::steady_clock::now();
    const double cpuStart = threadCpuSeconds();
    for (auto _ : state) {
        const int32_t before = framesDrawn;
        frameStep();
        glFinish();
        frames += framesDrawn - before;
    }
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - wallStart;
    state.counters["fps"] = double(frames) / wall.count();
    state.counters["fps_cpu"] = double(frames) / (threadCpuSeconds() - cpuStart);
    state.counters["objects_drawn"] = double(frameCounts.objectsDrawn);
    state.counters["stencil_drawn"] = double(frameCounts.stencilPortals);
    state.counters["cells_entered"] = double(viewedCellCount);
    state.counters["walls_total"] = double(polygonCount);
    releaseWorld();
}
BENCHMARK(BM_HeadlessFrames)
    ->ArgNames({"world", "culling"})
    ->Args({openWorld, 1})->Args({openWorld, 0})->Args({openWorld, 2})
    ->Args({corridorWorld, 1})->Args({corridorWorld, 0})
    ->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.5)->Repetitions(9)->ReportAggregatesOnly(true);

}  // namespace

// The repetitions run in random order, so a change in the machine's load falls on culling
// on and off alike; compare the medians. Flags given on the command line come after this
// one and win.
int main(int argc, char** argv) {
    static char interleave[] = "--benchmark_enable_random_interleaving=true";
    std::vector<char*> args(argv, argv + argc);
    args.insert(args.begin() + 1, interleave);
    int count = int(args.size());
    benchmark::Initialize(&count, args.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
