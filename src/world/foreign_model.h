// Model files of formats the engine does not read, told by their first bytes, so a
// model that is really an OBJ or a glTF file gets a message that says so and what to do.
// Required for: the standard library only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct ForeignModel {
    const char* format = nullptr;     // "an OBJ model", ...; nullptr: none of them
    const char* extension = nullptr;  // the usual ending of such a file: ".obj", ...
};

// How many leading bytes recogniseForeignModel looks at.
constexpr size_t foreignModelProbeBytes = 4096;

// Which of the common model formats the bytes start as: binary glTF, glTF (a JSON
// object with an "asset"), binary or text FBX, PLY, STL (text, or binary of exactly the
// size its triangle count gives) or OBJ (text whose first statement is an OBJ keyword).
// A 3D Studio file is none of them. Pure.
ForeignModel recogniseForeignModel(const uint8_t* data, size_t size, uint64_t fileSize);

// The same for the file `fileName` (its first bytes, found as the engine finds files);
// none when it cannot be read.
ForeignModel recogniseForeignModelFile(const char* fileName);

// "car.3ds is an OBJ model; models are 3D Studio files (the world builder converts them:
// model NAME.3ds file car.obj)".
std::string foreignModelMessage(const std::string& fileName, const ForeignModel& model);

// A 3D Studio file starts with the chunk id of a scene (0x4D4D) or a project (0xC23D),
// low byte first; anything else reads as an empty database and draws nothing. true too
// when the file cannot be opened: the toolkit then says why.
bool startsAs3dsFile(const char* fileName);
