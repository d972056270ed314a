#pragma once
// The send signal list, the lower pane of the send window: the signals of the transmit message last
// activated in the message list, decoded from its data bytes. The raw value is typed in, the physical
// value typed in or, for a signal with a value table, typed in or chosen from the table's texts; each
// change is checked against what the signal's bits carry, packed into the message's data bytes, stored,
// and reported so that the message list follows.
#include <QAbstractTableModel>
#include <QTableView>

#include <cstdint>
#include <functional>
#include <vector>

#include "config/cfgrecords.h"

class CSendCellDelegate;
struct CellEditEnd;

// One row per signal: name, raw text, physical text, unit. ItemDataRole of any cell: 1 when the signal
// shows through its value table, plus 2 when it is signed.
class CSendSigModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { kName, kRaw, kPhy, kUnit, kColumns };
    // CSendCellDelegate::KeyRole carries the shown message's key.
    static constexpr int ItemDataRole = Qt::UserRole + 1;
    struct Row {
        QString name, raw, phy, unit;
        int32_t itemData = 0;
    };

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    // Every cell may start an in-place edit; the view's delegate decides which do.
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    void SetRows(std::vector<Row> rows);
    const std::vector<Row>& Rows() const { return m_rows; }
    // Sets the raw and physical texts of the first row named exactly `name`; no such row, no change.
    void UpdateSigValue(const QString& name, const QString& raw, const QString& phy);
    // "Raw Value" until the first reset or toggle, then "Raw Value[HEX]" or "Raw Value[DEC]".
    void SetRawHeader(const QString& header);
    // The key every row carries (CSendCellDelegate::KeyRole): the shown message's, -1 for none.
    void SetKey(int64_t key) { m_key = key; }

private:
    std::vector<Row> m_rows;
    QString m_rawHeader = QStringLiteral("Raw Value");
    int64_t m_key = -1;
};

// What a signal list reads and writes of the store it shows: a record's data bytes, Parse flag and database
// message by key, and the store's own raw-value display flag. The send window's transmit store and the
// queue-transmit section both serve.
struct SigListStore {
    struct Record {
        uint8_t (*data)[8] = nullptr;  // null: the key is not stored
        bool parse = false;
        const CCanMsg* msg = nullptr;
    };
    std::function<Record(uint32_t key)> find;
    uint8_t* rawHexFlag = nullptr;

    static SigListStore Of(tCFG_SET_SEND& store);
    static SigListStore Of(tCFG_SET_EXT_QUEUE_TX_SERVICE& store);
};

class CSendSigView : public QTableView {
    Q_OBJECT
public:
    // `store` is the configuration's transmit store: its records and the raw-value display flag.
    explicit CSendSigView(tCFG_SET_SEND& store, QWidget* parent = nullptr);
    // Any store: the queue-transmit section for the queue-transmit window's signal list.
    explicit CSendSigView(SigListStore store, QWidget* parent = nullptr);

    CSendSigModel* sigModel() const { return m_model; }
    // The key of the message shown, -1 for none.
    int64_t CurrentKey() const { return m_key; }

    // Shows the signals of a message (none when it has no database definition) and their values. A key
    // not in the transmit store changes nothing.
    void LoadSignals(uint32_t key);
    // Recomputes every signal's texts from the stored data bytes. A key other than the shown one is
    // refused with "目标发送报文与当前设置的发送报文不一致。".
    void RefreshValues(uint32_t key);
    // Empties the list, shows no message, and titles the raw column by the display flag.
    void ResetSigList();
    // The message list deleted a message: the list is emptied when it showed that one.
    void OnMsgDeleted(uint32_t key);
    // A click on the raw column's header switches raw values between hexadecimal and decimal (the
    // configuration's flag) and shows them anew; other headers do nothing.
    void OnHeaderClicked(int column);
    // The end of an in-place edit of a raw or physical value, packed into the stored data bytes.
    void OnEditEnd(const CellEditEnd& end);

signals:
    // The data bytes of a stored message changed.
    void dataBytesChanged(uint32_t key);

private:
    bool rawHex() const;
    void updateRawHeader();

    SigListStore m_store;
    CSendSigModel* m_model;
    CSendCellDelegate* m_delegate;
    int64_t m_key = -1;
};
