#include "app/timedemo.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "files/regular_file.h"  // Required for: openRegularStream, printable

namespace {

using Clock = std::chrono::steady_clock;

// The run in progress: written by the frame observer, read by finishTimedemo.
struct TimedemoRun {
    std::vector<float> times;  // milliseconds, one per frame: 4 bytes a frame
    Clock::time_point start, end;
    std::FILE* csv = nullptr;
    std::string csvPath;
    int csvError = 0;  // errno of the first failed write; 0 when none
};
TimedemoRun run;

void recordFrame(double milliseconds) {
    const Clock::time_point now = Clock::now();
    if (run.times.empty())
        run.start = now - std::chrono::duration_cast<Clock::duration>(
                              std::chrono::duration<double, std::milli>(milliseconds));
    run.end = now;
    const int64_t frame = int64_t(run.times.size());
    run.times.push_back(float(milliseconds));
    if (run.csv && run.csvError == 0) {
        const std::string line = frameCsvLine(frame, milliseconds, frameCounts) + "\n";
        if (std::fputs(line.c_str(), run.csv) == EOF) run.csvError = errno != 0 ? errno : EIO;
    }
}

std::string cannotWrite(const std::string& path, int error) {
    return "Cannot write the frame-time file \"" + platform::printable(path) + "\": " + std::strerror(error);
}

}  // namespace

double framePercentile(const std::vector<float>& sorted, int percent) {
    const int64_t n = int64_t(sorted.size());
    if (n == 0) return 0;
    // In whole numbers: 95 % of 60 frames is exactly the 57th, while 95 * 0.01 * 60 in
    // floating point lies a hair above 57 and would take the 58th.
    int64_t rank = (int64_t(percent) * n + 99) / 100;
    rank = std::clamp<int64_t>(rank, 1, n);
    return sorted[size_t(rank - 1)];
}

FrameTimeSummary summariseFrameTimes(std::vector<float> milliseconds, double seconds) {
    std::sort(milliseconds.begin(), milliseconds.end());
    FrameTimeSummary summary;
    summary.frames = int64_t(milliseconds.size());
    summary.seconds = seconds;
    summary.framesPerSecond = seconds > 0 ? double(summary.frames) / seconds : 0;
    summary.p50 = framePercentile(milliseconds, 50);
    summary.p95 = framePercentile(milliseconds, 95);
    summary.p99 = framePercentile(milliseconds, 99);
    summary.worst = milliseconds.empty() ? 0 : milliseconds.back();
    return summary;
}

std::string timedemoReport(const FrameTimeSummary& s) {
    char text[512];
    std::snprintf(text, sizeof text,
                  "timedemo: %lld frames in %.3f s, %.1f fps; frame times 50%% %.3f ms, 95%% %.3f ms, "
                  "99%% %.3f ms, worst %.3f ms\n"
                  "timedemo frames=%lld seconds=%.6f fps=%.3f p50_ms=%.4f p95_ms=%.4f p99_ms=%.4f max_ms=%.4f\n",
                  (long long)s.frames, s.seconds, s.framesPerSecond, s.p50, s.p95, s.p99, s.worst,
                  (long long)s.frames, s.seconds, s.framesPerSecond, s.p50, s.p95, s.p99, s.worst);
    return text;
}

std::string frameCsvLine(int64_t frame, double milliseconds, const FrameCounts& c) {
    char text[160];
    std::snprintf(text, sizeof text, "%lld,%.3f,%d,%d,%d,%d,%d", (long long)frame, milliseconds, c.currentCell,
                  c.cellsVisited, c.wallsDrawn, c.objectsDrawn, c.stencilPortals);
    return text;
}

bool startTimedemo(const std::string& csvPath, std::string& error) {
    if (run.csv) std::fclose(run.csv);
    run = TimedemoRun{};
    if (!csvPath.empty()) {
        // A FIFO or a device given as the file is refused rather than waited on.
        std::string reason;
        run.csv = platform::openRegularStream(csvPath, platform::FileAccess::write, reason);
        if (!run.csv) {
            error = "Cannot write the frame-time file \"" + platform::printable(csvPath) + "\": " + reason;
            return false;
        }
        run.csvPath = csvPath;
        if (std::fprintf(run.csv, "%s\n", frameCsvHeader) < 0) run.csvError = errno != 0 ? errno : EIO;
    }
    frameTimeObserver = recordFrame;
    return true;
}

bool finishTimedemo(FrameTimeSummary& summary, std::string& error) {
    frameTimeObserver = nullptr;
    const double seconds = run.times.empty() ? 0 : std::chrono::duration<double>(run.end - run.start).count();
    summary = summariseFrameTimes(std::move(run.times), seconds);
    run.times = {};
    if (!run.csv) return true;
    if (std::fclose(run.csv) != 0 && run.csvError == 0) run.csvError = errno != 0 ? errno : EIO;
    run.csv = nullptr;
    if (run.csvError == 0) return true;
    error = cannotWrite(run.csvPath, run.csvError);
    return false;
}
