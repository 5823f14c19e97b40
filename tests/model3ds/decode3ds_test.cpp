// Chunk payloads: the decoding table, lazy reading, release, and forged counts.
#include <cstring>
#include <string>
#include <vector>

#include "toolkit_fixture.h"

namespace {

using Codes = std::vector<int32_t>;

// Loads a scene holding the given chunks and returns its first child.
class Decode3dsTest : public Toolkit3dsTest {
protected:
    ChunkNode3ds* loadOne(const cw::Chunk& chunk) {
        load(cw::container(0x4D4D, {chunk, cw::chunk(0x0002, cw::Payload().i32(77))}));
        EXPECT_EQ(errorPending3ds, 0) << ErrorList3ds()[0].where;
        return db.topchunk ? db.topchunk->firstChild : nullptr;
    }

    template <typename T>
    T* decodeOne(const cw::Chunk& chunk) {
        ChunkNode3ds* node = loadOne(chunk);
        if (!node)
            return nullptr;
        ReadChunkData3ds(node);
        EXPECT_EQ(errorPending3ds, 0) << ErrorList3ds()[0].where;
        return ChunkRecord3ds<T>(node);
    }
};

TEST_F(Decode3dsTest, ReadOnceThenKept) {
    ChunkNode3ds* node = loadOne(cw::chunk(0x4110, cw::Payload().u16(1).f32(1).f32(2).f32(3)));
    ChunkData3ds* first = ReadChunkData3ds(node);
    ASSERT_NE(first, nullptr);
    node->position = 1;  // a second read from the file would now fail or differ
    EXPECT_EQ(ReadChunkData3ds(node), first);
    const auto& vertices = std::get<VertexData3ds>(*first).vertices;
    ASSERT_EQ(vertices.size(), 1u);
    EXPECT_EQ(vertices[0].z, 3.0f);
    EXPECT_EQ(errorPending3ds, 0);
}

TEST_F(Decode3dsTest, FreeFileChunkDataAllowsReadingAgain) {
    ChunkNode3ds* node = loadOne(cw::chunk(0xA000, cw::Payload().str("brick")));
    ReadChunkData3ds(node);
    FreeFileChunkData3ds(node);
    EXPECT_EQ(node->data, nullptr);
    EXPECT_EQ(std::get<StringData3ds>(*ReadChunkData3ds(node)).text, "brick");
    EXPECT_EQ(FreeChunkData3ds(node), node);
    EXPECT_EQ(node->data, nullptr);
}

TEST_F(Decode3dsTest, ObjectNamesUpToTenCharacters) {
    ChunkNode3ds* object = loadOne(cw::chunk(0x4000, cw::Payload().str("abcdefghij"), {cw::container(0x4100, {})}));
    EXPECT_EQ(std::get<StringData3ds>(*ReadChunkData3ds(object)).text, "abcdefghij");
    EXPECT_EQ(shape(object), "4000(4100),0002");

    // An 11-character name already fails while the tree skips it.
    FreeChunkTree3ds(&db.topchunk);
    load(cw::container(0x4D4D, {cw::chunk(0x4000, cw::Payload().str("abcdefghijk"))}));
    EXPECT_EQ(codes(), (Codes{ERR_READING_FILE, ERR_READING_DATABASE, ERR_READING_DATABASE, ERR_CREATING_DATABASE}));

    // 0x4654 is a leaf with the same limit: only decoding reads its string.
    ResetErrors3ds();
    FreeChunkTree3ds(&db.topchunk);
    ChunkNode3ds* leaf = loadOne(cw::chunk(0x4654, cw::Payload().str("abcdefghijk")));
    EXPECT_EQ(ReadChunkData3ds(leaf), nullptr);
    EXPECT_EQ(codes(), Codes{ERR_READING_FILE});
    EXPECT_EQ(leaf->data, nullptr);
}

TEST_F(Decode3dsTest, MaterialGroupWithNoFaces) {
    auto* group = decodeOne<FaceMaterialData3ds>(cw::chunk(0x4130, cw::Payload().str("steel").u16(0)));
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->materialName, "steel");
    EXPECT_TRUE(group->faceIndices.empty());
}

TEST_F(Decode3dsTest, SmoothingGroupsCountFromTheLength) {
    auto* empty = decodeOne<SmoothingData3ds>(cw::chunk(0x4150, cw::Payload()));
    ASSERT_NE(empty, nullptr);
    EXPECT_TRUE(empty->groups.empty());
    FreeChunkTree3ds(&db.topchunk);
    auto* two = decodeOne<SmoothingData3ds>(cw::chunk(0x4150, cw::Payload().u32(5).u32(0x80000000).u8(9)));
    ASSERT_NE(two, nullptr);
    EXPECT_EQ(two->groups, (std::vector<uint32_t>{5, 0x80000000}));
}

TEST_F(Decode3dsTest, UnknownIdsKeepTheirBytes) {
    ChunkNode3ds* bare = loadOne(cw::chunk(0x1234, cw::Payload()));
    EXPECT_EQ(ReadChunkData3ds(bare), nullptr);
    EXPECT_EQ(errorPending3ds, 0);
    FreeChunkTree3ds(&db.topchunk);
    auto* raw = decodeOne<RawData3ds>(cw::chunk(0x1234, cw::Payload().u32(0x04030201)));
    ASSERT_NE(raw, nullptr);
    EXPECT_EQ(raw->bytes, (std::vector<uint8_t>{1, 2, 3, 4}));
}

TEST_F(Decode3dsTest, ContainersHaveNoRecord) {
    ChunkNode3ds* node = loadOne(cw::container(0x3D3D, {cw::chunk(0x3D3E, cw::Payload().i32(3))}));
    EXPECT_EQ(ReadChunkData3ds(node), nullptr);
    EXPECT_EQ(errorPending3ds, 0);
}

TEST_F(Decode3dsTest, TrackKeyFlagsSelectOptionalValues) {
    cw::Payload track;
    track.u16(0).u32(0).u32(0).u32(2);
    track.u32(0).u16(0x05).f32(1.5f).f32(2.5f).f32(10).f32(20).f32(30);  // bits 0x01 and 0x04
    track.u32(8).u16(0).f32(4).f32(5).f32(6);
    auto* record = decodeOne<TrackData3ds>(cw::chunk(0xB020, track));
    ASSERT_NE(record, nullptr);
    ASSERT_EQ(record->keys.size(), 2u);
    EXPECT_EQ(record->keys[0].extra[0], 1.5f);
    EXPECT_EQ(record->keys[0].extra[1], 0.0f);
    EXPECT_EQ(record->keys[0].extra[2], 2.5f);
    EXPECT_EQ(record->keys[1].frame, 8u);
    EXPECT_EQ(record->values, (std::vector<float>{10, 20, 30, 4, 5, 6}));
}

TEST_F(Decode3dsTest, TrackValueKinds) {
    cw::Payload morph;
    morph.u16(0).u32(0).u32(0).u32(1).u32(3).u16(0).str("shape");
    auto* names = decodeOne<TrackData3ds>(cw::chunk(0xB026, morph));
    ASSERT_NE(names, nullptr);
    EXPECT_EQ(names->names, std::vector<std::string>{"shape"});
    EXPECT_TRUE(names->values.empty());

    FreeChunkTree3ds(&db.topchunk);
    cw::Payload hide;
    hide.u16(0).u32(0).u32(0).u32(2).u32(1).u16(0).u32(4).u16(0);
    auto* keysOnly = decodeOne<TrackData3ds>(cw::chunk(0xB029, hide));
    ASSERT_NE(keysOnly, nullptr);
    EXPECT_EQ(keysOnly->keys.size(), 2u);
    EXPECT_TRUE(keysOnly->values.empty());
}

TEST_F(Decode3dsTest, FixedLayoutsInRecordOrder) {
    // 0x3010..0x3060 store the float that comes first in the file last.
    auto* light = decodeOne<Values3ds<float, 4>>(cw::chunk(0x3010, cw::Payload().f32(9).f32(1).f32(2).f32(3)));
    ASSERT_NE(light, nullptr);
    EXPECT_EQ(light->v, (std::array<float, 4>{1, 2, 3, 9}));
    FreeChunkTree3ds(&db.topchunk);

    auto* colour = decodeOne<Values3ds<uint8_t, 3>>(cw::chunk(0x0011, cw::Payload().u8(10).u8(20).u8(30)));
    ASSERT_NE(colour, nullptr);
    EXPECT_EQ(colour->v, (std::array<uint8_t, 3>{10, 20, 30}));
    FreeChunkTree3ds(&db.topchunk);

    auto* node = decodeOne<NodeHeaderData3ds>(cw::chunk(0xB010, cw::Payload().str("$$$DUMMY").u16(1).u16(2).i16(-1)));
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->name, "$$$DUMMY");
    EXPECT_EQ(node->flags2, 2);
    EXPECT_EQ(node->parentId, -1);
    FreeChunkTree3ds(&db.topchunk);

    cw::Payload view;
    for (int i = 0; i < 7; ++i) view.i16(int16_t(i));
    view.f32(1).f32(2).f32(3).f32(4).f32(5).f32(6).fixedStr("Top", 11);
    auto* viewport = decodeOne<ViewportData3ds>(cw::chunk(0x7012, view));
    ASSERT_NE(viewport, nullptr);
    EXPECT_EQ(viewport->layout[6], 6);
    EXPECT_EQ(viewport->value3, 6.0f);
    EXPECT_EQ(viewport->name, "Top");
    FreeChunkTree3ds(&db.topchunk);

    auto* extended = decodeOne<StringData3ds>(cw::chunk(0x8002, cw::Payload().str("note")));
    ASSERT_NE(extended, nullptr);
    EXPECT_EQ(extended->text, "note");
    FreeChunkTree3ds(&db.topchunk);

    auto* box = decodeOne<BoxMapData3ds>(
        cw::chunk(0x4190, cw::Payload().str("a").str("b").str("c").str("d").str("e").str("f")));
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->materialNames[5], "f");
}

TEST_F(Decode3dsTest, BlankRecordsForChunksMadeInMemory) {
    ChunkNode3ds chunk;
    chunk.id = kChunkParentName3ds;
    EXPECT_NE(std::get_if<StringData3ds>(InitChunkData3ds(&chunk)), nullptr);
    chunk.id = 0x4110;
    EXPECT_NE(std::get_if<VertexData3ds>(InitChunkData3ds(&chunk)), nullptr);
    chunk.id = 0x3070;
    EXPECT_NE((std::get_if<Values3ds<float, 7>>(InitChunkData3ds(&chunk))), nullptr);
    chunk.id = 0x1234;
    chunk.length = 10;
    EXPECT_EQ(std::get<RawData3ds>(*InitChunkData3ds(&chunk)).bytes.size(), 4u);
    chunk.id = 0x4D4D;
    EXPECT_EQ(InitChunkData3ds(&chunk), nullptr);
    EXPECT_EQ(errorPending3ds, 0);
}

// Counts and layouts that ask for more than their chunk holds.
TEST_F(Decode3dsTest, PayloadsLargerThanTheirChunkAreInvalid) {
    const struct {
        const char* what;
        cw::Chunk chunk;
    } cases[] = {
        {"60000 vertices in 20 bytes", cw::chunk(0x4110, cw::Payload().u16(60000).zeros(12))},
        {"faces past the chunk", cw::chunk(0x4111, cw::Payload().u16(3).u16(0))},
        {"group indices past the chunk", cw::chunk(0x4130, cw::Payload().str("m").u16(9).u16(1))},
        {"texture vertices", cw::chunk(0x4140, cw::Payload().u16(2).f32(0).f32(0))},
        {"short fixed layout", cw::chunk(0x0013, cw::Payload().f32(1).f32(2))},
        {"name with no NUL", cw::chunk(0x4653, cw::Payload().raw({'a', 'b'}))},
        {"4 billion keys", cw::chunk(0xB021, cw::Payload().u16(0).u32(0).u32(0).u32(0xFFFFFFFF).zeros(22))},
        {"last key cut short", cw::chunk(0xB023, cw::Payload().u16(0).u32(0).u32(0).u32(2).u32(0).u16(0).f32(1).u32(1).u16(0x1F).f32(0))},
    };
    for (const auto& c : cases) {
        ResetErrors3ds();
        FreeChunkTree3ds(&db.topchunk);
        ChunkNode3ds* node = loadOne(c.chunk);
        ASSERT_NE(node, nullptr) << c.what;
        EXPECT_EQ(ReadChunkData3ds(node), nullptr) << c.what;
        EXPECT_EQ(codes(), Codes{ERR_INVALID_CHUNK}) << c.what;
        EXPECT_EQ(node->data, nullptr) << c.what;
        // The place names the file and the chunk's offset.
        EXPECT_NE(ErrorList3ds()[0].where.find("at byte 6"), std::string::npos) << ErrorList3ds()[0].where;
    }
}

TEST_F(Decode3dsTest, PayloadCutByTheEndOfTheFileIsAReadError) {
    std::vector<uint8_t> bytes = cw::encode(cw::container(0x4D4D, {cw::chunk(0x1234, cw::Payload().zeros(100))}));
    bytes.resize(bytes.size() - 50);
    loadBytes(bytes);
    ResetErrors3ds();  // the tree read already met the end of the file
    EXPECT_EQ(ReadChunkData3ds(db.topchunk->firstChild), nullptr);
    EXPECT_EQ(codes(), Codes{ERR_READING_FILE});
}

}  // namespace
