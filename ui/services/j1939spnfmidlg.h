#pragma once
// The SPN-FMI entry dialog "CAN DMx SPN-FMI": one trouble code to send, as four whole numbers.
#include <QDialog>
#include <QString>

#include "services/j1939dmxdata.h"

class QLineEdit;

struct SpnFmiDlgInput {
    QString spn, fmi, cm, oc;  // decimal
};

// Reads the four numbers and checks them in order: a text that is no whole number "请输入一个整数。"; then,
// read as unsigned (a negative number is beyond every limit), "SPN超过最大值。" above 0x7FFFF,
// "FMI超过最大值。" above 31, "CM超过最大值。" above 1, "OC超过最大值。" above 127. Empty when `out` was
// filled.
QString validateSpnFmiDlg(const SpnFmiDlgInput& input, tJ1939_DTC& out);

class CExtSerCanJ1939DmxSpnFmiDlg : public QDialog {
    Q_OBJECT
public:
    explicit CExtSerCanJ1939DmxSpnFmiDlg(QWidget* parent = nullptr);

    // Shown when the dialog opens; after OK, the code entered.
    tJ1939_DTC m_Dtc;
    void SetDtc(const tJ1939_DTC& dtc);
    SpnFmiDlgInput Input() const;
    void OnOK();

    QLineEdit* spnEdit() const { return m_spn; }
    QLineEdit* fmiEdit() const { return m_fmi; }
    QLineEdit* cmEdit() const { return m_cm; }
    QLineEdit* ocEdit() const { return m_oc; }

private:
    QLineEdit* m_spn;
    QLineEdit* m_fmi;
    QLineEdit* m_cm;
    QLineEdit* m_oc;
};
