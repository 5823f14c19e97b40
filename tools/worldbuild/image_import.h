// Pictures people have (PNG, JPEG, GIF, TGA, WebP, ...) made into textures the engine
// reads: 24-bit BMP at power-of-two sides. The engine itself reads only BMP.
// Required for: the standard library only (SDL2_image inside the .cpp).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace worldbuild {

// The largest side an imported texture gets: a square at this side is the most pixels
// the engine's bitmap loader takes in one file (16 Mpixel).
constexpr int maxImportedSide = 4096;

struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;  // 3 bytes a pixel, red first, rows top first
};

// Reads a picture file of any format the image library knows. false with `why` (the
// library's reason, or what the file is when it is not a picture).
bool readPicture(const std::string& path, Picture& picture, std::string& why);

// The power of two nearest to a side (the higher on a tie), at most maxImportedSide.
int nearestPowerOfTwo(int side);

// The picture resampled to width x height: each new pixel the mean of the part of the
// picture it covers, so shrinking does not alias and growing repeats pixels.
Picture resample(const Picture& picture, int width, int height);

// The picture as a 24-bit BMP file, rows bottom first as BMP stores them.
std::vector<uint8_t> encodeBmp24(const Picture& picture);

// All of it: read `path`, resample to `pixels` square or, for 0, to the nearest power of
// two on each side, encode. false with `why`.
bool importTexture(const std::string& path, int pixels, std::vector<uint8_t>& file, std::string& why);

}  // namespace worldbuild
