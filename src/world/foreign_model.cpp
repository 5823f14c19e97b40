#include "world/foreign_model.h"

#include <cstdio>
#include <cstring>

#include "files/regular_file.h"  // Required for: openRegularStream, withEnding

namespace {

bool startsWith(const uint8_t* data, size_t size, const char* magic) {
    const size_t length = std::strlen(magic);
    return size >= length && std::memcmp(data, magic, length) == 0;
}

bool isSpace(uint8_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Every byte printable text (UTF-8 allowed): a binary file is never taken for OBJ.
bool isText(const uint8_t* data, size_t size) {
    for (size_t i = 0; i < size; ++i)
        if (data[i] < 0x20 && !isSpace(data[i])) return false;
    return size > 0;
}

// The first word of the first line that is neither blank nor a comment.
std::string firstStatement(const uint8_t* data, size_t size) {
    size_t i = 0;
    while (i < size) {
        while (i < size && isSpace(data[i])) ++i;
        if (i < size && data[i] == '#') {
            while (i < size && data[i] != '\n') ++i;
            continue;
        }
        const size_t start = i;
        while (i < size && !isSpace(data[i])) ++i;
        return std::string(reinterpret_cast<const char*>(data) + start, i - start);
    }
    return std::string();
}

bool isObjKeyword(const std::string& word) {
    for (const char* keyword : {"v", "vt", "vn", "vp", "f", "o", "g", "s", "l", "p", "mtllib", "usemtl"})
        if (word == keyword) return true;
    return false;
}

// A JSON object whose first key, or any key in the bytes looked at, is "asset": every
// glTF 2.0 file has one, and other JSON rarely does.
bool isGltfJson(const uint8_t* data, size_t size) {
    size_t i = 0;
    if (size >= 3 && std::memcmp(data, "\xef\xbb\xbf", 3) == 0) i = 3;
    while (i < size && isSpace(data[i])) ++i;
    if (i >= size || data[i] != '{') return false;
    const std::string text(reinterpret_cast<const char*>(data) + i, size - i);
    return text.find("\"asset\"") != std::string::npos;
}


}  // namespace

ForeignModel recogniseForeignModel(const uint8_t* data, size_t size, uint64_t fileSize) {
    if (size >= 2) {
        const unsigned chunk = unsigned(data[0]) | unsigned(data[1]) << 8;
        if (chunk == 0x4D4D || chunk == 0xC23D) return {};
    }
    if (startsWith(data, size, "glTF")) return {"a binary glTF model", ".glb"};
    if (startsWith(data, size, "Kaydara FBX Binary")) return {"an FBX model", ".fbx"};
    if (startsWith(data, size, "; FBX")) return {"an FBX model", ".fbx"};
    if (startsWith(data, size, "ply\n") || startsWith(data, size, "ply\r\n")) return {"a PLY model", ".ply"};
    // 80 bytes of header, a triangle count, 50 bytes a triangle: tested before the text
    // form, since many binary files' headers start with "solid" too.
    if (size >= 84 && fileSize >= 84) {
        const uint64_t triangles = uint64_t(data[80]) | uint64_t(data[81]) << 8 | uint64_t(data[82]) << 16 |
                                   uint64_t(data[83]) << 24;
        if (triangles > 0 && fileSize == 84 + 50 * triangles) return {"a binary STL model", ".stl"};
    }
    if (!isText(data, size)) return {};
    if (isGltfJson(data, size)) return {"a glTF model", ".gltf"};
    const std::string first = firstStatement(data, size);
    if (first == "solid") return {"an STL model", ".stl"};
    if (isObjKeyword(first)) return {"an OBJ model", ".obj"};
    return {};
}

ForeignModel recogniseForeignModelFile(const char* fileName) {
    std::string reason;
    std::FILE* file = platform::openRegularStream(fileName, platform::FileAccess::read, reason);
    if (!file) return {};
    uint8_t bytes[foreignModelProbeBytes];
    const size_t got = std::fread(bytes, 1, sizeof bytes, file);
    std::fseek(file, 0, SEEK_END);
    const long size = std::ftell(file);
    std::fclose(file);
    return recogniseForeignModel(bytes, got, size < 0 ? 0 : uint64_t(size));
}

std::string foreignModelMessage(const std::string& fileName, const ForeignModel& model) {
    return fileName + " is " + model.format + "; models are 3D Studio files (the world builder converts them: model "
           "NAME.3ds file " + platform::withEnding(fileName, model.extension) + ")";
}

bool startsAs3dsFile(const char* fileName) {
    std::string reason;
    std::FILE* file = platform::openRegularStream(fileName, platform::FileAccess::read, reason);
    if (!file) return true;  // the toolkit says why it cannot be opened
    unsigned char id[2] = {0, 0};
    const size_t got = std::fread(id, 1, 2, file);
    std::fclose(file);
    const unsigned chunk = unsigned(id[0]) | unsigned(id[1]) << 8;
    return got == 2 && (chunk == 0x4D4D || chunk == 0xC23D);
}
