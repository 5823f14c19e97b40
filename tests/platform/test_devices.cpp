#include <gtest/gtest.h>

#include <SDL_keyboard.h>  // Required for: scancodes and their names

#include <algorithm>
#include <iterator>
#include <map>

#include "platform/devices.h"
#include "platform/platform.h"

namespace {

TEST(KeyCodes, TheEngineKeysAndTheirNeighbours) {
    const std::pair<SDL_Scancode, int> cases[] = {
        {SDL_SCANCODE_ESCAPE, 0x01}, {SDL_SCANCODE_Q, 0x10},      {SDL_SCANCODE_P, 0x19},
        {SDL_SCANCODE_S, 0x1F},      {SDL_SCANCODE_F, 0x21},      {SDL_SCANCODE_LSHIFT, 0x2A},
        {SDL_SCANCODE_UP, 0xC8},     {SDL_SCANCODE_RSHIFT, 0x36}, {SDL_SCANCODE_1, 0x02},
        {SDL_SCANCODE_0, 0x0B},      {SDL_SCANCODE_A, 0x1E},      {SDL_SCANCODE_L, 0x26},
        {SDL_SCANCODE_Z, 0x2C},      {SDL_SCANCODE_M, 0x32},      {SDL_SCANCODE_SPACE, 0x39},
        {SDL_SCANCODE_F1, 0x3B},     {SDL_SCANCODE_F10, 0x44},    {SDL_SCANCODE_F11, 0x57},
        {SDL_SCANCODE_F12, 0x58},    {SDL_SCANCODE_RETURN, 0x1C}, {SDL_SCANCODE_KP_ENTER, 0x9C},
        {SDL_SCANCODE_LCTRL, 0x1D},  {SDL_SCANCODE_RCTRL, 0x9D},  {SDL_SCANCODE_LALT, 0x38},
        {SDL_SCANCODE_RALT, 0xB8},   {SDL_SCANCODE_KP_8, 0x48},   {SDL_SCANCODE_KP_DIVIDE, 0xB5},
        {SDL_SCANCODE_DOWN, 0xD0},   {SDL_SCANCODE_LEFT, 0xCB},   {SDL_SCANCODE_RIGHT, 0xCD},
        {SDL_SCANCODE_HOME, 0xC7},   {SDL_SCANCODE_PAGEDOWN, 0xD1}, {SDL_SCANCODE_DELETE, 0xD3},
        {SDL_SCANCODE_LGUI, 0xDB},   {SDL_SCANCODE_GRAVE, 0x29},  {SDL_SCANCODE_NONUSBACKSLASH, 0x56},
    };
    for (const auto& [scancode, code] : cases) {
        EXPECT_EQ(platform::keyCodeFromScancode(scancode), code) << SDL_GetScancodeName(scancode);
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
    if (platform::inputFocus()) {
        GTEST_SKIP() << "this video driver gives a hidden window the focus";
    }
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
