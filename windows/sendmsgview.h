#pragma once
// The send message list, the upper pane of the send window: one row per transmit message. A click on
// the "循环" cell starts or stops cyclic sending in the device, a click on the "发送" cell sends the
// message once; name, period, count and the data bytes are edited in place, channel and length chosen
// from a drop-down (not while the message is sent cyclically). Every edit goes through the model into the
// transmit store of the configuration, which owns the records; frames go out through the sender.
#include <QTableView>

#include <cstdint>

#include "config/cfgrecords.h"

class CAppCfg;
class CCanMsgSender;
class CSendMsgModel;
class CSendCellDelegate;
struct CellEditEnd;
struct tCAN_RAW_MSG;

class CSendMsgView : public QTableView {
    Q_OBJECT
public:
    // `cfg` holds the transmit store and the device selection; `sender` sends on the bus listened on.
    CSendMsgView(CAppCfg& cfg, const CCanMsgSender& sender, QWidget* parent = nullptr);

    CSendMsgModel* msgModel() const { return m_model; }
    // Column of the last click (-1 before the first); its cell in the selected row is highlighted.
    int HighlightColumn() const { return m_highlightColumn; }

    // Rebuilds the rows from the transmit store, in key order, none cyclic.
    void ReloadMsgList();
    // Stores the record under its key and gives it a row (the one it has, if any).
    void AddRow(const tCFG_SET_SEND_MSG& record);
    // Removes the selected message from the store and the list. Refused with a message when no row is
    // selected or the message is being sent cyclically.
    void DeleteSelected();
    // While the single-channel interface is the selected device: tells once that its channel is fixed
    // when any row names channel 0. Changes nothing.
    void CheckSingleChanDev();
    // Marks every row not cyclic (the device's cyclic list ends with the bus).
    void ResetCycColumn();
    // The signal list changed the data bytes of a message: its data cells are redrawn and, while online,
    // the device's cyclic copy is updated when the message is being sent cyclically.
    void UpdateRowData(uint32_t key);

    // Device operations on the message of a key. Send once, start cyclic and the two updates need the
    // bus online ("请先开启监听总线。"); a key not in the store gives "未知的错误。"; a record that makes
    // no frame as its row shows it is refused with a message naming it; without a device nothing is
    // sent. True when the device answered 0.
    bool SendOnce(uint32_t key);
    bool StartCyclic(uint32_t key);
    void StopCyclic(uint32_t key);
    bool ChangePeriod(uint32_t key);
    bool ChangeData(uint32_t key);

    // The end of an in-place edit (text editor or drop-down), applied to the stored record.
    void OnEditEnd(const CellEditEnd& end);

signals:
    // A row was clicked: the signal list shows its message.
    void rowActivated(uint32_t key);
    // An in-place edit changed a stored record: the signal list reloads its values.
    void recordEdited(uint32_t key);
    // A message was deleted: the signal list lets go of it if it shows it.
    void rowDeleted(uint32_t key);

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    enum class Op { Once, Start, Stop, Period, Data };
    bool deviceOp(uint32_t key, Op op);
    void repaintCell(int row, int column);

    CAppCfg& m_cfg;
    const CCanMsgSender& m_sender;
    CSendMsgModel* m_model;
    CSendCellDelegate* m_delegate;
    int m_highlightColumn = -1;
};
