// The model builder without a GL context: models that draw nothing, and every way a
// model file ends the run (status -1, the toolkit's messages and the file's name on
// standard error). Lists are compiled only for textured groups, so none of these
// reaches GL; the drawing side is tested with the renderer.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "model3ds/model3ds.h"
#include "assets/model_writer.h"
#include "world/model.h"
#include "world/world.h"

namespace {

namespace mw = modelwriter;
namespace cw = chunkwriter;

std::string realModel(const std::string& name) { return std::string(TESTDATA_DIR) + "/models3ds/" + name; }

class ModelBuilder : public ::testing::Test {
protected:
    void SetUp() override {
        resetWorld();
        ResetToolkit3ds();
        dir = ::testing::TempDir() + "model_builder_" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name() + "/";
        std::filesystem::create_directories(dir);
    }
    void TearDown() override {
        resetWorld();
        ResetToolkit3ds();
        std::filesystem::remove_all(dir);
    }

    std::string write(const std::string& name, const cw::Chunk& root) {
        EXPECT_TRUE(cw::writeFile(dir + name, cw::encode(root)));
        return dir + name;
    }

    std::string dir;
};

TEST_F(ModelBuilder, ModelsWithoutTextureMapsCompileNothingAndOpenNothing) {
    const char* files[] = {"celestia/apollo.3ds",        "vtk-data/iflamigm.3ds",   "assimp-nonbsd/cart_wheel.3DS",
                           "castle-demo-models/p47d.3ds", "assimp/RotatingCube.3DS", "assimp-nonbsd/pyramob.3DS",
                           "online3dviewer/wrong.3ds"};
    for (const char* file : files) {
        SCOPED_TRACE(file);
        lastModelTexture = 33;
        EXPECT_EQ(buildModel(realModel(file).c_str()), 0);
        EXPECT_EQ(lastModelTexture, 33);
        EXPECT_EQ(textureCount, 0);
        EXPECT_EQ(errorPending3ds, 0) << ErrorList3ds()[0].where;
        for (uint8_t slot = 0; slot < UsedSlots3ds(); ++slot) EXPECT_EQ(GetContext3ds(slot), nullptr);
    }
}

// A mesh whose first face is sound and second is not, in a textured group.
mw::Mesh brokenMesh(uint16_t badCorner, uint16_t badFace) {
    mw::Mesh mesh = mw::square("bad", "tex", 2);
    mesh.faces[1][2] = badCorner;
    mesh.groups[0].faces = {0, badFace};
    return mesh;
}

TEST_F(ModelBuilder, EveryFaultEndsTheRunWithItsMessages) {
    std::ifstream in(realModel("assimp-nonbsd/mp5_sil.3ds"), std::ios::binary);
    std::vector<uint8_t> cut((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    cut.resize(cut.size() / 2);
    ASSERT_TRUE(cw::writeFile(dir + "cut.3ds", cut));
    ASSERT_TRUE(cw::writeFile(dir + "empty.3ds", {}));
    const mw::Material textured{"tex", "wood.bmp"};
    write("vertex.3ds", mw::scene({textured}, {brokenMesh(9, 1)}));
    write("face.3ds", mw::scene({textured}, {brokenMesh(2, 5)}));
    cw::Chunk badColour = cw::container(0x4D4D, {cw::container(0x3D3D, {
        cw::container(0xAFFF, {cw::chunk(0xA000, cw::Payload().str("grey")),
                               cw::container(0xA010, {cw::chunk(0x0012, cw::Payload().u8(1).u8(2).u8(3))})}),
        mw::meshChunk(mw::square("sq", "grey", 1)),
    })});
    write("colour.3ds", badColour);

    const struct {
        const char* file;
        const char* pattern;
    } cases[] = {
        {"none.3ds", "ERR_OPENING_FILE: Could not open requested file\nCannot build the model .*none\\.3ds"},
        {"empty.3ds", "ERR_CREATING_DATABASE: .*\nERR_READING_FILE: .*\nCannot build the model .*empty\\.3ds: "},
        {"cut.3ds", "ERR_CREATING_DATABASE.*ERR_READING_FILE.*Cannot build the model .*cut\\.3ds: .*cut\\.3ds"},
        {"colour.3ds", "ERR_UNFOUND_CHUNK: .*\nCannot build the model .*colour\\.3ds"},
        {"vertex.3ds", "Cannot build the model .*vertex\\.3ds: corrupt mesh \"bad\": face 1 names vertex 9 of 4"},
        {"face.3ds", "Cannot build the model .*face\\.3ds: corrupt mesh \"bad\": material group \"tex\" names face 5 of 2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = dir + c.file;
        EXPECT_EXIT(buildModel(path.c_str()), ::testing::ExitedWithCode(255), c.pattern);
    }
}

TEST_F(ModelBuilder, ATextureBeyondTheTablesCapacityEndsTheRun) {
    for (int i = 0; i < maxTextures; ++i) std::snprintf(textures[i].fileName, nameFieldSize, "t%d.bmp", i);
    textureCount = maxTextures;
    const std::string fresh = write("fresh.3ds", mw::scene({{"tex", "new.bmp"}}, {mw::square("sq", "tex", 1)}));
    EXPECT_EXIT(buildModel(fresh.c_str()), ::testing::ExitedWithCode(255),
                "Cannot build the model .*fresh\\.3ds: its texture new\\.bmp does not fit: more than 500 textures");
    // One already in the full table is found, not added.
    EXPECT_EQ(findOrAddTexture("t499.bmp", nullptr), maxTextures - 1);
    EXPECT_EQ(findOrAddTexture("t500.bmp", nullptr), -1);
}

}  // namespace
