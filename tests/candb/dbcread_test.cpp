#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <string>

#include "candb/dbcfile.h"
#include "candb/dbctext.h"
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
    } cases[] = {
        {"BO_ 2364539904 M: 8 X", "M", 0x0CF00400, 1, 8},  // 0x0CF00400 + 0x80000000
        {"BO_ 2049 M: 8 X", "M", 1, 0, 8},                 // standard: bits above 11 dropped
        {"BO_ 2047 M: 8 X", "M", 0x7FF, 0, 8},
        {"BO_ 4294967295 M: 8 X", "M", 0x1FFFFFFF, 1, 8},
        {"BO_ 99999999999 M: 8 X", "M", 0x1FFFFFFF, 1, 8},  // beyond 32 bits: strtoul's 0xFFFFFFFF
        {"BO_ abc M: 8 X", "M", 0, 0, 8},
        {"BO_ 100 Engine: 8 ECU", "Engine", 100, 0, 8},
        {"BO_ 100 Engine : 6 ECU", "Engine", 100, 0, 6},  // no trailing blank in the name
        {"BO_ 100 Engine: 7", "Engine", 100, 0, 7},       // no transmitter
        {"BO_ 100 Fd: 64 X", "Fd", 100, 0, 64},
        {"BO_ 100 Big: 300 X", "Big", 100, 0, 255},
        {"BO_ 100", "", 0, 0, 0},  // no blank after the identifier: identifier stays 0
    };
    for (const Case& c : cases) {
        Parsed p = parse(std::string(c.line) + "\n");
        ASSERT_EQ(p.db().Messages.size(), 1u) << c.line;
        const CCanMsg& m = p.db().Messages[0];
        EXPECT_EQ(m.Name, c.name) << c.line;
        EXPECT_EQ(m.id, c.id) << c.line;
        EXPECT_EQ(m.Ext, c.ext) << c.line;
        EXPECT_EQ(m.Rmt, 0) << c.line;
        EXPECT_EQ(m.DL, c.dl) << c.line;
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
        {"SG_ Fd : 300|8@1+ (1,0) [0|255] \"\" X", "Fd", 255, 8, 1, 0, 1, 0, 0, 255, ""},
        {"SG_ Neg : -1|999@1+ (1,0) [0|1] \"\" X", "Neg", 255, 255, 1, 0, 1, 0, 0, 1, ""},
        {"SG_ Bare : 3|2@1+", "Bare", 3, 2, 1, 0, 1, 0, 0, 0, ""},
        {"SG_ Odd : 3|2@1 (1,0) [0|3] \"\" X", "Odd", 3, 2, 1, 0, 1, 0, 0, 3, ""},  // no sign: unsigned
        {"SG_ Bad : x|y@1+ (a,b) [c|d] \"u\" X", "Bad", 0, 0, 1, 0, 0, 0, 0, 0, "u"},
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
        " SG_ B : 0|4\n");
    ASSERT_EQ(p.db().Messages.at(0).Signals.size(), 2u);
    CCanSignal expected;
    expected.Name = "B";
    EXPECT_EQ(p.db().Messages[0].Signals[1], expected);
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
    ASSERT_EQ(p.db().Messages.size(), 2u);  // only the first pseudo message is taken
    EXPECT_EQ(p.db().Messages[1].Name, "Second");
}

TEST(DbcRead, ValueTables) {
    Parsed p = parse(
        "VAL_TABLE_ Gear 3 \" D \" 0 \"\" -1 \"R\" ;\n"
        "VAL_TABLE_ Semi 1 \"a;b\" 2 \"c\";tail 3 \"d\"\n"
        "VAL_TABLE_ Open 1 \"one\" 2 \"two\n"
        "VAL_TABLE_ Dangling 1 \"one\" 2\n"
        "VAL_TABLE_ Empty ;\n"
        "VAL_TABLE_ Esc 1 \"say \\\"hi\\\"\" ;\n");
    ASSERT_EQ(p.result, kDbcOk);
    const auto& e = p.db().Enums;
    ASSERT_EQ(e.size(), 6u);
    EXPECT_EQ(e[0], (tCAN_SIGNAL_ENUM{"Gear", {{"D", 3}, {"", 0}, {"R", -1}}}));
    EXPECT_EQ(e[1], (tCAN_SIGNAL_ENUM{"Semi", {{"a;b", 1}, {"c", 2}}}));
    EXPECT_EQ(e[2], (tCAN_SIGNAL_ENUM{"Open", {{"one", 1}, {"two", 2}}}));
    EXPECT_EQ(e[3], (tCAN_SIGNAL_ENUM{"Dangling", {{"one", 1}}}));
    EXPECT_EQ(e[4], (tCAN_SIGNAL_ENUM{"Empty", {}}));
    EXPECT_EQ(e[5], (tCAN_SIGNAL_ENUM{"Esc", {{"say \\\"hi\\\"", 1}}}));
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
// it without an error.
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
        "VAL_ 1 T 2 \"two\" ;\n"
        "CM_ SG_ 1 S \"never closed\n"
        "BO_ 3 Last: 8 X\n"
        "VAL_ 1 T 3 \"three\"");
    ASSERT_EQ(p.result, kDbcOk);
    ASSERT_EQ(p.db().Messages.size(), 3u);
    EXPECT_EQ(p.db().Messages[1].Name, "After");
    EXPECT_EQ(p.db().Messages[2].Name, "Last");
    const auto& sigs = p.db().Messages[0].Signals;
    EXPECT_EQ(sigs.at(0).SigEnum.Items, (std::vector<tCAN_SIGNAL_ENUM_ITEM>{{"one", 1}}));
    EXPECT_EQ(sigs.at(1).SigEnum.Items, (std::vector<tCAN_SIGNAL_ENUM_ITEM>{{"three", 3}}));
    EXPECT_EQ(p.import.LineNo, 12);
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

// Value descriptions bind to the first message with the identifier that holds the signal, among the
// messages read before them.
TEST(DbcRead, ValueDescriptionsFindTheirMessage) {
    Parsed p = parse(
        "VAL_ 5 S 9 \"early\" ;\n"
        "BO_ 5 A: 8 X\n"
        " SG_ T : 0|8@1+\n"
        "BO_ 5 B: 8 X\n"
        " SG_ S : 0|8@1+\n"
        " SG_ S : 8|8@1+\n"
        "BO_ 5 C: 8 X\n"
        " SG_ S : 0|8@1+\n"
        "VAL_ 5 S 1 \"one\" ;\n");
    ASSERT_EQ(p.db().Messages.size(), 3u);
    EXPECT_EQ(p.db().Messages[0].Signals[0].Enum, 0);
    EXPECT_EQ(p.db().Messages[1].Signals[0].SigEnum.Items, (std::vector<tCAN_SIGNAL_ENUM_ITEM>{{"one", 1}}));
    EXPECT_EQ(p.db().Messages[1].Signals[1].Enum, 0);
    EXPECT_EQ(p.db().Messages[2].Signals[0].Enum, 0);
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
