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
            connect(edit, &CSendEditCtrl::editEnded, self, [self, edit] { self->finishEdit(edit); });
            return edit;
        }
        case CellEditor::Kind::Combo: {
            auto* combo = new CSendComboCtrl(parent);
            combo->StartChoice(index.row(), index.column(), key, text, offer.choices);
            connect(combo, &CSendComboCtrl::choiceEnded, self, [self, combo] { self->finishChoice(combo); });
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
void CSendCellDelegate::finishEdit(CSendEditCtrl* editor) {
    if (!editor->IsEditing()) return;
    CellEditEnd end;
    end.row = editor->Row();
    end.column = editor->Column();
    end.key = editor->Key();
    end.text = editor->text();
    end.cancelled = editor->WasCancelled();
    editor->Reset();
    emit closeEditor(editor, NoHint);
    emit editEnded(end);
}

void CSendCellDelegate::finishChoice(CSendComboCtrl* editor) {
    if (!editor->IsEditing()) return;
    CellEditEnd end;
    end.row = editor->Row();
    end.column = editor->Column();
    end.key = editor->Key();
    end.text = editor->ChosenText();
    end.cancelled = editor->WasCancelled();
    end.combo = true;
    editor->Reset();
    emit closeEditor(editor, NoHint);
    emit editEnded(end);
}
