// The demo file: one 5-byte record per control step, played back in place of the devices
// or recorded beside them.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "input/input_local.h"
#include "platform/regular_file.h"  // Required for: openRegularStream
#include "world/settings.h"  // Required for: PLAYDEMO, SAVEDEMO, demoPath, demoFile

namespace {

// Set by openDemo, cleared by resetDemo. demoFile itself lives with the settings.
bool recording = false;      // demoFile was opened for writing
bool playbackEnded = false;  // the end (or a read error) was met and reported
bool writeFailed = false;    // a write failed; later records would be misaligned
long long demoOffset = 0;    // bytes read or written so far
std::string warning;

void warn(const std::string& text) {
    warning = text;
    std::fprintf(stderr, "%s\n", text.c_str());
}

std::string quoted(const std::string& path) { return "\"" + path + "\""; }

uint8_t lowByte(int32_t value) { return uint8_t(uint32_t(value) & 0xFFu); }

int32_t signExtend(uint8_t byte) { return byte < 0x80 ? int32_t(byte) : int32_t(byte) - 256; }

// speed / speedStep truncated toward zero. Live play only ever gives 0 or one step; a
// value beyond the int range (or NaN) cannot come from a walk and is held at the edge.
int32_t speedUnits(float speed) {
    const float units = speed / speedStep;
    if (std::isnan(units)) return 0;
    if (units >= 2147483648.0f) return INT32_MAX;
    if (units <= -2147483648.0f) return INT32_MIN;
    return int32_t(units);
}

// The demo must be a regular file: a FIFO would block the start, a device would never end.
std::FILE* openForPlayback(std::string& message) {
    std::string reason;
    std::FILE* file = platform::openRegularStream(demoPath, platform::FileAccess::read, reason);
    if (!file) message = "Cannot play the demo file " + quoted(demoPath) + ": " + reason;
    return file;
}

std::FILE* openForRecording(std::string& message) {
    std::string reason;
    std::FILE* file = platform::openRegularStream(demoPath, platform::FileAccess::write, reason);
    if (!file) message = "Cannot record into the demo file " + quoted(demoPath) + ": " + reason;
    return file;
}

void reportWriteFailure(int error) {
    writeFailed = true;
    warn("Recording into the demo file " + quoted(demoPath) + " stopped: writing at byte offset " +
         std::to_string(demoOffset) + " failed: " + std::strerror(error));
}

}  // namespace

DemoRecord encodeDemoRecord(float sideSpeed, float upSpeed, float forwardSpeed,
                            int32_t mouseX, int32_t mouseY) {
    DemoRecord record;
    record.bytes[0] = lowByte(speedUnits(sideSpeed));
    record.bytes[1] = lowByte(speedUnits(upSpeed));
    record.bytes[2] = lowByte(speedUnits(forwardSpeed));
    record.bytes[3] = lowByte(mouseX);
    record.bytes[4] = lowByte(mouseY);
    return record;
}

void applyDemoRecord(const DemoRecord& record, CameraState& target) {
    target.sideSpeed = float(signExtend(record.bytes[0])) * speedStep;
    target.upSpeed = float(signExtend(record.bytes[1])) * speedStep;
    target.forwardSpeed = float(signExtend(record.bytes[2])) * speedStep;
    target.yaw = turnAngle(target.yaw, signExtend(record.bytes[3]));
    target.pitch = turnAngle(target.pitch, signExtend(record.bytes[4]));
}

int32_t checkDemoSettings(std::string& message) {
    if (PLAYDEMO == 1 && SAVEDEMO == 1) {
        message = "PLAYDEMO 1 and SAVEDEMO 1 in game.ini both name the demo file " +
                  quoted(demoPath) +
                  ": recording would overwrite the demo before it is played. "
                  "Set one of them to 0.";
        return inputFailure;
    }
    return 0;
}

int32_t openDemo(std::string& message) {
    if (checkDemoSettings(message) != 0) return inputFailure;
    const bool playback = PLAYDEMO == 1;
    if (!playback && SAVEDEMO != 1) return 0;
    resetDemo();
    if (demoPath.empty()) {
        message = std::string(playback ? "PLAYDEMO" : "SAVEDEMO") +
                  " 1 in game.ini gives no demo file name";
        return inputFailure;
    }
    demoFile = playback ? openForPlayback(message) : openForRecording(message);
    if (!demoFile) return inputFailure;
    recording = !playback;
    return 0;
}

bool readDemoRecord(DemoRecord& record) {
    if (playbackEnded) return false;
    playbackEnded = true;  // until a whole record proves otherwise
    if (!demoFile) {
        warn("No demo file is open for playback (PLAYDEMO 1)");
        return false;
    }
    const size_t count = std::fread(record.bytes, 1, demoRecordSize, demoFile);
    if (count == size_t(demoRecordSize)) {
        demoOffset += demoRecordSize;
        playbackEnded = false;
        return true;
    }
    if (std::ferror(demoFile)) {
        warn("Reading the demo file " + quoted(demoPath) + " failed at byte offset " +
             std::to_string(demoOffset) + ": " + std::strerror(errno));
    } else if (count > 0) {
        warn("The demo file " + quoted(demoPath) + " ends with " + std::to_string(count) +
             " stray byte(s) at byte offset " + std::to_string(demoOffset) +
             ", less than a whole record; the demo ends before them");
    }
    return false;
}

void writeDemoRecord(const DemoRecord& record) {
    if (!demoFile || !recording || writeFailed) return;
    if (std::fwrite(record.bytes, 1, demoRecordSize, demoFile) != size_t(demoRecordSize) ||
        std::fflush(demoFile) != 0) {
        reportWriteFailure(errno);
        return;
    }
    demoOffset += demoRecordSize;
}

void flushDemo() {
    if (!demoFile || !recording || writeFailed) return;
    if (std::fflush(demoFile) != 0) reportWriteFailure(errno);
}

void closeDemo() {
    if (!demoFile) return;
    flushDemo();
    const bool closed = std::fclose(demoFile) == 0;
    demoFile = nullptr;
    if (!closed && recording && !writeFailed) reportWriteFailure(errno);
    recording = false;
}

const std::string& demoWarning() { return warning; }

void resetDemo() {
    if (demoFile) std::fclose(demoFile);
    demoFile = nullptr;
    recording = false;
    playbackEnded = false;
    writeFailed = false;
    demoOffset = 0;
    warning.clear();
}
