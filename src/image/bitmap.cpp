// The bitmap loader's entry points: decoding a DIB held in memory, and loading a file
// through a read-only mapping, with the loader's messages.
#include "image/bitmap.h"

#include "image/bitmap_format.h"
#include "files/huge_pages.h"
#include "files/mapped_file.h"  // Required for: MappedFile
#include "image/foreign_image.h"  // Required for: naming a PNG or JPEG given as a texture

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

using namespace bitmap_detail;

std::function<void(const std::string& text)> bitmapErrorSink = [](const std::string& text) {
    std::fputs(text.c_str(), stderr);
    if (text.empty() || text.back() != '\n') std::fputc('\n', stderr);
};

namespace {

int64_t worldPixels = 0;

DecodeResult failed(Failure failure) {
    DecodeResult result;
    result.failure = failure.kind;
    result.detail = std::move(failure.detail);
    return result;
}

// The pixel block with room for the whole image. Row decoding appends rows, so the
// block is written once; RLE writes in place and needs it black first for the pixels
// its data skips.
std::unique_ptr<ImageRecord> allocateImage(const DibLayout& layout, bool blackFirst) {
    auto image = std::make_unique<ImageRecord>();
    image->width = layout.width;
    image->height = layout.height;
    const size_t bytes = size_t(layout.width) * size_t(layout.height) * 3;
    image->pixels.reserve(bytes);  // allocated, not yet touched
    adviseHugePages(image->pixels.data(), bytes);
    if (blackFirst) image->pixels.resize(bytes);
    return image;
}

// The pixel stages over a layout readLayout accepted.
DecodeResult decodePixels(const uint8_t* data, const DibLayout& layout) {
    Failure failure;
    const bool rle = layout.compression == compressionRle8 || layout.compression == compressionRle4;
    std::unique_ptr<ImageRecord> image;
    try {
        image = allocateImage(layout, rle);
    } catch (const std::bad_alloc&) {
        return failed({BitmapFailure::outOfMemory, "no memory for " + std::to_string(layout.width) + " x " +
                                                       std::to_string(layout.height) + " pixels"});
    }
    const bool decoded = rle ? decodeRle(data, layout, *image, failure) : decodeRows(data, layout, *image, failure);
    if (!decoded) return failed(std::move(failure));
    DecodeResult result;
    result.image = std::move(image);
    return result;
}

std::string worldBudgetDetail(const DibLayout& layout) {
    return "the image is " + std::to_string(layout.width) + " x " + std::to_string(layout.height) +
           " pixels; with it the world's textures would hold " +
           std::to_string(worldPixels + int64_t(layout.width) * layout.height) + " pixels, and they may hold " +
           std::to_string(maxWorldBitmapPixels);
}

}  // namespace

int64_t bitmapPixelBudget(uint64_t fileSize) {
    const uint64_t budget = uint64_t(bitmapPixelsFree) +
                            std::min<uint64_t>(fileSize, uint64_t(maxBitmapPixels)) * bitmapPixelsPerFileByte;
    return int64_t(std::min<uint64_t>(budget, uint64_t(maxBitmapPixels)));
}

int64_t bitmapWorldPixels() { return worldPixels; }
void resetBitmapWorldPixels() { worldPixels = 0; }

DecodeResult decodeBitmap(const uint8_t* data, size_t size) {
    DibLayout layout;
    Failure failure;
    if (!readLayout(data, size, layout, failure)) return failed(std::move(failure));
    return decodePixels(data, layout);
}

const char* bitmapFailureText(BitmapFailure failure) {
    switch (failure) {
        case BitmapFailure::none: return "";
        case BitmapFailure::openFailed: return "Failed to open DIB file %s.\n";
        case BitmapFailure::outOfMemory: return "Out of memory.";
        case BitmapFailure::unknownFormat: return "Unknown DIB file format.";
        case BitmapFailure::conversionError: return "Image file conversion error.";
    }
    return "";
}

std::string bitmapErrorMessage(const char* fileName, BitmapFailure failure, const std::string& detail) {
    if (failure == BitmapFailure::openFailed) {
        const std::string text = "Failed to open DIB file " + std::string(fileName) + ".\n";
        return detail.empty() ? text : text + fileName + ": " + detail;
    }
    std::string text = bitmapFailureText(failure);
    if (!detail.empty()) text += "\n" + std::string(fileName) + ": " + detail;
    return text;
}

// The headers are read and checked, and the budgets applied, before any pixel data is
// read; then only the pixel data the headers name is read.
std::unique_ptr<ImageRecord> loadBitmap(const char* fileName) {
    // Only the pages decoding touches are read (the headers, the colour table, the pixel
    // data they name).
    const platform::MappedFile file(fileName);
    if (!file.ok() || file.size() == 0) {
        const std::string reason = file.ok() ? "is empty" : file.reason();
        if (bitmapErrorSink) bitmapErrorSink(bitmapErrorMessage(fileName, BitmapFailure::openFailed, reason));
        return nullptr;
    }
    DecodeResult result;
    DibLayout layout;
    Failure failure;
    if (!readLayout(file.data(), file.size(), layout, failure)) {
        // A picture of another format keeps the loader's first line and then says what
        // it is, where the header's numbers would only puzzle.
        const ForeignImage foreign = recogniseForeignImage(file.data(), file.size());
        if (foreign.format) {
            if (bitmapErrorSink)
                bitmapErrorSink(std::string(bitmapFailureText(failure.kind)) + "\n" + foreignImageMessage(fileName, foreign));
            return nullptr;
        }
        result = failed(std::move(failure));
    } else if (worldPixels + int64_t(layout.width) * layout.height > maxWorldBitmapPixels) {
        result = failed({BitmapFailure::outOfMemory, worldBudgetDetail(layout)});
    } else {
        file.prefetch(layout.pixelOffset, layout.pixelEnd);
        result = decodePixels(file.data(), layout);
    }
    if (!result.image) {
        if (bitmapErrorSink) bitmapErrorSink(bitmapErrorMessage(fileName, result.failure, result.detail));
        return nullptr;
    }
    worldPixels += int64_t(result.image->width) * result.image->height;
    return std::move(result.image);
}
