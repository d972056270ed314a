#pragma once
// The add-send-message dialog "添加发送报文": one new transmit message, typed in or taken from a loaded
// database through the message picker. On OK the dialog's record is complete and its key is not yet in
// the transmit store.
#include <QString>

#include <array>
#include <cstdint>
#include <vector>

#include "config/cfgrecords.h"
#include "windows/txmsgdlg.h"

class CCanMsgDataHub;
class QLineEdit;
class QRadioButton;

// What the dialog's controls hold when OK is pressed.
struct SendMsgDlgInput {
    QString name;
    QString idText;  // hexadecimal
    bool ext = false;
    bool rmt = false;
    uint8_t chan = 1;
    QString period;
    QString count;
    QString length;               // "1".."8"
    std::array<QString, 8> data;  // hexadecimal
};

// Checks the input in the dialog's order and fills `record` (its Parse flag and database message are kept).
// Returns the first refusal: "报文ID值不能为空。", "报文ID值必须为十六进制数。", "此ID值超出标准ID最大值。",
// "此ID值超出扩展ID最大值。", "此ID值报文已经添加至发送窗口。" (the key is in `store`), the 0..65535 refusal
// of the period and then the count, the 00..FF refusal of the first data byte that is none; an empty
// string when the record was filled. The name may be empty; a remote frame gets length 0.
QString validateSendMsgDlg(const SendMsgDlgInput& input, const tCFG_SET_SEND& store,
                           tCFG_SET_SEND_MSG& record);

class CSendMsgDlg : public CTxMsgDlg {
    Q_OBJECT
public:
    // The picker chooses among the hub's global messages; `store` is the transmit store the new key must
    // not be in.
    CSendMsgDlg(CCanMsgDataHub& hub, const tCFG_SET_SEND& store, QWidget* parent = nullptr);

    // Before the dialog opens: the defaults of a new message (channel 1, length 8, period 500 ms); the
    // controls show it. After OK: the message to add.
    tCFG_SET_SEND_MSG m_Msg;

    // Shows a record in the controls (the database flag is cleared).
    void SetRecord(const tCFG_SET_SEND_MSG& record);
    SendMsgDlgInput Input() const;

    // Also attaches the message's definition to m_Msg.
    void TakeDatabaseMessage(uint32_t key) override;
    void OnOK() override;

    QRadioButton* dataRadio() const { return m_dat; }
    QRadioButton* rmtRadio() const { return m_rmt; }
    QLineEdit* periodEdit() const { return m_period; }
    QLineEdit* countEdit() const { return m_count; }

protected:
    // The database messages already in the store.
    std::vector<uint32_t> PickerExclusions() const override;

private:
    const tCFG_SET_SEND& m_store;
    QRadioButton* m_dat = nullptr;
    QRadioButton* m_rmt = nullptr;
    QLineEdit* m_period = nullptr;
    QLineEdit* m_count = nullptr;
};
