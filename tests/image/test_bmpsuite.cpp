// The public BMP suite against the loader: good files decode to exactly the pixels of
// their reference pictures, good files with larger headers are refused as unknown,
// bad files fail with their message unless only unused header fields are wrong, and
// questionable files decode or fail as their headers say.
#include "image/bitmap.h"

#include <gtest/gtest.h>
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string suiteDir = std::string(TESTDATA_DIR) + "/bmpsuite/";

struct SuiteEntry {
    std::string file;         // g/..., q/... or b/...
    std::string dibHeader;    // "info(40)", "core(12)", "v5(124)", ...
    std::string bitCount;     // "1" ... "64"
    std::string compression;  // "RGB", "RLE8", "RLE4", "BITFIELDS", "JPEG", ...
    std::string reference;    // html/....png, or empty
};

std::vector<SuiteEntry> readIndex() {
    std::vector<SuiteEntry> entries;
    std::ifstream index(suiteDir + "INDEX.tsv");
    std::string line;
    std::getline(index, line);  // column names
    while (std::getline(index, line)) {
        std::vector<std::string> fields;
        std::stringstream row(line);
        for (std::string field; std::getline(row, field, '\t');) fields.push_back(field);
        if (fields.size() >= 12) entries.push_back({fields[0], fields[3], fields[7], fields[8], fields[11]});
    }
    return entries;
}

std::vector<SuiteEntry> inSet(const std::string& prefix) {
    std::vector<SuiteEntry> selected;
    for (const SuiteEntry& e : readIndex())
        if (e.file.rfind(prefix, 0) == 0) selected.push_back(e);
    return selected;
}

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// A reference picture as 8-bit RGBA, rows bottom first like an ImageRecord.
// 16-bit samples are scaled to 8 bits with rounding.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;
};

bool readPng(const std::string& path, Picture& picture) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    std::vector<png_bytep> rows;
    bool ok = false;
    if (info && setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, file);
        png_read_info(png, info);
        png_set_expand(png);
        png_set_scale_16(png);
        png_set_gray_to_rgb(png);
        png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
        png_read_update_info(png, info);
        picture.width = int(png_get_image_width(png, info));
        picture.height = int(png_get_image_height(png, info));
        picture.rgba.assign(size_t(picture.width) * picture.height * 4, 0);
        for (int y = 0; y < picture.height; ++y)
            rows.push_back(picture.rgba.data() + size_t(picture.height - 1 - y) * picture.width * 4);
        png_read_image(png, rows.data());
        ok = true;
    }
    png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    std::fclose(file);
    return ok;
}

// How a decoded image compares with its reference where the reference is opaque.
struct Comparison {
    bool sameSize = false;
    size_t differing = 0;     // opaque pixels whose channels differ by more than tolerance
    size_t transparent = 0;   // pixels the reference leaves (partly) transparent
};

Comparison compare(const ImageRecord& image, const Picture& reference, int tolerance) {
    Comparison c;
    c.sameSize = image.width == reference.width && image.height == reference.height;
    if (!c.sameSize) return c;
    for (size_t i = 0; i < size_t(image.width) * image.height; ++i) {
        const uint8_t* ref = &reference.rgba[i * 4];
        if (ref[3] != 255) {
            ++c.transparent;
            continue;
        }
        for (int ch = 0; ch < 3; ++ch) {
            if (std::abs(int(image.pixels[i * 3 + ch]) - int(ref[ch])) > tolerance) {
                ++c.differing;
                break;
            }
        }
    }
    return c;
}

// The suite shows its non-square image stretched as a viewer would ("-v"); the picture
// at the file's own proportions is its "-e" sibling.
std::string unstretched(const std::string& reference) {
    const size_t at = reference.rfind("-v.png");
    return at == std::string::npos ? reference : reference.substr(0, at) + "-e.png";
}

bool headerIsRead(const SuiteEntry& e) { return e.dibHeader == "info(40)" || e.dibHeader == "core(12)"; }

TEST(BmpSuite, GoodFilesMatchTheirReferencePictures) {
    const std::vector<SuiteEntry> good = inSet("g/");
    ASSERT_EQ(good.size(), 27u) << "INDEX.tsv not found or changed under " << suiteDir;
    size_t compared = 0;
    for (const SuiteEntry& e : good) {
        const std::vector<uint8_t> bytes = readFile(suiteDir + e.file);
        const DecodeResult result = decodeBitmap(bytes.data(), bytes.size());
        if (!headerIsRead(e)) {
            EXPECT_EQ(result.failure, BitmapFailure::unknownFormat) << e.file;
            EXPECT_FALSE(result.image) << e.file;
            continue;
        }
        ASSERT_TRUE(result.image) << e.file << ": " << result.detail;
        Picture reference;
        ASSERT_TRUE(readPng(suiteDir + e.reference, reference)) << e.reference;
        if (reference.height != result.image->height) {
            ASSERT_TRUE(readPng(suiteDir + unstretched(e.reference), reference)) << e.reference;
        }
        const Comparison c = compare(*result.image, reference, 1);
        EXPECT_TRUE(c.sameSize) << e.file << " is " << result.image->width << " x " << result.image->height;
        EXPECT_EQ(c.differing, 0u) << e.file << " against " << e.reference;
        EXPECT_EQ(c.transparent, 0u) << e.file;
        ++compared;
    }
    EXPECT_EQ(compared, 25u);
}

// Four "bad" files differ from g/pal1.bmp only in header fields the decoding does not
// use (bfSize, the pixel densities, biSizeImage of uncompressed rows): their pixel data
// is whole, so they decode, to exactly pal1's pixels. ImageMagick agrees for the three
// it reads; it refuses badfilesize, whose bytes are pal1's but for bfSize.
TEST(BmpSuite, FilesWrongOnlyInUnusedHeaderFieldsDecodeToTheirPixels) {
    const std::vector<uint8_t> pal1Bytes = readFile(suiteDir + "g/pal1.bmp");
    const DecodeResult pal1 = decodeBitmap(pal1Bytes.data(), pal1Bytes.size());
    ASSERT_TRUE(pal1.image) << pal1.detail;
    for (const char* file : {"b/badfilesize.bmp", "b/baddens1.bmp", "b/baddens2.bmp", "b/badbitssize.bmp"}) {
        const std::vector<uint8_t> bytes = readFile(suiteDir + file);
        ASSERT_EQ(bytes.size(), pal1Bytes.size()) << file;
        const DecodeResult result = decodeBitmap(bytes.data(), bytes.size());
        ASSERT_TRUE(result.image) << file << ": " << result.detail;
        EXPECT_EQ(result.image->width, 127) << file;
        EXPECT_EQ(result.image->height, 64) << file;
        EXPECT_TRUE(result.image->pixels == pal1.image->pixels) << file;
    }
}

// Every other bad file fails with its full message (as the loader shows it, after the
// file name's line) and no image.
TEST(BmpSuite, BadFilesFailWithTheirMessageAndNoImage) {
    const std::string conversion = "Image file conversion error.";
    const std::pair<const char*, std::string> expected[] = {
        {"b/badbitcount.bmp", conversion + " the bit count 30000 at byte 28 is not 1, 4, 8, 16, 24 or 32"},
        {"b/badheadersize.bmp",
         "Unknown DIB file format. the DIB header at byte 14 is 66 bytes long; only 12 and 40 are read"},
        {"b/badpalettesize.bmp", conversion + " the colour table of 305402420 entries at byte 54 runs past the end "
                                              "of the file (9254 bytes)"},
        {"b/badplanes.bmp", conversion + " the plane count is 30000 at byte 26; it must be 1"},
        {"b/badrle.bmp", conversion + " a run of 32 pixels at byte 1154 passes the end of row 0 (column 113 of 127)"},
        {"b/badrle4.bmp", conversion + " a run of 32 pixels at byte 140 passes the end of row 0 (column 107 of 127)"},
        {"b/badrle4bis.bmp",
         conversion + " a delta at byte 1304 moves to column 172, row 21, outside the 127 x 64 image"},
        {"b/badrle4ter.bmp",
         conversion + " a delta at byte 1304 moves to column 172, row 22, outside the 127 x 64 image"},
        {"b/badrlebis.bmp",
         conversion + " a delta at byte 3668 moves to column 172, row 21, outside the 127 x 64 image"},
        {"b/badrleter.bmp",
         conversion + " a delta at byte 3668 moves to column 172, row 22, outside the 127 x 64 image"},
        {"b/badwidth.bmp", conversion + " the width -127 at byte 18 is not positive"},
        {"b/pal8badindex.bmp", conversion + " pixel 13 of row 0 (near byte 471) names an entry beyond the "
                                            "101-entry colour table"},
        {"b/reallybig.bmp", "Out of memory. the image is 3000000 x 2000000 pixels at byte 18 in a file of 24630 bytes; "
                            "the loader takes at most 32768 per side and 1245616 in all here (16777216 in any file, "
                            "1048576 plus 8 per byte of its file)"},
        {"b/rgb16-880.bmp", conversion + " the blue bit-field mask 0 at byte 62 is empty, not one run of bits, or "
                                         "wider than the pixel"},
        {"b/rletopdown.bmp", conversion + " run-length data cannot be stored top-down (height -64 at byte 22)"},
        {"b/shortfile.bmp", conversion + " the pixel data at byte 62 is cut short: 1024 bytes needed, 211 present"},
    };
    EXPECT_EQ(inSet("b/").size(), std::size(expected) + 4) << "INDEX.tsv lists other bad files";
    for (const auto& [file, message] : expected) {
        const std::vector<uint8_t> bytes = readFile(suiteDir + file);
        ASSERT_FALSE(bytes.empty()) << file;
        const DecodeResult result = decodeBitmap(bytes.data(), bytes.size());
        EXPECT_FALSE(result.image) << file;
        EXPECT_EQ(std::string(bitmapFailureText(result.failure)) + " " + result.detail, message) << file;
    }
}

// Files the format leaves open. From the suite's own description of each file: those
// with a header other than the two the loader reads fail as an unknown format; those with
// a bit count or compression the loader does not take fail as a conversion error; all
// others decode, to their pictures where those are opaque (run-length files that skip
// pixels come out black where the picture is transparent; an 11-bit channel may round
// one step apart from the 8-bit picture it was made from).
BitmapFailure expectedFailure(const SuiteEntry& e) {
    if (!headerIsRead(e)) return BitmapFailure::unknownFormat;
    const std::string depth = e.bitCount, kind = e.compression;
    const bool depthRead = depth == "1" || depth == "4" || depth == "8" || depth == "16" || depth == "24" ||
                           depth == "32";
    const bool kindRead = kind == "RGB" || (kind == "RLE8" && depth == "8") || (kind == "RLE4" && depth == "4") ||
                          (kind == "BITFIELDS" && (depth == "16" || depth == "32"));
    return depthRead && kindRead ? BitmapFailure::none : BitmapFailure::conversionError;
}

TEST(BmpSuite, QuestionableFilesDecodeOrFailAsTheirHeadersSay) {
    const std::vector<SuiteEntry> questionable = inSet("q/");
    ASSERT_EQ(questionable.size(), 43u);
    size_t decoded = 0;
    for (const SuiteEntry& e : questionable) {
        const std::vector<uint8_t> bytes = readFile(suiteDir + e.file);
        const DecodeResult result = decodeBitmap(bytes.data(), bytes.size());
        EXPECT_EQ(result.failure, expectedFailure(e))
            << e.file << " (" << e.dibHeader << ", " << e.bitCount << " bits, " << e.compression
            << "): " << result.detail;
        EXPECT_EQ(result.failure == BitmapFailure::none, bool(result.image)) << e.file;
        if (!result.image) continue;
        ++decoded;
        Picture reference;
        ASSERT_TRUE(readPng(suiteDir + e.reference, reference)) << e.file << ": " << e.reference;
        const Comparison c = compare(*result.image, reference, 1);
        EXPECT_TRUE(c.sameSize) << e.file;
        EXPECT_EQ(c.differing, 0u) << e.file << " against " << e.reference;
    }
    EXPECT_EQ(decoded, 18u);
}

}  // namespace
