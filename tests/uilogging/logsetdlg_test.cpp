// "记录设置": the prefix check, read-only while online or replaying, and what OK stores.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

#include "tests/common/fakeprompt.h"
#include "ui/logging/canmsgdatalogsetdlg.h"

namespace {

TEST(LogSetCheck, Prefix) {
    struct Case {
        std::string prefix;
        const char* message;  // null: accepted
    } cases[] = {{"LogData", nullptr},
                 {"日志-1 ", nullptr},
                 {"", "记录文件名起始标识不能为空。"},
                 {"../x", "记录文件名起始标识不能包含“/”、“\\”或控制字符。"},
                 {"a\\b", "记录文件名起始标识不能包含“/”、“\\”或控制字符。"},
                 {"a\tb", "记录文件名起始标识不能包含“/”、“\\”或控制字符。"}};
    for (const Case& c : cases) {
        const auto message = validateLogSet(c.prefix);
        EXPECT_EQ(message.value_or("<none>"), c.message ? c.message : "<none>") << c.prefix;
    }
}

class LogSetDlgTest : public ::testing::Test {
protected:
    LogSetDlgTest() {
        settings.AutoLogFlag = 0;
        settings.LogFileNameId = "LogData";
        settings.Filter.MsgMap[0x10] = {"ten", 0x10};
    }
    // A filter editor that records how it was asked and answers `confirm` after adding an identifier.
    CCanMsgDataLogSetDlg::FilterEditor Editor(bool confirm) {
        return [this, confirm](CCanMsgFilter& f, bool readOnly, QWidget*) {
            askedReadOnly.push_back(readOnly);
            f.MsgMap[0x20] = {"twenty", 0x20};
            f.Enable = 1;
            return confirm;
        };
    }
    template <class W>
    W* Find(QWidget& dlg, const char* name) {
        return dlg.findChild<W*>(QString::fromLatin1(name));
    }

    vex::FakePrompt prompt;
    vex::ScopedPrompt usePrompt{prompt};
    tCFG_SET_LOG settings;
    std::vector<bool> askedReadOnly;
};

// Online or replaying: everything is shown, nothing can be changed or confirmed.
TEST_F(LogSetDlgTest, ReadOnly) {
    CCanMsgDataLogSetDlg dlg(settings, true);
    dlg.SetFilterEditor(Editor(true));
    EXPECT_EQ(Find<QLineEdit>(dlg, "editPrefix")->text(), "LogData");
    EXPECT_TRUE(Find<QLineEdit>(dlg, "editPrefix")->isReadOnly());
    EXPECT_FALSE(Find<QCheckBox>(dlg, "chkAutoLog")->isEnabled());
    EXPECT_FALSE(Find<QPushButton>(dlg, "btnOk")->isEnabled());
    Find<QPushButton>(dlg, "btnFilter")->click();
    EXPECT_EQ(askedReadOnly, std::vector<bool>{true});
    EXPECT_EQ(dlg.filter().MsgMap.size(), 1u);
    dlg.show();
    dlg.accept();
    EXPECT_TRUE(dlg.isVisible());
}

// OK refuses an empty prefix with the message and stays; the filter takes an edit only when confirmed;
// the values then go into the settings, the filter replacing the old one.
TEST_F(LogSetDlgTest, OkStores) {
    CCanMsgDataLogSetDlg dlg(settings, false);
    dlg.show();
    dlg.SetFilterEditor(Editor(false));
    Find<QPushButton>(dlg, "btnFilter")->click();
    EXPECT_EQ(dlg.filter().MsgMap.size(), 1u);
    dlg.SetFilterEditor(Editor(true));
    Find<QPushButton>(dlg, "btnFilter")->click();
    EXPECT_EQ(askedReadOnly, (std::vector<bool>{false, false}));

    Find<QLineEdit>(dlg, "editPrefix")->clear();
    Find<QPushButton>(dlg, "btnOk")->click();
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(prompt.lastText(), "记录文件名起始标识不能为空。");
    Find<QLineEdit>(dlg, "editPrefix")->setText("BUS");
    Find<QCheckBox>(dlg, "chkAutoLog")->setChecked(true);
    Find<QPushButton>(dlg, "btnOk")->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    dlg.Store(settings);
    EXPECT_EQ(settings.LogFileNameId, "BUS");
    EXPECT_EQ(settings.AutoLogFlag, 1);
    EXPECT_EQ(settings.Filter.Enable, 1);
    EXPECT_EQ(settings.Filter.MsgMap.size(), 2u);
}

}  // namespace
