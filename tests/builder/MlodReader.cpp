#include "MlodReader.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace vistrel {
namespace {

class Cursor {
public:
    explicit Cursor(const std::vector<uint8_t>& b) : b_(b) {}
    const uint8_t* Take(std::size_t n) {
        if (n > b_.size() - pos_)
            throw std::runtime_error("editable file ends at " + std::to_string(b_.size()) + ", needed " +
                                     std::to_string(n) + " bytes at " + std::to_string(pos_));
        const uint8_t* p = b_.data() + pos_;
        pos_ += n;
        return p;
    }
    uint32_t U32() {
        const uint8_t* p = Take(4);
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    }
    int32_t I32() { return static_cast<int32_t>(U32()); }
    float F32() {
        uint32_t u = U32();
        float f;
        std::memcpy(&f, &u, 4);
        return f;
    }
    void Expect(const char* magic) {
        const std::size_t at = pos_;
        if (std::memcmp(Take(4), magic, 4) != 0)
            throw std::runtime_error(std::string("expected ") + magic + " at " + std::to_string(at));
    }
    std::size_t Pos() const { return pos_; }
    bool AtEnd() const { return pos_ == b_.size(); }

private:
    const std::vector<uint8_t>& b_;
    std::size_t pos_ = 0;
};

}  // namespace

std::string FieldText(const uint8_t* p, std::size_t width) {
    const void* z = std::memchr(p, 0, width);
    if (!z) throw std::runtime_error("text field without its zero byte");
    return std::string(reinterpret_cast<const char*>(p), static_cast<const uint8_t*>(z) - p);
}

MFile ReadMlod(const std::vector<uint8_t>& bytes) {
    Cursor c(bytes);
    MFile file;
    c.Expect("MLOD");
    file.version = c.U32();
    const int32_t lodCount = c.I32();
    if (lodCount < 0) throw std::runtime_error("negative LOD count");
    for (int32_t l = 0; l < lodCount; ++l) {
        MLod lod;
        c.Expect("SP3X");
        lod.headerSize = c.I32();
        lod.headerVersion = c.I32();
        lod.pointCount = c.I32();
        lod.normalCount = c.I32();
        lod.faceCount = c.I32();
        lod.headerFlags = c.I32();
        if (lod.pointCount < 0 || lod.normalCount < 0 || lod.faceCount < 0)
            throw std::runtime_error("negative count in LOD header");
        for (int32_t k = 0; k < lod.pointCount; ++k) {
            MPoint p;
            p.x = c.F32();
            p.y = c.F32();
            p.z = c.F32();
            p.flags = c.U32();
            lod.points.push_back(p);
        }
        for (int32_t k = 0; k < lod.normalCount; ++k) {
            MNormal n;
            n.x = c.F32();
            n.y = c.F32();
            n.z = c.F32();
            lod.normals.push_back(n);
        }
        for (int32_t k = 0; k < lod.faceCount; ++k) {
            MFace f;
            const uint8_t* t = c.Take(32);
            f.textureField.assign(t, t + 32);
            f.texture = FieldText(t, 32);
            f.cornerCount = c.I32();
            for (MCorner& corner : f.corners) {
                corner.point = c.I32();
                corner.normal = c.I32();
                corner.u = c.F32();
                corner.v = c.F32();
            }
            f.flags = c.U32();
            lod.faces.push_back(f);
        }
        c.Expect("TAGG");
        for (;;) {
            MTag tag;
            const uint8_t* n = c.Take(64);
            tag.nameField.assign(n, n + 64);
            tag.name = FieldText(n, 64);
            tag.length = c.U32();
            const uint8_t* d = c.Take(tag.length);
            tag.data.assign(d, d + tag.length);
            const bool end = tag.name == "#EndOfFile#";
            lod.tags.push_back(std::move(tag));
            if (end) break;
        }
        lod.resolution = c.F32();
        file.lods.push_back(std::move(lod));
    }
    if (!c.AtEnd()) throw std::runtime_error("bytes after the last LOD at " + std::to_string(c.Pos()));
    return file;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + path);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::vector<uint8_t> BuildMlod(const MFile& file) {
    std::vector<uint8_t> b;
    const auto magic = [&](const char* m) {
        for (int k = 0; k < 4; ++k) b.push_back(static_cast<uint8_t>(m[k]));
    };
    const auto u32 = [&](uint32_t v) {
        for (int k = 0; k < 4; ++k) b.push_back(static_cast<uint8_t>(v >> (8 * k)));
    };
    const auto f32 = [&](float f) {
        uint32_t u;
        std::memcpy(&u, &f, 4);
        u32(u);
    };
    const auto text = [&](const std::string& t, std::size_t width) {
        const std::size_t n = std::min(t.size(), width - 1);
        b.insert(b.end(), t.begin(), t.begin() + static_cast<std::ptrdiff_t>(n));
        b.insert(b.end(), width - n, 0);
    };
    magic("MLOD");
    u32(file.version);
    u32(static_cast<uint32_t>(file.lods.size()));
    for (const MLod& lod : file.lods) {
        magic("SP3X");
        for (int32_t v :
             {lod.headerSize, lod.headerVersion, lod.pointCount, lod.normalCount, lod.faceCount, lod.headerFlags})
            u32(static_cast<uint32_t>(v));
        for (const MPoint& p : lod.points) {
            f32(p.x), f32(p.y), f32(p.z);
            u32(p.flags);
        }
        for (const MNormal& n : lod.normals) f32(n.x), f32(n.y), f32(n.z);
        for (const MFace& f : lod.faces) {
            text(f.texture, 32);
            u32(static_cast<uint32_t>(f.cornerCount));
            for (const MCorner& c : f.corners) {
                u32(static_cast<uint32_t>(c.point)), u32(static_cast<uint32_t>(c.normal));
                f32(c.u), f32(c.v);
            }
            u32(f.flags);
        }
        magic("TAGG");
        for (const MTag& t : lod.tags) {
            text(t.name, 64);
            u32(t.length);
            b.insert(b.end(), t.data.begin(), t.data.end());
        }
        f32(lod.resolution);
    }
    return b;
}

}  // namespace vistrel
