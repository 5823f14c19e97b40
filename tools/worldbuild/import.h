// Models made elsewhere, brought into a world: a 3D Studio file read with the engine's
// own toolkit, or a model of another format (OBJ, glTF, STL, PLY, ...) read by assimp,
// each written again as a .3ds file of our own, scaled, with its texture maps; and the
// boxes of placed models, worked out from their geometry as placed and turned.
// Required for: the chunk and model writers (the files written), the builder's files.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "assets/model_writer.h"    // Required for: modelwriter::Mesh, Material
#include "worldbuild/build.h"        // Required for: WorldFiles
#include "worldbuild/description.h"  // Required for: WorldDecl

namespace worldbuild {

// A model as the builder holds it before writing it: every mesh with its texture
// coordinates and material groups, and every material with its texture map.
struct ModelData {
    std::vector<modelwriter::Mesh> meshes;
    std::vector<modelwriter::Material> materials;
};

// Reads the model file `path`: a .3ds name through the engine's toolkit, any other
// through assimp (triangulated, node transforms applied, meshes split to the 65535
// vertices and faces a .3ds mesh holds, one material per texture map). The texture maps
// are left as the file names them, relative to its folder. false with `error` when the
// file cannot be read or holds no triangle; `notes` receives what was left out (an
// embedded texture, points and lines).
bool readModelSource(const std::string& path, ModelData& model, std::vector<std::string>& notes, std::string& error);

// The whole of the regular file `path`, at most 64 MiB (a texture map, a picture), or
// false with `reason` ("is a FIFO", "it is larger than 64 MiB", ...).
bool readWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& reason);

// Every vertex times `scale`.
void scaleModel(ModelData& model, float scale);

// The model's .3ds file bytes: materials first, then the meshes.
std::vector<uint8_t> encodeModelData(const ModelData& model);

struct PlacedBox {
    std::array<float, 3> low{}, high{};  // about the model's position
};

// The box that holds `points` (x, y, z each) as the engine draws the model: scaled, then
// turned by its own turn about Z, Y and X in that order (whole degrees), and, when it
// spins, by any turn about its own Z before that. Pure.
PlacedBox placedBox(const std::vector<float>& points, float scale, const std::array<int, 3>& turn, bool spin);

// The step between checking a world and writing its map: reads every model with a
// source file (and the bitmaps its texture maps name), scales it, and gives each place
// its model file (a scaled copy for a place with a scale of its own) and its box (the
// model's as placed and turned, when the place gives none). `resolved` is the world to
// write the map from; `files` receives the models read from files, the scaled copies
// and the texture maps brought along; `warnings` a "FILE:LINE: warning: ..." for every
// box given by hand that does not cover its model, and for what a conversion left out.
// false with `error` ("FILE:LINE: message") on the first problem.
bool resolveModels(const WorldDecl& world, WorldDecl& resolved, WorldFiles& files, std::vector<std::string>& warnings,
                   std::string& error);

}  // namespace worldbuild
