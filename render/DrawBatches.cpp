#include "DrawBatches.h"

#include "Camera.h"
#include "GL.h"

namespace vistrel {

namespace {

// The mapping of model points and normals to GL (see WorldScale).
inline void MapPosition(const AVertex& v, GLfloat* out) {
    out[0] = -v.X * WorldScale;
    out[1] = v.Y * WorldScale;
    out[2] = v.Z * WorldScale;
}

inline void MapNormal(const ANormal& n, GLfloat* out) {
    out[0] = n.X * WorldScale;
    out[1] = -n.Y * WorldScale;
    out[2] = -n.Z * WorldScale;
}

inline void MapPoint(float x, float y, float z, GLfloat* out) {
    out[0] = -x * WorldScale;
    out[1] = y * WorldScale;
    out[2] = z * WorldScale;
}

// The corners a polygon sends: 3 or 4, 0 when it is not drawn.
inline int CornerCount(const APolygon& polygon) {
    return polygon.VertexCount == 3 || polygon.VertexCount == 4 ? polygon.VertexCount : 0;
}

// Client arrays are read from memory only while no buffer object is bound
// to GL_ARRAY_BUFFER; this keeps it so for the scope and restores it.
class TClientArrays {
public:
    TClientArrays() {
        glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
        glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &boundBuffer_);
        if (boundBuffer_ != 0) gl::BindArrayBuffer(0);
    }
    ~TClientArrays() {
        if (boundBuffer_ != 0) gl::BindArrayBuffer(static_cast<GLuint>(boundBuffer_));
        glPopClientAttrib();
    }
    TClientArrays(const TClientArrays&) = delete;
    TClientArrays& operator=(const TClientArrays&) = delete;

private:
    GLint boundBuffer_ = 0;
};

void DrawFacesImmediate(const TP3dLOD& lod, const TTextureLookup& texture) {
    for (const APolygon* polygon : lod.Polygons) {
        if (!PolygonDrawable(*polygon, lod)) continue;
        glBindTexture(GL_TEXTURE_2D, texture(polygon->TextureIndex));
        glBegin(PolygonMode(*polygon));
        for (int k = 0; k < polygon->VertexCount; ++k) {
            const ACorner& corner = polygon->Corners[k];
            const auto index = static_cast<std::size_t>(corner.VertexIndex);
            GLfloat normal[3], position[3];
            MapNormal(*lod.Normals[index], normal);
            MapPosition(*lod.Vertexes[index], position);
            glTexCoord2f(corner.U, corner.V);
            glNormal3fv(normal);
            glVertex3fv(position);
        }
        glEnd();
    }
}

void DrawFacesBatched(const TP3dLOD& lod, const TTextureLookup& texture, TLodDrawCache& cache) {
    cache.Prepare(lod);
    if (cache.Runs.empty()) return;
    {
        TClientArrays arrays;
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_NORMAL_ARRAY);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glVertexPointer(3, GL_FLOAT, 0, cache.Positions.data());
        glNormalPointer(GL_FLOAT, 0, cache.Normals.data());
        glTexCoordPointer(2, GL_FLOAT, 0, cache.TexCoords.data());
        // Neighbouring runs whose textures resolve to the same GL name (two
        // missing textures, say) go out as one call: they are contiguous. A
        // texture is bound only when it changes: some drivers take any bind
        // in a shared context for a state change, which costs a flush.
        const std::size_t n = cache.Runs.size();
        std::size_t i = 0;
        bool bound = false;
        GLuint boundName = 0;
        while (i < n) {
            const TLodDrawCache::TRun& run = cache.Runs[i];
            const GLuint name = texture(run.TextureIndex);
            GLsizei count = run.Count;
            std::size_t j = i + 1;
            while (j < n && cache.Runs[j].Mode == run.Mode && texture(cache.Runs[j].TextureIndex) == name) {
                count += cache.Runs[j].Count;
                ++j;
            }
            if (!bound || name != boundName) {
                glBindTexture(GL_TEXTURE_2D, name);
                bound = true;
                boundName = name;
            }
            glDrawArrays(run.Mode, run.First, count);
            i = j;
        }
    }
    // After the arrays, GL's current normal and texture coordinate are those
    // of the last corner, as the immediate way leaves them.
    if (cache.HasLastCorner) {
        glTexCoord2fv(cache.LastTexCoord);
        glNormal3fv(cache.LastNormal);
    }
}

}  // namespace

void MapModelPoint(const AVertex& vertex, GLfloat out[3]) { MapPosition(vertex, out); }

GLenum PolygonMode(const APolygon& polygon) { return polygon.VertexCount == 4 ? GL_QUADS : GL_TRIANGLES; }

// ------------------------------------------------------------------ the cache

bool TLodDrawCache::Holds(const TP3dLOD& lod) const {
    return lod_ == &lod && vertexCount_ == static_cast<std::size_t>(lod.Vertexes.Count()) &&
           normalCount_ == static_cast<std::size_t>(lod.Normals.Count()) &&
           polygonCount_ == static_cast<std::size_t>(lod.Polygons.Count());
}

void TLodDrawCache::Clear() {
    Positions = {};
    Normals = {};
    TexCoords = {};
    Runs = {};
    Markers = {};
    MarkersBuilt = false;
    HasLastCorner = false;
    lod_ = nullptr;
    vertexCount_ = normalCount_ = polygonCount_ = 0;
}

void TLodDrawCache::Prepare(const TP3dLOD& lod) {
    if (Holds(lod)) return;
    Clear();
    ++Builds;
    lod_ = &lod;
    vertexCount_ = static_cast<std::size_t>(lod.Vertexes.Count());
    normalCount_ = static_cast<std::size_t>(lod.Normals.Count());
    polygonCount_ = static_cast<std::size_t>(lod.Polygons.Count());

    std::size_t corners = 0;
    for (const APolygon* polygon : lod.Polygons)
        if (PolygonDrawable(*polygon, lod)) corners += static_cast<std::size_t>(polygon->VertexCount);
    Positions.resize(corners * 3);
    Normals.resize(corners * 3);
    TexCoords.resize(corners * 2);

    std::size_t at = 0;
    for (const APolygon* polygon : lod.Polygons) {
        if (!PolygonDrawable(*polygon, lod)) continue;
        const GLenum mode = PolygonMode(*polygon);
        if (Runs.empty() || Runs.back().Mode != mode || Runs.back().TextureIndex != polygon->TextureIndex)
            Runs.push_back({mode, static_cast<GLint>(at), 0, polygon->TextureIndex});
        for (int k = 0; k < polygon->VertexCount; ++k, ++at) {
            const ACorner& corner = polygon->Corners[k];
            const auto index = static_cast<std::size_t>(corner.VertexIndex);
            MapPosition(*lod.Vertexes[index], &Positions[at * 3]);
            MapNormal(*lod.Normals[index], &Normals[at * 3]);
            TexCoords[at * 2] = corner.U;
            TexCoords[at * 2 + 1] = corner.V;
        }
        Runs.back().Count += static_cast<GLsizei>(polygon->VertexCount);
    }
    if (at > 0) {
        HasLastCorner = true;
        const std::size_t last = at - 1;
        for (int c = 0; c < 3; ++c) LastNormal[c] = Normals[last * 3 + static_cast<std::size_t>(c)];
        LastTexCoord[0] = TexCoords[last * 2];
        LastTexCoord[1] = TexCoords[last * 2 + 1];
    }
}

void TLodDrawCache::PrepareMarkers(const TP3dLOD& lod) {
    Prepare(lod);
    if (MarkersBuilt) return;
    Markers.reserve(static_cast<std::size_t>(lod.Vertexes.Count()) * 18);
    for (const AVertex* vertex : lod.Vertexes) AppendVertexMarker(*vertex, Markers);
    MarkersBuilt = true;
}

// ------------------------------------------------------------------ drawing

void DrawLodFaces(const TP3dLOD& lod, const TTextureLookup& texture, bool batched, TLodDrawCache& cache) {
    if (batched)
        DrawFacesBatched(lod, texture, cache);
    else
        DrawFacesImmediate(lod, texture);
}

void MarkerEnds(const AVertex& v, GLfloat out[18]) {
    const float ends[6][3] = {
        {v.X, v.Y, v.Z - 0.1f}, {v.X, v.Y, v.Z + 0.1f},  // along z
        {v.X, v.Y - 0.1f, v.Z}, {v.X, v.Y + 0.1f, v.Z},  // along y
        {v.X - 0.1f, v.Y, v.Z}, {v.X + 0.1f, v.Y, v.Z},  // along x
    };
    for (int i = 0; i < 6; ++i) MapPoint(ends[i][0], ends[i][1], ends[i][2], out + 3 * i);
}

void AppendVertexMarker(const AVertex& vertex, std::vector<GLfloat>& out) {
    GLfloat points[18];
    MarkerEnds(vertex, points);
    out.insert(out.end(), points, points + 18);
}

void DrawVertexMarker(const AVertex& vertex) {
    GLfloat points[18];
    MarkerEnds(vertex, points);
    glBegin(GL_LINES);
    for (int i = 0; i < 6; ++i) glVertex3fv(points + 3 * i);
    glEnd();
}

void DrawLodVertexMarkers(const TP3dLOD& lod, bool batched, TLodDrawCache& cache) {
    if (!batched) {
        for (const AVertex* vertex : lod.Vertexes) DrawVertexMarker(*vertex);
        return;
    }
    cache.PrepareMarkers(lod);
    if (cache.Markers.empty()) return;
    TClientArrays arrays;
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, cache.Markers.data());
    glDrawArrays(GL_LINES, 0, static_cast<GLsizei>(cache.Markers.size() / 3));
}

}  // namespace vistrel
