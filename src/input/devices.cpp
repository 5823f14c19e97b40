// The live keyboard and mouse: created at start-up in live play, acquired on each window
// activation, read once per control step, released at shutdown.
#include <cstring>

#include "input/input.h"
#include "platform/devices.h"  // Required for: the keyboard and mouse of the window

using platform::DeviceStatus;
using platform::InputDevice;

// Written by readKeyboard and readMouse each control step; zero at program start and
// after resetInput.
uint8_t keyState[256] = {};
int32_t mouseDeltaX = 0;
int32_t mouseDeltaY = 0;

namespace {

// Whether the release must unacquire the keyboard. Set by every acquisition attempt
// that found a keyboard, cleared by the release.
bool keyboardAcquired = false;

void clearKeyState() { std::memset(keyState, 0, sizeof keyState); }

}  // namespace

int32_t initInput(platform::Window* window) {
    if (!platform::createInputDevice(InputDevice::keyboard, window)) return inputFailure;
    keyboardAcquired =
        platform::acquireInputDevice(InputDevice::keyboard) == DeviceStatus::ok;
    if (!platform::createInputDevice(InputDevice::mouse, window)) return inputFailure;
    platform::acquireInputDevice(InputDevice::mouse);  // a refusal only makes reads fail
    return 0;
}

void readKeyboard() {
    if (!platform::inputDeviceExists(InputDevice::keyboard)) return;  // stays all zero
    const DeviceStatus status = platform::readKeyboardDevice(keyState);
    if (status == DeviceStatus::ok) return;
    if (status == DeviceStatus::inputLost) {
        keyboardAcquired =
            platform::acquireInputDevice(InputDevice::keyboard) == DeviceStatus::ok;
    }
    // Keys last seen down must not stay down while nothing can be read: a held Up arrow
    // would walk on and a held switch key would keep its switch set.
    clearKeyState();
}

void readMouse() {
    if (!platform::inputDeviceExists(InputDevice::mouse)) return;
    int32_t deltaX = 0, deltaY = 0;
    DeviceStatus status = platform::readMouseDevice(deltaX, deltaY);
    if (status == DeviceStatus::inputLost &&
        platform::acquireInputDevice(InputDevice::mouse) == DeviceStatus::ok) {
        status = platform::readMouseDevice(deltaX, deltaY);
    }
    if (status != DeviceStatus::ok) {
        // The last motion would otherwise be applied again every frame and the camera
        // would spin while the window is in the background.
        mouseDeltaX = mouseDeltaY = 0;
        return;
    }
    mouseDeltaX = deltaX;
    mouseDeltaY = deltaY;
}

int32_t acquireInput() {
    keyboardAcquired = false;
    if (!platform::inputDeviceExists(InputDevice::keyboard)) return inputFailure;
    // The outcomes are not needed: in the background they fail and the reads fail too.
    platform::acquireInputDevice(InputDevice::keyboard);
    keyboardAcquired = true;
    if (platform::inputDeviceExists(InputDevice::mouse)) {
        platform::acquireInputDevice(InputDevice::mouse);
    }
    return 0;
}

void releaseInput() {
    if (keyboardAcquired) {
        platform::unacquireInputDevice(InputDevice::keyboard);
        keyboardAcquired = false;
    }
    platform::releaseInputDevice(InputDevice::keyboard);
    platform::releaseInputDevice(InputDevice::mouse);
}

// Part of resetInput: the device half.
void resetDevices() {
    releaseInput();
    clearKeyState();
    mouseDeltaX = mouseDeltaY = 0;
}
