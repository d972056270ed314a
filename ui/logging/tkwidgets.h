#pragma once
// What the log tools' dialogs share: the row model of their report lists (text cells, an optional check box
// in the first column, a number carried by each row), the file questions with a default extension, and the
// progress dialog that runs a tool's worker.
#include <QAbstractTableModel>
#include <QDialog>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <vector>

#include "logging/logtooljob.h"
#include "platform/qt/prompt.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableView;
class QTimer;

// Rows of text cells. With check boxes, column 0 carries a tick the user can set.
class CTkRowsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    CTkRowsModel(QStringList headers, bool checkable, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    void Clear();
    void AddRow(const QStringList& cells, uint32_t data);
    void RemoveRow(int row);
    const QStringList& Cells(int row) const { return m_Rows[static_cast<size_t>(row)].cells; }
    uint32_t RowData(int row) const { return m_Rows[static_cast<size_t>(row)].data; }
    bool Checked(int row) const { return m_Rows[static_cast<size_t>(row)].checked; }
    void SetChecked(int row, bool checked);
    // Every row ticked, inverted or cleared.
    void CheckAll();
    void InvertAll();
    void ClearAll();
    // Reorders the rows; `before(a, b)` true puts row data a before row data b. Ticks go with their rows.
    void SortRows(const std::function<bool(uint32_t a, uint32_t b)>& before);

private:
    struct Row {
        QStringList cells;
        uint32_t data = 0;
        bool checked = false;
    };
    QStringList m_Headers;
    bool m_Checkable;
    std::vector<Row> m_Rows;
};

// A push button of the tools' dialogs: never the default button, named for the tests.
QPushButton* TkButton(QWidget* parent, const char* text, const char* objectName);
// A message with an OK button, through the current prompt.
void TkMessage(QWidget* parent, const QString& text, vex::MsgIcon icon = vex::MsgIcon::Warning);

// A report list over a rows model: the program's list look, the given column widths (pixels), column 0
// centred when asked.
QTableView* MakeTkList(QWidget* parent, CTkRowsModel* model, const std::vector<int>& widths);

// A file to write, through the current prompt: a name typed without an extension gets `extension`
// (after asking before replacing a file of the completed name). Empty when cancelled.
QString TkSaveFile(QWidget* parent, const QString& filter, const QString& extension);

// The modal progress dialog of a tool's worker. Shown, it starts the job; a timer reads the job's progress
// (kRefreshMs, so the fields change at most ten times a second); when the job ends the dialog joins it and
// closes itself. The stop button, Esc and the close box ask the job to stop and close the dialog only once
// it has ended, so the job never outlives the dialog.
class CTkProgressDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kRefreshMs = 100;

    // `stopText` is the stop button's text.
    CTkProgressDlg(const QString& stopText, QWidget* parent = nullptr);
    ~CTkProgressDlg() override;

    // The job to run (owned by the derived dialog, which calls finishJob() first in its destructor; set
    // before the dialog is shown). Without one the dialog closes at once.
    void SetJob(CLogToolJob* job) { m_Job = job; }
    // Shows the dialog modally until the job has ended.
    int exec() override;
    // The stop button.
    void OnStop();
    void reject() override;

    QString StatusText() const;
    int ProgressValue() const;
    // Refreshes of the fields so far.
    int Refreshes() const { return m_Refreshes; }
    QTimer* RefreshTimer() const { return m_Timer; }
    QPushButton* StopButton() const { return m_Stop; }

protected:
    // The status text for the job's state.
    virtual QString statusOf(const CLogToolJob& job) const = 0;
    // Stops the job, waits for its end and forgets it.
    void finishJob();
    // Builds the dialog's fields above the status line (optional).
    void addField(const QString& label, const QString& text);
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void refresh();
    void onJobEnded();

    CLogToolJob* m_Job = nullptr;
    bool m_Started = false;
    int m_Refreshes = 0;
    QLineEdit* m_Status;
    QProgressBar* m_Bar;
    QPushButton* m_Stop;
    QTimer* m_Timer;
    class QGridLayout* m_Fields;
};

// "当前进度 %0.2f%% (%d/%d)": progress in hundredths of a percent, index and count.
QString TkProgressText(const CLogToolJob& job);
// The status of a job that counts records: `starting` until it runs, TkProgressText while it runs, `done`
// once every record is done, `failed` after a failure or a stop.
QString TkStatusText(const CLogToolJob& job, const QString& starting, const QString& done,
                     const QString& failed);
