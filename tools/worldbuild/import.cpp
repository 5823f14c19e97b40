#include "worldbuild/import.h"

#include <assimp/cfileio.h>      // Required for: aiFileIO, the importer's file access
#include <assimp/cimport.h>      // Required for: aiImportFileExWithProperties, property stores
#include <assimp/config.h>       // Required for: the mesh splitting and primitive limits
#include <assimp/material.h>     // Required for: aiGetMaterialTexture, aiGetMaterialColor
#include <assimp/postprocess.h>  // Required for: the steps run on an imported scene
#include <assimp/scene.h>        // Required for: aiScene, aiMesh

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>

#include "image/bitmap.h"            // Required for: decodeBitmap, to check a texture brought along
#include "image/foreign_image.h"     // Required for: naming a JPEG or PNG texture map
#include "files/regular_file.h"   // Required for: openRegularStream, names in another case
#include "assets/chunk_writer.h"    // Required for: encode
#include "world/model_facts.h"       // Required for: readModelFacts, the engine's reading of a .3ds
#include "worldbuild/models.h"       // Required for: makeMesh, encodeModel, turnSine

namespace worldbuild {
namespace {

// What one .3ds mesh holds at most: its counts are 16-bit.
constexpr unsigned maxMeshItems = 65535;
// The largest texture map file brought along; the bitmap loader refuses far smaller
// pictures anyway.
constexpr long maxTextureFileBytes = 64L << 20;
// As for the engine's own model files.
constexpr long maxModelFileBytes = 256L << 20;

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
}

std::string under(const std::string& folder, const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    return folder == "." ? path : folder + "/" + path;
}

uint8_t colourByte(float v) { return uint8_t(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); }

// --- Reading ------------------------------------------------------------------------

bool readWith3dsToolkit(const std::string& path, ModelData& model, std::string& error) {
    ModelFacts facts;
    if (!readModelFacts(path.c_str(), facts, error)) return false;
    for (const ModelMeshFacts& in : facts.meshes) {
        modelwriter::Mesh mesh;
        mesh.name = in.name;
        for (size_t i = 0; i < in.vertices.size(); ++i) {
            const TexVert3ds uv = i < in.texCoords.size() ? in.texCoords[i] : TexVert3ds{};
            mesh.vertices.push_back({in.vertices[i].x, in.vertices[i].y, in.vertices[i].z, uv.u, uv.v});
        }
        mesh.textureVertices = std::min(in.texCoords.size(), in.vertices.size());
        for (const Face3ds& f : in.faces) mesh.faces.push_back({f.a, f.b, f.c});
        for (const MaterialGroup3ds& g : in.groups) mesh.groups.push_back({g.name, g.faceIndices});
        model.meshes.push_back(std::move(mesh));
    }
    for (const ModelMaterialFacts& in : facts.materials)
        model.materials.push_back({in.name, in.textureMap,
                                   {colourByte(in.diffuse.r), colourByte(in.diffuse.g), colourByte(in.diffuse.b)}});
    return true;
}

// Imported scenes and property stores, released however a read ends.
struct ImportedScene {
    const aiScene* scene = nullptr;
    ~ImportedScene() {
        if (scene) aiReleaseImport(scene);
    }
};
struct ImportProperties {
    aiPropertyStore* store = aiCreatePropertyStore();
    ~ImportProperties() { aiReleasePropertyStore(store); }
};

// The file a material's colour comes from: its diffuse map, or for physically based
// materials (glTF) its base colour map. Empty when it has none.
std::string textureMapOf(const aiMaterial* material) {
    aiString path;
    for (const aiTextureType type : {aiTextureType_DIFFUSE, aiTextureType_BASE_COLOR})
        if (aiGetMaterialTexture(material, type, 0, &path, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr) ==
            aiReturn_SUCCESS)
            return std::string(path.C_Str());
    return std::string();
}

// One material of the model per texture map (and one for every face without a map):
// materials that differ only in what the engine never draws become one.
struct MaterialsByMap {
    ModelData& model;
    std::map<std::string, std::string> nameOfMap;

    const std::string& materialFor(const std::string& map, const aiMaterial* source) {
        auto found = nameOfMap.find(map);
        if (found != nameOfMap.end()) return found->second;
        const std::string name = map.empty() ? "plain" : "map" + std::to_string(nameOfMap.size());
        aiColor4D diffuse(0.8f, 0.8f, 0.8f, 1);
        aiGetMaterialColor(source, AI_MATKEY_COLOR_DIFFUSE, &diffuse);
        model.materials.push_back({name, map, {colourByte(diffuse.r), colourByte(diffuse.g), colourByte(diffuse.b)}});
        return nameOfMap.emplace(map, name).first->second;
    }
};

std::string meshName(const aiMesh* mesh, unsigned index) {
    std::string name;
    for (const char c : std::string(mesh->mName.C_Str()))
        if (std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-') name += c;
    if (name.empty()) name = "mesh" + std::to_string(index);
    return name.substr(0, 10);
}

bool convertMesh(const aiMesh* in, unsigned index, const std::string& material, ModelData& model,
                 std::string& error) {
    if (in->mNumVertices > maxMeshItems || in->mNumFaces > maxMeshItems) {
        error = "mesh " + std::to_string(index) + " has more than 65535 vertices or faces";
        return false;
    }
    modelwriter::Mesh mesh;
    mesh.name = meshName(in, index);
    const aiVector3D* uv = in->mTextureCoords[0];
    for (unsigned i = 0; i < in->mNumVertices; ++i)
        mesh.vertices.push_back({in->mVertices[i].x, in->mVertices[i].y, in->mVertices[i].z, uv ? uv[i].x : 0.0f,
                                 uv ? uv[i].y : 0.0f});
    mesh.textureVertices = uv ? in->mNumVertices : 0;
    modelwriter::Group group{material, {}};
    for (unsigned f = 0; f < in->mNumFaces; ++f) {
        const aiFace& face = in->mFaces[f];
        if (face.mNumIndices != 3) continue;
        group.faces.push_back(uint16_t(mesh.faces.size()));
        mesh.faces.push_back({uint16_t(face.mIndices[0]), uint16_t(face.mIndices[1]), uint16_t(face.mIndices[2])});
    }
    if (mesh.faces.empty()) return true;
    mesh.groups.push_back(std::move(group));
    model.meshes.push_back(std::move(mesh));
    return true;
}

// Only a regular file of a bounded size goes to the importer, which would wait on a
// FIFO and read a device without end.
bool importable(const std::string& path, std::string& error) {
    std::string reason;
    std::FILE* file = platform::openRegularStream(path, platform::FileAccess::read, reason);
    if (!file) {
        error = "it cannot be read: " + reason;
        return false;
    }
    std::fseek(file, 0, SEEK_END);
    const long size = std::ftell(file);
    std::fclose(file);
    if (size < 0 || size > maxModelFileBytes) {
        error = "it is larger than 256 MiB, the most a model file may be";
        return false;
    }
    return true;
}

// Every file the importer opens, the model and what it names (materials, buffers,
// pictures), is opened as the engine opens files: a regular file of bounded size or
// none, read only. So a model that names a FIFO or a device cannot hang the build or read
// without end; the importer then goes on as with a file that is missing.
struct GuardedFile {
    aiFile file{};
    std::FILE* stream = nullptr;
    size_t size = 0;
};

GuardedFile& guarded(aiFile* file) { return *reinterpret_cast<GuardedFile*>(file->UserData); }

size_t readGuarded(aiFile* file, char* buffer, size_t size, size_t count) {
    return std::fread(buffer, size, count, guarded(file).stream);
}
size_t writeNothing(aiFile*, const char*, size_t, size_t) { return 0; }
size_t tellGuarded(aiFile* file) {
    const long at = std::ftell(guarded(file).stream);
    return at < 0 ? 0 : size_t(at);
}
size_t sizeOfGuarded(aiFile* file) { return guarded(file).size; }
void flushNothing(aiFile*) {}
aiReturn seekGuarded(aiFile* file, size_t offset, aiOrigin origin) {
    if (offset > size_t(maxModelFileBytes)) return aiReturn_FAILURE;
    const int whence = origin == aiOrigin_SET ? SEEK_SET : origin == aiOrigin_CUR ? SEEK_CUR : SEEK_END;
    return std::fseek(guarded(file).stream, long(offset), whence) == 0 ? aiReturn_SUCCESS : aiReturn_FAILURE;
}

aiFile* openGuarded(aiFileIO*, const char* path, const char* mode) {
    if (!path || !mode || std::strpbrk(mode, "wa+")) return nullptr;
    std::string reason;
    std::FILE* stream = platform::openRegularStream(path, platform::FileAccess::read, reason);
    if (!stream) return nullptr;
    const long size = std::fseek(stream, 0, SEEK_END) == 0 ? std::ftell(stream) : -1;
    if (size < 0 || size > maxModelFileBytes || std::fseek(stream, 0, SEEK_SET) != 0) {
        std::fclose(stream);
        return nullptr;
    }
    auto* opened = new GuardedFile;
    opened->stream = stream;
    opened->size = size_t(size);
    opened->file = {readGuarded, writeNothing, tellGuarded, sizeOfGuarded, seekGuarded, flushNothing,
                    reinterpret_cast<aiUserData>(opened)};
    return &opened->file;
}

void closeGuarded(aiFileIO*, aiFile* file) {
    if (!file) return;
    GuardedFile* opened = &guarded(file);
    std::fclose(opened->stream);
    delete opened;
}

bool readWithAssimp(const std::string& path, ModelData& model, std::vector<std::string>& notes, std::string& error) {
    if (!importable(path, error)) return false;
    ImportProperties properties;
    aiSetImportPropertyInteger(properties.store, AI_CONFIG_PP_SLM_VERTEX_LIMIT, int(maxMeshItems));
    aiSetImportPropertyInteger(properties.store, AI_CONFIG_PP_SLM_TRIANGLE_LIMIT, int(maxMeshItems));
    aiSetImportPropertyInteger(properties.store, AI_CONFIG_PP_SBP_REMOVE, aiPrimitiveType_POINT | aiPrimitiveType_LINE);
    // Node transforms are applied, so the geometry stands as the file shows it; the
    // file's axes are kept, as the engine keeps a .3ds file's.
    const unsigned steps = aiProcess_Triangulate | aiProcess_JoinIdenticalVertices | aiProcess_PreTransformVertices |
                           aiProcess_SortByPType | aiProcess_SplitLargeMeshes | aiProcess_ValidateDataStructure;
    ImportedScene imported;
    aiFileIO files{openGuarded, closeGuarded, nullptr};
    imported.scene = aiImportFileExWithProperties(path.c_str(), steps, &files, properties.store);
    if (!imported.scene || (imported.scene->mFlags & AI_SCENE_FLAGS_INCOMPLETE)) {
        error = std::string("it cannot be read: ") + aiGetErrorString();
        return false;
    }
    const aiScene& scene = *imported.scene;
    MaterialsByMap materials{model, {}};
    for (unsigned i = 0; i < scene.mNumMeshes; ++i) {
        const aiMesh* mesh = scene.mMeshes[i];
        if (!(mesh->mPrimitiveTypes & aiPrimitiveType_TRIANGLE)) continue;
        const aiMaterial* source = mesh->mMaterialIndex < scene.mNumMaterials ? scene.mMaterials[mesh->mMaterialIndex]
                                                                             : nullptr;
        std::string map = source ? textureMapOf(source) : std::string();
        if (!map.empty() && map[0] == '*') {
            notes.push_back("its texture " + map + " is held inside the file and is left out: the builder takes "
                            "texture maps from files beside the model");
            map.clear();
        }
        if (!convertMesh(mesh, i, materials.materialFor(map, source), model, error)) return false;
    }
    return true;
}

// --- Texture maps -------------------------------------------------------------------

bool plainFileName(const std::string& name) {
    if (name.empty() || name[0] == '.') return false;
    for (const char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '_' && c != '-') return false;
    return true;
}

// The name a texture map is written under in the world: the map's own name when it is a
// plain BMP name of at most 12 characters (what a model's map may hold), otherwise its
// stem cut to 8 characters, with ".bmp".
std::string worldMapName(const std::string& map) {
    std::string base = map;
    std::replace(base.begin(), base.end(), '\\', '/');
    base = base.substr(base.rfind('/') == std::string::npos ? 0 : base.rfind('/') + 1);
    if (endsWithIgnoringCase(base, ".bmp") && base.size() <= 12 && plainFileName(base)) return base;
    const size_t dot = base.rfind('.');
    const std::string name = dot == std::string::npos || dot == 0 ? base : base.substr(0, dot);
    std::string stem;
    for (const char c : name) stem += std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' ? c : '_';
    if (stem.empty()) stem = "texture";
    return stem.substr(0, 8) + ".bmp";
}


// --- The stage ------------------------------------------------------------------------

class ModelResolver {
public:
    ModelResolver(const WorldDecl& world, WorldDecl& resolved, WorldFiles& files, std::vector<std::string>& warnings)
        : world_(world), resolved_(resolved), files_(files), warnings_(warnings) {}

    bool run() {
        resolved_ = world_;
        files_.clear();
        for (const ModelDecl& m : world_.models)
            if (!readModel(m)) return false;
        for (PlaceDecl& p : resolved_.places)
            if (!place(p)) return false;
        return true;
    }

    std::string error;

private:
    struct Held {
        const ModelDecl* decl = nullptr;
        ModelData data;             // models read from a file, as written
        std::vector<float> points;  // x, y, z of every vertex, as written
    };

    bool fail(int line, const std::string& message) {
        error = world_.fileName + ":" + std::to_string(line) + ": " + message;
        return false;
    }
    void warn(int line, const std::string& message) {
        warnings_.push_back(world_.fileName + ":" + std::to_string(line) + ": warning: " + message);
    }

    bool declaresTexture(const std::string& name) const {
        for (const TextureDecl& t : world_.textures)
            if (t.file == name) return true;
        return false;
    }
    bool nameTaken(const std::string& name) const {
        if (declaresTexture(name) || brought_.count(name)) return true;
        for (const ModelDecl& m : resolved_.models)
            if (m.file == name) return true;
        return false;
    }

    bool readModel(const ModelDecl& m) {
        Held held;
        held.decl = &m;
        if (m.source.empty()) {
            held.points = makeMesh(m.recipe).points;
        } else {
            const std::string path = under(folderOf(world_.fileName), m.source);
            std::vector<std::string> notes;
            std::string why;
            if (!readModelSource(path, held.data, notes, why)) return fail(m.line, "model '" + m.file + "': " + path + ": " + why);
            for (const std::string& note : notes) warn(m.line, "model '" + m.file + "': " + note);
            if (!bringTextureMaps(m, held.data)) return false;
            scaleModel(held.data, m.scale);
            for (const modelwriter::Mesh& mesh : held.data.meshes)
                for (const modelwriter::Vertex& v : mesh.vertices) held.points.insert(held.points.end(), {v.x, v.y, v.z});
            files_.emplace_back(m.file, encodeModelData(held.data));
        }
        held_.emplace(m.file, std::move(held));
        return true;
    }

    // Each texture map is written in the copy under the name it has in the world; the
    // bitmap it names comes along from beside the model, unless the description makes a
    // texture of that name itself (a picture converted from another format, say).
    bool bringTextureMaps(const ModelDecl& m, ModelData& data) {
        bool textured = false;
        for (modelwriter::Material& material : data.materials) {
            if (material.textureMap.empty()) {
                material.textureMap = m.recipe.texture;
            } else {
                const std::string source = material.textureMap;
                material.textureMap = worldMapName(source);
                if (!declaresTexture(material.textureMap) && !bringTextureMap(m, source, material.textureMap))
                    return false;
            }
            textured = textured || !material.textureMap.empty();
        }
        if (!textured)
            warn(m.line, "model '" + m.file + "' has no texture map, and the engine draws only textured faces: it "
                         "will show nothing (give its faces one with 'texture NAME.bmp')");
        return true;
    }

    bool bringTextureMap(const ModelDecl& m, std::string source, const std::string& name) {
        std::replace(source.begin(), source.end(), '\\', '/');
        // Beside the model; messages name it as the description would.
        const std::string named = under(folderOf(m.source), source);
        const std::string path = under(folderOf(world_.fileName), named);
        const std::string what = "model '" + m.file + "': its texture map " + source;
        const auto earlier = brought_.find(name);
        if (earlier != brought_.end()) {
            if (earlier->second == path || earlier->second == platform::findIgnoringCase(path)) return true;
            return fail(m.line, what + " would be written as " + name + ", as " + earlier->second + " is already");
        }
        std::vector<uint8_t> bytes;
        std::string reason;
        if (!readWholeFile(path, bytes, reason)) {
            // Missing is the usual case and says where it was looked for; anything else
            // (a FIFO, too large) is said as it is.
            const bool missing = std::filesystem::symlink_status(path).type() == std::filesystem::file_type::not_found;
            return fail(m.line, what + (missing ? " is missing: " : " cannot be read: ") + path + ": " + reason +
                                    (missing ? " (texture maps are looked for beside the model)" : ""));
        }
        const ForeignImage foreign = recogniseForeignImage(bytes.data(), bytes.size());
        if (foreign.format)
            return fail(m.line, what + " is a " + foreign.format + " image; textures are BMP files: convert it with "
                                "'texture " + name + " file " + named + "' before the model");
        const DecodeResult decoded = decodeBitmap(bytes.data(), bytes.size());
        if (!decoded.image)
            return fail(m.line, what + " (" + path + ") does not load: " + bitmapFailureText(decoded.failure) + " " +
                                    decoded.detail);
        if (nameTaken(name)) return fail(m.line, what + " would be written as " + name + ", a name the world uses");
        brought_.emplace(name, path);
        files_.emplace_back(name, std::move(bytes));
        return true;
    }

    // The model file a scale of the place's own needs: a copy scaled once more, one per
    // model and scale, named after the model.
    bool scaledCopy(const PlaceDecl& p, const Held& held, std::string& name) {
        const auto key = std::make_pair(p.model, p.scale);
        if (const auto found = copies_.find(key); found != copies_.end()) {
            name = found->second;
            return true;
        }
        const std::string stem = p.model.substr(0, p.model.size() - 4);
        for (int n = 2; name.empty() || nameTaken(name); ++n) name = stem + "-" + std::to_string(n) + ".3ds";
        if (name.size() > 19)
            return fail(p.line, "a scaled copy of '" + p.model + "' would be named '" + name +
                                    "', longer than 19 characters: give the model a shorter name");
        ModelDecl copy = *held.decl;
        copy.file = name;
        resolved_.models.push_back(copy);
        if (held.decl->source.empty()) {
            Mesh mesh = makeMesh(held.decl->recipe);
            for (float& v : mesh.points) v *= p.scale;
            files_.emplace_back(name, encodeModel(mesh, objectName(name),
                                                  held.decl->recipe.texture));
        } else {
            ModelData data = held.data;
            scaleModel(data, p.scale);
            files_.emplace_back(name, encodeModelData(data));
        }
        copies_.emplace(key, name);
        return true;
    }

    bool place(PlaceDecl& p) {
        const Held& held = held_.at(p.model);
        const PlacedBox box = placedBox(held.points, p.scale, p.turn, p.spin);
        if (p.scale != 1) {
            std::string name;
            if (!scaledCopy(p, held, name)) return false;
            p.model = name;
        }
        if (!p.hasBox) {
            // Rounded outwards to a thousandth, so that the map's decimals still cover it.
            for (size_t k = 0; k < 3; ++k) {
                p.box[k] = std::floor(box.low[k] * 1000.0f) / 1000.0f;
                p.box[k + 3] = std::ceil(box.high[k] * 1000.0f) / 1000.0f;
            }
            return true;
        }
        constexpr float slack = 0.01f;
        for (size_t k = 0; k < 3; ++k)
            if (p.box[k] > box.low[k] + slack || p.box[k + 3] < box.high[k] - slack) {
                warn(p.line, "the box does not cover the model '" + held.decl->file + "' as placed and turned: about its "
                             "position it reaches x " + number(box.low[0]) + " to " + number(box.high[0]) + ", y " +
                             number(box.low[1]) + " to " + number(box.high[1]) + ", z " + number(box.low[2]) + " to " +
                             number(box.high[2]) + " (leave out 'box' to have it follow the model)");
                break;
            }
        return true;
    }

    static std::string number(float v) {
        char text[32];
        std::snprintf(text, sizeof text, "%.4g", double(v));
        return std::string(text) == "-0" ? "0" : text;
    }

    const WorldDecl& world_;
    WorldDecl& resolved_;
    WorldFiles& files_;
    std::vector<std::string>& warnings_;
    std::map<std::string, Held> held_;                        // by model file
    std::map<std::string, std::string> brought_;              // texture file -> where it came from
    std::map<std::pair<std::string, float>, std::string> copies_;  // (model, scale) -> its scaled copy
};

}  // namespace

bool readWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& reason) {
    std::FILE* file = platform::openRegularStream(path, platform::FileAccess::read, reason);
    if (!file) return false;
    bytes.clear();
    uint8_t block[65536];
    for (size_t got; (got = std::fread(block, 1, sizeof block, file)) > 0;) {
        bytes.insert(bytes.end(), block, block + got);
        if (bytes.size() > size_t(maxTextureFileBytes)) {
            std::fclose(file);
            reason = "it is larger than 64 MiB";
            return false;
        }
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) reason = "it cannot be read";
    return !failed;
}

bool readModelSource(const std::string& path, ModelData& model, std::vector<std::string>& notes, std::string& error) {
    model = ModelData{};
    const bool read = endsWithIgnoringCase(path, ".3ds") ? readWith3dsToolkit(path, model, error)
                                                         : readWithAssimp(path, model, notes, error);
    if (!read) return false;
    size_t faces = 0;
    for (const modelwriter::Mesh& mesh : model.meshes) faces += mesh.faces.size();
    if (faces == 0) {
        error = "it holds no triangle";
        return false;
    }
    return true;
}

void scaleModel(ModelData& model, float scale) {
    for (modelwriter::Mesh& mesh : model.meshes)
        for (modelwriter::Vertex& v : mesh.vertices) {
            v.x *= scale;
            v.y *= scale;
            v.z *= scale;
        }
}

std::vector<uint8_t> encodeModelData(const ModelData& model) {
    return chunkwriter::encode(modelwriter::scene(model.materials, model.meshes));
}

PlacedBox placedBox(const std::vector<float>& points, float scale, const std::array<int, 3>& turn, bool spin) {
    std::vector<std::array<double, 3>> corners;
    if (spin) {
        // Any turn about its own Z: the circle its farthest point sweeps, over its heights.
        double reach = 0, low = 0, high = 0;
        for (size_t i = 0; i + 2 < points.size(); i += 3) {
            const double x = points[i] * scale, y = points[i + 1] * scale, z = points[i + 2] * scale;
            reach = std::max(reach, std::sqrt(x * x + y * y));
            low = i == 0 ? z : std::min(low, z);
            high = i == 0 ? z : std::max(high, z);
        }
        for (const double x : {-reach, reach})
            for (const double y : {-reach, reach})
                for (const double z : {low, high}) corners.push_back({x, y, z});
    } else {
        for (size_t i = 0; i + 2 < points.size(); i += 3)
            corners.push_back({double(points[i]) * scale, double(points[i + 1]) * scale, double(points[i + 2]) * scale});
    }
    // The engine turns about X, then Y, then Z on the matrix stack, so a point is turned
    // about Z first.
    const double sx = turnSine(turn[0], 360), cx = turnCosine(turn[0], 360);
    const double sy = turnSine(turn[1], 360), cy = turnCosine(turn[1], 360);
    const double sz = turnSine(turn[2], 360), cz = turnCosine(turn[2], 360);
    PlacedBox box;
    bool first = true;
    for (const auto& c : corners) {
        double x = c[0] * cz - c[1] * sz, y = c[0] * sz + c[1] * cz, z = c[2];
        const double x2 = x * cy + z * sy, z2 = -x * sy + z * cy;
        x = x2;
        z = z2;
        const double y3 = y * cx - z * sx, z3 = y * sx + z * cx;
        const double v[3] = {x, y3, z3};
        for (size_t k = 0; k < 3; ++k) {
            box.low[k] = first ? float(v[k]) : std::min(box.low[k], float(v[k]));
            box.high[k] = first ? float(v[k]) : std::max(box.high[k], float(v[k]));
        }
        first = false;
    }
    return box;
}

bool resolveModels(const WorldDecl& world, WorldDecl& resolved, WorldFiles& files, std::vector<std::string>& warnings,
                   std::string& error) {
    ModelResolver resolver(world, resolved, files, warnings);
    if (resolver.run()) return true;
    error = resolver.error;
    return false;
}

}  // namespace worldbuild
