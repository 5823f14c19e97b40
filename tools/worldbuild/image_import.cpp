#include "worldbuild/image_import.h"

#include <SDL_image.h>  // Required for: IMG_Load, the formats' decoders

#include <algorithm>
#include <memory>

#include "support/bmp_writer.h"  // Required for: BmpLayout, makeBmp

namespace worldbuild {
namespace {

struct SurfaceFree {
    void operator()(SDL_Surface* s) const { SDL_FreeSurface(s); }
};
using Surface = std::unique_ptr<SDL_Surface, SurfaceFree>;

}  // namespace

bool readPicture(const std::string& path, Picture& picture, std::string& why) {
    Surface loaded(IMG_Load(path.c_str()));
    if (!loaded) {
        why = std::string("cannot read the picture: ") + IMG_GetError();
        return false;
    }
    if (int64_t(loaded->w) * loaded->h > int64_t(1) << 26) {
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
