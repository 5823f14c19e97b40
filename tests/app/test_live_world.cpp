// Live world editing: the engine run as a user runs it with --watch while its files are
// saved (in place and by rename), a save that does not load, a demo across reloads, and
// a hundred reloads that leave the GL objects and the memory where they were.
#include <gtest/gtest.h>
#include <png.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <GL/gl.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/engine.h"
#include "app/graphics.h"
#include "app/live_world.h"
#include "platform/devices.h"
#include "render/render.h"
#include "support/sanitizer.h"
#include "support/child_process.h"
#include "support/gl_context.h"
#include "world/settings.h"
#include "world/world.h"

namespace {

namespace fs = std::filesystem;

// Upper bounds only: every wait ends as soon as what it waits for is there.
constexpr auto startBound = std::chrono::seconds(60);
constexpr auto reloadBound = std::chrono::seconds(30);

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeInPlace(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// As editors save: the whole file beside its target, then renamed onto it.
void writeByRename(const std::string& path, const std::string& bytes) {
    writeInPlace(path + ".save~", bytes);
    ASSERT_EQ(std::rename((path + ".save~").c_str(), path.c_str()), 0);
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// A copy of the sample world in a folder of its own.
std::string copySampleWorld() {
    std::string pattern = testing::TempDir() + "live_XXXXXX";
    if (!mkdtemp(pattern.data())) return std::string();
    fs::copy(SOURCE_DIR "/worlds/sample", pattern, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    // A small window draws (and reads back) each frame quickly.
    writeInPlace(pattern + "/game.ini", "FULLSCREEN 0\nWIDTH 400\nHEIGHT 300\nDIRECTX 0\n");
    return pattern;
}

struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;  // top row first
};

bool readPng(const std::string& path, Picture& picture) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_RGB;
    picture.width = int(image.width);
    picture.height = int(image.height);
    picture.rgb.resize(PNG_IMAGE_SIZE(image));
    return png_image_finish_read(&image, nullptr, picture.rgb.data(), 0, nullptr) != 0;
}

// Whether rows [top, bottom) of two pictures of one size hold the same pixels.
bool sameRows(const Picture& a, const Picture& b, int top, int bottom) {
    if (a.width != b.width || a.height != b.height) return false;
    const size_t row = size_t(a.width) * 3;
    return std::equal(a.rgb.begin() + long(size_t(top) * row), a.rgb.begin() + long(size_t(bottom) * row),
                      b.rgb.begin() + long(size_t(top) * row));
}
bool samePicture(const Picture& a, const Picture& b) { return sameRows(a, b, 0, a.height); }

// A program in a child process, its output in files, ended by SIGTERM as the desktop
// would end it.
class ChildProgram {
public:
    ChildProgram(const std::string& program, const std::vector<std::string>& args, const std::string& logDir)
        : log(logDir) {
        pid = fork();
        if (pid == 0) {
            const int out = open((log + "/out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int err = open((log + "/err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(out, 1);
            dup2(err, 2);
            std::vector<char*> argv{const_cast<char*>(program.c_str())};
            for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
            argv.push_back(nullptr);
            execv(program.c_str(), argv.data());
            _exit(127);
        }
    }
    ~ChildProgram() {
        if (pid > 0 && !ended) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    // Waits (bounded) until `ready` holds; false when the program ended first or time ran out.
    template <typename Ready>
    bool waitUntil(Ready ready, std::chrono::seconds bound) {
        const auto until = std::chrono::steady_clock::now() + bound;
        while (std::chrono::steady_clock::now() < until) {
            if (ready()) return true;
            if (hasEnded()) return ready();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
    // Waits (bounded) for the file to appear; false when the engine ended or time ran out.
    bool waitForFile(const std::string& path, std::chrono::seconds bound) {
        const auto until = std::chrono::steady_clock::now() + bound;
        while (std::chrono::steady_clock::now() < until) {
            if (access(path.c_str(), F_OK) == 0) return true;
            if (hasEnded()) return access(path.c_str(), F_OK) == 0;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
    // Waits (bounded) for the engine to end by itself; its exit status, -1 if it did not.
    int waitForEnd(std::chrono::seconds bound) {
        const auto until = std::chrono::steady_clock::now() + bound;
        while (!hasEnded() && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    int terminate() {
        if (!ended) kill(pid, SIGTERM);
        return waitForEnd(reloadBound);
    }
    std::string output() const { return readFile(log + "/out"); }
    std::string errors() const { return readFile(log + "/err"); }

private:
    bool hasEnded() {
        if (!ended && waitpid(pid, &status, WNOHANG) == pid) ended = true;
        return ended;
    }
    std::string log;
    pid_t pid = -1;
    bool ended = false;
    int status = 0;
};

int countOf(const std::string& text, const std::string& part) {
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

TEST(LiveWorld, SavesOfTheMapATextureAndAModelAreShownAndABrokenMapKeepsThePicture) {
    SKIP_IF_GL_UNAVAILABLE_AND_ASKED();
    const std::string world = copySampleWorld();
    ASSERT_FALSE(world.empty());
    // Spinning objects would make every frame differ from the last: they stand still here.
    std::string map;
    std::istringstream lines(readFile(world + "/map.m"));
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("99995 ", 0) == 0 && line.size() > 2 && line.compare(line.size() - 2, 2, " 1") == 0)
            line.back() = '0';
        map += line + "\n";
    }
    writeInPlace(world + "/map.m", map);
    ASSERT_NE(map.find("bricks.bmp"), std::string::npos);
    fs::copy_file(world + "/stone.bmp", world + "/walls.bmp");
    const std::string shots = world + "/shot";
    ChildProgram engine(ENGINE_BINARY,
                        {"--headless", "--watch", "--frames", "100000000", "--reload-shots", shots, world}, world);
    const auto shot = [&](int n) { return shots + "-" + std::to_string(n) + ".png"; };
    std::vector<Picture> pictures(6);
    const auto take = [&](int n) {
        ASSERT_TRUE(engine.waitForFile(shot(n), n == 0 ? startBound : reloadBound)) << n << engine.errors();
        ASSERT_TRUE(readPng(shot(n), pictures[size_t(n)])) << shot(n);
    };
    take(0);

    // The map in place: the brick walls become stone.
    writeInPlace(world + "/map.m", replaced(map, "bricks.bmp", "walls.bmp"));
    take(1);
    EXPECT_FALSE(samePicture(pictures[0], pictures[1]));
    // The texture by rename: its new bricks are the first picture again.
    writeByRename(world + "/walls.bmp", readFile(world + "/bricks.bmp"));
    take(2);
    EXPECT_TRUE(samePicture(pictures[0], pictures[2]));
    // A model in place: the crates ahead become gems.
    writeInPlace(world + "/crate.3ds", readFile(world + "/gem.3ds"));
    take(3);
    EXPECT_FALSE(samePicture(pictures[2], pictures[3]));
    // A broken map by rename: the picture stays, the loader's line is drawn over its top.
    writeByRename(world + "/map.m", replaced(map, "99998 -35 0 5 -15 0 5", "99998 -35 0 5 oops 0 5"));
    take(4);
    EXPECT_TRUE(sameRows(pictures[3], pictures[4], overlayTop + 40, pictures[3].height));
    EXPECT_FALSE(sameRows(pictures[3], pictures[4], overlayTop, overlayTop + 14));
    // Repaired: the world loads again (bricks under either name), with nothing drawn over it.
    writeByRename(world + "/map.m", map);
    take(5);
    EXPECT_TRUE(samePicture(pictures[3], pictures[5]));

    EXPECT_EQ(engine.terminate(), 0) << engine.errors();
    const std::string errors = engine.errors();
    // Each save read once: four loads and one refusal, whatever the editor's steps were.
    EXPECT_EQ(countOf(errors, "--watch: the world was loaded again"), 4) << errors;
    EXPECT_EQ(countOf(errors, "does not load"), 1) << errors;
    EXPECT_NE(errors.find("map.m:3: error: expected a number"), std::string::npos) << errors;
    EXPECT_NE(engine.output().find("camera -25.000000 3.000000 15.000000 0 1800"), std::string::npos);
}

TEST(LiveWorld, APlayedAndARecordedDemoGoOnAcrossAReloadWithTheEyeWhereItWas) {
    SKIP_IF_GL_UNAVAILABLE_AND_ASKED();
    const std::string world = copySampleWorld();
    ASSERT_FALSE(world.empty());
    // The first 250 records of the sample walk: a few seconds of a headless watch.
    writeInPlace(world + "/short.dem", readFile(world + "/demo.dem").substr(0, 250 * 5));
    const std::string demo = world + "/short.dem";
    std::string plain;
    ASSERT_EQ(runCommand(std::string(ENGINE_BINARY) + " --headless --demo " + demo + " " + world, plain), 0);
    const std::string ending = plain.substr(plain.find("frames "));

    const std::string shots = world + "/shot";
    // A demo recorded while another plays is a copy of the records played: across the
    // reload too.
    const std::string copy = world + "/copy.dem";
    ChildProgram engine(ENGINE_BINARY,
                        {"--headless", "--watch", "--demo", demo, "--record", copy, "--reload-shots", shots, world},
                        world);
    ASSERT_TRUE(engine.waitForFile(shots + "-0.png", startBound)) << engine.errors();
    writeInPlace(world + "/map.m", readFile(world + "/map.m"));
    ASSERT_TRUE(engine.waitForFile(shots + "-1.png", reloadBound)) << engine.errors();
    EXPECT_EQ(engine.waitForEnd(startBound), 0) << engine.errors();
    const std::string errors = engine.errors();
    EXPECT_EQ(countOf(errors, "--watch: the world was loaded again"), 1) << errors;
    // The reload came before the demo's end, or the test shows nothing.
    EXPECT_NE(engine.output().find(ending), std::string::npos) << engine.output() << " against " << ending;
    EXPECT_EQ(readFile(copy), readFile(demo));
}

TEST(LiveWorld, TheBuilderBuildsEverySaveAndWritesNothingForADescriptionWithErrors) {
    std::string pattern = testing::TempDir() + "builder_XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const std::string dir = pattern, description = dir + "/world.txt", out = dir + "/built";
    const std::string first = readFile(SOURCE_DIR "/worlds/sample/world.txt");
    ASSERT_NE(first.find("screen 800 600"), std::string::npos);
    const std::string second = replaced(first, "screen 800 600", "screen 640 480");
    std::filesystem::copy(SOURCE_DIR "/worlds/sample/pictures", dir + "/pictures", std::filesystem::copy_options::recursive);
    writeInPlace(description, first);
    const std::string builder = std::string(BUILD_DIR) + "/world_builder";
    ChildProgram watch(builder, {"--watch", description, out}, dir);
    const auto builds = [&] { return countOf(watch.output(), "built "); };
    ASSERT_TRUE(watch.waitUntil([&] { return builds() == 1; }, startBound)) << watch.errors();
    const std::string firstMap = readFile(out + "/map.m");
    EXPECT_NE(readFile(out + "/game.ini").find("WIDTH 800"), std::string::npos);

    // A description with errors: its problems, and the folder as it was.
    writeByRename(description, first + "room nowhere\n");
    ASSERT_TRUE(watch.waitUntil([&] { return watch.errors().find("nothing written") != std::string::npos; },
                                reloadBound));
    EXPECT_NE(watch.errors().find("world.txt:"), std::string::npos) << watch.errors();
    EXPECT_EQ(builds(), 1);

    // The second save builds again, in place and by rename alike.
    writeInPlace(description, second);
    ASSERT_TRUE(watch.waitUntil([&] { return builds() == 2; }, reloadBound)) << watch.errors();
    EXPECT_NE(readFile(out + "/game.ini").find("WIDTH 640"), std::string::npos);
    EXPECT_EQ(readFile(out + "/map.m"), firstMap);
    writeByRename(description, first);
    ASSERT_TRUE(watch.waitUntil([&] { return builds() == 3; }, reloadBound)) << watch.errors();
    EXPECT_NE(readFile(out + "/game.ini").find("WIDTH 800"), std::string::npos);
    EXPECT_EQ(watch.terminate(), 0);
    EXPECT_EQ(builds(), 3);

    // Each build gives the bytes a plain build of the same description gives, and leaves
    // no file half-way.
    std::string output;
    ASSERT_EQ(runCommand(builder + " " + description + " " + dir + "/plain 2>&1", output), 0) << output;
    for (const auto& entry : fs::directory_iterator(dir + "/plain")) {
        const std::string name = entry.path().filename().string();
        EXPECT_EQ(readFile(out + "/" + name), readFile(entry.path().string())) << name;
    }
    for (const auto& entry : fs::directory_iterator(out))
        EXPECT_EQ(entry.path().string().find(".part"), std::string::npos) << entry.path();
}

// GL names in use of each kind, counted over a range well past what a hundred loads of
// the sample world take (the driver need not hand out freed names again).
struct GlCounts {
    int lists = 0, textures = 0;
};
GlCounts glCounts() {
    GlCounts counts;
    for (GLuint name = 1; name < 200000; ++name) {
        counts.lists += glIsList(name) ? 1 : 0;
        counts.textures += glIsTexture(name) ? 1 : 0;
    }
    return counts;
}

class LiveReload : public testing::Test {
protected:
    void SetUp() override {
        SKIP_IF_GL_UNAVAILABLE_AND_ASKED();
        char cwd[4096];
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        startDir = cwd;
        resetSettings();
        resetWorld();
        resetEngine();
        platform::resetMessages();
        ASSERT_TRUE(platform::startVideo(true));
        world = copySampleWorld();
        ASSERT_EQ(chdir(world.c_str()), 0);
        platform::registerWindowClass(windowClassName, windowProc, nullptr);
        mainWindow = platform::createWindow(windowClassName, windowTitle, platform::WindowStyle::overlapped, 320, 240);
        ASSERT_NE(mainWindow, nullptr);
        WIDTH = 320;
        HEIGHT = 240;
        FULLSCREEN = 0;
        ASSERT_EQ(initGraphics(mainWindow), 0);
    }
    void TearDown() override {
        if (startDir.empty()) return;
        releaseGraphics();
        if (mainWindow) platform::destroyWindow(mainWindow);
        mainWindow = nullptr;
        platform::resetMessages();
        resetEngine();
        resetSettings();
        resetWorld();
        ASSERT_EQ(chdir(startDir.c_str()), 0);
    }
    std::string startDir, world;
};

TEST_F(LiveReload, AHundredReloadsLeaveTheGlObjectsAndTheMemoryWhereTheFirstLeftThem) {
    WorldFileCheck check;
    ASSERT_TRUE(reloadWorld(check));
    const GlCounts first = glCounts();
    const long firstKilobytes = procStatusKilobytes("VmRSS");
    for (int i = 1; i < 100; ++i) ASSERT_TRUE(reloadWorld(check)) << i;
    const GlCounts last = glCounts();
    const long lastKilobytes = procStatusKilobytes("VmRSS");
    std::printf("after 1 reload: %d lists, %d textures, %ld kB; after 100: %d lists, %d textures, %ld kB\n",
                first.lists, first.textures, firstKilobytes, last.lists, last.textures, lastKilobytes);
    EXPECT_GT(first.lists, 1);
    EXPECT_GT(first.textures, 1);
    EXPECT_EQ(last.lists, first.lists);
    EXPECT_EQ(last.textures, first.textures);
    // The sample world's images alone are some 200 kB a load: a leak of them shows as 20 MB.
    // The sanitizer's quarantine holds every freed block for a while, so there only the GL
    // objects are compared.
    if (!addressSanitizerBuild) EXPECT_LT(lastKilobytes - firstKilobytes, 4096);
}

TEST_F(LiveReload, ACheckOfFilesThatDoNotLoadLeavesTheWorldAsItWas) {
    const int32_t cellsBefore = cellCount, polygonsBefore = polygonCount, texturesBefore = textureCount;
    const uint32_t firstTexture = textureNames[0];
    const struct {
        const char* what;
        std::string map;
        const char* expected;
    } cases[] = {
        {"a word for a number", "99900 -10 0 -10 10 5 10 0 99998 -10 0 oops\n", "map.m:1: error: expected a number"},
        {"no map at all", "", "Cannot open the map file map.m"},
        {"a model that cannot be read",
         "99900 -10 0 -10 10 5 10 0 99995 broken.3ds 0 0 0 -90 0 0 -1 0 -1 1 2 1 0 100000\n",
         "broken.3ds"},
    };
    writeInPlace("broken.3ds", "not a model");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.map.empty()) {
            ASSERT_EQ(std::remove("map.m"), 0);
        } else {
            writeInPlace("map.m", c.map);
        }
        WorldFileCheck check;
        EXPECT_FALSE(reloadWorld(check));
        ASSERT_FALSE(check.problems.empty());
        EXPECT_NE(check.problems[0].find(c.expected), std::string::npos) << check.problems[0];
        EXPECT_EQ(cellCount, cellsBefore);
        EXPECT_EQ(polygonCount, polygonsBefore);
        EXPECT_EQ(textureCount, texturesBefore);
        EXPECT_EQ(textureNames[0], firstTexture);
        EXPECT_TRUE(glIsTexture(firstTexture));
    }
}

}  // namespace
