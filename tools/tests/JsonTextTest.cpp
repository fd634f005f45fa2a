#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "JsonText.h"

namespace {

std::string Text(std::string_view s) {
    std::string out;
    p3dtool::AppendJsonText(out, s);
    return out;
}

std::string Float(float f) {
    std::string out;
    p3dtool::AppendJsonFloat(out, f);
    return out;
}

TEST(JsonText, PlainAsciiIsQuoted) { EXPECT_EQ(Text("data\\a b.paa"), "\"data\\\\a b.paa\""); }

TEST(JsonText, ControlCharactersAreEscaped) {
    EXPECT_EQ(Text(std::string("\b\f\n\r\t\x01\x1F\"", 8)), "\"\\b\\f\\n\\r\\t\\u0001\\u001f\\\"\"");
    EXPECT_EQ(Text(std::string("\0", 1)), "\"\\u0000\"");
    EXPECT_EQ(Text("\x7F\x80\x9F"), "\"\\u007f\\u0080\\u009f\"");
}

TEST(JsonText, HighBytesAreLatin1AsUtf8) {
    EXPECT_EQ(Text("\xE9"), "\"\xC3\xA9\"");
    EXPECT_EQ(Text("\xA0\xFF"), "\"\xC2\xA0\xC3\xBF\"");
}

TEST(JsonText, FloatsAreShortestRoundTrip) {
    EXPECT_EQ(Float(0.1f), "0.1");
    EXPECT_EQ(Float(1.0f), "1");
    EXPECT_EQ(Float(-2.5f), "-2.5");
    EXPECT_EQ(Float(1e13f), "1e+13");
    EXPECT_EQ(Float(1.0f / 3.0f), "0.33333334");
    EXPECT_EQ(Float(std::numeric_limits<float>::quiet_NaN()), "null");
    EXPECT_EQ(Float(-std::numeric_limits<float>::infinity()), "null");
}

TEST(JsonText, VectorsAndIntegers) {
    std::string out;
    p3dtool::AppendJsonVec(out, vistrel::TVec3{1, -0.5f, 0});
    out += ' ';
    p3dtool::AppendJsonInt(out, -42);
    EXPECT_EQ(out, "[1,-0.5,0] -42");
}

}  // namespace
