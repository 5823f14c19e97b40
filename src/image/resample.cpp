#include "image/resample.h"

#include <cmath>
#include <vector>

namespace {

// Averages `count` RGB cells of `source`, each `stride` bytes after the one before, into
// `outCount` cells of `target` (`outStride` apart), each weighted by the overlap.
void resampleLine(const uint8_t* source, int32_t count, size_t stride, uint8_t* target,
                  int32_t outCount, size_t outStride) {
    const double step = double(count) / double(outCount);
    for (int32_t o = 0; o < outCount; ++o) {
        const double begin = o * step, end = (o + 1) * step;
        double sum[3] = {0, 0, 0};
        for (int32_t i = int32_t(begin); i < count && i < end; ++i) {
            const double weight = std::fmin(end, i + 1.0) - std::fmax(begin, double(i));
            for (int c = 0; c < 3; ++c) sum[c] += weight * source[size_t(i) * stride + size_t(c)];
        }
        for (int c = 0; c < 3; ++c) {
            const long value = std::lround(sum[c] / step);
            target[size_t(o) * outStride + size_t(c)] = uint8_t(value > 255 ? 255 : value);
        }
    }
}

}  // namespace

int32_t nearestPowerOfTwo(int32_t side) {
    int32_t power = 1;
    while (power < side && power <= (INT32_MAX >> 1)) power <<= 1;
    // power is the first at or above side; the one below wins only when strictly nearer.
    const int32_t below = power >> 1;
    return below >= 1 && side - below < power - side ? below : power;
}

ImageRecord resampleImage(const ImageRecord& image, int32_t width, int32_t height) {
    // Along X, row by row, into width x image.height.
    std::vector<uint8_t> wide(size_t(width) * size_t(image.height) * 3);
    for (int32_t row = 0; row < image.height; ++row)
        resampleLine(&image.pixels[size_t(row) * size_t(image.width) * 3], image.width, 3,
                     &wide[size_t(row) * size_t(width) * 3], width, 3);
    // Along Y, column by column.
    ImageRecord scaled;
    scaled.width = width;
    scaled.height = height;
    scaled.pixels.resize(size_t(width) * size_t(height) * 3);
    const size_t rowBytes = size_t(width) * 3;
    for (int32_t column = 0; column < width; ++column)
        resampleLine(&wide[size_t(column) * 3], image.height, rowBytes, &scaled.pixels[size_t(column) * 3],
                     height, rowBytes);
    return scaled;
}
