// Drawing of the visible walls (the world display list, or named triangles for the
// selection pass), the cells without portals, placed objects and stencil portals.
#include "render/render.h"

#include <GL/gl.h>  // Required for: display lists, stencil, matrices, scissor

#include <algorithm>  // Required for: std::max
#include <cmath>      // Required for: std::fabs

#include "input/input.h"  // Required for: camera.selectPass, portalCulling
#include "render/local.h"
#include "world/model.h"  // Required for: listReach

namespace {

// A quarter degree each time the object is drawn; past 360 it starts again at 0.1.
void advanceSpin(PlacedObject& object) {
    object.spinAngle += 0.25f;
    if (object.spinAngle > 360.0f) object.spinAngle = 0.1f;
}

void bindObjectTexture(const PlacedObject& object) {
    if (object.textureIndex >= 0 && object.textureIndex < maxTextures)
        glBindTexture(GL_TEXTURE_2D, textureNames[object.textureIndex]);
}

// The object's model lies wholly outside one plane of `view`: it is drawn within the
// list's reach of its placed position, scaled by at most its cell's largest scale, and
// turned, which moves no point farther from that position.
bool outsideView(const PlacedObject& object, const ClipPlanes& view) {
    const float reach = listReach(object.displayList);
    if (!(reach >= 0)) return false;
    const CellPlacement& cell = placementOf(object.cell);
    const double scale = std::max({1.0, std::fabs(double(cell.scaleX)), std::fabs(double(cell.scaleY)),
                                   std::fabs(double(cell.scaleZ))});
    return ballOutsideOnePlane(view, placedX(cell, object.x), placedY(cell, object.y), placedZ(cell, object.z),
                               double(reach) * scale);
}

void drawQuad(const StencilPortal& entry) {
    const CellPlacement& p = placementOf(entry.cell);
    static const int order[6] = {0, 1, 2, 0, 2, 3};
    glBegin(GL_TRIANGLES);
    for (int v : order)
        glVertex3f(placedX(p, entry.cornerX[v]), placedY(p, entry.cornerY[v]),
                   placedZ(p, entry.cornerZ[v]));
    glEnd();
}

// Every polygon marked as seen through entry `i`, in array order, placed with the
// entry's neighbour.
void collectStencilWalls(TriangleBatch& batch, int32_t i) {
    clearBatch(batch);
    appendMarkedWalls(batch, 101 + i, &placementOf(stencilPortalList[i].neighbour));
}

// The matrices and viewport the stencil entries are drawn with; read once, since no entry
// changes them for good (objects push and pop their own).
struct ScreenTransform {
    GLfloat modelview[16] = {}, projection[16] = {};
    GLint viewport[4] = {};
};

ScreenTransform currentTransform() {
    ScreenTransform t;
    glGetFloatv(GL_MODELVIEW_MATRIX, t.modelview);
    glGetFloatv(GL_PROJECTION_MATRIX, t.projection);
    glGetIntegerv(GL_VIEWPORT, t.viewport);
    return t;
}

// The window rectangle of the entry's opening.
ScreenRect openingRect(const StencilPortal& entry, const ScreenTransform& t) {
    const CellPlacement& p = placementOf(entry.cell);
    float x[4], y[4], z[4];
    for (int v = 0; v < 4; ++v) {
        x[v] = placedX(p, entry.cornerX[v]);
        y[v] = placedY(p, entry.cornerY[v]);
        z[v] = placedZ(p, entry.cornerZ[v]);
    }
    return quadScreenRect(x, y, z, t.modelview, t.projection, t.viewport);
}

// Zeroes the stencil inside `rect` only.
void clearStencil(const ScreenRect& rect) {
    if (rect.width <= 0 || rect.height <= 0) return;
    glEnable(GL_SCISSOR_TEST);
    glScissor(rect.x, rect.y, rect.width, rect.height);
    glClear(GL_STENCIL_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
}

// The triangles of `all` that can cover a pixel of `volume`, in their order. Every run
// stays, emptied or not, so each texture is bound where it was and the one bound after
// the batch is the same; a triangle left out would have written no fragment.
void keepCovering(const TriangleBatch& all, const ViewVolume& volume, TriangleBatch& kept) {
    clearBatch(kept);
    for (const TriangleRun& run : all.runs) {
        TriangleRun out{run.textureIndex, int32_t(kept.polygon.size()), 0};
        for (int32_t i = run.first; i < run.first + run.count; ++i) {
            const float* vertices = &all.position[size_t(i) * 9];
            if (coversNoPixel(volume, vertices)) continue;
            kept.polygon.push_back(all.polygon[size_t(i)]);
            kept.position.insert(kept.position.end(), vertices, vertices + 9);
            ++out.count;
        }
        kept.runs.push_back(out);
    }
}

// What of the visible walls the render pass draws: those that can cover a pixel of the
// view it is about to look through (the list is compiled before its matrix is set, so the
// matrix is formed here as the look-at forms it), or all of them.
const TriangleBatch& renderedWalls() {
    if (!frameShortcuts.drawOnlyCovering) return visibleBatch;
    const CameraAim aim = cameraAim();
    GLfloat modelview[16], projection[16];
    if (!lookAtMatrix(aim.eye[0], aim.eye[1], aim.eye[2], aim.target[0], aim.target[1], aim.target[2], modelview))
        return visibleBatch;
    GLint viewport[4];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    const ScreenRect all{viewport[0], viewport[1], viewport[2], viewport[3]};
    keepCovering(visibleBatch, viewVolume(modelview, projection, viewport, all), coveringBatch);
    return coveringBatch;
}

// The walls seen through a stencil entry that can cover a pixel of its opening.
const TriangleBatch& stencilWallsDrawn(const ScreenTransform& transform, const ScreenRect& opening) {
    if (!frameShortcuts.drawOnlyCovering) return stencilBatch;
    keepCovering(stencilBatch, viewVolume(transform.modelview, transform.projection, transform.viewport, opening),
                 coveringBatch);
    return coveringBatch;
}

// One entry, confined to its own opening. The stencil is zero when the entry starts;
// its quad sets 1 only inside its own window rectangle, and the entry zeroes that
// rectangle again when it ends, so no opening ever lets another entry's cell through and
// no entry pays for clearing the whole buffer.
// The eye in front of a passage it walks through, so close that the near plane may cut
// the quad (the frustum's corners lie 1.18 near distances away): all it sees lies through
// the opening, since any wall around it that the view could meet would have stopped the eye
// farther off (the selection frustum is as wide as the view).
bool eyeInOpening(const StencilPortal& entry) {
    return entry.direct && entry.passage &&
           withinOpening(entry, camera.posX, camera.posY, camera.posZ, 1.2 * nearPlane, 0.0);
}

// Stencil 1 all over `rect`, as the quad would set it if nothing clipped it.
void fillStencil(const ScreenRect& rect) {
    glClearStencil(1);
    clearStencil(rect);
    glClearStencil(0);
}

void drawStencilEntry(int32_t i, const ScreenTransform& transform, const ClipPlanes& view) {
    const StencilPortal& entry = stencilPortalList[i];
    const bool inOpening = eyeInOpening(entry);
    const ScreenRect opening = inOpening ? ScreenRect{transform.viewport[0], transform.viewport[1],
                                                      transform.viewport[2], transform.viewport[3]}
                                         : openingRect(entry, transform);
    // Nothing of the entry lands outside its opening (the stencil is zero there), so the
    // rasteriser need not visit those pixels at all.
    if (frameShortcuts.scissorStencil) {
        glEnable(GL_SCISSOR_TEST);
        glScissor(opening.x, opening.y, opening.width, opening.height);
    }
    glEnable(GL_STENCIL_TEST);
    glDisable(GL_TEXTURE_2D);

    // Stencil 1 only where the opening is not hidden behind what is already drawn.
    if (inOpening) {
        fillStencil(opening);
    } else {
        glStencilFunc(GL_ALWAYS, 1, 1);
        glStencilOp(GL_KEEP, GL_KEEP, GL_REPLACE);
        drawQuad(entry);
    }

    // Inside the opening, forget the quad's depth: leave that of the last surface drawn.
    // Its colour never shows: the pass below draws that last surface again where it
    // passes the test (its depth is the one left), so every pixel written here is
    // written again, and the GL need not write colour at all.
    glDepthFunc(GL_ALWAYS);
    glStencilFunc(GL_EQUAL, 1, 1);
    glStencilOp(GL_DECR, GL_KEEP, GL_KEEP);
    if (frameShortcuts.depthOnlyFirstPass) glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    drawPortallessCells();
    collectStencilWalls(stencilBatch, i);
    const TriangleBatch& walls = stencilWallsDrawn(transform, opening);
    emitTriangleBatch(walls, false);
    if (frameShortcuts.depthOnlyFirstPass) glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);

    // Drawn again with the depth test, the nearest surface at each pixel stays.
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_TEXTURE_2D);
    drawPortallessCells();
    emitTriangleBatch(walls, true);
    frameCounts.wallsDrawn += int32_t(stencilBatch.polygon.size());

    for (int32_t o = 0; o < placedObjectCount; ++o) {
        if (placedObjects[o].visibleMark != 101 + i) continue;
        drawPlacedObject(placedObjects[o], &view);
        ++frameCounts.objectsDrawn;
    }

    glDisable(GL_STENCIL_TEST);
    glDisable(GL_SCISSOR_TEST);
    glDepthFunc(GL_LESS);
    clearStencil(opening);
    ++frameCounts.stencilPortals;
}

// The triangles of `all` that may reach the selection frustum (the matrices now set), in
// their order: a triangle wholly outside one plane of it gives no hit, and one named
// without a hit writes no record, so the hits and their order are those of `all`.
void keepHittable(const TriangleBatch& all, TriangleBatch& kept) {
    GLfloat modelview[16], projection[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    const ClipPlanes planes = clipPlanes(modelview, projection);
    kept.polygon.clear();
    kept.position.clear();
    kept.runs.clear();  // emitNamedTriangles sends triangle by triangle
    const size_t triangles = all.polygon.size();
    for (size_t i = 0; i < triangles; ++i) {
        const float* vertices = &all.position[i * 9];
        if (outsideOnePlane(planes, vertices)) continue;
        kept.polygon.push_back(all.polygon[i]);
        kept.position.insert(kept.position.end(), vertices, vertices + 9);
    }
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

namespace {

// Every triangle on its own glBegin, after glLoadName with its polygon index, each vertex
// as its texture coordinate and position: how the selection pass once sent them (see
// FrameShortcuts::nameFromArray).
void nameOneByOne(const TriangleBatch& batch) {
    for (size_t i = 0; i < batch.polygon.size(); ++i) {
        const WallPolygon& polygon = wallPolygons[size_t(batch.polygon[i])];
        const float* position = &batch.position[i * 9];
        glLoadName(GLuint(batch.polygon[i]));
        glBegin(GL_TRIANGLES);
        for (int k = 0; k < 3; ++k) {
            glTexCoord2d(polygon.s[k], polygon.t[k]);
            glVertex3f(position[k * 3], position[k * 3 + 1], position[k * 3 + 2]);
        }
        glEnd();
    }
}

void sendNamed(const TriangleBatch& batch) {
    if (frameShortcuts.nameFromArray) {
        emitNamedTriangles(batch);
    } else {
        nameOneByOne(batch);
    }
}

}  // namespace

// Selection mode records the triangles as they are sent: no list.
void nameTriangles(const TriangleBatch& batch) {
    if (frameShortcuts.nameOnlyHittable) {
        keepHittable(batch, hittableBatch);
        sendNamed(hittableBatch);
    } else {
        sendNamed(batch);
    }
}

void buildVisibleList() {
    collectVisibleWalls(visibleBatch);
    if (camera.selectPass == 1) {
        nameTriangles(visibleBatch);
        // The eye walks through a stencil passage, so what lies just beyond it stops the
        // eye as walls of its own room would (a window's far side never does).
        for (int32_t i = 0; portalCulling != 0 && i < stencilPortalCount && i < maxStencilPortals; ++i) {
            if (!stencilPortalList[i].direct || !stencilPortalList[i].passage) continue;
            collectStencilWalls(stencilBatch, i);
            nameTriangles(stencilBatch);
        }
        return;
    }
    compileVisibleList();
}

void compileVisibleList() {
    glDeleteLists(worldList, 1);
    const TriangleBatch& walls = renderedWalls();
    glNewList(worldList, GL_COMPILE);
    emitTriangleBatch(walls, true);
    glEndList();
}

void drawPortallessCells() { callPortallessList(); }

void drawPlacedObject(PlacedObject& object, const ClipPlanes* view) {
    // List 0 is what a model without drawable geometry gets: nothing to draw, so no GL
    // call at all (each costs the GL a state flush); only a spinning object turns on.
    if (object.displayList == 0) {
        if (object.spinning != 0) advanceSpin(object);
        return;
    }
    // Nor one out of view: each model drawn costs this GL a draw of its own, tens of
    // microseconds, whether or not it reaches a pixel.
    if (view && frameShortcuts.drawOnlyVisibleObjects && outsideView(object, *view)) {
        if (object.spinning != 0) advanceSpin(object);
        // What follows may draw with the texture left bound (an object without one of
        // its own): leave the one the model would have left.
        bindObjectTexture(object);
        return;
    }
    const CellPlacement& cell = placementOf(object.cell);
    glPushMatrix();
    // The position is a point of its cell, placed as the cell's wall corners are (scale,
    // then offset), so a model stays where it stands in a miniature of its room; the
    // scale then applies to the model as well.
    glTranslatef(placedX(cell, object.x), placedY(cell, object.y),
                 placedZ(cell, object.z));
    const float angleX = float(object.rotateX) + cell.rotateX;
    const float angleY = float(object.rotateY) + cell.rotateY;
    const float angleZ = float(object.rotateZ) + cell.rotateZ;
    if (angleX != 0) glRotatef(angleX, 1, 0, 0);
    if (angleY != 0) glRotatef(angleY, 0, 1, 0);
    if (angleZ != 0) glRotatef(angleZ, 0, 0, 1);
    if (object.spinning != 0) {
        advanceSpin(object);
        glRotatef(object.spinAngle, 0, 0, 1);
    }
    if (cell.scaleX != 1.0f) glScalef(cell.scaleX, 1, 1);
    if (cell.scaleY != 1.0f) glScalef(1, cell.scaleY, 1);
    if (cell.scaleZ != 1.0f) glScalef(1, 1, cell.scaleZ);
    bindObjectTexture(object);
    glCallList(GLuint(object.displayList));
    glPopMatrix();
}

void drawStencilPortals() {
    // No entry: no GL state is touched at all. The stencil buffer is zero here: the frame
    // clears it with the depth buffer, and every entry leaves it zero.
    if (stencilPortalCount < 1) return;
    const ScreenTransform transform = currentTransform();
    const ClipPlanes view = clipPlanes(transform.modelview, transform.projection);
    for (int32_t i = 0; i < stencilPortalCount && i < maxStencilPortals; ++i) drawStencilEntry(i, transform, view);
}
