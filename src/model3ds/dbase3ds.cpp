// The database: its record, the object, material and node lists, mesh names, and the
// keyframe parent-name step that ends every load.
#include "model3ds/dbase3ds.h"

#include <algorithm>  // Required for: std::find_if

#include "model3ds/3dserr.h"

namespace {

ChunkNode3ds* findInTree(ChunkNode3ds* chunk, uint32_t id) {
    ChunkNode3ds* found = nullptr;
    FindChunkInTree3ds(chunk, id, &found);
    return found;
}

ChunkNode3ds* nextSibling(ChunkNode3ds* chunk, uint32_t id) {
    ChunkNode3ds* found = nullptr;
    FindNextChunk3ds(chunk->next, id, &found);
    return found;
}

void freeList(ChunkNameList3ds*& list) {
    delete list;
    list = nullptr;
}

// The string record of a name chunk, reading it when needed; nullptr on error (pending)
// and for a chunk that holds no string.
const std::string* nameOf(ChunkNode3ds* chunk) {
    ReadChunkData3ds(chunk);
    if (ErrorStop3ds())
        return nullptr;
    const StringData3ds* record = ChunkRecord3ds<StringData3ds>(chunk);
    return record ? &record->text : nullptr;
}

// Lists the chunks of `id` from the first one found below `section` through its
// siblings of that id, each named by `nameChunk`(chunk) when it has a name.
template <typename NameChunk>
void buildList(ChunkNameList3ds& list, ChunkNode3ds* section, uint32_t id, NameChunk nameChunk) {
    if (!section)
        return;
    for (ChunkNode3ds* chunk = findInTree(section, id); chunk; chunk = nextSibling(chunk, id)) {
        ChunkNode3ds* named = nameChunk(chunk);
        if (!named)
            continue;
        const std::string* name = nameOf(named);
        if (ErrorStop3ds())
            return;
        if (name)
            list.entries.push_back(ChunkListEntry3ds{*name, chunk});
    }
}

// Starts a list over: nothing when it is clean, else a fresh empty list. The flag is
// cleared only once the new list exists, so a clean flag always comes with a list.
bool startRebuild(uint8_t& dirty, ChunkNameList3ds*& list) {
    if (!dirty && list)
        return false;
    auto* fresh = new ChunkNameList3ds;
    freeList(list);
    list = fresh;
    dirty = 0;
    return true;
}

}  // namespace

// --- The database record ----------------------------------------------------------------

void ResetDatabase3ds(ChunkDatabase3ds** db) {
    GuardMemory3ds([&] {
        if (!db) {
            RecordError3ds(ERR_INVALID_ARG, "ResetDatabase3ds: missing database pointer");
            return;
        }
        if (!*db)
            *db = new ChunkDatabase3ds;
        ChunkDatabase3ds& base = **db;
        // The tree and lists of an earlier use are the caller's to free first.
        base.topchunk = nullptr;
        base.objectList = base.materialList = base.nodeList = nullptr;
        base.objectListDirty = base.materialListDirty = base.nodeListDirty = 1;
    });
}

void LoadDatabase3ds(file3ds* file, ChunkDatabase3ds* db) {
    if (!file || !db) {
        RecordError3ds(ERR_INVALID_ARG, "LoadDatabase3ds: missing file or database");
        return;
    }
    if (!(file->mode & kModeRead3ds))
        return;  // a file opened only for writing has nothing to read
    // The lists point into the old tree: they go with it and are rebuilt on next use.
    ReleaseNameLists3ds(db);
    FreeChunkTree3ds(&db->topchunk);
    bool model = false;
    bool ok = ReadChunkTree3ds(file, &db->topchunk, model);
    if (ok && !model) return;
    if (ok) {
        NameKeyframeParents3ds(db);
        ok = !ErrorStop3ds();
    }
    if (!ok)
        RecordError3ds(ERR_CREATING_DATABASE, file->name);
}

void ReleaseNameLists3ds(ChunkDatabase3ds* db) {
    if (!db)
        return;
    freeList(db->objectList);
    freeList(db->materialList);
    freeList(db->nodeList);
    db->objectListDirty = db->materialListDirty = db->nodeListDirty = 1;
}

void FreeDatabase3ds(ChunkDatabase3ds** db) {
    if (!db || !*db)
        return;
    FreeChunkTree3ds(&(*db)->topchunk);
    ReleaseNameLists3ds(*db);
    delete *db;
    *db = nullptr;
}

// --- Object and material lists ----------------------------------------------------------

void UpdateObjectList3ds(ChunkDatabase3ds* db) {
    GuardMemory3ds([&] {
        if (!db || !startRebuild(db->objectListDirty, db->objectList))
            return;
        ChunkNode3ds* section = findInTree(db->topchunk, kChunkMeshSection3ds);
        buildList(*db->objectList, section, kChunkNamedObject3ds, [](ChunkNode3ds* object) { return object; });
    });
}

void UpdateMaterialList3ds(ChunkDatabase3ds* db) {
    GuardMemory3ds([&] {
        if (!db || !startRebuild(db->materialListDirty, db->materialList))
            return;
        ChunkNode3ds* section = findInTree(db->topchunk, kChunkMeshSection3ds);
        if (!section)
            section = findInTree(db->topchunk, kChunkMaterialLibrary3ds);
        buildList(*db->materialList, section, kChunkMaterial3ds,
                  [](ChunkNode3ds* material) { return findInTree(material, kChunkMaterialName3ds); });
    });
}

const ChunkListEntry3ds* FindListEntry3ds(ChunkNameList3ds& list, const std::string& name) {
    if (list.namesIndexed != list.entries.size() || list.firstByName.empty()) {
        list.firstByName.clear();
        for (size_t i = 0; i < list.entries.size(); ++i)
            list.firstByName.emplace(list.entries[i].name, i);  // keeps the first of a name
        list.namesIndexed = list.entries.size();
    }
    const auto found = list.firstByName.find(name);
    return found == list.firstByName.end() ? nullptr : &list.entries[found->second];
}

const std::vector<size_t>& MeshEntries3ds(ChunkNameList3ds& list) {
    if (!list.meshesListed || list.meshesIndexed != list.entries.size()) {
        list.meshEntries.clear();
        for (size_t i = 0; i < list.entries.size(); ++i)
            if (findInTree(list.entries[i].chunk, kChunkTriangleMesh3ds))
                list.meshEntries.push_back(i);
        list.meshesIndexed = list.entries.size();
        list.meshesListed = true;
    }
    return list.meshEntries;
}

void ListMeshNames3ds(ChunkDatabase3ds* db, NameArray3ds** list) {
    GuardMemory3ds([&] {
        if (!db || !list) {
            RecordError3ds(ERR_INVALID_ARG, "ListMeshNames3ds: missing database or list pointer");
            return;
        }
        UpdateObjectList3ds(db);
        if (ErrorStop3ds() || !db->objectList)
            return;
        std::vector<std::string> names;
        for (size_t index : MeshEntries3ds(*db->objectList))
            names.push_back(db->objectList->entries[index].name);
        if (!*list)
            *list = new NameArray3ds;
        NameArray3ds& out = **list;
        out.count = uint32_t(names.size());
        out.capacity = out.count == 0 ? 5 : out.count;
        names.resize(out.capacity);
        out.names = std::move(names);
    });
}

void FreeNameList3ds(NameArray3ds** list) {
    if (!list) {
        RecordError3ds(ERR_INVALID_ARG, "FreeNameList3ds: missing list pointer");
        return;
    }
    delete *list;
    *list = nullptr;
}

// --- Keyframe nodes -----------------------------------------------------------------------

namespace {

constexpr uint32_t kNodeHeader = 0xB010;
constexpr uint32_t kInstanceName = 0xB011;
constexpr uint32_t kNodeId = 0xB030;
constexpr uint32_t kObjectNode = 0xB002;
// The node kinds the parent-name step handles, in the order it handles them.
constexpr uint32_t kNodeKinds[] = {0xB004, 0xB002, 0xB003, 0xB005, 0xB006, 0xB007};

bool isNodeKind(uint32_t id) {
    return std::find(std::begin(kNodeKinds), std::end(kNodeKinds), id) != std::end(kNodeKinds);
}

// A payload read only for the node table; dropped again so the tree stays headers only.
template <typename Record>
const Record* peek(ChunkNode3ds* chunk) {
    if (!chunk)
        return nullptr;
    ReadChunkData3ds(chunk);
    return ErrorStop3ds() ? nullptr : ChunkRecord3ds<Record>(chunk);
}

void drop(ChunkNode3ds* chunk) {
    if (chunk)
        FreeFileChunkData3ds(chunk);
}

// The node's id from its 0xB030 chunk; false (with `id` untouched) when it has none.
bool readNodeId(ChunkNode3ds* idChunk, int16_t& id) {
    const auto* record = peek<Values3ds<int16_t, 1>>(idChunk);
    if (record)
        id = record->v[0];
    drop(idChunk);
    return record != nullptr;
}

// The entry for one node chunk; false when it has no header (or on error).
bool readNodeEntry(ChunkNode3ds* node, KeyframeNode3ds& entry) {
    ChunkNode3ds* header = findInTree(node, kNodeHeader);
    const auto* fields = peek<NodeHeaderData3ds>(header);
    if (!fields)
        return false;
    entry.chunkId = node->id;
    entry.name = fields->name;
    entry.parentId = fields->parentId;
    drop(header);
    if (!readNodeId(findInTree(node, kNodeId), entry.nodeId) && ErrorStop3ds())
        return false;
    if (node->id == kObjectNode) {
        ChunkNode3ds* instance = findInTree(node, kInstanceName);
        if (const auto* text = peek<StringData3ds>(instance))
            entry.instance = text->text;
        drop(instance);
    }
    return !ErrorStop3ds();
}

std::string displayName(const KeyframeNode3ds& node) {
    return node.instance.empty() ? node.name : node.name + "." + node.instance;
}

// Gives `header` a memory-only parent-name chunk, unless one is already below it.
void attachParentName(ChunkNode3ds* header, const std::string& parentName) {
    if (findInTree(header, kChunkParentName3ds))
        return;  // the file's own stays as it is
    auto* chunk = new ChunkNode3ds;
    chunk->id = kChunkParentName3ds;
    chunk->length = uint32_t(6 + parentName.size() + 1);
    AddChildOrdered3ds(header, chunk);
    if (auto* record = std::get_if<StringData3ds>(InitChunkData3ds(chunk)))
        record->text = parentName;
}

// Names the parent of one node chunk, when the table knows it.
void nameParentOf(ChunkNode3ds* node, const std::vector<KeyframeNode3ds>& table) {
    ChunkNode3ds* header = findInTree(node, kNodeHeader);
    int16_t nodeId = 0;
    if (!header || !readNodeId(findInTree(node, kNodeId), nodeId))
        return;
    const auto byId = [&](int16_t id) {
        return std::find_if(table.begin(), table.end(), [id](const KeyframeNode3ds& e) { return e.nodeId == id; });
    };
    const auto self = byId(nodeId);
    if (self == table.end() || self->parentId == -1)
        return;
    const auto parent = byId(self->parentId);
    if (parent == table.end() || parent->name.empty())
        return;
    attachParentName(header, displayName(*parent));
}

}  // namespace

std::vector<KeyframeNode3ds> KeyframeNodeTable3ds(ChunkDatabase3ds* db) {
    std::vector<KeyframeNode3ds> table;
    GuardMemory3ds([&] {
        ChunkNode3ds* section = db ? findInTree(db->topchunk, kChunkKeyframes3ds) : nullptr;
        if (!section)
            return;
        bool anyWithoutId = false;
        for (ChunkNode3ds* node = section->firstChild; node; node = node->next) {
            if (!isNodeKind(node->id))
                continue;
            KeyframeNode3ds entry;
            if (readNodeEntry(node, entry)) {
                anyWithoutId |= entry.nodeId == -1;
                table.push_back(std::move(entry));
            }
            if (ErrorStop3ds())
                return;
        }
        // Ids are only trusted when every node has one; otherwise nodes count in order.
        if (anyWithoutId)
            for (size_t i = 0; i < table.size(); ++i)
                table[i].nodeId = int16_t(i);
    });
    return table;
}

void DumpKeyframeNodes3ds(FILE* out, const std::vector<KeyframeNode3ds>& table) {
    for (const KeyframeNode3ds& node : table) {
        if (node.instance.empty())
            std::fprintf(out, "ID:%d\tName:%s\tParent:%d\n", node.nodeId, node.name.c_str(), node.parentId);
        else
            std::fprintf(out, "ID:%d\tName:%s.%s\tParent:%d\n", node.nodeId, node.name.c_str(),
                         node.instance.c_str(), node.parentId);
    }
}

void NameKeyframeParents3ds(ChunkDatabase3ds* db) {
    GuardMemory3ds([&] {
        const std::vector<KeyframeNode3ds> table = KeyframeNodeTable3ds(db);
        if (ErrorStop3ds() || table.empty())
            return;
        ChunkNode3ds* section = findInTree(db->topchunk, kChunkKeyframes3ds);
        for (uint32_t kind : kNodeKinds) {
            for (ChunkNode3ds* node = findInTree(section, kind); node; node = nextSibling(node, kind)) {
                nameParentOf(node, table);
                if (ErrorStop3ds())
                    return;
            }
        }
    });
}

void UpdateNodeTagList3ds(ChunkDatabase3ds* db) {
    CheckArg3ds(db != nullptr, "UpdateNodeTagList3ds: arg *db cannot be NULL", "dbase3ds", 475);
    CheckArg3ds(db->topchunk != nullptr, "UpdateNodeTagList3ds: arg *db->topchunk cannot be NULL", "dbase3ds", 476);
    GuardMemory3ds([&] {
        if (!startRebuild(db->nodeListDirty, db->nodeList))
            return;
        ChunkNode3ds* section = findInTree(db->topchunk, kChunkKeyframes3ds);
        size_t counted = 0;
        for (ChunkNode3ds* node = section ? section->firstChild : nullptr; node; node = node->next) {
            if (node->id <= kChunkKeyframes3ds || node->id >= 0xB008)
                continue;
            ++counted;
            // A node without a header keeps its place in the list under an empty name.
            KeyframeNode3ds entry;
            readNodeEntry(node, entry);
            if (ErrorStop3ds())
                return;
            db->nodeList->entries.push_back(ChunkListEntry3ds{displayName(entry), node});
        }
        CheckArg3ds(counted == db->nodeList->entries.size(),
                    "UpdateNodeTagList3ds: Difference in node count and node list elements.", "dbase3ds", 569);
    });
}

void MakeNodeTagListDirt3ds(ChunkDatabase3ds* db) {
    CheckArg3ds(db != nullptr, "MakeNodeTagListDirt3ds: arg *db cannot be NULL.", "dbase3ds", 577);
    db->nodeListDirty = 1;
}

ChunkNode3ds* FindNodeTagByNameAndType3ds(ChunkDatabase3ds* db, const char* name, uint32_t id) {
    CheckArg3ds(db != nullptr, "FindNodeTagByNameAndType3ds: arg *db cannot be NULL.", "dbase3ds", 586);
    CheckArg3ds(name != nullptr, "FindNodeTagByNameAndType3ds: arg *name cannot be NULL.", "dbase3ds", 587);
    UpdateNodeTagList3ds(db);
    if (ErrorStop3ds() || !db->nodeList)
        return nullptr;
    for (const ChunkListEntry3ds& entry : db->nodeList->entries)
        if (entry.chunk->id == id && entry.name == name)
            return entry.chunk;
    return nullptr;
}
