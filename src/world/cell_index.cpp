// The placed objects grouped by the cell they stand in, built once the tables are filled.
#include <vector>

#include "world/world.h"

namespace {

// objects[start[c] .. start[c + 1]) are the objects of cell c, ascending.
struct ObjectIndex {
    std::vector<int32_t> start;
    std::vector<int32_t> objects;
    // The tables it was built from; a mismatch means it is stale.
    uint32_t revision = 0;
    int32_t cells = -1;
    int32_t placed = -1;
};

ObjectIndex objectIndex;

bool indexIsCurrent() {
    return objectIndex.revision == worldRevision && objectIndex.cells == cellCount &&
           objectIndex.placed == placedObjectCount;
}

}  // namespace

void buildObjectIndex() {
    ObjectIndex& index = objectIndex;
    const int32_t cellTotal = cellCount < 0 ? 0 : cellCount;
    const int32_t objectTotal = placedObjectCount < 0 ? 0 : placedObjectCount;
    // Counting sort by cell: stable, so each cell's objects stay in table order.
    index.start.assign(size_t(cellTotal) + 1, 0);
    for (int32_t i = 0; i < objectTotal; ++i) {
        const int32_t cell = placedObjects[i].cell;
        if (cell >= 0 && cell < cellTotal) ++index.start[size_t(cell) + 1];
    }
    for (int32_t c = 0; c < cellTotal; ++c) index.start[size_t(c) + 1] += index.start[size_t(c)];
    index.objects.assign(size_t(index.start[size_t(cellTotal)]), 0);
    std::vector<int32_t> next(index.start.begin(), index.start.end() - 1);
    for (int32_t i = 0; i < objectTotal; ++i) {
        const int32_t cell = placedObjects[i].cell;
        if (cell >= 0 && cell < cellTotal) index.objects[size_t(next[size_t(cell)]++)] = i;
    }
    index.revision = worldRevision;
    index.cells = cellCount;
    index.placed = placedObjectCount;
}

const int32_t* objectsInCell(int32_t cell, int32_t& count) {
    if (!indexIsCurrent()) buildObjectIndex();
    count = 0;
    if (cell < 0 || cell >= objectIndex.cells) return nullptr;
    const int32_t first = objectIndex.start[size_t(cell)];
    count = objectIndex.start[size_t(cell) + 1] - first;
    return objectIndex.objects.data() + first;
}
