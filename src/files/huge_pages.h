// A memory hint shared by the loaders that fill large fresh blocks (decoded images, the
// polygon array).
#pragma once

#include <cstddef>

// A large block's fresh pages cost one fault each on first touch, 4 KiB at a time (and
// far more than the decoding itself in a virtual machine). Asking for huge pages before
// the block is touched cuts that to one fault per 2 MiB. Only a hint: the kernel may
// ignore it, and blocks smaller than a huge page are left alone.
void adviseHugePages(const void* block, size_t bytes);
