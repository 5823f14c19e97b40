#include <gtest/gtest.h>

#include <SDL_keyboard.h>  // Required for: scancodes and their names

#include <algorithm>
#include <iterator>
#include <map>
#include <string>

#include "input/input.h"  // Required for: the key codes the control step reads
#include "platform/devices.h"
#include "platform/platform.h"
#include "support/gl_context.h"

namespace {

// The keys the engine acts on arrive under the codes the control step looks for.
TEST(KeyCodes, TheEngineKeysArriveUnderTheControlStepsCodes) {
    const std::pair<SDL_Scancode, int> cases[] = {
        {SDL_SCANCODE_ESCAPE, keyEscape}, {SDL_SCANCODE_UP, keyUp}, {SDL_SCANCODE_Q, keyQ},
        {SDL_SCANCODE_S, keyS},           {SDL_SCANCODE_F, keyF},   {SDL_SCANCODE_P, keyP},
        {SDL_SCANCODE_LSHIFT, keyLeftShift},
    };
    for (const auto& [scancode, code] : cases) {
        EXPECT_EQ(platform::keyCodeFromScancode(scancode), code) << SDL_GetScancodeName(scancode);
    }
}

// The code set numbers the letter keys along the keyboard's rows, left to right.
TEST(KeyCodes, LettersRunAlongTheKeyboardRows) {
    for (const char* row : {"QWERTYUIOP", "ASDFGHJKL", "ZXCVBNM"}) {
        const int first = platform::keyCodeFromScancode(SDL_GetScancodeFromName(std::string(1, row[0]).c_str()));
        for (int i = 1; row[i]; ++i) {
            const SDL_Scancode key = SDL_GetScancodeFromName(std::string(1, row[i]).c_str());
            EXPECT_EQ(platform::keyCodeFromScancode(key), first + i) << row[i];
        }
    }
}

TEST(KeyCodes, TheWholeStandardKeyboardMapsToDistinctCodes) {
    // Every key of a 105-key board: the SDL range from A to the keypad's period, the
    // non-US backslash, the menu key and the eight modifiers.
    std::map<int, int> scancodeOfCode;
    int keys = 0;
    auto check = [&](int scancode) {
        const int code = platform::keyCodeFromScancode(scancode);
        EXPECT_GT(code, 0) << SDL_GetScancodeName(SDL_Scancode(scancode));
        const auto [it, fresh] = scancodeOfCode.emplace(code, scancode);
        EXPECT_TRUE(fresh) << SDL_GetScancodeName(SDL_Scancode(scancode)) << " and "
                           << SDL_GetScancodeName(SDL_Scancode(it->second)) << " share code "
                           << code;
        ++keys;
    };
    for (int scancode = SDL_SCANCODE_A; scancode <= SDL_SCANCODE_KP_PERIOD; ++scancode) {
        if (scancode == SDL_SCANCODE_NONUSHASH) continue;  // the same key as backslash
        check(scancode);
    }
    check(SDL_SCANCODE_NONUSBACKSLASH);
    check(SDL_SCANCODE_APPLICATION);
    for (int scancode = SDL_SCANCODE_LCTRL; scancode <= SDL_SCANCODE_RGUI; ++scancode) check(scancode);
    EXPECT_EQ(keys, 105);
}

TEST(KeyCodes, UnknownScancodesHaveNoCode) {
    EXPECT_EQ(platform::keyCodeFromScancode(SDL_SCANCODE_UNKNOWN), 0);
    EXPECT_EQ(platform::keyCodeFromScancode(-1), 0);
    EXPECT_EQ(platform::keyCodeFromScancode(SDL_NUM_SCANCODES), 0);
    EXPECT_EQ(platform::keyCodeFromScancode(1 << 30), 0);
}

}  // namespace

namespace {

intptr_t quietProc(platform::Window* window, platform::MessageType type, intptr_t wParam) {
    return platform::defaultWindowProc(window, type, wParam);
}

// The SDL source on the offscreen driver: a window that is never in the foreground.
TEST(RealDevices, AWindowWithoutTheFocusCannotBeRead) {
    SKIP_IF_GL_UNAVAILABLE_AND_ASKED();
    platform::useFakeInputSource(false);
    ASSERT_TRUE(platform::startVideo(true));
    ASSERT_TRUE(platform::registerWindowClass("Device Test", quietProc, nullptr));
    platform::Window* window =
        platform::createWindow("Device Test", "devices", platform::WindowStyle::overlapped, 64, 48);
    ASSERT_NE(window, nullptr);
    platform::showWindow(window);

    EXPECT_FALSE(platform::createInputDevice(platform::InputDevice::keyboard, nullptr));
    ASSERT_TRUE(platform::createInputDevice(platform::InputDevice::keyboard, window));
    ASSERT_TRUE(platform::createInputDevice(platform::InputDevice::mouse, window));
    // Headless means the offscreen driver, which never gives a window the focus.
    ASSERT_FALSE(platform::inputFocus());
    EXPECT_EQ(platform::acquireInputDevice(platform::InputDevice::keyboard),
              platform::DeviceStatus::failed);
    EXPECT_EQ(platform::acquireInputDevice(platform::InputDevice::mouse),
              platform::DeviceStatus::failed);
    EXPECT_FALSE(platform::mouseCaptured());

    uint8_t state[256];
    std::fill(std::begin(state), std::end(state), 0xAA);
    int32_t deltaX = 7, deltaY = 7;
    EXPECT_EQ(platform::readKeyboardDevice(state), platform::DeviceStatus::notAcquired);
    EXPECT_EQ(platform::readMouseDevice(deltaX, deltaY), platform::DeviceStatus::notAcquired);
    EXPECT_EQ(state[0], 0xAA);  // untouched on failure; the engine side decides what to keep
    EXPECT_EQ(deltaX, 7);

    platform::releaseInputDevice(platform::InputDevice::keyboard);
    platform::releaseInputDevice(platform::InputDevice::mouse);
    EXPECT_FALSE(platform::inputDeviceExists(platform::InputDevice::keyboard));
    platform::destroyWindow(window);
    platform::resetMessages();
    platform::stopVideo();
}

}  // namespace
