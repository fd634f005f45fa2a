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
#include <cstring>
#include <filesystem>
#include <unordered_set>

#include "ImportScene.h"
#include "Isolated.h"
#include "P3dmodell.h"

namespace vistrel::importing {

namespace {

bool ReadHere(const std::string& path, TScene& scene, std::string& error) {
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

// The scene as bytes from the child process that read it, and back.
class TSceneOut {
public:
    std::vector<uint8_t> Bytes;
    void Raw(const void* p, std::size_t n) {
        const auto* b = static_cast<const uint8_t*>(p);
        if (n) Bytes.insert(Bytes.end(), b, b + n);
    }
    void Size(std::size_t n) {
        const uint64_t v = n;
        Raw(&v, sizeof v);
    }
    void Text(const std::string& t) {
        Size(t.size());
        Raw(t.data(), t.size());
    }
    template <class T>
    void List(const std::vector<T>& v) {
        Size(v.size());
        Raw(v.data(), v.size() * sizeof(T));
    }
};

class TSceneIn {
public:
    TSceneIn(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
    bool Ok = true;
    bool Raw(void* p, std::size_t n) {
        if (!Ok || n > bytes_.size() - at_) return Ok = false;
        if (n) std::memcpy(p, bytes_.data() + at_, n);  // an empty list has no data to copy to
        at_ += n;
        return true;
    }
    std::size_t Size(std::size_t itemBytes) {
        uint64_t v = 0;
        if (!Raw(&v, sizeof v) || (itemBytes && v > (bytes_.size() - at_) / itemBytes)) return Ok = false, 0;
        return static_cast<std::size_t>(v);
    }
    std::string Text() {
        std::string t(Size(1), '\0');
        Raw(t.data(), t.size());
        return t;
    }
    template <class T>
    void List(std::vector<T>& v) {
        v.resize(Size(sizeof(T)));
        Raw(v.data(), v.size() * sizeof(T));
    }

private:
    const std::vector<uint8_t>& bytes_;
    std::size_t at_ = 0;
};

std::vector<uint8_t> SceneBytes(bool read, const TScene& scene, const std::string& error) {
    TSceneOut out;
    out.Size(read ? 1 : 0);
    out.Text(error);
    out.Size(scene.Materials.size());
    for (const TSceneMaterial& m : scene.Materials) out.Text(m.Name), out.Text(m.Picture);
    out.Size(scene.Meshes.size());
    for (const TSceneMesh& m : scene.Meshes) {
        out.Text(m.Node);
        out.Size(m.HasResolution ? 1 : 0);
        out.Raw(&m.Resolution, sizeof m.Resolution);
        out.List(m.Positions), out.List(m.Normals), out.List(m.Uvs);
        out.List(m.Sizes), out.List(m.Indices), out.List(m.Materials);
    }
    out.Size(scene.Warnings.size());
    for (const std::string& w : scene.Warnings) out.Text(w);
    out.Size(scene.BadIndices);
    return std::move(out.Bytes);
}

bool SceneOfBytes(const std::vector<uint8_t>& bytes, TScene& scene, std::string& error) {
    TSceneIn in(bytes);
    const bool read = in.Size(0) == 1;
    error = in.Text();
    scene.Materials.resize(in.Size(16));
    for (TSceneMaterial& m : scene.Materials) m.Name = in.Text(), m.Picture = in.Text();
    scene.Meshes.resize(in.Size(64));
    for (TSceneMesh& m : scene.Meshes) {
        m.Node = in.Text();
        m.HasResolution = in.Size(0) == 1;
        in.Raw(&m.Resolution, sizeof m.Resolution);
        in.List(m.Positions), in.List(m.Normals), in.List(m.Uvs);
        in.List(m.Sizes), in.List(m.Indices), in.List(m.Materials);
    }
    scene.Warnings.resize(in.Size(8));
    for (std::string& w : scene.Warnings) w = in.Text();
    scene.BadIndices = in.Size(0);
    if (!in.Ok) {
        error = "its reader gave back a scene cut short";
        return false;
    }
    return read;
}

}  // namespace

// Assimp's importers read in a child process: some of them crash on damaged
// files (its PLY reader on a binary file with a changed count, found by
// fuzzing) or loop on them (the same reader on a header cut short), so
// they get a bounded processor time.
bool ReadAssimpScene(const std::string& path, unsigned seconds, TScene& scene, std::string& error) {
    if (seconds == 0) {
        std::error_code ec;
        const std::uintmax_t size = std::filesystem::file_size(path, ec);
        seconds = static_cast<unsigned>(20 + (ec ? 0 : std::min<std::uintmax_t>(size >> 19, 100000)));
    }
    std::vector<uint8_t> bytes;
    const bool ran = RunIsolated(
        [&] {
            TScene here;
            std::string why;
            const bool read = ReadHere(path, here, why);
            return SceneBytes(read, here, why);
        },
        seconds, bytes, error);
    if (!ran) {
        error = "cannot be read: " + error;
        return false;
    }
    return SceneOfBytes(bytes, scene, error);
}

}  // namespace vistrel::importing
