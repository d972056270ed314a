#pragma once
// The result of a software-update check on screen: the dialog "软件更新" with its countdown, and the runner
// that starts checks on worker threads and shows their results on the GUI thread.
#include <QDialog>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/updatecheck.h"

class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTimer;

// True for an http or https address with a host: the only links the program hands to the desktop.
bool IsWebLink(const QString& address);

// "本地版本：%s / 最新版本： %s" for the automatic check, "本地版本：%s / 远程版本： %s" for the user's.
QString UpdateVersionText(const UpdateCheckResult& result);

class CCheckSoftwareUpdateDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kCountdownTicks = 10;
    using UrlOpener = std::function<bool(const QUrl&)>;

    // With the countdown set the dialog closes itself (as OK) after ten timer ticks. `tickMs` is the
    // countdown's period.
    CCheckSoftwareUpdateDlg(bool countdown, const QString& appName, const QString& versionText,
                            const QString& downloadUrl, QWidget* parent = nullptr, int tickMs = 1000);

    // One countdown tick.
    void OnTimer();
    // "更新": stops the countdown and opens the download address when it is an http or https link.
    void OnUpdate();

    // The desktop's link opener by default; tests put their own.
    void setUrlOpener(UrlOpener opener) { m_opener = std::move(opener); }
    bool countdownActive() const { return m_countdown != 0; }
    int tickCount() const { return m_tickCount; }
    QPushButton* cancelButton() const { return m_cancel; }
    QPushButton* updateButton() const { return m_update; }

private:
    int32_t m_tickCount = 0;
    uint8_t m_countdown;
    QPushButton* m_cancel;
    QPushButton* m_update;
    QLineEdit* m_name;
    QLineEdit* m_version;
    QPlainTextEdit* m_address;
    QTimer* m_timer;
    UrlOpener m_opener;
};

// Runs update checks on worker threads and shows each result on the GUI thread: the dialog for an answer
// worth showing (non-modal for the automatic check, window-modal for the user's), the message
// "请检测网络是否可以访问Internet" when a check the user asked for could not reach the server, nothing
// otherwise. At most one automatic and one manual check run at a time. Destruction cancels and joins them.
class CUpdateCheckRunner : public QObject {
    Q_OBJECT
public:
    CUpdateCheckRunner(QWidget* dialogParent, std::string serverBase, std::string localVersion,
                       QObject* parent = nullptr);
    ~CUpdateCheckRunner() override;

    // Starts a check. The result is shown over `presentOn` when it still exists then, else over the
    // dialog parent. False (and nothing started) when a check of the same kind is still running.
    bool Start(bool automatic, QWidget* presentOn = nullptr);
    int runningChecks() const { return static_cast<int>(m_checks.size()); }

    // Time-outs and limits of the requests; the defaults are the program's.
    void setHttpOptions(const HttpGetOptions& options) { m_http = options; }
    // Period of the countdown of the dialogs it shows.
    void setCountdownTickMs(int ms) { m_tickMs = ms; }

signals:
    // After a result was handled; `dialog` is the dialog shown, or null.
    void checkDone(const UpdateCheckResult& result, CCheckSoftwareUpdateDlg* dialog);

private:
    struct Check {
        uint64_t id;
        bool automatic;
        QPointer<QWidget> presentOn;
        std::unique_ptr<CUpdateCheckThread> thread;
    };
    void onResult(uint64_t id, const UpdateCheckResult& result);

    QPointer<QWidget> m_dialogParent;
    std::string m_serverBase;
    std::string m_localVersion;
    HttpGetOptions m_http;
    int m_tickMs = 1000;
    uint64_t m_nextId = 1;
    std::vector<Check> m_checks;
};
