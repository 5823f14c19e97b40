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
