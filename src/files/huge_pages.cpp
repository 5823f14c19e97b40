#include "files/huge_pages.h"

#include <sys/mman.h>  // Required for: madvise

#include <cstdint>

void adviseHugePages(const void* block, size_t bytes) {
    constexpr uintptr_t hugePage = uintptr_t(2) << 20;
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(block) + hugePage - 1) & ~(hugePage - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(block) + bytes) & ~(hugePage - 1);
    if (block && end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}
