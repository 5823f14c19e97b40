// Bounded, sticky reader over one region of a model file (private to the toolkit).
// The first read that does not fit records one error and clears ok; every later read
// yields 0, so a record is checked once, after it is read. A read that would leave the
// region (the chunk) records ERR_INVALID_CHUNK; one that would pass the end of the file
// records ERR_READING_FILE. Values are little-endian and taken as stored.
// Required for: file3ds (3dsfile.h), the error list.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model3ds/3dsfile.h"

struct FileReader3ds {
    file3ds* file = nullptr;
    uint64_t pos = 0;         // absolute offset of the next byte
    uint64_t end = 0;         // first offset outside the region
    uint32_t chunkId = 0;     // for messages: the chunk being read
    uint64_t chunkStart = 0;  // for messages: offset of its header
    bool ok = true;

    // Checks that n more bytes lie inside the region and the file, without reading.
    bool need(uint64_t n);
    bool take(void* dst, size_t n);
    bool skip(uint64_t n);
    // Moves n bytes on inside the region without looking at the file: past its end is
    // not an error until something is read there.
    bool seek(uint64_t n);
    uint8_t u8();
    uint16_t u16();
    int16_t i16() { return int16_t(u16()); }
    uint32_t u32();
    int32_t i32() { return int32_t(u32()); }
    float f32();
    // Exactly n bytes; nothing is allocated unless they are all there.
    std::vector<uint8_t> bytes(uint64_t n);
    // A NUL-terminated string of at most `limit` characters: reads up to limit + 1 bytes,
    // stopping after the NUL. No NUL among limit + 1 bytes records ERR_READING_FILE.
    std::string str(uint64_t limit);
    // A string of at most width - 1 characters in a field of `width` bytes.
    std::string fixedStr(uint64_t width);
    uint64_t left() const { return end > pos ? end - pos : 0; }
    // Records `code` with the file, chunk and offset, and stops the reader.
    void fail(int32_t code, const std::string& why);
};

// A reader over the payload of the chunk at `chunkPos` with `length` (header included).
// A length below the header's size gives an empty region.
FileReader3ds ChunkPayloadReader3ds(file3ds* file, uint32_t id, uint64_t chunkPos, uint64_t length);

// Little-endian values out of a block already in memory, for arrays read in one go.
inline uint16_t LoadU16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
inline uint32_t LoadU32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
float LoadF32(const uint8_t* p);
