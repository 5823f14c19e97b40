#include "world/init.h"

#include <GL/gl.h>   // Required for: textures, display lists, immediate mode
#include <GL/glu.h>  // Required for: gluBuild2DMipmaps

#include <cstdio>
#include <string>

#include "image/bitmap.h"        // Required for: loadBitmap, the texture resolver
#include "image/resample.h"      // Required for: power-of-two texture sides
#include "world/map.h"           // Required for: loadMap
#include "world/model.h"         // Required for: buildModel

namespace {

// Power-of-two sides nearest the image's, within what the driver takes. GLU would pick
// the same, but its own rescaling drops the top row when only the width changes, so
// images reach it at these sides already.
ImageRecord textureSized(const ImageRecord& image) {
    GLint largest = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
    int32_t width = nearestPowerOfTwo(image.width), height = nearestPowerOfTwo(image.height);
    while (largest > 0 && width > largest) width /= 2;
    while (largest > 0 && height > largest) height /= 2;
    return resampleImage(image, width, height);
}

void uploadImage(const ImageRecord& image) {
    const bool sized = image.width == nearestPowerOfTwo(image.width) &&
                       image.height == nearestPowerOfTwo(image.height);
    const ImageRecord resized = sized ? ImageRecord{} : textureSized(image);
    const ImageRecord& texture = sized ? image : resized;
    // Image rows are packed; GL would otherwise expect each row padded to 4 bytes.
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    gluBuild2DMipmaps(GL_TEXTURE_2D, 3, texture.width, texture.height, GL_RGB,
                      GL_UNSIGNED_BYTE, texture.pixels.data());
    glPopClientAttrib();
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    // Plain linear filtering: the mipmap levels are built but never sampled.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
}

bool usableImage(const ImageRecord* image) {
    return image && image->width > 0 && image->height > 0 &&
           image->pixels.size() >= size_t(image->width) * size_t(image->height) * 3;
}

}  // namespace

ImageRecord placeholderImage() {
    constexpr int side = 8;
    ImageRecord image;
    image.width = side;
    image.height = side;
    image.pixels.resize(side * side * 3);
    for (int row = 0; row < side; ++row) {
        for (int column = 0; column < side; ++column) {
            const bool magenta = ((row / 2) + (column / 2)) % 2 == 0;
            uint8_t* pixel = &image.pixels[(row * side + column) * 3];
            pixel[0] = magenta ? 255 : 96;
            pixel[1] = magenta ? 0 : 96;
            pixel[2] = magenta ? 255 : 96;
        }
    }
    return image;
}

void uploadTextures() {
    if (textureCount <= 0) return;
    glGenTextures(textureCount, textureNames);
    const ImageRecord placeholder = placeholderImage();
    for (int32_t i = 0; i < textureCount; ++i) {
        glBindTexture(GL_TEXTURE_2D, textureNames[i]);
        const ImageRecord* image = textures[i].image.get();
        uploadImage(usableImage(image) ? *image : placeholder);
    }
}

// --- Triangle batches ----------------------------------------------------------------------

void clearBatch(TriangleBatch& batch) {
    batch.polygon.clear();
    batch.position.clear();
    batch.runs.clear();
}

void appendTriangle(TriangleBatch& batch, int32_t index, const CellPlacement* placement) {
    const WallPolygon& polygon = wallPolygons[size_t(index)];
    const int32_t triangle = int32_t(batch.polygon.size());
    if (batch.runs.empty() || batch.runs.back().textureIndex != polygon.textureIndex)
        batch.runs.push_back(TriangleRun{polygon.textureIndex, triangle, 0});
    batch.runs.back().count += 1;
    batch.polygon.push_back(index);
    const size_t at = batch.position.size();
    batch.position.resize(at + 9);
    float* out = &batch.position[at];
    for (int k = 0; k < 3; ++k) {
        if (placement) {
            out[k * 3] = placedX(*placement, polygon.x[k]);
            out[k * 3 + 1] = placedY(*placement, polygon.y[k]);
            out[k * 3 + 2] = placedZ(*placement, polygon.z[k]);
        } else {
            out[k * 3] = polygon.x[k];
            out[k * 3 + 1] = polygon.y[k];
            out[k * 3 + 2] = polygon.z[k];
        }
    }
}

void appendAllPolygons(TriangleBatch& batch) {
    for (int32_t i = 0; i < polygonCount; ++i) appendTriangle(batch, i, nullptr);
}

namespace {

// GL's default texture for an index that names no entry.
GLuint textureName(int32_t index) {
    return index >= 0 && index < maxTextures ? textureNames[index] : 0;
}

void emitVertices(const TriangleBatch& batch, int32_t triangle) {
    const WallPolygon& polygon = wallPolygons[size_t(batch.polygon[size_t(triangle)])];
    const float* position = &batch.position[size_t(triangle) * 9];
    for (int k = 0; k < 3; ++k) {
        glTexCoord2d(polygon.s[k], polygon.t[k]);
        glVertex3f(position[k * 3], position[k * 3 + 1], position[k * 3 + 2]);
    }
}

}  // namespace

void emitTriangleBatch(const TriangleBatch& batch, bool bindTextures) {
    for (const TriangleRun& run : batch.runs) {
        if (bindTextures) glBindTexture(GL_TEXTURE_2D, textureName(run.textureIndex));
        if (run.count <= 0) continue;
        glBegin(GL_TRIANGLES);
        for (int32_t i = 0; i < run.count; ++i) emitVertices(batch, run.first + i);
        glEnd();
    }
}

void emitNamedTriangles(const TriangleBatch& batch) {
    // From a client-side array, not glBegin/glEnd: in selection mode this Mesa keeps a
    // reference to the buffer that immediate-mode vertices are gathered in, so every
    // buffer filled during a frame that has a selection pass stays allocated for the
    // rest of the run (about the size of the frame's immediate-mode vertices). Hits
    // depend on positions only, so they are the same either way.
    const int32_t triangles = int32_t(batch.polygon.size());
    if (triangles == 0) return;
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, batch.position.data());
    for (int32_t i = 0; i < triangles; ++i) {
        glLoadName(GLuint(batch.polygon[size_t(i)]));
        glDrawArrays(GL_TRIANGLES, i * 3, 3);
    }
    glPopClientAttrib();
}

void compileWorldList() {
    TriangleBatch batch;
    appendAllPolygons(batch);
    // An empty map compiles an empty list rather than a lone glEnd.
    glNewList(worldList, GL_COMPILE);
    emitTriangleBatch(batch, true);
    glEndList();
}

namespace {

// The list of the cells without portals and the tables it was compiled from.
struct PortallessList {
    GLuint name = 0;
    int32_t polygons = 0;
    uint32_t revision = 0;
    int32_t cells = -1, polygonTotal = -1, textureTotal = -1;
};
PortallessList portallessList;

bool portallessListIsCurrent() {
    const PortallessList& list = portallessList;
    return list.name != 0 && list.revision == worldRevision && list.cells == cellCount &&
           list.polygonTotal == polygonCount && list.textureTotal == textureCount;
}

}  // namespace

void compilePortallessList() {
    PortallessList& list = portallessList;
    TriangleBatch batch;
    for (int32_t c = 0; c < cellCount; ++c) {
        const Cell& cell = cells[c];
        if (cell.portalCount != 0) continue;
        const int32_t first = cell.firstPolygon < 0 ? 0 : cell.firstPolygon;
        const int32_t last = cell.lastPolygon >= polygonCount ? polygonCount - 1 : cell.lastPolygon;
        for (int32_t p = first; p <= last; ++p) appendTriangle(batch, p, nullptr);
    }
    if (list.name == 0) {
        list.name = glGenLists(1);
        // The world list's number is fixed and may still be free; never take it.
        if (list.name == worldList) list.name = glGenLists(1);
    }
    glNewList(list.name, GL_COMPILE);
    emitTriangleBatch(batch, true);
    glEndList();
    list.polygons = int32_t(batch.polygon.size());
    list.revision = worldRevision;
    list.cells = cellCount;
    list.polygonTotal = polygonCount;
    list.textureTotal = textureCount;
}

void callPortallessList() {
    if (!portallessListIsCurrent()) compilePortallessList();
    // Calling even an empty list costs the GL a state flush; most worlds have no cell
    // without portals.
    if (portallessList.polygons > 0) glCallList(portallessList.name);
}

int32_t portallessPolygonCount() {
    if (!portallessListIsCurrent()) return 0;
    return portallessList.polygons;
}

// --- Start-up and release -------------------------------------------------------------------

int initWorldFrom(const char* mapFile, std::string* message) {
    buildTrigTables();
    glSelectBuffer(selectBufferSize, selectBuffer);
    placedObjectCount = 0;
    modelCount = 0;

    MapResolvers resolvers;
    resolvers.loadTexture = [](const char* name) { return loadBitmap(name); };
    resolvers.buildModel = buildModel;
    std::string error;
    if (!loadMap(mapFile, resolvers, error)) {
        if (message) *message = error;
        return -1;
    }
    // Every cell starts where the map puts it: the eye may start in (or walk across box
    // edges into) a cell no traversal has placed yet, and a zero scale would collapse its
    // walls to a point, so nothing would be drawn or stop the eye. The traversal
    // overwrites placements as before.
    for (int32_t i = 0; i < cellCount; ++i) cells[i].placement = identityPlacement;
    uploadTextures();
    compileWorldList();
    compilePortallessList();
    buildObjectIndex();
    return 0;
}

int initWorld(std::string& message) { return initWorldFrom("map.m", &message); }

void releaseWorld() {
    if (textureCount > 0) glDeleteTextures(textureCount, textureNames);
    for (int32_t i = 0; i < textureCount; ++i) textureNames[i] = 0;
    glDeleteLists(worldList, 1);
    if (portallessList.name != 0) glDeleteLists(portallessList.name, 1);
    portallessList = PortallessList{};
    releaseModelLists();
    wallPolygons.clear();
    wallPolygons.shrink_to_fit();
    polygonCount = 0;
}
