// The toolkit's bounded file reader.
#include "model3ds/reader3ds.h"

#include <algorithm>  // Required for: std::min
#include <cstring>    // Required for: memcpy, memchr

#include "model3ds/3dserr.h"

namespace {

std::string hex4(uint32_t id) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", unsigned(id));
    return text;
}

// Moves the stream to `pos` unless it already stands there.
bool positionStream(file3ds* file, uint64_t pos) {
    if (file->streamPos == pos)
        return true;
    if (pos > uint64_t(INT64_MAX) || fseeko(file->stream, off_t(pos), SEEK_SET) != 0) {
        file->streamPos = UINT64_MAX;
        return false;
    }
    file->streamPos = pos;
    return true;
}

}  // namespace

float LoadF32(const uint8_t* p) {
    const uint32_t bits = LoadU32(p);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

void FileReader3ds::fail(int32_t code, const std::string& why) {
    if (!ok)
        return;
    ok = false;
    RecordError3ds(code, (file ? file->name : std::string("(no file)")) + ": chunk " + hex4(chunkId) +
                             " at byte " + std::to_string(chunkStart) + ": " + why + " at byte " +
                             std::to_string(pos));
}

bool FileReader3ds::need(uint64_t n) {
    if (!ok)
        return false;
    if (!file || !file->stream) {
        fail(ERR_READING_FILE, "the chunk's file is not open");
        return false;
    }
    if (n > left()) {
        fail(ERR_INVALID_CHUNK, "needs " + std::to_string(n) + " bytes, " + std::to_string(left()) + " left");
        return false;
    }
    if (pos + n > file->sizeOnDisk) {
        fail(ERR_READING_FILE, "file ends at byte " + std::to_string(file->sizeOnDisk));
        return false;
    }
    return true;
}

bool FileReader3ds::take(void* dst, size_t n) {
    if (!need(n))
        return false;
    if (!positionStream(file, pos) || std::fread(dst, 1, n, file->stream) != n) {
        file->streamPos = UINT64_MAX;
        fail(ERR_READING_FILE, "short read");
        return false;
    }
    pos += n;
    file->streamPos = pos;
    return true;
}

bool FileReader3ds::skip(uint64_t n) {
    if (!need(n))
        return false;
    pos += n;
    return true;
}

bool FileReader3ds::seek(uint64_t n) {
    if (!ok)
        return false;
    if (n > left()) {
        fail(ERR_INVALID_CHUNK, "needs " + std::to_string(n) + " bytes, " + std::to_string(left()) + " left");
        return false;
    }
    pos += n;
    return true;
}

uint8_t FileReader3ds::u8() {
    uint8_t b = 0;
    return take(&b, 1) ? b : 0;
}

uint16_t FileReader3ds::u16() {
    uint8_t b[2];
    return take(b, 2) ? LoadU16(b) : 0;
}

uint32_t FileReader3ds::u32() {
    uint8_t b[4];
    return take(b, 4) ? LoadU32(b) : 0;
}

float FileReader3ds::f32() {
    uint8_t b[4];
    return take(b, 4) ? LoadF32(b) : 0.0f;
}

std::vector<uint8_t> FileReader3ds::bytes(uint64_t n) {
    std::vector<uint8_t> out;
    if (!need(n))
        return out;
    out.resize(size_t(n));
    if (n > 0 && !take(out.data(), size_t(n)))
        out.clear();
    return out;
}

// Reads what is there of the limit + 1 bytes in one go, then steps back to just after
// the NUL, so the stream's buffer does the work instead of one call per byte.
std::string FileReader3ds::str(uint64_t limit) {
    if (!need(0))
        return std::string();
    const uint64_t inFile = file->sizeOnDisk > pos ? file->sizeOnDisk - pos : 0;
    const uint64_t regionLeft = left();
    const uint64_t avail = std::min(limit + 1, std::min(regionLeft, inFile));
    std::vector<char> work(size_t(avail) + 1);
    const uint64_t start = pos;
    if (avail > 0 && !take(work.data(), size_t(avail)))
        return std::string();
    const void* nul = std::memchr(work.data(), 0, size_t(avail));
    if (nul) {
        const size_t length = size_t(static_cast<const char*>(nul) - work.data());
        pos = start + length + 1;
        return std::string(work.data(), length);
    }
    pos = start + avail;
    if (avail == limit + 1)
        fail(ERR_READING_FILE, "string longer than " + std::to_string(limit) + " characters");
    else if (avail == regionLeft)
        fail(ERR_INVALID_CHUNK, "string not terminated inside its chunk");
    else
        fail(ERR_READING_FILE, "file ends inside a string");
    return std::string();
}

std::string FileReader3ds::fixedStr(uint64_t width) {
    const uint64_t start = pos;
    std::string text = str(width - 1);
    skip(width - (pos - start));
    return text;
}

FileReader3ds ChunkPayloadReader3ds(file3ds* file, uint32_t id, uint64_t chunkPos, uint64_t length) {
    FileReader3ds in;
    in.file = file;
    in.chunkId = id;
    in.chunkStart = chunkPos;
    in.pos = chunkPos + 6;
    in.end = length >= 6 ? chunkPos + length : in.pos;
    return in;
}
