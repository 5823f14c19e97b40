// What one read of a model file holds of the toolkit, released however the read ends:
// the model builder and the world checker both walk a file this way.
#pragma once

#include <string>

#include "model3ds/model3ds.h"

// Empty when every face the group names exists and every corner of it names a vertex
// of the mesh; otherwise what the first fault is. Pure: the model builder and the
// checker refuse a model by it alike.
std::string findCorruptFace(const MeshRecord3ds& mesh, const MaterialGroup3ds& group);

struct ModelReading {
    file3ds* file = nullptr;
    ChunkDatabase3ds* database = nullptr;
    NameArray3ds* meshNames = nullptr;
    MeshRecord3ds* mesh = nullptr;
    MaterialRecord3ds* material = nullptr;
    ModelReading() = default;
    ModelReading(const ModelReading&) = delete;
    ModelReading& operator=(const ModelReading&) = delete;
    ~ModelReading() {
        FreeMesh3ds(&mesh);
        FreeMaterial3ds(&material);
        FreeNameList3ds(&meshNames);
        FreeDatabase3ds(&database);
        CloseModelFile3ds(file);
    }
};
