// Live world editing: the world folder watched for saves (inotify), and the world
// loaded again between two frames when game.ini, map.m or a texture or model it uses
// was written. A save that does not load keeps the last good world on screen, with the
// problems drawn over it, until a save that loads.
#pragma once

#include <string>
#include <vector>

// What a check of the world files on disk found: whether they load, and the problems
// as the checker words them ("map.m:LINE: error: ...").
struct WorldFileCheck {
    bool loads = false;
    std::vector<std::string> problems;
    std::vector<std::string> usedFiles;  // textures and models the new map names
};

// Reads map.m (in the current folder) with the checker's loaders into scratch tables,
// leaving the world in the tables, and the GL, as they were. It does not load when the
// loader refuses the map or a model cannot be built (either would end the run).
WorldFileCheck checkWorldFiles();

// Checks the files, and only when they load releases the world and loads it again,
// keeping the eye, its angles and the switches. false (the world untouched, the
// problems in `check`) when they do not.
bool reloadWorld(WorldFileCheck& check);

// Starts watching the current folder and the folders of the files the world uses; a
// message and false when inotify cannot be had. `shotPrefix`, when not empty, names the
// PNG files PREFIX-N.png written after the first frame (N = 0) and after each reload
// (N = 1, 2, ...), good or bad.
bool startWorldWatch(const std::string& shotPrefix, bool headless, std::string& error);
// Called between frames: reads the events that have arrived without waiting, and once
// the files have been quiet for a short while after a write, reloads the world.
void pollWorldWatch();
void stopWorldWatch();

// The reloads tried and the ones that loaded, since the watch started.
struct WatchCounts {
    int tried = 0;
    int loaded = 0;
};
WatchCounts watchCounts();
