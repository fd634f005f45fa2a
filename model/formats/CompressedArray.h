// The model's arrays in the file: stored as they are, or one compressed
// block (docs/model-layouts.md, B.2), read from the file in memory.
#pragma once

#include "MemStream.h"
#include "P3dmodell.h"

namespace vistrel {

// Arrays of fewer bytes are stored as they are, larger ones as one compressed
// block (docs/model-layouts.md, B.2).
inline constexpr uint64_t kCompressedArrayMinBytes = 1024;

// Reads count elements by the compression rule: stored when they take fewer
// than kCompressedArrayMinBytes, else one compressed block. Ok, or BadBlock with the
// offset and cause when the block does not decode; a short read raises
// EReadError instead.
TReadResult ReadArray(TMemStream& stream, void* buffer, uint64_t count, uint64_t elementSize);
// Raises EBadData when count elements of elementSize bytes cannot be stored in
// what remains of the stream, raw or compressed, so nothing absurd is allocated.
void CheckArrayFits(const TMemStream& stream, int64_t count, uint64_t elementSize, const char* what);

// Three floats: x, y, z.
inline TVec3 ReadVec3(TMemStream& stream) {
    TVec3 v;
    v.X = stream.ReadFloat();
    v.Y = stream.ReadFloat();
    v.Z = stream.ReadFloat();
    return v;
}

}  // namespace vistrel
