// The toolkit's error list: recording, overflow, printing, messages, argument checks.
#include <cstdio>
#include <string>

#include "toolkit_fixture.h"

namespace {

std::string printed() {
    FILE* out = std::tmpfile();
    PrintErrors3ds(out);
    std::rewind(out);
    std::string text;
    for (int c; (c = std::fgetc(out)) != EOF;)
        text += char(c);
    std::fclose(out);
    return text;
}

using ErrorList3dsTest = Toolkit3dsTest;

TEST_F(ErrorList3dsTest, CodeZeroChangesNothing) {
    RecordError3ds(NO_FTK_ERRORS);
    EXPECT_EQ(errorPending3ds, 0);
    EXPECT_TRUE(codes().empty());
    EXPECT_EQ(printed(), "");
}

TEST_F(ErrorList3dsTest, NineteenEntriesThenOverflowThenNErrors) {
    for (int i = 1; i <= 19; ++i)
        RecordError3ds(i);
    EXPECT_EQ(codes().size(), 19u);
    EXPECT_EQ(ErrorList3ds()[kErrorEntries3ds].code, NO_FTK_ERRORS);

    RecordError3ds(ERR_READING_FILE);  // the 20th
    EXPECT_EQ(ErrorList3ds()[kErrorEntries3ds].code, ERR_READING_FILE);
    RecordError3ds(ERR_NO_MEM);  // the 21st
    EXPECT_EQ(ErrorList3ds()[kErrorEntries3ds].code, N_ERRORS);
    EXPECT_STREQ(ErrorList3ds()[kErrorEntries3ds].message, ErrorMessage3ds(N_ERRORS));
    RecordError3ds(ERR_NO_MEM);
    EXPECT_EQ(ErrorList3ds()[kErrorEntries3ds].code, N_ERRORS);

    // Only the 19 are printed, newest first.
    std::string expected;
    for (int i = 19; i >= 1; --i)
        expected += std::string(ErrorMessage3ds(i)) + "\n";
    EXPECT_EQ(printed(), expected);
}

TEST_F(ErrorList3dsTest, ResetKeepsTheOverflowEntry) {
    for (int i = 0; i < 20; ++i)
        RecordError3ds(ERR_INVALID_CHUNK);
    ResetErrors3ds();
    EXPECT_EQ(errorPending3ds, 0);
    EXPECT_TRUE(codes().empty());
    for (int i = 0; i < 20; ++i)
        RecordError3ds(ERR_READING_FILE);
    EXPECT_EQ(ErrorList3ds()[kErrorEntries3ds].code, N_ERRORS);
}

TEST_F(ErrorList3dsTest, PrintsNewestFirst) {
    RecordError3ds(ERR_READING_FILE);
    RecordError3ds(ERR_READING_DATABASE);
    RecordError3ds(ERR_CREATING_DATABASE);
    EXPECT_EQ(printed(),
              "ERR_CREATING_DATABASE: Error occured while creating database\n"
              "ERR_READING_DATABASE: Error occured while reading database\n"
              "ERR_READING_FILE: Error occured while reading file\n");
}

TEST_F(ErrorList3dsTest, Messages) {
    const struct {
        int32_t code;
        const char* message;
    } cases[] = {
        {0, "NO_FTK_ERRORS: No errors are pending"},
        {2, "ERR_INVALID_ARG: The argument passed to the function is invalid.  Usually caused by a NULL pointer "
            "or an out of range numeric argument."},
        {4, "ERR_INVALID_CHUNK: An invalid chunk structure was encountered while reading the database. Usually "
            "caused by a corrupt database or file"},
        {18, "ERR_STRING_TOO_LONG: String encountered in file, structure, or as an argument was longer than "
             "expected.  Possibly caused by an uninitialed pointer, corrupt file or database"},
        {19, "ERR_TOO_MANY_FILES: The toolkit has reached its maximum open file limit of 252 files."},
        {22, "N_ERRORS: More errors were reported then could be recorded."},
        {20, "Unknown error code was encountered"},
        {21, "Unknown error code was encountered"},
        {23, "Unknown error code was encountered"},
        {-1, "Unknown error code was encountered"},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(ErrorMessage3ds(c.code), c.message) << "code " << c.code;
}

TEST_F(ErrorList3dsTest, RecordedEntryKeepsItsPlace) {
    RecordError3ds(ERR_OPENING_FILE, "missing.3ds");
    EXPECT_EQ(ErrorList3ds()[0].where, "missing.3ds");
    EXPECT_STREQ(ErrorList3ds()[0].message, ErrorMessage3ds(ERR_OPENING_FILE));
}

TEST_F(ErrorList3dsTest, CheckArgPassesSilently) {
    testing::internal::CaptureStderr();
    CheckArg3ds(true, "never shown", "chunk3ds", 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(ErrorList3dsDeathTest, CheckArgPrintsAndExitsWithOne) {
    EXPECT_EXIT(CheckArg3ds(false, "SetContext3ds: arg *file cannot be NULL", "3dsfile", 169),
                testing::ExitedWithCode(1),
                "^Assertion \"SetContext3ds: arg \\*file cannot be NULL\" failed: file \"3dsfile\", line 169\n$");
}

TEST(ErrorList3dsDeathTest, MissingArgumentsEndTheProcess) {
    EXPECT_EXIT(FindNextChunk3ds(nullptr, 0x4000, nullptr), testing::ExitedWithCode(1),
                "FindNextChunk3ds: arg \\*\\*chunk cannot be NULL\" failed: file \"chunk3ds\", line 178");
    EXPECT_EXIT(ReadChunkData3ds(nullptr), testing::ExitedWithCode(1), "line 884");
    EXPECT_EXIT(FreeChunkData3ds(nullptr), testing::ExitedWithCode(1), "arge \\*chunk cannot be a NULL pointer");
    EXPECT_EXIT(FreeFileChunkData3ds(nullptr), testing::ExitedWithCode(1), "line 3769");
    EXPECT_EXIT(DisconnectChunk3ds(nullptr), testing::ExitedWithCode(1), "line 321");
    EXPECT_EXIT(DelContext3ds(nullptr), testing::ExitedWithCode(1), "file \"3dsfile\", line 112");
}

}  // namespace
