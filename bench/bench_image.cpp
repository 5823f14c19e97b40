// Bitmap decoding speed, side by side in one run: our loader, stb_image and SDL's BMP
// reader (converted to packed RGB, as the texture upload needs), on a 4096 x 4096
// 24-bit file and a 2048 x 2048 RLE8 file made at start-up in a temporary directory.
// A plain memcpy of the same number of output bytes is the floor.
#include "image/bitmap.h"
#include "assets/bmp_writer.h"

#include <SDL.h>
#include <benchmark/benchmark.h>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wall"
#pragma GCC diagnostic ignored "-Wextra"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#include <stb/stb_image.h>
#pragma GCC diagnostic pop

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int directSide = 4096;
constexpr int rleSide = 2048;

std::string directPath;
std::string rlePath;
std::vector<uint8_t> directBytes;
std::vector<uint8_t> rleBytes;

uint32_t nextRandom(uint32_t& state) {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
}

std::vector<uint8_t> makeDirect() {
    BmpLayout layout;
    layout.width = layout.height = directSide;
    layout.pixels.resize(size_t(directSide) * directSide * 3);
    uint32_t state = 1;
    for (uint8_t& value : layout.pixels) value = uint8_t(nextRandom(state));
    layout.sizeImage = uint32_t(layout.pixels.size());
    return makeBmp(layout);
}

void flushLiterals(std::vector<uint8_t>& out, std::vector<uint8_t>& literals) {
    if (literals.size() >= 3) {
        out.push_back(0);
        out.push_back(uint8_t(literals.size()));
        out.insert(out.end(), literals.begin(), literals.end());
        if (literals.size() & 1) out.push_back(0);
    } else {
        for (uint8_t v : literals) {
            out.push_back(1);
            out.push_back(v);
        }
    }
    literals.clear();
}

// Rows of spans 1 to 64 pixels long: long spans become runs, short ones gather into
// absolute runs, as a texture with flat areas and detail would encode.
std::vector<uint8_t> makeRle() {
    BmpLayout layout;
    layout.width = layout.height = rleSide;
    layout.bitCount = 8;
    layout.compression = 1;
    layout.clrUsed = 256;
    for (int i = 0; i < 256; ++i) layout.palette.push_back({uint8_t(i * 7), uint8_t(255 - i), uint8_t(i)});
    std::vector<uint8_t>& out = layout.pixels;
    uint32_t state = 7;
    std::vector<uint8_t> literals;
    for (int y = 0; y < rleSide; ++y) {
        for (int x = 0; x < rleSide;) {
            const int span = std::min<int>(1 + int(nextRandom(state) % 64), rleSide - x);
            const uint8_t colour = uint8_t(nextRandom(state));
            if (span < 4) {
                for (int i = 0; i < span; ++i) {
                    literals.push_back(uint8_t(colour + i));
                    if (literals.size() == 255) flushLiterals(out, literals);
                }
            } else {
                flushLiterals(out, literals);
                out.push_back(uint8_t(span));
                out.push_back(colour);
            }
            x += span;
        }
        flushLiterals(out, literals);
        out.push_back(0);
        out.push_back(y + 1 == rleSide ? 1 : 0);
    }
    layout.sizeImage = uint32_t(out.size());
    return makeBmp(layout);
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    if (!writeBytes(path, bytes)) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
}

size_t outputBytes(int side) { return size_t(side) * side * 3; }

void ours(benchmark::State& state, const std::string* path, int side) {
    for (auto _ : state) {
        resetBitmapWorldPixels();  // each load stands for a world of its own
        std::unique_ptr<ImageRecord> image = loadBitmap(path->c_str());
        if (!image) state.SkipWithError("our loader failed");
        benchmark::DoNotOptimize(image->pixels.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations() * outputBytes(side)));
}

void oursInMemory(benchmark::State& state, const std::vector<uint8_t>* bytes, int side) {
    for (auto _ : state) {
        DecodeResult result = decodeBitmap(bytes->data(), bytes->size());
        if (!result.image) state.SkipWithError("our decoder failed");
        benchmark::DoNotOptimize(result.image->pixels.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations() * outputBytes(side)));
}

void stb(benchmark::State& state, const std::string* path, int side) {
    for (auto _ : state) {
        int width = 0, height = 0, channels = 0;
        stbi_uc* pixels = stbi_load(path->c_str(), &width, &height, &channels, 3);
        if (!pixels) state.SkipWithError("stb_image failed");
        benchmark::DoNotOptimize(pixels);
        stbi_image_free(pixels);
    }
    state.SetBytesProcessed(int64_t(state.iterations() * outputBytes(side)));
}

void sdl(benchmark::State& state, const std::string* path, int side) {
    for (auto _ : state) {
        SDL_Surface* loaded = SDL_LoadBMP(path->c_str());
        SDL_Surface* rgb = loaded ? SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_RGB24, 0) : nullptr;
        if (!rgb) state.SkipWithError(SDL_GetError());
        benchmark::DoNotOptimize(rgb ? rgb->pixels : nullptr);
        SDL_FreeSurface(rgb);
        SDL_FreeSurface(loaded);
    }
    state.SetBytesProcessed(int64_t(state.iterations() * outputBytes(side)));
}

// The output's bytes copied from memory into a fresh block: what any decoder must at
// least pay for touching its result.
void copyFloor(benchmark::State& state, int side) {
    const size_t n = outputBytes(side);
    const std::vector<uint8_t> source(n, 7);
    for (auto _ : state) {
        std::unique_ptr<uint8_t[]> block(new uint8_t[n]);
        std::memcpy(block.get(), source.data(), n);
        benchmark::DoNotOptimize(block.get());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations() * n));
}

// The same copy into a block that is already mapped: the cost of the bytes alone.
void copyWarm(benchmark::State& state, int side) {
    const size_t n = outputBytes(side);
    const std::vector<uint8_t> source(n, 7);
    std::vector<uint8_t> block(n);
    for (auto _ : state) {
        std::memcpy(block.data(), source.data(), n);
        benchmark::DoNotOptimize(block.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations() * n));
}

void registerAll() {
    benchmark::RegisterBenchmark("direct24/ours_loadBitmap", ours, &directPath, directSide)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("direct24/ours_decodeBitmap_in_memory", oursInMemory, &directBytes, directSide)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("direct24/stb_image", stb, &directPath, directSide)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("direct24/sdl_LoadBMP_to_RGB24", sdl, &directPath, directSide)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("direct24/memcpy_fresh_block", copyFloor, directSide)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("direct24/memcpy_warm_block", copyWarm, directSide)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("rle8/ours_loadBitmap", ours, &rlePath, rleSide)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("rle8/ours_decodeBitmap_in_memory", oursInMemory, &rleBytes, rleSide)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("rle8/sdl_LoadBMP_to_RGB24", sdl, &rlePath, rleSide)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("rle8/memcpy_fresh_block", copyFloor, rleSide)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("rle8/memcpy_warm_block", copyWarm, rleSide)->Unit(benchmark::kMillisecond);
}

}  // namespace

int main(int argc, char** argv) {
    char dirTemplate[] = "/tmp/bench_image_XXXXXX";
    const char* dir = mkdtemp(dirTemplate);
    if (!dir) return 1;
    directPath = std::string(dir) + "/direct24.bmp";
    rlePath = std::string(dir) + "/rle8.bmp";
    directBytes = makeDirect();
    rleBytes = makeRle();
    writeFile(directPath, directBytes);
    writeFile(rlePath, rleBytes);
    std::printf("files: %s (%zu bytes), %s (%zu bytes)\n", directPath.c_str(), directBytes.size(),
                rlePath.c_str(), rleBytes.size());

    registerAll();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(dir);
    return 0;
}
