// The measurement file to CSV dialog: its list, its checks in order, the export with its result text, and
// an interrupted export.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QLineEdit>

#include <sys/stat.h>

#include <filesystem>

#include "tests/common/fakeprompt.h"
#include "tests/common/testsupport.h"
#include "tests/mdf/mdftest.h"
#include "ui/logging/mdftocsvdlg.h"

namespace {

class MdfToCsvDlgTest : public ::testing::Test {
protected:
    // One group: time "t" (s) and "x" (UINT8) at 0, 1, 2 and 3 s with values 10, 20, 30, 40.
    void SetUp() override {
        tMDF_CN_INFO t = mdftest::channel("t", MDF_DOUBLE, 64);
        t.channelType = 1;
        t.convPresent = 1;
        t.convType = MDF_CONV_LINEAR;
        t.unit = "s";
        tMDF_FILE desc =
            mdftest::singleGroup({t, mdftest::channel("x", MDF_UINT, 8), mdftest::channel("y", MDF_UINT, 8)});
        CLorimar writer;
        ASSERT_EQ(writer.CreateMdfFile(desc), 0u);
        for (uint8_t r = 0; r < 4; ++r) {
            writer.InputSamplingData(0, r, double(r));
            writer.InputSamplingData(1, r, uint32_t(10 * (r + 1)));
            writer.InputSamplingData(2, r, uint32_t(r));
        }
        ASSERT_EQ(mdftest::save(writer, dir / "in.mdf"), 0u);
        vextest::writeFile(dir / "junk.mdf", "junk");
    }
    QStringList Messages() {
        QStringList out;
        for (const auto& m : prompt.messages) out << m.text;
        prompt.clear();
        return out;
    }
    QString P(const std::string& name) { return QString::fromStdString((dir / name).string()); }

    vextest::TempDir dir;
    vex::FakePrompt prompt;
    vex::ScopedPrompt usePrompt{prompt};
};

TEST(MdfToCsvValidate, ChecksInOrder) {
    struct Case {
        const char* path;
        std::optional<double> start, end, step;
        int kind;
        const char* message;
    } cases[] = {
        {"", 0.0, 1.0, 0.0, 5, "MDF文件路径不能为空。"},
        {"/a", std::nullopt, 1.0, 1.0, 1, "请输入一个数字。"},
        {"/a", 0.0, 1.0, 0.0, 5, "导出步长不能为0。"},
        {"/a", 0.0, 1.0, -0.5, 1, "导出步长不能小于0。"},
        {"/a", 0.0, 1.0, 0.5, -1, "未知的导出时间戳类型。"},
        {"/a", 0.0, 1.0, 0.5, 0, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(validateMdfToCsv(c.path, c.start, c.end, c.step, c.kind).value_or(""), c.message)
            << c.message;

    MdfToCsvRequest req{"/out.csv", true, 0.0, 1.0, 0.5, "s", {tTK_MDF_TO_CSV_CHAN_ITEM{}}};
    EXPECT_EQ(validateMdfToCsvRun(req, true), std::nullopt);
    EXPECT_EQ(validateMdfToCsvRun(req, false).value_or(""), "转换尚未进行，未知的错误。");
    req.End = 0.0;
    EXPECT_EQ(validateMdfToCsvRun(req, true).value_or(""), "转换尚未进行，采集的时间范围设置错误。");
    req.Channels.clear();
    EXPECT_EQ(validateMdfToCsvRun(req, true).value_or(""), "转换尚未进行，没有选择需要转换的信号。");
    req.Step = 0.0;
    EXPECT_EQ(validateMdfToCsvRun(req, true).value_or(""), "转换尚未进行，导出时间步长为0。");
    req.CsvPath.clear();
    EXPECT_EQ(validateMdfToCsvRun(req, true).value_or(""), "转换尚未进行，CSV文件路径为空。");
}

TEST_F(MdfToCsvDlgTest, ListAndExport) {
    CTkMdfToCsvDlg dlg;
    QAbstractItemModelTester tester(dlg.Model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_EQ(dlg.KindCombo()->currentText(), "绝对时间戳");
    prompt.paths = {P("in.mdf")};
    dlg.OnChoose();
    ASSERT_EQ(dlg.Model()->rowCount(), 2);
    EXPECT_EQ(dlg.Model()->Cells(1),
              (QStringList{"x", "(0,0,1)", "UINT8", "", "4", "[0.000000 , 3.000000](s)"}));
    EXPECT_EQ(dlg.StartEdit()->text(), "0");
    EXPECT_EQ(dlg.EndEdit()->text(), "3");
    EXPECT_EQ(dlg.UnitText(), "s");
    dlg.SortByName();  // descending: y, x
    EXPECT_EQ(dlg.Model()->Cells(0)[0], "y");

    dlg.OnExport();  // the step is still 0
    dlg.StepEdit()->setText("abc");
    dlg.OnExport();
    dlg.StepEdit()->setText("1");
    dlg.OnExport();
    EXPECT_EQ(Messages(), (QStringList{"导出步长不能为0。", "请输入一个数字。", "请选择需要转换的信号。"}));

    dlg.Model()->SetChecked(1, true);  // x
    dlg.KindCombo()->setCurrentIndex(0);
    dlg.StartEdit()->setText("0.5");
    prompt.paths = {P("out")};
    dlg.OnExport();
    EXPECT_EQ(Messages(), QStringList{"MDF转CSV数据完成"});
    EXPECT_EQ(vextest::readFile(dir / "out.csv"),
              "timestamp,x\rs,\r0.000000,10.000000\r1.000000,20.000000\r2.000000,30.000000\r");

    // An end equal to the start ends the progress dialog at once with its result.
    dlg.EndEdit()->setText("0.5");
    prompt.paths = {P("same.csv")};
    dlg.OnExport();
    EXPECT_EQ(Messages(), QStringList{"转换尚未进行，采集的时间范围设置错误。"});
    EXPECT_FALSE(std::filesystem::exists(dir / "same.csv"));

    // Interrupted: no file, the result says so.
    dlg.EndEdit()->setText("3");
    dlg.SetProgressHook([](CTkMdfToCsvProgressDlg& p) { p.OnStop(); });
    prompt.paths = {P("stopped.csv")};
    dlg.OnExport();
    EXPECT_EQ(Messages(), QStringList{"转换失败，转换被中断"});
    EXPECT_FALSE(std::filesystem::exists(dir / "stopped.csv"));
}

// A file whose record count was damaged lists the records it holds, with their sample count and time span,
// says that it is damaged, and exports as the whole file does.
TEST_F(MdfToCsvDlgTest, ADamagedFileListsTheRecordsItHoldsAndSaysSo) {
    mdftest::damageRecordCount(dir / "in.mdf", 0xFFFFFFF0u);
    CTkMdfToCsvDlg dlg;
    prompt.paths = {P("in.mdf")};
    dlg.OnChoose();
    EXPECT_EQ(Messages(),
              QStringList{"文件 " + P("in.mdf") +
                          " 已损坏，只读取文件中完整的记录：\n数据组[0]的通道组[0]声明有4294967280条记录，"
                          "文件中只有4条。"});
    ASSERT_EQ(dlg.Model()->rowCount(), 2);
    EXPECT_EQ(dlg.Model()->Cells(1),
              (QStringList{"x", "(0,0,1)", "UINT8", "", "4", "[0.000000 , 3.000000](s)"}));
    EXPECT_EQ(dlg.EndEdit()->text(), "3");
    dlg.Model()->SetChecked(1, true);
    dlg.StepEdit()->setText("1");
    prompt.paths = {P("out")};
    dlg.OnExport();
    EXPECT_EQ(Messages(), QStringList{"MDF转CSV数据完成"});
    EXPECT_EQ(vextest::readFile(dir / "out.csv"),
              "timestamp,x\rs,\r0.000000,10.000000\r1.000000,20.000000\r2.000000,30.000000\r3.000000,--\r");
}

// A file that does not open is refused with its reason (a FIFO or a device at once); the file shown before
// stays shown and loaded, and exports as before. A cancel changes nothing either.
TEST_F(MdfToCsvDlgTest, RefusedFileKeepsTheFileShown) {
    const std::filesystem::path fifo = dir / "fifo.mdf";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    CTkMdfToCsvDlg dlg;
    prompt.paths = {P("in.mdf"), P("junk.mdf"), P("fifo.mdf"), "/dev/zero", P("none.mdf"), ""};
    for (int i = 0; i < 6; ++i) dlg.OnChoose();
    EXPECT_EQ(Messages(), (QStringList{"无法打开文件 " + P("junk.mdf") + "：不是可读的MDF文件（8）。",
                                       "无法打开文件 " + P("fifo.mdf") + "：Not a regular file",
                                       "无法打开文件 /dev/zero：Not a regular file",
                                       "无法打开文件 " + P("none.mdf") + "：No such file or directory"}));
    EXPECT_EQ(dlg.MdfPath(), P("in.mdf"));
    ASSERT_EQ(dlg.Model()->rowCount(), 2);
    EXPECT_EQ(dlg.Model()->Cells(1)[0], "x");
    dlg.Model()->SetChecked(1, true);
    dlg.StepEdit()->setText("1");
    prompt.paths = {P("out.csv")};
    dlg.OnExport();
    EXPECT_EQ(Messages(), QStringList{"MDF转CSV数据完成"});
    EXPECT_EQ(vextest::readFile(dir / "out.csv"),
              "timestamp,x\rs,\r0.000000,10.000000\r1.000000,20.000000\r2.000000,30.000000\r3.000000,--\r");
}

// The file's times show with the six decimals of the list's spans and no binary residue; untouched, the
// fields export from the file's exact times (a start rounded down would miss the first sample).
TEST_F(MdfToCsvDlgTest, FileTimesShowSixDecimalsAndExportExactly) {
    tMDF_CN_INFO t = mdftest::channel("t", MDF_DOUBLE, 64);
    t.channelType = 1;
    tMDF_FILE desc = mdftest::singleGroup({t, mdftest::channel("x", MDF_UINT, 8)});
    CLorimar writer;
    ASSERT_EQ(writer.CreateMdfFile(desc), 0u);
    const double times[] = {0.1234564, 1.1234564, 199.21728999999999};
    for (uint8_t r = 0; r < 3; ++r) {
        writer.InputSamplingData(0, r, times[r]);
        writer.InputSamplingData(1, r, uint32_t(r + 1));
    }
    ASSERT_EQ(mdftest::save(writer, dir / "odd.mdf"), 0u);
    CTkMdfToCsvDlg dlg;
    prompt.paths = {P("odd.mdf")};
    dlg.OnChoose();
    EXPECT_EQ(dlg.StartEdit()->text(), "0.123456");
    EXPECT_EQ(dlg.EndEdit()->text(), "199.21729");
    dlg.Model()->SetChecked(0, true);
    dlg.KindCombo()->setCurrentIndex(0);
    dlg.StepEdit()->setText("1");
    prompt.paths = {P("odd.csv")};
    dlg.OnExport();
    const std::string csv = vextest::readFile(dir / "odd.csv");
    EXPECT_EQ(csv.rfind("timestamp,x\r,\r0.000000,1.000000\r1.000000,2.000000\r", 0), 0u)
        << csv.substr(0, 60);
}

}  // namespace
