// Model display lists: the model toolkit's meshes and materials into GL lists.
#include "world/model.h"

#include <GL/gl.h>  // Required for: display lists, immediate mode

#include <cmath>    // Required for: std::sqrt
#include <cstdio>
#include <cstdlib>  // Required for: exit
#include <unordered_map>
#include <vector>

#include "image/bitmap.h"         // Required for: loadBitmap, the model's texture maps
#include "model3ds/model3ds.h"    // Required for: the toolkit's operations and error list
#include "world/foreign_model.h"   // Required for: naming an OBJ or glTF file given as a model
#include "world/model_reading.h"   // Required for: walkModel
#include "world/world.h"          // Required for: the texture table, lastModelTexture

namespace {

// Every list the builder has made, as glGenLists handed it out: a model's list sits
// modelListOffset above it, and both ids are taken until released.
std::vector<GLuint> generatedLists;
// Every model list's reach (listReach), by list id; wiped with the lists.
std::unordered_map<int32_t, float> listReaches;

// The oldest recorded error's place: the root cause of what the list shows.
std::string rootCause() {
    const ErrorEntry3ds& first = ErrorList3ds()[0];
    if (!first.where.empty()) return first.where;
    return first.message ? first.message : "unknown error";
}

[[noreturn]] void endRun(const char* fileName, const std::string& why) {
    std::fprintf(stderr, "Cannot build the model %s: %s\n", fileName, why.c_str());
    std::exit(-1);
}

// Called after each toolkit operation: a pending error is printed, and ends the run
// unless the toolkit was told to go on.
void checkToolkit(const char* fileName) {
    if (!errorPending3ds) return;
    PrintErrors3ds(stderr);
    if (!continueOnError3ds) endRun(fileName, rootCause());
}

// The group's texture, registered in the shared table on first use.
int32_t groupTexture(const char* fileName, const std::string& mapName) {
    const int32_t index = findOrAddTexture(mapName.c_str(), [](const char* name) { return loadBitmap(name); });
    if (index < 0)
        endRun(fileName, "its texture " + mapName + " does not fit: more than " + std::to_string(maxTextures) +
                             " textures");
    return index;
}

// A corner without texture coordinates of its own (the mesh has fewer, or none) is
// drawn with (0, 0).
void emitCorner(const MeshRecord3ds& mesh, uint16_t vertex) {
    const TexVert3ds uv = vertex < mesh.textureVertices.size() ? mesh.textureVertices[vertex] : TexVert3ds{};
    const Point3ds& p = mesh.vertices[vertex];
    glTexCoord2f(uv.u, uv.v);
    glVertex3f(p.x, p.y, p.z);
}

// The farthest corner of the group's faces from the mesh's origin, as the GL receives it
// (single precision). A corner that is not a number gives a reach that is not one either,
// and such a list is never left out.
float groupReach(const MeshRecord3ds& mesh, const MaterialGroup3ds& group) {
    double farthest = 0;
    for (uint16_t index : group.faceIndices) {
        const Face3ds& face = mesh.faces[index];
        for (const uint16_t vertex : {face.a, face.b, face.c}) {
            const Point3ds& p = mesh.vertices[vertex];
            const double x = p.x, y = p.y, z = p.z;
            const double d = std::sqrt(x * x + y * y + z * z);
            if (!(d <= farthest)) farthest = d;
            if (d != d) return NAN;
        }
    }
    return float(farthest);
}

// One list of the group's faces, corners in order; the group is known to be sound.
int32_t compileGroup(const MeshRecord3ds& mesh, const MaterialGroup3ds& group) {
    const GLuint generated = glGenLists(1);
    generatedLists.push_back(generated);
    const int32_t id = int32_t(generated) + modelListOffset;
    glNewList(GLuint(id), GL_COMPILE);
    glBegin(GL_TRIANGLES);
    for (uint16_t index : group.faceIndices) {
        const Face3ds& face = mesh.faces[index];
        emitCorner(mesh, face.a);
        emitCorner(mesh, face.b);
        emitCorner(mesh, face.c);
    }
    glEnd();
    glEndList();
    recordListReach(id, groupReach(mesh, group));
    return id;
}

}  // namespace

int32_t buildModel(const char* fileName) {
    // Read as a 3D Studio file, another format gives an empty model or a chunk error
    // that says nothing of the cause: say first what the file is.
    const ForeignModel foreign = recogniseForeignModelFile(fileName);
    if (foreign.format) std::fprintf(stderr, "%s\n", foreignModelMessage(fileName, foreign).c_str());
    // Each textured group is compiled; the result and lastModelTexture follow the last.
    int32_t result = 0;
    ModelVisitor visitor;
    visitor.toolkitStep = [fileName] {
        checkToolkit(fileName);  // ends the run unless the toolkit was told to go on
        return true;
    };
    visitor.listed = [](const NameArray3ds*) { return true; };
    visitor.corrupt = [fileName](const MeshRecord3ds& mesh, const std::string& fault) {
        endRun(fileName, "corrupt mesh \"" + mesh.name + "\": " + fault);
    };
    visitor.texturedGroup = [fileName, &result](const MeshRecord3ds& mesh, const MaterialGroup3ds& group,
                                                const MaterialRecord3ds& material) {
        lastModelTexture = groupTexture(fileName, material.textureMap.fileName);
        result = compileGroup(mesh, group);
    };
    walkModel(fileName, visitor);
    return result;
}

void releaseModelLists() {
    for (GLuint generated : generatedLists) {
        glDeleteLists(generated, 1);
        glDeleteLists(generated + GLuint(modelListOffset), 1);
    }
    generatedLists.clear();
    generatedLists.shrink_to_fit();
    listReaches.clear();
}

float listReach(int32_t list) {
    const auto found = listReaches.find(list);
    return found == listReaches.end() ? -1.0f : found->second;
}

void recordListReach(int32_t list, float reach) {
    // Never less than the reach rounded to single precision.
    listReaches[list] = std::nextafter(reach, INFINITY);
}

void forgetListReach(int32_t list) { listReaches.erase(list); }
