// Small .3ds scenes for tests and tools.
#include "assets/model_writer.h"

#include <algorithm>  // Required for: std::min

namespace modelwriter {

namespace cw = chunkwriter;

cw::Chunk meshChunk(const Mesh& mesh) {
    cw::Payload vertices;
    vertices.u16(uint16_t(mesh.vertices.size()));
    for (const Vertex& v : mesh.vertices)
        vertices.f32(v.x).f32(v.y).f32(v.z);
    const size_t texCount = std::min(mesh.textureVertices, mesh.vertices.size());
    cw::Payload texVerts;
    texVerts.u16(uint16_t(texCount));
    for (size_t i = 0; i < texCount; ++i)
        texVerts.f32(mesh.vertices[i].u).f32(mesh.vertices[i].v);
    cw::Payload faces;
    faces.u16(uint16_t(mesh.faces.size()));
    for (const auto& face : mesh.faces)
        faces.u16(face[0]).u16(face[1]).u16(face[2]).u16(7);
    std::vector<cw::Chunk> groups;
    for (const Group& group : mesh.groups) {
        cw::Payload entry;
        entry.str(group.material).u16(uint16_t(group.faces.size()));
        for (uint16_t f : group.faces)
            entry.u16(f);
        groups.push_back(cw::chunk(0x4130, entry));
    }
    std::vector<cw::Chunk> parts{cw::chunk(0x4110, vertices)};
    if (mesh.textureVertices > 0)
        parts.push_back(cw::chunk(0x4140, texVerts));
    parts.push_back(cw::chunk(0x4120, faces, groups));
    return cw::chunk(0x4000, cw::Payload().str(mesh.name), {cw::container(0x4100, parts)});
}

cw::Chunk materialChunk(const Material& material) {
    const auto& d = material.diffuse;
    std::vector<cw::Chunk> parts{
        cw::chunk(0xA000, cw::Payload().str(material.name)),
        cw::container(0xA020, {cw::chunk(0x0011, cw::Payload().u8(d[0]).u8(d[1]).u8(d[2]))}),
    };
    if (!material.textureMap.empty())
        parts.push_back(cw::container(0xA200, {cw::chunk(0x0030, cw::Payload().i16(100)),
                                               cw::chunk(0xA300, cw::Payload().str(material.textureMap))}));
    return cw::container(0xAFFF, parts);
}

cw::Chunk scene(const std::vector<Material>& materials, const std::vector<Mesh>& meshes) {
    std::vector<cw::Chunk> section{cw::chunk(0x3D3E, cw::Payload().i32(3))};
    for (const Material& material : materials)
        section.push_back(materialChunk(material));
    for (const Mesh& mesh : meshes)
        section.push_back(meshChunk(mesh));
    return cw::container(0x4D4D, {cw::chunk(0x0002, cw::Payload().i32(3)), cw::container(0x3D3D, section)});
}

Mesh square(const std::string& name, const std::string& material, float size) {
    const float h = size / 2;
    Mesh mesh;
    mesh.name = name;
    mesh.vertices = {{-h, -h, 0, 0, 0}, {h, -h, 0, 1, 0}, {h, h, 0, 1, 1}, {-h, h, 0, 0, 1}};
    mesh.faces = {{0, 1, 2}, {0, 2, 3}};
    mesh.groups = {{material, {0, 1}}};
    return mesh;
}

Mesh box(const std::string& name, const std::string& material, float halfX, float halfY, float halfZ) {
    Mesh mesh;
    mesh.name = name;
    for (int i = 0; i < 8; ++i) {
        const float x = (i & 1) ? halfX : -halfX, y = (i & 2) ? halfY : -halfY, z = (i & 4) ? halfZ : -halfZ;
        mesh.vertices.push_back({x, y, z, (i & 1) ? 1.0f : 0.0f, (i & 2) ? 1.0f : 0.0f});
    }
    // Two triangles per side; corners by bit: 1 = +X, 2 = +Y, 4 = +Z.
    mesh.faces = {{0, 2, 3}, {0, 3, 1}, {4, 5, 7}, {4, 7, 6}, {0, 4, 6}, {0, 6, 2},
                  {1, 3, 7}, {1, 7, 5}, {0, 1, 5}, {0, 5, 4}, {2, 6, 7}, {2, 7, 3}};
    Group group{material, {}};
    for (uint16_t f = 0; f < mesh.faces.size(); ++f)
        group.faces.push_back(f);
    mesh.groups = {group};
    return mesh;
}

bool writeScene(const std::string& path, const std::vector<Material>& materials, const std::vector<Mesh>& meshes) {
    return cw::writeFile(path, cw::encode(scene(materials, meshes)));
}

}  // namespace modelwriter
