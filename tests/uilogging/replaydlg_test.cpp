// "回放": the field check, reopening the remembered file, choosing a file, paging and stepping through
// pages into the data hub.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <filesystem>

#include "app/canmsgdatahub.h"
#include "config/appcfg.h"
#include "logging/canreplay.h"
#include "platform/qt/settingsstore.h"
#include "tests/app/hubtest.h"
#include "tests/common/fakeprompt.h"
#include "tests/logging/logtest.h"
#include "ui/logging/canreplaycontroldlg.h"
#include "ui/logging/replayfields.h"

namespace {

TEST(ReplayFields, FirstFailingField) {
    const ReplayFieldTexts good{"0", " 1000.5 ", "0", "2000", "-1"};
    struct Case {
        int field;  // which field gets the text
        const char* text;
        const char* message;  // null: accepted
    } cases[] = {{0, "-12.5", nullptr},
                 {1, "1e3", nullptr},
                 {3, "+7", nullptr},
                 {0, "abc", "分页起始时间[ms]：请输入一个数字。"},
                 {1, "nan", "单页时间段[ms]：请输入一个数字。"},
                 {1, "1.5x", "单页时间段[ms]：请输入一个数字。"},
                 {2, "-1", "分页起始位置：请输入一个正整数。"},
                 {3, "4294967296", "单页报文数量：请输入一个正整数。"},
                 {4, "", "当前页：请输入一个整数。"},
                 {4, "+-1", "当前页：请输入一个整数。"}};
    for (const Case& c : cases) {
        ReplayFieldTexts t = good;
        std::string* fields[] = {&t.startTime, &t.pageSpan, &t.startIndex, &t.perPage, &t.currentPage};
        *fields[c.field] = c.text;
        ReplayFieldValues v;
        EXPECT_EQ(validateReplayFields(t, v).value_or("<none>"), c.message ? c.message : "<none>") << c.text;
    }
    ReplayFieldValues v;
    ASSERT_FALSE(validateReplayFields(good, v));
    EXPECT_EQ(v.pageSpan, 1000.5);
    EXPECT_EQ(v.perPage, 2000u);
    EXPECT_EQ(v.currentPage, -1);
}

class ReplayDlgTest : public ::testing::Test {
protected:
    ReplayDlgTest() {
        hub.SetLogSink(&sink);
        sink.open = true;
        replay.SetHub(&hub);
        settings.PageMsgCount = 4;
        settings.PageTimeLength = 1000.0;
    }
    std::string Make(const std::string& name, uint32_t frames, double step) {
        std::vector<double> times;
        for (uint32_t i = 0; i < frames; ++i) times.push_back(500.0 + i * step);
        const std::string path = (dir / name).string();
        vextest::writeFile(path, logtest::CrmBytes(logtest::FramesAt(times)));
        return path;
    }
    std::unique_ptr<CCanReplayControlDlg> Open() {
        auto dlg = std::make_unique<CCanReplayControlDlg>(replay, settings);
        dlg->SetPageHook([this] { ++pagesStarted; });
        return dlg;
    }
    // The seconds of the frames pushed since the last call, as the main frame's tick drains them.
    std::vector<double> Pushed() {
        do hub.ProcessRxQueue();
        while (replay.PushPending() || hub.Queue().Count() > 0);
        std::vector<double> t;
        for (const tCAN_RAW_MSG& f : sink.frames) t.push_back(f.TimeMs);
        sink.frames.clear();
        return t;
    }
    std::string Remembered() {
        const auto v = store.read("sLastReplayLogFilePathName");
        return v ? v->text : "<absent>";
    }
    QString Text(CCanReplayControlDlg& dlg, const char* name) {
        return dlg.findChild<QLineEdit*>(QString::fromLatin1(name))->text();
    }
    void Click(CCanReplayControlDlg& dlg, const char* name) {
        dlg.findChild<QPushButton*>(QString::fromLatin1(name))->click();
    }

    vextest::TempDir dir;
    vex::MemorySettingsStore store;
    vex::ScopedSettingsStore useStore{store};
    vex::FakePrompt prompt;
    vex::ScopedPrompt usePrompt{prompt};
    CAppCfg cfg;
    CInfoMsgRing info;
    CCanMsgDataHub hub{cfg, info};
    hubtest::RecordingSink sink;
    CCanReplay replay;
    tCFG_SET_REPLAY settings;
    int pagesStarted = 0;
};

// Opening reopens the remembered file, or forgets it when it is gone; choosing opens a ".crm" file and
// remembers it, shows 0 frames for a file that does not open, and warns about a name without a file.
TEST_F(ReplayDlgTest, OpeningAndChoosing) {
    const std::string crm = Make("a.crm", 10, 250.0);
    store.writeString("sLastReplayLogFilePathName", crm);
    auto dlg = Open();
    EXPECT_EQ(dlg->recordCount(), 10u);
    EXPECT_EQ(Text(*dlg, "editDuration"), "2250");
    EXPECT_EQ(Text(*dlg, "editPath").toStdString(), crm);
    EXPECT_TRUE(dlg->findChild<QRadioButton*>("radioByCount")->isChecked());
    EXPECT_EQ(Text(*dlg, "editPerPage"), "4");

    // A computed duration shows at most three decimals, without the residue of the subtraction.
    const std::string odd = (dir / "odd.crm").string();
    vextest::writeFile(odd, logtest::CrmBytes(logtest::FramesAt({0.1, 20450.608000000147})));
    store.writeString("sLastReplayLogFilePathName", odd);
    EXPECT_EQ(Text(*Open(), "editDuration"), "20450.508");
    store.writeString("sLastReplayLogFilePathName", crm);

    std::filesystem::remove(crm);
    dlg = Open();
    EXPECT_EQ(dlg->path(), "");
    EXPECT_EQ(dlg->recordCount(), 0u);
    EXPECT_EQ(Remembered(), "");

    const std::string other = Make("b.CRM", 3, 1.0);
    const std::string mdf = (dir / "x.log").string();
    vextest::writeFile(mdf, "MDF");
    // A file that does not open, or holds no frame, says so (the fields alone would only show zeros).
    const std::string empty = (dir / "empty.crm").string(), text = (dir / "text.crm").string();
    vextest::writeFile(empty, "");
    vextest::writeFile(text, "VERSION \"\"\r\n\r\nNS_ :\r\n\tCM_\r\n");
    const std::string missing = (dir / "gone.crm").string();
    struct Case {
        QString answer;
        uint32_t count;
        std::string remembered;
        std::string message;
    } cases[] = {{QString::fromStdString(other), 3, other, ""},
                 {QString::fromStdString(mdf), 0, other,
                  "记录文件没有打开：文件 " + mdf + " 不是crm格式的记录文件，只能回放crm格式的记录文件。"},
                 {QString::fromStdString(text), 0, other,
                  "记录文件没有打开：文件 " + text + " 不是CAN报文记录文件：第1条记录不是CAN报文。"},
                 {QString::fromStdString(missing), 0, other,
                  "记录文件没有打开：无法打开文件 " + missing + "：No such file or directory"},
                 {QString::fromStdString(empty), 0, empty, "记录文件 " + empty + " 中没有报文。"},
                 {QString::fromStdString(dir.path().string() + "/"), 0, empty, "记录文件名称为空。"},
                 {"", 0, empty, ""}};
    for (const Case& c : cases) {
        prompt.clear();
        prompt.paths.push_back(c.answer);
        Click(*dlg, "btnChoose");
        EXPECT_EQ(dlg->recordCount(), c.count) << c.answer.toStdString();
        EXPECT_EQ(Remembered(), c.remembered);
        EXPECT_EQ(prompt.lastText().toStdString(), c.message);
    }
    EXPECT_EQ(replay.Reader(), nullptr);
    EXPECT_EQ(prompt.requests.at(0).filter, "crm files(*.crm);;所有文件(*)");
}

// Paging by count and stepping: every step shows its page once; a page shown again is not pushed again
// and does not restart the trace and graph; paging anew shows the new first page; the settings keep the
// paging.
TEST_F(ReplayDlgTest, PagingAndStepping) {
    store.writeString("sLastReplayLogFilePathName", Make("a.crm", 10, 1.0));
    auto dlg = Open();
    Click(*dlg, "btnPaging");
    EXPECT_EQ(dlg->pageCount(), 3u);
    EXPECT_EQ(Pushed(), (std::vector<double>{500, 501, 502, 503, 504}));
    struct Step {
        const char* button;
        int32_t page;
        std::vector<double> pushed;
    } steps[] = {{"btnNext", 1, {504, 505, 506, 507, 508}},
                 {"btnNext", 2, {508, 509}},
                 {"btnNext", 2, {}},
                 {"btnShowPage", 2, {}},
                 {"btnPrevious", 1, {504, 505, 506, 507, 508}},
                 {"btnFirst", 0, {500, 501, 502, 503, 504}},
                 {"btnPrevious", 0, {}},
                 {"btnLast", 2, {508, 509}}};
    int started = pagesStarted;
    for (const Step& s : steps) {
        Click(*dlg, s.button);
        EXPECT_EQ(dlg->currentPage(), s.page) << s.button;
        EXPECT_EQ(Pushed(), s.pushed) << s.button << " " << s.page;
        EXPECT_EQ(pagesStarted - started, s.pushed.empty() ? 0 : 1) << s.button;
        started = pagesStarted;
    }
    dlg->findChild<QLineEdit*>("editCurrentPage")->setText("1");
    Click(*dlg, "btnShowPage");
    EXPECT_EQ(Pushed().size(), 5u);

    dlg->findChild<QRadioButton*>("radioByTime")->setChecked(true);
    dlg->findChild<QLineEdit*>("editPageSpan")->setText("2.5");
    dlg->findChild<QLineEdit*>("editStartTime")->setText("1");
    Click(*dlg, "btnPaging");
    EXPECT_EQ(dlg->pageCount(), 4u);
    EXPECT_EQ(Pushed(), (std::vector<double>{501, 502, 503, 504}));
    EXPECT_EQ(settings.PageByTimeLengthFlag, 1);
    EXPECT_EQ(settings.PageTimeOffset, 1.0);
    EXPECT_EQ(settings.PageTimeLength, 2.5);
    EXPECT_EQ(settings.PageMsgCount, 4u);

    dlg->findChild<QLineEdit*>("editPageSpan")->setText("x");
    Click(*dlg, "btnPaging");
    EXPECT_EQ(prompt.lastText(), "单页时间段[ms]：请输入一个数字。");
    EXPECT_TRUE(Pushed().empty());
}

}  // namespace
