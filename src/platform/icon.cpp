#include "platform/icon.h"

#include <algorithm>
#include <cmath>

namespace platform {
namespace {

struct Rgba {
    float r = 0, g = 0, b = 0, a = 0;
};

// Inside an arch: a rectangle from `top` down to `bottom` between left and right, capped
// by a half circle centred on its top edge. Coordinates in units of the icon's side.
bool insideArch(float x, float y, float halfWidth, float top, float bottom) {
    if (y > bottom || std::fabs(x - 0.5f) > halfWidth) return false;
    if (y >= top) return true;
    const float dx = x - 0.5f, dy = y - top;
    return dx * dx + dy * dy <= halfWidth * halfWidth;
}

bool insideRoundedSquare(float x, float y) {
    constexpr float margin = 0.04f, radius = 0.16f;
    const float cx = std::clamp(x, margin + radius, 1 - margin - radius);
    const float cy = std::clamp(y, margin + radius, 1 - margin - radius);
    return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius;
}

// The colour at one point of the picture.
Rgba shade(float x, float y) {
    constexpr float archTop = 0.46f, floorY = 0.86f;
    if (!insideRoundedSquare(x, y)) return {};
    if (insideArch(x, y, 0.19f, archTop, floorY)) {
        // The opening: a sky seen through it, light at the top, violet at the floor.
        const float t = std::clamp((y - 0.27f) / (floorY - 0.27f), 0.0f, 1.0f);
        return {0.35f + 0.45f * t, 0.80f - 0.45f * t, 1.0f - 0.1f * t, 1};
    }
    if (insideArch(x, y, 0.31f, archTop, floorY)) {
        // The stones of the frame: rows of blocks with dark joints.
        const int row = int(std::floor(y * 14));
        const float joint = std::fabs(y * 14 - std::round(y * 14));
        const float column = x * 7 + (row % 2) * 0.5f;
        const bool mortar = joint < 0.08f || std::fabs(column - std::round(column)) < 0.05f;
        return mortar ? Rgba{0.30f, 0.27f, 0.24f, 1} : Rgba{0.66f, 0.60f, 0.52f, 1};
    }
    if (y > floorY) return {0.22f, 0.20f, 0.26f, 1};
    return {0.10f, 0.12f, 0.20f, 1};
}

uint8_t byteOf(float value) { return uint8_t(std::lround(std::clamp(value, 0.0f, 1.0f) * 255)); }

}  // namespace

std::vector<uint8_t> drawIcon(int side) {
    std::vector<uint8_t> pixels(size_t(std::max(side, 0)) * size_t(std::max(side, 0)) * 4);
    constexpr int samples = 4;  // per axis: smooth edges at small sizes
    for (int py = 0; py < side; ++py) {
        for (int px = 0; px < side; ++px) {
            Rgba sum;
            for (int sy = 0; sy < samples; ++sy) {
                for (int sx = 0; sx < samples; ++sx) {
                    const Rgba c = shade((px + (sx + 0.5f) / samples) / side, (py + (sy + 0.5f) / samples) / side);
                    sum.r += c.r * c.a;
                    sum.g += c.g * c.a;
                    sum.b += c.b * c.a;
                    sum.a += c.a;
                }
            }
            uint8_t* out = &pixels[(size_t(py) * size_t(side) + size_t(px)) * 4];
            const float alpha = sum.a / (samples * samples);
            const float cover = sum.a > 0 ? sum.a : 1;
            out[0] = byteOf(sum.r / cover);
            out[1] = byteOf(sum.g / cover);
            out[2] = byteOf(sum.b / cover);
            out[3] = byteOf(alpha);
        }
    }
    return pixels;
}

}  // namespace platform
