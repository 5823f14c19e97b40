// From a checked world description to the text map: rooms become cells with floor,
// ceiling and wall triangles, doorways and windows become portals.
#pragma once

#include <string>

#include "world/world.h"             // Required for: the start point
#include "worldbuild/description.h"  // Required for: WorldDecl

namespace worldbuild {

// Capacities of the engine's tables that a description could exceed.
constexpr size_t maxRooms = 250, maxPortalsPerRoom = 32, maxPlaces = 250, maxTextures = 500, maxModels = 500;
constexpr size_t maxNameLength = 19, maxModelTextureLength = 12;

// Cross-references and geometry: names that exist and are unique and short enough, rooms
// that do not overlap, doorways between rooms that touch, windows (and their images) in
// walls no other room shares, each window's image on the facing wall of the room it
// shows, models inside their rooms, the start inside the first room, capacities. false with `error` ("FILE:LINE: message") on the
// first problem in statement order.
bool checkWorld(const WorldDecl& world, std::string& error);

// The map text, one record a line. `world` must have passed checkWorld.
std::string writeMap(const WorldDecl& world);

// game.ini for the world's window.
std::string writeGameIni(const WorldDecl& world);

}  // namespace worldbuild
