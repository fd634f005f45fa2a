// An export read back by a reader other than the library that wrote it:
// tinygltf for glTF, tinyobjloader for OBJ, Assimp's importer for COLLADA, a
// few lines of our own for STL and for PLY's header. How many triangles it
// holds, and an OBJ's positions.
#pragma once

#include <assimp/scene.h>
#include <tiny_obj_loader.h>
#include <assimp/Importer.hpp>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "GltfReadBack.h"
#include "ToolRunner.h"

namespace tooltest {

struct TReadBack {
    std::string error;  // empty when it was read
    std::size_t triangles = 0;
    std::vector<float> positions;  // of an OBJ: x, y, z per vertex
};

inline TReadBack ReadExport(const std::string& formatId, const std::string& path) {
    TReadBack out;
    const std::string bytes = ReadAll(path);
    if (formatId == "glb2" || formatId == "gltf2") {
        const TGltfReadBack gltf = ReadGltf(path);
        out.error = gltf.error;
        for (const TGltfLod& lod : gltf.lods) out.triangles += lod.triangles;
    } else if (formatId == "obj" || formatId == "objnomtl") {
        tinyobj::ObjReaderConfig config;
        config.triangulate = false;
        tinyobj::ObjReader reader;
        if (!reader.ParseFromFile(path, config)) out.error = "not loaded: " + reader.Error();
        for (const tinyobj::shape_t& shape : reader.GetShapes())
            for (const unsigned char corners : shape.mesh.num_face_vertices) {
                if (corners != 3) out.error = "a face that is not a triangle";
                ++out.triangles;
            }
        out.positions = reader.GetAttrib().vertices;
    } else if (formatId == "stlb") {  // an 80-byte header, the triangle count, 50 bytes per triangle
        uint32_t n = 0;
        if (bytes.size() >= 84) std::memcpy(&n, bytes.data() + 80, 4);
        out.triangles = n;
        if (bytes.size() < 84 || bytes.size() != 84 + 50 * std::size_t{n}) out.error = "not a binary STL file";
    } else if (formatId == "stl") {
        for (auto at = bytes.find("facet normal"); at != std::string::npos; at = bytes.find("facet normal", at + 1))
            ++out.triangles;
        if (bytes.rfind("solid", 0) != 0 || bytes.find("endsolid") == std::string::npos) out.error = "not STL text";
    } else if (formatId == "ply" || formatId == "plyb") {  // the header: its format and its count of faces
        const std::string format = formatId == "ply" ? "ascii" : "binary_little_endian";
        const std::size_t end = bytes.find("end_header\n"), faces = bytes.find("\nelement face ");
        if (bytes.rfind("ply\nformat " + format + " 1.0\n", 0) != 0 || end == std::string::npos || faces > end)
            out.error = "not a PLY header of " + formatId;
        else
            out.triangles = std::stoul(bytes.substr(faces + 14));
    } else if (formatId == "collada") {
        Assimp::Importer importer;
        const aiScene* scene = importer.ReadFile(path, 0);
        if (!scene) out.error = "not loaded: " + std::string(importer.GetErrorString());
        for (unsigned m = 0; scene && m < scene->mNumMeshes; ++m) out.triangles += scene->mMeshes[m]->mNumFaces;
    } else {
        out.error = "no reader for " + formatId;
    }
    return out;
}

}  // namespace tooltest
