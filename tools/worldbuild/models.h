// Models for the world builder: simple shapes made as triangle meshes and written as
// .3ds chunk files with one mesh, one material and its texture map. Angles come from a
// series of plain arithmetic, so the files are the same, byte for byte, everywhere.
// Required for: the standard library only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace worldbuild {

// Models stand on their origin with Z up, as modelling programs keep them; placed with a
// turn of -90 about X they stand upright in the world, and spin about their vertical.
struct ModelSpec {
    std::string shape;    // crate, pillar, ring or gem
    std::string texture;  // the texture map's file name (at most 12 characters)
    float width = 1;      // across, in X and Y
    float height = 1;     // up, in Z
};

struct Mesh {
    std::vector<float> points;     // x, y, z per vertex
    std::vector<float> texCoords;  // u, v per vertex
    std::vector<uint16_t> faces;   // three vertex indices per triangle
};

bool isShape(const std::string& name);
std::string shapeNames();

Mesh makeMesh(const ModelSpec& recipe);

// The .3ds file: a scene with one named mesh object whose faces all use one material
// that names `recipe.texture` as its texture map. `name` (at most 10 characters) names
// both the object and the material.
std::vector<uint8_t> encodeModel(const Mesh& mesh, const std::string& name, const std::string& texture);

// Sine and cosine of 2 pi k / n, from a series in double precision: no library
// function whose last bit could differ between machines.
double turnSine(int k, int n);
double turnCosine(int k, int n);

// The object and material name inside a model file: the file's stem, cut to fit.
std::string objectName(const std::string& file);
// Whether `name` ends in `end` (given in lower case), ignoring the case of `name`.
bool endsWithIgnoringCase(const std::string& name, const std::string& end);

}  // namespace worldbuild
