#include "platform/regular_file.h"

#include <dirent.h>    // Required for: opendir, readdir (the case-insensitive match)
#include <fcntl.h>     // Required for: open, fcntl
#include <sys/stat.h>  // Required for: stat, fstat
#include <unistd.h>    // Required for: close, ftruncate

#include <cerrno>
#include <cstring>

namespace platform {

FileHandle::~FileHandle() {
    if (fd_ >= 0) close(fd_);
}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) close(fd_);
        fd_ = other.release();
    }
    return *this;
}

int FileHandle::release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

std::string fileKindReason(unsigned mode) {
    if (S_ISREG(mode)) return "";
    if (S_ISFIFO(mode)) return "is a FIFO";
    if (S_ISDIR(mode)) return "is a folder";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "is a device";
    if (S_ISSOCK(mode)) return "is a socket";
    return "is not a regular file";
}

namespace {

bool equalIgnoringAsciiCase(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b) {
        const unsigned char x = static_cast<unsigned char>(*a), y = static_cast<unsigned char>(*b);
        const unsigned char lx = (x >= 'A' && x <= 'Z') ? x + 32 : x;
        const unsigned char ly = (y >= 'A' && y <= 'Z') ? y + 32 : y;
        if (lx != ly) return false;
    }
    return *a == *b;
}

// A name that is there (in any form) but is no regular file is refused before it is
// opened at all: opening some devices has effects of its own.
bool refuseSpecial(const std::string& path, OpenedFile& result) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return false;
    result.reason = fileKindReason(info.st_mode);
    return !result.reason.empty();
}

// The descriptor is checked as well as the name: the name may have been replaced
// between the two. Clears O_NONBLOCK so reads and writes behave as usual.
bool checkDescriptor(int fd, OpenedFile& result) {
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        result.reason = std::strerror(errno);
        return false;
    }
    result.reason = fileKindReason(info.st_mode);
    if (!result.reason.empty()) return false;
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        result.reason = std::strerror(errno);
        return false;
    }
    result.size = uint64_t(info.st_size);
    return true;
}

std::string pathToRead(const std::string& name) {
    struct stat info {};
    if (stat(name.c_str(), &info) == 0 || errno != ENOENT) return name;
    const std::string match = findIgnoringCase(name);
    return match.empty() ? name : match;
}

}  // namespace

std::string findIgnoringCase(const std::string& name) {
    const size_t slash = name.rfind('/');
    const std::string prefix = slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
    if (base.empty()) return "";
    DIR* folder = opendir(prefix.empty() ? "." : prefix.c_str());
    if (!folder) return "";
    std::string best;
    while (const dirent* entry = readdir(folder)) {
        const char* entryName = entry->d_name;
        if (std::strcmp(entryName, ".") == 0 || std::strcmp(entryName, "..") == 0) continue;
        if (!equalIgnoringAsciiCase(entryName, base.c_str())) continue;
        if (best.empty() || std::strcmp(entryName, best.c_str()) < 0) best = entryName;
    }
    closedir(folder);
    return best.empty() ? best : prefix + best;
}

OpenedFile openRegularFile(const std::string& name, FileAccess access) {
    OpenedFile result;
    const bool reading = access == FileAccess::read;
    result.path = reading ? pathToRead(name) : name;
    if (result.path.empty()) {
        result.reason = std::strerror(ENOENT);
        return result;
    }
    if (refuseSpecial(result.path, result)) return result;
    // O_NONBLOCK: a FIFO (even one put in place after the check above) opens at once
    // instead of waiting for its other end. No O_TRUNC: only a file known to be regular
    // is emptied.
    const int flags = (reading ? O_RDONLY : O_WRONLY | O_CREAT) | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
    FileHandle handle(open(result.path.c_str(), flags, 0666));
    if (!handle) {
        const int error = errno;
        // A FIFO without a reader refuses a non-blocking writer with ENXIO.
        if (!refuseSpecial(result.path, result)) result.reason = std::strerror(error);
        return result;
    }
    if (!checkDescriptor(handle.fd(), result)) return result;
    if (!reading && ftruncate(handle.fd(), 0) != 0) {
        result.reason = std::strerror(errno);
        return result;
    }
    if (!reading) result.size = 0;
    result.handle = std::move(handle);
    return result;
}

std::FILE* openRegularStream(const std::string& name, FileAccess access, std::string& reason,
                             std::string* path) {
    OpenedFile opened = openRegularFile(name, access);
    if (path) *path = opened.path;
    reason = opened.reason;
    if (!opened.ok()) return nullptr;
    std::FILE* stream = fdopen(opened.handle.fd(), access == FileAccess::read ? "rb" : "wb");
    if (!stream) {
        reason = std::strerror(errno);
        return nullptr;
    }
    opened.handle.release();  // the stream owns it now
    return stream;
}

}  // namespace platform
