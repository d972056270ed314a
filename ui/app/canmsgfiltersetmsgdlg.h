#pragma once
// "过滤CAN报文编辑": enters one listed identifier (hexadecimal) and its description for the filter
// settings dialog. OK runs validateFilterMsg and stays open with its message when a check fails.
#include <QDialog>

#include <cstdint>
#include <vector>

class QLineEdit;

class CCanMsgFilterSetMsgDlg : public QDialog {
    Q_OBJECT
public:
    // editKind: kFilterMsgAdd or kFilterMsgEdit; existing: the identifiers already listed; idText and
    // descr: the texts shown at opening (the identifier it was opened with is idText read as hexadecimal).
    CCanMsgFilterSetMsgDlg(uint8_t editKind, std::vector<uint32_t> existing, const QString& idText,
                           const QString& descr, QWidget* parent = nullptr);

    // After OK: the entered texts and the identifier the identifier text stands for.
    QString idText() const;
    QString descr() const;
    uint32_t msgId() const;

    void accept() override;

private:
    uint8_t m_editKind;
    std::vector<uint32_t> m_existing;
    int32_t m_startId;
    QLineEdit* m_id;
    QLineEdit* m_descr;
};
