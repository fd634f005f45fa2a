// The LZSS block of model and texture files: flag bytes read from bit 0 (set =
// literal), runs of 3..18 bytes at a 12-bit distance, the output of exactly L
// bytes, then a 32-bit checksum of the output bytes. Positions before the
// start of the output read as blanks (0x20), as the encoders' window started
// filled with them.
//
// Safe for untrusted input: never reads outside [src, src + srcSize) and never
// writes outside [dst, dst + L).
#pragma once

#include <cstddef>
#include <cstdint>

namespace vistrel {

enum class LzssChecksum {
    Unsigned,          // model files: bytes added as 0..255
    Signed,            // texture files: bytes added as -128..127
    SignedOrUnsigned,  // texture files, accepting either sum
};

enum class LzssStatus {
    Ok,
    Truncated,   // the input ended before L bytes and the checksum were read
    ZeroOffset,  // a run with distance 0 (it would copy a byte not yet produced)
    BadChecksum,
};

struct LzssResult {
    LzssStatus status = LzssStatus::Ok;
    std::size_t consumed = 0;  // input bytes used, checksum included (on Ok)
    std::size_t errorAt = 0;   // input offset where decoding failed
};

LzssResult LzssDecode(const uint8_t* src, std::size_t srcSize, uint8_t* dst, std::size_t L, LzssChecksum mode);

// The most output bytes that srcSize input bytes can decode to; a length
// claimed beyond it cannot be a valid block, so nothing is allocated for it.
inline std::size_t LzssMaxOutput(std::size_t srcSize) {
    // a flag byte and 8 runs of 2 bytes make 144 bytes of output
    return (srcSize / 17 + 1) * 144;
}

}  // namespace vistrel
