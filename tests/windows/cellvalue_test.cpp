#include "windows/cellvalue.h"

#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetrics>
#include <QStringList>

#include "windows/fonts.h"

using namespace vex;

// A cell takes a number only when the whole text is one and it fits; anything else is refused with a
// message instead of being read by its leading digits or cut to its low bits.
TEST(CellValue, NumberCellsTakeWholeNumbersInRangeOrSaySo) {
    struct Case {
        const char* text;
        int expected;  // -1: refused
    } u16[] = {
        {"0", 0},     {"100", 100}, {"65535", 65535}, {"  250 ", 250}, {"+7", 7},         {"", 0},
        {"12ms", -1}, {"1.5", -1},  {"abc", -1},      {"-0", -1},      {"65536", -1},     {"70000", -1},
        {"-5", -1},   {"+", -1},    {"1 2", -1},      {"99999999999", -1},
    };
    for (const Case& c : u16) {
        SCOPED_TRACE(c.text);
        const std::optional<uint16_t> value = ParseU16Cell(c.text);
        const QString message = validateU16Cell(QString::fromUtf8(c.text));
        EXPECT_EQ(value.has_value(), c.expected >= 0);
        if (value) {
            EXPECT_EQ(*value, c.expected);
        }
        EXPECT_EQ(message, c.expected < 0 ? QStringLiteral("请输入0~65535之间的整数。") : QString());
    }
    Case bytes[] = {
        {"0", 0x00}, {"7f", 0x7F}, {"FF", 0xFF}, {" 0a", 0x0A}, {"00FF", 0xFF}, {"", 0x00},
        {"1FF", -1}, {"100", -1},  {"0x10", -1}, {"-1", -1},    {"zz", -1},     {"1 2", -1},
    };
    for (const Case& c : bytes) {
        SCOPED_TRACE(c.text);
        const std::optional<uint8_t> value = ParseHexByteCell(c.text);
        EXPECT_EQ(value.has_value(), c.expected >= 0);
        if (value) {
            EXPECT_EQ(*value, c.expected);
        }
        EXPECT_EQ(validateHexByteCell(QString::fromUtf8(c.text)),
                  c.expected < 0 ? QStringLiteral("请输入00~FF之间的十六进制数。") : QString());
    }
    struct IdCase {
        const char* text;
        int64_t expected;
    } ids[] = {{"123", 0x123},          {"1FFFFFFF", 0x1FFFFFFF}, {"FFFFFFFF", 0xFFFFFFFF},
               {"XYZ-1", -1},           {"12G", -1},              {"", -1},
               {"100000000", -1},       {"0x12", -1}};
    for (const IdCase& c : ids) {
        SCOPED_TRACE(c.text);
        const std::optional<uint32_t> value = ParseHexIdText(c.text);
        EXPECT_EQ(value.has_value(), c.expected >= 0);
        if (value) {
            EXPECT_EQ(*value, c.expected);
        }
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
