// Drawing a LOD's faces and vertex markers, in two ways that give the same
// picture:
//   immediate  one glBegin/glEnd per polygon and per marker, a texture bind
//              before each polygon;
//   batched    the polygons expanded once per LOD into client-side arrays
//              (position, normal, texture coordinate per corner); each run of
//              consecutive polygons that bind the same texture and make the
//              same primitive is one glDrawArrays, in polygon order.
// Both send the same numbers in the same order, and the batched way leaves
// the current normal and texture coordinate where the immediate way leaves
// them, so whatever is drawn afterwards is lit alike.
//
// A polygon is drawn only when it has 3 or 4 corners and every corner's
// VertexIndex lies within the LOD's Vertexes and Normals (a partly read LOD
// may hold others); any other polygon is skipped whole.
//
// Needs a current GL context with the compatibility profile. Usable without
// the main window (the benchmark draws through it).
#pragma once

#include "GL.h"
#include "P3dmodell.h"

#include <cstddef>
#include <functional>
#include <vector>

namespace vistrel {

// The GL texture to bind for a polygon's TextureIndex (0: none).
using TTextureLookup = std::function<GLuint(int textureIndex)>;

// A model point as sent to GL: (-x*s, y*s, z*s), s = WorldScale.
void MapModelPoint(const AVertex& vertex, GLfloat out[3]);

// The primitive a polygon is drawn as: GL_QUADS for 4 corners, else
// GL_TRIANGLES.
GLenum PolygonMode(const APolygon& polygon);

// Whether the polygon can be drawn from the LOD's lists: the model's
// PolygonDrawable; against the vertex list alone for the selection faces,
// which send positions only.
inline bool PolygonPositionsDrawable(const APolygon& polygon, const TP3dLOD& lod) {
    return PolygonDrawable(polygon, lod, true);
}

// The expanded arrays of one LOD. Keyed on the LOD's address and list sizes;
// the owner clears it when the model it points into is released.
class TLodDrawCache {
public:
    // One glDrawArrays worth of corners: consecutive polygons with the same
    // TextureIndex and primitive.
    struct TRun {
        GLenum Mode = 0;
        GLint First = 0;    // first corner in the arrays
        GLsizei Count = 0;  // corners
        int TextureIndex = -1;
    };

    // True when the cache holds the arrays of this LOD.
    bool Holds(const TP3dLOD& lod) const;
    // Builds the face arrays for the LOD unless it already holds them.
    void Prepare(const TP3dLOD& lod);
    // Builds the marker array too (on first use).
    void PrepareMarkers(const TP3dLOD& lod);
    void Clear();

    std::vector<GLfloat> Positions;  // 3 per corner, mapped to GL
    std::vector<GLfloat> Normals;    // 3 per corner, mapped to GL
    std::vector<GLfloat> TexCoords;  // 2 per corner
    std::vector<TRun> Runs;
    // What the last corner sent left as GL's current normal and texture
    // coordinate.
    bool HasLastCorner = false;
    GLfloat LastNormal[3] = {0, 0, 0};
    GLfloat LastTexCoord[2] = {0, 0};
    // The vertex markers: 6 points (3 segments) per vertex, mapped.
    std::vector<GLfloat> Markers;
    bool MarkersBuilt = false;

    // How many times the face arrays were built (for tests).
    int Builds = 0;

private:
    const TP3dLOD* lod_ = nullptr;
    std::size_t vertexCount_ = 0;
    std::size_t normalCount_ = 0;
    std::size_t polygonCount_ = 0;
};

// The LOD's faces: per polygon, its texture bound, then each corner's texture
// coordinate, normal and position (Normals and Vertexes at VertexIndex).
void DrawLodFaces(const TP3dLOD& lod, const TTextureLookup& texture, bool batched, TLodDrawCache& cache);

// The three-segment marker of every vertex of the LOD, in order.
void DrawLodVertexMarkers(const TP3dLOD& lod, bool batched, TLodDrawCache& cache);

// One vertex's marker: one GL_LINES batch of three segments of 0.2 model
// units along z, y and x, centred on the vertex.
void DrawVertexMarker(const AVertex& vertex);

// The six mapped end points of a vertex's marker (z, y, x segments).
void MarkerEnds(const AVertex& vertex, GLfloat out[18]);
void AppendVertexMarker(const AVertex& vertex, std::vector<GLfloat>& out);

}  // namespace vistrel
