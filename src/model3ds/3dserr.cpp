// The toolkit's error list: fixed messages, recording, printing and the argument check.
#include "model3ds/3dserr.h"

#include <cstdlib>  // Required for: exit

uint8_t errorPending3ds = 0;
uint8_t continueOnError3ds = 0;

namespace {

// Lives for the whole process; wiped only by ResetErrors3ds (entries) and the test reset.
ErrorEntry3ds errorList[kErrorListSize3ds];

constexpr int kOverflowEntry = kErrorEntries3ds;
// The last entry of the 20 only ever receives the terminating 0, so errors fill 19.
constexpr int kFillableEntries = kErrorEntries3ds - 1;

// The place is extra: when memory is short the code is recorded without it, so
// recording an error never fails.
void storeEntry(ErrorEntry3ds& entry, int32_t code, const std::string& where) noexcept {
    entry.code = code;
    entry.message = ErrorMessage3ds(code);
    try {
        entry.where = where;
    } catch (const std::bad_alloc&) {
        entry.where.clear();
    }
}

}  // namespace

const char* ErrorMessage3ds(int32_t code) {
    switch (code) {
    case NO_FTK_ERRORS: return "NO_FTK_ERRORS: No errors are pending";
    case ERR_NO_MEM: return "ERR_NO_MEM: Not enough memory to complete operation";
    case ERR_INVALID_ARG:
        return "ERR_INVALID_ARG: The argument passed to the function is invalid.  Usually caused by a NULL "
               "pointer or an out of range numeric argument.";
    case ERR_INVALID_DATA:
        return "ERR_INVALID_DATA: The structure passed as an argument to the function has invalid or out of "
               "range data in its fields.";
    case ERR_INVALID_CHUNK:
        return "ERR_INVALID_CHUNK: An invalid chunk structure was encountered while reading the database. "
               "Usually caused by a corrupt database or file";
    case ERR_INVALID_DATABASE:
        return "ERR_INVALID_DATABASE: The database passed as an argument has not be created yet.";
    case ERR_WRONG_DATABASE:
        return "ERR_WRONG_DATABASE: The database passed as an argument is the wrong kind of database for this "
               "function.";
    case ERR_UNFOUND_CHUNK:
        return "ERR_UNFOUND_CHUNK: The database is missing important file chunks needed to fill out the "
               "requested structure.  Usually caused by a corrupt database or file";
    case ERR_WRONG_OBJECT:
        return "ERR_WRONG_OBJECT: The name passed to the functions exists, but is not the type of object asked "
               "for.  For example, asking for a mesh object with the GetCameraByName3ds function.";
    case ERR_NO_SUCH_FILE:
        return "ERR_NO_SUCH_FILE: The filename passed as an argument for reading does not exist";
    case ERR_INIT_FAILED: return "ERR_INIT_FAILED: Failed to initialize structure passed as an argument";
    case ERR_OPENING_FILE: return "ERR_OPENING_FILE: Could not open requested file";
    case ERR_CLOSING_FILE: return "ERR_CLOSING_FILE: Could not close requested file";
    case ERR_READING_FILE: return "ERR_READING_FILE: Error occured while reading file";
    case ERR_CREATING_DATABASE: return "ERR_CREATING_DATABASE: Error occured while creating database";
    case ERR_READING_DATABASE: return "ERR_READING_DATABASE: Error occured while reading database";
    case ERR_WRITING_DATABASE: return "ERR_WRITING_DATABASE: Error occured while writing database";
    case ERR_WRITING_FILE: return "ERR_WRITING_FILE: Error occured while writing file";
    case ERR_STRING_TOO_LONG:
        return "ERR_STRING_TOO_LONG: String encountered in file, structure, or as an argument was longer than "
               "expected.  Possibly caused by an uninitialed pointer, corrupt file or database";
    case ERR_TOO_MANY_FILES:
        return "ERR_TOO_MANY_FILES: The toolkit has reached its maximum open file limit of 252 files.";
    case N_ERRORS: return "N_ERRORS: More errors were reported then could be recorded.";
    default: return "Unknown error code was encountered";
    }
}

// Fills the first free entry of 19; beyond them, the overflow entry keeps the first
// extra code and turns into N_ERRORS at the second.
void RecordError3ds(int32_t code, const std::string& where) {
    if (code == NO_FTK_ERRORS)
        return;
    errorPending3ds = 1;
    for (int i = 0; i < kFillableEntries; ++i) {
        if (errorList[i].code != NO_FTK_ERRORS)
            continue;
        storeEntry(errorList[i], code, where);
        errorList[i + 1].code = NO_FTK_ERRORS;
        return;
    }
    ErrorEntry3ds& overflow = errorList[kOverflowEntry];
    if (overflow.code == NO_FTK_ERRORS)
        storeEntry(overflow, code, where);
    else
        storeEntry(overflow, N_ERRORS, std::string());
}

void ResetErrors3ds() {
    errorPending3ds = 0;
    for (int i = 0; i < kErrorEntries3ds; ++i)
        errorList[i] = ErrorEntry3ds{};
}

void ResetErrorList3ds() {
    ResetErrors3ds();
    errorList[kOverflowEntry] = ErrorEntry3ds{};
    continueOnError3ds = 0;
}

// Newest first: the root cause of a nested failure is printed last.
void PrintErrors3ds(FILE* out) {
    for (int i = kErrorEntries3ds - 1; i >= 0; --i)
        if (errorList[i].code != NO_FTK_ERRORS)
            std::fprintf(out, "%s\n", errorList[i].message);
}

const ErrorEntry3ds* ErrorList3ds() { return errorList; }

bool ErrorStop3ds() { return errorPending3ds && !continueOnError3ds; }

void CheckArg3ds(bool condition, const char* message, const char* module, int line) {
    if (condition)
        return;
    std::fprintf(stderr, "Assertion \"%s\" failed: file \"%s\", line %d\n", message, module, line);
    std::exit(1);
}
