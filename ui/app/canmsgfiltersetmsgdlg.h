#pragma once
// "过滤CAN报文编辑": enters one listed identifier (hexadecimal) and its description for the filter
// settings dialog. OK runs validateFilterMsgDlg and stays open with its message when a check fails.
#include <QDialog>
#include <QString>

#include <cstdint>
#include <vector>

class QLineEdit;

// The checks of the one-identifier dialog's OK, in order: "ID值不能为空" for an empty or blank text; the
// send dialog's identifier checks, a hexadecimal number ("报文ID值必须为十六进制数。") that fits the
// identifier type, 11 bits when the filter takes standard identifiers only, else 29
// ("此ID值超出标准ID最大值。", "此ID值超出扩展ID最大值。"); then validateFilterMsg (edit kind, identifier
// already listed). The first message, or an empty string with `id` read.
QString validateFilterMsgDlg(uint8_t editKind, const QString& idText, bool stdOnly, int32_t startId,
                             const std::vector<uint32_t>& existing, uint32_t& id);

class CCanMsgFilterSetMsgDlg : public QDialog {
    Q_OBJECT
public:
    // editKind: kFilterMsgAdd or kFilterMsgEdit; existing: the identifiers already listed; stdOnly: the
    // filter takes standard identifiers only; idText and descr: the texts shown at opening (the
    // identifier it was opened with is idText read as hexadecimal).
    CCanMsgFilterSetMsgDlg(uint8_t editKind, std::vector<uint32_t> existing, bool stdOnly,
                           const QString& idText, const QString& descr, QWidget* parent = nullptr);

    // After OK: the entered texts and the identifier the identifier text stands for.
    QString idText() const;
    QString descr() const;
    uint32_t msgId() const;

    void accept() override;

private:
    uint8_t m_editKind;
    std::vector<uint32_t> m_existing;
    bool m_stdOnly;
    int32_t m_startId;
    uint32_t m_msgId = 0;
    QLineEdit* m_id;
    QLineEdit* m_descr;
};
