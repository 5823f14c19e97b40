// Drawing of the visible walls (the world display list, or named triangles for the
// selection pass), the cells without portals, placed objects and stencil portals.
#include "render/render.h"

#include <GL/gl.h>  // Required for: display lists, stencil, matrices, scissor

#include <algorithm>  // Required for: std::min, std::max
#include <cmath>      // Required for: std::floor, std::ceil

#include "input/input.h"  // Required for: camera.selectPass, portalCulling
#include "render/local.h"

namespace {

const CellPlacement& identityPlacement() {
    static const CellPlacement identity = [] {
        CellPlacement p;
        p.scaleX = p.scaleY = p.scaleZ = 1.0f;
        return p;
    }();
    return identity;
}

// The placement of cell `index`, or the identity for an index that names no cell (an
// object placed before any cell).
const CellPlacement& placementOf(int32_t index) {
    return index >= 0 && index < cellCount ? cells[index].placement : identityPlacement();
}

void drawQuad(const StencilPortal& entry) {
    const CellPlacement& p = placementOf(entry.cell);
    static const int order[6] = {0, 1, 2, 0, 2, 3};
    glBegin(GL_TRIANGLES);
    for (int v : order)
        glVertex3f(entry.cornerX[v] * p.scaleX + p.offsetX, entry.cornerY[v] * p.scaleY + p.offsetY,
                   entry.cornerZ[v] * p.scaleZ + p.offsetZ);
    glEnd();
}

// Every polygon marked as seen through entry `i`, in array order, placed with the
// entry's neighbour.
void collectStencilWalls(TriangleBatch& batch, int32_t i) {
    clearBatch(batch);
    appendMarkedWalls(batch, 101 + i, &placementOf(stencilPortalList[i].neighbour));
}

// A window rectangle, in pixels; empty when width or height is 0.
struct ScreenRect {
    int x = 0, y = 0, width = 0, height = 0;
};

// Product of two column-major 4x4 matrices, a * b.
void multiply(const GLfloat a[16], const GLfloat b[16], GLfloat out[16]) {
    for (int column = 0; column < 4; ++column)
        for (int row = 0; row < 4; ++row) {
            float sum = 0;
            for (int k = 0; k < 4; ++k) sum += a[k * 4 + row] * b[column * 4 + k];
            out[column * 4 + row] = sum;
        }
}

struct ClipPoint {
    float x = 0, y = 0, z = 0, w = 0;
};

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

// The window rectangle that holds every pixel the entry's quad can cover, under the
// current matrices and viewport, with a pixel to spare on each side against rounding;
// empty when no part of the quad lies in front of the eye or in the viewport.
ScreenRect openingRect(const StencilPortal& entry) {
    GLfloat modelview[16], projection[16], transform[16];
    GLint viewport[4];
    glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    multiply(projection, modelview, transform);

    const CellPlacement& p = placementOf(entry.cell);
    ClipPoint corners[4], clipped[8];
    for (int v = 0; v < 4; ++v) {
        const float x = entry.cornerX[v] * p.scaleX + p.offsetX;
        const float y = entry.cornerY[v] * p.scaleY + p.offsetY;
        const float z = entry.cornerZ[v] * p.scaleZ + p.offsetZ;
        const GLfloat* m = transform;
        corners[v] = ClipPoint{m[0] * x + m[4] * y + m[8] * z + m[12], m[1] * x + m[5] * y + m[9] * z + m[13],
                               m[2] * x + m[6] * y + m[10] * z + m[14], m[3] * x + m[7] * y + m[11] * z + m[15]};
    }
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
    if (right <= left || top <= bottom) return rect;
    rect.x = int(left);
    rect.y = int(bottom);
    rect.width = int(right) - rect.x;
    rect.height = int(top) - rect.y;
    return rect;
}

// Zeroes the stencil inside `rect` only.
void clearStencil(const ScreenRect& rect) {
    if (rect.width <= 0 || rect.height <= 0) return;
    glEnable(GL_SCISSOR_TEST);
    glScissor(rect.x, rect.y, rect.width, rect.height);
    glClear(GL_STENCIL_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
}

// One entry, confined to its own opening. The stencil is zero when the entry starts;
// its quad sets 1 only inside its own window rectangle, and the entry zeroes that
// rectangle again when it ends, so no opening ever lets another entry's cell through and
// no entry pays for clearing the whole buffer.
void drawStencilEntry(int32_t i) {
    const StencilPortal& entry = stencilPortalList[i];
    const ScreenRect opening = openingRect(entry);
    glEnable(GL_STENCIL_TEST);
    glDisable(GL_TEXTURE_2D);

    // Stencil 1 only where the opening is not hidden behind what is already drawn.
    glStencilFunc(GL_ALWAYS, 1, 1);
    glStencilOp(GL_KEEP, GL_KEEP, GL_REPLACE);
    drawQuad(entry);

    // Inside the opening, forget the quad's depth: leave that of the last surface drawn.
    glDepthFunc(GL_ALWAYS);
    glStencilFunc(GL_EQUAL, 1, 1);
    glStencilOp(GL_DECR, GL_KEEP, GL_KEEP);
    drawPortallessCells();
    collectStencilWalls(stencilBatch, i);
    emitTriangleBatch(stencilBatch, false);

    // Drawn again with the depth test, the nearest surface at each pixel stays.
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_TEXTURE_2D);
    drawPortallessCells();
    emitTriangleBatch(stencilBatch, true);
    frameCounts.wallsDrawn += int32_t(stencilBatch.polygon.size());

    for (int32_t o = 0; o < placedObjectCount; ++o) {
        if (placedObjects[o].visibleMark != 101 + i) continue;
        drawPlacedObject(placedObjects[o]);
        ++frameCounts.objectsDrawn;
    }

    glDisable(GL_STENCIL_TEST);
    glDepthFunc(GL_LESS);
    clearStencil(opening);
    ++frameCounts.stencilPortals;
}

}  // namespace

void collectVisibleWalls(TriangleBatch& batch) {
    clearBatch(batch);
    if (portalCulling == 0) {
        // Everything, as stored; the marks and the walk's results stay as they were.
        appendAllPolygons(batch);
        return;
    }
    computeVisibleSet();
    // Cell by cell in index order, each with its own placement.
    appendMarkedWalls(batch, 1, nullptr);
}

void buildVisibleList() {
    collectVisibleWalls(visibleBatch);
    if (camera.selectPass == 1) {
        // Selection mode records the triangles as they are sent: no list.
        emitNamedTriangles(visibleBatch);
        return;
    }
    glDeleteLists(worldList, 1);
    glNewList(worldList, GL_COMPILE);
    emitTriangleBatch(visibleBatch, true);
    glEndList();
}

void drawPortallessCells() { callPortallessList(); }

void drawPlacedObject(PlacedObject& object) {
    const CellPlacement& cell = placementOf(object.cell);
    glPushMatrix();
    // The cell's scale applies to the model, not to the object's position.
    glTranslatef(object.x + cell.offsetX, object.y + cell.offsetY, object.z + cell.offsetZ);
    const float angleX = float(object.rotateX) + cell.rotateX;
    const float angleY = float(object.rotateY) + cell.rotateY;
    const float angleZ = float(object.rotateZ) + cell.rotateZ;
    if (angleX != 0) glRotatef(angleX, 1, 0, 0);
    if (angleY != 0) glRotatef(angleY, 0, 1, 0);
    if (angleZ != 0) glRotatef(angleZ, 0, 0, 1);
    if (object.spinning != 0) {
        object.spinAngle += 0.25f;
        if (object.spinAngle > 360.0f) object.spinAngle = 0.1f;
        glRotatef(object.spinAngle, 0, 0, 1);
    }
    if (cell.scaleX != 1.0f) glScalef(cell.scaleX, 1, 1);
    if (cell.scaleY != 1.0f) glScalef(1, cell.scaleY, 1);
    if (cell.scaleZ != 1.0f) glScalef(1, 1, cell.scaleZ);
    if (object.textureIndex >= 0 && object.textureIndex < maxTextures)
        glBindTexture(GL_TEXTURE_2D, textureNames[object.textureIndex]);
    // List 0 is what a model without drawable geometry gets: nothing to call.
    if (object.displayList != 0) glCallList(GLuint(object.displayList));
    glPopMatrix();
}

void drawStencilPortals() {
    // No entry: no GL state is touched at all. The stencil buffer is zero here: the frame
    // clears it with the depth buffer, and every entry leaves it zero.
    for (int32_t i = 0; i < stencilPortalCount && i < maxStencilPortals; ++i) drawStencilEntry(i);
}
