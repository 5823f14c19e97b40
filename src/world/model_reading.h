// What one read of a model file holds of the toolkit, released however the read ends,
// and the one walk through a model file that the model builder and the world checker
// both take, so that the checker sees a file exactly as the engine will read it.
#pragma once

#include <functional>
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

// What the walk asks of its caller.
struct ModelVisitor {
    // After every toolkit operation: false stops the walk (the toolkit's error list holds why).
    std::function<bool()> toolkitStep;
    // Once the meshes are listed; the list may be missing when the toolkit was told to go
    // on after an error. false stops the walk.
    std::function<bool(const NameArray3ds* names)> listed;
    // A group whose material names a texture map, with a face past the mesh's faces or a
    // corner past its vertices: `fault` says which (findCorruptFace). The walk stops.
    std::function<void(const MeshRecord3ds& mesh, const std::string& fault)> corrupt;
    // Each sound group whose material names a texture map, in file order.
    std::function<void(const MeshRecord3ds& mesh, const MaterialGroup3ds& group, const MaterialRecord3ds& material)>
        texturedGroup;
};

// Opens `fileName`, loads a fresh database, lists the meshes and fetches each by its
// place in the list (names are cut to 10 characters in the file, and two meshes of one
// name are still two meshes), then the material of each of its groups. The toolkit's
// records are freed however the walk ends; when it runs to the end they are freed (and
// the file closed) through toolkitStep as well.
void walkModel(const char* fileName, const ModelVisitor& visitor);
