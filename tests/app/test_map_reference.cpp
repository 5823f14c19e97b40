// The hand-writing reference for map.m: its complete example, as printed, passes the
// engine's own checker with neither error nor warning.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "assets/bmp_writer.h"
#include "support/child_process.h"
#include "assets/model_writer.h"

namespace {

// The first block fenced as ```map in the page.
std::string exampleMap(const std::string& page) {
    const std::string open = "```map\n";
    const size_t start = page.find(open);
    if (start == std::string::npos) return {};
    const size_t end = page.find("\n```", start + open.size());
    if (end == std::string::npos) return {};
    return page.substr(start + open.size(), end - start - open.size() + 1);
}

TEST(MapReference, TheCompleteExamplePassesTheChecker) {
    std::ifstream in(std::string(SOURCE_DIR) + "/docs/map-format.md");
    ASSERT_TRUE(in) << "no docs/map-format.md";
    std::ostringstream page;
    page << in.rdbuf();
    const std::string map = exampleMap(page.str());
    ASSERT_FALSE(map.empty()) << "no ```map block in docs/map-format.md";

    std::string dir = testing::TempDir() + "map_reference_XXXXXX";
    ASSERT_NE(mkdtemp(dir.data()), nullptr);
    std::ofstream(dir + "/map.m") << map;
    BmpLayout wall;
    wall.pixels = padRows({{10, 20, 30}});
    ASSERT_TRUE(writeBytes(dir + "/wall.bmp", makeBmp(wall)));
    ASSERT_TRUE(modelwriter::writeScene(dir + "/crate.3ds", {{"paint", "wall.bmp"}},
                                        {modelwriter::box("crate", "paint", 1, 1, 1)}));

    std::string output;
    const int status = runCommand(std::string(ENGINE_BINARY) + " --check " + dir + " 2>&1", output);
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("0 errors, 0 warnings"), std::string::npos) << output;
    // The checker does read the example: a map cut short is reported.
    std::ofstream(dir + "/map.m") << map.substr(0, map.find("99900 -27"));
    runCommand(std::string(ENGINE_BINARY) + " --check " + dir + " 2>&1", output);
    EXPECT_EQ(output.find("0 errors, 0 warnings"), std::string::npos) << output;
    std::system(("rm -rf " + dir).c_str());
}

}  // namespace
