// The program's icon: a stone arch with a lit opening, drawn in code so that the window
// and the icon installed for the desktop are the same picture and no file has to be found
// at run time.
#pragma once

#include <cstdint>
#include <vector>

namespace platform {

// The icon at side x side pixels, RGBA rows top first, 4 bytes a pixel, transparent
// outside the rounded square it fills.
std::vector<uint8_t> drawIcon(int side);

}  // namespace platform
