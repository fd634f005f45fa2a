// OBJ (with its .mtl) through tinyobjloader: each shape ("o" or "g") a
// mesh named as the file names it, its polygons as they are (not
// triangulated by the library), corners naming vertices beyond the lists
// counted.
#include <tiny_obj_loader.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "ImportScene.h"

namespace vistrel::importing {

bool ReadObjScene(const std::string& path, TScene& scene, std::string& error) {
    if (std::FILE* probe = std::fopen(path.c_str(), "rb"))
        std::fclose(probe);
    else {
        error = "cannot be opened: " + std::string(std::strerror(errno));
        return false;
    }
    tinyobj::ObjReaderConfig config;
    config.triangulate = false;
    config.vertex_color = false;
    config.mtl_search_path = std::filesystem::path(path).parent_path().string();
    tinyobj::ObjReader reader;
    if (!reader.ParseFromFile(path, config)) {
        std::string why = reader.Error();
        while (!why.empty() && why.back() == '\n') why.pop_back();
        error = "not an OBJ file that can be read" + (why.empty() ? std::string() : ": " + why);
        return false;
    }
    for (const tinyobj::material_t& m : reader.GetMaterials())
        scene.Materials.push_back({m.name, m.diffuse_texname, {}});
    const tinyobj::attrib_t& attrib = reader.GetAttrib();
    const std::size_t positions = attrib.vertices.size() / 3, normals = attrib.normals.size() / 3,
                      uvs = attrib.texcoords.size() / 2;
    for (const tinyobj::shape_t& shape : reader.GetShapes()) {
        const tinyobj::mesh_t& mesh = shape.mesh;
        if (mesh.num_face_vertices.empty()) continue;
        TSceneMesh out;
        out.Node = shape.name;
        const std::size_t corners = mesh.indices.size();
        if (corners > kMaxCorners) {
            error = "more corners than can be imported";
            return false;
        }
        out.Positions.reserve(3 * corners);
        out.Normals.reserve(3 * corners);
        out.Uvs.reserve(2 * corners);
        std::size_t at = 0;
        bool allNormals = true;
        for (std::size_t f = 0; f < mesh.num_face_vertices.size(); ++f) {
            const std::size_t n = mesh.num_face_vertices[f];
            if (n > corners - at) break;
            out.Sizes.push_back(static_cast<uint32_t>(n));
            out.Materials.push_back(f < mesh.material_ids.size() ? mesh.material_ids[f] : -1);
            for (std::size_t k = 0; k < n; ++k, ++at) {
                const tinyobj::index_t& i = mesh.indices[at];
                if (i.vertex_index < 0 || static_cast<std::size_t>(i.vertex_index) >= positions) {
                    out.Indices.push_back(UINT32_MAX);  // beyond every count
                    continue;
                }
                out.Indices.push_back(static_cast<uint32_t>(out.Positions.size() / 3));
                const auto v = static_cast<std::size_t>(i.vertex_index);
                out.Positions.insert(out.Positions.end(),
                                     {attrib.vertices[3 * v], attrib.vertices[3 * v + 1], attrib.vertices[3 * v + 2]});
                if (i.normal_index >= 0 && static_cast<std::size_t>(i.normal_index) < normals) {
                    const auto q = static_cast<std::size_t>(i.normal_index);
                    out.Normals.insert(out.Normals.end(),
                                       {attrib.normals[3 * q], attrib.normals[3 * q + 1], attrib.normals[3 * q + 2]});
                } else {
                    allNormals = false;
                    out.Normals.insert(out.Normals.end(), {0.0f, 0.0f, 0.0f});
                }
                if (i.texcoord_index >= 0 && static_cast<std::size_t>(i.texcoord_index) < uvs) {
                    const auto t = static_cast<std::size_t>(i.texcoord_index);
                    // the file counts rows from the bottom
                    out.Uvs.insert(out.Uvs.end(), {attrib.texcoords[2 * t], 1.0f - attrib.texcoords[2 * t + 1]});
                } else {
                    out.Uvs.insert(out.Uvs.end(), {0.0f, 0.0f});
                }
            }
        }
        if (!allNormals) out.Normals.clear();
        scene.Meshes.push_back(std::move(out));
    }
    return true;
}

}  // namespace vistrel::importing
