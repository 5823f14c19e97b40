// Model file contexts: the table of open .3ds files and which one is current.
// Every payload read first makes its chunk's file current and seeks, so several files
// may be open and read in turns.
// Required for: the error list (3dserr.h); standard file streams.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

// Bits of file3ds::mode.
constexpr uint32_t kModeRead3ds = 0x1;
constexpr uint32_t kModeWrite3ds = 0x2;

constexpr int kMaxContexts3ds = 252;          // slots 0..251; a 253rd open file is refused
constexpr uint8_t kNoContext3ds = 255;        // index of an unregistered file / memory-only chunk
constexpr uint32_t kStreamBufferSize3ds = 8192;
constexpr uint32_t kModeStringLimit3ds = 30;  // mode strings of up to 31 characters pass

// One open model file. Created by OpenModelFile3ds, destroyed by CloseModelFile3ds.
struct file3ds {
    FILE* stream = nullptr;
    std::string name;                 // as opened; the temporary name after a reopen
    uint32_t mode = 0;                // kModeRead3ds | kModeWrite3ds
    uint8_t index = kNoContext3ds;    // slot in the context table
    std::unique_ptr<char[]> buffer;   // given to the stream; must outlive it
    uint32_t bufferSize = 0;
    uint8_t isTemporary = 0;          // 1: the file on disk is a copy deleted on close
    // Our own bookkeeping for the bounded readers:
    uint64_t sizeOnDisk = 0;          // bytes in the file when opened for reading
    uint64_t streamPos = UINT64_MAX;  // where the stream stands, UINT64_MAX = unknown
};

// Opens `name` with a mode string scanned for its first "r" or "w". Reopening a name
// already open in the same mode returns that context; in another mode the open one is
// moved aside (read) or closed (write). Returns nullptr with an error recorded.
file3ds* OpenModelFile3ds(const char* name, const char* mode);
// Closes the stream, deletes a temporary copy, frees the slot and the record.
// nullptr is a no-op. A failed close records ERR_CLOSING_FILE after everything is freed.
void CloseModelFile3ds(file3ds* file);

// Empties the file's slot (when it still holds this file). Asserts the argument.
void DelContext3ds(file3ds* file);
// Makes the file current. Asserts the argument.
void SetContext3ds(file3ds* file);
// Makes the file in `slot` current when there is one; otherwise nothing changes.
void SetContextByIndex3ds(uint8_t slot);
// The file in `slot`, or nullptr.
file3ds* GetContext3ds(uint8_t slot);
// The current file (nullptr when none) and its slot.
file3ds* CurrentContext3ds();
uint8_t CurrentIndex3ds();
// One past the highest slot ever filled.
uint8_t UsedSlots3ds();

// Length of `text` looking at no more than limit + 1 characters: strings of up to
// limit + 1 characters pass, longer ones record ERR_STRING_TOO_LONG; nullptr records
// ERR_INVALID_ARG. Both give 0.
uint32_t BoundedStrLen3ds(const char* text, uint32_t limit);

// Test reset: closes every open file and forgets the table, then empties the error list.
void ResetToolkit3ds();
