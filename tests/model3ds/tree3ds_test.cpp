// The chunk tree: shape decided by the skip table, failures, mended faults, tree tools.
#include <string>
#include <vector>

#include "toolkit_fixture.h"

namespace {

using ChunkTree3dsTest = Toolkit3dsTest;
using Codes = std::vector<int32_t>;

cw::Payload name(const std::string& text) { return cw::Payload().str(text); }

// A small scene touching every kind of leading data the tree reader skips.
cw::Chunk sampleScene() {
    cw::Payload faces;
    faces.u16(2).u16(0).u16(1).u16(2).u16(7).u16(2).u16(1).u16(0).u16(7);
    return cw::container(0x4D4D, {
        cw::chunk(0x0002, cw::Payload().i32(3)),
        cw::container(0x3D3D, {
            cw::chunk(0x3D3E, cw::Payload().i32(3)),
            cw::chunk(0x1500, cw::Payload().zeros(12), {cw::chunk(0x0011, cw::Payload().u8(1).u8(2).u8(3))}),
            cw::chunk(0x4000, name("box"), {
                cw::container(0x4100, {
                    cw::chunk(0x4110, cw::Payload().u16(0)),
                    cw::chunk(0x4120, faces, {
                        cw::chunk(0x4130, cw::Payload().str("mat").u16(0)),
                        cw::chunk(0x4150, cw::Payload().u32(1).u32(2)),
                    }),
                }),
            }),
            cw::container(0xAFFF, {
                cw::chunk(0xA000, name("mat")),
                cw::container(0xA200, {cw::chunk(0x0030, cw::Payload().i16(50)), cw::chunk(0xA300, name("t.bmp"))}),
            }),
        }),
        cw::container(0xB000, {
            cw::chunk(0xB00A, cw::Payload().i16(5).str("").i32(100)),
            cw::container(0xB002, {
                cw::chunk(0xB010, cw::Payload().str("box").u16(0).u16(0).i16(-1), {cw::chunk(0x80F0, name("p"))}),
                cw::chunk(0xB030, cw::Payload().i16(0)),
            }),
        }),
    });
}

TEST_F(ChunkTree3dsTest, SkipTableDecidesTheShape) {
    file3ds* file = load(sampleScene());
    EXPECT_EQ(errorPending3ds, 0) << ErrorList3ds()[0].where;
    EXPECT_EQ(shape(db.topchunk),
              "4D4D(0002,3D3D(3D3E,1500(0011),4000(4100(4110,4120(4130,4150))),AFFF(A000,A200(0030,A300))),"
              "B000(B00A,B002(B010(80F0),B030)))");
    EXPECT_EQ(db.topchunk->readIndex, file->index);
    EXPECT_EQ(db.topchunk->position, 0u);
    ChunkNode3ds* faceList = find(db.topchunk, 0x4120);
    ASSERT_NE(faceList, nullptr);
    EXPECT_EQ(faceList->firstChild->position, faceList->position + 6 + 2 + 2 * 8);
    EXPECT_EQ(faceList->data, nullptr);  // headers only until asked
}

TEST_F(ChunkTree3dsTest, EmptyFaceListHasItsSubChunksRightAfterTheCount) {
    load(cw::container(0x4D4D, {cw::chunk(0x4120, cw::Payload().u16(0), {cw::chunk(0x4150, cw::Payload())})}));
    EXPECT_EQ(errorPending3ds, 0);
    EXPECT_EQ(shape(db.topchunk), "4D4D(4120(4150))");
    EXPECT_EQ(db.topchunk->firstChild->firstChild->position, 6u + 6u + 2u);
}

TEST_F(ChunkTree3dsTest, UnknownIdsAndWholePayloadIdsAreLeaves) {
    // Their payloads hold what looks like a chunk; it must not become a child. Chunks
    // with a leading name or fixed data do have sub-chunks after it.
    const cw::Chunk inner = cw::chunk(0x0002, cw::Payload().i32(1));
    load(cw::container(0x4D4D, {cw::chunk(0x1234, cw::Payload(), {inner}), cw::chunk(0x4110, cw::Payload(), {inner}),
                                cw::chunk(0xA351, cw::Payload(), {inner}), cw::chunk(0xA000, name("m"), {inner}),
                                cw::chunk(0xB010, cw::Payload().str("n").zeros(6), {inner}),
                                cw::chunk(0xB00A, cw::Payload().i16(1).str("x").i32(2), {inner}),
                                cw::chunk(0x0030, cw::Payload().i16(1), {inner})}));
    EXPECT_EQ(errorPending3ds, 0);
    EXPECT_EQ(shape(db.topchunk), "4D4D(1234,4110,A351,A000(0002),B010(0002),B00A(0002),0030(0002))");
}

TEST_F(ChunkTree3dsTest, RootsAndLoneRoots) {
    for (uint16_t id : {0x4D4D, 0xC23D, 0x3DAA}) {
        load(cw::container(id, {cw::chunk(0x0002, cw::Payload().i32(3))}));
        EXPECT_EQ(errorPending3ds, 0);
        EXPECT_EQ(db.topchunk->firstChild->id, 0x0002u) << id;
    }
    load(cw::container(0x4D4D, {}));
    EXPECT_EQ(shape(db.topchunk), "4D4D");
    // Not a model file: the root alone, and no error.
    load(cw::container(0x1234, {cw::chunk(0x0002, cw::Payload().i32(3))}));
    EXPECT_EQ(shape(db.topchunk), "1234");
    EXPECT_EQ(errorPending3ds, 0);
}

TEST_F(ChunkTree3dsTest, ExtendedDataKeepsOnlyItsOwnChildren) {
    cw::Chunk pastEnd = cw::chunk(0x8003, name("long"));
    pastEnd.length = 400;  // runs past its parent: dropped, reading goes on after its header
    load(cw::container(0x4D4D, {
        cw::chunk(0x8001, cw::Payload(), {cw::chunk(0x8002, name("a")), pastEnd, cw::chunk(0x1111, cw::Payload()),
                                          cw::chunk(0x8002, name("b"))}),
        cw::chunk(0x0002, cw::Payload().i32(1)),
    }));
    EXPECT_EQ(errorPending3ds, 0) << ErrorList3ds()[0].where;
    // After the dropped 0x8003 header come "long\0" (5 bytes, not a chunk id in range),
    // so the rest of the 0x8001 chunk is skipped.
    EXPECT_EQ(shape(db.topchunk), "4D4D(8001(8002),0002)");
}

TEST_F(ChunkTree3dsTest, StrayBytesEndExtendedDataQuietly) {
    load(cw::container(0x4D4D, {cw::chunk(0x8001, cw::Payload().raw({0x02, 0x80, 0x01}))}));
    EXPECT_EQ(errorPending3ds, 0);
    EXPECT_EQ(shape(db.topchunk), "4D4D(8001)");
}

TEST_F(ChunkTree3dsTest, TruncatedFileLeavesOneEntryPerLevel) {
    std::vector<uint8_t> bytes = cw::encode(sampleScene());
    ChunkNode3ds* probe = nullptr;
    load(sampleScene());
    FindChunkInTree3ds(db.topchunk, 0x4100, &probe);  // 4D4D > 3D3D > 4000 > 4100
    ASSERT_NE(probe, nullptr);
    bytes.resize(probe->position + 3);  // the file ends inside 0x4100's header
    FreeChunkTree3ds(&db.topchunk);

    loadBytes(bytes);
    EXPECT_EQ(codes(), (Codes{ERR_READING_FILE, ERR_READING_DATABASE, ERR_READING_DATABASE, ERR_READING_DATABASE,
                              ERR_CREATING_DATABASE}));
    // The chunks before the cut stay in the tree.
    EXPECT_EQ(shape(db.topchunk), "4D4D(0002,3D3D(3D3E,1500(0011),4000))");
}

TEST_F(ChunkTree3dsTest, EmptyFileFailsAtTheRootHeader) {
    loadBytes({});
    EXPECT_EQ(codes(), (Codes{ERR_READING_FILE, ERR_CREATING_DATABASE}));
}

TEST_F(ChunkTree3dsTest, ExactFitAtTheEndOfTheFileLoads) {
    load(cw::container(0x4D4D, {cw::chunk(0x1234, cw::Payload().zeros(5))}));
    EXPECT_EQ(errorPending3ds, 0);
    EXPECT_EQ(db.topchunk->firstChild->length, 11u);
}

// Lengths that would move the reader backwards, stall it or leave the parent.
TEST_F(ChunkTree3dsTest, BadLengthsRaiseInvalidChunk) {
    const struct {
        const char* what;
        uint32_t length;
    } cases[] = {{"zero", 0}, {"one", 1}, {"five", 5}, {"past parent", 40}, {"huge", 0xFFFFFFFF}};
    for (const auto& c : cases) {
        ResetErrors3ds();
        cw::Chunk bad = cw::chunk(0x0002, cw::Payload().i32(1));
        bad.length = c.length;
        cw::Chunk section = cw::container(0x3D3D, {bad});
        load(cw::container(0x4D4D, {section, cw::chunk(0x0002, cw::Payload().i32(1).zeros(40))}));
        EXPECT_EQ(codes(), (Codes{ERR_INVALID_CHUNK, ERR_READING_DATABASE, ERR_READING_DATABASE,
                                  ERR_CREATING_DATABASE}))
            << c.what;
        EXPECT_NE(ErrorList3ds()[0].where.find("model"), std::string::npos) << c.what;
        EXPECT_EQ(shape(db.topchunk), "4D4D(3D3D)") << c.what;
    }
}

TEST_F(ChunkTree3dsTest, RootLengthBelowHeaderIsInvalid) {
    loadBytes({0x4D, 0x4D, 3, 0, 0, 0});
    EXPECT_EQ(codes(), (Codes{ERR_INVALID_CHUNK, ERR_CREATING_DATABASE}));
}

TEST_F(ChunkTree3dsTest, LeadingDataLongerThanTheChunkIsInvalid) {
    // 100 faces of 8 bytes cannot fit in a 10-byte chunk: its "sub-chunks" would start
    // in the next chunk.
    load(cw::container(0x4D4D, {cw::chunk(0x4120, cw::Payload().u16(100).zeros(2)), cw::chunk(0x0002, cw::Payload().i32(1))}));
    EXPECT_EQ(codes(), (Codes{ERR_INVALID_CHUNK, ERR_READING_DATABASE, ERR_READING_DATABASE, ERR_CREATING_DATABASE}));
}

cw::Chunk nested(int levels) {
    cw::Chunk chunk = cw::container(0x3D3D, {});
    for (int i = 1; i < levels; ++i)
        chunk = cw::container(0x3D3D, {chunk});
    return chunk;
}

TEST_F(ChunkTree3dsTest, NestingIsBounded) {
    load(cw::container(0x4D4D, {nested(kMaxChunkDepth3ds - 1)}));  // with the root: the limit
    EXPECT_EQ(errorPending3ds, 0);

    load(cw::container(0x4D4D, {nested(kMaxChunkDepth3ds)}));
    const Codes got = codes();
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got[0], ERR_INVALID_CHUNK);
    EXPECT_EQ(ErrorList3ds()[kErrorEntries3ds].code, N_ERRORS);  // one entry per level overflows the list
}

TEST_F(ChunkTree3dsTest, LongSiblingChainsLoadAndFree) {
    std::vector<cw::Chunk> many(200000, cw::chunk(0x1234, cw::Payload()));
    load(cw::container(0x4D4D, many));
    EXPECT_EQ(errorPending3ds, 0);
    size_t count = 0;
    for (ChunkNode3ds* c = db.topchunk->firstChild; c; c = c->next)
        ++count;
    EXPECT_EQ(count, many.size());
    FreeChunkTree3ds(&db.topchunk);
    EXPECT_EQ(db.topchunk, nullptr);
}

TEST_F(ChunkTree3dsTest, FindingChunks) {
    load(sampleScene());
    ChunkNode3ds* section = find(db.topchunk, 0x3D3D);
    ASSERT_NE(section, nullptr);
    ChunkNode3ds* found = nullptr;
    FindNextChunk3ds(section->firstChild, 0xAFFF, &found);
    ASSERT_NE(found, nullptr);
    FindNextChunk3ds(found->next, 0xAFFF, &found);
    EXPECT_EQ(found, nullptr);
    FindNextChunk3ds(section, 0x3D3D, &found);  // the start chunk itself counts
    EXPECT_EQ(found, section);

    // Pre-order: the first 0x0030 under the material, not the sample's siblings.
    EXPECT_EQ(find(section, 0x0030)->id, 0x0030u);
    EXPECT_EQ(find(section, 0xB000), nullptr);  // a sibling of the start chunk
    EXPECT_EQ(find(db.topchunk, 0x9999), nullptr);
    FindChunkInTree3ds(db.topchunk, 0x3D3D, nullptr);
    EXPECT_EQ(codes(), Codes{ERR_INVALID_ARG});
}

TEST_F(ChunkTree3dsTest, DuplicateMovesFileRecordsAndCopiesMemoryRecords) {
    load(sampleScene());
    ChunkNode3ds* object = find(db.topchunk, 0x4000);
    ASSERT_NE(ReadChunkData3ds(object), nullptr);
    ChunkNode3ds* copy = nullptr;
    DuplicateChunk3ds(object, &copy);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(shape(copy), "4000(4100(4110,4120(4130,4150)))");
    EXPECT_EQ(object->data, nullptr);  // handed over; re-read on demand
    ASSERT_NE(ChunkRecord3ds<StringData3ds>(copy), nullptr);
    EXPECT_EQ(ChunkRecord3ds<StringData3ds>(copy)->text, "box");
    EXPECT_EQ(std::get<StringData3ds>(*ReadChunkData3ds(object)).text, "box");

    auto* memory = new ChunkNode3ds;
    memory->id = kChunkParentName3ds;
    std::get<StringData3ds>(*InitChunkData3ds(memory)).text = "parent";
    ChunkNode3ds* memoryCopy = nullptr;
    DuplicateChunk3ds(memory, &memoryCopy);
    EXPECT_EQ(ChunkRecord3ds<StringData3ds>(memory)->text, "parent");
    EXPECT_EQ(ChunkRecord3ds<StringData3ds>(memoryCopy)->text, "parent");
    EXPECT_NE(memory->data.get(), memoryCopy->data.get());
    FreeChunkTree3ds(&memory);
    FreeChunkTree3ds(&memoryCopy);
    FreeChunkTree3ds(&copy);
    EXPECT_EQ(errorPending3ds, 0);
}

TEST_F(ChunkTree3dsTest, ParentNameChunkIsInsertedLast) {
    ChunkNode3ds parent;
    for (uint32_t id : {0xB010u, 0x80F0u, 0xB030u}) {
        auto* child = new ChunkNode3ds;
        child->id = id;
        AddChildOrdered3ds(&parent, child);
    }
    EXPECT_EQ(shape(parent.firstChild), "B010,B030,80F0");
    FreeChunkTree3ds(&parent.firstChild);
}

TEST_F(ChunkTree3dsTest, DisconnectedSubtreeOutlivesItsFile) {
    file3ds* file = load(sampleScene());
    ChunkNode3ds* object = find(db.topchunk, 0x4000);
    DisconnectChunk3ds(object);
    EXPECT_EQ(errorPending3ds, 0);
    CloseModelFile3ds(file);
    EXPECT_EQ(object->readIndex, kNoContext3ds);
    EXPECT_EQ(ChunkRecord3ds<StringData3ds>(object)->text, "box");
    auto* faces = std::get_if<FaceData3ds>(ReadChunkData3ds(find(object, 0x4120)));
    ASSERT_NE(faces, nullptr);
    EXPECT_EQ(faces->faces.size(), 2u);
    FreeFileChunkData3ds(object);  // memory-only: keeps its record
    EXPECT_NE(object->data, nullptr);
}

TEST_F(ChunkTree3dsTest, ReadingAChunkWhoseFileIsClosedFails) {
    file3ds* file = load(sampleScene());
    CloseModelFile3ds(file);
    EXPECT_EQ(ReadChunkData3ds(find(db.topchunk, 0x4000)), nullptr);
    EXPECT_EQ(codes(), Codes{ERR_READING_FILE});
}

}  // namespace
