// Model display lists: the model toolkit's meshes and materials into GL lists.
#include "world/model.h"

#include <GL/gl.h>  // Required for: display lists, immediate mode

#include <cstdio>
#include <cstdlib>  // Required for: exit
#include <vector>

#include "image/bitmap.h"         // Required for: loadBitmap, the model's texture maps
#include "model3ds/model3ds.h"    // Required for: the toolkit's operations and error list
#include "world/model_reading.h"   // Required for: ModelReading
#include "world/world.h"          // Required for: the texture table, lastModelTexture

namespace {

// Every list the builder has made, as glGenLists handed it out: a model's list sits
// modelListOffset above it, and both ids are taken until released.
std::vector<GLuint> generatedLists;

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
    return id;
}

// The groups of the mesh in `reading`, each compiled when its material has a texture
// map. `result` and lastModelTexture follow the last list compiled.
void compileMesh(const char* fileName, ModelReading& reading, int32_t& result) {
    const MeshRecord3ds& mesh = *reading.mesh;
    for (uint16_t j = 0; j < uint16_t(mesh.materialGroups.size()); ++j) {
        const MaterialGroup3ds& group = mesh.materialGroups[j];
        // A fresh record each time: a material the file does not define leaves none,
        // rather than the previous group's.
        FreeMaterial3ds(&reading.material);
        FetchMaterial3ds(reading.database, group.name.c_str(), &reading.material);
        checkToolkit(fileName);
        if (!reading.material || reading.material->textureMap.fileName.empty()) continue;
        const std::string fault = findCorruptFace(mesh, group);
        if (!fault.empty()) endRun(fileName, "corrupt mesh \"" + mesh.name + "\": " + fault);
        lastModelTexture = groupTexture(fileName, reading.material->textureMap.fileName);
        result = compileGroup(mesh, group);
    }
}

}  // namespace

int32_t buildModel(const char* fileName) {
    ModelReading reading;
    reading.file = OpenModelFile3ds(fileName, "rb");
    checkToolkit(fileName);
    ResetDatabase3ds(&reading.database);
    checkToolkit(fileName);
    LoadDatabase3ds(reading.file, reading.database);
    checkToolkit(fileName);
    ListMeshNames3ds(reading.database, &reading.meshNames);
    checkToolkit(fileName);

    int32_t result = 0;
    // By place in the list, not by name: names are cut to 10 characters in the file, and
    // two meshes of one name are still two meshes.
    // (Nothing may be there when the toolkit was told to go on after an error.)
    for (uint32_t i = 0; reading.meshNames && i < reading.meshNames->count; ++i) {
        FetchMeshByIndex3ds(reading.database, i, &reading.mesh);
        checkToolkit(fileName);
        if (reading.mesh) compileMesh(fileName, reading, result);
    }

    FreeNameList3ds(&reading.meshNames);
    checkToolkit(fileName);
    FreeDatabase3ds(&reading.database);
    checkToolkit(fileName);
    CloseModelFile3ds(reading.file);
    reading.file = nullptr;
    checkToolkit(fileName);
    return result;
}

void releaseModelLists() {
    for (GLuint generated : generatedLists) {
        glDeleteLists(generated, 1);
        glDeleteLists(generated + GLuint(modelListOffset), 1);
    }
    generatedLists.clear();
    generatedLists.shrink_to_fit();
}
