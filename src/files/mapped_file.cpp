#include "files/mapped_file.h"

#include <sys/mman.h>  // Required for: mmap, munmap, madvise

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "files/regular_file.h"  // Required for: openRegularFile

namespace platform {

MappedFile::MappedFile(const char* fileName, MappedReading reading) {
    const OpenedFile file = openRegularFile(fileName, FileAccess::read);
    if (!file.ok()) {
        reason_ = file.reason;
        return;
    }
    if (file.size == 0) {
        static const uint8_t nothing = 0;
        data_ = &nothing;
        return;
    }
    if (file.size > uint64_t(SIZE_MAX)) {
        reason_ = std::strerror(EFBIG);
        return;
    }
    void* view = mmap(nullptr, size_t(file.size), PROT_READ, MAP_PRIVATE, file.handle.fd(), 0);
    if (view == MAP_FAILED) {
        reason_ = std::strerror(errno);
        return;
    }
    if (reading == MappedReading::frontToBack) madvise(view, size_t(file.size), MADV_SEQUENTIAL);
    data_ = static_cast<const uint8_t*>(view);
    size_ = size_t(file.size);
    mapped_ = true;
}

MappedFile::~MappedFile() {
    if (mapped_) munmap(const_cast<uint8_t*>(data_), size_);
}

void MappedFile::prefetch(size_t begin, size_t end) const {
    constexpr size_t page = 4096;
    begin &= ~(page - 1);
    if (!mapped_ || end <= begin || end > size_) return;
#ifdef MADV_POPULATE_READ
    if (madvise(const_cast<uint8_t*>(data_) + begin, end - begin, MADV_POPULATE_READ) == 0) return;
#endif
    madvise(const_cast<uint8_t*>(data_) + begin, end - begin, MADV_WILLNEED);
}

}  // namespace platform
