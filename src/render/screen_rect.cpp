// Where on the screen a stencil opening can land: its quad taken through the matrices,
// cut at the near plane and bounded. No GL.
#include <algorithm>  // Required for: std::min, std::max
#include <cmath>      // Required for: std::floor, std::ceil

#include "render/render.h"

namespace {

struct ClipPoint {
    float x = 0, y = 0, z = 0, w = 0;
};

// column-major m times (x, y, z, w).
ClipPoint transform(const float m[16], const ClipPoint& p) {
    return ClipPoint{m[0] * p.x + m[4] * p.y + m[8] * p.z + m[12] * p.w,
                     m[1] * p.x + m[5] * p.y + m[9] * p.z + m[13] * p.w,
                     m[2] * p.x + m[6] * p.y + m[10] * p.z + m[14] * p.w,
                     m[3] * p.x + m[7] * p.y + m[11] * p.z + m[15] * p.w};
}

// Keeps the part of a polygon in front of the near plane (z + w >= 0 in clip space,
// where w is at least the near distance): what is behind the eye has no window position.
int clipToNearPlane(const ClipPoint* in, int count, ClipPoint* out) {
    int kept = 0;
    for (int i = 0; i < count; ++i) {
        const ClipPoint& a = in[i];
        const ClipPoint& b = in[(i + 1) % count];
        const float da = a.z + a.w, db = b.z + b.w;
        if (da >= 0) out[kept++] = a;
        if ((da >= 0) != (db >= 0)) {
            const float t = da / (da - db);
            out[kept++] = ClipPoint{a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t,
                                    a.w + (b.w - a.w) * t};
        }
    }
    return kept;
}

}  // namespace

ScreenRect quadScreenRect(const float x[4], const float y[4], const float z[4], const float modelview[16],
                          const float projection[16], const int viewport[4]) {
    ClipPoint corners[4], clipped[8];
    for (int v = 0; v < 4; ++v)
        corners[v] = transform(projection, transform(modelview, ClipPoint{x[v], y[v], z[v], 1}));
    const int count = clipToNearPlane(corners, 4, clipped);
    ScreenRect rect;
    if (count == 0) return rect;
    float minX = 0, maxX = 0, minY = 0, maxY = 0;
    for (int i = 0; i < count; ++i) {
        const float wx = viewport[0] + (clipped[i].x / clipped[i].w + 1) * 0.5f * viewport[2];
        const float wy = viewport[1] + (clipped[i].y / clipped[i].w + 1) * 0.5f * viewport[3];
        minX = i == 0 ? wx : std::min(minX, wx);
        maxX = i == 0 ? wx : std::max(maxX, wx);
        minY = i == 0 ? wy : std::min(minY, wy);
        maxY = i == 0 ? wy : std::max(maxY, wy);
    }
    // Held inside the viewport before converting, so a huge coordinate cannot overflow.
    const float left = std::max(float(viewport[0]), std::floor(minX) - 1);
    const float bottom = std::max(float(viewport[1]), std::floor(minY) - 1);
    const float right = std::min(float(viewport[0] + viewport[2]), std::ceil(maxX) + 1);
    const float top = std::min(float(viewport[1] + viewport[3]), std::ceil(maxY) + 1);
    if (!(right > left && top > bottom)) return rect;
    rect.x = int(left);
    rect.y = int(bottom);
    rect.width = int(right) - rect.x;
    rect.height = int(top) - rect.y;
    return rect;
}
