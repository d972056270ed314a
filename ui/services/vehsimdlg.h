#pragma once
// The vehicle-environment simulator's window "车辆环境仿真": choose a CSV file of timed samples, set how many
// times to play it, start and stop, and watch the progress (a 200 ms timer). Closing the window stops a
// run and joins the playback thread.
#include <QDialog>
#include <QString>

#include <cstdint>

class CCanWorkspace;
class CExtSerVehEnvSimulator;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;

// The repetition count as typed: a whole number from 1 to 10000, else "请输入一个介于 1 和 10000
// 之间的整数。".
QString validateVehSimRepeat(const QString& text, int32_t& count);

// "次数[%d / %d] - 进度[%d / %d]" and the bar position (index + 1) x 1000 / records, 0 without records.
QString VehSimProgressText(int32_t repeat, int32_t repeats, int32_t index, int32_t records);
int VehSimProgressPos(int32_t index, int32_t records);

class CExtSerVehEnvSimulatorDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kTimerMs = 200;

    CExtSerVehEnvSimulatorDlg(CCanWorkspace& ws, CExtSerVehEnvSimulator& service, QWidget* parent = nullptr);

    // "选择": a CSV file chosen and loaded. A refused file (unreadable, a short line, a time that is no
    // finite number, no sample) gives "文件打开失败。" with its path and the reason; the fields keep showing
    // the file and counts of the samples still loaded.
    void OnChoose();
    void LoadFile(const QString& path);
    // "开始仿真": the count checked, "请先开启监听。" offline, "启动仿真服务失败。" when the service refuses.
    void OnStart();
    // "停止仿真": the run ends (at once) and start is enabled again.
    void OnStopSim();
    // "退出".
    void OnExit();
    // The progress timer's tick; once the run has ended, "开始仿真" is enabled again.
    void OnTimer();
    void done(int result) override;

    QLineEdit* fileEdit() const { return m_file; }
    QLineEdit* recordsEdit() const { return m_records; }
    QLineEdit* totalTimeEdit() const { return m_totalTime; }
    QLineEdit* progressEdit() const { return m_progressText; }
    QLineEdit* repeatEdit() const { return m_repeat; }
    QProgressBar* progressBar() const { return m_progress; }
    QPushButton* chooseButton() const { return m_choose; }
    QPushButton* startButton() const { return m_start; }
    QPushButton* stopButton() const { return m_stop; }

private:
    void showCounts();

    CCanWorkspace& m_ws;
    CExtSerVehEnvSimulator& m_service;
    QLineEdit* m_file;
    QPushButton* m_choose;
    QLineEdit* m_records;
    QLineEdit* m_totalTime;
    QProgressBar* m_progress;
    QLineEdit* m_progressText;
    QLineEdit* m_repeat;
    QPushButton* m_start;
    QPushButton* m_stop;
    QPushButton* m_exit;
    QTimer* m_timer;
    bool m_runShown = false;
};
