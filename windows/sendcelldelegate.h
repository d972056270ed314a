#pragma once
// In-place editing of list cells through an item delegate: the owning view says per cell which editor it
// offers (none, the text editor in an input mode, or a drop-down of choices that may also take a typed
// text), and learns the end of every
// edit synchronously through editEnded, with row, column, entry key and text. The delegate writes nothing
// into the model: the view applies the text to its stored record (and refuses it if need be).
//
//   auto* delegate = new CSendCellDelegate(view);
//   delegate->SetChooser([](const QModelIndex& i) { return i.column() == 5
//       ? CellEditor::edit(CSendEditCtrl::kInputDecimal) : CellEditor{}; });
//   QObject::connect(delegate, &CSendCellDelegate::editEnded, view, &MyView::OnEditEnd);
//   view->setItemDelegate(delegate);   // with QAbstractItemView::DoubleClicked as the edit trigger
#include <QStringList>
#include <QStyledItemDelegate>

#include <cstdint>
#include <functional>

#include "windows/sendeditctrl.h"

// The editor a cell offers when an edit starts on it.
struct CellEditor {
    enum class Kind { None, Edit, Combo };
    Kind kind = Kind::None;
    int32_t inputMode = CSendEditCtrl::kInputText;  // Edit: key filter
    QStringList choices;                            // Combo: the entries, in list order
    bool typed = false;                             // Combo: a text may be typed as well as chosen

    static CellEditor edit(int32_t inputMode) { return {Kind::Edit, inputMode, {}}; }
    static CellEditor combo(QStringList choices) {
        return {Kind::Combo, CSendEditCtrl::kInputText, std::move(choices)};
    }
    // A drop-down of choices whose text can also be typed (CSendComboCtrl::StartTypedChoice).
    static CellEditor typedCombo(QStringList choices) {
        return {Kind::Combo, CSendEditCtrl::kInputText, std::move(choices), true};
    }
};

// The end of one in-place edit, reported once.
struct CellEditEnd {
    int row = -1;
    int column = -1;
    int64_t key = -1;        // the row's entry key (CSendCellDelegate::KeyRole) when the edit started
    QString text;            // the editor's text; the start text when cancelled
    bool cancelled = false;  // Escape: the text is the cell's text before the edit
    bool combo = false;      // ended by a drop-down (chosen, or typed into one), else by the text editor
};
Q_DECLARE_METATYPE(CellEditEnd)

class CSendCellDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    // The model role that carries a row's entry key (its item data): a non-negative integer. A cell whose
    // row has no key offers no editor.
    static constexpr int KeyRole = Qt::UserRole;

    using Chooser = std::function<CellEditor(const QModelIndex&)>;

    explicit CSendCellDelegate(QObject* parent = nullptr);

    // Decides the editor of a cell when an edit starts on it (no chooser: no cell is editable). The chooser
    // may refuse with a message of its own and answer Kind::None.
    void SetChooser(Chooser chooser) { m_chooser = std::move(chooser); }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    // The editor keeps the text it started with, whatever the model reports meanwhile.
    void setEditorData(QWidget*, const QModelIndex&) const override {}
    // Edits reach the view through editEnded only.
    void setModelData(QWidget*, QAbstractItemModel*, const QModelIndex&) const override {}
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;

signals:
    // Sent synchronously, once per edit, after the editor was closed.
    void editEnded(const CellEditEnd& end);

protected:
    // Keys and the focus are handled by the editors themselves.
    bool eventFilter(QObject* object, QEvent* event) override;

private:
    void finish(QWidget* editor, CSendCellEditState& state, const QString& text, bool combo);

    Chooser m_chooser;
};
