#include "ModelImport.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <unordered_map>

#include "ImportScene.h"

namespace vistrel::importing {

namespace {

namespace fs = std::filesystem;

// Points and corners live in 16-bit tables of the editable format: indices
// 0..32767.
constexpr std::size_t kMaxPoints = 32768;
constexpr std::size_t kMaxTextures = 32767;
constexpr std::size_t kMaxFaces = 0x7FFFFFFF / 104;  // a LOD's faces within a 32-bit file offset

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

const std::vector<std::string> kGltf = {".glb", ".gltf"};
const std::vector<std::string> kObj = {".obj"};
const std::vector<std::string> kAssimp = {".fbx", ".dae", ".ply",  ".stl", ".3ds", ".blend", ".x",    ".ase",
                                          ".lwo", ".lws", ".ms3d", ".off", ".ac",  ".md2",   ".md3",  ".3mf",
                                          ".irr", ".b3d", ".q3o",  ".dxf", ".smd", ".x3d",   ".ogex", ".xgl"};

bool In(const std::vector<std::string>& list, const std::string& ext) {
    return std::find(list.begin(), list.end(), ext) != list.end();
}

struct TVec {
    double X, Y, Z;
    TVec operator-(const TVec& b) const { return {X - b.X, Y - b.Y, Z - b.Z}; }
    double Dot(const TVec& b) const { return X * b.X + Y * b.Y + Z * b.Z; }
    TVec Cross(const TVec& b) const { return {Y * b.Z - Z * b.Y, Z * b.X - X * b.Z, X * b.Y - Y * b.X}; }
    double Length() const { return std::sqrt(Dot(*this)); }
};

// A corner in the model's frame: its point and its UV.
struct TCorner {
    int32_t Point;
    float U, V;
    bool operator==(const TCorner& b) const { return Point == b.Point && U == b.U && V == b.V; }
};

struct TKey {
    uint32_t X, Y, Z;
    bool operator==(const TKey& b) const { return X == b.X && Y == b.Y && Z == b.Z; }
};
struct TKeyHash {
    std::size_t operator()(const TKey& k) const {
        return (std::size_t{k.X} * 0x9E3779B97F4A7C15ull) ^ (std::size_t{k.Y} * 0xC2B2AE3D27D4EB4Full) ^ k.Z;
    }
};

uint32_t Bits(float f) {
    if (f == 0.0f) f = 0.0f;  // -0 and 0 are one place
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

// One LOD being built.
class TLodBuilder {
public:
    explicit TLodBuilder(float resolution) : lod_(std::make_unique<TP3dLOD>()) { lod_->Resolution = resolution; }

    // The point at a position in the model's frame; -1 when the LOD is full.
    int32_t Point(float x, float y, float z, float nx, float ny, float nz) {
        const TKey key{Bits(x), Bits(y), Bits(z)};
        const auto it = points_.find(key);
        if (it != points_.end()) return it->second;
        if (points_.size() >= kMaxPoints) return -1;
        const auto index = static_cast<int32_t>(lod_->Vertexes.Count());
        lod_->Vertexes.Add(new AVertex{x, y, z, 0});
        lod_->Normals.Add(new ANormal{nx, ny, nz});
        points_.emplace(key, index);
        return index;
    }
    TVec At(int32_t point) const {
        const AVertex& v = *lod_->Vertexes[static_cast<std::size_t>(point)];
        return {v.X, v.Y, v.Z};
    }
    int16_t Texture(const std::string& name, bool& full) {
        const auto it = textures_.find(name);
        if (it != textures_.end()) return it->second;
        if (lod_->Textures.size() >= kMaxTextures) {
            full = true;
            return -1;
        }
        const auto index = static_cast<int16_t>(lod_->Textures.size());
        lod_->Textures.push_back(name);
        textures_.emplace(name, index);
        return index;
    }
    bool Face(const TCorner* corners, int n, int16_t texture) {
        if (static_cast<std::size_t>(lod_->Polygons.Count()) >= kMaxFaces) return false;
        auto* polygon = new APolygon;
        polygon->VertexCount = n;
        polygon->TextureIndex = texture;
        for (int k = 0; k < n; ++k)
            polygon->Corners[k] = {corners[k].Point, corners[k].Point, corners[k].U, corners[k].V};
        lod_->Polygons.Add(polygon);
        return true;
    }
    std::unique_ptr<TP3dLOD> Finish() {
        const auto n = static_cast<std::size_t>(lod_->Vertexes.Count());
        lod_->UniqueVertexes.Count = lod_->LinkToUnique.Count = static_cast<int32_t>(n);
        lod_->UniqueVertexes.Items.resize(n);
        for (std::size_t k = 0; k < n; ++k) lod_->UniqueVertexes.Items[k] = static_cast<int16_t>(k);
        lod_->LinkToUnique.Items = lod_->UniqueVertexes.Items;
        lod_->VertexInfo.assign(n, 0);
        if (n) {
            const AVertex& first = *lod_->Vertexes[0];
            TVec3 lo{first.X, first.Y, first.Z}, hi = lo;
            for (const AVertex* v : lod_->Vertexes) {
                lo = {std::min(lo.X, v->X), std::min(lo.Y, v->Y), std::min(lo.Z, v->Z)};
                hi = {std::max(hi.X, v->X), std::max(hi.Y, v->Y), std::max(hi.Z, v->Z)};
            }
            lod_->MinPos = lo;
            lod_->MaxPos = hi;
        }
        return std::move(lod_);
    }
    std::size_t Faces() const { return static_cast<std::size_t>(lod_->Polygons.Count()); }
    float Resolution() const { return lod_->Resolution; }

private:
    std::unique_ptr<TP3dLOD> lod_;
    std::unordered_map<TKey, int32_t, TKeyHash> points_;
    std::unordered_map<std::string, int16_t> textures_;
};

// Whether corners a, b, c lie on one line (or two of them at one point).
bool Collinear(const TVec& a, const TVec& b, const TVec& c) {
    const TVec e1 = b - a, e2 = c - a;
    const double area = e1.Cross(e2).Length();
    return !(area > 1e-9 * e1.Length() * e2.Length()) || area == 0;
}

// The counts that become warnings.
struct TCounts {
    std::size_t Degenerate = 0, NotFinite = 0, UvsNotNumbers = 0, Triangulated = 0, TooLong = 0;
};

// The texture name of a material, and its picture.
struct TMaterialName {
    std::string Name;
    std::string Picture;
    std::shared_ptr<const std::vector<uint8_t>> Bytes;  // the picture itself when the file holds it
};

bool ClimbsOut(const std::string& name) {
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find_first_of("\\/", start);
        if (end == std::string::npos) end = name.size();
        if (name.compare(start, end - start, "..") == 0) return true;
        start = end + 1;
    }
    return false;
}

TMaterialName NameOf(const TSceneMaterial& material, const TImportOptions& options, const fs::path& folder,
                     std::vector<std::string>& refused) {
    const std::string lower = Lower(material.Name);
    const auto endsWith = [&](const char* tail) {
        const std::size_t n = std::strlen(tail);
        return lower.size() > n && lower.compare(lower.size() - n, n, tail) == 0;
    };
    if (endsWith(".paa") || endsWith(".pac")) {
        if (ClimbsOut(material.Name)) {
            refused.push_back(material.Name);
            return {};
        }
        return {material.Name, {}, {}};
    }
    if (material.Picture.empty() || material.Picture.rfind("data:", 0) == 0) return {};
    std::string file = material.Picture;
    const std::size_t slash = file.find_last_of("\\/");
    if (slash != std::string::npos) file = file.substr(slash + 1);
    const std::size_t dot = file.rfind('.');
    if (dot != std::string::npos && dot > 0) file.resize(dot);
    if (file.empty() || file == "." || file == "..") return {};
    std::string name = options.TextureDir;
    for (char& c : name)
        if (c == '/') c = '\\';
    if (ClimbsOut(name)) {
        refused.push_back(options.TextureDir);
        return {};
    }
    if (!name.empty() && name.back() != '\\') name += '\\';
    name += file + ".paa";
    if (material.PictureBytes) return {name, {}, material.PictureBytes};
    std::string picture = material.Picture;
    if (fs::path(picture).is_relative()) picture = (folder / picture).string();
    return {name, picture, {}};
}

// The resolution --lod names.
bool LodOption(const std::string& text, float& resolution) {
    if (text.empty()) {
        resolution = 1.0f;
        return true;
    }
    if (LodResolutionOfName(text, resolution)) return true;
    double value = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size() || !std::isfinite(value)) return false;
    resolution = static_cast<float>(value);
    return true;
}

std::string Count(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

TImportResult Build(TScene& scene, const std::string& path, const TImportOptions& options, float defaultResolution);

}  // namespace

std::vector<std::string> ImportFormats() {
    std::string other;
    for (const std::string& e : kAssimp) other += (other.empty() ? "" : ", ") + e.substr(1);
    return {"glb, gltf  glTF 2.0 (tinygltf)", "obj        Wavefront OBJ with its .mtl (tinyobjloader)",
            other + "  (Assimp)"};
}

std::vector<std::string> ImportExtensions() {
    std::vector<std::string> all = kGltf;
    all.insert(all.end(), kObj.begin(), kObj.end());
    all.insert(all.end(), kAssimp.begin(), kAssimp.end());
    return all;
}

bool CanImport(const std::string& extension) { return In(ImportExtensions(), Lower(extension)); }

TImportResult ImportModel(const std::string& path, const TImportOptions& options) {
    TImportResult result;
    float defaultResolution = 1.0f;
    if (!LodOption(options.Lod, defaultResolution)) {
        result.Error = "--lod " + options.Lod + " names no LOD";
        return result;
    }
    const std::string ext = Lower(fs::path(path).extension().string());
    TScene scene;
    std::string error;
    bool read = false;
    try {
        if (In(kGltf, ext))
            read = ReadGltfScene(path, scene, error);
        else if (In(kObj, ext))
            read = ReadObjScene(path, scene, error);
        else if (In(kAssimp, ext))
            read = ReadAssimpScene(path, options.ReaderSeconds, scene, error);
        else
            error = "cannot import \"" + ext + "\" files (p3dtool import --formats lists what can be read)";
    } catch (const std::bad_alloc&) {
        read = false;
        error = "the file asks for more memory than there is";
    } catch (const std::exception& e) {
        read = false;
        error = e.what();
    }
    if (!read) {
        result.Error = error.empty() ? "cannot be read" : error;
        return result;
    }

    return Build(scene, path, options, defaultResolution);
}

TImportResult ImportGltfBytes(const std::vector<unsigned char>& bytes, bool binary, const TImportOptions& options) {
    TImportResult result;
    float defaultResolution = 1.0f;
    TScene scene;
    std::string error;
    try {
        if (!LodOption(options.Lod, defaultResolution) || !ReadGltfBytes(bytes, binary, scene, error)) {
            result.Error = error.empty() ? "cannot be read" : error;
            return result;
        }
    } catch (const std::exception& e) {
        result.Error = e.what();
        return result;
    }
    return Build(scene, "memory.glb", options, defaultResolution);
}

namespace {

TImportResult Build(TScene& scene, const std::string& path, const TImportOptions& options, float defaultResolution) {
    TImportResult result;
    const fs::path folder = fs::path(path).parent_path();
    std::vector<std::string> refused;
    std::vector<TMaterialName> names;
    names.reserve(scene.Materials.size());
    std::vector<std::string> nameless;  // materials whose picture inside the file has no name
    for (const TSceneMaterial& m : scene.Materials) {
        names.push_back(NameOf(m, options, folder, refused));
        if (names.back().Name.empty() && m.Picture.empty() && m.PictureBytes)
            nameless.push_back("material " + std::to_string(names.size() - 1) +
                               (m.Name.empty() ? "" : " (" + m.Name + ")") +
                               ": its picture is inside the file with no name, so it has no texture name");
    }
    const auto pictures = [&] {
        for (std::size_t m = 0; m < names.size(); ++m)
            if (!names[m].Picture.empty() || names[m].Bytes) {
                const bool known = std::any_of(result.Pictures.begin(), result.Pictures.end(),
                                               [&](const TImportedTexture& t) { return t.Name == names[m].Name; });
                if (!known) result.Pictures.push_back({names[m].Name, names[m].Picture, names[m].Bytes});
            }
    };

    // A file of our own export carries the model whole: take it from there.
    if (scene.FromRecord) {
        result.Model = std::move(scene.FromRecord);
        result.Model->FileName = path;
        for (const std::string& w : scene.Warnings) result.Warnings.push_back(w);
        pictures();
        return result;
    }

    // The LODs in the order their nodes come; meshes without a LOD node go
    // to the one --lod names.
    std::vector<std::unique_ptr<TLodBuilder>> lods;
    const auto lodFor = [&](float resolution) -> TLodBuilder& {
        for (auto& l : lods)
            if (l->Resolution() == resolution) return *l;
        lods.push_back(std::make_unique<TLodBuilder>(resolution));
        return *lods.back();
    };
    TCounts counts;
    std::string limit;
    for (const TSceneMesh& mesh : scene.Meshes) {
        float resolution = defaultResolution;
        if (mesh.HasResolution && std::isfinite(mesh.Resolution))
            resolution = static_cast<float>(mesh.Resolution);
        else if (!mesh.Node.empty())
            LodResolutionOfName(mesh.Node, resolution, true);
        TLodBuilder& lod = lodFor(resolution);
        const std::size_t vertices = mesh.Positions.size() / 3;
        const bool normals = mesh.Normals.size() == mesh.Positions.size();
        const bool uvs = mesh.Uvs.size() / 2 == vertices;
        // The corner of a file vertex in the model's frame: x mirrored,
        // normals pointing inwards as the files store them.
        const auto corner = [&](uint32_t v, bool& ok) -> TCorner {
            const float* p = &mesh.Positions[3 * std::size_t{v}];
            if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2])) {
                ok = false;
                return {};
            }
            float nx = 0, ny = -1, nz = 0;
            if (normals) {
                const float* n = &mesh.Normals[3 * std::size_t{v}];
                if (std::isfinite(n[0]) && std::isfinite(n[1]) && std::isfinite(n[2])) {
                    nx = n[0];
                    ny = -n[1];
                    nz = -n[2];
                }
            }
            const int32_t point = lod.Point(0.0f - p[0], p[1], p[2], nx, ny, nz);  // 0 stays 0, not -0
            if (point < 0) {
                limit = "more than " + std::to_string(kMaxPoints) + " points in the LOD " + LodDisplayName(resolution) +
                        " (the editable format's limit)";
                ok = false;
                return {};
            }
            float u = uvs ? mesh.Uvs[2 * std::size_t{v}] : 0.0f, w = uvs ? mesh.Uvs[2 * std::size_t{v} + 1] : 0.0f;
            if (!std::isfinite(u) || !std::isfinite(w)) {
                ++counts.UvsNotNumbers;
                u = std::isfinite(u) ? u : 0.0f;
                w = std::isfinite(w) ? w : 0.0f;
            }
            return {point, u, w};
        };
        bool full = false;
        const auto texture = [&](int material) -> int16_t {
            if (material < 0 || static_cast<std::size_t>(material) >= names.size()) return -1;
            const std::string& name = names[static_cast<std::size_t>(material)].Name;
            if (name.empty()) return -1;
            return lod.Texture(name, full);
        };
        const auto degenerate = [&](const TCorner* c, int n) {
            for (int a = 0; a < n; ++a)
                for (int b = a + 1; b < n; ++b)
                    if (c[a].Point == c[b].Point) return true;
            for (int a = 0; a < n; ++a)
                if (Collinear(lod.At(c[a].Point), lod.At(c[(a + 1) % n].Point), lod.At(c[(a + 2) % n].Point)))
                    return true;
            return false;
        };
        // A quad that is flat and convex stays one face.
        const auto goodQuad = [&](const TCorner* c) {
            const TVec p[4] = {lod.At(c[0].Point), lod.At(c[1].Point), lod.At(c[2].Point), lod.At(c[3].Point)};
            TVec first{0, 0, 0};
            for (int k = 0; k < 4; ++k) {
                const TVec n = (p[(k + 1) % 4] - p[k]).Cross(p[(k + 2) % 4] - p[(k + 1) % 4]);
                const double length = n.Length();
                if (!(length > 0)) return false;
                if (k == 0) {
                    first = {n.X / length, n.Y / length, n.Z / length};
                    continue;
                }
                if (first.Dot(n) / length < 0.9999) return false;
            }
            return true;
        };
        const auto emit = [&](const TCorner* c, int n, int material) {
            if (degenerate(c, n)) {
                ++counts.Degenerate;
                return;
            }
            const int16_t t = texture(material);
            if (full || !lod.Face(c, n, t)) {
                if (limit.empty())
                    limit = full ? "more than " + std::to_string(kMaxTextures) + " textures in a LOD"
                                 : "more than " + std::to_string(kMaxFaces) + " faces in a LOD";
            }
        };

        // The polygons as the file winds them; the model winds them the
        // other way. A triangle followed by one that completes a flat convex
        // quad as the export splits quads ((0, 2, 1), (0, 3, 2)) makes that quad.
        std::size_t at = 0;
        TCorner pending[3];
        int pendingMaterial = -1;
        bool havePending = false;
        const auto flush = [&]() {
            if (havePending) emit(pending, 3, pendingMaterial);
            havePending = false;
        };
        for (std::size_t f = 0; f < mesh.Sizes.size() && limit.empty(); ++f) {
            const uint32_t n = mesh.Sizes[f];
            const int material = f < mesh.Materials.size() ? mesh.Materials[f] : -1;
            if (n > mesh.Indices.size() - at) break;
            const uint32_t* idx = &mesh.Indices[at];
            at += n;
            bool inRange = true;
            for (uint32_t k = 0; k < n; ++k) inRange = inRange && idx[k] < vertices;
            if (!inRange) {
                ++scene.BadIndices;
                continue;
            }
            if (n < 3) continue;
            std::vector<TCorner> c(n);
            bool ok = true;
            for (uint32_t k = 0; k < n; ++k) c[k] = corner(idx[(n - k) % n], ok);
            if (!limit.empty()) break;
            if (!ok) {
                ++counts.NotFinite;
                continue;
            }
            if (n == 3) {
                // c is the model's (a, c, b) of the file's (a, b, c)
                // file: (A, C, B) then (A, D, C); the model's (A, B, C), (A, C, D)
                if (havePending && pendingMaterial == material && c[0] == pending[0] && c[1] == pending[2]) {
                    const TCorner quad[4] = {pending[0], pending[1], pending[2], c[2]};
                    if (!degenerate(quad, 4) && goodQuad(quad)) {
                        emit(quad, 4, material);
                        havePending = false;
                        continue;
                    }
                }
                flush();
                std::copy(c.begin(), c.end(), pending);
                pendingMaterial = material;
                havePending = true;
                continue;
            }
            flush();
            if (n == 4 && !degenerate(c.data(), 4) && goodQuad(c.data())) {
                emit(c.data(), 4, material);
                continue;
            }
            if (n > 4) ++counts.Triangulated;
            for (uint32_t k = 1; k + 1 < n; ++k) {
                const TCorner t[3] = {c[0], c[k], c[k + 1]};
                emit(t, 3, material);
            }
        }
        flush();
        if (!limit.empty()) break;
    }
    if (!limit.empty()) {
        result.Error = limit;
        return result;
    }

    auto model = std::make_unique<TP3dModell>();
    model->FileName = path;
    std::size_t faces = 0;
    for (auto& l : lods) {
        faces += l->Faces();
        model->LODs.Add(l->Finish().release());
    }
    if (faces == 0) {
        result.Error = "no faces to import";
        return result;
    }
    for (const std::string& w : scene.Warnings) result.Warnings.push_back(w);
    if (scene.BadIndices)
        result.Warnings.push_back(Count(scene.BadIndices, "face names", "faces name") +
                                  " a vertex beyond the vertex count, left out");
    if (counts.NotFinite)
        result.Warnings.push_back(Count(counts.NotFinite, "face", "faces") +
                                  " at positions that are not finite, left out");
    if (counts.Degenerate)
        result.Warnings.push_back(Count(counts.Degenerate, "degenerate face", "degenerate faces") +
                                  " (repeated or collinear corners) left out");
    if (counts.UvsNotNumbers)
        result.Warnings.push_back(Count(counts.UvsNotNumbers, "corner", "corners") +
                                  " with UVs that are not numbers, made 0");
    if (counts.Triangulated)
        result.Warnings.push_back(Count(counts.Triangulated, "polygon", "polygons") +
                                  " of more than 4 corners made triangles");
    result.Warnings.insert(result.Warnings.end(), nameless.begin(), nameless.end());
    for (const std::string& name : refused)
        result.Warnings.push_back("texture name \"" + name + "\" climbs out of the texture folder (..), left empty");
    pictures();
    result.Model = std::move(model);
    return result;
}

}  // namespace

void Transform(const TMatrix& m, std::vector<float>& positions, std::vector<float>& normals, std::size_t from) {
    if (m.Identity()) return;
    const double* a = m.M;
    for (std::size_t k = from * 3; k + 2 < positions.size(); k += 3) {
        const double x = positions[k], y = positions[k + 1], z = positions[k + 2];
        positions[k] = static_cast<float>(a[0] * x + a[4] * y + a[8] * z + a[12]);
        positions[k + 1] = static_cast<float>(a[1] * x + a[5] * y + a[9] * z + a[13]);
        positions[k + 2] = static_cast<float>(a[2] * x + a[6] * y + a[10] * z + a[14]);
    }
    // Normals go by the inverse transpose (a scale in one direction tilts
    // them the other way): the cofactors, whose columns are the cross
    // products of the matrix's, turned with the determinant's sign.
    const double c0[3] = {a[5] * a[10] - a[6] * a[9], a[6] * a[8] - a[4] * a[10], a[4] * a[9] - a[5] * a[8]};
    const double c1[3] = {a[9] * a[2] - a[10] * a[1], a[10] * a[0] - a[8] * a[2], a[8] * a[1] - a[9] * a[0]};
    const double c2[3] = {a[1] * a[6] - a[2] * a[5], a[2] * a[4] - a[0] * a[6], a[0] * a[5] - a[1] * a[4]};
    const double sign = a[0] * c0[0] + a[1] * c0[1] + a[2] * c0[2] < 0 ? -1.0 : 1.0;
    for (std::size_t k = from * 3; k + 2 < normals.size(); k += 3) {
        const double x = sign * normals[k], y = sign * normals[k + 1], z = sign * normals[k + 2];
        const double nx = c0[0] * x + c1[0] * y + c2[0] * z, ny = c0[1] * x + c1[1] * y + c2[1] * z,
                     nz = c0[2] * x + c1[2] * y + c2[2] * z;
        const double length = std::sqrt(nx * nx + ny * ny + nz * nz);
        if (length > 0 && std::isfinite(length)) {
            normals[k] = static_cast<float>(nx / length);
            normals[k + 1] = static_cast<float>(ny / length);
            normals[k + 2] = static_cast<float>(nz / length);
        }
    }
}

}  // namespace vistrel::importing
