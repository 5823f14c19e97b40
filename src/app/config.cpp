#include "app/config.h"

#include <algorithm>
#include <charconv>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include <unistd.h>  // Required for: read

#include "files/regular_file.h"  // Required for: openRegularFile
#include "world/settings.h"

namespace {

// 8192 x 8192 already needs about 800 MB of colour, depth and stencil buffers and a copy
// of the frame; a side of 16384 would need four times that and seconds a frame.
constexpr int maxWindowSide = 8192;
// game.ini holds six keys; a file larger than this is not a configuration, and reading
// it whole would cost memory in proportion to whatever it is.
constexpr size_t maxConfigBytes = 1 << 20;

// game.ini as whitespace-separated tokens, each with the line it stands on (for
// warnings). Tokens may be of any length.
struct Token {
    std::string text;
    int line = 0;
};

// The whole file, or false with `problem` saying why it cannot be used.
bool readConfigBytes(const char* fileName, std::string& bytes, std::string& problem) {
    const platform::OpenedFile file = platform::openRegularFile(fileName, platform::FileAccess::read);
    if (!file.ok()) {
        problem = file.reason;
        return false;
    }
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(file.handle.fd(), buffer, sizeof buffer);
        if (n == 0) return true;
        if (n < 0) {
            if (errno == EINTR) continue;
            problem = std::string("reading failed at byte offset ") + std::to_string(bytes.size()) + ": " +
                      std::strerror(errno);
            return false;
        }
        if (bytes.size() + size_t(n) > maxConfigBytes) {
            problem = "is larger than " + std::to_string(maxConfigBytes) + " bytes";
            return false;
        }
        bytes.append(buffer, size_t(n));
    }
}

// A file that cannot be read gives no tokens, as a missing one does; `problem` says why.
std::vector<Token> readTokens(const char* fileName, std::string& problem) {
    std::vector<Token> tokens;
    std::string bytes;
    if (!readConfigBytes(fileName, bytes, problem)) return tokens;
    int line = 1;
    size_t i = 0;
    while (i < bytes.size()) {
        const char c = bytes[i];
        if (c == '\n') ++line;
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f') {
            ++i;
            continue;
        }
        const size_t start = i;
        while (i < bytes.size() && bytes[i] != ' ' && bytes[i] != '\t' && bytes[i] != '\n' &&
               bytes[i] != '\r' && bytes[i] != '\v' && bytes[i] != '\f') {
            ++i;
        }
        tokens.push_back({bytes.substr(start, i - start), line});
    }
    return tokens;
}

// Walks the tokens; a key takes the token after it as its value.
struct ConfigCursor {
    const char* fileName;
    const std::vector<Token>& tokens;
    size_t next = 0;

    bool done() const { return next >= tokens.size(); }

    // The next token as a whole decimal integer. When it is not one, warns, leaves
    // `value` alone and does not consume the token (it may be the next key).
    bool takeInt(const std::string& key, int& value) {
        if (done()) {
            warn(key, "has no value at the end of the file");
            return false;
        }
        const std::string& text = tokens[next].text;
        const char* first = text.c_str() + (text[0] == '+' && text.size() > 1 ? 1 : 0);
        const char* last = text.c_str() + text.size();
        int parsed = 0;
        const auto result = std::from_chars(first, last, parsed);
        if (result.ec != std::errc() || result.ptr != last) {
            warn(key, "needs a whole number, found '" + text + "'; keeping " + std::to_string(value));
            return false;
        }
        value = parsed;
        ++next;
        return true;
    }

    bool takeWord(const std::string& key, std::string& word) {
        if (done()) {
            warn(key, "has no file name at the end of the file");
            return false;
        }
        word = tokens[next++].text;
        return true;
    }

    // A window side: a whole number the window system can make a window of.
    bool takeSize(const std::string& key, int& value) {
        int parsed = value;
        if (!takeInt(key, parsed)) return false;
        if (parsed < 1 || parsed > maxWindowSide) {
            warn(key, "must be 1.." + std::to_string(maxWindowSide) + ", found " + std::to_string(parsed) +
                          "; keeping " + std::to_string(value));
            return false;
        }
        value = parsed;
        return true;
    }

    void warn(const std::string& key, const std::string& what) const {
        const int line = tokens.empty() ? 1 : tokens[std::min(next, tokens.size() - 1)].line;
        std::fprintf(stderr, "%s: line %d: warning: %s\n", fileName, line, platform::printable(key + " " + what).c_str());
    }
};

}  // namespace

WindowConfig readWindowConfig(const char* fileName) {
    WindowConfig config;
    // A file that cannot be read is reported by the start-up reader, a moment later.
    std::string problem;
    const std::vector<Token> tokens = readTokens(fileName, problem);
    ConfigCursor cursor{fileName, tokens};
    while (!cursor.done()) {
        const std::string& key = tokens[cursor.next++].text;
        if (key == "FULLSCREEN") {
            cursor.takeInt(key, config.fullscreen);
        } else if (key == "WIDTH") {
            cursor.takeSize(key, config.width);
        } else if (key == "HEIGHT") {
            cursor.takeSize(key, config.height);
        }
    }
    return config;
}

void readEngineConfig(const char* fileName) {
    FULLSCREEN = 1;
    HEIGHT = 480;
    WIDTH = 640;
    DIRECTX = 0;
    std::string problem;
    const std::vector<Token> tokens = readTokens(fileName, problem);
    // The defaults switch the display mode (FULLSCREEN 1), so a missing file is worth a line.
    if (!problem.empty())
        std::fprintf(stderr, "%s: warning: %s; using the defaults FULLSCREEN 1, WIDTH 640, "
                             "HEIGHT 480, DIRECTX 0\n", fileName, problem.c_str());
    ConfigCursor cursor{fileName, tokens};
    while (!cursor.done()) {
        const std::string key = tokens[cursor.next++].text;
        int value = 0;
        if (key == "FULLSCREEN") {
            value = FULLSCREEN;
            if (cursor.takeInt(key, value)) FULLSCREEN = value;
        } else if (key == "WIDTH") {
            value = WIDTH;
            if (cursor.takeSize(key, value)) WIDTH = value;
        } else if (key == "HEIGHT") {
            value = HEIGHT;
            if (cursor.takeSize(key, value)) HEIGHT = value;
        } else if (key == "DIRECTX") {
            value = DIRECTX;
            if (cursor.takeInt(key, value)) DIRECTX = value;
        } else if (key == "PLAYDEMO" || key == "SAVEDEMO") {
            int32_t& setting = key == "PLAYDEMO" ? PLAYDEMO : SAVEDEMO;
            value = setting;
            if (cursor.takeInt(key, value)) {
                setting = value;
                cursor.takeWord(key, demoPath);
            }
        }
    }
}
