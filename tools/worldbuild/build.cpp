#include "worldbuild/build.h"

#include <sys/stat.h>  // Required for: stat, to tell the description among the outputs
#include <unistd.h>    // Required for: write, fsync, unlink, rename

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "files/regular_file.h"  // Required for: createBeside
#include "worldbuild/image_import.h"  // Required for: importTexture
#include "worldbuild/import.h"  // Required for: resolveModels
#include "worldbuild/layout.h"
#include "worldbuild/models.h"
#include "worldbuild/textures.h"

namespace worldbuild {
namespace {

std::vector<uint8_t> bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

bool sameFile(const std::string& a, const std::string& b) {
    struct stat first {}, second {};
    return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

// The builder writes the world's own files and nothing else: a texture or model name is
// a bitmap or a model, so it can never stand for game.ini, map.m, a demo or the
// description being built from (a description may come from anyone).
bool checkOutputName(const WorldDecl& world, int line, const std::string& what, const std::string& file,
                     const std::string& extension, const std::string& descriptionPath,
                     const std::string& outputDir, std::string& error) {
    const std::string place = world.fileName + ":" + std::to_string(line) + ": " + what + " '" + file + "'";
    if (!endsWithIgnoringCase(file, extension)) {
        error = place + " must end in " + extension + ": the builder writes only textures (.bmp), models (.3ds), "
                "game.ini and map.m";
        return false;
    }
    if (sameFile(outputDir + "/" + file, descriptionPath)) {
        error = place + " is the description itself: building would overwrite it";
        return false;
    }
    return true;
}

bool checkOutputNames(const WorldDecl& world, const std::string& descriptionPath, const std::string& outputDir,
                      std::string& error) {
    for (const TextureDecl& t : world.textures)
        if (!checkOutputName(world, t.line, "texture", t.file, ".bmp", descriptionPath, outputDir, error)) return false;
    for (const ModelDecl& m : world.models)
        if (!checkOutputName(world, m.line, "model", m.file, ".3ds", descriptionPath, outputDir, error)) return false;
    return true;
}

bool writeAll(int fd, const std::vector<uint8_t>& content) {
    size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

// Removes the new files made so far when the build stops halfway.
struct NewFiles {
    std::vector<std::pair<std::string, std::string>> made;  // (new file, its target)
    bool kept = false;
    ~NewFiles() {
        if (kept) return;
        for (const auto& file : made) unlink(file.first.c_str());
    }
};

// Every file is written beside its target first; only when all are whole on the disk
// are they renamed into place, so a full disk or an unwritable file halfway leaves the
// previous world as it was. A target that is a symbolic link, a FIFO, a device or a
// folder is refused, never written through or waited on.
bool writeWorldFiles(const WorldFiles& files, const std::string& outputDir, std::string& error) {
    NewFiles made;
    for (const auto& [name, content] : files) {
        const std::string path = outputDir + "/" + name;
        std::string temporary;
        platform::OpenedFile file = platform::createBeside(path, temporary);
        if (!file.ok()) {
            error = "cannot write " + path + ": " + file.reason + "; nothing was written";
            return false;
        }
        made.made.emplace_back(temporary, path);
        if (!writeAll(file.handle.fd(), content) || fsync(file.handle.fd()) != 0 || close(file.handle.release()) != 0) {
            error = "cannot write " + path + ": " + std::strerror(errno) + "; nothing was written";
            return false;
        }
    }
    for (const auto& [temporary, target] : made.made) {
        if (rename(temporary.c_str(), target.c_str()) != 0) {
            error = "cannot write " + target + ": " + std::strerror(errno);
            return false;
        }
    }
    made.kept = true;
    return true;
}

// A picture named in the description is found from the description's folder.
std::string sourcePath(const WorldDecl& world, const std::string& source) {
    if (!source.empty() && source[0] == '/') return source;
    const std::filesystem::path folder = std::filesystem::path(world.fileName).parent_path();
    return folder.empty() ? source : (folder / source).string();
}

}  // namespace

bool makeWorldFiles(const WorldDecl& world, WorldFiles& files, std::string& error,
                    std::vector<std::string>* warnings) {
    if (!checkWorld(world, error)) return false;
    WorldDecl resolved;
    WorldFiles modelFiles;
    std::vector<std::string> found;
    if (!resolveModels(world, resolved, modelFiles, found, error) || !checkWorld(resolved, error, warnings)) return false;
    if (warnings) warnings->insert(warnings->end(), found.begin(), found.end());
    files.clear();
    files.emplace_back("game.ini", bytes(writeGameIni(world)));
    files.emplace_back("map.m", bytes(writeMap(resolved)));
    for (const TextureDecl& t : world.textures) {
        std::vector<uint8_t> file;
        std::string why;
        if (!t.source.empty()) {
            if (!importTexture(sourcePath(world, t.source), t.sourcePixels, file, why)) {
                error = world.fileName + ":" + std::to_string(t.line) + ": texture '" + t.file + "' from '" + t.source +
                        "': " + why;
                return false;
            }
            files.emplace_back(t.file, std::move(file));
            continue;
        }
        if (!encodeBmp(renderTexture(t.recipe), t.recipe.pixels, t.recipe.flavour, file, why)) {
            error = world.fileName + ":" + std::to_string(t.line) + ": texture '" + t.file + "': " + why;
            return false;
        }
        files.emplace_back(t.file, std::move(file));
    }
    for (const ModelDecl& m : world.models)
        if (m.source.empty())
            files.emplace_back(m.file, encodeModel(makeMesh(m.recipe), objectName(m.file), m.recipe.texture));
    for (auto& file : modelFiles) files.push_back(std::move(file));
    return true;
}

bool buildWorld(const std::string& descriptionPath, const std::string& outputDir, std::string& error,
                size_t* filesWritten, std::vector<std::string>* warnings) {
    std::ifstream in(descriptionPath, std::ios::binary);
    if (!in) {
        error = "cannot read " + descriptionPath + ": " + std::strerror(errno);
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    WorldDecl world;
    WorldFiles files;
    if (!parseDescription(descriptionPath, text.str(), world, error) || !makeWorldFiles(world, files, error, warnings))
        return false;
    if (!checkOutputNames(world, descriptionPath, outputDir, error)) return false;
    std::error_code code;
    std::filesystem::create_directories(outputDir, code);
    if (!writeWorldFiles(files, outputDir, error)) return false;
    if (filesWritten) *filesWritten = files.size();
    return true;
}

}  // namespace worldbuild
