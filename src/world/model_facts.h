// What a model file holds, read whole through the model toolkit into plain records: its
// meshes (in file order, every one, twins of one name included), its materials with
// their texture maps, and its bounds. `portal-engine --model-info` prints it; the world
// builder reads the models it brings into a world this way.
// Required for: the toolkit's point, face and group records.
#pragma once

#include <string>
#include <vector>

#include "model3ds/dbase3ds.h"

struct ModelMeshFacts {
    std::string name;
    std::vector<Point3ds> vertices;
    std::vector<TexVert3ds> texCoords;  // as stored: may be fewer than the vertices, or none
    std::vector<Face3ds> faces;
    std::vector<MaterialGroup3ds> groups;
};

struct ModelMaterialFacts {
    std::string name;
    std::string textureMap;  // the 0xA200 slot's file name; empty when it has none
    Colour3ds diffuse;
};

struct ModelBounds {
    bool empty = true;  // no vertex at all
    float low[3] = {0, 0, 0};
    float high[3] = {0, 0, 0};
};

struct ModelFacts {
    std::vector<ModelMeshFacts> meshes;
    std::vector<ModelMaterialFacts> materials;  // in file order
};

// Reads `fileName` whole. false with `error` (the toolkit's first complaint and its
// place, or a face that names a vertex it does not have) when the file cannot be read;
// a file that does not start as a 3D Studio file is refused too, saying what it is when
// its first bytes tell (an OBJ, a glTF, ...). The toolkit's error list is left empty.
bool readModelFacts(const char* fileName, ModelFacts& facts, std::string& error);

// The smallest box holding every vertex of every mesh. Pure.
ModelBounds modelBounds(const ModelFacts& facts);

// The facts as lines of text: one per mesh (vertices, faces, texture coordinates, its
// groups and their materials), one per material (its texture map), the bounds.
std::string describeModel(const std::string& fileName, const ModelFacts& facts);
