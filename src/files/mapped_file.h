// A whole regular file mapped read-only, for the loaders that parse a file in place (the
// bitmap loader, the map loader). Mapping reads nothing: only the pages a parser touches
// are ever read, so a huge or sparse file costs no more than what is parsed of it.
// Required for: openRegularFile (files/regular_file.h), mmap (POSIX).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// How the file will be read: at random (headers, then the parts they name), or once
// from front to back, which asks the kernel to read ahead in large steps.
enum class MappedReading { atRandom, frontToBack };

// Opened through openRegularFile, so a FIFO, a folder or a device is refused with its
// reason. An empty file maps to ok() with size 0 (nothing can be mapped of it). The
// descriptor is closed once mapped; the mapping lives as long as the object.
class MappedFile {
public:
    explicit MappedFile(const char* fileName, MappedReading reading = MappedReading::atRandom);
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    // Reads [begin, end) in ahead: one call costs less than a page fault per 4 KiB later.
    void prefetch(size_t begin, size_t end) const;

    bool ok() const { return data_ != nullptr; }
    const uint8_t* data() const { return data_; }  // null when not ok(); never null when ok()
    size_t size() const { return size_; }
    const std::string& reason() const { return reason_; }  // why not ok()

private:
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    bool mapped_ = false;
    std::string reason_;
};

}  // namespace platform
