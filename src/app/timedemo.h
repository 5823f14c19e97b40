// The timedemo: the world's demo played as fast as it can be drawn, every frame timed;
// at the end frames, seconds, the average frame rate and frame-time percentiles, and,
// when asked for, one comma-separated line per frame with what its render pass drew.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "render/render.h"  // Required for: FrameCounts

// Frames a timedemo draws when there is no demo to play (and no --frames).
constexpr long timedemoFramesWithoutDemo = 600;

constexpr const char* frameCsvHeader =
    "frame,ms,current_cell,cells_visited,walls_drawn,objects_drawn,stencil_portals";

struct FrameTimeSummary {
    int64_t frames = 0;
    double seconds = 0;          // from the start of the first frame to the end of the last
    double framesPerSecond = 0;  // frames / seconds; 0 when no time passed
    double p50 = 0, p95 = 0, p99 = 0, worst = 0;  // frame times, milliseconds
};

// The nearest-rank percentile of `sorted` (ascending): the smallest time that at least
// `percent` per cent of the frames do not exceed, i.e. element ceil(percent * n / 100)
// counted from 1. 0 when there are no times.
double framePercentile(const std::vector<float>& sorted, int percent);

FrameTimeSummary summariseFrameTimes(std::vector<float> milliseconds, double seconds);

// Two lines: one for a person, one of key=value pairs for a script.
std::string timedemoReport(const FrameTimeSummary& summary);

// One line of the frame-time file (without the line end).
std::string frameCsvLine(int64_t frame, double milliseconds, const FrameCounts& counts);

// Starts timing frames through the frame loop's observer and, when csvPath is not
// empty, creates that file with its header. false, with `error` naming the file, when
// it cannot be created.
bool startTimedemo(const std::string& csvPath, std::string& error);
// Stops timing and closes the frame-time file; fills `summary`. false, with `error`
// naming the file, when some line of it could not be written.
bool finishTimedemo(FrameTimeSummary& summary, std::string& error);
