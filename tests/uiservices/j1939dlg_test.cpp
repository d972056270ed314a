// The J1939 DMx dialogs: the entry dialog's checks, the node dialog's options in the configuration, the
// description file, the tree of received nodes, the list of codes to send, and starting and stopping.
#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTreeWidget>

#include "services/j1939dmx.h"
#include "tests/windows/wndtest.h"
#include "ui/services/j1939dmxdlg.h"
#include "ui/services/j1939spnfmidlg.h"

using namespace wndtest;
using D = CExtSerCanJ1939DmxNodeDlg;

namespace {

class J1939DlgTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        tCFG_SET_EXT_J1939DMX_SERVICE& set = ws->Cfg().J1939;
        set.DmxPgnVal = 0xFECB;
        set.PgnDa = 0x21;
        set.PgnSa = 0x3D;
        set.LampStatus = 0x04;
        set.SpnFmiArray = {{0x80000 | 1234, 0x25, 1, 3}};  // masked to 19 and 5 bits when shown
        svc = std::make_unique<CExtSerCanJ1939DMx>(ws->Sender());
        dlg = std::make_unique<D>(*ws, *svc);
        treeTester.emplace(dlg->tree()->model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
        listTester.emplace(dlg->list()->model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    }
    void TearDown() override {
        listTester.reset();
        treeTester.reset();
        dlg.reset();
        svc.reset();
        WindowTest::TearDown();
    }
    QStringList RowTexts(int row) const {
        QStringList out;
        for (int c = 0; c < D::kColumns; ++c) out << dlg->list()->item(row, c)->text();
        return out;
    }
    void Answer(tJ1939_DTC dtc) {
        dlg->runEntryDialog = [dtc](tJ1939_DTC& out) {
            out = dtc;
            return true;
        };
    }

    std::unique_ptr<CExtSerCanJ1939DMx> svc;
    std::unique_ptr<D> dlg;
    std::optional<QAbstractItemModelTester> treeTester, listTester;
};

}  // namespace

TEST(J1939SpnFmiDlg, ChecksInOrder) {
    const struct {
        SpnFmiDlgInput in;
        const char* refusal;
    } cases[] = {
        {{"524287", "31", "1", "127"}, ""},           {{"524288", "32", "2", "128"}, "SPN超过最大值。"},
        {{"-1", "0", "0", "0"}, "SPN超过最大值。"},   {{"0", "32", "2", "128"}, "FMI超过最大值。"},
        {{"0", "0", "2", "128"}, "CM超过最大值。"},   {{"0", "0", "0", "128"}, "OC超过最大值。"},
        {{"0", "abc", "0", "0"}, "请输入一个整数。"},
    };
    for (const auto& c : cases) {
        tJ1939_DTC dtc;
        EXPECT_EQ(validateSpnFmiDlg(c.in, dtc), QString::fromUtf8(c.refusal)) << c.refusal;
    }
    tJ1939_DTC dtc;
    ASSERT_EQ(validateSpnFmiDlg({" 100 ", "3", "1", "7"}, dtc), "");
    EXPECT_EQ(dtc, (tJ1939_DTC{100, 3, 1, 7}));
}

// Opening shows the configuration; every option goes back into it as it changes.
TEST_F(J1939DlgTest, OptionsFromAndIntoTheConfiguration) {
    EXPECT_EQ(dlg->versionCombo()->currentText(), "1");
    EXPECT_EQ(dlg->dmxCombo()->count(), 2);
    EXPECT_EQ(dlg->dmxCombo()->itemText(0), "DM1 FECA");
    EXPECT_EQ(dlg->dmxCombo()->currentText(), "DM2 FECB");
    EXPECT_EQ(dlg->priorityEdit()->text(), "6");
    EXPECT_EQ(dlg->daEdit()->text(), "21");
    EXPECT_EQ(dlg->saEdit()->text(), "3D");
    EXPECT_EQ(dlg->lampEdit()->text(), "04");
    EXPECT_EQ(dlg->chanCombo()->currentText(), "1");
    ASSERT_EQ(dlg->list()->rowCount(), 1);
    EXPECT_EQ(RowTexts(0), (QStringList{"1234", "5", "1", "3", ""}));
    EXPECT_FALSE(dlg->stopButton()->isEnabled());

    tCFG_SET_EXT_J1939DMX_SERVICE& set = ws->Cfg().J1939;
    dlg->versionCombo()->setCurrentIndex(2);
    emit dlg->versionCombo()->activated(2);
    dlg->dmxCombo()->setCurrentIndex(0);
    emit dlg->dmxCombo()->activated(0);
    dlg->edpCombo()->setCurrentIndex(1);
    emit dlg->edpCombo()->activated(1);
    dlg->chanCombo()->setCurrentIndex(0);
    emit dlg->chanCombo()->activated(0);
    for (QLineEdit* e : {dlg->priorityEdit(), dlg->daEdit(), dlg->lampEdit()}) e->selectAll();
    QTest::keyClicks(dlg->priorityEdit(), "13");
    QTest::keyClicks(dlg->daEdit(), "2a");
    QTest::keyClicks(dlg->lampEdit(), "1FF");
    EXPECT_EQ(set.J1939FrameFormatVersion, 3);
    EXPECT_EQ(set.DmxPgnVal, 0xFECA);
    EXPECT_EQ(set.PgnEdp, 1);
    EXPECT_EQ(set.TxCanChan, 0);
    EXPECT_EQ(set.PgnP, 13 & 7);
    EXPECT_EQ(set.PgnDa, 0x2A);
    EXPECT_EQ(set.LampStatus, 0xFF);
}

// Descriptions reach the list and the tree; a bad line is reported with its values (a field that is no number
// with its line); a later line of the same code replaces an earlier one. The tree of a DM1 with lamp status
// 04 and one code from source 17 on channel 1; without a frame-format version the refresh ends at the first
// message with codes.
TEST_F(J1939DlgTest, DescriptionsAndTheNodeTree) {
    vextest::writeFile(dir / "spn.csv",
                       "1234,5,Coolant\nabc,def,ghi\n600000,1,bad\n100,3,Oil\n1234,5,Coolant temp\n");
    dlg->LoadDescriptions(QString::fromStdString(Path("spn.csv")));
    EXPECT_EQ(Messages(), (std::vector<QString>{"第2行的SPN(abc)-FMI(def) 不是十进制数值\r\n描述为ghi",
                                                "不合理的SPN(600000)-FMI(1) 的数值\r\n描述为bad"}));
    EXPECT_EQ(RowTexts(0).back(), "Coolant temp");
    // A file that cannot be read is named with the reason; what was loaded stays loaded and shown.
    prompt.clear();
    dlg->LoadDescriptions("/dev/zero");
    EXPECT_EQ(Messages(), std::vector<QString>{"SPN-FMI解析文件没有载入：/dev/zero：Not a regular file"});
    EXPECT_EQ(dlg->fileEdit()->text(), QString::fromStdString(Path("spn.csv")));
    EXPECT_EQ(RowTexts(0).back(), "Coolant temp");
    // As is a file that describes nothing.
    prompt.clear();
    vextest::writeFile(dir / "empty.csv", "");
    dlg->LoadDescriptions(QString::fromStdString(Path("empty.csv")));
    EXPECT_EQ(Messages(), std::vector<QString>{
                              QString::fromStdString("SPN-FMI解析文件没有载入：" + Path("empty.csv") +
                                                     "：文件中没有SPN-FMI描述行（每行为：SPN,FMI,描述）。")});
    EXPECT_EQ(dlg->fileEdit()->text(), QString::fromStdString(Path("spn.csv")));
    EXPECT_EQ(RowTexts(0).back(), "Coolant temp");

    tCAN_RAW_MSG dm1;
    dm1.Id = 0x18FECA17;
    dm1.Ext = 1;
    dm1.Chan = 1;
    dm1.Dlc = 8;
    const uint8_t data[8] = {0x04, 0xFF, 0x00, 0x9A, 0x45, 0x83, 0xFF, 0xFF};  // 1234-5 in version 1
    std::copy(data, data + 8, dm1.Data);
    svc->OnRxMsg(&dm1);
    prompt.clear();
    dlg->OnRefresh();
    EXPECT_EQ(Messages(), std::vector<QString>{"请先开启监听。"});
    EXPECT_EQ(dlg->TreeTexts(), (QStringList{"Node[17](1)", "  DM1 [FECA] Lamp Status[04]",
                                             "    SPN-FMI : 1234-5 Coolant temp"}));
    dlg->versionCombo()->setCurrentIndex(-1);
    dlg->OnRefresh();
    EXPECT_EQ(dlg->TreeTexts(), (QStringList{"Node[17](1)", "  DM1 [FECA] Lamp Status[04]"}));

    dlg->OnClear();
    J1939DmxNodeMap nodes;
    svc->GetNodeMap(nodes);
    EXPECT_TRUE(nodes.empty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg->tree()->topLevelItemCount() == 0; }, 30'000));
}

// Adding, editing and removing codes: a code already listed is refused; the configuration follows the list.
TEST_F(J1939DlgTest, CodesToSend) {
    Answer({100, 3, 0, 7});
    dlg->OnAddSpnFmi();
    dlg->OnAddSpnFmi();
    dlg->OnEditSpnFmi();
    dlg->OnRemoveSpnFmi();
    EXPECT_EQ(Messages(), (std::vector<QString>{"已经添加此SPN-FMI", "请选择其中一项进行操作。",
                                                "请选择其中一项进行操作。"}));
    ASSERT_EQ(dlg->list()->rowCount(), 2);
    dlg->list()->selectRow(0);
    Answer({1234, 5, 0, 9});  // the same code, other CM and OC
    dlg->OnEditSpnFmi();
    Answer({100, 3, 1, 1});  // the other row's code
    dlg->OnEditSpnFmi();
    EXPECT_EQ(Messages().back(), "已经添加此SPN-FMI");
    EXPECT_EQ(dlg->RowDtcs(), (std::vector<tJ1939_DTC>{{1234, 5, 0, 9}, {100, 3, 0, 7}}));
    EXPECT_EQ(ws->Cfg().J1939.SpnFmiArray,
              (std::vector<tCFG_SET_EXT_J1939DMX_TX_SPN_FMI>{{1234, 5, 0, 9}, {100, 3, 0, 7}}));
    dlg->list()->selectRow(0);
    dlg->OnRemoveSpnFmi();
    EXPECT_EQ(ws->Cfg().J1939.SpnFmiArray, (std::vector<tCFG_SET_EXT_J1939DMX_TX_SPN_FMI>{{100, 3, 0, 7}}));
}

// Starting: no codes is refused even offline, then offline is refused; online the controls lock until
// stop; closing the dialog stops sending.
TEST_F(J1939DlgTest, StartAndStop) {
    dlg->list()->selectRow(0);
    dlg->OnRemoveSpnFmi();
    dlg->OnStartTx();
    Answer({100, 3, 0, 7});
    dlg->OnAddSpnFmi();
    dlg->OnStartTx();
    EXPECT_EQ(Messages(), (std::vector<QString>{"请添加需要发送的SPN-FMI。", "请先开启监听。"}));
    GoOnline();
    dlg->OnStartTx();
    EXPECT_TRUE(svc->IsSending());
    EXPECT_TRUE(dlg->stopButton()->isEnabled());
    EXPECT_FALSE(dlg->startButton()->isEnabled());
    EXPECT_FALSE(dlg->versionCombo()->isEnabled());
    EXPECT_TRUE(dlg->daEdit()->isReadOnly());
    ASSERT_TRUE(emutest::WaitFor([] { return !vex::emu::peer::Received().empty(); }, 30'000));
    EXPECT_EQ(vex::emu::peer::Received()[0].frame.id, 0x18FECB3Du);  // DM2, priority 6
    dlg->OnStopTx();
    EXPECT_FALSE(svc->IsSending());
    EXPECT_TRUE(dlg->startButton()->isEnabled());
    EXPECT_FALSE(dlg->daEdit()->isReadOnly());
    dlg->OnStartTx();
    EXPECT_TRUE(svc->IsSending());
    dlg->done(QDialog::Rejected);
    EXPECT_FALSE(svc->IsSending());
    EXPECT_EQ(Messages().size(), 2u);
}

// The window's opening and closing begin and end a running of the service: a node's refused transfers are
// reported once while it is open and counted in one line when it closes; nothing is reported after.
TEST_F(J1939DlgTest, ClosingReportsTheCountOfRefusedTransfers) {
    std::vector<std::string> reports;
    svc->SetReporter([&reports](const std::string& text) { reports.push_back(text); });
    tCAN_RAW_MSG bam;
    bam.Id = 0x18ECFF05;
    bam.Ext = 1;
    bam.Chan = 1;
    bam.Dlc = 8;
    const uint8_t data[8] = {0x20, 0xD0, 0x07, 0xFF, 0xFF, 0xCA, 0xFE, 0x00};  // 2000 bytes of DM1
    std::copy(data, data + 8, bam.Data);
    for (int i = 0; i < 3; ++i) svc->OnRxMsg(&bam);
    EXPECT_EQ(reports.size(), 1u);
    dlg->reject();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[1], "BAM传输超过1024字节被拒收的次数：Node[05](1) 3次。");
    svc->OnRxMsg(&bam);
    EXPECT_EQ(reports.size(), 2u);
}
