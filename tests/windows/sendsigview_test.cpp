// The send signal list: value texts, edits packed into the data bytes (Intel and Motorola, signed and
// unsigned, physical and value-table), the hexadecimal toggle, and what reaches the message list and the
// device.
#include "windows/sendsigview.h"

#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>

#include <array>
#include <thread>

#include "tests/windows/wndtest.h"
#include "windows/sendcelldelegate.h"
#include "windows/sendmsgmodel.h"
#include "windows/sendmsgview.h"
#include "windows/sendwnd.h"
#include "windows/sigvaluetext.h"

using namespace wndtest;
using S = CSendSigModel;
using Bytes = std::array<uint8_t, 8>;

namespace {

CCanSignal WithTable(CCanSignal s) {
    s.Enum = 1;
    s.SigEnum.Items = {{"Off", 0}, {"On", 1}, {"Auto", 2}};
    return s;
}

// One message whose signals cover both byte orders, both signs, scaling and a value table.
CCanMsg TestMsg() {
    CCanMsg m;
    m.Name = "Body";
    m.id = 0x321;
    m.DL = 8;
    m.Signals = {
        Sig("U12", 4, 12),                          // Intel, bits 4..15
        Sig("M16", 23, 16, false),                  // Motorola, bytes 2..3
        Sig("S8", 32, 8, true, true),               // signed, byte 4
        Sig("Phys", 40, 8, true, false, 0.5, -10),  // byte 5
        WithTable(Sig("Mode", 52, 4)),              // byte 6 bits 4..7
        Sig("MS12", 51, 12, false, true),           // Motorola signed, byte 6 bits 3..0 and byte 7
    };
    m.Signals[0].Unit = "rpm";
    return m;
}

// A scaled value-table signal: 8 bits from -40 degC, the table naming only the two top values.
CCanSignal OilTemp() {
    CCanSignal s = Sig("GboxOil", 0, 8, true, false, 1, -40);
    s.Unit = "degC";
    s.Enum = 1;
    s.SigEnum.Items = {{"Faulty", 215}, {"NoData", 214}};
    return s;
}

class SendSigViewTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        tCFG_SET_SEND_MSG rec = Rec("Body", 0x321, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0});
        rec.Parse = 1;
        rec.CanMsg = TestMsg();
        ws->Cfg().Send.MsgMap[0x321] = rec;
        ws->Cfg().Send.MsgMap[0x100] = Rec("Plain", 0x100, 0, 0, {1, 2});
        tCFG_SET_SEND_MSG oil = Rec("Gearbox", 0x322, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0});
        oil.Parse = 1;
        oil.CanMsg.Name = "Gearbox";
        oil.CanMsg.id = 0x322;
        oil.CanMsg.DL = 8;
        oil.CanMsg.Signals = {OilTemp()};
        ws->Cfg().Send.MsgMap[0x322] = oil;
        wnd = std::make_unique<CSendWnd>(ws->Cfg(), ws->Hub(), ws->Sender());
        tester = std::make_unique<QAbstractItemModelTester>(
            wnd->sigView()->sigModel(), QAbstractItemModelTester::FailureReportingMode::Fatal);
        ShowActive(*wnd, 1200, 500);
        wnd->sigView()->LoadSignals(0x321);
    }
    void TearDown() override {
        tester.reset();
        wnd.reset();
        WindowTest::TearDown();
    }
    CSendSigView* sig() const { return wnd->sigView(); }
    QString Cell(int row, int column) const {
        return sig()->sigModel()->index(row, column).data().toString();
    }
    int RowOf(const char* name) const {
        for (int r = 0; r < sig()->sigModel()->rowCount(); ++r)
            if (Cell(r, S::kName) == name) return r;
        return -1;
    }
    Bytes Data() const {
        Bytes out;
        std::copy(std::begin(ws->Cfg().Send.MsgMap.at(0x321).TxData),
                  std::end(ws->Cfg().Send.MsgMap.at(0x321).TxData), out.begin());
        return out;
    }
    void SetData(const Bytes& bytes) {
        std::copy(bytes.begin(), bytes.end(), ws->Cfg().Send.MsgMap.at(0x321).TxData);
        sig()->RefreshValues(0x321);
    }
    void Edit(const char* signal, int column, const char* text, bool combo = false) {
        sig()->OnEditEnd(EditEnd(RowOf(signal), column, 0x321, text, combo));
    }

    std::unique_ptr<CSendWnd> wnd;
    std::unique_ptr<QAbstractItemModelTester> tester;
};

}  // namespace

TEST(SigValueText, RawAndPhysicalTexts) {
    struct Case {
        const char* name;
        CCanSignal sig;
        Bytes data;
        const char *hex, *dec, *phy;
    } cases[] = {
        {"unsigned", Sig("u", 0, 8), {0xAB}, "AB", "171", "171"},
        {"signed all ones", Sig("s", 8, 8, true, true), {0, 0xFF}, "- 1", "-1", "-1"},
        {"signed positive", Sig("s", 8, 8, true, true), {0, 0x05}, "+ 5", "5", "5"},
        {"signed minimum",
         Sig("s", 0, 32, true, true),
         {0, 0, 0, 0x80},
         "- 80000000",
         "-2147483648",
         "-2147483648"},
        {"motorola", Sig("m", 7, 16, false), {0x12, 0x34}, "1234", "4660", "4660"},
        {"scaled", Sig("p", 0, 8, true, false, 0.5, -10), {20}, "14", "20", "0"},
        {"value table", WithTable(Sig("e", 0, 4)), {1}, "1", "1", "On"},
        {"no table entry: the number", WithTable(Sig("e", 0, 4)), {3}, "3", "3", "3"},
        {"scaled, no table entry", WithTable(Sig("e", 0, 8, true, false, 0.5, -10)), {3}, "3", "3", "-8.5"},
        {"bad length", Sig("z", 0, 0), {}, "--", "--", "--"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        uint8_t data[8];
        std::copy(c.data.begin(), c.data.end(), data);
        EXPECT_EQ(vex::SigRawText(c.sig, data, true), QString::fromUtf8(c.hex));
        EXPECT_EQ(vex::SigRawText(c.sig, data, false), QString::fromUtf8(c.dec));
        EXPECT_EQ(vex::SigPhyText(c.sig, data), QString::fromUtf8(c.phy));
    }
}

// A value the signal's bits cannot carry would go on the bus as another one (the codec keeps the low
// bits): it is refused with the range the bits carry, taken from Sign and BitLen, not PhyMin and PhyMax.
// A value within that range is packed as before and shows as what was typed (or what the codec truncates
// it to).
TEST(SigValueText, ValuesTheBitsCannotCarryAreRefused) {
    CCanSignal temp = Sig("t", 0, 8, true, false, 1, -40);
    temp.PhyMin = 0;  // informative only
    temp.PhyMax = 100;
    const CCanSignal s8 = Sig("s", 0, 8, true, true);
    const CCanSignal neg = Sig("n", 0, 8, true, false, -2, 10);
    const CCanSignal range = Sig("r", 0, 12, true, false, 0.1, 0);
    const CCanSignal u32 = Sig("u", 0, 32);
    const CCanSignal s32 = Sig("S", 0, 32, true, true);
    CCanSignal table = Sig("e", 0, 8);
    table.Enum = 1;
    table.SigEnum.Items = {{"Off", 0}, {"On", 1}, {"Beyond", 300}};
    const QString tempRange = "请输入-40~215之间的数值。";
    struct Case {
        const char* name;
        const CCanSignal& sig;
        const char* text;
        QString refusal;    // empty: taken
        const char* shown;  // the physical text once taken
    } cases[] = {
        {"offset, top", temp, "215", "", "215"},
        {"offset, beyond the top", temp, "216", tempRange, ""},
        {"offset, far beyond: was -97 on the bus", temp, "99999", tempRange, ""},
        {"offset, bottom", temp, "-40", "", "-40"},
        {"offset, below the bottom", temp, "-41", tempRange, ""},
        {"offset, past PhyMax but within the bits", temp, "150", "", "150"},
        {"signed, top", s8, "127", "", "127"},
        {"signed, beyond the top", s8, "128", "请输入-128~127之间的数值。", ""},
        {"signed, bottom", s8, "-128", "", "-128"},
        {"signed, below the bottom", s8, "-129", "请输入-128~127之间的数值。", ""},
        {"negative factor, low end", neg, "-500", "", "-500"},
        {"negative factor, beyond the low end", neg, "-502", "请输入-500~10之间的数值。", ""},
        {"negative factor, high end", neg, "10", "", "10"},
        {"negative factor, beyond the high end", neg, "12", "请输入-500~10之间的数值。", ""},
        {"fraction, top", range, "409.5", "", "409.5"},
        {"fraction, beyond the top", range, "409.6", "请输入0~409.5之间的数值。", ""},
        {"32 bits, top", u32, "4294967295", "", "4294967295"},
        {"32 bits, beyond the top", u32, "4294967296", "请输入0~4294967295之间的数值。", ""},
        {"32 bits, negative", u32, "-1", "请输入0~4294967295之间的数值。", ""},
        {"32 bits signed, bottom", s32, "-2147483648", "", "-2147483648"},
        {"32 bits signed, beyond", s32, "2147483648", "请输入-2147483648~2147483647之间的数值。", ""},
        {"not a number", temp, "nan", tempRange, ""},
        {"infinite", temp, "inf", tempRange, ""},
        {"not a number at all: was sent as 0", temp, "abc", tempRange, ""},
        {"an empty cell: was sent as 0", temp, "", tempRange, ""},
        {"a number read by its prefix", temp, " 80 degC", "", "80"},
        {"an exponent", temp, "1e2", "", "100"},
        {"value-table text", table, "On", "", "On"},
        {"value-table text in other letters: no entry, no number", table, "on", "请输入0~255之间的数值。",
         ""},
        {"value-table signal, a number", table, "7", "", "7"},
        {"value-table text beyond the bits", table, "Beyond", "请输入0~255之间的数值。", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(vex::validateSigPhyText(c.sig, QString::fromUtf8(c.text)), c.refusal);
        if (!c.refusal.isEmpty()) continue;
        uint8_t data[8] = {};
        vex::ApplySigPhyText(c.sig, data, QString::fromUtf8(c.text));
        EXPECT_EQ(vex::SigPhyText(c.sig, data), QString::fromUtf8(c.shown));
    }

    // Raw values: decimal, or hexadecimal for unsigned signals; a signed signal takes nothing in
    // hexadecimal display, so nothing is refused there.
    const CCanSignal u8 = Sig("u", 0, 8);
    struct RawCase {
        const CCanSignal& sig;
        const char* text;
        bool hex;
        QString refusal;
    } raws[] = {
        {u8, "255", false, ""},
        {u8, "256", false, "请输入0~255之间的整数。"},
        {u8, "-1", false, "请输入0~255之间的整数。"},
        {u8, "FF", true, ""},
        {u8, "100", true, "请输入0~FF之间的十六进制数。"},
        {range, "1000", true, "请输入0~FFF之间的十六进制数。"},
        {s8, "-128", false, ""},
        {s8, "-129", false, "请输入-128~127之间的整数。"},
        {s8, "200", false, "请输入-128~127之间的整数。"},
        {s8, "200", true, ""},
        {u32, "4294967295", false, ""},
        {u8, "abc", false, "请输入0~255之间的整数。"},
        {u8, "", false, "请输入0~255之间的整数。"},
        {u8, "-", false, "请输入0~255之间的整数。"},
        {u8, "G1", true, "请输入0~FF之间的十六进制数。"},
        {u8, " 0x1a", true, ""},
        {s8, "x", true, ""},  // nothing is written in hexadecimal display
    };
    for (const RawCase& c : raws) {
        SCOPED_TRACE(std::string(c.text) + (c.hex ? " hex" : " dec"));
        EXPECT_EQ(vex::validateSigRawText(c.sig, QString::fromUtf8(c.text), c.hex), c.refusal);
    }
}

TEST_F(SendSigViewTest, EditsPackTheRightBits) {
    struct Case {
        const char* signal;
        int column;
        const char* text;
        bool hex, combo;
        Bytes data;  // from all zero
        const char *raw, *phy;
    } cases[] = {
        {"U12", S::kRaw, "ABC", true, false, {0xC0, 0xAB}, "ABC", "2748"},
        {"U12", S::kRaw, "1A", true, false, {0xA0, 0x01}, "1A", "26"},
        {"U12", S::kRaw, "1A", false, false, {0x10}, "1", "1"},
        {"U12", S::kPhy, "4095", true, false, {0xF0, 0xFF}, "FFF", "4095"},
        {"M16", S::kRaw, "1234", true, false, {0, 0, 0x12, 0x34}, "1234", "4660"},
        {"S8", S::kRaw, "-1", false, false, {0, 0, 0, 0, 0xFF}, "-1", "-1"},
        {"S8", S::kRaw, "-1", true, false, {}, "+ 0", "0"},  // not written in hexadecimal display
        {"S8", S::kPhy, "-3", true, false, {0, 0, 0, 0, 0xFD}, "- 3", "-3"},
        {"Phys", S::kPhy, "0", true, false, {0, 0, 0, 0, 0, 0x14}, "14", "0"},
        {"Phys", S::kPhy, "2.5", false, false, {0, 0, 0, 0, 0, 0x19}, "25", "2.5"},
        {"Mode", S::kPhy, "Auto", true, true, {0, 0, 0, 0, 0, 0, 0x20}, "2", "Auto"},
        {"MS12", S::kRaw, "-2", false, false, {0, 0, 0, 0, 0, 0, 0x0F, 0xFE}, "-2", "-2"},
        {"MS12", S::kPhy, "-2", true, false, {0, 0, 0, 0, 0, 0, 0x0F, 0xFE}, "- 2", "-2"},
    };
    CSendMsgModel* msgs = wnd->msgView()->msgModel();
    const int msgRow = msgs->RowOfKey(0x321);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.signal) + " " + c.text);
        ws->Cfg().Send.SigRawValShowHex = c.hex ? 1 : 0;
        SetData({});
        Edit(c.signal, c.column, c.text, c.combo);
        EXPECT_EQ(Data(), c.data);
        EXPECT_EQ(Cell(RowOf(c.signal), S::kRaw), QString::fromUtf8(c.raw));
        EXPECT_EQ(Cell(RowOf(c.signal), S::kPhy), QString::fromUtf8(c.phy));
        // The message list shows the new bytes.
        for (int i = 0; i < 8; ++i)
            EXPECT_EQ(msgs->index(msgRow, CSendMsgModel::kData0 + i).data().toString(),
                      QString::asprintf("%02X", c.data[static_cast<size_t>(i)]));
    }
    EXPECT_TRUE(prompt.messages.empty());
}

// An edit the signal's bits cannot carry is refused with a message; the bytes, the cells and the
// message list keep what they had.
TEST_F(SendSigViewTest, ValuesTheBitsCannotCarryKeepTheCell) {
    ws->Cfg().Send.SigRawValShowHex = 0;
    SetData({0, 0, 0, 0, 0x05, 0x14});
    const Bytes before = Data();
    struct Case {
        const char* signal;
        int column;
        const char* text;
        const char* message;
    } cases[] = {
        {"Phys", S::kPhy, "99999", "请输入-10~117.5之间的数值。"},
        {"Phys", S::kPhy, "-10.4", nullptr},  // truncated toward zero to raw 0: within the bits
        {"S8", S::kRaw, "200", "请输入-128~127之间的整数。"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.signal) + " " + c.text);
        prompt.clear();
        SetData(before);
        const QString raw = Cell(RowOf(c.signal), S::kRaw), phy = Cell(RowOf(c.signal), S::kPhy);
        Edit(c.signal, c.column, c.text);
        if (c.message == nullptr) {
            EXPECT_TRUE(prompt.messages.empty());
            EXPECT_NE(Data(), before);
            continue;
        }
        EXPECT_EQ(Messages(), std::vector<QString>{QString::fromUtf8(c.message)});
        EXPECT_EQ(Data(), before);
        EXPECT_EQ(Cell(RowOf(c.signal), S::kRaw), raw);
        EXPECT_EQ(Cell(RowOf(c.signal), S::kPhy), phy);
        EXPECT_EQ(wnd->msgView()
                      ->msgModel()
                      ->index(wnd->msgView()->msgModel()->RowOfKey(0x321), CSendMsgModel::kData0 + 5)
                      .data()
                      .toString(),
                  "14");
    }
}

TEST_F(SendSigViewTest, RowsAndTheHexadecimalToggle) {
    ASSERT_EQ(sig()->sigModel()->rowCount(), 6);
    EXPECT_EQ(Cell(0, S::kUnit), "rpm");
    struct Row {
        const char* name;
        int itemData;
    } rows[] = {{"U12", 0}, {"M16", 0}, {"S8", 2}, {"Phys", 0}, {"Mode", 1}, {"MS12", 2}};
    for (int r = 0; r < 6; ++r) {
        EXPECT_EQ(Cell(r, S::kName), rows[r].name);
        EXPECT_EQ(sig()->sigModel()->index(r, 2).data(S::ItemDataRole).toInt(), rows[r].itemData);
    }
    SetData({0, 0, 0, 0, 0xFF});
    auto header = [&] { return sig()->sigModel()->headerData(S::kRaw, Qt::Horizontal).toString(); };
    EXPECT_EQ(header(), "Raw Value[HEX]");
    EXPECT_EQ(Cell(RowOf("S8"), S::kRaw), "- 1");

    const int x = sig()->horizontalHeader()->sectionViewportPosition(S::kRaw) + 20;
    QTest::mouseClick(sig()->horizontalHeader()->viewport(), Qt::LeftButton, {}, QPoint(x, 5));
    EXPECT_EQ(ws->Cfg().Send.SigRawValShowHex, 0);
    EXPECT_EQ(header(), "Raw Value[DEC]");
    EXPECT_EQ(Cell(RowOf("S8"), S::kRaw), "-1");
    sig()->OnHeaderClicked(S::kPhy);  // other headers do nothing
    EXPECT_EQ(ws->Cfg().Send.SigRawValShowHex, 0);
    sig()->OnHeaderClicked(S::kRaw);
    EXPECT_EQ(ws->Cfg().Send.SigRawValShowHex, 1);
    EXPECT_EQ(header(), "Raw Value[HEX]");

    // A message without a database definition shows no signals; deleting the shown one empties the list.
    sig()->LoadSignals(0x100);
    EXPECT_EQ(sig()->sigModel()->rowCount(), 0);
    EXPECT_EQ(sig()->CurrentKey(), 0x100);
    sig()->LoadSignals(0x999);  // not stored: nothing changes
    EXPECT_EQ(sig()->CurrentKey(), 0x100);
    sig()->LoadSignals(0x321);
    wnd->msgView()->selectRow(wnd->msgView()->msgModel()->RowOfKey(0x321));
    wnd->OnDeleteMsg();
    EXPECT_EQ(sig()->CurrentKey(), -1);
    EXPECT_EQ(sig()->sigModel()->rowCount(), 0);
    EXPECT_TRUE(prompt.messages.empty());
}

TEST_F(SendSigViewTest, DoubleClickOffersTheEditorOfTheValue) {
    struct Case {
        const char* signal;
        int column;
        bool hex;
        const char* editor;
    } cases[] = {
        {"S8", S::kRaw, true, ""},      {"S8", S::kRaw, false, "edit"},   {"U12", S::kRaw, true, "edit"},
        {"U12", S::kPhy, true, "edit"}, {"Mode", S::kPhy, true, "combo"}, {"U12", S::kName, true, ""},
        {"U12", S::kUnit, true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.signal) + " " + std::to_string(c.column));
        ws->Cfg().Send.SigRawValShowHex = c.hex ? 1 : 0;
        DoubleClick(*sig(), sig()->sigModel()->index(RowOf(c.signal), c.column));
        if (auto* combo = OpenEditor<QComboBox>(*sig())) {
            QStringList items;
            for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
            EXPECT_EQ(items, QStringList({"Off", "On", "Auto"}));
        }
        EXPECT_EQ(TakeEditor(*sig()), c.editor);
    }
    EXPECT_EQ(Data(), Bytes{});  // Escape wrote nothing
}

// A value the table does not name shows as its number, so the Phys Value editor of a value-table signal
// takes a typed physical value, with the checks of any signal, as well as a choice of its texts.
TEST_F(SendSigViewTest, ValueTableSignalsTakeATypedNumberOrAChoice) {
    ws->Cfg().Send.SigRawValShowHex = 1;
    sig()->LoadSignals(0x322);
    ASSERT_EQ(sig()->sigModel()->rowCount(), 1);
    CSendMsgModel* msgs = wnd->msgView()->msgModel();
    const QModelIndex phy = sig()->sigModel()->index(0, S::kPhy);
    auto byte0 = [&] { return ws->Cfg().Send.MsgMap.at(0x322).TxData[0]; };
    auto listed = [&] { return msgs->index(msgs->RowOfKey(0x322), CSendMsgModel::kData0).data().toString(); };
    EXPECT_EQ(phy.data().toString(), "-40");

    // The editor starts on the cell's text with all of it selected, the table's texts in its list.
    QComboBox* combo = OpenTypedCombo(*sig(), phy);
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->currentText(), "-40");
    EXPECT_EQ(combo->count(), 2);
    EXPECT_EQ(combo->itemText(0), "Faulty");
    EXPECT_EQ(TakeEditor(*sig()), "combo");
    EXPECT_EQ(byte0(), 0);  // Escape wrote nothing

    ASSERT_TRUE(TypeIntoCombo(*sig(), phy, "80"));
    EXPECT_EQ(byte0(), 120);
    EXPECT_EQ(phy.data().toString(), "80");
    EXPECT_EQ(sig()->sigModel()->index(0, S::kRaw).data().toString(), "78");
    EXPECT_EQ(listed(), "78");
    EXPECT_TRUE(prompt.messages.empty());

    // Beyond what the bits carry: refused with the range, the cell and the bytes keep their value.
    for (const char* beyond : {"216", "-41", "99999"}) {
        SCOPED_TRACE(beyond);
        prompt.clear();
        ASSERT_TRUE(TypeIntoCombo(*sig(), phy, beyond));
        EXPECT_EQ(Messages(), std::vector<QString>{"请输入-40~215之间的数值。"});
        EXPECT_EQ(byte0(), 120);
        EXPECT_EQ(phy.data().toString(), "80");
        EXPECT_EQ(listed(), "78");
    }
    prompt.clear();
    ASSERT_TRUE(TypeIntoCombo(*sig(), phy, "5", Qt::Key_Escape));
    EXPECT_EQ(byte0(), 120);

    // A text chosen from the list, or typed as it stands there.
    ASSERT_TRUE(ChooseInCombo(*sig(), phy, "Faulty"));
    EXPECT_EQ(byte0(), 255);
    EXPECT_EQ(phy.data().toString(), "Faulty");
    EXPECT_EQ(listed(), "FF");
    ASSERT_TRUE(TypeIntoCombo(*sig(), phy, "NoData"));
    EXPECT_EQ(byte0(), 254);
    EXPECT_EQ(phy.data().toString(), "NoData");
    ASSERT_TRUE(TypeIntoCombo(*sig(), phy, "-40"));
    EXPECT_EQ(byte0(), 0);
    EXPECT_TRUE(prompt.messages.empty());
}

// While online, a signal edit reaches the device's copy of a cyclic message; a message that is not sent
// cyclically is not touched in the device (no failed update reported).
TEST_F(SendSigViewTest, SignalEditsReachTheCyclicCopy) {
    GoOnline();
    CSendMsgView* msgs = wnd->msgView();
    auto reports = [&] {
        int failures = 0;
        tCAN_DEV_REPORT r;
        while (PopDevReport(ws->Cfg().NxpDevice().m_ReportRing, r)) failures += r.Severity != 0;
        return failures;
    };
    reports();
    Edit("U12", S::kRaw, "123");
    EXPECT_EQ(reports(), 0);

    const int row = msgs->msgModel()->RowOfKey(0x321);
    ASSERT_TRUE(msgs->StartCyclic(0x321));
    msgs->msgModel()->SetCyclic(row, true);
    Edit("M16", S::kRaw, "BEEF");
    auto sentWith = [&](uint8_t b2, uint8_t b3) {
        for (const auto& f : vex::emu::peer::Received())
            if (f.frame.id == 0x321 && f.frame.data[2] == b2 && f.frame.data[3] == b3) return true;
        return false;
    };
    EXPECT_TRUE(emutest::WaitFor([&] { return sentWith(0xBE, 0xEF); }, 30'000));
    EXPECT_EQ(reports(), 0);
    msgs->StopCyclic(0x321);
    EXPECT_TRUE(prompt.messages.empty());
}
