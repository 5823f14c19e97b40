// Reading .3ds files: the largest real model in the test data into a tree, with and
// without decoding every payload, beside a plain read of the same bytes; and the cost
// per byte of hostile layouts (long sibling chains, the deepest nesting accepted).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "model3ds/model3ds.h"

namespace {

const std::string kLargest = std::string(TESTDATA_DIR) + "/models3ds/celestia/apollo.3ds";

void decodeAll(ChunkNode3ds* chunk) {
    for (; chunk; chunk = chunk->next) {
        benchmark::DoNotOptimize(ReadChunkData3ds(chunk));
        decodeAll(chunk->firstChild);
    }
}

long fileSize(const std::string& name) {
    FILE* f = std::fopen(name.c_str(), "rb");
    if (!f)
        return 0;
    std::fseek(f, 0, SEEK_END);
    const long size = std::ftell(f);
    std::fclose(f);
    return size;
}

// Opens, reads the tree, optionally decodes everything, frees, closes.
void readModel(benchmark::State& state, const std::string& name, bool decode) {
    ResetToolkit3ds();
    for (auto _ : state) {
        file3ds* file = OpenModelFile3ds(name.c_str(), "rb");
        ChunkDatabase3ds db;
        LoadDatabase3ds(file, &db);
        if (decode)
            decodeAll(db.topchunk);
        if (errorPending3ds) {
            state.SkipWithError("the model did not read");
            break;
        }
        FreeChunkTree3ds(&db.topchunk);
        CloseModelFile3ds(file);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(fileSize(name)));
}

// The floor: the same file's bytes read once through a stream.
void BM_PlainFileRead(benchmark::State& state) {
    std::vector<char> buffer(size_t(fileSize(kLargest)));
    for (auto _ : state) {
        FILE* f = std::fopen(kLargest.c_str(), "rb");
        benchmark::DoNotOptimize(std::fread(buffer.data(), 1, buffer.size(), f));
        std::fclose(f);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(buffer.size()));
}
BENCHMARK(BM_PlainFileRead)->Unit(benchmark::kMillisecond);

void BM_LoadTree(benchmark::State& state) { readModel(state, kLargest, false); }
BENCHMARK(BM_LoadTree)->Unit(benchmark::kMillisecond);

void BM_LoadTreeDecodeAll(benchmark::State& state) { readModel(state, kLargest, true); }
BENCHMARK(BM_LoadTreeDecodeAll)->Unit(benchmark::kMillisecond);

// --- Hostile layouts, written to a scratch file ---------------------------------

void put16(std::vector<uint8_t>& out, uint16_t v) { out.insert(out.end(), {uint8_t(v), uint8_t(v >> 8)}); }
void put32(std::vector<uint8_t>& out, uint32_t v) {
    put16(out, uint16_t(v));
    put16(out, uint16_t(v >> 16));
}

std::string writeScratch(const std::vector<uint8_t>& bytes) {
    const std::string name = "/tmp/bench_model3ds_scratch.3ds";
    FILE* f = std::fopen(name.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return name;
}

// A scene of `count` empty unknown chunks: the most headers per byte a file can hold.
void BM_SiblingChain(benchmark::State& state) {
    const uint32_t count = uint32_t(state.range(0));
    std::vector<uint8_t> bytes;
    put16(bytes, 0x4D4D);
    put32(bytes, 6 + 6 * count);
    for (uint32_t i = 0; i < count; ++i) {
        put16(bytes, 0x1234);
        put32(bytes, 6);
    }
    readModel(state, writeScratch(bytes), true);
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_SiblingChain)->RangeMultiplier(4)->Range(1 << 12, 1 << 18)->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

// Chunks that are containers in the tree but decode as raw bytes, nested as deep as the
// reader allows, around a payload of `size` bytes: each level decodes everything inside.
void BM_DeepRawNesting(benchmark::State& state) {
    const uint32_t size = uint32_t(state.range(0));
    const int levels = kMaxChunkDepth3ds - 2;  // with the root and the innermost chunk: the limit
    std::vector<uint8_t> bytes;
    put16(bytes, 0x4D4D);
    put32(bytes, 6 * (levels + 2) + size);
    for (int i = 0; i < levels; ++i) {
        put16(bytes, 0x2D2D);
        put32(bytes, 6 * (levels - i + 1) + size);
    }
    put16(bytes, 0x1234);
    put32(bytes, 6 + size);
    bytes.resize(bytes.size() + size, 0);
    readModel(state, writeScratch(bytes), true);
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_DeepRawNesting)->RangeMultiplier(4)->Range(1 << 12, 1 << 20)->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
