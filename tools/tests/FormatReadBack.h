// An export read back by a reader other than the library that wrote it,
// where one is at hand: tinygltf for glTF, tinyobjloader for OBJ, a few
// lines of our own for STL and for PLY's header; COLLADA by Assimp's
// importer. What the tests ask of it: how many triangles it holds.
#pragma once

#include <assimp/scene.h>
#include <tiny_obj_loader.h>
#include <assimp/Importer.hpp>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "GltfReadBack.h"

namespace tooltest {

struct TReadBack {
    std::string error;  // empty when it was read
    std::size_t triangles = 0;
    std::vector<float> positions;  // of an OBJ: x, y, z per vertex
};

inline TReadBack ReadExport(const std::string& formatId, const std::string& path) {
    TReadBack out;
    std::ifstream file(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
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
        out.positions.assign(reader.GetAttrib().vertices.begin(), reader.GetAttrib().vertices.end());
    } else if (formatId == "stlb") {
        // an 80-byte header, the triangle count, 50 bytes per triangle
        uint32_t n = 0;
        if (bytes.size() >= 84) std::memcpy(&n, bytes.data() + 80, 4);
        out.triangles = n;
        if (bytes.size() < 84 || bytes.size() != 84 + 50 * std::size_t{n}) out.error = "not a binary STL file";
    } else if (formatId == "stl") {
        std::istringstream lines(bytes);
        std::string word;
        while (lines >> word) out.triangles += word == "facet";
        if (bytes.rfind("solid", 0) != 0 || bytes.find("endsolid") == std::string::npos) out.error = "not STL text";
    } else if (formatId == "ply" || formatId == "plyb") {
        // the header: its format and its element counts
        const std::string format = formatId == "ply" ? "format ascii 1.0\n" : "format binary_little_endian 1.0\n";
        const std::size_t end = bytes.find("end_header\n");
        const std::size_t faces = bytes.find("\nelement face ");
        if (bytes.rfind("ply\n" + format, 0) != 0 || end == std::string::npos || faces > end)
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
