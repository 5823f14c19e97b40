#include "app/check.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "app/config.h"       // Required for: readEngineConfig
#include "input/input.h"      // Required for: the demo checks
#include "files/regular_file.h"  // Required for: printable
#include "render/render.h"    // Required for: maxStencilPortals
#include "world/check.h"
#include "world/model_facts.h"  // Required for: readModelFacts, describeModel
#include "world/settings.h"   // Required for: PLAYDEMO
#include "world/world.h"

namespace {

// The loader's message without the "FILE: line N: " it starts with, which the report's
// own prefix repeats.
std::string withoutPlace(const std::string& error, const char* fileName, int32_t line) {
    const std::string place = std::string(fileName) + ": line " + std::to_string(line) + ": ";
    return error.compare(0, place.size(), place) == 0 ? error.substr(place.size()) : error;
}

// game.ini's own warnings go to standard error as at start-up; what would stop the
// engine from starting is an error here.
std::vector<WorldProblem> checkSettings() {
    std::vector<WorldProblem> problems;
    readEngineConfig("game.ini");
    std::string message;
    if (checkDemoSettings(message) != 0) {
        problems.push_back({0, Severity::error, message});
    } else if (!worldRecordingRefusal().empty()) {
        problems.push_back({0, Severity::error, worldRecordingRefusal()});
    } else if (PLAYDEMO == 1) {
        // Opening for playback reads only; a demo to be recorded is not touched.
        if (openDemo(message) != 0) problems.push_back({0, Severity::error, message});
        closeDemo();
    }
    return problems;
}

std::vector<WorldProblem> checkMap(const char* mapFile) {
    resetWorld();
    MapLines lines;
    AssetFailures failures;
    std::string error;
    if (!loadMap(mapFile, checkingResolvers(failures), error, &lines)) {
        return {{lines.refusedLine, Severity::error, withoutPlace(error, mapFile, lines.refusedLine)}};
    }
    CheckSettings settings;
    settings.startX = startX;
    settings.startZ = startZ;
    settings.maxStencilPortals = maxStencilPortals;
    settings.eyeHeight = startY;
    settings.collisionMargin = collisionMargin;
    std::vector<WorldProblem> problems = checkWorld(lines, settings);
    const std::vector<WorldProblem> assets = assetProblems(failures, lines);
    problems.insert(problems.end(), assets.begin(), assets.end());
    sortProblems(problems);
    resetWorld();
    return problems;
}

std::string plural(int count, const char* word) {
    return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
}

}  // namespace

int runWorldCheck(const std::string& worldDir, std::FILE* out) {
    std::string prefix;
    if (!worldDir.empty()) {
        if (chdir(worldDir.c_str()) != 0) {
            std::fprintf(out, "%s: error: cannot enter the world folder: %s\n1 error, 0 warnings\n",
                         platform::printable(worldDir).c_str(), std::strerror(errno));
            return 1;
        }
        prefix = worldDir.back() == '/' ? worldDir : worldDir + "/";
    }
    int errors = 0, warnings = 0;
    const auto report = [&](const std::string& fileName, const std::vector<WorldProblem>& problems) {
        for (const WorldProblem& problem : problems) {
            (problem.severity == Severity::error ? errors : warnings) += 1;
            std::fprintf(out, "%s\n", platform::printable(formatProblem(prefix + fileName, problem)).c_str());
        }
    };
    report("game.ini", checkSettings());
    report("map.m", checkMap("map.m"));
    std::fprintf(out, "%s, %s\n", plural(errors, "error").c_str(), plural(warnings, "warning").c_str());
    return errors == 0 ? 0 : 1;
}

int printModelInfo(const std::string& fileName, std::FILE* out) {
    ModelFacts facts;
    std::string error;
    if (!readModelFacts(fileName.c_str(), facts, error)) {
        std::fprintf(stderr, "portal-engine: cannot read the model %s: %s\n", platform::printable(fileName).c_str(),
                     platform::printable(error).c_str());
        return 1;
    }
    std::fputs(platform::printable(describeModel(fileName, facts), true).c_str(), out);
    return 0;
}
