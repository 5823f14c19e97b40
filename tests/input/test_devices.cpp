#include <algorithm>

#include "input_fixture.h"

namespace {

using inputtest::InputTest;
using platform::InputDevice;

class Devices : public InputTest {
protected:
    static bool noKeysDown() {
        return std::all_of(std::begin(keyState), std::end(keyState), [](uint8_t v) { return v == 0; });
    }
};

TEST_F(Devices, ActivationBeforeTheDevicesExistDoesNothing) {
    platform::setFakeFocus(true);
    EXPECT_EQ(acquireInput(), inputFailure);
    platform::setFakeKey(keyUp, true);
    readKeyboard();
    readMouse();
    EXPECT_TRUE(noKeysDown());
}

TEST_F(Devices, NoWindowNoDevices) {
    EXPECT_EQ(initInput(nullptr), inputFailure);
    EXPECT_FALSE(platform::inputDeviceExists(InputDevice::keyboard));
    EXPECT_FALSE(platform::inputDeviceExists(InputDevice::mouse));
}

TEST_F(Devices, AKeyboardWithoutAMouseStillWorks) {
    platform::setFakeDeviceMissing(InputDevice::mouse, true);
    platform::setFakeFocus(true);
    EXPECT_EQ(initInput(inputtest::standInWindow()), inputFailure);
    platform::setFakeKey(keyUp, true);
    platform::addFakeMouseMotion(10, 10);
    controlStep();
    EXPECT_EQ(keyState[keyUp], 0x80);
    EXPECT_EQ(mouseDeltaX, 0);
    EXPECT_EQ(camera.yaw, 0);
    EXPECT_NEAR(camera.posZ, 15.1f, 1e-6f);
    EXPECT_EQ(acquireInput(), 0);
}

TEST_F(Devices, ReadsGiveKeysAndMotionSinceThePreviousRead) {
    startLive();
    EXPECT_TRUE(platform::mouseCaptured());
    platform::setFakeKey(keyEscape, true);
    platform::setFakeKey(0x2D, true);  // X, a key the engine does not test
    platform::addFakeMouseMotion(3, -2);
    platform::addFakeMouseMotion(4, 1);
    readKeyboard();
    readMouse();
    EXPECT_EQ(keyState[keyEscape], 0x80);
    EXPECT_EQ(keyState[0x2D], 0x80);
    EXPECT_EQ(keyState[keyUp], 0);
    EXPECT_EQ(mouseDeltaX, 7);
    EXPECT_EQ(mouseDeltaY, -1);
    readMouse();  // nothing moved since
    EXPECT_EQ(mouseDeltaX, 0);
    EXPECT_EQ(mouseDeltaY, 0);
}

TEST_F(Devices, AFailedReadClearsKeysAndMotion) {
    startLive();
    platform::setFakeKey(keyUp, true);
    platform::setFakeKey(keyP, true);
    platform::addFakeMouseMotion(5, 5);
    controlStep();
    ASSERT_EQ(keyState[keyUp], 0x80);
    ASSERT_EQ(mouseDeltaX, 5);
    const CameraState before = camera;

    platform::setFakeFocus(false);  // the window goes to the background, keys held
    for (int frame = 0; frame < 3; ++frame) {
        platform::addFakeMouseMotion(5, 5);
        stencilPortals = 1;
        controlStep();
        EXPECT_TRUE(noKeysDown());
        EXPECT_EQ(mouseDeltaX, 0);
        EXPECT_EQ(mouseDeltaY, 0);
        EXPECT_EQ(camera.yaw, before.yaw);      // no spinning on the last motion
        EXPECT_EQ(camera.pitch, before.pitch);
        EXPECT_EQ(camera.posZ, before.posZ);    // no walking on the last keys
        EXPECT_EQ(stencilPortals, 1);
    }
    EXPECT_FALSE(platform::mouseCaptured());
}

TEST_F(Devices, ForegroundRulesAcrossAFocusChange) {
    startLive();
    platform::setFakeKey(keyUp, true);
    platform::addFakeMouseMotion(3, 0);
    readKeyboard();
    readMouse();
    ASSERT_EQ(mouseDeltaX, 3);

    // Focus lost and back between two reads: the devices were taken, so the keyboard
    // read fails (and takes the keyboard back for the next one); the mouse read takes
    // the mouse back and reads again in the same call: a fresh reading, not the stale 3.
    platform::setFakeFocus(false);
    platform::setFakeFocus(true);
    readKeyboard();
    readMouse();
    EXPECT_TRUE(noKeysDown());
    EXPECT_EQ(mouseDeltaX, 0);
    EXPECT_TRUE(platform::mouseCaptured());
    platform::addFakeMouseMotion(9, 0);
    readKeyboard();
    readMouse();
    EXPECT_EQ(keyState[keyUp], 0x80);
    EXPECT_EQ(mouseDeltaX, 9);

    // Lost while in the background: taking back fails, and later reads fail until the
    // window procedure acquires again on activation.
    platform::setFakeFocus(false);
    readKeyboard();
    readMouse();
    platform::setFakeFocus(true);
    platform::addFakeMouseMotion(9, 0);
    readKeyboard();
    readMouse();
    EXPECT_TRUE(noKeysDown());
    EXPECT_EQ(mouseDeltaX, 0);
    EXPECT_FALSE(platform::mouseCaptured());
    EXPECT_EQ(acquireInput(), 0);
    platform::addFakeMouseMotion(-6, 2);  // motion from before the acquisition was dropped
    readKeyboard();
    readMouse();
    EXPECT_EQ(keyState[keyUp], 0x80);
    EXPECT_EQ(mouseDeltaX, -6);
    EXPECT_EQ(mouseDeltaY, 2);
}

TEST_F(Devices, ActivationInTheBackgroundIsNotAFailure) {
    startLive();
    platform::setFakeFocus(false);
    EXPECT_EQ(acquireInput(), 0);
    EXPECT_FALSE(platform::mouseCaptured());
}

TEST_F(Devices, ReleaseFreesBothDevices) {
    startLive();
    releaseInput();
    EXPECT_FALSE(platform::inputDeviceExists(InputDevice::keyboard));
    EXPECT_FALSE(platform::inputDeviceExists(InputDevice::mouse));
    EXPECT_FALSE(platform::mouseCaptured());
    EXPECT_EQ(acquireInput(), inputFailure);
    releaseInput();  // twice is harmless
}

TEST_F(Devices, TheRealSourceNeedsVideo) {
    platform::useFakeInputSource(false);
    char window;
    EXPECT_EQ(initInput(reinterpret_cast<platform::Window*>(&window)), inputFailure);
    EXPECT_FALSE(platform::inputDeviceExists(InputDevice::keyboard));
}

}  // namespace
