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
// Then whole frames, the long way and with the frame's shortcuts side by side in one run
// (FrameShortcuts; see BM_WholeFrameAtScale): on the generated worlds of
// tests/render/scale_world.h (250 cells, 100k wall triangles; 1M as well with
// BENCH_HUGE_WORLDS=1), a view with many cells in it and one with one, culling on and off,
// and over the sample world's demo (BM_SampleDemoCpu; BENCH_DEMO_FRAMES=N plays its first
// N frames only); and the frames before any shortcut and with all of them in strict
// alternation (BM_PairedFramesAtScale), whose ratio the machine's load moves least.
//
// The offscreen driver rasterises on the benchmark's own thread (LP_NUM_THREADS=0 unless
// set otherwise), so the thread's CPU time holds all of a frame's work: fps_cpu (frames
// per CPU second) is the figure to compare on a machine shared with other work, fps
// (frames per second of wall time) the one a player would see on an idle machine.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
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
#include "render/scale_world.h"
#include "render/world_fixture.h"
#include "assets/box_model.h"
#include "assets/chunk_writer.h"
#include "input/input.h"
#include "platform/platform.h"
#include "world/init.h"
#include "world/settings.h"

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

// The generated world last loaded, kept for the next benchmark that asks for the same
// (building the 1M world takes a while).
struct LoadedScaleWorld {
    int openings = -1;
    int64_t triangles = 0;
};
LoadedScaleWorld loadedScaleWorld;

bool loadScaleWorld(scaleworld::Openings openings, int64_t triangles) {
    if (loadedScaleWorld.openings == int(openings) && loadedScaleWorld.triangles == triangles) return true;
    if (loadedScaleWorld.openings >= 0) {
        scaleworld::releaseModels();
        releaseWorld();
    }
    testgl::startState();
    testworld::reset();
    scaleworld::build(openings, triangles);
    scaleworld::upload();
    loadedScaleWorld = LoadedScaleWorld{int(openings), triangles};
    return true;
}

void forgetScaleWorld() {
    if (loadedScaleWorld.openings < 0) return;
    scaleworld::releaseModels();
    releaseWorld();
    loadedScaleWorld = LoadedScaleWorld{};
}

void BM_FrameCpu(benchmark::State& state) {
    const World world = World(state.range(0));
    forgetScaleWorld();
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
    state.counters["walls_marked"] = double(markedWallCount());
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
    forgetScaleWorld();
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

// --- Whole frames at scale, the long way and with the frame's shortcuts -------------
//
// One frame per iteration through the engine's frame step (control step, selection pass,
// collision, walk, list compile, drawing, stencil windows), waited for with glFinish; the
// time reported is the thread's CPU time of the frame (the rasteriser runs on it), and
// ns_per_visible_triangle that time over the wall triangles the frame drew. path 0 is the
// frame as it was before any shortcut (every one off), 1 every shortcut on; 2 to 6 one
// alone: the selection test, the stencil scissor, the kept walk, the selection pass from
// a vertex array (path 5 is thus the long way as main draws it since that change), the
// render pass without the triangles that cover no pixel (6) and without the placed models
// wholly out of view (7), the stencil entries' first pass without colour (8).

FrameShortcuts shortcutsFor(int path) {
    if (path == 1) return FrameShortcuts{};
    FrameShortcuts s;
    s.nameOnlyHittable = path == 2;
    s.scissorStencil = path == 3;
    s.reuseWalk = path == 4;
    s.nameFromArray = path == 5;
    s.drawOnlyCovering = path == 6;
    s.drawOnlyVisibleObjects = path == 7;
    s.depthOnlyFirstPass = path == 8;
    return s;
}

void drainQuitMessages() {
    platform::Message message;
    while (platform::peekMessage(message)) platform::getMessage(message);
}

// One frame through frameStep; its CPU seconds, from before its control step to after
// glFinish. The batch is ended after that frame by setting the frame limit once it is
// drawn: a limit set beforehand would make it the run's last frame, whose pixels the
// engine reads back for a screenshot, which no frame of play pays for.
double timedFrame() {
    double start = 0, took = 0;
    betweenFrames = [&start] { start = threadCpuSeconds(); };
    frameTimeObserver = [&took, &start](double) {
        took = threadCpuSeconds() - start;
        frameLimit = framesDrawn;
    };
    frameLimit = 0;
    frameStep();
    betweenFrames = nullptr;
    frameTimeObserver = nullptr;
    frameLimit = 0;
    drainQuitMessages();
    return took;
}

// A generated world in the GL context, seen from `view` with `culling`; false (the run
// marked skipped) without a context.
bool lookAtScaleWorld(benchmark::State& state, scaleworld::Openings openings, int64_t triangles,
                      scaleworld::View view, int culling) {
    if (!openContext()) {
        state.SkipWithError("no headless GL context");
        return false;
    }
    loadScaleWorld(openings, triangles);
    scaleworld::placeEye(openings, view);
    portalCulling = culling;
    return true;
}

void BM_WholeFrameAtScale(benchmark::State& state, scaleworld::Openings openings, int64_t triangles) {
    const auto view = scaleworld::View(state.range(0));
    const int culling = int(state.range(1));
    const int path = int(state.range(2));
    if (!lookAtScaleWorld(state, openings, triangles, view, culling)) return;
    frameShortcuts = shortcutsFor(path);
    timedFrame();  // the first frame of a world pays for its lists
    double cpu = 0;
    rusage usageBefore{}, usageAfter{};
    getrusage(RUSAGE_THREAD, &usageBefore);
    for (auto _ : state) {
        const double took = timedFrame();
        cpu += took;
        state.SetIterationTime(took);
    }
    getrusage(RUSAGE_THREAD, &usageAfter);
    state.counters["page_faults"] = double(usageAfter.ru_minflt - usageBefore.ru_minflt) / double(state.iterations());
    const double frames = double(state.iterations());
    state.counters["visible_triangles"] = double(frameCounts.wallsDrawn);
    state.counters["ns_per_visible_triangle"] =
        frameCounts.wallsDrawn > 0 ? cpu / frames / frameCounts.wallsDrawn * 1e9 : 0;
    state.counters["cells_entered"] = double(frameCounts.cellsVisited);
    state.counters["walls_total"] = double(polygonCount);
    frameShortcuts = FrameShortcuts{};
}

void registerFramesAtScale(const char* name, scaleworld::Openings openings, int64_t triangles) {
    auto* b = benchmark::RegisterBenchmark(name, BM_WholeFrameAtScale, openings, triangles);
    b->ArgNames({"view", "culling", "path"});
    for (const int view : {scaleworld::manyVisible, scaleworld::fewVisible})
        for (const int path : {0, 5, 1}) b->Args({view, 1, path});
    // Culling off draws the whole world whatever the eye sees: one view will do.
    for (const int path : {0, 5, 1}) b->Args({scaleworld::manyVisible, 0, path});
    // What each shortcut gives on its own, where the visible set is large.
    if (openings == scaleworld::wideOpening && triangles <= 100000)
        for (const int path : {2, 3, 4, 6, 7}) b->Args({scaleworld::manyVisible, 1, path});
    // The frames before any shortcut spread most from run to run on a shared machine: five
    // repetitions where they are quick enough, three on the 1M worlds.
    b->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(triangles > 100000 ? 1.0 : 0.3)
        ->Repetitions(triangles > 100000 ? 3 : 5)->ReportAggregatesOnly(true);
}

// The frame before any shortcut (path 0) and with every one (path 1) in strict
// alternation, one pair per iteration, on the same world and view: a change in the
// machine's load that lasts longer than a pair falls on both, so the medians' ratio
// (speedup) holds still where separate runs of the two spread by a quarter. The time
// reported is the pair's.
void BM_PairedFramesAtScale(benchmark::State& state, scaleworld::Openings openings, int64_t triangles) {
    if (!lookAtScaleWorld(state, openings, triangles, scaleworld::View(state.range(0)), 1)) return;
    std::vector<double> before, after;
    for (const int path : {0, 1}) {  // each path's first frame pays for its lists
        frameShortcuts = shortcutsFor(path);
        timedFrame();
    }
    for (auto _ : state) {
        frameShortcuts = shortcutsFor(0);
        before.push_back(timedFrame());
        frameShortcuts = shortcutsFor(1);
        after.push_back(timedFrame());
        state.SetIterationTime(before.back() + after.back());
    }
    frameShortcuts = FrameShortcuts{};
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v.empty() ? 0.0 : v[v.size() / 2];
    };
    const double b = median(before), a = median(after);
    state.counters["ms_before"] = b * 1e3;
    state.counters["ms_after"] = a * 1e3;
    state.counters["speedup"] = a > 0 ? b / a : 0;
    state.counters["visible_triangles"] = double(frameCounts.wallsDrawn);
    state.counters["cells_entered"] = double(frameCounts.cellsVisited);
}

void registerPairedFrames(const char* name, scaleworld::Openings openings, int64_t triangles) {
    auto* b = benchmark::RegisterBenchmark(name, BM_PairedFramesAtScale, openings, triangles);
    b->ArgName("view")->Arg(scaleworld::manyVisible);
    b->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(triangles > 100000 ? 3.0 : 1.0)->Repetitions(3)
        ->ReportAggregatesOnly(true);
}

// The sample world's demo played from its start, the whole of it (or its first
// BENCH_DEMO_FRAMES frames) per iteration: the CPU seconds of all its frames.
void BM_SampleDemoCpu(benchmark::State& state) {
    const int path = int(state.range(0));
    if (!openContext()) {
        state.SkipWithError("no headless GL context");
        return;
    }
    forgetScaleWorld();
    long limit = 0;
    if (const char* frames = std::getenv("BENCH_DEMO_FRAMES")) limit = std::atol(frames);
    const std::string folder = std::string(SOURCE_DIR) + "/worlds/sample";
    double cpu = 0;
    int64_t frames = 0;
    for (auto _ : state) {
        testgl::startState();
        testworld::reset();
        char back[4096];
        std::FILE* demo = nullptr;
        if (!getcwd(back, sizeof back) || chdir(folder.c_str()) != 0 || initWorldFrom("map.m") != 0 ||
            !(demo = std::fopen("demo.dem", "rb")) || chdir(back) != 0) {
            state.SkipWithError("the sample world could not be loaded");
            if (demo) std::fclose(demo);
            return;
        }
        playDemoStream(demo);
        PLAYDEMO = 1;
        frameShortcuts = shortcutsFor(path);
        double took = 0;
        int64_t played = 0;
        while (!demoPlaybackEnded() && (limit <= 0 || played < limit)) {
            took += timedFrame();
            ++played;
        }
        state.SetIterationTime(took);
        cpu += took;
        frames += played;
        playDemoStream(nullptr);
        PLAYDEMO = 0;
        std::fclose(demo);
        releaseWorld();
    }
    state.counters["frames"] = double(frames) / double(state.iterations());
    state.counters["ms_per_frame"] = frames > 0 ? cpu / double(frames) * 1e3 : 0;
    frameShortcuts = FrameShortcuts{};
}
// Its saving is a few per cent of a frame that is nearly all pixels, under a noise of
// several: five whole demos a path.
BENCHMARK(BM_SampleDemoCpu)->ArgName("path")->Arg(0)->Arg(5)->Arg(1)->Iterations(1)->UseManualTime()
    ->Repetitions(5)->Unit(benchmark::kMillisecond)->ReportAggregatesOnly(true);

}  // namespace

// The repetitions run in random order, so a change in the machine's load falls on culling
// on and off alike; compare the medians. Flags given on the command line come after this
// one and win.
int main(int argc, char** argv) {
    static char interleave[] = "--benchmark_enable_random_interleaving=true";
    std::vector<char*> args(argv, argv + argc);
    args.insert(args.begin() + 1, interleave);
    int count = int(args.size());
    registerFramesAtScale("BM_WholeFrameAtScale/100k_8_openings", scaleworld::manyOpenings, 100000);
    registerFramesAtScale("BM_WholeFrameAtScale/100k_wide_opening", scaleworld::wideOpening, 100000);
    registerPairedFrames("BM_PairedFramesAtScale/100k_wide_opening", scaleworld::wideOpening, 100000);
    // The 1M worlds take a few seconds a frame with culling off: only when asked for.
    if (const char* huge = std::getenv("BENCH_HUGE_WORLDS"); huge && huge[0] == '1') {
        registerFramesAtScale("BM_WholeFrameAtScale/1M_8_openings", scaleworld::manyOpenings, 1000000);
        registerFramesAtScale("BM_WholeFrameAtScale/1M_wide_opening", scaleworld::wideOpening, 1000000);
        registerPairedFrames("BM_PairedFramesAtScale/1M_wide_opening", scaleworld::wideOpening, 1000000);
    }
    benchmark::Initialize(&count, args.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
