// Mesh records: a named object's triangle mesh, its arrays taken out of a copy of the
// object's subtree so that the database keeps only chunk headers.
#include "model3ds/3dserr.h"
#include "model3ds/dbase3ds.h"
#include "model3ds/records3ds.h"

namespace {

constexpr uint32_t kVertexFlags = 0x4111;
constexpr uint32_t kLocalAxes = 0x4160;
constexpr uint32_t kMeshColour = 0x4165;
constexpr uint32_t kMapInfo = 0x4170;
constexpr uint32_t kProcedureName = 0x4181;
constexpr uint32_t kProcedureData = 0x4182;
constexpr uint32_t kBoxMap = 0x4190;

ChunkNode3ds* childOf(ChunkNode3ds* parent, uint32_t id) {
    ChunkNode3ds* found = nullptr;
    FindNextChunk3ds(parent->firstChild, id, &found);
    return found;
}

void takeMaterialGroups(ChunkNode3ds* faceList, MeshRecord3ds& mesh) {
    ChunkNode3ds* first = nullptr;
    FindChunkInTree3ds(faceList, kChunkFaceMaterial3ds, &first);
    size_t count = 0;
    for (ChunkNode3ds* group = first; group; FindNextChunk3ds(group->next, kChunkFaceMaterial3ds, &group))
        ++count;
    mesh.materialGroups.resize(count);
    size_t i = 0;
    for (ChunkNode3ds* group = first; group; FindNextChunk3ds(group->next, kChunkFaceMaterial3ds, &group), ++i) {
        FaceMaterialData3ds* record = recordOf<FaceMaterialData3ds>(group);
        if (ErrorStop3ds())
            return;
        if (record) {
            mesh.materialGroups[i].name = record->materialName;
            mesh.materialGroups[i].faceIndices = std::move(record->faceIndices);
        }
    }
}

// The faces, then what hangs below the face list: groups, smoothing, box map.
void takeFaces(ChunkNode3ds* faceList, MeshRecord3ds& mesh) {
    if (FaceData3ds* record = recordOf<FaceData3ds>(faceList))
        mesh.faces = std::move(record->faces);
    if (ErrorStop3ds() || !faceList->firstChild)
        return;
    takeMaterialGroups(faceList, mesh);
    if (ErrorStop3ds())
        return;
    if (ChunkNode3ds* smoothing = childOf(faceList, kChunkSmoothing3ds))
        if (SmoothingData3ds* record = recordOf<SmoothingData3ds>(smoothing))
            mesh.smoothingGroups = std::move(record->groups);
    if (ErrorStop3ds())
        return;
    if (ChunkNode3ds* boxMap = childOf(faceList, kBoxMap)) {
        if (BoxMapData3ds* record = recordOf<BoxMapData3ds>(boxMap)) {
            mesh.boxMap = record->materialNames;
            mesh.useBoxMap = 1;
        }
    }
}

// One direct child of the triangle mesh chunk; other ids are not part of the record.
void takePart(ChunkNode3ds* part, MeshRecord3ds& mesh) {
    switch (part->id) {
    case kChunkVertexList3ds:
        if (auto* record = recordOf<VertexData3ds>(part)) mesh.vertices = std::move(record->vertices);
        break;
    case kVertexFlags:
        if (auto* record = recordOf<VertexFlagData3ds>(part)) mesh.vertexFlags = std::move(record->flags);
        break;
    case kChunkTexVerts3ds:
        if (auto* record = recordOf<TexVertData3ds>(part)) mesh.textureVertices = std::move(record->texVerts);
        break;
    case kProcedureData:
        if (auto* record = recordOf<RawData3ds>(part)) mesh.procedureData = std::move(record->bytes);
        break;
    case kChunkFaceList3ds:
        takeFaces(part, mesh);
        break;
    case kLocalAxes:
        if (auto* record = recordOf<Values3ds<float, 12>>(part))
            for (size_t i = 0; i < 12; ++i) mesh.localMatrix[i] = record->v[i];
        break;
    case kMeshColour:
        if (auto* record = recordOf<Values3ds<uint8_t, 1>>(part)) mesh.meshColour = record->v[0];
        break;
    case kMapInfo:
        if (auto* record = recordOf<MapInfoData3ds>(part)) {
            mesh.mapInfo = *record;
            mesh.useMapInfo = 1;
        }
        break;
    case kProcedureName:
        if (auto* record = recordOf<StringData3ds>(part)) mesh.procedureName = record->text;
        break;
    default:
        break;
    }
}

void takeObjectFlags(ChunkNode3ds* object, MeshRecord3ds& mesh) {
    const auto has = [object](uint32_t id) { return uint8_t(childOf(object, id) ? 1 : 0); };
    mesh.hidden = has(0x4010);
    mesh.shownInLofter = has(0x4011);
    mesh.matte = has(0x4013);
    mesh.castsNoShadow = has(0x4012);
    mesh.fast = has(0x4014);
    mesh.receivesNoShadow = has(0x4017);
    mesh.frozen = has(0x4016);
    mesh.procedural = has(0x4015);
}

void fillMesh(ChunkNode3ds* object, const std::string& name, MeshRecord3ds** mesh) {
    if (!childOf(object, kChunkTriangleMesh3ds)) {
        RecordError3ds(ERR_WRONG_OBJECT, name + ": the object holds no triangle mesh of its own");
        return;
    }
    if (!*mesh)
        *mesh = new MeshRecord3ds;
    MeshRecord3ds& out = **mesh;
    out = MeshRecord3ds{};
    // The copy takes the decoded records over; what is read below is read into it and
    // leaves with it, so the database's tree keeps headers only.
    SubtreeCopy copy;
    DuplicateChunk3ds(object, &copy.root);
    if (ErrorStop3ds())
        return;
    out.name = name;
    for (ChunkNode3ds* part = childOf(copy.root, kChunkTriangleMesh3ds)->firstChild; part; part = part->next) {
        takePart(part, out);
        if (ErrorStop3ds())
            return;
    }
    takeObjectFlags(copy.root, out);
}

// The checks both fetches begin with; true when the object list is ready to search.
bool meshesReady(ChunkDatabase3ds* db, const std::string& what) {
    if (!db->topchunk) {
        RecordError3ds(ERR_INVALID_DATABASE, what + ": no file loaded");
        return false;
    }
    if (db->topchunk->id != kChunkScene3ds && db->topchunk->id != kChunkProject3ds) {
        RecordError3ds(ERR_WRONG_DATABASE, what + ": not a scene or project file");
        return false;
    }
    UpdateObjectList3ds(db);
    return !ErrorStop3ds() && db->objectList;
}

}  // namespace

void FetchMesh3ds(ChunkDatabase3ds* db, const char* name, MeshRecord3ds** mesh) {
    GuardMemory3ds([&] {
        if (!db || !name || !mesh) {
            RecordError3ds(ERR_INVALID_ARG, "FetchMesh3ds: missing database, name or mesh pointer");
            return;
        }
        if (!meshesReady(db, std::string("FetchMesh3ds, asking for ") + name))
            return;
        const ChunkListEntry3ds* entry = FindListEntry3ds(*db->objectList, name);
        if (!entry)
            return;
        ChunkNode3ds* triangles = nullptr;
        FindChunkInTree3ds(entry->chunk, kChunkTriangleMesh3ds, &triangles);
        if (triangles)
            fillMesh(entry->chunk, entry->name, mesh);
    });
}

void FetchMeshByIndex3ds(ChunkDatabase3ds* db, uint32_t index, MeshRecord3ds** mesh) {
    GuardMemory3ds([&] {
        if (!db || !mesh) {
            RecordError3ds(ERR_INVALID_ARG, "FetchMeshByIndex3ds: missing database or mesh pointer");
            return;
        }
        if (!meshesReady(db, "FetchMeshByIndex3ds"))
            return;
        const std::vector<size_t>& meshes = MeshEntries3ds(*db->objectList);
        if (index < meshes.size()) {
            const ChunkListEntry3ds& entry = db->objectList->entries[meshes[index]];
            fillMesh(entry.chunk, entry.name, mesh);
            return;
        }
        RecordError3ds(ERR_INVALID_ARG, "FetchMeshByIndex3ds: mesh " + std::to_string(index) + " of " +
                                            std::to_string(meshes.size()) + " asked for");
    });
}

void FreeMesh3ds(MeshRecord3ds** mesh) {
    if (!mesh)
        return;
    delete *mesh;
    *mesh = nullptr;
}
