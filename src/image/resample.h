// Images resized for texture upload, where sides must be powers of two.
// Required for: world textures (the GL upload).
#pragma once

#include <cstdint>

#include "image/bitmap.h"  // Required for: ImageRecord

// The power of two nearest to `side`, halfway cases going up; 1 for sides below 2.
int32_t nearestPowerOfTwo(int32_t side);

// The image at width x height (both positive): each new pixel is the average of the
// source area it covers (a box filter, applied along X, then along Y), rounded.
ImageRecord resampleImage(const ImageRecord& image, int32_t width, int32_t height);
