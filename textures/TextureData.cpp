// The texture file layout, as read here:
//
//   [u16 type]            absent in palette files
//   tag blocks            "GGAT", 4-character name, u32 length, that many bytes
//   u16 palette count     then count × 3 bytes blue, green, red
//   levels                u16 width (bit 15: LZO), u16 height,
//                         [palette files: 1234 × 8765 marker, then the real size],
//                         u24 data size, the data; largest first
//   a level header of 0 × 0 and two more zero bytes
//
// Only the first (largest) level is decoded. Everything is read through one
// cursor over the whole input whose every read is checked against its end;
// sizes taken from the input are checked against what the bytes that are left
// can hold before anything is allocated for them.
#include "TextureData.h"
#include "TextureLayout.h"

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <new>

#include <lzo/lzo1x.h>

#include "Lzss.h"
#include "PixelConvert.h"

namespace vistrel {
namespace {

constexpr uint16_t kTypeDxt1 = 0xFF01;
constexpr uint16_t kTypeDxt2 = 0xFF02;
constexpr uint16_t kTypeDxt3 = 0xFF03;
constexpr uint16_t kTypeDxt4 = 0xFF04;
constexpr uint16_t kTypeDxt5 = 0xFF05;
constexpr uint16_t kType4444 = 0x4444;
constexpr uint16_t kType1555 = 0x1555;
constexpr uint16_t kTypeAi88 = 0x8080;
constexpr uint16_t kType8888 = 0x8888;

constexpr uint16_t kMarkerWidth = 1234;
constexpr uint16_t kMarkerHeight = 8765;
constexpr uint16_t kLzoBit = 0x8000;
constexpr std::size_t kMaxPaletteCount = 256;  // 8-bit indices
// A file larger than this is not a texture (the level sizes are 24-bit).
constexpr std::uintmax_t kMaxFileSize = std::uintmax_t(1) << 30;

bool IsDxt(TextureFormat f) {
    return f == TextureFormat::Dxt1 || f == TextureFormat::Dxt2 || f == TextureFormat::Dxt3 ||
           f == TextureFormat::Dxt4 || f == TextureFormat::Dxt5;
}

bool Is16Bit(TextureFormat f) {
    return f == TextureFormat::Argb4444 || f == TextureFormat::Argb1555 || f == TextureFormat::Ai88;
}

bool FormatOfType(uint16_t type, TextureFormat& format) {
    switch (type) {
    case kTypeDxt1: format = TextureFormat::Dxt1; return true;
    case kTypeDxt2: format = TextureFormat::Dxt2; return true;
    case kTypeDxt3: format = TextureFormat::Dxt3; return true;
    case kTypeDxt4: format = TextureFormat::Dxt4; return true;
    case kTypeDxt5: format = TextureFormat::Dxt5; return true;
    case kType4444: format = TextureFormat::Argb4444; return true;
    case kType1555: format = TextureFormat::Argb1555; return true;
    case kTypeAi88: format = TextureFormat::Ai88; return true;
    case kType8888: format = TextureFormat::Argb8888; return true;
    default: return false;
    }
}

// Reads little-endian values; every read is checked and fails without moving
// when the bytes are not there.
class TCursor {
public:
    TCursor(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::size_t Pos() const { return pos_; }
    std::size_t Left() const { return size_ - pos_; }
    bool Has(std::size_t n) const { return n <= size_ - pos_; }
    const uint8_t* Here() const { return data_ + pos_; }

    bool Skip(std::size_t n) {
        if (!Has(n)) return false;
        pos_ += n;
        return true;
    }
    bool U16(uint16_t& v) {
        if (!Has(2)) return false;
        v = uint16_t(data_[pos_] | data_[pos_ + 1] << 8);
        pos_ += 2;
        return true;
    }
    bool U24(uint32_t& v) {
        if (!Has(3)) return false;
        v = uint32_t(data_[pos_]) | uint32_t(data_[pos_ + 1]) << 8 | uint32_t(data_[pos_ + 2]) << 16;
        pos_ += 3;
        return true;
    }
    bool U32(uint32_t& v) {
        if (!Has(4)) return false;
        v = uint32_t(data_[pos_]) | uint32_t(data_[pos_ + 1]) << 8 | uint32_t(data_[pos_ + 2]) << 16 |
            uint32_t(data_[pos_ + 3]) << 24;
        pos_ += 4;
        return true;
    }
    bool At(const char (&text)[5]) const { return Has(4) && std::memcmp(data_ + pos_, text, 4) == 0; }

private:
    const uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// The decoder's result before it is handed over in one of the two shapes.
struct TDecoded {
    TextureFormat kind = TextureFormat::Dxt1;
    int width = 0;
    int height = 0;
    std::unique_ptr<uint8_t[]> pixels;  // width * height * 4
    std::string storage;
    std::vector<std::string> tags;
    int paletteCount = 0;
};

std::string At(std::size_t pos) { return " at byte " + std::to_string(pos); }

std::string SizeText(int w, int h) { return std::to_string(w) + " x " + std::to_string(h); }

const char* LzssStatusText(LzssStatus status) {
    switch (status) {
    case LzssStatus::Ok: return "ok";
    case LzssStatus::Truncated: return "the block ends early";
    case LzssStatus::ZeroOffset: return "a run with distance 0";
    case LzssStatus::BadChecksum: return "checksum mismatch";
    }
    return "?";
}

class TDecoder {
public:
    TDecoder(const uint8_t* data, std::size_t size, int largestSide, TTextureLayout* walk = nullptr)
        : in_(data, size), size_(size), largest_(largestSide), walk_(walk) {}

    bool Run(TDecoded& out) {
        out_ = &out;
        return ReadHead() && ReadTags() && ReadPalette() && (walk_ ? WalkLevels() : ReadFirstLevel());
    }

    std::string error;

private:
    bool Fail(std::string text) {
        error = std::move(text);
        return false;
    }

    bool ReadHead() {
        if (size_ == 0) return Fail("empty file");
        if (size_ < 2) return Fail("file of " + std::to_string(size_) + " byte is too short for a texture");
        const uint16_t type = uint16_t(in_.Here()[0] | in_.Here()[1] << 8);
        if (FormatOfType(type, out_->kind)) {
            in_.Skip(2);
            if (walk_) walk_->TypeWord = true;
        } else {
            // A palette file: no type word; it starts with a tag or, in the
            // oldest files, directly with the palette count.
            out_->kind = TextureFormat::Palette;
            if (!in_.At("GGAT") && type > kMaxPaletteCount) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "%02X %02X", in_.Here()[0], in_.Here()[1]);
                return Fail(std::string("unknown layout: the first bytes ") + hex +
                            " are no texture type, no tag and no palette count");
            }
        }
        if (walk_) walk_->Known = true;
        return true;
    }

    bool ReadTags() {
        while (in_.At("GGAT")) {
            const std::size_t start = in_.Pos();
            if (!in_.Has(12)) return Fail("truncated tag header" + At(start));
            std::string name(reinterpret_cast<const char*>(in_.Here() + 4), 4);
            in_.Skip(8);
            uint32_t length = 0;
            in_.U32(length);
            const uint8_t* value = in_.Here();
            if (!in_.Skip(length))
                return Fail("truncated tag " + Printable(name) + At(start) + ": " + std::to_string(length) +
                            " bytes claimed, " + std::to_string(in_.Left()) + " left");
            if (walk_) walk_->Tags.push_back({start, name, std::vector<uint8_t>(value, value + length)});
            out_->tags.push_back(std::move(name));
        }
        return true;
    }

    static std::string Printable(const std::string& name) {
        std::string text = "\"";
        for (unsigned char c : name) {
            if (c >= 0x20 && c < 0x7F) {
                text += static_cast<char>(c);
            } else {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\x%02X", c);
                text += hex;
            }
        }
        return text + "\"";
    }

    bool ReadPalette() {
        const std::size_t start = in_.Pos();
        uint16_t count = 0;
        if (!in_.U16(count)) return Fail("truncated palette count" + At(start));
        if (out_->kind == TextureFormat::Palette && count > kMaxPaletteCount)
            return Fail("palette of " + std::to_string(count) + " entries" + At(start) +
                        ": more than 8-bit indices can use");
        paletteEntries_ = in_.Here();
        if (!in_.Skip(std::size_t(count) * 3))
            return Fail("truncated palette" + At(start) + ": " + std::to_string(count) + " entries claimed");
        // Files of the other formats carry a count of 0; entries they might
        // have are skipped.
        if (out_->kind == TextureFormat::Palette) out_->paletteCount = count;
        return true;
    }

    // The header of the next level into level_ (with lzo_ and marker_); end
    // when it is the 0 x 0 one that ends the list.
    bool ReadLevelHeader(bool& end) {
        const std::size_t header = in_.Pos();
        uint16_t w = 0, h = 0;
        if (!in_.U16(w) || !in_.U16(h)) return Fail("truncated level header" + At(header));
        end = w == 0 && h == 0;
        if (end) {
            level_ = {nullptr, 0, in_.Pos(), header, 0, 0};
            return true;
        }
        const bool lzo = (w & kLzoBit) != 0;
        w = uint16_t(w & ~kLzoBit);
        const TextureFormat kind = out_->kind;
        if (lzo && !IsDxt(kind))
            return Fail(std::string("LZO flag on a level of format ") + TextureFormatName(kind) + At(header));
        bool marker = false;
        if (kind == TextureFormat::Palette && w == kMarkerWidth && h == kMarkerHeight) {
            marker = true;
            if (!in_.U16(w) || !in_.U16(h)) return Fail("truncated level header" + At(header));
        }
        uint32_t size = 0;
        if (!in_.U24(size)) return Fail("truncated level header" + At(header));
        if (w == 0 || h == 0) return Fail("level of " + SizeText(w, h) + At(header) + " has no pixels");
        if (w > kMaxTextureSide || h > kMaxTextureSide)
            return Fail("level of " + SizeText(w, h) + At(header) + " is beyond the limit of " +
                        SizeText(kMaxTextureSide, kMaxTextureSide));
        const std::size_t dataPos = in_.Pos();
        if (!in_.Has(size))
            return Fail("truncated level data: the level" + At(header) + " claims " + std::to_string(size) +
                        " bytes, " + std::to_string(in_.Left()) + " left");
        level_ = {in_.Here(), size, dataPos, header, w, h};
        lzo_ = lzo;
        marker_ = marker;
        return true;
    }

    bool ReadFirstLevel() {
        bool end = false;
        if (!ReadLevelHeader(end)) return false;
        if (end) return Fail("no level: the level list ends" + At(level_.header));
        const int w = level_.w, h = level_.h;
        const TextureFormat kind = out_->kind;
        if (largest_ > 0 && (w > largest_ || h > largest_) && kind != TextureFormat::Palette &&
            SmallerLevelFollows(w, h)) {
            in_.Skip(level_.size);
            return ReadFirstLevel();  // each level smaller than the one before: at most 30 deep
        }
        return DecodeLevel();
    }

    bool DecodeLevel() {
        const TextureFormat kind = out_->kind;
        if (IsDxt(kind)) return lzo_ ? DecodeLzoDxt() : DecodeRawDxt();
        if (Is16Bit(kind) || kind == TextureFormat::Argb8888) return DecodeLzssPixels();
        return marker_ ? DecodeMarkedIndices() : DecodeRunLengthIndices();
    }

    // Every level decoded in turn and listed, then the end of the list: a
    // 0 x 0 header, two zero bytes, nothing after them.
    bool WalkLevels() {
        for (;;) {
            bool end = false;
            if (!ReadLevelHeader(end)) return false;
            if (end) break;
            if (!DecodeLevel()) return false;
            out_->pixels.reset();
            walk_->Levels.push_back({level_.header, level_.w, level_.h, level_.size, out_->storage});
            in_.Skip(level_.size);
        }
        if (walk_->Levels.empty()) return Fail("no level: the level list ends" + At(level_.header));
        walk_->End = level_.header;
        uint16_t zero = 1;
        if (!in_.U16(zero) || zero != 0)
            return Fail("the end of the level list" + At(level_.header) + " lacks its two closing zero bytes");
        if (in_.Left() > 0)
            return Fail(std::to_string(in_.Left()) + " bytes after the end of the file's layout" + At(in_.Pos()));
        return true;
    }

    // Whether a sound level of smaller sides follows the one whose data
    // starts here (w x h).
    bool SmallerLevelFollows(int w, int h) const {
        TCursor next = in_;
        uint16_t nw = 0, nh = 0;
        uint32_t size = 0;
        if (!next.Skip(level_.size) || !next.U16(nw) || !next.U16(nh) || !next.U24(size)) return false;
        nw = uint16_t(nw & ~kLzoBit);
        return nw > 0 && nh > 0 && nw <= w && nh <= h && (nw < w || nh < h) && next.Has(size);
    }

    // Allocates the output image of the level.
    bool Allocate() {
        const std::size_t bytes = std::size_t(level_.w) * level_.h * 4;
        out_->pixels.reset(new (std::nothrow) uint8_t[bytes]);
        if (!out_->pixels) return Fail("out of memory for a level of " + SizeText(level_.w, level_.h));
        out_->width = level_.w;
        out_->height = level_.h;
        return true;
    }

    std::size_t DxtSize() const {
        return std::size_t((level_.w + 3) / 4) * std::size_t((level_.h + 3) / 4) * texpix::DxtBlockBytes(out_->kind);
    }

    bool DecodeRawDxt() {
        const std::size_t need = DxtSize();
        if (level_.size < need)
            return Fail(std::string(TextureFormatName(out_->kind)) + " level of " + SizeText(level_.w, level_.h) +
                        At(level_.header) + " needs " + std::to_string(need) + " bytes of blocks, has " +
                        std::to_string(level_.size));
        if (!Allocate()) return false;
        assert(level_.size >= need);
        texpix::DecodeDxt(level_.data, level_.w, level_.h, out_->kind, out_->pixels.get());
        out_->storage = "raw";
        return true;
    }

    bool DecodeLzoDxt() {
        static const bool lzoReady = lzo_init() == LZO_E_OK;
        if (!lzoReady) return Fail("the LZO library failed to initialise");
        const std::size_t need = DxtSize();
        // An LZO1X stream makes at most 255 bytes per input byte (a long
        // run's length grows by 255 per extension byte), plus its opening.
        if (need > std::size_t(level_.size) * 255 + 256)
            return Fail("LZO level of " + SizeText(level_.w, level_.h) + At(level_.header) + " cannot make " +
                        std::to_string(need) + " bytes from " + std::to_string(level_.size));
        std::unique_ptr<uint8_t[]> blocks(new (std::nothrow) uint8_t[need]);
        if (!blocks) return Fail("out of memory for a level of " + SizeText(level_.w, level_.h));
        lzo_uint produced = need;
        const int rc = lzo1x_decompress_safe(level_.data, level_.size, blocks.get(), &produced, nullptr);
        if (rc != LZO_E_OK || produced != need)
            return Fail("LZO block failed" + At(level_.pos) + " (LZO error " + std::to_string(rc) + ", " +
                        std::to_string(produced) + " of " + std::to_string(need) + " bytes)");
        if (!Allocate()) return false;
        texpix::DecodeDxt(blocks.get(), level_.w, level_.h, out_->kind, out_->pixels.get());
        out_->storage = "LZO";
        return true;
    }

    // ARGB4444, ARGB1555, AI88 and ARGB8888: LZSS with the signed checksum
    // (the unsigned one accepted too); a level that fails and whose size is
    // exactly the pixels' is taken raw.
    bool DecodeLzssPixels() {
        const std::size_t n = std::size_t(level_.w) * level_.h;
        const std::size_t bpp = out_->kind == TextureFormat::Argb8888 ? 4 : 2;
        const std::size_t L = n * bpp;
        const bool rawSized = level_.size == L;
        if (!rawSized && L > LzssMaxOutput(level_.size))
            return Fail("LZSS level of " + SizeText(level_.w, level_.h) + At(level_.header) + " cannot make " +
                        std::to_string(L) + " bytes from " + std::to_string(level_.size));
        if (!Allocate()) return false;
        uint8_t* stored = out_->pixels.get() + (4 * n - L);  // the upper part of the image
        const LzssResult r = LzssDecode(level_.data, level_.size, stored, L, LzssChecksum::SignedOrUnsigned);
        if (r.status == LzssStatus::Ok) {
            out_->storage = "LZSS";
        } else if (rawSized) {
            std::memcpy(stored, level_.data, L);
            out_->storage = "raw";
        } else {
            out_->pixels.reset();
            return Fail(std::string("LZSS block failed") + At(level_.pos + r.errorAt) + " (" +
                        LzssStatusText(r.status) + ") in the level" + At(level_.header));
        }
        if (bpp == 2) texpix::Expand16InPlace(out_->pixels.get(), n, out_->kind);
        return true;
    }

    bool DecodeRunLengthIndices() {
        const std::size_t n = std::size_t(level_.w) * level_.h;
        // Two bytes make at most 128 indices.
        if (n > (std::size_t(level_.size) + 1) / 2 * 128)
            return Fail("run-length level of " + SizeText(level_.w, level_.h) + At(level_.header) + " cannot make " +
                        std::to_string(n) + " indices from " + std::to_string(level_.size) + " bytes");
        if (!Allocate()) return false;
        const texpix::PaletteTable table = texpix::MakePaletteTable(paletteEntries_, out_->paletteCount);
        uint8_t* px = out_->pixels.get();
        const uint8_t* src = level_.data;
        const std::size_t size = level_.size;
        std::size_t ip = 0, i = 0;
        while (i < n && ip < size) {
            assert(i < n && ip < size);  // each item below writes at most n - i pixels
            const std::size_t itemPos = ip;
            const unsigned c = src[ip++];
            if (c & 0x80) {
                if (ip >= size) {
                    out_->pixels.reset();
                    return Fail("run-length run" + At(level_.pos + itemPos) + " has no value byte");
                }
                const uint8_t* colour = table[src[ip++]].data();
                const std::size_t count = std::min<std::size_t>((c & 0x7F) + 1, n - i);
                for (std::size_t k = 0; k < count; ++k, ++i) std::memcpy(px + 4 * i, colour, 4);
            } else {
                const std::size_t count = c + 1;
                if (size - ip < count) {
                    out_->pixels.reset();
                    return Fail("run-length copy of " + std::to_string(count) + " bytes" + At(level_.pos + itemPos) +
                                " runs past the level's end");
                }
                const std::size_t used = std::min(count, n - i);
                texpix::ExpandIndices(src + ip, used, table, px + 4 * i);
                ip += count;
                i += used;
            }
        }
        if (i < n) {
            out_->pixels.reset();
            return Fail("run-length level" + At(level_.header) + " ends after " + std::to_string(i) + " of " +
                        std::to_string(n) + " indices");
        }
        out_->storage = "run-length";
        return true;
    }

    // Indices after the 1234 × 8765 marker: an LZSS block, with or without a
    // checksum; the level's size field alone says where it ends.
    bool DecodeMarkedIndices() {
        const std::size_t n = std::size_t(level_.w) * level_.h;
        if (n > LzssMaxOutput(level_.size))
            return Fail("LZSS level of " + SizeText(level_.w, level_.h) + At(level_.header) + " cannot make " +
                        std::to_string(n) + " indices from " + std::to_string(level_.size) + " bytes");
        // The block is decoded from a copy with 4 bytes of room behind it, so
        // that a block without a checksum still reads one; whatever it reads
        // there, only the indices are used, and only when they came from the
        // level's own bytes.
        std::unique_ptr<uint8_t[]> copy(new (std::nothrow) uint8_t[level_.size + 4]);
        std::unique_ptr<uint8_t[]> indices(new (std::nothrow) uint8_t[n]);
        if (!copy || !indices) return Fail("out of memory for a level of " + SizeText(level_.w, level_.h));
        std::memcpy(copy.get(), level_.data, level_.size);
        std::memset(copy.get() + level_.size, 0, 4);
        const LzssResult r = LzssDecode(copy.get(), level_.size + 4, indices.get(), n, LzssChecksum::Signed);
        const std::size_t end = r.status == LzssStatus::Ok ? r.consumed - 4 : r.errorAt;
        const bool decoded = r.status == LzssStatus::Ok || r.status == LzssStatus::BadChecksum;
        if (!decoded || end > level_.size)
            return Fail(std::string("LZSS block failed") + At(level_.pos + std::min<std::size_t>(end, level_.size)) +
                        " (" + (decoded ? "the block ends early" : LzssStatusText(r.status)) + ") in the level" +
                        At(level_.header));
        if (!Allocate()) return false;
        const texpix::PaletteTable table = texpix::MakePaletteTable(paletteEntries_, out_->paletteCount);
        texpix::ExpandIndices(indices.get(), n, table, out_->pixels.get());
        out_->storage = "LZSS after the size marker";
        return true;
    }

    struct TLevel {
        const uint8_t* data = nullptr;
        std::size_t size = 0;
        std::size_t pos = 0;     // where its data starts
        std::size_t header = 0;  // where its header starts
        int w = 0;
        int h = 0;
    };

    TCursor in_;
    std::size_t size_;
    TDecoded* out_ = nullptr;
    const uint8_t* paletteEntries_ = nullptr;
    TLevel level_;
    bool lzo_ = false;      // level_ is LZO-compressed
    bool marker_ = false;   // level_ came after the 1234 x 8765 marker
    int largest_;           // 0: the largest level
    TTextureLayout* walk_;  // every level is listed here, none handed over
};

bool Decode(const uint8_t* data, std::size_t size, TDecoded& out, std::string* error, int largestSide = 0) {
    if (!data) size = 0;
    TDecoder decoder(data, size, largestSide);
    if (decoder.Run(out)) return true;
    if (largestSide > 0) {  // a smaller level that does not decode: the largest may
        out = TDecoded{};
        return Decode(data, size, out, error, 0);
    }
    if (error) *error = decoder.error;
    return false;
}

bool ReadWholeFile(const char* path, std::vector<uint8_t>& bytes) {
    // a folder opens as a stream on some systems, with a size that means nothing
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return false;
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return false;
    const std::streamoff end = in.tellg();
    if (end < 0 || std::uintmax_t(end) > kMaxFileSize) return false;
    in.seekg(0);
    bytes.resize(static_cast<std::size_t>(end));
    return bytes.empty() || static_cast<bool>(in.read(reinterpret_cast<char*>(bytes.data()), end));
}

void Clear(TextureData* record) {
    record->width = 0;
    record->height = 0;
    record->pixels = nullptr;
}

}  // namespace

TTextureLayout WalkTextureLayout(const uint8_t* data, std::size_t size) {
    TTextureLayout layout;
    layout.Size = data ? size : 0;
    TDecoded decoded;
    TDecoder decoder(data, layout.Size, 0, &layout);
    if (!decoder.Run(decoded)) layout.Error = decoder.error;
    layout.Kind = decoded.kind;
    layout.PaletteCount = decoded.paletteCount;
    return layout;
}

const char* TextureFormatName(TextureFormat format) {
    switch (format) {
    case TextureFormat::Dxt1: return "DXT1";
    case TextureFormat::Dxt2: return "DXT2";
    case TextureFormat::Dxt3: return "DXT3";
    case TextureFormat::Dxt4: return "DXT4";
    case TextureFormat::Dxt5: return "DXT5";
    case TextureFormat::Argb4444: return "ARGB4444";
    case TextureFormat::Argb1555: return "ARGB1555";
    case TextureFormat::Ai88: return "AI88";
    case TextureFormat::Argb8888: return "ARGB8888";
    case TextureFormat::Palette: return "palette";
    }
    return "?";
}

bool DecodeTextureData(TextureData* record, const uint8_t* data, std::size_t size, std::string* error,
                       int largestSide) {
    if (!record) return false;
    Clear(record);
    TDecoded decoded;
    if (!Decode(data, size, decoded, error, largestSide)) return false;
    record->width = decoded.width;
    record->height = decoded.height;
    record->pixels = decoded.pixels.release();
    return true;
}

void CreateTextureData(TextureData* record, const char* path) { CreateTextureDataUpTo(record, path, 0); }

void CreateTextureDataUpTo(TextureData* record, const char* path, int largestSide) {
    if (!record) return;
    Clear(record);
    if (!path) return;
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(path, bytes)) return;
    DecodeTextureData(record, bytes.data(), bytes.size(), nullptr, largestSide);
}

void DestroyTextureData(TextureData* record) {
    if (!record) return;
    delete[] record->pixels;
    Clear(record);
}

std::optional<TextureImage> DecodeTexture(const uint8_t* data, std::size_t size, std::string* error) {
    TDecoded decoded;
    if (!Decode(data, size, decoded, error)) return std::nullopt;
    TextureImage image;
    image.width = decoded.width;
    image.height = decoded.height;
    const std::size_t bytes = std::size_t(decoded.width) * decoded.height * 4;
    image.bgra.assign(decoded.pixels.get(), decoded.pixels.get() + bytes);
    image.kind = decoded.kind;
    image.format = TextureFormatName(decoded.kind);
    image.storage = std::move(decoded.storage);
    image.tags = std::move(decoded.tags);
    image.paletteCount = decoded.paletteCount;
    return image;
}

std::optional<TextureImage> DecodeTextureFile(const std::string& path, std::string* error) {
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(path.c_str(), bytes)) {
        if (error) *error = "cannot read file " + path;
        return std::nullopt;
    }
    return DecodeTexture(bytes.data(), bytes.size(), error);
}

std::vector<uint8_t> RgbaPixels(const TextureImage& image) {
    std::vector<uint8_t> rgba(image.bgra.size());
    for (std::size_t i = 0; i + 3 < rgba.size(); i += 4) {
        rgba[i] = image.bgra[i + 2];
        rgba[i + 1] = image.bgra[i + 1];
        rgba[i + 2] = image.bgra[i];
        rgba[i + 3] = image.bgra[i + 3];
    }
    return rgba;
}

bool LooksLikeTextureFile(const std::string& path) {
    char head[6] = {};
    std::ifstream file(path, std::ios::binary);
    if (!file.read(head, sizeof head)) return false;
    return std::memcmp(head, "GGAT", 4) == 0 || std::memcmp(head + 2, "GGAT", 4) == 0;
}

}  // namespace vistrel
