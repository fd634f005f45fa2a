// An exported glTF file read back by tinygltf's loader, and what the export
// tests ask of it: the LOD nodes under the root with their triangles, and
// whether every mesh and primitive hangs under exactly one LOD node.
#pragma once

#include <tiny_gltf.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace tooltest {

struct TGltfLod {
    std::string name;
    std::size_t triangles = 0;
    const tinygltf::Value* extras = nullptr;
};

struct TGltfReadBack {
    std::string error;  // empty when it loaded and held together
    tinygltf::Model model;
    std::vector<TGltfLod> lods;  // the root's children in order
};

// The pictures are not decoded: their bytes are only checked to be PNG.
inline bool KeepPngBytes(tinygltf::Image*, const int, std::string* err, std::string*, int, int,
                         const unsigned char* bytes, int size, void*) {
    if (size >= 8 && std::memcmp(bytes, "\x89PNG\r\n\x1a\n", 8) == 0) return true;
    *err = "an image that is not PNG";
    return false;
}

inline TGltfReadBack ReadGltf(const std::string& path) {
    TGltfReadBack out;
    tinygltf::TinyGLTF loader;
    loader.SetImageLoader(KeepPngBytes, nullptr);
    std::string err, warn;
    const bool binary = path.size() > 4 && path.compare(path.size() - 4, 4, ".glb") == 0;
    const bool ok = binary ? loader.LoadBinaryFromFile(&out.model, &err, &warn, path)
                           : loader.LoadASCIIFromFile(&out.model, &err, &warn, path);
    if (!ok) {
        out.error = "not loaded: " + err;
        return out;
    }
    const tinygltf::Model& m = out.model;
    if (m.scenes.size() != 1 || m.scenes[0].nodes.size() != 1) {
        out.error = "not one scene with one root";
        return out;
    }
    const tinygltf::Node& root = m.nodes.at(static_cast<std::size_t>(m.scenes[0].nodes[0]));
    std::set<int> meshesUsed;
    for (const int child : root.children) {
        const tinygltf::Node& node = m.nodes.at(static_cast<std::size_t>(child));
        TGltfLod lod{node.name, 0, &node.extras};
        if (node.mesh >= 0) {
            if (!meshesUsed.insert(node.mesh).second) out.error = "mesh " + std::to_string(node.mesh) + " used twice";
            for (const tinygltf::Primitive& p : m.meshes.at(static_cast<std::size_t>(node.mesh)).primitives) {
                const tinygltf::Accessor& indices = m.accessors.at(static_cast<std::size_t>(p.indices));
                const tinygltf::Accessor& positions =
                    m.accessors.at(static_cast<std::size_t>(p.attributes.at("POSITION")));
                if (p.mode != TINYGLTF_MODE_TRIANGLES || indices.count % 3 != 0 || positions.minValues.size() != 3)
                    out.error = "a primitive of " + node.name + " is not a list of triangles with a box";
                lod.triangles += indices.count / 3;
            }
        }
        out.lods.push_back(lod);
    }
    if (out.error.empty() && meshesUsed.size() != m.meshes.size()) out.error = "a mesh outside every LOD node";
    return out;
}

}  // namespace tooltest
