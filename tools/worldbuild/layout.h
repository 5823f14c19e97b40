// From a checked world description to the text map: rooms become cells with floor,
// ceiling and wall triangles, doorways and windows become portals.
#pragma once

#include <string>
#include <vector>

#include "world/map.h"               // Required for: the record tags
#include "world/world.h"             // Required for: the start point, the capacities
#include "worldbuild/description.h"  // Required for: WorldDecl

namespace worldbuild {

// Capacities of the engine's tables that a description could exceed: the engine's own.
constexpr size_t maxRooms = size_t(maxCells), maxPortalsPerRoom = size_t(maxPortalsPerCell);
constexpr size_t maxPlaces = size_t(maxPlacedObjects), maxTextures = size_t(::maxTextures);
constexpr size_t maxModels = size_t(::maxModels), maxNameLength = size_t(nameFieldSize - 1);
// A texture map's name in a model file: eight characters, a dot and three.
constexpr size_t maxModelTextureLength = 12;

// Cross-references and geometry: names that exist and are unique and short enough, rooms
// that do not overlap, doorways between rooms that touch, windows (and their images) in
// walls no other room shares, each window's image on the facing wall of the room it
// shows, models inside their rooms, the start inside the first room, capacities. false with `error` ("FILE:LINE: message") on the
// first problem in statement order.
// `warnings`, when given, receives "FILE:LINE: warning: ..." lines for what the engine
// will show imperfectly but can run.
bool checkWorld(const WorldDecl& world, std::string& error, std::vector<std::string>* warnings = nullptr);

// The map text, one record a line. `world` must have passed checkWorld.
std::string writeMap(const WorldDecl& world);

// game.ini for the world's window.
std::string writeGameIni(const WorldDecl& world);

}  // namespace worldbuild
