// Reading and checking a DIB's headers: file header, 12- or 40-byte DIB header,
// bit-field masks and colour table. Every size, offset and count the pixel stages rely
// on is checked against the file here, so they can index the data without further
// bounds tests on the headers' account.
#include "image/bitmap_format.h"

#include <algorithm>
#include <string>

namespace bitmap_detail {
namespace {

constexpr size_t fileHeaderSize = 14;
constexpr uint32_t coreHeaderSize = 12;
constexpr uint32_t infoHeaderSize = 40;

// The DIB header's fields, widened so that no later arithmetic on them can overflow.
struct RawHeader {
    int64_t width = 0;
    int64_t height = 0;          // negative: rows stored top first
    uint16_t planes = 0;
    uint16_t bitCount = 0;
    uint32_t compression = 0;
    uint32_t sizeImage = 0;      // bytes of run-length data, 0 when not given
    uint32_t clrUsed = 0;        // 0: the table size follows from bitCount
};

std::string atByte(size_t offset) { return " at byte " + std::to_string(offset); }

bool fail(Failure& failure, BitmapFailure kind, std::string detail) {
    failure.kind = kind;
    failure.detail = std::move(detail);
    return false;
}

// "BM", then bfOffBits at 10; the rest of the file header (bfSize among it, often wrong
// in files that decode well) is not used. A file not starting with "BM" is a bare DIB.
bool readFileHeader(const uint8_t* data, size_t size, DibLayout& layout, uint32_t& offBits,
                    Failure& failure) {
    if (size < 2 || data[0] != 'B' || data[1] != 'M') return true;
    ByteReader reader(data, size, 10);
    offBits = reader.u32();
    if (!reader.ok)
        return conversionError(failure, "the file ends inside its 14-byte file header (" +
                                            std::to_string(size) + " bytes)");
    layout.hasFileHeader = true;
    layout.headerOffset = fileHeaderSize;
    return true;
}

bool readCoreHeader(ByteReader& reader, RawHeader& raw) {
    raw.width = reader.u16();
    raw.height = reader.u16();
    raw.planes = reader.u16();
    raw.bitCount = reader.u16();
    return reader.ok;
}

bool readInfoHeader(ByteReader& reader, RawHeader& raw) {
    raw.width = reader.i32();
    raw.height = reader.i32();
    raw.planes = reader.u16();
    raw.bitCount = reader.u16();
    raw.compression = reader.u32();
    raw.sizeImage = reader.u32();
    reader.u32();  // biXPelsPerMeter and biYPelsPerMeter: display hints, never used
    reader.u32();
    raw.clrUsed = reader.u32();
    reader.u32();  // biClrImportant: a display hint
    return reader.ok;
}

bool readDibHeader(const uint8_t* data, size_t size, DibLayout& layout, RawHeader& raw,
                   Failure& failure) {
    ByteReader reader(data, size, layout.headerOffset);
    layout.headerSize = reader.u32();
    if (!reader.ok)
        return conversionError(failure, "the file ends before the DIB header size" +
                                            atByte(layout.headerOffset));
    if (layout.headerSize != coreHeaderSize && layout.headerSize != infoHeaderSize)
        return fail(failure, BitmapFailure::unknownFormat,
                    "the DIB header" + atByte(layout.headerOffset) + " is " +
                        std::to_string(layout.headerSize) + " bytes long; only 12 and 40 are read");
    const bool complete = layout.headerSize == coreHeaderSize ? readCoreHeader(reader, raw)
                                                              : readInfoHeader(reader, raw);
    if (!complete)
        return conversionError(failure, "the file ends inside the " + std::to_string(layout.headerSize) +
                                            "-byte DIB header" + atByte(layout.headerOffset));
    return true;
}

// Planes, bit count and compression: only the combinations the pixel stages decode.
bool checkPixelFormat(const DibLayout& layout, const RawHeader& raw, Failure& failure) {
    const size_t h = layout.headerOffset;
    const bool core = layout.headerSize == coreHeaderSize;
    if (raw.planes != 1)
        return conversionError(failure, "the plane count is " + std::to_string(raw.planes) +
                                            atByte(h + (core ? 8 : 12)) + "; it must be 1");
    const uint16_t bits = raw.bitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return conversionError(failure, "the bit count " + std::to_string(bits) + atByte(h + (core ? 10 : 14)) +
                                            " is not 1, 4, 8, 16, 24 or 32");
    const uint32_t c = raw.compression;
    const bool fits = c == compressionRgb || (c == compressionRle8 && bits == 8) ||
                      (c == compressionRle4 && bits == 4) ||
                      (c == compressionBitFields && (bits == 16 || bits == 32));
    if (!fits)
        return conversionError(failure, "compression " + std::to_string(c) + atByte(h + 16) +
                                            " cannot be used with " + std::to_string(bits) + " bits per pixel");
    return true;
}

// Width and height: positive after the sign of a top-down height is taken off, and
// within the loader's limits. The height is widened first: negating INT_MIN is undefined.
bool checkDimensions(size_t size, DibLayout& layout, const RawHeader& raw, Failure& failure) {
    const size_t h = layout.headerOffset;
    if (raw.width <= 0)
        return conversionError(failure, "the width " + std::to_string(raw.width) + atByte(h + 4) +
                                            " is not positive");
    if (raw.height == 0) return conversionError(failure, "the height" + atByte(h + 8) + " is 0");
    const int64_t rows = raw.height < 0 ? -raw.height : raw.height;
    if (raw.height < 0 && raw.compression != compressionRgb && raw.compression != compressionBitFields)
        return conversionError(failure, "run-length data cannot be stored top-down (height " +
                                            std::to_string(raw.height) + atByte(h + 8) + ")");
    if (raw.width > maxBitmapSide || rows > maxBitmapSide || raw.width * rows > bitmapPixelBudget(size))
        return fail(failure, BitmapFailure::outOfMemory,
                    "the image is " + std::to_string(raw.width) + " x " + std::to_string(rows) + " pixels" +
                        atByte(h + 4) + " in a file of " + std::to_string(size) + " bytes; the loader takes at most " +
                        std::to_string(maxBitmapSide) + " per side and " + std::to_string(bitmapPixelBudget(size)) +
                        " in all here (" + std::to_string(maxBitmapPixels) + " in any file, " +
                        std::to_string(bitmapPixelsFree) + " plus " + std::to_string(bitmapPixelsPerFileByte) +
                        " per byte of its file)");
    layout.width = int32_t(raw.width);
    layout.height = int32_t(rows);
    layout.topDown = raw.height < 0;
    layout.bitCount = raw.bitCount;
    layout.compression = raw.compression;
    return true;
}

// A mask must be one run of set bits inside the pixel, or the shifts that pull its
// channel out are meaningless (an empty mask would even shift by 32).
bool setChannel(ChannelMask& channel, uint32_t mask, uint16_t bitCount) {
    if (mask == 0) return false;
    if (bitCount == 16 && mask > 0xFFFFu) return false;
    uint32_t shift = 0;
    while (((mask >> shift) & 1u) == 0) ++shift;
    const uint64_t run = uint64_t(mask >> shift) + 1;
    if ((run & (run - 1)) != 0) return false;
    channel.mask = mask;
    channel.shift = shift;
    channel.max = mask >> shift;
    return true;
}

// Masks follow a 40-byte header for bit-field images; other 16- and 32-bit images use
// 5-5-5 and 8-8-8.
bool readMasks(const uint8_t* data, size_t size, DibLayout& layout, Failure& failure) {
    if (layout.bitCount != 16 && layout.bitCount != 32) return true;
    uint32_t masks[3] = {0x7C00u, 0x03E0u, 0x001Fu};
    if (layout.bitCount == 32) {
        masks[0] = 0xFF0000u;
        masks[1] = 0x00FF00u;
        masks[2] = 0x0000FFu;
    }
    const size_t maskOffset = layout.headerOffset + infoHeaderSize;
    if (layout.compression == compressionBitFields) {
        ByteReader reader(data, size, maskOffset);
        for (uint32_t& mask : masks) mask = reader.u32();
        if (!reader.ok)
            return conversionError(failure, "the file ends inside the bit-field masks" + atByte(maskOffset));
    }
    static const char* const names[3] = {"red", "green", "blue"};
    for (int i = 0; i < 3; ++i) {
        if (!setChannel(layout.channels[i], masks[i], layout.bitCount))
            return conversionError(failure, std::string("the ") + names[i] + " bit-field mask " +
                                                std::to_string(masks[i]) + atByte(maskOffset + 4 * i) +
                                                " is empty, not one run of bits, or wider than the pixel");
    }
    const uint32_t r = masks[0], g = masks[1], b = masks[2];
    if ((r & g) != 0 || (r & b) != 0 || (g & b) != 0)
        return conversionError(failure, "the bit-field masks" + atByte(maskOffset) + " overlap");
    return true;
}

uint32_t defaultEntries(uint16_t bitCount) { return bitCount <= 8 ? 1u << bitCount : 0; }

// Where the colour table starts, how many entries it has, and its usable entries as RGB.
// A table whose size the header states must lie inside the file and end before the
// pixel data; one the header leaves implicit (12-byte headers, biClrUsed 0) is cut to
// what lies before the pixel data, as some writers store short tables that way.
bool readPalette(const uint8_t* data, size_t size, DibLayout& layout, const RawHeader& raw,
                 uint32_t offBits, Failure& failure) {
    const bool core = layout.headerSize == coreHeaderSize;
    const size_t entrySize = core ? 3 : 4;
    const size_t tableOffset = layout.headerOffset + layout.headerSize +
                               (layout.compression == compressionBitFields ? 12 : 0);
    const bool declared = !core && raw.clrUsed != 0;
    uint64_t entries = declared ? raw.clrUsed : defaultEntries(layout.bitCount);
    if (!declared && layout.hasFileHeader && offBits >= tableOffset)
        entries = std::min<uint64_t>(entries, (offBits - tableOffset) / entrySize);
    const uint64_t tableEnd = tableOffset + entries * entrySize;
    if (tableEnd > size)
        return conversionError(failure, "the colour table of " + std::to_string(entries) + " entries" +
                                            atByte(tableOffset) + " runs past the end of the file (" +
                                            std::to_string(size) + " bytes)");
    if (declared && layout.hasFileHeader && tableEnd > offBits)
        return conversionError(failure, "the pixel data" + atByte(offBits) + " starts inside the colour table of " +
                                            std::to_string(entries) + " entries" + atByte(tableOffset));
    layout.paletteOffset = uint32_t(tableOffset);
    layout.paletteEntries = uint32_t(entries);
    layout.usableEntries = uint32_t(std::min<uint64_t>(entries, 256));
    for (uint32_t i = 0; i < layout.usableEntries; ++i) {
        const uint8_t* entry = data + tableOffset + i * entrySize;  // blue, green, red[, reserved]
        layout.palette[i * 3 + 0] = entry[2];
        layout.palette[i * 3 + 1] = entry[1];
        layout.palette[i * 3 + 2] = entry[0];
    }
    return true;
}

// Rows of uncompressed pixels are padded to 4 bytes; the last row's padding may be missing.
uint64_t uncompressedBytes(const DibLayout& layout) {
    const uint64_t rowBits = uint64_t(layout.width) * layout.bitCount;
    const uint64_t stride = (rowBits + 31) / 32 * 4;
    return stride * uint64_t(layout.height - 1) + (rowBits + 7) / 8;
}

// The longest run-length stream that moves on at every code: a delta that skips one
// pixel (4 bytes) is the dearest way to pass a pixel, an end of line (2 bytes) the
// dearest way to pass a row, then the end of the bitmap. Only a stream padded with
// deltas of (0, 0), which do nothing, is longer; bytes past this bound are never read.
uint64_t longestRle(const DibLayout& layout) {
    return 4 * uint64_t(layout.width) * uint64_t(layout.height) + 2 * uint64_t(layout.height) + 2;
}

// Where the pixel data starts and ends, and that it is all there.
bool placePixels(size_t size, DibLayout& layout, const RawHeader& raw, uint32_t offBits, Failure& failure) {
    const size_t headersEnd = layout.headerOffset + layout.headerSize +
                              (layout.compression == compressionBitFields ? 12 : 0);
    if (layout.hasFileHeader) {
        if (offBits < headersEnd || offBits > size)
            return conversionError(failure, "the pixel data offset " + std::to_string(offBits) + atByte(10) +
                                                " lies outside " + std::to_string(headersEnd) + " .. " +
                                                std::to_string(size));
        layout.pixelOffset = offBits;
    } else {
        layout.pixelOffset = layout.paletteOffset + size_t(layout.paletteEntries) * (layout.headerSize == coreHeaderSize ? 3 : 4);
    }
    const uint64_t available = size - layout.pixelOffset;
    // biSizeImage bounds run-length data only; writers often count it wrong (real
    // textures carry the header's size on top), so a size beyond the file is cut to the
    // file and uncompressed rows go by width, height and bit count alone.
    const bool rle = layout.compression == compressionRle8 || layout.compression == compressionRle4;
    layout.pixelEnd = rle && raw.sizeImage != 0 ? layout.pixelOffset + std::min<uint64_t>(raw.sizeImage, available)
                                                : size;
    if (rle) layout.pixelEnd = std::min<uint64_t>(layout.pixelEnd, layout.pixelOffset + longestRle(layout));
    else layout.pixelEnd = std::min<uint64_t>(layout.pixelEnd, layout.pixelOffset + uncompressedBytes(layout));
    if (!rle && uncompressedBytes(layout) > available)
        return conversionError(failure, "the pixel data" + atByte(layout.pixelOffset) + " is cut short: " +
                                            std::to_string(uncompressedBytes(layout)) + " bytes needed, " +
                                            std::to_string(available) + " present");
    return true;
}

}  // namespace

bool conversionError(Failure& failure, std::string detail) {
    return fail(failure, BitmapFailure::conversionError, std::move(detail));
}

bool readLayout(const uint8_t* data, size_t size, DibLayout& layout, Failure& failure) {
    uint32_t offBits = 0;
    RawHeader raw;
    return readFileHeader(data, size, layout, offBits, failure) &&
           readDibHeader(data, size, layout, raw, failure) &&
           checkPixelFormat(layout, raw, failure) &&
           checkDimensions(size, layout, raw, failure) &&
           readMasks(data, size, layout, failure) &&
           readPalette(data, size, layout, raw, offBits, failure) &&
           placePixels(size, layout, raw, offBits, failure);
}

}  // namespace bitmap_detail
