// Reading, printing and comparing four-part versions.
#include <gtest/gtest.h>

#include "products/decimal_text.h"
#include "products/four_part_version.h"

namespace {

TEST(FourPartVersionParse, ReadsEachTextAsDocumented) {
    struct Case {
        std::wstring text;
        std::uint16_t major, minor, build, revision;
    } cases[] = {
        {L"1.2.3.4", 1, 2, 3, 4},
        {L"1,2,3,4", 1, 2, 3, 4},
        {L"1,2.3,4", 1, 2, 3, 4},
        {L"7.1.2", 7, 1, 0, 0},
        {L"7", 0, 0, 0, 0},
        {L"", 0, 0, 0, 0},
        {L"1.2.3.4.5", 1, 2, 3, 4},
        {L"1.2.3.x", 1, 2, 3, 0},
        {L" 3.4.5.6", 3, 4, 5, 6},
        {L"\t3. 4.\n5.+6", 3, 4, 5, 6},
        {L"65537.0.0.0", 1, 0, 0, 0},
        {L"65535.65535.65535.65535", 65535, 65535, 65535, 65535},
        {L"-1.0.0.0", 65535, 0, 0, 0},
        {L"2147483648.0.0.0", 65535, 0, 0, 0},
        {L"99999999999999999999.0.0.0", 65535, 0, 0, 0},
        {L"-99999999999999999999.0.0.0", 0, 0, 0, 0},
        {L"2147483647.0.0.0", 65535, 0, 0, 0},
        {L"1.2.3.4294967297", 1, 2, 3, 65535},
        {L"a.b.c.d", 0, 0, 0, 0},
        {L"1..3.4", 1, 0, 3, 4},
        {L"1.2.3.4 beta", 1, 2, 3, 4},
    };
    for (const auto& c : cases) {
        FourPartVersion v;
        v.set(9, 9, 9, 9);
        v.parse(c.text);
        EXPECT_EQ(v.major, c.major) << std::string(c.text.begin(), c.text.end());
        EXPECT_EQ(v.minor, c.minor) << std::string(c.text.begin(), c.text.end());
        EXPECT_EQ(v.build, c.build) << std::string(c.text.begin(), c.text.end());
        EXPECT_EQ(v.revision, c.revision) << std::string(c.text.begin(), c.text.end());
    }
}

TEST(FourPartVersionParse, LeavesTheCallersTextAlone) {
    const std::wstring text = L"1,2,3,4";
    FourPartVersion v;
    v.parse(text);
    EXPECT_EQ(text, L"1,2,3,4");
}

TEST(FourPartVersionText, PrintsUnsignedDottedNumbers) {
    FourPartVersion v;
    v.set(1, 2, 3, 4);
    EXPECT_EQ(v.toText(), L"1.2.3.4");
    v.set(65535, 0, 0, 0);
    EXPECT_EQ(v.toText(), L"65535.0.0.0");
    v.set(6, 1, 0, 0);
    EXPECT_EQ(v.toText(), L"6.1.0.0");
    v.set(65535, 65535, 65535, 65535);
    EXPECT_EQ(v.toText(), L"65535.65535.65535.65535");
    EXPECT_LE(v.toText().size(), 23u);
    v.clear();
    EXPECT_EQ(v.toText(), L"0.0.0.0");
}

TEST(FourPartVersionEquals, ComparesAllFourFields) {
    FourPartVersion a, b;
    a.parse(L"7.1.2");
    b.parse(L"7.1.9");
    EXPECT_TRUE(FourPartVersion::equals(a, b));
    a.parse(L"1.2.3.4");
    for (const wchar_t* other : {L"0.2.3.4", L"1.0.3.4", L"1.2.0.4", L"1.2.3.0"}) {
        b.parse(other);
        EXPECT_FALSE(FourPartVersion::equals(a, b)) << other;
        EXPECT_FALSE(FourPartVersion::equals(b, a)) << other;
    }
    b.parse(L"1,2,3,4");
    EXPECT_TRUE(FourPartVersion::equals(a, b));
}

TEST(DecimalText, SaturatesAtThe32BitBoundsOnEveryBuild) {
    EXPECT_EQ(DecimalTextToLong(L"1033"), 1033);
    EXPECT_EQ(DecimalTextToLong(L"  -12x"), -12);
    EXPECT_EQ(DecimalTextToLong(L"x12"), 0);
    EXPECT_EQ(DecimalTextToLong(L""), 0);
    EXPECT_EQ(DecimalTextToLong(L"-"), 0);
    EXPECT_EQ(DecimalTextToLong(L"2147483647"), 2147483647);
    EXPECT_EQ(DecimalTextToLong(L"2147483648"), 2147483647);
    EXPECT_EQ(DecimalTextToLong(L"-2147483648"), INT32_MIN);
    EXPECT_EQ(DecimalTextToLong(L"-2147483649"), INT32_MIN);
    EXPECT_EQ(DecimalTextToLong(std::wstring(500, L'9')), 2147483647);
}

}  // namespace
