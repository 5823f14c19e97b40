// Pictures in formats the bitmap loader does not read, told by their first bytes, so a
// texture that is really a PNG or a JPEG gets a message that says so and what to do.
// Required for: the standard library only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct ForeignImage {
    const char* format = nullptr;     // "PNG", "JPEG", "GIF", "WebP"; nullptr: none of them
    const char* extension = nullptr;  // the usual ending of such a file: ".png", ...
};

// Which of the common picture formats the bytes start as. Pure; looks at no more than
// the first 12 bytes.
ForeignImage recogniseForeignImage(const uint8_t* data, size_t size);

// "photo.bmp is a JPEG image; textures are BMP files (the world builder converts them:
// texture NAME.bmp file photo.jpg)": the file as named, and in the hint its name with
// the format's usual ending.
std::string foreignImageMessage(const std::string& fileName, const ForeignImage& image);
