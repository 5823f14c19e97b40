// The world the engine opens when it is given none and the current folder holds no map.
#pragma once

#include <string>

// True when `dir` holds a map file (map.m, or a name that matches it ignoring case).
bool holdsMap(const std::string& dir);

// The installed sample world's folder, found in this order: beside the running program
// (PREFIX/bin/../share/portal-engine/worlds/sample, so an install can be moved), in the
// data folder the build was configured for, and, for a program run from its build tree,
// in the source tree. Empty when none of them holds a map.
std::string findSampleWorld();
