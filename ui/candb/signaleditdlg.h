#pragma once
// "信号": creates or edits one signal: name, sign, bit length, byte order, factor, offset, limits (with a
// button that computes them from the bit length), unit and the signal's own value table. The start bit
// is shown only: it is placed in the message editor's bit grid. OK checks (validateSignalEdit) and stays
// open with the first failing message; after OK `Signal` holds the edited signal.
#include <QDialog>

#include "candb/canmodel.h"
#include "ui/candb/dbeditcheck.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
namespace candbui {
class CEnumItemsPane;
}

class CCanSignalEditDlg : public QDialog {
    Q_OBJECT
public:
    // A new signal: 8 bits, Intel, factor 1.
    static CCanSignal DefaultSignal();

    // `msg`: a copy of the message the signal belongs to; `db` is read for its public tables only.
    CCanSignalEditDlg(const tCAN_DATABASE* db, CCanMsg msg, CCanSignal signal, QWidget* parent = nullptr);

    CCanSignal Signal;

    candbui::tSIGNAL_EDIT_FIELDS Fields() const;
    candbui::CEnumItemsPane* items() const { return m_items; }

    void OnComputeRange();
    void OnImportEnum();
    void OnEnumCheck();
    void accept() override;

private:
    QLineEdit* edit(const char* name, const QString& text);

    const tCAN_DATABASE* m_db;
    CCanMsg m_msg;
    std::string m_origName;
    QLineEdit* m_name;
    QComboBox* m_sign;
    QLineEdit* m_bitLen;
    QComboBox* m_byteFmt;
    QLineEdit* m_startBit;
    QLineEdit* m_factor;
    QLineEdit* m_offset;
    QLineEdit* m_min;
    QLineEdit* m_max;
    QLineEdit* m_unit;
    QCheckBox* m_enum;
    candbui::CEnumItemsPane* m_items;
    QPushButton* m_import;
    QPushButton* m_add;
    QPushButton* m_editItem;
    QPushButton* m_remove;
};
