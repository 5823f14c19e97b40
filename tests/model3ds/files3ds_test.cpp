// File contexts: the table of 252 open files, mode strings, name clashes, closing.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "toolkit_fixture.h"

namespace {

using FileContext3dsTest = Toolkit3dsTest;

const std::vector<uint8_t> kLoneScene = cw::encode(cw::container(0x4D4D, {}));

TEST_F(FileContext3dsTest, SameNameAndModeReturnsTheFirstContext) {
    const std::string name = writeBytes("a.3ds", kLoneScene);
    file3ds* first = OpenModelFile3ds(name.c_str(), "rb");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->index, 0);
    EXPECT_EQ(first->bufferSize, kStreamBufferSize3ds);
    file3ds* second = OpenModelFile3ds(name.c_str(), "r");
    EXPECT_EQ(second, first);
    EXPECT_EQ(GetContext3ds(0), first);
    EXPECT_EQ(GetContext3ds(1), nullptr);  // the second record came and went
    EXPECT_EQ(errorPending3ds, 0);
    file3ds* other = OpenModelFile3ds(writeBytes("b.3ds", kLoneScene).c_str(), "rb");
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(other->index, 1);
}

TEST_F(FileContext3dsTest, TableHolds252FilesAndReusesClosedSlots) {
    std::vector<file3ds*> open;
    for (int i = 0; i < kMaxContexts3ds; ++i) {
        file3ds* file = OpenModelFile3ds(writeBytes("f" + std::to_string(i), kLoneScene).c_str(), "rb");
        ASSERT_NE(file, nullptr) << i;
        EXPECT_EQ(file->index, i);
        open.push_back(file);
    }
    const std::string extra = writeBytes("extra", kLoneScene);
    EXPECT_EQ(OpenModelFile3ds(extra.c_str(), "rb"), nullptr);
    EXPECT_EQ(codes(), std::vector<int32_t>{ERR_TOO_MANY_FILES});

    ResetErrors3ds();
    CloseModelFile3ds(open[17]);
    EXPECT_EQ(GetContext3ds(17), nullptr);
    file3ds* reused = OpenModelFile3ds(extra.c_str(), "rb");
    ASSERT_NE(reused, nullptr);
    EXPECT_EQ(reused->index, 17);
    EXPECT_EQ(UsedSlots3ds(), kMaxContexts3ds);
}

TEST_F(FileContext3dsTest, ModeScanStopsAtTheFirstReadOrWrite) {
    const std::string readable = writeBytes("r.3ds", kLoneScene);
    file3ds* reading = OpenModelFile3ds(readable.c_str(), "rw");
    ASSERT_NE(reading, nullptr);
    EXPECT_EQ(reading->mode, kModeRead3ds);

    const std::string created = path("w.3ds");
    file3ds* writing = OpenModelFile3ds(created.c_str(), "wr");
    ASSERT_NE(writing, nullptr);
    EXPECT_EQ(writing->mode, kModeWrite3ds);
    EXPECT_TRUE(std::filesystem::exists(created));
    LoadDatabase3ds(writing, &db);  // a file opened only for writing is left alone
    EXPECT_EQ(db.topchunk, nullptr);
    EXPECT_EQ(errorPending3ds, 0);
}

TEST_F(FileContext3dsTest, ModeStringLengthLimit) {
    const std::string name = writeBytes("m.3ds", kLoneScene);
    const std::string mode31 = std::string(30, 'x') + "r";
    file3ds* file = OpenModelFile3ds(name.c_str(), mode31.c_str());
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->mode, kModeRead3ds);
    CloseModelFile3ds(file);

    const std::string mode32 = std::string(31, 'x') + "r";
    EXPECT_EQ(OpenModelFile3ds(name.c_str(), mode32.c_str()), nullptr);
    EXPECT_EQ(codes(), std::vector<int32_t>{ERR_STRING_TOO_LONG});
    EXPECT_EQ(GetContext3ds(0), nullptr);  // the refused open gives its slot back
}

TEST_F(FileContext3dsTest, RefusedOpensRecordTheirCodeAndKeepNoSlot) {
    const std::string name = writeBytes("ok.3ds", kLoneScene);
    const struct {
        const char* file;
        const char* mode;
        int32_t code;
    } cases[] = {
        {nullptr, "rb", ERR_INVALID_ARG},
        {name.c_str(), nullptr, ERR_INVALID_ARG},
        {name.c_str(), "ab", ERR_INIT_FAILED},
        {"/nonexistent/dir/model.3ds", "rb", ERR_OPENING_FILE},
    };
    for (const auto& c : cases) {
        ResetErrors3ds();
        EXPECT_EQ(OpenModelFile3ds(c.file, c.mode), nullptr);
        EXPECT_EQ(codes(), std::vector<int32_t>{c.code}) << (c.mode ? c.mode : "(null)");
    }
    for (int slot = 0; slot < UsedSlots3ds(); ++slot)
        EXPECT_EQ(GetContext3ds(uint8_t(slot)), nullptr);
}

TEST_F(FileContext3dsTest, PendingErrorRefusesNewContexts) {
    const std::string name = writeBytes("p.3ds", kLoneScene);
    RecordError3ds(ERR_READING_FILE);
    EXPECT_EQ(OpenModelFile3ds(name.c_str(), "rb"), nullptr);
    EXPECT_EQ(codes(), (std::vector<int32_t>{ERR_READING_FILE, ERR_INIT_FAILED}));
}

TEST_F(FileContext3dsTest, ReopeningAReadFileForWritingMovesItAside) {
    const cw::Chunk scene = cw::container(0x4D4D, {cw::chunk(0x0002, cw::Payload().i32(3))});
    const std::string name = writeBytes("clash.3ds", cw::encode(scene));
    file3ds* reader = OpenModelFile3ds(name.c_str(), "rb");
    ASSERT_NE(reader, nullptr);
    LoadDatabase3ds(reader, &db);

    file3ds* writer = OpenModelFile3ds(name.c_str(), "wb");
    ASSERT_NE(writer, nullptr);
    EXPECT_NE(writer, reader);
    EXPECT_EQ(reader->isTemporary, 1);
    EXPECT_NE(reader->name, name);
    EXPECT_EQ(std::filesystem::path(reader->name).parent_path(), std::filesystem::path(dir));
    EXPECT_EQ(std::filesystem::file_size(name), 0u);  // the new file, empty so far

    // The tree still reads its payloads from the moved file.
    auto* version = std::get_if<Values3ds<int32_t, 1>>(ReadChunkData3ds(db.topchunk->firstChild));
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->v[0], 3);

    const std::string temporary = reader->name;
    CloseModelFile3ds(reader);
    EXPECT_FALSE(std::filesystem::exists(temporary));
    EXPECT_EQ(errorPending3ds, 0);
}

// Models made where file names ignore case name each other in capitals: the name in
// another case opens the file there, and the context names the file really opened.
TEST_F(FileContext3dsTest, ANameInAnotherCaseOpensTheFileThere) {
    const cw::Chunk scene = cw::container(0x4D4D, {cw::chunk(0x0002, cw::Payload().i32(3))});
    const std::string name = writeBytes("ship.3ds", cw::encode(scene));
    file3ds* reader = OpenModelFile3ds(path("SHIP.3DS").c_str(), "rb");
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(reader->name, name);
    LoadDatabase3ds(reader, &db);
    auto* version = std::get_if<Values3ds<int32_t, 1>>(ReadChunkData3ds(db.topchunk->firstChild));
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->v[0], 3);
    // Writing the real name moves that file aside, not a file of the name asked for.
    ASSERT_NE(OpenModelFile3ds(name.c_str(), "wb"), nullptr);
    EXPECT_EQ(reader->isTemporary, 1);
    EXPECT_EQ(errorPending3ds, 0);
}

TEST_F(FileContext3dsTest, ReopeningAWrittenFileForReadingClosesTheWriter) {
    const std::string name = path("w2.3ds");
    file3ds* writer = OpenModelFile3ds(name.c_str(), "wb");
    ASSERT_NE(writer, nullptr);
    EXPECT_EQ(writer->index, 0);
    file3ds* reader = OpenModelFile3ds(name.c_str(), "rb");
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(reader->index, 1);
    EXPECT_EQ(GetContext3ds(0), nullptr);
    EXPECT_EQ(errorPending3ds, 0);
}

TEST_F(FileContext3dsTest, ClosingTheCurrentFileLeavesNoCurrentContext) {
    const std::string name = writeBytes("c.3ds", kLoneScene);
    file3ds* file = OpenModelFile3ds(name.c_str(), "rb");
    SetContext3ds(file);
    EXPECT_EQ(CurrentContext3ds(), file);
    CloseModelFile3ds(file);
    EXPECT_EQ(CurrentContext3ds(), nullptr);
    CloseModelFile3ds(nullptr);  // a no-op
    EXPECT_EQ(errorPending3ds, 0);
}

TEST_F(FileContext3dsTest, SettingAnEmptySlotKeepsTheCurrentFile) {
    file3ds* file = OpenModelFile3ds(writeBytes("s.3ds", kLoneScene).c_str(), "rb");
    SetContext3ds(file);
    SetContextByIndex3ds(kNoContext3ds);
    SetContextByIndex3ds(7);
    EXPECT_EQ(CurrentContext3ds(), file);
    EXPECT_EQ(CurrentIndex3ds(), file->index);
}

TEST_F(FileContext3dsTest, BoundedLength) {
    EXPECT_EQ(BoundedStrLen3ds("abc", 30), 3u);
    EXPECT_EQ(BoundedStrLen3ds("abcd", 3), 4u);  // limit + 1 characters pass
    EXPECT_EQ(errorPending3ds, 0);
    EXPECT_EQ(BoundedStrLen3ds("abcde", 3), 0u);
    EXPECT_EQ(BoundedStrLen3ds(nullptr, 3), 0u);
    EXPECT_EQ(codes(), (std::vector<int32_t>{ERR_STRING_TOO_LONG, ERR_INVALID_ARG}));
}

}  // namespace
