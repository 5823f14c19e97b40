#include "image/foreign_image.h"

#include <cstring>

#include "files/regular_file.h"  // Required for: withEnding

namespace {

bool startsWith(const uint8_t* data, size_t size, size_t at, const char* magic, size_t length) {
    return size >= at + length && std::memcmp(data + at, magic, length) == 0;
}


}  // namespace

ForeignImage recogniseForeignImage(const uint8_t* data, size_t size) {
    if (startsWith(data, size, 0, "\x89PNG\r\n\x1a\n", 8)) return {"PNG", ".png"};
    // Start of image, then the first marker's lead byte.
    if (startsWith(data, size, 0, "\xff\xd8\xff", 3)) return {"JPEG", ".jpg"};
    if (startsWith(data, size, 0, "GIF87a", 6) || startsWith(data, size, 0, "GIF89a", 6)) return {"GIF", ".gif"};
    if (startsWith(data, size, 0, "RIFF", 4) && startsWith(data, size, 8, "WEBP", 4)) return {"WebP", ".webp"};
    return {};
}

std::string foreignImageMessage(const std::string& fileName, const ForeignImage& image) {
    return fileName + " is a " + image.format + " image; textures are BMP files (the world builder converts them: texture NAME.bmp file " +
           platform::withEnding(fileName, image.extension) + ")";
}
