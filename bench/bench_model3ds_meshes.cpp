// How reading a model grows with its meshes: a scene of N small meshes, each with its own
// material, is opened, loaded, and every mesh and the material of every group fetched,
// as the world builder does. The complexity fit should come out linear (O(N)).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

#include "model3ds/model3ds.h"
#include "assets/model_writer.h"

namespace {

// One scene file per mesh count, written on first use and removed at exit.
const std::string& sceneOf(int meshes) {
    static std::map<int, std::string> files;
    std::string& path = files[meshes];
    if (path.empty()) {
        path = (std::filesystem::temp_directory_path() /
                ("bench-meshes-" + std::to_string(getpid()) + "-" + std::to_string(meshes) + ".3ds"))
                   .string();
        std::vector<modelwriter::Material> materials;
        std::vector<modelwriter::Mesh> scene;
        for (int i = 0; i < meshes; ++i) {
            const std::string name = "m" + std::to_string(i);
            materials.push_back({name, name + ".bmp"});
            scene.push_back(modelwriter::square(name, name, 1.0f));
        }
        if (!modelwriter::writeScene(path, materials, scene)) std::fprintf(stderr, "cannot write %s\n", path.c_str());
        static const struct Cleanup {
            ~Cleanup() {
                for (const auto& entry : files) std::remove(entry.second.c_str());
            }
        } cleanup;
    }
    return path;
}

void FetchEveryMeshAndMaterial(benchmark::State& state) {
    const std::string& path = sceneOf(int(state.range(0)));
    int64_t fetched = 0;
    for (auto _ : state) {
        ResetErrors3ds();
        file3ds* file = OpenModelFile3ds(path.c_str(), "rb");
        ChunkDatabase3ds* db = nullptr;
        ResetDatabase3ds(&db);
        LoadDatabase3ds(file, db);
        NameArray3ds* names = nullptr;
        ListMeshNames3ds(db, &names);
        MeshRecord3ds* mesh = nullptr;
        MaterialRecord3ds* material = nullptr;
        for (uint32_t i = 0; names && i < names->count; ++i) {
            FetchMeshByIndex3ds(db, i, &mesh);
            for (const MaterialGroup3ds& group : mesh->materialGroups) {
                FetchMaterial3ds(db, group.name.c_str(), &material);
                ++fetched;
            }
        }
        if (errorPending3ds) state.SkipWithError("the toolkit reported an error");
        FreeMaterial3ds(&material);
        FreeMesh3ds(&mesh);
        FreeNameList3ds(&names);
        FreeDatabase3ds(&db);
        CloseModelFile3ds(file);
    }
    state.counters["materials_fetched"] = benchmark::Counter(double(fetched), benchmark::Counter::kAvgIterations);
    state.SetComplexityN(state.range(0));
}
BENCHMARK(FetchEveryMeshAndMaterial)
    ->RangeMultiplier(2)
    ->Range(2500, 80000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

}  // namespace

BENCHMARK_MAIN();
