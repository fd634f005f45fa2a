// Every format but glTF through Assimp's exporter: the parts as an aiScene
// (a node per LOD, a mesh per part, in node order: the library's mesh
// merging misplaces meshes handed over in another order), the LODs'
// selections, properties and resolution as flat node metadata, the mass as
// the root's; the files it opens for writing are staged with ours.
#include <assimp/DefaultIOSystem.h>
#include <assimp/material.h>
#include <assimp/metadata.h>
#include <assimp/scene.h>
#include <assimp/Exporter.hpp>

#include <algorithm>
#include <cstring>
#include <memory>

#include "ExportWriters.h"

namespace vistrel::exporting {

namespace {

class TStagedIOSystem : public Assimp::DefaultIOSystem {
public:
    explicit TStagedIOSystem(TStagedFiles& staged) : staged_(staged) {}
    Assimp::IOStream* Open(const char* file, const char* mode = "rb") override {
        if (!std::strchr(mode, 'w') && !std::strchr(mode, 'a')) return DefaultIOSystem::Open(file, mode);
        return DefaultIOSystem::Open(staged_.Stage(file).TemporaryPath().c_str(), mode);
    }

private:
    TStagedFiles& staged_;
};

// The formats' texture rows are counted from the bottom; the model's V
// counts them from the top.
aiMesh* Mesh(const TMeshPart& part, const std::string& name) {
    auto* mesh = new aiMesh;
    mesh->mName = name;
    mesh->mMaterialIndex = part.Material;
    mesh->mPrimitiveTypes = aiPrimitiveType_TRIANGLE;
    const std::size_t n = part.VertexCount();
    mesh->mNumVertices = static_cast<unsigned>(n);
    mesh->mVertices = new aiVector3D[n];
    mesh->mNormals = new aiVector3D[n];
    mesh->mTextureCoords[0] = new aiVector3D[n];
    mesh->mNumUVComponents[0] = 2;
    for (std::size_t v = 0; v < n; ++v) {
        mesh->mVertices[v] = {part.Positions[3 * v], part.Positions[3 * v + 1], part.Positions[3 * v + 2]};
        mesh->mNormals[v] = {part.Normals[3 * v], part.Normals[3 * v + 1], part.Normals[3 * v + 2]};
        mesh->mTextureCoords[0][v] = {part.Uvs[2 * v], 1.0f - part.Uvs[2 * v + 1], 0.0f};
    }
    mesh->mNumFaces = static_cast<unsigned>(part.Indices.size() / 3);
    mesh->mFaces = new aiFace[mesh->mNumFaces];
    for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
        mesh->mFaces[f].mNumIndices = 3;
        mesh->mFaces[f].mIndices =
            new unsigned[3]{part.Indices[3 * f], part.Indices[3 * f + 1], part.Indices[3 * f + 2]};
    }
    return mesh;
}

// A metadata block of n entries (the library gives none for 0).
aiMetadata* Metadata(std::size_t n) { return n ? aiMetadata::Alloc(static_cast<unsigned>(n)) : new aiMetadata; }

// "resolution", "selection NAME" (its face count) and "property NAME".
aiMetadata* LodMetadata(const TP3dLOD& lod) {
    aiMetadata* meta = Metadata(1 + static_cast<std::size_t>(lod.Selections.Count()) + lod.Properties.size());
    unsigned k = 0;
    meta->Set(k++, "resolution", static_cast<double>(lod.Resolution));
    for (const TRealSelection* selection : lod.Selections)
        meta->Set(k++, "selection " + selection->Name, static_cast<int32_t>(selection->Polygons.Count()));
    for (const std::string& line : lod.Properties) {
        const auto [name, value] = SplitProperty(line);
        meta->Set(k++, "property " + name, aiString(value));
    }
    return meta;
}

}  // namespace

bool WriteWithAssimp(const TExportJob& job, std::string& error) {
    auto scene = std::make_unique<aiScene>();
    scene->mRootNode = new aiNode(job.RootName);
    aiMetadata* rootMeta = Metadata(1);
    rootMeta->Set(0, "mass", static_cast<double>(job.Model.Mass));
    scene->mRootNode->mMetaData = rootMeta;

    const std::size_t lods = job.Groups.Lods.size();
    scene->mRootNode->mNumChildren = static_cast<unsigned>(lods);
    scene->mRootNode->mChildren = new aiNode*[lods];
    scene->mNumMeshes = static_cast<unsigned>(job.Parts.size());
    scene->mMeshes = new aiMesh*[job.Parts.size()];
    std::size_t next = 0;  // the parts come by LOD in order
    for (std::size_t l = 0; l < lods; ++l) {
        auto* node = new aiNode(LodDisplayName(job.Groups.Lods[l]->Resolution));
        node->mParent = scene->mRootNode;
        node->mMetaData = LodMetadata(*job.Groups.Lods[l]);
        scene->mRootNode->mChildren[l] = node;
        const std::size_t first = next;
        while (next < job.Parts.size() && job.Parts[next].Lod == l) {
            const TMeshPart& part = job.Parts[next];
            scene->mMeshes[next] =
                Mesh(part, node->mName.C_Str() + (" " + MaterialName(job.Groups.Materials[part.Material])));
            ++next;
        }
        node->mNumMeshes = static_cast<unsigned>(next - first);
        if (next > first) {
            node->mMeshes = new unsigned[next - first];
            for (std::size_t m = first; m < next; ++m) node->mMeshes[m - first] = static_cast<unsigned>(m);
        }
    }

    const std::size_t materials = job.Groups.Materials.size();
    scene->mNumMaterials = static_cast<unsigned>(materials);
    scene->mMaterials = new aiMaterial*[std::max<std::size_t>(1, materials)];
    for (std::size_t m = 0; m < materials; ++m) {
        auto* material = new aiMaterial;
        scene->mMaterials[m] = material;
        const aiString name(MaterialName(job.Groups.Materials[m]));
        material->AddProperty(&name, AI_MATKEY_NAME);
        const aiColor4D white(1, 1, 1, 1);
        material->AddProperty(&white, 1, AI_MATKEY_COLOR_DIFFUSE);
        if (!job.PictureFiles[m].empty()) {
            const aiString path(job.PictureFiles[m]);
            material->AddProperty(&path, AI_MATKEY_TEXTURE_DIFFUSE(0));
        }
    }

    Assimp::Exporter exporter;
    exporter.SetIOHandler(new TStagedIOSystem(job.Staged));  // the exporter owns it
    if (exporter.Export(scene.get(), job.Format.Id, job.Out.string()) != AI_SUCCESS) {
        error = "cannot write " + job.Out.string() + ": " + exporter.GetErrorString();
        return false;
    }
    return true;
}

}  // namespace vistrel::exporting
