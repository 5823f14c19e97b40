// The world builder: a world description in, a world folder out (game.ini, map.m, the
// textures and the models).
// Required for: the standard library only.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "worldbuild/description.h"  // Required for: WorldDecl

namespace worldbuild {

// Every file of the world, by name, in the order they are written.
using WorldFiles = std::vector<std::pair<std::string, std::vector<uint8_t>>>;

// Makes the files of a parsed world. false with `error` ("FILE:LINE: message") when the
// world fails its checks, a texture cannot be written in its flavour or converted from its
// picture, or a model file it brings in cannot be read. `warnings`, when given, receives
// "FILE:LINE: warning: ..." lines (overlapping boxes the engine reads right, a placed
// model's box that does not cover it, ...).
bool makeWorldFiles(const WorldDecl& world, WorldFiles& files, std::string& error,
                    std::vector<std::string>* warnings = nullptr);

// Reads the description, makes the files and writes them into `outputDir` (created when
// missing). false with `error` naming the file, and the line where there is one.
// `filesWritten`, when given, receives how many files a build that succeeds wrote.
bool buildWorld(const std::string& descriptionPath, const std::string& outputDir, std::string& error,
                size_t* filesWritten = nullptr, std::vector<std::string>* warnings = nullptr);

}  // namespace worldbuild
