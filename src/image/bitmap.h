// Bitmap image loader: BMP files and bare DIBs into packed RGB images.
// Required for: texture images of the world and of models.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// A decoded picture: width x height x 3 bytes, red, green, blue per pixel,
// rows bottom first, no padding. Owned by whoever asked for it.
struct ImageRecord {
    int32_t width = 0;   // pixels per row
    int32_t height = 0;  // rows; always positive once decoded
    std::vector<uint8_t> pixels;
};

// Reads the named file. On failure shows one of the loader's four messages in the
// "Error" box (standard error when headless) and returns nothing; loading goes on.
std::unique_ptr<ImageRecord> loadBitmap(const char* fileName);

// Where the loader's messages go. The application points it at the "Error" box;
// until then (and in tests that do not replace it) they go to standard error.
extern std::function<void(const std::string& text)> bitmapErrorSink;

// --- Decoding bytes already in memory ---------------------------------------------

// Why a file gave no image; each kind has its own fixed message (bitmapFailureText).
enum class BitmapFailure {
    none,
    openFailed,       // "Failed to open DIB file %s.\n": missing, unreadable, empty or not a regular file
    outOfMemory,      // "Out of memory.": the image is larger than the loader accepts or can allocate
    unknownFormat,    // "Unknown DIB file format.": a DIB header that is neither 12 nor 40 bytes
    conversionError,  // "Image file conversion error.": anything else wrong with the file's contents
};

struct DecodeResult {
    std::unique_ptr<ImageRecord> image;  // set exactly when failure is none
    BitmapFailure failure = BitmapFailure::none;
    std::string detail;  // what was wrong and at which byte offset; empty on success
};

// Largest image the loader accepts; larger ones fail as out of memory before anything is
// allocated, so a hostile header cannot ask for gigabytes (RLE data can be tiny).
constexpr int64_t maxBitmapSide = 32768;               // pixels, either side
constexpr int64_t maxBitmapPixels = int64_t(1) << 24;  // 16 Mpixel = 48 MiB of RGB
// A small file may not name a large picture: an image holds at most this many pixels
// plus 8 for each byte of its file (8 is what an uncompressed 1-bit image stores in a
// byte), so a file under 1 MiB decodes to at most 9.4 Mpixel whatever its run-length
// codes say.
constexpr int64_t bitmapPixelsFree = int64_t(1) << 20;  // 1 Mpixel
constexpr int64_t bitmapPixelsPerFileByte = 8;
// Decoded pixels of every image loadBitmap returned since the last
// resetBitmapWorldPixels: the textures of one world. An image that would take the total
// past this is refused.
constexpr int64_t maxWorldBitmapPixels = int64_t(1) << 25;  // 32 Mpixel = 96 MiB of RGB

// The most pixels a file of fileSize bytes may decode to.
int64_t bitmapPixelBudget(uint64_t fileSize);

// Pixels counted against maxWorldBitmapPixels so far, and the reset for a new world.
int64_t bitmapWorldPixels();
void resetBitmapWorldPixels();

// Decodes a whole BMP file (starting "BM") or bare DIB held in memory. Pure: no
// messages, no file access; never reads outside data[0, size).
DecodeResult decodeBitmap(const uint8_t* data, size_t size);

// The fixed text of a failure kind (without the file name of the open failure).
const char* bitmapFailureText(BitmapFailure failure);

// The message the loader shows for a failure: the fixed text, then a line naming the
// file and what was wrong where. The open failure keeps its own first line, with the
// file name in it, and then the reason ("is a FIFO", "No such file or directory").
std::string bitmapErrorMessage(const char* fileName, BitmapFailure failure,
                               const std::string& detail);
