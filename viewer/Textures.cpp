// Textures of the LOD on show and of the ground: names resolved under the
// texture root, files decoded, GL textures made.
#include "F_main.h"

namespace vistrel {

void TMain::LoadLodTextures(TP3dLOD* lod)
{
    // Stub: will release the previous LOD's textures and load this LOD's.
    ReleaseLodTextures();
    if (lod)
        LodTextureCount = static_cast<int>(lod->Textures.size());
    LodTextureNames.assign(static_cast<std::size_t>(LodTextureCount), 0);
    LodTextureData.assign(static_cast<std::size_t>(LodTextureCount), nullptr);
}

void TMain::LoadLodTexture(const std::string& name, int index)
{
    // Stub: will decode the texture file and make its GL texture.
    (void)name;
    (void)index;
}

void TMain::ReleaseLodTextures()
{
    LodTextureCount = 0;
    LodTextureNames.clear();
    LodTextureData.clear();
}

void TMain::LoadGroundTexture(const QString& path)
{
    // Stub: will decode the ground texture and make its GL texture.
    (void)path;
}

void TMain::SwapRedBlue(TextureData& record)
{
    const std::size_t n = static_cast<std::size_t>(record.width) * static_cast<std::size_t>(record.height);
    for (std::size_t k = 0; k < n; ++k)
        std::swap(record.pixels[4 * k], record.pixels[4 * k + 2]);
}

GLuint TMain::LodTexture(int textureIndex) const
{
    if (textureIndex < 0 || textureIndex >= LodTextureCount ||
        static_cast<std::size_t>(textureIndex) >= LodTextureNames.size())
        return 0;
    return LodTextureNames[static_cast<std::size_t>(textureIndex)];
}

}  // namespace vistrel
