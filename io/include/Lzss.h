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
#include <vector>

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

// The encoder: n bytes into one block that LzssDecode reads back, greedy
// longest match (runs of 3..18 bytes at distances 1..4095) found over hash
// chains, trying at most searchDepth earlier positions per byte. The block
// carries no length: the reader must know n. There is no unused flag byte at
// the end; the last flag byte's leftover bits are zero.
//
// mode: Unsigned adds the bytes as 0..255 (model files), Signed as -128..127
// (texture files); SignedOrUnsigned is a reader's choice and encodes as
// Unsigned.
//
// blankWindow: runs may also reach the blanks (0x20) that lie before the start
// of the output. A run never lies wholly before the start: at least its last
// byte is one already produced, so a reader that refuses such runs still
// takes the block.
inline constexpr int kLzssSearchDepth = 48;

std::vector<uint8_t> LzssEncode(const uint8_t* data, std::size_t n, LzssChecksum mode = LzssChecksum::Unsigned,
                                bool blankWindow = false, int searchDepth = kLzssSearchDepth);

inline std::vector<uint8_t> LzssEncode(const std::vector<uint8_t>& data, LzssChecksum mode = LzssChecksum::Unsigned,
                                       bool blankWindow = false) {
    return LzssEncode(data.data(), data.size(), mode, blankWindow);
}

// The checksum that closes a block of these bytes.
uint32_t LzssChecksumOf(const uint8_t* data, std::size_t n, LzssChecksum mode = LzssChecksum::Unsigned);

}  // namespace vistrel
