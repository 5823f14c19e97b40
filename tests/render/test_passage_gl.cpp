// Passages: portals that only shift what they show, walked through by played demos in
// the real frame step. The eye is carried into the place shown, the pictures go on as in
// a world where the two places are one, walls just beyond the opening stop the eye, and a
// demo through passages replays the same every time.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "input/input.h"
#include "platform/platform.h"
#include "render/frames.h"
#include "render/gl_fixture.h"
#include "render/world_fixture.h"
#include "world/init.h"
#include "world/settings.h"

using namespace testworld;

namespace {

// The eye's limit from a hit plane: sqrt(2.5).
constexpr float limit = 1.5811388f;
// Where the far room is stored when the opening shifts it into place.
constexpr float farAway = 200;

enum class Opening { doorway, plainPassage, stencilPassage };

struct Rooms {
    Opening opening = Opening::plainPassage;
    float farWallZ = 25;        // the far room's wall across the walk
    float openingBottom = 0;    // of the opening, both ways
    bool overlapped = false;    // a later cell's box covers the far room's north half
};

// Three colours, so a picture tells the rooms and their walls apart.
void makeTextures() {
    const uint8_t colours[3][3] = {{220, 40, 40}, {40, 200, 60}, {50, 60, 230}};
    for (const auto& c : colours) {
        auto image = std::make_unique<ImageRecord>();
        image->width = image->height = 2;
        for (int i = 0; i < 4; ++i) image->pixels.insert(image->pixels.end(), {c[0], c[1], c[2]});
        textures[textureCount++].image = std::move(image);
    }
    uploadTextures();
}

void floorOf(int texture, float x1, float z1, float x2, float z2) {
    addTriangle(texture, {x1, 0, z1}, {x2, 0, z1}, {x2, 0, z2});
    addTriangle(texture, {x1, 0, z1}, {x2, 0, z2}, {x1, 0, z2});
}

void setOpeningBottom(int cell, int k, float bottom) {
    cells[cell].portalCornerY[0][k] = bottom;
    cells[cell].portalCornerY[3][k] = bottom;
}

// Cell 0 (red, z -10..5) opens across z = 5, x -2..2, onto cell 1 (green floor, blue
// sides, z 5..25; the wall around the opening is cell 0's alone, so no two walls fight
// over one plane). A doorway joins them where they are stored; a passage shows cell 1,
// stored 200 along +X, in the same place, and cell 1 shows cell 0 back through its own.
void buildRooms(const Rooms& rooms) {
    const bool passage = rooms.opening != Opening::doorway;
    const int kind = rooms.opening == Opening::stencilPassage ? 1 : 0;
    const float b = passage ? farAway : 0;
    const int near = addCell(-10, -10, 10, 5);
    addWall(0, 10, -10, 10, 5);
    addWall(0, -10, 5, -10, -10);
    addWall(0, -10, -10, 10, -10);
    addWall(0, 10, 5, 2, 5);
    addWall(0, -2, 5, -10, 5);
    floorOf(0, -10, -10, 10, 5);
    const int there = addPortal(near, 1, 2, 5, -2, 5, kind);
    if (passage) setPortalShift(near, there, {-farAway, 0, 0});
    setOpeningBottom(near, there, rooms.openingBottom);

    const int far = addCell(b - 10, 5, b + 10, 25);
    addWall(2, b + 10, 5, b + 10, 25);
    addWall(2, b - 10, 25, b - 10, 5);
    addWall(1, b - 10, rooms.farWallZ, b + 10, rooms.farWallZ);
    floorOf(1, b - 10, 5, b + 10, 25);
    const int back = addPortal(far, near, b - 2, 5, b + 2, 5, kind);
    if (passage) setPortalShift(far, back, {farAway, 0, 0});
    setOpeningBottom(far, back, rooms.openingBottom);
    if (rooms.overlapped) addCell(b - 5, 12, b + 15, 30);
}

// What one frame left: the eye, the current cell and the picture.
struct Frame {
    float x = 0, y = 0, z = 0;
    int32_t cell = -1;
    std::vector<uint8_t> picture;
};

class Passages : public ::testing::Test {
protected:
    void SetUp() override {
        START_GL_TEST();
        reset();
        resetSettings();
        platform::resetMessages();
        testgl::startState();
        makeTextures();
    }
    void TearDown() override {
        closeDemo();
        playDemoStream(nullptr);
        frameLimit = 0;
        keepLastFrame = false;
        frameKeptObserver = nullptr;
        if (textureCount > 0) glDeleteTextures(textureCount, textureNames);
        resetSettings();
        platform::resetMessages();
        reset();
    }

    // Plays `records` (5 bytes each) from the eye placed at (x, z) facing `yaw`, keeping
    // every frame.
    std::vector<Frame> play(const std::string& records, float x, float z, int yaw) {
        placeEye(x, z, yaw);
        camera.showFrameRate = camera.showCellInfo = 0;
        std::FILE* demo = std::tmpfile();
        std::fwrite(records.data(), 1, records.size(), demo);
        std::rewind(demo);
        playDemoStream(demo);
        PLAYDEMO = 1;
        std::vector<Frame> frames;
        keepLastFrame = true;
        frameKeptObserver = [&](int32_t, int32_t, const std::vector<uint8_t>& pixels) {
            frames.push_back(Frame{camera.posX, camera.posY, camera.posZ, frameCounts.currentCell, pixels});
        };
        testgl::drawFrames(int(records.size() / demoRecordSize));
        frameKeptObserver = nullptr;
        keepLastFrame = false;
        std::fclose(demo);
        playDemoStream(nullptr);
        return frames;
    }
};

std::string walkingForward(int steps) {
    std::string records;
    for (int i = 0; i < steps; ++i) records.append("\0\0\1\0\0", 5);
    return records;
}

// Pixels whose channels differ by more than `tolerance` somewhere.
int differingPixels(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int tolerance) {
    if (a.size() != b.size()) return -1;
    int count = 0;
    for (size_t i = 0; i + 2 < a.size(); i += 3) {
        for (int c = 0; c < 3; ++c) {
            if (std::abs(int(a[i + c]) - int(b[i + c])) > tolerance) {
                ++count;
                break;
            }
        }
    }
    return count;
}

struct PassageWalk {
    const char* name;
    Rooms rooms;
    float x, z;
    int yaw;
    int steps;
    float endX, endZ;  // where the eye must end, within 0.01
    int32_t endCell;
};

const PassageWalk passageWalks[] = {
    {"through a plain passage: carried into the far room's own coordinates",
     {Opening::plainPassage, 25, 0}, 0, 0, 0, 100, farAway, 10, 1},
    {"through a stencil passage: not glass, carried the same",
     {Opening::stencilPassage, 25, 0}, 0, 0, 0, 100, farAway, 10, 1},
    {"back through the far room's passage: carried home",
     {Opening::plainPassage, 25, 0}, farAway, 15, 1800, 120, 0, 3, 0},
    {"back through the far room's stencil passage",
     {Opening::stencilPassage, 25, 0}, farAway + 1, 8, 1800, 60, 1, 2, 0},
    {"a wall just beyond a plain passage stops the eye before the opening",
     {Opening::plainPassage, 6, 0}, 0, 0, 0, 100, 0, 6 - limit, 0},
    {"a wall just beyond a stencil passage stops the eye before the opening",
     {Opening::stencilPassage, 6, 0}, 0, 0, 0, 100, 0, 6 - limit, 0},
    {"a wall beyond the limit of the opening stops the eye inside the far room",
     {Opening::stencilPassage, 8, 0}, 0, 0, 0, 100, farAway, 8 - limit, 1},
    {"an opening above the eye: no crossing, held at the box's edge",
     {Opening::plainPassage, 25, 4}, 0, 0, 0, 100, 0, 5, 0},
    {"on into a box a later cell shares: the cell walked into stays the current one",
     {Opening::stencilPassage, 25, 0, true}, 0, 0, 0, 150, farAway, 15, 1},
};

class PassageWalks : public Passages, public ::testing::WithParamInterface<PassageWalk> {};

void PrintTo(const PassageWalk& walk, std::ostream* out) { *out << walk.name; }

TEST_P(PassageWalks, EndsWhereThePlaceShownPutsTheEye) {
    const PassageWalk& walk = GetParam();
    buildRooms(walk.rooms);
    const std::vector<Frame> frames = play(walkingForward(walk.steps), walk.x, walk.z, walk.yaw);
    ASSERT_FALSE(frames.empty());
    EXPECT_NEAR(camera.posX, walk.endX, 0.01f) << walk.name;
    EXPECT_NEAR(camera.posZ, walk.endZ, 0.11f) << walk.name;
    EXPECT_FLOAT_EQ(camera.posY, 3) << walk.name;
    EXPECT_EQ(frames.back().cell, walk.endCell) << walk.name;
}

INSTANTIATE_TEST_SUITE_P(SmallWorlds, PassageWalks, testing::ValuesIn(passageWalks),
                         [](const testing::TestParamInfo<PassageWalk>& info) {
                             return "walk" + std::to_string(info.index);
                         });

// Walking through a passage shows, frame by frame, what walking through a doorway between
// the same rooms stored side by side shows: the crossing leaves no seam.
TEST_F(Passages, EveryFrameAcrossTheCrossingShowsWhatOnePlaceShows) {
    const std::string walk = walkingForward(80);
    buildRooms(Rooms{Opening::doorway, 25, 0});
    const std::vector<Frame> onePlace = play(walk, 0.5f, -1, 0);
    for (const Opening opening : {Opening::plainPassage, Opening::stencilPassage}) {
        reset();
        testgl::startState();
        makeTextures();
        buildRooms(Rooms{opening, 25, 0});
        const std::vector<Frame> passage = play(walk, 0.5f, -1, 0);
        ASSERT_EQ(passage.size(), onePlace.size());
        int crossing = -1;
        for (size_t i = 0; i < passage.size(); ++i) {
            const bool beyond = passage[i].cell == 1;
            if (beyond && crossing < 0) crossing = int(i);
            EXPECT_NEAR(passage[i].x - (beyond ? farAway : 0), onePlace[i].x, 1e-3f) << "frame " << i;
            EXPECT_NEAR(passage[i].z, onePlace[i].z, 1e-4f) << "frame " << i;
            // A few pixels along edges may round the other way at the stored place.
            const int differing = differingPixels(passage[i].picture, onePlace[i].picture, 24);
            EXPECT_GE(differing, 0);
            EXPECT_LE(differing, testgl::width * testgl::height / 200) << "frame " << i << (opening == Opening::plainPassage ? " plain" : " stencil");
        }
        ASSERT_GT(crossing, 0) << "the walk never crossed";
        // One frame apart across the crossing changes no more than one frame apart before it.
        const int across = differingPixels(passage[size_t(crossing) - 1].picture, passage[size_t(crossing)].picture, 24);
        const int before = differingPixels(passage[size_t(crossing) - 2].picture, passage[size_t(crossing) - 1].picture, 24);
        EXPECT_LE(across, before + testgl::width * testgl::height / 200);
        EXPECT_NEAR(passage.back().x, farAway + 0.5f, 1e-3f);
    }
}

// A walk that turns and goes through the passage and back, recorded while played: the
// recording is the walk, and two replays of it match each other frame for frame, bit for
// bit, eye, current cell and picture.
TEST_F(Passages, ARecordedWalkThroughPassagesReplaysTheSameTwice) {
    // Walking and turning left, then right, on into the far room; a half turn on the
    // spot; back through the passage.
    std::string walk;
    for (int i = 0; i < 10; ++i) walk.append("\0\0\1\xFB\0", 5);
    for (int i = 0; i < 10; ++i) walk.append("\0\0\1\x05\0", 5);
    walk += walkingForward(60);
    for (int i = 0; i < 90; ++i) walk.append("\0\0\0\xFB\0", 5);
    walk += walkingForward(70);
    buildRooms(Rooms{Opening::stencilPassage, 25, 0});

    char playedName[] = "/tmp/passage-walk-XXXXXX";
    char recordedName[] = "/tmp/passage-record-XXXXXX";
    const int playedFd = mkstemp(playedName);
    const int recordedFd = mkstemp(recordedName);
    ASSERT_GE(playedFd, 0);
    ASSERT_GE(recordedFd, 0);
    ASSERT_EQ(write(playedFd, walk.data(), walk.size()), ssize_t(walk.size()));
    close(playedFd);
    close(recordedFd);
    demoPath = playedName;
    recordPath = recordedName;
    PLAYDEMO = SAVEDEMO = 1;
    std::string message;
    ASSERT_EQ(openDemo(message), 0) << message;
    placeEye(0.5f, -1, 0);
    testgl::drawFrames(int(walk.size() / demoRecordSize));
    closeDemo();
    SAVEDEMO = 0;

    std::FILE* file = std::fopen(recordedName, "rb");
    ASSERT_NE(file, nullptr);
    std::string recorded(walk.size() + 16, '\0');
    recorded.resize(std::fread(&recorded[0], 1, recorded.size(), file));
    std::fclose(file);
    std::remove(playedName);
    std::remove(recordedName);
    EXPECT_EQ(recorded, walk);

    std::vector<Frame> replays[2];
    for (std::vector<Frame>& replay : replays) {
        for (int32_t c = 0; c < cellCount; ++c) identity(cells[c].placement);
        resetRenderer();
        replay = play(recorded, 0.5f, -1, 0);
    }
    ASSERT_EQ(replays[0].size(), walk.size() / demoRecordSize);
    ASSERT_EQ(replays[1].size(), replays[0].size());
    bool crossed = false, cameBack = false;
    for (size_t i = 0; i < replays[0].size(); ++i) {
        const Frame& a = replays[0][i];
        const Frame& b = replays[1][i];
        EXPECT_EQ(std::memcmp(&a.x, &b.x, sizeof a.x), 0) << "frame " << i;
        EXPECT_EQ(std::memcmp(&a.z, &b.z, sizeof a.z), 0) << "frame " << i;
        EXPECT_EQ(a.cell, b.cell) << "frame " << i;
        EXPECT_TRUE(a.picture == b.picture) << "frame " << i;
        if (a.cell == 1) crossed = true;
        if (crossed && a.cell == 0) cameBack = true;
    }
    EXPECT_TRUE(crossed);
    EXPECT_TRUE(cameBack);
}

}  // namespace
