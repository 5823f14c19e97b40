// The world checker's loading of textures and models: the engine's own readers, with
// their messages caught instead of shown, so one run reports every asset that fails.
#include "world/check.h"

#include <cstdio>  // Required for: fopen, the first bytes of a model file
#include <utility>

#include "image/bitmap.h"        // Required for: loadBitmap, bitmapErrorSink
#include "model3ds/model3ds.h"   // Required for: the toolkit's files, database and error list
#include "world/foreign_model.h"  // Required for: naming an OBJ or glTF file given as a model
#include "world/model_reading.h"  // Required for: walkModel, the model builder's walk
#include "world/world.h"         // Required for: the texture table, findOrAddTexture, modelCount

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


// The model builder's walk, stopping at the first error: the texture maps of the
// textured groups, or why the model would fail or draw nothing.
void readModel(const char* fileName, ModelProbe& probe) {
    const ForeignModel foreign = recogniseForeignModelFile(fileName);
    if (foreign.format) {
        probe.error = foreignModelMessage(fileName, foreign);
        return;
    }
    ModelVisitor visitor;
    visitor.toolkitStep = [] { return !errorPending3ds; };
    visitor.listed = [fileName, &probe](const NameArray3ds* names) {
        if (names && names->count > 0) return true;
        probe.error = startsAs3dsFile(fileName) ? "it holds no mesh, so the engine would draw nothing"
                                                : "it is no 3D Studio file (it does not start with a scene chunk), so "
                                                  "the engine would draw nothing";
        return false;
    };
    visitor.corrupt = [&probe](const MeshRecord3ds& mesh, const std::string& fault) {
        probe.error = "corrupt mesh \"" + mesh.name + "\": " + fault;
    };
    visitor.texturedGroup = [&probe](const MeshRecord3ds&, const MaterialGroup3ds&, const MaterialRecord3ds& material) {
        probe.textureMaps.push_back(material.textureMap.fileName);
    };
    walkModel(fileName, visitor);
}

// A texture the map or a model names, through the bitmap loader; a failure is noted on
// the entry about to be made.
std::unique_ptr<ImageRecord> loadCheckedTexture(AssetFailures& failures, const char* fileName,
                                                const std::string& namedBy) {
    CaughtBitmapMessages caught;
    std::unique_ptr<ImageRecord> image = loadBitmap(fileName);
    if (!image) {
        const std::string message = oneLine(caught.text);
        failures.textures.emplace_back(textureCount, "texture " + std::string(fileName) + namedBy + " does not load: " +
                                                         (message.empty() ? "the bitmap loader gave no image" : message));
    }
    return image;
}

}  // namespace

ModelProbe probeModel(const char* fileName) {
    ResetErrors3ds();
    ModelProbe probe;
    readModel(fileName, probe);
    if (errorPending3ds) {
        probe.error = oneLine(toolkitMessages());
        if (probe.error.empty()) probe.error = "the model toolkit reported an error";
    }
    if (!probe.error.empty()) probe.textureMaps.clear();
    ResetErrors3ds();
    return probe;
}

MapResolvers checkingResolvers(AssetFailures& failures) {
    MapResolvers resolvers;
    resolvers.loadTexture = [&failures](const char* fileName) { return loadCheckedTexture(failures, fileName, ""); };
    // Like the model builder: the texture maps join the shared table, and the last one
    // becomes the model's texture.
    resolvers.buildModel = [&failures](const char* fileName) {
        const int32_t model = modelCount;
        const ModelProbe probe = probeModel(fileName);
        std::string error = probe.error;
        const std::string namedBy = std::string(" of model ") + fileName;
        for (const std::string& map : probe.textureMaps) {
            const int32_t index = findOrAddTexture(map.c_str(), [&](const char* name) {
                return loadCheckedTexture(failures, name, namedBy);
            });
            if (index < 0) {
                error = "its texture " + map + " does not fit: more than " + std::to_string(maxTextures) + " textures";
                break;
            }
            lastModelTexture = index;
        }
        if (!error.empty())
            failures.models.emplace_back(model, std::string("model ") + fileName + " does not load: " + error);
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
