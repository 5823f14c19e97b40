// Private to the bitmap loader: the layout of a DIB as read from its headers, and the
// stages that turn it into an ImageRecord. Every offset here is a byte offset from the
// start of the file (or of the bare DIB).
#pragma once

#include "image/bitmap.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace bitmap_detail {

// Bounded, sticky little-endian reader: the first short read clears ok and every later
// read yields 0, so a header is checked once, after it is read.
struct ByteReader {
    const uint8_t* begin;
    const uint8_t* end;
    size_t pos = 0;
    bool ok = true;

    ByteReader(const uint8_t* data, size_t size, size_t start) : begin(data), end(data + size), pos(start) {
        if (start > size) ok = false;
    }
    const uint8_t* take(size_t n) {
        if (!ok || size_t(end - begin) - pos < n) { ok = false; return nullptr; }
        const uint8_t* p = begin + pos;
        pos += n;
        return p;
    }
    uint8_t u8() { const uint8_t* p = take(1); return p ? p[0] : 0; }
    uint16_t u16() { const uint8_t* p = take(2); return p ? uint16_t(p[0] | p[1] << 8) : 0; }
    uint32_t u32() {
        const uint8_t* p = take(4);
        return p ? uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24 : 0;
    }
    int32_t i32() { return int32_t(u32()); }
};

// biCompression values the loader decodes.
enum Compression : uint32_t { compressionRgb = 0, compressionRle8 = 1, compressionRle4 = 2, compressionBitFields = 3 };

// One colour channel of a 16- or 32-bit pixel: where its bits sit and how wide they are.
struct ChannelMask {
    uint32_t mask = 0;
    uint32_t shift = 0;  // position of the lowest bit of mask
    uint32_t max = 0;    // mask >> shift: the channel's largest value, 1 .. 2^32-1
};

// Everything decoding needs, read and checked from the headers.
struct DibLayout {
    bool hasFileHeader = false;
    size_t headerOffset = 0;     // 14 with a file header, 0 for a bare DIB
    uint32_t headerSize = 0;     // 12 or 40
    int32_t width = 0;           // 1 .. maxBitmapSide
    int32_t height = 0;          // rows, 1 .. maxBitmapSide (sign removed)
    bool topDown = false;        // rows stored top first (negative height in the file)
    uint16_t bitCount = 0;       // 1, 4, 8, 16, 24 or 32
    uint32_t compression = compressionRgb;
    std::array<ChannelMask, 3> channels{};  // red, green, blue; 16- and 32-bit images only
    uint32_t paletteOffset = 0;  // first colour-table entry
    uint32_t paletteEntries = 0; // entries in the file's table (may exceed 2^bitCount)
    uint32_t usableEntries = 0;  // entries a pixel can name: min(paletteEntries, 256)
    std::array<uint8_t, 256 * 3> palette{};  // usable entries as red, green, blue
    size_t pixelOffset = 0;      // first byte of the pixel data
    size_t pixelEnd = 0;         // one past the last byte that belongs to the pixel data
};

// A failure in progress: its kind and a sentence saying what and where.
struct Failure {
    BitmapFailure kind = BitmapFailure::none;
    std::string detail;
};

// Reads and checks both headers, the bit-field masks and the colour table.
// Returns false with failure set when the file cannot be decoded.
bool readLayout(const uint8_t* data, size_t size, DibLayout& layout, Failure& failure);

// Uncompressed pixel rows (1, 4, 8, 16, 24, 32 bits) appended to image's empty pixel
// block, which has room for them all. False with failure set on a palette index beyond
// the table.
bool decodeRows(const uint8_t* data, const DibLayout& layout, ImageRecord& image, Failure& failure);

// RLE4 and RLE8 data into image, whose pixel block starts all black: pixels the data
// skips stay black. False with failure set when a code leaves the image or the data.
bool decodeRle(const uint8_t* data, const DibLayout& layout, ImageRecord& image, Failure& failure);

// Sets failure to conversionError with the given detail; returns false for chaining.
bool conversionError(Failure& failure, std::string detail);

}  // namespace bitmap_detail
