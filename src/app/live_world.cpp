#include "app/live_world.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <set>
#include <strings.h>  // Required for: strcasecmp
#include <thread>

#include "platform/platform.h"  // Required for: milliseconds, showErrorBox
#include "render/render.h"      // Required for: overlayLines, betweenFrames, writeScreenshot
#include "world/check.h"        // Required for: checkingResolvers, assetProblems
#include "world/init.h"         // Required for: initWorld, releaseWorld
#include "world/map.h"          // Required for: loadMap
#include "world/world.h"

namespace {

// How long the files must stay quiet after a write before the world is read: an editor
// that saves in steps (write, rename, touch a backup) is read once, after its last step.
constexpr uint32_t quietMilliseconds = 150;

// A headless watch has no display to pace it; it draws at most about this often.
constexpr auto headlessFramePause = std::chrono::milliseconds(10);

// The world tables, moved out while the files on disk are read into the tables for a check.
struct WorldTables {
    std::vector<Cell> cells;
    int32_t cellCount = 0;
    std::vector<WallPolygon> polygons;
    int32_t polygonCount = 0;
    std::vector<PlacedObject> objects;
    int32_t objectCount = 0;
    std::vector<ModelEntry> models;
    int32_t modelCount = 0;
    std::vector<TextureEntry> textures;
    std::vector<uint32_t> textureNames;
    int32_t textureCount = 0;
    int32_t lastModelTexture = 0;
};

WorldTables takeWorldTables() {
    WorldTables kept;
    kept.cells.assign(std::begin(cells), std::end(cells));
    kept.cellCount = cellCount;
    kept.polygons.swap(wallPolygons);
    kept.polygonCount = polygonCount;
    kept.objects.assign(std::begin(placedObjects), std::end(placedObjects));
    kept.objectCount = placedObjectCount;
    kept.models.assign(std::begin(models), std::end(models));
    kept.modelCount = modelCount;
    kept.textures.reserve(maxTextures);
    for (TextureEntry& entry : textures) kept.textures.push_back(std::move(entry));
    kept.textureNames.assign(std::begin(textureNames), std::end(textureNames));
    kept.textureCount = textureCount;
    kept.lastModelTexture = lastModelTexture;
    resetWorld();
    return kept;
}

// Puts the tables back as they were taken; what was derived from them is built again.
void putBackWorldTables(WorldTables& kept) {
    resetWorld();
    std::copy(kept.cells.begin(), kept.cells.end(), cells);
    cellCount = kept.cellCount;
    wallPolygons.swap(kept.polygons);
    polygonCount = kept.polygonCount;
    std::copy(kept.objects.begin(), kept.objects.end(), placedObjects);
    placedObjectCount = kept.objectCount;
    std::copy(kept.models.begin(), kept.models.end(), models);
    modelCount = kept.modelCount;
    for (size_t i = 0; i < kept.textures.size(); ++i) textures[i] = std::move(kept.textures[i]);
    std::copy(kept.textureNames.begin(), kept.textureNames.end(), textureNames);
    textureCount = kept.textureCount;
    lastModelTexture = kept.lastModelTexture;
    buildObjectIndex();
}

// The texture and model files the tables name.
std::vector<std::string> filesInTables() {
    std::vector<std::string> files;
    for (int32_t i = 0; i < textureCount; ++i) files.emplace_back(textures[i].fileName);
    for (int32_t i = 0; i < modelCount; ++i) files.emplace_back(models[i].name);
    return files;
}

// The loader's message without the "map.m: line N: " it starts with, which the
// problem's own prefix repeats.
std::string withoutPlace(const std::string& error, const char* fileName, int32_t line) {
    const std::string place = std::string(fileName) + ": line " + std::to_string(line) + ": ";
    return error.compare(0, place.size(), place) == 0 ? error.substr(place.size()) : error;
}

}  // namespace

WorldFileCheck checkWorldFiles() {
    WorldTables live = takeWorldTables();
    WorldFileCheck check;
    MapLines lines;
    AssetFailures failures;
    std::string error;
    const char* mapFile = "map.m";
    std::vector<WorldProblem> problems;
    if (!loadMap(mapFile, checkingResolvers(failures), error, &lines)) {
        problems.push_back({lines.refusedLine, Severity::error, withoutPlace(error, mapFile, lines.refusedLine)});
    } else {
        check.usedFiles = filesInTables();
        // A model the builder cannot read would end the run; a texture that does not
        // load is drawn as the placeholder, as at start-up.
        check.loads = failures.models.empty();
        for (const WorldProblem& problem : assetProblems(failures, lines))
            if (problem.severity == Severity::error) problems.push_back(problem);
        sortProblems(problems);
    }
    for (const WorldProblem& problem : problems) check.problems.push_back(formatProblem(mapFile, problem));
    putBackWorldTables(live);
    return check;
}

bool reloadWorld(WorldFileCheck& check) {
    check = checkWorldFiles();
    if (!check.loads) return false;
    // initWorld leaves the camera alone, so the eye stays where the player stood.
    releaseWorld();
    resetWorld();
    std::string message;
    const int status = initWorld(message);
    if (status != 0) platform::showErrorBox(message);
    if (status != 0) {
        // The files changed again between the check and the load: the tables are empty
        // until the next save.
        check.loads = false;
        check.problems.push_back("map.m: error: changed while it was read; save it again");
    }
    return check.loads;
}

// --- The watch ---------------------------------------------------------------------------

namespace {

struct Watch {
    int fd = -1;
    std::set<std::string> folders;       // watched, "" for the world folder
    std::vector<std::pair<int, std::string>> folderOf;  // watch descriptor -> folder
    std::vector<std::string> files;      // paths (from the world folder) that cause a reload
    bool pending = false;                // a write arrived; waiting for quiet
    uint32_t lastEvent = 0;
    std::string shotPrefix;
    int shotNumber = 0;
    int32_t shotAfterFrame = -1;         // the frame whose picture is the next shot
    bool headless = false;
    WatchCounts counts;
};
Watch watch;

std::string folderOfFile(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

void watchFolder(const std::string& folder) {
    if (!watch.folders.insert(folder).second) return;
    const std::string path = folder.empty() ? "." : folder;
    const int wd = inotify_add_watch(watch.fd, path.c_str(), IN_CLOSE_WRITE | IN_MOVED_TO);
    if (wd < 0) {
        std::fprintf(stderr, "--watch: cannot watch the folder %s: %s\n", path.c_str(), std::strerror(errno));
        return;
    }
    watch.folderOf.emplace_back(wd, folder);
}

// game.ini, map.m and every file either world names (the one on screen, and the one
// last tried), with their folders watched.
void followFiles(const std::vector<std::string>& used) {
    watch.files = {"game.ini", "map.m"};
    const std::vector<std::string> shown = filesInTables();
    watch.files.insert(watch.files.end(), shown.begin(), shown.end());
    watch.files.insert(watch.files.end(), used.begin(), used.end());
    for (const std::string& file : watch.files) watchFolder(folderOfFile(file));
}

// The bitmap and model names are matched without regard to case, as the loaders find them.
bool followed(const std::string& path) {
    return std::any_of(watch.files.begin(), watch.files.end(),
                       [&](const std::string& file) { return strcasecmp(file.c_str(), path.c_str()) == 0; });
}

std::string folderOfWatch(int wd) {
    for (const auto& entry : watch.folderOf)
        if (entry.first == wd) return entry.second;
    return std::string();
}

// Drains the events that have arrived; true when one of them names a followed file.
bool readEvents() {
    alignas(inotify_event) char buffer[4096];
    bool relevant = false;
    for (;;) {
        const ssize_t got = read(watch.fd, buffer, sizeof buffer);
        if (got <= 0) break;
        for (ssize_t at = 0; at < got;) {
            const inotify_event* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += ssize_t(sizeof(inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW) {
                relevant = true;  // events were lost: read the world again to be sure
                continue;
            }
            if (event->len == 0) continue;
            const std::string folder = folderOfWatch(event->wd);
            const std::string path = folder.empty() ? std::string(event->name) : folder + "/" + event->name;
            if (followed(path)) relevant = true;
        }
    }
    return relevant;
}

void takeShot() {
    const std::string path = watch.shotPrefix + "-" + std::to_string(watch.shotNumber++) + ".png";
    // Written beside and renamed, so a reader never finds half a picture.
    const std::string partial = path + ".part.png";
    if (writeScreenshot(partial) && std::rename(partial.c_str(), path.c_str()) != 0)
        std::fprintf(stderr, "Cannot write the screenshot %s\n", path.c_str());
}

void reloadNow() {
    WorldFileCheck check;
    ++watch.counts.tried;
    if (reloadWorld(check)) {
        ++watch.counts.loaded;
        overlayLines.clear();
        std::fprintf(stderr, "--watch: the world was loaded again\n");
    } else {
        overlayLines = check.problems;
        std::fprintf(stderr, "--watch: the world on disk does not load; the last one that did stays:\n");
        for (const std::string& line : check.problems) std::fprintf(stderr, "%s\n", line.c_str());
    }
    followFiles(check.usedFiles);
    if (!watch.shotPrefix.empty()) watch.shotAfterFrame = framesDrawn;
}

}  // namespace

bool startWorldWatch(const std::string& shotPrefix, bool headless, std::string& error) {
    watch = Watch{};
    watch.fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch.fd < 0) {
        error = std::string("--watch: no file watch can be had: ") + std::strerror(errno);
        return false;
    }
    watch.shotPrefix = shotPrefix;
    watch.headless = headless;
    followFiles({});
    if (!shotPrefix.empty()) {
        keepLastFrame = true;
        watch.shotAfterFrame = framesDrawn;
    }
    betweenFrames = pollWorldWatch;
    return true;
}

void pollWorldWatch() {
    if (watch.fd < 0) return;
    // The frame after the reload (or the start) has been drawn and kept: it is the shot.
    if (watch.shotAfterFrame >= 0 && framesDrawn > watch.shotAfterFrame) {
        watch.shotAfterFrame = -1;
        takeShot();
    }
    if (readEvents()) {
        watch.pending = true;
        watch.lastEvent = platform::milliseconds();
    }
    if (watch.pending && platform::milliseconds() - watch.lastEvent >= quietMilliseconds) {
        watch.pending = false;
        reloadNow();
    }
    if (watch.headless) std::this_thread::sleep_for(headlessFramePause);
}

void stopWorldWatch() {
    if (watch.fd >= 0) close(watch.fd);
    watch = Watch{};
    betweenFrames = nullptr;
}

WatchCounts watchCounts() { return watch.counts; }
