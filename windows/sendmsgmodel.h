#pragma once
// The rows of the send message list: one row per transmit message, in the order they were added, each
// carrying its message key. Cell texts are made on demand from the transmit store, which owns the records;
// the model itself keeps only the key and the two states that exist on the program's side alone: whether
// the message is being sent cyclically and whether a single send is running.
#include <QAbstractTableModel>

#include <cstdint>
#include <vector>

#include "config/cfgrecords.h"

class CSendMsgModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        kName,
        kId,
        kIdType,
        kFrmType,
        kChan,
        kPeriod,
        kCount,
        kLength,
        kCyclic,
        kSend,
        kData0,
        kColumns = kData0 + 8
    };

    // `store` is the configuration's transmit store; it outlives the model.
    explicit CSendMsgModel(tCFG_SET_SEND& store, QObject* parent = nullptr);

    tCFG_SET_SEND& Store() { return m_store; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    // DisplayRole: the cell texts ("%08X" identifier, "ext"/"std", "rmt"/"dat", numbers in decimal, data
    // bytes "%02X" below the length and "--" from it on, "1"/"0" for the cyclic and send cells).
    // CSendCellDelegate::KeyRole: the row's message key. Every cell and header is centred.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    // Every cell may start an in-place edit; the view's delegate decides which do.
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Every row removed; the store keeps its records.
    void Clear();
    // Appends a row for the key; a key that has a row already keeps that one. Returns the row.
    int AddKey(uint32_t key);
    // Stores the record under its key (a copy is taken first: it may be the stored one) and gives it a
    // row, the one it has if any. Returns the row.
    int AddRecord(const tCFG_SET_SEND_MSG& record);
    // Writes an edited record back under its key and redraws its row; false when the key is gone.
    bool SetRecord(uint32_t key, const tCFG_SET_SEND_MSG& record);
    // Removes the row and its record from the store.
    void RemoveRow(int row);
    // The row of a key, or -1.
    int RowOfKey(uint32_t key) const;
    uint32_t KeyAt(int row) const { return m_rows.at(static_cast<size_t>(row)).key; }

    bool IsCyclic(int row) const { return m_rows.at(static_cast<size_t>(row)).cyclic; }
    void SetCyclic(int row, bool cyclic);
    // Every row not cyclic.
    void ResetCyclic();
    bool IsSending(int row) const { return m_rows.at(static_cast<size_t>(row)).sending; }
    void SetSending(int row, bool sending);

    // The stored record of a key changed: its row is redrawn.
    void RecordChanged(uint32_t key);

    // Looks a record up in the store; null when the key is not there.
    const tCFG_SET_SEND_MSG* Record(uint32_t key) const;

private:
    struct Row {
        uint32_t key = 0;
        bool cyclic = false;
        bool sending = false;
    };
    void cellChanged(int row, int column);

    tCFG_SET_SEND& m_store;
    std::vector<Row> m_rows;
};
