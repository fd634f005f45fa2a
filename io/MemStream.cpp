#include "MemStream.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>

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

void TMemStream::ThrowShortRead(uint64_t n) const {
    throw EReadError(pos_, "the file ends " + std::to_string(Remaining()) + " bytes into a field of " +
                               std::to_string(n) + " bytes");
}

}  // namespace vistrel
