#pragma once
// Pickers of the database being edited. CCanSignalFreeSelDlg ("信号导入") hands back a copy of one free
// signal for the message editor; CCanSignalPublicEnumSelDlg ("全局枚举项列表") a copy of one public value
// table, with a preview of the entries of the table clicked. Rows are ticked by a double click (one tick
// at a time) in a radio list; OK takes the first ticked row (checkFreeSignalPick, checkPublicEnumPick).
#include <QDialog>

#include <vector>

#include "candb/canmodel.h"
#include "ui/candb/dbeditcheck.h"

namespace candbui {
class CRadioListCtrl;
class CReportList;
class CTextRowsModel;
}  // namespace candbui

// The cells of a signal in the editor's lists: name, "INT%d"/"UINT%d", "INTEL"/"MOTO", "(factor,offset)",
// "[min,max]", unit.
QStringList SignalPickCells(const CCanSignal& signal);

// What the two pickers share: the radio list, ticking by double click, and OK.
class CRadioPickDlg : public QDialog {
    Q_OBJECT
public:
    candbui::CRadioListCtrl* list() const { return m_list; }
    candbui::CTextRowsModel* model() const { return m_model; }
    // Ticks the row (column 0 "1") and unticks every other; -1 changes nothing.
    void TickRow(int row);

protected:
    CRadioPickDlg(QStringList headers, std::vector<int> widths, QWidget* parent);
    std::vector<candbui::tPICK_ROW> pickRows() const;
    // Lays the dialog out with `extra` (may be null) under the list.
    void finishLayout(const QString& label, QWidget* extra, const QString& extraLabel);
    // Ends OK by the check's outcome: a taken row accepts, no ticked row rejects, a refused one shows
    // `message` and keeps the dialog open.
    void closeOnPick(candbui::PickOutcome outcome, const std::string& message);

    candbui::CRadioListCtrl* m_list;
    candbui::CTextRowsModel* m_model;
};

class CCanSignalFreeSelDlg : public CRadioPickDlg {
    Q_OBJECT
public:
    CCanSignalFreeSelDlg(const tCAN_DATABASE* db, CCanMsg msg, QWidget* parent = nullptr);

    CCanSignal Signal;  // after OK: the chosen free signal

    void accept() override;

private:
    const tCAN_DATABASE* m_db;
    CCanMsg m_msg;
};

class CCanSignalPublicEnumSelDlg : public CRadioPickDlg {
    Q_OBJECT
public:
    explicit CCanSignalPublicEnumSelDlg(const tCAN_DATABASE* db, QWidget* parent = nullptr);

    tCAN_SIGNAL_ENUM Enum;  // after OK: the chosen public table

    candbui::CTextRowsModel* entryModel() const { return m_entries; }
    // Shows the entries of the row's table (every table of that name, the last one staying).
    void ShowEntries(int row);

    void accept() override;

private:
    const tCAN_DATABASE* m_db;
    candbui::CTextRowsModel* m_entries;
};
