// Every other format through Assimp's importer: the node tree walked without
// recursion, each node's meshes moved by its transform, polygons as the
// library gives them (its triangulation left off: quads stay quads), rows of
// the pictures counted from the top, FBX lengths made metres.
#include <assimp/material.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <assimp/Importer.hpp>

#include <cctype>
#include <cmath>
#include <filesystem>
#include <unordered_set>

#include "ImportScene.h"
#include "P3dmodell.h"

namespace vistrel::importing {

bool ReadAssimpScene(const std::string& path, TScene& scene, std::string& error) {
    Assimp::Importer importer;
    importer.SetPropertyInteger(AI_CONFIG_PP_SBP_REMOVE, aiPrimitiveType_POINT | aiPrimitiveType_LINE);
    const aiScene* ai =
        importer.ReadFile(path, aiProcess_FlipUVs | aiProcess_SortByPType | aiProcess_ValidateDataStructure);
    if (!ai || !ai->mRootNode) {
        error = std::string("cannot be read: ") + importer.GetErrorString();
        return false;
    }
    for (unsigned m = 0; m < ai->mNumMaterials; ++m) {
        const aiMaterial* material = ai->mMaterials[m];
        aiString name, picture;
        material->Get(AI_MATKEY_NAME, name);
        if (material->GetTextureCount(aiTextureType_DIFFUSE) > 0)
            material->GetTexture(aiTextureType_DIFFUSE, 0, &picture);
        else if (material->GetTextureCount(aiTextureType_BASE_COLOR) > 0)
            material->GetTexture(aiTextureType_BASE_COLOR, 0, &picture);
        scene.Materials.push_back({name.C_Str(), picture.C_Str(), {}});
    }
    struct TVisit {
        const aiNode* Node;
        aiMatrix4x4 World;
        std::string Lod;
        bool HasResolution;
        double Resolution;
    };
    // FBX lengths are in the file's unit, UnitScaleFactor centimetres (1 by
    // default); the model's are metres.
    aiMatrix4x4 top;
    std::string ext = std::filesystem::path(path).extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == ".fbx") {
        double unit = 1;
        float single = 1;
        if (ai->mMetaData && !ai->mMetaData->Get("UnitScaleFactor", unit) &&
            ai->mMetaData->Get("UnitScaleFactor", single))
            unit = single;
        if (!(unit > 0) || !std::isfinite(unit)) unit = 1;
        aiMatrix4x4::Scaling(aiVector3D(static_cast<ai_real>(unit / 100)), top);
    }
    std::vector<TVisit> stack{{ai->mRootNode, top, {}, false, 0}};
    std::unordered_set<const aiNode*> visited;
    while (!stack.empty()) {
        TVisit visit = std::move(stack.back());
        stack.pop_back();
        if (!visit.Node || !visited.insert(visit.Node).second) continue;
        const aiNode& node = *visit.Node;
        visit.World = visit.World * node.mTransformation;
        float resolution = 0;
        if (LodResolutionOfName(node.mName.C_Str(), resolution, true)) {
            visit.Lod = node.mName.C_Str();
            double r = 0;
            visit.HasResolution = node.mMetaData && node.mMetaData->Get("resolution", r);
            visit.Resolution = r;
        }
        TMatrix world;
        for (int row = 0; row < 4; ++row)
            for (int c = 0; c < 4; ++c) world.M[c * 4 + row] = visit.World[static_cast<unsigned>(row)][c];
        const bool mirrored = visit.World.Determinant() < 0;
        for (unsigned k = 0; k < node.mNumMeshes; ++k) {
            if (node.mMeshes[k] >= ai->mNumMeshes) continue;
            const aiMesh& mesh = *ai->mMeshes[node.mMeshes[k]];
            TSceneMesh out;
            out.Node = visit.Lod;
            out.HasResolution = visit.HasResolution;
            out.Resolution = visit.Resolution;
            for (unsigned v = 0; v < mesh.mNumVertices; ++v) {
                out.Positions.insert(out.Positions.end(),
                                     {mesh.mVertices[v].x, mesh.mVertices[v].y, mesh.mVertices[v].z});
                if (mesh.mNormals)
                    out.Normals.insert(out.Normals.end(), {mesh.mNormals[v].x, mesh.mNormals[v].y, mesh.mNormals[v].z});
                if (mesh.mTextureCoords[0])
                    out.Uvs.insert(out.Uvs.end(), {mesh.mTextureCoords[0][v].x, mesh.mTextureCoords[0][v].y});
            }
            for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
                const aiFace& face = mesh.mFaces[f];
                out.Sizes.push_back(face.mNumIndices);
                out.Materials.push_back(static_cast<int>(mesh.mMaterialIndex));
                const std::size_t first = out.Indices.size();
                out.Indices.insert(out.Indices.end(), face.mIndices, face.mIndices + face.mNumIndices);
                if (mirrored) std::reverse(out.Indices.begin() + static_cast<std::ptrdiff_t>(first), out.Indices.end());
            }
            Transform(world, out.Positions, out.Normals, 0);
            scene.Meshes.push_back(std::move(out));
        }
        for (unsigned c = node.mNumChildren; c-- > 0;)
            stack.push_back({node.mChildren[c], visit.World, visit.Lod, visit.HasResolution, visit.Resolution});
    }
    return true;
}

}  // namespace vistrel::importing
