// A video of the frames drawn: ffmpeg runs as a child process and is fed each frame,
// raw RGB, on a pipe. The frames are the pictures --screenshot writes (the same
// read-back, top row first), at the frame's size, 60 a second: one demo record a frame.
#pragma once

#include <string>
#include <vector>

#include <sys/types.h>  // Required for: pid_t

enum class VideoFormat { none, mp4, webm, gif };

// The format a file name asks for by its ending (.mp4, .webm, .gif, in any case); none
// for any other name.
VideoFormat videoFormatOf(const std::string& path);

// ffmpeg's arguments, the program's name first, to encode raw RGB frames of width x
// height read from its standard input into `path` in the given format.
std::vector<std::string> ffmpegArguments(VideoFormat format, int width, int height, const std::string& path);

// ffmpeg at work on one video. Closing (or destroying) it ends the input and waits for
// the child.
class VideoEncoder {
public:
    VideoEncoder() = default;
    ~VideoEncoder();
    VideoEncoder(const VideoEncoder&) = delete;
    VideoEncoder& operator=(const VideoEncoder&) = delete;

    // Starts `program` (ffmpeg, looked up in PATH) with the arguments for this video.
    // false with `error` set when it cannot be started.
    bool start(const std::string& program, VideoFormat format, int width, int height, const std::string& path,
               std::string& error);
    // One frame of width x height RGB bytes, rows top first. false with `error` set when
    // the encoder no longer reads (it ended or failed).
    bool write(const unsigned char* rgbTopFirst, std::string& error);
    // Ends the input and waits for the encoder; false with `error` set when it did not
    // finish with status 0.
    bool finish(std::string& error);

    bool running() const { return child_ > 0; }
    int width() const { return width_; }
    int height() const { return height_; }

private:
    pid_t child_ = -1;
    int input_ = -1;  // the pipe's writing end
    int width_ = 0, height_ = 0;
    std::string path_;
};

// The engine's --video: from now on every frame the frame loop keeps is written to
// `path`, the encoder starting with the first frame. false with `error` set when the
// path names something other than a regular file.
bool beginVideoRecording(const std::string& path, std::string& error);

// Ends the video after the last frame: false with a message on standard error when the
// video could not be written whole (ffmpeg missing or failing, or no frame drawn of a run
// that started: `runStarted` false stays silent about that).
bool endVideoRecording(bool runStarted);
