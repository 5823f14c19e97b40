// Builds small .3ds scenes (meshes with texture coordinates, material groups,
// materials with texture maps) on top of the chunk writer, for tests and tools.
// Required for: the chunk writer.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "assets/chunk_writer.h"

namespace modelwriter {

struct Vertex {
    float x = 0, y = 0, z = 0;
    float u = 0, v = 0;
};

struct Group {
    std::string material;
    std::vector<uint16_t> faces;  // indices into Mesh::faces
};

struct Mesh {
    std::string name;
    std::vector<Vertex> vertices;
    size_t textureVertices = SIZE_MAX;  // how many (u, v) pairs to write; all by default
    std::vector<std::array<uint16_t, 3>> faces;
    std::vector<Group> groups;
};

struct Material {
    std::string name;
    std::string textureMap;  // empty: no texture map slot at all
    std::array<uint8_t, 3> diffuse{200, 200, 200};
};

// A named object (0x4000) holding the mesh.
chunkwriter::Chunk meshChunk(const Mesh& mesh);
// A material (0xAFFF): name, diffuse colour and, when named, a texture map slot.
chunkwriter::Chunk materialChunk(const Material& material);
// A scene file: version, then the mesh section with the materials before the meshes.
chunkwriter::Chunk scene(const std::vector<Material>& materials, const std::vector<Mesh>& meshes);

// An upright square of side `size` facing -Z (towards an eye looking along +Z), centred
// on the origin, in two faces of one group; texture coordinates span 0..1.
Mesh square(const std::string& name, const std::string& material, float size);
// A box of the given half sizes around the origin: 8 corners, 12 faces, one group.
Mesh box(const std::string& name, const std::string& material, float halfX, float halfY, float halfZ);

// Writes the scene to `path`; false when it cannot be written.
bool writeScene(const std::string& path, const std::vector<Material>& materials, const std::vector<Mesh>& meshes);

}  // namespace modelwriter
