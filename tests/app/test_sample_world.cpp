// The bundled sample world as a new user first sees it: in a real X11 window, pictured
// from outside the engine.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

const std::string sampleWorld = std::string(SOURCE_DIR) + "/worlds/sample";

// Runs a shell command; returns its exit status and standard output.
int run(const std::string& command, std::string& output) {
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return -1;
    output.clear();
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string tempPath(const std::string& name) { return testing::TempDir() + std::to_string(getpid()) + "_" + name; }

// Under xvfb-run the engine opens a window titled as the engine is; import, an outside
// program, finds it by that title and pictures it. The picture is the sample world's
// first view: the same, within a little colour fuzz, as the engine's own headless
// screenshot of the unmoved camera, and certainly not a blank.
TEST(SampleWorldWindow, PictureTakenFromOutsideShowsTheWorld) {
    const std::string shot = tempPath("window.png"), reference = tempPath("reference.png");
    std::string output;
    ASSERT_EQ(run(std::string(ENGINE_BINARY) + " --headless --frames 5 --screenshot " + reference + " " +
                      sampleWorld + " 2>/dev/null",
                  output),
              0);
    ASSERT_EQ(run("xvfb-run -a -s '-screen 0 1024x768x24' sh " + std::string(SOURCE_DIR) +
                      "/tests/app/x11_window_shot.sh " + ENGINE_BINARY + " " + sampleWorld + " " + shot + " 2>&1",
                  output),
              0)
        << output;
    ASSERT_EQ(run("identify -format '%w %h %k' " + shot, output), 0);
    int width = 0, height = 0, colours = 0;
    ASSERT_EQ(std::sscanf(output.c_str(), "%d %d %d", &width, &height, &colours), 3) << output;
    EXPECT_EQ(width, 800);
    EXPECT_EQ(height, 600);
    EXPECT_GT(colours, 500) << "a blank or nearly blank window";
    // compare prints the number of pixels that differ by more than the fuzz.
    run("compare -metric AE -fuzz 5% " + shot + " " + reference + " null: 2>&1", output);
    EXPECT_LT(std::stol(output), 800L * 600 / 100) << "more than 1% of the pixels differ from the engine's own picture";
    std::remove(shot.c_str());
    std::remove(reference.c_str());
}

// The recorder plays a script live: one mouse count turns the heading by 4 tenths, so
// "turn 8" is a count of -2 in one frame; each walking frame records a forward step of
// one tenth; Escape at the end records still frames until the batch of frames ends.
TEST(DemoRecorder, RecordsWhatTheScriptHolds) {
    const std::string script = tempPath("walk.txt"), demo = tempPath("walk.dem");
    std::FILE* file = std::fopen(script.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs("turn 8  # one frame\nwalk 3\nlook -12 3\n", file);
    std::fclose(file);
    std::string output;
    ASSERT_EQ(run(std::string(BUILD_DIR) + "/record_demo " + script + " " + sampleWorld + " " + demo + " 2>/dev/null",
                  output),
              0)
        << output;
    std::FILE* in = std::fopen(demo.c_str(), "rb");
    ASSERT_NE(in, nullptr);
    std::vector<unsigned char> bytes(4096);
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), in));
    std::fclose(in);
    const std::vector<unsigned char> expected = {0, 0, 0, 0xFE, 0,  0, 0, 1, 0, 0,  0, 0, 1, 0, 0,  0, 0, 1, 0, 0,
                                                 0, 0, 0, 0, 1,     0, 0, 0, 0, 1,  0, 0, 0, 0, 1};
    ASSERT_GE(bytes.size(), expected.size());
    EXPECT_EQ(std::vector<unsigned char>(bytes.begin(), bytes.begin() + long(expected.size())), expected);
    EXPECT_EQ(bytes.size() % 5, 0u);
    for (size_t i = expected.size(); i < bytes.size(); ++i) EXPECT_EQ(bytes[i], 0) << "byte " << i;
    // The recorder reports the eye after each step: three steps of 0.1 along the heading.
    EXPECT_NE(output.find("line   2: frame     4  eye   -25.00    15.30  yaw    8"), std::string::npos) << output;
    std::remove(script.c_str());
    std::remove(demo.c_str());
}

}  // namespace
