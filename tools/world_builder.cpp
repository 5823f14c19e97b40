// world_builder: makes a world folder from a world description.
// Usage: world_builder [--watch] DESCRIPTION OUTPUT_DIR
// Writes game.ini, map.m, the textures and the models named in the description into
// OUTPUT_DIR; the same description always gives the same bytes. Each file is written
// beside its target and all are renamed into place at the end, so a build that fails
// leaves the previous world as it was, and an engine following the folder never reads
// half a world. With --watch it builds again on every save of the description.
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "files/regular_file.h"  // Required for: printable
#include "program_info.h"           // Required for: --help, --version
#include "worldbuild/build.h"       // Required for: buildWorld, makeWorldFiles

namespace {

std::string helpText(const std::string& name) {
    return "usage: " + name + " [--watch] DESCRIPTION OUTPUT_DIR\n"
           "Makes a world folder for portal-engine from a world description: writes game.ini,\n"
           "map.m and the textures and models the description names into OUTPUT_DIR. The same\n"
           "description always gives the same bytes; pictures it names (texture ... file PICTURE,\n"
           "from the description's folder) are converted to BMP. Problems are reported as\n"
           "FILE:LINE: message and then nothing is written; warnings (FILE:LINE: warning: ...)\n"
           "do not stop the build.\n"
           "A model may come from a file (model NAME.3ds file PATH [scale S]): a .3ds file, read as\n"
           "the engine reads it, or OBJ, glTF, STL, PLY and the other formats assimp reads,\n"
           "converted; its texture maps (BMP files beside it) are brought along.\n"
           "  --watch    build, then build again on every save of DESCRIPTION until ended (Ctrl+C);\n"
           "             every file is written beside its target and renamed onto it, and a line\n"
           "             \"built N files into OUTPUT_DIR\" follows each build\n"
           "  --help     show this text\n"
           "  --version  show the version\n";
}

void printWarnings(const std::vector<std::string>& warnings) {
    for (const std::string& warning : warnings) std::fprintf(stderr, "%s\n", platform::printable(warning).c_str());
}

// How long the description must stay quiet after a save before it is read: an editor's
// save in several steps is built once.
constexpr int quietMilliseconds = 150;

volatile sig_atomic_t stopRequested = 0;
void requestStop(int) { stopRequested = 1; }

// A build writes every file beside its target and renames them into place only once
// all are whole, so an engine following the folder never reads half a world.
void buildOnce(const std::string& description, const std::string& outputDir) {
    std::string error;
    size_t written = 0;
    std::vector<std::string> warnings;
    const bool built = worldbuild::buildWorld(description, outputDir, error, &written, &warnings);
    printWarnings(warnings);
    if (!built) {
        std::fprintf(stderr, "%s\n", platform::printable(error).c_str());
        std::fprintf(stderr, "nothing written; waiting for the next save of %s\n",
                     platform::printable(description).c_str());
        return;
    }
    std::printf("built %zu files into %s\n", written, platform::printable(outputDir).c_str());
    std::fflush(stdout);
}

// Drains the events; true when one of them names the description.
bool descriptionSaved(int fd, const std::string& name) {
    alignas(inotify_event) char buffer[4096];
    bool saved = false;
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got <= 0) return saved;
        for (ssize_t at = 0; at < got;) {
            const inotify_event* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += ssize_t(sizeof(inotify_event) + event->len);
            if ((event->mask & IN_Q_OVERFLOW) || (event->len > 0 && name == event->name)) saved = true;
        }
    }
}

int watchAndBuild(const std::string& description, const std::string& outputDir) {
    const std::filesystem::path path(description);
    const std::string folder = path.has_parent_path() ? path.parent_path().string() : ".";
    const std::string name = path.filename().string();
    const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0 || inotify_add_watch(fd, folder.c_str(), IN_CLOSE_WRITE | IN_MOVED_TO) < 0) {
        std::fprintf(stderr, "world_builder: cannot watch the folder %s: %s\n", folder.c_str(), std::strerror(errno));
        if (fd >= 0) close(fd);
        return 1;
    }
    struct sigaction stop = {};
    stop.sa_handler = requestStop;
    sigaction(SIGINT, &stop, nullptr);
    sigaction(SIGTERM, &stop, nullptr);
    buildOnce(description, outputDir);
    bool pending = false;
    while (!stopRequested) {
        pollfd waiting = {fd, POLLIN, 0};
        // Waiting for a save blocks; after one, the wait is the quiet period.
        const int ready = poll(&waiting, 1, pending ? quietMilliseconds : 500);
        if (ready > 0) {
            if (descriptionSaved(fd, name)) pending = true;
        } else if (ready == 0 && pending) {
            pending = false;
            buildOnce(description, outputDir);
        }
    }
    close(fd);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (answerInfoOption(argc, argv, helpText)) return 0;
    const bool watch = argc == 4 && std::strcmp(argv[1], "--watch") == 0;
    if (argc != 3 && !watch) {
        std::fprintf(stderr, "usage: world_builder [--watch] DESCRIPTION OUTPUT_DIR\n");
        return 2;
    }
    if (watch) return watchAndBuild(argv[2], argv[3]);
    std::string error;
    std::vector<std::string> warnings;
    const bool built = worldbuild::buildWorld(argv[1], argv[2], error, nullptr, &warnings);
    printWarnings(warnings);
    if (!built) {
        std::fprintf(stderr, "%s\n", platform::printable(error).c_str());
        return 1;
    }
    return 0;
}
