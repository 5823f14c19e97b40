// world_builder: makes a world folder from a world description.
// Usage: world_builder [--watch] DESCRIPTION OUTPUT_DIR
// Writes game.ini, map.m, the textures and the models named in the description into
// OUTPUT_DIR; the same description always gives the same bytes. With --watch it builds
// again on every save of the description, each file written beside its target and
// renamed onto it, so that an engine following the folder never reads half a world.
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "program_info.h"       // Required for: --help, --version
#include "worldbuild/build.h"  // Required for: buildWorld, makeWorldFiles

namespace {

std::string helpText(const std::string& name) {
    return "usage: " + name + " [--watch] DESCRIPTION OUTPUT_DIR\n"
           "Makes a world folder for portal-engine from a world description: writes game.ini,\n"
           "map.m and the textures and models the description names into OUTPUT_DIR. The same\n"
           "description always gives the same bytes. Problems are reported as FILE:LINE: message\n"
           "and then nothing is written.\n"
           "  --watch    build, then build again on every save of DESCRIPTION until ended (Ctrl+C);\n"
           "             every file is written beside its target and renamed onto it, and a line\n"
           "             \"built N files into OUTPUT_DIR\" follows each build\n"
           "  --help     show this text\n"
           "  --version  show the version\n";
}

// How long the description must stay quiet after a save before it is read: an editor's
// save in several steps is built once.
constexpr int quietMilliseconds = 150;

volatile sig_atomic_t stopRequested = 0;
void requestStop(int) { stopRequested = 1; }

bool readText(const std::string& path, std::string& text, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    text = bytes.str();
    return true;
}

bool writeBeside(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

// Every file is written beside its target first; only when all are whole are they
// renamed into place, one after the other. Nothing is written for a description with
// errors.
bool buildByRename(const std::string& description, const std::string& outputDir, std::string& error) {
    std::string text;
    worldbuild::WorldDecl world;
    worldbuild::WorldFiles files;
    if (!readText(description, text, error) || !worldbuild::parseDescription(description, text, world, error) ||
        !worldbuild::makeWorldFiles(world, files, error))
        return false;
    std::error_code code;
    std::filesystem::create_directories(outputDir, code);
    const auto partName = [&](const std::string& name) { return outputDir + "/." + name + ".part"; };
    for (const auto& [name, content] : files) {
        if (!writeBeside(partName(name), content)) {
            error = "cannot write " + partName(name) + ": " + std::strerror(errno);
            for (const auto& written : files) std::remove(partName(written.first).c_str());
            return false;
        }
    }
    for (const auto& [name, content] : files) {
        const std::string path = outputDir + "/" + name;
        if (std::rename(partName(name).c_str(), path.c_str()) != 0) {
            error = "cannot write " + path + ": " + std::strerror(errno);
            return false;
        }
    }
    std::printf("built %zu files into %s\n", files.size(), outputDir.c_str());
    std::fflush(stdout);
    return true;
}

void buildOnce(const std::string& description, const std::string& outputDir) {
    std::string error;
    if (!buildByRename(description, outputDir, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        std::fprintf(stderr, "nothing written; waiting for the next save of %s\n", description.c_str());
    }
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
    if (!worldbuild::buildWorld(argv[1], argv[2], error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    return 0;
}
