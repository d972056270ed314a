#include "platform/textcodec.h"

#include <gtest/gtest.h>

#include <random>

using namespace vex;

TEST(TextCodec, ConvertsBothWays) {
    struct {
        std::string utf8, gbk;
        bool back;  // the GBK bytes decode to the same text
    } cases[] = {
        // Two bytes per Chinese character on disk.
        {"报文名称 CAN_1 中文", "\xB1\xA8\xCE\xC4\xC3\xFB\xB3\xC6 CAN_1 \xD6\xD0\xCE\xC4", true},
        {"\xE2\x82\xAC", "\x80", true},        // the single byte 0x80 is the euro sign
        {"a\xF0\x9F\x98\x80z", "a?z", false},  // an emoji has no GBK form
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Utf8ToGbk(c.utf8), c.gbk) << c.utf8;
        if (c.back) {
            EXPECT_EQ(GbkToUtf8(c.gbk), c.utf8) << c.utf8;
        }
    }
}

TEST(TextCodec, InvalidGbkBytesSurviveARoundTrip) {
    const std::string cases[] = {
        std::string("\xFF"), std::string("\x81"), std::string("ab\x81"), std::string("\x81\x30x"),
        std::string("\xA1\x40"), std::string("\xAA\xA1\xAA"), std::string("\x00\xFF\x00", 3),
    };
    for (const auto& c : cases) {
        const std::string u = GbkToUtf8(c);
        EXPECT_TRUE(IsValidUtf8(u));
        EXPECT_EQ(Utf8ToGbk(u), c);
    }
}

TEST(TextCodec, RandomBytesAreLossless) {
    std::mt19937 rng(7);
    for (int n = 0; n < 2000; ++n) {
        std::string s(rng() % 40, '\0');
        for (auto& ch : s) ch = static_cast<char>(rng());
        ASSERT_EQ(Utf8ToGbk(GbkToUtf8(s)), s);
    }
}

TEST(TextCodec, Utf8Validation) {
    EXPECT_TRUE(IsValidUtf8("plain"));
    EXPECT_TRUE(IsValidUtf8("中文"));
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));          // overlong
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // surrogate
    EXPECT_FALSE(IsValidUtf8("\xE4\xB8"));          // cut short
    EXPECT_FALSE(IsValidUtf8("\xD6\xD0\xCE\xC4"));  // GBK bytes
}

TEST(TextCodec, PrefixesNeverSplitACharacter) {
    const std::string u = "ab中文";  // 2 + 3 + 3 bytes
    EXPECT_EQ(Utf8PrefixBytes(u, 0), 0u);
    EXPECT_EQ(Utf8PrefixBytes(u, 4), 2u);
    EXPECT_EQ(Utf8PrefixBytes(u, 5), 5u);
    EXPECT_EQ(Utf8PrefixBytes(u, 7), 5u);
    EXPECT_EQ(Utf8PrefixBytes(u, 100), 8u);
    EXPECT_EQ(Utf8CutToBytes(u, 6), "ab中");
    const std::string g = Utf8ToGbk(u);  // 2 + 2 + 2 bytes
    EXPECT_EQ(GbkPrefixBytes(g, 3), 2u);
    EXPECT_EQ(GbkPrefixBytes(g, 4), 4u);
    EXPECT_EQ(GbkPrefixBytes(g, 5), 4u);
    EXPECT_EQ(Utf8Length(u), 4u);
}
