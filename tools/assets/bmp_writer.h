// Builds BMP and DIB files byte by byte: for the loader's tests (every header field open
// to being set wrong on purpose), its benchmark and the world builder's textures.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct BmpLayout {
    bool fileHeader = true;        // false: a bare DIB
    uint32_t headerSize = 40;      // 12 writes the core layout; anything else the 40-byte one, padded
    int32_t width = 1;
    int32_t height = 1;
    uint16_t planes = 1;
    uint16_t bitCount = 24;
    uint32_t compression = 0;
    uint32_t sizeImage = 0;
    int32_t xDensity = 2835;
    int32_t yDensity = 2835;
    uint32_t clrUsed = 0;
    std::vector<uint32_t> masks;                  // written right after the header
    std::vector<std::array<uint8_t, 3>> palette;  // red, green, blue; stored blue first
    std::vector<uint8_t> pixels;                  // the pixel data exactly as stored
    int64_t offBits = -1;                         // -1: right after the palette
    int64_t fileSize = -1;                        // -1: the real size
};

std::vector<uint8_t> makeBmp(const BmpLayout& layout);

// Rows given without padding, padded to 4 bytes each, in the order given.
std::vector<uint8_t> padRows(const std::vector<std::vector<uint8_t>>& rows);

// A grey ramp palette of n entries: entry i is (i, 255 - i, i / 2).
std::vector<std::array<uint8_t, 3>> rampPalette(size_t n);

// Writes bytes to the file; false when it cannot be written.
bool writeBytes(const std::string& path, const std::vector<uint8_t>& bytes);

// Writes bytes to a fresh file in the temporary directory; returns its path.
std::string writeTempFile(const std::string& name, const std::vector<uint8_t>& bytes);
