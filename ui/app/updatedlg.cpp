#include "ui/app/updatedlg.h"

#include <QDesktopServices>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

#include "platform/qt/prompt.h"

bool IsWebLink(const QString& address) {
    const QUrl url(address.trimmed(), QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty()) return false;
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

QString UpdateVersionText(const UpdateCheckResult& result) {
    const QString format = result.automatic ? QStringLiteral("本地版本：%1 / 最新版本： %2")
                                            : QStringLiteral("本地版本：%1 / 远程版本： %2");
    return format.arg(QString::fromStdString(result.localVersion),
                      QString::fromStdString(result.remoteVersion));
}

CCheckSoftwareUpdateDlg::CCheckSoftwareUpdateDlg(bool countdown, const QString& appName,
                                                 const QString& versionText, const QString& downloadUrl,
                                                 QWidget* parent, int tickMs)
    : QDialog(parent),
      m_countdown(countdown ? 1 : 0),
      m_cancel(new QPushButton(QStringLiteral("取消"), this)),
      m_update(new QPushButton(QStringLiteral("更新"), this)),
      m_name(new QLineEdit(appName, this)),
      m_version(new QLineEdit(versionText, this)),
      m_address(new QPlainTextEdit(downloadUrl, this)),
      m_timer(new QTimer(this)),
      m_opener([](const QUrl& url) { return QDesktopServices::openUrl(url); }) {
    setWindowTitle(QStringLiteral("软件更新"));
    m_cancel->setObjectName(QStringLiteral("btnCancel"));
    m_update->setObjectName(QStringLiteral("btnUpdate"));
    m_name->setObjectName(QStringLiteral("editName"));
    m_version->setObjectName(QStringLiteral("editVersion"));
    m_address->setObjectName(QStringLiteral("editAddress"));
    m_name->setReadOnly(true);
    m_version->setReadOnly(true);
    m_address->setReadOnly(true);
    m_address->setFixedHeight(m_address->fontMetrics().lineSpacing() * 3 + 12);
    m_name->setCursorPosition(0);
    m_version->setCursorPosition(0);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("软件名称："), this), 0, 0);
    grid->addWidget(m_name, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("软件版本："), this), 1, 0);
    grid->addWidget(m_version, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("下载地址："), this), 2, 0, Qt::AlignTop);
    grid->addWidget(m_address, 2, 1);
    grid->addWidget(new QLabel(QStringLiteral("（复制下载地址在浏览器中打开也可以下载）"), this), 3, 1);
    grid->setColumnMinimumWidth(1, 360);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_update);
    buttons->addWidget(m_cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);

    m_update->setDefault(true);
    connect(m_update, &QPushButton::clicked, this, &CCheckSoftwareUpdateDlg::OnUpdate);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    m_timer->setInterval(tickMs);
    connect(m_timer, &QTimer::timeout, this, &CCheckSoftwareUpdateDlg::OnTimer);
    m_timer->start();
}

void CCheckSoftwareUpdateDlg::OnTimer() {
    m_tickCount = std::min(m_tickCount + 1, kCountdownTicks);
    if (m_countdown != 0) {
        const int left = kCountdownTicks - m_tickCount;
        m_cancel->setText(QStringLiteral("取消(%1秒)").arg(left));
        if (left == 0) {
            m_timer->stop();
            accept();
        }
    } else {
        m_cancel->setText(QStringLiteral("取消"));
    }
}

void CCheckSoftwareUpdateDlg::OnUpdate() {
    m_countdown = 0;
    const QString address = m_address->toPlainText().trimmed();
    if (IsWebLink(address) && m_opener) m_opener(QUrl(address, QUrl::StrictMode));
}

CUpdateCheckRunner::CUpdateCheckRunner(QWidget* dialogParent, std::string serverBase,
                                       std::string localVersion, QObject* parent)
    : QObject(parent),
      m_dialogParent(dialogParent),
      m_serverBase(std::move(serverBase)),
      m_localVersion(std::move(localVersion)) {}

CUpdateCheckRunner::~CUpdateCheckRunner() {
    // Cancels and joins every check before the object goes: no result is delivered after this.
    m_checks.clear();
}

bool CUpdateCheckRunner::Start(bool automatic, QWidget* presentOn) {
    if (std::any_of(m_checks.begin(), m_checks.end(),
                    [&](const Check& c) { return c.automatic == automatic; }))
        return false;
    UpdateCheckRequest request;
    request.automatic = automatic;
    request.serverBase = m_serverBase;
    request.localVersion = m_localVersion;
    request.http = m_http;
    const uint64_t id = m_nextId++;
    auto done = [this, id](const UpdateCheckResult& result) {
        // On the worker: hand the result to the GUI thread. Pending calls die with this object.
        QMetaObject::invokeMethod(
            this, [this, id, result] { onResult(id, result); }, Qt::QueuedConnection);
    };
    m_checks.push_back({id, automatic, QPointer<QWidget>(presentOn),
                        std::make_unique<CUpdateCheckThread>(std::move(request), done)});
    return true;
}

void CUpdateCheckRunner::onResult(uint64_t id, const UpdateCheckResult& result) {
    const auto it =
        std::find_if(m_checks.begin(), m_checks.end(), [id](const Check& c) { return c.id == id; });
    if (it == m_checks.end()) return;
    it->thread->Join();
    const QPointer<QWidget> presentOn = it->presentOn;
    m_checks.erase(it);

    QWidget* parent = presentOn ? presentOn.data() : m_dialogParent.data();
    CCheckSoftwareUpdateDlg* dialog = nullptr;
    if (result.ShowNetworkError()) {
        vex::ShowMessage(parent, QStringLiteral("请检测网络是否可以访问Internet"));
    } else if (result.ShowDialog()) {
        dialog = new CCheckSoftwareUpdateDlg(result.automatic, QString::fromStdString(result.appName),
                                             UpdateVersionText(result),
                                             QString::fromStdString(result.downloadUrl), parent, m_tickMs);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        if (result.automatic)
            dialog->show();
        else
            dialog->open();
    }
    emit checkDone(result, dialog);
}
