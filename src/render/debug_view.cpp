// The portal map: a top-down view of the cells and portals over the picture, showing
// what the last walk entered, so a wrong picture can be told from a wrong world.
#include "render/render.h"

#include <GL/gl.h>  // Required for: viewport, scissor, immediate-mode lines and quads

#include <algorithm>
#include <cmath>

#include "input/input.h"  // Required for: camera (eye, heading)

namespace {

struct Colour {
    uint8_t r, g, b;
};

// Far enough apart to tell at a glance, and for a test to tell by pixel.
constexpr Colour backgroundColour{16, 16, 24};
constexpr Colour enteredColour{40, 90, 160};
constexpr Colour boxColour{150, 150, 150};
constexpr Colour currentColour{255, 220, 0};
constexpr Colour plainPortalColour{0, 220, 0};
constexpr Colour stencilPortalColour{255, 0, 255};
constexpr Colour eyeColour{255, 255, 255};

void setColour(const Colour& c) { glColor3ub(c.r, c.g, c.b); }

// The map's point for a world point, in the square's own pixels (origin bottom-left).
struct MapPen {
    DebugMapFrame frame;
    void vertex(double x, double z) const {
        double px = 0, py = 0;
        debugMapPixel(frame, x, z, px, py);
        glVertex2d(px - frame.left, py - frame.bottom);
    }
};

void boxPath(const MapPen& pen, const Cell& cell, GLenum mode) {
    glBegin(mode);
    pen.vertex(cell.boxX1, cell.boxZ1);
    pen.vertex(cell.boxX2, cell.boxZ1);
    pen.vertex(cell.boxX2, cell.boxZ2);
    pen.vertex(cell.boxX1, cell.boxZ2);
    glEnd();
}

void drawEnteredCells(const MapPen& pen) {
    setColour(enteredColour);
    for (int32_t i = 0; i < visitedCount && i < maxCells; ++i) {
        const int32_t c = visitedCells[i];
        if (c >= 0 && c < cellCount) boxPath(pen, cells[c], GL_QUADS);
    }
}

void drawBoxes(const MapPen& pen) {
    setColour(boxColour);
    for (int32_t c = 0; c < cellCount; ++c) boxPath(pen, cells[c], GL_LINE_LOOP);
    if (currentCell >= 0 && currentCell < cellCount) {
        setColour(currentColour);
        glLineWidth(2);
        boxPath(pen, cells[currentCell], GL_LINE_LOOP);
        glLineWidth(1);
    }
}

// Each opening as its outline seen from above: an upright portal shows as a line. Stencil
// portals go over plain ones, since a plain way back often shares the opening.
void drawPortals(const MapPen& pen) {
    glLineWidth(2);
    for (const bool stencil : {false, true}) {
        setColour(stencil ? stencilPortalColour : plainPortalColour);
        for (int32_t c = 0; c < cellCount; ++c) {
            const Cell& cell = cells[c];
            for (int32_t k = 0; k < cell.portalCount && k < maxPortalsPerCell; ++k) {
                if ((cell.portalKind[k] == 1) != stencil) continue;
                glBegin(GL_LINE_LOOP);
                for (int v = 0; v < 4; ++v) pen.vertex(cell.portalCornerX[v][k], cell.portalCornerZ[v][k]);
                glEnd();
            }
        }
    }
    glLineWidth(1);
}

// The eye as a small square and the top-level view wedge as two lines from it, as long as
// a third of the map.
void drawEye(const MapPen& pen) {
    setColour(eyeColour);
    const int yaw = std::clamp(camera.yaw, 0, 3600);
    const double reach = pen.frame.size / 3.0 / pen.frame.pixelsPerUnit;
    const auto edge = [&](float lateral, float forward) {
        const double dx = forward * sineTable[yaw] + lateral * sineTable[yaw + 900];
        const double dz = lateral * cosineTable[yaw + 900] + forward * cosineTable[yaw];
        const double length = std::hypot(dx, dz);
        if (length <= 0) return;
        pen.vertex(camera.posX, camera.posZ);
        pen.vertex(camera.posX + dx / length * reach, camera.posZ + dz / length * reach);
    };
    glBegin(GL_LINES);
    edge(viewLeftX, viewLeftZ);
    edge(viewRightX, viewRightZ);
    glEnd();
    double px = 0, py = 0;
    debugMapPixel(pen.frame, camera.posX, camera.posZ, px, py);
    // Far outside the square the scissor drops it anyway; held where an int can take it.
    if (!std::isfinite(px) || !std::isfinite(py)) return;
    const int x = int(std::clamp(px - pen.frame.left, -1e6, 1e6));
    const int y = int(std::clamp(py - pen.frame.bottom, -1e6, 1e6));
    glRecti(x - 2, y - 2, x + 3, y + 3);
}

}  // namespace

DebugMapFrame debugMapFrame(int32_t viewportWidth, int32_t viewportHeight) {
    DebugMapFrame frame;
    const int32_t shorter = std::min(viewportWidth, viewportHeight);
    const int32_t margin = std::max(2, shorter / 50);
    frame.size = std::max(1, shorter * 2 / 5);
    frame.left = viewportWidth - margin - frame.size;
    frame.bottom = viewportHeight - margin - frame.size;

    double minX = camera.posX - 10, maxX = camera.posX + 10;
    double minZ = camera.posZ - 10, maxZ = camera.posZ + 10;
    // Boxes that are not finite numbers (a map may say nan or inf) are left out of the fit.
    double boxMinX = INFINITY, boxMaxX = -INFINITY, boxMinZ = INFINITY, boxMaxZ = -INFINITY;
    for (int32_t c = 0; c < cellCount; ++c) {
        const Cell& cell = cells[c];
        const double xs[2] = {cell.boxX1, cell.boxX2}, zs[2] = {cell.boxZ1, cell.boxZ2};
        if (!std::isfinite(xs[0] + xs[1] + zs[0] + zs[1])) continue;
        boxMinX = std::min({boxMinX, xs[0], xs[1]}), boxMaxX = std::max({boxMaxX, xs[0], xs[1]});
        boxMinZ = std::min({boxMinZ, zs[0], zs[1]}), boxMaxZ = std::max({boxMaxZ, zs[0], zs[1]});
    }
    if (boxMinX <= boxMaxX && std::isfinite(boxMaxX - boxMinX) && std::isfinite(boxMaxZ - boxMinZ)) {
        minX = boxMinX, maxX = boxMaxX, minZ = boxMinZ, maxZ = boxMaxZ;
    }
    frame.centreX = (minX + maxX) / 2;
    frame.centreZ = (minZ + maxZ) / 2;
    const double span = std::max({maxX - minX, maxZ - minZ, 1e-3});
    // A twentieth of the square left free on each side, so edges on the border show.
    frame.pixelsPerUnit = frame.size * 0.9 / span;
    return frame;
}

void debugMapPixel(const DebugMapFrame& frame, double x, double z, double& px, double& py) {
    const double half = frame.size / 2.0;
    px = frame.left + half - (x - frame.centreX) * frame.pixelsPerUnit;
    py = frame.bottom + half + (z - frame.centreZ) * frame.pixelsPerUnit;
}

void drawDebugView() {
    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    const DebugMapFrame frame = debugMapFrame(viewport[2], viewport[3]);
    if (frame.left < 0 || frame.bottom < 0) return;

    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, frame.size, 0, frame.size, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();

    const GLint left = viewport[0] + frame.left, bottom = viewport[1] + frame.bottom;
    glViewport(left, bottom, frame.size, frame.size);
    glScissor(left, bottom, frame.size, frame.size);
    glEnable(GL_SCISSOR_TEST);
    for (GLenum state : {GL_DEPTH_TEST, GL_STENCIL_TEST, GL_TEXTURE_2D, GL_LIGHTING, GL_BLEND, GL_CULL_FACE,
                         GL_ALPHA_TEST, GL_FOG, GL_LINE_SMOOTH, GL_POLYGON_SMOOTH})
        glDisable(state);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glClearColor(backgroundColour.r / 255.0f, backgroundColour.g / 255.0f, backgroundColour.b / 255.0f, 1);
    glClear(GL_COLOR_BUFFER_BIT);

    const MapPen pen{frame};
    drawEnteredCells(pen);
    drawBoxes(pen);
    drawPortals(pen);
    drawEye(pen);

    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();  // viewport, scissor, enables, colours, line width, matrix mode
}
