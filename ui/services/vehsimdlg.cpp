#include "ui/services/vehsimdlg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <string>

#include "app/canworkspace.h"
#include "platform/qt/prompt.h"
#include "services/vehsim.h"
#include "ui/services/svcfilechoose.h"

QString validateVehSimRepeat(const QString& text, int32_t& count) {
    bool ok = false;
    const QString t = text.trimmed();
    const long long v = t.size() <= 12 ? t.toLongLong(&ok, 10) : 0;
    if (!ok || v < 1 || v > 10000) return QStringLiteral("请输入一个介于 1 和 10000 之间的整数。");
    count = static_cast<int32_t>(v);
    return {};
}

QString VehSimProgressText(int32_t repeat, int32_t repeats, int32_t index, int32_t records) {
    return QStringLiteral("次数[%1 / %2] - 进度[%3 / %4]")
        .arg(repeat + 1)
        .arg(repeats)
        .arg(index + 1)
        .arg(records);
}

int VehSimProgressPos(int32_t index, int32_t records) {
    if (records <= 0) return 0;
    return static_cast<int>((static_cast<int64_t>(index) + 1) * 1000 / records);
}

CExtSerVehEnvSimulatorDlg::CExtSerVehEnvSimulatorDlg(CCanWorkspace& ws, CExtSerVehEnvSimulator& service,
                                                     QWidget* parent)
    : QDialog(parent),
      m_ws(ws),
      m_service(service),
      m_file(new QLineEdit(this)),
      m_choose(new QPushButton(QStringLiteral("选择"), this)),
      m_records(new QLineEdit(this)),
      m_totalTime(new QLineEdit(this)),
      m_progress(new QProgressBar(this)),
      m_progressText(new QLineEdit(this)),
      m_repeat(new QLineEdit(this)),
      m_start(new QPushButton(QStringLiteral("开始仿真"), this)),
      m_stop(new QPushButton(QStringLiteral("停止仿真"), this)),
      m_exit(new QPushButton(QStringLiteral("退出"), this)),
      m_timer(new QTimer(this)) {
    setWindowTitle(QStringLiteral("车辆环境仿真"));
    for (QLineEdit* e : {m_file, m_records, m_totalTime, m_progressText}) e->setReadOnly(true);
    for (QPushButton* b : {m_choose, m_start, m_stop, m_exit}) b->setAutoDefault(false);
    m_progress->setRange(0, 1000);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("数据记录文件："), this), 0, 0, 1, 2);
    grid->addWidget(m_file, 1, 0);
    grid->addWidget(m_choose, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("记录数据总条数："), this), 2, 0);
    grid->addWidget(m_records, 3, 0);
    grid->addWidget(new QLabel(QStringLiteral("记录数据总时间[ms]："), this), 4, 0);
    grid->addWidget(m_totalTime, 5, 0);
    grid->addWidget(m_progress, 6, 0, 1, 2);
    grid->addWidget(m_progressText, 7, 0, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("仿真次数："), this), 8, 0);
    grid->addWidget(m_repeat, 9, 0);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_start);
    buttons->addWidget(m_stop);
    buttons->addStretch(1);
    buttons->addWidget(m_exit);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    resize(480, 360);

    connect(m_choose, &QPushButton::clicked, this, &CExtSerVehEnvSimulatorDlg::OnChoose);
    connect(m_start, &QPushButton::clicked, this, &CExtSerVehEnvSimulatorDlg::OnStart);
    connect(m_stop, &QPushButton::clicked, this, &CExtSerVehEnvSimulatorDlg::OnStopSim);
    connect(m_exit, &QPushButton::clicked, this, &CExtSerVehEnvSimulatorDlg::OnExit);
    connect(m_timer, &QTimer::timeout, this, &CExtSerVehEnvSimulatorDlg::OnTimer);

    m_repeat->setText(QString::number(m_service.RepeatCount()));
    showCounts();
    m_timer->start(kTimerMs);
}

void CExtSerVehEnvSimulatorDlg::showCounts() {
    m_file->setText(QString::fromStdString(m_service.LoadedPath()));
    m_records->setText(QString::number(static_cast<uint32_t>(m_service.RecordCount())));
    m_totalTime->setText(QString::number(m_service.TotalTime(), 'g', 15));
}

void CExtSerVehEnvSimulatorDlg::OnChoose() {
    const QString path = AskServiceOpenFile(
        this, {QStringLiteral("csv files(*.csv);;所有文件(*)"), QStringLiteral("csv"), QString(), QString()});
    if (path.isEmpty()) return;
    LoadFile(path);
}

void CExtSerVehEnvSimulatorDlg::LoadFile(const QString& path) {
    std::string why;
    if (!m_service.LoadDataFile(path.toStdString(), &why)) {
        // The samples loaded before stay, and the fields keep showing their file: the refused file is named
        // in the message, with the reason.
        vex::CurrentPrompt().message(
            this, QStringLiteral("文件打开失败。\n%1：%2").arg(path, QString::fromStdString(why)), QString(),
            vex::MsgButtons::Ok, vex::MsgIcon::None);
        return;
    }
    showCounts();
}

void CExtSerVehEnvSimulatorDlg::OnStart() {
    int32_t repeats = 0;
    if (const QString refusal = validateVehSimRepeat(m_repeat->text(), repeats); !refusal.isEmpty()) {
        vex::ShowMessage(this, refusal);
        return;
    }
    if (!m_ws.Sender().IsOnline()) {
        vex::ShowMessage(this, QStringLiteral("请先开启监听。"));
        showCounts();
        return;
    }
    m_service.SetRepeatCount(repeats);
    if (!m_service.StartSimulation()) {
        vex::ShowMessage(this, QStringLiteral("启动仿真服务失败。"));
        return;
    }
    m_start->setEnabled(false);
    m_choose->setEnabled(false);
    showCounts();
}

void CExtSerVehEnvSimulatorDlg::OnStopSim() {
    m_start->setEnabled(true);
    m_service.StopSimulation();
}

void CExtSerVehEnvSimulatorDlg::OnExit() {
    accept();
}

void CExtSerVehEnvSimulatorDlg::OnTimer() {
    if (m_service.IsRunning()) {
        const int32_t records = m_service.RecordCount();
        const int32_t index = m_service.CurRecordIndex();
        m_progressText->setText(
            VehSimProgressText(m_service.CurRepeat(), m_service.RepeatCount(), index, records));
        m_progress->setValue(VehSimProgressPos(index, records));
        m_runShown = true;
    } else if (m_runShown) {
        m_progressText->clear();
        m_progress->setValue(0);
        m_runShown = false;
    }
    // Loading replaces the samples, which a run must keep: no file is chosen while one plays.
    m_choose->setEnabled(!m_service.IsRunning());
    // A run that ended by itself (all repetitions played, or offline) can be started again at once: a
    // disabled start button with no run to stop would leave only "停止仿真" as the way to a new run.
    if (!m_service.IsRunning()) m_start->setEnabled(true);
}

void CExtSerVehEnvSimulatorDlg::done(int result) {
    m_timer->stop();
    m_service.StopSimulation();
    QDialog::done(result);
}
