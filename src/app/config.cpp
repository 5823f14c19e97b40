#include "app/config.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "world/settings.h"

namespace {

constexpr int maxWindowSide = 16384;

// game.ini as whitespace-separated tokens, each with the line it stands on (for
// warnings). Tokens may be of any length.
struct Token {
    std::string text;
    int line = 0;
};

std::vector<Token> readTokens(const char* fileName) {
    std::vector<Token> tokens;
    std::ifstream file(fileName, std::ios::binary);
    if (!file) return tokens;
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
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
        std::fprintf(stderr, "%s: line %d: warning: %s %s\n", fileName, line, key.c_str(), what.c_str());
    }
};

}  // namespace

WindowConfig readWindowConfig(const char* fileName) {
    WindowConfig config;
    const std::vector<Token> tokens = readTokens(fileName);
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
    const std::vector<Token> tokens = readTokens(fileName);
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
