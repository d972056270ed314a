#pragma once
// Helpers of the send and trace window suites: a workspace on the emulated bus with scripted message
// boxes, and small transmit records.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>

#include "tests/app/hubtest.h"
#include "tests/app/workspacetest.h"
#include "tests/common/fakeprompt.h"
#include "windows/sendcelldelegate.h"

namespace wndtest {

using hubtest::Sig;

inline tCFG_SET_SEND_MSG Rec(const std::string& name, uint32_t id, uint8_t ext = 0, uint8_t chan = 0,
                             std::initializer_list<uint8_t> data = {}, uint16_t period = 100) {
    tCFG_SET_SEND_MSG r;
    r.MsgName = name;
    r.MsgID = id;
    r.Ext = ext;
    r.Chan = chan;
    r.DL = static_cast<uint8_t>(data.size());
    size_t i = 0;
    for (uint8_t b : data) r.TxData[i++] = b;
    r.CycTxTime = period;
    return r;
}

// Shows the widget as the active window.
inline void ShowActive(QWidget& w, int width, int height) {
    w.resize(width, height);
    w.show();
    QApplication::setActiveWindow(&w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
}

// The press of a double click on the cell, then the double click itself (QTest sends only the latter).
inline void DoubleClick(QAbstractItemView& view, const QModelIndex& index) {
    const QPoint at = view.visualRect(index).center();
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, at);
}

// The in-place editor open on the view, if any.
template <class Editor>
Editor* OpenEditor(QAbstractItemView& view) {
    for (Editor* e : view.viewport()->findChildren<Editor*>())
        if (e->isVisible()) return e;
    return nullptr;
}

// "edit", "combo" or "" for the editor open on the view ("combo" also where a text can be typed into the
// drop-down); Escape closes it.
inline std::string TakeEditor(QAbstractItemView& view) {
    auto* combo = OpenEditor<QComboBox>(view);
    QWidget* open = combo != nullptr ? static_cast<QWidget*>(combo) : OpenEditor<QLineEdit>(view);
    const std::string kind = combo != nullptr ? "combo" : open != nullptr ? "edit" : "";
    if (combo != nullptr) combo->hidePopup();
    if (open != nullptr) QTest::keyClick(open, Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return kind;
}

// Double-clicks a cell whose editor is a drop-down that takes a typed text, and returns that editor with
// its text all selected (null when no such editor opened).
inline QComboBox* OpenTypedCombo(QAbstractItemView& view, const QModelIndex& index) {
    DoubleClick(view, index);
    auto* combo = OpenEditor<QComboBox>(view);
    if (combo == nullptr || !combo->isEditable() || !combo->hasFocus()) return nullptr;
    return combo->lineEdit()->selectedText() == combo->lineEdit()->text() ? combo : nullptr;
}

// Types `text` over the text of the cell's drop-down editor and ends the edit as `end` (Return, Escape).
// False when the cell opens no drop-down that takes a typed text.
inline bool TypeIntoCombo(QAbstractItemView& view, const QModelIndex& index, const QString& text,
                          Qt::Key end = Qt::Key_Return) {
    QComboBox* combo = OpenTypedCombo(view, index);
    if (combo == nullptr) return false;
    QTest::keyClicks(combo, text);
    QTest::keyClick(combo, end);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return true;
}

// Opens the cell's drop-down list and clicks the entry `entry` in it. False when there is no such entry.
inline bool ChooseInCombo(QAbstractItemView& view, const QModelIndex& index, const QString& entry) {
    DoubleClick(view, index);
    auto* combo = OpenEditor<QComboBox>(view);
    if (combo == nullptr || combo->findText(entry, Qt::MatchExactly) < 0) return false;
    if (!combo->view()->isVisible()) combo->showPopup();
    if (!QTest::qWaitFor([combo] { return combo->view()->isVisible(); }, 30'000)) return false;
    const QModelIndex item = combo->model()->index(combo->findText(entry, Qt::MatchExactly), 0);
    QTest::mouseClick(combo->view()->viewport(), Qt::LeftButton, {},
                      combo->view()->visualRect(item).center());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return true;
}

// What a cell editor reports when its edit ends.
inline CellEditEnd EditEnd(int row, int column, int64_t key, const char* text, bool combo = false,
                           bool cancelled = false) {
    CellEditEnd end;
    end.row = row;
    end.column = column;
    end.key = key;
    end.text = QString::fromUtf8(text);
    end.combo = combo;
    end.cancelled = cancelled;
    return end;
}

// A fresh workspace with message boxes answered by a fake.
class WindowTest : public wstest::WorkspaceTest {
protected:
    void SetUp() override {
        WorkspaceTest::SetUp();
        Make();
        m_prompt.emplace(prompt);
    }
    void TearDown() override {
        ws->GoOffline();
        m_prompt.reset();
        WorkspaceTest::TearDown();
    }
    // Goes online on the one interface chosen (both channels at 500 kbit/s) and records what it sends.
    void GoOnline(size_t device = CAppCfg::kDevNxp) {
        Select(device, 500);
        ASSERT_TRUE(ws->GoOnline());
        vex::emu::peer::SetRecording(true);
    }
    std::vector<QString> Messages() const {
        std::vector<QString> out;
        for (const auto& m : prompt.messages) out.push_back(m.text);
        return out;
    }

    vex::FakePrompt prompt;

private:
    std::optional<vex::ScopedPrompt> m_prompt;
};

}  // namespace wndtest
