// Loading files by name: the mapping, and the one message each failure shows.
#include "image/bitmap.h"
#include "assets/bmp_writer.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

// Catches the loader's messages for one test and puts the default sink back after.
class BitmapLoad : public testing::Test {
protected:
    void SetUp() override {
        saved = bitmapErrorSink;
        bitmapErrorSink = [this](const std::string& text) { messages.push_back(text); };
    }
    void TearDown() override { bitmapErrorSink = saved; }

    std::function<void(const std::string&)> saved;
    std::vector<std::string> messages;
};

std::vector<uint8_t> smallBmp() {
    BmpLayout layout;
    layout.width = 2;
    layout.height = 1;
    layout.pixels = padRows({{1, 2, 3, 4, 5, 6}});
    return makeBmp(layout);
}

TEST_F(BitmapLoad, FileDecodesLikeItsBytesWithoutMessages) {
    const std::string path = writeTempFile("small.bmp", smallBmp());
    const std::unique_ptr<ImageRecord> image = loadBitmap(path.c_str());
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, 2);
    EXPECT_EQ(image->height, 1);
    EXPECT_EQ(image->pixels, (std::vector<uint8_t>{3, 2, 1, 6, 5, 4}));
    EXPECT_TRUE(messages.empty());
}

// Textures shipped with real models; one header counts 40 bytes more pixel data than
// the file holds after its offset, which must not cost the texture.
TEST_F(BitmapLoad, RealModelTexturesLoad) {
    for (const char* name : {"m_rifl.bmp", "mp5sil.bmp"}) {
        const std::string path = std::string(TESTDATA_DIR) + "/models3ds/assimp-nonbsd/" + name;
        const std::unique_ptr<ImageRecord> image = loadBitmap(path.c_str());
        ASSERT_TRUE(image) << name;
        EXPECT_EQ(image->width, 256);
        EXPECT_EQ(image->height, 256);
    }
    EXPECT_TRUE(messages.empty()) << messages.front();
}

TEST_F(BitmapLoad, UnopenableFilesShowTheOpenMessageWithTheNameAndTheReason) {
    const std::string missing = (std::filesystem::temp_directory_path() / "no-such-texture.bmp").string();
    const std::string empty = writeTempFile("empty.bmp", {});
    const std::string directory = std::filesystem::temp_directory_path().string();
    const std::pair<std::string, const char*> cases[] = {
        {missing, "No such file or directory"}, {empty, "is empty"}, {directory, "is a folder"}};
    for (const auto& [name, reason] : cases) {
        messages.clear();
        EXPECT_FALSE(loadBitmap(name.c_str())) << name;
        ASSERT_EQ(messages.size(), 1u) << name;
        EXPECT_EQ(messages[0], "Failed to open DIB file " + name + ".\n" + name + ": " + reason);
    }
}

// Models made where file names ignore case name their textures in capitals.
TEST_F(BitmapLoad, ANameInAnotherCaseLoadsTheFileThere) {
    const std::string path = writeTempFile("lower-case.bmp", smallBmp());
    const std::string upper = path.substr(0, path.rfind('/') + 1) + "LOWER-CASE.BMP";
    const std::unique_ptr<ImageRecord> image = loadBitmap(upper.c_str());
    ASSERT_TRUE(image) << (messages.empty() ? "" : messages[0]);
    EXPECT_EQ(image->pixels, (std::vector<uint8_t>{3, 2, 1, 6, 5, 4}));
}

// Each other failure shows its fixed text first, then the file and what was wrong where.
TEST_F(BitmapLoad, DecodeFailuresShowTheirTextTheFileAndTheByte) {
    std::vector<uint8_t> unknown = smallBmp();
    unknown[14] = 108;
    std::vector<uint8_t> damaged = smallBmp();
    damaged[26] = 3;  // planes
    std::vector<uint8_t> huge = smallBmp();
    huge[20] = 0x01;  // width 65538
    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* text;
    } cases[] = {
        {"v4.bmp", unknown, "Unknown DIB file format."},
        {"planes.bmp", damaged, "Image file conversion error."},
        {"huge.bmp", huge, "Out of memory."},
    };
    for (const auto& c : cases) {
        messages.clear();
        const std::string path = writeTempFile(c.name, c.bytes);
        EXPECT_FALSE(loadBitmap(path.c_str())) << c.name;
        ASSERT_EQ(messages.size(), 1u) << c.name;
        const std::string firstLine = messages[0].substr(0, messages[0].find('\n'));
        EXPECT_EQ(firstLine, c.text);
        EXPECT_NE(messages[0].find(path + ": "), std::string::npos) << messages[0];
        EXPECT_NE(messages[0].find("at byte"), std::string::npos) << messages[0];
    }
}

TEST_F(BitmapLoad, DefaultSinkWritesToStandardError) {
    testing::internal::CaptureStderr();
    saved("Out of memory.");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Out of memory.\n");
}

}  // namespace
