// A file written under a temporary name beside its target ("NAME.tmp-XXXXXX",
// made with the mode a new file would get) and renamed over the target only
// once complete, so that a failed write leaves an existing file as it was and
// no half-written one. Not committed, the temporary file is removed.
#pragma once

#include <cstdio>
#include <string>

namespace vistrel {

class TAtomicFile {
public:
    explicit TAtomicFile(std::string target);
    ~TAtomicFile();
    TAtomicFile(const TAtomicFile&) = delete;
    TAtomicFile& operator=(const TAtomicFile&) = delete;

    // False when the temporary file could not be made; Error() says why.
    bool Ok() const { return fd_ >= 0 || stream_; }
    const std::string& Error() const { return error_; }
    const std::string& Target() const { return target_; }
    // The temporary file's name, for writers that open files by name.
    const std::string& TemporaryPath() const { return path_; }
    // The temporary file as a buffered stream; null when it is not Ok.
    std::FILE* Stream();

    // Flushes (and with sync, forces to the disk) what was written, closes
    // the file and renames it over the target. False with the system's
    // reason (strerror) in Error() when any of it fails; the temporary file is
    // removed.
    bool Commit(bool sync = false);

private:
    void Fail();
    std::string target_, path_, error_;
    int fd_ = -1;
    std::FILE* stream_ = nullptr;
    bool committed_ = false;
};

}  // namespace vistrel
