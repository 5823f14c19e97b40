// Model file contexts: opening, closing and the table of open files.
#include "model3ds/3dsfile.h"

#include <sys/stat.h>  // Required for: fstat (size of an opened file)
#include <unistd.h>    // Required for: close (the temporary name's descriptor)

#include <cassert>
#include <cstdlib>  // Required for: mkstemp
#include <cstring>

#include "model3ds/3dserr.h"
#include "files/regular_file.h"  // Required for: openRegularStream

namespace {

// The context table is created by the first registration and lives for the process;
// ResetToolkit3ds (tests only) closes every file and forgets it.
std::unique_ptr<file3ds*[]> contextTable;
uint8_t usedSlots = 0;  // one past the highest slot ever filled; never shrinks
file3ds* currentContext = nullptr;
uint8_t currentIndex = 0;

// Registers the file in the first empty slot (reusing closed ones first).
bool addContext(file3ds* file) {
    if (!contextTable) {
        contextTable.reset(new file3ds*[kMaxContexts3ds]());
        usedSlots = 0;
        currentIndex = 0;
    }
    int slot = 0;
    while (slot < usedSlots && contextTable[slot] != nullptr)
        ++slot;
    if (slot >= kMaxContexts3ds) {
        RecordError3ds(ERR_TOO_MANY_FILES, file->name);
        return false;
    }
    contextTable[slot] = file;
    file->index = uint8_t(slot);
    if (slot == usedSlots)
        ++usedSlots;
    return true;
}

// Releases a record that never became a usable context.
void dropContext(file3ds* file) {
    if (file->index != kNoContext3ds)
        DelContext3ds(file);
    delete file;
}

file3ds* findByName(const char* name) {
    for (int slot = 0; slot < usedSlots; ++slot)
        if (contextTable[slot] && contextTable[slot]->name == name)
            return contextTable[slot];
    return nullptr;
}

// The first "r" or "w" decides; later letters are not looked at.
uint32_t scanMode(const char* mode, uint32_t length) {
    for (uint32_t i = 0; i < length; ++i) {
        if (mode[i] == 'r')
            return kModeRead3ds;
        if (mode[i] == 'w')
            return kModeWrite3ds;
    }
    return 0;
}

void attachBuffer(file3ds* file) {
    if (file->buffer)
        std::setvbuf(file->stream, file->buffer.get(), _IOFBF, file->bufferSize);
    file->streamPos = UINT64_MAX;
    struct stat info;
    file->sizeOnDisk = fstat(fileno(file->stream), &info) == 0 ? uint64_t(info.st_size) : 0;
}

std::string directoryPart(const std::string& name) {
    const size_t slash = name.find_last_of("\\/:");
    return slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
}

// A file being read is about to be opened again in another mode under its name: move
// it aside to a fresh name in the same directory and keep reading from there. The
// copy is deleted when the context is closed.
bool reopenAsTemporary(file3ds* file) {
    assert(!file->name.empty() && "filename != NULL");
    const long where = std::ftell(file->stream);
    const int closed = std::fclose(file->stream);
    file->stream = nullptr;
    if (closed != 0) {
        RecordError3ds(ERR_CLOSING_FILE, file->name);
        return false;
    }
    // mkstemp rather than a bare temporary name: it creates the file, so no other
    // process can take the name between choosing and renaming.
    std::string temp = directoryPart(file->name) + "3dsXXXXXX";
    const int fd = mkstemp(&temp[0]);
    if (fd < 0) {
        RecordError3ds(ERR_OPENING_FILE, file->name);
        return false;
    }
    close(fd);
    if (std::rename(file->name.c_str(), temp.c_str()) != 0) {
        std::remove(temp.c_str());
        RecordError3ds(ERR_OPENING_FILE, file->name);
        return false;
    }
    file->isTemporary = 1;
    file->name = temp;
    std::string reason;
    file->stream = platform::openRegularStream(temp, platform::FileAccess::read, reason);
    if (!file->stream) {
        RecordError3ds(ERR_OPENING_FILE, temp + ": " + reason);
        return false;
    }
    attachBuffer(file);
    std::fseek(file->stream, where, SEEK_SET);
    return true;
}

// What happens to an open context of the same name as a new one in another mode.
bool settleNameClash(file3ds* existing) {
    if (existing->mode & kModeRead3ds)
        return reopenAsTemporary(existing);
    CloseModelFile3ds(existing);
    return !ErrorStop3ds();
}

}  // namespace

static file3ds* openModelFile(const char* name, const char* mode) {
    if (!name || !mode) {
        RecordError3ds(ERR_INVALID_ARG, "OpenModelFile3ds: missing file name or mode");
        return nullptr;
    }
    file3ds* existing = contextTable ? findByName(name) : nullptr;
    file3ds* file = new file3ds;
    if (errorPending3ds) {
        RecordError3ds(ERR_INIT_FAILED, name);
        delete file;
        return nullptr;
    }
    file->name = name;
    if (!addContext(file)) {
        delete file;
        return nullptr;
    }
    const uint32_t modeLength = BoundedStrLen3ds(mode, kModeStringLimit3ds);
    file->mode = ErrorStop3ds() ? 0 : scanMode(mode, modeLength);
    if (file->mode == 0) {
        if (!ErrorStop3ds())
            RecordError3ds(ERR_INIT_FAILED, std::string(name) + ": mode \"" + mode + "\" has no r or w");
        dropContext(file);
        return nullptr;
    }
    if (existing && existing->mode == file->mode) {
        dropContext(file);
        return existing;
    }
    if (existing && !settleNameClash(existing)) {
        dropContext(file);
        return nullptr;
    }
    // A FIFO or a device is refused, never waited on; a name in another case finds the
    // file when reading. The context keeps the path really opened, so that moving the
    // file aside later renames the right one.
    std::string reason;
    const platform::FileAccess access =
        (file->mode & kModeRead3ds) ? platform::FileAccess::read : platform::FileAccess::write;
    file->stream = platform::openRegularStream(name, access, reason, &file->name);
    if (!file->stream) {
        RecordError3ds(ERR_OPENING_FILE, std::string(name) + ": " + reason);
        dropContext(file);
        return nullptr;
    }
    // A buffer that cannot be had is not an error: the stream keeps its own.
    file->buffer.reset(new (std::nothrow) char[kStreamBufferSize3ds]);
    file->bufferSize = file->buffer ? kStreamBufferSize3ds : 0;
    attachBuffer(file);
    return file;
}

file3ds* OpenModelFile3ds(const char* name, const char* mode) {
    file3ds* file = nullptr;
    GuardMemory3ds([&] { file = openModelFile(name, mode); });
    return file;
}

void CloseModelFile3ds(file3ds* file) {
    if (!file)
        return;
    const bool closeFailed = file->stream && std::fclose(file->stream) != 0;
    file->stream = nullptr;
    if (file->isTemporary)
        std::remove(file->name.c_str());
    const std::string name = file->name;
    DelContext3ds(file);
    delete file;
    if (closeFailed)
        RecordError3ds(ERR_CLOSING_FILE, name);
}

void DelContext3ds(file3ds* file) {
    CheckArg3ds(file != nullptr, "DelContext3ds: arg *file cannot be NULL", "3dsfile", 112);
    if (contextTable && file->index < kMaxContexts3ds && contextTable[file->index] == file) {
        contextTable[file->index] = nullptr;
        file->index = kNoContext3ds;
    }
    // The current context must never point at a freed record.
    if (currentContext == file)
        currentContext = nullptr;
}

void SetContext3ds(file3ds* file) {
    CheckArg3ds(file != nullptr, "SetContext3ds: arg *file cannot be NULL", "3dsfile", 169);
    currentContext = file;
    currentIndex = file->index;
}

void SetContextByIndex3ds(uint8_t slot) {
    if (file3ds* file = GetContext3ds(slot))
        SetContext3ds(file);
}

file3ds* GetContext3ds(uint8_t slot) {
    return (contextTable && slot < usedSlots) ? contextTable[slot] : nullptr;
}

file3ds* CurrentContext3ds() { return currentContext; }
uint8_t CurrentIndex3ds() { return currentIndex; }
uint8_t UsedSlots3ds() { return usedSlots; }

uint32_t BoundedStrLen3ds(const char* text, uint32_t limit) {
    if (!text) {
        RecordError3ds(ERR_INVALID_ARG, "missing string");
        return 0;
    }
    uint32_t length = 0;
    while (length <= limit && text[length] != '\0')
        ++length;
    if (length == limit + 1 && text[length] != '\0') {
        RecordError3ds(ERR_STRING_TOO_LONG, std::string(text, limit + 1) + "...");
        return 0;
    }
    return length;
}

void ResetToolkit3ds() {
    for (int slot = 0; contextTable && slot < usedSlots; ++slot)
        CloseModelFile3ds(contextTable[slot]);
    contextTable.reset();
    usedSlots = 0;
    currentContext = nullptr;
    currentIndex = 0;
    ResetErrorList3ds();
}
