// Procedural textures for the world builder, and the BMP flavours they are written in.
// Everything here is integer hashing and plain float arithmetic, so a picture comes out
// the same, bit for bit, on every machine.
// Required for: the standard library only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace worldbuild {

// A texture as the description asks for it.
struct TextureSpec {
    std::string pattern;           // bricks, tiles, wood, stone, metal or sky
    std::string flavour;           // rgb24, pal8, rle8 or pal4
    int pixels = 64;               // side of the square picture
    uint8_t colour[3] = {0, 0, 0};  // the main colour, red first
};

bool isPattern(const std::string& name);
bool isFlavour(const std::string& name);
// The words accepted, for messages: "bricks, tiles, ...".
std::string patternNames();
std::string flavourNames();
// The colour a pattern gets when the description gives none.
void defaultColour(const std::string& pattern, uint8_t colour[3]);

// The picture: pixels x pixels, 3 bytes a pixel (red, green, blue), rows bottom first.
// Palette flavours get fewer shades, so that every colour fits their palette.
std::vector<uint8_t> renderTexture(const TextureSpec& recipe);

// The picture as a BMP file of the flavour. false with `error` set when the picture has
// more colours than the flavour's palette holds.
bool encodeBmp(const std::vector<uint8_t>& rgb, int side, const std::string& flavour, std::vector<uint8_t>& file,
               std::string& error);

// Run-length encoding of 8-bit rows, bottom row first: encoded runs, absolute runs for
// stretches without repeats, an end-of-line code after each row but the last and the
// end-of-bitmap code at the end.
std::vector<uint8_t> encodeRle8(const std::vector<std::vector<uint8_t>>& rows);

}  // namespace worldbuild
