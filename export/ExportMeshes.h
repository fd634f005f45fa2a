// The meshes of an export, shared by the writers: the chosen LODs' faces
// grouped by texture, each group expanded into its own vertex arrays with
// positions and normals as the view draws them, and triangles wound
// counter-clockwise as the formats want them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "EightBitText.h"
#include "P3dmodell.h"

namespace vistrel::exporting {

// The faces of one LOD that share one material.
struct TFaceGroup {
    std::size_t Lod = 0;  // index into TFaceGroups::Lods
    unsigned Material = 0;
    std::vector<const APolygon*> Faces;
};

struct TFaceGroups {
    std::vector<const TP3dLOD*> Lods;
    // One per texture name the faces use, in order of first use; the empty
    // name for the faces without a texture.
    std::vector<std::string> Materials;
    std::vector<TFaceGroup> Groups;  // by LOD in order, then by material
    std::size_t LeftOut = 0;         // faces with bad corners or positions
    std::size_t UvsNotNumbers = 0;   // faces kept whose corners have a U or V that is not finite
};

// The faces that can be written: 3 or 4 corners, each naming a vertex and a
// normal of the LOD, at a finite position. The window draws faces whose
// texture coordinates are not finite, so they are kept too, with those
// coordinates made 0 by BuildPart.
TFaceGroups GroupFaces(const std::vector<const TP3dLOD*>& lods);

// One group as arrays. Positions are (-x, y, z): the model is mirrored in x
// on screen. Normals are (nx, -ny, -nz), made unit length: the files store
// them pointing inwards. UVs are the model's, rows counted from the top, 0 where
// the model's are not finite.
struct TMeshPart {
    std::size_t Lod = 0;
    unsigned Material = 0;
    std::vector<float> Positions;   // x, y, z per vertex
    std::vector<float> Normals;     // x, y, z per vertex
    std::vector<float> Uvs;         // u, v per vertex
    std::vector<uint32_t> Indices;  // three per triangle; a quad makes two
    std::array<float, 3> Min{}, Max{};

    std::size_t VertexCount() const { return Positions.size() / 3; }
};

TMeshPart BuildPart(const TFaceGroups& groups, const TFaceGroup& group);

}  // namespace vistrel::exporting
