// Reading a model in the editable format into the same in-memory model as a
// binarized one, so that everything built on the model works for both.
//
// The layout is written down in docs/model-layouts.md, section E; the
// constants shared with the writer are in EditableLayout.h.
//
// The LOD gets the binarized arrays: one vertex per distinct (point, normal,
// u, v) that a corner uses, and one for each point no corner uses; the
// unique-vertex and link tables between points and vertices; vertex info
// from the point flags; the bounding box of the points. Counts are checked
// against the rest of the file before anything is allocated for them.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "CompressedArray.h"
#include "EditableLayout.h"
#include "ModelReader.h"
#include "NumberFormat.h"
#include "P3dmodell.h"

namespace vistrel {
namespace {

using namespace editable;

std::string Field(TMemStream& s, std::size_t width) {
    char buf[kNameField];
    s.ReadBytes(buf, width);
    return std::string(buf, strnlen(buf, width));
}

void CheckRecords(const TMemStream& s, int32_t count, uint64_t bytes, const char* what) {
    if (count < 0) throw EBadData(std::string("Negative count of ") + what);
    if (static_cast<uint64_t>(count) * bytes > s.Remaining())
        throw EBadData(std::string("Count of ") + what + " (" + std::to_string(count) +
                       ") exceeds the rest of the file");
}

struct TPoint {
    TVec3 position;
    uint32_t flags = 0;
};

struct TCornerRef {
    int32_t point, normal;
    float u, v;
};

bool SameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

uint32_t VertexInfoFromPointFlags(uint32_t flags) {
    uint32_t v = (flags & 0xF) << 8 | (flags & 0x300) << 4 | (flags & 0x3000) << 2;
    uint32_t m = (flags >> 4) & 0xF;
    if (m >= 1 && m <= 8) {
        m += 7;
        if (m == 10)
            m = 11;
        else if (m == 11)
            m = 10;
        v |= m << 20;
    }
    return v;
}

TReadResult TModelReader::ReadEditableLod(TP3dLOD& lod, TMemStream& s, std::vector<float>& masses) {
    return Guarded(lod, s, [&] { return ReadEditableLodBody(lod, s, masses); });
}

TReadResult TModelReader::ReadEditableLodBody(TP3dLOD& lod, TMemStream& s, std::vector<float>& masses) {
    const bool logging = static_cast<bool>(lod.OnLog);
    auto logN = [&](const char* mask, double value) {
        if (logging) lod.OnLog(FormatFloat(mask, value));
    };

    char magic[4];
    s.ReadBytes(magic, 4);
    const uint32_t headerSize = s.ReadU32();
    if (std::memcmp(magic, "SP3X", 4) != 0)
        return Refuse(lod, s, "Error! LOD is not SP3X!", TReadStatus::BadValue, "the LOD does not start with SP3X");
    if (headerSize < kHeaderBytes)
        return Refuse(lod, s, "Error! LOD is not SP3X!", TReadStatus::BadValue,
                      "the LOD header claims " + std::to_string(headerSize) + " bytes, fewer than its " +
                          std::to_string(kHeaderBytes));
    s.ReadU32();  // header version
    const int32_t np = s.ReadInt32();
    const int32_t nn = s.ReadInt32();
    const int32_t nf = s.ReadInt32();
    s.ReadU32();  // header flags
    s.Skip(headerSize - kHeaderBytes);
    logN("'Point Count: '0", np);
    logN("'Normals Count: '0", nn);
    logN("'Face Count: '0", nf);

    CheckRecords(s, np, kPointBytes, "points");
    std::vector<TPoint> points(static_cast<std::size_t>(np));
    for (TPoint& p : points) {
        p.position = ReadVec3(s);
        p.flags = s.ReadU32();
    }
    CheckRecords(s, nn, kNormalBytes, "normals");
    std::vector<TVec3> normals(static_cast<std::size_t>(nn));
    for (TVec3& n : normals) n = ReadVec3(s);

    // Faces, their corners put back in the binarized order.
    CheckRecords(s, nf, kFaceBytes, "faces");
    // The faces join the LOD only once their corners have vertices, so that a
    // LOD that stops on the way never holds a corner without one.
    std::vector<TCornerRef> corners;
    corners.reserve(4 * static_cast<std::size_t>(nf));
    std::vector<std::unique_ptr<APolygon>> faces;
    faces.reserve(static_cast<std::size_t>(nf));
    lod.Log("reading faces....");
    for (int32_t k = 0; k < nf; ++k) {
        const std::string texture = Field(s, kTextureField);
        const int32_t n = s.ReadInt32();
        if (n != 3 && n != 4)
            return Refuse(lod, s, "Error! Invalid number of vertexes in Poly!", TReadStatus::BadValue,
                          "face " + std::to_string(k) + " has " + std::to_string(n) + " corners; 3 or 4 are allowed");
        TCornerRef stored[4];
        for (TCornerRef& c : stored) {
            c.point = s.ReadInt32();
            c.normal = s.ReadInt32();
            c.u = s.ReadFloat();
            c.v = s.ReadFloat();
            if (&c - stored >= n) continue;  // the unused slot of a triangle
            if (c.point < 0 || c.point >= np || c.normal < 0 || c.normal >= nn)
                throw EBadData("Corner of face " + std::to_string(k) + " names point " + std::to_string(c.point) +
                               " and normal " + std::to_string(c.normal) + " of " + std::to_string(np) + " and " +
                               std::to_string(nn));
        }
        const int* order = n == 4 ? kQuadOrder : kTriangleOrder;
        for (int c = 0; c < n; ++c) corners.push_back(stored[order[c]]);

        auto poly = std::make_unique<APolygon>();
        poly->VertexCount = n;
        poly->Flags = s.ReadU32();
        // The names in order of first use, the empty one among them, as a
        // binarized LOD with untextured faces lists it; the file keeps no
        // list, so where the empty name stood in it cannot be known.
        auto it = std::find(lod.Textures.begin(), lod.Textures.end(), texture);
        if (it == lod.Textures.end()) it = lod.Textures.insert(lod.Textures.end(), texture);
        poly->TextureIndex = static_cast<int16_t>(std::min<std::ptrdiff_t>(it - lod.Textures.begin(), INT16_MAX));
        faces.push_back(std::move(poly));
    }

    // One vertex per distinct corner of a point, then one for each point that
    // no corner uses; each point's vertices are chained in order.
    std::vector<int32_t> first(points.size(), -1), last(points.size(), -1), next;
    std::vector<int32_t> normalOf;
    next.reserve(corners.size() + points.size());
    normalOf.reserve(next.capacity());
    auto addVertex = [&](int32_t p, int32_t normal, float u, float v) -> int32_t {
        const auto index = static_cast<int32_t>(lod.Vertexes.Count());
        auto vertex = std::make_unique<AVertex>();
        vertex->X = points[static_cast<std::size_t>(p)].position.X;
        vertex->Y = points[static_cast<std::size_t>(p)].position.Y;
        vertex->Z = points[static_cast<std::size_t>(p)].position.Z;
        lod.Vertexes.Add(vertex.release());
        auto n = std::make_unique<ANormal>();
        if (normal >= 0) {
            const TVec3& from = normals[static_cast<std::size_t>(normal)];
            n->X = from.X;
            n->Y = from.Y;
            n->Z = from.Z;
        }
        lod.Normals.Add(n.release());
        lod.UVData.push_back({u, v});
        lod.VertexInfo.push_back(VertexInfoFromPointFlags(points[static_cast<std::size_t>(p)].flags));
        lod.LinkToUnique.Items.push_back(static_cast<int16_t>(p));
        lod.LinkToUnique.Count = static_cast<int32_t>(lod.LinkToUnique.Items.size());
        normalOf.push_back(normal);
        next.push_back(-1);
        if (last[static_cast<std::size_t>(p)] < 0)
            first[static_cast<std::size_t>(p)] = index;
        else
            next[static_cast<std::size_t>(last[static_cast<std::size_t>(p)])] = index;
        last[static_cast<std::size_t>(p)] = index;
        return index;
    };
    auto tooMany = [&] {
        return Refuse(lod, s, "Error! LOD has more than 32767 vertexes!", TReadStatus::BadValue,
                      "the points, normals and texture coordinates make more than 32767 vertexes");
    };
    if (points.size() > kMaxTableIndex + 1) return tooMany();
    const std::size_t room = std::min(std::max(corners.size(), points.size()), kMaxTableIndex + 1);
    lod.Vertexes.Reserve(room);
    lod.Normals.Reserve(room);
    std::size_t corner = 0;
    for (const std::unique_ptr<APolygon>& poly : faces) {
        for (int c = 0; c < poly->VertexCount; ++c, ++corner) {
            const TCornerRef& ref = corners[corner];
            int32_t vertex = first[static_cast<std::size_t>(ref.point)];
            while (vertex >= 0 && !(normalOf[static_cast<std::size_t>(vertex)] == ref.normal &&
                                    SameBits(lod.UVData[static_cast<std::size_t>(vertex)].U, ref.u) &&
                                    SameBits(lod.UVData[static_cast<std::size_t>(vertex)].V, ref.v)))
                vertex = next[static_cast<std::size_t>(vertex)];
            if (vertex < 0) {
                if (static_cast<std::size_t>(lod.Vertexes.Count()) > kMaxTableIndex) return tooMany();
                vertex = addVertex(ref.point, ref.normal, ref.u, ref.v);
            }
            ACorner& out = poly->Corners[c];
            out.VertexIndex = vertex;
            out.NormalIndex = vertex;
            out.U = ref.u;
            out.V = ref.v;
        }
    }
    for (std::size_t p = 0; p < points.size(); ++p) {
        if (first[p] >= 0) continue;
        if (static_cast<std::size_t>(lod.Vertexes.Count()) > kMaxTableIndex) return tooMany();
        addVertex(static_cast<int32_t>(p), p < normals.size() ? static_cast<int32_t>(p) : -1, 0, 0);
    }
    lod.Polygons.Reserve(faces.size());
    for (std::unique_ptr<APolygon>& poly : faces) lod.Polygons.Add(poly.release());
    lod.UniqueVertexes.Count = np;
    lod.UniqueVertexes.Items.resize(points.size());
    for (std::size_t p = 0; p < points.size(); ++p) lod.UniqueVertexes.Items[p] = static_cast<int16_t>(first[p]);

    if (!points.empty()) {
        lod.MinPos = lod.MaxPos = points[0].position;
        for (const TPoint& p : points) {
            lod.MinPos = {std::min(lod.MinPos.X, p.position.X), std::min(lod.MinPos.Y, p.position.Y),
                          std::min(lod.MinPos.Z, p.position.Z)};
            lod.MaxPos = {std::max(lod.MaxPos.X, p.position.X), std::max(lod.MaxPos.Y, p.position.Y),
                          std::max(lod.MaxPos.Z, p.position.Z)};
        }
    }

    char tagg[4];
    s.ReadBytes(tagg, 4);
    if (std::memcmp(tagg, "TAGG", 4) != 0)
        return Refuse(lod, s, "Error! No TAGG after the faces!", TReadStatus::BadValue, "no TAGG after the faces");
    const uint64_t masks = static_cast<uint64_t>(np) + static_cast<uint64_t>(nf);
    for (;;) {
        const std::string name = Field(s, kNameField);
        const uint32_t length = s.ReadU32();
        if (length > s.Remaining())
            throw EReadError(s.Position(),
                             "tag " + name + " of " + std::to_string(length) + " bytes runs past the end of the file");
        const uint64_t end = s.Position() + length;
        if (logging) lod.OnLog("Tag: " + name + " (" + std::to_string(length) + ")");
        if (name == "#EndOfFile#") {
            s.Skip(length);
            break;
        }
        if (name == "#Property#" && length >= kPropertyBytes) {
            std::string key = Field(s, kNameField);
            std::string value = Field(s, kNameField);
            if (logging) lod.OnLog("Property: " + key + " = " + value);
            lod.Properties.push_back(PropertyLine(key, value));
        } else if (name == "#Mass#") {
            masses.resize(length / kMassBytes);
            for (float& m : masses) m = s.ReadFloat();
        } else if (!name.empty() && name[0] != '#' && length == masks) {
            auto owned = std::make_unique<TRealSelection>(name);
            TRealSelection* sel = owned.get();
            lod.Selections.Add(owned.release());
            const uint8_t* bytes = s.Cursor();
            for (std::size_t p = 0; p < points.size(); ++p)
                if (bytes[p])
                    for (int32_t v = first[p]; v >= 0; v = next[static_cast<std::size_t>(v)])
                        sel->Vertexes.Add(lod.Vertexes[static_cast<std::size_t>(v)]);
            for (int32_t f = 0; f < nf; ++f)
                if (bytes[points.size() + static_cast<std::size_t>(f)])
                    sel->Polygons.Add(lod.Polygons[static_cast<std::size_t>(f)]);
        }
        s.Skip(end - s.Position());
    }
    lod.Resolution = s.ReadFloat();
    logN("'Resolution: '0.000e-00", lod.Resolution);
    return {};
}

bool TModelReader::ReadEditable(TP3dModell& model, TMemStream& s) {
    model.Log("reading MLOD....");
    const uint32_t version = s.ReadU32();
    if (version != kVersion && version != kWriterVersion) {
        model.Message("Unknown MLOD version!");
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%X", version);
        model.failure_ = {TReadStatus::BadValue, s.Position() - 4,
                          std::string("version ") + hex + " is not one this reader knows"};
        return false;
    }
    const int32_t n = s.ReadInt32();
    if (model.OnLog) model.OnLog(FormatFloat("'LODCount: '0", n));
    if (n < 0) throw EBadData("Negative LOD count");

    // The geometry LOD is named only once every LOD is read and its masses
    // match, as in a binarized model.
    TP3dLOD* geometry = nullptr;
    std::vector<float> geometryMasses;
    for (int32_t i = 0; i < n; ++i) {
        if (model.OnLog) model.OnLog(FormatFloat("'****************** reading LOD '0'***********************'", i));
        TP3dLOD* lod = new TP3dLOD(model.OnLog, model.OnMessage);
        model.LODs.Add(lod);
        std::vector<float> masses;
        model.failure_ = ReadEditableLod(*lod, s, masses);
        if (!model.failure_.Ok()) {
            model.failure_.Lod = i;
            return false;
        }
        if (lod->Resolution == kGeometryResolution) {
            geometry = lod;
            geometryMasses = std::move(masses);
        }
    }

    // The geometry LOD holds one mass per point; the total is their sum.
    if (geometry) {
        if (geometryMasses.size() == static_cast<std::size_t>(geometry->UniqueVertexes.Count)) {
            model.GeometryLOD = geometry;
            model.Masses = std::move(geometryMasses);
            double total = 0;
            for (float m : model.Masses) total += m;
            model.Mass = static_cast<float>(total);
        } else {
            model.Log("Mass Count Does not match!");
        }
    }
    return true;
}

}  // namespace vistrel
