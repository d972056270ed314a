// The send message list: cell texts, the in-place edit rules, deleting, the single-channel notice, and
// sending once and cyclically through the emulated interfaces.
#include "windows/sendmsgview.h"

#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QLineEdit>

#include <thread>

#include "tests/windows/wndtest.h"
#include "windows/sendcelldelegate.h"
#include "windows/sendmsgmodel.h"

using namespace wndtest;
using M = CSendMsgModel;
using vex::emu::SeenFrame;
using vex::emu::peer::Received;

namespace {

class SendMsgViewTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        view = std::make_unique<CSendMsgView>(ws->Cfg(), ws->Sender());
        tester = std::make_unique<QAbstractItemModelTester>(
            view->msgModel(), QAbstractItemModelTester::FailureReportingMode::Fatal);
        ShowActive(*view, 1400, 200);
    }
    void TearDown() override {
        tester.reset();
        view.reset();
        WindowTest::TearDown();
    }
    QString Cell(int row, int column) const { return view->msgModel()->index(row, column).data().toString(); }
    // The row's cells of the given columns, joined by '|'.
    QString Cells(int row, std::initializer_list<int> columns) const {
        QStringList out;
        for (int c : columns) out << Cell(row, c);
        return out.join('|');
    }
    void Click(int row, int column) {
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                          view->visualRect(view->msgModel()->index(row, column)).center());
    }
    void Edit(uint32_t key, int column, const char* text, bool combo = false, bool cancelled = false) {
        view->OnEditEnd(EditEnd(view->msgModel()->RowOfKey(key), column, key, text, combo, cancelled));
    }
    // The frames the interfaces put on the bus with this identifier.
    std::vector<SeenFrame> Sent(uint32_t id) const {
        std::vector<SeenFrame> out;
        for (const SeenFrame& f : Received())
            if (f.frame.id == id) out.push_back(f);
        return out;
    }

    std::unique_ptr<CSendMsgView> view;
    std::unique_ptr<QAbstractItemModelTester> tester;
};

constexpr uint32_t kExtKey = 0x18FF1234u + kMsgKeyExtFlag;

}  // namespace

TEST_F(SendMsgViewTest, RowsShowTheStoredRecordsInKeyOrder) {
    tCFG_SET_SEND_MSG ext =
        Rec("扩展", 0x18FF1234, 1, 1, {0xAB, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07}, 20);
    ext.Rmt = 1;
    ext.CycTxCount = 7;
    ws->Cfg().Send.MsgMap[kExtKey] = ext;
    ws->Cfg().Send.MsgMap[0x123] = Rec("Engine", 0x123, 0, 0, {0x11, 0x22, 0x33}, 100);
    view->ReloadMsgList();
    ASSERT_EQ(view->msgModel()->rowCount(), 2);
    const std::initializer_list<int> all = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17};
    ASSERT_EQ(static_cast<int>(all.size()), M::kColumns);
    EXPECT_EQ(Cells(0, all), "Engine|00000123|std|dat|0|100|0|3|0|0|11|22|33|--|--|--|--|--");
    EXPECT_EQ(Cells(1, all), "扩展|18FF1234|ext|rmt|1|20|7|8|0|0|AB|01|02|03|04|05|06|07");
    EXPECT_EQ(view->msgModel()->index(1, 3).data(CSendCellDelegate::KeyRole).toLongLong(), kExtKey);

    // Adding a key that has a row already replaces its record, not the row.
    view->AddRow(Rec("Engine2", 0x123, 0, 1, {0x44}));
    EXPECT_EQ(view->msgModel()->rowCount(), 2);
    EXPECT_EQ(Cell(0, M::kName), "Engine2");
    view->AddRow(Rec("New", 0x7FF));
    EXPECT_EQ(view->msgModel()->rowCount(), 3);
    EXPECT_TRUE(ws->Cfg().Send.MsgMap.count(0x7FF));
}

TEST_F(SendMsgViewTest, InPlaceEditRules) {
    const char* refused = "请输入0~65535之间的整数。";
    const char* notByte = "请输入00~FF之间的十六进制数。";
    struct Case {
        int column;
        const char* text;
        bool combo, cancelled, remote;
        const char* cells;  // name, period, count, channel, length, d[0], d[3]
        const char* message;
    } cases[] = {
        {M::kName, "发动机 1", false, false, false, "发动机 1|100|0|0|4|01|04", ""},
        {M::kPeriod, "65535", false, false, false, "Msg|65535|0|0|4|01|04", ""},
        {M::kPeriod, "70000", false, false, false, "Msg|100|0|0|4|01|04", refused},
        {M::kPeriod, "-5", false, false, false, "Msg|100|0|0|4|01|04", refused},
        {M::kPeriod, "abc", false, false, false, "Msg|100|0|0|4|01|04", refused},
        {M::kCount, "300", false, false, false, "Msg|100|300|0|4|01|04", ""},
        {M::kCount, "65536", false, false, false, "Msg|100|0|0|4|01|04", refused},
        // Refused and said, never cut to the low 8 bits.
        {M::kData0, "1FF", false, false, false, "Msg|100|0|0|4|01|04", notByte},
        {M::kData0 + 3, "g", false, false, false, "Msg|100|0|0|4|01|04", notByte},
        {M::kData0 + 3, "a", false, false, false, "Msg|100|0|0|4|01|0A", ""},
        {M::kChan, "1", true, false, false, "Msg|100|0|1|4|01|04", ""},
        {M::kLength, "3", true, false, false, "Msg|100|0|0|3|01|--", ""},
        {M::kLength, "6", true, false, true, "Msg|100|0|0|0|--|--", ""},     // a remote frame has no data
        {M::kPeriod, "100", false, true, false, "Msg|100|0|0|4|01|04", ""},  // Escape
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.column << " '" << c.text << "'");
        prompt.clear();
        tCFG_SET_SEND_MSG rec = Rec("Msg", 0x321, 0, 0, {1, 2, 3, 4}, 100);
        rec.Rmt = c.remote ? 1 : 0;
        ws->Cfg().Send.MsgMap.clear();
        view->ReloadMsgList();
        view->AddRow(rec);
        Edit(0x321, c.column, c.text, c.combo, c.cancelled);
        EXPECT_EQ(Cells(0, {M::kName, M::kPeriod, M::kCount, M::kChan, M::kLength, M::kData0, M::kData0 + 3}),
                  QString::fromUtf8(c.cells));
        EXPECT_EQ(prompt.lastText(), QString::fromUtf8(c.message));
    }
}

TEST_F(SendMsgViewTest, DoubleClickOpensOnlyTheAllowedEditors) {
    view->AddRow(Rec("Msg", 0x10, 0, 0, {1, 2, 3, 4}));
    struct Case {
        int column;
        bool cyclic;
        const char* editor;  // "edit", "combo" or ""
        const char* message;
    } cases[] = {
        {M::kName, false, "edit", ""},
        {M::kId, false, "", ""},
        {M::kIdType, false, "", ""},
        {M::kChan, false, "combo", ""},
        {M::kPeriod, true, "edit", ""},
        {M::kLength, false, "combo", ""},
        {M::kLength, true, "", "请先关闭循环发送。"},
        {M::kChan, true, "", "请先关闭循环发送。"},
        {M::kData0 + 3, false, "edit", ""},
        {M::kData0 + 5, false, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.column);
        prompt.clear();
        view->msgModel()->SetCyclic(0, c.cyclic);
        DoubleClick(*view, view->msgModel()->index(0, c.column));
        EXPECT_EQ(TakeEditor(*view), c.editor);
        EXPECT_EQ(prompt.lastText(), QString::fromUtf8(c.message));
        ASSERT_EQ(TakeEditor(*view), "");
    }
    view->msgModel()->SetCyclic(0, false);
}

TEST_F(SendMsgViewTest, DeleteSelected) {
    view->AddRow(Rec("A", 0x1));
    view->AddRow(Rec("B", 0x2));
    std::vector<uint32_t> deleted;
    QObject::connect(view.get(), &CSendMsgView::rowDeleted, [&](uint32_t key) { deleted.push_back(key); });

    view->DeleteSelected();
    EXPECT_EQ(prompt.lastText(), "请选择其中一项进行操作。");
    view->selectRow(1);
    view->msgModel()->SetCyclic(1, true);
    view->DeleteSelected();
    EXPECT_EQ(prompt.lastText(), "请先关闭此报文循环发送。");
    view->msgModel()->SetCyclic(1, false);
    view->DeleteSelected();
    EXPECT_EQ(deleted, std::vector<uint32_t>{0x2});
    EXPECT_EQ(view->msgModel()->rowCount(), 1);
    EXPECT_EQ(ws->Cfg().Send.MsgMap.count(0x2), 0u);
    EXPECT_EQ(prompt.messages.size(), 2u);
}

TEST_F(SendMsgViewTest, SingleChannelNoticeOnceForChannelZero) {
    struct Case {
        uint8_t cf51, nxp;
        std::vector<uint8_t> channels;
        size_t notices;
    } cases[] = {
        {1, 0, {1, 0, 0}, 1}, {1, 0, {1, 1}, 0}, {0, 1, {0}, 0}, {0, 0, {0}, 0}, {1, 1, {0}, 0},
    };
    for (const Case& c : cases) {
        prompt.clear();
        ws->Cfg().CanDev[CAppCfg::kDevCf51].Active = c.cf51;
        ws->Cfg().CanDev[CAppCfg::kDevNxp].Active = c.nxp;
        ws->Cfg().Send.MsgMap.clear();
        for (size_t i = 0; i < c.channels.size(); ++i)
            ws->Cfg().Send.MsgMap[static_cast<uint32_t>(i + 1)] =
                Rec("M", static_cast<uint32_t>(i + 1), 0, c.channels[i]);
        view->ReloadMsgList();
        view->CheckSingleChanDev();
        ASSERT_EQ(prompt.messages.size(), c.notices);
        if (c.notices) {
            EXPECT_EQ(prompt.lastText(),
                      "CF51-VYK 为单通道设备，忽略通道号设置，发送报文通道号固定为 通道1 。");
        }
    }
}

TEST_F(SendMsgViewTest, SendingOfflineIsRefused) {
    view->AddRow(Rec("A", 0x10, 0, 0, {1}));
    Click(0, M::kCyclic);
    EXPECT_EQ(Cell(0, M::kCyclic), "0");
    Click(0, M::kSend);
    EXPECT_EQ(Cell(0, M::kSend), "0");
    EXPECT_FALSE(view->ChangePeriod(0x10));
    EXPECT_FALSE(view->ChangeData(0x10));
    EXPECT_EQ(Messages(), std::vector<QString>(4, "请先开启监听总线。"));
    prompt.clear();
    view->StopCyclic(0x10);  // needs no bus
    EXPECT_TRUE(prompt.messages.empty());
}

TEST_F(SendMsgViewTest, SendOnceWritesTheFrameOnItsChannel) {
    GoOnline();
    tCFG_SET_SEND_MSG remote = Rec("R", 0x18DAF110, 1, 1, {}, 0);
    remote.Rmt = 1;
    view->AddRow(Rec("A", 0x123, 0, 0, {0xDE, 0xAD, 0xBE}));
    view->AddRow(remote);
    bool pressedWhileSending = false;
    QObject::connect(view->msgModel(), &QAbstractItemModel::dataChanged, [&](const QModelIndex& i) {
        if (i.column() == M::kSend && Cell(i.row(), M::kSend) == "1") pressedWhileSending = true;
    });
    Click(0, M::kSend);
    EXPECT_TRUE(pressedWhileSending);
    EXPECT_EQ(Cell(0, M::kSend), "0");
    EXPECT_TRUE(view->SendOnce(MsgKey(0x18DAF110, 1)));
    EXPECT_FALSE(view->SendOnce(0x555));
    EXPECT_EQ(prompt.lastText(), "未知的错误。");
    ASSERT_TRUE(vex::emu::peer::WaitIdle(30'000));

    const auto a = Sent(0x123);
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].segment, 0);
    EXPECT_FALSE(a[0].frame.ext);
    EXPECT_EQ(a[0].frame.dlc, 3);
    EXPECT_EQ((std::vector<uint8_t>(a[0].frame.data.begin(), a[0].frame.data.begin() + 3)),
              (std::vector<uint8_t>{0xDE, 0xAD, 0xBE}));
    const auto r = Sent(0x18DAF110);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].segment, 1);
    EXPECT_TRUE(r[0].frame.ext);
    EXPECT_TRUE(r[0].frame.remote);
}

TEST_F(SendMsgViewTest, CyclicStartUpdateStop) {
    GoOnline();
    view->AddRow(Rec("A", 0x200, 0, 1, {0x01, 0x02}, 10));
    auto intervalsMs = [](const std::vector<SeenFrame>& frames, size_t from) {
        std::vector<double> out;
        for (size_t i = from + 1; i < frames.size(); ++i)
            out.push_back(static_cast<double>(frames[i].busTimeNs - frames[i - 1].busTimeNs) / 1e6);
        return out;
    };
    auto waitFor = [&](size_t n) {
        return emutest::WaitFor([&] { return Sent(0x200).size() >= n; }, 30'000);
    };

    Click(0, M::kCyclic);
    EXPECT_EQ(Cell(0, M::kCyclic), "1");
    ASSERT_TRUE(waitFor(6));
    for (double ms : intervalsMs(Sent(0x200), 0)) EXPECT_NEAR(ms, 10.0, 0.5);

    // A new period and new data reach the device's copy while it runs.
    Edit(0x200, M::kPeriod, "30");
    Edit(0x200, M::kData0 + 1, "7F");
    const size_t before = Sent(0x200).size();
    ASSERT_TRUE(waitFor(before + 5));
    const auto frames = Sent(0x200);
    EXPECT_EQ(frames.back().frame.data[1], 0x7F);
    EXPECT_EQ(frames.back().segment, 1);
    const auto later = intervalsMs(frames, before + 1);
    ASSERT_FALSE(later.empty());
    for (double ms : later) EXPECT_NEAR(ms, 30.0, 0.5);

    Click(0, M::kCyclic);
    EXPECT_EQ(Cell(0, M::kCyclic), "0");
    ASSERT_TRUE(vex::emu::peer::WaitIdle(30'000));
    const size_t stopped = Sent(0x200).size();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(Sent(0x200).size(), stopped);
    EXPECT_TRUE(prompt.messages.empty());
}

TEST_F(SendMsgViewTest, CountLimitedCyclicEndsInTheDeviceAndGoingOfflineClearsTheColumn) {
    GoOnline();
    tCFG_SET_SEND_MSG rec = Rec("C", 0x300, 0, 0, {9}, 5);
    rec.CycTxCount = 3;
    view->AddRow(rec);
    Click(0, M::kCyclic);
    ASSERT_TRUE(emutest::WaitFor([&] { return Sent(0x300).size() >= 3; }, 30'000));
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    EXPECT_EQ(Sent(0x300).size(), 3u);
    EXPECT_EQ(Cell(0, M::kCyclic), "1");  // the list keeps it until stopped or offline
    ws->GoOffline();
    view->ResetCycColumn();
    EXPECT_EQ(Cell(0, M::kCyclic), "0");
}
