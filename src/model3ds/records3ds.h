// What the mesh and material fills share: a chunk's record fetched the way both read
// it, and a copied subtree released however a fill ends.
#pragma once

#include "model3ds/3dserr.h"
#include "model3ds/dbase3ds.h"

// The record of `chunk` as T, decoded when needed; nullptr on error (left pending) and
// for a chunk that holds none.
template <typename T>
T* recordOf(ChunkNode3ds* chunk) {
    ReadChunkData3ds(chunk);
    return ErrorStop3ds() ? nullptr : ChunkRecord3ds<T>(chunk);
}

struct SubtreeCopy {
    ChunkNode3ds* root = nullptr;
    SubtreeCopy() = default;
    SubtreeCopy(const SubtreeCopy&) = delete;
    SubtreeCopy& operator=(const SubtreeCopy&) = delete;
    ~SubtreeCopy() { FreeChunkTree3ds(&root); }
};
