// The database list on the live configuration: rows bound to entries by position, new, edit, delete,
// import and export; and the main frame's command, which writes the list into the current file and
// nothing else, and leaves a file that does not read cleanly as it is.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>

#include <fstream>

#include "candb/dbcfile.h"
#include "platform/qt/namedmutex.h"
#include "tests/app/workspacetest.h"
#include "tests/common/fakeprompt.h"
#include "tests/uicandb/dlgtest.h"
#include "ui/app/infownd.h"
#include "ui/app/mainframe.h"
#include "ui/candb/candbcfgdlg.h"
#include "ui/candb/reportview.h"
#include "ui/candb/textrows.h"

using namespace dlgtest;

namespace {

const char* kDbc =
    "VERSION \"\"\r\n\r\nBO_ 513 speed: 8 PCM\r\n SG_ EngineRPM : 7|16@0+ (0.25,0) [0|0] \"rpm\" X\r\n";

class DbListTest : public wstest::WorkspaceTest {
protected:
    void SetUp() override {
        WorkspaceTest::SetUp();
        Make();
    }
    std::string WriteFile(const std::string& name, const std::string& text) {
        const std::string path = Path(name);
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    std::vector<tCFG_CAN_DATABASE>& Dbs() { return ws->Cfg().CanDatabases; }

    vex::FakePrompt prompt;
    vex::ScopedPrompt usePrompt{prompt};
    FakeDbDialogs fake;
    candbui::ScopedDbDialogs useFake{fake};
};

tCFG_CAN_DATABASE Entry(const std::string& name, const std::string& author) {
    tCFG_CAN_DATABASE e;
    e.Name = name;
    e.Database.Author = author;
    return e;
}

}  // namespace

TEST_F(DbListTest, EmptyListRefusals) {
    CCanDbCfgDlg dlg(*ws);
    dlg.OnDeleteDb();
    dlg.OnEditDb();
    EXPECT_TRUE(prompt.messages.empty());
    dlg.OnExportDbc();
    EXPECT_EQ(prompt.lastText(), "未知的错误。");
    EXPECT_EQ(prompt.messages.size(), 1u);
}

TEST_F(DbListTest, RowsAreEntriesByPosition) {
    Dbs() = {Entry("Twin", "first"), Entry("Twin", "second")};
    CCanDbCfgDlg dlg(*ws);
    QAbstractItemModelTester tester(dlg.model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    dlg.show();
    EXPECT_EQ(dlg.model()->At(1).cells, (QStringList{"Twin", "", "second", "", ""}));
    dlg.OnEditDb();
    EXPECT_EQ(prompt.lastText(), "请选中其中一项进行操作。");
    fake.onDatabase = [](tCFG_CAN_DATABASE& e) {
        EXPECT_EQ(e.Database.Author, "second");
        e.Name = "Renamed";
        e.Database.Author = "edited";
        e.FirstAddFlag = 0;
        return true;
    };
    DoubleClickRow(*dlg.list(), 1);
    EXPECT_EQ(Dbs()[1].Name, "Renamed");
    EXPECT_EQ(Dbs()[0].Database.Author, "first");
    EXPECT_EQ(dlg.model()->Cell(1, 0), "Renamed");
    EXPECT_EQ(dlg.model()->Cell(1, 2), "edited");

    // Cancelled: nothing changes.
    fake.onDatabase = nullptr;
    dlg.OnEditDb();
    EXPECT_EQ(Dbs()[1].Database.Author, "edited");

    ClickRow(*dlg.list(), 0);
    Dbs()[1].Name = "Twin";  // two entries of one name again: the row still picks its own
    dlg.OnDeleteDb();
    ASSERT_EQ(Dbs().size(), 1u);
    EXPECT_EQ(Dbs()[0].Database.Author, "edited");
    EXPECT_EQ(dlg.SelRow(), -1);
    EXPECT_EQ(dlg.model()->rowCount(), 1);
}

TEST_F(DbListTest, NewImportExport) {
    CCanDbCfgDlg dlg(*ws);
    dlg.show();
    Click(dlg, "btnNew");  // the editor opens on it; cancelled, the entry stays as made
    ASSERT_EQ(Dbs().size(), 1u);
    EXPECT_EQ(Dbs()[0].Name.rfind("DB-BLANK-", 0), 0u);
    EXPECT_EQ(Dbs()[0].FirstAddFlag, 1);
    EXPECT_EQ(fake.log, (std::vector<std::string>{"database " + Dbs()[0].Name}));
    EXPECT_EQ(dlg.SelRow(), 0);

    prompt.paths = {QString::fromStdString(WriteFile("Car.dbc", kDbc)), QString()};
    Click(dlg, "btnImport");
    Click(dlg, "btnImport");  // cancelled chooser
    ASSERT_EQ(Dbs().size(), 2u);
    EXPECT_EQ(Dbs()[1].Name, "Car");
    EXPECT_EQ(fake.log.back(), "database Car");
    EXPECT_EQ(prompt.requests[0].filter, "dbc files(*.dbc);;所有文件(*.*)");
    const std::vector<tINFO_MSG> infos = Infos();
    ASSERT_FALSE(infos.empty());
    EXPECT_EQ(infos.back().Source, "导入DBC文件");
    EXPECT_EQ(infos.back().Text, "导入数据库文件[" + Path("Car.dbc") + "]完成。");

    // The same file again is refused with a message box and the list keeps one entry of that name.
    prompt.paths = {QString::fromStdString(Path("Car.dbc"))};
    Click(dlg, "btnImport");
    EXPECT_EQ(prompt.lastText(), "数据库与现有数据库名称相同[Car]，添加数据库失败。");
    EXPECT_EQ(Dbs().size(), 2u);

    // Export the selected row (the import selected it).
    prompt.paths = {QString::fromStdString(Path("out.dbc"))};
    Click(dlg, "btnExport");
    tDBC_IMPORT back;
    ASSERT_EQ(ParseDbcFile(back, Path("out.dbc")), kDbcOk);
    ASSERT_EQ(back.Database.Messages.size(), 1u);
    EXPECT_EQ(back.Database.Messages[0].Signals[0].Name, "EngineRPM");
    // A file that cannot be written is reported with its name and the reason.
    prompt.paths = {QString::fromStdString(Path("missing/out.dbc"))};
    Click(dlg, "btnExport");
    EXPECT_EQ(prompt.messages.back().caption, "文件存储");
    EXPECT_EQ(prompt.lastText().toStdString(),
              "DBC文件没有保存：无法写入文件 " + Path("missing/out.dbc") + "：No such file or directory");

    // What the import leaves out reaches the user: a warning in the info messages and a box before the
    // editor opens on the new database.
    prompt.paths = {QString::fromStdString(WriteFile("Odd.dbc", std::string(kDbc) + "garbage\r\n"))};
    Click(dlg, "btnImport");
    ASSERT_EQ(Dbs().size(), 3u);
    EXPECT_EQ(fake.log.back(), "database Odd");
    EXPECT_EQ(prompt.lastText().toStdString(), "导入数据库文件[" + Path("Odd.dbc") +
                                                   "]完成。其中1处未导入或有改变：\n"
                                                   "第[5]行：无法识别的语句，已跳过。");
    EXPECT_EQ(Infos().back().Level, 1);
}

// Every remark the import kept reaches the info window, a row each after the import's own, even when there
// are more than the ring holds messages; a last row counts those beyond the kept ones. The box lists the
// first five and points to the info window; the status bar's alert is the head text alone.
TEST_F(DbListTest, ImportRemarksReachTheInfoWindow) {
    struct Case {
        int remarks;
        bool pointer;  // the box points to the info window
    } cases[] = {{3, false}, {300, true}, {kDbcRemarksKept + 5, true}};
    CCanDbCfgDlg dlg(*ws);
    CInfoView view(ws->InfoRing());
    CInfoModel& rows = *view.infoModel();
    view.OnTimer();  // what the workspace reported before
    uint64_t alertSerial = 0;
    for (const Case& c : cases) {
        const std::string name = "R" + std::to_string(c.remarks);
        std::string text = kDbc;
        for (int i = 0; i < c.remarks; ++i) text += "garbage\r\n";
        const std::string path = WriteFile(name + ".dbc", text);
        tDBC_IMPORT import;
        ASSERT_EQ(ParseDbcFile(import, path), kDbcOk);
        ASSERT_EQ(import.RemarkCount, static_cast<uint32_t>(c.remarks));
        std::vector<std::string> expected;
        for (const tDBC_REMARK& r : import.Remarks)
            expected.push_back("第[" + std::to_string(r.LineNo) + "]行：" + r.Text);
        if (c.remarks > static_cast<int>(kDbcRemarksKept))
            expected.push_back("另有5处未列出（只保留前2000处）。");

        prompt.paths = {QString::fromStdString(path)};
        Click(dlg, "btnImport");
        const std::string head =
            "导入数据库文件[" + path + "]完成。其中" + std::to_string(c.remarks) + "处未导入或有改变";
        const QStringList box = prompt.lastText().split('\n');
        EXPECT_EQ(box[0].toStdString(), head + (c.pointer ? "，前5处：" : "："));
        const int listed = std::min(c.remarks, 5);
        ASSERT_EQ(box.size(), 1 + listed + (c.pointer ? 1 : 0));
        for (int i = 0; i < listed; ++i)
            EXPECT_EQ(box[1 + i].toStdString(), expected[static_cast<size_t>(i)]);
        if (c.pointer) {
            EXPECT_EQ(box.back(), "其余各处见信息窗口。");
        }

        const int first = rows.rowCount();
        view.OnTimer();
        ASSERT_EQ(rows.rowCount(), first + 1 + static_cast<int>(expected.size())) << c.remarks;
        EXPECT_EQ(rows.index(first, 3).data().toString().toStdString(), head + "，各处见信息窗口。");
        for (size_t i = 0; i < expected.size(); ++i) {
            const int row = first + 1 + static_cast<int>(i);
            ASSERT_EQ(rows.index(row, 3).data().toString().toStdString(), expected[i]) << c.remarks;
            EXPECT_EQ(rows.index(row, 2).data().toString(), "导入DBC文件");
            EXPECT_EQ(rows.index(row, 1).data().toString(), "warning");
            EXPECT_EQ(rows.index(row, 0).data(), rows.index(first, 0).data());
        }
        tINFO_MSG alert;
        ASSERT_TRUE(ws->InfoRing().NewerAlert(alertSerial, alert));
        EXPECT_EQ(alert.Text, head + "，各处见信息窗口。");
    }
}

TEST_F(DbListTest, FrameCommandWritesOnlyTheDatabases) {
    vex::FakeSiblingProbe probe;
    CMainFrame frame(*ws, CMainFrame::Options{&probe, 0});
    const std::string path = ws->CfgPath();
    ASSERT_FALSE(path.empty());
    EXPECT_TRUE(frame.Action(ID_CFG_CANDB)->isEnabled());
    const auto savedDetail = ws->Cfg().Trace.TraceDetail;
    ws->Cfg().Trace.TraceDetail = savedDetail == 0 ? 1 : 0;  // changed, not saved

    auto ran = WhenModal<CCanDbCfgDlg>([](CCanDbCfgDlg& dlg) {
        dlg.OnNewDb();
        Click(dlg, "btnOk");
    });
    frame.RunCommand(ID_CFG_CANDB);
    EXPECT_FALSE(*ran);
    CAppCfg file;
    std::string message;
    ASSERT_TRUE(file.OpenConfig(path, message));
    EXPECT_EQ(file.CanDatabases, Dbs());
    ASSERT_EQ(file.CanDatabases.size(), 1u);
    EXPECT_EQ(file.Trace.TraceDetail, savedDetail);

    // A file that does not read cleanly is left alone and the reason shown.
    const std::string broken = "<VEXAR_CFG_FILE><oops";
    WriteFile("broken.xml", broken);
    ws->SetCfgPath(Path("broken.xml"));
    ran = WhenModal<CCanDbCfgDlg>([](CCanDbCfgDlg& dlg) { Click(dlg, "btnOk"); });
    frame.RunCommand(ID_CFG_CANDB);
    EXPECT_EQ(vextest::readFile(Path("broken.xml")), broken);
    EXPECT_EQ(prompt.messages.back().caption, "CAN数据库");
    EXPECT_TRUE(prompt.lastText().startsWith("CAN数据库没有保存")) << prompt.lastText().toStdString();
}
