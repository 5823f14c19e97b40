// The demo file: one 5-byte record per control step, played back in place of the devices
// or recorded beside them.
#include <sys/stat.h>  // Required for: stat, to tell two names of one file
#include <unistd.h>    // Required for: dup, unlink

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "input/input_local.h"
#include "files/regular_file.h"  // Required for: openRegularStream, createBeside
#include "world/settings.h"  // Required for: PLAYDEMO, SAVEDEMO, demoPath

namespace {

// Set by openDemo (or playDemoStream), cleared by resetDemo and closeDemo. Played and
// recorded files have a handle each, so a demo can be played and recorded into another
// file at the same time.
std::FILE* demoFile = nullptr;    // open for reading while playing
std::FILE* recordFile = nullptr;  // open for writing while recording
// The recording goes into a new file beside its target, renamed over it when the run
// ends: a run that is killed leaves the previous demo as it was.
std::string recordTemporary;
bool playbackEnded = false;  // the end (or a read error) was met and reported
bool writeFailed = false;    // a write failed; later records would be misaligned
long long demoOffset = 0;    // bytes read so far
long long recordOffset = 0;  // bytes written so far
std::string warning;

void warn(const std::string& text) {
    warning = text;
    std::fprintf(stderr, "%s\n", text.c_str());
}

std::string quoted(const std::string& path) { return "\"" + platform::printable(path) + "\""; }

// What SAVEDEMO records into.
const std::string& recordTarget() { return recordPath.empty() ? demoPath : recordPath; }

// The file a played demo's name opens: the name itself, or, when no file has it, its
// match ignoring case (as the reader opens it).
std::string playedFile(const std::string& name) {
    struct stat info {};
    if (stat(name.c_str(), &info) == 0) return name;
    const std::string match = platform::findIgnoringCase(name);
    return match.empty() ? name : match;
}

// The same name, or two names of one existing file.
bool sameFile(const std::string& a, const std::string& b) {
    if (a == b) return true;
    struct stat first {}, second {};
    return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

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

std::FILE* openForRecording(const std::string& path, std::string& message) {
    platform::OpenedFile opened = platform::createBeside(path, recordTemporary);
    std::FILE* file = opened.ok() ? fdopen(opened.handle.fd(), "wb") : nullptr;
    if (!file) {
        message = "Cannot record into the demo file " + quoted(path) + ": " +
                  (opened.ok() ? std::string(std::strerror(errno)) : opened.reason);
        if (opened.ok()) unlink(recordTemporary.c_str());
        recordTemporary.clear();
        return nullptr;
    }
    opened.handle.release();  // the stream owns it now
    return file;
}

// A recording that cannot be finished is thrown away: the previous demo stays.
void abandonRecording() {
    if (recordFile) std::fclose(recordFile);
    recordFile = nullptr;
    if (!recordTemporary.empty()) unlink(recordTemporary.c_str());
    recordTemporary.clear();
}

void reportWriteFailure(int error) {
    writeFailed = true;
    warn("Recording into the demo file " + quoted(recordTarget()) + " stopped: writing at byte offset " +
         std::to_string(recordOffset) + " failed: " + std::strerror(error));
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

int32_t turnAngle(int32_t angle, int32_t motion) {
    const int64_t turned = int64_t(angle) - 4 * int64_t(motion);
    if (turned > INT32_MAX) return INT32_MAX;
    if (turned < INT32_MIN) return INT32_MIN;
    return int32_t(turned);
}

void applyDemoRecord(const DemoRecord& record, CameraState& target) {
    target.sideSpeed = float(signExtend(record.bytes[0])) * speedStep;
    target.upSpeed = float(signExtend(record.bytes[1])) * speedStep;
    target.forwardSpeed = float(signExtend(record.bytes[2])) * speedStep;
    target.yaw = turnAngle(target.yaw, signExtend(record.bytes[3]));
    target.pitch = turnAngle(target.pitch, signExtend(record.bytes[4]));
}

int32_t checkDemoSettings(std::string& message) {
    if (PLAYDEMO != 1 || SAVEDEMO != 1) return 0;
    if (recordPath.empty()) {
        message = "PLAYDEMO 1 and SAVEDEMO 1 in game.ini both name the demo file " +
                  quoted(demoPath) +
                  ": recording would overwrite the demo before it is played. "
                  "Set one of them to 0.";
        return inputFailure;
    }
    if (sameFile(playedFile(demoPath), recordPath)) {
        message = "The demo file " + quoted(demoPath) + " is both played and recorded into " +
                  quoted(recordPath) +
                  ": recording would overwrite the demo before it is played. "
                  "Record into another file.";
        return inputFailure;
    }
    return 0;
}

// A world folder may come from anyone, so the file its game.ini asks to record into is
// a plain name in the world folder: a path could overwrite any file of the user's.
std::string worldRecordingRefusal() {
    if (SAVEDEMO != 1 || demoPath.empty()) return "";
    if (demoPath.find('/') == std::string::npos && demoPath != "." && demoPath != "..") return "";
    return "SAVEDEMO names " + quoted(demoPath) +
           ": a world's game.ini may only record into a plain file name in the world folder (no '/', "
           "no \"..\", not an absolute path); nothing was recorded";
}

int32_t openDemo(std::string& message) {
    if (checkDemoSettings(message) != 0) return inputFailure;
    if (PLAYDEMO != 1 && SAVEDEMO != 1) return 0;
    resetDemo();
    if (PLAYDEMO == 1) {
        if (demoPath.empty()) {
            message = "PLAYDEMO 1 in game.ini gives no demo file name";
            return inputFailure;
        }
        demoFile = openForPlayback(message);
        if (!demoFile) return inputFailure;
    }
    if (SAVEDEMO == 1) {
        if (recordTarget().empty()) {
            message = "SAVEDEMO 1 in game.ini gives no demo file name";
            return inputFailure;
        }
        recordFile = openForRecording(recordTarget(), message);
        if (!recordFile) return inputFailure;
    }
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
    if (!recordFile || writeFailed) return;
    if (std::fwrite(record.bytes, 1, demoRecordSize, recordFile) != size_t(demoRecordSize) ||
        std::fflush(recordFile) != 0) {
        reportWriteFailure(errno);
        return;
    }
    recordOffset += demoRecordSize;
}

namespace {

void closePlayedFile() {
    if (demoFile) std::fclose(demoFile);
    demoFile = nullptr;
}

}  // namespace

void flushDemo() {
    if (!recordFile || writeFailed) return;
    if (std::fflush(recordFile) != 0) reportWriteFailure(errno);
}

bool closeDemo() {
    closePlayedFile();
    if (!recordFile) return true;
    flushDemo();
    if (writeFailed) {  // reported when it failed
        abandonRecording();
        return false;
    }
    // The stream is closed here; the descriptor's copy is flushed to the disk and closed
    // by the rename.
    platform::FileHandle written(dup(fileno(recordFile)));
    const bool closed = std::fclose(recordFile) == 0 && written;
    recordFile = nullptr;
    std::string reason = closed ? "" : std::strerror(errno);
    if (closed && platform::finishBeside(std::move(written), recordTemporary, recordTarget(), reason)) {
        recordTemporary.clear();
        return true;
    }
    abandonRecording();
    warn("Recording into the demo file " + quoted(recordTarget()) + " failed at the end: " + reason +
         "; the file was left as it was");
    return false;
}

const std::string& demoWarning() { return warning; }

void playDemoStream(std::FILE* file) { demoFile = file; }

bool demoFileOpen() { return demoFile != nullptr; }

bool demoPlaybackEnded() { return playbackEnded; }

void resetDemo() {
    closePlayedFile();
    abandonRecording();
    playbackEnded = false;
    writeFailed = false;
    demoOffset = 0;
    recordOffset = 0;
    warning.clear();
}
