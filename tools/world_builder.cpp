// world_builder: writes the bundled sample world (game.ini, map.m and its BMP textures)
// into a folder. Usage: world_builder OUTPUT_DIR
//
// The world: a start room, a corridor and a hall joined by plain portals, and in the
// hall's far wall a stencil portal that shows a small blue room, half size, which lies
// far away in the map.
#include <sys/stat.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "support/bmp_writer.h"  // Required for: makeBmp, padRows, writeBytes

namespace {

// --- Textures ---------------------------------------------------------------------------

using Pixel = std::function<void(int x, int y, uint8_t rgb[3])>;

// A 24-bit bottom-up BMP of the pattern.
bool writeBmp(const std::string& path, int width, int height, const Pixel& pixel) {
    std::vector<std::vector<uint8_t>> rows(static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t rgb[3];
            pixel(x, y, rgb);
            rows[size_t(y)].insert(rows[size_t(y)].end(), {rgb[2], rgb[1], rgb[0]});
        }
    }
    BmpLayout layout;
    layout.width = width;
    layout.height = height;
    layout.pixels = padRows(rows);
    return writeBytes(path, makeBmp(layout));
}

void bricks(int x, int y, uint8_t rgb[3]) {
    const int row = y / 16;
    const bool mortar = y % 16 < 2 || (x + (row % 2) * 16) % 32 < 2;
    const int grain = (x * 7 + y * 13) % 9;
    rgb[0] = uint8_t(mortar ? 190 : 150 + grain * 3);
    rgb[1] = uint8_t(mortar ? 185 : 60 + grain);
    rgb[2] = uint8_t(mortar ? 175 : 45 + grain);
}

void floorTiles(int x, int y, uint8_t rgb[3]) {
    const bool dark = ((x / 32) + (y / 32)) % 2 == 0;
    rgb[0] = rgb[1] = rgb[2] = uint8_t(dark ? 70 : 200);
    rgb[2] = uint8_t(rgb[2] + 20);
}

void ceiling(int x, int y, uint8_t rgb[3]) {
    const bool line = x % 32 == 0 || y % 32 == 0;
    rgb[0] = uint8_t(line ? 150 : 230);
    rgb[1] = uint8_t(line ? 150 : 225);
    rgb[2] = uint8_t(line ? 140 : 200);
}

void blueStone(int x, int y, uint8_t rgb[3]) {
    const double wave = std::sin(x * 0.2) * std::cos(y * 0.2);
    rgb[0] = uint8_t(40 + 20 * wave);
    rgb[1] = uint8_t(90 + 30 * wave);
    rgb[2] = uint8_t(200 + 40 * wave);
}

void frame(int x, int y, uint8_t rgb[3]) {
    const bool edge = x < 4 || y < 4 || x > 59 || y > 59;
    rgb[0] = uint8_t(edge ? 240 : 200);
    rgb[1] = uint8_t(edge ? 200 : 160);
    rgb[2] = uint8_t(edge ? 40 : 20);
}

// --- Geometry -------------------------------------------------------------------------------

struct Vec {
    float x, y, z;
};

struct MapText {
    std::string text;
    std::string currentTexture;

    void texture(const std::string& name) {
        if (name == currentTexture) return;
        text += "99999 " + name + "\n";
        currentTexture = name;
    }
    // One textured triangle; the texture repeats every 4 units.
    void triangle(Vec a, Vec b, Vec c, const float st[6]) {
        char line[512];
        std::snprintf(line, sizeof line, "99998 %g %g %g  %g %g %g  %g %g %g  %g %g %g %g %g %g\n", a.x, a.y, a.z,
                      b.x, b.y, b.z, c.x, c.y, c.z, st[0], st[1], st[2], st[3], st[4], st[5]);
        text += line;
    }
    // A rectangle a, b, c, d (in order round its edge) as two triangles.
    void quad(Vec a, Vec b, Vec c, Vec d, float width, float height) {
        const float s = width / 4, t = height / 4;
        const float first[6] = {0, 0, s, 0, s, t};
        const float second[6] = {0, 0, s, t, 0, t};
        triangle(a, b, c, first);
        triangle(a, c, d, second);
    }
};

// An opening in a wall, along the wall from u1 to u2 and from y1 to y2.
struct Opening {
    float u1, u2, y1, y2;
};

// A wall of constant Z (alongX) or constant X, from u1 to u2 and floor to ceiling, cut
// around at most one opening.
void wall(MapText& map, bool alongX, float at, float u1, float u2, float y1, float y2, const Opening* hole) {
    const auto point = [&](float u, float y) { return alongX ? Vec{u, y, at} : Vec{at, y, u}; };
    const auto piece = [&](float a, float b, float lo, float hi) {
        if (b - a <= 0 || hi - lo <= 0) return;
        map.quad(point(a, lo), point(b, lo), point(b, hi), point(a, hi), b - a, hi - lo);
    };
    if (!hole) {
        piece(u1, u2, y1, y2);
        return;
    }
    piece(u1, hole->u1, y1, y2);
    piece(hole->u2, u2, y1, y2);
    piece(hole->u1, hole->u2, y1, hole->y1);
    piece(hole->u1, hole->u2, hole->y2, y2);
}

// Floor and ceiling of a box room.
void floorAndCeiling(MapText& map, float x1, float z1, float x2, float z2, float height) {
    map.texture("floor.bmp");
    map.quad({x1, 0, z1}, {x2, 0, z1}, {x2, 0, z2}, {x1, 0, z2}, x2 - x1, z2 - z1);
    map.texture("ceiling.bmp");
    map.quad({x1, height, z1}, {x1, height, z2}, {x2, height, z2}, {x2, height, z1}, x2 - x1, z2 - z1);
}

struct Portal {
    int neighbour;
    int kind;
    Vec offset;
    Vec scale;
    Vec corners[4];  // 0 and 3 at the floor ends of the opening, 1 and 2 above them
};

std::string cellRecord(float x1, float z1, float x2, float z2, float height, const std::vector<Portal>& portals) {
    char line[256];
    std::snprintf(line, sizeof line, "99900 %g 0 %g %g %g %g %zu\n", x1, z1, x2, height, z2, portals.size());
    std::string text = line;
    for (const Portal& p : portals) {
        std::snprintf(line, sizeof line, "  %d %d  %g %g %g  0 0 0  %g %g %g", p.neighbour, p.kind, p.offset.x,
                      p.offset.y, p.offset.z, p.scale.x, p.scale.y, p.scale.z);
        text += line;
        for (const Vec& c : p.corners) {
            std::snprintf(line, sizeof line, "  %g %g %g", c.x, c.y, c.z);
            text += line;
        }
        text += "\n";
    }
    return text;
}

Portal doorway(int neighbour, float z, float x1, float x2, float top) {
    return {neighbour, 0, {0, 0, 0}, {1, 1, 1}, {{x1, 0, z}, {x1, top, z}, {x2, top, z}, {x2, 0, z}}};
}

std::string buildMap() {
    const float height = 6, doorLeft = -27, doorRight = -23, doorTop = 5;
    const Opening door{doorLeft, doorRight, 0, doorTop};
    MapText map;

    // Cell 0: the start room.
    map.text += cellRecord(-35, 5, -15, 25, height, {doorway(1, 25, doorLeft, doorRight, doorTop)});
    floorAndCeiling(map, -35, 5, -15, 25, height);
    map.texture("bricks.bmp");
    wall(map, true, 5, -35, -15, 0, height, nullptr);
    wall(map, true, 25, -35, -15, 0, height, &door);
    wall(map, false, -35, 5, 25, 0, height, nullptr);
    wall(map, false, -15, 5, 25, 0, height, nullptr);

    // Cell 1: the corridor.
    map.text += cellRecord(doorLeft, 25, doorRight, 45, height,
                           {doorway(0, 25, doorLeft, doorRight, doorTop), doorway(2, 45, doorLeft, doorRight, doorTop)});
    floorAndCeiling(map, doorLeft, 25, doorRight, 45, height);
    map.texture("bricks.bmp");
    wall(map, false, doorLeft, 25, 45, 0, height, nullptr);
    wall(map, false, doorRight, 25, 45, 0, height, nullptr);
    wall(map, true, 25, doorLeft, doorRight, doorTop, height, nullptr);
    wall(map, true, 45, doorLeft, doorRight, doorTop, height, nullptr);

    // Cell 2: the hall, with a window on the blue room just in front of its far wall.
    // The small room (cell 3, x 100..110, z 100..110) is drawn at half size behind it:
    // local x * 0.5 - 77.5 puts its middle at x = -25, z * 0.5 + 19.5 at z = 72.
    const Portal window{3, 1, {-77.5f, 1, 19.5f}, {0.5f, 0.5f, 0.5f},
                        {{-29, 1, 64.9f}, {-29, 5, 64.9f}, {-21, 5, 64.9f}, {-21, 1, 64.9f}}};
    map.text += cellRecord(-35, 45, -15, 65, height, {doorway(1, 45, doorLeft, doorRight, doorTop), window});
    floorAndCeiling(map, -35, 45, -15, 65, height);
    map.texture("bricks.bmp");
    wall(map, true, 45, -35, -15, 0, height, &door);
    wall(map, true, 65, -35, -15, 0, height, nullptr);
    wall(map, false, -35, 45, 65, 0, height, nullptr);
    wall(map, false, -15, 45, 65, 0, height, nullptr);
    map.texture("frame.bmp");
    wall(map, true, 64.95f, -30, -20, 0.5f, 1, nullptr);  // a sill under the window

    // Cell 3: the blue room, only ever seen through the window.
    map.text += cellRecord(100, 100, 110, 110, height, {doorway(2, 100, 103, 107, doorTop)});
    map.texture("floor.bmp");
    map.quad({100, 0, 100}, {110, 0, 100}, {110, 0, 110}, {100, 0, 110}, 10, 10);
    map.texture("blue.bmp");
    wall(map, true, 110, 100, 110, 0, height, nullptr);
    wall(map, false, 100, 100, 110, 0, height, nullptr);
    wall(map, false, 110, 100, 110, 0, height, nullptr);
    map.texture("frame.bmp");
    map.quad({104, 0, 108}, {106, 0, 108}, {106, 3, 108}, {104, 3, 108}, 2, 3);  // a post in the middle

    map.text += "100000\n";
    return map.text;
}

bool writeText(const std::string& path, const std::string& text) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (!file) return false;
    const bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: world_builder OUTPUT_DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    mkdir(dir.c_str(), 0755);
    const bool ok = writeText(dir + "/game.ini", "FULLSCREEN 0\nWIDTH 800\nHEIGHT 600\nDIRECTX 0\n") &&
                    writeText(dir + "/map.m", buildMap()) && writeBmp(dir + "/bricks.bmp", 64, 64, bricks) &&
                    writeBmp(dir + "/floor.bmp", 64, 64, floorTiles) && writeBmp(dir + "/ceiling.bmp", 64, 64, ceiling) &&
                    writeBmp(dir + "/blue.bmp", 64, 64, blueStone) && writeBmp(dir + "/frame.bmp", 64, 64, frame);
    if (!ok) {
        std::fprintf(stderr, "world_builder: cannot write the world into %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
