#pragma once
// The add-queued-frames dialog "添加发送报文": one frame for the queue, typed in or taken from a loaded
// database through the message picker, and how many copies of it to add. On OK the dialog's record and
// count are complete.
#include <QString>

#include <array>
#include <cstdint>

#include "config/cfgrecords.h"
#include "windows/txmsgdlg.h"

class CCanMsgDataHub;
class QLineEdit;

// What the dialog's controls hold when OK is pressed.
struct QueueTxAddDlgInput {
    QString name;
    QString idText;  // hexadecimal
    bool ext = false;
    uint8_t chan = 1;
    QString before;  // ms
    QString after;   // ms
    QString count;
    QString length;               // "1".."8"
    std::array<QString, 8> data;  // hexadecimal
};

inline constexpr uint32_t kQueueTxAddMaxCount = 10000;

// Checks the input in the dialog's order and fills `record` (its Parse flag and database message are kept)
// and `count`. Returns the first refusal: "报文ID值不能为空。", "报文ID值必须为十六进制数。", a count of 0
// "此报文添加的数量不能为0。" (before the identifier's range), any other count that is no number from 1 to
// 10000 "此报文添加的数量必须为1到10000之间的整数。", "此ID值超出标准ID最大值。", "此ID值超出扩展ID最大值。",
// the 0..65535 refusal of the before- and then the after-delay, the 00..FF refusal of the first data byte
// that is none; an empty string when the record was filled. The same identifier may be added any number of
// times.
QString validateQueueTxAddDlg(const QueueTxAddDlgInput& input, tCFG_SET_EXT_QUEUE_TX_MSG& record,
                              uint32_t& count);

class CExtSerQueueTxMsgAddDlg : public CTxMsgDlg {
    Q_OBJECT
public:
    // The picker chooses among the hub's global messages, every one listed.
    explicit CExtSerQueueTxMsgAddDlg(CCanMsgDataHub& hub, QWidget* parent = nullptr);

    // Before the dialog opens: channel 1, length 8, delays 10 and 100 ms, count 1 (a proposed 0 is one the
    // dialog's own check refuses). After OK: the frame and the number of copies to add.
    tCFG_SET_EXT_QUEUE_TX_MSG m_Msg;
    uint32_t m_Count = 1;

    QueueTxAddDlgInput Input() const;
    // Also attaches the message's definition to m_Msg.
    void TakeDatabaseMessage(uint32_t key) override;
    void OnOK() override;

    QLineEdit* beforeEdit() const { return m_before; }
    QLineEdit* afterEdit() const { return m_after; }
    QLineEdit* countEdit() const { return m_count; }

private:
    void showRecord(const tCFG_SET_EXT_QUEUE_TX_MSG& record);

    QLineEdit* m_before = nullptr;
    QLineEdit* m_after = nullptr;
    QLineEdit* m_count = nullptr;
};
