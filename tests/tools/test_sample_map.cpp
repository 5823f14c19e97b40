// The committed sample map, read by the engine's own loader: the portals the traversal
// relies on, the rooms the first minute shows, and every wall inside its cell.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "world/map.h"
#include "world/world.h"

namespace {

using Corner = std::array<float, 3>;

class SampleMap : public testing::Test {
protected:
    void SetUp() override {
        resetWorld();
        MapResolvers resolvers;
        resolvers.buildModel = [](const char*) { return 0; };
        std::string error;
        ASSERT_TRUE(loadMap((std::string(SOURCE_DIR) + "/worlds/sample/map.m").c_str(), resolvers, error)) << error;
    }
    void TearDown() override { resetWorld(); }

    static std::vector<Corner> corners(int c, int k, const float scale[3] = nullptr, const float offset[3] = nullptr) {
        std::vector<Corner> out;
        for (int v = 0; v < 4; ++v) {
            Corner p = {cells[c].portalCornerX[v][k], cells[c].portalCornerY[v][k], cells[c].portalCornerZ[v][k]};
            if (scale)
                for (int a = 0; a < 3; ++a) p[size_t(a)] = p[size_t(a)] * scale[a] + offset[a];
            out.push_back(p);
        }
        return out;
    }
    static bool onBoxFace(const Cell& cell, const Corner& p) {
        const float e = 1e-4f;
        const bool inside = p[0] >= cell.boxX1 - e && p[0] <= cell.boxX2 + e && p[1] >= cell.boxY1 - e &&
                            p[1] <= cell.boxY2 + e && p[2] >= cell.boxZ1 - e && p[2] <= cell.boxZ2 + e;
        const bool onFace = std::fabs(p[0] - cell.boxX1) < e || std::fabs(p[0] - cell.boxX2) < e ||
                            std::fabs(p[2] - cell.boxZ1) < e || std::fabs(p[2] - cell.boxZ2) < e;
        return inside && onFace;
    }
    static bool sameCorners(std::vector<Corner> a, std::vector<Corner> b) {
        for (auto* v : {&a, &b})
            for (Corner& p : *v)
                for (float& x : p) x = std::round(x * 1000) / 1000;
        std::sort(a.begin(), a.end());
        std::sort(b.begin(), b.end());
        return a == b;
    }
    // The portal of cell n that leads back to cell c with the given kind, or -1.
    static int back(int n, int c, int kind) {
        for (int k = 0; k < cells[n].portalCount; ++k)
            if (cells[n].portalNeighbour[k] == c && (cells[n].portalKind[k] == 1) == (kind == 1)) return k;
        return -1;
    }
};

// Corners go round the opening with 0 and 3 at its foot, so the walk's wedge from
// corners 0 and 3 spans its width; every portal lies on its cell's box; a doorway has the
// same opening back; a window has its window back with the inverse placement.
TEST_F(SampleMap, PortalsMatchTheirWayBack) {
    int windows = 0;
    for (int c = 0; c < cellCount; ++c) {
        for (int k = 0; k < cells[c].portalCount; ++k) {
            const std::vector<Corner> p = corners(c, k);
            const int n = cells[c].portalNeighbour[k];
            ASSERT_TRUE(n >= 0 && n < cellCount && n != c) << "cell " << c << " portal " << k;
            EXPECT_EQ(p[0][1], p[3][1]) << "corners 0 and 3 at the foot, cell " << c << " portal " << k;
            EXPECT_EQ(p[1][1], p[2][1]);
            EXPECT_GT(p[1][1], p[0][1]);
            EXPECT_TRUE(p[0][0] == p[1][0] && p[0][2] == p[1][2] && p[2][0] == p[3][0] && p[2][2] == p[3][2]);
            EXPECT_FALSE(p[0][0] == p[3][0] && p[0][2] == p[3][2]) << "a portal must have a width";
            for (const Corner& corner : p) EXPECT_TRUE(onBoxFace(cells[c], corner)) << "cell " << c << " portal " << k;
            const int b = back(n, c, cells[c].portalKind[k]);
            ASSERT_GE(b, 0) << "no way back from cell " << n << " to cell " << c;
            float scale[3], offset[3];  // how this side places cell n
            for (int a = 0; a < 3; ++a) {
                const float s = cells[c].portalPlacement[a][placementScale][k];
                const float o = cells[c].portalPlacement[a][placementOffset][k];
                const float r = cells[c].portalPlacement[a][placementRotate][k];
                scale[a] = s;
                offset[a] = o;
                const float backScale = cells[n].portalPlacement[a][placementScale][b];
                const float backOffset = cells[n].portalPlacement[a][placementOffset][b];
                EXPECT_NEAR(s * backScale, 1, 1e-6) << "cell " << c << " portal " << k;
                EXPECT_NEAR(o + backOffset * s, 0, 1e-4) << "cell " << c << " portal " << k;
                EXPECT_EQ(r, -cells[n].portalPlacement[a][placementRotate][b]);
                if (cells[c].portalKind[k] != 1) EXPECT_TRUE(s == 1 && o == 0 && r == 0) << "a doorway moves nothing";
            }
            // The opening back, placed as this side places its cell, is this opening.
            EXPECT_TRUE(sameCorners(corners(n, b, scale, offset), p)) << "cell " << c << " portal " << k;
            windows += cells[c].portalKind[k] == 1;
        }
    }
    EXPECT_GE(windows, 4) << "at least two windows, each with its window back";
}

TEST_F(SampleMap, HoldsWhatTheFirstMinuteShows) {
    EXPECT_GE(cellCount, 10);
    EXPECT_LE(cellCount, 20);
    int withoutPortals = 0, shrunk = 0, turned = 0;
    for (int c = 0; c < cellCount; ++c) {
        withoutPortals += cells[c].portalCount == 0;
        for (int k = 0; k < cells[c].portalCount; ++k) {
            shrunk += cells[c].portalPlacement[0][placementScale][k] < 1;
            turned += cells[c].portalPlacement[2][placementRotate][k] > 0;
        }
    }
    EXPECT_EQ(withoutPortals, 1);
    EXPECT_GE(shrunk, 1) << "a window onto a miniature room";
    EXPECT_GE(turned, 1) << "a window that turns the models behind it";
    int spinning = 0, still = 0;
    for (int i = 0; i < placedObjectCount; ++i) (placedObjects[i].spinning ? spinning : still) += 1;
    EXPECT_GE(spinning, 1);
    EXPECT_GE(still, 1);
    // The camera's fixed start lies in cell 0 and in no other cell's box.
    for (int c = 0; c < cellCount; ++c) {
        const bool holds = cells[c].boxX1 <= -25 && -25 <= cells[c].boxX2 && cells[c].boxZ1 <= 15 && 15 <= cells[c].boxZ2;
        EXPECT_EQ(holds, c == 0) << "cell " << c;
    }
}

TEST_F(SampleMap, EveryWallLiesInItsCellsBox) {
    for (int c = 0; c < cellCount; ++c) {
        EXPECT_LE(cells[c].firstPolygon, cells[c].lastPolygon) << "cell " << c << " has walls";
        for (int i = cells[c].firstPolygon; i <= cells[c].lastPolygon; ++i) {
            const WallPolygon& w = wallPolygons[size_t(i)];
            for (int v = 0; v < 3; ++v) {
                EXPECT_TRUE(w.x[v] >= cells[c].boxX1 && w.x[v] <= cells[c].boxX2 && w.y[v] >= cells[c].boxY1 &&
                            w.y[v] <= cells[c].boxY2 && w.z[v] >= cells[c].boxZ1 && w.z[v] <= cells[c].boxZ2)
                    << "cell " << c << " polygon " << i;
            }
            const float area = w.normalX[0] * w.normalX[0] + w.normalY[0] * w.normalY[0] + w.normalZ[0] * w.normalZ[0];
            EXPECT_GT(area, 0) << "cell " << c << " polygon " << i << " has no area";
        }
    }
}

// The yard is no box: an octagon, whose corner walls are square to neither axis, and its
// walls wear the texture converted from a picture.
TEST_F(SampleMap, HoldsARoomThatIsNoBoxWithAConvertedTexture) {
    int slanted = 0, sandstone = 0;
    for (int32_t i = 0; i < polygonCount; ++i) {
        const WallPolygon& w = wallPolygons[size_t(i)];
        const bool vertical = w.normalY[0] == 0;
        slanted += vertical && w.normalX[0] != 0 && w.normalZ[0] != 0;
        sandstone += w.textureIndex >= 0 && w.textureIndex < textureCount &&
                     std::string(textures[w.textureIndex].fileName) == "sandstone.bmp";
    }
    EXPECT_EQ(slanted, 4 * 2) << "four corner walls, two triangles each";
    EXPECT_GE(sandstone, 8 * 2);
}

}  // namespace
