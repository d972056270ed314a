#pragma once
// "CAN报文记录文件导出信号MDF文件": the user picks a log file, sees its messages and which of them the loaded
// databases describe, ticks signals of those messages and exports them into a measurement file; the
// export runs in a progress dialog.
#include <QDialog>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "logging/canmsgasctxtfile.h"
#include "logging/canmsgbincrmfile.h"
#include "logging/canmsgmdflogfile.h"
#include "logging/sigmdfexport.h"
#include "ui/logging/tkwidgets.h"

class CCanMsgDataHub;
class QLineEdit;
class QTableView;

// The export's progress. The export list is built here, on the GUI thread, from the selection and the
// databases (the data hub's global map); the worker gets that copy.
class CTkCanMsgLogFileToSigMdfProgressDlg : public CTkProgressDlg {
    Q_OBJECT
public:
    CTkCanMsgLogFileToSigMdfProgressDlg(CCanMsgFile* log, std::span<const tEXPORT_SIG_SEL> selection,
                                        const ExportMsgLookup& lookup, std::string path, uint32_t count,
                                        QWidget* parent = nullptr);
    ~CTkCanMsgLogFileToSigMdfProgressDlg() override;

    // Closes at once (without running anything) when the log, the path or the records are missing, or the
    // export list cannot be built.
    int exec() override;
    bool Done() const { return m_Job && m_Job->Succeeded(); }
    // Why the export failed; empty for a stop, a success, or missing inputs.
    std::string Error() const;

protected:
    QString statusOf(const CLogToolJob& job) const override;

private:
    std::unique_ptr<CSigMdfExportJob> m_Job;
    std::string m_BuildError;
};

// Reading the chosen log (CLogScanJob): "中断" ends it, however long the file or endless the stream.
class CTkLogScanProgressDlg : public CTkProgressDlg {
    Q_OBJECT
public:
    CTkLogScanProgressDlg(CLogScanJob& job, const std::string& path, QWidget* parent = nullptr);
    ~CTkLogScanProgressDlg() override;

protected:
    QString statusOf(const CLogToolJob& job) const override;
};

class CTkCanMsgLogFileToSigMdfDlg : public QDialog {
    Q_OBJECT
public:
    // Edits the loaded databases and stores them (the main frame's "CAN数据库" command).
    using DbEditor = std::function<void(QWidget* parent)>;

    CTkCanMsgLogFileToSigMdfDlg(CCanMsgDataHub& hub, DbEditor editor, QWidget* parent = nullptr);
    ~CTkCanMsgLogFileToSigMdfDlg() override;

    // Runs on each progress dialog before it is shown (tests stop an export here).
    void SetProgressHook(std::function<void(CTkCanMsgLogFileToSigMdfProgressDlg&)> hook) {
        m_Hook = std::move(hook);
    }
    // Runs on the progress dialog of reading a log before it is shown (tests stop the reading here).
    void SetScanHook(std::function<void(CTkLogScanProgressDlg&)> hook) { m_ScanHook = std::move(hook); }

    // The buttons, as the user presses them.
    void OnChoose();     // "选择"
    void OnCanDbCfg();   // "CAN数据库配置"
    void OnSelectAll();  // "全选"
    void OnInvert();     // "反选"
    void OnClear();      // "清空"
    void OnExport();     // "导出"
    // A click on the signal list's header: columns 0 and 1 sort, one direction shared, flipping each time.
    void SortSignals(int column);
    // Rebuilds both lists; with `reopen` the log is read again first, on a worker in a progress dialog.
    void FillLists(bool reopen);

    const std::string& Path() const { return m_Path; }
    uint32_t RecordCount() const { return m_Count; }
    const std::vector<uint32_t>& Keys() const { return m_Keys; }
    const std::array<tEXPORT_SIG_SEL, kExportSigSelCount>& SelTable() const { return m_Sel; }
    CTkRowsModel* MsgModel() const { return m_MsgModel; }
    CTkRowsModel* SigModel() const { return m_SigModel; }
    QTableView* SigList() const { return m_SigList; }

private:
    void resetSigSelTable();

    CCanMsgDataHub& m_Hub;
    DbEditor m_Editor;
    CCanMsgAscTxtFile m_TxtFile;
    CCanMsgBinCrmFile m_CrmFile;
    CCanMsgMdfLogFile m_MdfLogFile;
    std::vector<uint32_t> m_Keys;
    std::array<tEXPORT_SIG_SEL, kExportSigSelCount> m_Sel;
    int32_t m_SortDir = 1;
    int32_t m_SortCol = -1;
    std::string m_Path;
    CTkRowsModel* m_MsgModel;
    CTkRowsModel* m_SigModel;
    QTableView* m_MsgList;
    QTableView* m_SigList;
    QLineEdit* m_PathEdit;
    uint32_t m_Count = 0;
    double m_Duration = 0.0;
    CCanMsgFile* m_Reader = nullptr;
    std::function<void(CTkCanMsgLogFileToSigMdfProgressDlg&)> m_Hook;
    std::function<void(CTkLogScanProgressDlg&)> m_ScanHook;
};
