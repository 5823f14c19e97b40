// Builds .3ds chunk files from a tree description, for tests and asset tools.
// Lengths are worked out from the tree unless a chunk forges its own.
// Required for: the standard library only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace chunkwriter {

// Little-endian payload bytes, appended field by field.
struct Payload {
    std::vector<uint8_t> bytes;

    Payload& u8(uint8_t value);
    Payload& u16(uint16_t value);
    Payload& i16(int16_t value) { return u16(uint16_t(value)); }
    Payload& u32(uint32_t value);
    Payload& i32(int32_t value) { return u32(uint32_t(value)); }
    Payload& f32(float value);
    // The characters and a terminating NUL.
    Payload& str(const std::string& text);
    // The characters, then NULs up to `width` bytes (text must be shorter than width).
    Payload& fixedStr(const std::string& text, size_t width);
    Payload& raw(const std::vector<uint8_t>& data);
    Payload& zeros(size_t count);
};

struct Chunk {
    uint16_t id = 0;
    std::vector<uint8_t> data;           // the chunk's own leading data
    std::vector<Chunk> children;         // written after the data
    std::optional<uint32_t> length;      // forge the header's length (bad-input tests)
};

Chunk chunk(uint16_t id, const Payload& data = Payload(), std::vector<Chunk> children = {});
Chunk container(uint16_t id, std::vector<Chunk> children);

// Header length of a chunk as written: 6 + data + children, unless forged.
uint32_t encodedLength(const Chunk& c);
// The chunk and its subtree as file bytes.
std::vector<uint8_t> encode(const Chunk& root);
// Writes bytes to a file; false when the file cannot be written.
bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace chunkwriter
