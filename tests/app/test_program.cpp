// The programs as started from the build tree: with no world named, the engine falls back
// on the source tree's sample world; every program tells its version and its usage.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <climits>
#include <string>

#include "app/version.h"
#include "support/child_process.h"
#include "support/gl_context.h"

namespace {

TEST(Program, WithNoWorldHereOpensTheSampleWorldAndSaysSoFirst) {
    SKIP_IF_GL_UNAVAILABLE_AND_ASKED();
    std::string pattern = testing::TempDir() + "empty_XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    char sample[PATH_MAX];
    ASSERT_NE(realpath(SOURCE_DIR "/worlds/sample", sample), nullptr);
    std::string output;
    EXPECT_EQ(runCommand("cd " + pattern + " && " + ENGINE_BINARY + " --headless --frames 3 2>&1", output), 0) << output;
    EXPECT_EQ(output.substr(0, output.find('\n')), "No map.m in this folder: opening the sample world " + std::string(sample));
    EXPECT_NE(output.find("frames 3 camera"), std::string::npos) << output;
}

TEST(Program, EveryProgramTellsItsVersionAndUsage) {
    const std::string build = BUILD_DIR;
    const struct {
        std::string program, name, usage;
    } programs[] = {
        {ENGINE_BINARY, "portal-engine", "usage: portal-engine [--headless]"},
        {build + "/world_builder", "world_builder", "usage: world_builder [--watch] DESCRIPTION OUTPUT_DIR"},
        {build + "/record_demo", "record_demo", "usage: record_demo SCRIPT WORLD_DIR DEMO_FILE"},
    };
    for (const auto& p : programs) {
        SCOPED_TRACE(p.name);
        std::string output;
        EXPECT_EQ(runCommand(p.program + " --version 2>&1", output), 0);
        EXPECT_EQ(output, p.name + " " + engineVersion + "\n");
        EXPECT_EQ(runCommand(p.program + " --help 2>&1", output), 0);
        EXPECT_EQ(output.rfind(p.usage, 0), 0u) << output;
        EXPECT_NE(output.find("--version"), std::string::npos) << output;
    }
}

}  // namespace
