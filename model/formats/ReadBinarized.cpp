// Reading a binarized model: the file header, the LOD bodies, the resolution
// table and the model-wide data, with the debug log line by line. The layout
// is written down in docs/model-layouts.md, section B; the constants below
// name their sections.
#include <algorithm>
#include <charconv>
#include <memory>
#include <new>

#include "CompressedArray.h"
#include "ModelReader.h"
#include "NumberFormat.h"
#include "P3dmodell.h"

namespace vistrel {
namespace {

// Least bytes a record can take in the file. A count of records is taken as
// it stands, but room is reserved only for the records the rest of the file
// can hold; the records are then read one by one, so a file that ends part-way
// keeps (and logs) every record before the short read.
constexpr uint64_t kMinPolygonBytes = 13;    // B.4: flags, texture, count, 3 corners
constexpr uint64_t kMinSelectionBytes = 26;  // B.5: empty name, 5 counts, 5 skipped bytes
constexpr uint64_t kMinPropertyBytes = 2;    // B.6: two empty names

// Bytes the reader passes over.
constexpr uint64_t kBeforeLodBoxBytes = 8;         // B.3, before MinPos
constexpr uint64_t kAfterLodBoxBytes = 16;         // B.3, after MaxPos
constexpr uint64_t kAfterPolygonCountBytes = 4;    // B.3
constexpr uint64_t kPropertyRecordBytes = 18;      // B.3, each property record
constexpr uint64_t kAfterSelectionFacesBytes = 4;  // B.5
constexpr uint64_t kSelectionMiddleBytes = 1;      // B.5, between the two dropped arrays
constexpr uint64_t kTrailingHeadBytes = 4;         // B.6, each trailing entry
constexpr uint64_t kTrailingItemBytes = 12;        // B.6
constexpr uint64_t kBeforeProxiesBytes = 12;       // B.6
constexpr uint64_t kProxyDataBytes = 56;           // B.6, after each proxy name
constexpr uint64_t kBeforeOffset1Bytes = 24;       // B.8
constexpr uint64_t kBeforeBoundingBoxBytes = 12;   // B.8, after Offset1
constexpr uint64_t kBeforeMassCountBytes = 54;     // B.8, after Offset3

constexpr uint64_t kMinTrailingBytes = kTrailingHeadBytes + 4;  // B.6: an empty count
constexpr uint64_t kMinProxyBytes = 1 + kProxyDataBytes;        // B.6: an empty name

// How many of count records to make room for; a negative count is refused.
std::size_t RoomFor(const TMemStream& stream, int32_t count, uint64_t minBytes, const char* what) {
    if (count < 0) throw EBadData(std::string("Negative count of ") + what);
    return static_cast<std::size_t>(std::min<uint64_t>(static_cast<uint64_t>(count), stream.Remaining() / minBytes));
}

std::string Fixed3(double v) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 3);
    return std::string(buf, r.ptr);
}

std::string Triple(const char* prefix, const TVec3& v) {
    return std::string(prefix) + "(" + Fixed3(v.X) + "; " + Fixed3(v.Y) + "; " + Fixed3(v.Z) + ")";
}

// Face flags of the binarized file in the editable format's encoding (B.4).
uint32_t MapFaceFlags(uint32_t f) {
    uint32_t flags = 0;
    if (f & 0xF0000000u) flags |= 0x10u;
    if (f & 0x000000F0u) flags |= 0x01000000u;
    flags |= (f & 0x0F000000u) >> 18;
    flags |= (f & 0x00FE0000u) << 8;
    return flags;
}

// Reads count 16-bit indices by the compression rule.
TReadResult ReadIndices(TMemStream& stream, int32_t count, std::vector<uint16_t>& out, const char* what) {
    CheckArrayFits(stream, count, 2, what);
    out.assign(static_cast<std::size_t>(count), 0);
    return ReadArray(stream, out.data(), static_cast<uint64_t>(count), 2);
}

// Reads and drops count elements by the compression rule.
TReadResult DropArray(TMemStream& stream, int32_t count, uint64_t elementSize, const char* what) {
    CheckArrayFits(stream, count, elementSize, what);
    const uint64_t size = static_cast<uint64_t>(count) * elementSize;
    if (size < kCompressedArrayMinBytes) {
        if (size > stream.Remaining()) stream.ThrowShortRead(size);
        stream.Skip(size);
        return {};
    }
    std::vector<uint8_t> scratch(static_cast<std::size_t>(size));
    return ReadArray(stream, scratch.data(), static_cast<uint64_t>(count), elementSize);
}

}  // namespace

TReadResult TModelReader::ReadLod(TP3dLOD& lod, TMemStream& s) {
    return Guarded(lod, s, [&] { return ReadLodBody(lod, s); });
}

TReadResult TModelReader::ReadLodBody(TP3dLOD& lod, TMemStream& s) {
    const bool logging = static_cast<bool>(lod.OnLog);
    auto logN = [&](const char* mask, double value) {
        if (logging) lod.OnLog(FormatFloat(mask, value));
    };
    auto logPos = [&](const char* mask) { logN(mask, static_cast<double>(s.Position())); };

    // per-vertex hint bits
    const int32_t nvi = s.ReadInt32();
    logN("'Vertex Info Count: '0", nvi);
    CheckArrayFits(s, nvi, 4, "vertex info");
    lod.VertexInfo.assign(static_cast<std::size_t>(nvi), 0);
    if (TReadResult r = ReadArray(s, lod.VertexInfo.data(), static_cast<uint64_t>(nvi), 4); !r.Ok()) {
        lod.Message("Error reading VertexInfo!");
        return r;
    }

    logPos("'Offset: '0");
    const int32_t nuv = s.ReadInt32();
    logN("'UV Count: '0", nuv);
    CheckArrayFits(s, nuv, 8, "UV data");
    lod.UVData.assign(static_cast<std::size_t>(nuv), AUV{});
    if (TReadResult r = ReadArray(s, lod.UVData.data(), static_cast<uint64_t>(nuv), 8); !r.Ok()) {
        lod.Message("Error reading UV_Data!");
        return r;
    }

    const int32_t nv = s.ReadInt32();
    logN("'Vertex Count: '0", nv);
    lod.Log("reading vertexes....");
    lod.Vertexes.Reserve(RoomFor(s, nv, 12, "vertexes"));
    for (int32_t k = 0; k < nv; ++k) {
        auto v = std::make_unique<AVertex>();
        v->X = s.ReadFloat();
        v->Y = s.ReadFloat();
        v->Z = s.ReadFloat();
        v->PointFlags = 0;
        lod.Vertexes.Add(v.release());
    }

    const int32_t nn = s.ReadInt32();
    logN("'Normals Count: '0", nn);
    lod.Log("reading Normals....");
    lod.Normals.Reserve(RoomFor(s, nn, 12, "normals"));
    for (int32_t k = 0; k < nn; ++k) {
        auto n = std::make_unique<ANormal>();
        n->X = s.ReadFloat();
        n->Y = s.ReadFloat();
        n->Z = s.ReadFloat();
        lod.Normals.Add(n.release());
    }

    s.Skip(kBeforeLodBoxBytes);
    lod.MinPos = ReadVec3(s);
    lod.MaxPos = ReadVec3(s);
    s.Skip(kAfterLodBoxBytes);

    const int32_t nt = s.ReadInt32();
    logN("'Texture Count: '0", nt);
    lod.Log("reading Textures....");
    lod.Textures.reserve(RoomFor(s, nt, 1, "textures"));
    for (int32_t k = 0; k < nt; ++k) lod.Textures.push_back(s.ReadTextureName());

    const int32_t nu = s.ReadInt32();
    logN("'Unique_Vertex_Count: '0", nu);
    CheckArrayFits(s, nu, 2, "unique vertexes");
    lod.UniqueVertexes.Count = nu;
    lod.UniqueVertexes.Items.assign(static_cast<std::size_t>(nu), 0);
    if (TReadResult r = ReadArray(s, lod.UniqueVertexes.Items.data(), static_cast<uint64_t>(nu), 2); !r.Ok()) {
        lod.Message("Error reading Unique_Vertex_Count!");
        return r;
    }

    const int32_t nl = s.ReadInt32();
    logN("'Link_to_Unique_Count: '0", nl);
    CheckArrayFits(s, nl, 2, "links to unique vertexes");
    lod.LinkToUnique.Count = nl;
    lod.LinkToUnique.Items.assign(static_cast<std::size_t>(nl), 0);
    if (TReadResult r = ReadArray(s, lod.LinkToUnique.Items.data(), static_cast<uint64_t>(nl), 2); !r.Ok()) {
        lod.Message("Error reading Link_to_Unique_Count!");
        return r;
    }

    const int32_t np = s.ReadInt32();
    logN("'Polygon Count: '0", np);
    s.Skip(kAfterPolygonCountBytes);
    lod.Log("reading polygons....");
    lod.Polygons.Reserve(RoomFor(s, np, kMinPolygonBytes, "polygons"));
    const std::size_t uvCount = lod.UVData.size();
    for (int32_t k = 0; k < np; ++k) {
        auto p = std::make_unique<APolygon>();
        p->Flags = MapFaceFlags(s.ReadU32());
        p->TextureIndex = s.ReadInt16();
        p->VertexCount = s.ReadU8();
        if (p->VertexCount != 3 && p->VertexCount != 4)
            return Refuse(lod, s, "Error! Invalid number of vertexes in Poly!", TReadStatus::BadValue,
                          "face " + std::to_string(k) + " has " + std::to_string(p->VertexCount) +
                              " corners; 3 or 4 are allowed");
        for (int32_t c = 0; c < p->VertexCount; ++c) {
            const int16_t v = s.ReadInt16();
            if (v < 0 || static_cast<std::size_t>(v) >= uvCount)
                throw EBadData("Corner vertex index " + std::to_string(v) + " outside the UV table");
            ACorner& corner = p->Corners[c];
            corner.VertexIndex = v;
            corner.NormalIndex = v;
            corner.U = lod.UVData[static_cast<std::size_t>(v)].U;
            corner.V = lod.UVData[static_cast<std::size_t>(v)].V;
        }
        lod.Polygons.Add(p.release());
    }

    lod.Log("finished polygons");
    logPos("'Offset: '0");
    logPos("'Read Prop_Count Offset: '0");

    const int32_t npr = s.ReadInt32();
    logN("'Prop_Count Count: '0", npr);
    if (npr < 0) throw EBadData("Negative count of property records");
    s.Skip(kPropertyRecordBytes * static_cast<uint64_t>(npr));

    lod.Log("******************Selections**********************");
    logPos("'Read Sel_Count Offset: '0");
    const int32_t ns = s.ReadInt32();
    logN("'Selection Count: '0", ns);
    lod.Selections.Reserve(RoomFor(s, ns, kMinSelectionBytes, "selections"));
    std::vector<uint16_t> indices;
    for (int32_t k = 0; k < ns; ++k) {
        auto owned = std::make_unique<TRealSelection>(s.ReadZString());
        TRealSelection* sel = owned.get();
        lod.Selections.Add(owned.release());
        if (logging) lod.OnLog("Name: " + sel->Name);

        const int32_t nf = s.ReadInt32();
        logN("'FaceCount: '0", nf);
        if (TReadResult r = ReadIndices(s, nf, indices, "selection faces"); !r.Ok()) {
            lod.Message("Error reading Sel_Face_Count!");
            return r;
        }
        sel->Polygons.Reserve(indices.size());
        for (uint16_t index : indices) sel->Polygons.Add(lod.Polygons.Items(index));

        s.Skip(kAfterSelectionFacesBytes);
        logPos("'Offset: '0");
        const int32_t na = s.ReadInt32();
        logN("'Unknown Count1: '0", na);
        if (TReadResult r = DropArray(s, na, 4, "selection entries"); !r.Ok()) {
            lod.Message("Unknown Count1!");
            return r;
        }

        s.Skip(kSelectionMiddleBytes);
        logPos("'Offset: '0");
        const int32_t nb = s.ReadInt32();
        logN("'Unknown Count2: '0", nb);
        if (TReadResult r = DropArray(s, nb, 4, "selection entries"); !r.Ok()) {
            lod.Message("Unknown Count2!");
            return r;
        }

        logPos("'Offset SelVertexCount: '0");
        const int32_t nsv = s.ReadInt32();
        logN("'VertexCount: '0", nsv);
        if (TReadResult r = ReadIndices(s, nsv, indices, "selection vertexes"); !r.Ok()) {
            lod.Message("Error reading Sel_Vertexes_Count!");
            return r;
        }
        sel->Vertexes.Reserve(indices.size());
        for (uint16_t index : indices) sel->Vertexes.Add(lod.Vertexes.Items(index));

        const int32_t nc = s.ReadInt32();
        logN("'Unknown Count2: '0", nc);
        if (TReadResult r = DropArray(s, nc, 1, "selection entries"); !r.Ok()) {
            lod.Message("Error reading UnknownCount3!");
            return r;
        }
        lod.Log("------------------");
    }

    lod.Log("************************* Named Properties *************************");
    const int32_t nnp = s.ReadInt32();
    logN("'Named Properties Count: '0", nnp);
    lod.Properties.reserve(RoomFor(s, nnp, kMinPropertyBytes, "named properties"));
    for (int32_t k = 0; k < nnp; ++k) {
        std::string name = s.ReadZString();
        std::string value = s.ReadZString();
        if (logging) lod.OnLog("Property: " + name + " = " + value);
        lod.Properties.push_back(PropertyLine(name, value));
    }

    logPos("'Offset: '0");
    const int32_t ne = s.ReadInt32();
    logN("'Unknown Count: '0", ne);
    RoomFor(s, ne, kMinTrailingBytes, "trailing entries");
    for (int32_t k = 0; k < ne; ++k) {
        uint8_t head[kTrailingHeadBytes];
        s.ReadBytes(head, kTrailingHeadBytes);
        logPos("'   Offset: '0");
        const int32_t nk = s.ReadInt32();
        logN("'   AVertex Count: '0", nk);
        if (nk < 0) throw EBadData("Negative count of trailing items");
        // the items are read and dropped: a file that ends inside them fails there
        const uint64_t items = kTrailingItemBytes * static_cast<uint64_t>(nk);
        if (items > s.Remaining()) s.ThrowShortRead(items);
        s.Skip(items);
    }

    logPos("'Offset: '0");
    s.Skip(kBeforeProxiesBytes);
    lod.Log("************************* Proxys *************************");
    const int32_t nx = s.ReadInt32();
    logN("'Proxy Count: '0", nx);
    RoomFor(s, nx, kMinProxyBytes, "proxies");
    for (int32_t k = 0; k < nx; ++k) {
        std::string name = s.ReadZString();
        if (logging) lod.OnLog("ProxyName: " + name);
        s.Skip(kProxyDataBytes);
        lod.Log("------------------");
    }

    lod.Log("************************* /End of Lod *************************");
    logPos("'Offset: '0");
    return {};
}

bool TModelReader::ReadBinarized(TP3dModell& model, TMemStream& s) {
    const bool logging = static_cast<bool>(model.OnLog);
    auto logN = [&](const char* mask, double value) {
        if (logging) model.OnLog(FormatFloat(mask, value));
    };
    auto logVec = [&](const char* title, const TVec3& v) {
        if (!logging) return;
        model.OnLog(title);
        model.OnLog(FormatFloat("0.00 'Xoffset'", v.X));
        model.OnLog(FormatFloat("0.00 'Yoffset'", v.Y));
        model.OnLog(FormatFloat("0.00 'Zoffset'", v.Z));
    };

    logN("'Offset: '0", static_cast<double>(s.Position()));
    model.Log("reading BMDL....");
    s.ReadInt32();  // header value, not used
    const int32_t n = s.ReadInt32();
    logN("'LODCount: '0", n);
    model.Log("reading LOD....");
    if (n < 0) throw EBadData("Negative LOD count");

    for (int32_t i = 0; i < n; ++i) {
        logN("'****************** reading LOD '0'***********************'", i);
        TP3dLOD* lod = new TP3dLOD(model.OnLog, model.OnMessage);
        model.LODs.Add(lod);
        model.failure_ = ReadLod(*lod, s);
        if (!model.failure_.Ok()) {
            model.failure_.Lod = i;
            return false;
        }
    }

    model.Log("reading LOD types....");
    for (int32_t i = 0; i < n; ++i) {
        const float r = s.ReadFloat();
        if (logging) model.OnLog(std::to_string(i) + FormatFloat("': '0.000e-00", r));
        TP3dLOD* lod = model.LODs[static_cast<std::size_t>(i)];
        lod->Resolution = r;
        if (r == kGeometryResolution) model.GeometryLOD = lod;
    }

    s.Skip(kBeforeOffset1Bytes);
    model.Offset1 = ReadVec3(s);
    logVec("Offset 1 -----------------------------", model.Offset1);

    s.Skip(kBeforeBoundingBoxBytes);
    model.Log("Dimension -----------------------------");
    const TVec3 bboxMin = ReadVec3(s);
    if (logging) model.OnLog(Triple("Min: ", bboxMin));
    const TVec3 bboxMax = ReadVec3(s);
    if (logging) model.OnLog(Triple("Max: ", bboxMax));

    model.Offset2 = ReadVec3(s);
    logVec("Offset 2 -----------------------------", model.Offset2);
    model.Offset3 = ReadVec3(s);
    logVec("Offset 3 -----------------------------", model.Offset3);

    s.Skip(kBeforeMassCountBytes);
    const int32_t m = s.ReadInt32();
    if (model.GeometryLOD) {
        logN("'Masses->Count: '0", m);
        logN("'Offset MassBeginn: 0'", 0);
        if (m == model.GeometryLOD->UniqueVertexes.Count) {
            // m equals a table that was read from this file, so it is bounded
            model.Masses.assign(static_cast<std::size_t>(m), 0.0f);
            if (TReadResult r = ReadArray(s, model.Masses.data(), static_cast<uint64_t>(m), 4); !r.Ok()) {
                model.Message("Error reading Masses!");
                model.failure_ = r;
                return false;
            }
        } else {
            model.GeometryLOD = nullptr;
            model.Log("Mass Count Does not match!");
        }
    }
    model.Mass = s.ReadFloat();

    for (TP3dLOD* lod : model.LODs)
        for (AVertex* v : lod->Vertexes) {
            v->X += model.Offset2.X;
            v->Y += model.Offset2.Y;
            v->Z += model.Offset2.Z;
        }
    return true;
}

}  // namespace vistrel
