// Which triangles cannot reach the selection frustum, and which placed models cannot
// reach the view: a volume's planes in world coordinates and tests with a margin that
// err on the side of keeping. No GL.
#include <cmath>  // Required for: std::fabs, std::sqrt

#include "render/render.h"

void clipProduct(const float projection[16], const float modelview[16], bool magnitudes, double out[16]) {
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) {
            double sum = 0;
            for (int k = 0; k < 4; ++k) {
                const double x = projection[k * 4 + r], y = modelview[c * 4 + k];
                sum += magnitudes ? std::fabs(x) * std::fabs(y) : x * y;
            }
            out[c * 4 + r] = sum;
        }
}

ClipPlanes clipPlanes(const float modelview[16], const float projection[16]) {
    double rows[16], bounds[16];
    clipProduct(projection, modelview, false, rows);
    clipProduct(projection, modelview, true, bounds);
    ClipPlanes planes;
    // x <= w, -x <= w, then y and z alike: (+-row - w) . (x, y, z, 1) <= 0; the bound of a
    // plane is that of its two rows.
    for (int axis = 0; axis < 3; ++axis)
        for (int side = 0; side < 2; ++side)
            for (int c = 0; c < 4; ++c) {
                const double row = rows[c * 4 + axis];
                planes.plane[axis * 2 + side][c] = (side == 0 ? row : -row) - rows[c * 4 + 3];
                planes.bound[axis * 2 + side][c] = bounds[c * 4 + axis] + bounds[c * 4 + 3];
            }
    return planes;
}

bool outsideOnePlane(const ClipPlanes& planes, const float* v) {
    // Far and near first: the selection frustum is short, so most triangles lie beyond
    // one of those two, and the answer does not depend on the order.
    static const int order[6] = {4, 5, 0, 1, 2, 3};
    for (const int i : order) {
        const double* a = planes.plane[i];
        const double* b = planes.bound[i];
        bool outside = true;
        for (int k = 0; k < 3 && outside; ++k) {
            const double x = v[k * 3], y = v[k * 3 + 1], z = v[k * 3 + 2];
            const double distance = a[0] * x + a[1] * y + a[2] * z + a[3];
            const double size = b[0] * std::fabs(x) + b[1] * std::fabs(y) + b[2] * std::fabs(z) + b[3];
            // NaN compares false: such a vertex never counts as outside.
            outside = distance > clipOutsideMargin * size;
        }
        if (outside) return true;
    }
    return false;
}

bool ballOutsideOnePlane(const ClipPlanes& planes, double x, double y, double z, double reach) {
    if (!(reach >= 0)) return false;
    for (int i = 0; i < 6; ++i) {
        const double* a = planes.plane[i];
        const double* b = planes.bound[i];
        // The nearest point of the ball to the plane lies `reach` times the normal's
        // length closer than the centre; the GL's terms are at most those of the farthest
        // point in each coordinate.
        const double nearest = a[0] * x + a[1] * y + a[2] * z + a[3] -
                               reach * std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
        const double size = b[0] * (std::fabs(x) + reach) + b[1] * (std::fabs(y) + reach) +
                            b[2] * (std::fabs(z) + reach) + b[3];
        if (nearest > clipOutsideMargin * size) return true;  // NaN compares false
    }
    return false;
}
