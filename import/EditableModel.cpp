// The model of an editable record (docs/gltf-extras.md), built so that the
// editable writer writes from it, byte for byte, the file the record was
// taken from: point k is vertex k (the tables UniqueVertexes and
// LinkToUnique are the identity), each face's corners go back from the
// file's slots into the model's order, the point flags back into hint bits.
#include <algorithm>
#include <cstring>

#include "EditableLayout.h"
#include "EditableRecord.h"
#include "ImportScene.h"

namespace vistrel::importing {

namespace {

// Reads the record front to back; every read past its end is a failure.
class TRecordIn {
public:
    explicit TRecordIn(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}

    bool Ok() const { return ok_; }
    bool AtEnd() const { return at_ == bytes_.size(); }
    std::size_t Left() const { return bytes_.size() - at_; }
    // n bytes, or null (and failed) when fewer are left.
    const uint8_t* Take(std::size_t n) {
        if (!ok_ || n > Left()) {
            ok_ = false;
            return nullptr;
        }
        at_ += n;
        return bytes_.data() + at_ - n;
    }
    uint32_t U32() {
        const uint8_t* p = Take(4);
        return p ? Le32(p) : 0;
    }
    // A count of items of at least itemBytes each: no more than the record can hold.
    uint32_t Count(std::size_t itemBytes) {
        const uint32_t n = U32();
        if (itemBytes && n > Left() / itemBytes) ok_ = false;
        return ok_ ? n : 0;
    }
    std::string Text() {
        const uint32_t n = Count(1);
        const uint8_t* p = Take(n);
        return p ? std::string(reinterpret_cast<const char*>(p), n) : std::string();
    }
    static uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24; }
    static uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
    static float F32(const uint8_t* p) {
        const uint32_t bits = Le32(p);
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }

private:
    const std::vector<uint8_t>& bytes_;
    std::size_t at_ = 4;  // after the magic
    bool ok_ = true;
};

// One LOD; the reason in error when the record does not describe one the
// editable writer can write.
std::unique_ptr<TP3dLOD> ReadLod(TRecordIn& in, std::vector<float>& masses, bool& holdsMasses, std::string& error) {
    auto lod = std::make_unique<TP3dLOD>();
    const uint32_t resolution = in.U32();
    std::memcpy(&lod->Resolution, &resolution, sizeof resolution);
    const uint32_t p = in.Count(28), f = in.Count(40), t = in.Count(4), s = in.Count(4), q = in.Count(4);
    holdsMasses = in.U32() == 1;
    if (!in.Ok()) return nullptr;
    if (p > editable::kMaxTableIndex + 1) {
        error = std::to_string(p) + " points, more than the editable format holds";
        return nullptr;
    }
    if (t > editable::kMaxTableIndex + 1) {
        error = std::to_string(t) + " texture names, more than faces can name";
        return nullptr;
    }
    for (uint32_t k = 0; k < t; ++k) lod->Textures.push_back(in.Text());
    std::vector<std::string> selections;
    for (uint32_t k = 0; k < s; ++k) selections.push_back(in.Text());
    for (uint32_t k = 0; k < q; ++k) lod->Properties.push_back(in.Text());

    const uint8_t* xyz = in.Take(12 * std::size_t{p});
    const uint8_t* flags = in.Take(4 * std::size_t{p});
    const uint8_t* normals = in.Take(12 * std::size_t{p});
    const uint8_t* counts = in.Take(4 * std::size_t{f});
    const uint8_t* faceFlags = in.Take(4 * std::size_t{f});
    const uint8_t* textures = in.Take(2 * std::size_t{f});
    if (!in.Ok()) return nullptr;
    std::size_t corners = 0;
    for (uint32_t i = 0; i < f; ++i) {
        const uint32_t n = TRecordIn::Le32(counts + 4 * i);
        if (n != 3 && n != 4) {
            error = "face " + std::to_string(i) + " has " + std::to_string(n) + " corners";
            return nullptr;
        }
        corners += n;
    }
    const uint8_t* points = in.Take(2 * corners);
    const uint8_t* uvs = in.Take(8 * corners);
    if (!in.Ok()) return nullptr;

    lod->Vertexes.Reserve(p);
    lod->Normals.Reserve(p);
    lod->VertexInfo.reserve(p);
    for (uint32_t k = 0; k < p; ++k) {
        const uint8_t* v = xyz + 12 * k;
        const uint8_t* n = normals + 12 * k;
        lod->Vertexes.Add(new AVertex{TRecordIn::F32(v), TRecordIn::F32(v + 4), TRecordIn::F32(v + 8), 0});
        lod->Normals.Add(new ANormal{TRecordIn::F32(n), TRecordIn::F32(n + 4), TRecordIn::F32(n + 8)});
        const uint32_t pointFlags = TRecordIn::Le32(flags + 4 * k);
        const uint32_t info = VertexInfoFromPointFlags(pointFlags);
        if (MlodPointFlags(info) != pointFlags) {
            error = "point " + std::to_string(k) + " has flags the model cannot hold";
            return nullptr;
        }
        lod->VertexInfo.push_back(info);
    }
    lod->UniqueVertexes.Count = lod->LinkToUnique.Count = static_cast<int32_t>(p);
    lod->UniqueVertexes.Items.resize(p);
    for (uint32_t k = 0; k < p; ++k) lod->UniqueVertexes.Items[k] = static_cast<int16_t>(k);
    lod->LinkToUnique.Items = lod->UniqueVertexes.Items;

    lod->Polygons.Reserve(f);
    for (uint32_t i = 0, c = 0; i < f; ++i) {
        auto polygon = std::make_unique<APolygon>();
        polygon->VertexCount = static_cast<int32_t>(TRecordIn::Le32(counts + 4 * i));
        polygon->Flags = TRecordIn::Le32(faceFlags + 4 * i);
        const uint16_t texture = TRecordIn::Le16(textures + 2 * i);
        if (texture != 0xFFFF && texture >= t) {
            error =
                "face " + std::to_string(i) + " names texture " + std::to_string(texture) + " of " + std::to_string(t);
            return nullptr;
        }
        polygon->TextureIndex = texture == 0xFFFF ? int16_t{-1} : static_cast<int16_t>(texture);
        const bool quad = polygon->VertexCount == 4;
        const int* order = quad ? editable::kQuadOrder : editable::kTriangleOrder;
        for (int slot = 0; slot < (quad ? 4 : 3); ++slot, ++c) {
            const uint16_t point = TRecordIn::Le16(points + 2 * c);
            if (point >= p) {
                error =
                    "face " + std::to_string(i) + " names point " + std::to_string(point) + " of " + std::to_string(p);
                return nullptr;
            }
            polygon->Corners[order[slot]] = {point, point, TRecordIn::F32(uvs + 8 * c),
                                             TRecordIn::F32(uvs + 8 * c + 4)};
        }
        lod->Polygons.Add(polygon.release());
    }

    const std::size_t pointBytes = (p + 7) / 8, faceBytes = (f + 7) / 8;
    for (const std::string& name : selections) {
        const uint8_t* bits = in.Take(pointBytes + faceBytes);
        if (!bits) return nullptr;
        auto selection = std::make_unique<TRealSelection>(name);
        for (uint32_t k = 0; k < p; ++k)
            if (bits[k / 8] >> (k % 8) & 1) selection->Vertexes.Add(lod->Vertexes[k]);
        for (uint32_t k = 0; k < f; ++k)
            if (bits[pointBytes + k / 8] >> (k % 8) & 1) selection->Polygons.Add(lod->Polygons[k]);
        lod->Selections.Add(selection.release());
    }
    if (holdsMasses) {
        const uint8_t* m = in.Take(4 * std::size_t{p});
        if (!m) return nullptr;
        masses.clear();
        for (uint32_t k = 0; k < p; ++k) masses.push_back(TRecordIn::F32(m + 4 * k));
    }
    if (p) {
        TVec3 lo{lod->Vertexes[0]->X, lod->Vertexes[0]->Y, lod->Vertexes[0]->Z}, hi = lo;
        for (const AVertex* v : lod->Vertexes) {
            lo = {std::min(lo.X, v->X), std::min(lo.Y, v->Y), std::min(lo.Z, v->Z)};
            hi = {std::max(hi.X, v->X), std::max(hi.Y, v->Y), std::max(hi.Z, v->Z)};
        }
        lod->MinPos = lo;
        lod->MaxPos = hi;
    }
    return lod;
}

}  // namespace

std::unique_ptr<TP3dModell> ModelFromRecord(const uint8_t* packed, std::size_t bytes, const uint8_t* data,
                                            std::size_t dataBytes, std::string& error) {
    // no record packs more than a thousandfold (the real ones 9 to 25 times)
    const std::size_t bound = std::min(kMaxRecordBytes, 1024 * bytes + (std::size_t{1} << 20));
    const std::vector<uint8_t> record = exporting::UnpackRecord(packed, bytes, bound, error, data, dataBytes);
    if (record.empty()) return nullptr;
    TRecordIn in(record);
    const uint32_t lods = in.Count(28);
    auto model = std::make_unique<TP3dModell>();
    for (uint32_t l = 0; l < lods && in.Ok(); ++l) {
        bool holdsMasses = false;
        std::vector<float> masses;
        std::unique_ptr<TP3dLOD> lod = ReadLod(in, masses, holdsMasses, error);
        if (!lod) {
            if (error.empty())
                error = "LOD " + std::to_string(l) + " of the editable record is cut short";
            else
                error = "LOD " + std::to_string(l) + " of the editable record: " + error;
            return nullptr;
        }
        if (holdsMasses) {
            if (model->GeometryLOD) {
                error = "two LODs of the editable record hold masses";
                return nullptr;
            }
            model->GeometryLOD = lod.get();
            model->Masses = std::move(masses);
            for (const float m : model->Masses) model->Mass += m;
        }
        model->LODs.Add(lod.release());
    }
    if (!in.Ok() || lods == 0 || !in.AtEnd()) {
        error = lods == 0 ? "the editable record holds no LOD" : "the editable record is cut short or too long";
        return nullptr;
    }
    return model;
}

}  // namespace vistrel::importing
