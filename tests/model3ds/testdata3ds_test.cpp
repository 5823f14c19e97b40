// Every real model file in tests/data: trees, payloads and the figures the
// data's index gives for each file.
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "toolkit_fixture.h"

namespace {

struct IndexRow {
    std::string file;
    long size = 0;
    std::string root;
    long meshes = 0, vertices = 0, faces = 0;
};

std::vector<IndexRow> readIndex() {
    std::ifstream in(std::string(TESTDATA_DIR) + "/models3ds/INDEX.tsv");
    std::vector<IndexRow> rows;
    std::string line;
    std::getline(in, line);  // column names
    while (std::getline(in, line)) {
        std::vector<std::string> cells;
        std::stringstream fields(line);
        for (std::string cell; std::getline(fields, cell, '\t');)
            cells.push_back(cell);
        if (cells.size() < 12)
            continue;
        // file size source_repo source_path commit license root version objects meshes vertices faces
        rows.push_back({cells[0], std::stol(cells[1]), cells[6], std::stol(cells[9]), std::stol(cells[10]),
                        std::stol(cells[11])});
    }
    return rows;
}

// Decodes every payload of the subtree; false at the first error.
bool decodeAll(ChunkNode3ds* chunk) {
    for (; chunk; chunk = chunk->next) {
        ReadChunkData3ds(chunk);
        if (errorPending3ds || !decodeAll(chunk->firstChild))
            return false;
    }
    return true;
}

struct MeshTotals {
    long meshes = 0, vertices = 0, faces = 0;
};

MeshTotals countMeshes(ChunkNode3ds* root) {
    MeshTotals totals;
    ChunkNode3ds* section = nullptr;
    FindChunkInTree3ds(root, kChunkMeshSection3ds, &section);
    ChunkNode3ds* object = nullptr;
    for (FindNextChunk3ds(section ? section->firstChild : nullptr, kChunkNamedObject3ds, &object); object;
         FindNextChunk3ds(object->next, kChunkNamedObject3ds, &object)) {
        ChunkNode3ds* mesh = nullptr;
        FindNextChunk3ds(object->firstChild, kChunkTriangleMesh3ds, &mesh);
        if (!mesh)
            continue;
        ++totals.meshes;
        ChunkNode3ds* part = nullptr;
        FindNextChunk3ds(mesh->firstChild, kChunkVertexList3ds, &part);
        if (auto* vertices = part ? std::get_if<VertexData3ds>(ReadChunkData3ds(part)) : nullptr)
            totals.vertices += long(vertices->vertices.size());
        FindNextChunk3ds(mesh->firstChild, kChunkFaceList3ds, &part);
        if (auto* faces = part ? std::get_if<FaceData3ds>(ReadChunkData3ds(part)) : nullptr)
            totals.faces += long(faces->faces.size());
    }
    return totals;
}

using TestData3dsTest = Toolkit3dsTest;

TEST_F(TestData3dsTest, EveryModelFileReads) {
    const std::vector<IndexRow> rows = readIndex();
    ASSERT_GE(rows.size(), 20u);
    for (const IndexRow& row : rows) {
        SCOPED_TRACE(row.file);
        ResetToolkit3ds();
        FreeChunkTree3ds(&db.topchunk);
        const std::string name = std::string(TESTDATA_DIR) + "/models3ds/" + row.file;
        file3ds* file = OpenModelFile3ds(name.c_str(), "rb");
        ASSERT_NE(file, nullptr);
        LoadDatabase3ds(file, &db);
        if (row.size < 6) {  // the empty file
            EXPECT_EQ(codes(), (std::vector<int32_t>{ERR_READING_FILE, ERR_CREATING_DATABASE}));
            continue;
        }
        ASSERT_EQ(errorPending3ds, 0) << ErrorList3ds()[0].where;
        ASSERT_NE(db.topchunk, nullptr);
        if (row.root != "0x4D4D") {  // plain text: a lone root, no error
            EXPECT_EQ(db.topchunk->firstChild, nullptr);
            continue;
        }
        EXPECT_EQ(db.topchunk->length, uint32_t(row.size));
        ASSERT_TRUE(decodeAll(db.topchunk)) << ErrorList3ds()[0].where;
        const MeshTotals totals = countMeshes(db.topchunk);
        EXPECT_EQ(totals.meshes, row.meshes);
        EXPECT_EQ(totals.vertices, row.vertices);
        EXPECT_EQ(totals.faces, row.faces);
    }
}

}  // namespace
