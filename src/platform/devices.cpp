#include "platform/devices.h"

#include <SDL.h>

#include <cstring>

namespace platform {
namespace {

// SDL scancode -> the engine's key code. The engine's codes number the keys the way the
// classic PC keyboard's set-1 scan codes do, with the extended (E0-prefixed) keys at the
// scan code + 0x80. Every key of a standard 104/105-key keyboard is here, plus the
// Japanese, Brazilian and common media keys that have a code in that set.
struct KeyMapping {
    SDL_Scancode scancode;
    uint8_t keyCode;
};

constexpr KeyMapping keyMappings[] = {
    {SDL_SCANCODE_ESCAPE, 0x01},
    {SDL_SCANCODE_1, 0x02}, {SDL_SCANCODE_2, 0x03}, {SDL_SCANCODE_3, 0x04},
    {SDL_SCANCODE_4, 0x05}, {SDL_SCANCODE_5, 0x06}, {SDL_SCANCODE_6, 0x07},
    {SDL_SCANCODE_7, 0x08}, {SDL_SCANCODE_8, 0x09}, {SDL_SCANCODE_9, 0x0A},
    {SDL_SCANCODE_0, 0x0B},
    {SDL_SCANCODE_MINUS, 0x0C}, {SDL_SCANCODE_EQUALS, 0x0D},
    {SDL_SCANCODE_BACKSPACE, 0x0E}, {SDL_SCANCODE_TAB, 0x0F},
    {SDL_SCANCODE_Q, 0x10}, {SDL_SCANCODE_W, 0x11}, {SDL_SCANCODE_E, 0x12},
    {SDL_SCANCODE_R, 0x13}, {SDL_SCANCODE_T, 0x14}, {SDL_SCANCODE_Y, 0x15},
    {SDL_SCANCODE_U, 0x16}, {SDL_SCANCODE_I, 0x17}, {SDL_SCANCODE_O, 0x18},
    {SDL_SCANCODE_P, 0x19},
    {SDL_SCANCODE_LEFTBRACKET, 0x1A}, {SDL_SCANCODE_RIGHTBRACKET, 0x1B},
    {SDL_SCANCODE_RETURN, 0x1C}, {SDL_SCANCODE_LCTRL, 0x1D},
    {SDL_SCANCODE_A, 0x1E}, {SDL_SCANCODE_S, 0x1F}, {SDL_SCANCODE_D, 0x20},
    {SDL_SCANCODE_F, 0x21}, {SDL_SCANCODE_G, 0x22}, {SDL_SCANCODE_H, 0x23},
    {SDL_SCANCODE_J, 0x24}, {SDL_SCANCODE_K, 0x25}, {SDL_SCANCODE_L, 0x26},
    {SDL_SCANCODE_SEMICOLON, 0x27}, {SDL_SCANCODE_APOSTROPHE, 0x28},
    {SDL_SCANCODE_GRAVE, 0x29}, {SDL_SCANCODE_LSHIFT, 0x2A},
    {SDL_SCANCODE_BACKSLASH, 0x2B},
    {SDL_SCANCODE_NONUSHASH, 0x2B},  // the same key where the board reports it so
    {SDL_SCANCODE_Z, 0x2C}, {SDL_SCANCODE_X, 0x2D}, {SDL_SCANCODE_C, 0x2E},
    {SDL_SCANCODE_V, 0x2F}, {SDL_SCANCODE_B, 0x30}, {SDL_SCANCODE_N, 0x31},
    {SDL_SCANCODE_M, 0x32},
    {SDL_SCANCODE_COMMA, 0x33}, {SDL_SCANCODE_PERIOD, 0x34}, {SDL_SCANCODE_SLASH, 0x35},
    {SDL_SCANCODE_RSHIFT, 0x36}, {SDL_SCANCODE_KP_MULTIPLY, 0x37},
    {SDL_SCANCODE_LALT, 0x38}, {SDL_SCANCODE_SPACE, 0x39}, {SDL_SCANCODE_CAPSLOCK, 0x3A},
    {SDL_SCANCODE_F1, 0x3B}, {SDL_SCANCODE_F2, 0x3C}, {SDL_SCANCODE_F3, 0x3D},
    {SDL_SCANCODE_F4, 0x3E}, {SDL_SCANCODE_F5, 0x3F}, {SDL_SCANCODE_F6, 0x40},
    {SDL_SCANCODE_F7, 0x41}, {SDL_SCANCODE_F8, 0x42}, {SDL_SCANCODE_F9, 0x43},
    {SDL_SCANCODE_F10, 0x44},
    {SDL_SCANCODE_NUMLOCKCLEAR, 0x45}, {SDL_SCANCODE_SCROLLLOCK, 0x46},
    {SDL_SCANCODE_KP_7, 0x47}, {SDL_SCANCODE_KP_8, 0x48}, {SDL_SCANCODE_KP_9, 0x49},
    {SDL_SCANCODE_KP_MINUS, 0x4A},
    {SDL_SCANCODE_KP_4, 0x4B}, {SDL_SCANCODE_KP_5, 0x4C}, {SDL_SCANCODE_KP_6, 0x4D},
    {SDL_SCANCODE_KP_PLUS, 0x4E},
    {SDL_SCANCODE_KP_1, 0x4F}, {SDL_SCANCODE_KP_2, 0x50}, {SDL_SCANCODE_KP_3, 0x51},
    {SDL_SCANCODE_KP_0, 0x52}, {SDL_SCANCODE_KP_PERIOD, 0x53},
    {SDL_SCANCODE_NONUSBACKSLASH, 0x56},  // the extra key left of Z on 105-key boards
    {SDL_SCANCODE_F11, 0x57}, {SDL_SCANCODE_F12, 0x58},
    {SDL_SCANCODE_F13, 0x64}, {SDL_SCANCODE_F14, 0x65}, {SDL_SCANCODE_F15, 0x66},
    {SDL_SCANCODE_INTERNATIONAL2, 0x70},  // katakana/hiragana
    {SDL_SCANCODE_INTERNATIONAL1, 0x73},  // ro, also the Brazilian /? key
    {SDL_SCANCODE_INTERNATIONAL4, 0x79},  // henkan (convert)
    {SDL_SCANCODE_INTERNATIONAL5, 0x7B},  // muhenkan (no convert)
    {SDL_SCANCODE_INTERNATIONAL3, 0x7D},  // yen
    {SDL_SCANCODE_KP_EQUALS, 0x8D},
    {SDL_SCANCODE_AUDIOPREV, 0x90},
    {SDL_SCANCODE_STOP, 0x95},
    {SDL_SCANCODE_AUDIONEXT, 0x99},
    {SDL_SCANCODE_KP_ENTER, 0x9C}, {SDL_SCANCODE_RCTRL, 0x9D},
    {SDL_SCANCODE_MUTE, 0xA0}, {SDL_SCANCODE_AUDIOMUTE, 0xA0},  // two names, one key
    {SDL_SCANCODE_CALCULATOR, 0xA1}, {SDL_SCANCODE_AUDIOPLAY, 0xA2},
    {SDL_SCANCODE_AUDIOSTOP, 0xA4},
    {SDL_SCANCODE_VOLUMEDOWN, 0xAE}, {SDL_SCANCODE_VOLUMEUP, 0xB0},
    {SDL_SCANCODE_AC_HOME, 0xB2},
    {SDL_SCANCODE_KP_COMMA, 0xB3}, {SDL_SCANCODE_KP_DIVIDE, 0xB5},
    {SDL_SCANCODE_PRINTSCREEN, 0xB7}, {SDL_SCANCODE_RALT, 0xB8},
    {SDL_SCANCODE_PAUSE, 0xC5},
    {SDL_SCANCODE_HOME, 0xC7}, {SDL_SCANCODE_UP, 0xC8}, {SDL_SCANCODE_PAGEUP, 0xC9},
    {SDL_SCANCODE_LEFT, 0xCB}, {SDL_SCANCODE_RIGHT, 0xCD}, {SDL_SCANCODE_END, 0xCF},
    {SDL_SCANCODE_DOWN, 0xD0}, {SDL_SCANCODE_PAGEDOWN, 0xD1},
    {SDL_SCANCODE_INSERT, 0xD2}, {SDL_SCANCODE_DELETE, 0xD3},
    {SDL_SCANCODE_LGUI, 0xDB}, {SDL_SCANCODE_RGUI, 0xDC},
    {SDL_SCANCODE_APPLICATION, 0xDD}, {SDL_SCANCODE_POWER, 0xDE},
    {SDL_SCANCODE_SLEEP, 0xDF},
    {SDL_SCANCODE_AC_SEARCH, 0xE5}, {SDL_SCANCODE_AC_BOOKMARKS, 0xE6},
    {SDL_SCANCODE_AC_REFRESH, 0xE7}, {SDL_SCANCODE_AC_STOP, 0xE8},
    {SDL_SCANCODE_AC_FORWARD, 0xE9}, {SDL_SCANCODE_AC_BACK, 0xEA},
    {SDL_SCANCODE_COMPUTER, 0xEB}, {SDL_SCANCODE_MAIL, 0xEC},
    {SDL_SCANCODE_MEDIASELECT, 0xED},
};

struct ScancodeTable {
    uint8_t keyCode[SDL_NUM_SCANCODES] = {};
    ScancodeTable() {
        for (const KeyMapping& mapping : keyMappings) keyCode[mapping.scancode] = mapping.keyCode;
    }
};

const ScancodeTable& scancodeTable() {
    static const ScancodeTable table;
    return table;
}

// A device exists from creation to release; acquired only while the window has the
// focus (and someone acquired it since the focus came back). `lost` marks a device the
// focus took away: its next read reports lost input once, later reads "not acquired".
struct DeviceSlot {
    bool exists = false;
    bool acquired = false;
    bool lost = false;
};

DeviceSlot slots[2];

DeviceSlot& slot(InputDevice device) { return slots[device == InputDevice::mouse ? 1 : 0]; }

// What a test feeds in place of SDL. Reset whenever the source is switched.
struct FakeSource {
    bool on = false;
    bool focus = false;
    uint8_t keys[256] = {};
    int32_t motionX = 0, motionY = 0;  // adds up until the mouse is read
    bool missing[2] = {false, false};
    std::function<void()> feeder;  // a scripted player, called at each keyboard read
};

FakeSource fake;

bool videoStarted() { return SDL_WasInit(SDL_INIT_VIDEO) != 0; }

// SDL updates its keyboard state, focus and mouse motion only when events are pumped;
// a batch of frames runs without returning to the message loop, so reads pump too.
void pumpEvents() {
    if (!fake.on && videoStarted()) SDL_PumpEvents();
}

void setRelativeMode(bool on) {
    // Failure (a driver without relative mode) leaves plain motion, which still reads.
    if (!fake.on && videoStarted()) SDL_SetRelativeMouseMode(on ? SDL_TRUE : SDL_FALSE);
}

// Motion from before an acquisition belongs to whatever had the mouse then.
void discardMouseMotion() {
    if (fake.on) {
        fake.motionX = fake.motionY = 0;
    } else if (videoStarted()) {
        SDL_GetRelativeMouseState(nullptr, nullptr);
    }
}

void takeDevice(InputDevice device, bool lost) {
    DeviceSlot& s = slot(device);
    if (s.acquired) s.lost = lost;
    s.acquired = false;
    if (device == InputDevice::mouse) setRelativeMode(false);
}

// The acquired, focused check every read makes first; the focus going away takes the
// device, as the system does with a foreground device.
DeviceStatus readableStatus(InputDevice device) {
    pumpEvents();
    DeviceSlot& s = slot(device);
    if (!s.exists) return DeviceStatus::failed;
    if (s.acquired && !inputFocus()) takeDevice(device, true);
    if (s.lost) {
        s.lost = false;
        return DeviceStatus::inputLost;
    }
    return s.acquired ? DeviceStatus::ok : DeviceStatus::notAcquired;
}

void sdlKeyboardState(uint8_t state[256]) {
    int count = 0;
    const Uint8* pressed = SDL_GetKeyboardState(&count);
    const ScancodeTable& table = scancodeTable();
    if (count > SDL_NUM_SCANCODES) count = SDL_NUM_SCANCODES;
    for (int scancode = 0; scancode < count; ++scancode) {
        if (pressed[scancode] && table.keyCode[scancode]) state[table.keyCode[scancode]] = 0x80;
    }
}

}  // namespace

bool createInputDevice(InputDevice device, Window* window) {
    if (!window) return false;
    if (fake.on ? fake.missing[device == InputDevice::mouse ? 1 : 0] : !videoStarted()) {
        return false;
    }
    slot(device).exists = true;
    return true;
}

bool inputDeviceExists(InputDevice device) { return slot(device).exists; }

DeviceStatus acquireInputDevice(InputDevice device) {
    if (!slot(device).exists) return DeviceStatus::failed;
    if (!inputFocus()) {
        takeDevice(device, true);
        return DeviceStatus::failed;
    }
    if (device == InputDevice::mouse && !slot(device).acquired) {
        // Relative mode may warp the pointer; that jump is no movement of the player's.
        setRelativeMode(true);
        pumpEvents();
        discardMouseMotion();
    }
    slot(device).acquired = true;
    slot(device).lost = false;
    return DeviceStatus::ok;
}

void unacquireInputDevice(InputDevice device) {
    takeDevice(device, false);
    slot(device).lost = false;
}

void releaseInputDevice(InputDevice device) {
    unacquireInputDevice(device);
    slot(device) = DeviceSlot{};
}

DeviceStatus readKeyboardDevice(uint8_t state[256]) {
    if (fake.on && fake.feeder) fake.feeder();
    const DeviceStatus status = readableStatus(InputDevice::keyboard);
    if (status != DeviceStatus::ok) return status;
    if (fake.on) {
        std::memcpy(state, fake.keys, 256);
    } else {
        std::memset(state, 0, 256);
        sdlKeyboardState(state);
    }
    return DeviceStatus::ok;
}

DeviceStatus readMouseDevice(int32_t& deltaX, int32_t& deltaY) {
    const DeviceStatus status = readableStatus(InputDevice::mouse);
    if (status != DeviceStatus::ok) return status;
    if (fake.on) {
        deltaX = fake.motionX;
        deltaY = fake.motionY;
        fake.motionX = fake.motionY = 0;
    } else {
        int x = 0, y = 0;
        SDL_GetRelativeMouseState(&x, &y);
        deltaX = x;
        deltaY = y;
    }
    return DeviceStatus::ok;
}

bool inputFocus() {
    if (fake.on) return fake.focus;
    // The engine has one window, so "some window of ours has the keyboard" is its focus.
    return videoStarted() && SDL_GetKeyboardFocus() != nullptr;
}

bool mouseCaptured() { return slot(InputDevice::mouse).acquired; }

int keyCodeFromScancode(int scancode) {
    if (scancode < 0 || scancode >= SDL_NUM_SCANCODES) return 0;
    return scancodeTable().keyCode[scancode];
}

void useFakeInputSource(bool on) {
    releaseInputDevice(InputDevice::keyboard);
    releaseInputDevice(InputDevice::mouse);
    fake = FakeSource{};
    fake.on = on;
}

void setFakeFocus(bool focused) {
    fake.focus = focused;
    // The system takes foreground devices away the moment the window loses the focus.
    if (!focused) {
        takeDevice(InputDevice::keyboard, true);
        takeDevice(InputDevice::mouse, true);
    }
}

void setFakeKey(int keyCode, bool down) {
    if (keyCode > 0 && keyCode < 256) fake.keys[keyCode] = down ? 0x80 : 0;
}

void clearFakeKeys() { std::memset(fake.keys, 0, sizeof fake.keys); }

void addFakeMouseMotion(int32_t deltaX, int32_t deltaY) {
    // Wrapping adds (a test moving the mouse by INT32_MAX twice) stay defined.
    fake.motionX = int32_t(uint32_t(fake.motionX) + uint32_t(deltaX));
    fake.motionY = int32_t(uint32_t(fake.motionY) + uint32_t(deltaY));
}

void setFakeInputFeeder(std::function<void()> feeder) { fake.feeder = std::move(feeder); }

void setFakeDeviceMissing(InputDevice device, bool missing) {
    fake.missing[device == InputDevice::mouse ? 1 : 0] = missing;
}

}  // namespace platform
