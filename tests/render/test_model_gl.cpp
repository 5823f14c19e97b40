// Models on a headless GL context: the lists and textures the builder hands back, the
// real textured models drawn in a small world, and models in the running frame loop:
// spinning, seen through a stencil portal with its placement, and blocking a demo.
#include <gtest/gtest.h>
#include <GL/glu.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

#include "model3ds/model3ds.h"
#include "platform/platform.h"
#include "render/frames.h"
#include "render/gl_calls.h"
#include "render/gl_fixture.h"
#include "render/local.h"  // Required for: keptFrame
#include "render/map_writer.h"
#include "render/world_fixture.h"
#include "assets/bmp_writer.h"
#include "assets/model_writer.h"
#include "world/init.h"
#include "world/model.h"
#include "world/settings.h"

using namespace testworld;
using testgl::drawFrames;
using testgl::Rgb;
namespace mw = modelwriter;
namespace fs = std::filesystem;

namespace {

const Rgb red{255, 0, 0}, green{0, 200, 0}, blue{0, 0, 255}, black{0, 0, 0}, grey{128, 128, 128};
const Rgb yellow{255, 255, 0}, white{255, 255, 255};

// A 24-bit BMP of `width` x `height` from packed RGB rows, bottom row first.
bool writeRgbBmp(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb) {
    BmpLayout layout;
    layout.width = width;
    layout.height = height;
    std::vector<std::vector<uint8_t>> rows{size_t(height)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint8_t* p = &rgb[(size_t(y) * width + x) * 3];
            rows[size_t(y)].insert(rows[size_t(y)].end(), {p[2], p[1], p[0]});
        }
    layout.pixels = padRows(rows);
    return writeBytes(path, makeBmp(layout));
}

// An 8 x 8 texture in four colours, one a quarter, so that a turned or mirrored texture
// shows: `low` at u < 0.5 and v < 0.5, `right` at u >= 0.5 and v < 0.5, `up` at u < 0.5
// and v >= 0.5, `both` at u >= 0.5 and v >= 0.5 (v = 0 is the bottom row).
bool writeQuartersBmp(const std::string& path, const Rgb& low, const Rgb& right, const Rgb& up, const Rgb& both) {
    std::vector<uint8_t> rgb;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const Rgb& c = y < 4 ? (x < 4 ? low : right) : (x < 4 ? up : both);
            rgb.insert(rgb.end(), {uint8_t(c.r), uint8_t(c.g), uint8_t(c.b)});
        }
    return writeRgbBmp(path, 8, 8, rgb);
}

class ModelGl : public ::testing::Test {
protected:
    void SetUp() override {
        START_GL_TEST();
        reset();
        resetSettings();
        platform::resetMessages();
        ResetToolkit3ds();
        dir = ::testing::TempDir() + "model_gl_" + std::to_string(getpid()) + "/";
        fs::create_directories(dir);
        ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
        ASSERT_EQ(chdir(dir.c_str()), 0);
        bitmapErrorSink = [this](const std::string& text) { bitmapErrors.push_back(text); };
    }
    void TearDown() override {
        if (!previous[0]) return;
        releaseWorld();
        if (demo) std::fclose(demo);
        playDemoStream(nullptr);
        resetSettings();
        platform::resetMessages();
        ResetToolkit3ds();
        bitmapErrorSink = nullptr;
        if (chdir(previous) != 0) std::perror("chdir");
        fs::remove_all(dir);
    }

    // Draws `list` with texture entry `texture` bound, the eye 5 units in front of the
    // model's origin looking at it along +Z: model x = +1 shows 32 pixels left of the
    // centre, y = +1 32 pixels above it.
    void drawList(int32_t list, int32_t texture) {
        testgl::startState();
        glLoadIdentity();
        gluLookAt(0, 0, -5, 0, 0, 0, 0, 1, 0);
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, textureNames[texture]);
        glCallList(GLuint(list));
        glDisable(GL_TEXTURE_2D);
    }
    static Rgb at(float x, float y) { return testgl::pixel(int(80 - 32 * x), int(60 - 32 * y)); }

    void walkForward(int frames) { demo = testgl::playWalkingForward(frames); }
    // Loads the world written in the tables (models named `model`) the engine's way.
    void startWorld(const char* model) {
        ASSERT_TRUE(writeMap("map.m", model));
        resetWorld();
        testgl::startState();  // as start-up sets it before the world is loaded
        ASSERT_EQ(initWorldFrom("map.m"), 0);
    }

    std::string dir;
    char previous[PATH_MAX] = {};
    std::vector<std::string> bitmapErrors;
    std::FILE* demo = nullptr;
};

// --- What the builder hands back ---------------------------------------------------------

TEST_F(ModelGl, TheLastTexturedGroupRepresentsTheModel) {
    ASSERT_TRUE(writeSolidBmp("red.bmp", 4, 4, 255, 0, 0));
    ASSERT_TRUE(writeQuartersBmp("quarters.bmp", blue, green, yellow, white));
    // The map named quarters.bmp first: the model finds its entry rather than loading it again.
    ASSERT_EQ(findOrAddTexture("quarters.bmp", [](const char* name) { return loadBitmap(name); }), 0);
    const ImageRecord* mapsImage = textures[0].image.get();
    ASSERT_NE(mapsImage, nullptr);
    lastModelTexture = 77;

    // Both meshes of one name, as files that cut names short have them: each is built.
    mw::Mesh first = mw::square("twin", "plain", 2);
    first.groups.push_back({"red", {0, 1}});
    mw::Mesh second = mw::square("twin", "quarters", 2);
    second.groups = {{"quarters", {0}}, {"missing", {1}}};  // the last group's material is not in the file
    ASSERT_TRUE(mw::writeScene("pair.3ds", {{"plain", ""}, {"red", "red.bmp"}, {"quarters", "quarters.bmp"}},
                               {first, second}));
    const int32_t list = buildModel("pair.3ds");
    EXPECT_EQ(errorPending3ds, 0) << ErrorList3ds()[0].where;

    ASSERT_EQ(textureCount, 2);
    EXPECT_STREQ(textures[1].fileName, "red.bmp");
    EXPECT_NE(textures[1].image, nullptr);
    EXPECT_EQ(textures[0].image.get(), mapsImage);
    EXPECT_EQ(lastModelTexture, 0);  // quarters, the second textured group's
    EXPECT_TRUE(bitmapErrors.empty());

    uploadTextures();
    ASSERT_NE(list, 0);
    ASSERT_TRUE(glIsList(GLuint(list)));
    drawList(list, lastModelTexture);
    // Face 0 of the second mesh, the lower triangle from (-1, -1) through (1, -1) to (1, 1),
    // where u runs with x and v with y: three quarters of the texture, each in its place.
    EXPECT_TRUE(testgl::near(at(0.5f, -0.5f), green));   // (u, v) = (0.75, 0.25)
    EXPECT_TRUE(testgl::near(at(-0.3f, -0.8f), blue));   // (0.35, 0.1)
    EXPECT_TRUE(testgl::near(at(0.8f, 0.3f), white));    // (0.9, 0.65)
    EXPECT_TRUE(testgl::near(at(-0.5f, 0.5f), black));  // face 1: its material is missing
    // The id glGenLists handed out is 100 below, reserved and empty.
    EXPECT_TRUE(glIsList(GLuint(list - modelListOffset)));
    drawList(list - modelListOffset, lastModelTexture);
    EXPECT_TRUE(testgl::near(at(0.5f, -0.5f), black));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(ModelGl, CornersWithoutTextureCoordinatesTakeTheOrigin) {
    // Texels at the four corners green (what (0, 0) samples, with repeat), red elsewhere.
    std::vector<uint8_t> texels;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const bool corner = (x < 2 || x >= 6) && (y < 2 || y >= 6);
            texels.insert(texels.end(), {uint8_t(corner ? 0 : 255), uint8_t(corner ? 200 : 0), 0});
        }
    ASSERT_TRUE(writeRgbBmp("corners.bmp", 8, 8, texels));
    // Two triangles of their own vertices; only the first three vertices have (u, v).
    mw::Mesh some;
    some.name = "some";
    some.vertices = {{1.5f, -1, 0, 0.5f, 0.5f}, {0.5f, -1, 0, 0.5f, 0.5f}, {1, 1, 0, 0.5f, 0.5f},
                     {-0.5f, -1, 0}, {-1.5f, -1, 0}, {-1, 1, 0}};
    some.textureVertices = 3;
    some.faces = {{0, 1, 2}, {3, 4, 5}};
    some.groups = {{"tex", {0, 1}}};
    mw::Mesh none = some;
    none.name = "none";
    none.textureVertices = 0;
    ASSERT_TRUE(mw::writeScene("some.3ds", {{"tex", "corners.bmp"}}, {some}));
    ASSERT_TRUE(mw::writeScene("none.3ds", {{"tex", "corners.bmp"}}, {none}));
    const int32_t someList = buildModel("some.3ds");
    const int32_t noneList = buildModel("none.3ds");
    uploadTextures();
    drawList(someList, lastModelTexture);
    EXPECT_TRUE(testgl::near(at(1, -0.5f), red, 24));
    EXPECT_TRUE(testgl::near(at(-1, -0.5f), green, 24));
    drawList(noneList, lastModelTexture);
    EXPECT_TRUE(testgl::near(at(1, -0.5f), green, 24));
    EXPECT_TRUE(testgl::near(at(-1, -0.5f), green, 24));
}

// Models made on systems whose file names ignore case name their maps in capitals.
TEST_F(ModelGl, ACapitalTextureNameLoadsItsLowerCaseFile) {
    const std::string source = std::string(TESTDATA_DIR) + "/models3ds/assimp-nonbsd/";
    fs::copy_file(source + "mp5_sil.3ds", "mp5_sil.3ds");
    fs::copy_file(source + "mp5sil.bmp", "mp5sil.bmp");
    EXPECT_NE(buildModel("mp5_sil.3ds"), 0);
    ASSERT_EQ(textureCount, 1);
    EXPECT_STREQ(textures[0].fileName, "MP5SIL.BMP");
    EXPECT_NE(textures[0].image, nullptr);
    EXPECT_TRUE(bitmapErrors.empty()) << bitmapErrors[0];
}

// --- The real textured models, each in a small world ------------------------------------

// The file of `folder` whose name matches `name` ignoring case; empty when none.
std::string findIgnoringCase(const std::string& folder, const std::string& name) {
    const auto lower = [](std::string s) {
        for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    for (const auto& entry : fs::directory_iterator(folder))
        if (lower(entry.path().filename().string()) == lower(name)) return entry.path().string();
    return std::string();
}

// Writes `name` as a BMP made from the picture at `source` (BMP, PNG or JPEG).
bool writeTextureAsBmp(const std::string& source, const std::string& name) {
    int width = 0, height = 0, channels = 0;
    stbi_set_flip_vertically_on_load(1);  // BMP rows run bottom first
    stbi_uc* pixels = stbi_load(source.c_str(), &width, &height, &channels, 3);
    if (!pixels) return false;
    const bool ok = writeRgbBmp(name, width, height, std::vector<uint8_t>(pixels, pixels + width * height * 3));
    stbi_image_free(pixels);
    return ok;
}

struct Bounds {
    float low[3] = {1e30f, 1e30f, 1e30f}, high[3] = {-1e30f, -1e30f, -1e30f};
    float centre(int axis) const { return (low[axis] + high[axis]) / 2; }
    float radius() const {
        float sum = 0;
        for (int a = 0; a < 3; ++a) sum += (high[a] - low[a]) * (high[a] - low[a]);
        return std::sqrt(sum) / 2;
    }
};

// Every vertex of the model, read through the toolkit; the toolkit is left clean.
Bounds modelBounds(const std::string& path) {
    Bounds bounds;
    file3ds* file = OpenModelFile3ds(path.c_str(), "rb");
    ChunkDatabase3ds* base = nullptr;
    ResetDatabase3ds(&base);
    LoadDatabase3ds(file, base);
    NameArray3ds* names = nullptr;
    ListMeshNames3ds(base, &names);
    MeshRecord3ds* mesh = nullptr;
    for (uint32_t i = 0; names && i < names->count; ++i) {
        FetchMeshByIndex3ds(base, i, &mesh);
        for (const Point3ds& p : mesh->vertices) {
            const float v[3] = {p.x, p.y, p.z};
            for (int a = 0; a < 3; ++a) bounds.low[a] = std::min(bounds.low[a], v[a]), bounds.high[a] = std::max(bounds.high[a], v[a]);
        }
    }
    FreeMesh3ds(&mesh);
    FreeNameList3ds(&names);
    FreeDatabase3ds(&base);
    CloseModelFile3ds(file);
    return bounds;
}

// Colours of an image, in cells of 16 levels a channel, for near-enough lookups.
struct Palette {
    std::vector<bool> cells = std::vector<bool>(16 * 16 * 16);
    explicit Palette(const ImageRecord& image) {
        for (size_t i = 0; i + 2 < image.pixels.size(); i += 3)
            cells[index(image.pixels[i] / 16, image.pixels[i + 1] / 16, image.pixels[i + 2] / 16)] = true;
    }
    static size_t index(int r, int g, int b) { return size_t((r * 16 + g) * 16 + b); }
    // A texel colour lies within one cell on every channel.
    bool near(const Rgb& c) const {
        for (int r = c.r / 16 - 1; r <= c.r / 16 + 1; ++r)
            for (int g = c.g / 16 - 1; g <= c.g / 16 + 1; ++g)
                for (int b = c.b / 16 - 1; b <= c.b / 16 + 1; ++b)
                    if (r >= 0 && g >= 0 && b >= 0 && r < 16 && g < 16 && b < 16 && cells[index(r, g, b)]) return true;
        return false;
    }
};

TEST_F(ModelGl, EveryTexturedRealModelDrawsInItsTexturesColours) {
    const struct {
        const char* file;
        std::vector<std::string> maps;
    } models[] = {
        {"assimp-nonbsd/jeep1.3ds", {"jeep1.jpg"}},
        {"assimp-nonbsd/mar_rifle.3ds", {"m_rifl.bmp"}},
        {"assimp-nonbsd/mp5_sil.3ds", {"MP5SIL.BMP"}},
        {"assimp/cube_with_diffuse_texture.3DS", {"TEST.PNG"}},
        {"assimp/test1.3ds", {"IMAGE1.JPG", "CWALL02.JPG", "IMAGE2.JPG"}},
        {"online3dviewer/cube_with_materials.3ds", {"texture.png"}},
        {"online3dviewer/cube_four_instances.3ds", {"texture.png"}},
        {"online3dviewer/cube_hierarchy.3ds", {"cube.png"}},
    };
    for (const auto& m : models) {
        SCOPED_TRACE(m.file);
        reset();
        ResetToolkit3ds();
        const fs::path source = fs::path(TESTDATA_DIR) / "models3ds" / m.file;
        const std::string modelName = "model" + source.extension().string();
        fs::copy_file(source, modelName, fs::copy_options::overwrite_existing);
        // Each map under the very name the model gives it, as a BMP the engine reads.
        for (const std::string& map : m.maps) {
            const std::string found = findIgnoringCase(source.parent_path().string(), map);
            ASSERT_FALSE(found.empty()) << map;
            ASSERT_TRUE(writeTextureAsBmp(found, map)) << found;
        }
        // The model ahead of the start, centred on the view and as far as its size asks.
        const Bounds bounds = modelBounds(modelName);
        const float radius = bounds.radius();
        ASSERT_LT(radius, 65.0f);  // so that all of it lies before the far plane
        const float distance = 2 * radius + 1;
        addCell(-200, -200, 200, 200);
        const int object = addObject(0, -25 - bounds.centre(0), 15 + distance - bounds.centre(2), radius);
        placedObjects[object].y = 3 - bounds.centre(1);
        startWorld(modelName.c_str());
        ASSERT_NE(placedObjects[0].displayList, 0);
        ASSERT_GE(placedObjects[0].textureIndex, 0);
        const ImageRecord* image = textures[placedObjects[0].textureIndex].image.get();
        ASSERT_NE(image, nullptr) << textures[placedObjects[0].textureIndex].fileName;

        drawFrames(1);
        const Palette palette(*image);
        int drawn = 0, inPalette = 0;
        for (int y = 0; y < testgl::height; ++y)
            for (int x = 0; x < testgl::width; ++x) {
                const Rgb p = testgl::pixel(x, y);
                if (p.r == 0 && p.g == 0 && p.b == 0) continue;
                ++drawn;
                inPalette += palette.near(p);
            }
        EXPECT_GE(drawn, 40);
        EXPECT_GE(inPalette, drawn * 9 / 10) << drawn << " drawn";
        releaseWorld();
    }
    EXPECT_TRUE(bitmapErrors.empty()) << bitmapErrors[0];
}

// --- Models in the running frame loop --------------------------------------------------

// A red bar 4 long and 0.6 high and deep, lying along X.
void writeBar(const char* name) {
    ASSERT_TRUE(writeSolidBmp("bar.bmp", 4, 4, 255, 0, 0));
    ASSERT_TRUE(mw::writeScene(name, {{"paint", "bar.bmp"}}, {mw::box("bar", "paint", 2, 0.3f, 0.3f)}));
}

TEST_F(ModelGl, ASpinningModelTurnsBetweenFrames) {
    writeBar("bar.3ds");
    addCell(-40, 0, -10, 30);
    const int object = addObject(0, -25, 22, 2);  // 7 ahead of the start (-25, 3, 15)
    placedObjects[object].y = 3;
    placedObjects[object].spinning = 1;
    startWorld("bar.3ds");
    // 7 ahead, one unit is 160 / 7 pixels: the bar's ends lie 45 pixels either side.
    drawFrames(1);
    EXPECT_TRUE(testgl::near(testgl::pixel(80 + 34, 60), red));
    EXPECT_TRUE(testgl::near(testgl::pixel(80, 60 - 34), black));
    drawFrames(359);  // a quarter turn at a quarter degree a frame
    EXPECT_NEAR(placedObjects[0].spinAngle, 90.0f, 0.01f);
    EXPECT_TRUE(testgl::near(testgl::pixel(80 + 34, 60), black));
    EXPECT_TRUE(testgl::near(testgl::pixel(80, 60 - 34), red));
}

// The render pass leaves out a model only where it would draw nothing: the picture, the
// spin and the counts are those of drawing every model, and the model out of view is
// not sent at all.
TEST_F(ModelGl, AModelOutOfViewIsNotSentAndOneReachingIntoTheViewIsDrawnAsBefore) {
    writeBar("bar.3ds");
    addCell(-40, 0, -10, 30);
    // 7 ahead of the start (-25, 3, 15), where the picture's side edge lies 3.5 to the
    // side: one bar 4.5 to the side, spinning in the picture's plane, so that its 2 long
    // arm reaches a unit into the picture while it lies across; one far above the view.
    const int beside = addObject(0, -29.5f, 22, 2);
    const int above = addObject(0, -25, 22, 2);
    placedObjects[beside].y = 3;
    placedObjects[above].y = 50;
    for (const int o : {beside, above}) placedObjects[o].spinning = 1;
    startWorld("bar.3ds");
    ASSERT_GT(listReach(placedObjects[beside].displayList), 2.0f);  // the bar's corner, (2, 0.3, 0.3) away

    struct Run {
        std::vector<std::vector<uint8_t>> pictures;
        std::vector<int32_t> objectsDrawn;
        float spin[2] = {};
        int translates = 0;  // in the last frame: one per model sent
    };
    auto run = [&](bool shortcut) {
        frameShortcuts.drawOnlyVisibleObjects = shortcut;
        for (const int o : {beside, above}) placedObjects[o].spinAngle = 0;
        keepLastFrame = true;
        Run r;
        for (int i = 0; i < 4; ++i) {
            drawFrames(i == 0 ? 1 : 120);  // lying across, then turning through upright
            r.pictures.push_back(keptFrame.pixels);
            r.objectsDrawn.push_back(frameCounts.objectsDrawn);
        }
        glcalls::start();
        drawFrames(1);
        for (const std::string& call : glcalls::stop()) r.translates += call.rfind("translate", 0) == 0;
        r.spin[0] = placedObjects[beside].spinAngle, r.spin[1] = placedObjects[above].spinAngle;
        keepLastFrame = false;
        frameShortcuts = FrameShortcuts{};
        return r;
    };
    const Run all = run(false);
    const Run shortcut = run(true);
    ASSERT_EQ(all.pictures.size(), shortcut.pictures.size());
    for (size_t i = 0; i < all.pictures.size(); ++i) {
        EXPECT_TRUE(all.pictures[i] == shortcut.pictures[i]) << "picture " << i;
        EXPECT_EQ(all.objectsDrawn[i], 2) << "picture " << i;
        EXPECT_EQ(shortcut.objectsDrawn[i], 2) << "picture " << i;
    }
    EXPECT_EQ(all.spin[0], shortcut.spin[0]);
    EXPECT_EQ(all.spin[1], shortcut.spin[1]);  // turned though not drawn
    EXPECT_EQ(all.translates, 2);
    EXPECT_EQ(shortcut.translates, 1);
    // The arm shows at the picture's side in the first picture: what is compared is not
    // a picture without the bar.
    int redAtSide = 0;
    const std::vector<uint8_t>& first = all.pictures[0];
    for (size_t p = 0; p + 2 < first.size(); p += 3)
        redAtSide += first[p] > 200 && first[p + 1] < 60 && first[p + 2] < 60;
    EXPECT_GT(redAtSide, 20);
}

TEST_F(ModelGl, AStencilPortalShowsTheModelWithItsCellsPlacement) {
    writeBar("bar.3ds");
    ASSERT_TRUE(writeSolidBmp("stone.bmp", 4, 4, 128, 128, 128));
    ASSERT_TRUE(writeSolidBmp("moss.bmp", 4, 4, 0, 200, 0));
    std::snprintf(textures[0].fileName, nameFieldSize, "stone.bmp");
    std::snprintf(textures[1].fileName, nameFieldSize, "moss.bmp");
    textureCount = 2;
    const int start = addCell(-40, 0, -10, 30);
    addWall(0, -15, 25, -35, 25);  // 10 ahead of the start
    const int other = addCell(-5, -5, 5, 5);
    // Off the other cell's origin on every axis, so that its position is placed as a
    // wall's corner is: at half size (2, 6, 4) lands at (1, 3, 2) from the offset.
    const int object = addObject(other, 2, 4, 2);
    placedObjects[object].y = 6;
    addWall(1, 10, 6, -10, 6, 12);  // the other cell's back wall
    // A 4 x 4 window just before the wall ahead, onto the other cell shifted to 13 ahead
    // of the eye, at half size and turned a quarter about Z.
    const int k = addPortal(start, other, -23, 24.9f, -27, 24.9f, 1);
    for (int v = 0; v < 4; ++v) cells[start].portalCornerY[v][k] = (v == 1 || v == 2) ? 5.0f : 1.0f;
    setPortalShift(start, k, {-25, 0, 28}, {0.5f, 0.5f, 0.5f});
    cells[start].portalPlacement[axisZ][placementRotate][k] = 90;
    startWorld("bar.3ds");
    drawFrames(1);
    // The bar stands at (-24, 3, 30), just before the back wall (at 31): 15 ahead at eye
    // height, one unit to the left (+X), where a unit is 160 / 15 pixels. It stands
    // upright, 2 long instead of 4, with moss around it inside the window and stone
    // outside. Placed at (2, 6, 4) from the offset, it would stand above the window's
    // view and behind the back wall.
    const int x = 80 - 11;
    EXPECT_TRUE(testgl::near(testgl::pixel(x, 60), red));
    EXPECT_TRUE(testgl::near(testgl::pixel(x, 60 - 7), red));
    EXPECT_TRUE(testgl::near(testgl::pixel(x, 60 - 16), green));  // a bar at full size reaches here
    EXPECT_TRUE(testgl::near(testgl::pixel(x - 7, 60), green));   // an unturned bar lies here
    EXPECT_TRUE(testgl::near(testgl::pixel(x + 7, 60), green));
    EXPECT_TRUE(testgl::near(testgl::pixel(80 - 40, 60), grey));
    // Nothing red anywhere else.
    int redOutside = 0;
    for (int py = 0; py < testgl::height; ++py)
        for (int px = 0; px < testgl::width; ++px)
            if ((px < x - 4 || px > x + 4) && testgl::near(testgl::pixel(px, py), red)) ++redOutside;
    EXPECT_EQ(redOutside, 0);
}

TEST_F(ModelGl, ADemoWalkingIntoAModelStopsShortOfItsBox) {
    writeBar("bar.3ds");
    addCell(-40, 0, -10, 40);
    const int object = addObject(0, -25, 22, 1);  // box front at 21
    placedObjects[object].y = 3;
    startWorld("bar.3ds");
    walkForward(120);
    drawFrames(120);
    EXPECT_EQ(framesDrawn, 120);
    EXPECT_LE(camera.posZ, 21 - 1.25f);
    EXPECT_GT(camera.posZ, 21 - 1.25f - 0.11f);
    EXPECT_FLOAT_EQ(camera.posX, -25);
}

}  // namespace
