#include "app/video.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "input/input.h"            // Required for: demoPlaybackEnded
#include "platform/platform.h"      // Required for: postQuitMessage
#include "files/regular_file.h"  // Required for: fileKindReason
#include "render/render.h"          // Required for: keepLastFrame, frameKeptObserver
#include "world/settings.h"         // Required for: PLAYDEMO

extern char** environ;

namespace {

constexpr int framesPerSecond = 60;  // one demo record a frame

std::string lowerCase(std::string text) {
    for (char& c : text) c = char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return text;
}

// The codec's arguments: settings that keep the walls' edges sharp and encode quickly.
std::vector<std::string> codecArguments(VideoFormat format, int width, int height) {
    switch (format) {
    case VideoFormat::mp4:
        // 4:2:0 colour, which every player takes, needs even sides; 4:4:4 keeps odd ones.
        return {"-c:v", "libx264", "-preset", "veryfast", "-crf", "18", "-pix_fmt",
                width % 2 == 0 && height % 2 == 0 ? "yuv420p" : "yuv444p", "-movflags", "+faststart", "-f", "mp4"};
    case VideoFormat::webm:
        return {"-c:v", "libvpx-vp9", "-deadline", "realtime", "-cpu-used", "8", "-row-mt", "1",
                "-crf", "30", "-b:v", "0", "-pix_fmt", "yuv420p", "-f", "webm"};
    case VideoFormat::gif:
        // One palette made for the whole clip, so colours do not flicker between frames.
        return {"-vf", "split[a][b];[a]palettegen=stats_mode=diff[p];[b][p]paletteuse=dither=bayer:bayer_scale=3",
                "-loop", "0", "-f", "gif"};
    case VideoFormat::none:
        break;
    }
    return {};
}

std::string describeStatus(int status) {
    if (WIFEXITED(status)) return "exit status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return std::string("signal ") + strsignal(WTERMSIG(status));
    return "status " + std::to_string(status);
}

}  // namespace

VideoFormat videoFormatOf(const std::string& path) {
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return VideoFormat::none;
    const std::string ending = lowerCase(path.substr(dot + 1));
    if (ending == "mp4") return VideoFormat::mp4;
    if (ending == "webm") return VideoFormat::webm;
    if (ending == "gif") return VideoFormat::gif;
    return VideoFormat::none;
}

std::vector<std::string> ffmpegArguments(VideoFormat format, int width, int height, const std::string& path) {
    std::vector<std::string> args = {"ffmpeg", "-hide_banner", "-loglevel", "error", "-y",
                                     "-f", "rawvideo", "-pix_fmt", "rgb24",
                                     "-video_size", std::to_string(width) + "x" + std::to_string(height),
                                     "-framerate", std::to_string(framesPerSecond), "-i", "pipe:0", "-an"};
    for (std::string& a : codecArguments(format, width, height)) args.push_back(std::move(a));
    // "file:" keeps a name with a colon or a leading dash from being read as anything else.
    args.push_back("file:" + path);
    return args;
}

VideoEncoder::~VideoEncoder() {
    std::string ignored;
    finish(ignored);
}

bool VideoEncoder::start(const std::string& program, VideoFormat format, int width, int height,
                         const std::string& path, std::string& error) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        error = path + ": no pipe for ffmpeg: " + std::strerror(errno);
        return false;
    }
    std::vector<std::string> args = ffmpegArguments(format, width, height, path);
    args[0] = program;
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    // The child reads the frames on its standard input; its standard output, which the
    // engine keeps for its own last line, goes nowhere.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[0], 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t child = -1;
    const int failed = posix_spawnp(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(ends[0]);
    if (failed != 0) {
        close(ends[1]);
        error = "Cannot start " + program + " to write the video " + path + ": " + std::strerror(failed) +
                (failed == ENOENT ? " (it comes with the ffmpeg package)" : "");
        return false;
    }
    child_ = child;
    input_ = ends[1];
    width_ = width;
    height_ = height;
    path_ = path;
    return true;
}

bool VideoEncoder::write(const unsigned char* rgbTopFirst, std::string& error) {
    size_t left = size_t(width_) * size_t(height_) * 3;
    while (left > 0 && input_ >= 0) {
        const ssize_t written = ::write(input_, rgbTopFirst, left);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            error = "ffmpeg stopped taking the frames of the video " + path_ + ": " + std::strerror(errno);
            return false;
        }
        rgbTopFirst += written;
        left -= size_t(written);
    }
    return input_ >= 0;
}

bool VideoEncoder::finish(std::string& error) {
    if (child_ <= 0) return true;
    if (input_ >= 0) close(input_);
    input_ = -1;
    int status = 0;
    pid_t waited;
    do {
        waited = waitpid(child_, &status, 0);
    } while (waited < 0 && errno == EINTR);
    child_ = -1;
    if (waited < 0) {
        error = "ffmpeg writing the video " + path_ + " was lost: " + std::strerror(errno);
        return false;
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
    error = "ffmpeg could not write the video " + path_ + " (" + describeStatus(status) + ")";
    return false;
}

namespace {

// The engine's recording, from beginVideoRecording to endVideoRecording.
VideoEncoder encoder;
std::string videoPath;
bool videoFailed = false;       // a failure was reported; later frames are dropped
bool brokenPipeIgnored = false;  // SIGPIPE was set aside while the encoder runs
struct sigaction previousPipeAction;
std::vector<unsigned char> topFirst;  // one frame turned the PNG's way up

// Reports the first failure only; during the run it also ends the run.
void failVideo(const std::string& message, bool endRun) {
    if (videoFailed) return;
    videoFailed = true;
    std::fprintf(stderr, "%s\n", message.c_str());
    if (endRun) platform::postQuitMessage(1);
}

// A failed write to an encoder that has ended must be an error to report, not the
// signal that would end the engine without a word.
void ignoreBrokenPipe() {
    if (brokenPipeIgnored) return;
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    brokenPipeIgnored = sigaction(SIGPIPE, &ignore, &previousPipeAction) == 0;
}

void restoreBrokenPipe() {
    if (brokenPipeIgnored) sigaction(SIGPIPE, &previousPipeAction, nullptr);
    brokenPipeIgnored = false;
}

void takeFrame(int32_t width, int32_t height, const std::vector<uint8_t>& rgbBottomFirst) {
    // The frame that finds a played demo's end plays no record: the video holds one
    // frame per record.
    if (videoFailed || (PLAYDEMO == 1 && demoPlaybackEnded())) return;
    std::string error;
    if (!encoder.running()) {
        ignoreBrokenPipe();
        if (!encoder.start("ffmpeg", videoFormatOf(videoPath), width, height, videoPath, error)) {
            failVideo(error, true);
            return;
        }
    }
    if (width != encoder.width() || height != encoder.height()) {
        failVideo(videoPath + ": the frame size changed from " + std::to_string(encoder.width()) + "x" +
                  std::to_string(encoder.height()) + " to " + std::to_string(width) + "x" + std::to_string(height), true);
        return;
    }
    // GL rows run bottom first, the video's top first, as in the screenshot.
    const size_t stride = size_t(width) * 3;
    topFirst.resize(stride * size_t(height));
    for (int32_t r = 0; r < height; ++r)
        std::memcpy(&topFirst[size_t(r) * stride], &rgbBottomFirst[size_t(height - 1 - r) * stride], stride);
    if (!encoder.write(topFirst.data(), error)) failVideo(error, true);
}

}  // namespace

bool beginVideoRecording(const std::string& path, std::string& error) {
    struct stat existing;
    if (stat(path.c_str(), &existing) == 0) {
        const std::string kind = platform::fileKindReason(existing.st_mode);
        if (!kind.empty()) {
            error = path + ": cannot be written as a video: " + kind;
            return false;
        }
    }
    videoPath = path;
    videoFailed = false;
    keepLastFrame = true;
    frameKeptObserver = takeFrame;
    return true;
}

bool endVideoRecording(bool runStarted) {
    frameKeptObserver = nullptr;
    std::string error;
    const bool started = encoder.running();
    const bool finished = encoder.finish(error);
    restoreBrokenPipe();
    if (!finished) failVideo(error, false);
    if (!started && runStarted) failVideo(videoPath + ": no frame was drawn, so there is no video", false);
    topFirst.clear();
    topFirst.shrink_to_fit();
    return !videoFailed && started;
}
