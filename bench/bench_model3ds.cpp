// Reading .3ds files: the largest real model in the test data into a tree, with and
// without decoding every payload, beside a plain read of the same bytes; every mesh and
// material of it extracted, side by side with the two widely used open readers in the
// distribution doing the same extraction; and the cost per byte of hostile layouts
// (long sibling chains, the deepest nesting accepted).
#include <benchmark/benchmark.h>

#include <assimp/Importer.hpp>  // Required for: the peer reader assimp (benchmark only)
#include <assimp/material.h>
#include <assimp/scene.h>
#include <lib3ds/file.h>        // Required for: the peer reader lib3ds (benchmark only)
#include <lib3ds/material.h>
#include <lib3ds/mesh.h>

#include <cstdio>
#include <string>
#include <vector>

#include "model3ds/model3ds.h"

namespace {

const std::string kLargest = std::string(TESTDATA_DIR) + "/models3ds/celestia/apollo.3ds";

void decodeAll(ChunkNode3ds* chunk) {
    for (; chunk; chunk = chunk->next) {
        benchmark::DoNotOptimize(ReadChunkData3ds(chunk));
        decodeAll(chunk->firstChild);
    }
}

long fileSize(const std::string& name) {
    FILE* f = std::fopen(name.c_str(), "rb");
    if (!f)
        return 0;
    std::fseek(f, 0, SEEK_END);
    const long size = std::ftell(f);
    std::fclose(f);
    return size;
}

// Opens, reads the tree, optionally decodes everything, frees, closes.
void readModel(benchmark::State& state, const std::string& name, bool decode) {
    ResetToolkit3ds();
    for (auto _ : state) {
        file3ds* file = OpenModelFile3ds(name.c_str(), "rb");
        ChunkDatabase3ds db;
        LoadDatabase3ds(file, &db);
        if (decode)
            decodeAll(db.topchunk);
        if (errorPending3ds) {
            state.SkipWithError("the model did not read");
            break;
        }
        FreeChunkTree3ds(&db.topchunk);
        CloseModelFile3ds(file);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(fileSize(name)));
}

// The floor: the same file's bytes read once through a stream.
void BM_PlainFileRead(benchmark::State& state) {
    std::vector<char> buffer(size_t(fileSize(kLargest)));
    for (auto _ : state) {
        FILE* f = std::fopen(kLargest.c_str(), "rb");
        benchmark::DoNotOptimize(std::fread(buffer.data(), 1, buffer.size(), f));
        std::fclose(f);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(buffer.size()));
}
BENCHMARK(BM_PlainFileRead)->Unit(benchmark::kMillisecond);

void BM_LoadTree(benchmark::State& state) { readModel(state, kLargest, false); }
BENCHMARK(BM_LoadTree)->Unit(benchmark::kMillisecond);

void BM_LoadTreeDecodeAll(benchmark::State& state) { readModel(state, kLargest, true); }
BENCHMARK(BM_LoadTreeDecodeAll)->Unit(benchmark::kMillisecond);

// --- Every mesh and material, by us and by the peers -------------------------------
//
// The same work for each reader: open the file, have every mesh's vertex, texture-vertex
// and face arrays and every material's name and texture map name in memory, touch them
// (a checksum over every value, so nothing is skipped), release everything. No
// post-processing in any of them.

// What an extraction found; checked against the same figures from every reader.
struct Extracted {
    long meshes = 0, vertices = 0, faces = 0, texVerts = 0, materials = 0, mapNameChars = 0;
    double checksum = 0;
};

void touchMesh(Extracted& out, const MeshRecord3ds& mesh) {
    ++out.meshes;
    out.vertices += long(mesh.vertices.size());
    out.texVerts += long(mesh.textureVertices.size());
    out.faces += long(mesh.faces.size());
    for (const Point3ds& p : mesh.vertices) out.checksum += p.x + p.y + p.z;
    for (const TexVert3ds& t : mesh.textureVertices) out.checksum += t.u + t.v;
    for (const Face3ds& f : mesh.faces) out.checksum += f.a + f.b + f.c;
}

Extracted extractOurs(const std::string& name) {
    Extracted out;
    file3ds* file = OpenModelFile3ds(name.c_str(), "rb");
    ChunkDatabase3ds* db = nullptr;
    ResetDatabase3ds(&db);
    LoadDatabase3ds(file, db);
    NameArray3ds* names = nullptr;
    ListMeshNames3ds(db, &names);
    MeshRecord3ds* mesh = nullptr;
    for (uint32_t i = 0; names && i < names->count; ++i) {
        FetchMeshByIndex3ds(db, i, &mesh);
        touchMesh(out, *mesh);
    }
    UpdateMaterialList3ds(db);
    MaterialRecord3ds* material = nullptr;
    for (const ChunkListEntry3ds& entry : db->materialList->entries) {
        FetchMaterial3ds(db, entry.name.c_str(), &material);
        ++out.materials;
        out.mapNameChars += long(material->textureMap.fileName.size());
    }
    FreeMaterial3ds(&material);
    FreeMesh3ds(&mesh);
    FreeNameList3ds(&names);
    FreeDatabase3ds(&db);
    CloseModelFile3ds(file);
    return out;
}

Extracted extractLib3ds(const std::string& name) {
    Extracted out;
    Lib3dsFile* file = lib3ds_file_load(name.c_str());
    if (!file) return out;
    for (Lib3dsMesh* mesh = file->meshes; mesh; mesh = mesh->next) {
        ++out.meshes;
        out.vertices += long(mesh->points);
        out.texVerts += long(mesh->texels);
        out.faces += long(mesh->faces);
        for (Lib3dsDword i = 0; i < mesh->points; ++i)
            out.checksum += mesh->pointL[i].pos[0] + mesh->pointL[i].pos[1] + mesh->pointL[i].pos[2];
        for (Lib3dsDword i = 0; i < mesh->texels; ++i) out.checksum += mesh->texelL[i][0] + mesh->texelL[i][1];
        for (Lib3dsDword i = 0; i < mesh->faces; ++i)
            out.checksum += mesh->faceL[i].points[0] + mesh->faceL[i].points[1] + mesh->faceL[i].points[2];
    }
    for (Lib3dsMaterial* material = file->materials; material; material = material->next) {
        ++out.materials;
        out.mapNameChars += long(std::string(material->texture1_map.name).size());
    }
    lib3ds_file_free(file);
    return out;
}

// Its own figures: the reader splits meshes by material and unshares vertices while
// reading, so only the material count and map names compare with the others.
Extracted extractAssimp(const std::string& name) {
    Extracted out;
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(name, 0);
    if (!scene) return out;
    for (unsigned m = 0; m < scene->mNumMeshes; ++m) {
        const aiMesh* mesh = scene->mMeshes[m];
        ++out.meshes;
        out.vertices += long(mesh->mNumVertices);
        out.faces += long(mesh->mNumFaces);
        for (unsigned i = 0; i < mesh->mNumVertices; ++i)
            out.checksum += mesh->mVertices[i].x + mesh->mVertices[i].y + mesh->mVertices[i].z;
        if (mesh->mTextureCoords[0]) {
            out.texVerts += long(mesh->mNumVertices);
            for (unsigned i = 0; i < mesh->mNumVertices; ++i)
                out.checksum += mesh->mTextureCoords[0][i].x + mesh->mTextureCoords[0][i].y;
        }
        for (unsigned i = 0; i < mesh->mNumFaces; ++i)
            for (unsigned k = 0; k < mesh->mFaces[i].mNumIndices; ++k) out.checksum += mesh->mFaces[i].mIndices[k];
    }
    for (unsigned m = 0; m < scene->mNumMaterials; ++m) {
        aiString materialName, mapName;
        scene->mMaterials[m]->Get(AI_MATKEY_NAME, materialName);
        if (scene->mMaterials[m]->GetTexture(aiTextureType_DIFFUSE, 0, &mapName) == AI_SUCCESS)
            out.mapNameChars += long(mapName.length);
        ++out.materials;
    }
    return out;
}

template <Extracted (*Extract)(const std::string&)>
void BM_ExtractEveryMesh(benchmark::State& state) {
    ResetToolkit3ds();
    Extracted last;
    for (auto _ : state) {
        last = Extract(kLargest);
        benchmark::DoNotOptimize(last.checksum);
    }
    if (last.meshes == 0 || errorPending3ds) state.SkipWithError("the model did not read");
    state.counters["meshes"] = double(last.meshes);
    state.counters["faces"] = double(last.faces);
    state.counters["materials"] = double(last.materials);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(fileSize(kLargest)));
}
BENCHMARK_TEMPLATE(BM_ExtractEveryMesh, extractOurs)->Name("BM_ExtractEveryMesh/ours")->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_ExtractEveryMesh, extractLib3ds)->Name("BM_ExtractEveryMesh/lib3ds")->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_ExtractEveryMesh, extractAssimp)->Name("BM_ExtractEveryMesh/assimp")->Unit(benchmark::kMillisecond);

// --- Hostile layouts, written to a scratch file ---------------------------------

void put16(std::vector<uint8_t>& out, uint16_t v) { out.insert(out.end(), {uint8_t(v), uint8_t(v >> 8)}); }
void put32(std::vector<uint8_t>& out, uint32_t v) {
    put16(out, uint16_t(v));
    put16(out, uint16_t(v >> 16));
}

std::string writeScratch(const std::vector<uint8_t>& bytes) {
    const std::string name = "/tmp/bench_model3ds_scratch.3ds";
    FILE* f = std::fopen(name.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return name;
}

// A scene of `count` empty unknown chunks: the most headers per byte a file can hold.
void BM_SiblingChain(benchmark::State& state) {
    const uint32_t count = uint32_t(state.range(0));
    std::vector<uint8_t> bytes;
    put16(bytes, 0x4D4D);
    put32(bytes, 6 + 6 * count);
    for (uint32_t i = 0; i < count; ++i) {
        put16(bytes, 0x1234);
        put32(bytes, 6);
    }
    readModel(state, writeScratch(bytes), true);
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_SiblingChain)->RangeMultiplier(4)->Range(1 << 12, 1 << 18)->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

// Chunks that are containers in the tree but decode as raw bytes, nested as deep as the
// reader allows, around a payload of `size` bytes: each level decodes everything inside.
void BM_DeepRawNesting(benchmark::State& state) {
    const uint32_t size = uint32_t(state.range(0));
    const int levels = kMaxChunkDepth3ds - 2;  // with the root and the innermost chunk: the limit
    std::vector<uint8_t> bytes;
    put16(bytes, 0x4D4D);
    put32(bytes, 6 * (levels + 2) + size);
    for (int i = 0; i < levels; ++i) {
        put16(bytes, 0x2D2D);
        put32(bytes, 6 * (levels - i + 1) + size);
    }
    put16(bytes, 0x1234);
    put32(bytes, 6 + size);
    bytes.resize(bytes.size() + size, 0);
    readModel(state, writeScratch(bytes), true);
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_DeepRawNesting)->RangeMultiplier(4)->Range(1 << 12, 1 << 20)->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
