// The world checker's loading of textures and models: the engine's own readers, with
// their messages caught instead of shown, so one run reports every asset that fails.
#include "world/check.h"

#include <utility>

#include "image/bitmap.h"        // Required for: loadBitmap, bitmapErrorSink
#include "model3ds/model3ds.h"   // Required for: the toolkit's files, database and error list
#include "world/world.h"         // Required for: textureCount, modelCount

namespace {

// Several lines of a message as one, for one line of report.
std::string oneLine(const std::string& text) {
    std::string line;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        if (end > start) {
            // A line that ends a sentence needs no separator of its own.
            const char* separator = line.empty() ? "" : line.back() == '.' ? " " : "; ";
            line += separator + text.substr(start, end - start);
        }
        start = end + 1;
    }
    return line;
}

// The bitmap loader's messages go to the sink while this lives.
struct CaughtBitmapMessages {
    std::string text;
    std::function<void(const std::string&)> saved = std::move(bitmapErrorSink);
    CaughtBitmapMessages() {
        bitmapErrorSink = [this](const std::string& message) { text += message + "\n"; };
    }
    ~CaughtBitmapMessages() { bitmapErrorSink = std::move(saved); }
};

// The first error recorded is the cause; the ones after it are the levels it passed up
// through, so they are only counted.
std::string toolkitMessages() {
    const ErrorEntry3ds* list = ErrorList3ds();
    std::string text;
    int further = 0;
    for (int i = 0; i < kErrorListSize3ds; ++i) {
        if (list[i].code == NO_FTK_ERRORS) continue;
        if (!text.empty()) {
            ++further;
            continue;
        }
        text = list[i].message ? list[i].message : ErrorMessage3ds(list[i].code);
        if (!list[i].where.empty()) text += " (" + list[i].where + ")";
    }
    if (further > 0) text += " and " + std::to_string(further) + " error" + (further > 1 ? "s" : "") + " after it";
    return text;
}

}  // namespace

std::string probeModel(const char* fileName) {
    ResetErrors3ds();
    file3ds* file = OpenModelFile3ds(fileName, "rb");
    if (file && !errorPending3ds) {
        ChunkDatabase3ds database;
        LoadDatabase3ds(file, &database);
        if (!errorPending3ds && database.topchunk) DisconnectChunk3ds(database.topchunk);
        FreeChunkTree3ds(&database.topchunk);
    }
    CloseModelFile3ds(file);
    std::string messages = errorPending3ds ? oneLine(toolkitMessages()) : std::string();
    if (errorPending3ds && messages.empty()) messages = "the model toolkit reported an error";
    ResetErrors3ds();
    return messages;
}

MapResolvers checkingResolvers(AssetFailures& failures) {
    MapResolvers resolvers;
    resolvers.loadTexture = [&failures](const char* fileName) {
        CaughtBitmapMessages caught;
        std::unique_ptr<ImageRecord> image = loadBitmap(fileName);
        if (!image) {
            const std::string message = oneLine(caught.text);
            failures.textures.emplace_back(textureCount, std::string("texture ") + fileName + " does not load: " +
                                                             (message.empty() ? "the bitmap loader gave no image" : message));
        }
        return image;
    };
    resolvers.buildModel = [&failures](const char* fileName) {
        const std::string message = probeModel(fileName);
        if (!message.empty())
            failures.models.emplace_back(modelCount, std::string("model ") + fileName + " does not load: " + message);
        return int32_t(0);
    };
    return resolvers;
}

std::vector<WorldProblem> assetProblems(const AssetFailures& failures, const MapLines& lines) {
    const auto lineOf = [](const std::vector<int32_t>& table, int32_t index) {
        return index >= 0 && size_t(index) < table.size() ? table[size_t(index)] : 0;
    };
    std::vector<WorldProblem> problems;
    for (const auto& [index, message] : failures.textures)
        problems.push_back({lineOf(lines.textures, index), Severity::error, message});
    for (const auto& [index, message] : failures.models)
        problems.push_back({lineOf(lines.models, index), Severity::error, message});
    return problems;
}
