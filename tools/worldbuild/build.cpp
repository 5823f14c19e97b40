#include "worldbuild/build.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/bmp_writer.h"  // Required for: writeBytes
#include "worldbuild/layout.h"
#include "worldbuild/models.h"
#include "worldbuild/textures.h"

namespace worldbuild {
namespace {

std::vector<uint8_t> bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

// The object and material name inside a model file: the file's stem, cut to fit.
std::string objectName(const std::string& file) {
    return file.substr(0, std::min(file.find('.'), size_t(10)));
}

}  // namespace

bool makeWorldFiles(const WorldDecl& world, WorldFiles& files, std::string& error) {
    if (!checkWorld(world, error)) return false;
    files.clear();
    files.emplace_back("game.ini", bytes(writeGameIni(world)));
    files.emplace_back("map.m", bytes(writeMap(world)));
    for (const TextureDecl& t : world.textures) {
        std::vector<uint8_t> file;
        std::string why;
        if (!encodeBmp(renderTexture(t.recipe), t.recipe.pixels, t.recipe.flavour, file, why)) {
            error = world.fileName + ":" + std::to_string(t.line) + ": texture '" + t.file + "': " + why;
            return false;
        }
        files.emplace_back(t.file, std::move(file));
    }
    for (const ModelDecl& m : world.models)
        files.emplace_back(m.file, encodeModel(makeMesh(m.recipe), objectName(m.file), m.recipe.texture));
    return true;
}

bool buildWorld(const std::string& descriptionPath, const std::string& outputDir, std::string& error) {
    std::ifstream in(descriptionPath, std::ios::binary);
    if (!in) {
        error = "cannot read " + descriptionPath + ": " + std::strerror(errno);
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    WorldDecl world;
    WorldFiles files;
    if (!parseDescription(descriptionPath, text.str(), world, error) || !makeWorldFiles(world, files, error))
        return false;
    std::error_code code;
    std::filesystem::create_directories(outputDir, code);
    for (const auto& [name, content] : files) {
        const std::string path = outputDir + "/" + name;
        if (!writeBytes(path, content)) {
            error = "cannot write " + path + ": " + std::strerror(errno);
            return false;
        }
    }
    return true;
}

}  // namespace worldbuild
