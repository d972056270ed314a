#pragma once
// "报文": edits one message of a database: name, identifier (hexadecimal), extended flag, data length and
// its signals, which are listed beside a bit grid where they are seen and dragged. List row i is signal i.
// OK checks (validateMsgEdit) and stays open with the first failing message; after OK `Msg` holds the
// edited message.
#include <QDialog>

#include <string>

#include "candb/canmodel.h"
#include "ui/candb/dbeditcheck.h"

class CMsgBitGrid;
class QCheckBox;
class QLineEdit;
namespace candbui {
class CReportList;
class CTextRowsModel;
}  // namespace candbui

class CCanMsgEditDlg : public QDialog {
    Q_OBJECT
public:
    // mode kMsgNew or kMsgEdit; `preselSignal`: a signal to open for editing once the dialog shows (the
    // last of that name, the one a paste appended).
    CCanMsgEditDlg(const tCAN_DATABASE* db, uint8_t mode, CCanMsg msg, std::string preselSignal = {},
                   QWidget* parent = nullptr);

    CCanMsg Msg;

    candbui::tMSG_EDIT_FIELDS Fields() const;
    int SelRow() const { return m_selRow; }
    CMsgBitGrid* grid() const { return m_grid; }
    candbui::CReportList* list() const { return m_list; }
    candbui::CTextRowsModel* model() const { return m_model; }

    // A click on a list row (-1: off the rows) selects its signal.
    void OnRowClicked(int row);
    void OnImportSignal();
    void OnNewSignal();
    void OnEditSignal();
    void OnRemoveSignal();
    // The preselected signal's editor, once (the dialog's first tick).
    void OnTimer();
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void appendRow(const CCanSignal& signal);
    void setRow(int row, const CCanSignal& signal);
    void selectRow(int row);

    const tCAN_DATABASE* m_db;
    uint8_t m_mode;
    uint32_t m_origId;
    std::string m_presel;
    int m_selRow = -1;
    bool m_ticked = false;
    QLineEdit* m_name;
    QLineEdit* m_id;
    QCheckBox* m_ext;
    QLineEdit* m_dl;
    candbui::CTextRowsModel* m_model;
    candbui::CReportList* m_list;
    CMsgBitGrid* m_grid;
};
