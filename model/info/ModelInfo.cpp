// What the information panel shows of a model: LOD names, selection extents
// and coordinate triples.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

#include "NumberFormat.h"
#include "P3dmodell.h"

namespace vistrel {

namespace {

struct TLodName {
    float Resolution;
    const char* Name;
};

// Special LODs are told apart by their resolution; the large keys are the
// floats nearest to the decimal values (1e13f is held as 9999999827968).
constexpr TLodName kLodNames[] = {
    {1000.0f, "View - Gunner"},
    {1100.0f, "View - Pilot"},
    {1200.0f, "View - Cargo"},
    {1e13f, "Geometry"},
    {1e15f, "Memory"},
    {2e15f, "LandContact"},
    {3e15f, "Roadway"},
    {4e15f, "Paths"},
    {5e15f, "Hitpoints"},
    {6e15f, "View Geometry"},
    {7e15f, "Fire Geometry"},
    {8e15f, "View - Cargo - Geo"},
    {9e15f, "View - Cargo - Fire"},
    {1e16f, "View - Commander"},
    {1.1e16f, "View - Commander - Geo"},
    {1.2e16f, "View - Commander - Fire"},
    {1.3e16f, "View - Pilot - Geo"},
    {1.4e16f, "View - Pilot - Fire"},
    {1.5e16f, "View - Gunner - Geo"},
    {1.6e16f, "View - Gunner - Fire"},
};

void AppendFixed3(std::string& out, float v) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, static_cast<double>(v), std::chars_format::fixed, 3);
    out.append(buf, r.ptr);
}

}  // namespace

std::string LodDisplayName(float resolution) {
    for (const TLodName& entry : kLodNames)
        if (entry.Resolution == resolution) return entry.Name;
    return FormatFloat("'LOD' 0.000", resolution);
}

bool LodResolutionOfName(const std::string& name, float& resolution, bool prefix) {
    const auto fits = [&](std::string_view candidate) {
        if (name.size() < candidate.size() || name.compare(0, candidate.size(), candidate) != 0) return false;
        return name.size() == candidate.size() || (prefix && name[candidate.size()] == ' ');
    };
    std::size_t best = 0;
    for (const TLodName& entry : kLodNames) {
        const std::string_view candidate(entry.Name);
        if (candidate.size() > best && fits(candidate)) {
            best = candidate.size();
            resolution = entry.Resolution;
        }
    }
    if (best) return true;
    // "LOD " and a number with three decimals
    if (name.size() < 5 || name.compare(0, 4, "LOD ") != 0) return false;
    const char* first = name.data() + 4;
    const char* last = name.data() + name.size();
    if (prefix) last = std::find(first, last, ' ');
    float value = 0;
    const auto r = std::from_chars(first, last, value, std::chars_format::fixed);
    if (r.ec != std::errc() || r.ptr != last || first == last || !std::isfinite(value)) return false;
    if (!prefix && last != name.data() + name.size()) return false;
    resolution = value;
    return true;
}

bool SelectionExtent(const TRealSelection& selection, TVec3& start, TVec3& end) {
    const AVertex* first = nullptr;
    TVec3 lo, hi;
    for (const AVertex* v : selection.Vertexes) {
        if (!v) continue;
        if (!first) {
            first = v;
            lo = hi = TVec3{v->X, v->Y, v->Z};
            continue;
        }
        lo = TVec3{std::min(lo.X, v->X), std::min(lo.Y, v->Y), std::min(lo.Z, v->Z)};
        hi = TVec3{std::max(hi.X, v->X), std::max(hi.Y, v->Y), std::max(hi.Z, v->Z)};
    }
    if (!first) return false;
    start = lo;
    end = hi;
    return true;
}

std::string FormatTriple(float x, float y, float z) {
    std::string out = "( ";
    AppendFixed3(out, x);
    out += "; ";
    AppendFixed3(out, y);
    out += "; ";
    AppendFixed3(out, z);
    out += " )";
    return out;
}

TModelMagic ModelMagicOf(const std::array<char, 4>& magic) {
    if (std::memcmp(magic.data(), "BMDL", 4) == 0) return TModelMagic::Binarized;
    if (std::memcmp(magic.data(), "MLOD", 4) == 0) return TModelMagic::Editable;
    return TModelMagic::Other;
}

std::string PropertyLine(const std::string& name, const std::string& value) { return name + "= " + value; }

std::pair<std::string, std::string> SplitProperty(const std::string& line, bool keepBlank) {
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) return {line, std::string()};
    std::size_t value = equals + 1;
    if (!keepBlank && value < line.size() && line[value] == ' ') ++value;
    return {line.substr(0, equals), line.substr(value)};
}

bool PolygonDrawable(const APolygon& polygon, const TP3dLOD& lod, bool positionsOnly) {
    if (polygon.VertexCount != 3 && polygon.VertexCount != 4) return false;
    const int limit = positionsOnly ? lod.Vertexes.Count() : std::min(lod.Vertexes.Count(), lod.Normals.Count());
    for (int k = 0; k < polygon.VertexCount; ++k) {
        const int32_t index = polygon.Corners[k].VertexIndex;
        if (index < 0 || index >= limit) return false;
    }
    return true;
}

}  // namespace vistrel
