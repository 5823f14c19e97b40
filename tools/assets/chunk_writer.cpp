// Chunk file writer for tests and tools.
#include "assets/chunk_writer.h"

#include <cstdio>
#include <cstring>

namespace chunkwriter {

Payload& Payload::u8(uint8_t value) {
    bytes.push_back(value);
    return *this;
}

Payload& Payload::u16(uint16_t value) {
    bytes.push_back(uint8_t(value));
    bytes.push_back(uint8_t(value >> 8));
    return *this;
}

Payload& Payload::u32(uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        bytes.push_back(uint8_t(value >> shift));
    return *this;
}

Payload& Payload::f32(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return u32(bits);
}

Payload& Payload::str(const std::string& text) {
    bytes.insert(bytes.end(), text.begin(), text.end());
    bytes.push_back(0);
    return *this;
}

Payload& Payload::fixedStr(const std::string& text, size_t width) {
    bytes.insert(bytes.end(), text.begin(), text.end());
    return zeros(width > text.size() ? width - text.size() : 0);
}

Payload& Payload::raw(const std::vector<uint8_t>& data) {
    bytes.insert(bytes.end(), data.begin(), data.end());
    return *this;
}

Payload& Payload::zeros(size_t count) {
    bytes.insert(bytes.end(), count, 0);
    return *this;
}

Chunk chunk(uint16_t id, const Payload& data, std::vector<Chunk> children) {
    Chunk c;
    c.id = id;
    c.data = data.bytes;
    c.children = std::move(children);
    return c;
}

Chunk container(uint16_t id, std::vector<Chunk> children) { return chunk(id, Payload(), std::move(children)); }

uint32_t encodedLength(const Chunk& c) {
    if (c.length)
        return *c.length;
    uint32_t length = 6 + uint32_t(c.data.size());
    for (const Chunk& child : c.children)
        length += uint32_t(encode(child).size());
    return length;
}

namespace {

void append(const Chunk& c, std::vector<uint8_t>& out) {
    const size_t start = out.size();
    Payload header;
    header.u16(c.id).u32(0);
    out.insert(out.end(), header.bytes.begin(), header.bytes.end());
    out.insert(out.end(), c.data.begin(), c.data.end());
    for (const Chunk& child : c.children)
        append(child, out);
    const uint32_t length = c.length ? *c.length : uint32_t(out.size() - start);
    for (int i = 0; i < 4; ++i)
        out[start + 2 + i] = uint8_t(length >> (8 * i));
}

}  // namespace

std::vector<uint8_t> encode(const Chunk& root) {
    std::vector<uint8_t> out;
    append(root, out);
    return out;
}

bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

}  // namespace chunkwriter
