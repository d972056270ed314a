#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "candb/dbcfile.h"
#include "candb/dbctext.h"
#include "platform/util/fileread.h"
#include "tests/common/testsupport.h"

namespace {

struct Parsed {
    uint32_t result;
    tDBC_IMPORT import;
    const tCAN_DATABASE& db() const { return import.Database; }
};

Parsed parse(const std::string& text) {
    Parsed p;
    p.result = ParseDbcText(p.import, text);
    return p;
}

// The one signal of a file holding one message with the given SG_ line.
CCanSignal parseSignal(const std::string& sgLine) {
    Parsed p = parse("BO_ 100 M: 8 X\n" + sgLine + "\n");
    EXPECT_EQ(p.result, kDbcOk);
    if (p.db().Messages.size() != 1 || p.db().Messages[0].Signals.size() != 1) {
        ADD_FAILURE() << "no single signal from: " << sgLine;
        return {};
    }
    return p.db().Messages[0].Signals[0];
}

// The remarks of an import as "<line>: <text>", in order.
std::vector<std::string> remarks(const tDBC_IMPORT& import) {
    std::vector<std::string> out;
    for (const tDBC_REMARK& r : import.Remarks) out.push_back(std::to_string(r.LineNo) + ": " + r.Text);
    return out;
}

const char kHeader[] =
    "VERSION \"\"\r\n\r\n\r\nNS_ :\r\n\tNS_DESC_\r\n\tCM_\r\n\tSG_MUL_VAL_\r\n\r\nBS_:\r\n\r\nBU_: A "
    "B\r\n\r\n";

}  // namespace

TEST(DbcRead, HeaderOnlyFileGivesAnEmptyDatabaseNamedAfterTheFile) {
    vextest::TempDir dir;
    vextest::writeFile(dir / "Car.old.dbc", kHeader);
    tDBC_IMPORT import;
    EXPECT_EQ(ParseDbcFile(import, (dir / "Car.old.dbc").string()), kDbcOk);
    EXPECT_EQ(import.Name, "Car.old");
    EXPECT_EQ(import.LineNo, 12);
    EXPECT_TRUE(import.Database.Messages.empty());
    EXPECT_TRUE(import.Database.Enums.empty());
    EXPECT_EQ(import.Database.FileVer, "--");
    EXPECT_EQ(import.Database.LastEditDateTime, "--");
    EXPECT_EQ(import.Database.Author, "");
}

TEST(DbcRead, OpenFailures) {
    tDBC_IMPORT import;
    EXPECT_EQ(ParseDbcFile(import, ""), kDbcFailed);
    EXPECT_EQ(import.LineNo, -1);
    vextest::TempDir dir;
    EXPECT_EQ(ParseDbcFile(import, (dir / "missing.dbc").string()), kDbcCannotRead);
    EXPECT_EQ(import.LineNo, -1);
    EXPECT_EQ(ParseDbcFile(import, dir.path().string()), kDbcCannotRead);  // a folder
    EXPECT_EQ(import.LineNo, -1);
}

TEST(DbcRead, NameFromPath) {
    EXPECT_EQ(DbcNameFromPath("/a/b/Car.dbc"), "Car");
    EXPECT_EQ(DbcNameFromPath("C:\\db\\Car.old.DBC"), "Car.old");
    EXPECT_EQ(DbcNameFromPath("/my.folder/body"), "body");  // a dot in a folder name is not an extension
    EXPECT_EQ(DbcNameFromPath("Car"), "Car");
}

TEST(DbcRead, MessageLine) {
    struct Case {
        const char* line;
        const char* name;
        uint32_t id;
        uint8_t ext, dl;
        const char* remark = "";
    } cases[] = {
        {"BO_ 2364539904 M: 8 X", "M", 0x0CF00400, 1, 8},  // 0x0CF00400 + 0x80000000
        {"BO_ 2047 M: 8 X", "M", 0x7FF, 0, 8},
        {"BO_ 2147483648 M: 8 X", "M", 0, 1, 8},  // the extended identifier 0
        {"BO_ 100 Engine: 8 ECU", "Engine", 100, 0, 8},
        {"BO_ 100 Engine : 6 ECU", "Engine", 100, 0, 6},  // no trailing blank in the name
        {"BO_ 100 Engine: 7", "Engine", 100, 0, 7},       // no transmitter
        {"BO_ 100 Fd: 64 X", "Fd", 100, 0, 64},
        {"BO_ 100 Big: 300 X", "Big", 100, 0, 255},
        // Every identifier the import takes otherwise than the file writes it is named with what it became:
        // beyond 11 bits without the extended mark, the 29-bit identifier it is; beyond 29 bits, the low 11
        // bits, or the low 29 of a number marked extended; beyond 32 bits, the C library's 0xFFFFFFFF.
        {"BO_ 2049 M: 8 X", "M", 2049, 1, 8,
         "1: 报文[M]的ID[2049]超出11位且未标记为扩展帧，已按扩展帧ID[0x801]导入。"},
        {"BO_ 274923520 Door: 1 GMLAN", "Door", 274923520, 1, 1, "超出11位"},
        {"BO_ 1073741824 Odd: 0 X", "Odd", 0, 0, 0,
         "1: 报文[Odd]的ID[1073741824]超出29位，已按标准帧ID[0x0]导入。"},
        {"BO_ 4294967295 M: 8 X", "M", 0x1FFFFFFF, 1, 8,
         "1: 报文[M]的ID[4294967295]超出29位，已按扩展帧ID[0x1FFFFFFF]导入。"},
        {"BO_ 3221225473 M: 8 X", "M", 1, 1, 8,
         "1: 报文[M]的ID[3221225473]超出29位，已按扩展帧ID[0x1]导入。"},
        {"BO_ 004294967295 M: 8 X", "M", 0x1FFFFFFF, 1, 8, "超出29位"},
        {"BO_ 99999999999 M: 8 X", "M", 0x1FFFFFFF, 1, 8,
         "1: 报文[M]的ID[99999999999]超出32位，已按扩展帧ID[0x1FFFFFFF]导入。"},
    };
    for (const Case& c : cases) {
        Parsed p = parse(std::string(c.line) + "\n");
        ASSERT_EQ(p.result, kDbcOk) << c.line;
        ASSERT_EQ(p.db().Messages.size(), 1u) << c.line;
        const CCanMsg& m = p.db().Messages[0];
        EXPECT_EQ(m.Name, c.name) << c.line;
        EXPECT_EQ(m.id, c.id) << c.line;
        EXPECT_EQ(m.Ext, c.ext) << c.line;
        EXPECT_EQ(m.Rmt, 0) << c.line;
        EXPECT_EQ(m.DL, c.dl) << c.line;
        const std::vector<std::string> r = remarks(p.import);
        if (*c.remark == 0) {
            EXPECT_TRUE(r.empty()) << c.line;
        } else {
            ASSERT_EQ(r.size(), 1u) << c.line;
            EXPECT_NE(r[0].find(c.remark), std::string::npos) << r[0];
        }
    }
}

TEST(DbcRead, SignalLine) {
    struct Case {
        const char* line;
        const char* name;
        int start, len, intel, sign;
        double factor, offset, min, max;
        const char* unit;
    } cases[] = {
        {" SG_ S : 7|16@1- (0.5,-10) [-3.4E+38|3.4E+38] \"km/h\" A,B", "S", 7, 16, 1, 1, 0.5, -10, -3.4e38,
         3.4e38, "km/h"},
        {"SG_ S : 39|12@0+ (1,0) [0|4095] \"\" X", "S", 39, 12, 0, 0, 1, 0, 0, 4095, ""},
        {"SG_ S : 0|8@1+ (1e-3,+2.5E+1) [0|1] \"deg C\" X", "S", 0, 8, 1, 0, 0.001, 25, 0, 1, "deg C"},
        {"SG_ Mux M : 0|4@1+ (1,0) [0|15] \"\" X", "Mux M", 0, 4, 1, 0, 1, 0, 0, 15, ""},
        {"SG_ Val m12 : 8|8@1- (2,0) [-256|254] \"%\" X", "Val m12", 8, 8, 1, 1, 2, 0, -256, 254, "%"},
        {"SG_ Bare : 3|2@1+", "Bare", 3, 2, 1, 0, 1, 0, 0, 0, ""},
        {"SG_ Odd : 3|2@1 (1,0) [0|3] \"\" X", "Odd", 3, 2, 1, 0, 1, 0, 0, 3, ""},  // no sign: unsigned
        {"SG_ Top : 56|8@1+ (1,0) [0|255] \"\" X", "Top", 56, 8, 1, 0, 1, 0, 0, 255, ""},
        {"SG_ All : 7|32@0- (-1,0) [0|0] \"\" X", "All", 7, 32, 0, 1, -1, 0, 0, 0, ""},
    };
    for (const Case& c : cases) {
        const CCanSignal s = parseSignal(c.line);
        EXPECT_EQ(s.Name, c.name) << c.line;
        EXPECT_EQ(s.BitOffset, c.start) << c.line;
        EXPECT_EQ(s.BitLen, c.len) << c.line;
        EXPECT_EQ(s.ByteFmtIntel, c.intel) << c.line;
        EXPECT_EQ(s.Sign, c.sign) << c.line;
        EXPECT_DOUBLE_EQ(s.ValFactor, c.factor) << c.line;
        EXPECT_DOUBLE_EQ(s.ValOffset, c.offset) << c.line;
        EXPECT_DOUBLE_EQ(s.PhyMin, c.min) << c.line;
        EXPECT_DOUBLE_EQ(s.PhyMax, c.max) << c.line;
        EXPECT_EQ(s.Unit, c.unit) << c.line;
        EXPECT_EQ(s.Enum, 0);
        EXPECT_EQ(s.ErrValue, 0.0);
        EXPECT_EQ(s.Description, "");
    }
}

// Each SG_ line makes a fresh signal: what a line lacks is not taken from the line before.
TEST(DbcRead, SignalsDoNotInheritFields) {
    Parsed p = parse(
        "BO_ 1 M: 8 X\n"
        " SG_ A : 7|8@1- (0.5,3) [1|2] \"V\" X\n"
        " SG_ B : 0|4@0\n");
    ASSERT_EQ(p.db().Messages.at(0).Signals.size(), 2u);
    CCanSignal expected;
    expected.Name = "B";
    expected.BitLen = 4;
    EXPECT_EQ(p.db().Messages[0].Signals[1], expected);
}

// What the program could neither decode nor edit is left out, each with a remark naming it at its line,
// and the import goes on: a signal beyond the eight data bytes or longer than 32 bits, a factor of 0 or
// one that is no finite number, a signal line without its position, a second signal or message of a
// name or identifier already taken (with the line of the first), a message line without identifier or
// name, lines that are no statement (inside a block too: the block goes on), a signal line after the
// empty line that ended its block, and value descriptions of signals the file does not hold. A value
// description of a signal left out adds nothing to its remark.
TEST(DbcRead, WhatCannotBeTakenIsLeftOutAndNamed) {
    Parsed p = parse(
        "VERSION \"\"\n"                                        // 1
        "BO_ 100 Engine: 8 ECU\n"                               // 2
        " SG_ Speed : 0|16@1+ (0.1,0) [0|6553.5] \"km/h\" X\n"  // 3
        " SG_ Far : 999|8@1+ (1,0) [0|255] \"\" X\n"            // 4
        " SG_ Wide : 0|200@1+ (1,0) [0|1] \"\" X\n"             // 5
        " SG_ Edge : 60|8@1+ (1,0) [0|255] \"\" X\n"            // 6
        " SG_ Moto : 63|8@0+ (1,0) [0|255] \"\" X\n"            // 7
        "#@! garbage inside the block\n"                        // 8
        " SG_ Zero : 16|8@1+ (0,5) [0|255] \"\" X\n"            // 9
        " SG_ NaN : 24|8@1+ (nan,0) [0|255] \"\" X\n"           // 10
        " SG_ Inf : 32|8@1+ (1,0) [0|1e999] \"\" X\n"           // 11
        " SG_ Speed : 40|8@1+ (1,0) [0|255] \"\" X\n"           // 12
        " SG_ NoPlace : 48 8 (1,0) [0|255] \"\" X\n"            // 13
        " SG_ : 48|8@1+ (1,0) [0|255] \"\" X\n"                 // 14
        " SG_ Gear : 48|4@1+ (1,0) [0|15] \"\" X\n"             // 15
        "\n"                                                    // 16
        " SG_ Stray : 52|4@1+ (1,0) [0|15] \"\" X\n"            // 17
        "BO_ 100 Again: 8 ECU\n"                                // 18
        " SG_ A : 0|8@1+ (1,0) [0|255] \"\" X\n"                // 19
        "BO_ abc NoId: 8 ECU\n"                                 // 20
        "BO_ 101 : 8 ECU\n"                                     // 21
        "this is no statement\n"                                // 22
        "VAL_ 100 Far 1 \"one\" ;\n"                            // 23
        "VAL_ 100 Missing 1 \"one\" ;\n"                        // 24
        "VAL_ 100 Gear 1 \"one\" ;\n");                         // 25
    ASSERT_EQ(p.result, kDbcOk);
    ASSERT_EQ(p.db().Messages.size(), 1u);
    std::string kept;
    for (const CCanSignal& s : p.db().Messages[0].Signals) kept += s.Name + " ";
    EXPECT_EQ(kept, "Speed Moto Gear ");
    EXPECT_EQ(p.db().Messages[0].Signals[2].SigEnum.Items, (std::vector<tCAN_SIGNAL_ENUM_ITEM>{{"one", 1}}));
    const std::vector<std::string> expected = {
        "4: 报文[Engine]的信号[Far]：位置（起始位999，长度8）超出8个数据字节，已跳过。",
        "5: 报文[Engine]的信号[Wide]：位长度为200，不在1~32之内，已跳过。",
        "6: 报文[Engine]的信号[Edge]：位置（起始位60，长度8）超出8个数据字节，已跳过。",
        "8: 无法识别的语句，已跳过。",
        "9: 报文[Engine]的信号[Zero]：转换因子为0，已跳过。",
        "10: 报文[Engine]的信号[NaN]：转换因子、偏移或范围不是有限的数，已跳过。",
        "11: 报文[Engine]的信号[Inf]：转换因子、偏移或范围不是有限的数，已跳过。",
        "12: 报文[Engine]的信号[Speed]：与同一报文中的信号重名，已跳过。",
        "13: 报文[Engine]的信号[NoPlace]：信号语句缺少名称或位置（起始位|长度@字节序），已跳过。",
        "14: 报文[Engine]的信号[]：信号语句缺少名称或位置（起始位|长度@字节序），已跳过。",
        "17: 信号[Stray]不在报文中（报文块已由空行结束），已跳过。",
        "18: 报文[Again]的ID与第[2]行的报文[Engine]相同，已跳过（含1个信号）。",
        "20: 报文语句缺少ID或名称，已跳过（含0个信号）。",
        "21: 报文语句缺少ID或名称，已跳过（含0个信号）。",
        "22: 无法识别的语句，已跳过。",
        "24: 值描述所属的信号[Missing]不在文件的报文中，已跳过。",
    };
    EXPECT_EQ(remarks(p.import), expected);
    EXPECT_EQ(p.import.RemarkCount, expected.size());
}

// A file's bytes of which no line is a DBC statement are refused as a whole; a file that cannot be read
// to its end (a device, a FIFO that would wait for a writer) is refused with the reason. Only the first
// remarks are kept; all are counted.
TEST(DbcRead, WhatIsNoDbcFileIsRefused) {
    std::string random;
    uint32_t x = 12345;
    for (int i = 0; i < 4096; ++i) random += static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
    for (const std::string& bytes : {std::string(), std::string("\n\n  \n"), random,
                                     std::string("Hello,\nthis is a letter.\n"), std::string("\0\0\0", 3)}) {
        Parsed p = parse(bytes);
        EXPECT_EQ(p.result, kDbcNotDbc) << bytes.size();
        EXPECT_TRUE(p.db().Messages.empty());
    }
    EXPECT_EQ(parse("VERSION \"\"\n").result, kDbcOk);
    EXPECT_EQ(parse("BS_:\n").result, kDbcOk);

    vextest::TempDir dir;
    tDBC_IMPORT import;
    if (std::filesystem::exists("/bin/ls")) {
        EXPECT_EQ(ParseDbcFile(import, "/bin/ls"), kDbcNotDbc);
        EXPECT_EQ(import.Name, "ls");
    }
    const std::string fifo = (dir / "pipe.dbc").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(ParseDbcFile(import, fifo), kDbcCannotRead);
    EXPECT_EQ(import.Reason, vex::kNotRegularFile);
    EXPECT_EQ(import.LineNo, -1);
    EXPECT_EQ(ParseDbcFile(import, "/dev/zero"), kDbcCannotRead);
    EXPECT_EQ(import.Reason, vex::kNotRegularFile);
    EXPECT_EQ(ParseDbcFile(import, (dir / "missing.dbc").string()), kDbcCannotRead);
    EXPECT_EQ(import.Reason, "No such file or directory");

    std::string many = "BO_ 1 M: 8 X\n";
    for (size_t i = 0; i < kDbcRemarksKept + 50; ++i) many += "?\n";
    Parsed p = parse(many);
    EXPECT_EQ(p.result, kDbcOk);
    EXPECT_EQ(p.import.RemarkCount, kDbcRemarksKept + 50);
    ASSERT_EQ(p.import.Remarks.size(), kDbcRemarksKept);
    EXPECT_EQ(p.import.Remarks.back().LineNo, static_cast<int32_t>(kDbcRemarksKept) + 1);
}

// A block ends at the first line that does not belong to it; that line is read as a statement.
TEST(DbcRead, BlocksEndAtTheFirstForeignLine) {
    Parsed p = parse(
        "NS_ :\n"
        "\tCM_\n"
        "BS_:\n"
        "BU_: A B\n"
        "BO_ 1 First: 8 A\n"
        " SG_ S1 : 0|8@1+ (1,0) [0|255] \"\" B\n"
        "BO_ 2 Second: 8 A\n"
        " SG_ S2 : 0|8@1+ (1,0) [0|255] \"\" B\n"
        "VAL_TABLE_ T 1 \"one\" ;\n"
        "BO_ 3 Third: 8 A\n"
        "CM_ BO_ 3 \"c\";\n"
        "VAL_ 2 S2 1 \"one\" ;\n");
    ASSERT_EQ(p.result, kDbcOk);
    ASSERT_EQ(p.db().Messages.size(), 3u);
    EXPECT_EQ(p.db().Messages[0].Name, "First");
    EXPECT_EQ(p.db().Messages[1].Signals.at(0).Name, "S2");
    EXPECT_EQ(p.db().Messages[1].Signals[0].Enum, 1);
    EXPECT_TRUE(p.db().Messages[2].Signals.empty());
    ASSERT_EQ(p.db().Enums.size(), 1u);
    EXPECT_EQ(p.import.LineNo, 12);
}

TEST(DbcRead, FreeSignalMessage) {
    Parsed p = parse(
        "BO_ 3221225472 VECTOR__INDEPENDENT_SIG_MSG: 0 Vector__XXX\n"
        " SG_ Loose : 0|8@1+ (1,0) [0|255] \"\" X\n"
        "\n"
        "BO_ 5 M: 8 X\n"
        "\n"
        "BO_ 3221225472 Second: 0 X\n"
        "VAL_ 3221225472 Loose 0 \"zero\" ;\n");
    ASSERT_EQ(p.result, kDbcOk);
    EXPECT_EQ(p.db().FreeSigMsg.Name, "VECTOR__INDEPENDENT_SIG_MSG");
    EXPECT_EQ(p.db().FreeSigMsg.id, 0xC0000000u);
    EXPECT_EQ(p.db().FreeSigMsg.Ext, 1);
    ASSERT_EQ(p.db().FreeSigMsg.Signals.size(), 1u);
    EXPECT_EQ(p.db().FreeSigMsg.Signals[0].Enum, 1);
    // Only the first pseudo message is taken; a second one has an identifier already taken.
    ASSERT_EQ(p.db().Messages.size(), 1u);
    EXPECT_EQ(remarks(p.import), (std::vector<std::string>{
                                     "6: 报文[Second]的ID与第[1]行的报文[VECTOR__INDEPENDENT_SIG_MSG]相同，"
                                     "已跳过（含0个信号）。"}));
}

// Public value tables keep their values as written: they belong to no signal.
TEST(DbcRead, ValueTables) {
    Parsed p = parse(
        "VAL_TABLE_ Gear 3 \" D \" 0 \"\" -1 \"R\" ;\n"
        "VAL_TABLE_ Semi 1 \"a;b\" 2 \"c\";tail 3 \"d\"\n"
        "VAL_TABLE_ Empty ;\n"
        "VAL_TABLE_ Esc 1 \"say \\\"hi\\\"\" ;\n"
        "VAL_TABLE_ Tail 1 \" a\\  \" 2 \"b\\\\ \" ;\n");
    ASSERT_EQ(p.result, kDbcOk);
    const auto& e = p.db().Enums;
    ASSERT_EQ(e.size(), 5u);
    EXPECT_EQ(e[0], (tCAN_SIGNAL_ENUM{"Gear", {{"D", 3}, {"", 0}, {"R", -1}}}));
    EXPECT_EQ(e[1], (tCAN_SIGNAL_ENUM{"Semi", {{"a;b", 1}, {"c", 2}}}));
    EXPECT_EQ(e[2], (tCAN_SIGNAL_ENUM{"Empty", {}}));
    EXPECT_EQ(e[3], (tCAN_SIGNAL_ENUM{"Esc", {{"say \\\"hi\\\"", 1}}}));
    EXPECT_EQ(p.import.RemarkCount, 0u);
    // A blank a backslash takes stays with the text (else the export's closing quote would be taken).
    EXPECT_EQ(e[4], (tCAN_SIGNAL_ENUM{"Tail", {{"a\\ ", 1}, {"b\\\\", 2}}}));
    Parsed again = parse(FormatDbcFile(p.db()));
    ASSERT_EQ(again.result, kDbcOk);
    EXPECT_EQ(again.db().Enums, e);
}

TEST(DbcRead, ValueDescriptions) {
    Parsed p = parse(
        "BO_ 2566844158 Ext: 8 X\n"
        " SG_ S : 0|8@1+ (1,0) [0|255] \"\" X\n"
        "BO_ 254 Std: 8 X\n"
        " SG_ S : 0|8@1+ (1,0) [0|255] \"\" X\n"
        " SG_ Mode M : 8|4@1+ (1,0) [0|15] \"\" X\n"
        " SG_ Sub m1 : 12|4@1+ (1,0) [0|15] \"\" X\n"
        " SG_ Plain : 16|4@1+ (1,0) [0|15] \"\" X\n"
        "VAL_ 2566844158 S 1 \"ext\" ;\n"
        "VAL_ 254 S 1 \" std \" 2 \"two\";\n"
        "VAL_ 254 Mode 0 \"a\" ;\n"
        "VAL_ 254 Sub 0 \"b\" ;\n"
        "VAL_ 254 Missing 0 \"x\" ;\n"
        "VAL_ 255 Plain 0 \"x\" ;\n");
    ASSERT_EQ(p.result, kDbcOk);
    const auto& ext = p.db().Messages.at(0).Signals.at(0);
    EXPECT_EQ(ext.Enum, 1);
    EXPECT_EQ(ext.SigEnum, (tCAN_SIGNAL_ENUM{"S", {{"ext", 1}}}));
    const auto& std = p.db().Messages.at(1).Signals;
    EXPECT_EQ(std.at(0).SigEnum, (tCAN_SIGNAL_ENUM{"S", {{" std ", 1}, {"two", 2}}}));  // texts kept whole
    EXPECT_EQ(std.at(1).SigEnum, (tCAN_SIGNAL_ENUM{"Mode", {{"a", 0}}}));               // multiplexed signals
    EXPECT_EQ(std.at(2).SigEnum, (tCAN_SIGNAL_ENUM{"Sub", {{"b", 0}}}));
    EXPECT_EQ(std.at(3).Enum, 0);  // another identifier
    EXPECT_TRUE(std.at(3).SigEnum.Items.empty());
    EXPECT_TRUE(p.db().Enums.empty());
    EXPECT_EQ(remarks(p.import),
              (std::vector<std::string>{"12: 值描述所属的信号[Missing]不在文件的报文中，已跳过。",
                                        "13: 值描述所属的信号[Plain]不在文件的报文中，已跳过。"}));
}

// A value description is keyed on raw values, a value table on the physical values the codec compares:
// each key becomes the value through which the codec shows that raw value, so the signal shows the file's
// text for it. A signed signal's key written as its bit pattern is the negative value it stands for (the
// same key as its negative form: the later text wins). Different keys that come to one value cannot be
// told apart: all of them are left out and named, and their raw values show as numbers, never another
// key's text; a signal left with no entry has no table. A key that does not come back from its value
// exactly is named with its signal; one whose value is no 32-bit integer is left out, named too.
TEST(DbcRead, ValueDescriptionKeysAreRawValues) {
    Parsed p = parse(
        "BO_ 1 M: 8 X\n"                                              // 1
        " SG_ Susp : 0|9@1+ (0.782779,-200) [-200|199.2] \"mm\" X\n"  // 2
        " SG_ Range : 16|16@1+ (0.1,0) [0|6553.5] \"km\" X\n"         // 3
        " SG_ Temp : 32|8@1- (1,-40) [-168|87] \"C\" X\n"             // 4
        " SG_ Big : 32|32@1+ (1000,0) [0|1] \"\" X\n"                 // 5
        " SG_ Neg : 40|8@1+ (-2,10) [0|1] \"\" X\n"                   // 6
        " SG_ Odo : 48|12@1+ (0.1,0) [0|409.3] \"km\" X\n"            // 7
        "\n"                                                          // 8
        "VAL_ 1 Susp 511 \"Fault\" 0 \"Min\" ;\n"                     // 9
        "VAL_ 1 Range 65535 \"Faulty\" 20 \"Two\" 65534 \"None\" 10 \"One\" 4095 \"Mid\" 25 \"Half\" "
        ";\n"                                                                 // 10
        "VAL_ 1 Temp 255 \"Err\" -128 \"Low\" 127 \"High\" -1 \"Error\" ;\n"  // 11
        "VAL_ 1 Big 1 \"k\" 4294967295 \"max\" ;\n"                           // 12
        "VAL_ 1 Neg 3 \"three\" ;\n"                                          // 13
        "VAL_ 1 Odo 4095 \"Faulty\" 4094 \"NoDataExists\" ;\n");              // 14
    ASSERT_EQ(p.result, kDbcOk);
    const std::vector<CCanSignal>& sigs = p.db().Messages.at(0).Signals;
    ASSERT_EQ(sigs.size(), 6u);
    using Items = std::vector<tCAN_SIGNAL_ENUM_ITEM>;
    EXPECT_EQ(sigs[0].SigEnum.Items, (Items{{"Fault", 200}, {"Min", -200}}));
    EXPECT_EQ(sigs[1].SigEnum.Items, (Items{{"One", 1}, {"Mid", 409}}));
    EXPECT_EQ(sigs[2].SigEnum.Items, (Items{{"Err", -41}, {"Low", -168}, {"High", 87}, {"Error", -41}}));
    EXPECT_EQ(sigs[3].SigEnum.Items, (Items{{"k", 1000}}));
    EXPECT_EQ(sigs[4].SigEnum.Items, (Items{{"three", 4}}));
    EXPECT_EQ(sigs[5].Enum, 0);
    EXPECT_EQ(sigs[5].SigEnum, tCAN_SIGNAL_ENUM());
    // The texts the codec shows for the raw keys: the file's own, or the number for a key left out.
    auto shown = [](const CCanSignal& s, int64_t raw) {
        double phy = 0;
        std::string text;
        if (s.Sign)
            s.SignedRawToPhyText(static_cast<int32_t>(raw), phy, text);
        else
            s.UnsignedRawToPhyText(static_cast<uint32_t>(raw), phy, text);
        return text;
    };
    struct Case {
        size_t signal;
        int64_t raw;
        const char* text;
    } cases[] = {
        {0, 511, "Fault"}, {0, 510, "199.21729"},  // no entry: the number
        {1, 10, "One"},    {1, 4095, "Mid"},      {1, 65535, "6553.5"}, {1, 65534, "6553.4"},
        {1, 20, "2"},      {1, 25, "2.5"},        {2, -1, "Error"},     {2, -128, "Low"},
        {4, 3, "three"},   {5, 4095, "409.5"},    {5, 4094, "409.4"},   {5, 4090, "409"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(shown(sigs[c.signal], c.raw), c.text) << sigs[c.signal].Name << c.raw;
    EXPECT_EQ(remarks(p.import),
              (std::vector<std::string>{
                  "10: 信号[Range]的4项值描述按因子和偏移换算后物理值相同、无法区分，已跳过："
                  "原始值65535、65534（物理值6553）；原始值20、25（物理值2）。",
                  "10: 信号[Range]的1项值描述（如原始值4095）按因子和偏移换算为物理值后不能精确还原，"
                  "导出时原始值会改变。",
                  "12: 信号[Big]的1项值描述（如原始值4294967295）换算出的物理值超出32位整数，已跳过。",
                  "14: 信号[Odo]的2项值描述按因子和偏移换算后物理值相同、无法区分，已跳过："
                  "原始值4095、4094（物理值409）。"}));
    EXPECT_EQ(p.import.RemarkCount, 4u);

    // What is kept survives export and import: the same tables, and no remark but the one key that the
    // export writes as the first raw value shown through its value.
    Parsed again = parse(FormatDbcFile(p.db()));
    ASSERT_EQ(again.result, kDbcOk);
    EXPECT_TRUE(again.db() == p.db());
    EXPECT_EQ(again.import.RemarkCount, 0u);
}

// However many keys share values, the report lists a bounded number of them and counts them all.
TEST(DbcRead, SharedValueKeysAreListedUpToABound) {
    std::string text = "BO_ 1 M: 8 X\n SG_ Fine : 0|16@1+ (0.01,0) [0|1] \"\" X\n\nVAL_ 1 Fine";
    for (int raw = 0; raw < 1000; ++raw) text += " " + std::to_string(raw) + " \"t\"";
    Parsed p = parse(text + " ;\n");
    ASSERT_EQ(p.result, kDbcOk);
    EXPECT_EQ(p.db().Messages.at(0).Signals.at(0).Enum, 0);
    ASSERT_EQ(p.import.Remarks.size(), 1u);
    std::string listed = "原始值0";
    for (int raw = 1; raw < 24; ++raw) listed += "、" + std::to_string(raw);
    EXPECT_EQ(p.import.Remarks[0].Text,
              "信号[Fine]的1000项值描述按因子和偏移换算后物理值相同、无法区分，已跳过：" + listed +
                  "等（物理值0）。");
}

// Comments and value descriptions may span lines; every line counts, and ';' inside quoted texts (also
// escaped quotes) does not end the statement. A value table without a blank before its ';' fails the import
// at its line, and nothing after it is read.
TEST(DbcRead, StatementsOverSeveralLines) {
    Parsed p = parse(
        "BO_ 1 M: 8 X\n"                          // 1
        " SG_ S : 0|8@1+ (1,0) [0|255] \"\" X\n"  // 2
        "\n"                                      // 3
        "CM_ SG_ 1 S \"first; line\n"             // 4
        "BO_ 2 NotAMessage: 8 X\n"                // 5
        "say \\\"x;\\\" done\";\n"                // 6
        "VAL_ 1 S 1 \"one\"\n"                    // 7
        "  0 \"zero\"\n"                          // 8
        "  ;\n"                                   // 9
        "VAL_TABLE_ Broken;\n"                    // 10
        "BO_ 3 After: 8 X\n");                    // 11
    EXPECT_EQ(p.result, kDbcFailed);
    EXPECT_EQ(p.import.LineNo, 10);
    ASSERT_EQ(p.db().Messages.size(), 1u);
    EXPECT_EQ(p.db().Messages[0].Signals.at(0).SigEnum.Items,
              (std::vector<tCAN_SIGNAL_ENUM_ITEM>{{"one", 1}, {"zero", 0}}));
}

// A statement whose ';' is missing never swallows the statements after it, and the end of the file ends
// it without an error. A value list without its ';' is taken as far as its own line (and the lines that
// can only continue it) and named at its line; the file imports as it does with the ';' added.
TEST(DbcRead, MissingTerminators) {
    Parsed p = parse(
        "BO_ 1 M: 8 X\n"
        " SG_ S : 0|8@1+ (1,0) [0|255] \"\" X\n"
        " SG_ T : 8|8@1+ (1,0) [0|255] \"\" X\n"
        "\n"
        "CM_ BO_ 1 \"no terminator\"\n"
        "BO_ 2 After: 8 X\n"
        "\n"
        "VAL_ 1 S 1 \"one\"\n"
        "  2 \"two\" ;\n"
        "CM_ SG_ 1 S \"never closed\n"
        "BO_ 3 Last: 8 X\n");
    ASSERT_EQ(p.result, kDbcOk);
    ASSERT_EQ(p.db().Messages.size(), 3u);
    EXPECT_EQ(p.db().Messages[1].Name, "After");
    EXPECT_EQ(p.db().Messages[2].Name, "Last");
    EXPECT_EQ(p.db().Messages[0].Signals.at(0).SigEnum.Items,
              (std::vector<tCAN_SIGNAL_ENUM_ITEM>{{"one", 1}, {"two", 2}}));
    EXPECT_EQ(p.import.LineNo, 11);

    const std::string head = "BO_ 1 M: 8 X\n SG_ S : 0|8@1+ (1,0) [0|255] \"\" X\n\n";  // lines 1-3
    const std::string after = "BO_ 2 After: 8 X\n";
    using Items = std::vector<tCAN_SIGNAL_ENUM_ITEM>;
    struct Case {
        std::string tail;
        std::string withTerminator;  // the same file with the ';' in place; empty: none can be added
        Items items;                 // of the signal, or of the value table
        std::string remark;
        size_t messages;
    } cases[] = {
        {"VAL_ 1 S 1 \"one\"",
         "VAL_ 1 S 1 \"one\";",
         {{"one", 1}},
         "4: 信号[S]的值描述缺少结尾的分号，已读至行尾。",
         1},
        {"VAL_ 1 S 1 \"one\" 0 \"zero\"\n" + after,
         "VAL_ 1 S 1 \"one\" 0 \"zero\" ;\n" + after,
         {{"one", 1}, {"zero", 0}},
         "4: 信号[S]的值描述缺少结尾的分号，已读至行尾。",
         2},
        {"CM_ \"x\";\nVAL_ 1 S 1 \"one\"\n  0 \"zero\"\n\n" + after,
         "CM_ \"x\";\nVAL_ 1 S 1 \"one\"\n  0 \"zero\";\n\n" + after,
         {{"one", 1}, {"zero", 0}},
         "5: 信号[S]的值描述缺少结尾的分号，已读至第[6]行末尾。",
         2},
        // The ';' inside a text that runs to the end of the file: the list is its own line.
        {"VAL_ 1 S 1 \"one;\n" + after,
         "",
         {{"one;", 1}},
         "4: 信号[S]的值描述缺少结尾的分号，已读至行尾。",
         2},
        {"VAL_TABLE_ Open 1 \"one\" 2 \"two\n",
         "",
         {{"one", 1}, {"two", 2}},
         "4: 值表[Open]缺少结尾的分号，已读至行尾。",
         1},
        {"VAL_TABLE_ Dangling 1 \"one\" 2\n" + after,
         "VAL_TABLE_ Dangling 1 \"one\" 2;\n" + after,
         {{"one", 1}},
         "4: 值表[Dangling]缺少结尾的分号，已读至行尾。",
         2},
        {"VAL_TABLE_ Last 1 \"one\" 0 \"zero\"",
         "VAL_TABLE_ Last 1 \"one\" 0 \"zero\";",
         {{"one", 1}, {"zero", 0}},
         "4: 值表[Last]缺少结尾的分号，已读至行尾。",
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tail);
        Parsed f = parse(head + c.tail);
        ASSERT_EQ(f.result, kDbcOk);
        EXPECT_EQ(remarks(f.import), std::vector<std::string>{c.remark});
        ASSERT_EQ(f.db().Messages.size(), c.messages);
        const bool table = c.tail.find("VAL_TABLE_") != std::string::npos;
        EXPECT_EQ(table ? f.db().Enums.at(0).Items : f.db().Messages[0].Signals.at(0).SigEnum.Items, c.items);
        if (c.withTerminator.empty()) continue;
        Parsed t = parse(head + c.withTerminator);
        ASSERT_EQ(t.result, kDbcOk);
        EXPECT_TRUE(t.db() == f.db());
        EXPECT_TRUE(t.import.Remarks.empty());
    }
}

// A quoted text that runs to the end of the file from every line is not scanned to the end again for
// each of them: read linearly, 300,000 such lines take milliseconds; rescanned, they would take hours and
// the test would run into ctest's time-out.
TEST(DbcRead, UnclosedQuotesOnEveryLineStayLinear) {
    std::string text;
    for (int i = 0; i < 300000; ++i) text += "CM_ \\\"x\n";
    text += "BO_ 1 M: 8 X\n";
    Parsed p = parse(text);
    EXPECT_EQ(p.result, kDbcOk);
    EXPECT_EQ(p.import.LineNo, 300001);
    EXPECT_EQ(p.db().Messages.size(), 1u);
}

// What an earlier statement learnt of a quoted text that runs to the end of the file (and recorded, so the
// text is not scanned again) gives a later statement what it would find by scanning: here the comment of
// line 2 meets at line 3 the state from which the comment of line 1 ran into the end of the file, and is
// its own line alone either way, so lines 3 and 4 are read (and named) as statements.
TEST(DbcRead, QuotesRunningToTheEndReadAlikeWhetherRecordedOrScanned) {
    const std::string rest =
        "CM_ \"b\n"   // 2: opens a text (and closes the one of line 1)
        "\"\\\"\"\n"  // 3: the same state after it, seen from either comment
        "\"c\n";      // 4: a text that runs to the end
    const std::vector<std::string> expected{"3: 无法识别的语句，已跳过。", "4: 无法识别的语句，已跳过。"};
    for (const std::string& first : {std::string("CM_ \"a\n"), std::string("BS_:\n")}) {
        SCOPED_TRACE(first);
        Parsed p = parse(first + rest);
        EXPECT_EQ(p.result, kDbcOk);
        EXPECT_EQ(remarks(p.import), expected);
    }
}

// Value descriptions bind to the message of their identifier, read before them.
TEST(DbcRead, ValueDescriptionsFindTheirMessage) {
    Parsed p = parse(
        "VAL_ 5 S 9 \"early\" ;\n"
        "BO_ 5 A: 8 X\n"
        " SG_ S : 0|8@1+\n"
        "BO_ 2147483653 B: 8 X\n"
        " SG_ S : 0|8@1+\n"
        "VAL_ 5 S 1 \"one\" ;\n"
        "VAL_ 2147483653 S 2 \"two\" ;\n");
    ASSERT_EQ(p.db().Messages.size(), 2u);
    EXPECT_EQ(p.db().Messages[0].Signals[0].SigEnum.Items, (std::vector<tCAN_SIGNAL_ENUM_ITEM>{{"one", 1}}));
    EXPECT_EQ(p.db().Messages[1].Signals[0].SigEnum.Items, (std::vector<tCAN_SIGNAL_ENUM_ITEM>{{"two", 2}}));
    EXPECT_EQ(remarks(p.import),
              (std::vector<std::string>{"1: 值描述所属的信号[S]不在文件的报文中，已跳过。"}));
}

TEST(DbcRead, LineEndsAndOtherStatements) {
    const std::string body =
        "VERSION \"1.0\"\n"
        "BO_TX_BU_ 1 : A,B;\n"
        "BA_DEF_ BO_ \"GenMsgCycleTime\" INT 0 65535;\n"
        "BA_ \"GenMsgCycleTime\" BO_ 1 100;\n"
        "EV_ E: 0 [0|1] \"\" 0 1 DUMMY_NODE_VECTOR0 X;\n"
        "SG_MUL_VAL_ 1 S M 1-1;\n"
        "unknown statement\n"
        "BO_ 1 M: 8 X\n"
        " SG_ S : 0|8@1+ (1,0) [0|255] \"\" X\n";
    std::string crlf;
    for (char c : body) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    for (const std::string& text : {body, crlf}) {
        Parsed p = parse(text);
        ASSERT_EQ(p.result, kDbcOk);
        ASSERT_EQ(p.db().Messages.size(), 1u);
        EXPECT_EQ(p.db().Messages[0].Signals.at(0).Unit, "");
        EXPECT_EQ(p.import.LineNo, 9);
        EXPECT_EQ(remarks(p.import), (std::vector<std::string>{"7: 无法识别的语句，已跳过。"}));
    }
}

TEST(DbcRead, TextEncodings) {
    // GBK bytes ("发动机" and "转速"), one of them ending in a byte that is '|' in ASCII.
    const std::string gbk =
        "BO_ 1 \xB7\xA2\xB6\xAF\xBB\xFA: 8 X\n"
        " SG_ \xD7\xAA\xCB\xD9 : 0|8@1+ (1,0) [0|255] \"\xC8\x7C\" X\n";
    Parsed g = parse(gbk);
    ASSERT_EQ(g.db().Messages.size(), 1u);
    EXPECT_EQ(g.db().Messages[0].Name, "发动机");
    EXPECT_EQ(g.db().Messages[0].Signals.at(0).Name, "转速");
    EXPECT_EQ(g.db().Messages[0].Signals[0].BitLen, 8);
    EXPECT_EQ(g.db().Messages[0].Signals[0].Unit, "葇");

    // Valid UTF-8 with non-ASCII text is read as UTF-8, with or without a byte-order mark.
    for (const std::string bom : {"", "\xEF\xBB\xBF"}) {
        Parsed u = parse(bom + "BO_ 1 M: 8 X\n SG_ T : 0|8@1+ (1,-40) [-40|215] \"°C\" X\n");
        ASSERT_EQ(u.db().Messages.size(), 1u);
        EXPECT_EQ(u.db().Messages[0].Signals.at(0).Unit, "°C");
    }
}

TEST(DbcRead, RepeatedImportsStartFresh) {
    tDBC_IMPORT import;
    ASSERT_EQ(ParseDbcText(import, "VAL_TABLE_ T 1 \"a\" ;\nBO_ 3221225472 F: 0 X\n SG_ S : 0|1@1+\n"),
              kDbcOk);
    ASSERT_EQ(ParseDbcText(import, "BO_ 1 M: 8 X\n"), kDbcOk);
    EXPECT_TRUE(import.Database.Enums.empty());
    EXPECT_TRUE(import.Database.FreeSigMsg.Signals.empty());
    EXPECT_EQ(import.Database.Messages.size(), 1u);
}

// A file is read through a window that is reused and moves on (and back, where a statement without its
// end is read again line by line): whatever the window's size, the file imports exactly as its bytes do
// from memory. The texts cover lines longer than the window, the encoding settled by a line far into the
// file (GBK, UTF-8 with a mark at the start), a GBK character cut by a line end, statements spanning lines
// and quotes running to the end of the file, CR LF and a last line without its end.
TEST(DbcRead, FileReadThroughAnyWindowImportsAsItsBytes) {
    std::string ascii;
    for (int i = 0; i < 40; ++i) ascii += "BA_ \"GenMsgCycleTime\" BO_ " + std::to_string(i) + " 100;\n";
    const std::string body =
        "BO_ 1 M: 8 X\n"
        " SG_ S : 0|8@1+ (0.5,-40) [-40|87.5] \"km/h\" X\n"
        " SG_ Long" +
        std::string(300, 'x') +
        " : 8|8@1- (1,0) [0|255] \"\" X\n"
        "\n"
        "CM_ SG_ 1 S \"over\n two; \\\" lines\";\n"
        "VAL_ 1 S 1 \"one\"\n  0 \"zero\" ;\n"
        "CM_ BO_ 1 \"runs to the end\n"
        "VAL_TABLE_ T 1 \"a\" 2 \"b\" ;\n";
    const std::string gbkLine =
        "BO_ 2 \xB7\xA2\xB6\xAF\xBB\xFA: 8 X\n SG_ \xD7\xAA : 0|8@1+ (1,0) [0|1] \"\xC8\n";
    const std::string texts[] = {
        body,
        ascii + body + "BO_ 9 Last: 8 X",
        ascii + gbkLine + body,
        ascii + body + "BO_ 3 T\xC3\xA9: 8 X\n",
        "\xEF\xBB\xBF" + body + "BO_ 3 \xC3\xA9: 8 X\r\n SG_ U : 0|8@1+ (1,0) [0|1] \"\xC2\xB0\" X\r\n",
        "CM_ \"a\n" + ascii + "CM_ \\\"x\n" + body,
    };
    vextest::TempDir dir;
    const std::string path = (dir / "w.dbc").string();
    for (size_t t = 0; t < std::size(texts); ++t) {
        vextest::writeFile(path, texts[t]);
        tDBC_IMPORT expected;
        const uint32_t result = ParseDbcText(expected, texts[t]);
        ASSERT_EQ(result, kDbcOk);
        for (const size_t window : {1, 2, 7, 64, 300, 4096, 65536}) {
            SCOPED_TRACE("text " + std::to_string(t) + ", window " + std::to_string(window));
            tDBC_IMPORT import;
            EXPECT_EQ(vexdbc::ParseDbcFileThrough(import, path, window), result);
            EXPECT_EQ(import.LineNo, expected.LineNo);
            EXPECT_TRUE(import.Database == expected.Database);
            EXPECT_EQ(import.Name, "w");
        }
    }
    // The encoding is the whole text's, however late its first non-ASCII line stands.
    tDBC_IMPORT late;
    ASSERT_EQ(ParseDbcText(late, ascii + gbkLine), kDbcOk);
    EXPECT_EQ(late.Database.Messages.at(0).Name, "发动机");
    tDBC_IMPORT utf8;
    ASSERT_EQ(ParseDbcText(utf8, ascii + "BO_ 3 T\xC3\xA9: 8 X\n"), kDbcOk);
    EXPECT_EQ(utf8.Database.Messages.at(0).Name, "Té");
}
