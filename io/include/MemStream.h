// The whole file in memory with a read position. Every read is checked
// against the end and raises EReadError ("Stream read error") when it cannot
// be satisfied; Skip only moves the position, so a skip past the end makes
// the next read fail.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "FileMagic.h"
#include "StreamErrors.h"

namespace vistrel {

class TMemStream {
public:
    explicit TMemStream(std::vector<uint8_t> bytes) : data_(std::move(bytes)) {}

    // Loads a whole file; EFOpenError "Cannot open file <path>" when it cannot
    // be opened or read.
    static TMemStream LoadFromFile(const std::string& path);

    uint64_t Position() const { return pos_; }
    uint64_t Size() const { return data_.size(); }
    // Bytes left from the position to the end (0 past the end).
    uint64_t Remaining() const { return pos_ < data_.size() ? data_.size() - pos_ : 0; }

    void ReadBytes(void* out, uint64_t n) {
        if (n > Remaining()) ThrowShortRead(n);
        if (n) std::memcpy(out, data_.data() + pos_, static_cast<std::size_t>(n));
        pos_ += n;
    }
    void Skip(uint64_t n) { pos_ += n; }
    // Raises EReadError for a field of n bytes at the position that the rest
    // of the file cannot hold.
    [[noreturn]] void ThrowShortRead(uint64_t n) const;

    int32_t ReadInt32() { return static_cast<int32_t>(ReadU32()); }
    uint32_t ReadU32() {
        uint8_t b[4];
        ReadBytes(b, 4);
        return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    }
    int16_t ReadInt16() {
        uint8_t b[2];
        ReadBytes(b, 2);
        return static_cast<int16_t>(uint16_t(b[0] | b[1] << 8));
    }
    uint8_t ReadU8() {
        uint8_t b;
        ReadBytes(&b, 1);
        return b;
    }
    float ReadFloat() {
        uint32_t u = ReadU32();
        float f;
        std::memcpy(&f, &u, 4);
        return f;
    }
    // Bytes up to a zero byte; the position ends after the zero.
    std::string ReadZString();
    // A 256-byte window; the name up to its first zero; the position ends
    // just after that zero. A window without a zero is a read error.
    std::string ReadTextureName();

    // Pointer to the bytes at the position (valid while the stream lives).
    const uint8_t* Cursor() const { return data_.data() + (pos_ < data_.size() ? pos_ : data_.size()); }

private:
    std::vector<uint8_t> data_;
    uint64_t pos_ = 0;
};

}  // namespace vistrel
