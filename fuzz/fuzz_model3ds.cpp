// libFuzzer target for the model road as the model builder walks it: open the file, load
// the database, list the mesh names, fetch every mesh (by place and by name) and every
// material (each one the file defines and each one a material group names), then free
// it all. The records handed out must keep the limits their readers rely on.
//
// Built by `make fuzz` (CMake option FUZZ, clang) and run there on the test data with
// its dictionary; see scripts/fuzz.sh. Each input is written to a scratch file first, as
// the toolkit reads through file streams. A failed step is recorded on the error list,
// which is emptied before the next step, so one bad record does not hide the rest.
#include <unistd.h>  // Required for: getpid

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "model3ds/model3ds.h"

namespace {

std::string scratchName() {
    const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return std::string(dir) + "/fuzz_model3ds_" + std::to_string(getpid()) + ".3ds";
}

bool writeInput(const std::string& name, const uint8_t* data, size_t size) {
    FILE* file = std::fopen(name.c_str(), "wb");
    if (!file) return false;
    const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

void require(bool holds) {
    if (!holds) std::abort();
}

void checkNames(const NameArray3ds& names) {
    require(names.count <= names.capacity && names.names.size() == names.capacity);
    for (uint32_t i = names.count; i < names.capacity; ++i) require(names.names[i].empty());
}

void checkMesh(const MeshRecord3ds& mesh) {
    require(mesh.name.size() <= 10);
    for (const MaterialGroup3ds& group : mesh.materialGroups) require(group.name.size() <= 16);
}

void checkMaterial(const MaterialRecord3ds& material) { require(material.name.size() <= 16); }

void fetchMaterial(ChunkDatabase3ds* db, const std::string& name, MaterialRecord3ds** material) {
    ResetErrors3ds();
    FreeMaterial3ds(material);
    FetchMaterial3ds(db, name.c_str(), material);
    if (*material) checkMaterial(**material);
}

void walkModelRoad(ChunkDatabase3ds* db) {
    NameArray3ds* names = nullptr;
    MeshRecord3ds* mesh = nullptr;
    MaterialRecord3ds* material = nullptr;
    ResetErrors3ds();
    ListMeshNames3ds(db, &names);
    if (names) checkNames(*names);
    for (uint32_t i = 0; names && i < names->count; ++i) {
        ResetErrors3ds();
        FetchMeshByIndex3ds(db, i, &mesh);
        if (!mesh) continue;
        checkMesh(*mesh);
        for (const MaterialGroup3ds& group : mesh->materialGroups) fetchMaterial(db, group.name, &material);
        ResetErrors3ds();
        FreeMesh3ds(&mesh);
        FetchMesh3ds(db, names->names[i].c_str(), &mesh);
        if (mesh) checkMesh(*mesh);
    }
    ResetErrors3ds();
    UpdateMaterialList3ds(db);
    std::vector<std::string> materialNames;
    if (db->materialList)
        for (const ChunkListEntry3ds& entry : db->materialList->entries) materialNames.push_back(entry.name);
    for (const std::string& name : materialNames) fetchMaterial(db, name, &material);
    FreeMaterial3ds(&material);
    FreeMesh3ds(&mesh);
    FreeNameList3ds(&names);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string name = scratchName();
    if (!writeInput(name, data, size)) return 0;
    ResetToolkit3ds();
    file3ds* file = OpenModelFile3ds(name.c_str(), "rb");
    if (!file) return 0;
    ChunkDatabase3ds* db = nullptr;
    ResetDatabase3ds(&db);
    if (db) {
        LoadDatabase3ds(file, db);
        walkModelRoad(db);
    }
    ResetErrors3ds();
    FreeDatabase3ds(&db);
    CloseModelFile3ds(file);
    return 0;
}
