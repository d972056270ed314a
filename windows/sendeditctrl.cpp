#include "windows/sendeditctrl.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>

namespace {

bool isEndKey(int key) {
    return key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape;
}

// Return and Escape end the edit even where the window has shortcuts or a default button on them.
bool claimsEndKey(QEvent* event) {
    if (event->type() != QEvent::ShortcutOverride || !isEndKey(static_cast<QKeyEvent*>(event)->key()))
        return false;
    event->accept();
    return true;
}

// Whether the focus left `editor` only for a pop-up of its own (a context menu, the drop-down list), which
// lives in a window of its own but is still the editor's child.
bool focusStaysWithin(const QWidget* editor, const QFocusEvent* event) {
    if (event->reason() == Qt::PopupFocusReason) return true;
    for (const QWidget* w = QApplication::focusWidget(); w; w = w->parentWidget())
        if (w == editor) return true;
    return false;
}

}  // namespace

// ---- CSendCellEditState ----

void CSendCellEditState::Begin(int32_t row, int32_t column, int64_t key, const QString& text) {
    m_row = row;
    m_column = column;
    m_key = key;
    m_text = text;
    m_cancelled = false;
}

void CSendCellEditState::Reset() {
    m_row = -1;
    m_column = -1;
    m_key = -1;
    m_text.clear();
}

// ---- CSendEditCtrl ----

CSendEditCtrl::CSendEditCtrl(QWidget* parent) : QLineEdit(parent) {}

bool CSendEditCtrl::KeyPasses(int32_t mode, int key, Qt::KeyboardModifiers modifiers) {
    if (mode != kInputHex && mode != kInputDecimal) return true;
    const bool keypad = modifiers.testFlag(Qt::KeypadModifier);
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return true;
    switch (key) {
        case Qt::Key_Backspace:
        case Qt::Key_Delete:
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
            return true;
        case Qt::Key_Minus:
            return keypad || mode == kInputDecimal;
        case Qt::Key_Period:
            return !keypad && mode == kInputDecimal;
        default:
            break;
    }
    return mode == kInputHex && key >= Qt::Key_A && key <= Qt::Key_F;
}

void CSendEditCtrl::StartEdit(int32_t row, int32_t column, int64_t key, const QString& text) {
    Begin(row, column, key, text);
    SetEditText(text);
    selectAll();
}

void CSendEditCtrl::SetEditText(const QString& text) {
    m_text = text;
    setText(text);
}

bool CSendEditCtrl::event(QEvent* event) {
    return claimsEndKey(event) || QLineEdit::event(event);
}

void CSendEditCtrl::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (key == Qt::Key_Escape) {
        m_cancelled = true;
        SetEditText(m_text);
    }
    if (isEndKey(key)) {
        event->accept();
        emit editEnded(m_row, m_column);
        return;
    }
    if (KeyPasses(m_inputMode, key, event->modifiers())) QLineEdit::keyPressEvent(event);
    // Keys stay with the editor: none moves the list underneath while a cell is edited.
    event->accept();
}

void CSendEditCtrl::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    if (!focusStaysWithin(this, event)) emit editEnded(m_row, m_column);
}

// ---- CSendComboCtrl ----

CSendComboCtrl::CSendComboCtrl(QWidget* parent) : QComboBox(parent) {
    connect(this, &QComboBox::activated, this, [this] { emit choiceEnded(m_row, m_column); });
}

void CSendComboCtrl::StartChoice(int32_t row, int32_t column, int64_t key, const QString& text,
                                 const QStringList& choices) {
    Begin(row, column, key, text);
    clear();
    addItems(choices);
    setCurrentIndex(findText(text, Qt::MatchStartsWith));
    // The drop-down opens once the owner has placed, shown and focused the control.
    QMetaObject::invokeMethod(
        this,
        [this, key] {
            if (m_key == key && isVisible()) showPopup();
        },
        Qt::QueuedConnection);
}

void CSendComboCtrl::StartTypedChoice(int32_t row, int32_t column, int64_t key, const QString& text,
                                      const QStringList& choices) {
    Begin(row, column, key, text);
    setEditable(true);
    // Typed text stays the user's: no entry is added on Return, and none is completed in while typing (a
    // typed "1" would become "10 km").
    setInsertPolicy(QComboBox::NoInsert);
    setCompleter(nullptr);
    clear();
    addItems(choices);
    setCurrentIndex(findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive));
    setEditText(text);
    lineEdit()->selectAll();
}

bool CSendComboCtrl::event(QEvent* event) {
    return claimsEndKey(event) || QComboBox::event(event);
}

void CSendComboCtrl::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (isEditable() && !event->modifiers().testFlag(Qt::AltModifier) && count() > 0 &&
        (key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp || key == Qt::Key_PageDown)) {
        // Stepping through the entries only shows them in the field: the edit ends on Return, as with a
        // typed text (the combo box would take each step as the choice).
        const int at = key == Qt::Key_PageUp     ? 0
                       : key == Qt::Key_PageDown ? count() - 1
                                                 : currentIndex() + (key == Qt::Key_Up ? -1 : 1);
        if (at >= 0 && at < count()) setCurrentIndex(at);
        event->accept();
        return;
    }
    if (key == Qt::Key_Escape) m_cancelled = true;
    if (isEndKey(key)) {
        event->accept();
        emit choiceEnded(m_row, m_column);
        return;
    }
    QComboBox::keyPressEvent(event);
    event->accept();
}

void CSendComboCtrl::focusOutEvent(QFocusEvent* event) {
    QComboBox::focusOutEvent(event);
    if (!focusStaysWithin(this, event)) emit choiceEnded(m_row, m_column);
}
