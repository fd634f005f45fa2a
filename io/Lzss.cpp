#include "Lzss.h"

#include <cassert>
#include <cstring>

namespace vistrel {
namespace {

constexpr uint8_t kBlank = 0x20;
constexpr std::size_t kMaxRun = 18;
// A flag byte and its 8 items take at most 17 input bytes and produce at most
// 144 output bytes; with that much room on both sides the inner loop needs no
// per-item bounds checks.
constexpr std::size_t kGroupIn = 17;
constexpr std::size_t kGroupOut = 8 * kMaxRun;

uint32_t ReadU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Copies a run of len bytes that starts dist bytes back from out + i.
// Positions before the start of the output read as blanks; the copy goes byte
// by byte where it overlaps what it produces.
inline void CopyRun(uint8_t* out, std::size_t i, std::size_t dist, std::size_t len) {
    assert(dist > 0 && len <= kMaxRun);
    uint8_t* d = out + i;
    if (dist > i) {
        std::size_t blanks = dist - i;
        if (blanks > len) blanks = len;
        std::memset(d, kBlank, blanks);
        d += blanks;
        len -= blanks;
        if (len == 0) return;
        // the rest starts at the first output byte
        const uint8_t* s = out;
        for (std::size_t k = 0; k < len; ++k) d[k] = s[k];
        return;
    }
    const uint8_t* s = d - dist;
    if (dist >= len) {
        std::memcpy(d, s, len);
    } else if (dist == 1) {
        std::memset(d, *s, len);
    } else {
        for (std::size_t k = 0; k < len; ++k) d[k] = s[k];
    }
}

uint32_t SumUnsigned(const uint8_t* p, std::size_t n) {
    uint32_t sum = 0;
    for (std::size_t k = 0; k < n; ++k) sum += p[k];
    return sum;
}

uint32_t SumSigned(const uint8_t* p, std::size_t n) {
    uint32_t sum = 0;
    for (std::size_t k = 0; k < n; ++k) sum += static_cast<uint32_t>(static_cast<int8_t>(p[k]));
    return sum;
}

}  // namespace

LzssResult LzssDecode(const uint8_t* src, std::size_t srcSize, uint8_t* dst, std::size_t L, LzssChecksum mode) {
    assert(src != nullptr || srcSize == 0);
    assert(dst != nullptr || L == 0);
    LzssResult r;
    std::size_t ip = 0;  // input position
    std::size_t i = 0;   // output length

    // Fast part: whole groups while both sides have room for a full group.
    while (i < L && srcSize - ip >= kGroupIn && L - i >= kGroupOut) {
        // what the unchecked reads and writes of one group rely on
        assert(ip + kGroupIn <= srcSize && i + kGroupOut <= L);
        unsigned flags = src[ip++];
        if (flags == 0xFF) {
            std::memcpy(dst + i, src + ip, 8);
            ip += 8;
            i += 8;
            continue;
        }
        for (int bit = 0; bit < 8; ++bit, flags >>= 1) {
            if (flags & 1) {
                dst[i++] = src[ip++];
            } else {
                const unsigned b1 = src[ip], b2 = src[ip + 1];
                const std::size_t dist = b1 | (b2 >> 4) << 8;
                const std::size_t len = (b2 & 0x0F) + 3;
                if (dist == 0) {
                    r.status = LzssStatus::ZeroOffset;
                    r.errorAt = ip;
                    return r;
                }
                ip += 2;
                CopyRun(dst, i, dist, len);
                i += len;
            }
        }
    }

    // Careful part: the tail of the block, every read and write checked.
    assert(ip <= srcSize && i <= L);
    while (i < L) {
        if (ip >= srcSize) {
            r.status = LzssStatus::Truncated;
            r.errorAt = ip;
            return r;
        }
        unsigned flags = src[ip++];
        for (int bit = 0; bit < 8 && i < L; ++bit, flags >>= 1) {
            if (flags & 1) {
                if (ip >= srcSize) {
                    r.status = LzssStatus::Truncated;
                    r.errorAt = ip;
                    return r;
                }
                dst[i++] = src[ip++];
            } else {
                if (srcSize - ip < 2) {
                    r.status = LzssStatus::Truncated;
                    r.errorAt = ip;
                    return r;
                }
                const unsigned b1 = src[ip], b2 = src[ip + 1];
                const std::size_t dist = b1 | (b2 >> 4) << 8;
                std::size_t len = (b2 & 0x0F) + 3;
                if (dist == 0) {
                    r.status = LzssStatus::ZeroOffset;
                    r.errorAt = ip;
                    return r;
                }
                ip += 2;
                if (len > L - i) len = L - i;  // the rest of a run past L is ignored
                CopyRun(dst, i, dist, len);
                i += len;
            }
        }
    }

    assert(i == L && ip <= srcSize);
    if (srcSize - ip < 4) {
        r.status = LzssStatus::Truncated;
        r.errorAt = ip;
        return r;
    }
    const uint32_t stored = ReadU32(src + ip);
    bool match = false;
    switch (mode) {
    case LzssChecksum::Unsigned: match = stored == SumUnsigned(dst, L); break;
    case LzssChecksum::Signed: match = stored == SumSigned(dst, L); break;
    case LzssChecksum::SignedOrUnsigned: match = stored == SumSigned(dst, L) || stored == SumUnsigned(dst, L); break;
    }
    if (!match) {
        r.status = LzssStatus::BadChecksum;
        r.errorAt = ip;
        return r;
    }
    r.consumed = ip + 4;
    return r;
}

}  // namespace vistrel
