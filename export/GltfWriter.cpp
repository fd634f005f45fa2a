// glTF 2.0 through tinygltf: the model as a tinygltf::Model (one buffer, a
// mesh per LOD with a primitive per texture, a material per texture, the
// pictures as PNG in buffer views of a .glb or as files beside a .gltf), the
// LODs' selections, properties and resolution and the model's mass as the
// nodes' extras, with the editable record (EditableRecord.h) in a buffer
// view the root node's extras name; the library serialises it into a stream
// of ours.
#include <tiny_gltf.h>

#include <cstring>
#include <fstream>
#include <limits>

#include "EditableRecord.h"
#include "ExportWriters.h"

namespace vistrel::exporting {

namespace {

constexpr int kArrayBuffer = TINYGLTF_TARGET_ARRAY_BUFFER;
constexpr int kElementArrayBuffer = TINYGLTF_TARGET_ELEMENT_ARRAY_BUFFER;
// 16-bit indices serve parts of at most this many vertices: 65535 itself
// is the primitive restart value.
constexpr std::size_t kMaxShortIndexVertices = 65535;

std::size_t Padded(std::size_t n) { return (n + 3) & ~std::size_t{3}; }

bool ShortIndices(const TMeshPart& part) { return part.VertexCount() <= kMaxShortIndexVertices; }

std::size_t IndexBytes(const TMeshPart& part) {
    return part.Indices.size() * (ShortIndices(part) ? sizeof(uint16_t) : sizeof(uint32_t));
}

// Lays the pieces of the one buffer out one after another, 4-byte aligned.
class TBufferFiller {
public:
    TBufferFiller(tinygltf::Model& model, std::size_t size) : model_(model) {
        model_.buffers.emplace_back();
        model_.buffers[0].data.resize(size);
    }

    // A buffer view of n bytes, filled by fill(destination); its index.
    template <class F>
    int View(std::size_t n, int target, F&& fill) {
        tinygltf::BufferView view;
        view.buffer = 0;
        view.byteOffset = at_;
        view.byteLength = n;
        view.target = target;
        fill(model_.buffers[0].data.data() + at_);
        at_ += Padded(n);
        model_.bufferViews.push_back(view);
        return static_cast<int>(model_.bufferViews.size() - 1);
    }

    int Floats(const std::vector<float>& values, int type, std::size_t count, int target) {
        const int view = View(values.size() * sizeof(float), target, [&](unsigned char* to) {
            std::memcpy(to, values.data(), values.size() * sizeof(float));
        });
        return Accessor(view, TINYGLTF_COMPONENT_TYPE_FLOAT, type, count);
    }

    int Accessor(int view, int componentType, int type, std::size_t count) {
        tinygltf::Accessor accessor;
        accessor.bufferView = view;
        accessor.componentType = componentType;
        accessor.type = type;
        accessor.count = count;
        model_.accessors.push_back(std::move(accessor));
        return static_cast<int>(model_.accessors.size() - 1);
    }

private:
    tinygltf::Model& model_;
    std::size_t at_ = 0;
};

tinygltf::Value LodExtras(const TP3dLOD& lod) {
    tinygltf::Value::Object selections, properties;
    for (const TRealSelection* selection : lod.Selections)
        selections.emplace(Latin1ToUtf8(selection->Name), tinygltf::Value(selection->Polygons.Count()));
    for (const std::string& line : lod.Properties) {
        const auto [name, value] = SplitProperty(line);
        properties.emplace(Latin1ToUtf8(name), tinygltf::Value(Latin1ToUtf8(value)));
    }
    tinygltf::Value::Object extras;
    extras.emplace("resolution", tinygltf::Value(static_cast<double>(lod.Resolution)));
    extras.emplace("selections", tinygltf::Value(std::move(selections)));
    extras.emplace("properties", tinygltf::Value(std::move(properties)));
    return tinygltf::Value(std::move(extras));
}

}  // namespace

bool WriteGltf(const TExportJob& job, std::string& error) {
    const bool binary = job.Format.Id == "glb2";
    tinygltf::Model model;
    model.asset.version = "2.0";
    model.asset.generator = "Vistrel";

    // The buffer: the parts' arrays, then (inside a .glb) the pictures.
    std::size_t size = 0;
    for (const TMeshPart& part : job.Parts)
        size += Padded(part.Positions.size() * 4) * 2 + Padded(part.Uvs.size() * 4) + Padded(IndexBytes(part));
    if (binary)
        for (const TTextureOut& t : job.Textures)
            if (t.Usable()) size += Padded(t.Picture->Png.size());
    const std::vector<uint8_t> record =
        job.EditableRecord ? EditableRecord(job.Model, job.Groups.Lods) : std::vector<uint8_t>{};
    const std::vector<uint8_t> packed = record.empty() ? record : PackRecord(record);
    size += Padded(packed.size());
    if (size > std::numeric_limits<uint32_t>::max() - 1024) {
        error = "the model is too large for one glTF buffer";
        return false;
    }
    TBufferFiller buffer(model, size);

    // Materials, with the pictures that were made.
    tinygltf::Sampler sampler;
    sampler.magFilter = TINYGLTF_TEXTURE_FILTER_LINEAR;
    sampler.minFilter = TINYGLTF_TEXTURE_FILTER_LINEAR_MIPMAP_LINEAR;
    model.samplers.push_back(sampler);
    for (std::size_t m = 0; m < job.Groups.Materials.size(); ++m) {
        tinygltf::Material material;
        material.name = Latin1ToUtf8(MaterialName(job.Groups.Materials[m]));
        material.emissiveFactor = {0.0, 0.0, 0.0};
        material.pbrMetallicRoughness.metallicFactor = 0.0;  // painted surfaces, not metal
        const TTextureOut& t = job.Textures[m];
        if (t.Usable()) {
            tinygltf::Image image;
            image.mimeType = "image/png";
            if (binary) {
                const std::vector<uint8_t>& png = t.Picture->Png;
                image.bufferView =
                    buffer.View(png.size(), 0, [&](unsigned char* to) { std::memcpy(to, png.data(), png.size()); });
            } else {
                image.uri = job.PictureFiles[m];
            }
            model.images.push_back(std::move(image));
            tinygltf::Texture texture;
            texture.sampler = 0;
            texture.source = static_cast<int>(model.images.size() - 1);
            model.textures.push_back(texture);
            material.pbrMetallicRoughness.baseColorTexture.index = static_cast<int>(model.textures.size() - 1);
            if (t.Picture->Alpha) material.alphaMode = "BLEND";
        }
        model.materials.push_back(std::move(material));
    }
    if (model.images.empty()) model.samplers.clear();

    // The root node carries the mass and the editable record; under it a
    // node per LOD, with its mesh when it has faces.
    tinygltf::Node root;
    root.name = job.RootName;
    model.nodes.push_back(std::move(root));
    std::vector<int> meshOfLod(job.Groups.Lods.size(), -1);
    for (const TMeshPart& part : job.Parts) {
        if (meshOfLod[part.Lod] < 0) {
            tinygltf::Mesh mesh;
            mesh.name = Latin1ToUtf8(LodDisplayName(job.Groups.Lods[part.Lod]->Resolution));
            model.meshes.push_back(std::move(mesh));
            meshOfLod[part.Lod] = static_cast<int>(model.meshes.size() - 1);
        }
        const std::size_t n = part.VertexCount();
        tinygltf::Primitive primitive;
        primitive.mode = TINYGLTF_MODE_TRIANGLES;
        primitive.material = static_cast<int>(part.Material);
        const int position = buffer.Floats(part.Positions, TINYGLTF_TYPE_VEC3, n, kArrayBuffer);
        model.accessors[static_cast<std::size_t>(position)].minValues.assign(part.Min.begin(), part.Min.end());
        model.accessors[static_cast<std::size_t>(position)].maxValues.assign(part.Max.begin(), part.Max.end());
        primitive.attributes["POSITION"] = position;
        primitive.attributes["NORMAL"] = buffer.Floats(part.Normals, TINYGLTF_TYPE_VEC3, n, kArrayBuffer);
        primitive.attributes["TEXCOORD_0"] = buffer.Floats(part.Uvs, TINYGLTF_TYPE_VEC2, n, kArrayBuffer);
        const bool shortIndices = ShortIndices(part);
        const int indexView = buffer.View(IndexBytes(part), kElementArrayBuffer, [&](unsigned char* to) {
            if (!shortIndices) {
                std::memcpy(to, part.Indices.data(), part.Indices.size() * sizeof(uint32_t));
                return;
            }
            for (const uint32_t index : part.Indices) {
                const auto narrow = static_cast<uint16_t>(index);
                std::memcpy(to, &narrow, sizeof narrow);
                to += sizeof narrow;
            }
        });
        primitive.indices = buffer.Accessor(
            indexView, shortIndices ? TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT : TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT,
            TINYGLTF_TYPE_SCALAR, part.Indices.size());
        model.meshes[static_cast<std::size_t>(meshOfLod[part.Lod])].primitives.push_back(std::move(primitive));
    }
    // the record last in the buffer, after everything a viewer reads
    tinygltf::Value::Object rootExtras{{"mass", tinygltf::Value(static_cast<double>(job.Model.Mass))}};
    if (!packed.empty()) {
        const int view = buffer.View(packed.size(), 0, [&](unsigned char* to) {
            std::memcpy(to, packed.data(), packed.size());
            const unsigned char* data = model.buffers[0].data.data();
            SetDataCrc(to, packed.size(), data, static_cast<std::size_t>(to - data));
        });
        rootExtras.emplace("editable", tinygltf::Value(tinygltf::Value::Object{{"bufferView", tinygltf::Value(view)}}));
    }
    model.nodes[0].extras = tinygltf::Value(std::move(rootExtras));
    for (std::size_t l = 0; l < job.Groups.Lods.size(); ++l) {
        tinygltf::Node node;
        node.name = Latin1ToUtf8(LodDisplayName(job.Groups.Lods[l]->Resolution));
        node.mesh = meshOfLod[l];
        node.extras = LodExtras(*job.Groups.Lods[l]);
        model.nodes.push_back(std::move(node));
        model.nodes[0].children.push_back(static_cast<int>(model.nodes.size() - 1));
    }
    tinygltf::Scene scene;
    scene.nodes = {0};
    model.scenes.push_back(std::move(scene));
    model.defaultScene = 0;

    // Serialised into a file of ours, checked once it is closed.
    const TAtomicFile& staged = job.Staged.Stage(job.Out);
    std::ofstream file(staged.TemporaryPath(), std::ios::binary | std::ios::trunc);
    if (!staged.Ok() || !file) {
        error = "cannot write " + job.Out.string() + ": " + (staged.Ok() ? std::strerror(errno) : staged.Error());
        return false;
    }
    tinygltf::TinyGLTF writer;
    writer.SetImageWriter(nullptr, nullptr);  // the pictures are PNG already: passed through as they are
    bool written = false;
    try {
        written = writer.WriteGltfSceneToStream(&model, file, !binary, binary);
    } catch (const std::exception& e) {
        error = "cannot write " + job.Out.string() + ": " + e.what();
        return false;
    }
    file.close();
    if (!written || !file) {
        error = "cannot write " + job.Out.string() + ": " + (errno ? std::strerror(errno) : "write error");
        return false;
    }
    return true;
}

}  // namespace vistrel::exporting
