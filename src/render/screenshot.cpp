// The kept frame as a PNG file.
#include "render/render.h"

#include <png.h>  // Required for: the PNG writer

#include <cstdio>
#include <vector>

#include "files/regular_file.h"  // Required for: openRegularStream
#include "render/local.h"

namespace {

// Closes the file however the write ends.
struct FileCloser {
    std::FILE* file;
    ~FileCloser() {
        if (file) std::fclose(file);
    }
};

bool writeRows(std::FILE* file, const KeptFrame& frame) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    // GL rows run bottom first, PNG rows top first.
    std::vector<png_bytep> rows(size_t(frame.height));
    const size_t stride = size_t(frame.width) * 3;
    for (int32_t r = 0; r < frame.height; ++r)
        rows[size_t(r)] = const_cast<png_bytep>(&frame.pixels[size_t(frame.height - 1 - r) * stride]);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, png_uint_32(frame.width), png_uint_32(frame.height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

bool writeScreenshot(const std::string& pngPath) {
    if (keptFrame.width <= 0 || keptFrame.height <= 0 || keptFrame.pixels.empty()) {
        std::fprintf(stderr, "%s: no frame was drawn, so there is no screenshot to write\n", platform::printable(pngPath).c_str());
        return false;
    }
    // A FIFO or a device given as the picture is refused rather than waited on.
    std::string reason;
    FileCloser out{platform::openRegularStream(pngPath, platform::FileAccess::write, reason)};
    if (!out.file) {
        std::fprintf(stderr, "%s: cannot be opened for writing: %s\n", platform::printable(pngPath).c_str(), reason.c_str());
        return false;
    }
    bool written = writeRows(out.file, keptFrame) && std::fflush(out.file) == 0;
    written = std::fclose(out.file) == 0 && written;
    out.file = nullptr;
    if (!written) std::fprintf(stderr, "%s: the PNG could not be written\n", platform::printable(pngPath).c_str());
    return written;
}
