// As a user: a real DBC file imported through the database list of the main frame (the editor opening on
// it, its attributes confirmed, saved), written into the configuration file; then online with peer
// traffic whose identifier is in that file, the signals decoded in the trace tree and listed in the send
// window's signal list.
#include <gtest/gtest.h>

#include <QAction>
#include <QTest>

#include <filesystem>

#include "app/canworkspace.h"
#include "platform/deviceport/emupeer.h"
#include "platform/qt/namedmutex.h"
#include "tests/app/workspacetest.h"
#include "tests/common/fakeprompt.h"
#include "tests/uicandb/dlgtest.h"
#include "ui/app/framechildren.h"
#include "ui/app/mainframe.h"
#include "ui/candb/candbatbdlg.h"
#include "ui/candb/candbcfgdlg.h"
#include "ui/candb/dbeditdlg.h"
#include "ui/candb/dbedittree.h"
#include "ui/candb/dbtreemodel.h"
#include "windows/sendmsgdlg.h"
#include "windows/sendmsgview.h"
#include "windows/sendsigview.h"
#include "windows/sendwnd.h"
#include "windows/tracemodels.h"
#include "windows/tracetext.h"
#include "windows/tracewnd.h"

using namespace dlgtest;
namespace peer = vex::emu::peer;

namespace {

class EndToEnd : public wstest::WorkspaceTest {
protected:
    void SetUp() override {
        WorkspaceTest::SetUp();
        Make();
    }
    void TearDown() override {
        ws->GoOffline();
        WorkspaceTest::TearDown();
    }
    vex::FakePrompt prompt;
    vex::ScopedPrompt usePrompt{prompt};
};

}  // namespace

TEST_F(EndToEnd, ImportedDbcDecodesLiveTraffic) {
    const char* env = std::getenv("VEX_TESTDATA");
    const std::filesystem::path file =
        std::filesystem::path(env != nullptr && *env != '\0' ? env : VEX_TESTDATA_DIR) / "dbc" /
        "mazda_rx8.dbc";
    if (!std::filesystem::exists(file)) GTEST_SKIP() << "real-world DBC files not present: " << file;
    vex::FakeSiblingProbe probe;
    CMainFrame frame(*ws, CMainFrame::Options{&probe, CMainFrame::kTickMs});
    InstallFrameChildren(frame);
    frame.resize(1400, 900);
    frame.show();
    frame.OnTimer();

    // The database list: import, the editor on the new database (its attributes open by themselves),
    // save, close the list.
    prompt.paths = {QString::fromStdString(file.string())};
    bool editorShowedMessage = false;
    auto listRan = WhenModal<CCanDbCfgDlg>([&](CCanDbCfgDlg& list) {
        auto editorRan = WhenModal<CCanDbEditDlg>([&](CCanDbEditDlg& editor) {
            const candbui::CDbTreeModel& tree = *editor.treePane()->treeModel();
            const QModelIndex msgs = tree.index(0, 0, tree.index(0, 0));
            for (int r = 0; r < tree.rowCount(msgs); ++r)
                editorShowedMessage |= tree.Text(tree.index(r, 0, msgs)) == "speed [ 0x201 ]";
            // With VEX_CANDB_SHOTS set, the editor showing the imported message's signals is saved.
            const char* dir = std::getenv("VEX_CANDB_SHOTS");
            if (dir != nullptr && *dir != '\0') {
                editor.treePane()->expand(msgs);
                for (int r = 0; r < tree.rowCount(msgs); ++r)
                    if (tree.Text(tree.index(r, 0, msgs)) == "speed [ 0x201 ]")
                        editor.treePane()->OnClick(tree.index(r, 0, msgs));
                QApplication::processEvents();
                editor.grab().save(QString::fromUtf8(dir) + "/editor.png");
            }
            WhenModal<CCanDbAtbDlg>([&editor, dir](CCanDbAtbDlg& atb) {
                if (dir != nullptr && *dir != '\0')
                    atb.grab().save(QString::fromUtf8(dir) + "/attributes.png");
                Click(atb, "btnOk");
                QTimer::singleShot(0, &editor,
                                   [&editor] { editor.Action(CCanDbEditDlg::ID_SAVE_EXIT)->trigger(); });
            });
        });
        Click(list, "btnImport");
        EXPECT_FALSE(*editorRan);
        Click(list, "btnOk");
    });
    frame.RunCommand(ID_CFG_CANDB);
    ASSERT_FALSE(*listRan);
    EXPECT_TRUE(editorShowedMessage);
    ASSERT_EQ(ws->Cfg().CanDatabases.size(), 1u);
    EXPECT_EQ(ws->Cfg().CanDatabases[0].Name, "mazda_rx8");
    EXPECT_EQ(ws->Cfg().CanDatabases[0].FirstAddFlag, 0);
    CAppCfg written;
    std::string message;
    ASSERT_TRUE(written.OpenConfig(ws->CfgPath(), message));
    EXPECT_EQ(written.CanDatabases, ws->Cfg().CanDatabases);

    // Online on the two-channel interface with the peer sending 0x201 on channel 0.
    for (size_t i = 0; i < 3; ++i) {
        ws->Cfg().CanDev[i].Active = i == CAppCfg::kDevNxp ? 1 : 0;
        ws->Cfg().CanDev[i].CHAN0.Baudrate = ws->Cfg().CanDev[i].CHAN1.Baudrate = 500;
    }
    frame.RunCommand(ID_WND_TRACE);
    frame.RunCommand(ID_WND_SEND);
    vex::emu::Frame f;
    f.id = 0x201;
    f.dlc = 8;
    const uint8_t data[8] = {0x12, 0x34, 0, 0, 0x4E, 0x20, 0x64, 0};
    std::copy(std::begin(data), std::end(data), f.data.begin());
    peer::AddPeriodic(0, f, 20);
    frame.RunCommand(ID_START_LISTEN);
    ASSERT_TRUE(ws->IsOnline());

    auto* trace = qobject_cast<CTraceWnd*>(frame.TraceWnd()->Widget());
    ASSERT_NE(trace, nullptr);
    trace->OnTreeMode();
    const CTraceTreeModel& tree = *trace->view()->treeModel();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return tree.rowCount() > 0 && tree.rowCount(tree.index(0, 0)) == 3; }, 30'000));
    auto cell = [&](int row, int column) {
        return tree.index(row, column, tree.index(0, 0)).data().toString();
    };
    EXPECT_EQ(tree.index(0, trace::kName).data().toString(), "speed");
    EXPECT_EQ(cell(0, 0), "EngineRPM");
    EXPECT_EQ(cell(0, 2), "1165");  // 0x1234 * 0.25
    EXPECT_EQ(cell(0, 3), "rpm");
    EXPECT_EQ(cell(1, 2), "100");  // 0x4E20 * 0.01 - 100
    EXPECT_EQ(cell(2, 2), "50");

    // The send window takes the message from the database and lists its signals.
    auto* send = qobject_cast<CSendWnd*>(frame.SendWnd()->Widget());
    ASSERT_NE(send, nullptr);
    auto sendRan = WhenModal<CSendMsgDlg>([](CSendMsgDlg& dlg) {
        dlg.TakeDatabaseMessage(0x201);
        dlg.OnOK();
    });
    send->OnAddMsg();
    EXPECT_FALSE(*sendRan);
    send->sigView()->LoadSignals(0x201);
    const CSendSigModel& sigs = *send->sigView()->sigModel();
    ASSERT_EQ(sigs.rowCount(), 3);
    EXPECT_EQ(sigs.Rows()[0].name, "EngineRPM");
    EXPECT_EQ(sigs.Rows()[1].name, "VehicleSpeed");
    EXPECT_EQ(sigs.Rows()[1].phy, "-100");  // all data bytes zero
    EXPECT_EQ(sigs.Rows()[2].unit, "%");

    const char* dir = std::getenv("VEX_CANDB_SHOTS");
    if (dir != nullptr && *dir != '\0') {
        trace->view()->tree()->expandAll();
        QApplication::processEvents();
        frame.grab().save(QString::fromUtf8(dir) + "/e2e-frame.png");
    }
    frame.RunCommand(ID_STOP_LISTEN);
    prompt.answers = {vex::MsgResult::No};
    frame.close();
}
