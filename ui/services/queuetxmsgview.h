#pragma once
// The queued-frame list, the upper pane of the queue-transmit window: one row per queued frame in sending
// order. Frames are added, deleted and moved, their cells edited in place (name, channel, delays, length,
// data bytes); every change is written back into the configuration's queue-transmit section, keyed by
// each frame's key, and the rows' order into each record's MsgTxIndex. While the list is sending nothing can
// be clicked or edited; the worker's progress selects the row being sent.
#include <QAbstractTableModel>
#include <QTableView>

#include <cstdint>
#include <string>
#include <vector>

#include "config/cfgrecords.h"

class CSendCellDelegate;
struct CellEditEnd;

// The rows: only the keys, in display order; the texts are made from the section's records on demand (a
// key whose record is gone shows empty cells).
class CQueueTxMsgModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { kName, kId, kType, kChan, kBefore, kAfter, kLength, kData0, kColumns = kData0 + 8 };

    explicit CQueueTxMsgModel(tCFG_SET_EXT_QUEUE_TX_SERVICE& section, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    // DisplayRole: "%X" identifier, "ext"/"std", numbers in decimal (the file's text while an entry read
    // unsendable holds the value read: a delay of "-5", a length of "264"), bytes "%02X" below the length
    // and "--" from it on. CSendCellDelegate::KeyRole: the row's key. Cells and headers are centred.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    void SetKeys(std::vector<uint32_t> keys);
    void AppendKey(uint32_t key);
    void RemoveRow(int row);
    // Exchanges two rows (texts and keys).
    void SwapRows(int a, int b);
    // The record of a key changed: its row is redrawn.
    void RecordChanged(uint32_t key);

    // The file attribute a column edits ("Chan", "DL", "BeforeDelayTime", "TxData0" ...); empty for others.
    static std::string AttrOfColumn(int column);

    const std::vector<uint32_t>& Keys() const { return m_keys; }
    uint32_t KeyAt(int row) const { return m_keys.at(static_cast<size_t>(row)); }
    int RowOfKey(uint32_t key) const;
    tCFG_SET_EXT_QUEUE_TX_SERVICE& Section() { return m_section; }
    const tCFG_SET_EXT_QUEUE_TX_MSG* Record(uint32_t key) const;

private:
    tCFG_SET_EXT_QUEUE_TX_SERVICE& m_section;
    std::vector<uint32_t> m_keys;
};

class CExtSerCanMsgQueueTxMsgListView : public QTableView {
    Q_OBJECT
public:
    explicit CExtSerCanMsgQueueTxMsgListView(tCFG_SET_EXT_QUEUE_TX_SERVICE& section,
                                             QWidget* parent = nullptr);

    CQueueTxMsgModel* msgModel() const { return m_model; }

    // Rows from the section, ordered by MsgTxIndex (equal indexes by key).
    void ReloadMsgList();
    // Each row's position into its record's MsgTxIndex.
    void StoreOrder();
    // Appends `count` copies of a frame, each under the next key of the section.
    void AddFrames(const tCFG_SET_EXT_QUEUE_TX_MSG& frame, uint32_t count);
    // Without a selected row "请选择其中一项进行操作。"; otherwise the frame leaves the section and the list.
    void DeleteSelected();
    // Moves the selected frame one row up or down; the selection follows it. Nothing at either end.
    void MoveSelected(int step);
    // The signal list changed the data bytes of a frame: its byte cells are redrawn.
    void UpdateRowData(uint32_t key);
    // The end of an in-place edit, applied to the stored record. Numbers that are no number in the cell's
    // range are refused with a message (the record keeps its value), as in the send list.
    void OnEditEnd(const CellEditEnd& end);

    // The keys of the rows in display order, after storing the order.
    std::vector<uint32_t> TakeSnapshot();
    // Sending: clicks and edits do nothing; the user's selection is kept to come back afterwards and the
    // focus column is the name's.
    void BeginSending();
    // The worker is about to send the row at this position.
    void ShowSendingRow(int row);
    // The selection the user had is restored (none: the last row sent is deselected), and the focus column.
    void EndSending();
    bool IsSending() const { return m_sending; }

    int SelectedRow() const;
    int FocusColumn() const { return m_focusColumn; }

signals:
    // A row was clicked: the signal list shows its frame.
    void rowActivated(uint32_t key);
    // A frame's record changed by an edit: the signal list refreshes it if it shows it.
    void recordEdited(uint32_t key);
    // A frame was deleted: the signal list lets go of it if it shows it.
    void rowDeleted(uint32_t key);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void selectRowAt(int row);

    tCFG_SET_EXT_QUEUE_TX_SERVICE& m_section;
    CQueueTxMsgModel* m_model;
    CSendCellDelegate* m_delegate;
    bool m_sending = false;
    int m_focusColumn = -1;
    int m_savedSelection = -1;
    int m_savedFocusColumn = -1;
};
