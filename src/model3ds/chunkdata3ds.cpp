// Chunk payloads: the decoding table, record allocation and release.
#include <cstring>
#include <type_traits>  // Required for: std::is_same_v

#include "model3ds/3dserr.h"
#include "model3ds/chunk3ds.h"
#include "model3ds/reader3ds.h"

namespace {

// How a chunk id's payload is laid out; one entry per row of the decoding table.
enum class Shape {
    container, unknown,
    int32x1, int32x2, int16x1, int16x7, uint16x1, uint16x4, uint8x1, uint8x3,
    floatx1, floatx2, floatx3, floatx4, floatx5, floatx6, floatx8, floatx12,
    angleThenPoint,    // file: a, p; record: p, a
    anglesThenPoint,   // file: 4 x a, p; record: p, 4 x a
    floatsUInt, floatsInt16, string, stringToLength, raw,
    vertices, vertexFlags, faces, faceMaterial, texVerts, smoothing, mapInfo, boxMap,
    viewport, autoReflect, keyHeader, nodeHeader, track,
};

struct Layout {
    Shape shape;
    uint32_t stringLimit = 0;  // characters, for Shape::string
};

bool isDataContainer(uint32_t id) {
    switch (id) {
    case 0x1200: case 0x2100: case 0x3000: case 0x3D3D: case 0x3DAA: case 0x4100: case 0x4D4D:
    case 0x8000: case 0x8009: case 0x80F0: case 0xA010: case 0xA020: case 0xA030: case 0xA040:
    case 0xA041: case 0xA042: case 0xA050: case 0xA052: case 0xA053: case 0xA084: case 0xA200:
    case 0xA204: case 0xA210: case 0xA220: case 0xA230: case 0xA33A: case 0xA33C: case 0xA33D:
    case 0xA33E: case 0xA340: case 0xA342: case 0xA344: case 0xA346: case 0xA348: case 0xA34A:
    case 0xA34C: case 0xC23D:
        return true;
    default:
        return id >= 0xAFFF && id <= 0xB007;
    }
}

bool isRawId(uint32_t id) {
    switch (id) {
    case 0x4182: case 0x8001: case 0xA320: case 0xA321: case 0xA322: case 0xA324: case 0xA325:
    case 0xA326: case 0xA328: case 0xA32A: case 0xA32C: case 0xA32E: case 0xA330: case 0xA332:
    case 0xA334: case 0xA336: case 0xA338:
        return true;
    default:
        return false;
    }
}

Layout stringLayout(uint32_t id) {
    switch (id) {
    case 0x1100: case 0x4181: case 0x4653: return {Shape::string, 12};
    case 0x3080: case 0x4000: case 0x4654: case 0xB011: return {Shape::string, 10};
    case 0xA000: case 0xA300: return {Shape::string, 16};
    default: return {Shape::unknown};
    }
}

Layout numericLayout(uint32_t id) {
    switch (id) {
    case 0x0002: case 0x1440: case 0x3D3E: case 0xB009: return {Shape::int32x1};
    case 0xB008: return {Shape::int32x2};
    case 0x0030: case 0x1420: case 0x1430: case 0xA100: case 0xA252: case 0xB030: return {Shape::int16x1};
    case 0x7001: return {Shape::int16x7};
    case 0xA351: return {Shape::uint16x1};
    case 0x7020: return {Shape::uint16x4};
    case 0x4165: return {Shape::uint8x1};
    case 0x0011: case 0x0012: case 0xA360: case 0xA362: case 0xA364: case 0xA366: case 0xA368:
        return {Shape::uint8x3};
    case 0x0031: case 0x0100: case 0x1300: case 0x1400: case 0x1410: case 0x1450: case 0x1460:
    case 0xA087: case 0xA353: case 0xA354: case 0xA356: case 0xA358: case 0xA35A: case 0xA35C:
    case 0xB015:
        return {Shape::floatx1};
    case 0x4720: return {Shape::floatx2};
    case 0x0010: case 0x0013: case 0x1500: case 0x4600: case 0xB013: return {Shape::floatx3};
    case 0x2200: case 0x2300: return {Shape::floatx4};
    case 0x4610: return {Shape::floatx5};
    case 0xB014: return {Shape::floatx6};
    case 0x4700: return {Shape::floatx8};
    case 0x4160: return {Shape::floatx12};
    case 0x3010: case 0x3020: case 0x3030: case 0x3040: case 0x3050: case 0x3060: return {Shape::angleThenPoint};
    case 0x3070: return {Shape::anglesThenPoint};
    case 0x2302: return {Shape::floatsUInt};
    case 0x4641: return {Shape::floatsInt16};
    default: return {(id >= 0x4656 && id <= 0x465B) ? Shape::floatx1 : Shape::unknown};
    }
}

Layout structuredLayout(uint32_t id) {
    switch (id) {
    case 0x4110: return {Shape::vertices};
    case 0x4111: return {Shape::vertexFlags};
    case 0x4120: return {Shape::faces};
    case 0x4130: return {Shape::faceMaterial};
    case 0x4140: return {Shape::texVerts};
    case 0x4150: return {Shape::smoothing};
    case 0x4170: return {Shape::mapInfo};
    case 0x4190: return {Shape::boxMap};
    case 0x7011: case 0x7012: return {Shape::viewport};
    case 0x8002: case 0x8003: return {Shape::stringToLength};
    case 0xA310: return {Shape::autoReflect};
    case 0xB00A: return {Shape::keyHeader};
    case 0xB010: return {Shape::nodeHeader};
    default: return {(id >= 0xB020 && id <= 0xB029) ? Shape::track : Shape::unknown};
    }
}

Layout layoutOf(uint32_t id) {
    if (isDataContainer(id))
        return {Shape::container};
    if (isRawId(id))
        return {Shape::raw};
    for (Layout (*table)(uint32_t) : {stringLayout, numericLayout, structuredLayout}) {
        const Layout layout = table(id);
        if (layout.shape != Shape::unknown)
            return layout;
    }
    return {Shape::unknown};
}

// --- Decoders: each reads one layout through the bounded reader -------------------

template <typename T, size_t N>
ChunkData3ds readValues(FileReader3ds& in) {
    Values3ds<T, N> record;
    for (T& value : record.v) {
        if constexpr (std::is_same_v<T, float>) value = in.f32();
        else if constexpr (sizeof(T) == 4) value = T(in.u32());
        else if constexpr (sizeof(T) == 2) value = T(in.u16());
        else value = T(in.u8());
    }
    return record;
}

// Counts come from the file: the bytes they call for must be in the chunk (and the
// file) before anything is allocated, so a forged count cannot ask for gigabytes.
std::vector<uint8_t> readArray(FileReader3ds& in, uint64_t count, uint64_t elementBytes) {
    return in.bytes(count * elementBytes);
}

ChunkData3ds readVertices(FileReader3ds& in) {
    VertexData3ds record;
    const uint16_t count = in.u16();
    const std::vector<uint8_t> block = readArray(in, count, 12);
    if (!in.ok)
        return record;
    record.vertices.resize(count);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* p = &block[i * 12];
        record.vertices[i] = Point3ds{LoadF32(p), LoadF32(p + 4), LoadF32(p + 8)};
    }
    return record;
}

ChunkData3ds readVertexFlags(FileReader3ds& in) {
    VertexFlagData3ds record;
    const uint16_t count = in.u16();
    const std::vector<uint8_t> block = readArray(in, count, 2);
    if (!in.ok)
        return record;
    record.flags.resize(count);
    for (size_t i = 0; i < count; ++i)
        record.flags[i] = int16_t(LoadU16(&block[i * 2]));
    return record;
}

ChunkData3ds readFaces(FileReader3ds& in) {
    FaceData3ds record;
    const uint16_t count = in.u16();
    const std::vector<uint8_t> block = readArray(in, count, 8);
    if (!in.ok)
        return record;
    record.faces.resize(count);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* p = &block[i * 8];
        record.faces[i] = Face3ds{LoadU16(p), LoadU16(p + 2), LoadU16(p + 4), LoadU16(p + 6)};
    }
    return record;
}

ChunkData3ds readFaceMaterial(FileReader3ds& in) {
    FaceMaterialData3ds record;
    record.materialName = in.str(16);
    const uint16_t count = in.u16();
    const std::vector<uint8_t> block = readArray(in, count, 2);
    if (!in.ok)
        return record;
    record.faceIndices.resize(count);
    for (size_t i = 0; i < count; ++i)
        record.faceIndices[i] = LoadU16(&block[i * 2]);
    return record;
}

ChunkData3ds readTexVerts(FileReader3ds& in) {
    TexVertData3ds record;
    const uint16_t count = in.u16();
    const std::vector<uint8_t> block = readArray(in, count, 8);
    if (!in.ok)
        return record;
    record.texVerts.resize(count);
    for (size_t i = 0; i < count; ++i)
        record.texVerts[i] = TexVert3ds{LoadF32(&block[i * 8]), LoadF32(&block[i * 8 + 4])};
    return record;
}

// No count in the file: the chunk holds as many groups as fit.
ChunkData3ds readSmoothing(FileReader3ds& in) {
    SmoothingData3ds record;
    const uint64_t count = in.left() / 4;
    const std::vector<uint8_t> block = readArray(in, count, 4);
    if (!in.ok)
        return record;
    record.groups.resize(size_t(count));
    for (size_t i = 0; i < count; ++i)
        record.groups[i] = LoadU32(&block[i * 4]);
    return record;
}

ChunkData3ds readMapInfo(FileReader3ds& in) {
    MapInfoData3ds record;
    record.mapType = in.u16();
    for (float& value : record.tiling) value = in.f32();
    for (float& value : record.position) value = in.f32();
    record.scale = in.f32();
    for (float& value : record.matrix) value = in.f32();
    record.planarWidth = in.f32();
    record.planarHeight = in.f32();
    record.cylinderHeight = in.f32();
    return record;
}

ChunkData3ds readBoxMap(FileReader3ds& in) {
    BoxMapData3ds record;
    for (std::string& name : record.materialNames)
        name = in.str(16);
    return record;
}

ChunkData3ds readViewport(FileReader3ds& in) {
    ViewportData3ds record;
    for (int16_t& value : record.layout) value = in.i16();
    record.value1 = in.f32();
    for (float& value : record.point) value = in.f32();
    record.value2 = in.f32();
    record.value3 = in.f32();
    record.name = in.fixedStr(11);
    return record;
}

ChunkData3ds readAutoReflect(FileReader3ds& in) {
    AutoReflectData3ds record;
    record.byte1 = in.u8();
    record.byte2 = in.u8();
    record.flags = in.i16();
    record.value1 = in.u32();
    record.value2 = in.u32();
    return record;
}

ChunkData3ds readKeyHeader(FileReader3ds& in) {
    KeyHeaderData3ds record;
    record.revision = in.i16();
    record.name = in.str(512);
    record.length = in.i32();
    return record;
}

ChunkData3ds readNodeHeader(FileReader3ds& in) {
    NodeHeaderData3ds record;
    record.name = in.str(10);
    record.flags1 = in.u16();
    record.flags2 = in.u16();
    record.parentId = in.i16();
    return record;
}

// Floats of value after each key header, by track id.
uint32_t trackValueFloats(uint32_t id) {
    switch (id) {
    case 0xB020: case 0xB022: case 0xB025: return 3;
    case 0xB021: return 4;
    case 0xB023: case 0xB024: case 0xB027: case 0xB028: return 1;
    default: return 0;  // 0xB026 carries a name instead, 0xB029 nothing
    }
}

constexpr uint32_t kMorphTrack = 0xB026;

void readTrackKey(FileReader3ds& in, uint32_t id, TrackData3ds& record) {
    TrackKey3ds key;
    key.frame = in.u32();
    key.flags = in.u16();
    for (int bit = 0; bit < 5; ++bit)
        if (key.flags & (1u << bit))
            key.extra[bit] = in.f32();
    for (uint32_t i = 0; i < record.valuesPerKey; ++i)
        record.values.push_back(in.f32());
    if (id == kMorphTrack)
        record.names.push_back(in.str(9));
    record.keys.push_back(key);
}

ChunkData3ds readTrack(FileReader3ds& in, uint32_t id) {
    TrackData3ds record;
    record.flags = in.u16();
    record.value1 = in.u32();
    record.value2 = in.u32();
    const uint32_t keyCount = in.u32();
    record.valuesPerKey = trackValueFloats(id);
    // The smallest key is its frame and flags plus its value (a name is at least its NUL).
    const uint64_t smallestKey = 6 + 4 * record.valuesPerKey + (id == kMorphTrack ? 1 : 0);
    if (!in.need(uint64_t(keyCount) * smallestKey))
        return record;
    record.keys.reserve(keyCount);
    record.values.reserve(size_t(keyCount) * record.valuesPerKey);
    for (uint32_t k = 0; k < keyCount && in.ok; ++k)
        readTrackKey(in, id, record);
    return record;
}

ChunkData3ds readFloatsWithAngleFirst(FileReader3ds& in, int angles) {
    float a[4] = {};
    for (int i = 0; i < angles; ++i)
        a[i] = in.f32();
    const float x = in.f32(), y = in.f32(), z = in.f32();
    if (angles == 1)
        return Values3ds<float, 4>{{x, y, z, a[0]}};
    return Values3ds<float, 7>{{x, y, z, a[0], a[1], a[2], a[3]}};
}

ChunkData3ds readNumeric(FileReader3ds& in, Shape shape) {
    switch (shape) {
    case Shape::int32x1: return readValues<int32_t, 1>(in);
    case Shape::int32x2: return readValues<int32_t, 2>(in);
    case Shape::int16x1: return readValues<int16_t, 1>(in);
    case Shape::int16x7: return readValues<int16_t, 7>(in);
    case Shape::uint16x1: return readValues<uint16_t, 1>(in);
    case Shape::uint16x4: return readValues<uint16_t, 4>(in);
    case Shape::uint8x1: return readValues<uint8_t, 1>(in);
    case Shape::uint8x3: return readValues<uint8_t, 3>(in);
    case Shape::floatx1: return readValues<float, 1>(in);
    case Shape::floatx2: return readValues<float, 2>(in);
    case Shape::floatx3: return readValues<float, 3>(in);
    case Shape::floatx4: return readValues<float, 4>(in);
    case Shape::floatx5: return readValues<float, 5>(in);
    case Shape::floatx6: return readValues<float, 6>(in);
    case Shape::floatx8: return readValues<float, 8>(in);
    case Shape::floatx12: return readValues<float, 12>(in);
    case Shape::angleThenPoint: return readFloatsWithAngleFirst(in, 1);
    case Shape::anglesThenPoint: return readFloatsWithAngleFirst(in, 4);
    case Shape::floatsUInt: {
        FloatsUIntData3ds record;
        for (float& value : record.values) value = in.f32();
        record.number = in.u32();
        return record;
    }
    default: {
        FloatsInt16Data3ds record;
        for (float& value : record.values) value = in.f32();
        record.number = in.i16();
        return record;
    }
    }
}

ChunkData3ds decode(FileReader3ds& in, uint32_t id, const Layout& layout) {
    switch (layout.shape) {
    case Shape::string: return StringData3ds{in.str(layout.stringLimit)};
    case Shape::stringToLength: return StringData3ds{in.str(in.end - in.chunkStart)};
    case Shape::raw: case Shape::unknown: return RawData3ds{in.bytes(in.left())};
    case Shape::vertices: return readVertices(in);
    case Shape::vertexFlags: return readVertexFlags(in);
    case Shape::faces: return readFaces(in);
    case Shape::faceMaterial: return readFaceMaterial(in);
    case Shape::texVerts: return readTexVerts(in);
    case Shape::smoothing: return readSmoothing(in);
    case Shape::mapInfo: return readMapInfo(in);
    case Shape::boxMap: return readBoxMap(in);
    case Shape::viewport: return readViewport(in);
    case Shape::autoReflect: return readAutoReflect(in);
    case Shape::keyHeader: return readKeyHeader(in);
    case Shape::nodeHeader: return readNodeHeader(in);
    case Shape::track: return readTrack(in, id);
    default: return readNumeric(in, layout.shape);
    }
}

// A blank record of the layout's shape, for chunks the toolkit makes itself.
ChunkData3ds blankRecord(const Layout& layout, uint32_t id) {
    switch (layout.shape) {
    case Shape::string: case Shape::stringToLength: return StringData3ds{};
    case Shape::raw: case Shape::unknown: return RawData3ds{};
    case Shape::vertices: return VertexData3ds{};
    case Shape::vertexFlags: return VertexFlagData3ds{};
    case Shape::faces: return FaceData3ds{};
    case Shape::faceMaterial: return FaceMaterialData3ds{};
    case Shape::texVerts: return TexVertData3ds{};
    case Shape::smoothing: return SmoothingData3ds{};
    case Shape::mapInfo: return MapInfoData3ds{};
    case Shape::boxMap: return BoxMapData3ds{};
    case Shape::viewport: return ViewportData3ds{};
    case Shape::autoReflect: return AutoReflectData3ds{};
    case Shape::keyHeader: return KeyHeaderData3ds{};
    case Shape::nodeHeader: return NodeHeaderData3ds{};
    case Shape::track: {
        TrackData3ds record;
        record.valuesPerKey = trackValueFloats(id);
        return record;
    }
    default: {
        // Fixed layouts: decoding an empty region yields zeros of the right shape; the
        // reader is told not to report the shortfall.
        FileReader3ds none;
        none.ok = false;
        return readNumeric(none, layout.shape);
    }
    }
}

}  // namespace

ChunkData3ds* ReadChunkData3ds(ChunkNode3ds* chunk) {
    CheckArg3ds(chunk != nullptr, "ReadChunkData3ds: arg *chunk cannot be NULL", "chunk3ds", 884);
    if (chunk->data)
        return chunk->data.get();
    const Layout layout = layoutOf(chunk->id);
    if (layout.shape == Shape::container || (layout.shape == Shape::unknown && chunk->length < 7))
        return nullptr;
    file3ds* file = GetContext3ds(chunk->readIndex);
    FileReader3ds in = ChunkPayloadReader3ds(file, chunk->id, chunk->position, chunk->length);
    if (!file) {
        in.fail(ERR_READING_FILE, "the chunk's file is not open");
        return nullptr;
    }
    SetContext3ds(file);
    GuardMemory3ds([&] {
        ChunkData3ds record = decode(in, chunk->id, layout);
        if (in.ok)
            chunk->data = std::make_unique<ChunkData3ds>(std::move(record));
    });
    // Containers and failures alike give none: callers test the error flag.
    return chunk->data.get();
}

ChunkNode3ds* FreeChunkData3ds(ChunkNode3ds* chunk) {
    CheckArg3ds(chunk != nullptr, "FreeChunkData3ds: arge *chunk cannot be a NULL pointer.", "chunk3ds", 3776);
    chunk->data.reset();
    return chunk;
}

void FreeFileChunkData3ds(ChunkNode3ds* chunk) {
    CheckArg3ds(chunk != nullptr, "FreeFileChunkData3ds: arg *chunk cannot be NULL", "chunk3ds", 3769);
    if (chunk->readIndex != kNoContext3ds && GetContext3ds(chunk->readIndex))
        FreeChunkData3ds(chunk);
}

ChunkData3ds* InitChunkData3ds(ChunkNode3ds* chunk) {
    if (!chunk) {
        RecordError3ds(ERR_INVALID_ARG, "InitChunkData3ds: missing chunk");
        return nullptr;
    }
    // The parent-name chunk is never decoded from a file, but the toolkit makes its own.
    const Layout layout = chunk->id == kChunkParentName3ds ? Layout{Shape::string} : layoutOf(chunk->id);
    if (layout.shape == Shape::container || (layout.shape == Shape::unknown && chunk->length <= 6)) {
        chunk->data.reset();
        return nullptr;
    }
    ChunkData3ds record = blankRecord(layout, chunk->id);
    if (auto* raw = std::get_if<RawData3ds>(&record); raw && chunk->length > 6)
        raw->bytes.assign(chunk->length - 6, 0);
    chunk->data = std::make_unique<ChunkData3ds>(std::move(record));
    return chunk->data.get();
}
