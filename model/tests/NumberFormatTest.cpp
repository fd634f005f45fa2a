#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <string>

#include "NumberFormat.h"

using vistrel::FormatFloat;

namespace {

const char* const kReadingLod = "'****************** reading LOD '0'***********************'";

TEST(NumberFormat, CountMask) {
    EXPECT_EQ(FormatFloat("'LODCount: '0", 3), "LODCount: 3");
    EXPECT_EQ(FormatFloat("'LODCount: '0", 0), "LODCount: 0");
    EXPECT_EQ(FormatFloat("'LODCount: '0", 123456), "LODCount: 123456");
}

TEST(NumberFormat, TextOnBothSidesOfTheNumber) {
    const std::string expected = std::string(18, '*') + " reading LOD 0" + std::string(23, '*');
    EXPECT_EQ(FormatFloat(kReadingLod, 0), expected);
    EXPECT_EQ(FormatFloat(kReadingLod, 12), std::string(18, '*') + " reading LOD 12" + std::string(23, '*'));
}

TEST(NumberFormat, UnquotedBlankIsKept) {
    EXPECT_EQ(FormatFloat("0.00 'Xoffset'", 1.5), "1.50 Xoffset");
    EXPECT_EQ(FormatFloat("0.00 'Xoffset'", -0.001), "0.00 Xoffset");
    EXPECT_EQ(FormatFloat("0.00 'Xoffset'", -2.25), "-2.25 Xoffset");
}

TEST(NumberFormat, WhollyQuotedMaskHasNoNumber) {
    EXPECT_EQ(FormatFloat("'Offset MassBeginn: 0'", 123), "Offset MassBeginn: 0");
    EXPECT_EQ(FormatFloat("'Offset MassBeginn: 0'", -7.5), "Offset MassBeginn: 0");
    EXPECT_EQ(FormatFloat("", 5), "");
}

TEST(NumberFormat, QuotedPrefixKeepsItsBlanks) {
    EXPECT_EQ(FormatFloat("'   Offset: '0", 4096), "   Offset: 4096");
    EXPECT_EQ(FormatFloat("'   Offset: '0", 0), "   Offset: 0");
}

TEST(NumberFormat, Scientific) {
    EXPECT_EQ(FormatFloat("': '0.000e-00", 9999999827968.0), ": 1.000e13");
    EXPECT_EQ(FormatFloat("': '0.000e-00", 0.5), ": 5.000e-01");
    EXPECT_EQ(FormatFloat("0.000e-00", 0), "0.000e00");
    EXPECT_EQ(FormatFloat("0.000e-00", 1.5e-5), "1.500e-05");
    EXPECT_EQ(FormatFloat("0.000e-00", 123456), "1.235e05");
    EXPECT_EQ(FormatFloat("0.000e+00", 123456), "1.235e+05");
    EXPECT_EQ(FormatFloat("0.000e+00", 0.5), "5.000e-01");
    EXPECT_EQ(FormatFloat("0.000e+00", 0), "0.000e+00");
    EXPECT_EQ(FormatFloat("0.000E-00", 123456), "1.235E05");
    EXPECT_EQ(FormatFloat("0.000e-00", -123456), "-1.235e05");
}

TEST(NumberFormat, ScientificExponentGrowsPastItsZeros) {
    EXPECT_EQ(FormatFloat("0.000e-00", 1e300), "1.000e300");
    EXPECT_EQ(FormatFloat("0.000e-00", 1e-300), "1.000e-300");
    EXPECT_EQ(FormatFloat("0.0e-0000", 2.5e7), "2.5e0007");
}

TEST(NumberFormat, ScientificRoundingCarriesIntoTheExponent) {
    EXPECT_EQ(FormatFloat("0.000e-00", 9.9996), "1.000e01");
    EXPECT_EQ(FormatFloat("0.000e-00", 0.00099996), "1.000e-03");
    // 1.0625 is exact: its fourth digit is a true half.
    EXPECT_EQ(FormatFloat("0.000e-00", 1.0625), "1.063e00");
}

TEST(NumberFormat, OptionalDecimals) {
    EXPECT_EQ(FormatFloat("0.###", 1234.5), "1234.5");
    EXPECT_EQ(FormatFloat("0.###", 0), "0");
    EXPECT_EQ(FormatFloat("0.###", 2.0004), "2");
    EXPECT_EQ(FormatFloat("0.###", 0.25), "0.25");
    EXPECT_EQ(FormatFloat("0.###", 1.9996), "2");
    EXPECT_EQ(FormatFloat("0.###", -0.0004), "0");
    EXPECT_EQ(FormatFloat("0.###", -3.125), "-3.125");
}

TEST(NumberFormat, LodMask) {
    EXPECT_EQ(FormatFloat("'LOD' 0.000", 1), "LOD 1.000");
    EXPECT_EQ(FormatFloat("'LOD' 0.000", 0.5), "LOD 0.500");
    EXPECT_EQ(FormatFloat("'LOD' 0.000", 10000), "LOD 10000.000");
    EXPECT_EQ(FormatFloat("'LOD' 0.000", 999.99993896484375), "LOD 1000.000");
    EXPECT_EQ(FormatFloat("'LOD' 0.000", 1e13), "LOD 10000000000000.000");
}

TEST(NumberFormat, NegativeNumbers) {
    EXPECT_EQ(FormatFloat("0.00", -1.5), "-1.50");
    EXPECT_EQ(FormatFloat("0", -0.4), "0");
    EXPECT_EQ(FormatFloat("0", -0.0), "0");
    EXPECT_EQ(FormatFloat("0.000e-00", -0.0), "0.000e00");
}

TEST(NumberFormat, HalfRoundsAwayFromZero) {
    EXPECT_EQ(FormatFloat("0.00", 0.125), "0.13");
    EXPECT_EQ(FormatFloat("0.00", -0.125), "-0.13");
    EXPECT_EQ(FormatFloat("0.00", 0.375), "0.38");
    EXPECT_EQ(FormatFloat("0", 2.5), "3");
    EXPECT_EQ(FormatFloat("0", 3.5), "4");
    EXPECT_EQ(FormatFloat("0", -2.5), "-3");
    EXPECT_EQ(FormatFloat("0", 0.5), "1");
    EXPECT_EQ(FormatFloat("0.0", 0.05), "0.1");  // 0.05 is held slightly above the half
}

TEST(NumberFormat, RoundingUsesTheExactBinaryValue) {
    // 0.15 is held as 0.1499999999999999944..., 2.675 as 2.67499999999999982...
    EXPECT_EQ(FormatFloat("0.0", 0.15), "0.1");
    EXPECT_EQ(FormatFloat("0.00", 2.675), "2.67");
    // 1.005f widened to double is 1.00499999523..., 0.35 is 0.34999999999999997...
    EXPECT_EQ(FormatFloat("0.00", static_cast<double>(1.005f)), "1.00");
    EXPECT_EQ(FormatFloat("0.0", 0.35), "0.3");
}

TEST(NumberFormat, IntegerPlaces) {
    EXPECT_EQ(FormatFloat("000", 7), "007");
    EXPECT_EQ(FormatFloat("000", 12345), "12345");
    EXPECT_EQ(FormatFloat("#.00", 0.5), ".50");
    EXPECT_EQ(FormatFloat("#", 0), "");
    EXPECT_EQ(FormatFloat("0", 123456789012345678.0), "123456789012345680");
    EXPECT_EQ(FormatFloat("0", 1e20), "100000000000000000000");
}

TEST(NumberFormat, MixedDecimalPlaces) {
    EXPECT_EQ(FormatFloat("0.0#", 1), "1.0");
    EXPECT_EQ(FormatFloat("0.0#", 1.25), "1.25");
    EXPECT_EQ(FormatFloat("0.0#", 1.125), "1.13");
    EXPECT_EQ(FormatFloat("0.", 1.5), "2");
}

TEST(NumberFormat, TinyNumbersInFixedFormat) {
    EXPECT_EQ(FormatFloat("0.000", std::numeric_limits<double>::denorm_min()), "0.000");
    EXPECT_EQ(FormatFloat("0.000", 0.0005), "0.001");  // 0.0005 is held slightly above
    EXPECT_EQ(FormatFloat("0.000", 0.00049), "0.000");
}

TEST(NumberFormat, NonFinite) {
    EXPECT_EQ(FormatFloat("0.00", std::numeric_limits<double>::quiet_NaN()), "NAN");
    EXPECT_EQ(FormatFloat("'LOD' 0.000", std::numeric_limits<double>::infinity()), "INF");
    EXPECT_EQ(FormatFloat("0.000e-00", -std::numeric_limits<double>::infinity()), "-INF");
}

TEST(NumberFormat, UnterminatedQuoteRunsToTheEnd) { EXPECT_EQ(FormatFloat("0 'abc", 5), "5 abc"); }

TEST(NumberFormat, ExtremeValues) {
    const std::string big = FormatFloat("0", std::numeric_limits<double>::max());
    EXPECT_EQ(big.size(), 309u);
    EXPECT_EQ(big.substr(0, 6), "179769");
    EXPECT_EQ(FormatFloat("0.000e-00", std::numeric_limits<double>::max()), "1.798e308");
    EXPECT_EQ(FormatFloat("0.000e-00", std::numeric_limits<double>::denorm_min()), "4.941e-324");
}

class NumberFormatCommaLocale : public ::testing::Test {
protected:
    void SetUp() override {
        const char* current = std::setlocale(LC_ALL, nullptr);
        saved_ = current ? current : "C";
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8", "fr_FR.utf8"}) {
            if (std::setlocale(LC_ALL, name) && *std::localeconv()->decimal_point == ',') return;
        }
        std::setlocale(LC_ALL, saved_.c_str());
        GTEST_SKIP() << "no locale with a comma decimal mark installed";
    }
    void TearDown() override { std::setlocale(LC_ALL, saved_.c_str()); }

private:
    std::string saved_;
};

TEST_F(NumberFormatCommaLocale, AlwaysAPoint) {
    EXPECT_EQ(FormatFloat("0.###", 1234.5), "1234.5");
    EXPECT_EQ(FormatFloat("'LOD' 0.000", 0.5), "LOD 0.500");
    EXPECT_EQ(FormatFloat("0.000e-00", 123456), "1.235e05");
}

}  // namespace
