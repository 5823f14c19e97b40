// Model display lists on a headless GL context, timed on their own: the whole model
// builder (reading the file, extracting meshes and materials, compiling one list per
// textured group) beside the toolkit's extraction alone on the same file, so the
// difference is the cost of the lists. Files: a real textured model (7 meshes, 2 000
// faces) and a generated one at the format's limit (one mesh, 64 800 faces).
#include <benchmark/benchmark.h>
#include <GL/gl.h>

#include <cstdio>
#include <string>

#include "model3ds/model3ds.h"
#include "render/gl_fixture.h"
#include "assets/model_writer.h"
#include "world/model.h"
#include "world/world.h"

namespace {

const std::string kJeep = std::string(TESTDATA_DIR) + "/models3ds/assimp-nonbsd/jeep1.3ds";

// A square grid of 181 x 181 vertices in two triangles a cell, one textured group.
const std::string& gridModel() {
    static const std::string path = [] {
        const std::string name = "/tmp/bench_world_models_grid.3ds";
        modelwriter::Mesh grid;
        grid.name = "grid";
        const int side = 181;
        for (int z = 0; z < side; ++z)
            for (int x = 0; x < side; ++x)
                grid.vertices.push_back({float(x), 0, float(z), float(x) / (side - 1), float(z) / (side - 1)});
        modelwriter::Group group{"paint", {}};
        for (int z = 0; z + 1 < side; ++z)
            for (int x = 0; x + 1 < side; ++x) {
                const uint16_t a = uint16_t(z * side + x), b = uint16_t(a + 1), c = uint16_t(a + side), d = uint16_t(c + 1);
                group.faces.push_back(uint16_t(grid.faces.size()));
                grid.faces.push_back({a, b, d});
                group.faces.push_back(uint16_t(grid.faces.size()));
                grid.faces.push_back({a, d, c});
            }
        grid.groups = {group};
        modelwriter::writeScene(name, {{"paint", "grid.bmp"}}, {grid});
        return name;
    }();
    return path;
}

// The texture entries the models name, present already: no bitmap is read while timing.
void prepareTextures() {
    resetWorld();
    findOrAddTexture("jeep1.jpg", nullptr);
    findOrAddTexture("grid.bmp", nullptr);
}

void BM_BuildModel(benchmark::State& state, const std::string* path) {
    const std::string& problem = testgl::ensureContext();
    if (!problem.empty()) {
        state.SkipWithError(("no headless GL context: " + problem).c_str());
        return;
    }
    testgl::startState();
    ResetToolkit3ds();
    prepareTextures();
    for (auto _ : state) {
        const GLuint before = glGenLists(1);
        const int32_t list = buildModel(path->c_str());
        const GLuint after = glGenLists(1);
        benchmark::DoNotOptimize(list);
        state.PauseTiming();
        glFinish();
        glDeleteLists(before, after - before + 1 + GLuint(modelListOffset));
        state.ResumeTiming();
    }
}

// What the builder asks of the toolkit, without the lists.
void BM_ExtractForModel(benchmark::State& state, const std::string* path) {
    ResetToolkit3ds();
    for (auto _ : state) {
        file3ds* file = OpenModelFile3ds(path->c_str(), "rb");
        ChunkDatabase3ds* db = nullptr;
        ResetDatabase3ds(&db);
        LoadDatabase3ds(file, db);
        NameArray3ds* names = nullptr;
        ListMeshNames3ds(db, &names);
        MeshRecord3ds* mesh = nullptr;
        MaterialRecord3ds* material = nullptr;
        for (uint32_t i = 0; i < names->count; ++i) {
            FetchMeshByIndex3ds(db, i, &mesh);
            for (const MaterialGroup3ds& group : mesh->materialGroups) {
                FreeMaterial3ds(&material);
                FetchMaterial3ds(db, group.name.c_str(), &material);
            }
        }
        benchmark::DoNotOptimize(mesh);
        FreeMaterial3ds(&material);
        FreeMesh3ds(&mesh);
        FreeNameList3ds(&names);
        FreeDatabase3ds(&db);
        CloseModelFile3ds(file);
    }
    if (errorPending3ds) state.SkipWithError("the model did not read");
}

BENCHMARK_CAPTURE(BM_BuildModel, jeep1, &kJeep)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ExtractForModel, jeep1, &kJeep)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_BuildModel, grid64k, &gridModel())->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ExtractForModel, grid64k, &gridModel())->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
