#include "worldbuild/image_import.h"

#include <SDL_image.h>  // Required for: IMG_Load_RW, the formats' decoders

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <memory>

#include "assets/bmp_writer.h"  // Required for: BmpLayout, makeBmp
#include "worldbuild/import.h"  // Required for: readWholeFile

namespace worldbuild {
namespace {

struct SurfaceFree {
    void operator()(SDL_Surface* s) const { SDL_FreeSurface(s); }
};
using Surface = std::unique_ptr<SDL_Surface, SurfaceFree>;

// The most pixels a picture may have: its decoded copy is refused above this, and so is
// a PNG, JPEG or GIF whose header says so, before anything is decoded (a small file can
// claim a picture of gigabytes).
constexpr int64_t maxPicturePixels = int64_t(1) << 26;

uint32_t bigEndian(const uint8_t* p, int bytes) {
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) v = v << 8 | p[i];
    return v;
}

uint32_t littleEndian(const uint8_t* p, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | p[i];
    return v;
}

enum class PictureHeader { sized, unsized, unknown };

// Width and height from a PNG's IHDR, a GIF's screen, a JPEG's first frame header, a
// WebP's frame or a BMP's DIB header: `unsized` when the file starts as one of them but
// the size is not there, `unknown` for any other format (the image library could be
// made to allocate gigabytes by one that no header here bounds, so those are refused).
PictureHeader headerSize(const std::vector<uint8_t>& h, int64_t& width, int64_t& height) {
    static const uint8_t png[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (h.size() >= 8 && std::equal(png, png + 8, h.begin())) {
        if (h.size() < 24) return PictureHeader::unsized;
        width = bigEndian(&h[16], 4);
        height = bigEndian(&h[20], 4);
        return PictureHeader::sized;
    }
    if (h.size() >= 3 && h[0] == 'G' && h[1] == 'I' && h[2] == 'F') {
        if (h.size() < 10) return PictureHeader::unsized;
        width = littleEndian(&h[6], 2);
        height = littleEndian(&h[8], 2);
        return PictureHeader::sized;
    }
    if (h.size() >= 12 && std::equal(h.begin(), h.begin() + 4, "RIFF") && std::equal(h.begin() + 8, h.begin() + 12, "WEBP")) {
        if (h.size() >= 30 && std::equal(h.begin() + 12, h.begin() + 16, "VP8X")) {
            width = 1 + int64_t(littleEndian(&h[24], 3));
            height = 1 + int64_t(littleEndian(&h[27], 3));
            return PictureHeader::sized;
        }
        if (h.size() >= 25 && std::equal(h.begin() + 12, h.begin() + 16, "VP8L")) {
            const uint32_t bits = littleEndian(&h[21], 4);
            width = 1 + int64_t(bits & 0x3FFF);
            height = 1 + int64_t(bits >> 14 & 0x3FFF);
            return PictureHeader::sized;
        }
        if (h.size() >= 30 && std::equal(h.begin() + 12, h.begin() + 16, "VP8 ")) {
            width = littleEndian(&h[26], 2) & 0x3FFF;
            height = littleEndian(&h[28], 2) & 0x3FFF;
            return PictureHeader::sized;
        }
        return PictureHeader::unsized;
    }
    if (h.size() >= 2 && h[0] == 'B' && h[1] == 'M') {
        if (h.size() < 26) return PictureHeader::unsized;
        width = std::abs(int64_t(int32_t(littleEndian(&h[18], 4))));
        height = std::abs(int64_t(int32_t(littleEndian(&h[22], 4))));
        return PictureHeader::sized;
    }
    if (h.size() < 3 || h[0] != 0xFF || h[1] != 0xD8 || h[2] != 0xFF) return PictureHeader::unknown;
    // JPEG: segments after the start marker, each with its length, up to a frame header.
    for (size_t at = 2; at + 9 <= h.size();) {
        if (h[at] != 0xFF) return PictureHeader::unsized;
        const uint8_t marker = h[at + 1];
        if (marker == 0xFF) {  // a fill byte before the marker
            ++at;
            continue;
        }
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            height = bigEndian(&h[at + 5], 2);
            width = bigEndian(&h[at + 7], 2);
            return PictureHeader::sized;
        }
        at += 2 + bigEndian(&h[at + 2], 2);
    }
    return PictureHeader::unsized;
}

bool sizeAllowed(const std::vector<uint8_t>& bytes, std::string& why) {
    int64_t width = 0, height = 0;
    switch (headerSize(bytes, width, height)) {
    case PictureHeader::unknown:
        why = "it is not a PNG, JPEG, GIF, WebP or BMP picture";
        return false;
    case PictureHeader::unsized:
        why = "its header does not say its size (the file is cut short or damaged)";
        return false;
    case PictureHeader::sized:
        break;
    }
    // Divided, not multiplied: a PNG's sides may each be up to 2^32.
    if (width <= maxPicturePixels / std::max<int64_t>(height, 1)) return true;
    why = "the picture says it is " + std::to_string(width) + " x " + std::to_string(height) +
          " pixels, more than 64 Mpixel";
    return false;
}

}  // namespace

bool readPicture(const std::string& path, Picture& picture, std::string& why) {
    // Read once, as the engine reads files (a regular file of bounded size), and decoded
    // from memory, so nothing opens the name again.
    std::vector<uint8_t> bytes;
    if (!readWholeFile(path, bytes, why) || !sizeAllowed(bytes, why)) return false;
    SDL_RWops* source = SDL_RWFromConstMem(bytes.data(), int(bytes.size()));
    Surface loaded(source ? IMG_Load_RW(source, 1) : nullptr);
    if (!loaded) {
        why = std::string("cannot read the picture: ") + IMG_GetError();
        return false;
    }
    if (int64_t(loaded->w) * loaded->h > maxPicturePixels) {
        why = "the picture is " + std::to_string(loaded->w) + " x " + std::to_string(loaded->h) +
              " pixels, more than 64 Mpixel";
        return false;
    }
    // One layout for every source: RGB24 is red, green, blue in memory order. A picture's
    // transparency is dropped; the engine's textures have none.
    Surface rgb(SDL_ConvertSurfaceFormat(loaded.get(), SDL_PIXELFORMAT_RGB24, 0));
    if (!rgb) {
        why = std::string("cannot convert the picture: ") + SDL_GetError();
        return false;
    }
    loaded.reset();
    bytes = std::vector<uint8_t>();
    picture.width = rgb->w;
    picture.height = rgb->h;
    picture.rgb.resize(size_t(rgb->w) * size_t(rgb->h) * 3);
    const auto* pixels = static_cast<const uint8_t*>(rgb->pixels);
    for (int y = 0; y < rgb->h; ++y)
        std::copy_n(pixels + size_t(y) * size_t(rgb->pitch), size_t(rgb->w) * 3, &picture.rgb[size_t(y) * size_t(rgb->w) * 3]);
    return true;
}

int nearestPowerOfTwo(int side) {
    int p = 1;
    while (p < side && p < maxImportedSide) p *= 2;
    // p is the first at or above the side: the one below is nearer when the side is under
    // three quarters of p.
    if (p > 1 && p >= side && side * 4 < p * 3) p /= 2;
    return p;
}

Picture resample(const Picture& picture, int width, int height) {
    Picture out;
    out.width = width;
    out.height = height;
    out.rgb.resize(size_t(width) * size_t(height) * 3);
    // Source pixels [x0, x1) by [y0, y1) under each new pixel, at least one each way;
    // whole numbers, so a build makes the same bytes everywhere.
    for (int y = 0; y < height; ++y) {
        const int64_t y0 = int64_t(y) * picture.height / height;
        const int64_t y1 = std::max(y0 + 1, int64_t(y + 1) * picture.height / height);
        for (int x = 0; x < width; ++x) {
            const int64_t x0 = int64_t(x) * picture.width / width;
            const int64_t x1 = std::max(x0 + 1, int64_t(x + 1) * picture.width / width);
            uint64_t sum[3] = {0, 0, 0};
            for (int64_t sy = y0; sy < y1; ++sy)
                for (int64_t sx = x0; sx < x1; ++sx)
                    for (int c = 0; c < 3; ++c) sum[c] += picture.rgb[size_t((sy * picture.width + sx) * 3 + c)];
            const uint64_t count = uint64_t((y1 - y0) * (x1 - x0));
            for (int c = 0; c < 3; ++c)
                out.rgb[(size_t(y) * size_t(width) + size_t(x)) * 3 + size_t(c)] = uint8_t((sum[c] + count / 2) / count);
        }
    }
    return out;
}

std::vector<uint8_t> encodeBmp24(const Picture& picture) {
    BmpLayout layout;
    layout.width = picture.width;
    layout.height = picture.height;
    const size_t stride = (size_t(picture.width) * 3 + 3) / 4 * 4;
    layout.pixels.assign(stride * size_t(picture.height), 0);
    for (int y = 0; y < picture.height; ++y) {
        uint8_t* row = &layout.pixels[size_t(picture.height - 1 - y) * stride];
        for (int x = 0; x < picture.width; ++x) {
            const uint8_t* p = &picture.rgb[(size_t(y) * size_t(picture.width) + size_t(x)) * 3];
            row[size_t(x) * 3] = p[2];
            row[size_t(x) * 3 + 1] = p[1];
            row[size_t(x) * 3 + 2] = p[0];
        }
    }
    return makeBmp(layout);
}

bool importTexture(const std::string& path, int pixels, std::vector<uint8_t>& file, std::string& why) {
    Picture picture;
    if (!readPicture(path, picture, why)) return false;
    const int width = pixels ? pixels : nearestPowerOfTwo(picture.width);
    const int height = pixels ? pixels : nearestPowerOfTwo(picture.height);
    file = encodeBmp24(resample(picture, width, height));
    return true;
}

}  // namespace worldbuild
