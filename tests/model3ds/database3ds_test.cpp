// The database: mesh and material records from the real files and from crafted ones,
// every field on the model-loading road, keyframe parent names, reloads, files cut
// short, and memory running out anywhere.
#include <cmath>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "alloc_hook.h"
#include "assets/model_writer.h"
#include "toolkit_fixture.h"

namespace {

namespace mw = modelwriter;
using Codes = std::vector<int32_t>;

cw::Payload text(const std::string& s) { return cw::Payload().str(s); }

// The database under test, through its own API, plus the records it hands out.
class Database3dsTest : public Toolkit3dsTest {
protected:
    void TearDown() override {
        FreeNameList3ds(&names);
        FreeMesh3ds(&mesh);
        FreeMaterial3ds(&material);
        FreeDatabase3ds(&base);
        Toolkit3dsTest::TearDown();
    }

    // Opens and loads a file into `base`.
    file3ds* open(const std::string& path) {
        file3ds* file = OpenModelFile3ds(path.c_str(), "rb");
        EXPECT_NE(file, nullptr) << path;
        FreeDatabase3ds(&base);
        ResetDatabase3ds(&base);
        if (file)
            LoadDatabase3ds(file, base);
        return file;
    }
    file3ds* openScene(const cw::Chunk& root) {
        return open(writeBytes("scene" + std::to_string(fileCount++) + ".3ds", cw::encode(root)));
    }

    std::vector<std::string> meshNames() {
        ListMeshNames3ds(base, &names);
        std::vector<std::string> out;
        if (names)
            out.assign(names->names.begin(), names->names.begin() + names->count);
        return out;
    }

    ChunkDatabase3ds* base = nullptr;
    NameArray3ds* names = nullptr;
    MeshRecord3ds* mesh = nullptr;
    MaterialRecord3ds* material = nullptr;
};

// --- The real files against the figures of EXPECTED.tsv -----------------------------------

struct ExpectedFile {
    std::vector<std::vector<std::string>> meshes;     // name, vertices, faces, texture vertices, groups, group list
    std::vector<std::vector<std::string>> materials;  // name, texture map
};

std::map<std::string, ExpectedFile> readExpected() {
    std::ifstream in(std::string(TESTDATA_DIR) + "/models3ds/EXPECTED.tsv");
    std::map<std::string, ExpectedFile> files;
    std::string line;
    std::getline(in, line);  // column names
    while (std::getline(in, line)) {
        std::vector<std::string> cells;
        std::stringstream fields(line);
        for (std::string cell; std::getline(fields, cell, '\t');)
            cells.push_back(cell);
        cells.resize(8);
        if (cells[1] == "mesh")
            files[cells[0]].meshes.push_back({cells[2], cells[3], cells[4], cells[5], cells[6], cells[7]});
        else
            files[cells[0]].materials.push_back({cells[2], cells[7]});
    }
    return files;
}

std::string groupList(const MeshRecord3ds& m) {
    std::string out;
    for (const MaterialGroup3ds& group : m.materialGroups)
        out += (out.empty() ? "" : ";") + group.name + ":" + std::to_string(group.faceIndices.size());
    return out;
}

TEST_F(Database3dsTest, RealFilesGiveTheExpectedMeshesAndMaterials) {
    const std::map<std::string, ExpectedFile> expected = readExpected();
    ASSERT_GE(expected.size(), 20u);
    for (const auto& [fileName, want] : expected) {
        SCOPED_TRACE(fileName);
        ResetToolkit3ds();
        open(std::string(TESTDATA_DIR) + "/models3ds/" + fileName);
        ASSERT_EQ(errorPending3ds, 0) << ErrorList3ds()[0].where;

        std::vector<std::string> wantNames;
        for (const auto& row : want.meshes)
            wantNames.push_back(row[0]);
        ASSERT_EQ(meshNames(), wantNames);
        std::set<std::string> seen;
        for (uint32_t i = 0; i < want.meshes.size(); ++i) {
            const auto& row = want.meshes[i];
            // By name only the first of a name is reachable: names are cut to 10 characters.
            if (seen.insert(row[0]).second)
                FetchMesh3ds(base, row[0].c_str(), &mesh);
            else
                FetchMeshByIndex3ds(base, i, &mesh);
            ASSERT_EQ(errorPending3ds, 0) << ErrorList3ds()[0].where;
            EXPECT_EQ(mesh->name, row[0]);
            EXPECT_EQ(std::to_string(mesh->vertices.size()), row[1]) << row[0];
            EXPECT_EQ(std::to_string(mesh->faces.size()), row[2]) << row[0];
            EXPECT_EQ(std::to_string(mesh->textureVertices.size()), row[3]) << row[0];
            EXPECT_EQ(std::to_string(mesh->materialGroups.size()), row[4]) << row[0];
            EXPECT_EQ(groupList(*mesh), row[5]) << row[0];
        }

        UpdateMaterialList3ds(base);
        ASSERT_EQ(base->materialList->entries.size(), want.materials.size());
        for (size_t i = 0; i < want.materials.size(); ++i) {
            const std::string& name = want.materials[i][0];
            EXPECT_EQ(base->materialList->entries[i].name, name);
            FreeMaterial3ds(&material);
            FetchMaterial3ds(base, name.c_str(), &material);
            ASSERT_EQ(errorPending3ds, 0) << ErrorList3ds()[0].where;
            ASSERT_NE(material, nullptr) << name;
            EXPECT_EQ(material->name, name);
            EXPECT_EQ(material->textureMap.fileName, want.materials[i][1]) << name;
        }
    }
}

TEST_F(Database3dsTest, FilesThatAreNoModelsListNothing) {
    open(std::string(TESTDATA_DIR) + "/models3ds/online3dviewer/wrong.3ds");  // text: a lone root
    EXPECT_EQ(errorPending3ds, 0);
    EXPECT_TRUE(meshNames().empty());
    EXPECT_EQ(names->capacity, 5u);
    FetchMesh3ds(base, "anything", &mesh);
    EXPECT_EQ(codes(), Codes{ERR_WRONG_DATABASE});
    EXPECT_EQ(mesh, nullptr);
}

// Arrays move out of a copy of the subtree: the database keeps headers only, and a
// second fetch reads the same values again from the file.
TEST_F(Database3dsTest, FetchedArraysLeaveTheTreeWithHeadersOnly) {
    open(std::string(TESTDATA_DIR) + "/models3ds/assimp-nonbsd/mar_rifle.3ds");
    FetchMesh3ds(base, "m_rifle", &mesh);
    ASSERT_EQ(errorPending3ds, 0);
    const std::vector<Point3ds> first = mesh->vertices;
    ChunkNode3ds* vertexChunk = find(base->topchunk, kChunkVertexList3ds);
    ASSERT_NE(vertexChunk, nullptr);
    EXPECT_EQ(vertexChunk->data, nullptr);
    EXPECT_EQ(find(base->topchunk, kChunkFaceList3ds)->data, nullptr);

    MeshRecord3ds* again = nullptr;
    FetchMesh3ds(base, "m_rifle", &again);
    ASSERT_NE(again, nullptr);
    ASSERT_EQ(again->vertices.size(), first.size());
    EXPECT_EQ(again->vertices.back().x, first.back().x);
    FreeMesh3ds(&again);
}

// --- Crafted scenes: the record's edge cases -------------------------------------------

TEST_F(Database3dsTest, MeshListEdgeCases) {
    // No mesh section at all: an empty list of capacity 5.
    openScene(cw::container(0x4D4D, {cw::chunk(0x0002, cw::Payload().i32(3))}));
    EXPECT_TRUE(meshNames().empty());
    EXPECT_EQ(names->capacity, 5u);
    EXPECT_EQ(names->names.size(), 5u);

    // Objects holding a light or a camera are no meshes; a name is looked up exactly.
    mw::Mesh plain = mw::square("plain", "none", 2);
    plain.groups.clear();
    openScene(cw::container(0x4D4D, {cw::container(0x3D3D, {
        cw::chunk(0x4000, text("lamp"), {cw::chunk(0x4600, cw::Payload().zeros(12))}),
        mw::meshChunk(plain),
        cw::chunk(0x4000, text("eye"), {cw::chunk(0x4700, cw::Payload().zeros(32))}),
        mw::meshChunk(mw::square("second", "m", 1)),
    })}));
    ASSERT_EQ(errorPending3ds, 0) << ErrorList3ds()[0].where;
    EXPECT_EQ(meshNames(), (std::vector<std::string>{"plain", "second"}));
    EXPECT_EQ(names->capacity, 2u);
    // A second listing into the same record gives the same names.
    NameArray3ds* kept = names;
    EXPECT_EQ(meshNames(), (std::vector<std::string>{"plain", "second"}));
    EXPECT_EQ(names, kept);

    // A mesh without material groups has none, also in a record that held some.
    FetchMesh3ds(base, "second", &mesh);
    ASSERT_EQ(mesh->materialGroups.size(), 1u);
    FetchMesh3ds(base, "plain", &mesh);
    ASSERT_NE(mesh, nullptr);
    EXPECT_TRUE(mesh->materialGroups.empty());
    EXPECT_EQ(mesh->faces.size(), 2u);
    // Lights, cameras and unknown names leave the record as it was, without an error.
    for (const char* other : {"lamp", "eye", "Plain", "nobody"}) {
        FetchMesh3ds(base, other, &mesh);
        EXPECT_EQ(mesh->name, "plain") << other;
        EXPECT_EQ(mesh->faces.size(), 2u) << other;
    }
    EXPECT_EQ(errorPending3ds, 0);
}

// Every field of a mesh record, each with its own value, so a swapped field fails.
TEST_F(Database3dsTest, EveryMeshFieldComesFromItsOwnChunk) {
    cw::Payload local, mapping, faces;
    for (int i = 0; i < 12; ++i)
        local.f32(10.0f + i);
    mapping.u16(3).f32(1.5f).f32(2.5f).f32(3.5f).f32(4.5f).f32(5.5f).f32(6.5f);
    for (int i = 0; i < 12; ++i)
        mapping.f32(20.0f + i);
    mapping.f32(7.5f).f32(8.5f).f32(9.5f);
    faces.u16(2).u16(0).u16(1).u16(2).u16(3).u16(2).u16(1).u16(0).u16(4);
    cw::Payload boxNames;
    for (const char* n : {"front", "back", "left", "right", "top", "bottom"})
        boxNames.str(n);
    cw::Chunk object = cw::chunk(0x4000, text("thing"), {
        cw::chunk(0x4010), cw::chunk(0x4012), cw::chunk(0x4015), cw::chunk(0x4017),
        cw::container(0x4100, {
            cw::chunk(0x4110, cw::Payload().u16(3).f32(1).f32(2).f32(3).f32(4).f32(5).f32(6).f32(7).f32(8).f32(9)),
            cw::chunk(0x4111, cw::Payload().u16(2).i16(-5).i16(6)),
            cw::chunk(0x4140, cw::Payload().u16(2).f32(0.25f).f32(0.75f).f32(0.5f).f32(1)),
            cw::chunk(0x4160, local),
            cw::chunk(0x4165, cw::Payload().u8(9)),
            cw::chunk(0x4170, mapping),
            cw::chunk(0x4181, text("proc")),
            cw::chunk(0x4182, cw::Payload().raw({1, 2, 3})),
            cw::chunk(0x4120, faces, {
                cw::chunk(0x4130, cw::Payload().str("first").u16(1).u16(1)),
                cw::chunk(0x4150, cw::Payload().u32(0x11).u32(0x22)),
                cw::chunk(0x4130, cw::Payload().str("second").u16(2).u16(0).u16(1)),
                cw::chunk(0x4190, boxNames),
            }),
        }),
    });
    openScene(cw::container(0x4D4D, {cw::container(0x3D3D, {object})}));
    FetchMesh3ds(base, "thing", &mesh);
    ASSERT_EQ(errorPending3ds, 0) << ErrorList3ds()[0].where;
    const MeshRecord3ds& m = *mesh;
    EXPECT_EQ(m.name, "thing");
    EXPECT_EQ(std::vector<int>({m.hidden, m.shownInLofter, m.matte, m.castsNoShadow, m.fast, m.receivesNoShadow,
                                m.frozen, m.procedural}),
              std::vector<int>({1, 0, 0, 1, 0, 1, 0, 1}));
    ASSERT_EQ(m.vertices.size(), 3u);
    EXPECT_EQ(m.vertices[1].x, 4);
    EXPECT_EQ(m.vertices[1].y, 5);
    EXPECT_EQ(m.vertices[2].z, 9);
    EXPECT_EQ(m.vertexFlags, (std::vector<int16_t>{-5, 6}));
    ASSERT_EQ(m.textureVertices.size(), 2u);
    EXPECT_EQ(m.textureVertices[0].u, 0.25f);
    EXPECT_EQ(m.textureVertices[0].v, 0.75f);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(m.localMatrix[i], 10.0f + i) << i;
    EXPECT_EQ(m.meshColour, 9);
    EXPECT_EQ(m.useMapInfo, 1);
    EXPECT_EQ(m.mapInfo.mapType, 3);
    EXPECT_EQ(std::vector<float>({m.mapInfo.tiling[0], m.mapInfo.tiling[1], m.mapInfo.position[0],
                                  m.mapInfo.position[1], m.mapInfo.position[2], m.mapInfo.scale}),
              std::vector<float>({1.5f, 2.5f, 3.5f, 4.5f, 5.5f, 6.5f}));
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(m.mapInfo.matrix[i], 20.0f + i) << i;
    EXPECT_EQ(m.mapInfo.planarWidth, 7.5f);
    EXPECT_EQ(m.mapInfo.planarHeight, 8.5f);
    EXPECT_EQ(m.mapInfo.cylinderHeight, 9.5f);
    EXPECT_EQ(m.procedureName, "proc");
    EXPECT_EQ(m.procedureData, (std::vector<uint8_t>{1, 2, 3}));
    ASSERT_EQ(m.faces.size(), 2u);
    EXPECT_EQ(m.faces[0].flags, 3);
    EXPECT_EQ(m.faces[1].a, 2);
    EXPECT_EQ(m.faces[1].b, 1);
    EXPECT_EQ(m.faces[1].c, 0);
    EXPECT_EQ(m.faces[1].flags, 4);
    EXPECT_EQ(groupList(m), "first:1;second:2");
    EXPECT_EQ(m.materialGroups[1].faceIndices, (std::vector<uint16_t>{0, 1}));
    EXPECT_EQ(m.smoothingGroups, (std::vector<uint32_t>{0x11, 0x22}));
    EXPECT_EQ(m.useBoxMap, 1);
    EXPECT_EQ(m.boxMap[0], "front");
    EXPECT_EQ(m.boxMap[5], "bottom");
}

cw::Chunk percent(uint16_t id, int16_t value) { return cw::container(id, {cw::chunk(0x0030, cw::Payload().i16(value))}); }
cw::Chunk rgb(uint16_t id, uint8_t r, uint8_t g, uint8_t b) {
    return cw::chunk(id, cw::Payload().u8(r).u8(g).u8(b));
}
cw::Chunk floatChunk(uint16_t id, float value) { return cw::chunk(id, cw::Payload().f32(value)); }

// Every field of a material record and of its texture map, each with its own value.
TEST_F(Database3dsTest, EveryMaterialFieldComesFromItsOwnChunk) {
    cw::Chunk textureMap = cw::container(0xA200, {
        cw::chunk(0x0030, cw::Payload().i16(40)),
        cw::chunk(0xA300, text("wood.bmp")),
        cw::chunk(0xA351, cw::Payload().u16(0x0001 | 0x0002 | 0x0008 | 0x0020 | 0x0100 | 0x0080)),
        floatChunk(0xA353, 0.5f), floatChunk(0xA354, 2), floatChunk(0xA356, 3),
        floatChunk(0xA358, 0.125f), floatChunk(0xA35A, 0.25f), floatChunk(0xA35C, 45),
        rgb(0xA360, 255, 0, 0), rgb(0xA362, 0, 255, 0), rgb(0xA364, 0, 0, 255), rgb(0xA366, 255, 255, 0),
        rgb(0xA368, 0, 255, 255), cw::chunk(0x1234, cw::Payload().u8(1)),
    });
    cw::Chunk materialChunk = cw::container(0xAFFF, {
        cw::chunk(0xA000, text("oak")),
        cw::container(0xA010, {rgb(0x0011, 51, 102, 153)}),
        cw::container(0xA020, {rgb(0x0011, 0, 0, 0), rgb(0x0012, 255, 51, 0)}),  // the gamma colour wins
        cw::container(0xA030, {rgb(0x0011, 255, 255, 255)}),
        percent(0xA040, 10), percent(0xA041, 20), percent(0xA053, 30),
        cw::container(0xA052, {cw::chunk(0x0031, cw::Payload().f32(0.625f))}),
        percent(0xA084, 50), floatChunk(0xA087, 2.5f), cw::chunk(0xA100, cw::Payload().i16(2)),
        cw::chunk(0xA081), cw::chunk(0xA08C), cw::chunk(0xA250),
        textureMap,
        cw::chunk(0xA320, cw::Payload().raw({9, 8})),
        cw::container(0xA230, {cw::chunk(0xA300, text("bump.bmp")), cw::chunk(0x0030, cw::Payload().i16(10)),
                               cw::chunk(0xA252, cw::Payload().i16(75))}),
        cw::chunk(0xA310, cw::Payload().u8(0).u8(0).i16(0x19).u32(256).u32(3)),
        cw::container(0xA34C, {cw::chunk(0xA300, text("mask.bmp"))}),
        cw::chunk(0x8001, cw::Payload()),
    });
    openScene(cw::container(0x4D4D, {cw::container(0x3D3D, {materialChunk})}));
    FetchMaterial3ds(base, "oak", &material);
    ASSERT_EQ(errorPending3ds, 0) << ErrorList3ds()[0].where;
    const MaterialRecord3ds& m = *material;
    EXPECT_EQ(m.name, "oak");
    EXPECT_FLOAT_EQ(m.ambient.r, 0.2f);
    EXPECT_FLOAT_EQ(m.ambient.g, 0.4f);
    EXPECT_FLOAT_EQ(m.ambient.b, 0.6f);
    EXPECT_FLOAT_EQ(m.diffuse.r, 1.0f);
    EXPECT_FLOAT_EQ(m.diffuse.g, 0.2f);
    EXPECT_FLOAT_EQ(m.specular.b, 1.0f);
    EXPECT_EQ(std::vector<float>({m.shininess, m.shininessStrength, m.reflectionBlur, m.transparencyFalloff,
                                  m.selfIllumination, m.transparency}),
              std::vector<float>({0.1f, 0.2f, 0.3f, 0.625f, 0.5f, 0.0f}));
    EXPECT_EQ(m.wireSize, 2.5f);
    EXPECT_EQ(m.shading, 2);
    EXPECT_EQ(std::vector<int>({m.useReflectionBlur, m.useFalloff, m.twoSided, m.selfIlluminated, m.decal,
                                m.wireAbsolute, m.faceMap, m.soften}),
              std::vector<int>({1, 0, 1, 0, 0, 0, 0, 1}));
    const TextureMap3ds& t = m.textureMap;
    EXPECT_EQ(t.fileName, "wood.bmp");
    EXPECT_FLOAT_EQ(t.percent, 0.4f);
    EXPECT_EQ(std::vector<float>({t.blur, t.uScale, t.vScale, t.uOffset, t.vOffset, t.rotation}),
              std::vector<float>({0.5f, 2, 3, 0.125f, 0.25f, 45}));
    EXPECT_EQ(t.tint1.r, 1.0f);
    EXPECT_EQ(t.tint2.g, 1.0f);
    EXPECT_EQ(t.tint2.r, 0.0f);
    EXPECT_EQ(t.tintRed.b, 1.0f);
    EXPECT_EQ(t.tintGreen.r, 1.0f);
    EXPECT_EQ(t.tintBlue.r, 0.0f);
    EXPECT_EQ(t.tintBlue.b, 1.0f);
    EXPECT_EQ(t.data, (std::vector<uint8_t>{9, 8}));
    EXPECT_EQ(m.bumpMap.fileName, "bump.bmp");
    EXPECT_FLOAT_EQ(m.bumpMap.percent, 0.75f);  // 0xA252 after the slot is read
    EXPECT_EQ(m.useAutoReflection, 1);
    EXPECT_EQ(m.autoReflectFirstFrame, 1);
    EXPECT_EQ(m.autoReflectFlat, 1);
    EXPECT_EQ(m.autoReflectSize, 256);
    EXPECT_EQ(m.autoReflectFrameStep, 3);
    EXPECT_EQ(m.reflectionMask.fileName, "mask.bmp");
    EXPECT_TRUE(m.specularMap.fileName.empty());
    EXPECT_EQ(m.specularMap.tilingMode, 1);
    EXPECT_EQ(m.specularMap.uScale, 1.0f);
}

TEST_F(Database3dsTest, MapFlagsDecodeAsATable) {
    const struct {
        uint16_t flags;
        int tiling, ignoreAlpha, filter, mirror, negative, tint;
    } cases[] = {
        {0x0000, 1, 0, 0, 0, 0, 0}, {0x0001, 3, 0, 0, 0, 0, 0}, {0x0011, 2, 0, 0, 0, 0, 0},
        {0x0010, 1, 0, 0, 0, 0, 0}, {0x0002, 1, 0, 0, 1, 0, 0}, {0x0008, 1, 0, 0, 0, 1, 0},
        {0x0020, 1, 0, 1, 0, 0, 0}, {0x0100, 1, 1, 0, 0, 0, 0}, {0x0040, 1, 0, 0, 0, 0, 1},
        {0x0080, 1, 0, 0, 0, 0, 2}, {0x00C0, 1, 0, 0, 0, 0, 3}, {0x0200, 1, 0, 0, 0, 0, 4},
        {0x0240, 1, 0, 0, 0, 0, 4}, {0x0280, 1, 0, 0, 0, 0, 2},
    };
    std::vector<cw::Chunk> materials;
    for (const auto& c : cases)
        materials.push_back(cw::container(0xAFFF, {
            cw::chunk(0xA000, text("f" + std::to_string(c.flags))),
            cw::container(0xA200, {cw::chunk(0xA351, cw::Payload().u16(c.flags))}),
        }));
    openScene(cw::container(0x4D4D, {cw::container(0x3D3D, materials)}));
    for (const auto& c : cases) {
        FetchMaterial3ds(base, ("f" + std::to_string(c.flags)).c_str(), &material);
        ASSERT_EQ(errorPending3ds, 0);
        const TextureMap3ds& t = material->textureMap;
        EXPECT_EQ(std::vector<int>({t.tilingMode, t.ignoreAlpha, t.filter, t.mirror, t.negative, t.tintMode}),
                  std::vector<int>({c.tiling, c.ignoreAlpha, c.filter, c.mirror, c.negative, c.tint}))
            << std::hex << c.flags;
    }
}

TEST_F(Database3dsTest, MaterialEdgeCases) {
    openScene(cw::container(0x4D4D, {cw::container(0x3D3D, {
        cw::container(0xAFFF, {cw::chunk(0xA000, text("before")), cw::chunk(0xA08A), percent(0xA050, 40)}),
        cw::container(0xAFFF, {cw::chunk(0xA000, text("after")), percent(0xA050, 40), cw::chunk(0xA08A)}),
        cw::container(0xAFFF, {cw::chunk(0xA000, text("nomap")), cw::chunk(0xA085)}),
        cw::container(0xAFFF, {cw::chunk(0xA000, text("noname")),
                               cw::container(0xA200, {cw::chunk(0x0030, cw::Payload().i16(50))})}),
        cw::container(0xAFFF, {percent(0xA040, 10)}),  // no name: not a material anyone can ask for
    })}));
    UpdateMaterialList3ds(base);
    EXPECT_EQ(base->materialList->entries.size(), 4u);
    FetchMaterial3ds(base, "before", &material);
    EXPECT_FLOAT_EQ(material->transparency, 0.4f);
    FetchMaterial3ds(base, "after", &material);
    EXPECT_FLOAT_EQ(material->transparency, -0.4f);
    FetchMaterial3ds(base, "nomap", &material);
    EXPECT_EQ(material->shading, 0);
    EXPECT_TRUE(material->textureMap.fileName.empty());
    FetchMaterial3ds(base, "noname", &material);
    EXPECT_TRUE(material->textureMap.fileName.empty());
    EXPECT_FLOAT_EQ(material->textureMap.percent, 0.5f);
    ASSERT_EQ(errorPending3ds, 0) << ErrorList3ds()[0].where;
    // A name the file does not define leaves the record as it was.
    FetchMaterial3ds(base, "missing", &material);
    EXPECT_EQ(material->name, "noname");
    MaterialRecord3ds* none = nullptr;
    FetchMaterial3ds(base, "missing", &none);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(errorPending3ds, 0);
}

TEST_F(Database3dsTest, MaterialFaultsRaiseTheirCodes) {
    const struct {
        const char* what;
        cw::Chunk part;
        int32_t code;
    } cases[] = {
        {"gamma colour alone", cw::container(0xA010, {rgb(0x0012, 1, 2, 3)}), ERR_UNFOUND_CHUNK},
        {"float colour only", cw::container(0xA020, {cw::chunk(0x0010, cw::Payload().zeros(12))}), ERR_UNFOUND_CHUNK},
        {"unknown child", cw::chunk(0xA0FF, cw::Payload().u8(1)), ERR_INVALID_CHUNK},
    };
    for (const auto& c : cases) {
        ResetToolkit3ds();
        openScene(cw::container(0x4D4D, {cw::container(0x3D3D, {
            cw::container(0xAFFF, {cw::chunk(0xA000, text("bad")), c.part}),
        })}));
        FetchMaterial3ds(base, "bad", &material);
        EXPECT_EQ(codes(), Codes{c.code}) << c.what;
    }
}

// Counts and strings that do not fit their chunk stop the fetch with the reader's code;
// nothing is read past the chunk.
TEST_F(Database3dsTest, ForgedPayloadsStopTheFetch) {
    const struct {
        const char* what;
        cw::Chunk part;
    } cases[] = {
        {"vertex count", cw::chunk(0x4110, cw::Payload().u16(65535).f32(1).f32(2))},
        {"texture vertex count", cw::chunk(0x4140, cw::Payload().u16(300).f32(1))},
        {"group face count", cw::chunk(0x4120, cw::Payload().u16(0), {cw::chunk(0x4130, cw::Payload().str("m").u16(9).u16(0))})},
        {"group name", cw::chunk(0x4120, cw::Payload().u16(0), {cw::chunk(0x4130, cw::Payload().raw({'a', 'b'}))})},
    };
    for (const auto& c : cases) {
        ResetToolkit3ds();
        openScene(cw::container(0x4D4D, {cw::container(0x3D3D, {
            cw::chunk(0x4000, text("forged"), {cw::container(0x4100, {c.part})}),
        })}));
        ASSERT_EQ(errorPending3ds, 0) << c.what;
        FetchMesh3ds(base, "forged", &mesh);
        EXPECT_EQ(codes(), Codes{ERR_INVALID_CHUNK}) << c.what;
    }
}

// --- Reloads, files cut short, extended data -----------------------------------------------

TEST_F(Database3dsTest, LoadingAgainRebuildsEveryList) {
    const std::string first = writeBytes("a.3ds", cw::encode(mw::scene({{"m1", "one.bmp"}}, {mw::square("alpha", "m1", 1)})));
    const std::string second = writeBytes("b.3ds", cw::encode(mw::scene({{"m2", "two.bmp"}}, {mw::square("beta", "m2", 1)})));
    file3ds* a = OpenModelFile3ds(first.c_str(), "rb");
    file3ds* b = OpenModelFile3ds(second.c_str(), "rb");
    ResetDatabase3ds(&base);
    LoadDatabase3ds(a, base);
    EXPECT_EQ(meshNames(), std::vector<std::string>{"alpha"});
    FetchMaterial3ds(base, "m1", &material);
    UpdateNodeTagList3ds(base);
    EXPECT_EQ(base->nodeListDirty, 0);

    LoadDatabase3ds(b, base);
    EXPECT_EQ(base->objectListDirty, 1);
    EXPECT_EQ(base->materialListDirty, 1);
    EXPECT_EQ(base->nodeListDirty, 1);
    EXPECT_EQ(meshNames(), std::vector<std::string>{"beta"});
    FetchMaterial3ds(base, "m2", &material);
    EXPECT_EQ(material->textureMap.fileName, "two.bmp");
    FetchMaterial3ds(base, "m1", &material);
    EXPECT_EQ(material->name, "m2");  // m1 went with the old tree
    EXPECT_EQ(errorPending3ds, 0);
}

TEST_F(Database3dsTest, AFileCutInsideItsLastTrackLoads) {
    std::ifstream in(std::string(TESTDATA_DIR) + "/models3ds/assimp/RotatingCube.3DS", std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(bytes.size(), 5009u);
    bytes.resize(4971 + 20);  // the last chunk, a 38-byte track at 4971, loses its end
    open(writeBytes("cut.3ds", bytes));
    ASSERT_EQ(errorPending3ds, 0) << ErrorList3ds()[0].where;
    EXPECT_EQ(meshNames(), std::vector<std::string>{"Box01"});
    FetchMesh3ds(base, "Box01", &mesh);
    EXPECT_EQ(mesh->faces.size(), 12u);
    EXPECT_EQ(errorPending3ds, 0);
    // Only reading the cut payload is an error.
    ChunkNode3ds* track = nullptr;
    for (ChunkNode3ds* node = find(base->topchunk, 0xB002); node; node = node->next)
        for (ChunkNode3ds* c = node->firstChild; c; c = c->next)
            if (c->position == 4971) track = c;
    ASSERT_NE(track, nullptr);
    EXPECT_EQ(ReadChunkData3ds(track), nullptr);
    EXPECT_EQ(codes(), Codes{ERR_READING_FILE});
}

TEST_F(Database3dsTest, ExtendedChildrenShorterThanAHeaderAreDropped) {
    for (uint32_t length : {0u, 3u, 5u}) {
        ResetToolkit3ds();
        cw::Chunk tiny = cw::chunk(0x8002, cw::Payload());
        tiny.length = length;
        // After the dropped header, reading goes on right behind it with the next child.
        load(cw::container(0x4D4D, {cw::chunk(0x8001, cw::Payload(), {tiny, cw::chunk(0x8003, text("kept"))}),
                                    cw::chunk(0x0002, cw::Payload().i32(1))}));
        EXPECT_EQ(errorPending3ds, 0) << length;
        EXPECT_EQ(shape(db.topchunk), "4D4D(8001(8003),0002)") << length;
    }
}

// --- Keyframe nodes ---------------------------------------------------------------------------

cw::Chunk node(uint16_t kind, const std::string& name, int16_t id, int16_t parent, const std::string& instance = "",
               const std::string& fileParent = "") {
    std::vector<cw::Chunk> headerChildren;
    if (!fileParent.empty())
        headerChildren.push_back(cw::chunk(0x80F0, text(fileParent)));
    std::vector<cw::Chunk> parts{cw::chunk(0xB010, cw::Payload().str(name).u16(0).u16(0).i16(parent), headerChildren)};
    if (!instance.empty())
        parts.push_back(cw::chunk(0xB011, text(instance)));
    if (id != -1)
        parts.push_back(cw::chunk(0xB030, cw::Payload().i16(id)));
    return cw::container(kind, parts);
}

// The parent-name chunk below a node's header: its name, "(file)" for one read from the
// file (never decoded), "" when there is none, "?" when there is more than one.
std::string parentName(ChunkNode3ds* nodeChunk) {
    ChunkNode3ds* header = nullptr;
    FindChunkInTree3ds(nodeChunk, 0xB010, &header);
    std::string out;
    int count = 0;
    for (ChunkNode3ds* c = header ? header->firstChild : nullptr; c; c = c->next) {
        if (c->id != kChunkParentName3ds) continue;
        ++count;
        if (c->readIndex != kNoContext3ds) {
            out = "(file)";
            continue;
        }
        ReadChunkData3ds(c);
        auto* record = ChunkRecord3ds<StringData3ds>(c);
        out = record ? record->text : "(no record)";
    }
    return count > 1 ? "?" : out;
}

std::vector<std::string> parentNames(ChunkNode3ds* section) {
    std::vector<std::string> out;
    for (ChunkNode3ds* c = section->firstChild; c; c = c->next)
        out.push_back(parentName(c));
    return out;
}

TEST_F(Database3dsTest, KeyframeNodesGetTheirParentsNames) {
    openScene(cw::container(0x4D4D, {cw::container(0xB000, {
        cw::chunk(0xB00A, cw::Payload().i16(5).str("").i32(100)),
        node(0xB002, "body", 0, -1),
        node(0xB002, "wheel", 1, 0),
        node(0xB002, "wheel", 2, 0, "front"),
        node(0xB002, "nut", 3, 2),                  // parent with an instance name
        node(0xB002, "tag", 4, 0, "", "mine"),      // the file names its parent itself
        node(0xB003, "camera", 5, 9),               // parent not in the table
        node(0xB004, "target", 6, 5),
    })}));
    ASSERT_EQ(errorPending3ds, 0) << ErrorList3ds()[0].where;
    ChunkNode3ds* section = find(base->topchunk, kChunkKeyframes3ds);
    EXPECT_EQ(parentNames(section),
              (std::vector<std::string>{"", "", "body", "body", "wheel.front", "(file)", "", "camera"}));
    // The made chunk lives in memory only and comes after the header's own children.
    ChunkNode3ds* made = section->firstChild->next->next->firstChild->firstChild;
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->id, kChunkParentName3ds);
    EXPECT_EQ(made->readIndex, kNoContext3ds);
    // Payloads read for the step were dropped again.
    EXPECT_EQ(find(section, 0xB010)->data, nullptr);

    // The node list names instances "name.instance".
    EXPECT_EQ(FindNodeTagByNameAndType3ds(base, "wheel.front", 0xB002), section->firstChild->next->next->next);
    EXPECT_EQ(FindNodeTagByNameAndType3ds(base, "wheel", 0xB002), section->firstChild->next->next);
    EXPECT_EQ(FindNodeTagByNameAndType3ds(base, "camera", 0xB002), nullptr);
    EXPECT_NE(FindNodeTagByNameAndType3ds(base, "camera", 0xB003), nullptr);
    EXPECT_EQ(base->nodeList->entries.size(), 7u);

    const std::vector<KeyframeNode3ds> table = KeyframeNodeTable3ds(base);
    ::testing::internal::CaptureStdout();
    DumpKeyframeNodes3ds(stdout, {table[1], table[2]});
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "ID:1\tName:wheel\tParent:0\nID:2\tName:wheel.front\tParent:0\n");
}

TEST_F(Database3dsTest, NodesWithoutIdsAreNumberedInOrder) {
    // One node lacks its id, so all are numbered 0, 1, 2 in order; the ids in the
    // file (5 and 1) then name entries by that numbering.
    openScene(cw::container(0x4D4D, {cw::container(0xB000, {
        node(0xB002, "root", 5, -1),
        node(0xB002, "child", 1, 0),
        node(0xB002, "loose", -1, 0),
    })}));
    ASSERT_EQ(errorPending3ds, 0) << ErrorList3ds()[0].where;
    const std::vector<KeyframeNode3ds> table = KeyframeNodeTable3ds(base);
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(table[0].nodeId, 0);
    EXPECT_EQ(table[2].nodeId, 2);
    // "child" (id 1) finds its own entry, whose parent 0 is now "root"; "root" (id 5)
    // finds no entry, and "loose" has no id to look up.
    EXPECT_EQ(parentNames(find(base->topchunk, kChunkKeyframes3ds)), (std::vector<std::string>{"", "root", ""}));
}

// --- Memory running out -----------------------------------------------------------------------

// Every allocation of a whole extraction fails once in turn: each run either ends with
// ERR_NO_MEM on the list or completes, never crashes, and (under the leak checker) frees
// everything.
TEST_F(Database3dsTest, EveryAllocationThatFailsGivesNoMem) {
    const std::string path = std::string(TESTDATA_DIR) + "/models3ds/assimp/cube_with_diffuse_texture.3DS";
    int failures = 0;
    for (int64_t n = 1; n < 20000; ++n) {
        ResetToolkit3ds();
        file3ds* file = OpenModelFile3ds(path.c_str(), "rb");
        ASSERT_NE(file, nullptr);
        allochook::failAllocation(n);
        ResetDatabase3ds(&base);
        if (!errorPending3ds) LoadDatabase3ds(file, base);
        if (!errorPending3ds) ListMeshNames3ds(base, &names);
        for (uint32_t i = 0; !errorPending3ds && names && i < names->count; ++i) {
            FetchMesh3ds(base, names->names[i].c_str(), &mesh);
            for (size_t g = 0; !errorPending3ds && mesh && g < mesh->materialGroups.size(); ++g)
                FetchMaterial3ds(base, mesh->materialGroups[g].name.c_str(), &material);
        }
        const bool failed = allochook::disarm();
        const bool complete = !errorPending3ds;
        FreeNameList3ds(&names);
        FreeMesh3ds(&mesh);
        FreeMaterial3ds(&material);
        FreeDatabase3ds(&base);
        if (!failed) {
            EXPECT_TRUE(complete) << ErrorList3ds()[0].where;
            break;
        }
        ++failures;
        bool noMem = false;
        for (int32_t code : codes()) noMem |= code == ERR_NO_MEM;
        EXPECT_TRUE(noMem) << "allocation " << n;
    }
    EXPECT_GT(failures, 50);
}

}  // namespace
