// What a model file's chunk tree may cost: files of many empty chunks are read in a child
// process whose peak resident size is compared with the budget (4 bytes per byte of the
// file plus the allowance), and a file past it is refused through the error list.
#include "toolkit_fixture.h"

#include <unistd.h>

#include "support/child_process.h"
#include "support/sanitizer.h"

namespace {

class ModelBudget3dsTest : public Toolkit3dsTest {};

// The sanitizer's red zones make a tree of a million small nodes cost about half as much
// again as with the allocator the engine ships with; the budget itself is the same.
constexpr long allocatorSlack = addressSanitizerBuild ? 2 : 1;

// A scene root holding `count` empty chunks of 6 bytes each, the smallest a chunk can be.
std::vector<uint8_t> emptyChunks(uint32_t count) {
    cw::Payload bytes;
    bytes.u16(0x4D4D).u32(6 + 6 * count);
    for (uint32_t i = 0; i < count; ++i) bytes.u16(0x1234).u32(6);  // an id the reader does not know
    return bytes.bytes;
}

// "chunks codes... | where of the first error" and the peak growth in kB, from a child
// that opens and loads the file.
struct Outcome {
    std::string text;
    long peakGrowthKb = -1;
};

Outcome loadInChild(const std::string& file) {
    const ChildResult child = runInChild([&] {
        ResetToolkit3ds();
        if (!resetPeakResident()) return std::string("0 cannot reset the peak resident size");
        const long resident = procStatusKilobytes("VmRSS");
        ChunkDatabase3ds base;
        file3ds* opened = OpenModelFile3ds(file.c_str(), "rb");
        if (opened) LoadDatabase3ds(opened, &base);
        const long growth = procStatusKilobytes("VmHWM") - resident;
        size_t chunks = 0;
        if (base.topchunk)
            for (ChunkNode3ds* c = base.topchunk->firstChild; c; c = c->next) ++chunks;
        std::string text = std::to_string(growth) + " " + std::to_string(chunks);
        const ErrorEntry3ds* list = ErrorList3ds();
        for (int i = 0; i < kErrorEntries3ds && list[i].code != NO_FTK_ERRORS; ++i)
            text += " " + std::to_string(list[i].code);
        if (list[0].code != NO_FTK_ERRORS) text += " | " + list[0].where;
        return text;
    }, ChildOptions{30});
    Outcome outcome;
    if (!child.exited) {
        outcome.text = child.describe();
        return outcome;
    }
    const size_t space = child.output.find(' ');
    outcome.peakGrowthKb = std::stol(child.output.substr(0, space));
    outcome.text = child.output.substr(space + 1);
    return outcome;
}

TEST_F(ModelBudget3dsTest, TreesStayWithinFourTimesTheFilePlusTheAllowance) {
    // 300 000 chunks fit the budget of their 1.8 MB file; a million (6 MB) do not, and
    // the read stops at the chunk that would pass it.
    const uint32_t fitting = 300000, tooMany = 1000000;
    const uint64_t bigFile = 6 + 6 * uint64_t(tooMany);
    const uint64_t allowed = MaxChunkNodes3ds(bigFile);
    const struct {
        uint32_t chunks;
        std::string expected;  // the chunks kept, the codes and the first error's place
    } cases[] = {
        {fitting, std::to_string(fitting)},
        {tooMany, std::to_string(allowed) + " 1 15 14 | " + path("model-1000000.3ds") + ": chunk at byte " +
                      std::to_string(6 + 6 * allowed) + " is chunk " + std::to_string(allowed + 1) +
                      "; a file of " + std::to_string(bigFile) + " bytes may hold " + std::to_string(allowed) +
                      " (its tree may take 4 bytes per byte of the file plus 16 MiB)"},
    };
    for (const auto& c : cases) {
        const std::vector<uint8_t> bytes = emptyChunks(c.chunks);
        const std::string file = writeBytes("model-" + std::to_string(c.chunks) + ".3ds", bytes);
        const Outcome outcome = loadInChild(file);
        EXPECT_EQ(outcome.text, c.expected);
        const long budgetKb = long((kChunkTreeBytesPerFileByte3ds * bytes.size() + kChunkTreeAllowance3ds) / 1024);
        // The stream's buffer and the allocator's slack come on top of the tree.
        EXPECT_GE(outcome.peakGrowthKb, 0);
        EXPECT_LT(outcome.peakGrowthKb, allocatorSlack * budgetKb + 4 * 1024) << c.chunks << " chunks: the peak grew by "
                                                             << outcome.peakGrowthKb << " kB";
    }
}

// The largest model file read: one byte more is refused before a chunk is read.
TEST_F(ModelBudget3dsTest, FilesPastTheLargestModelAreRefusedUnread) {
    const std::string file = writeBytes("huge.3ds", emptyChunks(1));
    ASSERT_EQ(truncate(file.c_str(), off_t(kMaxModelFileBytes3ds + 1)), 0);  // sparse
    const Outcome outcome = loadInChild(file);
    EXPECT_EQ(outcome.text, "0 1 14 | " + file + ": the file has " + std::to_string(kMaxModelFileBytes3ds + 1) +
                                " bytes; model files of at most 256 MiB are read");
    EXPECT_LT(outcome.peakGrowthKb, 4 * 1024);
}

}  // namespace
