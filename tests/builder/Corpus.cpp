// The corpus of test models (Corpus.h). Only basic arithmetic and square
// roots (no library trigonometry, whose last bit may differ between
// platforms), so that the corpus is the same bytes everywhere; the build turns
// off fused multiply-add for this file.
#include "Corpus.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <set>
#include <stdexcept>
#include <utility>

#include "TextureEncoder.h"

namespace vistrel {

namespace {

using Names = std::vector<std::string>;

constexpr double kPi = 3.14159265358979323846;

// sin and cos of 2*pi*k/n by their series on an angle reduced to [-pi, pi].
void SinCos(int k, int n, float& s, float& c) {
    int t = k % n;
    if (2 * t > n) t -= n;
    const double a = 2.0 * kPi * t / n;
    double sumS = 0, sumC = 0, termS = a, termC = 1;
    for (int i = 0; i < 30; ++i) {
        sumS += termS;
        sumC += termC;
        termS *= -a * a / ((2 * i + 2) * (2 * i + 3));
        termC *= -a * a / ((2 * i + 1) * (2 * i + 2));
    }
    // exact zeros at the quarter turns keep the shapes symmetric
    s = std::fabs(sumS) < 1e-12 ? 0.0f : static_cast<float>(sumS);
    c = std::fabs(sumC) < 1e-12 ? 0.0f : static_cast<float>(sumC);
}

BVec3 Add(const BVec3& a, const BVec3& b) { return {a[0] + b[0], a[1] + b[1], a[2] + b[2]}; }
BVec3 Sub(const BVec3& a, const BVec3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
BVec3 Scale(const BVec3& a, float f) { return {a[0] * f, a[1] * f, a[2] * f}; }
BVec3 Neg(const BVec3& a) { return {-a[0], -a[1], -a[2]}; }
BVec3 Cross(const BVec3& a, const BVec3& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
BVec3 Unit(const BVec3& a) {
    const float length = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
    if (length == 0) return {0, 1, 0};
    return {a[0] / length, a[1] / length, a[2] / length};
}

// The corpus's only source of variety: a fixed-seed linear congruential
// generator.
class Lcg {
public:
    explicit Lcg(uint32_t seed) : state_(seed) {}
    uint32_t Next() {
        state_ = state_ * 1664525u + 1013904223u;
        return state_ >> 8;
    }
    int Below(int n) { return static_cast<int>(Next() % static_cast<uint32_t>(n)); }

private:
    uint32_t state_;
};

// What a face is textured with before the LOD's names are known: a patch
// (0 and up; the faces of a patch share a name) or one of these.
constexpr int kNoTexture = -1;  // texture index -1
constexpr int kEmptyName = -2;  // the LOD's empty name ""
constexpr int kNoCap = -100;    // an open end of a tube

// A tube: rings of points around an axis, the cells between them quads (some
// split into two triangles), the ends closed by triangle fans or left open.
struct TubeShape {
    BVec3 origin{0, 0, 0};
    BVec3 axis{0, 0, 1};  // p x q = axis
    BVec3 p{1, 0, 0};
    BVec3 q{0, 1, 0};
    float halfP = 1, halfQ = 1;  // half extents of the section along p and q
    bool square = false;         // a section of degree 4 (a rounded box) instead of an ellipse
    int around = 8;
    std::vector<std::pair<float, float>> rings;  // position along the axis, size of the section
    int split = 0;                               // every split-th cell as two triangles; 0: none
    int backCap = kNoCap, frontCap = kNoCap;     // patches of the end caps
    Names backNames, frontNames;
};

// A LOD under construction. A point is a distinct position; a vertex is a
// distinct (point, normal, uv) combination, so corners that share a position
// but differ in normal or texture coordinate get vertices of their own.
class Mesh {
public:
    // A new patch; its name is picked from the LOD's names by Finish.
    int Patch() { return patches_++; }
    // The patch of a name: it takes that name when the LOD has it.
    int Patch(const std::string& name) {
        auto [it, inserted] = pinned_.try_emplace(name, 0);
        if (inserted) it->second = patches_++;
        return it->second;
    }

    int Vertex(const BVec3& pos, const BVec3& outward, const BUV& uv) {
        const int point = Point(pos);
        const BVec3 stored = Neg(Unit(outward));
        const std::array<uint32_t, 6> key = {
            static_cast<uint32_t>(point), Bits(stored[0]), Bits(stored[1]), Bits(stored[2]), Bits(uv[0]), Bits(uv[1])};
        auto it = vertexIndex_.find(key);
        if (it != vertexIndex_.end()) return it->second;
        const int index = static_cast<int>(vertexPoint_.size());
        if (index > 32767) throw std::logic_error("corpus: more vertices than a face can index");
        vertexPoint_.push_back(point);
        normals_.push_back(stored);
        uvs_.push_back(uv);
        vertexIndex_.emplace(key, index);
        return index;
    }

    // A face over vertex indices, wound counter-clockwise seen from outside.
    void Face(const std::vector<int>& corners, int patch, const Names& selections) {
        const int index = static_cast<int>(faces_.size());
        BPolygon p;
        for (int c : corners) p.corners.push_back(static_cast<int16_t>(c));
        faces_.push_back(std::move(p));
        facePatch_.push_back(patch);
        for (const std::string& name : selections) {
            Selection& s = Select(name);
            s.faces.push_back(index);
            s.vertexes.insert(corners.begin(), corners.end());
        }
    }

    // A named point that no face uses.
    void NamedPoint(const std::string& name, const BVec3& pos) {
        Select(name).vertexes.insert(Vertex(pos, {0, 1, 0}, {0, 0}));
    }

    // A selection of the vertices of another one, without faces.
    void CopyVertexes(const std::string& from, const std::string& to) {
        const std::set<int> vertexes = Select(from).vertexes;
        Select(to).vertexes.insert(vertexes.begin(), vertexes.end());
    }

    // A box from its centre and half extents; with uvsNotNumbers every UV of
    // it is NaN.
    void Box(const BVec3& c, const BVec3& h, int patch, const Names& selections, bool uvsNotNumbers = false) {
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
            const float nan = std::numeric_limits<float>::quiet_NaN();
            auto uv = [&](float a, float b) { return uvsNotNumbers ? BUV{nan, nan} : BUV{a, b}; };
            const int a = Vertex(Add(mid, Add(Neg(u), Neg(v))), s.n, uv(0, 1));
            const int b = Vertex(Add(mid, Add(u, Neg(v))), s.n, uv(1, 1));
            const int d = Vertex(Add(mid, Add(u, v)), s.n, uv(1, 0));
            const int e = Vertex(Add(mid, Add(Neg(u), v)), s.n, uv(0, 0));
            Face({a, b, d, e}, patch, selections);
        }
    }

    // The tube of shape; cell (i, j) lies between rings j and j + 1, from step
    // i around to step i + 1, and takes patchOf(i, j) and namesOf(i, j).
    void Tube(const TubeShape& shape, const std::function<int(int, int)>& patchOf,
              const std::function<Names(int, int)>& namesOf) {
        const int n = shape.around;
        const int rings = static_cast<int>(shape.rings.size());
        std::vector<BVec3> section(static_cast<std::size_t>(n) + 1);
        for (int i = 0; i <= n; ++i) {
            float s, c;
            SinCos(i, n, s, c);
            if (shape.square) {
                c = c < 0 ? -std::sqrt(-c) : std::sqrt(c);
                s = s < 0 ? -std::sqrt(-s) : std::sqrt(s);
            }
            section[static_cast<std::size_t>(i)] =
                Add(Scale(shape.p, shape.halfP * c), Scale(shape.q, shape.halfQ * s));
        }
        auto at = [&](int i, int j) {
            const auto& [along, size] = shape.rings[static_cast<std::size_t>(j)];
            return Add(Add(shape.origin, Scale(shape.axis, along)), Scale(section[static_cast<std::size_t>(i)], size));
        };
        // normals from the neighbouring points: around x along points out
        std::vector<int> grid(static_cast<std::size_t>((n + 1) * rings));
        for (int j = 0; j < rings; ++j)
            for (int i = 0; i <= n; ++i) {
                const int prev = i == 0 ? n - 1 : i - 1, next = i == n ? 1 : i + 1;
                const BVec3 du = Sub(at(next, j), at(prev, j));
                const BVec3 dv = Sub(at(i, std::min(j + 1, rings - 1)), at(i, std::max(j - 1, 0)));
                const BUV uv = {static_cast<float>(i) / static_cast<float>(n),
                                1.0f - static_cast<float>(j) / static_cast<float>(rings - 1)};
                grid[static_cast<std::size_t>(j * (n + 1) + i)] = Vertex(at(i, j), Cross(du, dv), uv);
            }
        auto v = [&](int i, int j) { return grid[static_cast<std::size_t>(j * (n + 1) + i)]; };
        for (int j = 0; j + 1 < rings; ++j)
            for (int i = 0; i < n; ++i) {
                const int a = v(i, j), b = v(i + 1, j), c = v(i + 1, j + 1), d = v(i, j + 1);
                const int patch = patchOf(i, j);
                const Names names = namesOf(i, j);
                if (shape.split > 0 && (i + 3 * j) % shape.split == 0) {
                    Face({a, b, c}, patch, names);
                    Face({a, c, d}, patch, names);
                } else {
                    Face({a, b, c, d}, patch, names);
                }
            }
        auto capUV = [&](int i) {
            float s, c;
            SinCos(i, n, s, c);
            return BUV{0.5f + 0.5f * c, 0.5f - 0.5f * s};
        };
        if (shape.frontCap != kNoCap) {
            const int j = rings - 1;
            const int centre =
                Vertex(Add(shape.origin, Scale(shape.axis, shape.rings.back().first)), shape.axis, {0.5f, 0.5f});
            for (int i = 0; i < n; ++i)
                Face({centre, Vertex(at(i, j), shape.axis, capUV(i)), Vertex(at(i + 1, j), shape.axis, capUV(i + 1))},
                     shape.frontCap, shape.frontNames);
        }
        if (shape.backCap != kNoCap) {
            const BVec3 out = Neg(shape.axis);
            const int centre =
                Vertex(Add(shape.origin, Scale(shape.axis, shape.rings.front().first)), out, {0.5f, 0.5f});
            for (int i = 0; i < n; ++i)
                Face({centre, Vertex(at(i + 1, 0), out, capUV(i + 1)), Vertex(at(i, 0), out, capUV(i))}, shape.backCap,
                     shape.backNames);
        }
    }

    // The LOD: every patch takes one of the names of textures (pinned patches
    // their own name; the others spread evenly over the rest, so that each
    // name is used); about 30 % of the points carry a hint value 1..6 in bits
    // 20..23 of their vertices' hint words, which the editable format's point
    // flags leave out. Throws std::logic_error when a name would go unused.
    BLod Finish(float resolution, const Names& textures, uint32_t hintSeed) const {
        BLod lod;
        lod.resolution = resolution;
        lod.textures = textures;

        std::vector<int16_t> patchTexture(static_cast<std::size_t>(patches_), -1);
        std::vector<bool> pinnedHere(static_cast<std::size_t>(patches_), false);
        std::vector<int16_t> spread;
        int16_t empty = -1;
        for (std::size_t t = 0; t < textures.size(); ++t) {
            const auto index = static_cast<int16_t>(t);
            auto it = pinned_.find(textures[t]);
            if (textures[t].empty()) {
                empty = index;
            } else if (it != pinned_.end()) {
                patchTexture[static_cast<std::size_t>(it->second)] = index;
                pinnedHere[static_cast<std::size_t>(it->second)] = true;
            } else {
                spread.push_back(index);
            }
        }
        std::vector<bool> used(static_cast<std::size_t>(patches_), false);
        for (int patch : facePatch_)
            if (patch >= 0) used[static_cast<std::size_t>(patch)] = true;
        std::vector<int> others;
        for (int p = 0; p < patches_; ++p)
            if (used[static_cast<std::size_t>(p)] && !pinnedHere[static_cast<std::size_t>(p)]) others.push_back(p);
        for (std::size_t r = 0; r < others.size() && !spread.empty(); ++r)
            patchTexture[static_cast<std::size_t>(others[r])] = spread[r * spread.size() / others.size()];

        lod.polygons = faces_;
        std::vector<int> uses(textures.size(), 0);
        for (std::size_t f = 0; f < faces_.size(); ++f) {
            const int patch = facePatch_[f];
            int16_t& texture = lod.polygons[f].texture;
            texture = patch == kEmptyName ? empty : patch < 0 ? -1 : patchTexture[static_cast<std::size_t>(patch)];
            if (texture >= 0) ++uses[static_cast<std::size_t>(texture)];
        }
        for (std::size_t t = 0; t < textures.size(); ++t)
            if (uses[t] == 0)
                throw std::logic_error("corpus: no face of the LOD uses the texture \"" + textures[t] + '"');

        const std::size_t nv = vertexPoint_.size();
        Lcg hints(hintSeed);
        std::vector<uint32_t> pointHint(points_.size(), 0);
        for (uint32_t& hint : pointHint)
            if (hints.Below(100) < 30) hint = 1 + static_cast<uint32_t>(hints.Below(6));
        lod.uv = uvs_;
        lod.normals = normals_;
        lod.unique.assign(points_.size(), -1);
        for (std::size_t v = 0; v < nv; ++v) {
            const auto point = static_cast<std::size_t>(vertexPoint_[v]);
            lod.vertices.push_back(points_[point]);
            lod.vertexInfo.push_back(pointHint[point] << 20);
            lod.link.push_back(static_cast<int16_t>(point));
            if (lod.unique[point] < 0) lod.unique[point] = static_cast<int16_t>(v);
        }
        if (nv > 0) {
            lod.minPos = lod.maxPos = lod.vertices[0];
            for (const BVec3& p : lod.vertices)
                for (int i = 0; i < 3; ++i) {
                    lod.minPos[i] = std::min(lod.minPos[i], p[i]);
                    lod.maxPos[i] = std::max(lod.maxPos[i], p[i]);
                }
        }
        for (const auto& [name, s] : selections_) {
            BSelection out;
            out.name = name;
            for (int f : s.faces) out.faces.push_back(static_cast<uint16_t>(f));
            for (int v : s.vertexes) out.vertexes.push_back(static_cast<uint16_t>(v));
            out.entries3.assign(out.vertexes.size(), 0xFF);
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
        auto it = selectionIndex_.find(name);
        if (it != selectionIndex_.end()) return selections_[it->second].second;
        selectionIndex_.emplace(name, selections_.size());
        selections_.emplace_back(name, Selection{});
        return selections_.back().second;
    }

    int patches_ = 0;
    std::map<std::string, int> pinned_;
    std::vector<BVec3> points_;
    std::map<std::array<uint32_t, 3>, int> pointIndex_;
    std::vector<int> vertexPoint_;
    std::vector<BVec3> normals_;
    std::vector<BUV> uvs_;
    std::map<std::array<uint32_t, 6>, int> vertexIndex_;
    std::vector<BPolygon> faces_;
    std::vector<int> facePatch_;
    std::vector<std::pair<std::string, Selection>> selections_;  // in order of first use
    std::map<std::string, std::size_t> selectionIndex_;
};

// ---------------------------------------------------------------------------
// Texture names

// The texture files that exist.
const std::string kBodyTexture = "vx\\tracked\\data\\body_co.paa";        // DXT1
const std::string kBlurTexture = "vx\\tracked\\data\\2blade blur.paa";    // DXT5, alpha
const std::string kTrackTexture = "vx\\tracked\\data\\tracks_1555.paa";   // ARGB1555
const std::string kCamoTexture = "vx\\tracked\\data\\camo #2.pac";        // palette
const std::string kDirtTexture = "vx\\wheeled\\data\\dirt_ai88.paa";      // AI88
const std::string kReticleTexture = "vx\\optics\\data\\sight&glass.paa";  // ARGB4444, alpha

constexpr std::size_t kMaxTextureName = 31;

// Texture names of the kinds real models use, count of them: 1 to 3 folders
// under "vx\\", at most 31 characters, about half ".paa" and half ".pac",
// with blanks, "&", "+", "#", "-" and inner dots among the letters; folder is
// the model's own ("vx\\tracked\\"). None of them is in skip.
Names TexturePool(const std::string& folder, int count, const Names& skip) {
    static const char* const kBases[] = {"hull",   "turret", "gun",    "wheel",    "track",   "hatch",  "light",
                                         "glass",  "mantle", "fender", "skirt",    "exhaust", "aerial", "net",
                                         "box",    "plate",  "rail",   "mirror",   "seat",    "panel",  "sight",
                                         "engine", "grill",  "cable",  "nut&bolt", "lamp"};
    static const char* const kSuffixes[] = {"_co", "-01", "_nohq", "_ca", "-02", ".01", "_smdi",
                                            " 2",  "-l",  "_as",   "-r",  "#1",  "+x",  ".02"};
    static const int kPrefixOrder[] = {0, 0, 2, 0, 1, 3, 0, 4, 2, 0, 1};
    const std::string prefixes[] = {folder + "data\\", "vx\\common\\data\\", folder, "vx\\data\\", "vx\\"};
    const int bases = static_cast<int>(std::size(kBases));
    const int suffixes = static_cast<int>(std::size(kSuffixes));
    std::set<std::string> seen(skip.begin(), skip.end());
    Names names;
    for (int i = 0; static_cast<int>(names.size()) < count; ++i) {
        const std::string file =
            std::string(kBases[(i / suffixes + i) % bases]) + kSuffixes[i % suffixes] + (i % 13 < 7 ? ".paa" : ".pac");
        std::string name = prefixes[kPrefixOrder[i % std::size(kPrefixOrder)]] + file;
        if (name.size() > kMaxTextureName) name = prefixes[4] + file;
        if (seen.insert(name).second) names.push_back(name);
    }
    return names;
}

// A LOD's names: fixed ones first, then pool[from, ...) up to count.
Names TextureList(const Names& fixed, const Names& pool, int from, int count) {
    Names names = fixed;
    for (int i = from; static_cast<int>(names.size()) < count; ++i)
        names.push_back(pool.at(static_cast<std::size_t>(i)));
    return names;
}

// ---------------------------------------------------------------------------
// Vehicles

// A box that a vehicle carries.
struct Fitting {
    Names names;
    BVec3 centre, half;
    bool untextured = false;
    std::string pinned;  // a name to take, if the LOD has it; empty: a patch of its own
};

// A vehicle: a hull (a tube along z with a rounded box section, narrowing at
// both ends), a turret (a round tube up y with a top cap), a gun (a round tube
// along z with a muzzle brake and an untextured (empty name) muzzle), wheels
// along both sides and some boxes.
struct VehicleShape {
    float hullY, hullHalfWidth, hullHalfHeight, hullHalfLength;
    BVec3 turretBase;
    float turretHalfWidth, turretHalfLength, turretHeight;
    BVec3 gunStart;
    float gunLength, gunRadius;
    int wheelsPerSide;
    float wheelRadius, wheelHalfWidth, wheelX, wheelY, wheelZ0, wheelZ1;
    std::string leftGroup, rightGroup;                     // selections of the wheels of a side
    std::string hullTexture, turretTexture, wheelTexture;  // pinned names; empty: patches of their own
    bool damage;                                           // a "damage" region on the hull's left side
    std::vector<Fitting> fittings;
};

struct VehicleDetail {
    int hullAround, hullRings, hullBlock, hullPinEvery;
    int turretAround, turretRings;
    int gunAround, gunRings;
    int wheelSegments;
    int split;        // every split-th cell of hull and turret as two triangles
    bool fittings;    // the boxes of the shape
    bool regions;     // hull_front, hull_rear, damage, gun_muzzle
    bool wheelNames;  // wheel_1, wheel_2, … beside the side groups
};

std::vector<std::pair<float, float>> Rings(int count, float length, const std::function<float(float)>& size) {
    std::vector<std::pair<float, float>> rings;
    for (int j = 0; j < count; ++j) {
        const float t = static_cast<float>(j) / static_cast<float>(count - 1);
        rings.emplace_back(t * length, size(t));
    }
    return rings;
}

void BuildVehicle(Mesh& m, const VehicleShape& shape, const VehicleDetail& d) {
    auto pinned = [&m](const std::string& name) { return name.empty() ? m.Patch() : m.Patch(name); };

    // the hull: blocks of cells share a patch, most of them the hull's name
    {
        TubeShape t;
        t.origin = {0, shape.hullY, -shape.hullHalfLength};
        t.halfP = shape.hullHalfWidth;
        t.halfQ = shape.hullHalfHeight;
        t.square = true;
        t.around = d.hullAround;
        t.rings = Rings(d.hullRings, 2 * shape.hullHalfLength, [](float s) {
            const float u = 2 * s - 1, u2 = u * u, u4 = u2 * u2;
            return 0.35f + 0.65f * std::sqrt(1 - u4 * u4);
        });
        t.split = d.split;
        t.backCap = m.Patch();
        t.frontCap = m.Patch();
        t.backNames = d.regions ? Names{"hull", "hull_rear"} : Names{"hull"};
        t.frontNames = d.regions ? Names{"hull", "hull_front"} : Names{"hull"};
        std::map<std::pair<int, int>, int> blocks;
        auto patchOf = [&](int i, int j) {
            const int bi = i / d.hullBlock, bj = j / d.hullBlock;
            if (!shape.hullTexture.empty() && d.hullPinEvery > 0 && (bi + 2 * bj) % d.hullPinEvery != 0)
                return m.Patch(shape.hullTexture);
            auto [it, inserted] = blocks.try_emplace({bi, bj}, 0);
            if (inserted) it->second = m.Patch();
            return it->second;
        };
        const int cells = d.hullRings - 1;
        auto namesOf = [&](int i, int j) {
            Names names = {"hull"};
            if (!d.regions) return names;
            if (5 * j >= 4 * cells) names.push_back("hull_front");
            if (5 * j < cells) names.push_back("hull_rear");
            if (shape.damage && 4 * i >= d.hullAround && 2 * i < d.hullAround && 3 * j >= cells && 2 * j < cells)
                names.push_back("damage");
            return names;
        };
        m.Tube(t, patchOf, namesOf);
    }

    // the turret, half of its blocks in the turret's name
    {
        TubeShape t;
        t.origin = shape.turretBase;
        t.axis = {0, 1, 0};
        t.p = {0, 0, 1};
        t.q = {1, 0, 0};
        t.halfP = shape.turretHalfLength;
        t.halfQ = shape.turretHalfWidth;
        t.around = d.turretAround;
        t.rings = Rings(d.turretRings, shape.turretHeight, [](float s) { return std::sqrt(1 - 0.5f * s * s); });
        t.split = d.split;
        t.frontCap = m.Patch();
        t.frontNames = {"turret"};
        std::map<std::pair<int, int>, int> blocks;
        auto patchOf = [&](int i, int j) {
            const int bi = i / 4, bj = j / 2;
            if (!shape.turretTexture.empty() && (bi + bj) % 2 == 0) return m.Patch(shape.turretTexture);
            auto [it, inserted] = blocks.try_emplace({bi, bj}, 0);
            if (inserted) it->second = m.Patch();
            return it->second;
        };
        m.Tube(t, patchOf, [](int, int) { return Names{"turret"}; });
    }

    // the gun: a patch for the rear and one for the front half
    {
        TubeShape t;
        t.origin = shape.gunStart;
        t.halfP = t.halfQ = shape.gunRadius;
        t.around = d.gunAround;
        t.rings = Rings(d.gunRings, shape.gunLength, [](float s) { return s > 0.92f ? 1.4f : 1.0f; });
        const Names gun = {"turret", "gun"};
        const Names muzzle = d.regions ? Names{"turret", "gun", "gun_muzzle"} : gun;
        t.frontCap = kEmptyName;
        t.frontNames = muzzle;
        int rear = kNoCap, front = kNoCap;
        const int cells = d.gunRings - 1;
        m.Tube(
            t,
            [&](int, int j) {
                int& patch = 2 * j < cells ? rear : front;
                if (patch == kNoCap) patch = m.Patch();
                return patch;
            },
            [&](int, int j) { return j == cells - 1 ? muzzle : gun; });
    }

    // the wheels: the tyres in the wheels' name, the outer caps a patch
    // each, the inner caps untextured
    for (int side = 0; side < 2; ++side) {
        const float x = side == 0 ? -shape.wheelX : shape.wheelX;
        for (int k = 0; k < shape.wheelsPerSide; ++k) {
            const float z = shape.wheelZ0 + (shape.wheelZ1 - shape.wheelZ0) * static_cast<float>(k) /
                                                static_cast<float>(shape.wheelsPerSide - 1);
            Names names;
            if (d.wheelNames) names.push_back("wheel_" + std::to_string(side * shape.wheelsPerSide + k + 1));
            const std::string& group = side == 0 ? shape.leftGroup : shape.rightGroup;
            if (!group.empty()) names.push_back(group);
            TubeShape t;
            t.origin = {x - shape.wheelHalfWidth, shape.wheelY, z};
            t.axis = {1, 0, 0};
            t.p = {0, 1, 0};
            t.q = {0, 0, 1};
            t.halfP = t.halfQ = shape.wheelRadius;
            t.around = d.wheelSegments;
            t.rings = {{0.0f, 1.0f}, {2 * shape.wheelHalfWidth, 1.0f}};
            const int outer = m.Patch();
            t.backCap = side == 0 ? outer : kNoTexture;
            t.frontCap = side == 0 ? kNoTexture : outer;
            t.backNames = t.frontNames = names;
            const int tyre = pinned(shape.wheelTexture);
            m.Tube(
                t, [&](int, int) { return tyre; }, [&](int, int) { return names; });
        }
    }

    if (d.fittings)
        for (const Fitting& f : shape.fittings)
            m.Box(f.centre, f.half, f.untextured ? kNoTexture : pinned(f.pinned), f.names);
}

vistrel::BProxy Proxy(const std::string& name, const BVec3& at, int32_t id) {
    BProxy proxy;
    proxy.name = name;
    // a 3x4 transform (rotation rows, then position), an id and a selection index
    const float transform[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, at[0], at[1], at[2]};
    const int32_t tail[2] = {id, 0};
    std::size_t pos = 0;
    for (float f : transform) {
        uint32_t b;
        std::memcpy(&b, &f, 4);
        for (int k = 0; k < 4; ++k) proxy.data[pos++] = static_cast<uint8_t>(b >> (8 * k));
    }
    for (int32_t v : tail)
        for (int k = 0; k < 4; ++k) proxy.data[pos++] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * k));
    return proxy;
}

// Convex boxes named Component01, Component02, …, untextured (the LOD lists
// the empty name, as real ones do); with masses, a mass per point of each
// box appended to masses.
struct Component {
    BVec3 centre, half;
    float massPerPoint;
};

BLod ComponentLod(float resolution, const std::vector<Component>& parts, std::vector<float>* masses, uint32_t seed) {
    Mesh m;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const std::size_t before = m.PointCount();
        const std::string number = std::to_string(i + 1);
        m.Box(parts[i].centre, parts[i].half, kEmptyName, {"Component" + std::string(i < 9 ? "0" : "") + number});
        if (masses) masses->insert(masses->end(), m.PointCount() - before, parts[i].massPerPoint);
    }
    return m.Finish(resolution, {""}, seed);
}

// A LOD of named points only.
BLod PointLod(float resolution, const std::vector<std::pair<std::string, BVec3>>& points, uint32_t seed) {
    Mesh m;
    for (const auto& [name, pos] : points) m.NamedPoint(name, pos);
    BLod lod = m.Finish(resolution, {}, seed);
    std::erase_if(lod.selections, [](const BSelection& s) { return s.name.empty(); });
    return lod;
}

void SetBox(BModel& model) {
    model.bboxMin = model.lods.at(0).minPos;
    model.bboxMax = model.lods.at(0).maxPos;
    model.offset1 = {0, 0.5f, 0};
    model.offset2 = {0, 0.5f, 0};
    model.totalMass = 0;
    for (float mass : model.masses) model.totalMass += mass;
}

// ---------------------------------------------------------------------------
// The models

VehicleShape TrackedShape() {
    VehicleShape s;
    s.hullY = 0.7f;
    s.hullHalfWidth = 1.3f;
    s.hullHalfHeight = 0.55f;
    s.hullHalfLength = 3.4f;
    s.turretBase = {0, 1.2f, -0.3f};
    s.turretHalfWidth = 1.1f;
    s.turretHalfLength = 1.4f;
    s.turretHeight = 0.65f;
    s.gunStart = {0, 1.5f, 1.0f};
    s.gunLength = 4.2f;
    s.gunRadius = 0.1f;
    s.wheelsPerSide = 6;
    s.wheelRadius = 0.42f;
    s.wheelHalfWidth = 0.2f;
    s.wheelX = 1.5f;
    s.wheelY = 0.35f;
    s.wheelZ0 = 2.6f;
    s.wheelZ1 = -2.6f;
    s.leftGroup = "track_l";
    s.rightGroup = "track_r";
    s.hullTexture = kBodyTexture;
    s.turretTexture = kCamoTexture;
    s.wheelTexture = kTrackTexture;
    s.damage = true;
    s.fittings = {
        {{"hatch_driver"}, {-0.6f, 1.25f, 2.2f}, {0.3f, 0.05f, 0.3f}, false, ""},
        {{"turret", "hatch_commander"}, {0.5f, 1.87f, -0.6f}, {0.3f, 0.05f, 0.3f}, false, ""},
        {{"light_l"}, {-1.0f, 0.95f, 3.3f}, {0.12f, 0.08f, 0.06f}, false, ""},
        {{"light_r"}, {1.0f, 0.95f, 3.3f}, {0.12f, 0.08f, 0.06f}, false, ""},
        {{"exhaust"}, {0.9f, 1.0f, -3.25f}, {0.15f, 0.1f, 0.1f}, true, ""},
        {{"turret", "antenna"}, {-0.8f, 2.4f, -1.2f}, {0.02f, 0.5f, 0.02f}, false, kBlurTexture},
        {{"box_l"}, {-1.3f, 1.0f, -1.8f}, {0.08f, 0.2f, 0.5f}, false, ""},
        {{"box_r"}, {1.3f, 1.0f, -1.8f}, {0.08f, 0.2f, 0.5f}, false, ""},
        {{"turret", "gun", "mantlet"}, {0, 1.5f, 1.1f}, {0.35f, 0.25f, 0.15f}, false, ""},
    };
    return s;
}

TCorpusModel Large() {
    const VehicleShape shape = TrackedShape();
    const Names fixed = {"",
                         kBodyTexture,
                         kBlurTexture,
                         kTrackTexture,
                         kCamoTexture,
                         "vx\\tracked\\data\\fin&rddr.paa",
                         "vx\\tracked\\material #27.pac",
                         "vx\\tracked\\data\\front.01.paa",
                         "vx\\tracked\\data\\a+b.paa"};
    const Names pool = TexturePool("vx\\tracked\\", 160, fixed);

    struct Step {
        float resolution;
        VehicleDetail detail;
        int textures;
    };
    // hull around/rings/block/pin, turret, gun, wheel segments, split, fittings, regions, wheel names
    const Step steps[] = {
        {1.0f, {64, 103, 4, 3, 48, 16, 24, 24, 24, 7, true, true, true}, 111},
        {1.5f, {52, 80, 4, 3, 40, 12, 20, 16, 18, 8, true, false, true}, 124},
        {2.0f, {40, 64, 3, 3, 32, 10, 16, 10, 16, 10, true, false, true}, 96},
        {3.0f, {32, 44, 2, 3, 24, 8, 12, 6, 12, 14, true, false, true}, 80},
        {4.5f, {24, 30, 2, 4, 16, 6, 8, 4, 10, 0, false, false, true}, 66},
        {10.106f, {16, 16, 1, 5, 12, 4, 6, 2, 8, 0, false, false, true}, 55},
        {40.263f, {12, 9, 1, 0, 8, 3, 6, 2, 6, 0, false, false, true}, 50},
    };

    TCorpusModel out{"large", "models/vx/tracked/large.p3d", {}};
    BModel& model = out.model;
    model.headerValue = 7;
    uint32_t seed = 1;
    for (std::size_t k = 0; k < std::size(steps); ++k) {
        Mesh m;
        BuildVehicle(m, shape, steps[k].detail);
        if (k == 0) {
            // the points of LOD 0 that no face uses, and groups of vertices
            m.NamedPoint("axis_turret", {0, 1.2f, -0.3f});
            m.NamedPoint("axis_turret", {0, 1.9f, -0.3f});
            m.NamedPoint("axis_gun", {-0.3f, 1.5f, 1.0f});
            m.NamedPoint("axis_gun", {0.3f, 1.5f, 1.0f});
            m.NamedPoint("pos_driver", {-0.6f, 1.4f, 2.4f});
            m.NamedPoint("pos_gunner", {0.4f, 1.9f, -0.2f});
            m.NamedPoint("pos_commander", {0.5f, 2.0f, -0.6f});
            m.NamedPoint("light_l_pos", {-1.0f, 0.95f, 3.4f});
            m.NamedPoint("light_r_pos", {1.0f, 0.95f, 3.4f});
            m.NamedPoint("exhaust_pos", {0.9f, 1.0f, -3.4f});
            m.CopyVertexes("hull_front", "hide_hull");
            m.CopyVertexes("turret", "hide_turret");
            // a small box whose UVs are not numbers, out of sight inside the hull
            m.Box({0, 0.7f, 0}, {0.1f, 0.1f, 0.1f}, m.Patch(kBodyTexture), {"box_inside"}, true);
        }
        const Names textures = TextureList(fixed, pool, 6 * static_cast<int>(k), steps[k].textures);
        BLod lod = m.Finish(steps[k].resolution, textures, seed++);
        if (k == 0) {
            lod.properties = {{"autocenter ", "0"}, {"canocclude", "0"}};
            lod.proxies = {Proxy("vx\\proxy\\commander", {0.5f, 1.9f, -0.6f}, 1),
                           Proxy("vx\\proxy\\driver", {-0.6f, 1.1f, 2.4f}, 2)};
            lod.trailing.push_back({0, {{0, 1.5f, 5.2f}, {0, 1.5f, 1.0f}}});
        } else if (k >= 2) {
            lod.properties = {{"lodnoshadow", "1"}};
        }
        model.lods.push_back(std::move(lod));
    }

    // the views from inside: low detail, few names
    const std::string interior = "vx\\tracked\\data\\interior_co.paa";
    struct View {
        float resolution;
        VehicleDetail detail;
        Names textures;
    };
    const View views[] = {
        {1000.0f,
         {24, 16, 2, 3, 24, 8, 12, 6, 8, 0, false, false, false},
         {"", kBodyTexture, interior, "vx\\tracked\\data\\optic-glass.paa"}},
        {1100.0f, {24, 16, 2, 3, 16, 5, 8, 4, 8, 0, false, false, false}, {"", interior, kBodyTexture}},
        {1200.0f, {20, 12, 2, 3, 12, 4, 8, 4, 8, 0, false, false, false}, {"", interior}},
    };
    for (const View& v : views) {
        Mesh m;
        BuildVehicle(m, shape, v.detail);
        BLod lod = m.Finish(v.resolution, v.textures, seed++);
        if (v.resolution == 1000.0f) lod.proxies = {Proxy("vx\\proxy\\gunner", {0.4f, 1.6f, -0.2f}, 3)};
        model.lods.push_back(std::move(lod));
    }

    // 8 x (2500 + 1000 + 100 + 200 + 600 + 600) = 40000 kg, exact in float
    const std::vector<Component> geometry = {
        {{0, 0.7f, 0}, {1.3f, 0.55f, 3.4f}, 2500.0f},     {{0, 1.5f, -0.3f}, {1.1f, 0.33f, 1.4f}, 1000.0f},
        {{0, 1.5f, 3.1f}, {0.1f, 0.1f, 2.1f}, 100.0f},    {{0, 1.5f, 1.1f}, {0.35f, 0.25f, 0.15f}, 200.0f},
        {{-1.5f, 0.35f, 0}, {0.2f, 0.42f, 3.0f}, 600.0f}, {{1.5f, 0.35f, 0}, {0.2f, 0.42f, 3.0f}, 600.0f},
    };
    BLod geo = ComponentLod(kBuilderGeometryResolution, geometry, &model.masses, seed++);
    geo.properties = {{"class", "tank"},   {"armor", "400"},     {"damage", "tank"}, {"map", "tank"},
                      {"canocclude", "1"}, {"autocenter ", "0"}, {"lodneeded", "1"}, {"buoyancy", "0"}};
    model.lods.push_back(std::move(geo));

    model.lods.push_back(PointLod(kBuilderMemoryResolution,
                                  {{"muzzle", {0, 1.5f, 5.2f}},
                                   {"gun_end", {0, 1.5f, 1.0f}},
                                   {"axis_turret", {0, 1.2f, -0.3f}},
                                   {"axis_turret", {0, 1.9f, -0.3f}},
                                   {"axis_gun", {-0.3f, 1.5f, 1.0f}},
                                   {"axis_gun", {0.3f, 1.5f, 1.0f}},
                                   {"pos_driver", {-0.6f, 1.4f, 2.4f}},
                                   {"pos_gunner", {0.4f, 1.9f, -0.2f}},
                                   {"pos_commander", {0.5f, 2.0f, -0.6f}},
                                   {"eye_driver", {-0.6f, 1.5f, 2.6f}},
                                   {"eye_gunner", {0.4f, 2.0f, 0.1f}},
                                   {"light_l", {-1.0f, 0.95f, 3.4f}},
                                   {"light_r", {1.0f, 0.95f, 3.4f}},
                                   {"exhaust_l", {0.8f, 1.0f, -3.4f}},
                                   {"exhaust_r", {1.0f, 1.0f, -3.4f}}},
                                  seed++));

    // land contact: a point under every wheel, no names
    std::vector<std::pair<std::string, BVec3>> contact;
    for (int k = 0; k < 12; ++k)
        contact.push_back({"", {k < 6 ? -1.5f : 1.5f, -0.07f, 2.6f - 1.04f * static_cast<float>(k % 6)}});
    model.lods.push_back(PointLod(2e15f, contact, seed++));

    // hitpoints: clouds of points
    std::vector<std::pair<std::string, BVec3>> hits;
    for (int k = 0; k < 16; ++k)
        hits.push_back(
            {"hit_hull", {-0.9f + 0.6f * static_cast<float>(k % 4), 0.7f, -2.4f + 1.6f * static_cast<float>(k / 4)}});
    for (int k = 0; k < 9; ++k)
        hits.push_back(
            {"hit_turret", {-0.6f + 0.6f * static_cast<float>(k % 3), 1.5f, -1.0f + 0.7f * static_cast<float>(k / 3)}});
    for (int k = 0; k < 4; ++k) hits.push_back({"hit_gun", {0, 1.5f, 1.6f + 1.0f * static_cast<float>(k)}});
    for (int k = 0; k < 6; ++k)
        hits.push_back({"hit_engine", {-0.5f + 0.5f * static_cast<float>(k % 3), 0.9f, -2.9f + 0.5f * (k / 3)}});
    for (int k = 0; k < 6; ++k) hits.push_back({"hit_track_l", {-1.5f, 0.35f, -2.5f + 1.0f * static_cast<float>(k)}});
    for (int k = 0; k < 6; ++k) hits.push_back({"hit_track_r", {1.5f, 0.35f, -2.5f + 1.0f * static_cast<float>(k)}});
    model.lods.push_back(PointLod(5e15f, hits, seed++));

    // fire geometry: the geometry's boxes, the hatches and a box per wheel
    std::vector<Component> fire = geometry;
    fire.push_back({{-0.6f, 1.25f, 2.2f}, {0.3f, 0.05f, 0.3f}, 0});
    fire.push_back({{0.5f, 1.87f, -0.6f}, {0.3f, 0.05f, 0.3f}, 0});
    for (int k = 0; k < 12; ++k)
        fire.push_back(
            {{k < 6 ? -1.5f : 1.5f, 0.35f, 2.6f - 1.04f * static_cast<float>(k % 6)}, {0.2f, 0.42f, 0.42f}, 0});
    model.lods.push_back(ComponentLod(7e15f, fire, nullptr, seed++));

    model.lods.push_back(ComponentLod(8e15f, {geometry[0], geometry[1]}, nullptr, seed++));
    model.lods.push_back(ComponentLod(1.3e16f, {geometry[0], geometry[1]}, nullptr, seed++));
    SetBox(model);
    return out;
}

TCorpusModel Middle() {
    VehicleShape s;
    s.hullY = 0.9f;
    s.hullHalfWidth = 1.2f;
    s.hullHalfHeight = 0.6f;
    s.hullHalfLength = 3.0f;
    s.turretBase = {0, 1.45f, -0.2f};
    s.turretHalfWidth = 0.7f;
    s.turretHalfLength = 0.8f;
    s.turretHeight = 0.4f;
    s.gunStart = {0, 1.65f, 0.5f};
    s.gunLength = 2.0f;
    s.gunRadius = 0.06f;
    s.wheelsPerSide = 4;
    s.wheelRadius = 0.5f;
    s.wheelHalfWidth = 0.22f;
    s.wheelX = 1.35f;
    s.wheelY = 0.5f;
    s.wheelZ0 = 2.1f;
    s.wheelZ1 = -2.1f;
    s.hullTexture = kBodyTexture;
    s.wheelTexture = kDirtTexture;
    s.damage = false;
    s.fittings = {
        {{"light_l"}, {-0.9f, 1.1f, 2.9f}, {0.12f, 0.08f, 0.06f}, false, ""},
        {{"light_r"}, {0.9f, 1.1f, 2.9f}, {0.12f, 0.08f, 0.06f}, true, ""},
    };
    const Names fixed = {"", kBodyTexture, kDirtTexture, "vx\\wheeled\\data\\front.01.paa",
                         "vx\\wheeled\\data\\fin&rddr.pac"};
    const Names pool = TexturePool("vx\\wheeled\\", 80, fixed);

    struct Step {
        float resolution;
        VehicleDetail detail;
        int textures;
    };
    const Step steps[] = {
        {1.0f, {48, 52, 3, 3, 32, 8, 12, 8, 16, 8, true, true, true}, 50},
        {2.0f, {36, 36, 2, 3, 24, 6, 10, 6, 12, 9, true, false, true}, 40},
        {3.5f, {28, 24, 2, 3, 16, 5, 8, 4, 10, 14, true, false, true}, 32},
        {6.0f, {20, 16, 1, 3, 12, 4, 6, 3, 8, 0, false, false, true}, 24},
        {12.0f, {14, 10, 1, 3, 8, 3, 6, 2, 6, 0, false, false, true}, 16},
        {30.0f, {10, 6, 1, 0, 6, 2, 4, 2, 6, 0, false, false, true}, 10},
    };
    TCorpusModel out{"middle", "models/vx/wheeled/middle.p3d", {}};
    BModel& model = out.model;
    model.headerValue = 7;
    uint32_t seed = 101;
    for (std::size_t k = 0; k < std::size(steps); ++k) {
        Mesh m;
        BuildVehicle(m, s, steps[k].detail);
        if (k == 0) {
            m.NamedPoint("pos_driver", {-0.5f, 1.6f, 2.0f});
            m.NamedPoint("axis_turret", {0, 1.45f, -0.2f});
            m.NamedPoint("axis_turret", {0, 1.85f, -0.2f});
            m.CopyVertexes("hull_front", "hide_hull");
        }
        BLod lod =
            m.Finish(steps[k].resolution, TextureList(fixed, pool, 4 * static_cast<int>(k), steps[k].textures), seed++);
        if (k > 0) lod.properties = {{"lodnoshadow", "1"}};
        model.lods.push_back(std::move(lod));
    }

    // 8 x (1500 + 500 + 250 + 250) = 20000 kg
    const std::vector<Component> geometry = {
        {{0, 0.9f, 0}, {1.2f, 0.6f, 3.0f}, 1500.0f},
        {{0, 1.65f, -0.2f}, {0.7f, 0.2f, 0.8f}, 500.0f},
        {{-1.35f, 0.5f, 0}, {0.22f, 0.5f, 2.6f}, 250.0f},
        {{1.35f, 0.5f, 0}, {0.22f, 0.5f, 2.6f}, 250.0f},
    };
    BLod geo = ComponentLod(kBuilderGeometryResolution, geometry, &model.masses, seed++);
    geo.properties = {{"class", "car"}, {"armor", "80"}, {"autocenter ", "0"}};
    model.lods.push_back(std::move(geo));
    model.lods.push_back(PointLod(kBuilderMemoryResolution,
                                  {{"muzzle", {0, 1.65f, 2.5f}},
                                   {"gun_end", {0, 1.65f, 0.5f}},
                                   {"pos_driver", {-0.5f, 1.6f, 2.0f}},
                                   {"eye_driver", {-0.5f, 1.8f, 2.2f}},
                                   {"light_l", {-0.9f, 1.1f, 3.0f}},
                                   {"light_r", {0.9f, 1.1f, 3.0f}}},
                                  seed++));
    model.lods.push_back(ComponentLod(7e15f, geometry, nullptr, seed++));
    {
        Mesh m;
        BuildVehicle(m, s, {16, 10, 2, 3, 12, 4, 6, 2, 8, 0, false, false, false});
        model.lods.push_back(m.Finish(1100.0f, {"", "vx\\wheeled\\data\\interior_co.paa", kBodyTexture}, seed++));
    }
    SetBox(model);
    return out;
}

TCorpusModel SingleFace() {
    Mesh m;
    const BVec3 front = {0, 0, 1};
    const int a = m.Vertex({-1.0f, 0, 0}, front, {0, 1});
    const int b = m.Vertex({1.0f, 0, 0}, front, {1, 1});
    const int c = m.Vertex({1.0f, 1.0f, 0}, front, {1, 0});
    const int d = m.Vertex({-1.0f, 1.0f, 0}, front, {0, 0});
    m.Face({a, b, c, d}, m.Patch(), {});
    TCorpusModel out{"single_face", "models/vx/signs/single_face.p3d", {}};
    out.model.headerValue = 7;
    out.model.lods.push_back(m.Finish(1.0f, {"vx\\signs\\data\\plate-01.paa"}, 201));
    SetBox(out.model);
    return out;
}

// A sight overlay in the plane z = 0 facing +z: a ring, four bars of a cross
// hair with gaps at the centre, a chevron and ticks, all in one transparent
// texture mapped straight across.
BLod FlatLod(float resolution, int ringSegments, int barParts, uint32_t seed) {
    Mesh m;
    constexpr float kOuter = 0.5f, kInner = 0.45f;
    const BVec3 front = {0, 0, 1};
    auto vertex = [&](float x, float y) {
        return m.Vertex({x, y, 0}, front, {0.5f + x / (2 * kOuter), 0.5f - y / (2 * kOuter)});
    };
    const int patch = m.Patch(kReticleTexture);
    for (int k = 0; k < ringSegments; ++k) {
        float s0, c0, s1, c1;
        SinCos(k, ringSegments, s0, c0);
        SinCos(k + 1, ringSegments, s1, c1);
        m.Face({vertex(kInner * c0, kInner * s0), vertex(kOuter * c0, kOuter * s0), vertex(kOuter * c1, kOuter * s1),
                vertex(kInner * c1, kInner * s1)},
               patch, {"ring"});
    }
    // bars from 0.1 to 0.45 out from the centre, 0.01 wide
    constexpr float kGap = 0.1f, kHalfWidth = 0.005f;
    for (int bar = 0; bar < 4; ++bar)
        for (int k = 0; k < barParts; ++k) {
            const float r0 = kGap + (kInner - kGap) * static_cast<float>(k) / static_cast<float>(barParts);
            const float r1 = kGap + (kInner - kGap) * static_cast<float>(k + 1) / static_cast<float>(barParts);
            // along the bar and across it, turned a quarter per bar
            const float ax[4] = {1, 0, -1, 0}, ay[4] = {0, 1, 0, -1};
            auto corner = [&](float r, float w) {
                return vertex(ax[bar] * r - ay[bar] * w, ay[bar] * r + ax[bar] * w);
            };
            m.Face({corner(r0, -kHalfWidth), corner(r1, -kHalfWidth), corner(r1, kHalfWidth), corner(r0, kHalfWidth)},
                   patch, {"cross"});
        }
    m.Face({vertex(0, -0.01f), vertex(0, -0.03f), vertex(0.04f, -0.05f)}, patch, {"chevron"});
    m.Face({vertex(0, -0.01f), vertex(-0.04f, -0.05f), vertex(0, -0.03f)}, patch, {"chevron"});
    if (ringSegments >= 24)
        for (int k = 0; k < 8; ++k) {
            float s0, c0, s1, c1;
            SinCos(2 * k, 16, s0, c0);
            SinCos(2 * k + 1, 16, s1, c1);
            m.Face({vertex(0.4f * c0, 0.4f * s0), vertex(kInner * c0, kInner * s0), vertex(0.42f * c1, 0.42f * s1)},
                   patch, {"ticks"});
        }
    return m.Finish(resolution, {kReticleTexture}, seed);
}

TCorpusModel Flat() {
    TCorpusModel out{"flat", "models/vx/optics/flat.p3d", {}};
    out.model.headerValue = 7;
    out.model.lods.push_back(FlatLod(1.0f, 32, 3, 301));
    out.model.lods.push_back(FlatLod(2.0f, 12, 1, 302));
    SetBox(out.model);
    return out;
}

// A target board on a pyramid stand: 6 + 5 faces in every LOD; all of them
// untextured where the only name is the empty one.
BLod TargetLod(float resolution, const Names& textures, uint32_t seed) {
    Mesh m;
    const int board = textures.at(0).empty() ? kEmptyName : m.Patch();
    const int stand = textures.size() > 1 ? kEmptyName : board;
    m.Box({0, 1.6f, 0}, {0.9f, 0.6f, 0.05f}, board, {"board"});
    const BVec3 apex = {0, 1.0f, 0};
    const BVec3 base[4] = {{-0.5f, 0, -0.5f}, {0.5f, 0, -0.5f}, {0.5f, 0, 0.5f}, {-0.5f, 0, 0.5f}};
    for (int k = 0; k < 4; ++k) {
        const BVec3& p0 = base[k];
        const BVec3& p1 = base[(k + 1) % 4];
        const BVec3 out = Cross(Sub(p0, p1), Sub(apex, p1));  // wound from outside: p1, p0, apex
        m.Face({m.Vertex(p1, out, {0, 1}), m.Vertex(p0, out, {1, 1}), m.Vertex(apex, out, {0.5f, 0})}, stand,
               {"stand"});
    }
    const BVec3 down = {0, -1, 0};
    m.Face({m.Vertex(base[0], down, {0, 0}), m.Vertex(base[1], down, {1, 0}), m.Vertex(base[2], down, {1, 1}),
            m.Vertex(base[3], down, {0, 1})},
           stand, {"stand"});
    return m.Finish(resolution, textures, seed);
}

TCorpusModel NoGeometry() {
    TCorpusModel out{"no_geometry", "models/vx/targets/no_geometry.p3d", {}};
    BModel& model = out.model;
    model.headerValue = 7;
    model.lods.push_back(TargetLod(1.0f, {"vx\\targets\\data\\target_co.paa", ""}, 401));
    model.lods.push_back(TargetLod(2.5f, {"vx\\targets\\data\\target_co.paa"}, 402));
    model.lods.push_back(TargetLod(6e15f, {""}, 403));
    model.lods.push_back(TargetLod(7e15f, {""}, 404));
    model.lods[0].properties = {{"lodnoshadow", "0"}};
    SetBox(model);
    return out;
}

TCorpusModel Selections128() {
    Mesh m;
    // a rack of 12 x 8 drawers, each a selection of its own
    auto number = [](int k) { return (k < 10 ? "0" : "") + std::to_string(k); };
    for (int k = 0; k < 96; ++k) {
        const float x = -2.75f + 0.5f * static_cast<float>(k % 12);
        const float y = 0.2f + 0.3f * static_cast<float>(k / 12);
        m.Box({x, y, 0}, {0.22f, 0.13f, 0.3f}, m.Patch(), {"drawer_" + number(k + 1)});
    }
    // and the handles: a selection of the vertices of every third drawer
    for (int k = 0; k < 32; ++k) m.CopyVertexes("drawer_" + number(3 * k + 1), "handle_" + number(k + 1));
    TCorpusModel out{"selections128", "models/vx/parts/selections128.p3d", {}};
    BModel& model = out.model;
    model.headerValue = 7;
    model.lods.push_back(m.Finish(1.0f,
                                  {"vx\\parts\\data\\rack_co.paa", "vx\\parts\\data\\drawer-a.pac",
                                   "vx\\parts\\data\\drawer-b.pac", "vx\\parts\\label #1.paa"},
                                  501));
    // 8 points of 50 kg
    model.lods.push_back(
        ComponentLod(kBuilderGeometryResolution, {{{0, 1.25f, 0}, {3.0f, 1.2f, 0.32f}, 50.0f}}, &model.masses, 502));
    SetBox(model);
    return out;
}

// ---------------------------------------------------------------------------
// The textures: a gradient (red along x, green down y), a checker of eight by
// eight, a light square in the top left corner to show which way up.

using Bgra = std::array<uint8_t, 4>;

TexImage Picture(int side, uint8_t blue, const std::function<uint8_t(int, int)>& alpha) {
    TexImage image(side, side);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            const int dark = ((x * 8 / side + y * 8 / side) & 1) * 48;
            Bgra c = {blue, static_cast<uint8_t>(y * 255 / side), static_cast<uint8_t>(x * 255 / side), alpha(x, y)};
            for (int i = 0; i < 3; ++i) c[i] = static_cast<uint8_t>(std::max(0, c[i] - dark));
            if (x < side / 8 && y < side / 8) c = {230, 230, 230, c[3]};
            image.Set(x, y, c);
        }
    return image;
}

uint8_t Opaque(int, int) { return 255; }

std::string DataPath(const std::string& name) {
    std::string path = "data/" + name;
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

}  // namespace

std::vector<TCorpusModel> CorpusModels() {
    std::vector<TCorpusModel> models;
    models.push_back(Large());
    models.push_back(Middle());
    models.push_back(SingleFace());
    models.push_back(Flat());
    models.push_back(NoGeometry());
    models.push_back(Selections128());
    return models;
}

std::vector<TCorpusTexture> CorpusTextures() {
    std::vector<TCorpusTexture> textures;
    auto add = [&](const std::string& name, std::vector<uint8_t> bytes) {
        textures.push_back({DataPath(name), std::move(bytes)});
    };
    add(kBodyTexture, EncodeTexture(Picture(256, 60, Opaque), TexFormat::Dxt1));
    // a rotor disc: opaque at the centre, fading out to the rim
    add(kBlurTexture, EncodeTexture(Picture(128, 120,
                                            [](int x, int y) {
                                                const int dx = 2 * x - 127, dy = 2 * y - 127;
                                                const int d2 = std::min(dx * dx + dy * dy, 128 * 128);
                                                return static_cast<uint8_t>(255 - d2 * 255 / (128 * 128));
                                            }),
                                    TexFormat::Dxt5));
    // the sight glass: clear in a disc at the centre, half clear in a ring
    add(kReticleTexture,
        EncodeTexture(Picture(128, 200,
                              [](int x, int y) {
                                  const int dx = 2 * x - 127, dy = 2 * y - 127;
                                  const int d2 = dx * dx + dy * dy;
                                  return static_cast<uint8_t>(d2 < 64 * 64 ? 0 : d2 < 96 * 96 ? 128 : 255);
                              }),
                      TexFormat::Argb4444));
    add(kTrackTexture, EncodeTexture(Picture(64, 30, Opaque), TexFormat::Argb1555));
    add(kDirtTexture, EncodeTexture(Picture(64, 0, Opaque), TexFormat::Ai88));
    // sixteen palette colours in a 4 x 4 grid of fields, the first one light
    std::vector<PaletteEntry> palette;
    palette.push_back({230, 230, 230});
    for (int k = 1; k < 16; ++k)
        palette.push_back(
            {static_cast<uint8_t>(40 + 10 * k), static_cast<uint8_t>(16 * k), static_cast<uint8_t>(255 - 16 * k)});
    std::vector<uint8_t> indices(128 * 128);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x)
            indices[static_cast<std::size_t>(y * 128 + x)] = static_cast<uint8_t>(x / 32 + 4 * (y / 32));
    add(kCamoTexture, EncodePaletteFile(128, 128, indices, palette).bytes);
    return textures;
}

void WriteCorpus(const std::filesystem::path& out) {
    auto write = [&](const std::string& relative, const std::vector<uint8_t>& bytes) {
        const std::filesystem::path path = out / relative;
        std::filesystem::create_directories(path.parent_path());
        WriteFile(path.string(), bytes);
    };
    for (const TCorpusModel& model : CorpusModels()) write(model.file, BuildModel(model.model));
    for (const TCorpusTexture& texture : CorpusTextures()) write(texture.path, texture.bytes);
}

}  // namespace vistrel
