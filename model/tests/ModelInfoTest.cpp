#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "P3dmodell.h"

using vistrel::AVertex;
using vistrel::FormatTriple;
using vistrel::LodDisplayName;
using vistrel::SelectionExtent;
using vistrel::TRealSelection;
using vistrel::TVec3;

namespace {

const std::vector<std::pair<float, std::string>> kNamedLods = {
    {1000.0f, "View - Gunner"},
    {1100.0f, "View - Pilot"},
    {1200.0f, "View - Cargo"},
    {9999999827968.0f, "Geometry"},
    {999999986991104.0f, "Memory"},
    {1999999973982208.0f, "LandContact"},
    {3000000028082176.0f, "Roadway"},
    {3999999947964416.0f, "Paths"},
    {5000000136282112.0f, "Hitpoints"},
    {6000000056164352.0f, "View Geometry"},
    {6999999976046592.0f, "Fire Geometry"},
    {7999999895928832.0f, "View - Cargo - Geo"},
    {8999999815811072.0f, "View - Cargo - Fire"},
    {10000000272564224.0f, "View - Commander"},
    {10999999655575552.0f, "View - Commander - Geo"},
    {12000000112328704.0f, "View - Commander - Fire"},
    {12999999495340032.0f, "View - Pilot - Geo"},
    {13999999952093184.0f, "View - Pilot - Fire"},
    {15000000408846336.0f, "View - Gunner - Geo"},
    {15999999791857664.0f, "View - Gunner - Fire"},
};

TEST(ModelInfoLodName, EveryNamedResolution) {
    ASSERT_EQ(kNamedLods.size(), 20u);
    for (const auto& [resolution, name] : kNamedLods)
        EXPECT_EQ(LodDisplayName(resolution), name) << static_cast<double>(resolution);
}

TEST(ModelInfoLodName, DecimalKeysMeetTheirFloats) {
    EXPECT_EQ(LodDisplayName(1e13f), "Geometry");
    EXPECT_EQ(LodDisplayName(static_cast<float>(1.1e16)), "View - Commander - Geo");
    EXPECT_EQ(LodDisplayName(static_cast<float>(1e15)), "Memory");
}

TEST(ModelInfoLodName, NeighboursOfKeysAreNumbers) {
    for (const auto& [resolution, name] : kNamedLods) {
        const float below = std::nextafter(resolution, 0.0f);
        const float above = std::nextafter(resolution, std::numeric_limits<float>::infinity());
        EXPECT_EQ(LodDisplayName(below).rfind("LOD ", 0), 0u) << name;
        EXPECT_EQ(LodDisplayName(above).rfind("LOD ", 0), 0u) << name;
    }
}

TEST(ModelInfoLodName, NearMissShowsItsRoundedValue) {
    EXPECT_EQ(LodDisplayName(999.99994f), "LOD 1000.000");
    EXPECT_EQ(LodDisplayName(std::nextafter(1000.0f, 2000.0f)), "LOD 1000.000");
    EXPECT_EQ(LodDisplayName(std::nextafter(1e13f, 0.0f)), "LOD 9999998779392.000");
}

TEST(ModelInfoLodName, ResolutionLods) {
    EXPECT_EQ(LodDisplayName(1.0f), "LOD 1.000");
    EXPECT_EQ(LodDisplayName(0.5f), "LOD 0.500");
    EXPECT_EQ(LodDisplayName(10000.0f), "LOD 10000.000");
    EXPECT_EQ(LodDisplayName(1001.0f), "LOD 1001.000");
    EXPECT_EQ(LodDisplayName(0.0f), "LOD 0.000");
    EXPECT_EQ(LodDisplayName(2.125f), "LOD 2.125");
}

// A selection over vertices that the test owns.
struct TSelectionFixture {
    std::vector<AVertex> Store;
    TRealSelection Selection{"sel"};

    explicit TSelectionFixture(std::vector<AVertex> vertices) : Store(std::move(vertices)) {
        for (AVertex& v : Store) Selection.Vertexes.Add(&v);
    }
};

void ExpectVec(const TVec3& v, float x, float y, float z) {
    EXPECT_EQ(v.X, x);
    EXPECT_EQ(v.Y, y);
    EXPECT_EQ(v.Z, z);
}

TEST(ModelInfoExtent, EmptySelectionLeavesOutputsAlone) {
    TRealSelection empty("empty");
    TVec3 start{1, 2, 3}, end{4, 5, 6};
    EXPECT_FALSE(SelectionExtent(empty, start, end));
    ExpectVec(start, 1, 2, 3);
    ExpectVec(end, 4, 5, 6);
}

TEST(ModelInfoExtent, SingleVertex) {
    TSelectionFixture f({{1.5f, -2.0f, 3.25f}});
    TVec3 start, end;
    ASSERT_TRUE(SelectionExtent(f.Selection, start, end));
    ExpectVec(start, 1.5f, -2.0f, 3.25f);
    ExpectVec(end, 1.5f, -2.0f, 3.25f);
}

TEST(ModelInfoExtent, PerAxisMinimumAndMaximum) {
    TSelectionFixture f({{1, 5, -3}, {-2, 7, 4}, {0, -1, 2}});
    TVec3 start, end;
    ASSERT_TRUE(SelectionExtent(f.Selection, start, end));
    ExpectVec(start, -2, -1, -3);
    ExpectVec(end, 1, 7, 4);
}

TEST(ModelInfoExtent, FarVerticesGiveTheirTrueValues) {
    TSelectionFixture f({{20000, -15000, 10000.5f}, {30000, -12000, 12000}});
    TVec3 start, end;
    ASSERT_TRUE(SelectionExtent(f.Selection, start, end));
    ExpectVec(start, 20000, -15000, 10000.5f);
    ExpectVec(end, 30000, -12000, 12000);
}

TEST(ModelInfoExtent, DuplicateVertexPointers) {
    TSelectionFixture f({{3, 3, 3}, {-1, 0, 8}});
    f.Selection.Vertexes.Add(&f.Store[0]);
    f.Selection.Vertexes.Add(&f.Store[0]);
    TVec3 start, end;
    ASSERT_TRUE(SelectionExtent(f.Selection, start, end));
    ExpectVec(start, -1, 0, 3);
    ExpectVec(end, 3, 3, 8);
}

TEST(ModelInfoExtent, SameVertexListedTwiceOnly) {
    AVertex v{-7, 8, -9};
    TRealSelection sel("twice");
    sel.Vertexes.Add(&v);
    sel.Vertexes.Add(&v);
    TVec3 start, end;
    ASSERT_TRUE(SelectionExtent(sel, start, end));
    ExpectVec(start, -7, 8, -9);
    ExpectVec(end, -7, 8, -9);
}

TEST(ModelInfoTriple, Basic) {
    EXPECT_EQ(FormatTriple(1, -2.5f, 0), "( 1.000; -2.500; 0.000 )");
    EXPECT_EQ(FormatTriple(-0.0004f, 12345.678f, -9999), "( -0.000; 12345.678; -9999.000 )");
    EXPECT_EQ(FormatTriple(-19998, 1e13f, 0.5f), "( -19998.000; 9999999827968.000; 0.500 )");
}

// printf in the C locale is the reference for the three-decimal layout,
// including its handling of exact halves and of negative values near zero.
TEST(ModelInfoTriple, MatchesPrintfInTheCLocale) {
    const float values[] = {0.0625f,  0.1875f, -0.0625f,    2.0005f, 1.0f / 3.0f,
                            -0.0004f, -0.0f,   123456.789f, 3.4e38f, -std::numeric_limits<float>::max(),
                            1e-30f,   0.0005f, -1.0015f};
    for (const float v : values) {
        char expected[256];
        std::snprintf(expected, sizeof expected, "( %.3f; %.3f; %.3f )", v, -v, v * 0.5f);
        EXPECT_EQ(FormatTriple(v, -v, v * 0.5f), expected) << static_cast<double>(v);
    }
}

TEST(ModelInfoTriple, AlwaysAPoint) {
    const char* current = std::setlocale(LC_ALL, nullptr);
    const std::string saved = current ? current : "C";
    bool comma = false;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8", "fr_FR.utf8"}) {
        if (std::setlocale(LC_ALL, name) && *std::localeconv()->decimal_point == ',') {
            comma = true;
            break;
        }
    }
    if (!comma) {
        std::setlocale(LC_ALL, saved.c_str());
        GTEST_SKIP() << "no locale with a comma decimal mark installed";
    }
    const std::string text = FormatTriple(1, -2.5f, 0);
    const std::string name = LodDisplayName(0.5f);
    std::setlocale(LC_ALL, saved.c_str());
    EXPECT_EQ(text, "( 1.000; -2.500; 0.000 )");
    EXPECT_EQ(name, "LOD 0.500");
}

}  // namespace
