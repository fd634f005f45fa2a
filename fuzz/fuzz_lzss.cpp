// libFuzzer target: the LZSS block decoder against a plain byte-by-byte
// decoder written straight from the block's description (Lzss.h).
//
// Input: one byte for the checksum mode, two bytes (little-endian) for the
// decoded length L, then the block. Both decoders must agree on the status,
// and on success on the bytes consumed and every output byte. The output
// buffer is exactly L bytes long, so ASan catches any write past it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "Lzss.h"

namespace {

using vistrel::LzssChecksum;
using vistrel::LzssStatus;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "fuzz_lzss: %s\n", what);
    std::fflush(stderr);
    __builtin_trap();
}

struct Plain {
    LzssStatus status = LzssStatus::Ok;
    std::size_t consumed = 0;
};

Plain PlainDecode(const uint8_t* src, std::size_t n, uint8_t* out, std::size_t L, LzssChecksum mode) {
    Plain r;
    std::size_t ip = 0, i = 0;
    while (i < L) {
        if (ip >= n) return {LzssStatus::Truncated, 0};
        unsigned flags = src[ip++];
        for (int bit = 0; bit < 8 && i < L; ++bit, flags >>= 1) {
            if (flags & 1) {
                if (ip >= n) return {LzssStatus::Truncated, 0};
                out[i++] = src[ip++];
                continue;
            }
            if (n - ip < 2) return {LzssStatus::Truncated, 0};
            const std::size_t dist = src[ip] | (src[ip + 1] >> 4) << 8;
            const std::size_t len = (src[ip + 1] & 0x0F) + 3;
            if (dist == 0) return {LzssStatus::ZeroOffset, 0};
            ip += 2;
            for (std::size_t k = 0; k < len && i < L; ++k, ++i) out[i] = i >= dist ? out[i - dist] : uint8_t{0x20};
        }
    }
    if (n - ip < 4) return {LzssStatus::Truncated, 0};
    const uint32_t stored =
        uint32_t(src[ip]) | uint32_t(src[ip + 1]) << 8 | uint32_t(src[ip + 2]) << 16 | uint32_t(src[ip + 3]) << 24;
    uint32_t sumU = 0, sumS = 0;
    for (std::size_t k = 0; k < L; ++k) {
        sumU += out[k];
        sumS += static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(out[k])));
    }
    bool ok = false;
    switch (mode) {
    case LzssChecksum::Unsigned: ok = stored == sumU; break;
    case LzssChecksum::Signed: ok = stored == sumS; break;
    case LzssChecksum::SignedOrUnsigned: ok = stored == sumU || stored == sumS; break;
    }
    if (!ok) return {LzssStatus::BadChecksum, 0};
    r.consumed = ip + 4;
    return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const LzssChecksum mode = static_cast<LzssChecksum>(data[0] % 3);
    const std::size_t L = data[1] | std::size_t{data[2]} << 8;
    const uint8_t* src = data + 3;
    const std::size_t n = size - 3;

    // separate heap blocks of exactly L bytes: any overrun is an ASan report
    std::unique_ptr<uint8_t[]> fast(new uint8_t[L ? L : 1]);
    std::unique_ptr<uint8_t[]> plain(new uint8_t[L ? L : 1]);
    // and a copy of the input with nothing readable after it
    std::vector<uint8_t> input(src, src + n);

    const vistrel::LzssResult r = vistrel::LzssDecode(input.data(), n, fast.get(), L, mode);
    const Plain p = PlainDecode(src, n, plain.get(), L, mode);

    if (r.status != p.status) Fail("status differs from the plain decoder");
    if (r.status == LzssStatus::Ok) {
        if (r.consumed != p.consumed) Fail("consumed differs from the plain decoder");
        if (r.consumed > n) Fail("consumed more than the input");
        if (L && std::memcmp(fast.get(), plain.get(), L) != 0) Fail("output differs from the plain decoder");
        if (vistrel::LzssMaxOutput(n) < L) Fail("decoded more than LzssMaxOutput allows");
    } else if (r.errorAt > n) {
        Fail("error position past the input");
    }
    return 0;
}
