// Textures and models of formats the engine does not read are named for what they are,
// by their first bytes, by the loaders and the checker; everything else keeps the
// loaders' own messages.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "image/bitmap.h"
#include "image/foreign_image.h"
#include "support/child_process.h"  // Required for: runCommand, the engine's --check
#include "world/check.h"
#include "world/foreign_model.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<uint8_t> bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }
// A literal with NULs in it, whole.
template <size_t N>
std::vector<uint8_t> raw(const char (&text)[N]) { return std::vector<uint8_t>(text, text + N - 1); }

std::string freshDir() {
    std::string pattern = testing::TempDir() + "foreign_XXXXXX";
    return mkdtemp(pattern.data()) ? pattern : std::string();
}

const std::string bmpsuite = std::string(TESTDATA_DIR) + "/bmpsuite";
const std::string models = std::string(TESTDATA_DIR) + "/models3ds";

TEST(ForeignImages, CommonFormatsAreToldByTheirFirstBytes) {
    struct Case {
        const char* what;
        std::vector<uint8_t> data;
        const char* format;  // nullptr: none
    };
    const Case cases[] = {
        {"PNG of the suite", readFile(bmpsuite + "/html/pal8.png"), "PNG"},
        {"JPEG of the suite", readFile(bmpsuite + "/html/rgb24.jpg"), "JPEG"},
        {"GIF 89a", raw("GIF89a\x10\x00\x10\x00"), "GIF"},
        {"GIF 87a", raw("GIF87a\x10\x00\x10\x00"), "GIF"},
        {"WebP", raw("RIFF\x24\x00\x00\x00WEBPVP8 "), "WebP"},
        {"a RIFF that is no WebP", raw("RIFF\x24\x00\x00\x00WAVEfmt "), nullptr},
        {"a BMP", readFile(bmpsuite + "/g/pal8.bmp"), nullptr},
        {"PNG cut to its first 4 bytes", bytes("\x89PNG"), nullptr},
        {"empty", {}, nullptr},
    };
    for (const Case& c : cases) {
        const ForeignImage found = recogniseForeignImage(c.data.data(), c.data.size());
        if (c.format)
            EXPECT_STREQ(found.format, c.format) << c.what;
        else
            EXPECT_EQ(found.format, nullptr) << c.what;
    }
}

TEST(ForeignModels, CommonFormatsAreToldByTheirFirstBytes) {
    std::vector<uint8_t> stl(84 + 50, 0);
    std::memcpy(stl.data(), "solid exported binary", 21);
    stl[80] = 1;
    std::vector<uint8_t> stlWrongSize = stl;
    stlWrongSize.push_back(0);
    stlWrongSize[0] = 'x';
    struct Case {
        const char* what;
        std::vector<uint8_t> data;
        const char* format;
    };
    const Case cases[] = {
        {"OBJ", bytes("# made by hand\n\nmtllib a.mtl\nv 0 0 0\n"), "an OBJ model"},
        {"OBJ from a vertex", bytes("v 1 2 3\nv 4 5 6\n"), "an OBJ model"},
        {"glTF", bytes("  {\n  \"asset\": {\"version\": \"2.0\"}, \"meshes\": []}"), "a glTF model"},
        {"binary glTF", raw("glTF\x02\x00\x00\x00"), "a binary glTF model"},
        {"STL text", bytes("solid cube\n facet normal 0 0 1\n"), "an STL model"},
        {"STL binary whose header says solid", stl, "a binary STL model"},
        {"binary of the wrong size for STL", stlWrongSize, nullptr},
        {"FBX binary", raw("Kaydara FBX Binary  \x00\x1a\x00"), "an FBX model"},
        {"FBX text", bytes("; FBX 7.4.0 project file\n"), "an FBX model"},
        {"PLY", bytes("ply\nformat ascii 1.0\n"), "a PLY model"},
        {"a real 3D Studio file", readFile(models + "/assimp-nonbsd/mar_rifle.3ds"), nullptr},
        {"JSON that is no glTF", bytes("{\"name\": \"x\"}"), nullptr},
        {"other text", readFile(models + "/online3dviewer/wrong.3ds"), nullptr},
    };
    for (const Case& c : cases) {
        const ForeignModel found = recogniseForeignModel(c.data.data(), c.data.size(), c.data.size());
        if (c.format)
            EXPECT_STREQ(found.format, c.format) << c.what;
        else
            EXPECT_EQ(found.format, nullptr) << c.what;
    }
}

// The bitmap loader keeps its first line and says what the file is instead of what its
// first bytes read as in a DIB header; a bad BMP keeps its message.
TEST(ForeignImages, LoaderSaysWhatTheTextureIs) {
    const std::string dir = freshDir();
    fs::copy_file(bmpsuite + "/html/rgb24.jpg", dir + "/photo.bmp");
    fs::copy_file(bmpsuite + "/b/badheadersize.bmp", dir + "/bad.bmp");
    std::string message;
    const auto saved = bitmapErrorSink;
    bitmapErrorSink = [&](const std::string& text) { message = text; };
    EXPECT_EQ(loadBitmap((dir + "/photo.bmp").c_str()), nullptr);
    EXPECT_EQ(message, "Unknown DIB file format.\n" + dir + "/photo.bmp is a JPEG image; textures are BMP files (the "
                       "world builder converts them: texture NAME.bmp file " + dir + "/photo.jpg)");
    message.clear();
    EXPECT_EQ(loadBitmap((dir + "/bad.bmp").c_str()), nullptr);
    bitmapErrorSink = saved;
    EXPECT_EQ(message.rfind("Unknown DIB file format.\n" + dir + "/bad.bmp: ", 0), 0u) << message;
    EXPECT_EQ(message.find(" is a "), std::string::npos) << message;
}

// --check names both, on the lines of the records that name them.
TEST(ForeignFiles, CheckerSaysWhatTheFilesAre) {
    const std::string dir = freshDir();
    fs::copy_file(bmpsuite + "/html/pal8.png", dir + "/wall.bmp");
    std::ofstream(dir + "/car.3ds") << "# exported\no car\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n";
    std::ofstream(dir + "/map.m") << "99900 -35 0 5 -15 6 25 0\n"
                                     "99999 wall.bmp\n"
                                     "99998 -35 0 5  -15 0 5  -15 0 25  0 0 1 0 1 1\n"
                                     "99995 car.3ds -25 0 20 0 0 0 -1 0 -1 1 1 1 0\n"
                                     "100000\n";
    std::string report;
    EXPECT_EQ(runCommand("cd " + dir + " && " + ENGINE_BINARY + " --check 2>&1", report), 1);
    EXPECT_NE(report.find("map.m:2: error: texture wall.bmp does not load: Unknown DIB file format. wall.bmp is a PNG "
                          "image; textures are BMP files (the world builder converts them: texture NAME.bmp file "
                          "wall.png)"),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("map.m:4: error: model car.3ds does not load: car.3ds is an OBJ model; models are 3D Studio "
                          "files (the world builder converts them: model NAME.3ds file car.obj)"),
              std::string::npos)
        << report;
}

}  // namespace
