// Shared set-up for the model-file toolkit's tests: a clean toolkit, a scratch
// directory, and crafted files read into trees.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "model3ds/model3ds.h"
#include "assets/chunk_writer.h"

namespace cw = chunkwriter;

class Toolkit3dsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetToolkit3ds();
        std::string pattern = (std::filesystem::temp_directory_path() / "m3dsXXXXXX").string();
        ASSERT_NE(mkdtemp(&pattern[0]), nullptr);
        dir = pattern;
    }

    void TearDown() override {
        ReleaseNameLists3ds(&db);
        FreeChunkTree3ds(&db.topchunk);
        ResetToolkit3ds();
        std::filesystem::remove_all(dir);
    }

    std::string path(const std::string& name) const { return (std::filesystem::path(dir) / name).string(); }

    std::string writeBytes(const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::string full = path(name);
        EXPECT_TRUE(cw::writeFile(full, bytes));
        return full;
    }

    // Writes the tree, opens it for reading and loads it into `db`.
    file3ds* load(const cw::Chunk& root) { return loadBytes(cw::encode(root)); }

    file3ds* loadBytes(const std::vector<uint8_t>& bytes) {
        file3ds* file = OpenModelFile3ds(writeBytes("model" + std::to_string(fileCount++) + ".3ds", bytes).c_str(), "rb");
        EXPECT_NE(file, nullptr);
        if (file)
            LoadDatabase3ds(file, &db);
        return file;
    }

    // Codes on the error list, oldest first.
    static std::vector<int32_t> codes() {
        std::vector<int32_t> out;
        const ErrorEntry3ds* list = ErrorList3ds();
        for (int i = 0; i < kErrorEntries3ds && list[i].code != NO_FTK_ERRORS; ++i)
            out.push_back(list[i].code);
        return out;
    }

    // The tree's ids as "4D4D(0002,3D3D(...))", for comparing shapes at a glance.
    static std::string shape(const ChunkNode3ds* chunk) {
        std::string out;
        for (; chunk; chunk = chunk->next) {
            char id[8];
            std::snprintf(id, sizeof id, "%04X", unsigned(chunk->id));
            out += id;
            if (chunk->firstChild)
                out += "(" + shape(chunk->firstChild) + ")";
            if (chunk->next)
                out += ",";
        }
        return out;
    }

    static ChunkNode3ds* find(ChunkNode3ds* root, uint32_t id) {
        ChunkNode3ds* found = nullptr;
        FindChunkInTree3ds(root, id, &found);
        return found;
    }

    std::string dir;
    ChunkDatabase3ds db;
    int fileCount = 0;
};
