// Map loading on generated maps of 10 000, 100 000 and 1 000 000 flat polygons, beside a
// plain loop of one fscanf per value over the same file (the straightforward way to read
// this format). Loading must grow linearly with the polygon count. The loader's peak
// memory is measured in a child process against the size of the tables it fills.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "world/map.h"
#include "world/world.h"

namespace {

// One cell, one texture and `count` flat triangles, written once per size.
const std::string& generatedMap(int count) {
    static std::map<int, std::string> paths;
    auto found = paths.find(count);
    if (found != paths.end()) return found->second;
    const std::string path = "/tmp/bench_map_" + std::to_string(count) + ".m";
    std::FILE* file = std::fopen(path.c_str(), "w");
    std::fprintf(file, "99900 -1000 0 -1000 1000 10 1000 0\n99999 floor.bmp\n");
    for (int i = 0; i < count; ++i) {
        const float x = float(i % 1000) * 2.0f - 1000.0f;
        const float z = float(i / 1000 % 1000) * 2.0f - 1000.0f;
        std::fprintf(file, "99998 %.3f 0 %.3f %.3f 0 %.3f %.3f 0 %.3f 0 0 1 0 1 1\n", x, z, x + 2, z, x + 2,
                     z + 2);
    }
    std::fprintf(file, "100000\n");
    std::fclose(file);
    return paths.emplace(count, path).first->second;
}

void BM_LoadMap(benchmark::State& state) {
    const std::string& path = generatedMap(int(state.range(0)));
    MapResolvers resolvers;  // no bitmap or model files behind the names
    std::string error;
    for (auto _ : state) {
        resetWorld();
        if (!loadMap(path.c_str(), resolvers, error)) state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(polygonCount);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetComplexityN(state.range(0));
    resetWorld();
}

// Peak resident memory of one load in a fresh child, beyond what the child held before,
// against the polygon table it ends with (the other tables are fixed arrays). The
// growth of the polygon array by doubling and the file's pages in flight make up the
// difference.
void BM_LoadMapPeakMemory(benchmark::State& state) {
    const std::string& path = generatedMap(int(state.range(0)));
    double peakMb = 0, tableMb = 0;
    for (auto _ : state) {
        const ChildResult child = runInChild([&] {
            resetWorld();
            if (!resetPeakResident()) return std::string("no clear_refs");
            const long before = procStatusKilobytes("VmRSS");
            std::string error;
            if (!loadMap(path.c_str(), MapResolvers{}, error)) return error;
            const long peak = procStatusKilobytes("VmHWM") - before;
            return std::to_string(peak) + " " + std::to_string(size_t(polygonCount) * sizeof(WallPolygon));
        }, ChildOptions{120});
        long peakKb = 0;
        unsigned long long tableBytes = 0;
        if (std::sscanf(child.output.c_str(), "%ld %llu", &peakKb, &tableBytes) != 2) {
            state.SkipWithError(child.describe().c_str());
            return;
        }
        peakMb = double(peakKb) / 1024;
        tableMb = double(tableBytes) / (1024 * 1024);
    }
    state.counters["peak_MB"] = peakMb;
    state.counters["tables_MB"] = tableMb;
    state.counters["peak_per_table"] = tableMb > 0 ? peakMb / tableMb : 0;
}

// The reference: every value through its own fscanf, polygons kept in a growing array
// (amortised, which is already kinder than a copy per polygon).
void BM_FscanfPerValue(benchmark::State& state) {
    const std::string& path = generatedMap(int(state.range(0)));
    for (auto _ : state) {
        std::FILE* file = std::fopen(path.c_str(), "r");
        float tag = 0;
        float values[15];
        char name[20];
        int count = 0;
        std::vector<WallPolygon> polygons;
        while (std::fscanf(file, "%f", &tag) == 1) {
            if (tag == tagCell) {
                for (int i = 0; i < 6; ++i) std::fscanf(file, "%f", &values[i]);
                std::fscanf(file, "%d", &count);
            } else if (tag == tagTexture) {
                std::fscanf(file, "%19s", name);
            } else if (tag == tagFlatPolygon) {
                for (float& value : values) std::fscanf(file, "%f", &value);
                WallPolygon polygon{};
                for (int v = 0; v < 3; ++v) {
                    polygon.x[v] = values[3 * v];
                    polygon.y[v] = values[3 * v + 1];
                    polygon.z[v] = values[3 * v + 2];
                    polygon.s[v] = values[9 + 2 * v];
                    polygon.t[v] = values[10 + 2 * v];
                }
                polygons.push_back(polygon);
            } else {
                break;
            }
        }
        std::fclose(file);
        benchmark::DoNotOptimize(polygons.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

}  // namespace

BENCHMARK(BM_LoadMap)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Complexity();
BENCHMARK(BM_LoadMapPeakMemory)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FscanfPerValue)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
