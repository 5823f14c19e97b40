// libFuzzer target: reading a .3ds file into a chunk tree, decoding every payload, and
// extracting every mesh and material the way the model builder does.
//
// Built by `make fuzz` (CMake option FUZZ, clang) and run there on the test data with
// its dictionary; see scripts/fuzz.sh.
//
// The toolkit reads through file streams, so each input is written to a scratch file
// first. Nothing on this path may end the process: every argument the toolkit asserts
// is present here, and libFuzzer reports any exit as a failure.
#include <unistd.h>  // Required for: getpid

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "model3ds/model3ds.h"

namespace {

std::string scratchName() {
    const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return std::string(dir) + "/fuzz_chunk3ds_" + std::to_string(getpid()) + ".3ds";
}

bool writeInput(const std::string& name, const uint8_t* data, size_t size) {
    FILE* file = std::fopen(name.c_str(), "wb");
    if (!file)
        return false;
    const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

// Decodes every chunk; each gets its own go, so one bad payload does not hide the rest.
void decodeAll(ChunkNode3ds* chunk) {
    for (; chunk; chunk = chunk->next) {
        ResetErrors3ds();
        ReadChunkData3ds(chunk);
        FreeFileChunkData3ds(chunk);
        ReadChunkData3ds(chunk);
        decodeAll(chunk->firstChild);
    }
}

// Every mesh by place and every material its groups name, as the model builder asks
// for them; each gets its own go.
void extractAll(ChunkDatabase3ds* db) {
    ResetErrors3ds();
    NameArray3ds* names = nullptr;
    ListMeshNames3ds(db, &names);
    MeshRecord3ds* mesh = nullptr;
    MaterialRecord3ds* material = nullptr;
    for (uint32_t i = 0; names && i < names->count; ++i) {
        ResetErrors3ds();
        FetchMeshByIndex3ds(db, i, &mesh);
        for (size_t g = 0; mesh && g < mesh->materialGroups.size(); ++g) {
            ResetErrors3ds();
            FetchMaterial3ds(db, mesh->materialGroups[g].name.c_str(), &material);
        }
    }
    FreeMaterial3ds(&material);
    FreeMesh3ds(&mesh);
    FreeNameList3ds(&names);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string name = scratchName();
    if (!writeInput(name, data, size))
        return 0;
    ResetToolkit3ds();
    file3ds* file = OpenModelFile3ds(name.c_str(), "rb");
    if (!file)
        return 0;
    ChunkDatabase3ds db;
    LoadDatabase3ds(file, &db);
    decodeAll(db.topchunk);
    // Copies take file-backed records over and copy memory-only ones.
    ChunkNode3ds* copy = nullptr;
    if (db.topchunk) {
        ResetErrors3ds();
        DuplicateChunk3ds(db.topchunk, &copy);
        DisconnectChunk3ds(copy);
    }
    FreeChunkTree3ds(&copy);
    extractAll(&db);
    ReleaseNameLists3ds(&db);
    FreeChunkTree3ds(&db.topchunk);
    CloseModelFile3ds(file);
    return 0;
}
