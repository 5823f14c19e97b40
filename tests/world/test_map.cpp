// The map loader: records, tables and invariants, and every refused input with its line.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "world/map.h"
#include "world/world.h"

namespace {

std::string writeTempMap(const std::string& text) {
    const std::string path = testing::TempDir() + "map_test_" +
                             testing::UnitTest::GetInstance()->current_test_info()->name() + ".m";
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

// Counts what the loader asks of its resolvers.
struct FakeResolvers {
    std::vector<std::string> texturesLoaded;
    std::vector<std::string> modelsBuilt;
    MapResolvers resolvers() {
        MapResolvers r;
        r.loadTexture = [this](const char* name) {
            texturesLoaded.push_back(name);
            auto image = std::make_unique<ImageRecord>();
            image->width = image->height = 1;
            image->pixels = {1, 2, 3};
            return image;
        };
        r.buildModel = [this](const char* name) {
            modelsBuilt.push_back(name);
            lastModelTexture = 40 + int32_t(modelsBuilt.size());
            return int32_t(100 + modelsBuilt.size());
        };
        return r;
    }
};

class MapLoader : public testing::Test {
protected:
    void SetUp() override { resetWorld(); }
    void TearDown() override { resetWorld(); }

    bool load(const std::string& text) {
        error.clear();
        return loadMap(writeTempMap(text).c_str(), fake.resolvers(), error);
    }
    void expectRefused(const std::string& text, int line, const std::string& fragment) {
        SCOPED_TRACE(text.substr(0, 80));
        EXPECT_FALSE(load(text));
        EXPECT_NE(error.find(": line " + std::to_string(line) + ":"), std::string::npos) << error;
        EXPECT_NE(error.find(fragment), std::string::npos) << error;
        EXPECT_NE(error.find("map_test_"), std::string::npos) << "names the file: " << error;
        EXPECT_EQ(cellCount, 0);
        EXPECT_EQ(polygonCount, 0);
        EXPECT_EQ(placedObjectCount, 0);
        EXPECT_EQ(textureCount, 0);
    }

    FakeResolvers fake;
    std::string error;
};

const char* const flatFloor = "99998 -10 0 -10 10 0 -10 10 0 10 0 0 4 0 4 4\n";

std::string cellRecord(int portals = 0, const std::string& portalText = "") {
    return "99900 -10 0 -10 10 5 10 " + std::to_string(portals) + " " + portalText + "\n";
}

std::string portalGroup(int neighbour, int kind = 0) {
    return std::to_string(neighbour) + " " + std::to_string(kind) +
           " 1 2 3  4 5 6  7 8 9  0 0 0  1 0 0  1 1 0  0 1 0\n";
}

TEST_F(MapLoader, MinimalMapTokenByToken) {
    ASSERT_TRUE(load("99900 -10 0 -10 10 5 10 0 99999 floor.bmp 99998 -10 0 -10 10 0 -10 10 0 10 "
                     "0 0 4 0 4 4 100000"))
        << error;
    ASSERT_EQ(cellCount, 1);
    EXPECT_EQ(cells[0].boxX1, -10);
    EXPECT_EQ(cells[0].boxY2, 5);
    EXPECT_EQ(cells[0].portalCount, 0);
    EXPECT_EQ(cells[0].firstPolygon, 0);
    EXPECT_EQ(cells[0].lastPolygon, 0);
    ASSERT_EQ(textureCount, 1);
    EXPECT_STREQ(textures[0].fileName, "floor.bmp");
    ASSERT_TRUE(textures[0].image);
    ASSERT_EQ(polygonCount, 1);
    const WallPolygon& floor = wallPolygons[0];
    EXPECT_EQ(floor.visibleMark, 1);
    EXPECT_EQ(floor.textureIndex, 0);
    EXPECT_EQ(floor.x[1], 10);
    EXPECT_EQ(floor.z[2], 10);
    EXPECT_EQ(floor.s[1], 4);
    EXPECT_EQ(floor.t[2], 4);
    // (v1 - v0) x (v2 - v0) = (20,0,0) x (20,0,20) = (0,-400,0); v0 lies on the plane.
    EXPECT_EQ(floor.normalX[0], 0);
    EXPECT_EQ(floor.normalY[0], -400);
    EXPECT_EQ(floor.normalZ[0], 0);
    EXPECT_EQ(floor.planeD[0], 0);
}

TEST_F(MapLoader, PlaneOfBothPolygonKinds) {
    ASSERT_TRUE(load(cellRecord() +
                     "99998 0 0 5  1 0 5  0 1 5  0 0 0 0 0 0\n"
                     "99997 0 0 7  1 0 7  0 1 7  0 0 0 0 0 0  0 0 2  0 0 1  0 0 1\n"
                     "100000"))
        << error;
    ASSERT_EQ(polygonCount, 2);
    const WallPolygon& flat = wallPolygons[0];
    EXPECT_EQ(flat.normalZ[0], 1);
    EXPECT_EQ(flat.planeD[0], -5);  // 1 * z - 5 = 0 on the wall
    const WallPolygon& smooth = wallPolygons[1];
    EXPECT_EQ(smooth.normalZ[0], 2);
    EXPECT_EQ(smooth.normalZ[2], 1);
    EXPECT_EQ(smooth.planeD[0], -14);  // vertex 0 on the plane of normal 0
}

TEST_F(MapLoader, CellInvariantsAndPolygonOwnership) {
    // Two polygons before any cell, cells of 2, 0 and 3 polygons.
    ASSERT_TRUE(load(std::string(flatFloor) + flatFloor + cellRecord() + flatFloor + flatFloor +
                     cellRecord() + cellRecord() + flatFloor + flatFloor + flatFloor + "100000"))
        << error;
    ASSERT_EQ(cellCount, 3);
    EXPECT_EQ(polygonCount, 7);
    EXPECT_EQ(cells[0].firstPolygon, 2);  // the first two belong to no cell
    for (int c = 0; c + 1 < cellCount; ++c) {
        EXPECT_EQ(cells[c].lastPolygon, cells[c + 1].firstPolygon - 1) << "cell " << c;
    }
    EXPECT_EQ(cells[1].lastPolygon, cells[1].firstPolygon - 1);  // empty cell
    EXPECT_EQ(cells[2].lastPolygon, polygonCount - 1);
}

TEST_F(MapLoader, OnlyTheEndTag) {
    ASSERT_TRUE(load("100000")) << error;
    EXPECT_EQ(cellCount, 0);
    EXPECT_EQ(polygonCount, 0);
    EXPECT_TRUE(wallPolygons.empty());
}

TEST_F(MapLoader, TexturesAreSharedByNameAndKeepTheirIndex) {
    ASSERT_TRUE(load(cellRecord() + flatFloor +  // before any texture: index 0
                     "99999 a.bmp\n99999 b.bmp\n" + flatFloor + "99999 a.bmp\n" + flatFloor +
                     "99999 A.bmp\n" + flatFloor + "100000"))
        << error;
    EXPECT_EQ(fake.texturesLoaded, (std::vector<std::string>{"a.bmp", "b.bmp", "A.bmp"}));
    EXPECT_EQ(textureCount, 3);
    EXPECT_EQ(wallPolygons[0].textureIndex, 0);
    EXPECT_EQ(wallPolygons[1].textureIndex, 1);
    EXPECT_EQ(wallPolygons[2].textureIndex, 0);  // a.bmp made current again
    EXPECT_EQ(wallPolygons[3].textureIndex, 2);  // names compare case-sensitively
}

TEST_F(MapLoader, PlacedObjectsShareModelsAndKeepTheCurrentTexture) {
    const std::string object = " 1.5 2 3  10 20 30  -1 0 -2  1 2 2  1\n";
    ASSERT_TRUE(load("99995 early.3ds" + object +  // before any cell
                     cellRecord() + "99999 wall.bmp\n" + "99995 chair.3ds" + object + flatFloor +
                     "99995 chair.3ds" + object + "100000"))
        << error;
    EXPECT_EQ(fake.modelsBuilt, (std::vector<std::string>{"early.3ds", "chair.3ds"}));
    ASSERT_EQ(placedObjectCount, 3);
    EXPECT_EQ(modelCount, 2);
    EXPECT_EQ(placedObjects[0].cell, -1);
    EXPECT_EQ(placedObjects[1].cell, 0);
    const PlacedObject& chair = placedObjects[2];
    EXPECT_EQ(chair.displayList, models[1].displayList);
    EXPECT_EQ(chair.textureIndex, models[1].textureIndex);
    EXPECT_EQ(placedObjects[1].displayList, chair.displayList);
    EXPECT_EQ(chair.x, 1.5f);
    EXPECT_EQ(chair.rotateY, 20);
    EXPECT_EQ(chair.boxX1, -1);
    EXPECT_EQ(chair.boxZ2, 2);
    EXPECT_EQ(chair.spinning, 1);
    EXPECT_EQ(chair.visibleMark, 0);
    EXPECT_EQ(chair.spinAngle, 0);
    EXPECT_EQ(wallPolygons[0].textureIndex, 0);  // the object did not change it
}

TEST_F(MapLoader, PortalsAreReadIntoTheirArrays) {
    ASSERT_TRUE(load(cellRecord(2, portalGroup(1, 1) + portalGroup(0)) + cellRecord() + "100000")) << error;
    const Cell& cell = cells[0];
    EXPECT_EQ(cell.portalCount, 2);
    EXPECT_EQ(cell.portalNeighbour[0], 1);
    EXPECT_EQ(cell.portalKind[0], 1);
    EXPECT_EQ(cell.portalKind[1], 0);
    EXPECT_EQ(cell.portalPlacement[axisX][placementOffset][0], 1);
    EXPECT_EQ(cell.portalPlacement[axisZ][placementRotate][0], 6);
    EXPECT_EQ(cell.portalPlacement[axisY][placementScale][1], 8);
    EXPECT_EQ(cell.portalCornerX[1][0], 1);
    EXPECT_EQ(cell.portalCornerY[2][1], 1);
    EXPECT_EQ(cell.portalCornerX[3][1], 0);
}

TEST_F(MapLoader, TagSpellingsAreTheSameTag) {
    ASSERT_TRUE(load(cellRecord() + "99999 a.bmp 99999.0 b.bmp 9.9999e4 a.bmp +99999 c.bmp 99999.000 a.bmp " +
                     flatFloor + "1e5"))
        << error;
    EXPECT_EQ(textureCount, 3);
    EXPECT_EQ(wallPolygons[0].textureIndex, 0);
}

TEST_F(MapLoader, NumbersNeedNoBlankBetweenThem) {
    // A conversion stops where the number does; the rest is the next value.
    ASSERT_TRUE(load("99900 -10 0 -10 10 5 10 0 99998-1-2-3 4 5 6 7 8 9 .5 1. 0 0 0 0 100000")) << error;
    EXPECT_EQ(wallPolygons[0].y[0], -2);
    EXPECT_EQ(wallPolygons[0].s[0], 0.5f);
    EXPECT_EQ(wallPolygons[0].t[0], 1.0f);
}

TEST_F(MapLoader, RefusesReadsThatFailBeforeTheEndTag) {
    expectRefused(cellRecord() + "\n\n" + "99998 1 2 3\n\n", 4, "unexpected end of file");
    expectRefused(cellRecord() + flatFloor, 2, "unexpected end of file, expected a record tag");
    expectRefused(cellRecord() + "99998 1 2 x 4 5 6 7 8 9 0 0 0 0 0 0\n100000", 2, "found 'x'");
    expectRefused("99900 -10 0 -10 10 5 10 two\n", 1, "portal count");
    expectRefused("\n\nfloor.bmp 99998", 3, "expected a record tag");
    expectRefused("99995 m.3ds 1 2 3 1.5 0 0 0 0 0 0 0 0 0 100000", 1, "whole-degree rotation");
    expectRefused("", 1, "unexpected end of file");
}

TEST_F(MapLoader, RefusesCapacitiesAndLongNames) {
    std::string manyCells;
    for (int i = 0; i < maxCells + 1; ++i) manyCells += cellRecord();
    expectRefused(manyCells + "100000", maxCells + 1, "more than 250 cells");

    std::string manyObjects = cellRecord();
    for (int i = 0; i < maxPlacedObjects + 1; ++i) manyObjects += "99995 m.3ds 0 0 0 0 0 0 0 0 0 0 0 0 0\n";
    expectRefused(manyObjects + "100000", maxPlacedObjects + 2, "more than 250 placed objects");

    std::string manyTextures;
    for (int i = 0; i < maxTextures + 1; ++i) manyTextures += "99999 t" + std::to_string(i) + ".bmp\n";
    expectRefused(manyTextures + "100000", maxTextures + 1, "more than 500 textures");

    std::string portals;
    for (int i = 0; i < maxPortalsPerCell + 1; ++i) portals += portalGroup(0);
    expectRefused(cellRecord(33, portals) + "100000", 1, "portal count 33 is outside 0..32");
    expectRefused(cellRecord(-1) + "100000", 1, "portal count -1");

    expectRefused("99999 abcdefghij0123456789.bmp 100000", 1, "longer than 19 characters");
    expectRefused("\n99995 abcdefghij0123456789 0 0 0 0 0 0 0 0 0 0 0 0 0 100000", 2,
                  "longer than 19 characters");
    EXPECT_TRUE(load("99999 abcdefghij012345678 100000")) << "19 characters fit";
}

TEST_F(MapLoader, RefusesNeighboursThatDoNotExist) {
    expectRefused(cellRecord(1, "\n" + portalGroup(0)) + cellRecord(1, "\n\n" + portalGroup(2)) + "100000",
                  6, "leads to cell 2, which does not exist");
    expectRefused(cellRecord(1, portalGroup(-1)) + "100000", 1, "leads to cell -1");
}

TEST_F(MapLoader, RefusesAMissingFile) {
    EXPECT_FALSE(loadMap("/nonexistent/map.m", fake.resolvers(), error));
    EXPECT_NE(error.find("/nonexistent/map.m"), std::string::npos) << error;
}

// The map is only read: loading it asks for no write access, which no one (root
// included) has in the child.
TEST_F(MapLoader, LoadingAsksForReadAccessOnly) {
    const std::string path = writeTempMap(cellRecord() + flatFloor + "100000");
    ChildOptions options;
    options.denyWriteOpens = true;
    const ChildResult child = runInChild([&] {
        return loadMap(path.c_str(), fake.resolvers(), error) ? std::to_string(polygonCount) : error;
    }, options);
    EXPECT_EQ(child.output, "1") << child.describe();
}

// Nothing after the end tag is read: a small map followed by 300 MB of padding costs
// no more memory, resident or reserved, than the map alone.
TEST_F(MapLoader, PaddingAfterTheEndTagIsNeverTouched) {
    const std::string path = writeTempMap(cellRecord() + flatFloor + "100000 ");
    ASSERT_EQ(truncate(path.c_str(), off_t(300) << 20), 0);  // sparse: costs no disk
    const ChildResult child = runInChild([&] {
        if (!resetPeakResident()) return std::string("cannot reset the peak resident size");
        const long resident = procStatusKilobytes("VmRSS");
        const long reserved = procStatusKilobytes("VmSize");
        if (!loadMap(path.c_str(), fake.resolvers(), error)) return error;
        return std::to_string(polygonCount) + " " + std::to_string(procStatusKilobytes("VmHWM") - resident) +
               " " + std::to_string(procStatusKilobytes("VmSize") - reserved);
    });
    std::remove(path.c_str());
    long polygons = 0, peakGrowth = -1, keptGrowth = -1;
    ASSERT_EQ(std::sscanf(child.output.c_str(), "%ld %ld %ld", &polygons, &peakGrowth, &keptGrowth), 3)
        << child.describe();
    EXPECT_EQ(polygons, 1);
    // Kilobytes; the file alone is 307 200.
    EXPECT_LT(peakGrowth, 8 * 1024) << "resident memory grew by " << peakGrowth << " kB";
    EXPECT_LT(keptGrowth, 8 * 1024) << "address space kept grew by " << keptGrowth << " kB";
}

}  // namespace

namespace {

// Every value must come out exactly as the C library's conversion gives it, whichever
// path the loader takes for it.
TEST_F(MapLoader, NumbersConvertExactlyAsTheCLibraryDoes) {
    std::vector<std::string> texts = {"0.1",      "-0",        "16777216", "16777217",   "1.0000001",
                                      "123456.78", "0.30000001", "3.4028236e38", "1e-50", "0x1p3",
                                      "-0x1.8p1", "inf",       "-infinity", "99999999", "0.00000000012",
                                      "7.",        ".25",       "+2.5",     "00000001.5", "1E2"};
    std::srand(7);
    while (texts.size() % 15 != 0 || texts.size() < 3000) {
        std::string digits = std::to_string(std::rand() % 100000000);
        const int point = std::rand() % (int(digits.size()) + 1);
        digits.insert(size_t(point), ".");
        texts.push_back((std::rand() % 2 ? "-" : "") + digits);
    }
    std::string map = cellRecord();
    for (size_t i = 0; i < texts.size(); i += 15) {
        map += "99998";
        for (size_t j = i; j < i + 15; ++j) map += " " + texts[j];
        map += "\n";
    }
    ASSERT_TRUE(load(map + "100000")) << error;
    ASSERT_EQ(size_t(polygonCount) * 15, texts.size());
    for (size_t i = 0; i < texts.size(); ++i) {
        const WallPolygon& poly = wallPolygons[i / 15];
        const size_t k = i % 15;
        const float loaded = k < 9 ? (k % 3 == 0 ? poly.x[k / 3] : k % 3 == 1 ? poly.y[k / 3] : poly.z[k / 3])
                                   : ((k - 9) % 2 == 0 ? poly.s[(k - 9) / 2] : poly.t[(k - 9) / 2]);
        const float expected = std::strtof(texts[i].c_str(), nullptr);
        EXPECT_EQ(std::memcmp(&loaded, &expected, sizeof loaded), 0)
            << texts[i] << ": loaded " << loaded << ", expected " << expected;
    }
}

}  // namespace
