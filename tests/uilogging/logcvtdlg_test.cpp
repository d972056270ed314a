// The conversion dialogs (the program's formats and other text logs), the progress dialog that runs a
// tool's worker, and the main frame's four tool commands.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTableView>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

#include "logging/canmsgmdflogfile.h"
#include "platform/qt/namedmutex.h"
#include "tests/common/fakeprompt.h"
#include "tests/logging/logtest.h"
#include "tests/mdf/mdftest.h"
#include "tests/uiapp/appfixture.h"
#include "ui/logging/logcvtdlg.h"
#include "ui/logging/mdftocsvdlg.h"
#include "ui/logging/sigmdfexportdlg.h"

namespace {

class LogCvtDlgTest : public apptest::WorkspaceTest {
protected:
    std::string Crm(const std::string& name, const std::vector<double>& times) {
        const std::string path = Path(name);
        vextest::writeFile(path, logtest::CrmBytes(logtest::FramesAt(times)));
        return path;
    }
    QStringList Messages() {
        QStringList out;
        for (const auto& m : prompt.messages) out << m.text;
        prompt.clear();
        return out;
    }
    std::string Stored(const char* name) {
        const auto v = store.read(name);
        return v ? v->text : std::string("<absent>");
    }

    vex::FakePrompt prompt;
    vex::ScopedPrompt usePrompt{prompt};
};

TEST(LogCvtValidate, ChecksInOrder) {
    struct Case {
        const char* folder;
        bool exists;
        const char* type;
        int rows;
        const char* message;  // empty: accepted
    } cases[] = {
        {"", false, "other", 0, "目标文件路径不能为空。"},
        {"/x", false, "other", 0, "目标文件路径不存在。"},
        {"/x", true, "other", 0, "未知的记录文件格式。"},
        {"/x", true, "asc-txt", 0, "请添加源文件。"},
        {"/x", true, "mdf-log", 2, ""},
    };
    for (const Case& c : cases) {
        const auto refusal = validateLogCvt(c.folder, c.exists, c.type, c.rows);
        EXPECT_EQ(refusal.value_or(""), c.message) << c.folder << c.type << c.rows;
    }
}

// Only the three formats are added, each file name once (compared lower-cased, extension included).
TEST_F(LogCvtDlgTest, AddingAndRemovingSources) {
    CTkCanMsgLogFileCvtDlg dlg;
    QAbstractItemModelTester tester(dlg.findChild<QTableView*>("listSources")->model(),
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    prompt.paths = {"/d/Trace.CRM", "/e/a.log", "/f/b.csv", "/g/trace.crm", "/h/TRACE.crm.txt"};
    for (int i = 0; i < 5; ++i) dlg.OnAdd();
    EXPECT_EQ(Messages(),
              (QStringList{"不支持的记录文件格式。", "此文件与已经添加的文件名称相同,文件[/d/Trace.CRM]。"}));
    ASSERT_EQ(dlg.RowCount(), 3);
    EXPECT_EQ(dlg.RowPath(2), "/h/TRACE.crm.txt");
    dlg.OnRemove();
    EXPECT_EQ(Messages(), QStringList{"请选择其中一项进行操作。"});
    dlg.SelectRow(1);
    dlg.OnRemove();
    EXPECT_EQ(dlg.RowCount(), 2);
    EXPECT_EQ(dlg.SelectedRow(), -1);
    EXPECT_EQ(dlg.RowPath(1), "/h/TRACE.crm.txt");
}

// Each row gets its line; a source of the target's format is not converted; the report is shown and the
// target folder and type are remembered.
TEST_F(LogCvtDlgTest, ConvertsEveryRowAndReports) {
    const std::string a = Crm("A.crm", {1.0, 2.0, 3.0});
    const std::string empty = Crm("empty.crm", {});
    const std::string b = Path("b.txt");
    vextest::writeFile(b, "");
    std::filesystem::create_directory(dir.path() / "out");
    CTkCanMsgLogFileCvtDlg dlg;
    prompt.paths = {QString::fromStdString(a), QString::fromStdString(b), QString::fromStdString(empty),
                    QString::fromStdString(Path("out"))};
    for (int i = 0; i < 3; ++i) dlg.OnAdd();
    dlg.OnChooseDir();
    dlg.findChild<QComboBox*>("comboType")->setCurrentText("asc-txt");
    dlg.OnConvert();
    const QString expected = QString::fromStdString("[" + a + "] - 转换完成\r\n[" + b +
                                                    "] - 转换失败，源文件与目标文件格式相同\r\n[" + empty +
                                                    "] - 转换失败\r\n    源文件中没有报文。\r\n");
    EXPECT_EQ(dlg.Report(), expected);
    EXPECT_EQ(Messages(), QStringList{expected});
    CCanMsgAscTxtFile txt;
    uint32_t count = 0;
    double duration = 0;
    ASSERT_TRUE(txt.OpenRead(Path("out/a.crm.txt"), count, duration));
    EXPECT_EQ(count, 3u);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "out" / "empty.crm.txt"));
    EXPECT_EQ(Stored("sLastCanMsgLogFileDstFilePath"), Path("out"));
    EXPECT_EQ(Stored("sLastCanMsgLogFileDstType"), "asc-txt");

    CTkCanMsgLogFileCvtDlg again;
    EXPECT_EQ(again.TargetFolder().toStdString(), Path("out"));
    EXPECT_EQ(again.TargetType(), "asc-txt");
}

// "中断" during the second of three files: its line says it was stopped, and the third is listed as not
// converted.
TEST_F(LogCvtDlgTest, StopEndsTheBatch) {
    std::filesystem::create_directory(dir.path() / "out");
    CTkCanMsgLogFileCvtDlg dlg;
    for (const char* name : {"1.crm", "2.crm", "3.crm"})
        prompt.paths.push_back(QString::fromStdString(Crm(name, {0.0})));
    for (int i = 0; i < 3; ++i) dlg.OnAdd();
    dlg.findChild<QLineEdit*>("editTarget")->setText(QString::fromStdString(Path("out")));
    dlg.findChild<QComboBox*>("comboType")->setCurrentText("mdf-log");
    int shown = 0;
    dlg.SetProgressHook([&](CTkCanMsgLogFileCvtProgressDlg& progress) {
        if (++shown == 2) progress.OnStop();
    });
    dlg.OnConvert();
    EXPECT_EQ(shown, 2);
    EXPECT_EQ(dlg.Report(), QString::fromStdString("[" + Path("1.crm") + "] - 转换完成\r\n[" + Path("2.crm") +
                                                   "] - 转换失败，转换被中断\r\n[" + Path("3.crm") +
                                                   "] - 未转换（转换已中断）\r\n"));
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "out" / "1.crm.log"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "out" / "2.crm.log"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "out" / "3.crm.log"));
}

// What a conversion left out is in its line: lines of a text source that are not frames, and frames a text
// target cannot hold.
TEST_F(LogCvtDlgTest, ReportSaysWhatWasLeftOut) {
    std::filesystem::create_directory(dir.path() / "out");
    const std::string text = Path("damaged.txt");
    vextest::writeFile(text,
                       "Talby Varesk Control System Co.,Ltd  Vexar Log File.\r\n  Date: 2024.3.5    Time: "
                       "14:7 \r\n\r\n" +
                           std::string(74, '-') +
                           "\r\n   1.000000 1  100             Rx   "
                           "d 1 01 \r\ngarbage\r\n   2.000000 1  1Z0             Rx   d 0 \r\n");
    std::vector<tCAN_RAW_MSG> frames = logtest::FramesAt({1.0, std::nan(""), 3.0, 4.0});
    frames[2].Dlc = 16;
    const std::string crm = Path("bad.crm");
    vextest::writeFile(crm, logtest::CrmBytes(frames));
    CTkCanMsgLogFileCvtDlg dlg;
    prompt.paths = {QString::fromStdString(text), QString::fromStdString(crm)};
    dlg.OnAdd();
    dlg.OnAdd();
    dlg.findChild<QLineEdit*>("editTarget")->setText(QString::fromStdString(Path("out")));
    dlg.findChild<QComboBox*>("comboType")->setCurrentText("asc-txt");
    dlg.OnConvert();
    dlg.findChild<QComboBox*>("comboType")->setCurrentText("bin-crm");
    const QString toText = dlg.Report();
    dlg.OnConvert();
    EXPECT_EQ(toText, QString::fromStdString("[" + text + "] - 转换失败，源文件与目标文件格式相同\r\n[" +
                                             crm + "] - 转换完成（2 帧无法写入文本记录，已跳过）\r\n"));
    EXPECT_EQ(dlg.Report(), QString::fromStdString("[" + text + "] - 转换完成（跳过 2 行）\r\n[" + crm +
                                                   "] - 转换失败，源文件与目标文件格式相同\r\n"));
    EXPECT_EQ(LogCvtDoneNote(0, 0), "");
    EXPECT_EQ(LogCvtDoneNote(3, 1), "（跳过 3 行；1 帧无法写入文本记录，已跳过）");
}

// An MDF log whose record count was damaged converts the records it holds, and its line says what it
// declared.
TEST_F(LogCvtDlgTest, ReportSaysThatAnMdfLogIsDamaged) {
    std::filesystem::create_directory(dir.path() / "out");
    const std::string log = Path("damaged.log");
    const std::vector<tCAN_RAW_MSG> frames = logtest::FramesAt({1.0, 2.0, 3.0, 4.0, 5.0});
    {
        CCanMsgMdfLogFile writer;
        ASSERT_TRUE(writer.OpenWrite(log));
        for (const tCAN_RAW_MSG& m : frames) writer.WriteMsg(m);
        ASSERT_TRUE(writer.CloseWrite());
    }
    mdftest::damageRecordCount(log, 0xFFFFFFF0u);
    CTkCanMsgLogFileCvtDlg dlg;
    prompt.paths = {QString::fromStdString(log)};
    dlg.OnAdd();
    dlg.findChild<QLineEdit*>("editTarget")->setText(QString::fromStdString(Path("out")));
    dlg.findChild<QComboBox*>("comboType")->setCurrentText("bin-crm");
    dlg.OnConvert();
    EXPECT_EQ(dlg.Report(),
              QString::fromStdString("[" + log + "] - 转换完成\r\n    文件 " + log +
                                     " 已损坏，只读取文件中完整的记录：\r\n    数据组[0]的通道组[0]"
                                     "声明有4294967280条记录，文件中只有5条。\r\n"));
    std::vector<std::filesystem::path> written;
    for (const auto& e : std::filesystem::directory_iterator(dir.path() / "out")) written.push_back(e.path());
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(vextest::readFile(written[0]), logtest::CrmBytes(frames));
}

// A missing target folder is refused and cleared.
TEST_F(LogCvtDlgTest, RefusalsOfConvert) {
    CTkCanMsgLogFileCvtDlg dlg;
    auto* target = dlg.findChild<QLineEdit*>("editTarget");
    target->clear();
    dlg.OnConvert();
    target->setText(QString::fromStdString(Path("missing")));
    dlg.OnConvert();
    EXPECT_EQ(target->text(), "");
    target->setText(QString::fromStdString(dir.path().string()));
    dlg.OnConvert();
    EXPECT_EQ(Messages(), (QStringList{"目标文件路径不能为空。", "目标文件路径不存在。", "请添加源文件。"}));
}

// Any extension may be added, each name once; "转换" writes nothing and says nothing.
TEST_F(LogCvtDlgTest, OtherTextLogs) {
    CTkCanMsgLogFileCvtOtherDlg dlg;
    prompt.paths = {"/a/x.asc", "/b/X.ASC", "/c/y", "/lib/conv.dll", QString::fromStdString(Path(""))};
    dlg.OnAdd();
    dlg.OnAdd();
    dlg.OnAdd();
    dlg.OnChooseConverter();
    dlg.OnChooseDir();
    EXPECT_EQ(Messages(), QStringList{"此文件与已经添加的文件名称相同,文件[/a/x.asc]。"});
    EXPECT_EQ(dlg.RowCount(), 2);
    EXPECT_EQ(dlg.ConverterPath(), "/lib/conv.dll");
    const auto before = std::distance(std::filesystem::directory_iterator(dir.path()), {});
    dlg.OnConvert();
    EXPECT_TRUE(Messages().isEmpty());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), before);
    dlg.OnRemove();
    EXPECT_EQ(Messages(), QStringList{"请选择其中一项进行操作。"});
}

// A job that runs until it is told to stop and the test lets it end (so the test sees the dialog while the
// stopped job is still ending, however the threads are scheduled).
class WaitingJob final : public CLogToolJob {
public:
    ~WaitingJob() override {
        release = true;
        Finish();
    }
    std::atomic<bool> release{false};

protected:
    bool Run() override {
        setCount(10);
        setPhase(Phase::Running);
        while (!(StopRequested() && release)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return false;
    }
};

class WaitingDlg final : public CTkProgressDlg {
public:
    WaitingDlg() : CTkProgressDlg(QStringLiteral("中断")) { SetJob(&job); }
    ~WaitingDlg() override { finishJob(); }
    WaitingJob job;

protected:
    QString statusOf(const CLogToolJob& j) const override { return TkProgressText(j); }
};

// Esc and the close box only ask the job to stop: the dialog closes once the job has ended. Its fields
// change at most ten times a second.
TEST_F(LogCvtDlgTest, ProgressDialogOutlivesItsJob) {
    WaitingDlg dlg;
    EXPECT_GE(dlg.RefreshTimer()->interval(), 50);
    bool visibleAfterEsc = false, stopAsked = false;
    QTimer::singleShot(0, &dlg, [&] {
        for (int i = 0; i < 30'000 && dlg.job.phase() != CLogToolJob::Phase::Running; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        dlg.reject();
        dlg.close();
        visibleAfterEsc = dlg.isVisible();
        stopAsked = dlg.job.StopRequested();
        dlg.job.release = true;
    });
    EXPECT_EQ(dlg.exec(), QDialog::Rejected);
    EXPECT_TRUE(visibleAfterEsc);
    EXPECT_TRUE(stopAsked);
    EXPECT_TRUE(dlg.job.Ended());
    EXPECT_EQ(dlg.StatusText(), "当前进度 0.00% (0/10)");
}

// The four tool commands open their dialogs while offline and idle; MDF to CSV also online.
TEST_F(LogCvtDlgTest, FrameToolCommands) {
    vex::FakeSiblingProbe probe;
    CMainFrame frame(*ws, CMainFrame::Options{&probe, 0});
    frame.show();
    const std::pair<uint32_t, const char*> commands[] = {{ID_TK_LOG_CVT, "CTkCanMsgLogFileCvtDlg"},
                                                         {ID_TK_LOG_CVT_OTHER, "CTkCanMsgLogFileCvtOtherDlg"},
                                                         {ID_TK_LOG_TO_MDF, "CTkCanMsgLogFileToSigMdfDlg"},
                                                         {ID_TK_MDF_TO_CSV, "CTkMdfToCsvDlg"}};
    for (const auto& [id, cls] : commands) {
        QString seen;
        QTimer::singleShot(0, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            seen = modal ? modal->metaObject()->className() : "";
            if (auto* d = qobject_cast<QDialog*>(modal)) d->reject();
        });
        frame.RunCommand(id);
        EXPECT_EQ(seen, cls);
    }
    Select(CAppCfg::kDevNxp);
    ASSERT_TRUE(ws->GoOnline());
    frame.UpdateCommandStates();
    EXPECT_FALSE(frame.Action(ID_TK_LOG_CVT)->isEnabled());
    EXPECT_FALSE(frame.Action(ID_TK_LOG_CVT_OTHER)->isEnabled());
    EXPECT_FALSE(frame.Action(ID_TK_LOG_TO_MDF)->isEnabled());
    EXPECT_TRUE(frame.Action(ID_TK_MDF_TO_CSV)->isEnabled());
    ws->GoOffline();
}

}  // namespace
