// The editor dialogs' checks without widgets: messages and their order, number fields, name clashes
// (byte-exact, only when renamed), pickers' OK, the database list's names and imports.
#include <gtest/gtest.h>

#include <algorithm>

#include <fstream>

#include "tests/common/testsupport.h"
#include "tests/uicandb/dbrecords.h"
#include "ui/candb/dbeditcheck.h"
#include "ui/candb/dblistops.h"

using namespace candbui;

namespace {

using Fail = std::optional<std::string>;

}  // namespace

TEST(FieldReaders, AcceptOnlyTheirKindOfNumber) {
    EXPECT_EQ(ReadRealField(" -1.5e2 "), -150.0);
    EXPECT_EQ(ReadRealField("+.5"), 0.5);
    for (const char* bad :
         {"", " ", "nan", "inf", "-inf", "NaN", "1e999", "0x10", "1,5", "1.5x", "+-1", "--1"})
        EXPECT_FALSE(ReadRealField(bad)) << bad;
    EXPECT_EQ(ReadByteField(" 255"), 255);
    for (const char* bad : {"", "256", "-1", "8a", "1.0"}) EXPECT_FALSE(ReadByteField(bad)) << bad;
    EXPECT_EQ(ReadIntField("-2147483648"), INT32_MIN);
    for (const char* bad : {"", "2147483648", "1e3", "+"}) EXPECT_FALSE(ReadIntField(bad)) << bad;
    EXPECT_EQ(ReadHexIdField("0x7ff"), 0x7FFu);
    EXPECT_EQ(ReadHexIdField("0000000123"), 0x123u);
    for (const char* bad : {"", "0x", "12G", "G12", "100000000", "1 2"})
        EXPECT_FALSE(ReadHexIdField(bad)) << bad;
}

TEST(DbAttributes, NameRequiredAndUniqueWhenRenamed) {
    std::vector<tCFG_CAN_DATABASE> list(2);
    list[0].Name = "Car";
    list[1].Name = "Bus";
    const struct {
        const char* name;
        const char* orig;
        Fail fail;
    } cases[] = {
        {"", "Car", "数据库名称不能为空。"}, {"Bus", "Car", "与现有的数据库名称相同。"},
        {"bus", "Car", std::nullopt},  // letter case differs: another name
        {"Car", "Car", std::nullopt},  // unchanged: no clash test
        {"New", "Car", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(validateDbAttributes(c.name, c.orig, &list), c.fail) << c.name;
}

TEST(SignalEdit, ChecksInOrder) {
    const CCanMsg msg = Msg("M", 1, 0, {Sig("Speed", 0, 8), Sig("Dup", 8, 8), Sig("Dup", 16, 8)});
    auto fields = [] { return tSIGNAL_EDIT_FIELDS{"New", false, "8", true, "1", "0", "0", "0", "", false}; };
    const struct {
        const char* what;
        void (*change)(tSIGNAL_EDIT_FIELDS&);
        const char* orig;
        Fail fail;
    } cases[] = {
        {"fine", [](tSIGNAL_EDIT_FIELDS&) {}, "", std::nullopt},
        {"bit length read before the name",
         [](tSIGNAL_EDIT_FIELDS& f) {
             f.Name = "";
             f.BitLen = "300";
         },
         "", kNotByte},
        {"empty bit length", [](tSIGNAL_EDIT_FIELDS& f) { f.BitLen = ""; }, "", kNotByte},
        {"factor nan", [](tSIGNAL_EDIT_FIELDS& f) { f.Factor = "nan"; }, "", kNotNumber},
        {"max inf", [](tSIGNAL_EDIT_FIELDS& f) { f.Max = "inf"; }, "", kNotNumber},
        {"empty name",
         [](tSIGNAL_EDIT_FIELDS& f) {
             f.Name = "";
             f.BitLen = "0";
         },
         "", "名称不能为空。"},
        {"blank name", [](tSIGNAL_EDIT_FIELDS& f) { f.Name = " "; }, "", std::nullopt},
        {"length 0",
         [](tSIGNAL_EDIT_FIELDS& f) {
             f.BitLen = "0";
             f.Factor = "0";
         },
         "", "位长度不能为0。"},
        {"length 40", [](tSIGNAL_EDIT_FIELDS& f) { f.BitLen = "40"; }, "", std::nullopt},
        {"factor 0",
         [](tSIGNAL_EDIT_FIELDS& f) {
             f.Factor = "-0.0";
             f.Name = "Speed";
         },
         "", "转换因子不能为0。"},
        {"renamed to taken", [](tSIGNAL_EDIT_FIELDS& f) { f.Name = "Speed"; }, "X",
         "此信号名称与此报文中其他信号命名冲突。"},
        {"kept own name", [](tSIGNAL_EDIT_FIELDS& f) { f.Name = "Speed"; }, "Speed", std::nullopt},
        {"pasted duplicate kept", [](tSIGNAL_EDIT_FIELDS& f) { f.Name = "Dup"; }, "Dup", std::nullopt},
        {"case differs", [](tSIGNAL_EDIT_FIELDS& f) { f.Name = "speed"; }, "X", std::nullopt},
    };
    for (const auto& c : cases) {
        tSIGNAL_EDIT_FIELDS f = fields();
        c.change(f);
        EXPECT_EQ(validateSignalEdit(f, c.orig, msg), c.fail) << c.what;
    }
}

TEST(SignalEdit, ApplyKeepsWhatTheDialogDoesNotShow) {
    CCanSignal s = Sig("Old", 12, 4);
    s.Description = "d";
    s.ErrValue = 7;
    s.SigEnum = {"Imported", {{"a", 1}}};
    tSIGNAL_EDIT_FIELDS f{"Speed", true, "16", false, "0.5", "-10", "-1", "1", "km/h", true};
    ApplySignalEdit(f, s);
    EXPECT_EQ(s.Name, "Speed");
    EXPECT_EQ(s.Sign, 1);
    EXPECT_EQ(s.BitLen, 16);
    EXPECT_EQ(s.ByteFmtIntel, 0);
    EXPECT_EQ(s.ValFactor, 0.5);
    EXPECT_EQ(s.ValOffset, -10.0);
    EXPECT_EQ(s.Enum, 1);
    EXPECT_EQ(s.BitOffset, 12);
    EXPECT_EQ(s.Description, "d");
    EXPECT_EQ(s.ErrValue, 7.0);
    EXPECT_EQ(s.SigEnum.Name, "Speed");
    EXPECT_EQ(s.SigEnum.Items.size(), 1u);
}

TEST(SignalEdit, RangeButton) {
    tSIGNAL_EDIT_FIELDS f{"x", true, "8", true, "1", "0", "", "", "", false};
    // The limits' own fields are read too, as the dialog reads every control first.
    f.Min = f.Max = "0";
    EXPECT_EQ(ComputeSignalRange(f), std::make_pair(-127.0, 127.0));
    f.Signed = false;
    f.Factor = "0.5";
    f.Offset = "-10";
    EXPECT_EQ(ComputeSignalRange(f), std::make_pair(-10.0, 117.5));
    std::string message;
    f.Offset = "inf";
    EXPECT_FALSE(ComputeSignalRange(f, &message));
    EXPECT_EQ(message, kNotNumber);
}

TEST(EnumEdit, NameChecks) {
    tCAN_DATABASE db;
    db.Enums = {{"Gear", {}}, {"Mode", {}}};
    EXPECT_EQ(validateEnumEdit("", "Gear", &db), Fail("枚举名称不能为空。"));
    EXPECT_EQ(validateEnumEdit("Mode", "Gear", &db), Fail("枚举名称与现有数据库中枚举名称冲突。"));
    EXPECT_EQ(validateEnumEdit("Gear", "Gear", &db), std::nullopt);
    EXPECT_EQ(validateEnumEdit("Mode", "Gear", nullptr), std::nullopt);
    EXPECT_EQ(validateEnumEdit("Gear_copy", "Gear_copy", &db), std::nullopt);
}

TEST(EnumItem, ChecksByMode) {
    const tCAN_SIGNAL_ENUM t{"T", {{"off", 0}, {"on", 1}}};
    constexpr const char* kClash = "数值描述与已有的枚举项冲突。";
    const struct {
        uint8_t mode;
        const char* text;
        const char* val;
        const char* origText;
        int32_t origVal;
        Fail fail;
    } cases[] = {
        {kEnumItemNew, "", "x", "", 0, kNotInteger},  // the value is read before the text is checked
        {kEnumItemNew, "", "5", "", 0, "描述内容不能为空。"},
        {kEnumItemNew, "auto", "1", "", 0, kClash},
        {kEnumItemNew, "on", "5", "", 0, kClash},
        {kEnumItemNew, "auto", "2", "", 0, std::nullopt},
        {kEnumItemEdit, "on", "1", "on", 1, std::nullopt},
        {kEnumItemEdit, "on", "0", "on", 1, kClash},
        {kEnumItemEdit, "off", "1", "on", 1, kClash},
        {kEnumItemEdit, "ON", "7", "on", 1, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(validateEnumItem(c.mode, c.text, c.val, c.origText, c.origVal, t), c.fail)
            << c.text << c.val;
}

TEST(EnumItem, ProposedValueWrapsAtTheTop) {
    EXPECT_EQ(ProposedEnumItemValue(5), 6);
    EXPECT_EQ(ProposedEnumItemValue(0xFFFFFFFFu), 0);  // the registry's initial value
    EXPECT_EQ(ProposedEnumItemValue(0x7FFFFFFFu), INT32_MIN);
}

TEST(MsgEdit, ChecksInOrder) {
    tCAN_DATABASE db;
    db.Messages = {Msg("A", 0x123, 0), Msg("B", 0x800, 1)};
    const CCanMsg overlapping = Msg("M", 0x10, 0, {Sig("a", 0, 8), Sig("b", 7, 4)});
    const CCanMsg outside = Msg("M", 0x10, 0, {Sig("a", 60, 8)});
    const CCanMsg none;
    const struct {
        const char* what;
        const tCAN_DATABASE* db;
        tMSG_EDIT_FIELDS f;
        uint8_t mode;
        uint32_t origId;
        const CCanMsg* msg;
        Fail fail;
    } cases[] = {
        {"no database", nullptr, {"", "zz", false, "x"}, kMsgNew, 0, &none, "数据设置存在错误。"},
        {"length read first", &db, {"", "zz", false, "x"}, kMsgNew, 0, &none, kNotByte},
        {"empty name", &db, {"", "zz", false, "9"}, kMsgNew, 0, &none, "报文名称不能为空。"},
        {"not hexadecimal", &db, {"M", "12G", false, "8"}, kMsgNew, 0, &none, "不合法的报文ID。"},
        {"empty identifier", &db, {"M", "", false, "8"}, kMsgNew, 0, &none, "不合法的报文ID。"},
        {"800 standard", &db, {"M", "800", false, "8"}, kMsgNew, 0, &none, "不合法的报文ID。"},
        {"beyond 29 bits", &db, {"M", "20000000", true, "8"}, kMsgNew, 0, &none, "不合法的报文ID。"},
        {"length 0", &db, {"M", "10", false, "0"}, kMsgNew, 0, &none, "报文的数据域长度不能为0。"},
        {"length 9", &db, {"M", "10", false, "9"}, kMsgNew, 0, &none, "报文的数据域长度不能超过8。"},
        {"overlap", &db, {"M", "10", false, "8"}, kMsgNew, 0, &overlapping, "报文的信号有重叠区域。"},
        {"bits beyond 64 only", &db, {"M", "10", false, "8"}, kMsgNew, 0, &outside, std::nullopt},
        {"new, taken", &db, {"M", "123", false, "8"}, kMsgNew, 0, &none, "所添加的报文ID与现有报文ID冲突。"},
        {"standard vs extended",
         &db,
         {"M", "800", true, "8"},
         kMsgNew,
         0,
         &none,
         "所添加的报文ID与现有报文ID冲突。"},
        {"edit, own id", &db, {"M", "123", false, "8"}, kMsgEdit, 0x123, &none, std::nullopt},
        {"edit, other's id",
         &db,
         {"M", "123", false, "8"},
         kMsgEdit,
         0x124,
         &none,
         "所添加的报文ID与现有报文ID冲突。"},
        {"fine", &db, {"M", "0x7FF", false, "8"}, kMsgNew, 0, &none, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(validateMsgEdit(c.db, c.f, c.mode, c.origId, *c.msg), c.fail) << c.what;
}

TEST(Pickers, FreeSignalAndPublicTable) {
    tCAN_DATABASE db;
    db.FreeSigMsg.Signals = {Sig("Speed", 0, 8), Sig("Twin", 0, 4), Sig("Twin", 0, 12)};
    db.Enums = {{"Gear", {{"P", 0}}}, {"Mode", {}}};
    const CCanMsg receiving = Msg("M", 1, 0, {Sig("Speed", 0, 8)});
    CCanSignal got;
    std::string message;
    EXPECT_EQ(checkFreeSignalPick(&db, receiving, {{"0", "Speed"}, {"0", "Twin"}}, got, message),
              PickOutcome::Refused);
    EXPECT_EQ(message, "请选择其中一项。");
    EXPECT_EQ(checkFreeSignalPick(&db, receiving, {{"1", "Speed"}, {"0", "Twin"}}, got, message),
              PickOutcome::Refused);
    EXPECT_EQ(message, "所选信号与现有信号名称相同。");
    // Either row of two equal names hands back the first of them.
    EXPECT_EQ(checkFreeSignalPick(&db, receiving, {{"0", "Twin"}, {"12", "Twin"}}, got, message),
              PickOutcome::Taken);
    EXPECT_EQ(got.BitLen, 4);
    EXPECT_EQ(checkFreeSignalPick(&db, receiving, {}, got, message), PickOutcome::Empty);
    EXPECT_EQ(checkFreeSignalPick(nullptr, receiving, {}, got, message), PickOutcome::Empty);

    tCAN_SIGNAL_ENUM table;
    EXPECT_EQ(checkPublicEnumPick(&db, {{"0", "Gear"}, {"0", "Mode"}}, table, message), PickOutcome::Refused);
    EXPECT_EQ(checkPublicEnumPick(&db, {{"0", "Gear"}, {"1", "Mode"}}, table, message), PickOutcome::Taken);
    EXPECT_EQ(table.Name, "Mode");
    EXPECT_EQ(checkPublicEnumPick(&db, {}, table, message), PickOutcome::Empty);
}

TEST(NodeTexts, MessagesAndEntries) {
    EXPECT_EQ(MsgNodeText(Msg("A", 0x12, 0)), "A [ 0x012 ]");
    EXPECT_EQ(MsgNodeText(Msg("B", 0x18FEF100, 1)), "B [ 0x18FEF100 ]");
    EXPECT_EQ(EnumItemText({"off", -1}), "off [-1]");
    EXPECT_EQ(SignalPlaceText(Sig("s", 7, 12)), "{7-12}");
}

TEST(DbList, BlankNamesAndStamps) {
    const vex::LocalTime t{2024, 3, 9, 7, 5, 42, 7};
    EXPECT_EQ(MakeBlankDbName(t),
              "DB-BLANK-202403090705"
              "07");
    EXPECT_EQ(MakeBlankDbName({2024, 3, 9, 7, 5, 42, 999}), "DB-BLANK-202403090705999");
    EXPECT_EQ(DbStampText(t), "2024年03月09日07时05分42秒");
    // The same millisecond: "-NEW" once, and the third gets that name again.
    std::vector<tCFG_CAN_DATABASE> list;
    for (int i = 0; i < 3; ++i) list.push_back(MakeNewDbEntry(list, t, t));
    EXPECT_EQ(list[0].Name, "DB-BLANK-20240309070507");
    EXPECT_EQ(list[1].Name, "DB-BLANK-20240309070507-NEW");
    EXPECT_EQ(list[2].Name, "DB-BLANK-20240309070507-NEW");
    EXPECT_EQ(list[0].Database.Author, "Vexarium");
    EXPECT_EQ(list[0].Database.FileVer, "0.0");
    EXPECT_EQ(list[0].FirstAddFlag, 1);
    EXPECT_EQ(list[0].PriorityLevel, 0);
}

TEST(DbList, ImportFile) {
    vextest::TempDir dir;
    auto write = [&](const std::string& name, const std::string& text) {
        const std::string path = (dir.path() / name).string();
        std::ofstream(path, std::ios::binary) << text;
        return path;
    };
    const std::string dbc =
        "VERSION \"\"\r\nBO_ 256 Body: 8 X\r\n SG_ Speed : 0|16@1+ (0.1,0) [0|6553.5] \"km/h\" X\r\n";
    const std::string upper = write("Car.DBC", dbc);
    const std::string other = write("Car.txt", dbc);
    const std::string bad = write("Bad.dbc", "VAL_TABLE_ Broken\r\n");
    const vex::LocalTime t{2024, 1, 2, 3, 4, 5, 6};
    std::vector<tCFG_CAN_DATABASE> list;

    EXPECT_EQ(ImportDbcIntoList(list, other, t).infoText, "");
    EXPECT_TRUE(list.empty());

    tDBC_IMPORT_OUTCOME out = ImportDbcIntoList(list, upper, t);
    ASSERT_TRUE(out.added);
    EXPECT_EQ(out.infoText, "导入数据库文件[" + upper + "]完成。");
    EXPECT_EQ(out.infoLevel, 0);
    EXPECT_FALSE(out.showBox);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].Name, "Car");
    EXPECT_EQ(list[0].Database.Author, "dbc文件导入");
    EXPECT_EQ(list[0].Database.LastEditDateTime, "2024年01月02日03时04分05秒");
    ASSERT_EQ(list[0].Database.Messages.size(), 1u);

    out = ImportDbcIntoList(list, upper, t);
    EXPECT_FALSE(out.added);
    EXPECT_EQ(out.infoText, "数据库与现有数据库名称相同[Car]，添加数据库失败。");
    EXPECT_TRUE(out.showBox);
    EXPECT_EQ(list.size(), 1u);

    out = ImportDbcIntoList(list, bad, t);
    EXPECT_EQ(out.infoText, "解析文件[" + bad + "]在第[1]行时遇到异常返回，导入失败。");
    EXPECT_EQ(out.infoLevel, 1);
    out = ImportDbcIntoList(list, (dir.path() / "missing.dbc").string(), t);
    EXPECT_EQ(out.infoText, "无法读取文件[" + (dir.path() / "missing.dbc").string() +
                                "]，导入失败。（No such file or directory）");
    EXPECT_EQ(out.infoLevel, 1);
    EXPECT_TRUE(out.showBox);
    EXPECT_EQ(list.size(), 1u);
}

// Files with no DBC statement are refused, named; what an import leaves out or changes comes with its
// report: a warning counting the remarks with every one as a detail row by line, and a box listing the
// first ones a line each and pointing to the info window for the rest.
TEST(DbList, ImportReports) {
    vextest::TempDir dir;
    auto write = [&](const std::string& name, const std::string& text) {
        vextest::writeFile(dir / name, text);
        return (dir / name).string();
    };
    const vex::LocalTime t{2024, 1, 2, 3, 4, 5, 6};
    std::vector<tCFG_CAN_DATABASE> list;
    for (const std::string& bytes : {std::string(), std::string("\x7F"
                                                                "ELF\x02\x01\x01\0\0\0",
                                                                10)}) {
        const std::string empty = write("Empty.dbc", bytes);
        const tDBC_IMPORT_OUTCOME out = ImportDbcIntoList(list, empty, t);
        EXPECT_FALSE(out.added);
        EXPECT_EQ(out.infoText, "文件[" + empty + "]中没有一条DBC语句，不是DBC文件，导入失败。");
        EXPECT_EQ(out.infoLevel, 1);
        EXPECT_TRUE(out.showBox);
    }
    EXPECT_TRUE(list.empty());

    std::string text = "BO_ 256 Body: 8 X\n SG_ Far : 70|8@1+ (1,0) [0|255] \"\" X\n";
    for (int i = 0; i < 6; ++i) text += "garbage\n";
    const std::string path = write("Car.dbc", text);
    const tDBC_IMPORT_OUTCOME out = ImportDbcIntoList(list, path, t);
    ASSERT_TRUE(out.added);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(out.infoLevel, 1);
    EXPECT_TRUE(out.showBox);
    const std::string head = "导入数据库文件[" + path + "]完成。其中7处未导入或有改变";
    EXPECT_EQ(out.infoText, head + "，各处见信息窗口。");
    std::vector<std::string> rows = {
        "第[2]行：报文[Body]的信号[Far]：位置（起始位70，长度8）超出8个数据字节，已跳过。"};
    for (int line = 3; line <= 8; ++line)
        rows.push_back("第[" + std::to_string(line) + "]行：无法识别的语句，已跳过。");
    EXPECT_EQ(out.infoDetails, rows);
    std::string box = head + "，前5处：";
    for (size_t i = 0; i < 5; ++i) box += "\n" + rows[i];
    EXPECT_EQ(out.boxText, box + "\n其余各处见信息窗口。");
}
