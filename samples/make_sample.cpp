// make_sample OUTPUT_FOLDER
//
// Writes OUTPUT_FOLDER/tank.p3d: a small tracked vehicle as a binarized model,
// used as the sample that ships with the program and as test input. LODs:
//   1.0, 2.0, 4.0  resolution LODs of decreasing detail (hull, turret, barrel,
//                  hatch, periscope glass, 4 wheels on each side)
//   1e13           geometry: five boxes, a mass per point, named properties
//   1e15           memory: named points only
//
// Coordinates: x to the right, y up, z forward (the vehicle faces +z). The
// stored positions are centred a little below the hull's middle; Offset2 lifts
// the model so that the wheels stand on y = 0.
//
// Winding: the corners of every face go counter-clockwise when the face is seen
// from outside, taking x, y, z as a right-handed frame, so that the cross
// product (c1 - c0) x (c2 - c0) points out of the solid. The viewer draws
// x mirrored with clockwise front faces, which shows exactly these sides.
// Normals are stored pointing into the solid: the viewer negates y and z of a
// normal while it negates x of a position, which turns them outward on screen.
//
// The output is the same bytes on every run and every platform: no library
// trigonometry (its last bit may differ between platforms), only basic
// arithmetic, which IEEE 754 rounds the same everywhere.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "P3dBuilder.h"

namespace {

using vistrel::BLod;
using vistrel::BModel;
using vistrel::BPolygon;
using vistrel::BSelection;
using vistrel::BUV;
using vistrel::BVec3;

constexpr double kPi = 3.14159265358979323846;

// sin and cos of 2*pi*k/n by their series on an angle reduced to [-pi, pi].
void SinCos(int k, int n, float& s, float& c) {
    int t = k % n;
    if (2 * t > n) t -= n;
    const double a = 2.0 * kPi * t / n;
    double sum_s = 0, sum_c = 0, term_s = a, term_c = 1;
    for (int i = 0; i < 30; ++i) {
        sum_s += term_s;
        sum_c += term_c;
        term_s *= -a * a / ((2 * i + 2) * (2 * i + 3));
        term_c *= -a * a / ((2 * i + 1) * (2 * i + 2));
    }
    // exact zeros at the quarter turns keep the shapes symmetric
    s = std::fabs(sum_s) < 1e-12 ? 0.0f : static_cast<float>(sum_s);
    c = std::fabs(sum_c) < 1e-12 ? 0.0f : static_cast<float>(sum_c);
}

BVec3 Add(const BVec3& a, const BVec3& b) { return {a[0] + b[0], a[1] + b[1], a[2] + b[2]}; }
BVec3 Scale(const BVec3& a, float f) { return {a[0] * f, a[1] * f, a[2] * f}; }
BVec3 Neg(const BVec3& a) { return {-a[0], -a[1], -a[2]}; }

enum Texture : int16_t {
    kHull = 0,
    kTurret = 1,
    kWheels = 2,
    kGlass = 3,
    kCamo = 4,
    kNone = -1,
};

const std::vector<std::string> kTextures = {
    "data\\hull_dxt1.paa",  "data\\turret_4444.paa", "data\\wheels_1555.paa",
    "data\\glass_ai88.paa", "data\\camo_pal.pac",
};

// A LOD under construction. A point is a distinct position; a vertex is a
// distinct (point, normal, uv) combination, so corners that share a position
// but differ in normal or texture coordinate get vertices of their own.
class Mesh {
public:
    using Names = std::vector<std::string>;

    int Vertex(const BVec3& pos, const BVec3& outward, const BUV& uv) {
        const int point = Point(pos);
        const BVec3 stored = Neg(outward);
        const std::array<uint32_t, 6> key = {
            static_cast<uint32_t>(point), Bits(stored[0]), Bits(stored[1]), Bits(stored[2]), Bits(uv[0]), Bits(uv[1])};
        auto it = vertexIndex_.find(key);
        if (it != vertexIndex_.end()) return it->second;
        const int index = static_cast<int>(vertexPoint_.size());
        vertexPoint_.push_back(point);
        normals_.push_back(stored);
        uvs_.push_back(uv);
        vertexIndex_.emplace(key, index);
        return index;
    }

    // A face over vertex indices, wound counter-clockwise seen from outside.
    void Face(std::vector<int> corners, int16_t texture, const Names& selections) {
        const int index = static_cast<int>(faces_.size());
        BPolygon p;
        p.texture = texture;
        for (int c : corners) p.corners.push_back(static_cast<int16_t>(c));
        faces_.push_back(std::move(p));
        for (const std::string& name : selections) {
            Selection& s = Select(name);
            s.faces.push_back(index);
            s.vertexes.insert(corners.begin(), corners.end());
        }
    }

    // A named point without faces (memory LOD).
    void NamedPoint(const std::string& name, const BVec3& pos) {
        Select(name).vertexes.insert(Vertex(pos, {0, 1, 0}, {0, 0}));
    }

    // A box from its centre and half extents; top and other faces may differ in
    // texture.
    void Box(const BVec3& c, const BVec3& h, int16_t texture, int16_t topTexture, const Names& selections) {
        struct Side {
            BVec3 n, u, v;  // u x v = n
        };
        static const Side sides[6] = {
            {{1, 0, 0}, {0, 0, -1}, {0, 1, 0}},  {{-1, 0, 0}, {0, 0, 1}, {0, 1, 0}}, {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}},
            {{0, 0, -1}, {-1, 0, 0}, {0, 1, 0}}, {{0, 1, 0}, {1, 0, 0}, {0, 0, -1}}, {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}},
        };
        auto along = [&](const BVec3& dir) { return BVec3{dir[0] * h[0], dir[1] * h[1], dir[2] * h[2]}; };
        for (const Side& s : sides) {
            const BVec3 mid = Add(c, along(s.n));
            const BVec3 u = along(s.u), v = along(s.v);
            const int a = Vertex(Add(mid, Add(Neg(u), Neg(v))), s.n, {0, 1});
            const int b = Vertex(Add(mid, Add(u, Neg(v))), s.n, {1, 1});
            const int d = Vertex(Add(mid, Add(u, v)), s.n, {1, 0});
            const int e = Vertex(Add(mid, Add(Neg(u), v)), s.n, {0, 0});
            Face({a, b, d, e}, s.n[1] > 0 ? topTexture : texture, selections);
        }
    }

    // A cylinder around axis a (unit, with p x q = a) of the given radius and
    // half length; smooth sides as quads, caps as triangle fans.
    void Cylinder(const BVec3& c, const BVec3& a, const BVec3& p, const BVec3& q, float radius, float halfLength,
                  int segments, bool backCap, bool frontCap, int16_t texture, const Names& selections) {
        std::vector<BVec3> radial(static_cast<std::size_t>(segments) + 1);
        for (int k = 0; k <= segments; ++k) {
            float s, co;
            SinCos(k, segments, s, co);
            radial[static_cast<std::size_t>(k)] = Add(Scale(p, co), Scale(q, s));
        }
        const BVec3 back = Add(c, Scale(a, -halfLength));
        const BVec3 front = Add(c, Scale(a, halfLength));
        auto rim = [&](const BVec3& end, int k) {
            return Add(end, Scale(radial[static_cast<std::size_t>(k)], radius));
        };
        for (int k = 0; k < segments; ++k) {
            const float u0 = static_cast<float>(k) / static_cast<float>(segments);
            const float u1 = static_cast<float>(k + 1) / static_cast<float>(segments);
            const auto& r0 = radial[static_cast<std::size_t>(k)];
            const auto& r1 = radial[static_cast<std::size_t>(k + 1)];
            Face({Vertex(rim(back, k), r0, {u0, 1}), Vertex(rim(back, k + 1), r1, {u1, 1}),
                  Vertex(rim(front, k + 1), r1, {u1, 0}), Vertex(rim(front, k), r0, {u0, 0})},
                 texture, selections);
        }
        auto capUV = [&](int k) {
            float s, co;
            SinCos(k, segments, s, co);
            return BUV{0.5f + 0.5f * co, 0.5f - 0.5f * s};
        };
        if (frontCap) {
            const int centre = Vertex(front, a, {0.5f, 0.5f});
            for (int k = 0; k < segments; ++k)
                Face({centre, Vertex(rim(front, k), a, capUV(k)), Vertex(rim(front, k + 1), a, capUV(k + 1))}, texture,
                     selections);
        }
        if (backCap) {
            const BVec3 out = Neg(a);
            const int centre = Vertex(back, out, {0.5f, 0.5f});
            for (int k = 0; k < segments; ++k)
                Face({centre, Vertex(rim(back, k + 1), out, capUV(k + 1)), Vertex(rim(back, k), out, capUV(k))},
                     texture, selections);
        }
    }

    BLod Finish(float resolution, const std::vector<std::string>& textures, bool vertexWeights) const {
        BLod lod;
        lod.resolution = resolution;
        lod.textures = textures;
        const std::size_t nv = vertexPoint_.size();
        lod.vertexInfo.assign(nv, 0);
        lod.uv = uvs_;
        lod.normals = normals_;
        lod.unique.assign(points_.size(), -1);
        for (std::size_t v = 0; v < nv; ++v) {
            const auto point = static_cast<std::size_t>(vertexPoint_[v]);
            lod.vertices.push_back(points_[point]);
            lod.link.push_back(static_cast<int16_t>(point));
            if (lod.unique[point] < 0) lod.unique[point] = static_cast<int16_t>(v);
        }
        if (nv > 0) {
            lod.minPos = lod.maxPos = lod.vertices[0];
            for (const BVec3& v : lod.vertices)
                for (int i = 0; i < 3; ++i) {
                    lod.minPos[i] = std::min(lod.minPos[i], v[i]);
                    lod.maxPos[i] = std::max(lod.maxPos[i], v[i]);
                }
        }
        lod.polygons = faces_;
        for (const auto& [name, s] : selections_) {
            BSelection out;
            out.name = name;
            for (int f : s.faces) out.faces.push_back(static_cast<uint16_t>(f));
            for (int v : s.vertexes) out.vertexes.push_back(static_cast<uint16_t>(v));
            if (vertexWeights) out.entries3.assign(out.vertexes.size(), 0xFF);
            lod.selections.push_back(std::move(out));
        }
        return lod;
    }

    std::size_t PointCount() const { return points_.size(); }

private:
    struct Selection {
        std::vector<int> faces;
        std::set<int> vertexes;
    };

    static uint32_t Bits(float f) {
        uint32_t b;
        std::memcpy(&b, &f, 4);
        return b;
    }

    int Point(const BVec3& pos) {
        const std::array<uint32_t, 3> key = {Bits(pos[0]), Bits(pos[1]), Bits(pos[2])};
        auto it = pointIndex_.find(key);
        if (it != pointIndex_.end()) return it->second;
        const int index = static_cast<int>(points_.size());
        points_.push_back(pos);
        pointIndex_.emplace(key, index);
        return index;
    }

    Selection& Select(const std::string& name) {
        for (auto& [n, s] : selections_)
            if (n == name) return s;
        selections_.emplace_back(name, Selection{});
        return selections_.back().second;
    }

    std::vector<BVec3> points_;
    std::map<std::array<uint32_t, 3>, int> pointIndex_;
    std::vector<int> vertexPoint_;
    std::vector<BVec3> normals_;
    std::vector<BUV> uvs_;
    std::map<std::array<uint32_t, 6>, int> vertexIndex_;
    std::vector<BPolygon> faces_;
    std::vector<std::pair<std::string, Selection>> selections_;  // in order of first use
};

// Dimensions, in stored coordinates (metres).
constexpr float kWheelRadius = 0.45f;
constexpr float kWheelHalfWidth = 0.175f;
constexpr float kWheelX = 1.5f;
constexpr float kWheelY = -0.05f;
constexpr float kWheelZ[4] = {2.4f, 0.8f, -0.8f, -2.4f};  // front to back
const BVec3 kHullCentre = {0, 0.45f, 0};
const BVec3 kHullHalf = {1.3f, 0.55f, 3.4f};
const BVec3 kTurretCentre = {0, 1.35f, -0.3f};
const BVec3 kTurretHalf = {1.0f, 0.35f, 1.3f};
constexpr float kBarrelY = 1.3f;
constexpr float kBarrelRadius = 0.09f;
constexpr float kBarrelBack = 1.0f;  // the turret's front face
constexpr float kBarrelFront = 4.8f;
const BVec3 kHatchCentre = {0.55f, 1.75f, -0.75f};
const BVec3 kHatchHalf = {0.25f, 0.05f, 0.25f};
const BVec3 kGlassCentre = {-0.45f, 1.775f, 0.4f};
const BVec3 kGlassHalf = {0.15f, 0.075f, 0.1f};

struct Detail {
    int wheelSegments;
    int barrelSegments;
    bool glass;
};

BLod ResolutionLod(float resolution, const Detail& d) {
    Mesh m;
    m.Box(kHullCentre, kHullHalf, kHull, kCamo, {"hull"});
    m.Box(kTurretCentre, kTurretHalf, kTurret, kTurret, {"turret"});
    m.Box(kHatchCentre, kHatchHalf, kTurret, kTurret, {"turret", "hatch"});
    if (d.glass) m.Box(kGlassCentre, kGlassHalf, kGlass, kGlass, {"turret", "glass"});
    const float barrelHalf = (kBarrelFront - kBarrelBack) / 2;
    m.Cylinder({0, kBarrelY, kBarrelBack + barrelHalf}, {0, 0, 1}, {1, 0, 0}, {0, 1, 0}, kBarrelRadius, barrelHalf,
               d.barrelSegments, false, true, kTurret, {"turret", "barrel"});
    for (int side = 0; side < 2; ++side) {
        const float x = side == 0 ? -kWheelX : kWheelX;
        const char* name = side == 0 ? "wheel_left_" : "wheel_right_";
        for (int i = 0; i < 4; ++i)
            m.Cylinder({x, kWheelY, kWheelZ[i]}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, kWheelRadius, kWheelHalfWidth,
                       d.wheelSegments, true, true, kWheels, {name + std::to_string(i + 1)});
    }
    return m.Finish(resolution, kTextures, true);
}

BLod GeometryLod(std::vector<float>& masses) {
    Mesh m;
    struct Piece {
        BVec3 centre, half;
        float massPerPoint;
    };
    const float trackTop = kWheelY + kWheelRadius;
    const float trackBottom = kWheelY - kWheelRadius;
    const BVec3 trackHalf = {kWheelHalfWidth, (trackTop - trackBottom) / 2, 3.0f};
    const float trackY = (trackTop + trackBottom) / 2;
    const float barrelHalf = (kBarrelFront - kBarrelBack) / 2;
    // 8 x 1500 + 8 x 700 + 8 x 50 + 16 x 406.25 = 24500 kg, exact in float
    const Piece parts[5] = {
        {kHullCentre, kHullHalf, 1500.0f},
        {kTurretCentre, kTurretHalf, 700.0f},
        {{0, kBarrelY, kBarrelBack + barrelHalf}, {kBarrelRadius, kBarrelRadius, barrelHalf}, 50.0f},
        {{-kWheelX, trackY, 0}, trackHalf, 406.25f},
        {{kWheelX, trackY, 0}, trackHalf, 406.25f},
    };
    for (int i = 0; i < 5; ++i) {
        const std::size_t before = m.PointCount();
        m.Box(parts[i].centre, parts[i].half, kNone, kNone, {"Component0" + std::to_string(i + 1)});
        masses.insert(masses.end(), m.PointCount() - before, parts[i].massPerPoint);
    }
    BLod lod = m.Finish(vistrel::kBuilderGeometryResolution, {}, false);
    lod.properties = {{"class", "vehicle"}, {"map", "tank"}};
    return lod;
}

BLod MemoryLod() {
    Mesh m;
    m.NamedPoint("muzzle", {0, kBarrelY, kBarrelFront});
    m.NamedPoint("barrel_end", {0, kBarrelY, kBarrelBack});
    m.NamedPoint("turret_axis", {0, 1.0f, kTurretCentre[2]});
    m.NamedPoint("turret_axis", {0, 1.7f, kTurretCentre[2]});
    m.NamedPoint("pos_driver", {-0.7f, 1.1f, 2.8f});
    m.NamedPoint("pos_gunner", {0.5f, 1.8f, -0.6f});
    m.NamedPoint("light_left", {-1.0f, 0.8f, 3.4f});
    m.NamedPoint("light_right", {1.0f, 0.8f, 3.4f});
    m.NamedPoint("exhaust", {0.8f, 0.9f, -3.4f});
    return m.Finish(vistrel::kBuilderMemoryResolution, {}, false);
}

vistrel::BProxy CommanderProxy() {
    vistrel::BProxy proxy;
    proxy.name = "data\\proxy\\commander";
    // a 3x4 transform (rotation rows, then position), an id and a selection index
    const float transform[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0.5f, 1.8f, -0.6f};
    const int32_t tail[2] = {1, 0};
    std::size_t at = 0;
    for (float f : transform) {
        uint32_t b;
        std::memcpy(&b, &f, 4);
        for (int k = 0; k < 4; ++k) proxy.data[at++] = static_cast<uint8_t>(b >> (8 * k));
    }
    for (int32_t v : tail)
        for (int k = 0; k < 4; ++k) proxy.data[at++] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * k));
    return proxy;
}

BModel Tank() {
    BModel model;
    model.headerValue = 7;
    model.lods.push_back(ResolutionLod(1.0f, {16, 12, true}));
    model.lods.push_back(ResolutionLod(2.0f, {10, 8, false}));
    model.lods.push_back(ResolutionLod(4.0f, {6, 4, false}));
    model.lods.push_back(GeometryLod(model.masses));
    model.lods.push_back(MemoryLod());

    BLod& best = model.lods[0];
    best.proxies.push_back(CommanderProxy());
    best.trailing.push_back({0, {{0, kBarrelY, kBarrelFront}, {0, kBarrelY, kBarrelBack}}});

    model.bboxMin = model.lods[0].minPos;
    model.bboxMax = model.lods[0].maxPos;
    for (const BLod& lod : model.lods) {
        if (lod.vertices.empty()) continue;
        for (int i = 0; i < 3; ++i) {
            model.bboxMin[i] = std::min(model.bboxMin[i], lod.minPos[i]);
            model.bboxMax[i] = std::max(model.bboxMax[i], lod.maxPos[i]);
        }
    }
    model.offset1 = {0, 0.5f, 0};
    model.offset2 = {0, 0.5f, 0};
    model.offset3 = {0, 0, 0};
    for (float mass : model.masses) model.totalMass += mass;
    return model;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_sample OUTPUT_FOLDER\n");
        return 2;
    }
    try {
        const std::string path = std::string(argv[1]) + "/tank.p3d";
        vistrel::WriteFile(path, vistrel::BuildModel(Tank()));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_sample: %s\n", e.what());
        return 1;
    }
    return 0;
}
