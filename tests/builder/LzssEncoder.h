// Writer side of the LZSS block of model and texture files, for tests,
// benchmarks, seed corpora and the sample model. The output is exactly the
// block that vistrel::LzssDecode reads: flag bytes whose bits are used from
// bit 0 to bit 7 (set = one literal byte, clear = a two-byte run), runs of
// 3..18 bytes at a distance of 1..4095 back from the current output position,
// then the 32-bit little-endian sum of the output bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "Lzss.h"

namespace vistrel {

// Greedy longest-match encoding of n bytes into one block. The block carries no
// length: the reader must know n. There is no unused flag byte at the end; the
// last flag byte's leftover bits are zero.
//
// mode: Unsigned adds the bytes as 0..255 (model files), Signed as -128..127
// (texture files). SignedOrUnsigned is a reader's choice and encodes as Unsigned.
//
// blankWindow: the encoder may also match against blanks (0x20) that lie before
// the start of the output, as encoders whose window starts filled with blanks
// do. A run never lies wholly before the start: at least its last byte is one
// already produced, so a reader that refuses such runs still takes the block.
std::vector<uint8_t> LzssEncode(const uint8_t* data, std::size_t n, LzssChecksum mode = LzssChecksum::Unsigned,
                                bool blankWindow = false);

inline std::vector<uint8_t> LzssEncode(const std::vector<uint8_t>& data, LzssChecksum mode = LzssChecksum::Unsigned,
                                       bool blankWindow = false) {
    return LzssEncode(data.data(), data.size(), mode, blankWindow);
}

// The checksum that closes a block of these bytes.
uint32_t LzssChecksumOf(const uint8_t* data, std::size_t n, LzssChecksum mode = LzssChecksum::Unsigned);

// The compression rule of the model file's arrays: count elements of
// elementSize bytes are stored as their raw bytes when count * elementSize is
// below 1024, and as one LZSS block (Unsigned checksum) otherwise.
inline constexpr std::size_t kCompressThreshold = 1024;

std::vector<uint8_t> EncodeArray(const void* data, std::size_t count, std::size_t elementSize);

}  // namespace vistrel
