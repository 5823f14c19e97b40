#include "world/world.h"

#include <cmath>
#include <cstdio>
#include <cstring>

// Written by loadMap and the model builder at start-up; placements, marks and spin
// angles change every frame; resetWorld() puts everything back to program start.
Cell cells[maxCells];
int32_t cellCount = 0;
std::vector<WallPolygon> wallPolygons;
int32_t polygonCount = 0;
PlacedObject placedObjects[maxPlacedObjects];
int32_t placedObjectCount = 0;
ModelEntry models[maxModels];
int32_t modelCount = 0;
TextureEntry textures[maxTextures];
uint32_t textureNames[maxTextures];
int32_t textureCount = 0;
int32_t lastModelTexture = 0;
uint32_t selectBuffer[selectBufferSize];
uint32_t worldRevision = 0;

void resetWorld() {
    for (Cell& cell : cells) cell = Cell{};
    cellCount = 0;
    wallPolygons.clear();
    wallPolygons.shrink_to_fit();
    polygonCount = 0;
    for (PlacedObject& object : placedObjects) object = PlacedObject{};
    placedObjectCount = 0;
    for (ModelEntry& model : models) model = ModelEntry{};
    modelCount = 0;
    for (TextureEntry& texture : textures) texture = TextureEntry{};
    for (uint32_t& name : textureNames) name = 0;
    textureCount = 0;
    resetBitmapWorldPixels();  // the images of the textures just dropped
    lastModelTexture = 0;
    for (uint32_t& value : selectBuffer) value = 0;
    ++worldRevision;
}

int32_t findOrAddTexture(const char* fileName, const TextureImageLoader& load) {
    for (int32_t i = 0; i < textureCount; ++i)
        if (std::strcmp(textures[i].fileName, fileName) == 0) return i;
    if (textureCount >= maxTextures) return -1;
    TextureEntry& entry = textures[textureCount];
    std::snprintf(entry.fileName, sizeof entry.fileName, "%s", fileName);
    entry.image = load ? load(fileName) : nullptr;
    return textureCount++;
}

bool isPassage(const Cell& cell, int32_t k) {
    if (k < 0 || k >= maxPortalsPerCell) return false;
    bool shifted = false;
    for (int axis = 0; axis < 3; ++axis) {
        if (cell.portalPlacement[axis][placementScale][k] != 1.0f) return false;
        if (cell.portalPlacement[axis][placementRotate][k] != 0.0f) return false;
        if (cell.portalPlacement[axis][placementOffset][k] != 0.0f) shifted = true;
    }
    return shifted;
}

bool cellBoxHolds(const Cell& cell, float x, float z) {
    return std::fabs(cell.boxX1 - cell.boxX2) >= std::fabs(cell.boxX1 - x) + std::fabs(cell.boxX2 - x) &&
           std::fabs(cell.boxZ1 - cell.boxZ2) >= std::fabs(cell.boxZ1 - z) + std::fabs(cell.boxZ2 - z);
}

int32_t findCurrentCell(float x, float z) {
    int32_t found = -1;
    for (int32_t c = 0; c < cellCount; ++c)
        if (cellBoxHolds(cells[c], x, z)) found = c;
    return found;
}
