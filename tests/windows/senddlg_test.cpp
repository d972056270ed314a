// The add-send-message dialog: checks in order, the record it fills, taking a database message through the
// picker; and the send window around the two lists.
#include "windows/sendmsgdlg.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QTableView>
#include <QTimer>

#include <functional>

#include "windows/canselectmsgdlg.h"
#include "tests/windows/wndtest.h"
#include "windows/sendmsgmodel.h"
#include "windows/sendmsgview.h"
#include "windows/sendsigview.h"
#include "windows/sendwnd.h"

using namespace wndtest;

namespace {

SendMsgDlgInput Input(const char* id, bool ext = false, bool rmt = false, const char* period = "500",
                      const char* count = "0", const char* length = "8", const char* data0 = "00") {
    SendMsgDlgInput in;
    in.idText = QString::fromUtf8(id);
    in.ext = ext;
    in.rmt = rmt;
    in.period = QString::fromUtf8(period);
    in.count = QString::fromUtf8(count);
    in.length = QString::fromUtf8(length);
    for (QString& d : in.data) d = QStringLiteral("00");
    in.data[0] = QString::fromUtf8(data0);
    return in;
}

// Runs `act` on the modal dialog of type D once it is open.
template <class D>
void WhenModal(std::function<void(D&)> act) {
    QTimer::singleShot(0, [act] {
        auto* dlg = qobject_cast<D*>(QApplication::activeModalWidget());
        ASSERT_NE(dlg, nullptr);
        act(*dlg);
    });
}

CCanMsg DbMsg(const std::string& name, uint32_t id, uint8_t ext, uint8_t dl) {
    CCanMsg m;
    m.Name = name;
    m.id = id;
    m.Ext = ext;
    m.DL = dl;
    m.Signals = {Sig("Speed", 0, 16)};
    return m;
}

using SendDlgTest = WindowTest;

}  // namespace

TEST(ValidateSendMsgDlg, RefusalsInOrderAndTheFilledRecord) {
    tCFG_SET_SEND store;
    store.MsgMap[0x123] = Rec("old", 0x123);
    struct Case {
        const char* name;
        SendMsgDlgInput in;
        const char* refusal;
        uint32_t id = 0;
        uint8_t dl = 0;
    } cases[] = {
        {"empty id first", Input("", false, false, "70000"), "报文ID值不能为空。"},
        {"standard max", Input("7FF"), "", 0x7FF, 8},
        {"beyond standard", Input("800"), "此ID值超出标准ID最大值。"},
        {"extended", Input("800", true), "", 0x800, 8},
        {"beyond extended", Input("20000000", true), "此ID值超出扩展ID最大值。"},
        {"extended max", Input("1FFFFFFF", true), "", 0x1FFFFFFF, 8},
        // Text that is no hexadecimal number is refused before the range checks, never read as 0.
        {"not hex", Input("XYZ-1", false, false, "70000"), "报文ID值必须为十六进制数。"},
        {"trailing garbage", Input("12G"), "报文ID值必须为十六进制数。"},
        {"negative", Input("-1", true), "报文ID值必须为十六进制数。"},
        {"already added before the period", Input("123", false, false, "70000"),
         "此ID值报文已经添加至发送窗口。"},
        {"same identifier extended is another message", Input("123", true), "", 0x123, 8},
        {"period too big", Input("1", false, false, "70000"), "请输入0~65535之间的整数。"},
        {"count negative", Input("1", false, false, "10", "-1"), "请输入0~65535之间的整数。"},
        {"remote frame has no data", Input("1", false, true, "10", "0", "4"), "", 0x1, 0},
        {"data byte beyond FF", Input("1", false, false, "10", "0", "8", "1FF"), "请输入00~FF之间的十六进制数。"},
        {"length", Input("1", false, false, "10", "0", "3"), "", 0x1, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        tCFG_SET_SEND_MSG rec;
        rec.Parse = 1;
        EXPECT_EQ(validateSendMsgDlg(c.in, store, rec), QString::fromUtf8(c.refusal));
        if (*c.refusal) continue;
        EXPECT_EQ(rec.MsgID, c.id);
        EXPECT_EQ(rec.Ext, c.in.ext ? 1 : 0);
        EXPECT_EQ(rec.DL, c.dl);
        EXPECT_EQ(rec.Parse, 1);  // kept
    }
    SendMsgDlgInput in = Input("18", false, false, "65535", "65535");
    in.name = QStringLiteral("");
    in.chan = 0;
    in.data = {"FF", "a", "", " 0", "10", "7f", "3C", "00ff"};
    tCFG_SET_SEND_MSG rec;
    ASSERT_EQ(validateSendMsgDlg(in, store, rec), QString());
    EXPECT_EQ(rec.MsgName, "");
    EXPECT_EQ(rec.Chan, 0);
    EXPECT_EQ(rec.CycTxTime, 65535);
    EXPECT_EQ(rec.CycTxCount, 65535);
    const uint8_t data[8] = {0xFF, 0x0A, 0, 0, 0x10, 0x7F, 0x3C, 0xFF};
    EXPECT_TRUE(std::equal(data, data + 8, rec.TxData));
}

TEST_F(SendDlgTest, DefaultsLengthAndTakingADatabaseMessage) {
    ws->Cfg().CanDatabases = {};
    tCFG_CAN_DATABASE db;
    db.Name = "db";
    db.Database.Messages = {DbMsg("诊断请求", 0x7DF, 0, 4), DbMsg("Ext", 0x18FEF100, 1, 8),
                            DbMsg("In store", 0x55, 0, 8)};
    ws->Cfg().CanDatabases.push_back(db);
    tCFG_SET_SEND_MSG parsed = Rec("In store", 0x55);
    parsed.Parse = 1;
    ws->Cfg().Send.MsgMap[0x55] = parsed;

    CSendMsgDlg dlg(ws->Hub(), ws->Cfg().Send);
    EXPECT_EQ(dlg.idEdit()->text(), "00000000");
    EXPECT_TRUE(dlg.stdRadio()->isChecked());
    EXPECT_TRUE(dlg.dataRadio()->isChecked());
    EXPECT_TRUE(dlg.chan1Radio()->isChecked());
    EXPECT_EQ(dlg.periodEdit()->text(), "500");
    EXPECT_EQ(dlg.countEdit()->text(), "0");
    EXPECT_EQ(dlg.lengthCombo()->currentText(), "8");
    for (int i = 0; i < 8; ++i) EXPECT_TRUE(dlg.dataEdit(i)->isEnabled());
    dlg.lengthCombo()->setCurrentIndex(2);
    emit dlg.lengthCombo()->activated(2);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(dlg.dataEdit(i)->isEnabled(), i < 3);

    // The picker lists the database messages except those already in the store with their definition.
    std::vector<uint32_t> listed;
    WhenModal<CCanDbSelectMsgDlg>([&](CCanDbSelectMsgDlg& picker) {
        for (uint32_t key : picker.model()->Rows()) listed.push_back(key);
        picker.list()->selectRow(0);
        picker.OnOK();
    });
    dlg.OnPickFromDatabase();
    EXPECT_EQ(listed, (std::vector<uint32_t>{0x7DF, 0x18FEF100 + kMsgKeyExtFlag}));
    EXPECT_EQ(dlg.nameEdit()->text(), "诊断请求");
    EXPECT_EQ(dlg.idEdit()->text(), "7DF");
    EXPECT_TRUE(dlg.idEdit()->isReadOnly());
    EXPECT_FALSE(dlg.stdRadio()->isEnabled());
    EXPECT_FALSE(dlg.extRadio()->isEnabled());
    EXPECT_EQ(dlg.lengthCombo()->currentText(), "4");
    for (int i = 0; i < 8; ++i) EXPECT_EQ(dlg.dataEdit(i)->isEnabled(), i < 4);

    dlg.TakeDatabaseMessage(0x18FEF100 + kMsgKeyExtFlag);
    EXPECT_EQ(dlg.idEdit()->text(), "18FEF100");
    EXPECT_TRUE(dlg.extRadio()->isChecked());
    dlg.TakeDatabaseMessage(0x999);
    EXPECT_EQ(prompt.lastText(), "未知的错误。");

    dlg.OnOK();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.m_Msg.Parse, 1);
    EXPECT_EQ(dlg.m_Msg.CanMsg, DbMsg("Ext", 0x18FEF100, 1, 8));
    EXPECT_EQ(dlg.m_Msg.MsgID, 0x18FEF100u);
    EXPECT_EQ(dlg.m_Msg.Ext, 1);
    EXPECT_EQ(dlg.m_Msg.Chan, 1);
    EXPECT_EQ(dlg.m_Msg.CycTxTime, 500);
}

TEST_F(SendDlgTest, SendWindowAddsAndHides) {
    QMdiArea area;
    area.resize(1200, 700);
    area.show();
    CSendWnd* wnd = CSendWnd::CreateWnd(&area, ws->Cfg(), ws->Hub(), ws->Sender());
    ASSERT_NE(wnd->subWindow(), nullptr);
    wnd->subWindow()->resize(1100, 600);
    QApplication::processEvents();

    WhenModal<CSendMsgDlg>([](CSendMsgDlg& dlg) {
        dlg.idEdit()->setText(QStringLiteral("123"));
        dlg.nameEdit()->setText(QStringLiteral("New"));
        dlg.OnOK();
    });
    wnd->OnAddMsg();
    ASSERT_EQ(wnd->msgView()->msgModel()->rowCount(), 1);
    EXPECT_EQ(ws->Cfg().Send.MsgMap.at(0x123).MsgName, "New");

    int hidden = 0;
    QObject::connect(wnd, &CSendWnd::hiddenByClose, [&] { ++hidden; });
    wnd->subWindow()->close();
    EXPECT_EQ(hidden, 1);
    EXPECT_FALSE(wnd->subWindow()->isVisible());
    wnd->subWindow()->show();
    EXPECT_EQ(wnd->msgView()->msgModel()->rowCount(), 1);
    EXPECT_TRUE(prompt.messages.empty());
}

TEST_F(SendDlgTest, SendWindowLayoutRoundTrip) {
    {
        // Without a saved layout the message list starts with a fifth of the height, and keeps its
        // height when the window grows.
        CSendWnd fresh(ws->Cfg(), ws->Hub(), ws->Sender());
        fresh.resize(900, 500);
        fresh.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&fresh));
        const int h = fresh.splitter()->height();
        EXPECT_EQ(fresh.splitter()->sizes().value(0), h / 5);
        fresh.resize(900, 700);
        QApplication::processEvents();
        EXPECT_EQ(fresh.splitter()->sizes().value(0), h / 5);
    }
    CSendWnd wnd(ws->Cfg(), ws->Hub(), ws->Sender());
    tWND_SPLITTER saved{7, 0, 0, 0, 0, 150, 40, 300, 60};
    wnd.RestoreLayout(saved);  // before the first show: overrides the fifth
    wnd.resize(900, 500);
    wnd.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&wnd));
    EXPECT_EQ(wnd.splitter()->sizes().value(0), 150);
    tWND_SPLITTER out;
    out.SpltMode = 7;
    wnd.SaveLayout(out);
    EXPECT_EQ(out.SpltMode, 7);
    EXPECT_EQ(out.C0, wnd.splitter()->width());
    EXPECT_EQ(out.C1, out.C0);
    EXPECT_EQ(out.R0, 150);
    EXPECT_EQ(out.R0Min, 40);
    EXPECT_EQ(out.R1, wnd.splitter()->sizes().value(1));
    EXPECT_EQ(out.R1Min, 60);
    saved.R0 = 90;
    wnd.RestoreLayout(saved);  // while shown: at once
    EXPECT_EQ(wnd.splitter()->sizes().value(0), 90);
}
