// One frame's CPU work of the renderer (the walk and the visible-wall lists of both
// passes, no GL) on generated corridors of 10, 50 and 250 rooms; and the frame rate of
// headless frames on the 250-room corridor with portal culling on and off, side by side.
#include <benchmark/benchmark.h>

#include <memory>

#include "render/gl_fixture.h"
#include "render/world_fixture.h"
#include "world/init.h"

namespace {

// Eye in the first room, looking down the corridor.
void buildWorld(int rooms) {
    testworld::reset();
    testworld::buildCorridor(rooms);
    testworld::placeEye(0, 2);
}

void BM_FrameCpu(benchmark::State& state) {
    buildWorld(int(state.range(0)));
    portalCulling = int32_t(state.range(1));
    TriangleBatch selection, render;
    for (auto _ : state) {
        collectVisibleWalls(selection);  // selection pass
        resolveCollisions(nullptr, 0, 0);
        collectVisibleWalls(render);     // render pass
        benchmark::DoNotOptimize(render.position.data());
    }
    state.counters["cells_entered"] = double(visitedCount);
    state.counters["walls_sent"] = double(render.polygon.size());
    state.counters["walls_total"] = double(polygonCount);
}
BENCHMARK(BM_FrameCpu)
    ->ArgNames({"rooms", "culling"})
    ->Args({10, 1})->Args({50, 1})->Args({250, 1})
    ->Args({10, 0})->Args({50, 0})->Args({250, 0});

ImageRecord solid(uint8_t r, uint8_t g, uint8_t b) {
    ImageRecord image;
    image.width = image.height = 4;
    for (int i = 0; i < 16; ++i) image.pixels.insert(image.pixels.end(), {r, g, b});
    return image;
}

// One batch of frames (frameStep) per iteration: control step, selection pass,
// collision, render pass, read by the offscreen surface's rasteriser.
void BM_HeadlessFrames(benchmark::State& state) {
    if (!testgl::ensureContext()) {
        state.SkipWithError("no headless GL context");
        return;
    }
    buildWorld(250);
    textures[textureCount++].image = std::make_unique<ImageRecord>(solid(200, 60, 60));
    textures[textureCount++].image = std::make_unique<ImageRecord>(solid(60, 60, 200));
    uploadTextures();
    testgl::fixedState();
    portalCulling = int32_t(state.range(0));
    int64_t frames = 0;
    for (auto _ : state) {
        const int32_t before = framesDrawn;
        frameStep();
        glFinish();
        frames += framesDrawn - before;
    }
    state.counters["fps"] = benchmark::Counter(double(frames), benchmark::Counter::kIsRate);
    state.counters["walls_total"] = double(polygonCount);
    glDeleteTextures(textureCount, textureNames);
}
BENCHMARK(BM_HeadlessFrames)->ArgName("culling")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)
    ->UseRealTime()->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
