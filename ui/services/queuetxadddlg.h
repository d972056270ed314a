#pragma once
// The add-queued-frames dialog "添加发送报文": one frame for the queue, typed in or taken from a loaded
// database through the message picker, and how many copies of it to add. On OK the dialog's record and
// count are complete.
#include <QDialog>
#include <QString>

#include <array>
#include <cstdint>

#include "config/cfgrecords.h"

class CCanMsgDataHub;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

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

class CExtSerQueueTxMsgAddDlg : public QDialog {
    Q_OBJECT
public:
    // The picker chooses among the hub's global messages.
    explicit CExtSerQueueTxMsgAddDlg(CCanMsgDataHub& hub, QWidget* parent = nullptr);

    // Before the dialog opens: channel 1, length 8, delays 10 and 100 ms, count 0. After OK: the frame and
    // the number of copies to add.
    tCFG_SET_EXT_QUEUE_TX_MSG m_Msg;
    uint32_t m_Count = 0;

    QueueTxAddDlgInput Input() const;
    // Enables the data edits below the chosen length and disables the rest.
    void OnLengthChosen();
    // Opens the message picker (every message listed) and takes the chosen message.
    void OnPickFromDatabase();
    // Takes a message of the global message map: name, identifier and its type (then locked), length,
    // database definition; "未知的错误。" when the key is not there.
    void TakeDatabaseMessage(uint32_t key);
    void OnOK();

    QLineEdit* nameEdit() const { return m_name; }
    QLineEdit* idEdit() const { return m_id; }
    QRadioButton* stdRadio() const { return m_std; }
    QRadioButton* extRadio() const { return m_ext; }
    QRadioButton* chan0Radio() const { return m_chan0; }
    QRadioButton* chan1Radio() const { return m_chan1; }
    QLineEdit* beforeEdit() const { return m_before; }
    QLineEdit* afterEdit() const { return m_after; }
    QLineEdit* countEdit() const { return m_count; }
    QComboBox* lengthCombo() const { return m_length; }
    QLineEdit* dataEdit(int i) const { return m_data.at(static_cast<size_t>(i)); }

private:
    void showRecord(const tCFG_SET_EXT_QUEUE_TX_MSG& record);

    CCanMsgDataHub& m_hub;
    QLineEdit* m_name;
    QPushButton* m_database;
    QLineEdit* m_id;
    QRadioButton* m_std;
    QRadioButton* m_ext;
    QRadioButton* m_chan0;
    QRadioButton* m_chan1;
    QLineEdit* m_before;
    QLineEdit* m_after;
    QLineEdit* m_count;
    QComboBox* m_length;
    std::array<QLineEdit*, 8> m_data{};
};
