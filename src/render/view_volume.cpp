// Which triangles the render pass can leave out of what it draws: those that cannot
// cover a single pixel centre of the picture. No GL.
#include <cmath>  // Required for: std::fabs, std::ceil, std::floor, std::sqrt

#include "render/render.h"

namespace {

// Relative to the size of the terms of a clip coordinate: the GL forms the same
// coordinates in single precision from a matrix it holds in single precision (some
// units in the last place, about 1e-7 each), so ten times that bounds how far its figure
// can lie from ours.
constexpr double clipTolerance = 1e-5;
// In pixels: the rasteriser snaps window positions to a fraction of a pixel (1/256 here,
// coarser on no GL we know of), and a little more for its own rounding.
constexpr double snapTolerance = 1.0 / 64;

// Row r of M (column-major) applied to (x, y, z, 1).
double rowTimes(const double m[16], int r, double x, double y, double z) {
    return m[r] * x + m[4 + r] * y + m[8 + r] * z + m[12 + r];
}

// The window span [low, high] on one axis and the pixels first .. first + count - 1 of
// the region: some pixel centre (i + 0.5) of them lies within the span.
bool spanHoldsCentre(double low, double high, int first, int count) {
    // Clamped to the region's extent, a span a pixel wide or more holds a centre.
    const double a = low > first ? low : double(first);
    const double b = high < double(first) + count ? high : double(first) + count;
    if (b - a >= 1) return true;
    double lowest = std::ceil(low - 0.5), highest = std::floor(high - 0.5);
    if (lowest < first) lowest = first;
    if (highest > first + count - 1) highest = first + count - 1;
    return lowest <= highest;
}

}  // namespace

ViewVolume viewVolume(const float modelview[16], const float projection[16], const int viewport[4],
                      const ScreenRect& region) {
    ViewVolume volume;
    clipProduct(projection, modelview, false, volume.clip);
    clipProduct(projection, modelview, true, volume.clipBound);
    for (int r = 0; r < 4; ++r)
        volume.rowBound[r] = volume.clipBound[r] + volume.clipBound[4 + r] + volume.clipBound[8 + r];
    for (int i = 0; i < 4; ++i) volume.viewport[i] = viewport[i];
    volume.region = region;
    return volume;
}

bool coversNoPixel(const ViewVolume& volume, const float* v) {
    const ScreenRect& region = volume.region;
    if (region.width <= 0 || region.height <= 0) return true;
    // Clip coordinates of the three vertices, and the size of the terms of each.
    double c[3][4], size[3][4];
    for (int k = 0; k < 3; ++k) {
        const double x = v[k * 3], y = v[k * 3 + 1], z = v[k * 3 + 2];
        // The largest coordinate times the row's X, Y and Z magnitudes summed bounds what
        // they add up to with each its own coordinate: a margin a little wider, for less.
        const double ax = std::fabs(x), ay = std::fabs(y), az = std::fabs(z);
        const double largest = ax > ay ? (ax > az ? ax : az) : (ay > az ? ay : az);
        for (int r = 0; r < 4; ++r) {
            c[k][r] = rowTimes(volume.clip, r, x, y, z);
            size[k][r] = volume.rowBound[r] * largest + volume.clipBound[12 + r];
        }
    }
    // Wholly outside one plane, as outsideOnePlane tells it: -w <= x, y, z <= w.
    for (int axis = 0; axis < 3; ++axis)
        for (const double side : {1.0, -1.0}) {
            bool outside = true;
            for (int k = 0; k < 3 && outside; ++k)
                outside = side * c[k][axis] - c[k][3] > clipOutsideMargin * (size[k][axis] + size[k][3]);
            if (outside) return true;
        }
    double low[2] = {0, 0}, high[2] = {0, 0};
    for (int k = 0; k < 3; ++k) {
        const double w = c[k][3];
        const double wError = clipTolerance * size[k][3];
        // In the eye's plane or behind it a vertex lands anywhere: keep the triangle. Any
        // vertex in front is where the GL projects it, and clipping only cuts the triangle
        // down. (NaN compares false: kept too.)
        if (!(w > 4 * wError) || !(w > 0)) return false;
        for (int axis = 0; axis < 2; ++axis) {
            // The w row's terms too: the eye's own position enters every row.
            const double cError = clipTolerance * (size[k][axis] + size[k][3]);
            const double ndc = c[k][axis] / w;
            const double ndcError = (cError + std::fabs(ndc) * wError) / (w - wError);
            const double half = volume.viewport[2 + axis] * 0.5;
            const double window = volume.viewport[axis] + (ndc + 1) * half;
            const double error = ndcError * half + snapTolerance;
            if (!(std::fabs(window) < 1e9)) return false;
            const double a = window - error, b = window + error;
            if (k == 0 || a < low[axis]) low[axis] = a;
            if (k == 0 || b > high[axis]) high[axis] = b;
        }
    }
    return !spanHoldsCentre(low[0], high[0], region.x, region.width) ||
           !spanHoldsCentre(low[1], high[1], region.y, region.height);
}

bool lookAtMatrix(double eyeX, double eyeY, double eyeZ, double targetX, double targetY, double targetZ,
                  float out[16]) {
    // As the GL utility library builds it: forward, side = forward x up (0, 1, 0), up =
    // side x forward, then the eye moved to the origin.
    double f[3] = {targetX - eyeX, targetY - eyeY, targetZ - eyeZ};
    const double fLength = std::sqrt(f[0] * f[0] + f[1] * f[1] + f[2] * f[2]);
    for (double& c : f) c = fLength > 0 ? c / fLength : c;
    double s[3] = {-f[2], 0, f[0]};
    const double sLength = std::sqrt(s[0] * s[0] + s[2] * s[2]);
    for (double& c : s) c = sLength > 0 ? c / sLength : c;
    const double u[3] = {s[1] * f[2] - s[2] * f[1], s[2] * f[0] - s[0] * f[2], s[0] * f[1] - s[1] * f[0]};
    const double rows[3][3] = {{s[0], s[1], s[2]}, {u[0], u[1], u[2]}, {-f[0], -f[1], -f[2]}};
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) out[c * 4 + r] = float(rows[r][c]);
        out[12 + r] = float(-(rows[r][0] * eyeX + rows[r][1] * eyeY + rows[r][2] * eyeZ));
        out[r * 4 + 3] = 0;
    }
    out[15] = 1;
    return fLength > 0 && sLength > 0;
}
