// Decoding DIBs held in memory: the layouts the loader reads, and the damaged files it
// must refuse with the right kind of failure and no image.
#include "image/bitmap.h"
#include "assets/bmp_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>

namespace {

using Pixels = std::vector<uint8_t>;

DecodeResult decode(const std::vector<uint8_t>& bytes) { return decodeBitmap(bytes.data(), bytes.size()); }

Pixels decodedPixels(const BmpLayout& layout) {
    const DecodeResult result = decode(makeBmp(layout));
    EXPECT_EQ(result.failure, BitmapFailure::none) << result.detail;
    return result.image ? result.image->pixels : Pixels{};
}

// A 2 x 2 picture at 24 bits: bottom row red, green; top row blue, white.
BmpLayout twoByTwo24() {
    BmpLayout layout;
    layout.width = 2;
    layout.height = 2;
    layout.pixels = padRows({{0, 0, 255, 0, 255, 0}, {255, 0, 0, 255, 255, 255}});
    return layout;
}
const Pixels twoByTwoRgb = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};

TEST(BitmapDecode, FirstPixelIsBottomLeftAsRgb) {
    const DecodeResult result = decode(makeBmp(twoByTwo24()));
    ASSERT_TRUE(result.image) << result.detail;
    EXPECT_EQ(result.image->width, 2);
    EXPECT_EQ(result.image->height, 2);
    EXPECT_EQ(result.image->pixels, twoByTwoRgb);
}

TEST(BitmapDecode, Width3At24BitsDropsRowPadding) {
    BmpLayout layout;
    layout.width = 3;
    layout.height = 2;
    layout.pixels = padRows({{1, 2, 3, 4, 5, 6, 7, 8, 9}, {10, 11, 12, 13, 14, 15, 16, 17, 18}});
    ASSERT_EQ(layout.pixels.size(), 24u);
    EXPECT_EQ(decodedPixels(layout), (Pixels{3, 2, 1, 6, 5, 4, 9, 8, 7, 12, 11, 10, 15, 14, 13, 18, 17, 16}));
}

// Wide rows are swapped several pixels at a time, with the row's end done singly:
// every width up to a few steps must give the same bytes as pixel-by-pixel.
TEST(BitmapDecode, EveryRowWidthSwapsBlueAndRed) {
    for (int32_t width = 1; width <= 40; ++width) {
        BmpLayout layout;
        layout.width = width;
        layout.height = 2;
        Pixels stored(size_t(width) * 3), expected;
        for (size_t i = 0; i < stored.size(); ++i) stored[i] = uint8_t(i * 7 + width);
        for (int row = 0; row < 2; ++row)
            for (size_t i = 0; i < stored.size(); i += 3)
                expected.insert(expected.end(), {stored[i + 2], stored[i + 1], stored[i]});
        layout.pixels = padRows({stored, stored});
        EXPECT_EQ(decodedPixels(layout), expected) << "width " << width;
    }
}

TEST(BitmapDecode, TopDownImageIsStoredBottomRowFirst) {
    BmpLayout layout = twoByTwo24();
    layout.height = -2;
    layout.pixels = padRows({{255, 0, 0, 255, 255, 255}, {0, 0, 255, 0, 255, 0}});
    const DecodeResult result = decode(makeBmp(layout));
    ASSERT_TRUE(result.image) << result.detail;
    EXPECT_EQ(result.image->height, 2);
    EXPECT_EQ(result.image->pixels, twoByTwoRgb);
}

TEST(BitmapDecode, EightBitPaletteWithClrUsedZeroHas256Entries) {
    BmpLayout layout;
    layout.width = 3;
    layout.bitCount = 8;
    layout.palette = rampPalette(256);
    layout.pixels = padRows({{0, 200, 255}});
    EXPECT_EQ(decodedPixels(layout), (Pixels{0, 255, 0, 200, 55, 100, 255, 0, 127}));
}

TEST(BitmapDecode, BareDibDecodesLikeTheFile) {
    for (const uint32_t headerSize : {12u, 40u}) {
        BmpLayout layout;
        layout.headerSize = headerSize;
        layout.width = 2;
        layout.bitCount = 8;
        layout.palette = rampPalette(256);
        layout.pixels = padRows({{7, 9}});
        const Pixels withFileHeader = decodedPixels(layout);
        layout.fileHeader = false;
        EXPECT_EQ(decodedPixels(layout), withFileHeader) << headerSize;
        EXPECT_EQ(withFileHeader, (Pixels{7, 248, 3, 9, 246, 4})) << headerSize;
    }
    BmpLayout bitFields;  // masks sit between the header and the pixels
    bitFields.fileHeader = false;
    bitFields.bitCount = 16;
    bitFields.compression = 3;
    bitFields.masks = {0xF800, 0x07E0, 0x001F};
    bitFields.pixels = padRows({{0x1F, 0xF8}});
    EXPECT_EQ(decodedPixels(bitFields), (Pixels{255, 0, 255}));
}

TEST(BitmapDecode, ImplicitCoreTableStopsAtPixelData) {
    BmpLayout layout;
    layout.headerSize = 12;
    layout.width = 2;
    layout.bitCount = 8;
    layout.palette = rampPalette(4);
    layout.pixels = padRows({{3, 0}});
    EXPECT_EQ(decodedPixels(layout), (Pixels{3, 252, 1, 0, 255, 0}));
    layout.pixels = padRows({{4, 0}});
    EXPECT_EQ(decode(makeBmp(layout)).failure, BitmapFailure::conversionError);
}

TEST(BitmapDecode, PackedIndicesAreReadMostSignificantFirst) {
    BmpLayout one;
    one.width = 10;
    one.bitCount = 1;
    one.palette = {{0, 0, 0}, {255, 255, 255}};
    one.pixels = padRows({{0b10110000, 0b01000000}});
    Pixels expected;
    for (int bit : {1, 0, 1, 1, 0, 0, 0, 0, 0, 1}) expected.insert(expected.end(), 3, uint8_t(bit * 255));
    EXPECT_EQ(decodedPixels(one), expected);

    BmpLayout four;
    four.width = 3;
    four.bitCount = 4;
    four.palette = rampPalette(16);
    four.pixels = padRows({{0x5A, 0x30}});
    EXPECT_EQ(decodedPixels(four), (Pixels{5, 250, 2, 10, 245, 5, 3, 252, 1}));
}

// One pixel of each direct-colour layout, widened as value x 255 / max, rounded.
TEST(BitmapDecode, DirectColourChannelsWidenToFullRange) {
    struct Case {
        const char* name;
        uint16_t bitCount;
        std::vector<uint32_t> masks;  // empty: no bit-field block
        Pixels stored;
        Pixels rgb;
    };
    const Case cases[] = {
        {"5-5-5 white", 16, {}, {0xFF, 0x7F}, {255, 255, 255}},
        {"5-5-5 mid", 16, {}, {0x10, 0x42}, {132, 132, 132}},
        {"5-6-5", 16, {0xF800, 0x07E0, 0x001F}, {0x20, 0x84}, {132, 134, 0}},
        {"2-3-1 odd widths", 16, {0x0030, 0x000E, 0x0001}, {0x2B, 0x00}, {170, 182, 255}},
        {"32 plain", 32, {}, {1, 2, 3, 99}, {3, 2, 1}},
        {"32 reversed", 32, {0x000000FF, 0x0000FF00, 0x00FF0000}, {1, 2, 3, 0}, {1, 2, 3}},
        {"32 ten-bit", 32, {0x3FF00000, 0x000FFC00, 0x000003FF}, {0xFF, 0x03, 0x00, 0x00}, {0, 0, 255}},
    };
    for (const Case& c : cases) {
        BmpLayout layout;
        layout.bitCount = c.bitCount;
        layout.compression = c.masks.empty() ? 0 : 3;
        layout.masks = c.masks;
        layout.pixels = padRows({c.stored});
        EXPECT_EQ(decodedPixels(layout), c.rgb) << c.name;
    }
}

// Run-length data: runs, absolute runs with their padding, deltas and early ends;
// pixels the data skips come out black.
TEST(BitmapDecode, RunLengthDataFillsRowsAndLeavesSkippedPixelsBlack) {
    BmpLayout rle8;
    rle8.width = 4;
    rle8.height = 3;
    rle8.bitCount = 8;
    rle8.compression = 1;
    rle8.palette = rampPalette(8);
    rle8.pixels = {4, 1, 0, 0,                 // row 0: four of 1
                   0, 3, 2, 3, 4, 0, 1, 5, 0, 0,  // row 1: absolute 2 3 4 (padded), one 5
                   0, 2, 2, 0, 2, 6, 0, 1};    // row 2: skip two, two of 6, end
    const Pixels c[8] = {{0, 255, 0}, {1, 254, 0}, {2, 253, 1}, {3, 252, 1},
                         {4, 251, 2}, {5, 250, 2}, {6, 249, 3}, {7, 248, 3}};
    const Pixels black = {0, 0, 0};
    Pixels expected;
    for (const Pixels* p : {&c[1], &c[1], &c[1], &c[1], &c[2], &c[3], &c[4], &c[5], &black, &black, &c[6], &c[6]})
        expected.insert(expected.end(), p->begin(), p->end());
    EXPECT_EQ(decodedPixels(rle8), expected);

    rle8.pixels = {4, 1, 0, 1};  // ends early: the rows above stay black
    Pixels early(36, 0);
    for (int i = 0; i < 4; ++i) std::copy(c[1].begin(), c[1].end(), early.begin() + 3 * i);
    EXPECT_EQ(decodedPixels(rle8), early);

    BmpLayout rle4 = rle8;
    rle4.height = 1;
    rle4.bitCount = 4;
    rle4.compression = 2;
    rle4.pixels = {3, 0x12, 0, 0, 0, 1};  // three alternating pixels, one skipped, end of line on the last row
    EXPECT_EQ(decodedPixels(rle4), (Pixels{1, 254, 0, 2, 253, 1, 1, 254, 0, 0, 0, 0}));
    rle4.pixels = {0, 3, 0x76, 0x50, 0, 1};  // absolute run of an odd count of nibbles
    EXPECT_EQ(decodedPixels(rle4), (Pixels{7, 248, 3, 6, 249, 3, 5, 250, 2, 0, 0, 0}));

    rle4.width = 40;  // a long run keeps alternating across the blocks it is copied in
    rle4.pixels = {37, 0x12, 0, 1};
    Pixels alternating;
    for (int i = 0; i < 40; ++i) {
        const Pixels& pixel = i < 37 ? c[1 + i % 2] : black;
        alternating.insert(alternating.end(), pixel.begin(), pixel.end());
    }
    EXPECT_EQ(decodedPixels(rle4), alternating);
}

TEST(BitmapDecode, HeadersOtherThan12Or40AreUnknownFormat) {
    for (const uint32_t headerSize : {16u, 52u, 56u, 64u, 108u, 124u, 0u, 41u}) {
        BmpLayout layout;
        layout.headerSize = headerSize;
        layout.pixels = padRows({{1, 2, 3}});
        const DecodeResult result = decode(makeBmp(layout));
        EXPECT_EQ(result.failure, BitmapFailure::unknownFormat) << headerSize;
        EXPECT_FALSE(result.image);
    }
}

// Files that broke other readers, each made small, each with the failure it must give.
struct BadInput {
    const char* name;
    std::function<std::vector<uint8_t>()> make;
    BitmapFailure expected;
};

std::vector<uint8_t> made(const std::function<void(BmpLayout&)>& change) {
    BmpLayout layout;
    layout.width = 4;
    layout.height = 2;
    layout.pixels = padRows({Pixels(12, 9), Pixels(12, 9)});
    change(layout);
    return makeBmp(layout);
}

// An 8-bit run-length image of width x height with the given codes and a 2-entry table.
std::vector<uint8_t> rle8(int32_t width, int32_t height, Pixels codes) {
    return made([&](BmpLayout& s) {
        s.width = width;
        s.height = height;
        s.bitCount = 8;
        s.compression = 1;
        s.palette = rampPalette(2);
        s.pixels = codes;
    });
}

std::vector<uint8_t> rle4(int32_t width, Pixels codes) {
    return made([&](BmpLayout& s) {
        s.width = width;
        s.height = 1;
        s.bitCount = 4;
        s.compression = 2;
        s.palette = rampPalette(16);
        s.pixels = codes;
    });
}

std::vector<uint8_t> masked(uint16_t bits, std::vector<uint32_t> masks) {
    return made([&](BmpLayout& s) {
        s.bitCount = bits;
        s.compression = 3;
        s.masks = masks;
        s.pixels = Pixels(64, 0);
    });
}

// The first size bytes, with the file header's size field cleared (as some writers
// leave it) so that only the cut itself is wrong.
std::vector<uint8_t> cut(std::vector<uint8_t> bytes, size_t size) {
    bytes.resize(size);
    if (size >= 6 && bytes[0] == 'B' && bytes[1] == 'M') std::fill(bytes.begin() + 2, bytes.begin() + 6, 0);
    return bytes;
}

constexpr auto oom = BitmapFailure::outOfMemory;
constexpr auto bad = BitmapFailure::conversionError;

const BadInput badInputs[] = {
    {"3 x width x height overflows 32 bits", [] { return made([](BmpLayout& s) { s.width = 65536; s.height = 65536; }); }, oom},
    {"side beyond the limit", [] { return made([](BmpLayout& s) { s.width = 40000; s.height = 1; }); }, oom},
    {"pixel count beyond the limit", [] { return made([](BmpLayout& s) { s.width = 8192; s.height = 8193; }); }, oom},
    {"huge run-length image in a tiny file", [] { return rle8(30000, 30000, {0, 1}); }, oom},
    {"height INT_MIN", [] { return made([](BmpLayout& s) { s.height = INT_MIN; }); }, oom},
    {"width 0", [] { return made([](BmpLayout& s) { s.width = 0; }); }, bad},
    {"negative width", [] { return made([](BmpLayout& s) { s.width = -4; }); }, bad},
    {"height 0", [] { return made([](BmpLayout& s) { s.height = 0; }); }, bad},
    {"colour count past the file", [] { return made([](BmpLayout& s) { s.bitCount = 8; s.clrUsed = 0x12345678; s.palette = rampPalette(4); }); }, bad},
    {"colour count past the pixel offset", [] { return made([](BmpLayout& s) { s.bitCount = 8; s.clrUsed = 4; s.palette = rampPalette(2); s.offBits = 14 + 40 + 8; }); }, bad},
    {"8-bit index beyond a 1-entry table", [] { return made([](BmpLayout& s) { s.bitCount = 8; s.clrUsed = 1; s.palette = rampPalette(1); s.pixels = padRows({{0, 0, 3, 0}, {0, 0, 0, 0}}); }); }, bad},
    {"1-bit index beyond a 1-entry table", [] { return made([](BmpLayout& s) { s.bitCount = 1; s.clrUsed = 1; s.palette = rampPalette(1); s.pixels = padRows({{0x10}, {0}}); }); }, bad},
    {"RLE8 value 3 with a 1-entry table", [] { return made([](BmpLayout& s) { s.bitCount = 8; s.compression = 1; s.clrUsed = 1; s.palette = rampPalette(1); s.pixels = {1, 3, 0, 1}; }); }, bad},
    {"RLE4 second colour beyond the table", [] { return made([](BmpLayout& s) { s.bitCount = 4; s.compression = 2; s.clrUsed = 2; s.palette = rampPalette(2); s.pixels = {2, 0x12, 0, 1}; }); }, bad},
    {"RLE absolute index beyond the table", [] { return rle8(4, 1, {0, 3, 0, 1, 2, 0, 0, 1}); }, bad},
    {"a short table of a 1-bit core image", [] { return made([](BmpLayout& s) { s.headerSize = 12; s.bitCount = 1; s.palette = rampPalette(1); s.pixels = padRows({{0x10}, {0}}); }); }, bad},
    {"RLE8 run longer than the row", [] { return rle8(4, 2, {5, 1, 0, 1}); }, bad},
    {"RLE8 run after a full row", [] { return rle8(4, 2, {4, 1, 1, 1, 0, 1}); }, bad},
    {"RLE8 absolute run longer than the row", [] { return rle8(4, 2, {0, 5, 1, 1, 1, 1, 1, 0, 0, 1}); }, bad},
    {"RLE4 run longer than the row", [] { return rle4(4, {5, 0x11, 0, 1}); }, bad},
    {"RLE4 absolute run longer than the row", [] { return rle4(4, {0, 5, 0x11, 0x11, 0x10, 0, 0, 1}); }, bad},
    {"RLE absolute run past the data", [] { return rle8(4, 1, {0, 4, 1, 1}); }, bad},
    {"RLE more rows than the height", [] { return rle8(1, 1, {1, 1, 0, 0, 1, 1, 0, 1}); }, bad},
    {"RLE end of line past the last row", [] { return rle8(1, 1, {0, 0, 0, 0, 0, 1}); }, bad},
    {"RLE delta FF FF then a run", [] { return rle8(1, 1, {0, 2, 0xFF, 0xFF, 1, 1, 0, 1}); }, bad},
    {"RLE delta past the right edge", [] { return rle8(4, 2, {0, 2, 5, 0, 0, 1}); }, bad},
    {"RLE delta cut short", [] { return rle8(4, 2, {0, 2, 1}); }, bad},
    {"RLE without an end-of-bitmap code", [] { return rle8(4, 2, {4, 1, 0, 0}); }, bad},
    {"RLE code cut in half", [] { return rle8(4, 2, {4}); }, bad},
    {"RLE stored top-down", [] { return made([](BmpLayout& s) { s.height = -1; s.bitCount = 8; s.compression = 1; s.palette = rampPalette(2); s.pixels = {1, 1, 0, 1}; }); }, bad},
    {"bfOffBits past the end", [] { return cut(made([](BmpLayout& s) { s.offBits = 1000; }), 14 + 40 + 24); }, bad},
    {"bfOffBits inside the headers", [] { return made([](BmpLayout& s) { s.offBits = 20; }); }, bad},
    {"pixel data one byte short", [] { return cut(made([](BmpLayout&) {}), 14 + 40 + 23); }, bad},
    {"all-zero masks", [] { return masked(16, {0, 0, 0}); }, bad},
    {"equal masks", [] { return masked(32, {0xFF, 0xFF, 0xFF00}); }, bad},
    {"overlapping masks", [] { return masked(16, {0x7C00, 0x07E0, 0x001F}); }, bad},
    {"mask with a gap", [] { return masked(16, {0x7C00, 0x0360, 0x001F}); }, bad},
    {"16-bit mask above the pixel", [] { return masked(16, {0x7C0000, 0x03E0, 0x001F}); }, bad},
    {"blue mask missing", [] { return masked(16, {0xFF00, 0x00FF, 0}); }, bad},
    {"masks cut off by the end", [] { return cut(masked(32, {0xFF0000, 0xFF00, 0xFF}), 14 + 40 + 6); }, bad},
    {"bit count 2", [] { return made([](BmpLayout& s) { s.bitCount = 2; s.palette = rampPalette(4); }); }, bad},
    {"bit count 0", [] { return made([](BmpLayout& s) { s.bitCount = 0; }); }, bad},
    {"bit count 64", [] { return made([](BmpLayout& s) { s.bitCount = 64; s.pixels = Pixels(64, 0); }); }, bad},
    {"planes 0", [] { return made([](BmpLayout& s) { s.planes = 0; }); }, bad},
    {"planes 2", [] { return made([](BmpLayout& s) { s.planes = 2; }); }, bad},
    {"RLE8 compression on 24 bits", [] { return made([](BmpLayout& s) { s.compression = 1; }); }, bad},
    {"bit fields on 8 bits", [] { return made([](BmpLayout& s) { s.bitCount = 8; s.compression = 3; s.masks = {4, 2, 1}; s.palette = rampPalette(256); }); }, bad},
    {"JPEG compression", [] { return made([](BmpLayout& s) { s.compression = 4; }); }, bad},
    {"empty data", [] { return std::vector<uint8_t>{}; }, bad},
    {"only BM", [] { return std::vector<uint8_t>{'B', 'M'}; }, bad},
    {"file header only", [] { return cut(made([](BmpLayout&) {}), 14); }, bad},
    {"cut inside the DIB header", [] { return cut(made([](BmpLayout&) {}), 30); }, bad},
    {"bare DIB cut inside the core header", [] { return cut(made([](BmpLayout& s) { s.fileHeader = false; s.headerSize = 12; }), 9); }, bad},
    {"core palette cut short", [] { return cut(made([](BmpLayout& s) { s.fileHeader = false; s.headerSize = 12; s.bitCount = 8; s.palette = rampPalette(256); }), 12 + 3 * 100); }, bad},
};

TEST(BitmapDecode, BadInputsFailWithTheirMessageAndNoImage) {
    for (const BadInput& input : badInputs) {
        const std::vector<uint8_t> bytes = input.make();
        const DecodeResult result = decodeBitmap(bytes.data(), bytes.size());
        EXPECT_EQ(result.failure, input.expected) << input.name << ": " << result.detail;
        EXPECT_FALSE(result.image) << input.name;
        EXPECT_NE(result.detail.find("byte"), std::string::npos) << input.name << ": " << result.detail;
    }
}

// Limits that must still load: an RLE file ending with its end-of-bitmap code right
// after the last row, and a table longer than the bit count can index.
TEST(BitmapDecode, ValidFilesAtTheLimitsLoad) {
    const std::vector<uint8_t> endAfterLastRow = rle8(1, 1, {1, 1, 0, 0, 0, 1});
    EXPECT_EQ(decodeBitmap(endAfterLastRow.data(), endAfterLastRow.size()).failure, BitmapFailure::none);
    const std::vector<uint8_t> deltaToRowEnd = rle8(4, 2, {0, 2, 4, 0, 0, 1});
    EXPECT_EQ(decodeBitmap(deltaToRowEnd.data(), deltaToRowEnd.size()).failure, BitmapFailure::none);
    // Header fields the decoding does not need, however wrong, and a last row without its
    // padding: the pixels are all there, so the image is whole.
    const std::pair<const char*, std::vector<uint8_t>> lenient[] = {
        {"image size a few bytes too many", made([](BmpLayout& s) { s.sizeImage = 24 + 40; })},
        {"image size of gigabytes", made([](BmpLayout& s) { s.sizeImage = 0x7FFFFFFF; })},
        {"file size of gigabytes", made([](BmpLayout& s) { s.fileSize = 0x7FFFFFFF; })},
        {"absurd pixel densities", made([](BmpLayout& s) { s.xDensity = 30000000; s.yDensity = INT32_MIN; })},
        {"RLE size a few bytes too many", made([](BmpLayout& s) {
             s.bitCount = 8, s.compression = 1, s.palette = rampPalette(4), s.pixels = {4, 3, 0, 0, 4, 3, 0, 1};
             s.sizeImage = 8 + 40;
         })},
        {"RLE size beyond the file", made([](BmpLayout& s) {
             s.bitCount = 8, s.compression = 1, s.palette = rampPalette(4), s.pixels = {4, 3, 0, 0, 4, 3, 0, 1};
             s.sizeImage = 100000;
         })},
        {"last row without its padding", cut(made([](BmpLayout& s) {
             s.width = 1;
             s.pixels = padRows({{1, 2, 3}, {4, 5, 6}});
         }), 14 + 40 + 7)},
    };
    for (const auto& [name, bytes] : lenient) {
        const DecodeResult decoded = decodeBitmap(bytes.data(), bytes.size());
        ASSERT_TRUE(decoded.image) << name << ": " << decoded.detail;
        EXPECT_EQ(decoded.image->pixels.size(), size_t(decoded.image->width) * decoded.image->height * 3) << name;
        // Every pixel decoded, none left black: the data is the whole image.
        EXPECT_EQ(std::count(decoded.image->pixels.begin(), decoded.image->pixels.end(), 0), 0) << name;
    }
    const std::vector<uint8_t> oversizedTable = made([](BmpLayout& s) {
        s.bitCount = 8;
        s.clrUsed = 300;
        s.palette = rampPalette(300);
        s.pixels = padRows({{255, 0, 0, 0}, {0, 0, 0, 0}});
    });
    const DecodeResult result = decodeBitmap(oversizedTable.data(), oversizedTable.size());
    ASSERT_TRUE(result.image) << result.detail;
    EXPECT_EQ(Pixels(result.image->pixels.begin(), result.image->pixels.begin() + 3), (Pixels{255, 0, 127}));
}

}  // namespace
