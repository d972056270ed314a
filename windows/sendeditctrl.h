#pragma once
// The two in-place cell editors of the send and queue-transmit lists: a one-cell text editor with a
// per-column key filter and a one-cell drop-down choice (which may also take a typed text). Each reports the
// end of an edit synchronously (a direct signal carrying row and column); the receiver reads row, column, key
// and text from the control. An edit is in progress exactly while the key is not -1; a report that arrives
// while idle (the focus loss that follows hiding the control) is to be ignored.
#include <QComboBox>
#include <QLineEdit>
#include <QStringList>

#include <cstdint>

// What an in-place editor knows of the edit in progress.
class CSendCellEditState {
public:
    bool IsEditing() const { return m_key != -1; }
    int32_t Row() const { return m_row; }
    int32_t Column() const { return m_column; }
    int64_t Key() const { return m_key; }
    // The cell's text when the edit started.
    const QString& StartText() const { return m_text; }
    // True when the edit ended with Escape.
    bool WasCancelled() const { return m_cancelled; }
    // Back to idle: row, column and key -1, start text empty.
    void Reset();

protected:
    void Begin(int32_t row, int32_t column, int64_t key, const QString& text);

    int32_t m_row = -1;
    int32_t m_column = -1;
    int64_t m_key = -1;
    QString m_text;
    bool m_cancelled = false;
};

class CSendEditCtrl : public QLineEdit, public CSendCellEditState {
    Q_OBJECT
public:
    // Input modes, set by the owning view before each edit.
    static constexpr int32_t kInputText = 2;  // names, raw and physical values: every key passes
    static constexpr int32_t kInputHex = 3;   // data bytes: digits, A-F and editing keys only
    static constexpr int32_t kInputDecimal =
        4;  // periods, counts, delays: digits, minus, period, editing keys

    explicit CSendEditCtrl(QWidget* parent = nullptr);

    // Whether a key press reaches the editor in `mode`. Always passing: the digits of the main keyboard and
    // the keypad, Backspace, Delete, the four arrows and the keypad minus. Mode 3 adds the letters A-F,
    // mode 4 the main-keyboard minus and period; in mode 2 (and any other mode) every key passes. Only key
    // presses are filtered: pasted text is not.
    static bool KeyPasses(int32_t mode, int key, Qt::KeyboardModifiers modifiers);

    void SetInputMode(int32_t mode) { m_inputMode = mode; }
    int32_t InputMode() const { return m_inputMode; }

    // Begins an edit of (row, column) of the entry `key` (not -1): stores them, shows `text` as the start
    // text with all of it selected.
    void StartEdit(int32_t row, int32_t column, int64_t key, const QString& text);
    // Stores `text` as the start text and shows it.
    void SetEditText(const QString& text);

signals:
    // Return, Escape (after showing the start text again) or the loss of the focus.
    void editEnded(int row, int column);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    int32_t m_inputMode = kInputText;
};

class CSendComboCtrl : public QComboBox, public CSendCellEditState {
    Q_OBJECT
public:
    explicit CSendComboCtrl(QWidget* parent = nullptr);

    // Begins a choice for (row, column) of the entry `key` (not -1): replaces the list by `choices`,
    // selects the first one that begins with `text` (ignoring case; none when no choice does) and opens the
    // drop-down once control has returned to the event loop.
    void StartChoice(int32_t row, int32_t column, int64_t key, const QString& text,
                     const QStringList& choices);

    // Begins an edit for (row, column) of the entry `key` (not -1) whose text is typed or chosen: the list
    // is `choices` with the entry equal to `text` selected (none when no entry is), the edit field shows
    // `text` all selected, so typing replaces it. The drop-down opens on its arrow (or Alt+Down, F4); Up
    // and Down step through the entries (PageUp and PageDown to the first and last), ending nothing. Nothing
    // typed is added to the list.
    void StartTypedChoice(int32_t row, int32_t column, int64_t key, const QString& text,
                          const QStringList& choices);

    // The text the choice ended with: the start text when cancelled, else the selected entry ("" for none),
    // or, where a text may be typed, the edit field's text.
    QString ChosenText() const { return m_cancelled ? m_text : currentText(); }

signals:
    // An entry was chosen, Return or Escape was pressed with the drop-down closed, or the focus was lost.
    void choiceEnded(int row, int column);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
};
