// The database over a model file's chunk tree: name lists of objects, materials and
// keyframe nodes, and the mesh and material records handed to callers.
// Records handed out are owned by the caller and independent of the database: their
// arrays are taken over from a copy of the chunk subtree, never shared with the tree.
// Every operation reports failure on the toolkit's error list and returns at once.
// Required for: the chunk tree and its payload records (chunk3ds.h).
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "model3ds/chunk3ds.h"

#include <unordered_map>

struct ChunkNameList3ds;  // the name lists, below

// One model file in memory: the tree plus name lists over it (built on first use).
struct ChunkDatabase3ds {
    ChunkNode3ds* topchunk = nullptr;
    uint8_t objectListDirty = 1;
    uint8_t materialListDirty = 1;
    uint8_t nodeListDirty = 1;
    ChunkNameList3ds* objectList = nullptr;
    ChunkNameList3ds* materialList = nullptr;
    ChunkNameList3ds* nodeList = nullptr;
};

// Reads the file's chunk headers into db->topchunk (any earlier tree is freed first).
// A root other than a scene, project or material library stays a lone root without
// error. A failure leaves ERR_READING_DATABASE once per level it passed through and
// then ERR_CREATING_DATABASE; the chunks read so far stay in the tree.
void LoadDatabase3ds(file3ds* file, ChunkDatabase3ds* db);

// --- Name lists over the tree (owned by the database) ----------------------------------

struct ChunkListEntry3ds {
    std::string name;
    ChunkNode3ds* chunk = nullptr;  // the named chunk, owned by the tree
};

// Built lazily when its dirty flag is set; never outlives the tree it points into.
struct ChunkNameList3ds {
    std::vector<ChunkListEntry3ds> entries;  // in file order
    // Indexes over `entries`, made on first use so that fetching every mesh or material
    // of a file costs one pass, not one pass per fetch. Each remembers how many entries
    // it covers and is made again if the list has grown since.
    std::unordered_map<std::string, size_t> firstByName;  // name -> its first entry
    size_t namesIndexed = 0;
    std::vector<size_t> meshEntries;  // entries whose subtree holds a triangle mesh
    size_t meshesIndexed = 0;
    bool meshesListed = false;
};

// The first entry of `list` called `name`, or nullptr.
const ChunkListEntry3ds* FindListEntry3ds(ChunkNameList3ds& list, const std::string& name);
// The entries of an object list that hold a triangle mesh, in file order.
const std::vector<size_t>& MeshEntries3ds(ChunkNameList3ds& list);

// --- Records handed to callers -----------------------------------------------------------

// Mesh names for a caller. `names` has `capacity` slots; the first `count` hold names,
// the rest are empty.
struct NameArray3ds {
    uint32_t count = 0;
    uint32_t capacity = 0;  // count, or 5 for an empty list
    std::vector<std::string> names;
};

// The faces of a mesh drawn with one material.
struct MaterialGroup3ds {
    std::string name;                   // the material's name, at most 16 characters
    std::vector<uint16_t> faceIndices;  // indices into MeshRecord3ds::faces; faceCount is size()
};

// One triangle mesh. Counts are the sizes of the arrays; every array index in the file
// is kept as stored, so a reader must check face corners against `vertices` and group
// entries against `faces` before using them.
struct MeshRecord3ds {
    std::string name;  // the object's name, at most 10 characters
    // 1 when the object has the direct child chunk named in the comment.
    uint8_t hidden = 0;           // 0x4010
    uint8_t shownInLofter = 0;    // 0x4011
    uint8_t matte = 0;            // 0x4013
    uint8_t castsNoShadow = 0;    // 0x4012
    uint8_t fast = 0;             // 0x4014
    uint8_t receivesNoShadow = 0; // 0x4017
    uint8_t frozen = 0;           // 0x4016
    std::vector<Point3ds> vertices;          // 0x4110
    std::vector<int16_t> vertexFlags;        // 0x4111
    std::vector<TexVert3ds> textureVertices; // 0x4140; same index as vertices, may be fewer
    uint8_t useMapInfo = 0;                  // 1 when 0x4170 was there
    MapInfoData3ds mapInfo;                  // meaningful only with useMapInfo
    float localMatrix[12] = {};              // 0x4160; zeros when absent
    std::vector<Face3ds> faces;              // 0x4120
    std::vector<uint32_t> smoothingGroups;   // 0x4150 below the face list; empty when none
    uint8_t useBoxMap = 0;                   // 1 when 0x4190 was below the face list
    std::array<std::string, 6> boxMap;       // its six material names
    uint8_t meshColour = 0;                  // 0x4165
    std::vector<MaterialGroup3ds> materialGroups;  // 0x4130, in file order
    uint8_t procedural = 0;                  // 0x4015
    std::string procedureName;               // 0x4181, at most 12 characters
    std::vector<uint8_t> procedureData;      // 0x4182; its size is the data size
};

struct Colour3ds {
    float r = 0, g = 0, b = 0;  // 0..1
};

// One map slot of a material.
struct TextureMap3ds {
    std::string fileName;      // 0xA300; empty: the slot has no map
    float percent = 0;         // 0x0030 / 100 or 0x0031
    int32_t tilingMode = 1;    // from 0xA351: 1 no tiling bit, 2 decal, 3 tiled
    int32_t ignoreAlpha = 0;   // 0xA351 bit 0x100
    int32_t filter = 0;        // 0xA351 bit 0x20
    float blur = 0;            // 0xA353
    uint8_t mirror = 0;        // 0xA351 bit 0x02
    uint8_t negative = 0;      // 0xA351 bit 0x08
    float uScale = 1, vScale = 1;    // 0xA354, 0xA356
    float uOffset = 0, vOffset = 0;  // 0xA358, 0xA35A
    float rotation = 0;        // 0xA35C
    int32_t tintMode = 0;      // from 0xA351 bits 0x40, 0x80, 0x200
    Colour3ds tint1;                   // 0xA360
    Colour3ds tint2{1, 1, 1};          // 0xA362
    Colour3ds tintRed{1, 0, 0};        // 0xA364
    Colour3ds tintGreen{0, 1, 0};      // 0xA366
    Colour3ds tintBlue{0, 0, 1};       // 0xA368
    std::vector<uint8_t> data;         // the slot's raw data chunk; its size is the data size
};

// One material. Percentages are fractions (50 % is 0.5).
struct MaterialRecord3ds {
    std::string name;               // 0xA000, at most 16 characters
    Colour3ds ambient;              // 0xA010
    Colour3ds diffuse;              // 0xA020
    Colour3ds specular;             // 0xA030
    float shininess = 0;            // 0xA040
    float shininessStrength = 0;    // 0xA041
    float reflectionBlur = 0;       // 0xA053
    float transparency = 0;         // 0xA050; a later 0xA08A negates it
    float transparencyFalloff = 0;  // 0xA052
    float selfIllumination = 0;     // 0xA084
    float wireSize = 1;             // 0xA087
    int32_t shading = 3;            // 0xA100; 0xA085 sets 0
    // 1 when the material has the child chunk named in the comment.
    uint8_t useReflectionBlur = 0;  // 0xA250
    uint8_t useFalloff = 0;         // 0xA240
    uint8_t twoSided = 0;           // 0xA081
    uint8_t selfIlluminated = 0;    // 0xA080
    uint8_t decal = 0;              // 0xA083
    uint8_t unusedFlag = 0;         // no chunk sets it
    uint8_t wireAbsolute = 0;       // 0xA08E
    uint8_t faceMap = 0;            // 0xA088
    uint8_t soften = 0;             // 0xA08C
    TextureMap3ds textureMap;       // 0xA200: the texture the engine draws models with
    TextureMap3ds textureMask;      // 0xA33E
    TextureMap3ds texture2Map;      // 0xA33A
    TextureMap3ds texture2Mask;     // 0xA340
    TextureMap3ds opacityMap;       // 0xA210
    TextureMap3ds opacityMask;      // 0xA342
    TextureMap3ds bumpMap;          // 0xA230
    TextureMap3ds bumpMask;         // 0xA344
    TextureMap3ds specularMap;      // 0xA204
    TextureMap3ds specularMask;     // 0xA348
    TextureMap3ds shininessMap;     // 0xA33C
    TextureMap3ds shininessMask;    // 0xA346
    TextureMap3ds selfIllumMap;     // 0xA33D
    TextureMap3ds selfIllumMask;    // 0xA34A
    TextureMap3ds reflectionMap;    // 0xA220
    uint8_t useAutoReflection = 0;  // 1 when 0xA310 was there
    uint8_t autoReflectFirstFrame = 0;  // 0xA310 flags AND 0x09 = 0x09
    uint8_t autoReflectFlat = 0;        // 0xA310 flags AND 0x11 = 0x11
    int32_t autoReflectSize = 100;      // first number of 0xA310
    int32_t autoReflectFrameStep = 1;   // second number of 0xA310
    TextureMap3ds reflectionMask;   // 0xA34C
};

// --- The database ------------------------------------------------------------------------

// Creates the database record when *db is none; empties the tree pointer and the lists
// and marks all three lists dirty. ERR_NO_MEM when it cannot be allocated.
void ResetDatabase3ds(ChunkDatabase3ds** db);
// Frees the tree, the three lists and the record; *db becomes none. The file is not
// touched. Nothing happens when db or *db is none.
void FreeDatabase3ds(ChunkDatabase3ds** db);
// Frees the three lists and marks them dirty (the tree stays).
void ReleaseNameLists3ds(ChunkDatabase3ds* db);

// Rebuild the object (0x4000) and material (0xAFFF) lists when they are dirty.
// A material without a name chunk is left out of the list.
void UpdateObjectList3ds(ChunkDatabase3ds* db);
void UpdateMaterialList3ds(ChunkDatabase3ds* db);

// The names of every object with a triangle mesh, in file order, into *list (created
// when none, refilled otherwise).
void ListMeshNames3ds(ChunkDatabase3ds* db, NameArray3ds** list);
// Frees the list; *list becomes none.
void FreeNameList3ds(NameArray3ds** list);

// Fills *mesh (created when none) from the mesh object `name`. A name not in the file,
// or an object without a mesh, leaves *mesh as it was and raises nothing.
void FetchMesh3ds(ChunkDatabase3ds* db, const char* name, MeshRecord3ds** mesh);
// Fills *mesh from the mesh at `index` of the list ListMeshNames3ds gives. Names need
// not be unique (files cut them to 10 characters), so this is the way to reach every
// mesh of a file. An index past the list raises ERR_INVALID_ARG.
void FetchMeshByIndex3ds(ChunkDatabase3ds* db, uint32_t index, MeshRecord3ds** mesh);
void FreeMesh3ds(MeshRecord3ds** mesh);

// Fills *material (created when none) from the material `name`. A name not in the file
// leaves *material as it was and raises nothing.
void FetchMaterial3ds(ChunkDatabase3ds* db, const char* name, MaterialRecord3ds** material);
void FreeMaterial3ds(MaterialRecord3ds** material);

// --- Keyframe nodes ------------------------------------------------------------------------

// Rebuilds the node list when it is dirty: one entry per node chunk (0xB001..0xB007)
// of the keyframe section, named "name" or "name.instance". Asserts its arguments.
void UpdateNodeTagList3ds(ChunkDatabase3ds* db);
void MakeNodeTagListDirt3ds(ChunkDatabase3ds* db);
// The first node chunk of kind `id` named exactly `name`, or none.
ChunkNode3ds* FindNodeTagByNameAndType3ds(ChunkDatabase3ds* db, const char* name, uint32_t id);

// One keyframe node as the parent-name step sees it.
struct KeyframeNode3ds {
    int16_t nodeId = -1;      // 0xB030, or the node's place in the list when any node lacks one
    uint32_t chunkId = 0;     // 0xB002..0xB007
    std::string name;         // from the 0xB010 header
    int16_t parentId = -1;    // -1: no parent
    std::string instance;     // 0xB011, 0xB002 nodes only
};

// The node table the parent-name step works from: every node of the keyframe section
// that has a header, in file order.
std::vector<KeyframeNode3ds> KeyframeNodeTable3ds(ChunkDatabase3ds* db);
// One line per node: "ID:%d\tName:%s\tParent:%d" (name.instance when there is one).
void DumpKeyframeNodes3ds(FILE* out, const std::vector<KeyframeNode3ds>& table);
// The last step of LoadDatabase3ds: gives every node whose parent is known a
// memory-only 0x80F0 chunk naming that parent, unless the file already has one.
void NameKeyframeParents3ds(ChunkDatabase3ds* db);
