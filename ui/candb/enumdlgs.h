#pragma once
// Value-table dialogs. CCanSignalEnumEditDlg ("枚举项") edits one public value table: its name and
// entries. CCanSignalEnumItemEditDlg ("枚举内容") edits one entry; a new entry is proposed with the value
// after the last one added (kept in the registry value "dwLastAddEnumItemVal"). CEnumItemsPane is the
// entry list with its add, edit and remove buttons, shared with the signal editor.
#include <QDialog>
#include <QWidget>

#include "candb/canmodel.h"
#include "ui/candb/textrows.h"

class QLineEdit;
class QPushButton;

namespace candbui {
class CReportList;

// The entries of a value table as a list; the buttons edit `table` in place through the entry dialog.
class CEnumItemsPane : public QWidget {
    Q_OBJECT
public:
    // The buttons are made by the caller's dialog (their labels and places differ) and wired here.
    CEnumItemsPane(tCAN_SIGNAL_ENUM& table, QWidget* parent);

    CReportList* list() const { return m_list; }
    CTextRowsModel* model() const { return m_model; }
    int SelRow() const { return m_selRow; }
    // Lists the table's entries anew; no row selected.
    void Reload();

    void OnAddItem();
    void OnEditItem();
    void OnRemoveItem();

private:
    // The first entry that the row shows (same text and value), or -1.
    int entryOfRow(int row) const;
    static CTextRowsModel::Row rowOf(const tCAN_SIGNAL_ENUM_ITEM& item);

    tCAN_SIGNAL_ENUM& m_table;
    CTextRowsModel* m_model;
    CReportList* m_list;
    int m_selRow = -1;
};

}  // namespace candbui

class CCanSignalEnumEditDlg : public QDialog {
    Q_OBJECT
public:
    // `db`: the database whose public tables the name must not clash with (none: no check).
    CCanSignalEnumEditDlg(const tCAN_DATABASE* db, tCAN_SIGNAL_ENUM table, QWidget* parent = nullptr);

    tCAN_SIGNAL_ENUM Enum;
    candbui::CEnumItemsPane* items() const { return m_items; }

    void accept() override;

private:
    const tCAN_DATABASE* m_db;
    std::string m_origName;
    QLineEdit* m_name;
    candbui::CEnumItemsPane* m_items;
};

class CCanSignalEnumItemEditDlg : public QDialog {
    Q_OBJECT
public:
    // New mode proposes an empty text and the value after "dwLastAddEnumItemVal"; edit mode shows the
    // text and value given.
    CCanSignalEnumItemEditDlg(uint8_t mode, tCAN_SIGNAL_ENUM table, std::string text, int32_t value,
                              QWidget* parent = nullptr);

    std::string ItemText;
    int32_t ItemVal = 0;

    void accept() override;

private:
    uint8_t m_mode;
    tCAN_SIGNAL_ENUM m_table;
    std::string m_origText;
    int32_t m_origVal;
    QLineEdit* m_text;
    QLineEdit* m_value;
};
