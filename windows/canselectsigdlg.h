#pragma once
// The signal picker "从数据库中选择CAN信号": lists every signal of the data hub's global signal map
// (brought up to date when the dialog opens) with a check box, filtered by signal name, message name or
// identifier text, sorted by a header click on the first three columns, and gives back the ticked signals.
//
//   CCanDbSelectSigDlg dlg(workspace.Hub(), this);
//   dlg.Exclusions = signalsAlreadyShown;
//   if (dlg.exec() == QDialog::Accepted) for (const tCAN_DB_SEL_CAN_SIG& s : dlg.Results) ...
#include <cstdint>
#include <vector>

#include "app/canmsgdatahub.h"
#include "candb/canmodel.h"
#include "windows/pickerlist.h"

class QLineEdit;

// One picked signal.
struct tCAN_DB_SEL_CAN_SIG {
    uint32_t MsgKey = 0xFFFFFFFFu;  // of the owning message
    uint32_t SigNo = 0xFFFFFFFFu;   // the signal's number in the global signal map
    CCanSignal CanSig;
};

struct CSelSigRow {
    uint32_t SigNo = 0;
    bool Checked = false;
};

// The listed signals, one row per signal number; column 0 carries the check box. The signal number is
// the UserRole of every cell.
class CCanDbSelectSigModel : public vex::CListRows<CSelSigRow> {
    Q_OBJECT
public:
    enum Column {
        kSigName,
        kMsgName,
        kId,
        kType,
        kByteFmt,
        kBitOffset,
        kConversion,
        kRange,
        kUnit,
        kColumns
    };

    explicit CCanDbSelectSigModel(const CCanMsgDataHub& hub, QObject* parent = nullptr);

    // Lists, unticked and in signal-number order, every signal not excluded (an exclusion entry of the same
    // message key and exactly the same name) that matches: its name contains the signal-name filter; or
    // else its message's name contains the message-name filter; or else the "%08X" text of its message
    // key's low 29 bits contains the identifier filter; or else all three filters are empty. Compared
    // lower-cased.
    void Find(const std::vector<tCAN_DB_SEL_CAN_SIG>& exclusions, const QString& sigFilter = {},
              const QString& msgFilter = {}, const QString& idFilter = {});
    // Sorts by signal name, message name or identifier text (greatest first for direction +1); other
    // columns do nothing. Ticks stay with their rows.
    void Sort(int column, int direction);
    // The ticked rows, in row order, as picked signals; rows whose number has gone are skipped.
    std::vector<tCAN_DB_SEL_CAN_SIG> Ticked() const;

    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    const tCAN_SIG_GLOBAL_DATA* entryOf(uint32_t sigNo) const;

    const CCanMsgDataHub& m_hub;
};

// Exclusions: signals not to list. Results after OK: one entry per ticked row, in row order (possibly
// none). Only the first three columns' headers sort (and flip the direction).
class CCanDbSelectSigDlg : public vex::CPickerDlg<CCanMsgDataHub, CCanDbSelectSigModel, tCAN_DB_SEL_CAN_SIG> {
    Q_OBJECT
public:
    explicit CCanDbSelectSigDlg(CCanMsgDataHub& hub, QWidget* parent = nullptr);

    QLineEdit* sigFilter() const { return m_sigFilter; }
    QLineEdit* msgFilter() const { return m_msgFilter; }
    QLineEdit* idFilter() const { return m_idFilter; }

    // Lists what the filter texts match; every tick is lost.
    void OnFind();
    // Results := the ticked signals; closes with OK.
    void OnOK();

protected:
    bool sortsBy(int column) const override;

private:
    QLineEdit* m_sigFilter;
    QLineEdit* m_msgFilter;
    QLineEdit* m_idFilter;
};
