#include "worldbuild/textures.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <map>

#include "assets/bmp_writer.h"  // Required for: makeBmp, padRows

namespace worldbuild {
namespace {

const char* const patterns[] = {"bricks", "tiles", "wood", "stone", "metal", "sky"};
const char* const flavours[] = {"rgb24", "pal8", "rle8", "pal4"};

// --- Noise ------------------------------------------------------------------------------
// Value noise on an integer lattice that wraps with the picture, so every texture tiles
// without a seam.

uint32_t hash(uint32_t x, uint32_t y, uint32_t seed) {
    uint32_t h = x * 0x8da6b343u ^ y * 0xd8163841u ^ seed * 0xcb1ab31fu;
    h ^= h >> 13;
    h *= 0x85ebca6bu;
    h ^= h >> 16;
    return h;
}

// 0 to 1 at a lattice point; coordinates wrap at `period`.
float lattice(int x, int y, int period, uint32_t seed) {
    const int wx = ((x % period) + period) % period;
    const int wy = ((y % period) + period) % period;
    return float(hash(uint32_t(wx), uint32_t(wy), seed) >> 8) / float(1u << 24);
}

float smooth(float t) { return t * t * (3 - 2 * t); }

// Smooth noise, 0 to 1, with `period` lattice cells across `side` pixels.
float valueNoise(int px, int py, int side, int period, uint32_t seed) {
    const float fx = float(px) * float(period) / float(side);
    const float fy = float(py) * float(period) / float(side);
    const int x0 = int(fx), y0 = int(fy);
    const float tx = smooth(fx - float(x0)), ty = smooth(fy - float(y0));
    const float a = lattice(x0, y0, period, seed), b = lattice(x0 + 1, y0, period, seed);
    const float c = lattice(x0, y0 + 1, period, seed), d = lattice(x0 + 1, y0 + 1, period, seed);
    const float top = a + (b - a) * tx, bottom = c + (d - c) * tx;
    return top + (bottom - top) * ty;
}

// Three octaves, 0 to 1.
float fractal(int px, int py, int side, int period, uint32_t seed) {
    float sum = 0, weight = 0, amplitude = 1;
    for (int octave = 0; octave < 3; ++octave) {
        sum += amplitude * valueNoise(px, py, side, period << octave, seed + uint32_t(octave));
        weight += amplitude;
        amplitude *= 0.5f;
    }
    return sum / weight;
}

float clamp01(float v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }

// --- Patterns ---------------------------------------------------------------------------
// Each pattern says, per pixel, which of two materials it shows (0: the main colour;
// 1: the pattern's second one, mortar, grout, rivets, clouds) and a shade from 0 to 1.

struct Sample {
    int material = 0;
    float shade = 0.5f;
};

Sample bricks(int x, int y, int n) {
    const int rowHeight = n / 4, brickWidth = n / 2, mortar = std::max(1, n / 32);
    const int row = y / rowHeight;
    const int shifted = x + (row % 2) * (brickWidth / 2);
    if (y % rowHeight < mortar || shifted % brickWidth < mortar) return {1, 0.4f + 0.3f * fractal(x, y, n, 8, 7)};
    const int brick = shifted / brickWidth;
    const float perBrick = lattice(brick, row, 64, 11);
    return {0, clamp01(0.35f + 0.35f * perBrick + 0.3f * fractal(x, y, n, 16, 3))};
}

Sample tiles(int x, int y, int n) {
    const int tile = n / 2, grout = std::max(1, n / 32);
    if (x % tile < grout || y % tile < grout) return {1, 0.5f};
    const bool light = ((x / tile) + (y / tile)) % 2 == 0;
    return {0, clamp01((light ? 0.75f : 0.45f) + 0.2f * fractal(x, y, n, 8, 5))};
}

Sample wood(int x, int y, int n) {
    const int plank = n / 4;
    if (x % plank == 0) return {1, 0.2f};
    // Grain: bands along the plank, bent by noise, each plank with its own offset.
    const float bend = 6 * fractal(x, y, n, 4, 21 + uint32_t(x / plank));
    const float band = float(x % plank) / float(plank) * 3 + bend + lattice(x / plank, 0, 64, 9) * 5;
    const float wave = band - float(int(band));
    const float grain = wave < 0.5f ? wave * 2 : (1 - wave) * 2;
    return {0, clamp01(0.3f + 0.5f * grain + 0.2f * valueNoise(x, y, n, 32, 4))};
}

Sample stone(int x, int y, int n) {
    const float base = fractal(x, y, n, 4, 31);
    const float vein = fractal(x, y, n, 8, 37);
    // Veins, a shade darker, where the second noise crosses its middle.
    if (vein > 0.47f && vein < 0.53f) return {1, 0.5f};
    return {0, clamp01(0.15f + base)};
}

Sample metal(int x, int y, int n) {
    const int edge = std::max(2, n / 16);
    const int inset = n / 8;
    const int dx = std::min(x, n - 1 - x), dy = std::min(y, n - 1 - y);
    // Rivets near the four corners.
    const int rx = std::min(std::abs(x - inset), std::abs(x - (n - 1 - inset)));
    const int ry = std::min(std::abs(y - inset), std::abs(y - (n - 1 - inset)));
    if (rx * rx + ry * ry <= (n / 32 + 1) * (n / 32 + 1)) return {1, 0.9f};
    if (dx < edge || dy < edge) return {0, 0.35f};
    // Brushed: noise stretched along the rows.
    return {0, clamp01(0.55f + 0.3f * valueNoise(x / 8, y, n / 8 > 0 ? n / 8 : 1, 4, 41) +
                       0.15f * valueNoise(x, y, n, 64, 43))};
}

Sample sky(int x, int y, int n) {
    const float cloud = fractal(x, y, n, 4, 51);
    if (cloud > 0.55f) return {1, clamp01((cloud - 0.55f) * 4)};
    return {0, clamp01(0.6f + 0.4f * valueNoise(x, y, n, 2, 53))};
}

Sample sample(const std::string& pattern, int x, int y, int n) {
    if (pattern == "bricks") return bricks(x, y, n);
    if (pattern == "tiles") return tiles(x, y, n);
    if (pattern == "wood") return wood(x, y, n);
    if (pattern == "stone") return stone(x, y, n);
    if (pattern == "metal") return metal(x, y, n);
    return sky(x, y, n);
}

// The second material's colour: light mortar and grout, dark seams, bright rivets,
// white clouds.
std::array<float, 3> secondColour(const std::string& pattern) {
    if (pattern == "bricks") return {200, 195, 185};
    if (pattern == "tiles") return {60, 60, 65};
    if (pattern == "wood") return {50, 30, 15};
    if (pattern == "metal") return {235, 235, 225};
    return {250, 250, 255};
}

// Shades per material: 12 + 3 colours fit a 16-entry palette, 160 + 64 a 256-entry one.
int shadeLevels(const std::string& flavour, int material) {
    if (flavour == "pal4") return material == 0 ? 12 : 3;
    if (flavour == "pal8" || flavour == "rle8") return material == 0 ? 160 : 64;
    return 256;
}

uint8_t toByte(float v) {
    const float c = v < 0 ? 0 : (v > 255 ? 255 : v);
    return uint8_t(c + 0.5f);
}

}  // namespace

bool isPattern(const std::string& name) {
    return std::find(std::begin(patterns), std::end(patterns), name) != std::end(patterns);
}

bool isFlavour(const std::string& name) {
    return std::find(std::begin(flavours), std::end(flavours), name) != std::end(flavours);
}

std::string patternNames() { return "bricks, tiles, wood, stone, metal, sky"; }
std::string flavourNames() { return "rgb24, pal8, rle8, pal4"; }

void defaultColour(const std::string& pattern, uint8_t colour[3]) {
    static const std::map<std::string, std::array<uint8_t, 3>> colours = {
        {"bricks", {160, 70, 50}}, {"tiles", {190, 190, 200}}, {"wood", {150, 100, 55}},
        {"stone", {140, 135, 125}}, {"metal", {150, 160, 170}}, {"sky", {90, 140, 220}}};
    const auto found = colours.find(pattern);
    const std::array<uint8_t, 3> c = found != colours.end() ? found->second : std::array<uint8_t, 3>{128, 128, 128};
    std::copy(c.begin(), c.end(), colour);
}

std::vector<uint8_t> renderTexture(const TextureSpec& recipe) {
    const int n = recipe.pixels;
    std::vector<uint8_t> rgb(size_t(n) * size_t(n) * 3);
    const std::array<float, 3> second = secondColour(recipe.pattern);
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            const Sample s = sample(recipe.pattern, x, y, n);
            const int levels = shadeLevels(recipe.flavour, s.material);
            const float shade = float(int(s.shade * float(levels - 1) + 0.5f)) / float(levels - 1);
            const float brightness = 0.45f + 0.65f * shade;
            uint8_t* out = &rgb[(size_t(y) * size_t(n) + size_t(x)) * 3];
            for (int c = 0; c < 3; ++c) {
                // Stone's veins are its own colour, darker; the others have a colour of their own.
                const float main = float(recipe.colour[c]);
                const float base = s.material == 0 ? main : (recipe.pattern == "stone" ? main * 0.6f : second[size_t(c)]);
                out[c] = toByte(base * brightness);
            }
        }
    }
    return rgb;
}

std::vector<uint8_t> encodeRle8(const std::vector<std::vector<uint8_t>>& rows) {
    std::vector<uint8_t> out;
    for (size_t r = 0; r < rows.size(); ++r) {
        const std::vector<uint8_t>& row = rows[r];
        size_t i = 0;
        while (i < row.size()) {
            size_t run = 1;
            while (i + run < row.size() && run < 255 && row[i + run] == row[i]) ++run;
            if (run >= 3) {
                out.insert(out.end(), {uint8_t(run), row[i]});
                i += run;
                continue;
            }
            // A stretch without a run of three: absolute mode when it is 3 or more pixels
            // long (shorter stretches are written as runs of one).
            size_t end = i;
            while (end < row.size() && end - i < 255) {
                if (end + 2 < row.size() && row[end] == row[end + 1] && row[end] == row[end + 2]) break;
                ++end;
            }
            const size_t count = end - i;
            if (count < 3) {
                for (size_t k = 0; k < count; ++k) out.insert(out.end(), {1, row[i + k]});
            } else {
                out.insert(out.end(), {0, uint8_t(count)});
                out.insert(out.end(), row.begin() + long(i), row.begin() + long(end));
                if (count % 2) out.push_back(0);  // absolute runs end on a 16-bit boundary
            }
            i = end;
        }
        if (r + 1 < rows.size()) out.insert(out.end(), {0, 0});
    }
    out.insert(out.end(), {0, 1});
    return out;
}

bool encodeBmp(const std::vector<uint8_t>& rgb, int side, const std::string& flavour, std::vector<uint8_t>& file,
               std::string& error) {
    BmpLayout layout;
    layout.width = side;
    layout.height = side;
    std::vector<std::vector<uint8_t>> rows(static_cast<size_t>(side));
    if (flavour == "rgb24") {
        for (int y = 0; y < side; ++y) {
            for (int x = 0; x < side; ++x) {
                const uint8_t* p = &rgb[(size_t(y) * size_t(side) + size_t(x)) * 3];
                rows[size_t(y)].insert(rows[size_t(y)].end(), {p[2], p[1], p[0]});
            }
        }
        layout.pixels = padRows(rows);
        file = makeBmp(layout);
        return true;
    }
    // Palette flavours: colours in the order they first appear, bottom row first.
    const size_t capacity = flavour == "pal4" ? 16 : 256;
    std::map<std::array<uint8_t, 3>, uint8_t> index;
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            const uint8_t* p = &rgb[(size_t(y) * size_t(side) + size_t(x)) * 3];
            const std::array<uint8_t, 3> colour = {p[0], p[1], p[2]};
            auto found = index.find(colour);
            if (found == index.end()) {
                if (layout.palette.size() == capacity) {
                    error = "more than " + std::to_string(capacity) + " colours for a " + flavour + " palette";
                    return false;
                }
                found = index.emplace(colour, uint8_t(layout.palette.size())).first;
                layout.palette.push_back(colour);
            }
            rows[size_t(y)].push_back(found->second);
        }
    }
    layout.clrUsed = uint32_t(layout.palette.size());
    if (flavour == "pal4") {
        layout.bitCount = 4;
        for (auto& row : rows) {
            std::vector<uint8_t> packed((row.size() + 1) / 2);
            for (size_t i = 0; i < row.size(); ++i) packed[i / 2] |= uint8_t(row[i] << (i % 2 ? 0 : 4));
            row = packed;
        }
        layout.pixels = padRows(rows);
    } else if (flavour == "rle8") {
        layout.bitCount = 8;
        layout.compression = 1;
        layout.pixels = encodeRle8(rows);
        layout.sizeImage = uint32_t(layout.pixels.size());
    } else {
        layout.bitCount = 8;
        layout.pixels = padRows(rows);
    }
    file = makeBmp(layout);
    return true;
}

}  // namespace worldbuild
