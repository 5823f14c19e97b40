#include "input_fixture.h"

namespace {

using inputtest::InputTest;

class ControlStep : public InputTest {};

TEST_F(ControlStep, TenFramesOfUpWalkOneUnitAndRecordTenSteps) {
    startLive();
    startRecording("walk.dem");
    platform::setFakeKey(keyUp, true);
    for (int frame = 0; frame < 10; ++frame) controlStep();
    closeDemo();

    EXPECT_EQ(camera.posX, -25.0f);
    EXPECT_EQ(camera.posY, 3.0f);
    EXPECT_NEAR(camera.posZ, 16.0f, 1e-5f);
    EXPECT_EQ(camera.stepX, 0.0f);
    EXPECT_EQ(camera.stepZ, 0.1f);
    EXPECT_EQ(camera.forwardSpeed, 0.1f);
    EXPECT_EQ(camera.yaw, 0);
    EXPECT_EQ(camera.pitch, 1800);
    std::vector<uint8_t> expected;
    for (int record = 0; record < 10; ++record) expected.insert(expected.end(), {0, 0, 1, 0, 0});
    EXPECT_EQ(inputtest::readBytes(folder / "walk.dem"), expected);
}

TEST_F(ControlStep, WalkFollowsTheHeading) {
    startLive();
    platform::setFakeKey(keyUp, true);
    platform::addFakeMouseMotion(-225, 0);  // yaw 0 + 900: facing +X
    controlStep();
    EXPECT_EQ(camera.yaw, 900);
    EXPECT_NEAR(camera.stepX, 0.1f, 1e-7f);
    EXPECT_NEAR(camera.stepZ, 0.0f, 1e-7f);
    EXPECT_EQ(camera.sinYaw, sineTable[900]);
    EXPECT_EQ(camera.cosYaw, cosineTable[900]);
}

TEST_F(ControlStep, MouseTurnsAndTheAnglesWrapOrClamp) {
    struct Case {
        int32_t yaw, pitch, mouseX, mouseY;
        int32_t expectedYaw, expectedPitch;
    };
    const Case cases[] = {
        {0, 1800, 1, 0, 3600, 1800},         // -4 snaps to 3600, not 3596
        {3600, 1800, 0, 0, 3600, 1800},      // 3600 itself stays
        {3596, 1800, -1, 0, 3600, 1800},
        {3597, 1800, -1, 0, 0, 1800},        // 3601 snaps to 0, the remainder is lost
        {3, 1800, 1, 0, 3600, 1800},         // -1 snaps to 3600
        {100, 1800, 10, 0, 60, 1800},
        {0, 2696, 0, -1, 0, 2699},           // 2700 is held at 2699
        {0, 902, 0, 1, 0, 899},              // 898 is held at 899
        {0, 1800, 0, -400, 0, 2699},
        {0, 1800, 0, 400, 0, 899},
        {0, 1800, INT32_MAX, INT32_MIN, 3600, 2699},  // no overflow on a wild reading
    };
    for (const Case& c : cases) {
        resetInput();
        startLive();
        camera.yaw = c.yaw;
        camera.pitch = c.pitch;
        platform::addFakeMouseMotion(c.mouseX, c.mouseY);
        controlStep();
        EXPECT_EQ(camera.yaw, c.expectedYaw) << "yaw " << c.yaw << " mouse " << c.mouseX;
        EXPECT_EQ(camera.pitch, c.expectedPitch) << "pitch " << c.pitch << " mouse " << c.mouseY;
    }
}

TEST_F(ControlStep, SwitchKeysSetTheirSwitchWhileHeld) {
    struct Case {
        std::vector<int> keys;
        int32_t CameraState::*cameraField;  // null: the switch is a global
        int32_t* global;
        int32_t before, after;
    };
    const Case cases[] = {
        {{keyQ}, nullptr, &portalCulling, 0, 1},
        {{keyQ, keyLeftShift}, nullptr, &portalCulling, 1, 0},
        {{keyP}, nullptr, &stencilPortals, 1, 0},
        {{keyP, keyLeftShift}, nullptr, &stencilPortals, 0, 1},
        {{keyS}, &CameraState::showCellInfo, nullptr, 1, 0},
        {{keyS, keyLeftShift}, &CameraState::showCellInfo, nullptr, 0, 1},
        {{keyF}, &CameraState::showFrameRate, nullptr, 1, 0},
        {{keyF, keyLeftShift}, &CameraState::showFrameRate, nullptr, 0, 1},
        {{keyM}, nullptr, &debugView, 0, 1},
        {{keyM, keyLeftShift}, nullptr, &debugView, 1, 0},
        {{keyLeftShift}, nullptr, &stencilPortals, 0, 0},  // the modifier alone does nothing
        {{keyP, 0x36}, nullptr, &stencilPortals, 1, 0},    // only the left Shift modifies
    };
    for (const Case& c : cases) {
        resetInput();
        startLive();
        int32_t& value = c.global ? *c.global : camera.*c.cameraField;
        value = c.before;
        for (int key : c.keys) platform::setFakeKey(key, true);
        controlStep();
        EXPECT_EQ(value, c.after) << "keys starting with " << c.keys[0];
        controlStep();  // level-triggered: held on, the value stays, it does not toggle
        EXPECT_EQ(value, c.after) << "keys starting with " << c.keys[0];
        platform::clearFakeKeys();
        controlStep();  // released: the value stays
        EXPECT_EQ(value, c.after) << "keys starting with " << c.keys[0];
    }
}

class DemoBytes : public InputTest {};

TEST_F(DemoBytes, RecordsKeepTheLowEightBitsAndTruncateSpeeds) {
    struct Case {
        float side, up, forward;
        int32_t mouseX, mouseY;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {0, 0, 0.1f, 0, 0, {0x00, 0x00, 0x01, 0x00, 0x00}},
        {0, 0, 0, 200, -1, {0x00, 0x00, 0x00, 0xC8, 0xFF}},
        {0, 0, 0, 256 + 5, -129, {0x00, 0x00, 0x00, 0x05, 0x7F}},
        {0.25f, -0.35f, 0.3f, 127, -128, {0x02, 0xFD, 0x03, 0x7F, 0x80}},
        {-0.1f, 12.7f, -12.8f, 0, 0, {0xFF, 0x7F, 0x80, 0x00, 0x00}},
    };
    for (const Case& c : cases) {
        const DemoRecord record = encodeDemoRecord(c.side, c.up, c.forward, c.mouseX, c.mouseY);
        EXPECT_EQ(std::vector<uint8_t>(record.bytes, record.bytes + demoRecordSize), c.bytes)
            << "mouse " << c.mouseX << ", " << c.mouseY;
    }
}

TEST_F(DemoBytes, PlaybackSignExtends) {
    CameraState state;
    state.yaw = 1000;
    state.pitch = 1800;
    applyDemoRecord(DemoRecord{{0xFF, 0x7F, 0x80, 200, 0x81}}, state);
    EXPECT_EQ(state.sideSpeed, -0.1f);
    EXPECT_EQ(state.upSpeed, 127 * 0.1f);
    EXPECT_EQ(state.forwardSpeed, -128 * 0.1f);
    EXPECT_EQ(state.yaw, 1000 + 4 * 56);     // 200 comes back as -56
    EXPECT_EQ(state.pitch, 1800 + 4 * 127);  // 0x81 comes back as -127
}

TEST_F(DemoBytes, AWideMouseMoveIsReplayedWrapped) {
    startLive();
    startRecording("wide.dem");
    platform::addFakeMouseMotion(200, 0);
    controlStep();
    closeDemo();
    EXPECT_EQ(camera.yaw, 3600);  // live: 0 - 800 snaps to 3600

    resetInput();
    SAVEDEMO = 0;
    startPlayback(inputtest::readBytes(folder / "wide.dem"));
    controlStep();
    EXPECT_EQ(camera.yaw, 224);  // replayed as -56
}

class Playback : public InputTest {};

TEST_F(Playback, AppliesOneRecordPerStepAndMovesAlongTheHeading) {
    startPlayback({0x00, 0x00, 0x01, 0x00, 0x00,  //
                   0x01, 0x00, 0x00, 0x00, 0x00,  // one step to the left
                   0x00, 0x05, 0x00, 0x02, 0x03});
    controlStep();
    EXPECT_EQ(camera.forwardSpeed, 0.1f);
    EXPECT_NEAR(camera.posZ, 15.1f, 1e-6f);
    controlStep();
    EXPECT_EQ(camera.sideSpeed, 0.1f);
    EXPECT_NEAR(camera.posX, -24.9f, 1e-6f);  // lateral, positive to the left (+X at yaw 0)
    controlStep();
    EXPECT_EQ(camera.upSpeed, 0.5f);
    EXPECT_EQ(camera.posY, 3.0f);  // upSpeed is never applied
    EXPECT_EQ(camera.yaw, 3600);   // -8 snaps
    EXPECT_EQ(camera.pitch, 1788);
    EXPECT_EQ(inputtest::takeQuitMessages(), 0);
}

TEST_F(Playback, AnEmptyDemoQuitsInTheFirstStepWithTheCameraUnmoved) {
    startPlayback({});
    controlStep();
    EXPECT_EQ(inputtest::takeQuitMessages(), 1);
    EXPECT_EQ(camera.posX, -25.0f);
    EXPECT_EQ(camera.posZ, 15.0f);
    EXPECT_EQ(camera.yaw, 0);
    EXPECT_EQ(camera.pitch, 1800);
    EXPECT_EQ(demoWarning(), "");
}

TEST_F(Playback, APartialRecordEndsTheDemoAtItsLastWholeRecord) {
    startPlayback({0, 0, 1, 0, 0,  //
                   0, 0, 1, 0, 0,  //
                   0, 0, 1});
    controlStep();
    controlStep();
    EXPECT_EQ(inputtest::takeQuitMessages(), 0);
    const float posZ = camera.posZ;
    controlStep();
    EXPECT_EQ(inputtest::takeQuitMessages(), 1);
    EXPECT_EQ(camera.posZ, posZ);
    EXPECT_EQ(camera.forwardSpeed, 0.0f);
    EXPECT_NE(demoWarning().find("play.dem"), std::string::npos) << demoWarning();
    EXPECT_NE(demoWarning().find("byte offset 10"), std::string::npos) << demoWarning();
    controlStep();  // every later step posts the quit again
    controlStep();
    EXPECT_EQ(inputtest::takeQuitMessages(), 2);
    EXPECT_EQ(camera.posZ, posZ);
}

TEST_F(Playback, KeysHaveNoEffect) {
    startPlayback({0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    keyState[keyP] = keyState[keyQ] = keyState[keyS] = keyState[keyF] = 0x80;
    keyState[keyUp] = keyState[keyEscape] = 0x80;
    portalCulling = 0;
    camera.showCellInfo = camera.showFrameRate = 1;
    controlStep();
    controlStep();
    EXPECT_EQ(portalCulling, 0);
    EXPECT_EQ(stencilPortals, 1);
    EXPECT_EQ(camera.showCellInfo, 1);
    EXPECT_EQ(camera.showFrameRate, 1);
    EXPECT_EQ(camera.posZ, 15.0f);
    EXPECT_EQ(inputtest::takeQuitMessages(), 0);
}

TEST_F(Playback, OtherPlayDemoValuesNeitherReadNorSwitch) {
    PLAYDEMO = 2;
    platform::setFakeFocus(true);
    keyState[keyP] = 0x80;
    controlStep();
    EXPECT_EQ(stencilPortals, 1);
    EXPECT_EQ(camera.posZ, 15.0f);
    EXPECT_EQ(camera.sinYaw, sineTable[0]);
    EXPECT_EQ(camera.cosYaw, cosineTable[0]);
    EXPECT_EQ(inputtest::takeQuitMessages(), 0);
}

}  // namespace
