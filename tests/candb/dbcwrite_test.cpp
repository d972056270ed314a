#include <gtest/gtest.h>

#include <string>

#include "candb/dbcfile.h"
#include "tests/common/testsupport.h"

namespace {

CCanSignal signal(std::string name, uint8_t start, uint8_t len, bool intel, bool isSigned) {
    CCanSignal s;
    s.Name = std::move(name);
    s.BitOffset = start;
    s.BitLen = len;
    s.ByteFmtIntel = intel ? 1 : 0;
    s.Sign = isSigned ? 1 : 0;
    return s;
}

tCAN_DATABASE smallDatabase() {
    tCAN_DATABASE db;
    db.Author = "not written";
    db.Enums = {{"Gear", {{"P", 0}, {"R", -1}}}, {"Empty", {}}};

    CCanMsg engine;
    engine.Name = "Engine";
    engine.id = 0x123;
    engine.DL = 8;
    CCanSignal speed = signal("Speed", 0, 16, true, false);
    speed.ValFactor = 0.125;
    speed.ValOffset = -40;
    speed.PhyMin = -40;
    speed.PhyMax = 8151.875;
    speed.Unit = "km/h";
    CCanSignal gear = signal("Gear", 15, 4, false, true);
    gear.Enum = 1;
    gear.SigEnum = {"Gear", {{"P", 0}, {"R", -1}}};
    engine.Signals = {speed, gear};

    CCanMsg ext;
    ext.Name = "Ext";
    ext.id = 0x18FEF100;
    ext.Ext = 1;
    ext.DL = 8;
    CCanSignal mux = signal("Mux M", 7, 8, false, false);
    mux.Enum = 1;
    mux.SigEnum = {"Mux", {{"a", 1}}};
    ext.Signals = {mux};

    db.Messages = {engine, ext};
    CCanSignal loose = signal("Loose", 0, 1, true, false);
    loose.Enum = 1;
    loose.SigEnum = {"Loose", {{"x", 2}}};
    db.FreeSigMsg.Signals = {loose};
    return db;
}

const std::string kHeader =
    "VERSION \"\"\r\n\r\n\r\nNS_ :\r\n"
    "\tNS_DESC_\r\n\tCM_\r\n\tBA_DEF_\r\n\tBA_\r\n\tVAL_\r\n\tCAT_DEF_\r\n\tCAT_\r\n\tFILTER\r\n"
    "\tBA_DEF_DEF_\r\n\tEV_DATA_\r\n\tENVVAR_DATA_\r\n\tSGTYPE_\r\n\tSGTYPE_VAL_\r\n\tBA_DEF_SGTYPE_\r\n"
    "\tBA_SGTYPE_\r\n\tSIG_TYPE_REF_\r\n\tVAL_TABLE_\r\n\tSIG_GROUP_\r\n\tSIG_VALTYPE_\r\n"
    "\tSIGTYPE_VALTYPE_\r\n\tBO_TX_BU_\r\n\tBA_DEF_REL_\r\n\tBA_REL_\r\n\tBA_DEF_DEF_REL_\r\n"
    "\tBU_SG_REL_\r\n\tBU_EV_REL_\r\n\tBU_BO_REL_\r\n\tSG_MUL_VAL_\r\n"
    "\r\nBS_:\r\n\r\nBU_:\r\n";

// What the reader gives back for the small database: the free signals under the pseudo message, value
// tables named after their signals, and none of the fields the format does not carry.
tCAN_DATABASE smallDatabaseAsRead() {
    tCAN_DATABASE db = smallDatabase();
    db.Author.clear();
    db.FileVer = db.LastEditDateTime = "--";
    db.FreeSigMsg.Name = "VECTOR__INDEPENDENT_SIG_MSG";
    db.FreeSigMsg.id = 0xC0000000;
    db.FreeSigMsg.Ext = 1;
    return db;
}

}  // namespace

TEST(DbcWrite, SmallDatabaseByteExact) {
    const std::string expected = kHeader +
                                 "VAL_TABLE_ Gear 0 \"P\" -1 \"R\" ;\r\n"
                                 "VAL_TABLE_ Empty ;\r\n"
                                 "\r\n\r\n"
                                 "BO_ 291 Engine: 8 Vector__XXX\r\n"
                                 " SG_ Speed : 0|16@1+ (0.125,-40) [-40|8151.875] \"km/h\" Vector__XXX\r\n"
                                 " SG_ Gear : 15|4@0- (1,0) [0|0] \"\" Vector__XXX\r\n"
                                 "\r\n"
                                 "BO_ 2566844672 Ext: 8 Vector__XXX\r\n"
                                 " SG_ Mux M : 7|8@0+ (1,0) [0|0] \"\" Vector__XXX\r\n"
                                 "\r\n"
                                 "BO_ 3221225472 VECTOR__INDEPENDENT_SIG_MSG: 0 Vector__XXX\r\n"
                                 " SG_ Loose : 0|1@1+ (1,0) [0|0] \"\" Vector__XXX\r\n"
                                 "\r\n"
                                 "\r\n"
                                 "VAL_ 291 Gear 0 \"P\" -1 \"R\" ;\r\n"
                                 "VAL_ 2566844672 Mux 1 \"a\" ;\r\n"
                                 "VAL_ 3221225472 Loose 2 \"x\" ;\r\n";
    EXPECT_EQ(FormatDbcFile(smallDatabase()), expected);
}

TEST(DbcWrite, ExportReadsBackAsTheSameDatabase) {
    vextest::TempDir dir;
    const std::string path = (dir / "small.dbc").string();
    std::string error;
    ASSERT_TRUE(WriteDbcFile(smallDatabase(), path, &error)) << error;
    tDBC_IMPORT import;
    ASSERT_EQ(ParseDbcFile(import, path), kDbcOk);
    EXPECT_EQ(import.Name, "small");
    EXPECT_EQ(import.Database, smallDatabaseAsRead());
}

TEST(DbcWrite, IdentifiersAndFlags) {
    tCAN_DATABASE db;
    CCanMsg m;
    m.Name = "High";
    m.id = 0xFFFFFFFF;  // bits beyond the 29 identifier bits are not carried into the file number
    m.Ext = 1;
    m.Signals = {signal("S", 0, 8, false, false)};
    m.Signals[0].ByteFmtIntel = 2;  // any nonzero value is Intel
    db.Messages = {m};
    const std::string text = FormatDbcFile(db);
    EXPECT_NE(text.find("BO_ 2684354559 High: 0 Vector__XXX\r\n SG_ S : 0|8@1+"), std::string::npos);
    EXPECT_EQ(text.find("3221225472"), std::string::npos);  // no free signals, no pseudo message
    tDBC_IMPORT import;
    ASSERT_EQ(ParseDbcText(import, text), kDbcOk);
    ASSERT_EQ(import.Database.Messages.size(), 1u);
    EXPECT_EQ(import.Database.Messages[0].id, 0x1FFFFFFFu);
    EXPECT_EQ(import.Database.Messages[0].Signals.at(0).ByteFmtIntel, 1);
}

// GBK when every text fits GBK; UTF-8 when one does not (or when the GBK bytes would read as UTF-8), so
// the file always reads back to the same texts.
TEST(DbcWrite, TextEncodingKeepsEveryText) {
    struct Case {
        const char* unit;
        bool gbk;
    } cases[] = {
        {"转速", true},  {"°C", true}, {"µl", false},  // MICRO SIGN has no GBK form
        {"小", false},                                 // its GBK bytes D0 A1 are valid UTF-8 as well
        {"ºC/s", false},
    };
    for (const Case& c : cases) {
        tCAN_DATABASE db;
        db.Messages.resize(1);
        db.Messages[0].Name = "M";
        db.Messages[0].Signals = {signal("S", 0, 8, true, false)};
        db.Messages[0].Signals[0].Unit = c.unit;
        const std::string text = FormatDbcFile(db);
        EXPECT_EQ(text.find(c.unit) == std::string::npos, c.gbk) << c.unit;
        tDBC_IMPORT import;
        ASSERT_EQ(ParseDbcText(import, text), kDbcOk);
        EXPECT_EQ(import.Database.Messages.at(0).Signals.at(0).Unit, c.unit);
    }
}

TEST(DbcWrite, FailuresAreReportedAndLeaveTheTargetAlone) {
    vextest::TempDir dir;
    vextest::writeFile(dir / "file", "x");
    std::string error;
    EXPECT_FALSE(WriteDbcFile(smallDatabase(), (dir / "file" / "out.dbc").string(), &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(WriteDbcFile(smallDatabase(), (dir / "no" / "out.dbc").string()));
    EXPECT_FALSE(WriteDbcFile(smallDatabase(), "/proc/version"));

    vextest::writeFile(dir / "old.dbc", "old");
    ASSERT_TRUE(WriteDbcFile(tCAN_DATABASE(), (dir / "old.dbc").string()));
    EXPECT_EQ(vextest::readFile(dir / "old.dbc"), FormatDbcFile(tCAN_DATABASE()));
}
