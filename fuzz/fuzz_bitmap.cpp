// libFuzzer target for the bitmap decoder: any bytes must decode or fail with one of the
// loader's failure kinds, never read outside the input, crash or hang.
//
// Built by `make fuzz` (CMake option FUZZ, clang) and run there on the test data with
// its dictionary; see scripts/fuzz.sh.
#include "image/bitmap.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const DecodeResult result = decodeBitmap(data, size);
    const bool decoded = result.failure == BitmapFailure::none;
    if (decoded != bool(result.image)) std::abort();
    if (result.failure == BitmapFailure::openFailed) std::abort();  // decoding never opens files
    if (result.image) {
        const ImageRecord& image = *result.image;
        if (image.width <= 0 || image.height <= 0 ||
            image.pixels.size() != size_t(image.width) * size_t(image.height) * 3)
            std::abort();
    }
    return 0;
}
