#include "CompressedArray.h"

#include <cassert>

#include "Lzss.h"

namespace vistrel {

void CheckArrayFits(const TMemStream& stream, int64_t count, uint64_t elementSize, const char* what) {
    if (count < 0) throw EBadData(std::string("Negative count of ") + what);
    const uint64_t rem = stream.Remaining();
    const uint64_t bytes = static_cast<uint64_t>(count) * elementSize;  // count < 2^31, size <= 12
    const bool fits = bytes < kCompressedArrayMinBytes ? bytes <= rem : bytes <= LzssMaxOutput(rem);
    if (!fits)
        throw EBadData(std::string("Count of ") + what + " (" + std::to_string(count) +
                       ") exceeds the rest of the file");
}

TReadResult ReadArray(TMemStream& stream, void* buffer, uint64_t count, uint64_t elementSize) {
    // the count has passed CheckArrayFits: the product cannot overflow
    assert(count <= INT32_MAX && elementSize > 0 && elementSize <= 12);
    const uint64_t size = count * elementSize;
    if (size < kCompressedArrayMinBytes) {
        stream.ReadBytes(buffer, size);
        return {};
    }
    const uint64_t start = stream.Position();
    LzssResult r = LzssDecode(stream.Cursor(), static_cast<std::size_t>(stream.Remaining()),
                              static_cast<uint8_t*>(buffer), static_cast<std::size_t>(size), LzssChecksum::Unsigned);
    const std::string block = "the compressed block of " + std::to_string(size) + " bytes at " + std::to_string(start);
    switch (r.status) {
    case LzssStatus::Ok: stream.Skip(r.consumed); return {};
    case LzssStatus::Truncated: throw EReadError(start + r.errorAt, block + " runs past the end of the file");
    case LzssStatus::ZeroOffset: return {TReadStatus::BadBlock, start + r.errorAt, block + " copies from distance 0"};
    case LzssStatus::BadChecksum: break;
    }
    return {TReadStatus::BadBlock, start + r.errorAt, block + " does not match its checksum"};
}

}  // namespace vistrel
