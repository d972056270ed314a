#include "windows/sendcelldelegate.h"

CSendCellDelegate::CSendCellDelegate(QObject* parent) : QStyledItemDelegate(parent) {}

QWidget* CSendCellDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                         const QModelIndex& index) const {
    if (!m_chooser || !index.isValid()) return nullptr;
    bool hasKey = false;
    const qlonglong key = index.data(KeyRole).toLongLong(&hasKey);
    if (!hasKey || key < 0) return nullptr;
    const CellEditor offer = m_chooser(index);
    const QString text = index.data(Qt::DisplayRole).toString();
    // The editors report to the delegate, which is not const towards its own signals.
    auto* self = const_cast<CSendCellDelegate*>(this);
    switch (offer.kind) {
        case CellEditor::Kind::Edit: {
            auto* edit = new CSendEditCtrl(parent);
            edit->SetInputMode(offer.inputMode);
            edit->StartEdit(index.row(), index.column(), key, text);
            connect(edit, &CSendEditCtrl::editEnded, self,
                    [self, edit] { self->finish(edit, *edit, edit->text(), false); });
            return edit;
        }
        case CellEditor::Kind::Combo: {
            auto* combo = new CSendComboCtrl(parent);
            if (offer.typed)
                combo->StartTypedChoice(index.row(), index.column(), key, text, offer.choices);
            else
                combo->StartChoice(index.row(), index.column(), key, text, offer.choices);
            connect(combo, &CSendComboCtrl::choiceEnded, self,
                    [self, combo] { self->finish(combo, *combo, combo->ChosenText(), true); });
            return combo;
        }
        case CellEditor::Kind::None:
            break;
    }
    return nullptr;
}

void CSendCellDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                             const QModelIndex&) const {
    editor->setGeometry(option.rect);
}

bool CSendCellDelegate::eventFilter(QObject*, QEvent*) {
    return false;
}

// The editor is idle again before the view hears of the end, so the focus loss that closing it causes
// reports nothing a second time, and the view may show a message box while it applies the text.
void CSendCellDelegate::finish(QWidget* editor, CSendCellEditState& state, const QString& text, bool combo) {
    if (!state.IsEditing()) return;
    CellEditEnd end;
    end.row = state.Row();
    end.column = state.Column();
    end.key = state.Key();
    end.text = text;
    end.cancelled = state.WasCancelled();
    end.combo = combo;
    state.Reset();
    emit closeEditor(editor, NoHint);
    emit editEnded(end);
}
