#pragma once
// "过滤器设置": edits a working copy of a CAN identifier filter. After OK the working copy holds the
// edited filter. A read-only dialog shows the filter and can only be cancelled.
#include <QDialog>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

#include "config/filter/canmsgfilter.h"

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableWidget;

// What OK checks: the filter's on state, identifier type and value mode, the range texts, the listed
// identifiers in list order.
struct FilterSetDlgInput {
    bool enable = false;
    bool stdOnly = false;   // "标准ID"
    uint8_t idValType = 2;  // 0 range, 1 list, else any identifier
    QString minText;
    QString maxText;
    std::vector<uint32_t> listed;
};

// A refusal of OK and the input it is about: the start edit, the end edit or a row of the list.
struct FilterSetRefusal {
    enum Field { Min, Max, Row } field = Min;
    int row = -1;
    QString message;
};

// The checks of OK, in order, on what the filter uses while it is on: in range mode the start text, then
// the end text, is a hexadecimal number of at most 32 bits (any value, also beyond the identifier type);
// in list mode every listed identifier fits the type (11 bits with "标准ID", else 29). Range texts the
// filter does not use are not checked and read by their leading hexadecimal digits (empty: 0). The first
// refusal, or none with `min` and `max` read.
std::optional<FilterSetRefusal> validateFilterSetDlg(const FilterSetDlgInput& input, uint32_t& min,
                                                     uint32_t& max);

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
    // "标准ID" is chosen: the identifiers must fit 11 bits.
    bool stdOnly() const;
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
