// Each dialog of the editor driven through its controls offscreen: the attributes, value-table, entry,
// signal and message dialogs, the bit grid under the mouse, and the two pickers with their radio lists.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>

#include <optional>

#include "config/regconfig.h"
#include "platform/qt/settingsstore.h"
#include "tests/common/fakeprompt.h"
#include "tests/uicandb/dbrecords.h"
#include "tests/uicandb/dlgtest.h"
#include "ui/candb/bitgrid.h"
#include "ui/candb/candbatbdlg.h"
#include "ui/candb/enumdlgs.h"
#include "ui/candb/msgeditdlg.h"
#include "ui/candb/pickdlgs.h"
#include "ui/candb/reportview.h"
#include "ui/candb/signaleditdlg.h"
#include "ui/candb/textrows.h"

using namespace dlgtest;
using namespace candbui;

namespace {

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override { m_store.emplace(store); }
    void TearDown() override { m_store.reset(); }
    std::vector<QString> Messages() const {
        std::vector<QString> out;
        for (const auto& m : prompt.messages) out.push_back(m.text);
        return out;
    }

    vex::FakePrompt prompt;
    vex::ScopedPrompt usePrompt{prompt};
    vex::MemorySettingsStore store;

private:
    std::optional<vex::ScopedSettingsStore> m_store;
};

}  // namespace

TEST_F(DialogTest, AttributesRefuseEmptyAndTakenNames) {
    std::vector<tCFG_CAN_DATABASE> list(2);
    list[0].Name = "Car";
    list[1].Name = "Bus";
    CCanDbAtbDlg dlg({"Car", "1.0", "me", "text"}, &list);
    dlg.show();
    SetText(dlg, "editName", "");
    Click(dlg, "btnOk");
    SetText(dlg, "editName", "Bus");
    Click(dlg, "btnOk");
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(Messages(), (std::vector<QString>{"数据库名称不能为空。", "与现有的数据库名称相同。"}));
    SetText(dlg, "editName", "bus");
    SetText(dlg, "editFileVer", "");
    Child<QPlainTextEdit>(dlg, "editProDes")->setPlainText("多行\n描述");
    Click(dlg, "btnOk");
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.Attributes.Name, "bus");
    EXPECT_EQ(dlg.Attributes.FileVer, "");
    EXPECT_EQ(dlg.Attributes.Author, "me");
    EXPECT_EQ(dlg.Attributes.ProDes, "多行\n描述");
}

TEST_F(DialogTest, ValueTableWithEntryDialogs) {
    tCAN_DATABASE db;
    db.Enums = {{"Gear", {}}, {"Mode", {}}};
    {
        CAppRegConfig reg;
        reg.dwLastAddEnumItemVal = 4;
    }
    CCanSignalEnumEditDlg dlg(&db, {"Gear", {{"P", 0}}});
    QAbstractItemModelTester tester(dlg.items()->model(),
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    dlg.show();
    CReportList& list = *dlg.items()->list();

    // A new entry proposes the value after the last one added; a taken text is refused, then accepted.
    auto ran = WhenModal<CCanSignalEnumItemEditDlg>([&](CCanSignalEnumItemEditDlg& item) {
        EXPECT_EQ(Child<QLineEdit>(item, "editValue")->text(), "5");
        SetText(item, "editText", "P");
        Click(item, "btnOk");
        EXPECT_TRUE(item.isVisible());
        SetText(item, "editText", "D");
        Click(item, "btnOk");
    });
    Click(dlg, "btnAdd");
    EXPECT_FALSE(*ran);
    EXPECT_EQ(CAppRegConfig().dwLastAddEnumItemVal, 5u);
    ran = WhenModal<CCanSignalEnumItemEditDlg>([&](CCanSignalEnumItemEditDlg& item) {
        EXPECT_EQ(Child<QLineEdit>(item, "editValue")->text(), "6");
        SetText(item, "editValue", "");
        SetText(item, "editText", "R");
        Click(item, "btnOk");
        SetText(item, "editValue", "-1");
        Click(item, "btnOk");
    });
    Click(dlg, "btnAdd");
    EXPECT_EQ(dlg.Enum.Items, (std::vector<tCAN_SIGNAL_ENUM_ITEM>{{"P", 0}, {"D", 5}, {"R", -1}}));

    // Edit without a row, then a double click on an empty part of the list.
    Click(dlg, "btnEdit");
    DoubleClickRow(list, -1);
    // Editing row 1's value to that of another entry is refused; its own value is accepted.
    ran = WhenModal<CCanSignalEnumItemEditDlg>([&](CCanSignalEnumItemEditDlg& item) {
        EXPECT_EQ(Child<QLineEdit>(item, "editText")->text(), "D");
        SetText(item, "editValue", "0");
        Click(item, "btnOk");
        SetText(item, "editValue", "5");
        SetText(item, "editText", "Drive");
        Click(item, "btnOk");
    });
    DoubleClickRow(list, 1);
    EXPECT_FALSE(*ran);
    EXPECT_EQ(dlg.Enum.Items[1], (tCAN_SIGNAL_ENUM_ITEM{"Drive", 5}));
    EXPECT_EQ(dlg.items()->model()->Cell(1, 1), "Drive");
    EXPECT_EQ(CAppRegConfig().dwLastAddEnumItemVal, static_cast<uint32_t>(-1));  // edits leave it

    ClickRow(list, 0);
    Click(dlg, "btnRemove");
    EXPECT_EQ(dlg.Enum.Items.size(), 2u);
    EXPECT_EQ(dlg.items()->SelRow(), -1);

    SetText(dlg, "editName", "Mode");
    Click(dlg, "btnOk");
    SetText(dlg, "editName", "");
    Click(dlg, "btnOk");
    EXPECT_EQ(Messages(), (std::vector<QString>{
                              "数值描述与已有的枚举项冲突。", "请输入一个整数。", "请选择其中一项进行操作。",
                              "请选择其中一项进行操作。", "数值描述与已有的枚举项冲突。",
                              "枚举名称与现有数据库中枚举名称冲突。", "枚举名称不能为空。"}));
    EXPECT_EQ(prompt.messages[0].icon, vex::MsgIcon::None);
    SetText(dlg, "editName", "Gear");
    Click(dlg, "btnOk");
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.Enum.Name, "Gear");
}

TEST_F(DialogTest, SignalEditorControls) {
    tCAN_DATABASE db;
    db.Enums = {{"Gear", {{"P", 0}, {"D", 1}}}, {"Lamp", {{"off", 0}}}};
    CCanMsg msg;
    msg.Signals = {Sig("Taken", 0, 8)};
    CCanSignal fresh = CCanSignalEditDlg::DefaultSignal();
    fresh.BitOffset = 12;
    CCanSignalEditDlg dlg(&db, msg, fresh);
    dlg.show();
    // A new signal as it opens.
    EXPECT_EQ(Child<QComboBox>(dlg, "comboSign")->currentText(), "无符号");
    EXPECT_EQ(Child<QComboBox>(dlg, "comboByteFmt")->currentText(), "INTEL");
    EXPECT_EQ(Child<QLineEdit>(dlg, "editBitLen")->text(), "8");
    EXPECT_EQ(Child<QLineEdit>(dlg, "editStartBit")->text(), "12");
    EXPECT_TRUE(Child<QLineEdit>(dlg, "editStartBit")->isReadOnly());
    EXPECT_EQ(Child<QLineEdit>(dlg, "editFactor")->text(), "1");
    EXPECT_FALSE(Child<QPushButton>(dlg, "btnImport")->isEnabled());
    EXPECT_FALSE(dlg.items()->isEnabled());

    Child<QComboBox>(dlg, "comboSign")->setCurrentText("有符号");
    Click(dlg, "btnRange");
    EXPECT_EQ(Child<QLineEdit>(dlg, "editMin")->text(), "-127");
    EXPECT_EQ(Child<QLineEdit>(dlg, "editMax")->text(), "127");

    Child<QCheckBox>(dlg, "chkEnum")->click();
    EXPECT_TRUE(Child<QPushButton>(dlg, "btnImport")->isEnabled());
    auto ran = WhenModal<CCanSignalPublicEnumSelDlg>([](CCanSignalPublicEnumSelDlg& pick) {
        DoubleClickRow(*pick.list(), 1);
        Click(pick, "btnOk");
    });
    Click(dlg, "btnImport");
    EXPECT_FALSE(*ran);
    EXPECT_EQ(dlg.Signal.SigEnum.Name, "Lamp");
    EXPECT_EQ(dlg.items()->model()->rowCount(), 1);

    SetText(dlg, "editName", "Taken");
    SetText(dlg, "editFactor", "nan");
    Click(dlg, "btnOk");
    SetText(dlg, "editFactor", "0.5");
    SetText(dlg, "editBitLen", "300");
    Click(dlg, "btnOk");
    SetText(dlg, "editBitLen", "12");
    Click(dlg, "btnOk");
    EXPECT_TRUE(dlg.isVisible());
    SetText(dlg, "editName", "Speed");
    Child<QComboBox>(dlg, "comboByteFmt")->setCurrentText("MOTOROLA");
    SetText(dlg, "editUnit", "km/h");
    Click(dlg, "btnOk");
    EXPECT_EQ(Messages(), (std::vector<QString>{"请输入一个数字。", "请输入一个在 0 和 255 之间的整数。",
                                                "此信号名称与此报文中其他信号命名冲突。"}));
    ASSERT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.Signal.Name, "Speed");
    EXPECT_EQ(dlg.Signal.SigEnum.Name, "Speed");
    EXPECT_EQ(dlg.Signal.SigEnum.Items, db.Enums[1].Items);
    EXPECT_EQ(dlg.Signal.Sign, 1);
    EXPECT_EQ(dlg.Signal.ByteFmtIntel, 0);
    EXPECT_EQ(dlg.Signal.BitLen, 12);
    EXPECT_EQ(dlg.Signal.BitOffset, 12);
    EXPECT_EQ(dlg.Signal.ValFactor, 0.5);
    EXPECT_EQ(dlg.Signal.PhyMin, -127.0);
    EXPECT_EQ(dlg.Signal.Enum, 1);
}

TEST_F(DialogTest, MessageEditorRowsAreSignals) {
    tCAN_DATABASE db;
    db.FreeSigMsg.Signals = {Sig("Free", 40, 8)};
    CCanMsg msg;
    msg.Name = "Body";
    msg.id = 0x123;
    msg.DL = 8;
    // Two signals of one name, as two pastes of the same copy leave them.
    msg.Signals = {Sig("S_copy", 0, 4), Sig("S_copy", 16, 4), Sig("Other", 24, 8)};
    CCanMsgEditDlg dlg(&db, kMsgEdit, msg);
    QAbstractItemModelTester tester(dlg.model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    dlg.show();
    CReportList& list = *dlg.list();

    // Editing the second row edits the second signal.
    auto ran = WhenModal<CCanSignalEditDlg>([](CCanSignalEditDlg& sig) {
        EXPECT_EQ(Child<QLineEdit>(sig, "editStartBit")->text(), "16");
        SetText(sig, "editName", "Second");
        Click(sig, "btnOk");
    });
    DoubleClickRow(list, 1);
    EXPECT_FALSE(*ran);
    EXPECT_EQ(dlg.Msg.Signals[0].Name, "S_copy");
    EXPECT_EQ(dlg.Msg.Signals[1].Name, "Second");
    EXPECT_EQ(dlg.model()->Cell(1, 0), "Second");

    // Removing row 0 removes signal 0 only.
    ClickRow(list, 0);
    EXPECT_EQ(dlg.grid()->SelSignal(), 0);
    Click(dlg, "btnRemove");
    ASSERT_EQ(dlg.Msg.Signals.size(), 2u);
    EXPECT_EQ(dlg.Msg.Signals[0].Name, "Second");
    Click(dlg, "btnEdit");  // no row any more
    EXPECT_EQ(prompt.lastText(), "请选择其中一项进行操作。");

    // Import a free signal through the picker: it lands on bits 40..47.
    ran = WhenModal<CCanSignalFreeSelDlg>([](CCanSignalFreeSelDlg& pick) {
        DoubleClickRow(*pick.list(), 0);
        Click(pick, "btnOk");
    });
    Click(dlg, "btnImport");
    EXPECT_FALSE(*ran);
    ASSERT_EQ(dlg.Msg.Signals.size(), 3u);
    EXPECT_EQ(dlg.grid()->Cells()[40].SigIndex, 2);
    EXPECT_EQ(dlg.model()->Cell(2, 1), "{40-8}");

    // New identifier refused when it is not hexadecimal or too big for a standard frame.
    SetText(dlg, "editId", "12G");
    Click(dlg, "btnOk");
    SetText(dlg, "editId", "800");
    Click(dlg, "btnOk");
    Child<QCheckBox>(dlg, "chkExt")->setChecked(true);
    SetText(dlg, "editDl", "8");
    Click(dlg, "btnOk");
    EXPECT_EQ(Messages().back(), "不合法的报文ID。");
    ASSERT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.Msg.id, 0x800u);
    EXPECT_EQ(dlg.Msg.Ext, 1);
}

TEST_F(DialogTest, BitGridDragAndHover) {
    tCAN_DATABASE db;
    CCanMsg msg;
    msg.Name = "M";
    msg.id = 1;
    msg.DL = 8;
    msg.Signals = {Sig("Speed", 12, 8), Sig("Flag", 32, 1)};
    CCanMsgEditDlg dlg(&db, kMsgEdit, msg);
    dlg.resize(900, 480);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    CMsgBitGrid& grid = *dlg.grid();
    const QRect bit8 = grid.CellRect(12);
    EXPECT_EQ(grid.CellAt(bit8.center()), 12);
    EXPECT_EQ(grid.CellRect(7).left(), grid.CellRect(0).left() - 7 * bit8.width());  // bit 7 at the left

    // Hovering shows the name while nothing is selected.
    const QPointF over(grid.CellRect(32).center());
    QMouseEvent hover(QEvent::MouseMove, over, grid.mapToGlobal(over), Qt::NoButton, Qt::NoButton,
                      Qt::NoModifier);
    QApplication::sendEvent(&grid, &hover);
    EXPECT_TRUE(grid.tipLabel()->isVisible());
    EXPECT_EQ(grid.tipLabel()->text(), "Flag");

    // Press on Speed and drag it one cell to the right: the start bit goes down by one.
    QTest::mousePress(&grid, Qt::LeftButton, {}, bit8.center());
    EXPECT_EQ(grid.SelSignal(), 0);
    EXPECT_EQ(dlg.SelRow(), 0);
    QMouseEvent move(QEvent::MouseMove, QPointF(bit8.center() + QPoint(bit8.width(), 0)),
                     grid.mapToGlobal(QPointF(bit8.center() + QPoint(bit8.width(), 0))), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&grid, &move);
    EXPECT_EQ(dlg.Msg.Signals[0].BitOffset, 11);
    EXPECT_EQ(dlg.model()->Cell(0, 1), "{11-8}");
    EXPECT_FALSE(grid.tipLabel()->isVisible());
    // Down six rows would put its last bits past byte 7: ignored.
    const QPoint from = bit8.center() + QPoint(bit8.width(), 0);
    const QPoint to(from.x(), grid.CellRect(56).center().y());
    QMouseEvent far(QEvent::MouseMove, QPointF(to), grid.mapToGlobal(QPointF(to)), Qt::NoButton,
                    Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&grid, &far);
    EXPECT_EQ(dlg.Msg.Signals[0].BitOffset, 11);
    QTest::mouseRelease(&grid, Qt::LeftButton, {}, to);
    EXPECT_EQ(grid.Cells()[11].Marked, 1);
    EXPECT_EQ(grid.Cells()[18].Marked, 1);
    EXPECT_EQ(grid.Cells()[19].Marked, 0);

    const char* dir = std::getenv("VEX_CANDB_SHOTS");
    if (dir != nullptr && *dir != '\0') dlg.grab().save(QString::fromUtf8(dir) + "/msgedit.png");
}

TEST_F(DialogTest, PreselectedSignalOpensOnTheFirstTick) {
    tCAN_DATABASE db;
    CCanMsg msg;
    msg.Signals = {Sig("Pasted", 0, 8), Sig("Pasted", 8, 8)};
    CCanMsgEditDlg dlg(&db, kMsgEdit, msg, "Pasted");
    EXPECT_EQ(dlg.SelRow(), 1);  // the last of that name: the one the paste appended
    auto ran = WhenModal<CCanSignalEditDlg>([](CCanSignalEditDlg& sig) {
        EXPECT_EQ(Child<QLineEdit>(sig, "editStartBit")->text(), "8");
        Click(sig, "btnCancel");
    });
    dlg.show();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !*ran; }, 30'000));
    dlg.OnTimer();  // later ticks do nothing
    EXPECT_TRUE(prompt.messages.empty());
}

TEST_F(DialogTest, PickersTickByDoubleClick) {
    tCAN_DATABASE db;
    CCanSignal s = Sig("Speed", 0, 12);
    s.Sign = 1;
    s.ValFactor = 0.5;
    s.PhyMin = -1024;
    s.PhyMax = 1023.5;
    s.Unit = "km/h";
    db.FreeSigMsg.Signals = {s, Sig("Other", 0, 8)};
    db.Enums = {{"Gear", {{"P", 0}, {"D", 1}}}, {"Lamp", {{"off", 0}}}};

    CCanSignalFreeSelDlg free(&db, CCanMsg{});
    QAbstractItemModelTester tester(free.model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    free.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&free));
    EXPECT_EQ(free.model()->At(0).cells,
              (QStringList{"0", "Speed", "INT12", "INTEL", "(0.5,0)", "[-1024,1023.5]", "km/h"}));
    ClickRow(*free.list(), 0);
    Click(free, "btnOk");
    EXPECT_EQ(prompt.lastText(), "请选择其中一项。");
    DoubleClickRow(*free.list(), 0);
    DoubleClickRow(*free.list(), 1);
    EXPECT_EQ(free.model()->Cell(0, 0), "0");
    EXPECT_EQ(free.model()->Cell(1, 0), "1");
    // The chosen row is drawn white on orange, its radio ticked.
    const QImage shot = free.list()->viewport()->grab().toImage();
    const QRect row1 = free.list()->visualRect(free.model()->index(1, 3));
    EXPECT_EQ(shot.pixelColor(row1.right() - 3, row1.center().y()), QColor(0xFF, 0x80, 0x00));
    const QRect row0 = free.list()->visualRect(free.model()->index(0, 3));
    EXPECT_EQ(shot.pixelColor(row0.right() - 3, row0.center().y()), QColor(Qt::white));
    const char* dir = std::getenv("VEX_CANDB_SHOTS");
    if (dir != nullptr && *dir != '\0') free.grab().save(QString::fromUtf8(dir) + "/freepick.png");
    Click(free, "btnOk");
    EXPECT_EQ(free.result(), QDialog::Accepted);
    EXPECT_EQ(free.Signal.Name, "Other");

    CCanSignalPublicEnumSelDlg tables(&db);
    tables.show();
    ClickRow(*tables.list(), 0);
    EXPECT_EQ(tables.entryModel()->rowCount(), 2);
    ClickRow(*tables.list(), 1);
    ASSERT_EQ(tables.entryModel()->rowCount(), 1);
    EXPECT_EQ(tables.entryModel()->Cell(0, 1), "off");
    DoubleClickRow(*tables.list(), 0);
    Click(tables, "btnOk");
    EXPECT_EQ(tables.Enum.Name, "Gear");

    CCanSignalPublicEnumSelDlg none(nullptr);
    none.show();
    Click(none, "btnOk");
    EXPECT_EQ(none.result(), QDialog::Rejected);
}

TEST(RadioList, CheckedText) {
    EXPECT_TRUE(RadioChecked("1"));
    EXPECT_TRUE(RadioChecked("12"));
    EXPECT_FALSE(RadioChecked("0"));
    EXPECT_FALSE(RadioChecked(""));
}
