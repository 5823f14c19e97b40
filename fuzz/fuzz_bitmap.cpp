// libFuzzer target for the bitmap decoder: any bytes must decode or fail with one of the
// loader's failure kinds, never read outside the input, crash or hang.
//
// Build and run (from the repository root; seeds are the BMP suite's files):
//   clang++ -std=c++17 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
//       -Isrc fuzz/fuzz_bitmap.cpp src/image/*.cpp -o /tmp/fuzz_bitmap
//   mkdir -p /tmp/fuzz_bitmap_corpus
//   /tmp/fuzz_bitmap /tmp/fuzz_bitmap_corpus tests/data/bmpsuite/g tests/data/bmpsuite/q \
//       tests/data/bmpsuite/b -dict=fuzz/bitmap.dict -max_len=65536 -rss_limit_mb=2048 -timeout=5 \
//       -max_total_time=180
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
