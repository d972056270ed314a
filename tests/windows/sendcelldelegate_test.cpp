#include "windows/sendcelldelegate.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QStandardItemModel>
#include <QTableView>
#include <QTest>
#include <QVBoxLayout>

#include <vector>

#include "tests/windows/wndtest.h"

namespace {

// A list of three rows (entry keys 100, 101, 102) and four columns: name (free text), byte (hex),
// period (decimal), length (choice "1".."8", with `typed` one that also takes a typed text). Row 2's name
// offers no editor; row 1 has no key.
class EditHarness {
public:
    EditHarness() : model(3, 4) {
        const char* texts[3][4] = {
            {"Alpha", "1F", "100", "8"}, {"Beta", "02", "250", "3"}, {"Gamma", "FF", "0", "0"}};
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 4; ++c) {
                auto* item = new QStandardItem(QString::fromUtf8(texts[r][c]));
                if (r != 1 || c != 3) item->setData(100 + r, CSendCellDelegate::KeyRole);
                model.setItem(r, c, item);
            }
        }
        view.setModel(&model);
        view.setEditTriggers(QAbstractItemView::DoubleClicked);
        delegate.SetChooser([this](const QModelIndex& index) {
            switch (index.column()) {
                case 0:
                    return index.row() == 2 ? CellEditor{} : CellEditor::edit(CSendEditCtrl::kInputText);
                case 1:
                    return CellEditor::edit(CSendEditCtrl::kInputHex);
                case 2:
                    return CellEditor::edit(CSendEditCtrl::kInputDecimal);
                default: {
                    const QStringList lengths = {"1", "2", "3", "4", "5", "6", "7", "8"};
                    return typed ? CellEditor::typedCombo(lengths) : CellEditor::combo(lengths);
                }
            }
        });
        view.setItemDelegate(&delegate);
        QObject::connect(&delegate, &CSendCellDelegate::editEnded, [this](const CellEditEnd& end) {
            ends.push_back(end);
            // What a view does: the text goes back into its record, and so into the cell.
            if (!end.cancelled) model.item(end.row, end.column)->setText(end.text);
        });
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(&view);
        layout->addWidget(&other);
        window.resize(500, 300);
        window.show();
        QApplication::setActiveWindow(&window);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
        QApplication::processEvents();  // lays the window out
    }

    QRect cellRect(int row, int column) const { return view.visualRect(model.index(row, column)); }

    void doubleClick(int row, int column) { wndtest::DoubleClick(view, model.index(row, column)); }
    template <class Editor>
    Editor* editor() {
        return wndtest::OpenEditor<Editor>(view);
    }

    QString cell(int row, int column) const { return model.item(row, column)->text(); }

    QWidget window;
    QStandardItemModel model;
    QTableView view;
    QLineEdit other;
    CSendCellDelegate delegate;
    std::vector<CellEditEnd> ends;
    bool typed = false;
};

// Compares a report field by field, so that a failure names the field.
void expectEnd(const CellEditEnd& end, int row, int column, int64_t key, const char* text, bool cancelled,
               bool combo) {
    EXPECT_EQ(end.row, row);
    EXPECT_EQ(end.column, column);
    EXPECT_EQ(end.key, key);
    EXPECT_EQ(end.text, QString::fromUtf8(text));
    EXPECT_EQ(end.cancelled, cancelled);
    EXPECT_EQ(end.combo, combo);
}

}  // namespace

TEST(SendEditCtrl, KeyFilterByInputMode) {
    using K = Qt::Key;
    const auto kp = Qt::KeypadModifier;
    struct Case {
        int key;
        Qt::KeyboardModifiers mods;
        bool text, hex, decimal;  // passes in modes 2, 3, 4
    } cases[] = {
        {K::Key_0, {}, true, true, true},
        {K::Key_9, {}, true, true, true},
        {K::Key_5, kp, true, true, true},
        {K::Key_Backspace, {}, true, true, true},
        {K::Key_Delete, {}, true, true, true},
        {K::Key_Left, {}, true, true, true},
        {K::Key_Right, {}, true, true, true},
        {K::Key_Up, {}, true, true, true},
        {K::Key_Down, {}, true, true, true},
        {K::Key_Minus, kp, true, true, true},
        {K::Key_A, {}, true, true, false},
        {K::Key_F, Qt::ShiftModifier, true, true, false},
        {K::Key_G, {}, true, false, false},
        {K::Key_Z, {}, true, false, false},
        {K::Key_Minus, {}, true, false, true},
        {K::Key_Period, {}, true, false, true},
        {K::Key_Period, kp, true, false, false},
        {K::Key_Space, {}, true, false, false},
        {K::Key_Home, {}, true, false, false},
        {K::Key_Exclam, {}, true, false, false},
        {K::Key_V, Qt::ControlModifier, true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(CSendEditCtrl::KeyPasses(CSendEditCtrl::kInputText, c.key, c.mods), c.text);
        EXPECT_EQ(CSendEditCtrl::KeyPasses(CSendEditCtrl::kInputHex, c.key, c.mods), c.hex);
        EXPECT_EQ(CSendEditCtrl::KeyPasses(CSendEditCtrl::kInputDecimal, c.key, c.mods), c.decimal);
    }
}

TEST(SendEditCtrl, TypingInEachModeKeepsOnlyThePassingKeys) {
    struct Case {
        int32_t mode;
        const char* typed;
        const char* shown;
    } cases[] = {
        {CSendEditCtrl::kInputText, "a-g.1", "a-g.1"},
        {CSendEditCtrl::kInputHex, "g-a.F9f", "aF9f"},
        {CSendEditCtrl::kInputDecimal, "A1-2.3f", "1-2.3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        CSendEditCtrl edit;
        edit.SetInputMode(c.mode);
        edit.StartEdit(0, 0, 1, QString());
        QTest::keyClicks(&edit, QString::fromUtf8(c.typed));
        EXPECT_EQ(edit.text(), QString::fromUtf8(c.shown));
    }
    CSendEditCtrl edit;
    edit.SetInputMode(CSendEditCtrl::kInputHex);
    edit.StartEdit(0, 0, 1, QString());
    QTest::keyClick(&edit, Qt::Key_Minus, Qt::KeypadModifier);
    EXPECT_EQ(edit.text(), QStringLiteral("-"));  // the keypad minus passes in every mode
}

TEST(SendCellDelegate, ReturnEndsTheEditOnceWithRowColumnKeyAndText) {
    EditHarness h;
    h.doubleClick(0, 0);
    auto* edit = h.editor<CSendEditCtrl>();
    ASSERT_NE(edit, nullptr);
    EXPECT_TRUE(edit->hasFocus());
    EXPECT_EQ(edit->text(), QStringLiteral("Alpha"));
    EXPECT_EQ(edit->selectedText(), QStringLiteral("Alpha"));  // typing replaces the cell text
    EXPECT_EQ(edit->geometry(), h.cellRect(0, 0));
    edit->insert(QStringLiteral("名称"));  // as an input method commits it
    QTest::keyClick(edit, Qt::Key_X);
    int notices = 0;
    QObject::connect(edit, &CSendEditCtrl::editEnded, [&notices] { ++notices; });
    QTest::keyClick(edit, Qt::Key_Return);
    // The editor also reported the focus loss that closing it caused; that notice changed nothing.
    EXPECT_EQ(notices, 2);
    QApplication::processEvents();
    ASSERT_EQ(h.ends.size(), 1u);
    expectEnd(h.ends[0], 0, 0, 100, "名称x", false, false);
    EXPECT_EQ(h.editor<CSendEditCtrl>(), nullptr);
    EXPECT_EQ(h.cell(0, 0), QStringLiteral("名称x"));
}

TEST(SendCellDelegate, EscapeReportsTheStartTextAsCancelled) {
    EditHarness h;
    h.doubleClick(1, 2);
    auto* edit = h.editor<CSendEditCtrl>();
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->InputMode(), CSendEditCtrl::kInputDecimal);
    QTest::keyClicks(edit, QStringLiteral("999"));
    QTest::keyClick(edit, Qt::Key_Escape);
    EXPECT_EQ(edit->text(), QStringLiteral("250"));  // the start text is shown again
    QApplication::processEvents();
    ASSERT_EQ(h.ends.size(), 1u);
    expectEnd(h.ends[0], 1, 2, 101, "250", true, false);
    EXPECT_EQ(h.cell(1, 2), QStringLiteral("250"));
}

TEST(SendCellDelegate, LosingTheFocusEndsTheEdit) {
    EditHarness h;
    h.doubleClick(2, 1);
    auto* edit = h.editor<CSendEditCtrl>();
    ASSERT_NE(edit, nullptr);
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, QStringLiteral("g7"));  // 'g' is no hex digit
    h.other.setFocus();
    QApplication::processEvents();
    ASSERT_EQ(h.ends.size(), 1u);
    expectEnd(h.ends[0], 2, 1, 102, "7", false, false);
    EXPECT_EQ(h.editor<CSendEditCtrl>(), nullptr);
}

TEST(SendCellDelegate, ClickingAnotherCellEndsTheEditOnce) {
    EditHarness h;
    h.doubleClick(0, 2);
    auto* edit = h.editor<CSendEditCtrl>();
    ASSERT_NE(edit, nullptr);
    QTest::keyClicks(edit, QStringLiteral("70"));
    QTest::mouseClick(h.view.viewport(), Qt::LeftButton, {}, h.cellRect(2, 0).center());
    QApplication::processEvents();
    ASSERT_EQ(h.ends.size(), 1u);
    EXPECT_EQ(h.ends[0].text, QStringLiteral("70"));
    EXPECT_EQ(h.cell(0, 2), QStringLiteral("70"));
    // Keys typed into the editor never reach the list: Up did not move the current row.
    h.doubleClick(1, 0);
    edit = h.editor<CSendEditCtrl>();
    ASSERT_NE(edit, nullptr);
    QTest::keyClick(edit, Qt::Key_Up);
    EXPECT_EQ(h.editor<CSendEditCtrl>(), edit);
    EXPECT_EQ(h.ends.size(), 1u);
}

TEST(SendCellDelegate, CellsWithoutAnEditorOrKeyOpenNothing) {
    EditHarness h;
    h.doubleClick(2, 0);  // the chooser offers none
    h.doubleClick(1, 3);  // the row has no key
    EXPECT_EQ(h.editor<CSendEditCtrl>(), nullptr);
    EXPECT_EQ(h.editor<CSendComboCtrl>(), nullptr);
    CSendCellDelegate bare;  // no chooser: nothing is editable
    QWidget parent;
    EXPECT_EQ(bare.createEditor(&parent, QStyleOptionViewItem(), h.model.index(0, 0)), nullptr);
    EXPECT_TRUE(h.ends.empty());
}

TEST(SendCellDelegate, ComboStartsOnThePrefixMatchAndReportsTheChoice) {
    EditHarness h;
    h.doubleClick(0, 3);
    auto* combo = h.editor<CSendComboCtrl>();
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->count(), 8);
    EXPECT_EQ(combo->currentText(), QStringLiteral("8"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return combo->view()->isVisible(); },
                                30'000));  // the drop-down opens by itself
    combo->hidePopup();
    QApplication::processEvents();
    EXPECT_TRUE(h.ends.empty());  // the drop-down taking the focus ends nothing
    combo->setCurrentIndex(2);
    emit combo->activated(2);  // the user picks "3"
    QApplication::processEvents();
    ASSERT_EQ(h.ends.size(), 1u);
    expectEnd(h.ends[0], 0, 3, 100, "3", false, true);
    EXPECT_EQ(h.editor<CSendComboCtrl>(), nullptr);
}

TEST(SendCellDelegate, ComboEndsOnFocusLossAndCancelsOnEscape) {
    EditHarness h;
    h.doubleClick(2, 3);  // "0" begins no choice: nothing selected
    auto* combo = h.editor<CSendComboCtrl>();
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->currentIndex(), -1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return combo->view()->isVisible(); }, 30'000));
    combo->hidePopup();
    QTest::keyClick(combo, Qt::Key_Escape);
    QApplication::processEvents();
    ASSERT_EQ(h.ends.size(), 1u);
    expectEnd(h.ends[0], 2, 3, 102, "0", true, true);

    h.doubleClick(0, 3);
    combo = h.editor<CSendComboCtrl>();
    ASSERT_NE(combo, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return combo->view()->isVisible(); }, 30'000));
    combo->hidePopup();
    combo->setCurrentIndex(4);
    h.other.setFocus();
    QApplication::processEvents();
    ASSERT_EQ(h.ends.size(), 2u);
    expectEnd(h.ends[1], 0, 3, 100, "5", false, true);
    EXPECT_EQ(h.cell(0, 3), QStringLiteral("5"));
}

// A drop-down that also takes a typed text: it starts on the cell's text, all selected and with its list
// closed, so typing replaces the text; nothing is completed or added to the list; Return and the focus
// loss report the typed text, Escape the start text, and Down steps to an entry.
TEST(SendCellDelegate, TypedComboReportsTheTypedOrChosenText) {
    EditHarness h;
    h.typed = true;
    h.doubleClick(0, 3);
    auto* combo = h.editor<CSendComboCtrl>();
    ASSERT_NE(combo, nullptr);
    EXPECT_TRUE(combo->isEditable());
    EXPECT_TRUE(combo->hasFocus());
    EXPECT_EQ(combo->currentIndex(), 7);
    EXPECT_EQ(combo->lineEdit()->selectedText(), QStringLiteral("8"));
    QApplication::processEvents();
    EXPECT_FALSE(combo->view()->isVisible());
    QTest::keyClicks(combo, QStringLiteral("1"));
    EXPECT_EQ(combo->currentText(), QStringLiteral("1"));
    QTest::keyClicks(combo, QStringLiteral("2.5"));
    QTest::keyClick(combo, Qt::Key_Return);
    QApplication::processEvents();
    ASSERT_EQ(h.ends.size(), 1u);
    expectEnd(h.ends[0], 0, 3, 100, "12.5", false, true);
    EXPECT_EQ(h.editor<CSendComboCtrl>(), nullptr);

    h.doubleClick(2, 3);  // "0" is no entry: none selected, the text kept
    combo = h.editor<CSendComboCtrl>();
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->currentIndex(), -1);
    EXPECT_EQ(combo->currentText(), QStringLiteral("0"));
    QTest::keyClicks(combo, QStringLiteral("x7"));
    h.other.setFocus();
    EXPECT_EQ(combo->count(), 8);  // nothing typed joins the list
    QApplication::processEvents();
    ASSERT_EQ(h.ends.size(), 2u);
    expectEnd(h.ends[1], 2, 3, 102, "x7", false, true);

    h.doubleClick(0, 3);
    combo = h.editor<CSendComboCtrl>();
    ASSERT_NE(combo, nullptr);
    QTest::keyClicks(combo, QStringLiteral("9"));
    QTest::keyClick(combo, Qt::Key_Escape);
    QApplication::processEvents();
    ASSERT_EQ(h.ends.size(), 3u);
    expectEnd(h.ends[2], 0, 3, 100, "12.5", true, true);

    h.doubleClick(2, 3);
    combo = h.editor<CSendComboCtrl>();
    ASSERT_NE(combo, nullptr);
    QTest::keyClick(combo, Qt::Key_Down);
    QTest::keyClick(combo, Qt::Key_Down);
    EXPECT_EQ(h.ends.size(), 3u);  // a step is no choice yet
    EXPECT_EQ(combo->currentText(), QStringLiteral("2"));
    QTest::keyClick(combo, Qt::Key_Return);
    QApplication::processEvents();
    ASSERT_EQ(h.ends.size(), 4u);
    expectEnd(h.ends[3], 2, 3, 102, "2", false, true);
}

TEST(SendCellDelegate, ModelChangesDuringAnEditDoNotTouchTheEditor) {
    EditHarness h;
    h.doubleClick(0, 0);
    auto* edit = h.editor<CSendEditCtrl>();
    ASSERT_NE(edit, nullptr);
    QTest::keyClicks(edit, QStringLiteral("new"));
    h.model.item(0, 0)->setText(QStringLiteral("changed elsewhere"));
    EXPECT_EQ(edit->text(), QStringLiteral("new"));
    EXPECT_EQ(edit->StartText(), QStringLiteral("Alpha"));
}
