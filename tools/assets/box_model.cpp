#include "assets/box_model.h"

#include "assets/chunk_writer.h"

namespace boxmodel {

std::vector<uint8_t> boxModel3ds(float halfSize, const std::string& textureFile) {
    namespace cw = chunkwriter;
    const float h = halfSize;
    // Corners: bit 0 picks X, bit 1 Y, bit 2 Z.
    cw::Payload points, uv;
    points.u16(8);
    uv.u16(8);
    for (int i = 0; i < 8; ++i) {
        points.f32(i & 1 ? h : -h).f32(i & 2 ? h : -h).f32(i & 4 ? h : -h);
        uv.f32(float(i & 1)).f32(float((i >> 1) & 1));
    }
    // Two triangles a face: -X, +X, -Y, +Y, -Z, +Z.
    const uint16_t faces[12][3] = {{0, 4, 6}, {0, 6, 2}, {1, 3, 7}, {1, 7, 5}, {0, 1, 5}, {0, 5, 4},
                                   {2, 6, 7}, {2, 7, 3}, {0, 2, 3}, {0, 3, 1}, {4, 5, 7}, {4, 7, 6}};
    cw::Payload faceArray, group;
    faceArray.u16(12);
    group.str("crate").u16(12);
    for (int f = 0; f < 12; ++f) {
        faceArray.u16(faces[f][0]).u16(faces[f][1]).u16(faces[f][2]).u16(0);
        group.u16(uint16_t(f));
    }
    const cw::Chunk mesh = cw::container(
        0x4100, {cw::chunk(0x4110, points), cw::chunk(0x4140, uv), cw::chunk(0x4120, faceArray, {cw::chunk(0x4130, group)})});
    const cw::Chunk material = cw::container(
        0xAFFF, {cw::chunk(0xA000, cw::Payload().str("crate")),
                 cw::container(0xA200, {cw::chunk(0xA300, cw::Payload().str(textureFile))})});
    const cw::Chunk data = cw::container(
        0x3D3D, {cw::chunk(0x3D3E, cw::Payload().u32(3)), material, cw::chunk(0x4000, cw::Payload().str("box"), {mesh})});
    return cw::encode(cw::container(0x4D4D, {cw::chunk(0x0002, cw::Payload().u32(3)), data}));
}

}  // namespace boxmodel
