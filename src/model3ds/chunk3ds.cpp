// The chunk tree: reading a file's headers into a tree, searching, copying, freeing.
#include "model3ds/chunk3ds.h"

#include "model3ds/3dserr.h"
#include "model3ds/reader3ds.h"

namespace {

bool isRootId(uint32_t id) {
    return id == kChunkScene3ds || id == kChunkProject3ds || id == kChunkMaterialLibrary3ds;
}

bool isContainer(uint32_t id) {
    switch (id) {
    case 0x1200: case 0x2100: case 0x2D2D: case 0x2D3D: case 0x3000: case 0x3D3D: case 0x3DAA:
    case 0x3DFF: case 0x4100: case 0x4D4D: case 0x8000: case 0x8001: case 0xA010: case 0xA020:
    case 0xA030: case 0xA040: case 0xA041: case 0xA042: case 0xA050: case 0xA052: case 0xA053:
    case 0xA084: case 0xA200: case 0xA204: case 0xA210: case 0xA220: case 0xA230: case 0xA33A:
    case 0xA33C: case 0xA33D: case 0xA33E: case 0xA340: case 0xA342: case 0xA344: case 0xA346:
    case 0xA348: case 0xA34A: case 0xA34C: case 0xAFFF: case 0xC23D:
        return true;
    default:
        return id >= 0xB000 && id <= 0xB007;
    }
}

// Bytes of fixed data before the sub-chunks; -1 when the id has none listed.
int fixedLeadingBytes(uint32_t id) {
    switch (id) {
    case 0x0002: case 0x0031: case 0x0100: case 0x1300: case 0x1400: case 0x1410: case 0x3D3E:
    case 0xB009: case 0xB015: case 0xD000:
        return 4;
    case 0x0011: return 3;
    case 0x0030: case 0x1420: case 0x1430: case 0xB030: return 2;
    case 0x0010: case 0x1500: case 0x4600: case 0xB013: return 12;
    case 0x2200: case 0x2300: case 0x2302: case 0x3010: case 0x3020: case 0x3030: case 0x3040:
    case 0x3050: case 0x3060:
        return 16;
    case 0x3070: return 28;
    case 0x4160: return 48;
    case 0x4610: return 20;
    case 0x4641: return 10;
    case 0x4700: return 32;
    case 0x7001: return 14;
    case 0xA310: return 12;
    case 0xB008: return 8;
    case 0xB014: return 24;
    default: return -1;
    }
}

// Leading names read and thrown away: their size in bytes, terminator included.
int leadingStringBytes(uint32_t id) {
    switch (id) {
    case 0x1100: case 0x4181: case 0xA300: return 13;
    case 0x3080: case 0x4000: case 0xB011: return 11;
    case 0xA000: return 17;
    default: return -1;
    }
}

// Moves the reader past the chunk's own data to its first sub-chunk. This decides the
// tree's shape: a chunk whose whole payload is skipped has no sub-chunks.
// Skips are seeks: they stay inside the chunk but may pass the end of the file, so a
// leaf cut short by the end of the file still loads; only reading its payload, or a
// header beyond the end, fails.
void skipLeadingData(uint32_t id, FileReader3ds& in) {
    if (isContainer(id))
        return;
    if (const int bytes = fixedLeadingBytes(id); bytes >= 0) {
        in.seek(uint64_t(bytes));
    } else if (const int bytes = leadingStringBytes(id); bytes >= 0) {
        in.str(uint64_t(bytes - 1));
    } else if (id == kChunkFaceList3ds) {
        const uint16_t faceCount = in.u16();
        in.seek(uint64_t(faceCount) * 8);  // the material groups and smoothing follow the faces
    } else if (id == 0xB010) {
        in.str(10);
        in.seek(6);
    } else if (id == 0xB00A) {
        in.i16();
        in.str(512);
        in.i32();
    } else {
        in.seek(in.left());
    }
}

bool isExtendedChild(uint32_t id) { return id >= 0x8002 && id <= 0x800F; }

std::string describeBadChild(const FileReader3ds& in, const ChunkNode3ds& child) {
    char id[8];
    std::snprintf(id, sizeof id, "%04X", unsigned(child.id));
    return in.file->name + ": chunk 0x" + id + " at byte " + std::to_string(child.position) + " has length " +
           std::to_string(child.length) + ", its parent ends at byte " + std::to_string(in.end);
}

std::string placeOf(const FileReader3ds& in) {
    return in.file->name + ": chunk at byte " + std::to_string(in.pos);
}

// What to do with a child once its header is read.
enum class ChildVerdict { accept, skipRestOfParent, skipChild, invalid };

// Every accepted child is at least a header long and ends inside its parent, so the
// reader always moves forward and never leaves the parent. Inside extended data the
// format's own rules drop bad children instead.
ChildVerdict judgeChild(const ChunkNode3ds& child, uint64_t parentEnd, bool extended) {
    if (extended && !isExtendedChild(child.id))
        return ChildVerdict::skipRestOfParent;
    if (child.length < 6 || uint64_t(child.position) + child.length > parentEnd)
        return extended ? ChildVerdict::skipChild : ChildVerdict::invalid;
    return ChildVerdict::accept;
}

bool readSubChunks(ChunkNode3ds* chunk, bool extended, int depth);

// Chunks the tree being read holds, against what the file's size allows.
struct TreeBudget {
    uint64_t nodes = 0;
    uint64_t maxNodes = 0;
};
TreeBudget treeBudget;

bool withinTreeBudget(const FileReader3ds& in, const ChunkNode3ds& child) {
    if (++treeBudget.nodes <= treeBudget.maxNodes)
        return true;
    RecordError3ds(ERR_NO_MEM, in.file->name + ": chunk at byte " + std::to_string(child.position) + " is chunk " +
                                   std::to_string(treeBudget.nodes) + "; a file of " +
                                   std::to_string(in.file->sizeOnDisk) + " bytes may hold " +
                                   std::to_string(treeBudget.maxNodes) + " (its tree may take " +
                                   std::to_string(kChunkTreeBytesPerFileByte3ds) + " bytes per byte of the file plus " +
                                   std::to_string(kChunkTreeAllowance3ds >> 20) + " MiB)");
    return false;
}

// Reads one child header at the reader's position and, when it is accepted, the child's
// own subtree. Returns false when the read must stop; `last` tracks the chain's tail.
bool readChild(ChunkNode3ds* parent, ChunkNode3ds*& last, FileReader3ds& in, bool extended, int depth) {
    if (extended && in.left() < 6) {
        in.pos = in.end;  // stray bytes at the end of extended data are not a chunk
        return true;
    }
    auto child = std::make_unique<ChunkNode3ds>();
    child->position = uint32_t(in.pos);
    child->readIndex = CurrentIndex3ds();
    child->id = in.u16();
    child->length = in.u32();
    if (!in.ok || ErrorStop3ds())
        return false;
    switch (judgeChild(*child, in.end, extended)) {
    case ChildVerdict::skipRestOfParent: in.pos = in.end; return true;
    case ChildVerdict::skipChild: return true;  // the reader stands right after its header
    case ChildVerdict::invalid:
        RecordError3ds(ERR_INVALID_CHUNK, describeBadChild(in, *child));
        return false;
    case ChildVerdict::accept: break;
    }
    if (!withinTreeBudget(in, *child))
        return false;
    ChunkNode3ds* added = child.release();
    (last ? last->next : parent->firstChild) = added;
    last = added;
    in.pos = uint64_t(added->position) + added->length;
    return readSubChunks(added, extended || added->id == kChunkExtendedData3ds, depth + 1) && !ErrorStop3ds();
}

// Reads the sub-chunks of `chunk` from its file, recursively. A failure leaves one
// ERR_READING_DATABASE for this level. Structural faults stop the read even when
// continuing on errors was asked for, so the reader ends on every input.
bool readSubChunks(ChunkNode3ds* chunk, bool extended, int depth) {
    file3ds* file = GetContext3ds(chunk->readIndex);
    if (!file) {
        RecordError3ds(ERR_READING_FILE, "chunk at byte " + std::to_string(chunk->position) + ": file not open");
        RecordError3ds(ERR_READING_DATABASE);
        return false;
    }
    SetContext3ds(file);
    FileReader3ds in = ChunkPayloadReader3ds(file, chunk->id, chunk->position, chunk->length);
    if (depth > kMaxChunkDepth3ds)
        in.fail(ERR_INVALID_CHUNK, "nested deeper than " + std::to_string(kMaxChunkDepth3ds) + " levels");
    skipLeadingData(chunk->id, in);
    bool ok = in.ok && !ErrorStop3ds();
    ChunkNode3ds* last = nullptr;
    while (ok && in.pos < in.end)
        ok = readChild(chunk, last, in, extended, depth);
    if (!ok)
        RecordError3ds(ERR_READING_DATABASE, placeOf(in));
    return ok;
}

// Reads the root header at offset 0 into a fresh top chunk.
bool readRoot(file3ds* file, ChunkNode3ds** top) {
    *top = new ChunkNode3ds;
    (*top)->readIndex = file->index;
    SetContext3ds(file);
    FileReader3ds in;
    in.file = file;
    in.end = UINT64_MAX;  // the root is bounded by the file alone
    (*top)->id = in.u16();
    (*top)->length = in.u32();
    if (in.ok && isRootId((*top)->id) && (*top)->length < 6)
        in.fail(ERR_INVALID_CHUNK, "root length " + std::to_string((*top)->length) + " is below 6");
    return in.ok;
}

}  // namespace

bool ReadChunkTree3ds(file3ds* file, ChunkNode3ds** top, bool& model) {
    model = false;
    if (file->sizeOnDisk > kMaxModelFileBytes3ds) {
        RecordError3ds(ERR_NO_MEM, file->name + ": the file has " + std::to_string(file->sizeOnDisk) +
                                       " bytes; model files of at most " +
                                       std::to_string(kMaxModelFileBytes3ds >> 20) + " MiB are read");
        return false;
    }
    treeBudget = TreeBudget{0, MaxChunkNodes3ds(file->sizeOnDisk)};
    bool ok = false;
    GuardMemory3ds([&] { ok = readRoot(file, top) && !ErrorStop3ds(); });
    if (!ok) return false;
    if (!isRootId((*top)->id))
        return true;  // not a model file: a lone root, and nothing for the getters to find
    model = true;
    GuardMemory3ds([&] { ok = readSubChunks(*top, false, 1) && !ErrorStop3ds(); });
    return ok;
}

void FindNextChunk3ds(ChunkNode3ds* first, uint32_t id, ChunkNode3ds** out) {
    CheckArg3ds(out != nullptr, "FindNextChunk3ds: arg **chunk cannot be NULL", "chunk3ds", 178);
    ChunkNode3ds* chunk = first;
    while (chunk && chunk->id != id)
        chunk = chunk->next;
    *out = chunk;
}

void FindChunkInTree3ds(ChunkNode3ds* chunk, uint32_t id, ChunkNode3ds** out) {
    if (!out) {
        RecordError3ds(ERR_INVALID_ARG, "FindChunkInTree3ds: missing output");
        return;
    }
    *out = nullptr;
    if (!chunk)
        return;
    if (chunk->id == id) {
        *out = chunk;
        return;
    }
    for (ChunkNode3ds* child = chunk->firstChild; child && !*out; child = child->next)
        FindChunkInTree3ds(child, id, out);
}

void AddChildChunk3ds(ChunkNode3ds* parent, ChunkNode3ds* child) {
    ChunkNode3ds** link = &parent->firstChild;
    while (*link)
        link = &(*link)->next;
    *link = child;
}

int ChunkOrder3ds(uint32_t id) { return id == kChunkParentName3ds ? 0 : 1; }

void AddChildOrdered3ds(ChunkNode3ds* parent, ChunkNode3ds* child) {
    const int order = ChunkOrder3ds(child->id);
    ChunkNode3ds** link = &parent->firstChild;
    while (*link && ChunkOrder3ds((*link)->id) >= order)
        link = &(*link)->next;
    child->next = *link;
    *link = child;
}

namespace {

// Every chunk is linked into the copy as soon as it exists, so memory running out
// half-way leaves a partial copy that the caller frees, never a lost chunk.
void duplicateInto(ChunkNode3ds* source, ChunkNode3ds** out) {
    auto* copy = new ChunkNode3ds;
    *out = copy;
    copy->id = source->id;
    copy->length = source->length;
    copy->position = source->position;
    copy->readIndex = source->readIndex;
    copy->writeIndex = source->writeIndex;
    if (source->data) {
        // A memory-only record is the only copy, so it is copied; a file-backed one can
        // be read again, so it moves and the source re-reads it when asked.
        if (source->readIndex == kNoContext3ds)
            copy->data = std::make_unique<ChunkData3ds>(*source->data);
        else
            copy->data = std::move(source->data);
    }
    ChunkNode3ds** link = &copy->firstChild;
    for (ChunkNode3ds* child = source->firstChild; child; child = child->next) {
        duplicateInto(child, link);
        link = &(*link)->next;
    }
}

}  // namespace

void DuplicateChunk3ds(ChunkNode3ds* source, ChunkNode3ds** out) {
    if (!source || !out) {
        RecordError3ds(ERR_INVALID_ARG, "DuplicateChunk3ds: missing source or output");
        return;
    }
    *out = nullptr;
    GuardMemory3ds([&] { duplicateInto(source, out); });
}

void FreeChunkTree3ds(ChunkNode3ds** chunk) {
    if (!chunk)
        return;
    // Neither recursion nor a work list: sibling chains of many thousand chunks and deep
    // trees are both legal in memory, and freeing must neither exhaust the stack nor
    // need memory. Each chunk's children are spliced into the chain right after it, so
    // one walk along `next` visits every chunk; each chain is walked once to find its end.
    ChunkNode3ds* node = *chunk;
    while (node) {
        if (ChunkNode3ds* children = node->firstChild) {
            ChunkNode3ds* last = children;
            while (last->next)
                last = last->next;
            last->next = node->next;
            node->next = children;
            node->firstChild = nullptr;
        }
        ChunkNode3ds* next = node->next;
        FreeChunkData3ds(node);
        delete node;
        node = next;
    }
    *chunk = nullptr;
}

void DisconnectChunk3ds(ChunkNode3ds* chunk) {
    CheckArg3ds(chunk != nullptr, "DisconnectChunk3ds: Arg *chunk cannot be NULL", "chunk3ds", 321);
    ReadChunkData3ds(chunk);
    if (ErrorStop3ds())
        return;
    chunk->readIndex = kNoContext3ds;
    chunk->writeIndex = kNoContext3ds;
    for (ChunkNode3ds* child = chunk->firstChild; child && !ErrorStop3ds(); child = child->next)
        DisconnectChunk3ds(child);
}
