#pragma once
// "MDF转换成CSV文件": the user opens a measurement file, sees its data channels with their place, type,
// unit, sample count and time span, ticks channels, sets a time window, a step and the kind of time stamp,
// and exports the ticked channels on that time grid into a CSV file. The export runs in a progress dialog
// that can be interrupted; its result text is shown afterwards.
#include <QDialog>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "logging/mdftocsv.h"
#include "ui/logging/tkwidgets.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QTableView;

// The checks of "导出CSV文件" before the channels: MDF path given; start, end and step numbers; a step above
// 0; a known time-stamp kind (0 relative, 1 absolute). The first failing message, or none.
std::optional<std::string> validateMdfToCsv(std::string_view mdfPath, const std::optional<double>& start,
                                            const std::optional<double>& end,
                                            const std::optional<double>& step, int kind);
// The checks of the progress dialog before it starts: the result text that ends it, or none.
std::optional<std::string> validateMdfToCsvRun(const MdfToCsvRequest& request, bool haveFile);

class CTkMdfToCsvProgressDlg : public CTkProgressDlg {
    Q_OBJECT
public:
    CTkMdfToCsvProgressDlg(const CLorimar* mdf, MdfToCsvRequest request, QWidget* parent = nullptr);
    ~CTkMdfToCsvProgressDlg() override;

    // Closes at once, with its result text, when the request cannot run.
    int exec() override;
    // "转换尚未进行" until the export has run; then what became of it.
    QString ResultText() const;

protected:
    QString statusOf(const CLogToolJob& job) const override;

private:
    std::unique_ptr<CMdfToCsvJob> m_Job;
    QString m_Refusal;
};

class CTkMdfToCsvDlg : public QDialog {
    Q_OBJECT
public:
    explicit CTkMdfToCsvDlg(QWidget* parent = nullptr);

    // Runs on each progress dialog before it is shown (tests interrupt an export here).
    void SetProgressHook(std::function<void(CTkMdfToCsvProgressDlg&)> hook) { m_Hook = std::move(hook); }

    // "选择": a file that opens replaces the one shown; one that does not is refused with the reason, and
    // the file shown stays (as does everything on a cancel).
    void OnChoose();
    void OnExport();     // "导出CSV文件"
    void OnSelectAll();  // "全选"
    void OnInvert();     // "反选"
    void OnClear();      // "清空"
    // A click on the first column's header sorts by name, the order flipping each time.
    void SortByName();

    QString MdfPath() const;
    CTkRowsModel* Model() const { return m_Model; }
    const MdfCsvListing& Listing() const { return m_Listing; }
    QLineEdit* StartEdit() const { return m_Start; }
    QLineEdit* EndEdit() const { return m_End; }
    QLineEdit* StepEdit() const { return m_Step; }
    QComboBox* KindCombo() const { return m_Kind; }
    QString UnitText() const;
    // The result text of the last export.
    const QString& LastResult() const { return m_Result; }

private:
    void fillList();
    // A time field's number; the listed time itself while the field still shows it as listed.
    std::optional<double> timeField(const QLineEdit* field, double listed) const;

    std::unique_ptr<CLorimar> m_Mdf;  // the open file; null while none is
    MdfCsvListing m_Listing;
    int32_t m_SortOrder = 1;
    CTkRowsModel* m_Model;
    QTableView* m_List;
    QLineEdit* m_Path;
    QLineEdit* m_Start;
    QLineEdit* m_End;
    QLineEdit* m_Step;
    QComboBox* m_Kind;
    QLabel* m_Units[3];
    QString m_Result;
    std::function<void(CTkMdfToCsvProgressDlg&)> m_Hook;
};
