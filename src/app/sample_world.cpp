#include "app/sample_world.h"

#include <unistd.h>

#include <climits>
#include <string>
#include <vector>

#include "files/regular_file.h"  // Required for: findIgnoringCase

namespace {

// The folder of the running program, from /proc; empty when it cannot be read.
std::string programFolder() {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return {};
    const std::string program(path, size_t(length));
    const size_t slash = program.rfind('/');
    return slash == std::string::npos ? std::string() : program.substr(0, slash);
}

}  // namespace

bool holdsMap(const std::string& dir) {
    const std::string name = (dir.empty() ? std::string(".") : dir) + "/map.m";
    return access(name.c_str(), F_OK) == 0 || !platform::findIgnoringCase(name).empty();
}

std::string findSampleWorld() {
    const std::string here = programFolder();
    std::vector<std::string> candidates;
    if (!here.empty()) candidates.push_back(here + "/../share/" DATA_SUBDIR);
    candidates.push_back(INSTALLED_DATADIR "/" DATA_SUBDIR);
    if (here == BUILD_TREE_DIR) candidates.push_back(SOURCE_TREE_DIR "/worlds/sample");
    for (const std::string& dir : candidates) {
        if (!holdsMap(dir)) continue;
        char resolved[PATH_MAX];
        return realpath(dir.c_str(), resolved) ? std::string(resolved) : dir;
    }
    return {};
}
