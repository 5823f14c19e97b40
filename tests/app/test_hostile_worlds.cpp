// A world folder (or a world description) from a stranger, and the engine, the demo
// recorder and the world builder run on it: nothing but the files the user named and
// the world's own files may change. Each row is a folder and a command; after it every
// file that was there before, in the folder and outside it, must hold the same bytes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <iterator>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>

#include "support/child_process.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

const std::string engine = ENGINE_BINARY;
const std::string recorder = std::string(BUILD_DIR) + "/record_demo";
const std::string builder = std::string(BUILD_DIR) + "/world_builder";
const std::string sourceWorld = std::string(SOURCE_DIR) + "/tests/worlds/stencil_window";
const std::string sampleDescription = std::string(SOURCE_DIR) + "/worlds/sample/world.txt";

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Every entry under `root`, by path: a file's bytes, a link's target, or what it is.
using Snapshot = std::map<std::string, std::string>;

Snapshot snapshot(const std::string& root) {
    Snapshot entries;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        const std::string path = entry.path().string();
        if (entry.is_symlink()) {
            entries[path] = "link to " + fs::read_symlink(entry.path()).string();
        } else if (entry.is_regular_file()) {
            entries[path] = fileBytes(path);
        } else {
            entries[path] = entry.is_directory() ? "folder" : "special";
        }
    }
    return entries;
}

// The entries of `before` that changed or went; with `nothingNew`, also the ones added.
std::string changes(const Snapshot& before, const Snapshot& after, bool nothingNew) {
    std::string found;
    for (const auto& [path, bytes] : before) {
        const auto now = after.find(path);
        if (now == after.end()) found += "removed " + path + "\n";
        else if (now->second != bytes) found += "changed " + path + "\n";
    }
    if (nothingNew)
        for (const auto& entry : after)
            if (!before.count(entry.first)) found += "added " + entry.first + "\n";
    return found;
}

bool hasRawControlBytes(const std::string& text) {
    for (const char c : text)
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\t') || c == 0x7f) return true;
    return false;
}

struct CommandRun {
    int status = -1;
    std::string output;
};

// Under a bound: a command that hangs on a FIFO fails its row instead of the suite.
CommandRun run(const std::string& command) {
    CommandRun result;
    result.status = runCommand("timeout -s KILL 30 " + command + " 2>&1", result.output);
    return result;
}

class HostileWorlds : public testing::Test {
protected:
    void SetUp() override {
        umask(022);
        std::string pattern = testing::TempDir() + "hostile_XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root = pattern;
        world = root + "/world";
        decoy = root + "/decoy.txt";
        fs::copy(sourceWorld, world);
        writeFile(decoy, "the user's own notes\n");
        writeFile(world + "/old.dem", std::string(35, '\x07'));
        fs::create_symlink("../decoy.txt", world + "/link.dem");
        fs::create_symlink("../decoy.txt", world + "/link.png");
        ASSERT_EQ(mkfifo((world + "/fifo.dem").c_str(), 0666), 0);
        fs::create_directory(world + "/folder.dem");
    }
    void TearDown() override {
        if (!root.empty() && !HasFailure()) fs::remove_all(root);
    }
    void writeIni(const std::string& demoSettings) {
        writeFile(world + "/game.ini", "WIDTH 160 HEIGHT 120 FULLSCREEN 0 DIRECTX 0 " + demoSettings + "\n");
    }
    std::string root, world, decoy;
};

// --- The engine ---------------------------------------------------------------------

TEST_F(HostileWorlds, TheEngineWritesNothingAWorldOrANameCannotAskFor) {
    const struct Case {
        const char* name;
        std::string ini;        // the demo settings of the world's game.ini
        std::string arguments;  // before the world folder
        std::string message;
    } cases[] = {
        {"SAVEDEMO out of the folder", "SAVEDEMO 1 ../decoy.txt", "--frames 3",
         "game.ini: SAVEDEMO names \"../decoy.txt\": a world's game.ini may only record into a plain file name"},
        {"SAVEDEMO an absolute path", "SAVEDEMO 1 " + root + "/decoy.txt", "--frames 3",
         "SAVEDEMO names \"/"},
        {"SAVEDEMO into a sub-folder", "SAVEDEMO 1 folder.dem/x.dem", "--frames 3",
         "SAVEDEMO names \"folder.dem/x.dem\""},
        {"SAVEDEMO a link out of the folder", "SAVEDEMO 1 link.dem", "--frames 3",
         "Cannot record into the demo file \"link.dem\": is a symbolic link"},
        {"SAVEDEMO a FIFO", "SAVEDEMO 1 fifo.dem", "--frames 3",
         "Cannot record into the demo file \"fifo.dem\": is a FIFO"},
        {"SAVEDEMO a folder", "SAVEDEMO 1 folder.dem", "--frames 3",
         "Cannot record into the demo file \"folder.dem\": is a folder"},
        {"SAVEDEMO a name with an escape sequence", "SAVEDEMO 1 \x1b[31m/x.dem", "--frames 3",
         "SAVEDEMO names \"\\x1b[31m/x.dem\""},
        {"--check of a SAVEDEMO out of the folder", "SAVEDEMO 1 ../decoy.txt", "--check",
         "game.ini: error: SAVEDEMO names \"../decoy.txt\""},
        {"--record a link", "", "--frames 3 --record " + root + "/world/link.dem", "is a symbolic link"},
        {"--screenshot a link", "", "--frames 3 --screenshot " + root + "/world/link.png",
         "link.png: cannot be opened for writing: is a symbolic link"},
        {"--screenshot into a missing folder", "", "--frames 3 --screenshot " + root + "/missing/shot.png",
         "shot.png: cannot be opened for writing: No such file or directory"},
        {"--timedemo-csv a FIFO", "", "--frames 3 --timedemo-csv " + root + "/world/fifo.dem",
         "Cannot write the frame-time file \"" + root + "/world/fifo.dem\": is a FIFO"},
    };
    for (const Case& c : cases) {
        writeIni("PLAYDEMO 0 walk.dem " + c.ini);
        const Snapshot before = snapshot(root);
        const CommandRun result = run(engine + " --headless " + c.arguments + " " + world);
        EXPECT_EQ(result.status, 1) << c.name << "\n" << result.output;
        EXPECT_NE(result.output.find(c.message), std::string::npos) << c.name << "\n" << result.output;
        EXPECT_FALSE(hasRawControlBytes(result.output)) << c.name << "\n" << result.output;
        EXPECT_EQ(changes(before, snapshot(root), true), "") << c.name;
    }
}

// A recording replaces its demo by a rename: a hard link to the old demo (here, the
// user's file outside the world) keeps the old bytes, and the new demo has the
// permissions of a new file.
TEST_F(HostileWorlds, ARecordingReplacesTheDemoWithoutWritingIntoIt) {
    ASSERT_EQ(link(decoy.c_str(), (world + "/shared.dem").c_str()), 0);
    ASSERT_EQ(chmod((world + "/old.dem").c_str(), 0600), 0);
    const struct Case {
        const char* name;
        std::string ini, arguments, recorded;
    } cases[] = {
        {"game.ini's plain name", "SAVEDEMO 1 old.dem", "--frames 3", world + "/old.dem"},
        {"game.ini's name, hard-linked to a file outside", "SAVEDEMO 1 shared.dem", "--frames 3",
         world + "/shared.dem"},
        {"--record", "", "--frames 3 --record " + world + "/old.dem", world + "/old.dem"},
    };
    for (const Case& c : cases) {
        writeIni("PLAYDEMO 0 walk.dem " + c.ini);
        Snapshot before = snapshot(root);
        const CommandRun result = run(engine + " --headless " + c.arguments + " " + world);
        EXPECT_EQ(result.status, 0) << c.name << "\n" << result.output;
        EXPECT_EQ(fileBytes(c.recorded), std::string(15, '\0')) << c.name;
        struct stat info {};
        ASSERT_EQ(stat(c.recorded.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0644u) << c.name;
        before[c.recorded] = std::string(15, '\0');
        EXPECT_EQ(changes(before, snapshot(root), true), "") << c.name;
        writeFile(world + "/old.dem", std::string(35, '\x07'));
    }
}

// The recording counts one record a frame into a new file; a run that is stopped by a
// quit signal ends as a closed window does and keeps what it recorded, one that is
// killed leaves the old demo as it was.
pid_t spawnQuiet(const std::vector<std::string>& arguments, const std::string& log) {
    std::vector<char*> argv;
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// The first new ".part" file of `folder` that holds at least `bytes` bytes.
bool waitForPartialRecording(const std::string& folder, uintmax_t bytes) {
    for (int tries = 0; tries < 400; ++tries) {
        for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
            const std::string name = entry.path().filename().string();
            if (name.size() > 5 && name.compare(name.size() - 5, 5, ".part") == 0 && entry.is_regular_file() &&
                entry.file_size() >= bytes)
                return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return false;
}

// The exit status, or -1 when a signal ended it (or it did not end within the bound).
int waitForExit(pid_t pid) {
    int status = 0;
    for (int tries = 0; tries < 800; ++tries) {
        if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -2;
}

int partFiles(const std::string& folder) {
    int count = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
        if (entry.path().extension() == ".part") ++count;
    return count;
}

TEST_F(HostileWorlds, AnInterruptedEngineRecordingNeverLeavesHalfADemo) {
    writeIni("PLAYDEMO 0 walk.dem");
    const std::string old = fileBytes(world + "/old.dem");
    const struct Case {
        int signal;
        int status;         // -1: ended by the signal
        bool replaced;      // the demo holds the new recording afterwards
    } cases[] = {{SIGTERM, 0, true}, {SIGINT, 0, true}, {SIGKILL, -1, false}};
    for (const Case& c : cases) {
        writeFile(world + "/old.dem", old);
        const pid_t pid = spawnQuiet({engine, "--headless", "--record", world + "/old.dem", world}, root + "/log");
        ASSERT_GT(pid, 0);
        ASSERT_TRUE(waitForPartialRecording(world, 50)) << strsignal(c.signal);
        kill(pid, c.signal);
        EXPECT_EQ(waitForExit(pid), c.status) << strsignal(c.signal) << "\n" << fileBytes(root + "/log");
        const std::string demo = fileBytes(world + "/old.dem");
        if (c.replaced) {
            EXPECT_GE(demo.size(), 50u) << strsignal(c.signal);
            EXPECT_EQ(demo.size() % 5, 0u) << strsignal(c.signal);
            EXPECT_EQ(partFiles(world), 0) << strsignal(c.signal);
        } else {
            EXPECT_EQ(demo, old) << strsignal(c.signal);
        }
    }
}

// --- The demo recorder --------------------------------------------------------------

TEST_F(HostileWorlds, TheRecorderRecordsItsScriptOrLeavesTheDemoAlone) {
    writeFile(root + "/short.walk", "walk 10\nturn 160\n");
    writeFile(root + "/long.walk", "wait 2147483647\n");
    writeFile(root + "/over.walk", "walk 2\nwait 2147483648\n");
    writeFile(root + "/sum.walk", "wait 2147483000\nwait 2147483000\n");
    writeFile(root + "/full.walk", "walk 300\n");  // 1500 bytes of records
    // The script's own recording, in a world whose game.ini says nothing of demos.
    writeIni("PLAYDEMO 0 walk.dem");
    const CommandRun plain = run(recorder + " " + root + "/short.walk " + world + " " + root + "/plain.dem");
    ASSERT_EQ(plain.status, 0) << plain.output;
    const std::string script = fileBytes(root + "/plain.dem");
    ASSERT_GE(script.size(), 5u * 20);
    fs::remove(root + "/plain.dem");

    const struct Case {
        const char* name;
        std::string ini, script, output;
        int status;
        const char* message;
        std::string expected;  // the demo's bytes afterwards; empty: left as it was
    } cases[] = {
        {"a game.ini that plays a demo", "PLAYDEMO 1 walk.dem", "short.walk", world + "/old.dem", 0, "", script},
        {"a game.ini that draws nothing", "PLAYDEMO 0 walk.dem DIRECTX 1", "short.walk", world + "/old.dem", 0, "",
         script},
        {"a game.ini that records elsewhere", "PLAYDEMO 0 walk.dem SAVEDEMO 1 ../decoy.txt", "short.walk",
         world + "/old.dem", 0, "", script},
        {"a step beyond the int range", "PLAYDEMO 0 walk.dem", "over.walk", world + "/old.dem", 1,
         "/over.walk:2: '2147483648' is outside -2147483648..2147483647", ""},
        {"a script longer than the engine can count", "PLAYDEMO 0 walk.dem", "sum.walk", world + "/old.dem", 1,
         "/sum.walk:2: the script is longer than", ""},
        {"an output that is a link", "PLAYDEMO 0 walk.dem", "short.walk", world + "/link.dem", 1,
         "is a symbolic link; no demo written", ""},
        {"an output that is a FIFO", "PLAYDEMO 0 walk.dem", "short.walk", world + "/fifo.dem", 1, "is a FIFO", ""},
        {"a full disk", "PLAYDEMO 0 walk.dem", "full.walk", world + "/old.dem", 1, "no demo written", ""},
    };
    for (const Case& c : cases) {
        writeIni(c.ini);
        const Snapshot before = snapshot(root);
        // A full disk is a file-size limit of 512 bytes: writes beyond it fail (EFBIG).
        const std::string limit = std::string(c.name) == "a full disk" ? "sh -c 'trap \"\" XFSZ; ulimit -f 1; exec " : "";
        const std::string command = recorder + " " + root + "/" + c.script + " " + world + " " + c.output;
        const CommandRun result = run(limit.empty() ? command : limit + command + "'");
        EXPECT_EQ(result.status, c.status) << c.name << "\n" << result.output;
        EXPECT_NE(result.output.find(c.message), std::string::npos) << c.name << "\n" << result.output;
        Snapshot expected = before;
        if (!c.expected.empty()) expected[c.output] = c.expected;
        EXPECT_EQ(changes(expected, snapshot(root), true), "") << c.name;
        writeFile(world + "/old.dem", std::string(35, '\x07'));
    }
}

TEST_F(HostileWorlds, AnInterruptedRecorderLeavesTheOldDemo) {
    writeIni("PLAYDEMO 0 walk.dem");
    writeFile(root + "/long.walk", "walk 100000\n");
    const std::string old = fileBytes(world + "/old.dem");
    for (const int signal : {SIGINT, SIGTERM, SIGKILL}) {
        const pid_t pid = spawnQuiet({recorder, root + "/long.walk", world, world + "/old.dem"}, root + "/log");
        ASSERT_GT(pid, 0);
        ASSERT_TRUE(waitForPartialRecording(world, 50)) << strsignal(signal);
        kill(pid, signal);
        const int status = waitForExit(pid);
        EXPECT_EQ(status, signal == SIGKILL ? -1 : 1) << strsignal(signal) << "\n" << fileBytes(root + "/log");
        EXPECT_EQ(fileBytes(world + "/old.dem"), old) << strsignal(signal);
        if (signal != SIGKILL) EXPECT_EQ(partFiles(world), 0) << strsignal(signal);
    }
}

// --- The world builder --------------------------------------------------------------

class HostileDescriptions : public HostileWorlds {
protected:
    // The sample world's description with one more line, built in place (with the
    // pictures it converts beside it).
    std::string describe(const std::string& extra, const std::string& name = "world.txt") {
        const std::string path = world + "/" + name;
        fs::copy(std::string(SOURCE_DIR) + "/worlds/sample/pictures", world + "/pictures",
                 fs::copy_options::recursive | fs::copy_options::skip_existing);
        writeFile(path, fileBytes(sampleDescription) + extra);
        return path;
    }
};

TEST_F(HostileDescriptions, TheBuilderWritesOnlyTheWorldsOwnFiles) {
    const int lines = int(std::count(std::istreambuf_iterator<char>(std::ifstream(sampleDescription).rdbuf()), {}, '\n'));
    const std::string last = ":" + std::to_string(lines + 1) + ": ";
    const struct Case {
        const char* name;
        std::string extra;  // appended to the description
        const char* message;
        std::string description = "world.txt";
    } cases[] = {
        {"a texture named as a description that ends in .bmp", "texture desc.bmp pattern stone flavour pal8\n",
         "texture 'desc.bmp' is the description itself", "desc.bmp"},
        {"a texture named as the description", "texture world.txt pattern stone flavour pal8\n",
         "texture 'world.txt' must end in .bmp"},
        {"a texture named map.m", "texture map.m pattern stone flavour pal8\n", "texture 'map.m' must end in .bmp"},
        {"a texture named game.ini", "texture game.ini pattern stone flavour pal8\n",
         "texture 'game.ini' must end in .bmp"},
        {"a model named as a demo", "model old.dem shape crate texture crate.bmp size 2 2\n",
         "model 'old.dem' must end in .3ds"},
        {"a model named as a bitmap", "model box.bmp shape crate texture crate.bmp size 2 2\n",
         "model 'box.bmp' must end in .3ds"},
    };
    for (const Case& c : cases) {
        const std::string description = describe(c.extra, c.description);
        const Snapshot before = snapshot(root);
        const CommandRun result = run(builder + " " + description + " " + world);
        EXPECT_EQ(result.status, 1) << c.name << "\n" << result.output;
        EXPECT_NE(result.output.find(description + last + c.message), std::string::npos)
            << c.name << "\n" << result.output;
        EXPECT_EQ(changes(before, snapshot(root), true), "") << c.name;
    }
}

TEST_F(HostileDescriptions, ABuildThatCannotFinishLeavesThePreviousWorld) {
    const std::string description = describe("");
    ASSERT_EQ(run(builder + " " + description + " " + world).status, 0);
    const struct Case {
        const char* name;
        std::function<void()> setUp;
        std::string prefix;  // before the command
        const char* message;
    } cases[] = {
        {"game.ini is a FIFO", [&] { fs::remove(world + "/game.ini"); mkfifo((world + "/game.ini").c_str(), 0666); },
         "", "game.ini: is a FIFO; nothing was written"},
        {"map.m is a link out of the folder", [&] { fs::remove(world + "/map.m"); fs::create_symlink("../decoy.txt", world + "/map.m"); },
         "", "map.m: is a symbolic link; nothing was written"},
        {"a texture is a folder", [&] { fs::remove(world + "/sky.bmp"); fs::create_directory(world + "/sky.bmp"); },
         "", "sky.bmp: is a folder; nothing was written"},
        // A full disk: a file-size limit of 8 KiB stops the first file larger than that
        // (map.m), after a new game.ini (another window size) is whole.
        {"the disk fills halfway",
         [&] {
             std::string text = fileBytes(description);
             text.replace(text.find("screen 800 600"), 14, "screen 1024 768");
             writeFile(description, text);
         },
         "sh -c 'trap \"\" XFSZ; ulimit -f 16; exec ", "map.m: File too large; nothing was written"},
    };
    for (const Case& c : cases) {
        c.setUp();
        const Snapshot before = snapshot(root);
        const std::string command = builder + " " + description + " " + world;
        const CommandRun result = run(c.prefix.empty() ? command : c.prefix + command + "'");
        EXPECT_EQ(result.status, 1) << c.name << "\n" << result.output;
        EXPECT_NE(result.output.find(c.message), std::string::npos) << c.name << "\n" << result.output;
        EXPECT_EQ(changes(before, snapshot(root), true), "") << c.name;
        // The next case starts from a whole world again.
        for (const char* name : {"game.ini", "map.m", "sky.bmp"})
            if (fs::is_symlink(world + "/" + name) || !fs::is_regular_file(world + "/" + name))
                fs::remove_all(world + "/" + name);
        ASSERT_EQ(run(command).status, 0);
    }
}

}  // namespace
