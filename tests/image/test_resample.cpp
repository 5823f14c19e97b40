// Resizing images to power-of-two sides for texture upload.
#include "image/resample.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

ImageRecord greyRow(const std::vector<uint8_t>& values) {
    ImageRecord image;
    image.width = int32_t(values.size());
    image.height = 1;
    for (uint8_t v : values) image.pixels.insert(image.pixels.end(), {v, v, v});
    return image;
}

std::vector<uint8_t> reds(const ImageRecord& image) {
    std::vector<uint8_t> values;
    for (size_t i = 0; i < image.pixels.size(); i += 3) values.push_back(image.pixels[i]);
    return values;
}

TEST(Resample, NearestPowerOfTwoGoesUpOnlyWhenNearerOrHalfway) {
    const std::pair<int32_t, int32_t> cases[] = {{0, 1},  {1, 1},   {2, 2},     {3, 4},       {5, 4},
                                                 {6, 8},  {12, 16}, {64, 64},   {96, 128},    {95, 64},
                                                 {100, 128}, {32768, 32768}, {40000, 32768}};
    for (const auto& [side, expected] : cases) EXPECT_EQ(nearestPowerOfTwo(side), expected) << side;
}

TEST(Resample, EachNewPixelAveragesTheAreaItCovers) {
    // 3 -> 4: new pixels cover 0.75 of a source pixel each.
    EXPECT_EQ(reds(resampleImage(greyRow({0, 90, 180}), 4, 1)), (std::vector<uint8_t>{0, 60, 120, 180}));
    // 4 -> 2: pairs averaged, halves rounded up.
    EXPECT_EQ(reds(resampleImage(greyRow({0, 100, 200, 255}), 2, 1)), (std::vector<uint8_t>{50, 228}));
    // 1 x 1 -> 4 x 2: the one colour everywhere.
    ImageRecord dot;
    dot.width = dot.height = 1;
    dot.pixels = {10, 20, 30};
    const ImageRecord big = resampleImage(dot, 4, 2);
    ASSERT_EQ(big.pixels.size(), 4u * 2u * 3u);
    for (size_t i = 0; i < big.pixels.size(); i += 3)
        EXPECT_EQ((std::vector<uint8_t>(&big.pixels[i], &big.pixels[i] + 3)), (std::vector<uint8_t>{10, 20, 30}));
}

TEST(Resample, RowsStayApartWhenOnlyTheWidthChanges) {
    ImageRecord image;
    image.width = 3;
    image.height = 4;
    for (uint8_t row : {10, 20, 30, 40})
        for (int x = 0; x < 3; ++x) image.pixels.insert(image.pixels.end(), {row, uint8_t(x), 0});
    const ImageRecord scaled = resampleImage(image, 4, 4);
    ASSERT_EQ(scaled.width, 4);
    ASSERT_EQ(scaled.height, 4);
    for (int row = 0; row < 4; ++row)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(scaled.pixels[size_t(row * 4 + x) * 3], 10 * (row + 1)) << row;
}

}  // namespace
