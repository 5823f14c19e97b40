// The world builder's models from files: real .3ds models of the test data and small
// models of other formats come into a world scaled, with their texture maps, and read
// back through the engine's own toolkit and checker; boxes follow the model as placed.
#include <gtest/gtest.h>
#include <fcntl.h>     // Required for: open, unblocking a FIFO the importer waits on
#include <sys/stat.h>  // Required for: mkfifo
#include <unistd.h>    // Required for: close

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/child_process.h"  // Required for: runCommand, the engine's --check
#include "world/model_facts.h"
#include "worldbuild/build.h"
#include "worldbuild/import.h"

namespace fs = std::filesystem;
using namespace worldbuild;

namespace {

const std::string modelsDir = std::string(TESTDATA_DIR) + "/models3ds/assimp-nonbsd";

std::string freshDir() {
    std::string pattern = testing::TempDir() + "import_XXXXXX";
    return mkdtemp(pattern.data()) ? pattern : std::string();
}

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeText(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

// One room round the start point, and a texture for it.
const char* const startRoom =
    "texture wall.bmp pattern bricks flavour rgb24\n"                                  // line 1
    "room start box -35 0 5 -15 8 25 floor wall.bmp ceiling wall.bmp walls wall.bmp\n";  // line 2

struct Built {
    bool ok = false;
    std::string error;
    std::vector<std::string> warnings;
    std::string map;
};

// Builds `text` as DIR/world.txt into DIR/out.
Built build(const std::string& dir, const std::string& text) {
    writeText(dir + "/world.txt", text);
    Built built;
    built.ok = buildWorld(dir + "/world.txt", dir + "/out", built.error, nullptr, &built.warnings);
    const std::vector<uint8_t> map = readFile(dir + "/out/map.m");
    built.map.assign(map.begin(), map.end());
    return built;
}

// The numbers of the map's placed-model records, in map order.
std::vector<std::vector<std::string>> placedRecords(const std::string& map) {
    std::vector<std::vector<std::string>> records;
    std::istringstream lines(map);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("99995 ", 0) != 0) continue;
        std::istringstream words(line);
        std::vector<std::string> record;
        for (std::string w; words >> w;) record.push_back(w);
        records.push_back(record);
    }
    return records;
}

// The engine's checker over a built world: status and report.
int checkWorldFolder(const std::string& dir, std::string& report) {
    return runCommand(std::string(ENGINE_BINARY) + " --check " + dir + " 2>&1", report);
}

size_t faceCount(const ModelFacts& facts) {
    size_t faces = 0;
    for (const ModelMeshFacts& mesh : facts.meshes) faces += mesh.faces.size();
    return faces;
}

// --- Real 3D Studio models -------------------------------------------------------------

struct RealModel {
    const char* file;
    float scale;
    size_t meshes, faces;        // from the test data's expected figures
    const char* mapInModel;      // the texture map as the model names it
    const char* mapOnDisk;       // the bitmap beside it (a name in another case, for one)
};

// The rifle is 116 units long: scaled, it fits a room; its map and the other model's
// (named in capitals, stored in lower case) come along byte for byte; the copy has the
// original's meshes and faces and its bounds times the scale, and the engine's checker
// passes the world.
TEST(ImportedModels, RealModelsComeInScaledWithTheirTextureMaps) {
    const RealModel models[] = {{"mar_rifle.3ds", 0.05f, 1, 572, "m_rifl.bmp", "m_rifl.bmp"},
                                {"mp5_sil.3ds", 0.2f, 1, 366, "MP5SIL.BMP", "mp5sil.bmp"}};
    for (const RealModel& m : models) {
        const std::string dir = freshDir();
        std::ostringstream text;
        text << startRoom << "model gun.3ds file " << modelsDir << "/" << m.file << " scale " << m.scale << "\n"
             << "place gun.3ds in start at -25 2 20\n";
        const Built built = build(dir, text.str());
        ASSERT_TRUE(built.ok) << m.file << ": " << built.error;
        EXPECT_TRUE(built.warnings.empty()) << built.warnings.front();

        ModelFacts original, copy;
        std::string error;
        ASSERT_TRUE(readModelFacts((modelsDir + "/" + m.file).c_str(), original, error)) << error;
        ASSERT_TRUE(readModelFacts((dir + "/out/gun.3ds").c_str(), copy, error)) << error;
        EXPECT_EQ(copy.meshes.size(), m.meshes) << m.file;
        EXPECT_EQ(faceCount(copy), m.faces) << m.file;
        ASSERT_EQ(copy.materials.size(), 1u) << m.file;
        EXPECT_EQ(copy.materials[0].textureMap, m.mapInModel) << m.file;
        EXPECT_EQ(copy.meshes[0].texCoords.size(), original.meshes[0].texCoords.size()) << m.file;
        const ModelBounds before = modelBounds(original), after = modelBounds(copy);
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(after.low[k], before.low[k] * m.scale, 1e-4) << m.file << " axis " << k;
            EXPECT_NEAR(after.high[k], before.high[k] * m.scale, 1e-4) << m.file << " axis " << k;
        }
        EXPECT_EQ(readFile(dir + "/out/" + m.mapInModel), readFile(modelsDir + "/" + m.mapOnDisk)) << m.file;

        std::string report;
        EXPECT_EQ(checkWorldFolder(dir + "/out", report), 0) << report;
        EXPECT_NE(report.find("0 errors, 0 warnings"), std::string::npos) << report;
    }
}

// A map that is no BMP is renamed in the copy; a texture the description makes under
// that name stands in for it (the picture converted, say), and nothing else is brought.
TEST(ImportedModels, TextureOfTheDescriptionStandsInForAMapOfAnotherFormat) {
    const std::string dir = freshDir();
    const Built built = build(dir, std::string(startRoom) + "texture jeep1.bmp pattern wood flavour rgb24\n"
                                       "model jeep.3ds file " + modelsDir + "/jeep1.3ds scale 0.3\n"
                                       "place jeep.3ds in start at -25 0 20 turn -90 0 0\n");
    ASSERT_TRUE(built.ok) << built.error;
    ModelFacts copy;
    std::string error;
    ASSERT_TRUE(readModelFacts((dir + "/out/jeep.3ds").c_str(), copy, error)) << error;
    EXPECT_EQ(copy.meshes.size(), 7u);
    EXPECT_EQ(faceCount(copy), 2032u);
    ASSERT_EQ(copy.materials.size(), 1u);
    EXPECT_EQ(copy.materials[0].textureMap, "jeep1.bmp");
    EXPECT_FALSE(fs::exists(dir + "/out/jeep1.jpg"));
    std::string report;
    EXPECT_EQ(checkWorldFolder(dir + "/out", report), 0) << report;
}

// Without a box, the place's box is the model's as placed and turned (rounded outwards
// to a thousandth); a place's own scale writes a scaled copy once, whichever places use it.
TEST(ImportedModels, PlacesWithoutBoxFollowTheModelAndScalesMakeOneCopyEach) {
    const std::string dir = freshDir();
    const Built built = build(dir, std::string(startRoom) + "model rifle.3ds file " + modelsDir +
                                       "/mar_rifle.3ds scale 0.05\n"
                                       "place rifle.3ds in start at -25 1 18 turn -90 0 0\n"
                                       "place rifle.3ds in start at -20 1 18 scale 0.5\n"
                                       "place rifle.3ds in start at -30 1 18 scale 0.5 spin\n");
    ASSERT_TRUE(built.ok) << built.error;
    const auto records = placedRecords(built.map);
    ASSERT_EQ(records.size(), 3u) << built.map;
    // The rifle's bounds times 0.05: x -0.17613 to 0.17613, y -3.56513 to 2.24895,
    // z -1.07685 to 1.01164. Turned -90 about X, y becomes z and z becomes -y.
    const std::vector<std::string> standing = {"99995", "rifle.3ds", "-25", "1", "18", "-90", "0", "0",
                                               "-0.177", "-1.077", "-2.249", "0.177", "1.012", "3.566", "0"};
    EXPECT_EQ(records[0], standing);
    EXPECT_EQ(records[1][1], "rifle-2.3ds");
    EXPECT_EQ(records[2][1], "rifle-2.3ds") << "one copy for one scale";
    const std::vector<std::string> halfBox = {"-0.089", "-1.783", "-0.539", "0.089", "1.125", "0.506"};
    EXPECT_EQ(std::vector<std::string>(records[1].begin() + 8, records[1].begin() + 14), halfBox);
    // Spinning about its own Z: the farthest point's circle, x and y alike.
    EXPECT_EQ(records[2][8], "-" + records[2][11]);
    EXPECT_EQ(records[2][9], "-" + records[2][12]);
    ModelFacts copy;
    std::string error;
    ASSERT_TRUE(readModelFacts((dir + "/out/rifle-2.3ds").c_str(), copy, error)) << error;
    EXPECT_NEAR(modelBounds(copy).low[1], -3.56513f / 2, 1e-4);
    std::string report;
    EXPECT_EQ(checkWorldFolder(dir + "/out", report), 0) << report;
}

// The builder's own shapes get their boxes and scaled copies the same way: a crate 2
// across and 2 high on its origin, Z up, doubled and stood up.
TEST(ImportedModels, ShapesGetBoxesAndScaledCopiesToo) {
    const std::string dir = freshDir();
    const Built built = build(dir, std::string(startRoom) + "model crate.3ds shape crate texture wall.bmp size 2 2\n"
                                       "place crate.3ds in start at -25 0 20 turn -90 0 0 scale 2\n");
    ASSERT_TRUE(built.ok) << built.error;
    EXPECT_NE(built.map.find("99995 crate-2.3ds -25 0 20 -90 0 0 -2 0 -2 2 4 2 0"), std::string::npos) << built.map;
    ModelFacts copy;
    std::string error;
    ASSERT_TRUE(readModelFacts((dir + "/out/crate-2.3ds").c_str(), copy, error)) << error;
    const ModelBounds b = modelBounds(copy);
    EXPECT_EQ(std::vector<float>(b.low, b.low + 3), std::vector<float>({-2, -2, 0}));
    EXPECT_EQ(std::vector<float>(b.high, b.high + 3), std::vector<float>({2, 2, 4}));
    ASSERT_EQ(copy.materials.size(), 1u);
    EXPECT_EQ(copy.materials[0].textureMap, "wall.bmp");
}

TEST(ImportedModels, BoxGivenByHandThatMissesTheModelIsWarnedAbout) {
    const std::string dir = freshDir();
    const Built built = build(dir, std::string(startRoom) + "model rifle.3ds file " + modelsDir +
                                       "/mar_rifle.3ds scale 0.05\n"
                                       "place rifle.3ds in start at -25 1 18 box -1 -4 -2 1 3 2\n"
                                       "place rifle.3ds in start at -20 1 18 turn -90 0 0 box -1 -4 -2 1 3 2\n");
    ASSERT_TRUE(built.ok) << built.error;
    ASSERT_EQ(built.warnings.size(), 1u) << "the first box covers the model; standing up, it does not";
    EXPECT_EQ(built.warnings[0].rfind(dir + "/world.txt:5: warning: the box does not cover the model 'rifle.3ds' "
                                            "as placed and turned: about its position it reaches x -0.1761 to 0.1761, "
                                            "y -1.077 to 1.012, z -2.249 to 3.565",
                                      0),
              0u)
        << built.warnings[0];
    EXPECT_NE(built.map.find("99995 rifle.3ds -20 1 18 -90 0 0 -1 -4 -2 1 3 2 0"), std::string::npos)
        << "the box given is kept";
}

// The engine turns a model about X, then Y, then Z on its matrix stack (glRotatef, right
// handed), so a point is turned about Z first. Corners x 1..2, y 3..5, z 7..11.
TEST(ImportedModels, PlacedBoxTurnsAsTheEngineDraws) {
    std::vector<float> points;
    for (const float x : {1.0f, 2.0f})
        for (const float y : {3.0f, 5.0f})
            for (const float z : {7.0f, 11.0f}) points.insert(points.end(), {x, y, z});
    struct Case {
        std::array<int, 3> turn;
        float scale;
        bool spin;
        std::array<float, 6> box;
    };
    const float reach = std::sqrt(2.0f * 2.0f + 5.0f * 5.0f);
    const Case cases[] = {
        {{0, 0, 0}, 1, false, {1, 3, 7, 2, 5, 11}},
        {{0, 0, 0}, 2, false, {2, 6, 14, 4, 10, 22}},
        {{-90, 0, 0}, 1, false, {1, 7, -5, 2, 11, -3}},   // (x, z, -y)
        {{0, 90, 0}, 1, false, {7, 3, -2, 11, 5, -1}},    // (z, y, -x)
        {{0, 0, 90}, 1, false, {-5, 1, 7, -3, 2, 11}},    // (-y, x, z)
        {{90, 0, 90}, 1, false, {-5, -11, 1, -3, -7, 2}},  // about Z, then X: (-y, -z, x)
        {{0, 0, 0}, 1, true, {-reach, -reach, 7, reach, reach, 11}},
    };
    for (const Case& c : cases) {
        const PlacedBox box = placedBox(points, c.scale, c.turn, c.spin);
        for (size_t k = 0; k < 3; ++k) {
            EXPECT_NEAR(box.low[k], c.box[k], 1e-5) << c.turn[0] << " " << c.turn[1] << " " << c.turn[2] << " axis " << k;
            EXPECT_NEAR(box.high[k], c.box[k + 3], 1e-5) << c.turn[0] << " " << c.turn[1] << " " << c.turn[2] << " axis " << k;
        }
    }
}

// --- Other formats ---------------------------------------------------------------------

// A unit square in X-Y, as two triangles, with texture coordinates, in each format.
const char* const squareObj =
    "# a square\nmtllib square.mtl\nv 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n"
    "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nusemtl skin\nf 1/1 2/2 3/3\nf 1/1 3/3 4/4\n";
const char* const squareMtl = "newmtl skin\nKd 1 1 1\nmap_Kd Skin.BMP\n";
const char* const squareStl =
    "solid square\n"
    "facet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nvertex 1 1 0\nendloop\nendfacet\n"
    "facet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 1 0\nvertex 0 1 0\nendloop\nendfacet\n"
    "endsolid square\n";
const char* const squarePly =
    "ply\nformat ascii 1.0\nelement vertex 4\nproperty float x\nproperty float y\nproperty float z\n"
    "element face 2\nproperty list uchar int vertex_indices\nend_header\n"
    "0 0 0\n1 0 0\n1 1 0\n0 1 0\n3 0 1 2\n3 0 2 3\n";

void put(std::vector<uint8_t>& out, const void* data, size_t size) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    out.insert(out.end(), p, p + size);
}

std::vector<uint8_t> squareStlBinary() {
    std::vector<uint8_t> out(80, ' ');
    std::memcpy(out.data(), "solid but binary", 16);  // many exporters' headers read so
    const uint32_t count = 2;
    put(out, &count, 4);
    const float triangles[2][12] = {{0, 0, 1, 0, 0, 0, 1, 0, 0, 1, 1, 0}, {0, 0, 1, 0, 0, 0, 1, 1, 0, 0, 1, 0}};
    for (const auto& t : triangles) {
        put(out, t, sizeof t);
        out.insert(out.end(), {0, 0});
    }
    return out;
}

// The glTF buffer: positions, texture coordinates and indices of the square.
std::vector<uint8_t> squareBuffer() {
    std::vector<uint8_t> out;
    const float positions[12] = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
    const float uv[8] = {0, 0, 1, 0, 1, 1, 0, 1};
    const uint16_t indices[6] = {0, 1, 2, 0, 2, 3};
    put(out, positions, sizeof positions);
    put(out, uv, sizeof uv);
    put(out, indices, sizeof indices);
    return out;  // 48 + 32 + 12 bytes
}

std::string base64(const std::vector<uint8_t>& bytes) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t v = uint32_t(bytes[i]) << 16;
        if (i + 1 < bytes.size()) v |= uint32_t(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size()) v |= bytes[i + 2];
        out += digits[v >> 18 & 63];
        out += digits[v >> 12 & 63];
        out += i + 1 < bytes.size() ? digits[v >> 6 & 63] : '=';
        out += i + 2 < bytes.size() ? digits[v & 63] : '=';
    }
    return out;
}

// The square's glTF document: one node that lifts it by 5 in Z, one material whose base
// colour is Skin.BMP; the buffer as a data URI, or (for .glb) the binary chunk.
std::string squareGltf(bool binary) {
    const std::string buffer = binary ? "{\"byteLength\":92}"
                                      : "{\"byteLength\":92,\"uri\":\"data:application/octet-stream;base64," +
                                            base64(squareBuffer()) + "\"}";
    return "{\"asset\":{\"version\":\"2.0\"},\"scene\":0,\"scenes\":[{\"nodes\":[0]}],"
           "\"nodes\":[{\"mesh\":0,\"translation\":[0,0,5]}],"
           "\"meshes\":[{\"primitives\":[{\"attributes\":{\"POSITION\":0,\"TEXCOORD_0\":1},\"indices\":2,\"material\":0}]}],"
           "\"materials\":[{\"pbrMetallicRoughness\":{\"baseColorTexture\":{\"index\":0}}}],"
           "\"textures\":[{\"source\":0}],\"images\":[{\"uri\":\"Skin.BMP\"}],\"buffers\":[" + buffer + "],"
           "\"bufferViews\":[{\"buffer\":0,\"byteOffset\":0,\"byteLength\":48},"
           "{\"buffer\":0,\"byteOffset\":48,\"byteLength\":32},{\"buffer\":0,\"byteOffset\":80,\"byteLength\":12}],"
           "\"accessors\":[{\"bufferView\":0,\"componentType\":5126,\"count\":4,\"type\":\"VEC3\",\"min\":[0,0,0],"
           "\"max\":[1,1,0]},{\"bufferView\":1,\"componentType\":5126,\"count\":4,\"type\":\"VEC2\"},"
           "{\"bufferView\":2,\"componentType\":5123,\"count\":6,\"type\":\"SCALAR\"}]}";
}

std::vector<uint8_t> squareGlb() {
    std::string json = squareGltf(true);
    while (json.size() % 4) json += ' ';
    std::vector<uint8_t> bin = squareBuffer();
    while (bin.size() % 4) bin.push_back(0);
    std::vector<uint8_t> out;
    const uint32_t header[3] = {0x46546C67, 2, uint32_t(12 + 8 + json.size() + 8 + bin.size())};
    put(out, header, sizeof header);
    const uint32_t jsonChunk[2] = {uint32_t(json.size()), 0x4E4F534A};
    put(out, jsonChunk, sizeof jsonChunk);
    put(out, json.data(), json.size());
    const uint32_t binChunk[2] = {uint32_t(bin.size()), 0x004E4942};
    put(out, binChunk, sizeof binChunk);
    put(out, bin.data(), bin.size());
    return out;
}

struct Format {
    const char* file;
    std::vector<uint8_t> bytes;
    bool texCoords;    // the format carries them
    bool ownMap;       // its material names Skin.BMP; otherwise the model's 'texture' is used
    float z;           // where the square lies
    // v at the corner (0, 0): the engine's v runs up the picture as OBJ's does; glTF's
    // runs down, so its 0 at the top becomes 1.
    float vAtOrigin = 0;
};

std::vector<uint8_t> bytesOf(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

// Each format converts to a .3ds of the square's two faces (scaled by 3), with texture
// coordinates where the format has them and one material whose map is the format's own
// texture (brought along) or the model's `texture`; the engine's checker passes each world.
TEST(ImportedModels, OtherFormatsConvertToThreeDStudioFiles) {
    const Format formats[] = {
        {"square.obj", bytesOf(squareObj), true, true, 0},
        {"square.stl", bytesOf(squareStl), false, false, 0},
        {"binary.stl", squareStlBinary(), false, false, 0},
        {"square.ply", bytesOf(squarePly), false, false, 0},
        {"square.gltf", bytesOf(squareGltf(false)), true, true, 15, 1},
        {"square.glb", squareGlb(), true, true, 15, 1},
    };
    for (const Format& f : formats) {
        const std::string dir = freshDir();
        fs::create_directory(dir + "/models");
        std::ofstream(dir + "/models/" + f.file, std::ios::binary).write(reinterpret_cast<const char*>(f.bytes.data()),
                                                                        std::streamsize(f.bytes.size()));
        writeText(dir + "/models/square.mtl", squareMtl);
        fs::copy_file(modelsDir + "/m_rifl.bmp", dir + "/models/skin.bmp");
        const Built built = build(dir, std::string(startRoom) + "model sq.3ds file models/" + f.file +
                                           " scale 3 texture wall.bmp\nplace sq.3ds in start at -25 2 20\n");
        ASSERT_TRUE(built.ok) << f.file << ": " << built.error;
        ModelFacts facts;
        std::string error;
        ASSERT_TRUE(readModelFacts((dir + "/out/sq.3ds").c_str(), facts, error)) << f.file << ": " << error;
        EXPECT_EQ(faceCount(facts), 2u) << f.file;
        ASSERT_EQ(facts.materials.size(), 1u) << f.file;
        EXPECT_EQ(facts.materials[0].textureMap, f.ownMap ? "Skin.BMP" : "wall.bmp") << f.file;
        if (f.ownMap) {
            EXPECT_EQ(readFile(dir + "/out/Skin.BMP"), readFile(modelsDir + "/m_rifl.bmp")) << f.file;
        }
        ASSERT_EQ(facts.meshes.size(), 1u) << f.file;
        EXPECT_EQ(facts.meshes[0].groups.size(), 1u) << f.file;
        EXPECT_EQ(facts.meshes[0].texCoords.empty(), !f.texCoords) << f.file;
        const ModelMeshFacts& mesh = facts.meshes[0];
        for (size_t i = 0; i < mesh.texCoords.size(); ++i)
            if (mesh.vertices[i].x == 0 && mesh.vertices[i].y == 0) {
                EXPECT_EQ(mesh.texCoords[i].u, 0) << f.file;
                EXPECT_EQ(mesh.texCoords[i].v, f.vAtOrigin) << f.file;
            }
        const ModelBounds b = modelBounds(facts);
        const float expected[6] = {0, 0, f.z, 3, 3, f.z};
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(b.low[k], expected[k], 1e-5) << f.file << " axis " << k;
            EXPECT_NEAR(b.high[k], expected[k + 3], 1e-5) << f.file << " axis " << k;
        }
        std::string report;
        EXPECT_EQ(checkWorldFolder(dir + "/out", report), 0) << f.file << ": " << report;
    }
}

// --- Refusals --------------------------------------------------------------------------

struct BadImport {
    const char* what;
    std::string lines;    // after the start room (so from line 3)
    std::string message;  // expected start, after "DIR/world.txt:"
};

TEST(ImportedModels, EachBadModelStatementIsRefusedWithItsLineAndNothingIsWritten) {
    const std::string dir = freshDir();
    // The rifle alone, without its bitmap; the jeep, whose map is a JPEG; an OBJ named .3ds.
    fs::copy_file(modelsDir + "/mar_rifle.3ds", dir + "/lonely.3ds");
    writeText(dir + "/fake.3ds", squareObj);
    // FIFOs are refused, never waited on.
    ASSERT_EQ(mkfifo((dir + "/pipe.obj").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo((dir + "/pipe.3ds").c_str(), 0600), 0);
    const std::string jeep = modelsDir + "/jeep1.3ds";
    const BadImport cases[] = {
        {"missing file", "model m.3ds file nowhere.obj\n", "3: model 'm.3ds': " + dir + "/nowhere.obj: it cannot be read"},
        {"texture map missing", "model m.3ds file lonely.3ds\n",
         "3: model 'm.3ds': its texture map m_rifl.bmp is missing: " + dir + "/m_rifl.bmp: "},
        {"texture map a JPEG", "model m.3ds file " + jeep + "\n",
         "3: model 'm.3ds': its texture map jeep1.jpg is a JPEG image; textures are BMP files: convert it with "
         "'texture jeep1.bmp file " + modelsDir + "/jeep1.jpg' before the model"},
        {"OBJ named as a 3D Studio file", "model m.3ds file fake.3ds\n",
         "3: model 'm.3ds': " + dir + "/fake.3ds: " + dir + "/fake.3ds is an OBJ model; models are 3D Studio files"},
        {"FIFO for the importer", "model m.3ds file pipe.obj\n",
         "3: model 'm.3ds': " + dir + "/pipe.obj: it cannot be read: is a FIFO"},
        {"FIFO for the toolkit", "model m.3ds file pipe.3ds\n",
         "3: model 'm.3ds': " + dir + "/pipe.3ds: ERR_OPENING_FILE: Could not open requested file (" + dir +
             "/pipe.3ds: is a FIFO)"},
        {"shape and file", "model m.3ds file lonely.3ds shape crate\n", "3: 'shape' goes with a shape, not with 'file'"},
        {"neither shape nor file", "model m.3ds texture wall.bmp\n",
         "3: model needs 'file', or 'shape', 'texture' and 'size'; 'shape' is missing"},
        {"scale of nothing", "model m.3ds file lonely.3ds scale 0\n", "3: scale must be above 0"},
        {"place scale below 0", "model m.3ds shape crate texture wall.bmp size 1 1\nplace m.3ds in start at -25 0 18 "
                                "scale -2\n",
         "4: scale must be above 0"},
        {"scaled copy name too long", "model long_model_name.3ds shape crate texture wall.bmp size 1 1\n"
                                      "place long_model_name.3ds in start at -25 0 18 scale 2\n",
         "4: a scaled copy of 'long_model_name.3ds' would be named 'long_model_name-2.3ds', longer than 19 characters"},
        {"unknown texture for faces without one", "model m.3ds file " + modelsDir + "/mar_rifle.3ds texture no.bmp\n",
         "3: unknown texture 'no.bmp'"},
    };
    for (const BadImport& c : cases) {
        fs::remove_all(dir + "/out");
        const Built built = build(dir, std::string(startRoom) + c.lines);
        EXPECT_FALSE(built.ok) << c.what;
        EXPECT_EQ(built.error.rfind(dir + "/world.txt:" + c.message, 0), 0u) << c.what << ": got " << built.error;
        EXPECT_FALSE(fs::exists(dir + "/out")) << c.what << ": nothing is written";
    }
}

// What a model names is opened as the model is: a material file that is a FIFO or a
// device is passed over as missing, never waited on or read without end.
TEST(ImportedModels, FilesAModelNamesAreOpenedOnlyWhenRegular) {
    for (const char* named : {"pipe.mtl", "zero.mtl"}) {
        const std::string dir = freshDir();
        ASSERT_EQ(mkfifo((dir + "/pipe.mtl").c_str(), 0600), 0);
        fs::create_symlink("/dev/zero", dir + "/zero.mtl");
        std::string obj = squareObj;
        obj.replace(obj.find("square.mtl"), std::strlen("square.mtl"), named);
        writeText(dir + "/square.obj", obj);
        // Should the importer wait on the FIFO, a writer opened after a long while lets the
        // build end, and the test fails rather than hangs.
        std::atomic<bool> built{false}, unblocked{false};
        std::thread rescue([&] {
            for (int i = 0; i < 200 && !built; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (built) return;
            unblocked = true;
            const int fd = ::open((dir + "/pipe.mtl").c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) ::close(fd);
        });
        const Built result = build(dir, std::string(startRoom) + "model sq.3ds file square.obj texture wall.bmp\n"
                                                                 "place sq.3ds in start at -25 2 20\n");
        built = true;
        rescue.join();
        EXPECT_FALSE(unblocked) << named << ": the importer waited on the FIFO";
        EXPECT_TRUE(result.ok) << named << ": " << result.error;
    }
}

// A converted model whose only texture is held inside the file draws nothing: said, not
// silently dropped.
TEST(ImportedModels, ModelWithoutTextureMapIsWarnedAbout) {
    const std::string dir = freshDir();
    writeText(dir + "/square.stl", squareStl);
    const Built built = build(dir, std::string(startRoom) + "model sq.3ds file square.stl\n");
    ASSERT_TRUE(built.ok) << built.error;
    ASSERT_EQ(built.warnings.size(), 1u);
    EXPECT_EQ(built.warnings[0].rfind(dir + "/world.txt:3: warning: model 'sq.3ds' has no texture map", 0), 0u)
        << built.warnings[0];
}

}  // namespace
