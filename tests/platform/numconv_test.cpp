#include "platform/numconv.h"

#include <gtest/gtest.h>

#include <limits>

using namespace vex;

TEST(NumConv, TruncToIntRefusesWhatDoesNotFit) {
    int32_t i = 7;
    EXPECT_TRUE(TruncToInt(-2.9, i));
    EXPECT_EQ(i, -2);
    EXPECT_FALSE(TruncToInt(2147483648.0, i));
    EXPECT_EQ(i, -2);
    EXPECT_TRUE(TruncToInt(-2147483648.9, i));
    EXPECT_EQ(i, INT32_MIN);
    EXPECT_FALSE(TruncToInt(std::numeric_limits<double>::quiet_NaN(), i));
    EXPECT_FALSE(TruncToInt(std::numeric_limits<double>::infinity(), i));

    uint32_t u = 0;
    EXPECT_TRUE(TruncToInt(4294967295.99, u));
    EXPECT_EQ(u, 0xFFFFFFFFu);
    EXPECT_FALSE(TruncToInt(4294967296.0, u));
    EXPECT_FALSE(TruncToInt(-1.0, u));
    EXPECT_TRUE(TruncToInt(-0.5, u));  // truncates to 0
    EXPECT_EQ(u, 0u);

    uint64_t q = 0;
    EXPECT_FALSE(TruncToInt(18446744073709551616.0, q));
    uint8_t b = 0;
    EXPECT_TRUE(TruncToInt(255.5, b));
    EXPECT_FALSE(TruncToInt(256.0, b));
}

TEST(NumConv, SaturateTrunc) {
    EXPECT_EQ(SaturateTrunc<int32_t>(1e300), INT32_MAX);
    EXPECT_EQ(SaturateTrunc<int32_t>(-1e300), INT32_MIN);
    EXPECT_EQ(SaturateTrunc<int32_t>(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(SaturateTrunc<uint16_t>(70000.0), 65535);
    EXPECT_EQ(SaturateTrunc<uint16_t>(-3.0), 0);
}

TEST(NumConv, TruncTolerantRemovesDivisionArtefactsOnly) {
    EXPECT_EQ(TruncTolerant(0.3 / 0.1), 3.0);
    EXPECT_EQ(TruncTolerant(0.35 / 0.1), 3.0);
    EXPECT_EQ(TruncTolerant(-0.3 / 0.1), -3.0);
    EXPECT_EQ(TruncTolerant(2.9), 2.0);
    EXPECT_EQ(TruncTolerant(-2.9), -2.0);
    EXPECT_EQ(TruncTolerant(0.9999999), 0.0);
    EXPECT_EQ(TruncTolerant(1e-12), 0.0);
    EXPECT_EQ(TruncTolerant(4294967294.9999999), 4294967295.0);
}
