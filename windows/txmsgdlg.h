#pragma once
// What the two add-message dialogs "添加发送报文" share, the send window's and the transmit queue's: the
// controls of one frame (name with the 数据库 button, identifier and its type, channel, length, eight data
// bytes), taking a message from a loaded database through the message picker, and the checks of the
// identifier and the data bytes. Each dialog lays its own controls out between the shared rows, keeps its
// own record and checks the rest of its input itself.
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QRadioButton>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class CCanMsg;
class CCanMsgDataHub;
class QGridLayout;
class QPushButton;

// The identifier text into `id`: "报文ID值不能为空。" when blank, "报文ID值必须为十六进制数。" when it is no
// hexadecimal number; an empty string when read.
QString validateTxMsgIdText(const QString& text, uint32_t& id);
// "此ID值超出标准ID最大值。" or "此ID值超出扩展ID最大值。" for an identifier beyond its type, else empty.
QString validateTxMsgIdRange(uint32_t id, bool ext);
// The data byte texts into `data`: the 00..FF refusal of the first that is none, else empty.
QString validateTxMsgData(const std::array<QString, 8>& texts, std::array<uint8_t, 8>& data);

class CTxMsgDlg : public QDialog {
    Q_OBJECT
public:
    // Enables the data edits below the chosen length and disables the rest.
    void OnLengthChosen();
    // Opens the message picker (without PickerExclusions) and takes the chosen message.
    void OnPickFromDatabase();
    // Takes a message of the global message map: name, identifier and its type (then locked), length,
    // database definition; "未知的错误。" when the key is not there.
    virtual void TakeDatabaseMessage(uint32_t key) = 0;
    // Checks the input; a refusal is shown and the dialog stays open, else it closes accepted.
    virtual void OnOK() = 0;

    QLineEdit* nameEdit() const { return m_name; }
    QLineEdit* idEdit() const { return m_id; }
    QRadioButton* stdRadio() const { return m_std; }
    QRadioButton* extRadio() const { return m_ext; }
    QRadioButton* chan0Radio() const { return m_chan0; }
    QRadioButton* chan1Radio() const { return m_chan1; }
    QComboBox* lengthCombo() const { return m_length; }
    QLineEdit* dataEdit(int i) const { return m_data.at(static_cast<size_t>(i)); }
    QPushButton* databaseButton() const { return m_database; }

protected:
    // The picker chooses among the hub's global messages. The dialog makes its controls row by row with
    // the functions below, top to bottom, so that Tab follows the rows.
    CTxMsgDlg(CCanMsgDataHub& hub, QWidget* parent);

    // Rows "定义名称：" with the 数据库 button, "ID值[HEX]：" and "ID类型：".
    void AddIdRows();
    // A row of two radio buttons of which exactly one is on.
    std::pair<QRadioButton*, QRadioButton*> AddChoiceRow(const char* label, const char* first,
                                                         const char* second);
    // The "通道：" row.
    void AddChannelRow();
    // A row of one edit over two columns.
    QLineEdit* AddEditRow(const char* label);
    // Rows "长度：" (1 to 8) and "数据[HEX]：".
    void AddLengthAndDataRows();
    // The rows above "确定" (OnOK) and "取消".
    void AddButtonRow();

    // Keys the picker does not list.
    virtual std::vector<uint32_t> PickerExclusions() const { return {}; }

    // Shows the fields a record shares with the other dialog: name, identifier, type, channel, data bytes.
    template <class Record>
    void ShowFrame(const Record& record) {
        showFrame(record.MsgName, record.MsgID, record.Ext != 0, record.Chan, record.TxData);
    }
    // Reads those fields and the length into the dialog's input.
    template <class Input>
    void ReadFrame(Input& in) const {
        in.name = m_name->text();
        in.idText = m_id->text();
        in.ext = m_ext->isChecked();
        in.chan = m_chan1->isChecked() ? 1 : 0;
        in.length = m_length->currentText();
        for (size_t i = 0; i < m_data.size(); ++i) in.data[i] = m_data[i]->text();
    }
    // Shows the database message of a key and attaches it to `record` (TakeDatabaseMessage).
    template <class Record>
    void TakeDatabaseMessageInto(uint32_t key, Record& record) {
        const std::shared_ptr<const CCanMsg> msg = showDatabaseMessage(key);
        if (!msg) return;
        record.Parse = 1;
        record.CanMsg = *msg;
    }
    // Enables the data edits below `length` and disables the rest.
    void EnableDataBelow(int32_t length);

private:
    void addLabel(const char* utf8);
    void showFrame(const std::string& name, uint32_t id, bool ext, uint8_t chan, const uint8_t (&data)[8]);
    std::shared_ptr<const CCanMsg> showDatabaseMessage(uint32_t key);

    CCanMsgDataHub& m_hub;
    QGridLayout* m_grid;
    int m_row = 0;
    QLineEdit* m_name = nullptr;
    QPushButton* m_database = nullptr;
    QLineEdit* m_id = nullptr;
    QRadioButton* m_std = nullptr;
    QRadioButton* m_ext = nullptr;
    QRadioButton* m_chan0 = nullptr;
    QRadioButton* m_chan1 = nullptr;
    QComboBox* m_length = nullptr;
    std::array<QLineEdit*, 8> m_data{};
};
