// Model display lists: a .3ds model file, read through the model toolkit, compiled into
// one GL display list per material group that has a texture map.
// Required for: the toolkit's mesh and material records.
#pragma once

#include <cstdint>
#include <string>

#include "model3ds/dbase3ds.h"

// Every model list id is this much above the id glGenLists handed out for it; the id
// glGenLists returned stays reserved and empty.
constexpr int32_t modelListOffset = 100;

// Reads the model `fileName` with the GL context current and compiles, for each mesh
// in file order and each of its material groups whose material names a texture map,
// one display list of the group's triangles (texture coordinate, then position, per
// corner; no texture bound). Each map's bitmap gets its entry in the shared texture
// table. Returns the id of the last list compiled, or 0 when none was; lastModelTexture
// becomes the texture index of that last group and is left alone when there was none.
// A model the toolkit cannot read ends the process with exit status -1 after its
// errors (and a line naming the file) on standard error; so does a corrupt model (a
// face corner past the vertices, a group entry past the faces) and a texture that no
// longer fits in the table.
int32_t buildModel(const char* fileName);


// Deletes every list buildModel made since the last release (with the context current),
// and forgets every list's reach.
void releaseModelLists();

// How far from its own origin the farthest vertex of a model list lies, in the list's
// coordinates: a drawn model lies within that distance of where it is placed (times the
// largest scale it is drawn at), whatever it is turned by. buildModel records it for each
// list it compiles; whoever compiles a model list of their own may record it too.
// -1 for a list whose reach is unknown (such a list is always drawn).
float listReach(int32_t list);
void recordListReach(int32_t list, float reach);
void forgetListReach(int32_t list);
