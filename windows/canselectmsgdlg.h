#pragma once
// The message picker "从数据库中选择CAN报文": lists the messages of the data hub's global message map
// (brought up to date when the dialog opens), filtered by name or identifier text, sorted by a header
// click, and gives back the key of the message the user selected.
//
//   CCanDbSelectMsgDlg dlg(workspace.Hub(), this);
//   dlg.Exclusions = keysAlreadyListed;
//   if (dlg.exec() == QDialog::Accepted) use(dlg.Results.back());
#include <cstdint>
#include <vector>

#include "app/canmsgdatahub.h"
#include "windows/pickerlist.h"

class QLineEdit;

// The listed messages, one row per message key: name, "%08X" identifier, "ext"/"std", length. The
// message key is the UserRole of every cell.
class CCanDbSelectMsgModel : public vex::CListRows<uint32_t> {
    Q_OBJECT
public:
    enum Column { kName, kId, kType, kLength, kColumns };

    explicit CCanDbSelectMsgModel(const CCanMsgDataHub& hub, QObject* parent = nullptr);

    // Lists every message of the global map not in `exclusions` (in key order) that matches: its
    // lower-cased name contains the name filter; or else its "%08X" identifier text contains the
    // identifier filter; or else both filters are empty. Filters are compared lower-cased.
    void Find(const std::vector<uint32_t>& exclusions, const QString& nameFilter = {},
              const QString& idFilter = {});
    // Sorts by name or identifier text (greatest first for direction +1); the type and length columns
    // leave the order as it is.
    void Sort(int column, int direction);

    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    const CCanMsgDataHub& m_hub;
};

// Exclusions: keys of messages not to list. Results after OK: the key of the selected message. A click on
// any column's header flips the direction.
class CCanDbSelectMsgDlg : public vex::CPickerDlg<CCanMsgDataHub, CCanDbSelectMsgModel, uint32_t> {
    Q_OBJECT
public:
    explicit CCanDbSelectMsgDlg(CCanMsgDataHub& hub, QWidget* parent = nullptr);

    QLineEdit* nameFilter() const { return m_nameFilter; }
    QLineEdit* idFilter() const { return m_idFilter; }

    // Lists what the filter texts match; the selection is cleared.
    void OnFind();
    // Without a selected row: "请选择其中一项。" and the dialog stays open. Else Results holds the selected
    // row's key and the dialog closes with OK.
    void OnOK();

private:
    QLineEdit* m_nameFilter;
    QLineEdit* m_idFilter;
};
