// Bitmap image loader: BMP files and bare DIBs into packed RGB images.
// Required for: texture images of the world and of models.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

// A decoded picture: width x height x 3 bytes, red, green, blue per pixel,
// rows bottom first, no padding. Owned by whoever asked for it.
struct ImageRecord {
    int32_t width = 0;   // pixels per row
    int32_t height = 0;  // rows; always positive once decoded
    std::vector<uint8_t> pixels;
};

// Reads the named file. On failure shows one of the loader's four messages in the
// "Error" box (standard error when headless) and returns nothing; loading goes on.
std::unique_ptr<ImageRecord> loadBitmap(const char* fileName);
