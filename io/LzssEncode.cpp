// The LZSS encoder: greedy longest match over hash chains of 3-byte
// prefixes, every distance a run can reach (4095) searched up to a depth.
#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <memory>
#include <stdexcept>

#include "Lzss.h"

namespace vistrel {

namespace {

constexpr std::size_t kMaxDistance = 4095;  // 12 bits; distance 0 is not a run
constexpr std::size_t kMinRun = 3;
constexpr std::size_t kMaxRun = 18;  // 4 bits + 3
constexpr std::size_t kRing = 4096;  // covers every distance a run can reach
constexpr unsigned kHashBits = 15;
constexpr uint8_t kBlank = 0x20;

// Positions are kept in "extended" coordinates: with a blank window, kLead
// virtual blanks come first, so that position kLead is the first data byte. A
// run must end inside the output, so no run can start further back than 17.
constexpr std::size_t kLead = kMaxRun - 1;

class Encoder {
public:
    Encoder(const uint8_t* data, std::size_t n, bool blankWindow, int searchDepth)
        : data_(data), lead_(blankWindow ? kLead : 0), end_(lead_ + n), depth_(std::max(1, searchDepth)) {
        std::fill(std::begin(head_), std::end(head_), -1);
        prev_.assign(kRing, -1);
    }

    std::vector<uint8_t> Run() {
        const std::size_t n = end_ - lead_;
        out_.reserve(n + n / 8 + 8);
        for (std::size_t e = 0; e < lead_; ++e) Insert(e);

        std::size_t e = lead_;
        while (e < end_) {
            std::size_t best = 0, bestDistance = 0;
            const std::size_t maxLen = std::min(kMaxRun, end_ - e);
            if (maxLen >= kMinRun) FindRun(e, maxLen, best, bestDistance);

            std::size_t advance;
            if (best >= kMinRun) {
                PutRun(bestDistance, best);
                advance = best;
            } else {
                PutLiteral(At(e));
                advance = 1;
            }
            for (std::size_t k = 0; k < advance; ++k) Insert(e + k);
            e += advance;
        }
        return std::move(out_);
    }

private:
    uint8_t At(std::size_t e) const { return e < lead_ ? kBlank : data_[e - lead_]; }

    uint32_t HashAt(std::size_t e) const {
        uint32_t v;
        if (e >= lead_) {
            const uint8_t* p = data_ + (e - lead_);
            v = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
        } else {
            v = uint32_t(At(e)) | uint32_t(At(e + 1)) << 8 | uint32_t(At(e + 2)) << 16;
        }
        return (v * 2654435761u) >> (32 - kHashBits);
    }

    void Insert(std::size_t e) {
        if (e + kMinRun > end_) return;  // no run can start here any more
        const uint32_t h = HashAt(e);
        prev_[e % kRing] = head_[h];
        head_[h] = static_cast<int32_t>(e);
    }

    // Length of the common prefix of the bytes at cand and at e, at most maxLen.
    // Comparing against the input is right even when the run overlaps the bytes
    // it produces, because those bytes are the input.
    std::size_t Common(std::size_t cand, std::size_t e, std::size_t maxLen) const {
        const uint8_t* q = data_ + (e - lead_);
        std::size_t len = 0;
        if (cand >= lead_) {
            const uint8_t* p = data_ + (cand - lead_);
            // eight bytes at a time while both stay inside the data
            while (std::endian::native == std::endian::little && len + 8 <= maxLen) {
                uint64_t a, b;
                std::memcpy(&a, p + len, 8);
                std::memcpy(&b, q + len, 8);
                if (a != b) return len + std::size_t(std::countr_zero(a ^ b) / 8);
                len += 8;
            }
            while (len < maxLen && p[len] == q[len]) ++len;
        } else {
            while (len < maxLen && At(cand + len) == q[len]) ++len;
        }
        return len;
    }

    void FindRun(std::size_t e, std::size_t maxLen, std::size_t& best, std::size_t& bestDistance) const {
        int32_t cand = head_[HashAt(e)];
        int chain = depth_;
        while (cand >= 0 && e - static_cast<std::size_t>(cand) <= kMaxDistance && chain-- > 0) {
            const auto c = static_cast<std::size_t>(cand);
            // a candidate that differs at the byte after the best run so far
            // cannot be longer: skip it without comparing the rest
            if (best > 0 && At(c + best) != At(e + best)) {
                cand = prev_[c % kRing];
                continue;
            }
            const std::size_t len = Common(c, e, maxLen);
            // a run that lies wholly before the output would read only blanks
            if (len > best && len >= kMinRun && c + len > lead_) {
                best = len;
                bestDistance = e - c;
                if (best == maxLen) break;
            }
            cand = prev_[c % kRing];
        }
    }

    void BeginItem() {
        if (bit_ == 8) {
            flagAt_ = out_.size();
            out_.push_back(0);
            bit_ = 0;
        }
    }

    void PutLiteral(uint8_t b) {
        BeginItem();
        out_[flagAt_] = static_cast<uint8_t>(out_[flagAt_] | (1u << bit_));
        ++bit_;
        out_.push_back(b);
    }

    void PutRun(std::size_t distance, std::size_t len) {
        BeginItem();
        ++bit_;
        out_.push_back(static_cast<uint8_t>(distance & 0xFF));
        out_.push_back(static_cast<uint8_t>(((distance >> 8) << 4) | (len - kMinRun)));
    }

    const uint8_t* data_;
    const std::size_t lead_;
    const std::size_t end_;
    const int depth_;
    int32_t head_[std::size_t{1} << kHashBits];
    std::vector<int32_t> prev_;  // positions: blocks stay below 2 GiB
    std::vector<uint8_t> out_;
    std::size_t flagAt_ = 0;
    unsigned bit_ = 8;  // 8: the next item needs a new flag byte
};

}  // namespace

uint32_t LzssChecksumOf(const uint8_t* data, std::size_t n, LzssChecksum mode) {
    uint32_t sum = 0;
    if (mode == LzssChecksum::Signed) {
        for (std::size_t i = 0; i < n; ++i)
            sum += static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(data[i])));
    } else {
        for (std::size_t i = 0; i < n; ++i) sum += data[i];
    }
    return sum;
}

std::vector<uint8_t> LzssEncode(const uint8_t* data, std::size_t n, LzssChecksum mode, bool blankWindow,
                                int searchDepth) {
    // positions are kept in 32 bits
    if (n > std::size_t(std::numeric_limits<int32_t>::max()) - kLead) throw std::length_error("LZSS block above 2 GiB");
    std::vector<uint8_t> out;
    if (n > 0) {
        auto encoder = std::make_unique<Encoder>(data, n, blankWindow, searchDepth);
        out = encoder->Run();
    }
    const uint32_t sum = LzssChecksumOf(data, n, mode);
    for (int k = 0; k < 4; ++k) out.push_back(static_cast<uint8_t>(sum >> (8 * k)));
    return out;
}

}  // namespace vistrel
