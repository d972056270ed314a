#include "config/colortable.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

TEST(ColorTable, HandsOutTheTableInTurnAndWraps) {
    CColorTable table;
    std::vector<uint32_t> first;
    for (uint32_t i = 0; i < CColorTable::kCount; ++i) first.push_back(table.NextColor());
    EXPECT_EQ(first[0], 0x0000FFu);  // red, green, blue in 0x00BBGGRR
    EXPECT_EQ(first[1], 0x00FF00u);
    EXPECT_EQ(first[2], 0xFF0000u);
    EXPECT_EQ(first[23], 0xCCCC66u);
    EXPECT_EQ(first[59], 0xFF9900u);
    std::map<uint32_t, int> counts;
    for (uint32_t c : first) ++counts[c];
    for (uint32_t c : {0x0000FFu, 0x00FF00u, 0x339900u, 0x336633u, 0xFF9900u}) EXPECT_EQ(counts[c], 5) << c;
    // The 61st request starts again at index 0, and so on for ever.
    for (int round = 0; round < 3; ++round)
        for (uint32_t i = 0; i < CColorTable::kCount; ++i) ASSERT_EQ(table.NextColor(), first[i]);
}
