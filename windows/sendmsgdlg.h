#pragma once
// The add-send-message dialog "添加发送报文": one new transmit message, typed in or taken from a loaded
// database through the message picker. On OK the dialog's record is complete and its key is not yet in
// the transmit store.
#include <QDialog>
#include <QString>

#include <array>
#include <cstdint>

#include "config/cfgrecords.h"

class CCanMsgDataHub;
class QButtonGroup;
class QComboBox;
class QLineEdit;
class QPushButton;
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

class CSendMsgDlg : public QDialog {
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

    // Enables the data edits below the chosen length and disables the rest.
    void OnLengthChosen();
    // Opens the message picker (without the database messages already in the store) and takes the chosen
    // message: name, identifier and its type (then locked), length, database definition.
    void OnPickFromDatabase();
    // Takes the picked message of a key of the global message map; "未知的错误。" when it is not there.
    void TakeDatabaseMessage(uint32_t key);
    void OnOK();

    QLineEdit* nameEdit() const { return m_name; }
    QLineEdit* idEdit() const { return m_id; }
    QRadioButton* stdRadio() const { return m_std; }
    QRadioButton* extRadio() const { return m_ext; }
    QRadioButton* dataRadio() const { return m_dat; }
    QRadioButton* rmtRadio() const { return m_rmt; }
    QRadioButton* chan0Radio() const { return m_chan0; }
    QRadioButton* chan1Radio() const { return m_chan1; }
    QLineEdit* periodEdit() const { return m_period; }
    QLineEdit* countEdit() const { return m_count; }
    QComboBox* lengthCombo() const { return m_length; }
    QLineEdit* dataEdit(int i) const { return m_data.at(static_cast<size_t>(i)); }
    QPushButton* databaseButton() const { return m_database; }

private:
    CCanMsgDataHub& m_hub;
    const tCFG_SET_SEND& m_store;
    QLineEdit* m_name;
    QPushButton* m_database;
    QLineEdit* m_id;
    QRadioButton* m_std;
    QRadioButton* m_ext;
    QRadioButton* m_dat;
    QRadioButton* m_rmt;
    QRadioButton* m_chan0;
    QRadioButton* m_chan1;
    QLineEdit* m_period;
    QLineEdit* m_count;
    QComboBox* m_length;
    std::array<QLineEdit*, 8> m_data{};
};
