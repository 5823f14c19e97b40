// Shared by the input tests: a clean input module on the fake device source, trig tables
// built, settings and messages cleared, and a scratch folder for demo files.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "input/input.h"
#include "platform/devices.h"
#include "platform/platform.h"
#include "world/settings.h"
#include "world/world.h"

namespace inputtest {

// The fake source never looks at the window; any non-null pointer stands for the
// engine's window there.
inline platform::Window* standInWindow() {
    static char window;
    return reinterpret_cast<platform::Window*>(&window);
}

inline std::vector<uint8_t> readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void writeBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// Takes every queued message; counts the quit messages with exit code 0.
inline int takeQuitMessages() {
    int quits = 0;
    platform::Message message;
    while (platform::peekMessage(message)) {
        platform::getMessage(message);
        if (message.type == platform::MessageType::quit && message.wParam == 0) ++quits;
    }
    return quits;
}

class InputTest : public ::testing::Test {
protected:
    void SetUp() override {
        resetSettings();
        platform::useFakeInputSource(true);
        resetInput();
        platform::resetMessages();
        buildTrigTables();
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = std::filesystem::temp_directory_path() /
                 ("input-test-" + std::string(info->test_suite_name()) + "-" + info->name());
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
    }

    void TearDown() override {
        resetInput();
        resetSettings();
        platform::useFakeInputSource(false);
        platform::resetMessages();
        std::filesystem::remove_all(folder);
    }

    // Live play with a focused window and both devices acquired.
    void startLive() {
        platform::setFakeFocus(true);
        ASSERT_EQ(initInput(standInWindow()), 0);
    }

    void startRecording(const std::string& name) {
        SAVEDEMO = 1;
        demoPath = (folder / name).string();
        std::string message;
        ASSERT_EQ(openDemo(message), 0) << message;
    }

    void startPlayback(const std::vector<uint8_t>& bytes) {
        writeBytes(folder / "play.dem", bytes);
        PLAYDEMO = 1;
        demoPath = (folder / "play.dem").string();
        std::string message;
        ASSERT_EQ(openDemo(message), 0) << message;
    }

    std::filesystem::path folder;
};

}  // namespace inputtest
