#include "windows/cellvalue.h"

#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetrics>
#include <QStringList>

#include "windows/fonts.h"

using namespace vex;

TEST(CellValue, PeriodCountAndDelayCellsAcceptOnly0To65535) {
    struct Case {
        const char* text;
        int expected;  // -1: refused
    } cases[] = {
        {"0", 0},   {"100", 100}, {"65535", 65535},    {"  250", 250},
        {"+7", 7},  {"12ms", 12}, {"1.5", 1},          {"", 0},
        {"abc", 0}, {"-0", 0},    {"65536", -1},       {"70000", -1},
        {"-5", -1}, {"-1", -1},   {"99999999999", -1}, {"-99999999999", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const std::optional<uint16_t> value = ParseU16Cell(c.text);
        const QString message = validateU16Cell(QString::fromUtf8(c.text));
        if (c.expected < 0) {
            EXPECT_FALSE(value.has_value());
            EXPECT_EQ(message, QStringLiteral("请输入0~65535之间的整数。"));
        } else {
            ASSERT_TRUE(value.has_value());
            EXPECT_EQ(*value, c.expected);
            EXPECT_TRUE(message.isEmpty());
        }
    }
}

TEST(CellValue, DataByteCellsKeepTheLow8BitsOfAHexNumber) {
    struct Case {
        const char* text;
        uint8_t expected;
    } cases[] = {
        {"0", 0x00},  {"7f", 0x7F}, {"FF", 0xFF}, {"1A2", 0xA2},       {"0x10", 0x10},
        {"-1", 0xFF}, {"", 0x00},   {"zz", 0x00}, {"123456789", 0xFF},  // beyond 32 bits: clamped, then cut
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ParseHexByteCell(c.text), c.expected);
    }
}

TEST(Fonts, ProgramFaceNamesResolveToInstalledCjkFaces) {
    const QFont list = ListFont();
    EXPECT_EQ(list.family(), QStringLiteral("微软雅黑"));
    EXPECT_EQ(list.weight(), QFont::Normal);
    EXPECT_TRUE(QFontMetrics(list).inFont(QChar(0x540D)));  // 名
    EXPECT_LE(QFontMetrics(list).height(), 22);             // fits the 22-pixel rows
    EXPECT_NE(QFont::substitutes(QStringLiteral("微软雅黑")).size(), 0);
    EXPECT_NE(QFont::substitutes(QStringLiteral("宋体")).size(), 0);
    const QFontInfo song(QFont(QStringLiteral("宋体")));
    EXPECT_TRUE(QFontMetrics(QFont(QStringLiteral("宋体"))).inFont(QChar(0x540D)))
        << song.family().toStdString();
}
