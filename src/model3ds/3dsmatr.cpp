// Material records: a material chunk's children, one copied subtree at a time, into
// colours, percentages, flags and map slots.
#include "model3ds/3dserr.h"
#include "model3ds/dbase3ds.h"
#include "model3ds/records3ds.h"

namespace {

constexpr uint32_t kColourBytes = 0x0011;
constexpr uint32_t kColourBytesGamma = 0x0012;
constexpr uint32_t kPercentInt = 0x0030;
constexpr uint32_t kPercentFloat = 0x0031;
constexpr uint32_t kTransparency = 0xA050;
constexpr uint32_t kTransparencyNegate = 0xA08A;
constexpr uint32_t kBumpMap = 0xA230;
constexpr uint32_t kBumpPercent = 0xA252;
constexpr uint32_t kAutoReflection = 0xA310;

ChunkNode3ds* findInTree(ChunkNode3ds* chunk, uint32_t id) {
    ChunkNode3ds* found = nullptr;
    FindChunkInTree3ds(chunk, id, &found);
    return found;
}

Colour3ds colourOf(const Values3ds<uint8_t, 3>& bytes) {
    return Colour3ds{bytes.v[0] / 255.0f, bytes.v[1] / 255.0f, bytes.v[2] / 255.0f};
}

// The byte colour of a colour chunk; the gamma-corrected one replaces it when present.
void readColour(ChunkNode3ds* colourChunk, Colour3ds& out) {
    ChunkNode3ds* plain = findInTree(colourChunk, kColourBytes);
    if (!plain) {
        RecordError3ds(ERR_UNFOUND_CHUNK, "material colour chunk at byte " + std::to_string(colourChunk->position) +
                                              " has no byte colour (0x0011)");
        return;
    }
    if (auto* bytes = recordOf<Values3ds<uint8_t, 3>>(plain))
        out = colourOf(*bytes);
    if (ErrorStop3ds())
        return;
    if (ChunkNode3ds* gamma = findInTree(colourChunk, kColourBytesGamma))
        if (auto* bytes = recordOf<Values3ds<uint8_t, 3>>(gamma))
            out = colourOf(*bytes);
}

// A whole percentage gives hundredths; a float one is taken as it is; neither gives 0.
float readPercent(ChunkNode3ds* percentChunk) {
    if (ChunkNode3ds* whole = findInTree(percentChunk, kPercentInt)) {
        auto* value = recordOf<Values3ds<int16_t, 1>>(whole);
        return value ? value->v[0] / 100.0f : 0.0f;
    }
    if (ChunkNode3ds* fraction = findInTree(percentChunk, kPercentFloat)) {
        auto* value = recordOf<Values3ds<float, 1>>(fraction);
        return value ? value->v[0] : 0.0f;
    }
    return 0.0f;
}

void applyMapFlags(uint16_t flags, TextureMap3ds& map) {
    map.tilingMode = !(flags & 0x01) ? 1 : (flags & 0x10) ? 2 : 3;
    map.ignoreAlpha = (flags & 0x100) ? 1 : 0;
    map.filter = (flags & 0x20) ? 1 : 0;
    map.mirror = (flags & 0x02) ? 1 : 0;
    map.negative = (flags & 0x08) ? 1 : 0;
    if (flags & 0x80)
        map.tintMode = (flags & 0x40) ? 3 : 2;
    else
        map.tintMode = (flags & 0x200) ? 4 : (flags & 0x40) ? 1 : 0;
}

float* mapFloat(TextureMap3ds& map, uint32_t id) {
    switch (id) {
    case 0xA353: return &map.blur;
    case 0xA354: return &map.uScale;
    case 0xA356: return &map.vScale;
    case 0xA358: return &map.uOffset;
    case 0xA35A: return &map.vOffset;
    case 0xA35C: return &map.rotation;
    default: return nullptr;
    }
}

Colour3ds* mapTint(TextureMap3ds& map, uint32_t id) {
    switch (id) {
    case 0xA360: return &map.tint1;
    case 0xA362: return &map.tint2;
    case 0xA364: return &map.tintRed;
    case 0xA366: return &map.tintGreen;
    case 0xA368: return &map.tintBlue;
    default: return nullptr;
    }
}

// One child of a map slot's chunk; ids the slot does not know are passed over.
void readMapPart(ChunkNode3ds* part, TextureMap3ds& map) {
    if (part->id == 0xA300) {
        if (auto* name = recordOf<StringData3ds>(part)) map.fileName = name->text;
    } else if (part->id == kPercentInt) {
        if (auto* value = recordOf<Values3ds<int16_t, 1>>(part)) map.percent = value->v[0] / 100.0f;
    } else if (part->id == kPercentFloat) {
        if (auto* value = recordOf<Values3ds<float, 1>>(part)) map.percent = value->v[0];
    } else if (part->id == 0xA351) {
        if (auto* flags = recordOf<Values3ds<uint16_t, 1>>(part)) applyMapFlags(flags->v[0], map);
    } else if (float* field = mapFloat(map, part->id)) {
        if (auto* value = recordOf<Values3ds<float, 1>>(part)) *field = value->v[0];
    } else if (Colour3ds* tint = mapTint(map, part->id)) {
        if (auto* bytes = recordOf<Values3ds<uint8_t, 3>>(part)) *tint = colourOf(*bytes);
    }
}

void readMapSlot(ChunkNode3ds* slotChunk, TextureMap3ds& map) {
    for (ChunkNode3ds* part = slotChunk->firstChild; part && !ErrorStop3ds(); part = part->next)
        readMapPart(part, map);
    if (ErrorStop3ds() || slotChunk->id != kBumpMap)
        return;
    if (ChunkNode3ds* percent = findInTree(slotChunk, kBumpPercent))
        if (auto* value = recordOf<Values3ds<int16_t, 1>>(percent))
            map.percent = value->v[0] / 100.0f;
}

// The map slot a slot chunk fills (by its container id) or whose data a raw chunk
// fills (by the raw data id); nullptr for any other id.
TextureMap3ds* slotOf(MaterialRecord3ds& m, uint32_t id, bool rawData) {
    struct Slot {
        uint32_t container, raw;
        TextureMap3ds MaterialRecord3ds::*map;
    };
    static const Slot slots[] = {
        {0xA200, 0xA320, &MaterialRecord3ds::textureMap},   {0xA33E, 0xA32A, &MaterialRecord3ds::textureMask},
        {0xA33A, 0xA321, &MaterialRecord3ds::texture2Map},  {0xA340, 0xA32C, &MaterialRecord3ds::texture2Mask},
        {0xA210, 0xA322, &MaterialRecord3ds::opacityMap},   {0xA342, 0xA32E, &MaterialRecord3ds::opacityMask},
        {0xA230, 0xA324, &MaterialRecord3ds::bumpMap},      {0xA344, 0xA330, &MaterialRecord3ds::bumpMask},
        {0xA204, 0xA325, &MaterialRecord3ds::specularMap},  {0xA348, 0xA332, &MaterialRecord3ds::specularMask},
        {0xA33C, 0xA326, &MaterialRecord3ds::shininessMap}, {0xA346, 0xA334, &MaterialRecord3ds::shininessMask},
        {0xA33D, 0xA328, &MaterialRecord3ds::selfIllumMap}, {0xA34A, 0xA336, &MaterialRecord3ds::selfIllumMask},
        {0xA220, 0, &MaterialRecord3ds::reflectionMap},     {0xA34C, 0xA338, &MaterialRecord3ds::reflectionMask},
    };
    for (const Slot& slot : slots)
        if ((rawData ? slot.raw : slot.container) == id && id != 0)
            return &(m.*(slot.map));
    return nullptr;
}

float* percentField(MaterialRecord3ds& m, uint32_t id) {
    switch (id) {
    case 0xA040: return &m.shininess;
    case 0xA041: return &m.shininessStrength;
    case 0xA053: return &m.reflectionBlur;
    case kTransparency: return &m.transparency;
    case 0xA052: return &m.transparencyFalloff;
    case 0xA084: return &m.selfIllumination;
    default: return nullptr;
    }
}

uint8_t* flagField(MaterialRecord3ds& m, uint32_t id) {
    switch (id) {
    case 0xA250: return &m.useReflectionBlur;
    case 0xA240: return &m.useFalloff;
    case 0xA081: return &m.twoSided;
    case 0xA080: return &m.selfIlluminated;
    case 0xA083: return &m.decal;
    case 0xA08E: return &m.wireAbsolute;
    case 0xA088: return &m.faceMap;
    case 0xA08C: return &m.soften;
    default: return nullptr;
    }
}

Colour3ds* colourField(MaterialRecord3ds& m, uint32_t id) {
    switch (id) {
    case 0xA010: return &m.ambient;
    case 0xA020: return &m.diffuse;
    case 0xA030: return &m.specular;
    default: return nullptr;
    }
}

void readAutoReflection(ChunkNode3ds* part, MaterialRecord3ds& m) {
    m.useAutoReflection = 1;
    if (auto* record = recordOf<AutoReflectData3ds>(part)) {
        m.autoReflectFirstFrame = (record->flags & 0x09) == 0x09 ? 1 : 0;
        m.autoReflectFlat = (record->flags & 0x11) == 0x11 ? 1 : 0;
        m.autoReflectSize = int32_t(record->value1);
        m.autoReflectFrameStep = int32_t(record->value2);
    }
}

// One child of the material chunk, read from its own copy.
void readMaterialPart(ChunkNode3ds* part, MaterialRecord3ds& m) {
    const uint32_t id = part->id;
    if (id == kChunkMaterialName3ds) {
        if (auto* name = recordOf<StringData3ds>(part)) m.name = name->text;
    } else if (Colour3ds* colour = colourField(m, id)) {
        readColour(part, *colour);
    } else if (float* percent = percentField(m, id)) {
        *percent = readPercent(part);
    } else if (id == kTransparencyNegate) {
        m.transparency = -m.transparency;
    } else if (id == 0xA087) {
        if (auto* value = recordOf<Values3ds<float, 1>>(part)) m.wireSize = value->v[0];
    } else if (id == 0xA100) {
        if (auto* value = recordOf<Values3ds<int16_t, 1>>(part)) m.shading = value->v[0];
    } else if (id == 0xA085) {
        m.shading = 0;
    } else if (uint8_t* flag = flagField(m, id)) {
        *flag = 1;
    } else if (TextureMap3ds* slot = slotOf(m, id, false)) {
        readMapSlot(part, *slot);
    } else if (TextureMap3ds* slotData = slotOf(m, id, true)) {
        if (auto* raw = recordOf<RawData3ds>(part)) slotData->data = std::move(raw->bytes);
    } else if (id == kAutoReflection) {
        readAutoReflection(part, m);
    } else {
        char text[64];
        std::snprintf(text, sizeof text, "material child 0x%04X at byte %u", unsigned(id), unsigned(part->position));
        RecordError3ds(ERR_INVALID_CHUNK, text);
    }
}

void fillMaterial(ChunkNode3ds* materialChunk, MaterialRecord3ds** material) {
    if (materialChunk->id != kChunkMaterial3ds) {
        RecordError3ds(ERR_INVALID_CHUNK, "FetchMaterial3ds: not a material chunk");
        return;
    }
    if (!*material)
        *material = new MaterialRecord3ds;
    MaterialRecord3ds& out = **material;
    out = MaterialRecord3ds{};
    for (ChunkNode3ds* part = materialChunk->firstChild; part; part = part->next) {
        if ((part->id & 0xFF00) == 0x8000)
            continue;  // extended data is not part of the record
        SubtreeCopy copy;
        DuplicateChunk3ds(part, &copy.root);
        if (!ErrorStop3ds())
            readMaterialPart(copy.root, out);
        if (ErrorStop3ds())
            return;
    }
}

}  // namespace

void FetchMaterial3ds(ChunkDatabase3ds* db, const char* name, MaterialRecord3ds** material) {
    GuardMemory3ds([&] {
        if (!db || !name || !material) {
            RecordError3ds(ERR_INVALID_ARG, "FetchMaterial3ds: missing database, name or material pointer");
            return;
        }
        if (!db->topchunk) {
            RecordError3ds(ERR_INVALID_DATABASE, std::string("FetchMaterial3ds: no file loaded, asking for ") + name);
            return;
        }
        const uint32_t root = db->topchunk->id;
        if (root != kChunkMaterialLibrary3ds && root != kChunkScene3ds && root != kChunkProject3ds) {
            RecordError3ds(ERR_WRONG_DATABASE, std::string("FetchMaterial3ds: no materials, asking for ") + name);
            return;
        }
        UpdateMaterialList3ds(db);
        if (ErrorStop3ds() || !db->materialList)
            return;
        if (const ChunkListEntry3ds* entry = FindListEntry3ds(*db->materialList, name))
            fillMaterial(entry->chunk, material);
    });
}

void FreeMaterial3ds(MaterialRecord3ds** material) {
    if (!material)
        return;
    delete *material;
    *material = nullptr;
}
