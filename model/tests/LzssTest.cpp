// The LZSS block decoder: item layout, run semantics (overlap, cut at L,
// positions before the output read as blanks), checksum modes, and that a
// short or broken block fails without reading or writing outside its buffers.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "Lzss.h"
#include "LzssEncoder.h"

using vistrel::LzssChecksum;
using vistrel::LzssDecode;
using vistrel::LzssResult;
using vistrel::LzssStatus;

namespace {

using Bytes = std::vector<uint8_t>;

void AppendU32(Bytes& b, uint32_t v) {
    for (int k = 0; k < 4; ++k) b.push_back(static_cast<uint8_t>(v >> (8 * k)));
}

uint32_t UnsignedSum(const Bytes& b) {
    uint32_t s = 0;
    for (uint8_t x : b) s += x;
    return s;
}

struct Decoded {
    LzssResult result;
    Bytes out;
};

// Decodes from a heap copy of exactly src.size() bytes into a heap buffer of
// exactly L bytes, so that any access outside either shows under ASan.
Decoded Decode(const Bytes& src, std::size_t L, LzssChecksum mode = LzssChecksum::Unsigned) {
    std::unique_ptr<uint8_t[]> in(new uint8_t[src.size() ? src.size() : 1]);
    std::copy(src.begin(), src.end(), in.get());
    std::unique_ptr<uint8_t[]> out(new uint8_t[L ? L : 1]);
    std::fill(out.get(), out.get() + (L ? L : 1), uint8_t{0xEE});
    Decoded d;
    d.result = LzssDecode(in.get(), src.size(), out.get(), L, mode);
    d.out.assign(out.get(), out.get() + L);
    return d;
}

std::string AsText(const Bytes& b) { return std::string(b.begin(), b.end()); }

const Bytes kAbc = {0x07, 0x61, 0x62, 0x63, 0x03, 0x03, 0x72, 0x03, 0x00, 0x00};

// ---------------------------------------------------------------- vectors

TEST(LzssDecode, AbcVectorRepeatsThreeLettersThreeTimes) {
    Decoded d = Decode(kAbc, 9);
    ASSERT_EQ(d.result.status, LzssStatus::Ok);
    EXPECT_EQ(AsText(d.out), "abcabcabc");
    EXPECT_EQ(d.result.consumed, 10u);
}

TEST(LzssDecode, ConsumedCountStopsAtChecksumWhenMoreBytesFollow) {
    Bytes src = kAbc;
    src.insert(src.end(), {0x11, 0x22, 0x33, 0x44, 0x55});
    Decoded d = Decode(src, 9);
    ASSERT_EQ(d.result.status, LzssStatus::Ok);
    EXPECT_EQ(AsText(d.out), "abcabcabc");
    EXPECT_EQ(d.result.consumed, 10u);
}

TEST(LzssDecode, AllLiteralFlagBytesFor1024Bytes) {
    Bytes data(1024);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + 3);
    Bytes src;
    for (std::size_t g = 0; g < 128; ++g) {
        src.push_back(0xFF);
        src.insert(src.end(), data.begin() + g * 8, data.begin() + g * 8 + 8);
    }
    ASSERT_EQ(src.size(), 1152u);
    AppendU32(src, UnsignedSum(data));
    src.insert(src.end(), 40, 0x00);  // trailing bytes that belong to the next field

    Decoded d = Decode(src, 1024);
    ASSERT_EQ(d.result.status, LzssStatus::Ok);
    EXPECT_EQ(d.out, data);
    EXPECT_EQ(d.result.consumed, 1156u);
}

TEST(LzssDecode, LeftoverFlagBitsAfterLastLiteralAreIgnored) {
    // flag 0x01: one literal, then seven clear bits that would be runs
    Bytes src = {0x01, 'x'};
    AppendU32(src, 'x');
    Decoded d = Decode(src, 1);
    ASSERT_EQ(d.result.status, LzssStatus::Ok);
    EXPECT_EQ(AsText(d.out), "x");
    EXPECT_EQ(d.result.consumed, 6u);
}

TEST(LzssDecode, LeftoverFlagBitsAfterCutRunAreIgnored) {
    // literal x, run offset 1 length 18 cut at L = 5; bits 2..7 are clear
    Bytes src = {0x01, 'x', 0x01, 0x0F};
    AppendU32(src, 5u * 'x');
    Decoded d = Decode(src, 5);
    ASSERT_EQ(d.result.status, LzssStatus::Ok);
    EXPECT_EQ(AsText(d.out), "xxxxx");
    EXPECT_EQ(d.result.consumed, 8u);
}

TEST(LzssDecode, NoFlagByteIsReadAfterAGroupThatEndsTheOutput) {
    // exactly 8 literals end the output; the checksum follows at once and no
    // further flag byte is taken from it
    Bytes src = {0xFF, '1', '2', '3', '4', '5', '6', '7', '8'};
    const Bytes data = {'1', '2', '3', '4', '5', '6', '7', '8'};
    AppendU32(src, UnsignedSum(data));
    Decoded d = Decode(src, 8);
    ASSERT_EQ(d.result.status, LzssStatus::Ok);
    EXPECT_EQ(d.out, data);
    EXPECT_EQ(d.result.consumed, 13u);
}

TEST(LzssDecode, OffsetOneLengthEighteenAfterOneLiteralGivesNineteenBytes) {
    Bytes src = {0x01, 'x', 0x01, 0x0F};
    AppendU32(src, 19u * 'x');
    Decoded d = Decode(src, 19);
    ASSERT_EQ(d.result.status, LzssStatus::Ok);
    EXPECT_EQ(AsText(d.out), std::string(19, 'x'));
    EXPECT_EQ(d.result.consumed, 8u);
}

TEST(LzssDecode, RunCutAtLengthHasChecksumOverExactlyLBytes) {
    Bytes src = {0x01, 'x', 0x01, 0x0F};
    AppendU32(src, 19u * 'x');  // the sum of the uncut run
    Decoded d = Decode(src, 5);
    EXPECT_EQ(d.result.status, LzssStatus::BadChecksum);

    Bytes good = {0x01, 'x', 0x01, 0x0F};
    AppendU32(good, 5u * 'x');
    d = Decode(good, 5);
    EXPECT_EQ(d.result.status, LzssStatus::Ok);
}

TEST(LzssDecode, TwelveBitOffsetUsesHighNibbleOfSecondByte) {
    // 256 literals 0..255, then a run at distance 256 (b1 = 00, b2 = 1x) of
    // length 5 (low nibble 2)
    Bytes data(256);
    std::iota(data.begin(), data.end(), uint8_t{0});
    Bytes src;
    for (std::size_t g = 0; g < 32; ++g) {
        src.push_back(0xFF);
        src.insert(src.end(), data.begin() + g * 8, data.begin() + g * 8 + 8);
    }
    src.push_back(0x00);
    src.push_back(0x00);
    src.push_back(0x12);
    Bytes expected = data;
    expected.insert(expected.end(), {0, 1, 2, 3, 4});
    AppendU32(src, UnsignedSum(expected));
    Decoded d = Decode(src, expected.size());
    ASSERT_EQ(d.result.status, LzssStatus::Ok);
    EXPECT_EQ(d.out, expected);
}

TEST(LzssDecode, LargestOffsetAndLength) {
    // 4095 literals, then a run at distance 4095 (b1 = FF, b2 = FF: length 18)
    Bytes data(4095);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>((i * 31) ^ (i >> 5));
    Bytes src;
    std::size_t i = 0;
    while (i < data.size()) {
        const std::size_t n = std::min<std::size_t>(8, data.size() - i);
        if (n == 8) {
            src.push_back(0xFF);
            src.insert(src.end(), data.begin() + i, data.begin() + i + 8);
        } else {
            // the last group: n literals then the run in the same flag byte
            src.push_back(static_cast<uint8_t>((1u << n) - 1));
            src.insert(src.end(), data.begin() + i, data.end());
        }
        i += n;
    }
    src.push_back(0xFF);
    src.push_back(0xFF);
    Bytes expected = data;
    expected.insert(expected.end(), data.begin(), data.begin() + 18);
    AppendU32(src, UnsignedSum(expected));
    Decoded d = Decode(src, expected.size());
    ASSERT_EQ(d.result.status, LzssStatus::Ok);
    EXPECT_EQ(d.out, expected);
    EXPECT_EQ(d.result.consumed, src.size());
}

// ---------------------------------------------------- before the output

TEST(LzssDecode, RunWhollyBeforeStartReadsBlanks) {
    // first item a run: distance 5, length 3 -> three blanks, then 'a'
    Bytes src = {0x02, 0x05, 0x00, 'a'};
    AppendU32(src, 3u * 0x20 + 'a');
    Decoded d = Decode(src, 4);
    ASSERT_EQ(d.result.status, LzssStatus::Ok);
    EXPECT_EQ(AsText(d.out), "   a");
    EXPECT_EQ(d.result.consumed, 8u);
}

TEST(LzssDecode, RunWhollyBeforeStartAfterSomeOutput) {
    // 'a', then distance 10 length 3 at position 1: positions -9..-7
    Bytes src = {0x01, 'a', 0x0A, 0x00};
    AppendU32(src, 'a' + 3u * 0x20);
    Decoded d = Decode(src, 4);
    ASSERT_EQ(d.result.status, LzssStatus::Ok);
    EXPECT_EQ(AsText(d.out), "a   ");
}

TEST(LzssDecode, RunPartlyBeforeStartReadsBlanksThenOutput) {
    // 'a', then distance 3 length 3 at position 1: positions -2, -1, 0
    Bytes src = {0x01, 'a', 0x03, 0x00};
    AppendU32(src, 'a' + 2u * 0x20 + 'a');
    Decoded d = Decode(src, 4);
    ASSERT_EQ(d.result.status, LzssStatus::Ok);
    EXPECT_EQ(AsText(d.out), "a  a");
}

TEST(LzssDecode, RunPartlyBeforeStartRepeatsWhatItProduces) {
    // 'a', then distance 2 length 5 at position 1: -1 is a blank, then the
    // copy goes on over the bytes it has just written
    Bytes src = {0x01, 'a', 0x02, 0x02};
    const std::string expected = "a a a ";
    AppendU32(src, UnsignedSum(Bytes(expected.begin(), expected.end())));
    Decoded d = Decode(src, 6);
    ASSERT_EQ(d.result.status, LzssStatus::Ok);
    EXPECT_EQ(AsText(d.out), expected);
}

TEST(LzssDecode, BlanksBeforeStartCountInChecksum) {
    Bytes src = {0x00, 0x05, 0x00};  // three blanks only
    AppendU32(src, 0);               // a sum that leaves the blanks out
    EXPECT_EQ(Decode(src, 3).result.status, LzssStatus::BadChecksum);

    Bytes good = {0x00, 0x05, 0x00};
    AppendU32(good, 3u * 0x20);
    Decoded d = Decode(good, 3);
    ASSERT_EQ(d.result.status, LzssStatus::Ok);
    EXPECT_EQ(AsText(d.out), "   ");
}

TEST(LzssDecode, LongBlockOfBlanksFromBeforeTheStart) {
    // 57 runs of distance 18, length 18 make 1026 bytes, cut at 1024; the
    // first lies wholly before the output, the others copy its blanks
    Bytes src;
    for (int run = 0; run < 57; ++run) {
        if (run % 8 == 0) src.push_back(0x00);
        src.push_back(18);
        src.push_back(0x0F);
    }
    AppendU32(src, 1024u * 0x20);
    Decoded d = Decode(src, 1024);
    ASSERT_EQ(d.result.status, LzssStatus::Ok);
    EXPECT_EQ(d.out, Bytes(1024, 0x20));
    EXPECT_EQ(d.result.consumed, src.size());
}

TEST(LzssDecode, EncoderOutputWithBlankWindowDecodes) {
    std::mt19937 rng(12345);
    Bytes data;
    for (int i = 0; i < 5000; ++i) {
        const int kind = static_cast<int>(rng() % 4);
        if (kind == 0)
            data.push_back(0x20);
        else if (kind == 1)
            data.push_back(static_cast<uint8_t>(rng()));
        else
            data.push_back(static_cast<uint8_t>('a' + rng() % 3));
    }
    data.insert(data.begin(), 30, 0x20);  // blanks at the start invite runs before it
    const Bytes block = vistrel::LzssEncode(data, LzssChecksum::Unsigned, true);
    Decoded d = Decode(block, data.size());
    ASSERT_EQ(d.result.status, LzssStatus::Ok);
    EXPECT_EQ(d.out, data);
    EXPECT_EQ(d.result.consumed, block.size());
}

// ------------------------------------------------------------- failures

TEST(LzssDecode, ZeroOffsetFailsTheBlock) {
    Bytes src = {0x01, 'a', 0x00, 0x00};
    AppendU32(src, 'a' * 4u);
    Decoded d = Decode(src, 4);
    EXPECT_EQ(d.result.status, LzssStatus::ZeroOffset);
}

TEST(LzssDecode, ZeroOffsetWithNonZeroLengthFailsTheBlock) {
    // offset 0 with length nibble F: still distance 0
    Bytes src = {0x00, 0x00, 0x0F};
    AppendU32(src, 0);
    EXPECT_EQ(Decode(src, 18).result.status, LzssStatus::ZeroOffset);
}

TEST(LzssDecode, ZeroOffsetFailsInsideLongBlock) {
    // plenty of input and output left: 40 groups of literals, then a zero run
    Bytes src;
    for (int g = 0; g < 40; ++g) {
        src.push_back(0xFF);
        for (int k = 0; k < 8; ++k) src.push_back(static_cast<uint8_t>(g + k));
    }
    src.push_back(0x00);
    for (int k = 0; k < 8; ++k) {
        src.push_back(0x00);
        src.push_back(0x03);
    }
    src.insert(src.end(), 200, 0xFF);
    EXPECT_EQ(Decode(src, 2000).result.status, LzssStatus::ZeroOffset);
}

TEST(LzssDecode, BadChecksumFails) {
    Bytes src = kAbc;
    src[6] = 0x73;
    EXPECT_EQ(Decode(src, 9).result.status, LzssStatus::BadChecksum);
    src = kAbc;
    src[9] = 0x01;  // high byte of the checksum
    EXPECT_EQ(Decode(src, 9).result.status, LzssStatus::BadChecksum);
}

TEST(LzssDecode, ChecksumIs32BitWrapping) {
    // 0x01000001 bytes would be needed to wrap; instead check that the high
    // bytes take part: 0xFF * 1024 = 0x3FC00
    Bytes data(1024, 0xFF);
    Bytes src;
    for (int g = 0; g < 128; ++g) {
        src.push_back(0xFF);
        src.insert(src.end(), 8, 0xFF);
    }
    Bytes good = src;
    AppendU32(good, 0x3FC00);
    EXPECT_EQ(Decode(good, 1024).result.status, LzssStatus::Ok);
    Bytes bad = src;
    AppendU32(bad, 0x1003FC00);
    EXPECT_EQ(Decode(bad, 1024).result.status, LzssStatus::BadChecksum);
}

void ExpectEveryPrefixTruncated(const Bytes& block, std::size_t L) {
    ASSERT_EQ(Decode(block, L).result.status, LzssStatus::Ok);
    for (std::size_t n = 0; n < block.size(); ++n) {
        Bytes prefix(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(n));
        Decoded d = Decode(prefix, L);
        EXPECT_EQ(d.result.status, LzssStatus::Truncated) << "prefix of " << n << " bytes";
    }
}

TEST(LzssDecode, EveryPrefixOfAbcVectorIsTruncated) { ExpectEveryPrefixTruncated(kAbc, 9); }

TEST(LzssDecode, EveryPrefixOfLiteralBlockIsTruncated) {
    Bytes data(1030);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 13);
    Bytes src;
    for (std::size_t i = 0; i < data.size(); i += 8) {
        const std::size_t n = std::min<std::size_t>(8, data.size() - i);
        src.push_back(0xFF);
        src.insert(src.end(), data.begin() + i, data.begin() + i + n);
    }
    AppendU32(src, UnsignedSum(data));
    ExpectEveryPrefixTruncated(src, data.size());
}

TEST(LzssDecode, EveryPrefixOfEncodedBlockIsTruncated) {
    std::mt19937 rng(7);
    Bytes data;
    for (int i = 0; i < 3000; ++i)
        data.push_back(rng() % 5 == 0 ? static_cast<uint8_t>(rng()) : static_cast<uint8_t>(i % 37));
    const Bytes block = vistrel::LzssEncode(data, LzssChecksum::Unsigned, true);
    ExpectEveryPrefixTruncated(block, data.size());
}

// -------------------------------------------------------- checksum modes

const Bytes kTexTwo = {0x03, 0xC6, 0x7F, 0x45, 0x00, 0x00, 0x00};
const Bytes kTexEight = {0x03, 0xC6, 0x7F, 0x02, 0x03, 0x14, 0x01, 0x00, 0x00};

TEST(LzssDecode, SignedChecksumAddsBytesAsSigned) {
    Decoded d = Decode(kTexTwo, 2, LzssChecksum::Signed);
    ASSERT_EQ(d.result.status, LzssStatus::Ok);
    EXPECT_EQ(d.out, (Bytes{0xC6, 0x7F}));
    EXPECT_EQ(d.result.consumed, 7u);
    // the unsigned sum is 0x145
    EXPECT_EQ(Decode(kTexTwo, 2, LzssChecksum::Unsigned).result.status, LzssStatus::BadChecksum);
}

TEST(LzssDecode, SignedChecksumOverRepeatedRun) {
    Decoded d = Decode(kTexEight, 8, LzssChecksum::Signed);
    ASSERT_EQ(d.result.status, LzssStatus::Ok);
    EXPECT_EQ(d.out, (Bytes{0xC6, 0x7F, 0xC6, 0x7F, 0xC6, 0x7F, 0xC6, 0x7F}));
    EXPECT_EQ(d.result.consumed, 9u);
    EXPECT_EQ(Decode(kTexEight, 8, LzssChecksum::Unsigned).result.status, LzssStatus::BadChecksum);
}

TEST(LzssDecode, SignedChecksumOfNegativeTotalWraps) {
    // two bytes 0x80: signed sum -256 = 0xFFFFFF00
    Bytes src = {0x03, 0x80, 0x80, 0x00, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(Decode(src, 2, LzssChecksum::Signed).result.status, LzssStatus::Ok);
    EXPECT_EQ(Decode(src, 2, LzssChecksum::Unsigned).result.status, LzssStatus::BadChecksum);
}

TEST(LzssDecode, SignedOrUnsignedAcceptsEitherSum) {
    EXPECT_EQ(Decode(kTexTwo, 2, LzssChecksum::SignedOrUnsigned).result.status, LzssStatus::Ok);
    Bytes unsignedSum = {0x03, 0xC6, 0x7F, 0x45, 0x01, 0x00, 0x00};
    EXPECT_EQ(Decode(unsignedSum, 2, LzssChecksum::SignedOrUnsigned).result.status, LzssStatus::Ok);
    EXPECT_EQ(Decode(unsignedSum, 2, LzssChecksum::Unsigned).result.status, LzssStatus::Ok);
    EXPECT_EQ(Decode(unsignedSum, 2, LzssChecksum::Signed).result.status, LzssStatus::BadChecksum);
    Bytes neither = {0x03, 0xC6, 0x7F, 0x46, 0x01, 0x00, 0x00};
    EXPECT_EQ(Decode(neither, 2, LzssChecksum::SignedOrUnsigned).result.status, LzssStatus::BadChecksum);
}

TEST(LzssDecode, SignedAndUnsignedAgreeOnAsciiData) {
    Decoded d = Decode(kAbc, 9, LzssChecksum::Signed);
    EXPECT_EQ(d.result.status, LzssStatus::Ok);
    d = Decode(kAbc, 9, LzssChecksum::SignedOrUnsigned);
    EXPECT_EQ(d.result.status, LzssStatus::Ok);
}

}  // namespace
