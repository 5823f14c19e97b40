// A model file read whole for --model-info and the world builder: every real file of the
// test data gives the figures its independent reading found, and the program prints them.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/child_process.h"  // Required for: runCommand
#include "world/model_facts.h"

namespace {

const std::string models = std::string(TESTDATA_DIR) + "/models3ds";

struct Expected {
    std::vector<std::vector<std::string>> meshes;     // name, vertices, faces, texture vertices, groups, group list
    std::vector<std::vector<std::string>> materials;  // name, texture map
};

std::map<std::string, Expected> readExpected() {
    std::ifstream in(models + "/EXPECTED.tsv");
    std::map<std::string, Expected> files;
    std::string line;
    std::getline(in, line);  // column names
    while (std::getline(in, line)) {
        std::vector<std::string> cells;
        std::stringstream fields(line);
        for (std::string cell; std::getline(fields, cell, '\t');) cells.push_back(cell);
        cells.resize(8);
        if (cells[1] == "mesh")
            files[cells[0]].meshes.push_back({cells[2], cells[3], cells[4], cells[5], cells[6], cells[7]});
        else if (cells[1] == "material")
            files[cells[0]].materials.push_back({cells[2], cells[7]});
        else
            files[cells[0]];  // a file with neither
    }
    return files;
}

TEST(ModelFacts, RealFilesGiveTheirExpectedMeshesAndMaterials) {
    const std::map<std::string, Expected> expected = readExpected();
    ASSERT_GE(expected.size(), 20u);
    for (const auto& [file, want] : expected) {
        ModelFacts facts;
        std::string error;
        const bool read = readModelFacts((models + "/" + file).c_str(), facts, error);
        if (want.meshes.empty() && want.materials.empty()) {
            // The zero-byte file: refused with a reason, not read as an empty model.
            EXPECT_FALSE(read && !facts.meshes.empty()) << file;
            continue;
        }
        ASSERT_TRUE(read) << file << ": " << error;
        ASSERT_EQ(facts.meshes.size(), want.meshes.size()) << file;
        for (size_t i = 0; i < want.meshes.size(); ++i) {
            const ModelMeshFacts& mesh = facts.meshes[i];
            const auto& row = want.meshes[i];
            EXPECT_EQ(mesh.name, row[0]) << file;
            EXPECT_EQ(std::to_string(mesh.vertices.size()), row[1]) << file << " " << row[0];
            EXPECT_EQ(std::to_string(mesh.faces.size()), row[2]) << file << " " << row[0];
            EXPECT_EQ(std::to_string(mesh.texCoords.size()), row[3]) << file << " " << row[0];
            std::string groups;
            for (const MaterialGroup3ds& g : mesh.groups)
                groups += (groups.empty() ? "" : ";") + g.name + ":" + std::to_string(g.faceIndices.size());
            EXPECT_EQ(groups, row[5]) << file << " " << row[0];
        }
        ASSERT_EQ(facts.materials.size(), want.materials.size()) << file;
        for (size_t i = 0; i < want.materials.size(); ++i) {
            EXPECT_EQ(facts.materials[i].name, want.materials[i][0]) << file;
            EXPECT_EQ(facts.materials[i].textureMap, want.materials[i][1]) << file;
        }
    }
}

TEST(ModelFacts, ProgramPrintsMeshesMaterialsAndBounds) {
    std::string out;
    const std::string rifle = models + "/assimp-nonbsd/mar_rifle.3ds";
    ASSERT_EQ(runCommand(std::string(ENGINE_BINARY) + " --model-info " + rifle, out), 0) << out;
    EXPECT_EQ(out, rifle + ": 1 mesh, 572 faces, 1 material\n"
                           "mesh \"m_rifle\": 421 vertices, 572 faces, 421 texture coordinates; material \"mat1\" on "
                           "572 faces\n"
                           "material \"mat1\": texture map m_rifl.bmp\n"
                           "bounds: x -3.52259 to 3.52262, y -71.3027 to 44.979, z -21.5369 to 20.2329; size 7.04521 x "
                           "116.282 x 41.7698\n");
    const std::string wrong = models + "/online3dviewer/wrong.3ds";
    EXPECT_EQ(runCommand(std::string(ENGINE_BINARY) + " --model-info " + wrong + " 2>&1", out), 1);
    EXPECT_EQ(out, "portal-engine: cannot read the model " + wrong + ": " + wrong +
                       " is no 3D Studio file (it does not start with a scene chunk)\n");
}

}  // namespace
