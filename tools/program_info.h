// --help and --version for the tools, named as they were started (world_builder in the
// build tree, portal-world-builder once installed), so the manual pages made from this
// text carry the installed names.
#pragma once

#include <cstdio>
#include <cstring>
#include <string>

#include "app/version.h"  // Required for: engineVersion

// The program's name: the last part of argv[0].
inline std::string programName(const char* argv0) {
    const char* slash = std::strrchr(argv0, '/');
    return slash ? slash + 1 : argv0;
}

// True when the only argument is --help or --version, after printing the help text
// (which the caller makes for the program's name) or the version on standard output.
template <typename HelpText>
bool answerInfoOption(int argc, char** argv, HelpText helpText) {
    if (argc != 2) return false;
    const std::string name = programName(argv[0]);
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        std::fputs(helpText(name).c_str(), stdout);
        return true;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("%s %s\n", name.c_str(), engineVersion);
        return true;
    }
    return false;
}
