#include "assets/bmp_writer.h"

#include <cstdio>
#include <filesystem>

#include <unistd.h>

namespace {

void put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

void putHeader(std::vector<uint8_t>& out, const BmpLayout& s) {
    put32(out, s.headerSize);
    if (s.headerSize == 12) {
        put16(out, uint32_t(s.width));
        put16(out, uint32_t(s.height));
        put16(out, s.planes);
        put16(out, s.bitCount);
        return;
    }
    put32(out, uint32_t(s.width));
    put32(out, uint32_t(s.height));
    put16(out, s.planes);
    put16(out, s.bitCount);
    put32(out, s.compression);
    put32(out, s.sizeImage);
    put32(out, uint32_t(s.xDensity));
    put32(out, uint32_t(s.yDensity));
    put32(out, s.clrUsed);
    put32(out, 0);
    while (out.size() < 14 * s.fileHeader + s.headerSize) out.push_back(0);
}

}  // namespace

std::vector<uint8_t> makeBmp(const BmpLayout& s) {
    std::vector<uint8_t> out;
    if (s.fileHeader) out.resize(14);
    putHeader(out, s);
    for (uint32_t m : s.masks) put32(out, m);
    for (const auto& c : s.palette) {
        out.push_back(c[2]);
        out.push_back(c[1]);
        out.push_back(c[0]);
        if (s.headerSize != 12) out.push_back(0);
    }
    const size_t offBits = s.offBits >= 0 ? size_t(s.offBits) : out.size();
    if (out.size() < offBits) out.resize(offBits, 0);
    out.insert(out.end(), s.pixels.begin(), s.pixels.end());
    if (s.fileHeader) {
        const uint32_t fileSize = s.fileSize >= 0 ? uint32_t(s.fileSize) : uint32_t(out.size());
        out[0] = 'B';
        out[1] = 'M';
        for (int i = 0; i < 4; ++i) out[2 + i] = uint8_t(fileSize >> (8 * i));
        for (int i = 0; i < 4; ++i) out[10 + i] = uint8_t(offBits >> (8 * i));
    }
    return out;
}

std::vector<uint8_t> padRows(const std::vector<std::vector<uint8_t>>& rows) {
    std::vector<uint8_t> out;
    for (const auto& row : rows) {
        out.insert(out.end(), row.begin(), row.end());
        out.resize((out.size() + 3) / 4 * 4, 0);
    }
    return out;
}

std::vector<std::array<uint8_t, 3>> rampPalette(size_t n) {
    std::vector<std::array<uint8_t, 3>> palette(n);
    for (size_t i = 0; i < n; ++i) palette[i] = {uint8_t(i), uint8_t(255 - i), uint8_t(i / 2)};
    return palette;
}

bool writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && written;
}

std::string writeTempFile(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                          ("bitmap_tests_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string path = (dir / name).string();
    writeBytes(path, bytes);
    return path;
}
