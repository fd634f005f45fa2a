#include "ExportMeshes.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace vistrel::exporting {

namespace {

bool Finite(float a, float b, float c) { return std::isfinite(a) && std::isfinite(b) && std::isfinite(c); }

bool Exportable(const APolygon& polygon, const TP3dLOD& lod) {
    if (!PolygonDrawable(polygon, lod)) return false;
    for (int k = 0; k < polygon.VertexCount; ++k) {
        const AVertex& v = *lod.Vertexes[static_cast<std::size_t>(polygon.Corners[k].VertexIndex)];
        if (!Finite(v.X, v.Y, v.Z)) return false;
    }
    return true;
}

bool UvsFinite(const APolygon& polygon) {
    for (int k = 0; k < polygon.VertexCount; ++k)
        if (!std::isfinite(polygon.Corners[k].U) || !std::isfinite(polygon.Corners[k].V)) return false;
    return true;
}

float FiniteOrZero(float f) { return std::isfinite(f) ? f : 0.0f; }

}  // namespace

TFaceGroups GroupFaces(const std::vector<const TP3dLOD*>& lods) {
    TFaceGroups out;
    out.Lods = lods;
    std::map<std::string, unsigned> materialOf;
    for (std::size_t l = 0; l < lods.size(); ++l) {
        const TP3dLOD& lod = *lods[l];
        std::vector<std::vector<const APolygon*>> byMaterial;
        for (const APolygon* polygon : lod.Polygons) {
            if (!Exportable(*polygon, lod)) {
                ++out.LeftOut;
                continue;
            }
            if (!UvsFinite(*polygon)) ++out.UvsNotNumbers;
            const auto t = static_cast<std::size_t>(polygon->TextureIndex);
            const std::string& name =
                polygon->TextureIndex >= 0 && t < lod.Textures.size() ? lod.Textures[t] : std::string();
            const auto [it, added] = materialOf.emplace(name, static_cast<unsigned>(out.Materials.size()));
            if (added) out.Materials.push_back(name);
            if (byMaterial.size() <= it->second) byMaterial.resize(it->second + 1);
            byMaterial[it->second].push_back(polygon);
        }
        for (std::size_t m = 0; m < byMaterial.size(); ++m)
            if (!byMaterial[m].empty()) out.Groups.push_back({l, static_cast<unsigned>(m), std::move(byMaterial[m])});
    }
    return out;
}

TMeshPart BuildPart(const TFaceGroups& groups, const TFaceGroup& group) {
    const TP3dLOD& lod = *groups.Lods[group.Lod];
    TMeshPart part;
    part.Lod = group.Lod;
    part.Material = group.Material;
    // A LOD vertex becomes one vertex of the part; a corner that gives it
    // other texture coordinates makes another.
    std::vector<int32_t> slot(static_cast<std::size_t>(lod.Vertexes.Count()), -1);
    part.Positions.reserve(group.Faces.size() * 12);
    part.Normals.reserve(group.Faces.size() * 12);
    part.Uvs.reserve(group.Faces.size() * 8);
    part.Indices.reserve(group.Faces.size() * 6);
    auto vertex = [&](const ACorner& corner) {
        const auto index = static_cast<std::size_t>(corner.VertexIndex);
        const float u = FiniteOrZero(corner.U), v = FiniteOrZero(corner.V);
        const int32_t known = slot[index];
        if (known >= 0 && part.Uvs[2 * static_cast<std::size_t>(known)] == u &&
            part.Uvs[2 * static_cast<std::size_t>(known) + 1] == v)
            return static_cast<uint32_t>(known);
        const auto added = static_cast<uint32_t>(part.VertexCount());
        slot[index] = static_cast<int32_t>(added);
        const AVertex& p = *lod.Vertexes[index];
        part.Positions.insert(part.Positions.end(), {-p.X, p.Y, p.Z});
        const ANormal& n = *lod.Normals[index];
        const float length = std::sqrt(n.X * n.X + n.Y * n.Y + n.Z * n.Z);
        if (length > 1e-12f && std::isfinite(length))
            part.Normals.insert(part.Normals.end(), {n.X / length, -n.Y / length, -n.Z / length});
        else
            part.Normals.insert(part.Normals.end(), {0.0f, 1.0f, 0.0f});
        part.Uvs.insert(part.Uvs.end(), {u, v});
        return added;
    };
    // The view draws front faces clockwise: each face's corners go out in
    // reverse, a quad as the triangles (0, 2, 1) and (0, 3, 2).
    for (const APolygon* polygon : group.Faces) {
        uint32_t c[4];
        for (int k = 0; k < polygon->VertexCount; ++k) c[k] = vertex(polygon->Corners[k]);
        part.Indices.insert(part.Indices.end(), {c[0], c[2], c[1]});
        if (polygon->VertexCount == 4) part.Indices.insert(part.Indices.end(), {c[0], c[3], c[2]});
    }
    for (int axis = 0; axis < 3; ++axis) {
        float lo = part.Positions[static_cast<std::size_t>(axis)], hi = lo;
        for (std::size_t k = static_cast<std::size_t>(axis); k < part.Positions.size(); k += 3) {
            lo = std::min(lo, part.Positions[k]);
            hi = std::max(hi, part.Positions[k]);
        }
        part.Min[static_cast<std::size_t>(axis)] = lo;
        part.Max[static_cast<std::size_t>(axis)] = hi;
    }
    return part;
}

}  // namespace vistrel::exporting
