#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <functional>
#include <optional>

#include "config/filter/canmsgfiltercheck.h"
#include "tests/common/fakeprompt.h"
#include "ui/app/canmsgfiltersetdlg.h"
#include "ui/app/canmsgfiltersetmsgdlg.h"

namespace {

template <class T>
T* child(QWidget& w, const char* name) {
    T* c = w.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
}

bool enabled(QWidget& w, const char* name) {
    return child<QWidget>(w, name)->isEnabled();
}

// Runs `act` on the one-identifier dialog once the settings dialog has opened it modally.
void whenMsgDlgOpens(QWidget& parent, std::function<void(CCanMsgFilterSetMsgDlg&)> act) {
    auto* timer = new QTimer(&parent);
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, &parent, act] {
        auto* dlg = parent.findChild<CCanMsgFilterSetMsgDlg*>();
        if (!dlg || !dlg->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        act(*dlg);
    });
    timer->start();
}

void fillAndOk(CCanMsgFilterSetMsgDlg& dlg, const QString& id, const QString& descr) {
    child<QLineEdit>(dlg, "editId")->setText(id);
    child<QLineEdit>(dlg, "editDescr")->setText(descr);
    QTest::mouseClick(child<QPushButton>(dlg, "btnOk"), Qt::LeftButton);
}

CCanMsgFilter sample() {
    CCanMsgFilter f;
    f.Enable = 1;
    f.Block = 1;
    f.Chan = 1;
    f.MsgFrmType = 0;
    f.MsgIDType = 1;
    f.MsgIdValType = 1;
    f.FltMsgIdMin = 0x100;
    f.FltMsgIdMax = 0x1FF;
    f.MsgMap[0x18FEF100] = {"车速", 0x18FEF100};
    f.MsgMap[0x123] = {"发动机", 0x123};
    return f;
}

class FilterDlg : public ::testing::Test {
protected:
    vex::FakePrompt prompt;
    vex::ScopedPrompt usePrompt{prompt};
};

const QString kEmpty = "ID值不能为空", kNotHex = "报文ID值必须为十六进制数。",
              kBeyondStd = "此ID值超出标准ID最大值。", kBeyondExt = "此ID值超出扩展ID最大值。";

}  // namespace

TEST(FilterDlgCheck, OneIdentifierInOrder) {
    const std::vector<uint32_t> existing{0x100, 0x123, 0x1FFFFFFF};
    const QString dup = "过滤列表中已经包含此ID值。", kind = "未知的编辑类型。";
    struct {
        uint8_t kind;
        const char* text;
        bool stdOnly;
        int32_t start;
        QString want;
        uint32_t id;
    } cases[] = {
        {kFilterMsgAdd, "", false, 0, kEmpty, 0},
        {7, " ", false, 0, kEmpty, 0},  // empty or blank before the edit kind
        {kFilterMsgAdd, "7ffzz", false, 0, kNotHex, 0},
        {kFilterMsgAdd, "0x123", false, 0, kNotHex, 0},
        {kFilterMsgAdd, "123456789", false, 0, kNotHex, 0},  // nine digits
        {kFilterMsgAdd, "-1", false, 0, kNotHex, 0},
        {7, "zz", false, 0, kNotHex, 0},  // the text before the edit kind
        {kFilterMsgAdd, "800", true, 0, kBeyondStd, 0},
        {kFilterMsgAdd, "7ff", true, 0, "", 0x7FF},
        {kFilterMsgAdd, "20000000", false, 0, kBeyondExt, 0},
        {kFilterMsgAdd, "18FEF100", false, 0, "", 0x18FEF100},
        {kFilterMsgAdd, " 1fffffff ", false, 0, dup, 0},
        {kFilterMsgAdd, "0123", false, 0, dup, 0},
        {kFilterMsgEdit, "00000123", false, 0x123, "", 0x123},  // unchanged although listed
        {kFilterMsgEdit, "100", false, 0x123, dup, 0},
        {kFilterMsgEdit, "124", false, 0x123, "", 0x124},
        {2, "124", false, 0, kind, 0},
    };
    for (const auto& c : cases) {
        uint32_t id = 0;
        EXPECT_EQ(validateFilterMsgDlg(c.kind, c.text, c.stdOnly, c.start, existing, id), c.want)
            << int(c.kind) << " '" << c.text << "'";
        EXPECT_EQ(id, c.id) << c.text;
    }
}

// Only what the filter uses is checked: range texts must be hexadecimal numbers, of any value, and
// listed identifiers must fit the type; a range text no mode uses is read by its leading digits.
TEST(FilterDlgCheck, SettingsInOrder) {
    auto input = [](void (*change)(FilterSetDlgInput&)) {
        FilterSetDlgInput in{true, true, 0, "100", "7FF", {0x123, 0x18FEF100}};
        change(in);
        return in;
    };
    using F = FilterSetRefusal::Field;
    struct {
        const char* name;
        FilterSetDlgInput in;
        std::optional<FilterSetRefusal> want;
        uint32_t min = 0, max = 0;
    } cases[] = {
        {"standard range", input([](auto&) {}), std::nullopt, 0x100, 0x7FF},
        {"standard range to the last", input([](auto& in) { in.minText = "0", in.maxText = "1FFFFFFF"; }),
         std::nullopt, 0, 0x1FFFFFFF},
        {"standard end beyond 29 bits", input([](auto& in) { in.maxText = "FFFFFFFF"; }), std::nullopt, 0x100,
         0xFFFFFFFF},
        {"standard start beyond 11 bits", input([](auto& in) { in.minText = "800"; }), std::nullopt, 0x800,
         0x7FF},
        {"extended end beyond 29 bits", input([](auto& in) { in.stdOnly = false, in.maxText = "20000000"; }),
         std::nullopt, 0x100, 0x20000000},
        {"start not hex", input([](auto& in) { in.minText = " 7ffzz"; }),
         FilterSetRefusal{F::Min, -1, kNotHex}},
        {"start empty", input([](auto& in) { in.minText = ""; }),
         FilterSetRefusal{F::Min, -1, "报文ID值不能为空。"}},
        {"start before end", input([](auto& in) { in.minText = in.maxText = "zz"; }),
         FilterSetRefusal{F::Min, -1, kNotHex}},
        {"end with a prefix", input([](auto& in) { in.maxText = "0x7FF"; }),
         FilterSetRefusal{F::Max, -1, kNotHex}},
        {"end beyond 32 bits", input([](auto& in) { in.maxText = "123456789"; }),
         FilterSetRefusal{F::Max, -1, kNotHex}},
        {"list mode, empty range",
         input([](auto& in) { in.idValType = 1, in.stdOnly = false, in.minText = ""; }), std::nullopt, 0,
         0x7FF},
        {"list mode, range by leading digits", input([](auto& in) {
             in.idValType = 1, in.stdOnly = false, in.minText = " 7ffzz", in.maxText = "123456789";
         }),
         std::nullopt, 0x7FF, 0xFFFFFFFF},
        {"list beyond 11 bits", input([](auto& in) { in.idValType = 1; }),
         FilterSetRefusal{F::Row, 1, kBeyondStd}},
        {"list beyond 29 bits", input([](auto& in) {
             in.idValType = 1, in.stdOnly = false, in.listed = {0x123, 0xFFFFFFFF};
         }),
         FilterSetRefusal{F::Row, 1, kBeyondExt}},
        {"any identifier, garbage range",
         input([](auto& in) { in.idValType = 2, in.minText = "zz", in.maxText = ""; }), std::nullopt, 0, 0},
        {"filter off, garbage range", input([](auto& in) { in.enable = false, in.maxText = "zz"; }),
         std::nullopt, 0x100, 0},
        {"filter off, list beyond the type", input([](auto& in) { in.enable = false, in.idValType = 1; }),
         std::nullopt, 0x100, 0x7FF},
    };
    for (const auto& c : cases) {
        uint32_t min = 0, max = 0;
        const std::optional<FilterSetRefusal> got = validateFilterSetDlg(c.in, min, max);
        ASSERT_EQ(got.has_value(), c.want.has_value()) << c.name;
        if (got) {
            EXPECT_EQ(got->field, c.want->field) << c.name;
            EXPECT_EQ(got->row, c.want->row) << c.name;
            EXPECT_EQ(got->message, c.want->message) << c.name;
        }
        EXPECT_EQ(min, c.min) << c.name;
        EXPECT_EQ(max, c.max) << c.name;
    }
}

TEST_F(FilterDlg, ShowsTheWorkingCopy) {
    CCanMsgFilterSetDlg dlg(sample());
    EXPECT_TRUE(child<QCheckBox>(dlg, "chkEnable")->isChecked());
    for (const char* on : {"radBlock", "radChan1", "radData", "radExt", "radList"})
        EXPECT_TRUE(child<QRadioButton>(dlg, on)->isChecked()) << on;
    for (const char* off :
         {"radPass", "radChan0", "radChanAny", "radRemote", "radStd", "radRange", "radIdAny"})
        EXPECT_FALSE(child<QRadioButton>(dlg, off)->isChecked()) << off;
    EXPECT_EQ(child<QLineEdit>(dlg, "editMin")->text(), QString("00000100"));
    EXPECT_EQ(child<QLineEdit>(dlg, "editMax")->text(), QString("000001FF"));
    auto* list = child<QTableWidget>(dlg, "list");
    ASSERT_EQ(list->rowCount(), 2);
    EXPECT_EQ(list->item(0, 0)->text(), QString("00000123"));  // ascending identifier order
    EXPECT_EQ(list->item(0, 1)->text(), QString("发动机"));
    EXPECT_EQ(list->item(1, 0)->text(), QString("18FEF100"));
    EXPECT_EQ(dlg.selectedRow(), -1);
}

TEST_F(FilterDlg, OtherStoredValuesShowTheLastRadio) {
    CCanMsgFilter f;
    f.Block = 5, f.Chan = 7, f.MsgFrmType = 9, f.MsgIDType = 9, f.MsgIdValType = 9;
    CCanMsgFilterSetDlg dlg(f);
    for (const char* on : {"radBlock", "radChanAny", "radFrmAny", "radIdTypeAny", "radIdAny"})
        EXPECT_TRUE(child<QRadioButton>(dlg, on)->isChecked()) << on;
}

TEST_F(FilterDlg, EnableRule) {
    CCanMsgFilter f;  // Enable 0, "忽略ID值"
    CCanMsgFilterSetDlg dlg(f);
    const char* radios[] = {"radBlock",     "radPass",   "radChan0",  "radChan1", "radChanAny",
                            "radData",      "radRemote", "radFrmAny", "radExt",   "radStd",
                            "radIdTypeAny", "radRange",  "radList"};
    const char* rangeEdits[] = {"editMin", "editMax"};
    const char* listButtons[] = {"btnAdd", "btnEdit", "btnRemove"};
    for (const char* n : radios) EXPECT_FALSE(enabled(dlg, n)) << n;
    for (const char* n : rangeEdits) EXPECT_FALSE(enabled(dlg, n)) << n;
    for (const char* n : listButtons) EXPECT_FALSE(enabled(dlg, n)) << n;
    EXPECT_TRUE(enabled(dlg, "radIdAny"));
    EXPECT_TRUE(enabled(dlg, "list"));
    EXPECT_TRUE(enabled(dlg, "btnOk"));

    // Checked with "忽略ID值": the rule treats it like the list.
    QTest::mouseClick(child<QCheckBox>(dlg, "chkEnable"), Qt::LeftButton);
    for (const char* n : radios) EXPECT_TRUE(enabled(dlg, n)) << n;
    for (const char* n : rangeEdits) EXPECT_FALSE(enabled(dlg, n)) << n;
    for (const char* n : listButtons) EXPECT_TRUE(enabled(dlg, n)) << n;

    QTest::mouseClick(child<QRadioButton>(dlg, "radRange"), Qt::LeftButton);
    EXPECT_FALSE(child<QRadioButton>(dlg, "radIdAny")->isChecked());
    for (const char* n : rangeEdits) EXPECT_TRUE(enabled(dlg, n)) << n;
    for (const char* n : listButtons) EXPECT_FALSE(enabled(dlg, n)) << n;

    QTest::mouseClick(child<QRadioButton>(dlg, "radList"), Qt::LeftButton);
    EXPECT_FALSE(child<QRadioButton>(dlg, "radRange")->isChecked());
    for (const char* n : rangeEdits) EXPECT_FALSE(enabled(dlg, n)) << n;
    for (const char* n : listButtons) EXPECT_TRUE(enabled(dlg, n)) << n;

    QTest::mouseClick(child<QRadioButton>(dlg, "radIdAny"), Qt::LeftButton);
    for (const char* n : rangeEdits) EXPECT_FALSE(enabled(dlg, n)) << n;
    for (const char* n : listButtons) EXPECT_FALSE(enabled(dlg, n)) << n;

    // Range checked, then Enable off and on again.
    QTest::mouseClick(child<QRadioButton>(dlg, "radRange"), Qt::LeftButton);
    QTest::mouseClick(child<QCheckBox>(dlg, "chkEnable"), Qt::LeftButton);
    for (const char* n : rangeEdits) EXPECT_FALSE(enabled(dlg, n)) << n;
    QTest::mouseClick(child<QCheckBox>(dlg, "chkEnable"), Qt::LeftButton);
    for (const char* n : rangeEdits) EXPECT_TRUE(enabled(dlg, n)) << n;
    for (const char* n : listButtons) EXPECT_FALSE(enabled(dlg, n)) << n;
}

TEST_F(FilterDlg, ReadOnlyCanOnlyBeCancelled) {
    CCanMsgFilterSetDlg dlg(sample(), true);
    for (const char* n :
         {"chkEnable", "btnOk",     "radBlock",  "radPass", "radChan0", "radChan1",     "radChanAny",
          "radData",   "radRemote", "radFrmAny", "radExt",  "radStd",   "radIdTypeAny", "radRange",
          "radList",   "radIdAny",  "editMin",   "editMax", "btnAdd",   "btnEdit",      "btnRemove"})
        EXPECT_FALSE(enabled(dlg, n)) << n;
    EXPECT_TRUE(enabled(dlg, "btnCancel"));
    dlg.show();
    QTest::keyClick(&dlg, Qt::Key_Return);
    dlg.accept();
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    QTest::mouseClick(child<QPushButton>(dlg, "btnCancel"), Qt::LeftButton);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
}

TEST_F(FilterDlg, EditAndRemoveNeedASelection) {
    CCanMsgFilterSetDlg dlg(sample());
    dlg.show();
    QTest::mouseClick(child<QPushButton>(dlg, "btnEdit"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>(dlg, "btnRemove"), Qt::LeftButton);
    ASSERT_EQ(prompt.messages.size(), 2u);
    for (const auto& m : prompt.messages) EXPECT_EQ(m.text, QString("请选择其中一项进行操作。"));
    EXPECT_EQ(child<QTableWidget>(dlg, "list")->rowCount(), 2);
}

TEST_F(FilterDlg, ClickSelectsTheRowAndOffTheRowsNothing) {
    CCanMsgFilterSetDlg dlg(sample());
    dlg.resize(700, 500);
    dlg.show();
    auto* list = child<QTableWidget>(dlg, "list");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1, 1)).center());
    EXPECT_EQ(dlg.selectedRow(), 1);
    const QPoint below(10, list->visualItemRect(list->item(1, 0)).bottom() + 20);
    ASSERT_LT(below.y(), list->viewport()->height());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, below);
    EXPECT_EQ(dlg.selectedRow(), -1);
}

TEST_F(FilterDlg, AddEditRemoveAndOkWriteTheWorkingCopy) {
    CCanMsgFilterSetDlg dlg(sample());
    dlg.show();
    auto* list = child<QTableWidget>(dlg, "list");

    // Add: a listed identifier is refused and the one-identifier dialog stays open; a new one is appended.
    whenMsgDlgOpens(dlg, [this](CCanMsgFilterSetMsgDlg& m) {
        fillAndOk(m, "123", "x");
        EXPECT_EQ(prompt.lastText(), QString("过滤列表中已经包含此ID值。"));
        EXPECT_TRUE(m.isVisible());
        fillAndOk(m, "", "x");
        EXPECT_EQ(prompt.lastText(), QString("ID值不能为空"));
        fillAndOk(m, "7ffzz", "x");
        EXPECT_EQ(prompt.lastText(), kNotHex);
        EXPECT_TRUE(m.isVisible());
        fillAndOk(m, "7ff", "灯光");
        EXPECT_FALSE(m.isVisible());
    });
    QTest::mouseClick(child<QPushButton>(dlg, "btnAdd"), Qt::LeftButton);
    ASSERT_EQ(list->rowCount(), 3);
    EXPECT_EQ(list->item(2, 0)->text(), QString("000007FF"));
    EXPECT_EQ(list->item(2, 1)->text(), QString("灯光"));

    // Edit row 0 (0x123): opened with its texts; keeping the identifier is accepted.
    list->selectRow(0);
    whenMsgDlgOpens(dlg, [](CCanMsgFilterSetMsgDlg& m) {
        EXPECT_EQ(m.idText(), QString("00000123"));
        EXPECT_EQ(m.descr(), QString("发动机"));
        fillAndOk(m, "00000123", "发动机转速");
    });
    QTest::mouseClick(child<QPushButton>(dlg, "btnEdit"), Qt::LeftButton);
    EXPECT_EQ(list->item(0, 1)->text(), QString("发动机转速"));

    // Edit row 0 to a new identifier; cancelling an edit changes nothing.
    whenMsgDlgOpens(dlg, [](CCanMsgFilterSetMsgDlg& m) { fillAndOk(m, "124", "新"); });
    QTest::mouseClick(child<QPushButton>(dlg, "btnEdit"), Qt::LeftButton);
    EXPECT_EQ(list->item(0, 0)->text(), QString("00000124"));
    whenMsgDlgOpens(dlg, [](CCanMsgFilterSetMsgDlg& m) {
        child<QLineEdit>(m, "editId")->setText("555");
        QTest::mouseClick(child<QPushButton>(m, "btnCancel"), Qt::LeftButton);
    });
    QTest::mouseClick(child<QPushButton>(dlg, "btnEdit"), Qt::LeftButton);
    EXPECT_EQ(list->item(0, 0)->text(), QString("00000124"));

    // Remove the 0x18FEF100 row; the selection is gone afterwards.
    list->selectRow(1);
    QTest::mouseClick(child<QPushButton>(dlg, "btnRemove"), Qt::LeftButton);
    EXPECT_EQ(list->rowCount(), 2);
    EXPECT_EQ(dlg.selectedRow(), -1);

    // Change the other settings and take them with OK.
    QTest::mouseClick(child<QRadioButton>(dlg, "radPass"), Qt::LeftButton);
    QTest::mouseClick(child<QRadioButton>(dlg, "radChan0"), Qt::LeftButton);
    QTest::mouseClick(child<QRadioButton>(dlg, "radFrmAny"), Qt::LeftButton);
    QTest::mouseClick(child<QRadioButton>(dlg, "radStd"), Qt::LeftButton);
    QTest::mouseClick(child<QRadioButton>(dlg, "radRange"), Qt::LeftButton);
    child<QLineEdit>(dlg, "editMin")->setText(" 010");
    child<QLineEdit>(dlg, "editMax")->setText("7ff");
    QTest::mouseClick(child<QPushButton>(dlg, "btnOk"), Qt::LeftButton);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);

    const CCanMsgFilter& f = dlg.filter();
    EXPECT_EQ(f.Enable, 1);
    EXPECT_EQ(f.Block, 0);
    EXPECT_EQ(f.Chan, 0);
    EXPECT_EQ(f.MsgFrmType, 2);
    EXPECT_EQ(f.MsgIDType, 0);
    EXPECT_EQ(f.MsgIdValType, 0);
    EXPECT_EQ(f.FltMsgIdMin, 0x10u);
    EXPECT_EQ(f.FltMsgIdMax, 0x7FFu);
    ASSERT_EQ(f.MsgMap.size(), 2u);
    EXPECT_EQ(f.MsgMap.at(0x124).Descr, "新");
    EXPECT_EQ(f.MsgMap.at(0x124).MsgId, 0x124u);
    EXPECT_EQ(f.MsgMap.at(0x7FF).Descr, "灯光");
}

// A refused OK names the input, stores nothing and keeps the dialog open; the one-identifier dialog
// checks against the type chosen when it opens.
TEST_F(FilterDlg, OkRefusesIdentifiersTheFilterCannotHold) {
    CCanMsgFilterSetDlg dlg(sample());
    dlg.show();
    QTest::mouseClick(child<QRadioButton>(dlg, "radStd"), Qt::LeftButton);
    whenMsgDlgOpens(dlg, [this](CCanMsgFilterSetMsgDlg& m) {
        fillAndOk(m, "18FEF101", "");
        EXPECT_EQ(prompt.lastText(), kBeyondStd);
        QTest::mouseClick(child<QPushButton>(m, "btnCancel"), Qt::LeftButton);
    });
    QTest::mouseClick(child<QPushButton>(dlg, "btnAdd"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>(dlg, "btnOk"), Qt::LeftButton);
    EXPECT_EQ(prompt.lastText(), kBeyondStd);
    EXPECT_EQ(dlg.selectedRow(), 1);  // 18FEF100
    EXPECT_TRUE(dlg.isVisible());

    QTest::mouseClick(child<QRadioButton>(dlg, "radRange"), Qt::LeftButton);
    auto* max = child<QLineEdit>(dlg, "editMax");
    max->setText("7ffzz");
    QTest::mouseClick(child<QPushButton>(dlg, "btnOk"), Qt::LeftButton);
    EXPECT_EQ(prompt.lastText(), kNotHex);
    EXPECT_EQ(dlg.focusWidget(), max);
    EXPECT_EQ(max->selectedText(), QString("7ffzz"));
    EXPECT_TRUE(dlg.isVisible());
    const CCanMsgFilter& f = dlg.filter();
    EXPECT_EQ(f.MsgIDType, 1);
    EXPECT_EQ(f.MsgIdValType, 1);
    EXPECT_EQ(f.FltMsgIdMax, 0x1FFu);
}

// The filter's default range with "标准ID" is accepted as it stands and then takes every standard
// identifier: its end beyond 11 bits means "to the last".
TEST_F(FilterDlg, StandardRangeToTheLastTakesEveryStandardIdentifier) {
    CCanMsgFilter stored;
    stored.Enable = 1, stored.MsgIDType = 0, stored.MsgIdValType = 0;
    CCanMsgFilterSetDlg dlg(stored);
    dlg.show();
    QTest::mouseClick(child<QPushButton>(dlg, "btnOk"), Qt::LeftButton);
    EXPECT_TRUE(prompt.messages.empty()) << prompt.lastText().toStdString();
    ASSERT_EQ(dlg.result(), QDialog::Accepted);
    const CCanMsgFilter& f = dlg.filter();
    EXPECT_EQ(f.FltMsgIdMin, 0u);
    EXPECT_EQ(f.FltMsgIdMax, 0x1FFFFFFFu);
    uint32_t unmatched = 0;
    for (uint32_t id = 0; id <= 0x7FF; ++id)
        if (!f.IsMatch(0, 0, id, 0) || !f.IsMatch(0, 1, id, 1)) ++unmatched;
    EXPECT_EQ(unmatched, 0u);
    EXPECT_FALSE(f.IsMatch(1, 0, 0x7FF, 0));  // the type still narrows it
}

// OK through the dialog: range edits are checked only in range mode with the filter on; a refusal keeps
// the dialog open and stores nothing.
TEST_F(FilterDlg, OkChecksOnlyTheEditsTheModeUses) {
    struct {
        const char* name;
        uint8_t enable, idType, idValType;
        const char *min, *max;
        QString refusal;  // empty: accepted
        uint32_t storedMin, storedMax;
    } cases[] = {
        {"extended range to beyond 29 bits", 1, 1, 0, "10", "FFFFFFFF", "", 0x10, 0xFFFFFFFF},
        {"standard range, start beyond 11 bits", 1, 0, 0, "800", "1FFFFFFF", "", 0x800, 0x1FFFFFFF},
        {"list mode, empty range", 1, 0, 1, "", "", "", 0, 0},
        {"any identifier, garbage range", 1, 2, 2, "zz", "7ffzz", "", 0, 0x7FF},
        {"filter off, empty range", 0, 0, 0, "", " ", "", 0, 0},
        {"range mode, start not hex", 1, 0, 0, "1g", "7FF", kNotHex, 0, 0x1FFFFFFF},
        {"range mode, end empty", 1, 2, 0, "0", "", "报文ID值不能为空。", 0, 0x1FFFFFFF},
    };
    for (const auto& c : cases) {
        CCanMsgFilter stored;
        stored.Enable = c.enable, stored.MsgIDType = c.idType, stored.MsgIdValType = c.idValType;
        stored.MsgMap[0x123] = {"", 0x123};
        CCanMsgFilterSetDlg dlg(stored);
        dlg.show();
        child<QLineEdit>(dlg, "editMin")->setText(c.min);
        child<QLineEdit>(dlg, "editMax")->setText(c.max);
        prompt.clear();
        QTest::mouseClick(child<QPushButton>(dlg, "btnOk"), Qt::LeftButton);
        EXPECT_EQ(prompt.lastText(), c.refusal) << c.name;
        EXPECT_EQ(dlg.result(), c.refusal.isEmpty() ? QDialog::Accepted : QDialog::Rejected) << c.name;
        EXPECT_EQ(dlg.isVisible(), !c.refusal.isEmpty()) << c.name;
        EXPECT_EQ(dlg.filter().FltMsgIdMin, c.storedMin) << c.name;
        EXPECT_EQ(dlg.filter().FltMsgIdMax, c.storedMax) << c.name;
        EXPECT_EQ(dlg.filter().MsgMap.size(), 1u) << c.name;
    }
}

TEST_F(FilterDlg, CancelLeavesTheWorkingCopy) {
    CCanMsgFilterSetDlg dlg(sample());
    dlg.show();
    QTest::mouseClick(child<QCheckBox>(dlg, "chkEnable"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>(dlg, "btnCancel"), Qt::LeftButton);
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_EQ(dlg.filter().Enable, 1);
    EXPECT_EQ(dlg.filter().MsgMap.size(), 2u);
}

TEST_F(FilterDlg, OneIdentifierDialogUnknownKindStaysOpen) {
    CCanMsgFilterSetMsgDlg dlg(5, {}, false, "10", "", nullptr);
    dlg.show();
    QTest::mouseClick(child<QPushButton>(dlg, "btnOk"), Qt::LeftButton);
    EXPECT_TRUE(dlg.isVisible());
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0].text, QString("未知的编辑类型。"));
    EXPECT_EQ(prompt.messages[0].caption, QString("Vexarium"));
}
