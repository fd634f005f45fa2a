// The errors of reading and writing files, as exceptions carrying the
// framework's texts exactly; the model's reader and writer raise them too.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

namespace vistrel {

// Errors that leave the reader or writer as exceptions, carrying the
// framework's texts exactly.
class EP3dError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
class EReadError : public EP3dError {  // "Stream read error"
public:
    EReadError() : EP3dError("Stream read error") {}
    EReadError(uint64_t offset, std::string cause)
        : EP3dError("Stream read error"), Offset(offset), Cause(std::move(cause)) {}
    uint64_t Offset = 0;  // where in the file the read began
    std::string Cause;    // what ran past the end; empty when not known
};
class EWriteError : public EP3dError {  // "Stream write error"
public:
    EWriteError() : EP3dError("Stream write error") {}
};
class EFOpenError : public EP3dError {  // "Cannot open file %s" / "Cannot create file %s"
public:
    using EP3dError::EP3dError;
};
// Raised inside a LOD body for data that cannot be what it claims to be (a
// negative count, a count whose data cannot fit in the rest of the file, a
// corner outside the UV table); reported like any error of the LOD body.
class EBadData : public EP3dError {
public:
    using EP3dError::EP3dError;
};
class EListError : public EP3dError {  // item index outside the list
public:
    using EP3dError::EP3dError;
};

}  // namespace vistrel
