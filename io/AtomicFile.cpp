#include "AtomicFile.h"

#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vistrel {

TAtomicFile::TAtomicFile(std::string target) : target_(std::move(target)) {
    std::vector<char> name(target_.begin(), target_.end());
    const char suffix[] = ".tmp-XXXXXX";
    name.insert(name.end(), suffix, suffix + sizeof suffix);
    fd_ = ::mkstemp(name.data());
    if (fd_ < 0) {
        error_ = std::strerror(errno);
        return;
    }
    path_ = name.data();
    // mkstemp makes the file private; it gets the mode a new file would get
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd_, 0666 & ~mask);
}

TAtomicFile::~TAtomicFile() {
    if (stream_) std::fclose(stream_);
    if (fd_ >= 0) ::close(fd_);
    if (!committed_ && !path_.empty()) ::unlink(path_.c_str());
}

std::FILE* TAtomicFile::Stream() {
    if (!stream_ && fd_ >= 0) {
        stream_ = ::fdopen(fd_, "wb");
        if (stream_) fd_ = -1;  // the stream owns it now
    }
    return stream_;
}

void TAtomicFile::Fail() {
    if (error_.empty()) error_ = std::strerror(errno);
}

bool TAtomicFile::Commit(bool sync) {
    if (!Ok()) return false;
    bool ok = true;
    if (stream_) {
        if (std::fflush(stream_) != 0) ok = false, Fail();
        if (ok && sync && ::fsync(::fileno(stream_)) != 0 && errno != EINVAL && errno != EROFS) ok = false, Fail();
        if (std::fclose(stream_) != 0 && ok) ok = false, Fail();
        stream_ = nullptr;
    } else {
        if (sync && ::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS) ok = false, Fail();
        if (::close(fd_) != 0 && ok) ok = false, Fail();
        fd_ = -1;
    }
    if (ok && std::rename(path_.c_str(), target_.c_str()) != 0) ok = false, Fail();
    committed_ = ok;
    return ok;
}

}  // namespace vistrel
