// How reading a model, or one LOD of it, ended: the status, the byte offset in
// the file where reading stopped, and the cause in a few words. The messages
// the user sees stay the reader's own texts; this is for people and programs
// that need to know where a broken file breaks.
#pragma once

#include <cstdint>
#include <string>

namespace vistrel {

enum class TReadStatus {
    Ok,
    ShortRead,  // the file ends inside a field or an array it announces
    BadData,    // a count or index that cannot be (negative, more than the file holds)
    BadBlock,   // a compressed array that does not decode
    BadIndex,   // an index outside the list it names
    BadValue,   // a field whose value the format does not allow
    NoMemory,   // an allocation failed
};

struct TReadResult {
    TReadStatus Status = TReadStatus::Ok;
    uint64_t Offset = 0;  // byte offset from the start of the file
    std::string Cause;    // empty when Ok
    int Lod = -1;         // the LOD that failed; -1 outside the LOD bodies

    bool Ok() const { return Status == TReadStatus::Ok; }
};

}  // namespace vistrel
