// The export of log signals into a measurement file: the lists from a log and the loaded databases, the
// ticks, sorting, the refusals and the export with its result message.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "logging/canmsgmdflogfile.h"
#include "tests/common/fakeprompt.h"
#include "tests/logging/logtest.h"
#include "tests/mdf/mdftest.h"
#include "tests/uiapp/appfixture.h"
#include "ui/logging/sigmdfexportdlg.h"

namespace {

CCanSignal Sig(const char* name, uint8_t offset, uint8_t len) {
    CCanSignal s;
    s.Name = name;
    s.BitOffset = offset;
    s.BitLen = len;
    s.ByteFmtIntel = 1;
    return s;
}

tCAN_RAW_MSG Frame(uint32_t id, uint8_t ext, double timeMs, uint8_t first) {
    tCAN_RAW_MSG m;
    m.Id = id;
    m.Ext = ext;
    m.Dlc = 8;
    for (int i = 0; i < 8; ++i) m.Data[i] = static_cast<uint8_t>(first + i);
    m.TimeMs = timeMs;
    return m;
}

class SigMdfExportDlgTest : public apptest::WorkspaceTest {
protected:
    void SetUp() override {
        apptest::WorkspaceTest::SetUp();
        tCFG_CAN_DATABASE db;
        db.Name = "DB";
        CCanMsg engine;
        engine.Name = "Engine";
        engine.id = 0x100;
        engine.Signals = {Sig("beta", 0, 8), Sig("Alpha", 8, 8), Sig("gamma", 16, 4)};
        engine.Signals[1].ValFactor = 0.5;
        engine.Signals[1].Unit = "V";
        CCanMsg ext;
        ext.Name = "Ext";
        ext.id = 0x18FEF100;
        ext.Ext = 1;
        ext.Signals = {Sig("delta", 0, 16), Sig("broken", 60, 8)};
        db.Database.Messages = {engine, ext};
        ws->Cfg().CanDatabases.push_back(db);
        frames = {Frame(0x300, 0, 0.0, 1), Frame(0x100, 0, 1.0, 2), Frame(0x18FEF100, 1, 2.0, 3),
                  Frame(0x100, 0, 3.0, 4)};
        vextest::writeFile(Path("in.crm"), logtest::CrmBytes(frames));
    }
    QStringList Messages() {
        QStringList out;
        for (const auto& m : prompt.messages) out << m.text;
        prompt.clear();
        return out;
    }
    // The dialog over the log file `name`.
    std::unique_ptr<CTkCanMsgLogFileToSigMdfDlg> Open(const std::string& name) {
        auto dlg = std::make_unique<CTkCanMsgLogFileToSigMdfDlg>(ws->Hub(), [this](QWidget*) { ++dbEdits; });
        prompt.paths.push_back(QString::fromStdString(Path(name)));
        dlg->OnChoose();
        return dlg;
    }
    int Row(CTkRowsModel* model, const QString& name) {
        for (int r = 0; r < model->rowCount(); ++r)
            if (model->Cells(r)[0] == name) return r;
        return -1;
    }

    std::vector<tCAN_RAW_MSG> frames;
    int dbEdits = 0;
    vex::FakePrompt prompt;
    vex::ScopedPrompt usePrompt{prompt};
};

// Messages in the order they first occur, those the databases describe with their signals.
TEST_F(SigMdfExportDlgTest, ListsFromLogAndDatabases) {
    auto dlg = Open("in.crm");
    QAbstractItemModelTester msgTester(dlg->MsgModel(),
                                       QAbstractItemModelTester::FailureReportingMode::Fatal);
    QAbstractItemModelTester sigTester(dlg->SigModel(),
                                       QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_EQ(dlg->RecordCount(), 4u);
    CTkRowsModel* msgs = dlg->MsgModel();
    ASSERT_EQ(msgs->rowCount(), 3);
    EXPECT_EQ(msgs->Cells(0), (QStringList{"300", "std", "否", "--"}));
    EXPECT_EQ(msgs->Cells(1), (QStringList{"100", "std", "是", "Engine"}));
    EXPECT_EQ(msgs->Cells(2), (QStringList{"18FEF100", "ext", "是", "Ext"}));
    CTkRowsModel* sigs = dlg->SigModel();
    ASSERT_EQ(sigs->rowCount(), 5);
    EXPECT_EQ(sigs->Cells(1), (QStringList{"Alpha", "100", "std", "(8,8)", "(0.5,0)", "否", "V"}));
    EXPECT_EQ(dlg->SelTable()[3].MsgKey, 0x18FEF100u + 0x40000000u);
    EXPECT_EQ(dlg->SelTable()[3].SigName, "delta");
    EXPECT_EQ(dlg->SelTable()[5].MsgKey, kFreeMsgKey);

    // The database edit is followed by lists from the refreshed maps, the log not read again.
    ws->Cfg().CanDatabases[0].Database.Messages[0].Signals.pop_back();
    dlg->OnCanDbCfg();
    EXPECT_EQ(dbEdits, 1);
    EXPECT_EQ(sigs->rowCount(), 4);

    // An upper-case extension picks its reader; another extension none.
    vextest::writeFile(Path("other.CRM"), logtest::CrmBytes({frames[0]}));
    prompt.paths.push_back(QString::fromStdString(Path("other.CRM")));
    dlg->OnChoose();
    EXPECT_EQ(msgs->rowCount(), 1);
    prompt.paths.push_back("/x/y.csv");
    dlg->OnChoose();
    EXPECT_EQ(Messages(), QStringList{"不支持的记录文件格式。"});
    EXPECT_EQ(sigs->rowCount(), 0);
}

// The dialog fits a 1,366 x 768 screen with room for a window frame and a panel, at its default and its
// minimum size; at the default size both lists show every column beside their scroll bars.
TEST_F(SigMdfExportDlgTest, FitsASmallScreen) {
    auto dlg = Open("in.crm");
    dlg->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
    const QSize room(1366 - 40, 768 - 80);
    for (const QSize size : {dlg->size(), dlg->minimumSizeHint()}) {
        EXPECT_LE(size.width(), room.width());
        EXPECT_LE(size.height(), room.height());
    }
    for (const char* name : {"listMessages", "listSignals"}) {
        const auto* list = dlg->findChild<QTableView*>(name);
        ASSERT_NE(list, nullptr) << name;
        EXPECT_LE(list->horizontalHeader()->length() + list->verticalScrollBar()->sizeHint().width() +
                      2 * list->frameWidth(),
                  list->width())
            << name;
    }
}

// Ticks follow their rows through sorting; the export writes the ticked signals and says so.
TEST_F(SigMdfExportDlgTest, SortTickAndExport) {
    auto dlg = Open("in.crm");
    CTkRowsModel* sigs = dlg->SigModel();
    sigs->SetChecked(Row(sigs, "Alpha"), true);
    sigs->SetChecked(Row(sigs, "delta"), true);
    dlg->SortSignals(0);  // first click: descending
    QStringList names;
    for (int r = 0; r < sigs->rowCount(); ++r) names << sigs->Cells(r)[0];
    EXPECT_EQ(names, (QStringList{"gamma", "delta", "broken", "beta", "Alpha"}));
    dlg->SortSignals(0);
    EXPECT_EQ(sigs->Cells(0)[0], "Alpha");
    EXPECT_TRUE(sigs->Checked(0));
    dlg->SortSignals(2);  // other columns do not sort
    EXPECT_EQ(sigs->Cells(0)[0], "Alpha");

    prompt.paths.push_back(QString::fromStdString(Path("out")));  // the extension is added
    dlg->OnExport();
    EXPECT_EQ(Messages(), QStringList{QString::fromStdString("文件[" + Path("out.mdf") + "]导出成功。")});
    CLorimar lib;
    const std::string out = Path("out.mdf");
    ASSERT_EQ(lib.OpenMdfFile(out.data(), static_cast<int32_t>(out.size())), 0u);
    ASSERT_EQ(lib.GetMdfFileInfo().dataGroups.size(), 2u);
    uint32_t records = 0;
    for (const tMDF_DG_INFO& dg : lib.GetMdfFileInfo().dataGroups) records += dg.channelGroups[0].recordCount;
    EXPECT_EQ(records, 3u);
}

TEST_F(SigMdfExportDlgTest, RefusalsAndFailures) {
    auto dlg = Open("in.crm");
    CTkRowsModel* sigs = dlg->SigModel();
    dlg->OnExport();
    EXPECT_EQ(Messages(), QStringList{"请选择导出的信号。"});
    dlg->OnSelectAll();
    dlg->OnExport();
    EXPECT_EQ(Messages(), QStringList{"信号[broken]的位置区域(60,8)不在报文的8个数据字节之内，不能导出。"});
    dlg->OnInvert();
    EXPECT_FALSE(sigs->Checked(0));
    sigs->SetChecked(Row(sigs, "beta"), true);
    dlg->OnExport();  // the save question cancelled
    EXPECT_TRUE(Messages().isEmpty());

    // The database lost the signal after the lists were made: the export fails before any file exists.
    ws->Cfg().CanDatabases[0].Database.Messages[0].Signals.erase(
        ws->Cfg().CanDatabases[0].Database.Messages[0].Signals.begin());
    ws->Hub().BuildGlobalMaps();
    prompt.paths.push_back(QString::fromStdString(Path("gone.mdf")));
    dlg->OnExport();
    EXPECT_EQ(Messages(), QStringList{"文件导出失败。\nCAN数据库的报文[Engine]中没有信号[beta]。"});
    EXPECT_FALSE(std::filesystem::exists(Path("gone.mdf")));

    // A stopped export leaves no file.
    sigs->ClearAll();
    sigs->SetChecked(Row(sigs, "Alpha"), true);
    dlg->SetProgressHook([](CTkCanMsgLogFileToSigMdfProgressDlg& p) { p.OnStop(); });
    prompt.paths.push_back(QString::fromStdString(Path("stopped.mdf")));
    dlg->OnExport();
    EXPECT_EQ(Messages(), QStringList{"文件导出失败。"});
    EXPECT_FALSE(std::filesystem::exists(Path("stopped.mdf")));
}

// A log without records: the progress dialog closes at once and the export fails.
TEST_F(SigMdfExportDlgTest, EmptyLog) {
    vextest::writeFile(Path("empty.crm"), "");
    auto dlg = Open("empty.crm");
    EXPECT_EQ(dlg->MsgModel()->rowCount(), 0);
    EXPECT_TRUE(Messages().isEmpty());
    // A measurement file that is no MDF log says why.
    tMDF_FILE desc = MdfLogFileDesc(std::tm{});
    desc.dataGroups[0].channelGroups[0].channels.pop_back();
    CLorimar lib;
    ASSERT_EQ(lib.CreateMdfFile(desc), 0u);
    const std::string path = Path("short.log");
    ASSERT_EQ(lib.SaveMdfFile(path.data(), static_cast<int32_t>(path.size())), 0u);
    prompt.paths.push_back(QString::fromStdString(path));
    dlg->OnChoose();
    const QStringList shown = Messages();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].contains("通道组有14个通道，应为15个。")) << shown[0].toStdString();

    CTkCanMsgLogFileToSigMdfProgressDlg progress(nullptr, {}, {}, Path("x.mdf"), 0);
    EXPECT_EQ(progress.exec(), QDialog::Rejected);
    EXPECT_FALSE(progress.Done());
}

// The log is read in a progress dialog: a text log that never ends (a FIFO a writer holds open) ends on
// "中断" with empty lists; a ".crm" log that is not a regular file is refused at once with the reason.
TEST_F(SigMdfExportDlgTest, EndlessLogsEndOnStop) {
    const std::string fifo = Path("endless.txt");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int writer = ::open(fifo.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    auto dlg = std::make_unique<CTkCanMsgLogFileToSigMdfDlg>(ws->Hub(), [](QWidget*) {});
    int scans = 0;
    dlg->SetScanHook([&](CTkLogScanProgressDlg& progress) {
        ++scans;
        // Stopped once the reading runs.
        QTimer::singleShot(50, &progress, [&progress] { progress.OnStop(); });
    });
    prompt.paths.push_back(QString::fromStdString(fifo));
    dlg->OnChoose();
    EXPECT_EQ(scans, 1);
    EXPECT_EQ(dlg->MsgModel()->rowCount(), 0);
    EXPECT_EQ(dlg->RecordCount(), 0u);
    EXPECT_TRUE(Messages().isEmpty());

    const std::string crm = Path("fifo.crm");
    ASSERT_EQ(::mkfifo(crm.c_str(), 0600), 0);
    dlg->SetScanHook({});
    prompt.paths.push_back(QString::fromStdString(crm));
    dlg->OnChoose();
    EXPECT_EQ(Messages(),
              QStringList{QString::fromStdString("无法打开文件 " + crm + "：Not a regular file")});
    ::close(writer);

    // A text log with lines that are not frames says how many were left out.
    const std::string text = Path("damaged.txt");
    vextest::writeFile(text,
                       "   1.000000 1  100             Rx   d 1 01 \r\nnot a frame\r\n1 1 1ZZ Rx d 0\r\n");
    prompt.paths.push_back(QString::fromStdString(text));
    dlg->OnChoose();
    EXPECT_EQ(dlg->RecordCount(), 1u);
    EXPECT_EQ(Messages(),
              QStringList{QString::fromStdString("记录文件 " + text + " 中有 2 行无法读取，已跳过。")});
}

// An MDF log whose record count was damaged lists the messages of the records it holds and says that it is
// damaged.
TEST_F(SigMdfExportDlgTest, ADamagedMdfLogSaysSo) {
    const std::string log = Path("damaged.log");
    {
        CCanMsgMdfLogFile writer;
        ASSERT_TRUE(writer.OpenWrite(log));
        for (const tCAN_RAW_MSG& m : frames) writer.WriteMsg(m);
        ASSERT_TRUE(writer.CloseWrite());
    }
    mdftest::damageRecordCount(log, 0xFFFFFFF0u);
    auto dlg = Open("damaged.log");
    EXPECT_EQ(dlg->RecordCount(), 4u);
    EXPECT_EQ(dlg->MsgModel()->rowCount(), 3);
    EXPECT_EQ(Messages(),
              QStringList{QString::fromStdString("文件 " + log +
                                                 " 已损坏，只读取文件中完整的记录：\n数据组[0]的通道组"
                                                 "[0]声明有4294967280条记录，文件中只有4条。")});
}

}  // namespace
