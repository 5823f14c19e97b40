#include "world/model_reading.h"

#include <string>

std::string findCorruptFace(const MeshRecord3ds& mesh, const MaterialGroup3ds& group) {
    const size_t vertices = mesh.vertices.size();
    for (uint16_t index : group.faceIndices) {
        if (index >= mesh.faces.size())
            return "material group \"" + group.name + "\" names face " + std::to_string(index) + " of " +
                   std::to_string(mesh.faces.size());
        const Face3ds& face = mesh.faces[index];
        for (uint16_t corner : {face.a, face.b, face.c})
            if (corner >= vertices)
                return "face " + std::to_string(index) + " names vertex " + std::to_string(corner) + " of " +
                       std::to_string(vertices);
    }
    return std::string();
}

namespace {

// The groups of the fetched mesh; false when the walk stops.
bool walkMesh(ModelReading& reading, const ModelVisitor& visitor) {
    const MeshRecord3ds& mesh = *reading.mesh;
    for (const MaterialGroup3ds& group : mesh.materialGroups) {
        // A fresh record each time: a material the file does not define leaves none,
        // rather than the previous group's.
        FreeMaterial3ds(&reading.material);
        FetchMaterial3ds(reading.database, group.name.c_str(), &reading.material);
        if (!visitor.toolkitStep()) return false;
        if (!reading.material || reading.material->textureMap.fileName.empty()) continue;
        const std::string fault = findCorruptFace(mesh, group);
        if (!fault.empty()) {
            visitor.corrupt(mesh, fault);
            return false;
        }
        visitor.texturedGroup(mesh, group, *reading.material);
    }
    return true;
}

}  // namespace

void walkModel(const char* fileName, const ModelVisitor& visitor) {
    ModelReading reading;
    reading.file = OpenModelFile3ds(fileName, "rb");
    if (!visitor.toolkitStep()) return;
    ResetDatabase3ds(&reading.database);
    if (!visitor.toolkitStep()) return;
    LoadDatabase3ds(reading.file, reading.database);
    if (!visitor.toolkitStep()) return;
    ListMeshNames3ds(reading.database, &reading.meshNames);
    if (!visitor.toolkitStep() || !visitor.listed(reading.meshNames)) return;
    for (uint32_t i = 0; reading.meshNames && i < reading.meshNames->count; ++i) {
        FetchMeshByIndex3ds(reading.database, i, &reading.mesh);
        if (!visitor.toolkitStep()) return;
        if (reading.mesh && !walkMesh(reading, visitor)) return;
    }
    FreeNameList3ds(&reading.meshNames);
    if (!visitor.toolkitStep()) return;
    FreeDatabase3ds(&reading.database);
    if (!visitor.toolkitStep()) return;
    CloseModelFile3ds(reading.file);
    reading.file = nullptr;
    visitor.toolkitStep();
}
