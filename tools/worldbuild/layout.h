// From a checked world description to the text map: rooms become cells with floor,
// ceiling and wall triangles, doorways and windows become portals.
// Required for: the standard library only.
#pragma once

#include <string>
#include <vector>

#include "worldbuild/description.h"  // Required for: WorldDecl

namespace worldbuild {

// Where every camera starts; the first room must hold it (or the description's `start`
// point, which the builder moves onto it).
constexpr float startX = -25, startY = 3, startZ = 15;

// Capacities of the engine's tables that a description could exceed.
constexpr size_t maxRooms = 250, maxPortalsPerRoom = 32, maxPlaces = 250, maxTextures = 500, maxModels = 500;
constexpr size_t maxNameLength = 19, maxModelTextureLength = 12;

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
