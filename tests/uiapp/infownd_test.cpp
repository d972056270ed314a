#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QAction>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QSignalSpy>
#include <QTest>
#include <QToolBar>

#include <algorithm>
#include <string>

#include "app/infomsgring.h"
#include "platform/textcodec.h"
#include "tests/common/fakeprompt.h"
#include "tests/common/testsupport.h"
#include "ui/app/infownd.h"

namespace {

QString cell(const CInfoModel& model, int row, int column, int role = Qt::DisplayRole) {
    return model.data(model.index(row, column), role).toString();
}

void fill(CInfoMsgRing& ring) {
    ring.Push("08:00:01", "NXP-VYK", 0, "设备打开成功");
    ring.Push("08:00:02", "导入DBC文件", 1, "warn");
    ring.Push("08:00:03", "CF51-VYK", 2, "CAN1 bus off");
}

TEST(InfoWnd, TimerAppendsRingMessagesAsRows) {
    CInfoMsgRing ring;
    CInfoView view(ring);
    CInfoModel& model = *view.infoModel();
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    fill(ring);
    ring.Push("08:00:04", "X", 3, "odd level");
    EXPECT_EQ(view.OnTimer(), 4);
    EXPECT_EQ(ring.Count(), 0u);
    ASSERT_EQ(model.rowCount(), 4);
    struct Row {
        const char *time, *level, *source, *text;
        int levelByte;
    } rows[] = {
        {"08:00:01", "normalcy", "NXP-VYK", "设备打开成功", 0},
        {"08:00:02", "warning", "导入DBC文件", "warn", 1},
        {"08:00:03", "error", "CF51-VYK", "CAN1 bus off", 2},
        {"08:00:04", "--", "X", "odd level", 3},
    };
    for (int r = 0; r < 4; ++r) {
        EXPECT_EQ(cell(model, r, 0), QString::fromUtf8(rows[r].time));
        EXPECT_EQ(cell(model, r, 1), QString::fromUtf8(rows[r].level));
        EXPECT_EQ(cell(model, r, 2), QString::fromUtf8(rows[r].source));
        EXPECT_EQ(cell(model, r, 3), QString::fromUtf8(rows[r].text));
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(model.index(r, c).data(Qt::UserRole).toInt(), rows[r].levelByte);
    }

    // Later messages go at the end; an empty ring adds nothing.
    ring.Push("09:00:00", "S", 0, "later");
    EXPECT_EQ(view.OnTimer(), 1);
    EXPECT_EQ(view.OnTimer(), 0);
    EXPECT_EQ(cell(model, 4, 3), "later");
}

TEST(InfoWnd, ViewDrainsOnItsOwnTimer) {
    CInfoMsgRing ring;
    CInfoWnd wnd(ring);
    wnd.show();
    // Messages from before the window existed: the latest 200 appear, oldest first, after the row that
    // counts the others.
    for (int i = 0; i < 250; ++i) ring.Push("00:00:00", "S", 0, std::to_string(i));
    ASSERT_TRUE(QTest::qWaitFor([&] { return wnd.view()->infoModel()->rowCount() == 201; }, 30'000));
    EXPECT_EQ(cell(*wnd.view()->infoModel(), 0, 2), "信息窗口");
    EXPECT_EQ(cell(*wnd.view()->infoModel(), 1, 3), "50");
    EXPECT_EQ(cell(*wnd.view()->infoModel(), 200, 3), "249");
}

// Messages the ring overwrote before a pass took them (before the window existed too) are counted in one
// warning row per pass, standing before the messages that outlived them; passes that lost nothing add none.
TEST(InfoWnd, CountsMessagesTheRingOverwrote) {
    struct Pass {
        int pushes;
        int lost;  // 0: no row
    } passes[] = {{250, 50}, {10, 0}, {200, 0}, {201, 1}, {0, 0}, {1000, 800}};
    CInfoMsgRing ring;
    int next = 0;
    auto push = [&](int count) {
        for (int i = 0; i < count; ++i, ++next)
            ring.Push("08:00:" + std::to_string(next), "S", 2, "m" + std::to_string(next));
    };
    push(passes[0].pushes);  // before the window exists
    CInfoView view(ring);
    CInfoModel& model = *view.infoModel();
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    for (const Pass& pass : passes) {
        if (&pass != &passes[0]) push(pass.pushes);
        const int before = model.rowCount();
        const int kept = std::min(pass.pushes, 200), added = kept + (pass.lost > 0 ? 1 : 0);
        ASSERT_EQ(view.OnTimer(), added) << pass.pushes;
        ASSERT_EQ(model.rowCount(), before + added);
        if (pass.lost > 0) {
            EXPECT_EQ(cell(model, before, 1), "warning");
            EXPECT_EQ(cell(model, before, 2), "信息窗口");
            EXPECT_EQ(cell(model, before, 3).toStdString(),
                      std::to_string(pass.lost) + " 条信息未及显示即被覆盖，待显示的信息最多保留 200 条。");
            EXPECT_EQ(cell(model, before, 0), cell(model, before + 1, 0));
        }
        if (kept > 0) {
            EXPECT_EQ(cell(model, before + added - kept, 3).toStdString(), "m" + std::to_string(next - kept));
        }
    }
}

// A message with detail rows shows them after it, each with its time, source and level; the rows export
// with the rest.
TEST(InfoWnd, DetailRowsFollowTheirMessage) {
    CInfoMsgRing ring;
    CInfoView view(ring);
    CInfoModel& model = *view.infoModel();
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    ring.Push("08:00:01", "NXP-VYK", 0, "before");
    ring.Push("08:00:02", "导入DBC文件", 1, "head", {"第[3]行：a", "第[9]行：b"});
    ring.Push("08:00:03", "NXP-VYK", 0, "after");
    EXPECT_EQ(view.OnTimer(), 5);
    EXPECT_EQ(model.ExportText(),
              "08:00:01\tnormalcy\tNXP-VYK\tbefore\r\n"
              "08:00:02\twarning\t导入DBC文件\thead\r\n"
              "08:00:02\twarning\t导入DBC文件\t第[3]行：a\r\n"
              "08:00:02\twarning\t导入DBC文件\t第[9]行：b\r\n"
              "08:00:03\tnormalcy\tNXP-VYK\tafter\r\n");
    EXPECT_EQ(model.index(3, 0).data(Qt::UserRole).toInt(), 1);
}

// A flood keeps the newest kMaxRows messages; one first row counts the older ones dropped, and Clear
// removes it with the rest.
TEST(InfoWnd, KeepsNewestRowsAndCountsDropped) {
    constexpr int kMax = static_cast<int>(CInfoModel::kMaxRows);
    CInfoModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    auto batch = [](int from, int count) {
        std::vector<tINFO_MSG> rows(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i)
            rows[static_cast<size_t>(i)] = {
                "S", "t" + std::to_string(from + i), 2, std::to_string(from + i), {}};
        return rows;
    };
    model.Append(batch(0, kMax));
    ASSERT_EQ(model.rowCount(), kMax);  // up to the bound nothing changes
    EXPECT_EQ(cell(model, 0, 3), "0");
    EXPECT_EQ(model.Dropped(), 0u);

    model.Append(batch(kMax, 5));
    ASSERT_EQ(model.rowCount(), kMax + 1);
    EXPECT_EQ(model.Dropped(), 5u);
    EXPECT_EQ(cell(model, 0, 0), "t4");
    EXPECT_EQ(cell(model, 0, 1), "warning");
    EXPECT_EQ(cell(model, 0, 2), "信息窗口");
    EXPECT_EQ(cell(model, 0, 3), "较早的 5 条信息已删除，信息窗口只保留最新的 100000 条。");
    EXPECT_EQ(cell(model, 1, 3), "5");
    EXPECT_EQ(cell(model, kMax, 3), std::to_string(kMax + 4).c_str());

    // A batch larger than the bound keeps only its own newest rows.
    model.Append(batch(2 * kMax, kMax + 3));
    ASSERT_EQ(model.rowCount(), kMax + 1);
    EXPECT_EQ(model.Dropped(), 5u + kMax + 3);
    EXPECT_EQ(cell(model, 1, 3), std::to_string(2 * kMax + 3).c_str());
    EXPECT_EQ(cell(model, kMax, 3), std::to_string(3 * kMax + 2).c_str());
    EXPECT_EQ(model.ExportText().substr(0, 10), "t200002\twa");

    model.Clear();
    EXPECT_EQ(model.rowCount(), 0);
    model.Append(batch(0, 2));
    EXPECT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.Dropped(), 0u);
}

TEST(InfoWnd, ClearRemovesRowsOnly) {
    CInfoMsgRing ring;
    CInfoWnd wnd(ring);
    QAbstractItemModelTester tester(wnd.view()->infoModel(),
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    fill(ring);
    wnd.view()->OnTimer();
    QAction* clear = wnd.toolBar()->findChild<QAction*>("actClear");
    ASSERT_NE(clear, nullptr);
    clear->trigger();
    EXPECT_EQ(wnd.view()->infoModel()->rowCount(), 0);
    ring.Push("10:00:00", "S", 0, "after");
    wnd.view()->OnTimer();
    ASSERT_EQ(wnd.view()->infoModel()->rowCount(), 1);
    EXPECT_EQ(cell(*wnd.view()->infoModel(), 0, 3), "after");
}

// Closing the MDI child hides it; it keeps its rows and shows them again when reopened.
TEST(InfoWnd, CloseOnlyHides) {
    CInfoMsgRing ring;
    QMdiArea area;
    area.resize(800, 600);
    area.show();
    CInfoWnd* wnd = CInfoWnd::CreateWnd(QRect(10, 10, 600, 300), &area, ring);
    QMdiSubWindow* sub = wnd->subWindow();
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(sub->geometry(), QRect(10, 10, 600, 300));
    fill(ring);
    wnd->view()->OnTimer();
    QSignalSpy hidden(wnd, &CInfoWnd::hiddenByClose);
    QPointer<QMdiSubWindow> alive(sub);
    sub->showMaximized();
    EXPECT_FALSE(sub->close());
    QCoreApplication::processEvents();
    ASSERT_FALSE(alive.isNull());
    EXPECT_FALSE(sub->isVisible());
    EXPECT_FALSE(sub->isMaximized());
    EXPECT_EQ(hidden.count(), 1);
    sub->show();
    area.setActiveSubWindow(sub);
    EXPECT_TRUE(wnd->isVisible());
    EXPECT_EQ(wnd->view()->infoModel()->rowCount(), 3);
    EXPECT_EQ(area.subWindowList().size(), 1);
}

class InfoExport : public ::testing::Test {
protected:
    void SetUp() override {
        fill(ring);
        view.OnTimer();
    }
    CInfoMsgRing ring;
    CInfoView view{ring};
    vex::FakePrompt prompt;
    vex::ScopedPrompt use{prompt};
    vextest::TempDir dir;
};

// Three rows give three GBK lines, each with three tabs and CR LF, columns in display order, no header.
TEST_F(InfoExport, WritesTabSeparatedGbk) {
    const auto path = dir / "info.txt";
    prompt.paths.push_back(QString::fromStdString(path.string()));
    view.ExportToFile();
    EXPECT_TRUE(prompt.messages.empty()) << prompt.lastText().toStdString();
    ASSERT_EQ(prompt.requests.size(), 1u);
    EXPECT_EQ(prompt.requests[0].kind, vex::FakePrompt::Chooser::SaveFile);
    const std::string expected =
        "08:00:01\tnormalcy\tNXP-VYK\t设备打开成功\r\n"
        "08:00:02\twarning\t导入DBC文件\twarn\r\n"
        "08:00:03\terror\tCF51-VYK\tCAN1 bus off\r\n";
    const std::string bytes = vextest::readFile(path);
    EXPECT_EQ(bytes, vex::Utf8ToGbk(expected));
    size_t lines = 0;
    for (size_t at = 0; at < bytes.size(); ++lines) {
        const size_t end = bytes.find("\r\n", at);
        ASSERT_NE(end, std::string::npos);
        EXPECT_EQ(
            std::count(bytes.begin() + static_cast<long>(at), bytes.begin() + static_cast<long>(end), '\t'),
            3);
        at = end + 2;
    }
    EXPECT_EQ(lines, 3u);
    EXPECT_NE(bytes.find("\xC9\xE8\xB1\xB8"), std::string::npos);  // "设备" in GBK
}

TEST_F(InfoExport, EmptyListCancelAndEmptyName) {
    CInfoMsgRing emptyRing;
    CInfoView empty(emptyRing);
    empty.ExportToFile();
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0].text, "信息内容为空。");
    EXPECT_TRUE(prompt.requests.empty());

    prompt.clear();
    view.ExportToFile();  // chooser cancelled
    EXPECT_TRUE(prompt.messages.empty());
    EXPECT_EQ(prompt.requests.size(), 1u);

    prompt.clear();
    prompt.paths.push_back(QString::fromStdString(dir.path().string()) + "/");
    view.ExportToFile();
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0].text, "导出文件名称为空。");
    EXPECT_EQ(prompt.messages[0].caption, "导出信息");
    EXPECT_EQ(prompt.messages[0].icon, vex::MsgIcon::Warning);
}

// A name typed without extension gets ".txt"; an existing file under that name is replaced only when the
// user agrees.
TEST_F(InfoExport, DefaultExtension) {
    const QString base = QString::fromStdString((dir / "log").string());
    prompt.paths.push_back(base);
    view.ExportToFile();
    EXPECT_TRUE(prompt.messages.empty());
    EXPECT_FALSE(std::filesystem::exists(dir / "log"));
    ASSERT_TRUE(std::filesystem::exists(dir / "log.txt"));

    vextest::writeFile(dir / "log.txt", "mine");
    prompt.paths.push_back(base);
    prompt.answers.push_back(vex::MsgResult::No);
    view.ExportToFile();
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0].buttons, vex::MsgButtons::YesNo);
    EXPECT_EQ(vextest::readFile(dir / "log.txt"), "mine");

    prompt.paths.push_back(base);
    prompt.answers.push_back(vex::MsgResult::Yes);
    view.ExportToFile();
    EXPECT_EQ(vextest::readFile(dir / "log.txt").substr(0, 8), "08:00:01");
}

// A file that cannot be written is reported, not passed over in silence.
TEST_F(InfoExport, WriteFailureIsReported) {
    vextest::writeFile(dir / "plain", "x");
    prompt.paths.push_back(QString::fromStdString((dir / "plain" / "info.txt").string()));
    view.ExportToFile();
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0].caption, "导出信息");
    EXPECT_TRUE(prompt.messages[0].text.contains("info.txt"));
    EXPECT_EQ(vextest::readFile(dir / "plain"), "x");
}

}  // namespace
