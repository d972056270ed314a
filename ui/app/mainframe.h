#pragma once
// CMainFrame: the program's MDI main window. It holds the menus, the tool bar, the status bar (the newest
// warning or error, bus state, bus load, the keyboard's locks), and the four child windows (trace, graph,
// send, info), and runs the tick that moves received frames into the data hub, device reports into the
// info ring and the bus status onto the status bar, and that gives way to the sibling program when it
// takes the interface. A command of the user that fails with a message in the info ring opens the info
// window. Its commands open
// the child windows, create, load and save configuration files, go online and offline, log, set up
// logging, replay a log, and run the log tools.
//
// GUI thread only. The workspace outlives the frame; closing the frame goes offline and leaves no
// thread of the frame's running.
#include <QDialog>
#include <QMainWindow>
#include <QPointer>

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "ui/app/framechildwnd.h"
#include "ui/app/framecommands.h"
#include "ui/app/framelayout.h"
#include "ui/app/mainframetick.h"
#include "ui/logging/canreplaycontroldlg.h"

class CCanWorkspace;
class CFrameStatusPanes;
class CInfoWnd;
class QAction;
class QMdiArea;
class QMdiSubWindow;
class QTimer;
class QToolBar;
namespace vex {
class SiblingProbe;
}

class CMainFrame : public QMainWindow, private CFrameTickHost {
    Q_OBJECT
public:
    // The tick's period: the platform's shortest practical timer.
    static constexpr int kTickMs = 10;
    // Ticks after the first during which the layout as shown is taken again until the user acts: the
    // window system may still be placing the frame it was asked to show.
    static constexpr int kLayoutSettleTicks = 100;

    struct Options {
        // Tells whether the sibling program holds the interface; null: the lock-file probe of its mutex.
        vex::SiblingProbe* sibling = nullptr;
        // The tick's period in ms; 0 starts no timer (the caller runs OnTimer).
        int tickMs = kTickMs;
    };

    explicit CMainFrame(CCanWorkspace& ws);
    CMainFrame(CCanWorkspace& ws, Options options);
    ~CMainFrame() override;

    // The monitoring windows' libraries plug in here; each window command is enabled once its factory
    // is set.
    void SetTraceWndFactory(TraceWndFactory factory);
    void SetGraphWndFactory(GraphWndFactory factory);
    void SetSendWndFactory(SendWndFactory factory);
    // The extension services' windows; their three commands are enabled once it is set.
    void SetServiceDlgFactory(ServiceDlgFactory factory);

    // One tick (CMainFrameTick), then the command states.
    void OnTimer();

    // Creates, shows or hides the four child windows as the configuration says; with the screen size the
    // layout was taken on, also their placements; then their stacking order.
    void ApplyConfigWindows() override;
    // Reloads what the open child windows show from the configuration.
    void RefreshChildWindows() override;
    // Stacking order, screen size and placements into the configuration.
    void CaptureLayout();
    // "Vexarium <version> - [<path>]".
    void UpdateTitle(const std::string& path) override;

    // Runs a menu command as the user would (nothing when it is disabled).
    void RunCommand(uint32_t id);
    QAction* Action(uint32_t id) const;
    // The program's state as the commands' enabling sees it.
    FrameFlags Flags() const;
    // Whether this build has something that runs the command.
    bool Handled(uint32_t id) const;
    // Enables and disables every command for the current state.
    void UpdateCommandStates();

    CCanWorkspace& Workspace() const { return m_ws; }
    QMdiArea* MdiArea() const { return m_mdi; }
    CInfoWnd* InfoWnd() const { return m_info; }
    CFrameTraceWnd* TraceWnd() const { return m_trace.get(); }
    CFrameGraphWnd* GraphWnd() const { return m_graph.get(); }
    CFrameSendWnd* SendWnd() const { return m_send.get(); }
    // The replay control while a replay runs; null otherwise.
    CCanReplayControlDlg* ReplayDlg() const { return m_replayDlg.data(); }
    // The open service window, or null.
    QDialog* ServiceDlg() const { return m_serviceDlg.data(); }
    QToolBar* ToolBar() const { return m_toolBar; }
    QString BusStateText() const;
    QString BusLoadText() const;
    // The status bar's panes.
    const CFrameStatusPanes& StatusPanes() const { return *m_status; }
    const CMainFrameTick& Tick() const { return *m_tick; }

signals:
    // "关于 Vexarium": the application object shows its About box.
    void aboutRequested();
    // The frame closed: the program is offline and ends.
    void closed();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum Child { kTrace, kGraph, kSend, kInfo, kChildCount };

    void createActions();
    void createMenus();
    void createToolBar();
    void createStatusBar();

    // CFrameTickHost
    void ShowBusStatus(const BusStatusTexts& texts) override;
    void ShowAlert(const tINFO_MSG& msg) override;
    void StartListening() override;
    void StopListening() override;

    // The start-listening command; false when going online failed (the reason is in the info ring).
    bool startListening();
    // Opens the info window, which shows what the ring holds on its next pass: for a failure of a command
    // the user gave.
    void showInfoWnd();

    // Commands.
    void onCommand(uint32_t id);
    void openChild(Child child);
    void onCfgNew();
    void onCfgLoad();
    void onCfgSave();
    void onCfgSaveAs();
    void onStartLogging();
    void onLogSettings();
    // Replay mode for as long as the replay control is open (only while offline and idle).
    void onReplay();
    void onDevice();
    // The database list over `parent`, then the databases into the current file.
    void editCanDatabases(QWidget* parent);
    // The four log tools (conversion, other text logs, signal export, MDF to CSV).
    void onTool(uint32_t id);
    // The question "是否保存当前配置?" when `modified`; false when the user cancelled or the save failed.
    bool askSaveModified(bool modified);
    // Keeps the layout the configuration holds and the one its windows show once it has been applied,
    // loaded or saved.
    void rememberLayoutBaseline();
    // The first tick's baseline, then again on the settling ticks while the user has not acted.
    void settleLayoutBaseline();
    // Whether closing finds the configuration changed: a layout captured as it was shown counts as the
    // layout the file holds.
    bool modifiedAtClose();
    bool saveCfgTo(const std::string& path, const QString& caption);
    // Takes the program offline and stops what runs on other threads; for closing.
    void shutDown();
    // Runs a service's window (algorithm of the service commands): the service is active from before the
    // dialog is shown until after it has finished.
    void openService(uint32_t id);
    void serviceFinished(QDialog* dialog);

    // Child windows.
    QMdiSubWindow* subWindow(Child child) const;
    bool childExists(Child child) const { return subWindow(child) != nullptr; }
    void createChild(Child child);
    QRect defaultChildRect();
    QMdiSubWindow* addChildWidget(QWidget* widget, const char* title);
    tWND_CHILD_LAYOUT& childLayout(Child child) const;
    void hideChild(QMdiSubWindow* sub);

    CCanWorkspace& m_ws;
    std::unique_ptr<vex::SiblingProbe> m_ownProbe;
    vex::SiblingProbe* m_sibling;
    std::unique_ptr<CMainFrameTick> m_tick;
    int m_tickMs;
    QTimer* m_timer = nullptr;
    bool m_firstShow = true;
    bool m_shutDown = false;
    struct LayoutBaseline {
        tWND_LAYOUT file;   // as the configuration holds it
        tWND_LAYOUT shown;  // captured once the configuration was in effect
    };
    std::optional<LayoutBaseline> m_layoutBaseline;
    int m_layoutSettleTicks = 0;
    std::unique_ptr<CUserInputWatch> m_inputWatch;

    TraceWndFactory m_traceFactory;
    GraphWndFactory m_graphFactory;
    SendWndFactory m_sendFactory;
    ServiceDlgFactory m_serviceFactory;
    QPointer<QDialog> m_serviceDlg;
    std::unique_ptr<CFrameTraceWnd> m_trace;
    std::unique_ptr<CFrameGraphWnd> m_graph;
    std::unique_ptr<CFrameSendWnd> m_send;
    CInfoWnd* m_info = nullptr;
    QPointer<CCanReplayControlDlg> m_replayDlg;
    QPointer<QMdiSubWindow> m_sub[kChildCount];
    int m_childrenMade = 0;

    QMdiArea* m_mdi = nullptr;
    QToolBar* m_toolBar = nullptr;
    CFrameStatusPanes* m_status = nullptr;
    std::map<uint32_t, QAction*> m_actions;
};
