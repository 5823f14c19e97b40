// The world description: a small text file a person edits, one statement a line.
//
//   screen 800 600
//   texture bricks.bmp pattern bricks flavour rle8 [pixels 64] [tile 4] [colour R G B]
//   model crate.3ds shape crate texture crate.bmp size 2 2
//   model rifle.3ds file models/rifle.3ds [scale S] [texture T.bmp]   (also .obj, .gltf, .stl, ...)
//   texture photo.bmp file photo.jpg [pixels 128] [tile 4]
//   room start box X1 Y1 Z1 X2 Y2 Z2 floor F.bmp ceiling C.bmp walls W.bmp [noportals]
//   room hex plan X1 Z1 X2 Z2 X3 Z3 ... [base Y] height H floor F.bmp ceiling C.bmp walls W.bmp
//   start X Z
//   door ROOM ROOM span U1 U2 [top Y]
//   window ROOM side +z span U1 U2 rise Y1 Y2 onto ROOM [offset X Y Z] [turn X Y Z] [scale X Y Z]
//   passage ROOM side +z span U1 U2 onto ROOM side -z at U [rise Y1 Y2]
//   place crate.3ds in ROOM at X Y Z [turn X Y Z] [scale S] [box X1 Y1 Z1 X2 Y2 Z2] [spin]
//
// '#' starts a comment. Every problem is reported as "FILE:LINE: message".
// Required for: the standard library only.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "worldbuild/models.h"    // Required for: ModelSpec
#include "worldbuild/plan.h"      // Required for: PlanPoint
#include "worldbuild/textures.h"  // Required for: TextureSpec

namespace worldbuild {

struct TextureDecl {
    std::string file;
    float tile = 4;  // world units per repeat of the picture
    TextureSpec recipe;
    std::string source;  // a picture to convert (path as written, from the description's folder), or ""
    int sourcePixels = 0;  // its side in the world, or 0: the power of two that fits the picture
    int line = 0;
};

struct ModelDecl {
    std::string file;
    ModelSpec recipe;  // a shape; for a model from a file only its texture (for faces without one)
    std::string source;  // a model file to bring in, relative to the description; empty: a shape
    float scale = 1;     // of the model from a file
    int line = 0;
};

struct RoomDecl {
    std::string name;
    std::array<float, 6> box{};  // x1 y1 z1 x2 y2 z2, x1 < x2 and so on; a plan's bounding box
    std::vector<PlanPoint> plan;  // counter-clockwise; a box room's four corners
    bool shaped = false;          // given by a plan, not a box
    std::string floor, ceiling, walls;
    bool noPortals = false;  // drawn always and whole; no portal leads in or out
    int line = 0;
};

// An opening between two rooms whose boxes touch: from u1 to u2 along the shared wall
// (X for a wall of constant Z, Z for a wall of constant X), from the higher floor to `top`.
struct DoorDecl {
    std::string rooms[2];
    float u1 = 0, u2 = 0;
    float top = 0;
    bool hasTop = false;  // without: up to the lower ceiling
    int line = 0;
};

// A stencil window in a wall of `room`, showing `target` placed by offset, turn and scale
// (a point of the target appears at point x scale + offset; its models turn by `turn`).
// The opening, carried back into the target's coordinates, must lie on the target's wall
// that faces the window: the builder opens it there too, as a window back.
struct WindowDecl {
    std::string room;
    std::string side;  // +x, -x, +z or -z (the wall facing that way), or a plan's wall number from 1
    float u1 = 0, u2 = 0, y1 = 0, y2 = 0;
    std::string target;
    std::array<float, 3> offset{0, 0, 0}, turn{0, 0, 0}, scale{1, 1, 1};
    const char* kind = "window";  // what messages call it
    int line = 0;
};

// A passage: an opening from u1 to u2 in a wall of `room` that shows `target`'s facing
// wall from `at` on, shifted into place, and the same opening back; the eye walks through
// it into the target. From the higher floor to the lower ceiling unless a rise is given.
struct PassageDecl {
    std::string room, side;
    float u1 = 0, u2 = 0;
    std::string target, targetSide;
    float at = 0;
    float y1 = 0, y2 = 0;
    bool hasRise = false;
    int line = 0;
};

struct PlaceDecl {
    std::string model;
    std::string room;
    std::array<float, 3> at{};
    std::array<int, 3> turn{0, 0, 0};  // whole degrees
    std::array<float, 6> box{};        // x1 y1 z1 x2 y2 z2 about `at`
    bool hasBox = false;               // without: the model's own, as placed and turned
    float scale = 1;                   // of the model, on top of its own
    bool spin = false;
    int line = 0;
};

struct WorldDecl {
    std::string fileName;  // as given: messages name it
    int width = 800, height = 600;
    std::vector<TextureDecl> textures;
    std::vector<ModelDecl> models;
    std::vector<RoomDecl> rooms;
    std::vector<DoorDecl> doors;
    std::vector<WindowDecl> windows;
    std::vector<PassageDecl> passages;
    std::vector<PlaceDecl> places;
    // `start X Z`: the point of the description that lands on the engine's start point.
    bool hasStart = false;
    float startX = 0, startZ = 0;
    int startLine = 0;
};

// Reads the statements of `text`. false with `error` ("FILE:LINE: message") on the first
// statement that cannot be read: an unknown word, a missing or surplus value, a value
// that is not a number.
bool parseDescription(const std::string& fileName, const std::string& text, WorldDecl& world, std::string& error);

}  // namespace worldbuild
