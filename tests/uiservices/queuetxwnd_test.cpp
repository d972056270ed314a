// The queue-transmit window: the add dialog's checks, the frame list and its edits, the signal list on the
// queue section, the list file, and sending from the tool bar.
#include <QAbstractItemModelTester>
#include <QAction>
#include <QHeaderView>
#include <QLineEdit>

#include <filesystem>

#include "config/cfgsections.h"
#include "config/queuetxfile.h"
#include "services/queuetx.h"
#include "tests/windows/wndtest.h"
#include "ui/services/queuetxadddlg.h"
#include "ui/services/queuetxdlg.h"
#include "ui/services/queuetxmsgview.h"
#include "windows/sendsigview.h"

using namespace wndtest;
using hubtest::Sig;
using M = CQueueTxMsgModel;
using F = CExtSerCanMsgQueueTxFrameWnd;

namespace {

QueueTxAddDlgInput Input(const char* id, bool ext, const char* count) {
    QueueTxAddDlgInput in;
    in.name = "Q";
    in.idText = id;
    in.ext = ext;
    in.before = "10";
    in.after = "100";
    in.count = count;
    in.length = "2";
    for (auto& d : in.data) d = "00";
    in.data[1] = "A5";
    return in;
}

tCFG_SET_EXT_QUEUE_TX_MSG Frame(uint32_t id, uint8_t dl, uint16_t before = 0, uint16_t after = 0) {
    tCFG_SET_EXT_QUEUE_TX_MSG r;
    r.MsgName = "F" + std::to_string(id);
    r.MsgID = id;
    r.Chan = 1;
    r.DL = dl;
    for (uint8_t i = 0; i < 8; ++i) r.TxData[i] = static_cast<uint8_t>(0x10 + i);
    r.BeforeDelayTime = before;
    r.AfterDelayTime = after;
    return r;
}

class QueueTxWndTest : public WindowTest {
protected:
    tCFG_SET_EXT_QUEUE_TX_SERVICE& Section() { return ws->Cfg().QueueTx; }
    std::vector<QString> Row(const CExtSerCanMsgQueueTxMsgListView& view, int row) {
        std::vector<QString> out;
        for (int c = 0; c < M::kColumns; ++c) out.push_back(view.msgModel()->index(row, c).data().toString());
        return out;
    }
};

}  // namespace

// The checks in their order: a count of 0 before the identifier's range, the same identifier any number of
// times, numbers refused rather than cut.
TEST(QueueTxAddDlg, ChecksInOrder) {
    struct Case {
        QueueTxAddDlgInput in;
        const char* refusal;
    } cases[] = {
        {Input(" ", false, "1"), "报文ID值不能为空。"},
        {Input("XYZ", false, "1"), "报文ID值必须为十六进制数。"},
        {Input("800", false, "0"), "此报文添加的数量不能为0。"},
        {Input("800", false, "10001"), "此报文添加的数量必须为1到10000之间的整数。"},
        {Input("800", false, "-3"), "此报文添加的数量必须为1到10000之间的整数。"},
        {Input("800", false, "x"), "此报文添加的数量必须为1到10000之间的整数。"},
        {Input("800", false, "1"), "此ID值超出标准ID最大值。"},
        {Input("20000000", true, "1"), "此ID值超出扩展ID最大值。"},
        {Input("7FF", false, "3"), ""},
        {Input("1FFFFFFF", true, "10000"), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.refusal);
        tCFG_SET_EXT_QUEUE_TX_MSG rec;
        uint32_t count = 0;
        EXPECT_EQ(validateQueueTxAddDlg(c.in, rec, count), QString::fromUtf8(c.refusal));
    }
    QueueTxAddDlgInput in = Input("7FF", false, " 3 ");
    in.before = "65536";
    tCFG_SET_EXT_QUEUE_TX_MSG rec;
    uint32_t count = 0;
    EXPECT_EQ(validateQueueTxAddDlg(in, rec, count), "请输入0~65535之间的整数。");
    in.before = "7";
    in.data[3] = "1FF";
    EXPECT_FALSE(validateQueueTxAddDlg(in, rec, count).isEmpty());
    in.data[3] = "ff";
    ASSERT_EQ(validateQueueTxAddDlg(in, rec, count), "");
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(rec.MsgID, 0x7FFu);
    EXPECT_EQ(rec.BeforeDelayTime, 7);
    EXPECT_EQ(rec.AfterDelayTime, 100);
    EXPECT_EQ(rec.DL, 2);
    EXPECT_EQ(rec.TxData[1], 0xA5);
    EXPECT_EQ(rec.TxData[3], 0xFF);
}

// The dialog proposes one frame: OK with only an identifier typed adds one.
TEST_F(QueueTxWndTest, AddDialogProposesOneFrame) {
    CExtSerQueueTxMsgAddDlg dlg(ws->Hub());
    EXPECT_EQ(dlg.countEdit()->text(), "1");
    dlg.idEdit()->setText("123");
    dlg.OnOK();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.m_Count, 1u);
    EXPECT_TRUE(Messages().empty());
}

// Adding, the cells of a short frame, in-place edits (refused numbers keep the record), moving and
// deleting, and the order kept through a reload.
TEST_F(QueueTxWndTest, FrameListEdits) {
    CExtSerCanMsgQueueTxMsgListView view(Section());
    QAbstractItemModelTester tester(view.msgModel(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    Section().NextKey = 5;
    view.AddFrames(Frame(0x123, 2), 3);
    ASSERT_EQ(view.msgModel()->rowCount(), 3);
    EXPECT_EQ(view.msgModel()->Keys(), (std::vector<uint32_t>{5, 6, 7}));
    EXPECT_EQ(Section().NextKey, 8u);
    EXPECT_EQ(Section().MsgMap.at(7).MsgTxIndex, 2);
    EXPECT_EQ(Row(view, 0), (std::vector<QString>{"F291", "123", "std", "1", "0", "0", "2", "10", "11", "--",
                                                  "--", "--", "--", "--", "--"}));

    auto* delegate = view.itemDelegate();
    QStyleOptionViewItem option;
    EXPECT_EQ(delegate->createEditor(view.viewport(), option, view.msgModel()->index(0, M::kData0 + 2)),
              nullptr);
    EXPECT_EQ(delegate->createEditor(view.viewport(), option, view.msgModel()->index(0, M::kId)), nullptr);

    view.OnEditEnd(EditEnd(0, M::kLength, 5, "4", true));
    EXPECT_EQ(view.msgModel()->index(0, M::kData0 + 3).data().toString(), "13");
    view.OnEditEnd(EditEnd(0, M::kData0 + 1, 5, "1FF"));
    view.OnEditEnd(EditEnd(0, M::kAfter, 5, "70000"));
    EXPECT_EQ(Messages(),
              (std::vector<QString>{"请输入00~FF之间的十六进制数。", "请输入0~65535之间的整数。"}));
    EXPECT_EQ(Section().MsgMap.at(5).TxData[1], 0x11);
    EXPECT_EQ(Section().MsgMap.at(5).AfterDelayTime, 0);
    view.OnEditEnd(EditEnd(0, M::kData0 + 1, 5, "a"));
    view.OnEditEnd(EditEnd(0, M::kBefore, 5, "250"));
    view.OnEditEnd(EditEnd(0, M::kName, 5, "Renamed"));
    view.OnEditEnd(EditEnd(0, M::kChan, 5, "0", true));
    EXPECT_EQ(Row(view, 0), (std::vector<QString>{"Renamed", "123", "std", "0", "250", "0", "4", "10", "0A",
                                                  "12", "13", "--", "--", "--", "--"}));

    prompt.clear();
    view.MoveSelected(-1);
    view.DeleteSelected();
    EXPECT_EQ(Messages(), (std::vector<QString>(2, "请选择其中一项进行操作。")));
    view.selectRow(2);
    view.MoveSelected(-1);
    view.MoveSelected(-1);
    view.MoveSelected(-1);  // at the top: nothing
    EXPECT_EQ(view.SelectedRow(), 0);
    EXPECT_EQ(view.msgModel()->Keys(), (std::vector<uint32_t>{7, 5, 6}));
    CExtSerCanMsgQueueTxMsgListView again(Section());
    again.ReloadMsgList();
    EXPECT_EQ(again.msgModel()->Keys(), (std::vector<uint32_t>{7, 5, 6}));
    view.selectRow(1);
    view.DeleteSelected();
    EXPECT_EQ(Section().MsgMap.count(5), 0u);
    EXPECT_EQ(Section().MsgMap.at(6).MsgTxIndex, 1);
}

// The signal list on the queue section: its own hexadecimal flag, a frame without a database definition
// shows no signals, a typed value lands in the frame's bytes and its row, one the bits cannot carry is
// refused.
TEST_F(QueueTxWndTest, SignalListOnTheQueueSection) {
    CExtSerCanMsgQueueTx svc(ws->Sender());
    F wnd(*ws, svc);
    CSendSigView& sigs = *wnd.sigView();
    QAbstractItemModelTester tester(sigs.model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    tCFG_SET_EXT_QUEUE_TX_MSG withDb = Frame(0x200, 8);
    withDb.Parse = 1;
    withDb.CanMsg.Signals = {Sig("Speed", 0, 16)};
    wnd.msgView()->AddFrames(withDb, 1);
    wnd.msgView()->AddFrames(Frame(0x201, 8), 1);
    ws->Cfg().Send.SigRawValShowHex = 1;
    Section().SigRawValShowHex = 1;
    sigs.LoadSignals(0);
    ASSERT_EQ(sigs.sigModel()->rowCount(), 1);
    EXPECT_EQ(sigs.sigModel()->Rows()[0].raw, "1110");
    sigs.OnHeaderClicked(CSendSigModel::kRaw);
    EXPECT_EQ(Section().SigRawValShowHex, 0);
    EXPECT_EQ(ws->Cfg().Send.SigRawValShowHex, 1);
    EXPECT_EQ(sigs.sigModel()->Rows()[0].raw, "4368");
    sigs.OnEditEnd(EditEnd(0, CSendSigModel::kRaw, 0, "258"));
    EXPECT_EQ(Section().MsgMap.at(0).TxData[0], 0x02);
    EXPECT_EQ(wnd.msgView()->msgModel()->index(0, M::kData0 + 1).data().toString(), "01");
    // A value the 16 bits cannot carry is refused as in the send window; the frame keeps its bytes.
    prompt.clear();
    sigs.OnEditEnd(EditEnd(0, CSendSigModel::kPhy, 0, "70000"));
    EXPECT_EQ(Messages(), std::vector<QString>{"请输入0~65535之间的数值。"});
    EXPECT_EQ(Section().MsgMap.at(0).TxData[0], 0x02);
    EXPECT_EQ(Section().MsgMap.at(0).TxData[1], 0x01);
    EXPECT_EQ(sigs.sigModel()->Rows()[0].phy, "258");
    sigs.LoadSignals(1);
    EXPECT_EQ(sigs.sigModel()->rowCount(), 0);
    EXPECT_EQ(sigs.CurrentKey(), 1);
}

// A value-table signal of a queued frame takes a typed physical value (checked as any signal's) as well as
// a choice of its texts; the frame's bytes and its row follow.
TEST_F(QueueTxWndTest, ValueTableSignalsTakeATypedNumberOrAChoice) {
    CExtSerCanMsgQueueTx svc(ws->Sender());
    F wnd(*ws, svc);
    ShowActive(wnd, 1200, 600);
    CSendSigView& sigs = *wnd.sigView();
    tCFG_SET_EXT_QUEUE_TX_MSG withDb = Frame(0x230, 8);
    withDb.Parse = 1;
    CCanSignal oil = Sig("GboxOil", 8, 8, true, false, 1, -40);
    oil.Enum = 1;
    oil.SigEnum.Items = {{"Faulty", 215}, {"NoData", 214}};
    withDb.CanMsg.Signals = {oil};
    wnd.msgView()->AddFrames(withDb, 1);
    Section().SigRawValShowHex = 1;
    sigs.LoadSignals(0);
    ASSERT_EQ(sigs.sigModel()->rowCount(), 1);
    const QModelIndex phy = sigs.sigModel()->index(0, CSendSigModel::kPhy);
    auto byte1 = [&] { return Section().MsgMap.at(0).TxData[1]; };
    auto listed = [&] { return wnd.msgView()->msgModel()->index(0, M::kData0 + 1).data().toString(); };
    EXPECT_EQ(phy.data().toString(), "-23");  // raw 0x11

    ASSERT_TRUE(TypeIntoCombo(sigs, phy, "80"));
    EXPECT_EQ(byte1(), 120);
    EXPECT_EQ(phy.data().toString(), "80");
    EXPECT_EQ(listed(), "78");
    EXPECT_EQ(Section().MsgMap.at(0).TxData[0], 0x10);  // the other bytes as they were
    EXPECT_TRUE(prompt.messages.empty());

    ASSERT_TRUE(TypeIntoCombo(sigs, phy, "216"));
    EXPECT_EQ(Messages(), std::vector<QString>{"请输入-40~215之间的数值。"});
    EXPECT_EQ(byte1(), 120);
    EXPECT_EQ(phy.data().toString(), "80");
    EXPECT_EQ(listed(), "78");

    prompt.clear();
    ASSERT_TRUE(ChooseInCombo(sigs, phy, "NoData"));
    EXPECT_EQ(byte1(), 254);
    EXPECT_EQ(phy.data().toString(), "NoData");
    EXPECT_EQ(listed(), "FE");
    EXPECT_TRUE(prompt.messages.empty());
}

// The list file through the tool bar: saved, a new list, loaded back with fresh keys; a file that cannot
// be written is reported; sending while offline is refused.
TEST_F(QueueTxWndTest, ListFileAndNewList) {
    CExtSerCanMsgQueueTx svc(ws->Sender());
    F wnd(*ws, svc);
    wnd.msgView()->AddFrames(Frame(0x111, 3, 5, 6), 2);
    tCFG_SET_EXT_QUEUE_TX_MSG ext = Frame(0x1ABCDEF, 8, 7, 8);
    ext.Ext = 1;
    wnd.msgView()->AddFrames(ext, 1);
    Section().SigRawValShowHex = 0;
    const auto saved = Section().MsgMap;
    const std::string path = Path("list");
    prompt.paths = {QString::fromStdString(path)};
    wnd.RunCommand(F::ID_SAVE_LIST);
    EXPECT_TRUE(std::filesystem::exists(path + ".xml"));

    wnd.RunCommand(F::ID_NEW_LIST);
    EXPECT_TRUE(Section().MsgMap.empty());
    EXPECT_EQ(Section().NextKey, 0u);
    EXPECT_EQ(Section().SigRawValShowHex, 1);
    EXPECT_EQ(wnd.msgView()->msgModel()->rowCount(), 0);

    prompt.paths = {QString::fromStdString(path + ".xml")};
    wnd.RunCommand(F::ID_LOAD_LIST);
    EXPECT_EQ(Section().MsgMap, saved);  // keys 0, 1, 2 again after the new list
    EXPECT_EQ(Section().SigRawValShowHex, 0);
    EXPECT_EQ(wnd.msgView()->msgModel()->rowCount(), 3);

    prompt.paths = {QString::fromStdString(Path("no/such/folder/list.xml"))};
    wnd.RunCommand(F::ID_SAVE_LIST);
    prompt.paths = {QString::fromStdString(Path("absent.xml"))};
    wnd.RunCommand(F::ID_LOAD_LIST);
    wnd.RunCommand(F::ID_SEND_ONCE);
    const std::vector<QString> messages = Messages();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_TRUE(messages[0].startsWith("列表文件没有保存："));
    EXPECT_TRUE(messages[1].startsWith("列表文件没有载入："));
    EXPECT_EQ(messages[2], "请先开启监听。");
    EXPECT_EQ(Section().MsgMap, saved);
}

// A list file with entries that cannot be sent as it has them: loaded with a notice naming them, their
// cells show the file's texts, a field set anew is the value set, and a pass refuses them by name.
TEST_F(QueueTxWndTest, UnsendableEntriesOfAListFileAreNamedAndShownAsTheFileHasThem) {
    CExtSerCanMsgQueueTx svc(ws->Sender());
    F wnd(*ws, svc);
    const std::string path = Path("bad.xml");
    vextest::writeFile(
        path,
        "<EXT_SER_QUEUE_TX_MSG_CFG_FILE>\r\n<CFG_SET_EXT_QUEUE_TX_SERVICE SigRawValShowHex=\"1\">\r\n"
        "<CFG_SET_EXT_QUEUE_TX_MSG MsgName=\"Q\" MsgID=\"256\" Chan=\"1\" DL=\"264\" "
        "BeforeDelayTime=\"-5\" AfterDelayTime=\"7\" MsgTxIndex=\"0\"/>\r\n"
        "</CFG_SET_EXT_QUEUE_TX_SERVICE>\r\n</EXT_SER_QUEUE_TX_MSG_CFG_FILE>\r\n");
    prompt.paths = {QString::fromStdString(path)};
    wnd.RunCommand(F::ID_LOAD_LIST);
    EXPECT_EQ(Messages(),
              std::vector<QString>{QString::fromStdString(
                  "列表文件 " + path +
                  " 中以下报文不能发送，保存时按原样保留：“Q”：长度 264 不在 0~8 之内，前延时 -5 不在 "
                  "0~65535 之内")});
    CExtSerCanMsgQueueTxMsgListView& view = *wnd.msgView();
    const std::vector<QString> row = Row(view, 0);
    EXPECT_EQ((std::vector<QString>{row[M::kBefore], row[M::kAfter], row[M::kLength]}),
              (std::vector<QString>{"-5", "7", "264"}));

    view.OnEditEnd(EditEnd(0, M::kLength, 0, "8", true));
    view.OnEditEnd(EditEnd(0, M::kBefore, 0, "65531"));  // the low bits it held: now typed, so meant
    EXPECT_EQ(QueueTxMsgFault(Section().MsgMap.at(0)), "");
    EXPECT_EQ(Row(view, 0)[M::kBefore], "65531");
    EXPECT_EQ(Row(view, 0)[M::kLength], "8");
}

// Sending from the tool bar: every command but stop disabled while a pass runs, the user's selection back
// afterwards; a frame that makes no frame refused by name; closing the dialog during a repeat ends the pass
// and joins the worker.
TEST_F(QueueTxWndTest, SendingFromTheToolBar) {
    GoOnline();
    CExtSerCanMsgQueueTx svc(ws->Sender());
    auto dlg = std::make_unique<CExtSerCanMsgQueueTxDlg>(*ws, svc);
    dlg->show();
    F* wnd = dlg->frameWnd();
    CExtSerCanMsgQueueTxMsgListView* view = wnd->msgView();
    view->AddFrames(Frame(0x301, 1, 0, 30), 1);
    view->AddFrames(Frame(0x302, 1, 0, 30), 1);
    view->AddFrames(Frame(0x303, 1), 1);
    view->selectRow(1);
    wnd->RunCommand(F::ID_SEND_ONCE);
    EXPECT_TRUE(wnd->IsSending());
    EXPECT_FALSE(wnd->Action(F::ID_ADD)->isEnabled());
    EXPECT_FALSE(wnd->Action(F::ID_SEND_REPEAT)->isEnabled());
    EXPECT_TRUE(wnd->Action(F::ID_STOP)->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !wnd->IsSending(); }, 30'000));
    EXPECT_EQ(view->SelectedRow(), 1);
    EXPECT_TRUE(wnd->Action(F::ID_ADD)->isEnabled());
    EXPECT_FALSE(wnd->Action(F::ID_STOP)->isEnabled());
    ASSERT_TRUE(vex::emu::peer::WaitIdle(30'000));
    std::vector<uint32_t> ids;
    for (const auto& f : vex::emu::peer::Received()) ids.push_back(f.frame.id);
    EXPECT_EQ(ids, (std::vector<uint32_t>{0x301, 0x302, 0x303}));

    Section().MsgMap.at(2).DL = 9;
    wnd->RunCommand(F::ID_SEND_ONCE);
    EXPECT_EQ(Messages(), (std::vector<QString>{"发送报文 F771（ID 00000303）：长度 9 不在 0~8 之内。"}));
    EXPECT_FALSE(wnd->IsSending());
    Section().MsgMap.at(2).DL = 1;

    wnd->RunCommand(F::ID_SEND_REPEAT);
    ASSERT_TRUE(emutest::WaitFor([] { return vex::emu::peer::Received().size() >= 9; }, 30'000));
    dlg->reject();
    EXPECT_FALSE(svc.IsRunning());
    EXPECT_FALSE(wnd->IsSending());
    dlg.reset();
}
