// Uncompressed pixel rows into packed RGB: palette images (1, 4, 8 bits), direct colour
// (24 bits) and bit-field colour (16 and 32 bits). The headers have been checked, so
// every row lies inside the data; only palette indices remain to be checked per pixel.
#include "image/bitmap_format.h"

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#if defined(__x86_64__)
#include <immintrin.h>  // Required for: the SSSE3 byte shuffle of 24-bit rows
#endif

namespace bitmap_detail {
namespace {

// Widens one bit-field channel to 8 bits as value x 255 / max, rounded to the nearest,
// so that a full channel of any width gives 255. Channels up to 16 bits use a table.
struct ChannelScaler {
    ChannelMask channel;
    std::vector<uint8_t> table;

    explicit ChannelScaler(const ChannelMask& c) : channel(c) {
        if (channel.max > 0xFFFFu) return;
        table.resize(size_t(channel.max) + 1);
        for (uint32_t v = 0; v <= channel.max; ++v) table[v] = widen(v);
    }
    uint8_t widen(uint32_t value) const {
        return uint8_t((uint64_t(value) * 255 + channel.max / 2) / channel.max);
    }
    uint8_t operator()(uint32_t pixel) const {
        const uint32_t value = (pixel & channel.mask) >> channel.shift;
        return table.empty() ? widen(value) : table[value];
    }
};

// Indices per byte and how far apart they are: 1 bit (8 per byte, MSB first), 4 bits
// (high nibble first) or 8 bits. Returns the first bad column, or -1.
template <uint32_t bits>
int32_t paletteRow(const uint8_t* src, uint8_t* dst, const DibLayout& layout) {
    constexpr uint32_t perByte = 8 / bits;
    constexpr uint32_t valueMask = (1u << bits) - 1;
    const bool checked = layout.usableEntries < (1u << bits);
    const uint8_t* palette = layout.palette.data();
    for (int32_t x = 0; x < layout.width; ++x) {
        const uint32_t shift = 8 - bits * (uint32_t(x) % perByte + 1);
        const uint32_t index = (src[uint32_t(x) / perByte] >> shift) & valueMask;
        if (checked && index >= layout.usableEntries) return x;
        std::memcpy(dst, palette + index * 3, 3);
        dst += 3;
    }
    return -1;
}

uint32_t load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

void store32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

#if defined(__x86_64__)
// Five pixels per 16-byte shuffle. Each load and store covers one byte beyond the five
// pixels, so the loop stops while six remain: that byte is still inside both rows, and
// the store's extra byte is rewritten by the next step. Returns the pixels done.
__attribute__((target("ssse3"))) int32_t bgrPixelsSsse3(const uint8_t* src, uint8_t* dst, int32_t width) {
    const __m128i swap = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
    int32_t x = 0;
    for (; x + 6 <= width; x += 5, src += 15, dst += 15) {
        const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_shuffle_epi8(pixels, swap));
    }
    return x;
}

// Asked once at start-up; the explicit init makes the answer safe to read from a
// static initialiser, whatever the order of constructors.
bool cpuHasSsse3() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("ssse3");
}
const bool hasSsse3 = cpuHasSsse3();
#endif

// Four pixels per step as three 32-bit words (the byte shuffles below assume a
// little-endian host): B0 G0 R0 B1 | G1 R1 B2 G2 | R2 B3 G3 R3 become
// R0 G0 B0 R1 | G1 B1 R2 G2 | B2 R3 G3 B3. This is the hot path of large textures.
void bgrRow(const uint8_t* src, uint8_t* dst, int32_t width) {
    int32_t x = 0;
#if defined(__x86_64__)
    if (hasSsse3) {
        x = bgrPixelsSsse3(src, dst, width);
        src += 3 * size_t(x);
        dst += 3 * size_t(x);
    }
#endif
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    for (; x + 4 <= width; x += 4, src += 12, dst += 12) {
        const uint32_t a = load32(src), b = load32(src + 4), c = load32(src + 8);
        store32(dst, (a >> 16 & 0xFFu) | (a & 0xFF00u) | (a & 0xFFu) << 16 | (b & 0xFF00u) << 16);
        store32(dst + 4, (b & 0xFFu) | (a >> 24) << 8 | (c & 0xFFu) << 16 | (b & 0xFF000000u));
        store32(dst + 8, (b >> 16 & 0xFFu) | (c >> 24) << 8 | (c & 0xFF0000u) | (c & 0xFF00u) << 16);
    }
#endif
    for (; x < width; ++x) {
        dst[0] = src[2];
        dst[1] = src[1];
        dst[2] = src[0];
        src += 3;
        dst += 3;
    }
}

void bgrxRow(const uint8_t* src, uint8_t* dst, int32_t width) {
    for (int32_t x = 0; x < width; ++x) {
        dst[0] = src[2];
        dst[1] = src[1];
        dst[2] = src[0];
        src += 4;
        dst += 3;
    }
}

struct BitFieldScalers {
    ChannelScaler red, green, blue;
};

void bitFieldRow(const uint8_t* src, uint8_t* dst, const DibLayout& layout, const BitFieldScalers& s) {
    const bool wide = layout.bitCount == 32;
    for (int32_t x = 0; x < layout.width; ++x) {
        uint32_t pixel = uint32_t(src[0]) | uint32_t(src[1]) << 8;
        if (wide) pixel |= uint32_t(src[2]) << 16 | uint32_t(src[3]) << 24;
        dst[0] = s.red(pixel);
        dst[1] = s.green(pixel);
        dst[2] = s.blue(pixel);
        src += wide ? 4 : 2;
        dst += 3;
    }
}

bool isPlain32(const DibLayout& layout) {
    return layout.bitCount == 32 && layout.channels[0].mask == 0xFF0000u &&
           layout.channels[1].mask == 0x00FF00u && layout.channels[2].mask == 0x0000FFu;
}

}  // namespace

bool decodeRows(const uint8_t* data, const DibLayout& layout, ImageRecord& image, Failure& failure) {
    const size_t stride = (size_t(layout.width) * layout.bitCount + 31) / 32 * 4;
    const size_t outStride = size_t(layout.width) * 3;
    const bool bitFields = layout.bitCount == 16 || (layout.bitCount == 32 && !isPlain32(layout));
    std::optional<BitFieldScalers> scalers;  // tables only for the images that use them
    if (bitFields)
        scalers.emplace(BitFieldScalers{ChannelScaler(layout.channels[0]), ChannelScaler(layout.channels[1]),
                                        ChannelScaler(layout.channels[2])});
    // Each row is decoded into a small buffer that stays in cache and appended from
    // there: the block is written once, never zero-filled first.
    std::vector<uint8_t> rowBuffer(outStride);
    uint8_t* const dst = rowBuffer.data();
    for (int32_t outRow = 0; outRow < layout.height; ++outRow) {
        const int32_t row = layout.topDown ? layout.height - 1 - outRow : outRow;  // as stored
        const uint8_t* src = data + layout.pixelOffset + size_t(row) * stride;
        if (layout.bitCount <= 8) {
            const int32_t bad = layout.bitCount == 8   ? paletteRow<8>(src, dst, layout)
                                : layout.bitCount == 4 ? paletteRow<4>(src, dst, layout)
                                                       : paletteRow<1>(src, dst, layout);
            if (bad >= 0)
                return conversionError(failure, "pixel " + std::to_string(bad) + " of row " + std::to_string(row) +
                                                    " (near byte " +
                                                    std::to_string(layout.pixelOffset + size_t(row) * stride +
                                                                   size_t(bad) * layout.bitCount / 8) +
                                                    ") names an entry beyond the " +
                                                    std::to_string(layout.usableEntries) + "-entry colour table");
        } else if (layout.bitCount == 24) {
            bgrRow(src, dst, layout.width);
        } else if (!bitFields) {
            bgrxRow(src, dst, layout.width);
        } else {
            bitFieldRow(src, dst, layout, *scalers);
        }
        image.pixels.insert(image.pixels.end(), rowBuffer.begin(), rowBuffer.end());
    }
    return true;
}

}  // namespace bitmap_detail
