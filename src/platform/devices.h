// Keyboard and mouse for the engine, shaped like foreground input devices: each is
// created for the main window, acquired while the window has the focus, and read once
// per control step. The keyboard reads as 256 bytes by the engine's key codes (bit 0x80
// = down); the mouse as its relative motion since the previous read.
//
// A device belongs to the window in the foreground. When the window loses the focus the
// device is taken away: the next read reports lost input, later reads report it is not
// acquired, and acquiring fails until the window has the focus again. While the mouse is
// acquired it is in relative mode, so the pointer stays inside the window.
//
// Tests replace the real keyboard, mouse and focus with a fake source (see the end of
// this file); the acquire and read rules above are the same for both.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/platform.h"  // Required for: Window

namespace platform {

enum class InputDevice { keyboard, mouse };

enum class DeviceStatus {
    ok,
    notAcquired,  // the device is not acquired (never, or since the focus went away)
    inputLost,    // the device was acquired and the window lost the focus since
    failed,       // no such device, or the system refused
};

// Creates the device for the window; false without a window or when video is not up.
// Creating a device that exists already keeps it (true).
bool createInputDevice(InputDevice device, Window* window);
bool inputDeviceExists(InputDevice device);
// Takes the device for this window; fails without the focus or without the device.
DeviceStatus acquireInputDevice(InputDevice device);
void unacquireInputDevice(InputDevice device);
// Unacquires and forgets the device; harmless when it does not exist.
void releaseInputDevice(InputDevice device);

// Immediate keyboard state by key code. `state` is written only when the result is ok.
DeviceStatus readKeyboardDevice(uint8_t state[256]);
// Relative mouse motion since the previous read (Y positive toward the user). The
// deltas are written only when the result is ok.
DeviceStatus readMouseDevice(int32_t& deltaX, int32_t& deltaY);

// True while the engine's window has the keyboard focus.
bool inputFocus();
// True while the mouse is acquired and held in relative mode.
bool mouseCaptured();

// The engine's key code (0x01 Escape ... 0xC8 Up arrow, the classic PC set-1 based
// numbering) for an SDL scancode, or 0 for a key the engine's code set does not have.
int keyCodeFromScancode(int scancode);

// --- Test hook ---------------------------------------------------------------------
// With the fake source on, the devices read the keys, motion and focus set below
// instead of SDL's; creation does not need SDL video (only a non-null window pointer).
// Turning it on or off releases both devices and clears the fake state: no focus, no
// keys, no motion, both devices creatable.
void useFakeInputSource(bool on);
void setFakeFocus(bool focused);
void setFakeKey(int keyCode, bool down);
void clearFakeKeys();
// Motion adds up until the mouse is read, as a real mouse's does.
void addFakeMouseMotion(int32_t deltaX, int32_t deltaY);
// Makes creating the device fail (a system without a mouse, say).
void setFakeDeviceMissing(InputDevice device, bool missing);
// Called at every keyboard read while the fake source is on, before the keys are
// copied: a scripted player sets the keys and motion of the step about to be read.
// Cleared, like the rest of the fake state, when the source is switched.
void setFakeInputFeeder(std::function<void()> feeder);

}  // namespace platform
