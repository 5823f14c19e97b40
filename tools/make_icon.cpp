// make_icon: writes the program's icon, the picture the window shows, as a PNG for the
// desktop's icon theme.
// Usage: make_icon SIDE FILE.png
#include <png.h>  // Required for: png_image_write_to_file

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/icon.h"

int main(int argc, char** argv) {
    const int side = argc == 3 ? std::atoi(argv[1]) : 0;
    if (side < 16 || side > 1024) {
        std::fprintf(stderr, "usage: make_icon SIDE FILE.png (SIDE from 16 to 1024)\n");
        return 2;
    }
    const auto pixels = platform::drawIcon(side);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(side);
    image.height = png_uint_32(side);
    image.format = PNG_FORMAT_RGBA;
    if (!png_image_write_to_file(&image, argv[2], 0, pixels.data(), side * 4, nullptr)) {
        std::fprintf(stderr, "%s: the icon could not be written: %s\n", argv[2], image.message);
        return 1;
    }
    return 0;
}
