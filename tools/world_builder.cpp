// world_builder: makes a world folder from a world description.
// Usage: world_builder DESCRIPTION OUTPUT_DIR
// Writes game.ini, map.m, the textures and the models named in the description into
// OUTPUT_DIR; the same description always gives the same bytes. Each file is written
// beside its target and all are renamed into place at the end, so a build that fails
// leaves the previous world as it was.
#include <cstdio>
#include <string>

#include "platform/regular_file.h"  // Required for: printable
#include "program_info.h"           // Required for: --help, --version
#include "worldbuild/build.h"  // Required for: buildWorld

namespace {

std::string helpText(const std::string& name) {
    return "usage: " + name + " DESCRIPTION OUTPUT_DIR\n"
           "Makes a world folder for portal-engine from a world description: writes game.ini,\n"
           "map.m and the textures and models the description names into OUTPUT_DIR. The same\n"
           "description always gives the same bytes. Problems are reported as FILE:LINE: message\n"
           "and then nothing is written.\n"
           "  --help     show this text\n"
           "  --version  show the version\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (answerInfoOption(argc, argv, helpText)) return 0;
    if (argc != 3) {
        std::fprintf(stderr, "usage: world_builder DESCRIPTION OUTPUT_DIR\n");
        return 2;
    }
    std::string error;
    if (!worldbuild::buildWorld(argv[1], argv[2], error)) {
        std::fprintf(stderr, "%s\n", platform::printable(error).c_str());
        return 1;
    }
    return 0;
}
