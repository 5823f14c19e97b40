#include "files/regular_file.h"

#include <dirent.h>    // Required for: opendir, readdir (the case-insensitive match)
#include <fcntl.h>     // Required for: open, fcntl
#include <sys/stat.h>  // Required for: stat, fstat
#include <unistd.h>    // Required for: close, ftruncate

#include <cerrno>
#include <cstring>
#include <ctime>
#include <mutex>
#include <unordered_map>

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

std::string lowerAscii(const char* text) {
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = char(c + 32);
    return lower;
}

// One folder's names by their ASCII lower case, each with the first in byte order of the
// names that share it, and what the folder was when it was listed: adding, removing or
// renaming an entry changes its modification time, so a changed folder is listed again.
// That time moves in steps of a clock tick, so a folder changed less than a second
// before it was listed could change again unseen: such a listing is not kept.
struct FolderIndex {
    dev_t device = 0;
    ino_t inode = 0;
    timespec modified{};
    bool settled = false;  // listed a second or more after its last change
    std::unordered_map<std::string, std::string> byLowerName;
};

bool sameFolder(const FolderIndex& index, const struct stat& info) {
    return index.settled && index.device == info.st_dev && index.inode == info.st_ino &&
           index.modified.tv_sec == info.st_mtim.tv_sec && index.modified.tv_nsec == info.st_mtim.tv_nsec;
}

bool settledSince(const timespec& modified) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return now.tv_sec - modified.tv_sec >= 2 ||
           (now.tv_sec - modified.tv_sec == 1 && now.tv_nsec >= modified.tv_nsec);
}

bool listFolder(const std::string& folderName, const struct stat& info, FolderIndex& index) {
    DIR* folder = opendir(folderName.c_str());
    if (!folder) return false;
    index = FolderIndex{};
    index.device = info.st_dev;
    index.inode = info.st_ino;
    index.modified = info.st_mtim;
    index.settled = settledSince(info.st_mtim);
    while (const dirent* entry = readdir(folder)) {
        const char* entryName = entry->d_name;
        if (std::strcmp(entryName, ".") == 0 || std::strcmp(entryName, "..") == 0) continue;
        std::string& best = index.byLowerName[lowerAscii(entryName)];
        if (best.empty() || std::strcmp(entryName, best.c_str()) < 0) best = entryName;
    }
    closedir(folder);
    return true;
}

// Folders are listed once and kept for the run: a world names hundreds of files of one
// folder, which may hold hundreds of thousands.
std::mutex folderIndexLock;
std::unordered_map<std::string, FolderIndex> folderIndexes;

// A name that is there (in any form) but is no regular file is refused before it is
// opened at all: opening some devices has effects of its own.
// A name to write is not followed when it is a symbolic link: writing through it would
// change whatever file the link points at.
bool refuseSpecial(const std::string& path, OpenedFile& result, bool writing = false) {
    struct stat info {};
    if ((writing ? lstat(path.c_str(), &info) : stat(path.c_str(), &info)) != 0) return false;
    result.reason = S_ISLNK(info.st_mode) ? "is a symbolic link" : fileKindReason(info.st_mode);
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
    const std::string folderName = prefix.empty() ? "." : prefix;
    struct stat info {};
    if (stat(folderName.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return "";
    const std::lock_guard<std::mutex> hold(folderIndexLock);
    FolderIndex& index = folderIndexes[folderName];
    if (!sameFolder(index, info) && !listFolder(folderName, info, index)) {
        folderIndexes.erase(folderName);
        return "";
    }
    const auto found = index.byLowerName.find(lowerAscii(base.c_str()));
    return found == index.byLowerName.end() ? "" : prefix + found->second;
}

OpenedFile openRegularFile(const std::string& name, FileAccess access) {
    OpenedFile result;
    const bool reading = access == FileAccess::read;
    result.path = reading ? pathToRead(name) : name;
    if (result.path.empty()) {
        result.reason = std::strerror(ENOENT);
        return result;
    }
    if (refuseSpecial(result.path, result, !reading)) return result;
    // O_NONBLOCK: a FIFO (even one put in place after the check above) opens at once
    // instead of waiting for its other end. No O_TRUNC: only a file known to be regular
    // is emptied.
    const int flags =
        (reading ? O_RDONLY : O_WRONLY | O_CREAT | O_NOFOLLOW) | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
    FileHandle handle(open(result.path.c_str(), flags, 0666));
    if (!handle) {
        const int error = errno;
        // A FIFO without a reader refuses a non-blocking writer with ENXIO.
        if (!refuseSpecial(result.path, result, !reading)) result.reason = std::strerror(error);
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

namespace platform {
namespace {

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string baseOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The folder itself, flushed so that a rename in it survives a power cut.
void syncFolder(const std::string& path) {
    const std::string folder = folderOf(path);
    FileHandle handle(open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (handle) fsync(handle.fd());
}

}  // namespace

std::string replaceRefusal(const std::string& target) {
    struct stat info {};
    if (lstat(target.c_str(), &info) != 0) return errno == ENOENT ? "" : std::strerror(errno);
    if (S_ISLNK(info.st_mode)) return "is a symbolic link";
    const std::string kind = fileKindReason(info.st_mode);
    if (!kind.empty()) return kind;
    // A file its owner made read-only is kept from being replaced, as from being written.
    if (faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) return std::strerror(errno);
    return "";
}

OpenedFile createBeside(const std::string& target, std::string& temporary) {
    OpenedFile result;
    result.path = target;
    result.reason = baseOf(target).empty() ? std::string("is a folder") : replaceRefusal(target);
    if (!result.reason.empty()) return result;
    // The base is cut so that the new name still fits in a folder entry.
    const std::string prefix = folderOf(target) + "." + baseOf(target).substr(0, 200) + "." +
                               std::to_string(getpid()) + ".";
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = prefix + std::to_string(attempt) + ".part";
        // O_EXCL: never an existing file, and never through a link put at the new name.
        FileHandle handle(open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666));
        if (!handle && errno == EEXIST) continue;
        if (!handle) {
            result.reason = std::strerror(errno);
            return result;
        }
        temporary = name;
        result.handle = std::move(handle);
        result.reason.clear();
        return result;
    }
    result.reason = "no free name for a new file beside it";
    return result;
}

bool finishBeside(FileHandle fd, const std::string& temporary, const std::string& target, std::string& reason) {
    reason.clear();
    if (fsync(fd.fd()) != 0 || close(fd.release()) != 0) {
        reason = std::strerror(errno);
    } else {
        reason = replaceRefusal(target);
        if (reason.empty() && rename(temporary.c_str(), target.c_str()) != 0) reason = std::strerror(errno);
    }
    if (!reason.empty()) {
        unlink(temporary.c_str());
        return false;
    }
    syncFolder(target);
    return true;
}

std::string printable(const std::string& text, bool keepLines) {
    std::string shown;
    shown.reserve(text.size());
    const auto escape = [&shown](unsigned char byte) {
        static const char digits[] = "0123456789abcdef";
        shown += "\\x";
        shown += digits[byte >> 4];
        shown += digits[byte & 15];
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char byte = static_cast<unsigned char>(text[i]);
        const unsigned char next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        if (byte == '\n' && keepLines) {
            shown += '\n';
        } else if (byte < 0x20 || byte == 0x7f) {
            escape(byte);
        } else if (byte == 0xc2 && next >= 0x80 && next <= 0x9f) {
            escape(byte);  // a C1 control written in UTF-8
            escape(next);
            ++i;
        } else {
            shown += char(byte);
        }
    }
    return shown;
}

std::string withEnding(const std::string& fileName, const char* ending) {
    const size_t slash = fileName.rfind('/');
    const size_t start = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = fileName.rfind('.');
    const bool hasEnding = dot != std::string::npos && dot > start;
    return (hasEnding ? fileName.substr(0, dot) : fileName) + ending;
}

}  // namespace platform
