#include "candb/canxml.h"

#include <gtest/gtest.h>

#include <string>

#include "candb/cfgcandb.h"
#include "platform/xml/xmldoc.h"
#include "tests/common/testsupport.h"
#include "tests/xml/xmldoc_peer.h"

namespace {

CXmlDoc parsed(const std::string& text) {
    CXmlDoc doc;
    CXmlDocTestPeer::SetText(doc, text);
    EXPECT_TRUE(doc.Parse()) << doc.GetResult();
    return doc;
}

// A document with just the configuration root, ready for writers.
CXmlDoc rootDoc() {
    CXmlDoc doc;
    EXPECT_TRUE(doc.NewElem("VEXAR_CFG_FILE", 0));
    return doc;
}

CCanSignal signal(std::string name, uint8_t start, uint8_t len) {
    CCanSignal s;
    s.Name = std::move(name);
    s.BitOffset = start;
    s.BitLen = len;
    return s;
}

// Every field set: Chinese texts, negative and fractional numbers, an extended identifier with the top
// bits set, value tables, free signals.
tCAN_DATABASE fullDatabase() {
    tCAN_DATABASE db;
    db.FileVer = "1.2";
    db.Author = "张工";
    db.ProDes = "车身<网络> & \"测试\"";
    db.RightDes = "版权所有";
    db.LastEditDateTime = "2024年05月06日07时08分09秒";

    CCanMsg engine;
    engine.Name = "发动机_1";
    engine.id = 0x18FEF100;
    engine.Ext = 1;
    engine.DL = 8;
    CCanSignal speed = signal("转速", 24, 16);
    speed.Unit = "r/min";
    speed.ByteFmtIntel = 1;
    speed.ValFactor = 0.125;
    speed.ValOffset = -40.5;
    speed.PhyMin = -40.5;
    speed.PhyMax = 8151.375;
    speed.ErrValue = -1;
    speed.Description = "发动机转速";
    CCanSignal gear = signal("挡位", 7, 4);
    gear.Sign = 1;
    gear.Enum = 1;
    gear.SigEnum = {"挡位表", {{"倒挡", -1}, {"空挡", 0}, {"一挡", 1}}};
    engine.Signals = {speed, gear};

    CCanMsg remote;
    remote.Name = "REQ";
    remote.id = 0x7FF;
    remote.Rmt = 1;
    remote.DL = 0;

    db.Messages = {engine, remote};
    db.FreeSigMsg.Name = "VECTOR__INDEPENDENT_SIG_MSG";
    db.FreeSigMsg.id = 0xC0000000;
    db.FreeSigMsg.Ext = 1;
    db.FreeSigMsg.Signals = {signal("自由信号", 0, 1)};
    db.FreeSigMsg.Signals[0].ValFactor = 0.001;
    db.FreeSigMsg.Signals[0].PhyMax = 0.3;
    db.Enums = {{"挡位表", {{"倒挡", -1}, {"空挡", 0}}}, {"空表", {}}};
    return db;
}

}  // namespace

// The stored form, byte for byte: element order, attribute order, number formats, GBK on disk.
TEST(CanXml, DatabaseFileIsByteExactAndReadsBack) {
    CXmlDoc doc = rootDoc();
    SaveXmlCanDatabase(doc, fullDatabase());
    vextest::TempDir dir;
    ASSERT_TRUE(doc.SaveWithDeclaration((dir / "db.xml").string()));
    EXPECT_EQ(vextest::readFile(dir / "db.xml"), vextest::readFile(vextest::fixture("candb/database.xml")));

    CXmlDoc loaded;
    ASSERT_TRUE(loaded.LoadFile(vextest::fixture("candb/database.xml").string()));
    ASSERT_TRUE(loaded.Parse());
    tCAN_DATABASE back;
    ASSERT_TRUE(LoadXmlCanDatabase(loaded, back));
    EXPECT_EQ(back, fullDatabase());
    EXPECT_FALSE(LoadXmlCanDatabase(loaded, back));  // the search goes on after the element read
}

TEST(CanXml, WritingDependsOnTheDatabaseAlone) {
    CXmlDoc a = rootDoc(), b = rootDoc();
    SaveXmlCanDatabase(a, fullDatabase());
    SaveXmlCanDatabase(b, fullDatabase());
    EXPECT_EQ(a.GetText(), b.GetText());

    CXmlDoc empty = rootDoc();
    SaveXmlCanDatabase(empty, tCAN_DATABASE());
    EXPECT_EQ(empty.GetText(),
              "<VEXAR_CFG_FILE>\r\n"
              "<CAN_DATABASE FileVer=\"\" Author=\"\" ProDes=\"\" RightDes=\"\" LastEditDateTime=\"\">\r\n"
              "<CAN_MSG_HOTEL Name=\"\" id=\"0\" Ext=\"0\" Rmt=\"0\" DL=\"0\"/>\r\n"
              "</CAN_DATABASE>\r\n"
              "</VEXAR_CFG_FILE>\r\n");
}

// Numbers as the readers take them: flags any nonzero number, unsigned fields with a sign, low 8 bits of
// the byte fields, numeric prefixes, doubles with 15 decimals at most.
TEST(CanXml, AttributeConversions) {
    struct Case {
        const char* attrs;
        uint32_t id;
        uint8_t ext, dl;
    } cases[] = {
        {R"(id="-1073741824" Ext="2" DL="264")", 0xC0000000u, 1, 8},
        {R"(id=" +291" Ext="-1" DL="8 bytes")", 291, 1, 8},
        {R"(id="abc" Ext="0x1" DL="")", 0, 0, 0},
        {R"(id="99999999999" Ext="0" DL="-1")", 0xFFFFFFFFu, 0, 0xFF},
    };
    for (const Case& c : cases) {
        CXmlDoc doc = parsed(std::string("<R><CAN_MSG ") + c.attrs + "/></R>");
        CCanMsg m;
        ASSERT_TRUE(LoadXmlCanMsg(doc, m)) << c.attrs;
        EXPECT_EQ(m.id, c.id) << c.attrs;
        EXPECT_EQ(m.Ext, c.ext) << c.attrs;
        EXPECT_EQ(m.DL, c.dl) << c.attrs;
    }

    CCanSignal s;
    s.ValFactor = 0.0000000000000001;
    s.ValOffset = 1e20;
    s.PhyMin = -0.25;
    s.Sign = 7;
    CXmlDoc doc = rootDoc();
    SaveXmlCanSignal(doc, s);
    EXPECT_NE(doc.GetText().find(R"(Sign="7")"), std::string::npos);
    EXPECT_NE(doc.GetText().find(R"(ValFactor="0" ValOffset="100000000000000000000" PhyMin="-0.25")"),
              std::string::npos);
    CXmlDoc back = parsed(doc.GetText());
    CCanSignal r;
    ASSERT_TRUE(LoadXmlCanSignal(back, r));
    EXPECT_EQ(r.Sign, 1);
    EXPECT_EQ(r.ValFactor, 0.0);
    EXPECT_EQ(r.ValOffset, 1e20);
    EXPECT_EQ(r.PhyMin, -0.25);
}

// Absent attributes read as empty and 0 (a missing factor too); absent child elements as empty records,
// never as what the previous element of the same kind held.
TEST(CanXml, MissingPartsNeverInheritEarlierReads) {
    CXmlDoc doc = parsed(
        "<R><CAN_DATABASE>"
        "<CAN_MSG Name=\"A\"><CAN_SIGNAL Name=\"s1\" Enum=\"1\" ValFactor=\"2\"><CAN_SIGNAL_ENUM Name=\"t\">"
        "<CAN_SIGNAL_ENUM_ITEM txt=\"on\" val=\"1\"/></CAN_SIGNAL_ENUM></CAN_SIGNAL>"
        "<CAN_SIGNAL Name=\"s2\"/></CAN_MSG>"
        "<CAN_MSG Name=\"B\"/>"
        "</CAN_DATABASE></R>");
    tCAN_DATABASE db;
    db.FreeSigMsg.Signals = {signal("old", 0, 1)};
    db.Enums = {{"old", {}}};
    ASSERT_TRUE(LoadXmlCanDatabase(doc, db));
    ASSERT_EQ(db.Messages.size(), 2u);
    const auto& sigs = db.Messages[0].Signals;
    ASSERT_EQ(sigs.size(), 2u);
    EXPECT_EQ(sigs[0].SigEnum.Items.size(), 1u);
    CCanSignal bare;
    bare.Name = "s2";
    bare.ValFactor = 0.0;  // a missing factor reads as 0
    EXPECT_EQ(sigs[1], bare);
    EXPECT_TRUE(db.Messages[1].Signals.empty());
    EXPECT_EQ(db.FreeSigMsg, CCanMsg());  // no CAN_MSG_HOTEL
    EXPECT_TRUE(db.Enums.empty());

    // A message element that is absent leaves the record as it was.
    CCanMsg keep;
    keep.Name = "keep";
    EXPECT_FALSE(LoadXmlCanMsg(doc, keep));
    EXPECT_EQ(keep.Name, "keep");
}

// Children are read only in the writer's order: a hotel or table before the last message is not found.
TEST(CanXml, ChildrenOutOfOrderAreNotRead) {
    CXmlDoc doc = parsed(
        "<R><CAN_DATABASE><CAN_SIGNAL_ENUM Name=\"early\"/><CAN_MSG_HOTEL Name=\"early\"/>"
        "<CAN_MSG Name=\"A\"/><CAN_SIGNAL_ENUM Name=\"late\"/></CAN_DATABASE></R>");
    tCAN_DATABASE db;
    ASSERT_TRUE(LoadXmlCanDatabase(doc, db));
    ASSERT_EQ(db.Messages.size(), 1u);
    EXPECT_EQ(db.FreeSigMsg.Name, "");
    ASSERT_EQ(db.Enums.size(), 1u);
    EXPECT_EQ(db.Enums[0].Name, "late");
}

TEST(CfgCanDatabase, ListRoundTripAndDefaults) {
    std::vector<tCFG_CAN_DATABASE> list(3);
    list[0].Name = "车身";
    list[0].Database = fullDatabase();
    list[1].Name = "B";
    list[1].PriorityLevel = 0;
    list[1].FirstAddFlag = 1;
    list[2].Name = "C";
    list[2].PriorityLevel = 7;
    EXPECT_EQ(tCFG_CAN_DATABASE().PriorityLevel, -1);

    CXmlDoc doc = rootDoc();
    SaveXmlCfgCanDatabaseList(doc, list);
    EXPECT_NE(doc.GetText().find("<CFG_CAN_DATABASE Name=\"B\" PriorityLevel=\"0\" FirstAddFlag=\"1\">"),
              std::string::npos);
    CXmlDoc back = parsed(doc.GetText());
    EXPECT_EQ(LoadXmlCfgCanDatabaseList(back), list);

    CXmlDoc none = parsed("<VEXAR_CFG_FILE><OTHER/></VEXAR_CFG_FILE>");
    EXPECT_TRUE(LoadXmlCfgCanDatabaseList(none).empty());
}

// An entry without a database, or whose database lacks its free-signal holder, gets empty ones and not
// those of the entry before it; flags read any nonzero number as 1.
TEST(CfgCanDatabase, EntriesNeverInheritTheEntryBefore) {
    CXmlDoc doc = parsed(
        "<VEXAR_CFG_FILE>"
        "<CFG_CAN_DATABASE Name=\"A\" PriorityLevel=\"-1\" FirstAddFlag=\"5\"><CAN_DATABASE Author=\"x\">"
        "<CAN_MSG Name=\"M\"/><CAN_MSG_HOTEL><CAN_SIGNAL Name=\"f\"/></CAN_MSG_HOTEL></CAN_DATABASE>"
        "</CFG_CAN_DATABASE>"
        "<CFG_CAN_DATABASE Name=\"B\"/>"
        "<CFG_CAN_DATABASE Name=\"C\"><CAN_DATABASE/></CFG_CAN_DATABASE>"
        "</VEXAR_CFG_FILE>");
    const auto list = LoadXmlCfgCanDatabaseList(doc);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].PriorityLevel, -1);
    EXPECT_EQ(list[0].FirstAddFlag, 1);
    EXPECT_EQ(list[0].Database.FreeSigMsg.Signals.size(), 1u);
    EXPECT_EQ(list[1].Database, tCAN_DATABASE());
    EXPECT_EQ(list[1].PriorityLevel, 0);  // absent attribute
    EXPECT_EQ(list[2].Database, tCAN_DATABASE());
}
