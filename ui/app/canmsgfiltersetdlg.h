#pragma once
// "过滤器设置": edits a working copy of a CAN identifier filter. After OK the working copy holds the
// edited filter. A read-only dialog shows the filter and can only be cancelled.
#include <QDialog>

#include "config/filter/canmsgfilter.h"

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableWidget;

class CCanMsgFilterSetDlg : public QDialog {
    Q_OBJECT
public:
    CCanMsgFilterSetDlg(const CCanMsgFilter& filter, bool readOnly = false, QWidget* parent = nullptr);

    // The working copy.
    const CCanMsgFilter& filter() const { return m_filter; }
    // The selected row of the identifier list, or -1.
    int selectedRow() const;

    void accept() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void onAdd();
    void onEdit();
    void onRemove();
    void applyEnableRule();
    void setRangeEditable(bool editable);
    void appendRow(uint32_t id, const QString& descr);
    void setRow(int row, uint32_t id, const QString& descr);
    std::vector<uint32_t> listedIds() const;
    QRadioButton* addRadio(QButtonGroup* group, const char* text, int value, const char* name);

    CCanMsgFilter m_filter;
    bool m_readOnly;
    QCheckBox* m_enable;
    QButtonGroup* m_block;
    QButtonGroup* m_chan;
    QButtonGroup* m_frmType;
    QButtonGroup* m_idType;
    QButtonGroup* m_idValType;
    QRadioButton* m_range;   // "连续ID值"
    QRadioButton* m_listed;  // "离散ID值"
    QRadioButton* m_anyId;   // "忽略ID值"
    QLineEdit* m_min;
    QLineEdit* m_max;
    QTableWidget* m_list;
    QPushButton* m_add;
    QPushButton* m_edit;
    QPushButton* m_remove;
    QPushButton* m_ok;
};
