// How opening names matched ignoring case grows with the folder: 500 names written in
// capitals, as a world made where names ignore case writes them, are opened from a
// folder of N files. The folder is listed once and kept, so the complexity fit should
// come out linear in N (one listing), not 500 listings of N.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "files/regular_file.h"

namespace fs = std::filesystem;

namespace {

constexpr int namesLooked = 500;

std::string fileName(int i) { return "texture" + std::to_string(i) + ".bmp"; }

std::string upperName(int i) { return "TEXTURE" + std::to_string(i) + ".BMP"; }

// A fresh folder of `files` empty files. Its time is set back a minute: a listing is
// kept only for a folder that has not changed in the last second.
std::string makeFolder(int files) {
    std::string pattern = (fs::temp_directory_path() / "bench-names-XXXXXX").string();
    if (!mkdtemp(&pattern[0])) std::abort();
    for (int i = 0; i < files; ++i) {
        const int fd = open((pattern + "/" + fileName(i)).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0) std::abort();
        close(fd);
    }
    timespec times[2];
    clock_gettime(CLOCK_REALTIME, &times[0]);
    times[0].tv_sec -= 60;
    times[1] = times[0];
    utimensat(AT_FDCWD, pattern.c_str(), times, 0);
    return pattern;
}

// Each iteration is a new folder, as a new run of the engine meets it: the first name
// lists it, the other 499 use the listing.
void OpenNamesInCapitals(benchmark::State& state) {
    const int files = int(state.range(0));
    int64_t opened = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string folder = makeFolder(files);
        state.ResumeTiming();
        for (int i = 0; i < namesLooked; ++i) {
            const platform::OpenedFile file =
                platform::openRegularFile(folder + "/" + upperName(i * (files / namesLooked)), platform::FileAccess::read);
            opened += file.ok();
        }
        state.PauseTiming();
        fs::remove_all(folder);
        state.ResumeTiming();
    }
    if (opened != int64_t(state.iterations()) * namesLooked) state.SkipWithError("a name did not open");
    state.SetComplexityN(files);
}
BENCHMARK(OpenNamesInCapitals)
    ->RangeMultiplier(4)
    ->Range(3125, 200000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2)
    ->Complexity();

}  // namespace

BENCHMARK_MAIN();
