#include "worldbuild/models.h"

#include <algorithm>
#include <cctype>

#include "assets/chunk_writer.h"  // Required for: chunk, container, encode, Payload

namespace worldbuild {
namespace {

namespace cw = chunkwriter;

const char* const shapes[] = {"crate", "pillar", "ring", "gem"};

constexpr double pi = 3.14159265358979323846;

// Taylor series of the sine for |x| <= pi; 30 terms are far past double precision.
double seriesSine(double x) {
    double term = x, sum = x;
    for (int i = 1; i < 30; ++i) {
        term *= -x * x / double((2 * i) * (2 * i + 1));
        sum += term;
    }
    return sum;
}

struct Builder {
    Mesh mesh;

    uint16_t vertex(float x, float y, float z, float u, float v) {
        mesh.points.insert(mesh.points.end(), {x, y, z});
        mesh.texCoords.insert(mesh.texCoords.end(), {u, v});
        return uint16_t(mesh.points.size() / 3 - 1);
    }
    void triangle(uint16_t a, uint16_t b, uint16_t c) { mesh.faces.insert(mesh.faces.end(), {a, b, c}); }
    // A flat quad a, b, c, d in order round its edge, textured 0..1 across.
    void quad(const float a[3], const float b[3], const float c[3], const float d[3]) {
        const uint16_t i = vertex(a[0], a[1], a[2], 0, 0);
        const uint16_t j = vertex(b[0], b[1], b[2], 1, 0);
        const uint16_t k = vertex(c[0], c[1], c[2], 1, 1);
        const uint16_t l = vertex(d[0], d[1], d[2], 0, 1);
        triangle(i, j, k);
        triangle(i, k, l);
    }
};

Mesh crate(float w, float h) {
    Builder b;
    const float x0 = -w / 2, x1 = w / 2, y0 = -w / 2, y1 = w / 2;
    const float corner[8][3] = {{x0, y0, 0}, {x1, y0, 0}, {x1, y1, 0}, {x0, y1, 0},
                                {x0, y0, h}, {x1, y0, h}, {x1, y1, h}, {x0, y1, h}};
    const int sides[6][4] = {{0, 1, 5, 4}, {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}, {4, 5, 6, 7}, {3, 2, 1, 0}};
    for (const auto& s : sides) b.quad(corner[s[0]], corner[s[1]], corner[s[2]], corner[s[3]]);
    return b.mesh;
}

// An eight-sided column with its top and bottom closed; the texture wraps twice round it.
Mesh pillar(float w, float h) {
    Builder b;
    const int n = 8;
    const float r = w / 2;
    for (int k = 0; k <= n; ++k) {
        const float x = float(r * turnCosine(k, n)), y = float(r * turnSine(k, n));
        const float u = 2.0f * float(k) / float(n);
        b.vertex(x, y, 0, u, 0);
        b.vertex(x, y, h, u, h / w / 2);
    }
    for (int k = 0; k < n; ++k) {
        const uint16_t a = uint16_t(2 * k), c = uint16_t(2 * k + 2);
        b.triangle(a, c, uint16_t(c + 1));
        b.triangle(a, uint16_t(c + 1), uint16_t(a + 1));
    }
    for (const float z : {0.0f, h}) {
        const uint16_t centre = b.vertex(0, 0, z, 0.5f, 0.5f);
        for (int k = 0; k < n; ++k) {
            const float c0 = float(turnCosine(k, n)), s0 = float(turnSine(k, n));
            const float c1 = float(turnCosine(k + 1, n)), s1 = float(turnSine(k + 1, n));
            const uint16_t p = b.vertex(r * c0, r * s0, z, 0.5f + c0 / 2, 0.5f + s0 / 2);
            const uint16_t q = b.vertex(r * c1, r * s1, z, 0.5f + c1 / 2, 0.5f + s1 / 2);
            b.triangle(centre, p, q);
        }
    }
    return b.mesh;
}

// A standing ring: a torus round the Y axis, resting on its origin. `w` is the outer
// diameter, `h` the thickness of the tube.
Mesh ring(float w, float h) {
    Builder b;
    const int around = 24, tube = 8;
    const float minor = h / 2, major = w / 2 - minor;
    for (int i = 0; i <= around; ++i) {
        for (int j = 0; j <= tube; ++j) {
            const float reach = major + minor * float(turnCosine(j, tube));
            b.vertex(reach * float(turnCosine(i, around)), minor * float(turnSine(j, tube)),
                     w / 2 + reach * float(turnSine(i, around)), 4.0f * float(i) / float(around),
                     float(j) / float(tube));
        }
    }
    for (int i = 0; i < around; ++i) {
        for (int j = 0; j < tube; ++j) {
            const uint16_t a = uint16_t(i * (tube + 1) + j), c = uint16_t(a + tube + 1);
            b.triangle(a, c, uint16_t(c + 1));
            b.triangle(a, uint16_t(c + 1), uint16_t(a + 1));
        }
    }
    return b.mesh;
}

// A cut gem: two six-sided pyramids base to base, each facet textured on its own.
Mesh gem(float w, float h) {
    Builder b;
    const int n = 6;
    const float r = w / 2, waist = h * 0.4f;
    for (int k = 0; k < n; ++k) {
        const float x0 = float(r * turnCosine(k, n)), y0 = float(r * turnSine(k, n));
        const float x1 = float(r * turnCosine(k + 1, n)), y1 = float(r * turnSine(k + 1, n));
        for (const float apex : {h, 0.0f}) {
            const uint16_t p = b.vertex(x0, y0, waist, 0, 0);
            const uint16_t q = b.vertex(x1, y1, waist, 1, 0);
            const uint16_t t = b.vertex(0, 0, apex, 0.5f, 1);
            b.triangle(p, q, t);
        }
    }
    return b.mesh;
}

cw::Chunk colour(uint16_t id, uint8_t r, uint8_t g, uint8_t b) {
    return cw::container(id, {cw::chunk(0x0011, cw::Payload().u8(r).u8(g).u8(b))});
}

cw::Chunk material(const std::string& name, const std::string& texture) {
    return cw::container(0xAFFF, {
        cw::chunk(0xA000, cw::Payload().str(name)),
        colour(0xA010, 60, 60, 60),
        colour(0xA020, 200, 200, 200),
        colour(0xA030, 40, 40, 40),
        cw::container(0xA200, {cw::chunk(0x0030, cw::Payload().i16(100)),
                               cw::chunk(0xA300, cw::Payload().str(texture))}),
    });
}

cw::Chunk meshObject(const Mesh& mesh, const std::string& name) {
    const uint16_t vertexCount = uint16_t(mesh.points.size() / 3);
    const uint16_t faceCount = uint16_t(mesh.faces.size() / 3);
    cw::Payload points, texCoords, faces, group, smoothing, axes;
    points.u16(vertexCount);
    for (const float v : mesh.points) points.f32(v);
    texCoords.u16(vertexCount);
    for (const float v : mesh.texCoords) texCoords.f32(v);
    faces.u16(faceCount);
    for (size_t f = 0; f < faceCount; ++f) faces.u16(mesh.faces[3 * f]).u16(mesh.faces[3 * f + 1]).u16(mesh.faces[3 * f + 2]).u16(7);
    group.str(name).u16(faceCount);
    for (uint16_t f = 0; f < faceCount; ++f) group.u16(f);
    for (uint16_t f = 0; f < faceCount; ++f) smoothing.u32(1);
    const float identity[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
    for (const float v : identity) axes.f32(v);
    return cw::chunk(0x4000, cw::Payload().str(name), {
        cw::container(0x4100, {
            cw::chunk(0x4110, points),
            cw::chunk(0x4140, texCoords),
            cw::chunk(0x4160, axes),
            cw::chunk(0x4120, faces, {cw::chunk(0x4130, group), cw::chunk(0x4150, smoothing)}),
        }),
    });
}

}  // namespace

double turnSine(int k, int n) {
    // Reduce to -pi..pi first: the series converges fastest there.
    k = ((k % n) + n) % n;
    if (2 * k > n) k -= n;
    return seriesSine(2 * pi * double(k) / double(n));
}

double turnCosine(int k, int n) { return turnSine(4 * k + n, 4 * n); }

bool isShape(const std::string& name) {
    return std::find(std::begin(shapes), std::end(shapes), name) != std::end(shapes);
}

std::string shapeNames() { return "crate, pillar, ring, gem"; }

Mesh makeMesh(const ModelSpec& recipe) {
    if (recipe.shape == "crate") return crate(recipe.width, recipe.height);
    if (recipe.shape == "pillar") return pillar(recipe.width, recipe.height);
    if (recipe.shape == "ring") return ring(recipe.width, recipe.height);
    return gem(recipe.width, recipe.height);
}

std::vector<uint8_t> encodeModel(const Mesh& mesh, const std::string& name, const std::string& texture) {
    return cw::encode(cw::container(0x4D4D, {
        cw::chunk(0x0002, cw::Payload().i32(3)),
        cw::container(0x3D3D, {
            cw::chunk(0x3D3E, cw::Payload().i32(3)),
            material(name, texture),
            meshObject(mesh, name),
        }),
    }));
}

std::string objectName(const std::string& file) { return file.substr(0, std::min(file.find('.'), size_t(10))); }

bool endsWithIgnoringCase(const std::string& name, const std::string& end) {
    if (name.size() < end.size()) return false;
    for (size_t i = 0; i < end.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(name[name.size() - end.size() + i])) != end[i]) return false;
    return true;
}

}  // namespace worldbuild
