// The one way files are opened: regular files only, never a blocking open, nothing but
// a regular file truncated, read opens that ask for nothing more, and names matched
// ignoring case when the exact one is missing. (Unreadable files, and each reader's
// message, are in the application's special-files test.)
#include "files/regular_file.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/child_process.h"

namespace fs = std::filesystem;
using platform::FileAccess;

namespace {

class RegularFile : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/regular_file_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string path(const std::string& name) const { return dir + "/" + name; }
    std::string write(const std::string& name, const std::string& text) const {
        std::ofstream(path(name), std::ios::binary) << text;
        return path(name);
    }
    std::string contents(const std::string& name) const {
        std::ifstream in(path(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    std::string dir;
};

// Opens in a child that is killed if the open blocks; returns the outcome as text:
// "opened <path> <size>" or "refused <reason>".
std::string openOutcome(const std::string& name, FileAccess access) {
    const ChildResult child = runInChild([&] {
        const platform::OpenedFile file = platform::openRegularFile(name, access);
        if (!file.ok()) return "refused " + file.reason;
        const int flags = fcntl(file.handle.fd(), F_GETFL);
        const int fdFlags = fcntl(file.handle.fd(), F_GETFD);
        if (flags & O_NONBLOCK) return std::string("opened but left non-blocking");
        if (!(fdFlags & FD_CLOEXEC)) return std::string("opened without close-on-exec");
        return "opened " + file.path + " " + std::to_string(file.size);
    }, ChildOptions{5});
    return child.exited ? child.output : child.describe();
}

TEST_F(RegularFile, OnlyRegularFilesOpenAndNothingBlocks) {
    write("plain", "12345");
    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0666), 0);
    fs::create_directory(path("folder"));
    fs::create_symlink(path("plain"), path("link"));
    const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path("socket").c_str());
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    struct Case {
        std::string name;
        FileAccess access;
        std::string outcome;
    };
    const Case cases[] = {
        {path("plain"), FileAccess::read, "opened " + path("plain") + " 5"},
        {path("link"), FileAccess::read, "opened " + path("link") + " 5"},
        {path("fifo"), FileAccess::read, "refused is a FIFO"},
        {path("fifo"), FileAccess::write, "refused is a FIFO"},  // no reader: ENXIO, still named
        {path("folder"), FileAccess::read, "refused is a folder"},
        {path("folder"), FileAccess::write, "refused is a folder"},
        {"/dev/null", FileAccess::read, "refused is a device"},
        {"/dev/null", FileAccess::write, "refused is a device"},
        {"/dev/zero", FileAccess::read, "refused is a device"},
        {path("socket"), FileAccess::read, "refused is a socket"},
        {path("missing"), FileAccess::read, "refused No such file or directory"},
        {path("no/such/folder"), FileAccess::write, "refused No such file or directory"},
        {"", FileAccess::read, "refused No such file or directory"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(openOutcome(c.name, c.access), c.outcome) << c.name;
    close(listener);
}

TEST_F(RegularFile, WritingCreatesOrEmptiesOnlyARegularFile) {
    write("old", "previous contents");
    for (const char* name : {"old", "new"}) {
        const platform::OpenedFile file = platform::openRegularFile(path(name), FileAccess::write);
        ASSERT_TRUE(file.ok()) << name << ": " << file.reason;
        EXPECT_EQ(file.size, 0u);
        ASSERT_EQ(::write(file.handle.fd(), "abc", 3), 3);
    }
    EXPECT_EQ(contents("old"), "abc");
    EXPECT_EQ(contents("new"), "abc");
    // Writing never takes a name in another case: it creates the name given.
    ASSERT_TRUE(platform::openRegularFile(path("OLD"), FileAccess::write).ok());
    EXPECT_EQ(contents("old"), "abc");
    EXPECT_TRUE(fs::exists(path("OLD")));
}

TEST_F(RegularFile, ReadingAsksForReadAccessOnly) {
    write("plain", "text");
    ChildOptions options;
    options.denyWriteOpens = true;
    const ChildResult child = runInChild([&] {
        std::string reason;
        std::FILE* stream = platform::openRegularStream(path("plain"), FileAccess::read, reason);
        if (!stream) return "refused " + reason;
        char text[8] = {};
        const size_t n = std::fread(text, 1, sizeof text - 1, stream);
        std::fclose(stream);
        // The filter works: a write open in the same child is refused even for root.
        const bool writeRefused = !platform::openRegularFile(path("plain"), FileAccess::write).ok();
        return std::string(text, n) + (writeRefused ? " (write refused)" : " (write allowed)");
    }, options);
    EXPECT_EQ(child.output, "text (write refused)") << child.describe();
}

TEST_F(RegularFile, AMissingNameFallsBackToItsMatchIgnoringCase) {
    write("mp5sil.bmp", "lower");
    write("Wall.BMP", "exact");
    write("wall.bmp", "other");
    write("Twice.bmp", "upper first");
    write("twice.BMP", "lower first");
    write("caf\xc3\xa9.bmp", "utf8");
    fs::create_directory(path("Sub"));
    write("Sub/inner.bmp", "inner");
    // Every case of "many.bmp"'s stem, the first in byte order ("MANY.bmp") neither first
    // nor last written, so that whatever order the folder lists them in, only a choice by
    // byte order finds it.
    for (int bits = 1; bits < 17; ++bits) {
        std::string stem = "many";
        for (int i = 0; i < 4; ++i)
            if ((bits & 15) & (1 << i)) stem[size_t(i)] = char(stem[size_t(i)] - 'a' + 'A');
        write(stem + ".bmp", "many");
    }

    struct Case {
        const char* name;
        const char* opened;  // nullptr: refused
    };
    const Case cases[] = {
        {"MP5SIL.BMP", "mp5sil.bmp"},
        {"mp5sil.bmp", "mp5sil.bmp"},
        {"Wall.BMP", "Wall.BMP"},        // the exact name wins over another match
        {"WALL.bmp", "Wall.BMP"},        // several match: the first in byte order
        {"TWICE.bmp", "Twice.bmp"},
        {"many.BMP", "MANY.bmp"},
        {"CAF\xc3\xa9.BMP", "caf\xc3\xa9.bmp"},
        {"CAF\xc3\x89.BMP", nullptr},    // only ASCII letters fold
        {"Sub/INNER.BMP", "Sub/inner.bmp"},
        {"sub/inner.bmp", nullptr},      // the folder must exist as written
        {"mp5sil.bm", nullptr},
    };
    for (const Case& c : cases) {
        const platform::OpenedFile file = platform::openRegularFile(path(c.name), FileAccess::read);
        if (!c.opened) {
            EXPECT_FALSE(file.ok()) << c.name << " opened " << file.path;
            EXPECT_EQ(file.reason, "No such file or directory") << c.name;
            continue;
        }
        ASSERT_TRUE(file.ok()) << c.name << ": " << file.reason;
        EXPECT_EQ(file.path, path(c.opened)) << c.name;
    }
    // A relative name is looked up in the current folder.
    const fs::path before = fs::current_path();
    fs::current_path(dir);
    EXPECT_EQ(platform::openRegularFile("Mp5Sil.Bmp", FileAccess::read).path, "mp5sil.bmp");
    fs::current_path(before);
}

// A folder is listed once and kept, but never past a change: a name added, removed or
// renamed afterwards is seen, even within the same second as the listing.
TEST_F(RegularFile, TheKeptListingFollowsChangesToTheFolder) {
    write("stone.bmp", "stone");
    const auto settle = [this] {
        // Back-dated, so the listing that follows is kept rather than taken again.
        const timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, dir.c_str(), times, 0), 0);
    };
    settle();
    EXPECT_EQ(platform::findIgnoringCase(path("STONE.BMP")), path("stone.bmp"));
    EXPECT_EQ(platform::findIgnoringCase(path("WOOD.BMP")), "");
    write("wood.bmp", "wood");  // the folder's time moves on: listed again
    EXPECT_EQ(platform::findIgnoringCase(path("WOOD.BMP")), path("wood.bmp"));
    settle();
    EXPECT_EQ(platform::findIgnoringCase(path("WOOD.BMP")), path("wood.bmp"));
    write("Wood.bmp", "first in byte order");
    EXPECT_EQ(platform::findIgnoringCase(path("WOOD.BMP")), path("Wood.bmp"));
    ASSERT_EQ(std::rename(path("Wood.bmp").c_str(), path("WOOD.bmp").c_str()), 0);
    EXPECT_EQ(platform::findIgnoringCase(path("wood.BMP")), path("WOOD.bmp"));
}

}  // namespace
