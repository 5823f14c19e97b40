// --video: the frames drawn, encoded by ffmpeg, read back with ffprobe and ffmpeg and
// compared with the screenshots of the same frames; and every way the encoder can fail.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/gl_context.h"

namespace {

namespace fs = std::filesystem;

const std::string sampleWorld = std::string(SOURCE_DIR) + "/worlds/sample";

std::string freshDir() {
    std::string pattern = testing::TempDir() + "video_XXXXXX";
    return mkdtemp(pattern.data()) ? pattern : std::string();
}

// The sample world drawn at another size, and its demo cut to its first `records`.
struct ShortWalk {
    std::string world;
    std::string demo;
};

ShortWalk makeShortWalk(const std::string& dir, int width, int height, int records) {
    ShortWalk walk{dir + "/world", dir + "/short.dem"};
    fs::copy(sampleWorld, walk.world);
    std::ofstream(walk.world + "/game.ini", std::ios::trunc)
        << "FULLSCREEN 0 WIDTH " << width << " HEIGHT " << height << "\n";
    std::ifstream whole(sampleWorld + "/demo.dem", std::ios::binary);
    std::string bytes(size_t(records) * 5, '\0');
    whole.read(bytes.data(), std::streamsize(bytes.size()));
    std::ofstream(walk.demo, std::ios::binary) << bytes;
    return walk;
}

int runEngine(const std::string& args, std::string& output, const std::string& environment = "") {
    return runCommand(environment + " " + ENGINE_BINARY + " --headless " + args + " 2>&1", output);
}

// "frames,width,height" of the file's video stream, as ffprobe counts them by decoding.
std::string probe(const std::string& file) {
    std::string output;
    runCommand("ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames,width,height "
               "-of default=noprint_wrappers=1 " + file + " 2>&1",
               output);
    return output;
}

// Frame `index` of a video (or the only picture of a PNG) as RGB bytes, top row first.
std::string frameRgb(const std::string& file, int index) {
    std::string output;
    runCommand("ffmpeg -v error -i " + file + " -vf 'select=eq(n\\," + std::to_string(index) +
                   ")' -vframes 1 -f rawvideo -pix_fmt rgb24 - 2>/dev/null",
               output);
    return output;
}

// The mean difference of two pictures of the same size, per byte; huge when they differ in size.
double meanDifference(const std::string& a, const std::string& b) {
    if (a.size() != b.size() || a.empty()) return 1e9;
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i) sum += std::abs(int(uint8_t(a[i])) - int(uint8_t(b[i])));
    return sum / double(a.size());
}

TEST(Video, HoldsOneFramePerDemoRecordAtTheFrameSize) {
    SKIP_IF_GL_UNAVAILABLE_AND_ASKED();
    struct Case {
        const char* file;
        int width, height;
    };
    // Odd sides too: the video keeps the frame's size whatever the format.
    const Case cases[] = {{"walk.mp4", 320, 240}, {"walk.webm", 161, 121}, {"walk.GIF", 160, 120}, {"odd.mp4", 161, 121}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string dir = freshDir();
        const ShortWalk walk = makeShortWalk(dir, c.width, c.height, 24);
        std::string output;
        ASSERT_EQ(runEngine("--demo " + walk.demo + " --video " + dir + "/" + c.file + " " + walk.world, output), 0)
            << output;
        EXPECT_EQ(probe(dir + "/" + c.file), "width=" + std::to_string(c.width) + "\nheight=" +
                                                 std::to_string(c.height) + "\nnb_read_frames=24\n");
    }
}

// Frame k of the video is the picture --frames k+1 --screenshot writes, the right way
// up. The encoder's loss is small beside the change between frames of the walk.
TEST(Video, FramesAreTheScreenshotsOfTheSameFrames) {
    SKIP_IF_GL_UNAVAILABLE_AND_ASKED();
    const std::string dir = freshDir();
    const ShortWalk walk = makeShortWalk(dir, 320, 240, 60);
    std::string output;
    ASSERT_EQ(runEngine("--demo " + walk.demo + " --video " + dir + "/walk.mp4 --screenshot " + dir + "/last.png " +
                            walk.world,
                        output),
              0)
        << output;
    ASSERT_EQ(runEngine("--demo " + walk.demo + " --frames 30 --screenshot " + dir + "/30.png " + walk.world, output), 0)
        << output;
    const std::string shot30 = frameRgb(dir + "/30.png", 0), last = frameRgb(dir + "/last.png", 0);
    ASSERT_EQ(shot30.size(), size_t(320 * 240 * 3));
    const std::string video29 = frameRgb(dir + "/walk.mp4", 29), video59 = frameRgb(dir + "/walk.mp4", 59);
    // x264's loss on the bricks' fine detail is a few levels a byte; the next or the
    // previous frame of the walk differs by far more.
    const double same = meanDifference(video29, shot30);
    EXPECT_LT(same, 8.0) << "frame 29 of the video against the screenshot of frame 30";
    EXPECT_LT(meanDifference(video59, last), 8.0) << "the video's last frame against the run's screenshot";
    EXPECT_GT(meanDifference(frameRgb(dir + "/walk.mp4", 28), shot30), 2 * same + 4.0);
    EXPECT_GT(meanDifference(frameRgb(dir + "/walk.mp4", 30), shot30), 2 * same + 4.0);
    const std::string flipped = [&] {
        std::string rows;
        for (int r = 239; r >= 0; --r) rows += shot30.substr(size_t(r) * 320 * 3, 320 * 3);
        return rows;
    }();
    EXPECT_GT(meanDifference(video29, flipped), 2 * same + 4.0) << "the video is upside down";
}

// ffmpeg missing, ending at once, failing after reading everything, a file that is
// not a regular one, a name of another format: a clear message and a failed run,
// never an engine killed by the broken pipe.
TEST(Video, FailuresAreReportedWithTheirReason) {
    SKIP_IF_GL_UNAVAILABLE_AND_ASKED();
    const std::string dir = freshDir();
    const ShortWalk walk = makeShortWalk(dir, 160, 120, 60);
    const std::string fakes = dir + "/fake", noFfmpeg = dir + "/empty";
    fs::create_directories(fakes + "/quits");
    fs::create_directories(fakes + "/fails");
    fs::create_directories(noFfmpeg);
    std::ofstream(fakes + "/quits/ffmpeg") << "#!/bin/sh\nexit 3\n";
    std::ofstream(fakes + "/fails/ffmpeg") << "#!/bin/sh\n/bin/cat >/dev/null\necho cannot encode >&2\nexit 4\n";
    fs::permissions(fakes + "/quits/ffmpeg", fs::perms::owner_all);
    fs::permissions(fakes + "/fails/ffmpeg", fs::perms::owner_all);
    ASSERT_EQ(mkfifo((dir + "/fifo.mp4").c_str(), 0600), 0);
    struct Case {
        const char* what;
        std::string environment, video;
        int status;
        std::string message;
    };
    const Case cases[] = {
        {"no ffmpeg", "PATH=" + noFfmpeg, "walk.mp4", 1, "Cannot start ffmpeg to write the video " + dir + "/walk.mp4: No such file or directory"},
        {"ffmpeg quits at once", "PATH=" + fakes + "/quits", "walk.mp4", 1, "ffmpeg stopped taking the frames of the video " + dir + "/walk.mp4"},
        {"ffmpeg fails at the end", "PATH=" + fakes + "/fails", "walk.webm", 1, "ffmpeg could not write the video " + dir + "/walk.webm (exit status 4)"},
        {"a FIFO", "", "fifo.mp4", 1, dir + "/fifo.mp4: cannot be written as a video: is a FIFO"},
        {"another format", "", "walk.avi", 2, "--video needs a file name ending in .mp4, .webm or .gif"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string output;
        EXPECT_EQ(runCommand("cd " + dir + " && " + c.environment + " " + ENGINE_BINARY + " --headless --demo " +
                                 walk.demo + " --video " + c.video + " " + walk.world + " 2>&1",
                             output),
                  c.status)
            << output;
        EXPECT_NE(output.find(c.message), std::string::npos) << output;
    }
}

}  // namespace
