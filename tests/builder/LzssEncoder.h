// Writer side of the LZSS block of model files, for tests, benchmarks, seed
// corpora and the sample model: the encoder itself (LzssEncode,
// LzssChecksumOf) is the product's, in Lzss.h; here is the model file's rule of
// when an array is compressed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "Lzss.h"

namespace vistrel {

// The compression rule of the model file's arrays: count elements of
// elementSize bytes are stored as their raw bytes when count * elementSize is
// below 1024, and as one LZSS block (Unsigned checksum) otherwise.
inline constexpr std::size_t kCompressThreshold = 1024;

std::vector<uint8_t> EncodeArray(const void* data, std::size_t count, std::size_t elementSize);

}  // namespace vistrel
