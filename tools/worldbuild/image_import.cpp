#include "worldbuild/image_import.h"

#include <SDL_image.h>  // Required for: IMG_Load, the formats' decoders
#include <sys/stat.h>   // Required for: stat, to refuse what is not a regular file

#include <algorithm>
#include <cstdio>
#include <memory>

#include "assets/bmp_writer.h"  // Required for: BmpLayout, makeBmp

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

// Width and height from a PNG's IHDR, a GIF's screen or a JPEG's first frame header;
// false when the file is none of them or too short to tell.
bool headerSize(const std::vector<uint8_t>& h, int64_t& width, int64_t& height) {
    static const uint8_t png[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (h.size() >= 24 && std::equal(png, png + 8, h.begin())) {
        width = bigEndian(&h[16], 4);
        height = bigEndian(&h[20], 4);
        return true;
    }
    if (h.size() >= 10 && h[0] == 'G' && h[1] == 'I' && h[2] == 'F') {
        width = h[6] | h[7] << 8;
        height = h[8] | h[9] << 8;
        return true;
    }
    if (h.size() < 4 || h[0] != 0xFF || h[1] != 0xD8) return false;
    // JPEG: segments after the start marker, each with its length, up to a frame header.
    for (size_t at = 2; at + 9 <= h.size();) {
        if (h[at] != 0xFF) return false;
        const uint8_t marker = h[at + 1];
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            height = bigEndian(&h[at + 5], 2);
            width = bigEndian(&h[at + 7], 2);
            return true;
        }
        at += 2 + bigEndian(&h[at + 2], 2);
    }
    return false;
}

bool sizeAllowed(const std::string& path, std::string& why) {
    // A FIFO or a device would be waited on, or read without end.
    struct stat status {};
    if (stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
        why = "not a regular file";
        return false;
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return true;  // the image library says why it cannot open it
    std::vector<uint8_t> head(65536);
    head.resize(std::fread(head.data(), 1, head.size(), file));
    std::fclose(file);
    int64_t width = 0, height = 0;
    if (!headerSize(head, width, height) || width * height <= maxPicturePixels) return true;
    why = "the picture says it is " + std::to_string(width) + " x " + std::to_string(height) +
          " pixels, more than 64 Mpixel";
    return false;
}

}  // namespace

bool readPicture(const std::string& path, Picture& picture, std::string& why) {
    if (!sizeAllowed(path, why)) return false;
    Surface loaded(IMG_Load(path.c_str()));
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
    picture.width = rgb->w;
    picture.height = rgb->h;
    picture.rgb.resize(size_t(rgb->w) * size_t(rgb->h) * 3);
    const auto* bytes = static_cast<const uint8_t*>(rgb->pixels);
    for (int y = 0; y < rgb->h; ++y)
        std::copy_n(bytes + size_t(y) * size_t(rgb->pitch), size_t(rgb->w) * 3, &picture.rgb[size_t(y) * size_t(rgb->w) * 3]);
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
