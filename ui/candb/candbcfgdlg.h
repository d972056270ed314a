#pragma once
// "CAN数据库配置": the databases of the current configuration, edited in place in its list: new, edit,
// delete, import a DBC file as a new database, export one as a DBC file. List row i is entry i of the
// configuration's list.
#include <QDialog>

class CCanWorkspace;
namespace candbui {
class CReportList;
class CTextRowsModel;
}  // namespace candbui

class CCanDbCfgDlg : public QDialog {
    Q_OBJECT
public:
    // Works on ws.Cfg().CanDatabases; import results go to ws's info messages.
    explicit CCanDbCfgDlg(CCanWorkspace& ws, QWidget* parent = nullptr);

    int SelRow() const { return m_selRow; }
    candbui::CReportList* list() const { return m_list; }
    candbui::CTextRowsModel* model() const { return m_model; }

    void OnRowClicked(int row);
    void OnRowDoubleClicked(int row);
    void OnNewDb();
    void OnEditDb();
    void OnDeleteDb();
    void OnImportDbc();
    void OnExportDbc();

private:
    void appendRow(int entry);
    void setRow(int row);
    void selectRow(int row);

    CCanWorkspace& m_ws;
    candbui::CTextRowsModel* m_model;
    candbui::CReportList* m_list;
    int m_selRow = -1;
};
