#include "MemStream.h"

#include <cassert>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "Lzss.h"

namespace vistrel {

namespace {

// Opens a file for reading; a folder opens without complaint on some
// systems, but it is not a file.
std::unique_ptr<FILE, int (*)(FILE*)> OpenForReading(const std::string& path, std::filesystem::file_status& status) {
    std::error_code ec;
    status = std::filesystem::status(path, ec);
    if (ec || std::filesystem::is_directory(status)) throw EFOpenError("Cannot open file " + path);
    std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!f) throw EFOpenError("Cannot open file " + path);
    return f;
}

}  // namespace

std::array<char, 4> ReadFileMagic(const std::string& path) {
    std::filesystem::file_status status;
    const auto f = OpenForReading(path, status);
    std::array<char, 4> magic{};
    if (std::fread(magic.data(), 1, magic.size(), f.get()) != magic.size())
        throw EReadError(0, "the file is shorter than its 4-byte magic");
    return magic;
}

TMemStream TMemStream::LoadFromFile(const std::string& path) {
    std::filesystem::file_status status;
    const auto f = OpenForReading(path, status);
    std::vector<uint8_t> bytes;
    if (std::filesystem::is_regular_file(status)) {
        std::error_code ec;
        const auto size = std::filesystem::file_size(path, ec);
        if (!ec) bytes.reserve(static_cast<std::size_t>(size));
    }
    uint8_t chunk[1 << 16];
    for (;;) {
        const std::size_t n = std::fread(chunk, 1, sizeof chunk, f.get());
        bytes.insert(bytes.end(), chunk, chunk + n);
        if (n < sizeof chunk) break;
    }
    if (std::ferror(f.get())) throw EFOpenError("Cannot open file " + path);
    return TMemStream(std::move(bytes));
}

std::string TMemStream::ReadZString() {
    const uint64_t rem = Remaining();
    const uint8_t* p = Cursor();
    const void* z = rem ? std::memchr(p, 0, static_cast<std::size_t>(rem)) : nullptr;
    if (!z) throw EReadError(pos_, "a name runs to the end of the file without its closing zero");
    const std::size_t len = static_cast<const uint8_t*>(z) - p;
    std::string s(reinterpret_cast<const char*>(p), len);
    pos_ += len + 1;
    return s;
}

std::string TMemStream::ReadTextureName() {
    constexpr std::size_t kWindow = 256;
    if (Remaining() < kWindow) throw EReadError(pos_, "a texture name's 256-byte window runs past the end of the file");
    const uint8_t* p = Cursor();
    const void* z = std::memchr(p, 0, kWindow);
    if (!z) throw EReadError(pos_, "a texture name without a closing zero in its 256-byte window");
    const std::size_t len = static_cast<const uint8_t*>(z) - p;
    std::string s(reinterpret_cast<const char*>(p), len);
    pos_ += len + 1;
    return s;
}

void CheckArrayFits(const TMemStream& stream, int64_t count, uint64_t elementSize, const char* what) {
    if (count < 0) throw EBadData(std::string("Negative count of ") + what);
    const uint64_t rem = stream.Remaining();
    const uint64_t bytes = static_cast<uint64_t>(count) * elementSize;  // count < 2^31, size <= 12
    const bool fits = bytes < kCompressedArrayMinBytes ? bytes <= rem : bytes <= LzssMaxOutput(rem);
    if (!fits)
        throw EBadData(std::string("Count of ") + what + " (" + std::to_string(count) +
                       ") exceeds the rest of the file");
}

void TMemStream::ThrowShortRead(uint64_t n) const {
    throw EReadError(pos_, "the file ends " + std::to_string(Remaining()) + " bytes into a field of " +
                               std::to_string(n) + " bytes");
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
