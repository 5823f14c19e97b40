// A model file read whole into plain records, for --model-info and the world builder.
#include "world/model_facts.h"

#include <algorithm>
#include <cstdio>

#include "model3ds/model3ds.h"     // Required for: the toolkit's files, database and error list
#include "files/regular_file.h" // Required for: openRegularStream, never waiting on a FIFO
#include "world/foreign_model.h"   // Required for: naming an OBJ or glTF file given as a model
#include "world/model.h"           // Required for: findCorruptFace
#include "world/model_reading.h"   // Required for: ModelReading

namespace {

// The first error recorded is the cause; the rest are the levels it passed up through.
std::string firstToolkitError() {
    const ErrorEntry3ds& first = ErrorList3ds()[0];
    std::string text = first.message ? first.message : ErrorMessage3ds(first.code);
    if (!first.where.empty()) text += " (" + first.where + ")";
    return text;
}


bool readMaterials(ModelReading& reading, ModelFacts& facts) {
    UpdateMaterialList3ds(reading.database);
    if (errorPending3ds || !reading.database->materialList) return !errorPending3ds;
    for (const ChunkListEntry3ds& entry : reading.database->materialList->entries) {
        FreeMaterial3ds(&reading.material);
        FetchMaterial3ds(reading.database, entry.name.c_str(), &reading.material);
        if (errorPending3ds) return false;
        if (!reading.material) continue;
        facts.materials.push_back({reading.material->name, reading.material->textureMap.fileName,
                                   reading.material->diffuse});
    }
    return true;
}

bool readMeshes(ModelReading& reading, ModelFacts& facts, std::string& error) {
    ListMeshNames3ds(reading.database, &reading.meshNames);
    if (errorPending3ds) return false;
    for (uint32_t i = 0; reading.meshNames && i < reading.meshNames->count; ++i) {
        FetchMeshByIndex3ds(reading.database, i, &reading.mesh);
        if (errorPending3ds) return false;
        if (!reading.mesh) continue;
        MeshRecord3ds& mesh = *reading.mesh;
        // Every face, grouped or not, must name vertices the mesh has (a face list
        // holds at most 65535 faces, so a group of them all fits its index type).
        MaterialGroup3ds all{"", {}};
        for (size_t f = 0; f < mesh.faces.size(); ++f) all.faceIndices.push_back(uint16_t(f));
        std::vector<const MaterialGroup3ds*> groups{&all};
        for (const MaterialGroup3ds& group : mesh.materialGroups) groups.push_back(&group);
        for (const MaterialGroup3ds* group : groups)
            if (const std::string fault = findCorruptFace(mesh, *group); !fault.empty()) {
                error = "corrupt mesh \"" + mesh.name + "\": " + fault;
                return false;
            }
        facts.meshes.push_back({mesh.name, std::move(mesh.vertices), std::move(mesh.textureVertices),
                                std::move(mesh.faces), std::move(mesh.materialGroups)});
    }
    return true;
}

bool readAll(const char* fileName, ModelFacts& facts, std::string& error) {
    if (const ForeignModel foreign = recogniseForeignModelFile(fileName); foreign.format) {
        error = foreignModelMessage(fileName, foreign);
        return false;
    }
    if (!startsAs3dsFile(fileName)) {
        error = std::string(fileName) + " is no 3D Studio file (it does not start with a scene chunk)";
        return false;
    }
    ModelReading reading;
    reading.file = OpenModelFile3ds(fileName, "rb");
    if (errorPending3ds) return false;
    ResetDatabase3ds(&reading.database);
    if (errorPending3ds) return false;
    LoadDatabase3ds(reading.file, reading.database);
    if (errorPending3ds) return false;
    return readMaterials(reading, facts) && readMeshes(reading, facts, error);
}

std::string number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", v);
    return std::string(text) == "-0" ? "0" : text;
}

std::string count(size_t n, const char* one, const char* many) { return std::to_string(n) + " " + (n == 1 ? one : many); }

}  // namespace

bool readModelFacts(const char* fileName, ModelFacts& facts, std::string& error) {
    facts = ModelFacts{};
    error.clear();
    ResetErrors3ds();
    const bool read = readAll(fileName, facts, error);
    if (errorPending3ds && error.empty()) error = firstToolkitError();
    ResetErrors3ds();
    if (read && error.empty()) return true;
    if (error.empty()) error = "the model toolkit reported an error";
    facts = ModelFacts{};
    return false;
}

ModelBounds modelBounds(const ModelFacts& facts) {
    ModelBounds bounds;
    for (const ModelMeshFacts& mesh : facts.meshes) {
        for (const Point3ds& p : mesh.vertices) {
            const float v[3] = {p.x, p.y, p.z};
            for (int k = 0; k < 3; ++k) {
                bounds.low[k] = bounds.empty ? v[k] : std::min(bounds.low[k], v[k]);
                bounds.high[k] = bounds.empty ? v[k] : std::max(bounds.high[k], v[k]);
            }
            bounds.empty = false;
        }
    }
    return bounds;
}

std::string describeModel(const std::string& fileName, const ModelFacts& facts) {
    size_t faces = 0;
    for (const ModelMeshFacts& mesh : facts.meshes) faces += mesh.faces.size();
    std::string text = fileName + ": " + count(facts.meshes.size(), "mesh", "meshes") + ", " +
                       count(faces, "face", "faces") + ", " + count(facts.materials.size(), "material", "materials") + "\n";
    for (const ModelMeshFacts& mesh : facts.meshes) {
        text += "mesh \"" + mesh.name + "\": " + count(mesh.vertices.size(), "vertex", "vertices") + ", " +
                count(mesh.faces.size(), "face", "faces") + ", " +
                count(mesh.texCoords.size(), "texture coordinate", "texture coordinates");
        for (const MaterialGroup3ds& group : mesh.groups)
            text += "; material \"" + group.name + "\" on " + count(group.faceIndices.size(), "face", "faces");
        text += "\n";
    }
    for (const ModelMaterialFacts& material : facts.materials)
        text += "material \"" + material.name + "\": texture map " +
                (material.textureMap.empty() ? std::string("none") : material.textureMap) + "\n";
    const ModelBounds b = modelBounds(facts);
    if (b.empty) return text + "bounds: none (no vertex)\n";
    text += "bounds: x " + number(b.low[0]) + " to " + number(b.high[0]) + ", y " + number(b.low[1]) + " to " +
            number(b.high[1]) + ", z " + number(b.low[2]) + " to " + number(b.high[2]) + "; size " +
            number(double(b.high[0]) - b.low[0]) + " x " + number(double(b.high[1]) - b.low[1]) + " x " +
            number(double(b.high[2]) - b.low[2]) + "\n";
    return text;
}
