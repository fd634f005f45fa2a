#include "LzssEncoder.h"

namespace vistrel {

std::vector<uint8_t> EncodeArray(const void* data, std::size_t count, std::size_t elementSize) {
    const std::size_t size = count * elementSize;
    const auto* bytes = static_cast<const uint8_t*>(data);
    if (size < kCompressThreshold) return std::vector<uint8_t>(bytes, bytes + size);
    return LzssEncode(bytes, size, LzssChecksum::Unsigned, false);
}

}  // namespace vistrel
