// Opening the files the engine reads and writes: game.ini, the map, the demo, bitmaps
// and model files. Every one must be a regular file. A FIFO would block the open (or
// the first read) for ever, /dev/zero would never end, and a folder cannot be read, so
// anything else is refused with a reason that says what it is.
//
// Plain POSIX, no SDL and no GL: the bitmap loader and the model toolkit use it too.
// Required for: open, fstat, opendir (POSIX); std::FILE for the stream form.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace platform {

// A file descriptor that closes itself.
class FileHandle {
public:
    FileHandle() = default;
    explicit FileHandle(int fd) : fd_(fd) {}
    ~FileHandle();
    FileHandle(FileHandle&& other) noexcept : fd_(other.release()) {}
    FileHandle& operator=(FileHandle&& other) noexcept;
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    int fd() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    // Hands the descriptor over; the handle is empty afterwards.
    int release();

private:
    int fd_ = -1;
};

enum class FileAccess {
    read,   // an existing file, read only
    write,  // created when missing, emptied when present, write only
};

struct OpenedFile {
    FileHandle handle;   // blocking, close-on-exec; empty when the open was refused
    std::string path;    // the name opened: as given, or its match ignoring case
    uint64_t size = 0;   // bytes in the file at the open (0 for a new or emptied file)
    std::string reason;  // why it was refused: "is a FIFO", "is a folder", "is a device",
                         // "is a socket", or the system's text ("No such file or directory")
    bool ok() const { return bool(handle); }
};

// Opens `name` as a regular file. The open never blocks (a FIFO is opened without
// waiting for a writer, then refused), and the kind is checked on the descriptor, so a
// file swapped for a FIFO between a check and the open is still refused. Nothing but a
// regular file is ever truncated.
//
// Reading: when no file of that exact name exists, the one entry of the same folder
// whose last path component matches ignoring ASCII case is opened instead (files made
// where names ignore case name MP5SIL.BMP for mp5sil.bmp). See findIgnoringCase.
OpenedFile openRegularFile(const std::string& name, FileAccess access);

// The same as a stdio stream ("rb" or "wb"). nullptr on refusal, with `reason` set as
// above; `path` (when given) receives the name opened.
std::FILE* openRegularStream(const std::string& name, FileAccess access, std::string& reason,
                             std::string* path = nullptr);

// The entry of name's folder whose last component equals name's ignoring ASCII case;
// the other bytes (UTF-8 included) must match exactly. When several do, the first in
// byte order (strcmp) is taken, so the choice never depends on the folder's order on
// disk. Empty when none matches or the folder cannot be listed. The folder part itself
// must exist as written.
std::string findIgnoringCase(const std::string& name);

// What a file of this st_mode is, as a refusal reason ("is a FIFO", ...); empty for a
// regular file.
std::string fileKindReason(unsigned mode);

}  // namespace platform

namespace platform {

// --- Replacing a file whole ---------------------------------------------------------
// A file the engine or its tools write in place of another (a recorded demo, a world's
// files) is written under a new name in the same folder and renamed over its target at
// the end: the target holds its old bytes or all the new ones, never a part, and a
// symbolic link at the target is never written through.

// Why `target` may not be replaced: "is a symbolic link", "is a FIFO", "is a folder",
// "is a device", the system's text for a file that may not be written ("Permission
// denied"); empty when it is missing or a regular file that may be written.
std::string replaceRefusal(const std::string& target);

// Checks `target` as above, then creates a new empty file beside it, named in
// `temporary` (".NAME.PID.N.part" in the target's folder). The new file gets the
// permissions of any newly created file (0666 less the umask). Refused as openRegularFile
// refuses, with `reason` set.
OpenedFile createBeside(const std::string& target, std::string& temporary);

// Flushes the written file `fd` to the disk, closes it, and renames `temporary` over
// `target` (checked again first). On failure the temporary file is removed, the target
// is left as it was, and `reason` says why.
bool finishBeside(FileHandle fd, const std::string& temporary, const std::string& target, std::string& reason);

// --- Names in messages --------------------------------------------------------------
// `text` with every control byte (below 0x20, DEL, and the UTF-8 form of the controls
// U+0080..U+009F) written as \xNN, so a name or a byte from a file cannot move the
// terminal's cursor or change its colours. Other UTF-8 is kept. With keepLines, '\n'
// stays as it is (for messages of several lines).
std::string printable(const std::string& text, bool keepLines = false);

// The name with its ending (from the last '.' of the last component on) replaced by
// `ending`, or `ending` appended where there is none; a leading dot starts a hidden name,
// not an ending.
std::string withEnding(const std::string& fileName, const char* ending);

}  // namespace platform
