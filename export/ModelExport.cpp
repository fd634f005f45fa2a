#include "ModelExport.h"

#include <assimp/DefaultIOSystem.h>
#include <assimp/material.h>
#include <assimp/metadata.h>
#include <assimp/scene.h>
#include <assimp/Exporter.hpp>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <future>
#include <map>
#include <memory>
#include <system_error>

#include <unistd.h>

#include "PngFile.h"
#include "TextureData.h"

namespace fs = std::filesystem;

namespace vistrel {

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string TemporaryName(const fs::path& path) { return path.string() + ".tmp-" + std::to_string(::getpid()); }

// The files of one export: every file the library opens for writing (and the
// PNG files written beside it) goes to a temporary name; Commit renames them
// all once the export has succeeded, Discard removes them.
class TStagedIOSystem : public Assimp::DefaultIOSystem {
public:
    Assimp::IOStream* Open(const char* file, const char* mode = "rb") override {
        if (!std::strchr(mode, 'w') && !std::strchr(mode, 'a')) return DefaultIOSystem::Open(file, mode);
        return DefaultIOSystem::Open(Stage(file).c_str(), mode);
    }

    // The temporary name of a file that will be final once committed.
    std::string Stage(const fs::path& final) {
        staged_.push_back({TemporaryName(final), final});
        return staged_.back().first;
    }

    bool Commit(std::vector<fs::path>& written, std::string& error) {
        for (const auto& [temporary, final] : staged_) {
            std::error_code ec;
            fs::rename(temporary, final, ec);
            if (ec) {
                error = "cannot write " + final.string() + ": " + ec.message();
                Discard();
                return false;
            }
            written.push_back(final);
        }
        staged_.clear();
        return true;
    }

    // The temporary name of a staged file; empty when it was not written.
    std::string TemporaryOf(const fs::path& final) const {
        for (const auto& [temporary, staged] : staged_)
            if (staged == final) return temporary;
        return {};
    }

    void Discard() {
        for (const auto& [temporary, final] : staged_) {
            std::error_code ec;
            fs::remove(temporary, ec);
        }
        staged_.clear();
    }

private:
    std::vector<std::pair<std::string, fs::path>> staged_;
};

// What the export makes of one texture name.
struct TTextureOut {
    std::string name;          // as the model names it
    fs::path file;             // where it was found; empty when not
    std::vector<uint8_t> png;  // the decoded picture; empty when none
    std::string problem;       // why it is left out
    std::string pngName;       // the PNG file beside the export, or "*k" inside it
};

TTextureOut PrepareTexture(const std::vector<fs::path>& roots, const std::string& name) {
    TTextureOut out;
    out.name = name;
    out.file = FindTextureFile(roots, name);
    if (out.file.empty()) {
        out.problem = "texture " + name + " not found" +
                      (roots.empty() ? std::string() : " under " + roots.front().string()) + "; left untextured";
        return out;
    }
    std::string error;
    const std::optional<TextureImage> image = DecodeTextureFile(out.file.string(), &error);
    if (!image) {
        out.problem = "texture " + out.file.string() + " not decoded (" + error + "); left untextured";
        return out;
    }
    if (!EncodePngFromBgra(image->width, image->height, image->bgra.data(), out.png, error))
        out.problem = "texture " + out.file.string() + " not encoded (" + error + "); left untextured";
    return out;
}

// The LOD's faces that can be drawn: 3 or 4 corners, each naming a vertex
// and a normal of the LOD.
bool Exportable(const APolygon& polygon, const TP3dLOD& lod) {
    if (polygon.VertexCount != 3 && polygon.VertexCount != 4) return false;
    for (int k = 0; k < polygon.VertexCount; ++k) {
        const int32_t index = polygon.Corners[k].VertexIndex;
        if (index < 0 || index >= lod.Vertexes.Count() || index >= lod.Normals.Count()) return false;
    }
    return true;
}

// Model points and normals as the view draws them (x mirrored for points,
// y and z for the normals, which the files store pointing inwards), so that
// other tools show the model as the view does. glTF and OBJ want texture
// rows counted from the bottom; the model's V counts them from the top.
aiVector3D Position(const AVertex& v) { return {-v.X, v.Y, v.Z}; }

aiVector3D Normal(const ANormal& n) {
    aiVector3D out{n.X, -n.Y, -n.Z};
    const float length = out.Length();
    return length > 1e-12f && std::isfinite(length) ? out / length : aiVector3D{0, 1, 0};
}

// One mesh of the LOD's faces with one material. The view draws front faces
// clockwise; the formats want them counter-clockwise: each face's corners
// are sent in reverse, quads as two triangles (0, 2, 1) and (0, 3, 2).
aiMesh* BuildMesh(const TP3dLOD& lod, const std::vector<const APolygon*>& faces, unsigned material,
                  const std::string& name) {
    std::vector<int> slot(static_cast<std::size_t>(lod.Vertexes.Count()), -1);
    std::vector<aiVector3D> positions, normals, uvs;
    std::vector<unsigned> triangles;
    auto vertex = [&](const ACorner& corner) {
        const auto index = static_cast<std::size_t>(corner.VertexIndex);
        const aiVector3D uv{corner.U, 1.0f - corner.V, 0.0f};
        if (slot[index] >= 0 && uvs[static_cast<std::size_t>(slot[index])] == uv)
            return static_cast<unsigned>(slot[index]);
        slot[index] = static_cast<int>(positions.size());
        positions.push_back(Position(*lod.Vertexes[index]));
        normals.push_back(Normal(*lod.Normals[index]));
        uvs.push_back(uv);
        return static_cast<unsigned>(slot[index]);
    };
    for (const APolygon* polygon : faces) {
        unsigned c[4];
        for (int k = 0; k < polygon->VertexCount; ++k) c[k] = vertex(polygon->Corners[k]);
        triangles.insert(triangles.end(), {c[0], c[2], c[1]});
        if (polygon->VertexCount == 4) triangles.insert(triangles.end(), {c[0], c[3], c[2]});
    }

    auto* mesh = new aiMesh;
    mesh->mName = name;
    mesh->mMaterialIndex = material;
    mesh->mPrimitiveTypes = aiPrimitiveType_TRIANGLE;
    mesh->mNumVertices = static_cast<unsigned>(positions.size());
    mesh->mVertices = new aiVector3D[positions.size()];
    mesh->mNormals = new aiVector3D[positions.size()];
    mesh->mTextureCoords[0] = new aiVector3D[positions.size()];
    mesh->mNumUVComponents[0] = 2;
    std::copy(positions.begin(), positions.end(), mesh->mVertices);
    std::copy(normals.begin(), normals.end(), mesh->mNormals);
    std::copy(uvs.begin(), uvs.end(), mesh->mTextureCoords[0]);
    mesh->mNumFaces = static_cast<unsigned>(triangles.size() / 3);
    mesh->mFaces = new aiFace[mesh->mNumFaces];
    for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
        mesh->mFaces[f].mNumIndices = 3;
        mesh->mFaces[f].mIndices = new unsigned[3]{triangles[3 * f], triangles[3 * f + 1], triangles[3 * f + 2]};
    }
    return mesh;
}

// A metadata block of n entries (the library gives none for 0).
aiMetadata* Metadata(std::size_t n) { return n ? aiMetadata::Alloc(static_cast<unsigned>(n)) : new aiMetadata; }

// The LOD's resolution, named selections (with their face counts) and
// properties as the node's metadata (glTF "extras"): "resolution",
// "selection NAME" and "property NAME" (the library copies flat metadata
// only).
aiMetadata* LodMetadata(const TP3dLOD& lod) {
    const auto selections = static_cast<std::size_t>(lod.Selections.Count());
    aiMetadata* meta = Metadata(1 + selections + lod.Properties.size());
    unsigned k = 0;
    meta->Set(k++, "resolution", static_cast<double>(lod.Resolution));
    for (const TRealSelection* selection : lod.Selections)
        meta->Set(k++, "selection " + selection->Name, static_cast<int32_t>(selection->Polygons.Count()));
    for (const std::string& line : lod.Properties) {  // "name= value"
        const std::size_t eq = line.find("= ");
        const std::string key = eq == std::string::npos ? line : line.substr(0, eq);
        const std::string value = eq == std::string::npos ? std::string() : line.substr(eq + 2);
        meta->Set(k++, "property " + key, aiString(value));
    }
    return meta;
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);  // bytes above 0x7F as they are
        }
    }
    return out + "\"";
}

std::string JsonNumber(double value) {
    if (!std::isfinite(value)) return "null";
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

// The extras of a LOD node: its resolution, named selections with their
// face counts, properties by name.
std::string LodExtras(const TP3dLOD& lod) {
    std::string selections, properties;
    for (const TRealSelection* selection : lod.Selections)
        selections += (selections.empty() ? "" : ",") + JsonString(selection->Name) + ":" +
                      std::to_string(selection->Polygons.Count());
    for (const std::string& line : lod.Properties) {  // "name= value"
        const std::size_t eq = line.find("= ");
        properties += (properties.empty() ? "" : ",") +
                      JsonString(eq == std::string::npos ? line : line.substr(0, eq)) + ":" +
                      JsonString(eq == std::string::npos ? std::string() : line.substr(eq + 2));
    }
    return "{\"resolution\":" + JsonNumber(lod.Resolution) + ",\"selections\":{" + selections + "},\"properties\":{" +
           properties + "}}";
}

// Where the objects of the top-level "nodes" array of a glTF document begin
// (just after each "{"): a scan of strings and brackets, no more.
std::vector<std::size_t> NodeObjectStarts(const std::string& json) {
    std::vector<std::size_t> starts;
    int depth = 0, nodesDepth = -1;
    std::string lastString, key;
    for (std::size_t i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (c == '"') {
            const std::size_t begin = ++i;
            while (i < json.size() && json[i] != '"') i += json[i] == '\\' ? 2 : 1;
            lastString = json.substr(begin, std::min(i, json.size()) - begin);
        } else if (c == ':') {
            key = lastString;
        } else if (c == '{' || c == '[') {
            ++depth;
            if (c == '[' && depth == 2 && key == "nodes")
                nodesDepth = depth;
            else if (c == '{' && nodesDepth > 0 && depth == nodesDepth + 1)
                starts.push_back(i + 1);
            key.clear();
        } else if (c == '}' || c == ']') {
            if (depth == nodesDepth) nodesDepth = -1;
            --depth;
        } else if (c == ',') {
            key.clear();
        }
    }
    return starts;
}

// The library's glTF exporter writes no extras: they are added to its
// document, one per node in the order the nodes were given (the root, then
// the LODs). False when the document does not have that many nodes.
bool AddNodeExtras(std::string& json, const std::vector<std::string>& extras) {
    const std::vector<std::size_t> starts = NodeObjectStarts(json);
    if (starts.size() != extras.size()) return false;
    for (std::size_t k = starts.size(); k-- > 0;) {
        const std::size_t next = json.find_first_not_of(" \t\r\n", starts[k]);
        const bool empty = next != std::string::npos && json[next] == '}';
        json.insert(starts[k], "\"extras\":" + extras[k] + (empty ? "" : ","));
    }
    return true;
}

bool ReadWhole(const std::string& path, std::string& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, n);
    const bool ok = !std::ferror(file);
    std::fclose(file);
    return ok;
}

bool WriteWhole(const std::string& path, const std::string& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (std::fclose(file) != 0) ok = false;
    return ok;
}

uint32_t U32At(const std::string& b, std::size_t at) {
    return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 | uint32_t(uint8_t(b[at + 2])) << 16 |
           uint32_t(uint8_t(b[at + 3])) << 24;
}

void PutU32(std::string& b, std::size_t at, uint32_t v) {
    for (int k = 0; k < 4; ++k) b[at + static_cast<std::size_t>(k)] = static_cast<char>(v >> (8 * k));
}

// Adds the extras to a written .gltf, or to the JSON chunk of a written .glb
// (12-byte header, then chunks of length, type and data padded to 4 bytes).
bool AddExtrasToFile(const std::string& path, bool binary, const std::vector<std::string>& extras) {
    std::string bytes;
    if (!ReadWhole(path, bytes)) return false;
    if (!binary) return AddNodeExtras(bytes, extras) && WriteWhole(path, bytes);
    if (bytes.size() < 20 || bytes.compare(0, 4, "glTF") != 0 || bytes.compare(16, 4, "JSON") != 0) return false;
    const std::size_t jsonLength = U32At(bytes, 12);
    if (jsonLength > bytes.size() - 20) return false;
    std::string json = bytes.substr(20, jsonLength);
    while (!json.empty() && json.back() == ' ') json.pop_back();
    if (!AddNodeExtras(json, extras)) return false;
    json.append((4 - json.size() % 4) % 4, ' ');
    std::string out = bytes.substr(0, 20) + json + bytes.substr(20 + jsonLength);
    PutU32(out, 8, static_cast<uint32_t>(out.size()));
    PutU32(out, 12, static_cast<uint32_t>(json.size()));
    return WriteWhole(path, out);
}

bool CarriesMaterials(const TExportFormat& format) {
    const std::string e = Lower(format.Extension);
    return e != "stl" && e != "ply" && e != "stp" && e != "x3d";
}

}  // namespace

std::vector<TExportFormat> ExportFormats() {
    Assimp::Exporter exporter;
    std::vector<TExportFormat> formats;
    for (std::size_t k = 0; k < exporter.GetExportFormatCount(); ++k) {
        const aiExportFormatDesc* d = exporter.GetExportFormatDescription(k);
        if (d) formats.push_back({d->id, d->fileExtension, d->description});
    }
    return formats;
}

const TExportFormat* FindExportFormat(const std::vector<TExportFormat>& formats, const std::string& id,
                                      const fs::path& path) {
    if (!id.empty()) {
        for (const TExportFormat& f : formats)
            if (f.Id == id) return &f;
        return nullptr;
    }
    std::string ext = Lower(path.extension().string());
    if (ext.empty()) return nullptr;
    ext.erase(0, 1);
    for (const TExportFormat& f : formats)
        if (Lower(f.Extension) == ext) return &f;
    return nullptr;
}

std::string SafeTextureFileName(const std::string& textureName, std::vector<std::string>& taken) {
    std::string last = textureName;
    const std::size_t cut = last.find_last_of("\\/:");
    if (cut != std::string::npos) last.erase(0, cut + 1);
    const std::size_t dot = last.find_last_of('.');
    if (dot != std::string::npos && dot > 0) last.erase(dot);
    std::string stem;
    for (unsigned char c : last)
        stem += std::isalnum(c) || c == '-' || c == '_' || c == '.' ? static_cast<char>(c) : '_';
    if (stem.empty() || stem.find_first_not_of('.') == std::string::npos) stem = "texture";
    std::string name = stem + ".png";
    for (int n = 2; std::find(taken.begin(), taken.end(), Lower(name)) != taken.end(); ++n)
        name = stem + "_" + std::to_string(n) + ".png";
    taken.push_back(Lower(name));
    return name;
}

fs::path FindTextureFile(const std::vector<fs::path>& roots, const std::string& name) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : name) {
        if (c == '\\' || c == '/') {
            if (!part.empty()) parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) parts.push_back(part);
    if (parts.empty()) return {};

    // Depth first over the spellings of parts[k..] below base: the exact one
    // first, then the entries that match ignoring case, in name order.
    std::function<fs::path(const fs::path&, std::size_t)> walk = [&](const fs::path& base, std::size_t k) {
        const bool last = k + 1 == parts.size();
        std::error_code ec;
        auto fits = [&](const fs::path& p) { return last ? fs::is_regular_file(p, ec) : fs::is_directory(p, ec); };
        const fs::path exact = base / parts[k];
        if (fits(exact)) {
            if (last) return exact;
            if (fs::path found = walk(exact, k + 1); !found.empty()) return found;
        }
        if (parts[k] == "." || parts[k] == "..") return fs::path();
        std::vector<fs::path> matches;
        const std::string wanted = Lower(parts[k]);
        for (fs::directory_iterator it(base, ec), end; !ec && it != end; it.increment(ec))
            if (it->path().filename() != parts[k] && Lower(it->path().filename().string()) == wanted)
                matches.push_back(it->path());
        std::sort(matches.begin(), matches.end());
        for (const fs::path& m : matches) {
            if (!fits(m)) continue;
            if (last) return m;
            if (fs::path found = walk(m, k + 1); !found.empty()) return found;
        }
        return fs::path();
    };
    for (const fs::path& root : roots)
        if (fs::path found = walk(root, 0); !found.empty()) return found;
    return {};
}

std::vector<fs::path> TextureSearchRoots(const std::string& dataDir, const std::string& modelFile) {
    if (!dataDir.empty()) return {fs::path(dataDir)};
    std::vector<fs::path> roots;
    std::error_code ec;
    fs::path folder = fs::absolute(modelFile, ec).parent_path();
    while (!folder.empty()) {
        roots.push_back(folder);
        if (folder == folder.root_path()) break;
        folder = folder.parent_path();
    }
    return roots;
}

TExportResult ExportModel(const TP3dModell& model, const std::string& modelFile, const fs::path& out,
                          const TExportFormat& format, const TExportOptions& options) {
    TExportResult result;
    std::vector<const TP3dLOD*> lods;
    if (options.AllLods) {
        for (const TP3dLOD* lod : model.LODs) lods.push_back(lod);
    } else if (options.Lod >= 0 && options.Lod < model.LODs.Count()) {
        lods.push_back(model.LODs[static_cast<std::size_t>(options.Lod)]);
    } else {
        result.Error = "--lod " + std::to_string(options.Lod) + ": the model has " +
                       std::to_string(model.LODs.Count()) + " LOD(s), 0 to " + std::to_string(model.LODs.Count() - 1);
        return result;
    }

    std::error_code ec;
    const fs::path folder = out.parent_path().empty() ? fs::path(".") : out.parent_path();
    if (!fs::is_directory(folder, ec)) {
        result.Error = "cannot write " + out.string() + ": no folder " + folder.string();
        return result;
    }

    // Materials: one per texture name the faces use, in order of first use,
    // and one for faces without a texture.
    std::vector<std::string> materialNames;
    std::map<std::string, unsigned> materialOf;
    auto materialFor = [&](const TP3dLOD& lod, const APolygon& polygon) {
        const bool named = polygon.TextureIndex >= 0 &&
                           static_cast<std::size_t>(polygon.TextureIndex) < lod.Textures.size() &&
                           !lod.Textures[static_cast<std::size_t>(polygon.TextureIndex)].empty();
        const std::string name = named ? lod.Textures[static_cast<std::size_t>(polygon.TextureIndex)] : std::string();
        const auto [it, added] = materialOf.emplace(name, static_cast<unsigned>(materialNames.size()));
        if (added) materialNames.push_back(name);
        return it->second;
    };
    std::vector<std::vector<std::vector<const APolygon*>>> groups(lods.size());  // per LOD, per material
    for (std::size_t l = 0; l < lods.size(); ++l)
        for (const APolygon* polygon : lods[l]->Polygons)
            if (Exportable(*polygon, *lods[l])) {
                const unsigned m = materialFor(*lods[l], *polygon);
                if (groups[l].size() <= m) groups[l].resize(m + 1);
                groups[l][m].push_back(polygon);
            }

    // The textures, decoded on threads of their own while the meshes are built.
    const bool withTextures = CarriesMaterials(format);
    const bool embed = Lower(format.Extension) == "glb";
    const std::vector<fs::path> roots =
        withTextures ? TextureSearchRoots(options.DataDir, modelFile) : std::vector<fs::path>();
    std::vector<std::future<TTextureOut>> pending;
    for (const std::string& name : materialNames)
        if (withTextures && !name.empty())
            pending.push_back(std::async(std::launch::async, [&roots, name] { return PrepareTexture(roots, name); }));
        else
            pending.push_back({});

    auto scene = std::make_unique<aiScene>();
    scene->mRootNode = new aiNode(fs::path(modelFile).stem().string());
    auto* rootMeta = Metadata(1);
    rootMeta->Set(0, "mass", static_cast<double>(model.Mass));
    scene->mRootNode->mMetaData = rootMeta;

    auto* io = new TStagedIOSystem;  // the exporter owns it
    Assimp::Exporter exporter;
    exporter.SetIOHandler(io);

    std::vector<aiMesh*> meshes;
    std::vector<aiNode*> nodes;
    for (std::size_t l = 0; l < lods.size(); ++l) {
        auto* node = new aiNode(LodDisplayName(lods[l]->Resolution));
        node->mParent = scene->mRootNode;
        node->mMetaData = LodMetadata(*lods[l]);
        std::vector<unsigned> own;
        for (std::size_t m = 0; m < groups[l].size(); ++m) {
            if (groups[l][m].empty()) continue;
            const std::string label = materialNames[m].empty() ? std::string("untextured") : materialNames[m];
            own.push_back(static_cast<unsigned>(meshes.size()));
            meshes.push_back(BuildMesh(*lods[l], groups[l][m], static_cast<unsigned>(m),
                                       node->mName.C_Str() + std::string(" ") + label));
        }
        node->mNumMeshes = static_cast<unsigned>(own.size());
        if (!own.empty()) {
            node->mMeshes = new unsigned[own.size()];
            std::copy(own.begin(), own.end(), node->mMeshes);
        }
        nodes.push_back(node);
    }
    // The glTF writer of the library grows its one binary buffer by exactly
    // what each array needs, copying all that came before: the smallest
    // meshes go first, so that the large ones are copied fewest times.
    std::vector<unsigned> order(meshes.size()), place(meshes.size());
    for (unsigned k = 0; k < order.size(); ++k) order[k] = k;
    std::stable_sort(order.begin(), order.end(),
                     [&meshes](unsigned a, unsigned b) { return meshes[a]->mNumVertices < meshes[b]->mNumVertices; });
    std::vector<aiMesh*> sorted;
    for (unsigned k = 0; k < order.size(); ++k) {
        place[order[k]] = k;
        sorted.push_back(meshes[order[k]]);
    }
    meshes.swap(sorted);
    for (aiNode* node : nodes)
        for (unsigned m = 0; m < node->mNumMeshes; ++m) node->mMeshes[m] = place[node->mMeshes[m]];

    scene->mNumMeshes = static_cast<unsigned>(meshes.size());
    if (!meshes.empty()) {
        scene->mMeshes = new aiMesh*[meshes.size()];
        std::copy(meshes.begin(), meshes.end(), scene->mMeshes);
    }
    scene->mRootNode->mNumChildren = static_cast<unsigned>(nodes.size());
    scene->mRootNode->mChildren = new aiNode*[nodes.size()];
    std::copy(nodes.begin(), nodes.end(), scene->mRootNode->mChildren);
    if (meshes.empty()) {
        result.Error = "nothing to export: the chosen LOD(s) have no faces";
        return result;
    }

    // Materials: the textures as they came back.
    std::vector<TTextureOut> textures(materialNames.size());
    for (std::size_t k = 0; k < pending.size(); ++k)
        if (pending[k].valid()) {
            textures[k] = pending[k].get();
            if (!textures[k].problem.empty()) result.Warnings.push_back(textures[k].problem);
        }
    std::vector<std::string> taken;
    std::vector<aiTexture*> embedded;
    scene->mNumMaterials = static_cast<unsigned>(materialNames.size());
    scene->mMaterials = new aiMaterial*[std::max<std::size_t>(1, materialNames.size())];
    for (std::size_t k = 0; k < materialNames.size(); ++k) {
        auto* material = new aiMaterial;
        scene->mMaterials[k] = material;
        const aiString name(materialNames[k].empty() ? std::string("untextured") : materialNames[k]);
        material->AddProperty(&name, AI_MATKEY_NAME);
        const aiColor4D white(1, 1, 1, 1);
        material->AddProperty(&white, 1, AI_MATKEY_COLOR_DIFFUSE);
        TTextureOut& t = textures[k];
        if (t.png.empty()) continue;
        if (embed) {
            auto* texture = new aiTexture;
            texture->mWidth = static_cast<unsigned>(t.png.size());
            texture->mHeight = 0;  // compressed: mWidth bytes of a PNG file
            std::strcpy(texture->achFormatHint, "png");
            texture->pcData = reinterpret_cast<aiTexel*>(new uint8_t[t.png.size()]);
            std::memcpy(texture->pcData, t.png.data(), t.png.size());
            texture->mFilename = SafeTextureFileName(t.name, taken);
            t.pngName = "*" + std::to_string(embedded.size());
            embedded.push_back(texture);
        } else {
            t.pngName = SafeTextureFileName(t.name, taken);
        }
        const aiString path(t.pngName);
        material->AddProperty(&path, AI_MATKEY_TEXTURE_DIFFUSE(0));
    }
    if (!embedded.empty()) {
        scene->mNumTextures = static_cast<unsigned>(embedded.size());
        scene->mTextures = new aiTexture*[embedded.size()];
        std::copy(embedded.begin(), embedded.end(), scene->mTextures);
    }

    // The PNG files beside the export, staged with the library's files.
    if (withTextures && !embed) {
        for (const TTextureOut& t : textures) {
            if (t.png.empty()) continue;
            const std::string temporary = io->Stage(folder / t.pngName);
            std::FILE* file = std::fopen(temporary.c_str(), "wb");
            bool ok = file && std::fwrite(t.png.data(), 1, t.png.size(), file) == t.png.size();
            const int why = errno;
            if (file && std::fclose(file) != 0) ok = false;
            if (!ok) {
                io->Discard();
                result.Error = "cannot write " + (folder / t.pngName).string() + ": " + std::strerror(why);
                return result;
            }
        }
    }

    if (exporter.Export(scene.get(), format.Id, out.string()) != AI_SUCCESS) {
        io->Discard();
        result.Error = "cannot write " + out.string() + ": " + exporter.GetErrorString();
        return result;
    }
    const std::string id = Lower(format.Id);
    if (id == "gltf2" || id == "glb2") {
        std::vector<std::string> extras{"{\"mass\":" + JsonNumber(model.Mass) + "}"};
        for (const TP3dLOD* lod : lods) extras.push_back(LodExtras(*lod));
        if (!AddExtrasToFile(io->TemporaryOf(out), id == "glb2", extras))
            result.Warnings.push_back("the selections, properties and mass could not be added to " + out.string());
    }
    if (!io->Commit(result.Written, result.Error)) return result;
    result.Ok = true;
    return result;
}

}  // namespace vistrel
