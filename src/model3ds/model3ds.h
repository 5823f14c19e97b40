// The model-file toolkit: what the rest of the engine includes to read .3ds files.
// Required for: the error list, file contexts, the chunk tree and chunk payloads, the
// database with its mesh and material records.
#pragma once

#include "model3ds/3dserr.h"
#include "model3ds/3dsfile.h"
#include "model3ds/chunk3ds.h"
#include "model3ds/dbase3ds.h"
