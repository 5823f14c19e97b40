// RLE8 and RLE4 pixel data into packed RGB, written straight into the image.
// The stream is a list of two-byte codes: a run (count > 0, colour byte), or an escape
// (0, then 0 end of line, 1 end of bitmap, 2 delta dx dy, 3..255 an absolute run
// padded to an even length). Rows are bottom first, as in the image. Every code is
// checked against the row, the image and the data before it writes or moves.
#include "image/bitmap_format.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace bitmap_detail {
namespace {

struct RleState {
    const uint8_t* data;
    const DibLayout& layout;
    ImageRecord& image;
    Failure& failure;
    size_t pos;        // next code
    int32_t x = 0;     // column of the next pixel
    int32_t y = 0;     // row of the next pixel, 0 = bottom
    bool four = false; // RLE4: two pixels per byte, high nibble first
};

std::string atByte(size_t offset) { return " at byte " + std::to_string(offset); }

// The checks run for every code; their messages are built out of line.
[[gnu::noinline]] bool indexError(RleState& s, uint32_t index, size_t codeAt) {
    return conversionError(s.failure, "colour index " + std::to_string(index) + atByte(codeAt) +
                                          " is beyond the " + std::to_string(s.layout.usableEntries) +
                                          "-entry colour table");
}

inline bool checkIndex(RleState& s, uint32_t index, size_t codeAt) {
    return index < s.layout.usableEntries || indexError(s, index, codeAt);
}

[[gnu::noinline]] bool runError(RleState& s, uint32_t count, size_t codeAt) {
    if (s.y >= s.layout.height)
        return conversionError(s.failure, "pixels" + atByte(codeAt) + " come after the last of the " +
                                              std::to_string(s.layout.height) + " rows");
    return conversionError(s.failure, "a run of " + std::to_string(count) + " pixels" + atByte(codeAt) +
                                          " passes the end of row " + std::to_string(s.y) + " (column " +
                                          std::to_string(s.x) + " of " + std::to_string(s.layout.width) + ")");
}

// A run of count pixels must lie on a row of the image and fit in what is left of it.
inline bool checkRun(RleState& s, uint32_t count, size_t codeAt) {
    return (s.y < s.layout.height && count <= uint32_t(s.layout.width - s.x)) || runError(s, count, codeAt);
}

uint8_t* cursor(RleState& s) {
    return s.image.pixels.data() + (size_t(s.y) * size_t(s.layout.width) + size_t(s.x)) * 3;
}

// count > 0 pixels of one byte: one colour for RLE8, two alternating for RLE4.
bool encodedRun(RleState& s, uint32_t count, uint8_t value, size_t codeAt) {
    if (!checkRun(s, count, codeAt)) return false;
    const uint32_t first = s.four ? uint32_t(value >> 4) : value;
    const uint32_t second = s.four ? uint32_t(value & 15) : value;
    if (!checkIndex(s, first, codeAt + 1) || (count > 1 && !checkIndex(s, second, codeAt + 1))) return false;
    // The first sixteen pixels (an even count, so RLE4's alternation carries on) are
    // the pattern the rest of a long run is copied from in blocks.
    constexpr uint32_t block = 16;
    uint8_t* const dst = cursor(s);
    const uint32_t head = std::min(block, count);
    for (uint32_t i = 0; i < head; ++i)
        std::memcpy(dst + 3 * i, s.layout.palette.data() + (i & 1 ? second : first) * 3, 3);
    for (uint32_t done = block; done < count; done += block)
        std::memcpy(dst + 3 * done, dst, std::min(block, count - done) * 3);
    s.x += int32_t(count);
    return true;
}

// count >= 3 literal pixels, padded to an even number of bytes.
bool absoluteRun(RleState& s, uint32_t count, size_t codeAt) {
    const size_t bytes = s.four ? (count + 1) / 2 : count;
    const size_t padded = (bytes + 1) & ~size_t(1);
    if (s.layout.pixelEnd - s.pos < padded)
        return conversionError(s.failure, "an absolute run of " + std::to_string(count) + " pixels" +
                                              atByte(codeAt) + " runs past the end of the data");
    if (!checkRun(s, count, codeAt)) return false;
    const uint8_t* src = s.data + s.pos;
    uint8_t* dst = cursor(s);
    for (uint32_t i = 0; i < count; ++i, dst += 3) {
        const uint32_t index = s.four ? (i & 1 ? src[i / 2] & 15u : uint32_t(src[i / 2] >> 4)) : src[i];
        if (!checkIndex(s, index, s.pos + (s.four ? i / 2 : i))) return false;
        std::memcpy(dst, s.layout.palette.data() + index * 3, 3);
    }
    s.pos += padded;
    s.x += int32_t(count);
    return true;
}

bool endOfLine(RleState& s, size_t codeAt) {
    if (s.y >= s.layout.height)
        return conversionError(s.failure, "an end of line" + atByte(codeAt) + " goes past the last of the " +
                                              std::to_string(s.layout.height) + " rows");
    s.x = 0;
    ++s.y;
    return true;
}

// The cursor may end up just after the row's last pixel, but must stay on a row.
bool delta(RleState& s, size_t codeAt) {
    if (s.layout.pixelEnd - s.pos < 2)
        return conversionError(s.failure, "a delta" + atByte(codeAt) + " is cut short by the end of the data");
    const int64_t x = int64_t(s.x) + s.data[s.pos];
    const int64_t y = int64_t(s.y) + s.data[s.pos + 1];
    s.pos += 2;
    if (x > s.layout.width || y >= s.layout.height)
        return conversionError(s.failure, "a delta" + atByte(codeAt) + " moves to column " + std::to_string(x) +
                                              ", row " + std::to_string(y) + ", outside the " +
                                              std::to_string(s.layout.width) + " x " +
                                              std::to_string(s.layout.height) + " image");
    s.x = int32_t(x);
    s.y = int32_t(y);
    return true;
}

}  // namespace

bool decodeRle(const uint8_t* data, const DibLayout& layout, ImageRecord& image, Failure& failure) {
    RleState s{data, layout, image, failure, layout.pixelOffset, 0, 0, layout.compression == compressionRle4};
    for (;;) {
        const size_t codeAt = s.pos;
        if (layout.pixelEnd - s.pos < 2)
            return conversionError(failure, "the run-length data ends" + atByte(codeAt) +
                                                " without an end-of-bitmap code");
        const uint8_t first = data[s.pos];
        const uint8_t second = data[s.pos + 1];
        s.pos += 2;
        bool ok = true;
        if (first > 0) {
            ok = encodedRun(s, first, second, codeAt);
        } else if (second == 0) {
            ok = endOfLine(s, codeAt);
        } else if (second == 1) {
            return true;
        } else if (second == 2) {
            ok = delta(s, codeAt);
        } else {
            ok = absoluteRun(s, second, codeAt);
        }
        if (!ok) return false;
    }
}

}  // namespace bitmap_detail
