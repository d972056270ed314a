#pragma once
// "记录文件格式转换": the user lists log files of the three formats, chooses a target folder and format, and
// converts every listed file in turn, each in a progress dialog; a report then gives one line per file. The
// last target folder and format are kept in the settings store.
#include <QDialog>

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "logging/logcvtjob.h"
#include "ui/logging/tkwidgets.h"

class QComboBox;
class QLineEdit;
class QTableView;

// The checks of "转换" in order: target folder given, existing, a known target type, rows present. The first
// failing message, or none. `folderExists` tells whether the folder exists.
std::optional<std::string> validateLogCvt(std::string_view folder, bool folderExists,
                                          std::string_view typeText, int rows);

// The progress of one file's conversion.
class CTkCanMsgLogFileCvtProgressDlg : public CTkProgressDlg {
    Q_OBJECT
public:
    CTkCanMsgLogFileCvtProgressDlg(const std::string& source, const std::string& sourceType,
                                   const std::string& target, const std::string& targetType,
                                   QWidget* parent = nullptr);
    ~CTkCanMsgLogFileCvtProgressDlg() override;

    CLogCvtJob& Job() { return m_Job; }
    bool Done() const { return m_Job.Succeeded(); }
    bool StopRequested() const { return m_Job.StopRequested(); }

protected:
    QString statusOf(const CLogToolJob& job) const override;

private:
    CLogCvtJob m_Job;
};

class CTkCanMsgLogFileCvtDlg : public QDialog {
    Q_OBJECT
public:
    explicit CTkCanMsgLogFileCvtDlg(QWidget* parent = nullptr);

    // Runs on each progress dialog before it is shown (tests stop a conversion here).
    void SetProgressHook(std::function<void(CTkCanMsgLogFileCvtProgressDlg&)> hook) {
        m_Hook = std::move(hook);
    }

    // The buttons, as the user presses them.
    void OnAdd();             // "添加"
    void OnRemove();          // "移除"
    void OnChooseDir();       // target "选择"
    void OnConvert();         // "转换"
    void SelectRow(int row);  // a click in the list (-1: no row)

    int RowCount() const;
    QString RowPath(int row) const;
    int SelectedRow() const { return m_Selected; }
    QString TargetFolder() const;
    QString TargetType() const;
    // The report of the last "转换".
    const QString& Report() const { return m_Report; }

private:
    int32_t m_Selected = -1;
    CTkRowsModel* m_Model;
    QTableView* m_List;
    QLineEdit* m_Target;
    QComboBox* m_Type;
    QString m_Report;
    std::function<void(CTkCanMsgLogFileCvtProgressDlg&)> m_Hook;
};

// "其他CAN报文记录文件格式转换": text logs of other formats, a converter library and a target folder are
// collected; the program reads no such format and loads no converter, so "转换" does nothing.
class CTkCanMsgLogFileCvtOtherDlg : public QDialog {
    Q_OBJECT
public:
    explicit CTkCanMsgLogFileCvtOtherDlg(QWidget* parent = nullptr);

    void OnAdd();
    void OnRemove();
    void OnChooseConverter();
    void OnChooseDir();
    void OnConvert();
    void SelectRow(int row);

    int RowCount() const;
    QString ConverterPath() const;
    QString TargetFolder() const;

private:
    int32_t m_Selected = -1;
    CTkRowsModel* m_Model;
    QTableView* m_List;
    QLineEdit* m_Converter;
    QLineEdit* m_Target;
};

// Adds a file to a source list unless a row's file name (lower-cased) equals the new one's: then
// "此文件与已经添加的文件名称相同,文件[%s]。" with that row's path. True when added.
bool AddTkSourceRow(QWidget* parent, CTkRowsModel& model, const QString& path, const QString& type);
