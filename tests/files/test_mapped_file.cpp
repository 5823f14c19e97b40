// The one read-only mapping the loaders parse files through: what each kind of file
// maps to, and that the bytes are the file's.
#include "files/mapped_file.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/child_process.h"

namespace fs = std::filesystem;
using platform::MappedFile;
using platform::MappedReading;

namespace {

class MappedFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/mapped_file_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string write(const std::string& name, const std::string& bytes) const {
        std::ofstream(dir + "/" + name, std::ios::binary) << bytes;
        return dir + "/" + name;
    }
    std::string dir;
};

// "ok SIZE BYTES" or "refused REASON", in a child killed if the mapping blocks.
std::string mapOutcome(const std::string& name, MappedReading reading) {
    const ChildResult child = runInChild([&] {
        const MappedFile file(name.c_str(), reading);
        if (!file.ok()) return "refused " + file.reason();
        if (!file.data()) return std::string("ok without data");
        file.prefetch(0, file.size());
        return "ok " + std::to_string(file.size()) + " " +
               std::string(reinterpret_cast<const char*>(file.data()), file.size());
    }, ChildOptions{5});
    return child.exited ? child.output : child.describe();
}

TEST_F(MappedFileTest, EachKindOfFileMapsOrIsRefusedWithItsReason) {
    ASSERT_EQ(mkfifo((dir + "/fifo").c_str(), 0666), 0);
    fs::create_directory(dir + "/folder");
    const struct {
        std::string name;
        std::string expected;
    } cases[] = {
        {write("text.m", "99999 1 2\n"), "ok 10 99999 1 2\n"},
        {write("empty.bmp", ""), "ok 0 "},
        {write("MixedCase.BMP", "BM"), "ok 2 BM"},
        {dir + "/mixedcase.bmp", "ok 2 BM"},  // the match ignoring case, as every open
        {dir + "/missing", "refused No such file or directory"},
        {dir + "/fifo", "refused is a FIFO"},
        {dir + "/folder", "refused is a folder"},
        {"/dev/zero", "refused is a device"},
    };
    for (const MappedReading reading : {MappedReading::atRandom, MappedReading::frontToBack}) {
        for (const auto& c : cases) EXPECT_EQ(mapOutcome(c.name, reading), c.expected) << c.name;
    }
}

// Several pages map whole, byte for byte; a prefetch of a range that is empty or runs
// past the end does nothing.
TEST_F(MappedFileTest, ABigFileReadsWholeAndPrefetchOutsideItIsHarmless) {
    std::string bytes(3 * 4096 + 17, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = char('a' + i % 26);
    const std::string name = write("big", bytes);
    const MappedFile file(name.c_str(), MappedReading::frontToBack);
    ASSERT_TRUE(file.ok()) << file.reason();
    file.prefetch(4096 + 5, bytes.size());
    file.prefetch(10, 5);                     // an empty range
    file.prefetch(0, bytes.size() + 4096);    // past the end: ignored
    ASSERT_EQ(file.size(), bytes.size());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.data()), file.size()), bytes);
}

}  // namespace
