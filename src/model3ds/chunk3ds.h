// The chunk tree of a model file and the decoded payloads of its chunks.
// LoadDatabase3ds reads only the headers into a tree; ReadChunkData3ds decodes one
// chunk's payload on demand into a typed record that the chunk then owns.
// Required for: file contexts (3dsfile.h), the error list (3dserr.h).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "model3ds/3dsfile.h"

// Chunk ids the rest of the engine names.
enum ChunkId3ds : uint32_t {
    kChunkScene3ds = 0x4D4D,          // root of a scene file
    kChunkProject3ds = 0xC23D,        // root of a project file
    kChunkMaterialLibrary3ds = 0x3DAA,
    kChunkMeshSection3ds = 0x3D3D,
    kChunkNamedObject3ds = 0x4000,
    kChunkTriangleMesh3ds = 0x4100,
    kChunkVertexList3ds = 0x4110,
    kChunkFaceList3ds = 0x4120,
    kChunkFaceMaterial3ds = 0x4130,
    kChunkTexVerts3ds = 0x4140,
    kChunkSmoothing3ds = 0x4150,
    kChunkExtendedData3ds = 0x8001,
    kChunkParentName3ds = 0x80F0,
    kChunkMaterialName3ds = 0xA000,
    kChunkMaterial3ds = 0xAFFF,
    kChunkKeyframes3ds = 0xB000,
};

// Deepest nesting the tree reader accepts. The deepest layout real files use is
// root > mesh section > named object > triangle mesh > face list > material group
// (six levels; material and keyframe subtrees are shallower). 32 leaves room for
// unknown extensions, keeps the recursion's stack small, and bounds the cost of
// decoding every payload: a chunk decoded as raw bytes may contain its children, so
// each byte of the file is decoded at most once per level.
constexpr int kMaxChunkDepth3ds = 32;
// Largest model file read: larger ones are refused before their tree is read.
constexpr uint64_t kMaxModelFileBytes3ds = uint64_t(256) << 20;  // 256 MiB
// What the chunk tree of a file may cost: 4 bytes for each byte of the file plus this
// allowance, counting each chunk at kChunkNodeCost3ds. A file of chunks so small that its
// tree would cost more (a chunk header alone is 6 bytes, its node ten times that) is
// refused with ERR_NO_MEM before its memory runs away.
constexpr uint64_t kChunkTreeAllowance3ds = uint64_t(16) << 20;  // 16 MiB
constexpr uint64_t kChunkTreeBytesPerFileByte3ds = 4;

// --- Payload records (one shape per chunk id; the id decides which) -----------------

// A fixed run of values, in the order the chunk's record lists them.
template <typename T, size_t N>
struct Values3ds {
    std::array<T, N> v{};
};

struct Point3ds { float x = 0, y = 0, z = 0; };
struct Face3ds { uint16_t a = 0, b = 0, c = 0, flags = 0; };  // a, b, c index the vertices
struct TexVert3ds { float u = 0, v = 0; };

struct StringData3ds { std::string text; };                      // names; 0x80F0 parent name
struct RawData3ds { std::vector<uint8_t> bytes; };               // byte count is bytes.size()
struct VertexData3ds { std::vector<Point3ds> vertices; };        // 0x4110
struct VertexFlagData3ds { std::vector<int16_t> flags; };        // 0x4111
struct FaceData3ds { std::vector<Face3ds> faces; };              // 0x4120
struct FaceMaterialData3ds {                                     // 0x4130
    std::string materialName;
    std::vector<uint16_t> faceIndices;  // empty when the group lists no faces
};
struct TexVertData3ds { std::vector<TexVert3ds> texVerts; };     // 0x4140
struct SmoothingData3ds { std::vector<uint32_t> groups; };       // 0x4150, one per face
struct MapInfoData3ds {                                          // 0x4170
    uint16_t mapType = 0;
    float tiling[2] = {};
    float position[3] = {};
    float scale = 0;
    float matrix[12] = {};
    float planarWidth = 0, planarHeight = 0, cylinderHeight = 0;
};
struct BoxMapData3ds { std::array<std::string, 6> materialNames; };  // 0x4190
struct FloatsUIntData3ds { float values[3] = {}; uint32_t number = 0; };  // 0x2302
struct FloatsInt16Data3ds { float values[2] = {}; int16_t number = 0; };  // 0x4641
struct ViewportData3ds {                                         // 0x7011, 0x7012
    int16_t layout[7] = {};
    float value1 = 0;
    float point[3] = {};
    float value2 = 0, value3 = 0;
    std::string name;  // from an 11-byte field
};
struct AutoReflectData3ds {                                      // 0xA310
    uint8_t byte1 = 0, byte2 = 0;
    int16_t flags = 0;
    uint32_t value1 = 0, value2 = 0;
};
struct KeyHeaderData3ds {                                        // 0xB00A
    int16_t revision = 0;
    std::string name;
    int32_t length = 0;
};
struct NodeHeaderData3ds {                                       // 0xB010
    std::string name;
    uint16_t flags1 = 0, flags2 = 0;
    int16_t parentId = -1;  // -1: no parent
};
struct TrackKey3ds {
    uint32_t frame = 0;
    uint16_t flags = 0;      // bits 0x01..0x10: which of `extra` were in the file
    float extra[5] = {};     // absent ones stay 0
};
struct TrackData3ds {                                            // 0xB020..0xB029
    uint16_t flags = 0;
    uint32_t value1 = 0, value2 = 0;
    std::vector<TrackKey3ds> keys;
    uint32_t valuesPerKey = 0;           // 3, 4, 1 or 0 floats
    std::vector<float> values;           // keys.size() x valuesPerKey
    std::vector<std::string> names;      // 0xB026 only: one name per key
};

using ChunkData3ds = std::variant<
    Values3ds<int32_t, 1>, Values3ds<int32_t, 2>, Values3ds<int16_t, 1>, Values3ds<int16_t, 7>,
    Values3ds<uint16_t, 1>, Values3ds<uint16_t, 4>, Values3ds<uint8_t, 1>, Values3ds<uint8_t, 3>,
    Values3ds<float, 1>, Values3ds<float, 2>, Values3ds<float, 3>, Values3ds<float, 4>, Values3ds<float, 5>,
    Values3ds<float, 6>, Values3ds<float, 7>, Values3ds<float, 8>, Values3ds<float, 12>, StringData3ds,
    RawData3ds, VertexData3ds, VertexFlagData3ds, FaceData3ds, FaceMaterialData3ds, TexVertData3ds,
    SmoothingData3ds, MapInfoData3ds, BoxMapData3ds, FloatsUIntData3ds, FloatsInt16Data3ds, ViewportData3ds,
    AutoReflectData3ds, KeyHeaderData3ds, NodeHeaderData3ds, TrackData3ds>;

// --- The tree ---------------------------------------------------------------------

// One chunk. Owns its record, its children and (through next) the rest of its sibling
// chain; FreeChunkTree3ds releases all of them.
struct ChunkNode3ds {
    uint32_t id = 0;                 // the 16-bit id from the header
    uint32_t length = 0;             // header included
    uint32_t position = 0;           // file offset of the header
    std::unique_ptr<ChunkData3ds> data;  // decoded payload, or none while not read
    ChunkNode3ds* next = nullptr;
    ChunkNode3ds* firstChild = nullptr;
    uint8_t readIndex = kNoContext3ds;   // slot of the file it came from; 255 = memory only
    uint8_t writeIndex = kNoContext3ds;  // slot it was last written to; 255 = none
};

// A node and the allocator's bookkeeping for it.
constexpr uint64_t kChunkNodeCost3ds = sizeof(ChunkNode3ds) + 16;
// The most chunks the tree of a file of fileSize bytes may hold.
constexpr uint64_t MaxChunkNodes3ds(uint64_t fileSize) {
    return (kChunkTreeBytesPerFileByte3ds * fileSize + kChunkTreeAllowance3ds) / kChunkNodeCost3ds;
}

// Reads the file's chunk headers into a new tree at *top, which must be empty, within
// the tree budget of the file's size. A root other than a scene, project or material
// library stays a lone root without error, and `model` is false. A failure leaves
// ERR_READING_DATABASE once per level it passed through (ERR_NO_MEM for a file over
// the size limit) and returns false; the chunks read so far stay in the tree.
bool ReadChunkTree3ds(file3ds* file, ChunkNode3ds** top, bool& model);

// The first chunk with `id` in the sibling chain starting at `first` itself.
void FindNextChunk3ds(ChunkNode3ds* first, uint32_t id, ChunkNode3ds** out);
// Depth-first pre-order search of the subtree of `chunk` (not its siblings).
void FindChunkInTree3ds(ChunkNode3ds* chunk, uint32_t id, ChunkNode3ds** out);
// Links `child` after the last child of `parent`.
void AddChildChunk3ds(ChunkNode3ds* parent, ChunkNode3ds* child);
// Links `child` before the first child whose order value is lower than its own.
void AddChildOrdered3ds(ChunkNode3ds* parent, ChunkNode3ds* child);
// Order value used by AddChildOrdered3ds: the parent-name chunk 0 (always last), any
// other chunk 1.
int ChunkOrder3ds(uint32_t id);
// Copies `source` and its subtree (not its siblings). A file-backed chunk hands its
// record over to the copy; a memory-only one has its record copied.
void DuplicateChunk3ds(ChunkNode3ds* source, ChunkNode3ds** out);
// Frees the chunk, its records, its subtree and the rest of its sibling chain, and
// clears the caller's pointer. Works without recursion, whatever the tree's shape.
void FreeChunkTree3ds(ChunkNode3ds** chunk);
// Reads every payload of the subtree and marks it memory-only, so it no longer needs
// its file. Asserts the argument.
void DisconnectChunk3ds(ChunkNode3ds* chunk);

// --- Payloads ---------------------------------------------------------------------

// The chunk's record, decoding it from the file on first use; nullptr for a container,
// for an unknown id with no payload, or on error (recorded).
ChunkData3ds* ReadChunkData3ds(ChunkNode3ds* chunk);
// Frees the chunk's record; returns the chunk.
ChunkNode3ds* FreeChunkData3ds(ChunkNode3ds* chunk);
// Frees the record only when it can be read again from an open file.
void FreeFileChunkData3ds(ChunkNode3ds* chunk);
// Gives a chunk the toolkit creates itself a blank record of its id's shape.
ChunkData3ds* InitChunkData3ds(ChunkNode3ds* chunk);

// The record as type T, or nullptr when it has another shape or none.
template <typename T>
T* ChunkRecord3ds(ChunkNode3ds* chunk) {
    return chunk && chunk->data ? std::get_if<T>(chunk->data.get()) : nullptr;
}
