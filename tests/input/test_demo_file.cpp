#include <sys/resource.h>

#include <csignal>
#include <cstdio>

#include "input_fixture.h"
#include "support/child_process.h"

namespace {

using inputtest::InputTest;

class DemoFile : public InputTest {};

TEST_F(DemoFile, PlayingAndRecordingTogetherIsRefusedBeforeAnyFileIsOpened) {
    const std::vector<uint8_t> demo = {0, 0, 1, 0, 0};
    inputtest::writeBytes(folder / "both.dem", demo);
    PLAYDEMO = 1;
    SAVEDEMO = 1;
    demoPath = (folder / "both.dem").string();

    std::string message;
    EXPECT_EQ(checkDemoSettings(message), inputFailure);
    EXPECT_NE(message.find("PLAYDEMO 1 and SAVEDEMO 1"), std::string::npos) << message;
    EXPECT_NE(message.find("both.dem"), std::string::npos) << message;

    message.clear();
    EXPECT_EQ(openDemo(message), inputFailure);  // the same refusal if start-up skips the check
    EXPECT_NE(message.find("both.dem"), std::string::npos) << message;
    EXPECT_FALSE(demoFileOpen());
    EXPECT_EQ(inputtest::readBytes(folder / "both.dem"), demo);  // not truncated
}

TEST_F(DemoFile, OneModeAtATimeIsAccepted) {
    const int32_t settings[][2] = {{0, 0}, {1, 0}, {0, 1}, {2, 1}, {2, 0}};
    for (const auto& s : settings) {
        PLAYDEMO = s[0];
        SAVEDEMO = s[1];
        std::string message;
        EXPECT_EQ(checkDemoSettings(message), 0) << PLAYDEMO << " " << SAVEDEMO;
        EXPECT_EQ(message, "");
    }
}

TEST_F(DemoFile, AFileThatCannotBeOpenedIsAClearFailure) {
    inputtest::writeBytes(folder / "plain-file", {1, 2, 3});
    struct Case {
        int32_t play, save;
        std::string path;  // relative to the scratch folder; empty: none given
        std::string expected;
    };
    const Case cases[] = {
        {1, 0, "missing.dem", "Cannot play the demo file"},
        {1, 0, ".", "is a folder"},
        {0, 1, "no-such-folder/out.dem", "Cannot record into the demo file"},
        {0, 1, "plain-file/out.dem", "Cannot record into the demo file"},
        {0, 1, ".", "Cannot record into the demo file"},
        {1, 0, "", "PLAYDEMO 1 in game.ini gives no demo file name"},
        {0, 1, "", "SAVEDEMO 1 in game.ini gives no demo file name"},
    };
    for (const Case& c : cases) {
        resetInput();
        PLAYDEMO = c.play;
        SAVEDEMO = c.save;
        demoPath = c.path.empty() ? "" : (folder / c.path).string();
        std::string message;
        EXPECT_EQ(openDemo(message), inputFailure) << c.path;
        EXPECT_NE(message.find(c.expected), std::string::npos) << message;
        if (!c.path.empty()) {
            EXPECT_NE(message.find("\"" + demoPath + "\""), std::string::npos) << message;
        }
        EXPECT_FALSE(demoFileOpen());
    }
}

// Playback only reads the demo: it asks for no write access, which no one (root
// included) has in the child.
TEST_F(DemoFile, PlaybackAsksForReadAccessOnly) {
    inputtest::writeBytes(folder / "ro.dem", {0, 0, 1, 0, 0});
    PLAYDEMO = 1;
    demoPath = (folder / "ro.dem").string();
    ChildOptions options;
    options.denyWriteOpens = true;
    const ChildResult child = runInChild([] {
        std::string message;
        if (openDemo(message) != 0) return message;
        controlStep();
        return std::to_string(camera.posZ);
    }, options);
    EXPECT_EQ(child.output, std::to_string(15.1f)) << child.describe();
}

TEST_F(DemoFile, EveryRecordIsInTheFileBeforeTheRecordingIsClosed) {
    startLive();
    platform::setFakeKey(keyUp, true);
    inputtest::writeBytes(folder / "flush.dem", {1, 2, 3});  // an older demo of that name
    const auto partialRecording = [this]() -> std::filesystem::path {
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            if (entry.path().extension() == ".part") return entry.path();
        return {};
    };
    startRecording("flush.dem");
    for (int frame = 1; frame <= 3; ++frame) {
        controlStep();
        // The records go into a new file beside the demo; read as after a crash or a kill,
        // the new file holds every record so far and the old demo is whole.
        EXPECT_EQ(inputtest::readBytes(partialRecording()).size(), size_t(5 * frame));
        EXPECT_EQ(inputtest::readBytes(folder / "flush.dem").size(), 3u);
    }
    flushDemo();
    EXPECT_EQ(inputtest::readBytes(partialRecording()).size(), 15u);
    EXPECT_TRUE(closeDemo());
    EXPECT_EQ(partialRecording(), std::filesystem::path());  // renamed over the demo
    EXPECT_FALSE(demoFileOpen());
    closeDemo();  // a second close (shutdown after a quit path) is harmless
    EXPECT_EQ(inputtest::readBytes(folder / "flush.dem").size(), 15u);
}

// Writing fails in a child whose file-size limit is 0 (EFBIG, whoever runs the test).
TEST_F(DemoFile, AFailedWriteIsReportedOnceAndRecordingStops) {
    startLive();
    SAVEDEMO = 1;
    demoPath = (folder / "full.dem").string();
    const ChildResult child = runInChild([] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit none{0, 0};
        if (setrlimit(RLIMIT_FSIZE, &none) != 0) return std::string("setrlimit failed");
        std::string message;
        if (openDemo(message) != 0) return message;
        controlStep();
        const std::string first = demoWarning();
        controlStep();  // keeps running, nothing more is written or reported
        flushDemo();
        closeDemo();
        return first + (demoWarning() == first && !demoFileOpen() ? "" : " (and more)");
    });
    EXPECT_EQ(child.output, "Recording into the demo file \"" + demoPath +
                                "\" stopped: writing at byte offset 0 failed: File too large")
        << child.describe();
}

// A snapshot of everything the control step moves.
struct Motion {
    int32_t yaw, pitch;
    float posX, posY, posZ, sinYaw, cosYaw, stepX, stepZ, sideSpeed, upSpeed, forwardSpeed;
    bool operator==(const Motion& o) const {
        return yaw == o.yaw && pitch == o.pitch && posX == o.posX && posY == o.posY &&
               posZ == o.posZ && sinYaw == o.sinYaw && cosYaw == o.cosYaw &&
               stepX == o.stepX && stepZ == o.stepZ && sideSpeed == o.sideSpeed &&
               upSpeed == o.upSpeed && forwardSpeed == o.forwardSpeed;
    }
};

Motion motionOf(const CameraState& c) {
    return {c.yaw,    c.pitch,  c.posX,  c.posY,     c.posZ,    c.sinYaw,
            c.cosYaw, c.stepX,  c.stepZ, c.sideSpeed, c.upSpeed, c.forwardSpeed};
}

TEST_F(DemoFile, ARecordedSessionPlaysBackFrameByFrame) {
    // Walks, turns both ways past the wrap, tips the view against both pitch limits,
    // and loses the focus for a while (the frames still run and are recorded).
    startLive();
    startRecording("session.dem");
    std::vector<Motion> live;
    for (int frame = 0; frame < 240; ++frame) {
        platform::setFakeKey(keyUp, frame % 7 < 4);
        platform::setFakeKey(keyP, frame % 50 == 0);
        const int32_t turn = frame < 120 ? (frame % 11) - 3 : 127 - (frame % 256);
        const int32_t tip = frame < 60 ? -20 : frame < 120 ? 25 : (frame % 5) - 2;
        platform::addFakeMouseMotion(turn, tip);
        if (frame == 150) platform::setFakeFocus(false);
        if (frame == 160) {
            platform::setFakeFocus(true);
            acquireInput();  // what the window procedure does on activation
        }
        controlStep();
        live.push_back(motionOf(camera));
    }
    closeDemo();
    ASSERT_EQ(inputtest::readBytes(folder / "session.dem").size(), live.size() * 5);

    resetInput();
    SAVEDEMO = 0;
    startPlayback(inputtest::readBytes(folder / "session.dem"));
    for (size_t frame = 0; frame < live.size(); ++frame) {
        controlStep();
        ASSERT_TRUE(motionOf(camera) == live[frame]) << "frame " << frame;
    }
    EXPECT_EQ(inputtest::takeQuitMessages(), 0);
    controlStep();
    EXPECT_EQ(inputtest::takeQuitMessages(), 1);
    EXPECT_TRUE(motionOf(camera).posX == live.back().posX);
}

}  // namespace
