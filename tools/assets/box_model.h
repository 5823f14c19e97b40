// A textured box as a .3ds file, for worlds written by tests and benchmarks.
// Required for: chunk_writer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace boxmodel {

// The bytes of a .3ds file holding one mesh, "box": a cube of the given half size around
// the origin, 12 triangles with texture coordinates, all in one material group whose
// material maps `textureFile` (at most 12 characters).
std::vector<uint8_t> boxModel3ds(float halfSize, const std::string& textureFile);

}  // namespace boxmodel
