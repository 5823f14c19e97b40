// portal-engine --check [DIR]: the world checker run from the command line.
#pragma once

#include <cstdio>
#include <string>

// Enters the world folder (when one is named) and loads game.ini, map.m, every texture
// and every model there without opening a window, then writes each problem found to
// `out` as FILE:LINE: error|warning: MESSAGE, in map order, and a last line
// "N errors, M warnings". Returns the exit status: 0 without errors, 1 otherwise.
int runWorldCheck(const std::string& worldDir, std::FILE* out);

// portal-engine --model-info FILE: what the model file holds, read the engine's way,
// written to `out`; a file that cannot be read is named with the reason on standard
// error. Returns the exit status: 0 when read, 1 otherwise.
int printModelInfo(const std::string& fileName, std::FILE* out);
