// The model-file toolkit's process-wide error list.
// Every toolkit operation that fails records a code here and returns at once; callers
// test errorPending3ds after each call. CheckArg3ds is the harder mechanism: a missing
// required argument is a programming error and ends the process.
// Required for: nothing beyond the standard library.
#pragma once

#include <cstdint>
#include <cstdio>
#include <new>        // Required for: std::bad_alloc
#include <stdexcept>  // Required for: std::length_error
#include <string>

enum ErrorCode3ds : int32_t {
    NO_FTK_ERRORS = 0,
    ERR_NO_MEM = 1,
    ERR_INVALID_ARG = 2,
    ERR_INVALID_DATA = 3,
    ERR_INVALID_CHUNK = 4,
    ERR_INVALID_DATABASE = 5,
    ERR_WRONG_DATABASE = 6,
    ERR_UNFOUND_CHUNK = 7,
    ERR_WRONG_OBJECT = 8,
    ERR_NO_SUCH_FILE = 9,
    ERR_INIT_FAILED = 10,
    ERR_OPENING_FILE = 11,
    ERR_CLOSING_FILE = 12,
    ERR_READING_FILE = 13,
    ERR_CREATING_DATABASE = 14,
    ERR_READING_DATABASE = 15,
    ERR_WRITING_DATABASE = 16,
    ERR_WRITING_FILE = 17,
    ERR_STRING_TOO_LONG = 18,
    ERR_TOO_MANY_FILES = 19,
    N_ERRORS = 22,  // the overflow entry saw more than one error
};

// One recorded error. `where` is our own addition: the file and byte offset (or the
// argument) that caused it, empty when the cause has no place. The fixed message is
// what PrintErrors3ds prints; the place is for callers that want to say more.
struct ErrorEntry3ds {
    int32_t code = NO_FTK_ERRORS;  // 0 marks a free entry and the end of the list
    const char* message = nullptr;
    std::string where;
};

// 20 recorded entries (only the first 19 are ever filled) plus one overflow entry.
constexpr int kErrorEntries3ds = 20;
constexpr int kErrorListSize3ds = kErrorEntries3ds + 1;

// Set by RecordError3ds, cleared only by ResetErrors3ds (and the test reset).
extern uint8_t errorPending3ds;
// Nothing in the engine sets this; it stays false, so every operation stops at the
// first error.
extern uint8_t continueOnError3ds;

// Records a code (0 is ignored). `where` names the file and place, when there is one.
void RecordError3ds(int32_t code, const std::string& where = std::string());
// Clears the flag and the 20 entries; the overflow entry keeps its code.
void ResetErrors3ds();
// Prints the message of every recorded entry, newest first, one per line.
void PrintErrors3ds(FILE* out);
// The fixed message of a code; "Unknown error code was encountered" for codes without one.
const char* ErrorMessage3ds(int32_t code);
// The list itself, kErrorListSize3ds entries, for callers that walk it.
const ErrorEntry3ds* ErrorList3ds();
// True when the caller must stop: an error is pending and continuing was not asked for.
bool ErrorStop3ds();

// When `condition` is false prints
// Assertion "<message>" failed: file "<module>", line <line>
// to standard error and ends the process with exit status 1.
void CheckArg3ds(bool condition, const char* message, const char* module, int line);

// Test reset: empties the list including the overflow entry and clears both flags.
void ResetErrorList3ds();

// Runs one toolkit operation: memory that cannot be had records ERR_NO_MEM, and the
// operation stops there like on any other error, instead of ending the process.
template <typename Operation>
void GuardMemory3ds(Operation&& operation) noexcept {
    try {
        operation();
    } catch (const std::bad_alloc&) {
        RecordError3ds(ERR_NO_MEM);
    } catch (const std::length_error&) {
        RecordError3ds(ERR_NO_MEM);
    }
}
