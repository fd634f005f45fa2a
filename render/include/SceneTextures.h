// A LOD's textures for the scene: each name found under the texture roots
// (TextureLookup.h), the files decoded on a few threads at once, and GL
// textures made of the decoded images. The window keeps its own tables of
// them; pictures made without a window use the same steps.
#pragma once

#include "DrawBatches.h"
#include "GL.h"
#include "P3dmodell.h"
#include "TextureData.h"

#include <exception>
#include <memory>
#include <string>
#include <vector>

namespace vistrel {

struct TTextureRecordDeleter {
    void operator()(TextureData* record) const;
};
using TTextureRecord = std::unique_ptr<TextureData, TTextureRecordDeleter>;

class TFolderListings;

// What the decoding step made of one texture name.
struct TPreparedTexture {
    bool named = false;        // false for an empty name: nothing to do
    bool outside = false;      // the name reaches outside the texture root: not looked up
    std::string shownPath;     // the path as the user is told of it (an outside name: the name)
    std::string file;          // the file found for it; empty when none
    TTextureRecord record;     // set whenever a file was found
    std::exception_ptr error;  // what went wrong beyond a missing file
};

// One name: looked up under each root in turn (a missing file is told of by
// its path under the first), decoded when found: the largest level, or with
// largestSide above 0 the first level that fits (CreateTextureDataUpTo).
// The folders are listed through listings (none: the lookup's own).
// Reentrant.
TPreparedTexture PrepareTexture(const std::vector<std::string>& roots, const std::string& name, int largestSide = 0,
                                TFolderListings* listings = nullptr);
// Every name, in order, decoded on up to one thread per core; each folder
// listed once for all of them (or once for the owner of listings).
std::vector<TPreparedTexture> PrepareTextures(const std::vector<std::string>& roots,
                                              const std::vector<std::string>& names, int largestSide = 0,
                                              TFolderListings* listings = nullptr);

// Whether the decoder made a picture of the file.
bool Decoded(const TextureData& record);
// Exchanges bytes 0 and 2 of every pixel: blue-green-red-alpha to RGBA.
void SwapRedBlue(TextureData& record);
// Halves a decoded picture (averaging 2 x 2 pixels, an odd last row or
// column dropped) until neither side exceeds largestSide or a side is 1: for
// pictures too small to show the full detail.
void HalveToFit(TextureData& record, int largestSide);
// Makes the GL texture of a swapped record into slot (a new name) and leaves
// it bound: level 0 and a full mipmap chain; wrap modes and the texture
// environment stay at GL's defaults (repeat, modulate).
void MakeGlTexture(const TextureData& record, GLuint& slot);

// A picture's textures, the context current: one GL texture per texture
// index of the LOD (0 where none was found or decoded), and a line for each
// name that was not found, is outside the texture root or was not decoded in
// problems. The decoded images
// are released once uploaded.
std::vector<GLuint> LoadLodTextures(const TP3dLOD& lod, const std::vector<std::string>& roots,
                                    std::vector<std::string>& problems);
// Its second step alone, for textures prepared while the context was made.
std::vector<GLuint> UploadTextures(std::vector<TPreparedTexture>& prepared, std::vector<std::string>& problems);

// The lookup of a frame over such a table: the GL texture of a face's
// texture index, 0 outside the table. The table must outlive the lookup.
TTextureLookup TableLookup(const std::vector<GLuint>& textures);

// The missing, outside and undecodable textures of one LOD as the text of
// one message:
// a line each, the first 30 and then how many more.
std::string TextureProblemsText(const std::vector<std::string>& problems);

// The same as one line, for a picture's standard error: how many of the
// named textures were not found, are outside the texture root and did not
// decode, with the first few names of each. Empty when nothing is wrong.
std::string TextureProblemsLine(const std::vector<std::string>& names, const std::vector<TPreparedTexture>& prepared);

}  // namespace vistrel
