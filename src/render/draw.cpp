// Drawing of the visible walls (the world display list, or named triangles for the
// selection pass), the cells without portals, placed objects and stencil portals.
#include "render/render.h"

#include <GL/gl.h>  // Required for: display lists, stencil, matrices

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

int32_t clampedLast(const Cell& cell) {
    return cell.lastPolygon >= polygonCount ? polygonCount - 1 : cell.lastPolygon;
}

int32_t clampedFirst(const Cell& cell) { return cell.firstPolygon < 0 ? 0 : cell.firstPolygon; }

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
    const int32_t mark = 101 + i;
    const CellPlacement& placement = placementOf(stencilPortalList[i].neighbour);
    for (int32_t p = 0; p < polygonCount; ++p)
        if (wallPolygons[size_t(p)].visibleMark == mark) appendTriangle(batch, p, &placement);
}

// One entry, confined to its own opening: the stencil is cleared and the test switched
// on for every entry, so an earlier opening's stencil never lets this one's cell through.
void drawStencilEntry(int32_t i) {
    const StencilPortal& entry = stencilPortalList[i];
    glClear(GL_STENCIL_BUFFER_BIT);
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

    for (int32_t o = 0; o < placedObjectCount; ++o)
        if (placedObjects[o].visibleMark == 101 + i) drawPlacedObject(placedObjects[o]);

    glDisable(GL_STENCIL_TEST);
    glDepthFunc(GL_LESS);
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
    for (int32_t c = 0; c < cellCount; ++c) {
        const Cell& cell = cells[c];
        const int32_t last = clampedLast(cell);
        for (int32_t p = clampedFirst(cell); p <= last; ++p)
            if (wallPolygons[size_t(p)].visibleMark == 1) appendTriangle(batch, p, &cell.placement);
    }
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

void drawPortallessCells() {
    clearBatch(scratchBatch);
    for (int32_t c = 0; c < cellCount; ++c) {
        const Cell& cell = cells[c];
        if (cell.portalCount != 0) continue;
        const int32_t last = clampedLast(cell);
        for (int32_t p = clampedFirst(cell); p <= last; ++p) appendTriangle(scratchBatch, p, nullptr);
    }
    emitTriangleBatch(scratchBatch, true);
}

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
    // No entry: no GL state is touched at all.
    for (int32_t i = 0; i < stencilPortalCount && i < maxStencilPortals; ++i) drawStencilEntry(i);
}
