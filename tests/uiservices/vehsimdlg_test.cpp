// The simulator's window: the repetition count's check, the progress texts, loading a file, starting and
// the progress display through a run that going offline ends.
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include "services/vehsim.h"
#include "tests/windows/wndtest.h"
#include "ui/services/vehsimdlg.h"

using namespace wndtest;

TEST(VehSimDlg, RepeatCountAndProgressTexts) {
    const struct {
        const char* text;
        int32_t count;  // 0: refused
    } cases[] = {{"1", 1}, {" 10000 ", 10000}, {"0", 0}, {"10001", 0}, {"-1", 0}, {"2x", 0}, {"", 0}};
    for (const auto& c : cases) {
        int32_t count = 0;
        const QString refusal = validateVehSimRepeat(c.text, count);
        EXPECT_EQ(refusal.isEmpty(), c.count != 0) << c.text;
        if (c.count == 0)
            EXPECT_EQ(refusal, "请输入一个介于 1 和 10000 之间的整数。");
        else
            EXPECT_EQ(count, c.count);
    }
    EXPECT_EQ(VehSimProgressText(0, 3, 4, 10), "次数[1 / 3] - 进度[5 / 10]");
    EXPECT_EQ(VehSimProgressPos(4, 10), 500);
    EXPECT_EQ(VehSimProgressPos(9, 10), 1000);
    EXPECT_EQ(VehSimProgressPos(4, 0), 0);  // never divides by an empty record count
}

using VehSimDlgTest = WindowTest;

TEST_F(VehSimDlgTest, LoadStartProgressAndOffline) {
    CExtSerVehEnvSimulator sim(ws->Sender());
    CExtSerVehEnvSimulatorDlg dlg(*ws, sim);
    EXPECT_EQ(dlg.repeatEdit()->text(), "1");
    vextest::writeFile(dir / "bad.csv", "h\nh\n0,1,2,3,4,5,6,7\n\n");
    vextest::writeFile(dir / "drive.csv", "h\nh\n0,0,0,0,0,0,0,0\n1.1,0,0,0,0,0,0,0\n60,0,0,0,0,0,0,0\n");
    dlg.LoadFile(QString::fromStdString(Path("drive.csv")));
    EXPECT_EQ(dlg.recordsEdit()->text(), "3");
    EXPECT_EQ(dlg.totalTimeEdit()->text(), "60000");
    // A refused file is named with the reason; the fields still show the file whose samples are loaded.
    dlg.LoadFile(QString::fromStdString(Path("bad.csv")));
    EXPECT_EQ(Messages(), std::vector<QString>{QString::fromStdString("文件打开失败。\n" + Path("bad.csv") +
                                                                      "：第4行只有1个字段，需要8个。")});
    EXPECT_EQ(dlg.fileEdit()->text(), QString::fromStdString(Path("drive.csv")));
    EXPECT_EQ(dlg.recordsEdit()->text(), "3");

    dlg.repeatEdit()->setText("0");
    dlg.OnStart();
    dlg.repeatEdit()->setText("2");
    dlg.OnStart();
    EXPECT_EQ(Messages().back(), "请先开启监听。");
    GoOnline();
    dlg.OnStart();
    ASSERT_TRUE(sim.IsRunning());
    EXPECT_FALSE(dlg.startButton()->isEnabled());
    ASSERT_TRUE(emutest::WaitFor([] { return vex::emu::peer::Received().size() >= 10; }, 30'000));
    ASSERT_TRUE(emutest::WaitFor([&] { return sim.CurRecordIndex() == 2; }, 30'000));
    dlg.OnTimer();
    EXPECT_EQ(dlg.progressEdit()->text(), "次数[1 / 2] - 进度[3 / 3]");  // waiting before the third sample
    EXPECT_EQ(dlg.progressBar()->value(), 1000);
    EXPECT_FALSE(dlg.chooseButton()->isEnabled());
    ws->GoOffline();
    ASSERT_TRUE(emutest::WaitFor([&] { return !sim.IsRunning(); }, 30'000));
    dlg.OnTimer();
    EXPECT_EQ(dlg.progressEdit()->text(), "");
    EXPECT_EQ(dlg.progressBar()->value(), 0);
    // A run that ended by itself can be started again without "停止仿真".
    EXPECT_TRUE(dlg.startButton()->isEnabled());
    EXPECT_TRUE(dlg.chooseButton()->isEnabled());
    EXPECT_EQ(Messages().size(), 3u);

    // Reopened, the window shows the file whose samples are still loaded.
    CExtSerVehEnvSimulatorDlg again(*ws, sim);
    EXPECT_EQ(again.fileEdit()->text(), QString::fromStdString(Path("drive.csv")));
    EXPECT_EQ(again.recordsEdit()->text(), "3");
}
