// glTF 2.0 through tinygltf's loader: the node tree walked without
// recursion (a node met twice is a cycle or a shared child and is taken
// once), each primitive of triangles read through accessors checked against
// their buffers.
#include <tiny_gltf.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <nlohmann/json.hpp>

#include "ImportScene.h"
#include "P3dmodell.h"

namespace vistrel::importing {

namespace {

// The pictures are only named, never decoded; those of data: URIs (the
// loader leaves their uri empty) are kept as they are, those of buffer views
// stay in their buffers.
bool SkipImage(tinygltf::Image* image, const int, std::string*, std::string*, int, int, const unsigned char* bytes,
               int size, void*) {
    if (image && image->bufferView < 0 && image->uri.empty() && bytes && size > 0)
        image->image.assign(bytes, bytes + size);
    return true;
}

// The files the loader reads (the file itself, its .bin buffers): ours,
// so that a file given as a folder or a device is refused.
bool Exists(const std::string& path, void*) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}
std::string Expanded(const std::string& path, void*) { return path; }
bool ReadWhole(std::vector<unsigned char>* out, std::string* err, const std::string& path, void*) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        if (err) *err += "cannot be opened: " + path + "\n";
        return false;
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        if (err) *err += "cannot be opened: " + path + ": " + std::strerror(errno) + "\n";
        return false;
    }
    const auto size = std::filesystem::file_size(path, ec);
    if (ec || size > std::numeric_limits<unsigned>::max()) {
        std::fclose(file);
        if (err) *err += "too large to read: " + path + "\n";
        return false;
    }
    out->resize(static_cast<std::size_t>(size));
    const bool read = std::fread(out->data(), 1, out->size(), file) == out->size();
    std::fclose(file);
    if (!read && err) *err += "cannot be read: " + path + "\n";
    return read;
}
bool NoWrite(std::string*, const std::string&, const std::vector<unsigned char>&, void*) { return false; }

TMatrix LocalMatrix(const tinygltf::Node& node) {
    TMatrix m;
    if (node.matrix.size() == 16) {
        for (int k = 0; k < 16; ++k) m.M[k] = node.matrix[static_cast<std::size_t>(k)];
        return m;
    }
    TMatrix t, r, s;
    if (node.translation.size() == 3)
        for (int k = 0; k < 3; ++k) t.M[12 + k] = node.translation[static_cast<std::size_t>(k)];
    if (node.rotation.size() == 4) {
        double x = node.rotation[0], y = node.rotation[1], z = node.rotation[2], w = node.rotation[3];
        const double n = std::sqrt(x * x + y * y + z * z + w * w);
        if (n > 0 && std::isfinite(n)) {
            x /= n, y /= n, z /= n, w /= n;
            r.M[0] = 1 - 2 * (y * y + z * z), r.M[1] = 2 * (x * y + z * w), r.M[2] = 2 * (x * z - y * w);
            r.M[4] = 2 * (x * y - z * w), r.M[5] = 1 - 2 * (x * x + z * z), r.M[6] = 2 * (y * z + x * w);
            r.M[8] = 2 * (x * z + y * w), r.M[9] = 2 * (y * z - x * w), r.M[10] = 1 - 2 * (x * x + y * y);
        }
    }
    if (node.scale.size() == 3)
        for (int k = 0; k < 3; ++k) s.M[k * 5] = node.scale[static_cast<std::size_t>(k)];
    return t * r * s;
}

double Determinant(const TMatrix& m) {
    const double* a = m.M;
    return a[0] * (a[5] * a[10] - a[9] * a[6]) - a[4] * (a[1] * a[10] - a[9] * a[2]) +
           a[8] * (a[1] * a[6] - a[5] * a[2]);
}

std::size_t ComponentBytes(int type) {
    switch (type) {
    case TINYGLTF_COMPONENT_TYPE_BYTE:
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE: return 1;
    case TINYGLTF_COMPONENT_TYPE_SHORT:
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT: return 2;
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT:
    case TINYGLTF_COMPONENT_TYPE_FLOAT: return 4;
    default: return 0;
    }
}

class TGltfReader {
public:
    TGltfReader(const tinygltf::Model& model, TScene& scene) : model_(model), scene_(scene) {
        // Accessors may be shared by any number of primitives: what is read
        // in all is bounded by the buffers' size, so that memory stays a few
        // times the file's.
        for (const tinygltf::Buffer& b : model_.buffers) budget_ += b.data.size();
        budget_ = 4 * budget_ + (1u << 20);
    }

    // The materials, and unless materialsOnly the meshes.
    bool Run(std::string& error, bool materialsOnly) {
        for (const tinygltf::Material& m : model_.materials) {
            TSceneMaterial material{m.name, {}, {}};
            const int t = m.pbrMetallicRoughness.baseColorTexture.index;
            if (t >= 0 && static_cast<std::size_t>(t) < model_.textures.size()) {
                const int source = model_.textures[static_cast<std::size_t>(t)].source;
                if (source >= 0 && static_cast<std::size_t>(source) < model_.images.size()) {
                    const tinygltf::Image& image = model_.images[static_cast<std::size_t>(source)];
                    // a picture inside the file is known by its name only
                    const bool inside = image.uri.empty() || image.uri.rfind("data:", 0) == 0;
                    material.Picture = inside ? image.name : image.uri;
                    if (inside) material.PictureBytes = Inside(static_cast<std::size_t>(source));
                }
            }
            scene_.Materials.push_back(std::move(material));
        }
        if (materialsOnly) return true;
        std::vector<int> roots;
        if (model_.defaultScene >= 0 && static_cast<std::size_t>(model_.defaultScene) < model_.scenes.size())
            roots = model_.scenes[static_cast<std::size_t>(model_.defaultScene)].nodes;
        else if (!model_.scenes.empty())
            roots = model_.scenes[0].nodes;
        else
            for (std::size_t k = 0; k < model_.nodes.size(); ++k) roots.push_back(static_cast<int>(k));
        return Walk(roots, error);
    }

    std::size_t Cycles = 0;

private:
    // The bytes of a picture the file holds, taken once however many
    // materials use it; null when there are none or its buffer view does
    // not lie within its buffer.
    std::shared_ptr<const std::vector<uint8_t>> Inside(std::size_t index) {
        pictures_.resize(model_.images.size());
        if (pictures_[index]) return pictures_[index];
        const tinygltf::Image& image = model_.images[index];
        std::vector<uint8_t> bytes;
        if (image.bufferView < 0) {
            bytes = image.image;
        } else if (static_cast<std::size_t>(image.bufferView) < model_.bufferViews.size()) {
            const tinygltf::BufferView& view = model_.bufferViews[static_cast<std::size_t>(image.bufferView)];
            if (view.buffer >= 0 && static_cast<std::size_t>(view.buffer) < model_.buffers.size()) {
                const std::vector<unsigned char>& data = model_.buffers[static_cast<std::size_t>(view.buffer)].data;
                if (view.byteOffset <= data.size() && view.byteLength <= data.size() - view.byteOffset) {
                    const auto from = data.begin() + static_cast<std::ptrdiff_t>(view.byteOffset);
                    bytes.assign(from, from + static_cast<std::ptrdiff_t>(view.byteLength));
                }
            }
        }
        if (!bytes.empty()) pictures_[index] = std::make_shared<const std::vector<uint8_t>>(std::move(bytes));
        return pictures_[index];
    }

    struct TVisit {
        int Node;
        TMatrix World;
        std::string Lod;
        bool HasResolution;
        double Resolution;
    };

    bool Walk(const std::vector<int>& roots, std::string& error) {
        std::vector<char> visited(model_.nodes.size(), 0);
        std::vector<TVisit> stack;
        for (auto it = roots.rbegin(); it != roots.rend(); ++it) stack.push_back({*it, TMatrix{}, {}, false, 0});
        while (!stack.empty()) {
            TVisit visit = std::move(stack.back());
            stack.pop_back();
            if (visit.Node < 0 || static_cast<std::size_t>(visit.Node) >= model_.nodes.size()) {
                error = "a node names node " + std::to_string(visit.Node) + ", which the file does not hold";
                return false;
            }
            if (visited[static_cast<std::size_t>(visit.Node)]) {
                ++Cycles;
                continue;
            }
            visited[static_cast<std::size_t>(visit.Node)] = 1;
            const tinygltf::Node& node = model_.nodes[static_cast<std::size_t>(visit.Node)];
            visit.World = visit.World * LocalMatrix(node);
            float resolution = 0;
            if (LodResolutionOfName(node.name, resolution, true)) {
                visit.Lod = node.name;
                visit.HasResolution = false;
                if (node.extras.IsObject() && node.extras.Has("resolution") &&
                    node.extras.Get("resolution").IsNumber()) {
                    visit.HasResolution = true;
                    visit.Resolution = node.extras.Get("resolution").GetNumberAsDouble();
                }
            }
            if (node.mesh >= 0) {
                if (static_cast<std::size_t>(node.mesh) >= model_.meshes.size()) {
                    error = "node " + std::to_string(visit.Node) + " names mesh " + std::to_string(node.mesh) +
                            ", which the file does not hold";
                    return false;
                }
                if (!Mesh(model_.meshes[static_cast<std::size_t>(node.mesh)], visit, error)) return false;
            }
            for (auto it = node.children.rbegin(); it != node.children.rend(); ++it)
                stack.push_back({*it, visit.World, visit.Lod, visit.HasResolution, visit.Resolution});
        }
        return true;
    }

    // The bytes of an accessor's element k, component c; null when the
    // accessor does not lie inside its buffer.
    struct TView {
        const unsigned char* Data = nullptr;
        std::size_t Stride = 0, Count = 0, Components = 0, ComponentBytes = 0;
        int Type = 0;
        bool Normalized = false;
    };

    bool View(int index, int wantComponents, TView& view, std::string& error, bool sparse = false) const {
        const std::string what = "accessor " + std::to_string(index);
        if (index < 0 || static_cast<std::size_t>(index) >= model_.accessors.size()) {
            error = what + " is not in the file";
            return false;
        }
        const tinygltf::Accessor& a = model_.accessors[static_cast<std::size_t>(index)];
        view.Components = static_cast<std::size_t>(tinygltf::GetNumComponentsInType(static_cast<uint32_t>(a.type)));
        view.ComponentBytes = ComponentBytes(a.componentType);
        view.Type = a.componentType;
        view.Normalized = a.normalized;
        view.Count = a.count;
        if (view.ComponentBytes == 0 ||
            (wantComponents && view.Components != static_cast<std::size_t>(wantComponents))) {
            error = what + " has a type that does not fit its use";
            return false;
        }
        if (a.sparse.isSparse && !sparse) {
            error = what + " is sparse, which is not read where it is used";
            return false;
        }
        // a sparse accessor without a buffer view starts as zeros
        if (a.sparse.isSparse && a.bufferView < 0) return true;
        return Place(a.bufferView, a.byteOffset, what, view, error);
    }

    // Points the view (its count and element set) at a buffer view's bytes
    // from offset on, checked to hold them all.
    bool Place(int bufferView, std::size_t offset, const std::string& what, TView& view, std::string& error) const {
        if (bufferView < 0 || static_cast<std::size_t>(bufferView) >= model_.bufferViews.size()) {
            error = what + " names no buffer view";
            return false;
        }
        const tinygltf::BufferView& bv = model_.bufferViews[static_cast<std::size_t>(bufferView)];
        if (bv.buffer < 0 || static_cast<std::size_t>(bv.buffer) >= model_.buffers.size()) {
            error = what + ": its buffer view names no buffer";
            return false;
        }
        const std::vector<unsigned char>& data = model_.buffers[static_cast<std::size_t>(bv.buffer)].data;
        const std::size_t element = view.Components * view.ComponentBytes;
        view.Stride = bv.byteStride ? bv.byteStride : element;
        const std::size_t start = bv.byteOffset, length = bv.byteLength;
        if (start > data.size() || length > data.size() - start || offset > length || view.Stride < element) {
            error = what + " lies outside its buffer (missing or too short)";
            return false;
        }
        const std::size_t room = length - offset;
        if (view.Count && (room < element || (view.Count - 1) > (room - element) / view.Stride)) {
            error = what + " lies outside its buffer (missing or too short)";
            return false;
        }
        view.Data = data.data() + start + offset;
        return true;
    }

    // Writes a sparse accessor's substitutes over its values (components
    // each, from out[from] on).
    bool Substitute(int index, std::size_t from, std::vector<float>& out, std::string& error) const {
        const tinygltf::Accessor& a = model_.accessors[static_cast<std::size_t>(index)];
        const std::string what = "accessor " + std::to_string(index) + "'s sparse ";
        if (a.sparse.count < 0 || static_cast<std::size_t>(a.sparse.count) > a.count) {
            error = what + "count is beyond its count";
            return false;
        }
        TView at, values;
        at.Components = 1;
        at.ComponentBytes = ComponentBytes(a.sparse.indices.componentType);
        at.Type = a.sparse.indices.componentType;
        at.Count = values.Count = static_cast<std::size_t>(a.sparse.count);
        values.Components = static_cast<std::size_t>(tinygltf::GetNumComponentsInType(static_cast<uint32_t>(a.type)));
        values.ComponentBytes = ComponentBytes(a.componentType);
        values.Type = a.componentType;
        values.Normalized = a.normalized;
        if (at.Type != TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE && at.Type != TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT &&
            at.Type != TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT) {
            error = what + "indices are not unsigned integers";
            return false;
        }
        if (a.sparse.indices.byteOffset < 0 || a.sparse.values.byteOffset < 0) {
            error = what + "lists lie outside their buffer (missing or too short)";
            return false;
        }
        if (!Place(a.sparse.indices.bufferView, static_cast<std::size_t>(a.sparse.indices.byteOffset),
                   what + "index list", at, error) ||
            !Place(a.sparse.values.bufferView, static_cast<std::size_t>(a.sparse.values.byteOffset),
                   what + "value list", values, error))
            return false;
        for (std::size_t k = 0; k < at.Count; ++k) {
            const auto element = static_cast<std::size_t>(Component(at, k, 0));
            if (element >= a.count) {
                error = what + "index " + std::to_string(element) + " is beyond its count";
                return false;
            }
            for (std::size_t c = 0; c < values.Components; ++c)
                out[from + element * values.Components + c] = static_cast<float>(Component(values, k, c));
        }
        return true;
    }

    bool Spend(std::size_t values, std::string& error) {
        if (values > budget_) {
            error = "the file's accessors ask for more data than its buffers hold";
            return false;
        }
        budget_ -= values;
        return true;
    }

    static double Component(const TView& v, std::size_t k, std::size_t c) {
        const unsigned char* p = v.Data + k * v.Stride + c * v.ComponentBytes;
        switch (v.Type) {
        case TINYGLTF_COMPONENT_TYPE_FLOAT: {
            float f;
            std::memcpy(&f, p, 4);
            return f;
        }
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT: {
            uint32_t u;
            std::memcpy(&u, p, 4);
            return u;
        }
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT: {
            uint16_t u;
            std::memcpy(&u, p, 2);
            return v.Normalized ? u / 65535.0 : u;
        }
        case TINYGLTF_COMPONENT_TYPE_SHORT: {
            int16_t s;
            std::memcpy(&s, p, 2);
            return v.Normalized ? std::max(s / 32767.0, -1.0) : s;
        }
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE: return v.Normalized ? *p / 255.0 : *p;
        case TINYGLTF_COMPONENT_TYPE_BYTE: {
            const auto s = static_cast<int8_t>(*p);
            return v.Normalized ? std::max(s / 127.0, -1.0) : s;
        }
        default: return 0;
        }
    }

    bool Floats(int accessor, int components, std::vector<float>& out, std::string& error) {
        TView v;
        if (!View(accessor, components, v, error, true)) return false;
        if (v.Count > kMaxCorners) {
            error = "accessor " + std::to_string(accessor) + " holds more vertices than can be imported";
            return false;
        }
        if (!Spend(v.Count * v.Components, error)) return false;
        const std::size_t from = out.size();
        if (!v.Data) {
            out.resize(from + v.Count * v.Components, 0.0f);
        } else {
            out.reserve(from + v.Count * v.Components);
            for (std::size_t k = 0; k < v.Count; ++k)
                for (std::size_t c = 0; c < v.Components; ++c) out.push_back(static_cast<float>(Component(v, k, c)));
        }
        return !model_.accessors[static_cast<std::size_t>(accessor)].sparse.isSparse ||
               Substitute(accessor, from, out, error);
    }

    bool Mesh(const tinygltf::Mesh& mesh, const TVisit& visit, std::string& error) {
        const bool mirrored = Determinant(visit.World) < 0;
        for (const tinygltf::Primitive& primitive : mesh.primitives) {
            const int mode = primitive.mode < 0 ? TINYGLTF_MODE_TRIANGLES : primitive.mode;
            if (mode != TINYGLTF_MODE_TRIANGLES && mode != TINYGLTF_MODE_TRIANGLE_STRIP &&
                mode != TINYGLTF_MODE_TRIANGLE_FAN)
                continue;  // points and lines have no faces
            const auto position = primitive.attributes.find("POSITION");
            if (position == primitive.attributes.end()) continue;
            TSceneMesh out;
            out.Node = visit.Lod.empty() && LodNamed(mesh.name) ? mesh.name : visit.Lod;
            out.HasResolution = visit.HasResolution;
            out.Resolution = visit.Resolution;
            if (!Floats(position->second, 3, out.Positions, error)) return false;
            const std::size_t n = out.Positions.size() / 3;
            const auto normal = primitive.attributes.find("NORMAL");
            if (normal != primitive.attributes.end()) {
                if (!Floats(normal->second, 3, out.Normals, error)) return false;
                if (out.Normals.size() != out.Positions.size()) out.Normals.clear();
            }
            const auto uv = primitive.attributes.find("TEXCOORD_0");
            if (uv != primitive.attributes.end()) {
                if (!Floats(uv->second, 2, out.Uvs, error)) return false;
                if (out.Uvs.size() != 2 * n) out.Uvs.clear();
            }
            std::vector<uint32_t> indices;
            if (primitive.indices >= 0) {
                TView v;
                if (!View(primitive.indices, 1, v, error)) return false;
                // indices are unsigned integers (the signed types would give
                // negative ones)
                if ((v.Type != TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE &&
                     v.Type != TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT &&
                     v.Type != TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT) ||
                    v.Normalized || v.Count > kMaxCorners) {
                    error = "accessor " + std::to_string(primitive.indices) + " cannot hold indices";
                    return false;
                }
                if (!Spend(3 * v.Count, error)) return false;
                indices.reserve(v.Count);
                for (std::size_t k = 0; k < v.Count; ++k) indices.push_back(static_cast<uint32_t>(Component(v, k, 0)));
            } else {
                for (std::size_t k = 0; k < n; ++k) indices.push_back(static_cast<uint32_t>(k));
            }
            // triangles as lists of three
            std::vector<uint32_t> tri;
            if (mode == TINYGLTF_MODE_TRIANGLES) {
                tri.assign(indices.begin(), indices.begin() + static_cast<std::ptrdiff_t>(indices.size() / 3 * 3));
            } else {
                for (std::size_t k = 2; k < indices.size(); ++k) {
                    if (mode == TINYGLTF_MODE_TRIANGLE_FAN)
                        tri.insert(tri.end(), {indices[0], indices[k - 1], indices[k]});
                    else if (k % 2 == 0)
                        tri.insert(tri.end(), {indices[k - 2], indices[k - 1], indices[k]});
                    else
                        tri.insert(tri.end(), {indices[k - 1], indices[k - 2], indices[k]});
                }
            }
            if (mirrored)
                for (std::size_t k = 0; k + 2 < tri.size(); k += 3) std::swap(tri[k + 1], tri[k + 2]);
            out.Indices = std::move(tri);
            out.Sizes.assign(out.Indices.size() / 3, 3);
            out.Materials.assign(out.Sizes.size(), primitive.material);
            Transform(visit.World, out.Positions, out.Normals, 0);
            scene_.Meshes.push_back(std::move(out));
        }
        return true;
    }

    static bool LodNamed(const std::string& name) {
        float r = 0;
        return LodResolutionOfName(name, r, true);
    }

    const tinygltf::Model& model_;
    TScene& scene_;
    std::vector<std::shared_ptr<const std::vector<uint8_t>>> pictures_;  // per image, once taken
    std::size_t budget_ = 0;
};

// The model of the editable record that the root nodes' extras name, when
// one of them names a buffer view that lies within its buffer; a record
// that cannot be taken is a warning.
void TakeRecord(const tinygltf::Model& model, TScene& scene) {
    std::size_t at = model.defaultScene >= 0 ? static_cast<std::size_t>(model.defaultScene) : 0;
    if (at >= model.scenes.size()) at = 0;
    if (at >= model.scenes.size()) return;
    for (const int n : model.scenes[at].nodes) {
        if (n < 0 || static_cast<std::size_t>(n) >= model.nodes.size()) continue;
        const tinygltf::Value& extras = model.nodes[static_cast<std::size_t>(n)].extras;
        if (!extras.IsObject() || !extras.Has("editable") || !extras.Get("editable").Has("bufferView")) continue;
        const tinygltf::Value& index = extras.Get("editable").Get("bufferView");
        if (!index.IsInt() || index.Get<int>() < 0 ||
            static_cast<std::size_t>(index.Get<int>()) >= model.bufferViews.size())
            continue;
        const tinygltf::BufferView& view = model.bufferViews[static_cast<std::size_t>(index.Get<int>())];
        if (view.buffer < 0 || static_cast<std::size_t>(view.buffer) >= model.buffers.size()) continue;
        const std::vector<unsigned char>& data = model.buffers[static_cast<std::size_t>(view.buffer)].data;
        if (view.byteOffset > data.size() || view.byteLength > data.size() - view.byteOffset) continue;
        std::string why;
        scene.FromRecord =
            ModelFromRecord(data.data() + view.byteOffset, view.byteLength, data.data(), view.byteOffset, why);
        if (!scene.FromRecord) scene.Warnings.push_back(why + ": the meshes are imported instead");
        return;
    }
}

// Reads the JSON of a .glb for what leads to the editable record alone,
// without building a document: the default scene, the scenes' root nodes,
// the root nodes' "editable" extras and the buffer views. The accessors,
// meshes and materials, most of the text, are only passed over.
class TRecordFinder : public nlohmann::json_sax<nlohmann::json> {
public:
    // The record's view (its offset and length in the buffer); false when
    // the file names none that the binary chunk can hold.
    bool View(std::size_t& offset, std::size_t& length) const {
        const std::size_t scene = scene_ < scenes_.size() ? scene_ : 0;
        if (scene >= scenes_.size()) return false;
        for (const std::size_t root : scenes_[scene]) {
            if (root >= nodeViews_.size() || nodeViews_[root] == kNone) continue;
            const std::size_t view = nodeViews_[root];
            if (view >= views_.size() || views_[view].Buffer != 0 || !views_[view].HasLength) return false;
            offset = views_[view].Offset;
            length = views_[view].Length;
            return true;
        }
        return false;
    }

    bool null() override { return Scalar(); }
    bool boolean(bool) override { return Scalar(); }
    bool number_integer(number_integer_t) override { return Scalar(); }
    bool number_unsigned(number_unsigned_t value) override {
        Enter();
        Unsigned(static_cast<uint64_t>(value));
        return true;
    }
    bool number_float(number_float_t, const string_t&) override { return Scalar(); }
    bool string(string_t&) override { return Scalar(); }
    bool binary(binary_t&) override { return Scalar(); }
    bool start_object(std::size_t) override {
        Enter();
        path_.push_back({false, 0, {}});
        return true;
    }
    bool key(string_t& key) override {
        path_.back().Key = key;
        return true;
    }
    bool end_object() override {
        path_.pop_back();
        return true;
    }
    bool start_array(std::size_t) override {
        Enter();
        path_.push_back({true, 0, {}});
        return true;
    }
    bool end_array() override {
        path_.pop_back();
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

private:
    static constexpr std::size_t kNone = SIZE_MAX;
    struct TFrame {
        bool Array;
        std::size_t Next;  // in an array: the index of the element after the current one
        std::string Key;   // in an object: the current key
    };
    struct TView {
        std::size_t Buffer = 0, Offset = 0, Length = 0;
        bool HasLength = false;
    };

    // a value starts: in an array it is the next element
    void Enter() {
        if (!path_.empty() && path_.back().Array) ++path_.back().Next;
    }
    bool Scalar() {
        Enter();
        return true;
    }
    bool Is(std::size_t depth, const char* key) const { return !path_[depth].Array && path_[depth].Key == key; }
    std::size_t Element(std::size_t depth) const { return path_[depth].Next - 1; }
    template <class T>
    static T& At(std::vector<T>& list, std::size_t k, const T& fill = T()) {
        if (k >= list.size()) list.resize(k + 1, fill);
        return list[k];
    }
    void Unsigned(uint64_t value) {
        const std::size_t n = path_.size();
        const auto v = static_cast<std::size_t>(value);
        if (n == 1 && Is(0, "scene")) {
            scene_ = v;
        } else if (n == 4 && Is(0, "scenes") && path_[1].Array && Is(2, "nodes") && path_[3].Array) {
            At(scenes_, Element(1)).push_back(v);
        } else if (n == 5 && Is(0, "nodes") && path_[1].Array && Is(2, "extras") && Is(3, "editable") &&
                   Is(4, "bufferView")) {
            At(nodeViews_, Element(1), kNone) = v;
        } else if (n == 3 && Is(0, "bufferViews") && path_[1].Array) {
            TView& view = At(views_, Element(1));
            if (Is(2, "buffer")) view.Buffer = v;
            if (Is(2, "byteOffset")) view.Offset = v;
            if (Is(2, "byteLength")) view.Length = v, view.HasLength = true;
        }
    }

    std::vector<TFrame> path_;
    std::size_t scene_ = SIZE_MAX;
    std::vector<std::vector<std::size_t>> scenes_;
    std::vector<std::size_t> nodeViews_;
    std::vector<TView> views_;
};

// Where the editable record of a .glb lies in the file, found without the
// meshes: the JSON chunk parsed, the root nodes' extras read, the buffer
// view checked against the binary chunk. False when there is none.
bool RecordInGlb(const std::vector<unsigned char>& file, std::size_t& data, std::size_t& at, std::size_t& size) {
    const auto le32 = [&](std::size_t k) {
        return std::size_t{file[k]} | std::size_t{file[k + 1]} << 8 | std::size_t{file[k + 2]} << 16 |
               std::size_t{file[k + 3]} << 24;
    };
    if (file.size() < 20 || std::memcmp(file.data(), "glTF", 4) != 0 || le32(4) != 2) return false;
    const std::size_t jsonBytes = le32(12);
    if (std::memcmp(file.data() + 16, "JSON", 4) != 0 || jsonBytes > file.size() - 20) return false;
    const std::size_t binAt = 20 + jsonBytes;
    if (file.size() - binAt < 8 || std::memcmp(file.data() + binAt + 4, "BIN", 4) != 0) return false;
    const std::size_t binBytes = std::min(le32(binAt), file.size() - binAt - 8);
    TRecordFinder finder;
    if (!nlohmann::json::sax_parse(file.begin() + 20, file.begin() + 20 + static_cast<std::ptrdiff_t>(jsonBytes),
                                   &finder))
        return false;
    std::size_t offset = 0, length = 0;
    if (!finder.View(offset, length)) return false;
    if (offset > binBytes || length > binBytes - offset) return false;
    data = binAt + 8;
    at = data + offset;
    size = length;
    return true;
}

bool Read(tinygltf::TinyGLTF& loader, const std::function<bool(tinygltf::Model&, std::string&, std::string&)>& load,
          TScene& scene, std::string& error, bool takeRecord = true) {
    loader.SetImageLoader(SkipImage, nullptr);
    loader.SetFsCallbacks({Exists, Expanded, ReadWhole, NoWrite, nullptr});
    tinygltf::Model model;
    std::string err, warn;
    bool ok = false;
    try {
        ok = load(model, err, warn);
    } catch (const std::exception& e) {
        error = std::string("not a glTF file: ") + e.what();
        return false;
    }
    // Compressed meshes fail the loader's checks or leave accessors without
    // data: say why rather than which accessor broke.
    for (const std::string& required : model.extensionsRequired)
        if (required == "KHR_draco_mesh_compression" || required == "EXT_meshopt_compression") {
            error = "its meshes are compressed (" + required + "), which is not read";
            return false;
        }
    if (!ok) {
        while (!err.empty() && (err.back() == '\n' || err.back() == ' ')) err.pop_back();
        for (char& c : err)
            if (c == '\n') c = ';';
        error = "not a glTF 2.0 file that can be read" + (err.empty() ? std::string() : ": " + err);
        return false;
    }
    if (takeRecord) TakeRecord(model, scene);
    TGltfReader reader(model, scene);
    if (!reader.Run(error, scene.FromRecord != nullptr)) return false;
    if (reader.Cycles)
        scene.Warnings.push_back(std::to_string(reader.Cycles) +
                                 " node references to nodes already met (a cycle or a shared child), taken once");
    return true;
}

// A .glb in memory: the editable record when it has one that builds, else
// everything through the loader.
bool ReadGlb(tinygltf::TinyGLTF& loader, const std::vector<unsigned char>& bytes, const std::string& folder,
             TScene& scene, std::string& error) {
    std::size_t data = 0, at = 0, size = 0;
    const bool record = RecordInGlb(bytes, data, at, size);
    if (record) {
        std::string why;
        scene.FromRecord = ModelFromRecord(bytes.data() + at, size, bytes.data() + data, at - data, why);
        if (!scene.FromRecord) scene.Warnings.push_back(why + ": the meshes are imported instead");
        if (scene.FromRecord) return true;
    }
    if (bytes.size() > std::numeric_limits<unsigned>::max()) {
        error = "too large";
        return false;
    }
    return Read(
        loader,
        [&](tinygltf::Model& model, std::string& err, std::string& warn) {
            return loader.LoadBinaryFromMemory(&model, &err, &warn, bytes.data(), static_cast<unsigned>(bytes.size()),
                                               folder);
        },
        scene, error, !record);
}

}  // namespace

bool ReadGltfScene(const std::string& path, TScene& scene, std::string& error) {
    std::FILE* probe = std::fopen(path.c_str(), "rb");
    if (!probe) {
        error = "cannot be opened: " + std::string(std::strerror(errno));
        return false;
    }
    char magic[4] = {};
    const bool binary = std::fread(magic, 1, 4, probe) == 4 && std::memcmp(magic, "glTF", 4) == 0;
    std::fclose(probe);
    std::string ext = std::filesystem::path(path).extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!binary && ext == ".glb") {
        error = "not a binary glTF file: it does not start with \"glTF\"";
        return false;
    }
    tinygltf::TinyGLTF loader;
    if (binary) {
        std::vector<unsigned char> bytes;
        std::string err;
        if (!ReadWhole(&bytes, &err, path, nullptr)) {
            error = err.empty() ? "cannot be read" : err.substr(0, err.size() - 1);
            return false;
        }
        return ReadGlb(loader, bytes, std::filesystem::path(path).parent_path().string(), scene, error);
    }
    return Read(
        loader,
        [&](tinygltf::Model& model, std::string& err, std::string& warn) {
            return loader.LoadASCIIFromFile(&model, &err, &warn, path);
        },
        scene, error);
}

bool ReadGltfBytes(const std::vector<unsigned char>& bytes, bool binary, TScene& scene, std::string& error) {
    if (bytes.size() > std::numeric_limits<unsigned>::max()) {
        error = "too large";
        return false;
    }
    tinygltf::TinyGLTF loader;
    if (binary) return ReadGlb(loader, bytes, "", scene, error);
    return Read(
        loader,
        [&](tinygltf::Model& model, std::string& err, std::string& warn) {
            const auto n = static_cast<unsigned>(bytes.size());
            return loader.LoadASCIIFromString(&model, &err, &warn, reinterpret_cast<const char*>(bytes.data()), n,
                                              "/nonexistent");
        },
        scene, error);
}

}  // namespace vistrel::importing
