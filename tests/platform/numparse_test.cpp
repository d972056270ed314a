#include "platform/numparse.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>

using namespace vex;

TEST(NumParse, Int32Rule) {
    struct {
        const char* text;
        int32_t want;
    } cases[] = {
        {"", 0},          {"abc", 0},         {"  42", 42},         {"\t-17x", -17}, {"+5", 5},
        {"- 5", 0},       {"12.9", 12},       {"2147483647", INT32_MAX},  {"2147483648", INT32_MAX},
        {"-2147483648", INT32_MIN},         {"-99999999999999999999", INT32_MIN}, {"0x10", 0},
    };
    for (auto& c : cases) EXPECT_EQ(ParseInt32(c.text), c.want) << c.text;
}

TEST(NumParse, UInt32RuleClampsAndWrapsNegatives) {
    struct {
        const char* text;
        uint32_t want;
    } cases[] = {
        {"", 0u},
        {"4294967295", 0xFFFFFFFFu},
        {"4294967296", 0xFFFFFFFFu},
        {"-1", 0xFFFFFFFFu},
        {"-2147483648", 0x80000000u},
        {"-4294967295", 1u},
        {"-4294967296", 0xFFFFFFFFu},
        {"99999999999999999999999", 0xFFFFFFFFu},
        {" 70000", 70000u},
    };
    for (auto& c : cases) EXPECT_EQ(ParseUInt32(c.text), c.want) << c.text;
}

TEST(NumParse, HexUInt32RuleAsBase16Strtoul) {
    struct {
        const char* text;
        uint32_t want;
    } cases[] = {
        {"", 0u},           {"   ", 0u},          {"zz", 0u},
        {"1FF", 0x1FFu},    {"  1fFx", 0x1FFu},   {"0x123", 0x123u},
        {"0X1a", 0x1Au},    {"0x", 0u},           {"0xg", 0u},
        {"-1", 0xFFFFFFFFu}, {"+10", 0x10u},      {"FFFFFFFF", 0xFFFFFFFFu},
        {"100000000", 0xFFFFFFFFu},               {"0000000000001234", 0x1234u},
        {"FFFFFFFFFFFFFFFFFFFF", 0xFFFFFFFFu},    {"-100000000", 0xFFFFFFFFu},
        {"1 2", 1u},
    };
    for (auto& c : cases) EXPECT_EQ(ParseHexUInt32(c.text), c.want) << c.text;
}

TEST(NumParse, RealIgnoresTheProcessLocale) {
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    std::string saved = old ? old : "C";
    // A locale with a decimal comma, when installed, must not change the result.
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    size_t used = 0;
    EXPECT_DOUBLE_EQ(ParseReal(" -3.4E+38|", &used), -3.4e38);
    EXPECT_EQ(used, 9u);
    EXPECT_DOUBLE_EQ(ParseReal("0.25"), 0.25);
    EXPECT_EQ(ParseReal("x"), 0.0);
    EXPECT_EQ(FormatFixed(0.1, 15), "0.100000000000000");
    EXPECT_EQ(FormatShortest(0.2), "0.2");
    std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(NumParse, Writers) {
    EXPECT_EQ(FormatInt(0xFFFFFFFFll), "-1");
    EXPECT_EQ(FormatInt(65535), "65535");
    EXPECT_EQ(FormatInt(0x80000000ll), "-2147483648");
    EXPECT_EQ(FormatFixed(-0.25, 15), "-0.250000000000000");
    EXPECT_EQ(FormatFixed(2.5, 0), "2");  // round half to even, as printf
    EXPECT_EQ(FormatShortest(1000.0), "1000");
    EXPECT_EQ(ParseReal(FormatShortest(0.1 + 0.2)), 0.1 + 0.2);
}
