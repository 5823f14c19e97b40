// What a bitmap may cost: each crafted file is loaded in a child process, whose peak
// resident size is compared with the budget, and its refusal message is checked.
#include "image/bitmap.h"
#include "assets/bmp_writer.h"
#include "support/child_process.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

namespace {

// A run-length image of width x height whose data is just the end-of-bitmap code: a few
// dozen bytes that name every pixel of the picture.
std::vector<uint8_t> emptyRle8(int32_t width, int32_t height) {
    BmpLayout layout;
    layout.width = width;
    layout.height = height;
    layout.bitCount = 8;
    layout.compression = 1;
    layout.palette = rampPalette(256);
    layout.pixels = {0, 1};
    return makeBmp(layout);
}

std::vector<uint8_t> tinyBmp() {
    BmpLayout layout;
    layout.width = 2;
    layout.height = 1;
    layout.pixels = padRows({{1, 2, 3, 4, 5, 6}});
    return makeBmp(layout);
}

// The file written, then grown to `size` bytes with a hole that costs no disk.
std::string writeSparse(const std::string& name, const std::vector<uint8_t>& start, off_t size) {
    const std::string path = writeTempFile(name, start);
    if (truncate(path.c_str(), size) != 0) return "";
    return path;
}

// Loads the file in a child: "loaded W H" or the message, then the growth of the peak
// resident size in kB.
struct Loaded {
    std::string outcome;
    long peakGrowthKb = -1;
};

Loaded loadInChild(const std::string& path) {
    const ChildResult child = runInChild([&] {
        std::string message;
        bitmapErrorSink = [&message](const std::string& text) { message += text; };
        resetBitmapWorldPixels();
        if (!resetPeakResident()) return std::string("0 cannot reset the peak resident size");
        const long resident = procStatusKilobytes("VmRSS");
        const std::unique_ptr<ImageRecord> image = loadBitmap(path.c_str());
        const long growth = procStatusKilobytes("VmHWM") - resident;
        const std::string outcome =
            image ? "loaded " + std::to_string(image->width) + " " + std::to_string(image->height) : message;
        return std::to_string(growth) + " " + outcome;
    });
    Loaded loaded;
    if (!child.exited) {
        loaded.outcome = child.describe();
        return loaded;
    }
    const size_t space = child.output.find(' ');
    loaded.peakGrowthKb = std::stol(child.output.substr(0, space));
    loaded.outcome = child.output.substr(space + 1);
    return loaded;
}

constexpr long megabytes = 1024;  // in kB

TEST(BitmapBudget, CraftedFilesCostLittleAndAreRefusedByName) {
    const off_t gigabyte = off_t(1) << 30;
    const std::vector<uint8_t> hugeRle = emptyRle8(8192, 8192);
    const std::vector<uint8_t> justRight = emptyRle8(1024, 1024);  // the pixels any file may have
    const std::vector<uint8_t> oneOver = emptyRle8(1100, 1024);
    const struct {
        const char* what;
        std::string path;
        std::vector<std::string> expected;  // pieces of the outcome, in order
        long budgetKb;
    } cases[] = {
        {"8192 x 8192 run-length image of a kilobyte", writeTempFile("rle-8192.bmp", hugeRle),
         {"Out of memory.\n", "rle-8192.bmp: the image is 8192 x 8192 pixels at byte 18 in a file of " +
                                  std::to_string(hugeRle.size()) + " bytes; the loader takes at most 32768 per side "
                                  "and " + std::to_string(1048576 + 8 * hugeRle.size()) + " in all here (16777216 "
                                  "in any file, 1048576 plus 8 per byte of its file)"},
         8 * megabytes},
        {"1100 x 1024 run-length image of a kilobyte", writeTempFile("rle-1100.bmp", oneOver),
         {"Out of memory.\n", "rle-1100.bmp: the image is 1100 x 1024 pixels at byte 18 in a file of "}, 8 * megabytes},
        {"1024 x 1024 run-length image of a kilobyte", writeTempFile("rle-1024.bmp", justRight),
         {"loaded 1024 1024"}, 8 * megabytes},
        {"40 GB sparse file", writeSparse("sparse-40g.bmp", {}, 40 * gigabyte),
         {"Unknown DIB file format.\n", "sparse-40g.bmp: the DIB header at byte 0 is 0 bytes long"}, 8 * megabytes},
        {"2 x 1 bitmap at the start of 40 GB", writeSparse("sparse-tail.bmp", tinyBmp(), 40 * gigabyte),
         {"loaded 2 1"}, 8 * megabytes},
    };
    for (const auto& c : cases) {
        ASSERT_FALSE(c.path.empty()) << c.what;
        const Loaded loaded = loadInChild(c.path);
        std::remove(c.path.c_str());
        size_t at = 0;
        for (const std::string& piece : c.expected) {
            const size_t found = loaded.outcome.find(piece, at);
            EXPECT_NE(found, std::string::npos) << c.what << ": " << loaded.outcome << "\nlacks: " << piece;
            if (found != std::string::npos) at = found + piece.size();
        }
        EXPECT_GE(loaded.peakGrowthKb, 0) << c.what;
        EXPECT_LT(loaded.peakGrowthKb, c.budgetKb) << c.what << ": the peak grew by " << loaded.peakGrowthKb << " kB";
    }
}

// The world's textures together: images are counted as they load, and the one that would
// take the total past the budget is refused, naming itself and the budget.
TEST(BitmapBudget, TheWorldsTexturesShareOneBudget) {
    const std::string path = writeTempFile("rle-share.bmp", emptyRle8(1024, 1024));
    const ChildResult child = runInChild([&] {
        std::string message;
        bitmapErrorSink = [&message](const std::string& text) { message += text; };
        resetBitmapWorldPixels();
        int loaded = 0;
        while (loaded < 100 && loadBitmap(path.c_str())) ++loaded;  // each image dropped at once
        const std::string refused = message;
        resetBitmapWorldPixels();
        const bool loadsAfterReset = bool(loadBitmap(path.c_str()));
        return std::to_string(loaded) + " " + (loadsAfterReset ? "1" : "0") + " " + refused;
    });
    std::remove(path.c_str());
    ASSERT_TRUE(child.exited) << child.describe();
    EXPECT_EQ(child.output.substr(0, 5), "32 1 ") << child.output;
    EXPECT_NE(child.output.find("Out of memory.\n" + path +
                                ": the image is 1024 x 1024 pixels; with it the world's textures would hold "
                                "34603008 pixels, and they may hold 33554432"),
              std::string::npos)
        << child.output;
}

}  // namespace
