#include "ui/app/mainframe.h"

#include <QAction>
#include <QCloseEvent>
#include <QDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

#include <algorithm>
#include <utility>

#include "app/canworkspace.h"
#include "logging/canreplay.h"
#include "logging/workspacemembers.h"
#include "platform/qt/namedmutex.h"
#include "platform/qt/prompt.h"
#include "platform/util/utils.h"
#include "ui/app/candevcfgdlg.h"
#include "ui/app/canmsgfiltersetdlg.h"
#include "ui/app/filechoose.h"
#include "ui/app/frameicons.h"
#include "ui/app/framelayout.h"
#include "ui/app/framestatus.h"
#include "ui/app/infownd.h"
#include "ui/candb/candbcfgdlg.h"
#include "ui/logging/canmsgdatalogsetdlg.h"
#include "ui/logging/canreplaycontroldlg.h"
#include "ui/logging/logcvtdlg.h"
#include "ui/logging/mdftocsvdlg.h"
#include "ui/logging/sigmdfexportdlg.h"

namespace {

const char* const kChildTitles[] = {"TRACE", "GRAPH", "SEND", "INFO"};

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

FileQuestion cfgFileQuestion(const std::string& currentPath, const char* emptyText, const char* caption) {
    return {QStringLiteral("xml files(*.xml);;所有文件(*)"), QStringLiteral("xml"),
            QString::fromUtf8(emptyText), QString::fromUtf8(caption),
            currentPath.empty() ? QString() : QFileInfo(qs(currentPath)).absolutePath()};
}

}  // namespace

CMainFrame::CMainFrame(CCanWorkspace& ws) : CMainFrame(ws, Options{}) {}

CMainFrame::CMainFrame(CCanWorkspace& ws, Options options) : m_ws(ws), m_tickMs(options.tickMs) {
    m_sibling = options.sibling;
    if (m_sibling == nullptr) {
        m_ownProbe = std::make_unique<vex::LockFileProbe>(kSiblingMutexName);
        m_sibling = m_ownProbe.get();
    }
    // The continuous logger and the replay engine join the workspace with the frame that runs them.
    WorkspaceLogger(ws);
    WorkspaceReplay(ws);
    CFrameTickHost& host = *this;
    m_tick = std::make_unique<CMainFrameTick>(ws, *m_sibling, host);

    setWindowTitle(QStringLiteral("Vexarium"));
    setWindowIcon(AppIcon());
    m_mdi = new QMdiArea(this);
    m_mdi->setObjectName(QStringLiteral("mdiArea"));
    m_mdi->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_mdi->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(m_mdi);
    createActions();
    createMenus();
    createToolBar();
    createStatusBar();
    resize(1024, 700);
    m_timer = new QTimer(this);
    m_timer->setInterval(m_tickMs);
    connect(m_timer, &QTimer::timeout, this, &CMainFrame::OnTimer);
    UpdateCommandStates();
}

// The child objects go before the widgets they point into, which the MDI area deletes afterwards.
CMainFrame::~CMainFrame() {
    shutDown();
}

// ---- Menus, tool bar, status bar ----

void CMainFrame::createActions() {
    for (const FrameMenuDef& menu : FrameMenus()) {
        for (const FrameCmdDef& cmd : menu.items) {
            if (cmd.id == 0) continue;
            auto* action = new QAction(QString::fromUtf8(cmd.text), this);
            action->setObjectName(QStringLiteral("cmd%1").arg(cmd.id));
            action->setIcon(FrameCmdIcon(cmd.id));
            action->setIconVisibleInMenu(false);
            m_actions[cmd.id] = action;
            const uint32_t id = cmd.id;
            connect(action, &QAction::triggered, this, [this, id] { onCommand(id); });
        }
    }
    m_actions[ID_START_LISTEN]->setShortcut(QKeySequence(Qt::Key_F4));
    m_actions[ID_STOP_LISTEN]->setShortcut(QKeySequence(Qt::Key_F5));
    m_actions[ID_CFG_NEW]->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    for (uint32_t id : {ID_VIEW_TOOLBAR, ID_VIEW_STATUS_BAR}) {
        m_actions[id]->setCheckable(true);
        m_actions[id]->setChecked(true);
    }
}

void CMainFrame::createMenus() {
    for (const FrameMenuDef& def : FrameMenus()) {
        QMenu* menu = menuBar()->addMenu(QString::fromUtf8(def.title));
        for (const FrameCmdDef& cmd : def.items) {
            if (cmd.id == 0)
                menu->addSeparator();
            else
                menu->addAction(m_actions[cmd.id]);
        }
        // Enabling is brought up to date whenever a menu opens, not only on the tick.
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandStates);
    }
}

void CMainFrame::createToolBar() {
    m_toolBar = addToolBar(QStringLiteral("工具栏"));
    m_toolBar->setObjectName(QStringLiteral("mainToolBar"));
    m_toolBar->setIconSize(QSize(16, 16));
    m_toolBar->addAction(m_actions[ID_START_LISTEN]);
    m_toolBar->addAction(m_actions[ID_STOP_LISTEN]);
    m_toolBar->addSeparator();
    m_toolBar->addAction(m_actions[ID_START_LOG]);
    m_toolBar->addAction(m_actions[ID_STOP_LOG]);
    m_toolBar->addSeparator();
    m_toolBar->addAction(m_actions[ID_REPLAY]);
    // The tool bar's own close or the context menu keeps the view command's check mark right.
    connect(m_toolBar, &QToolBar::visibilityChanged, m_actions[ID_VIEW_TOOLBAR], &QAction::setChecked);
}

void CMainFrame::createStatusBar() {
    m_status = new CFrameStatusPanes(statusBar());
}

QString CMainFrame::BusStateText() const {
    return m_status->BusStateText();
}

QString CMainFrame::BusLoadText() const {
    return m_status->BusLoadText();
}

QAction* CMainFrame::Action(uint32_t id) const {
    const auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second;
}

FrameFlags CMainFrame::Flags() const {
    return {m_ws.IsOnline(), m_ws.IsReplaying(), m_ws.RxThread().ActiveService() != nullptr,
            m_ws.Hub().IsLogging()};
}

bool CMainFrame::Handled(uint32_t id) const {
    switch (id) {
        case ID_WND_TRACE:
            return static_cast<bool>(m_traceFactory);
        case ID_WND_GRAPH:
            return static_cast<bool>(m_graphFactory);
        case ID_WND_SEND:
            return static_cast<bool>(m_sendFactory);
        case ID_START_LOG:
        case ID_STOP_LOG:
            return m_ws.Hub().LogSink() != nullptr;
        case ID_REPLAY:
            return m_ws.Replay() != nullptr;
        case ID_EXT_QUEUE_TX:
        case ID_EXT_VEH_SIM:
        case ID_EXT_J1939_DMX:
            return static_cast<bool>(m_serviceFactory);
        case ID_TK_LOG_CVT:
        case ID_TK_LOG_CVT_OTHER:
        case ID_TK_LOG_TO_MDF:
        case ID_TK_MDF_TO_CSV:
        case ID_CFG_LOG:
        case ID_WND_INFO:
        case ID_CFG_NEW:
        case ID_CFG_LOAD:
        case ID_CFG_SAVE:
        case ID_CFG_SAVE_AS:
        case ID_APP_EXIT_CFG:
        case ID_START_LISTEN:
        case ID_STOP_LISTEN:
        case ID_CFG_DEVICE:
        case ID_CFG_CANDB:
        case ID_VIEW_TOOLBAR:
        case ID_VIEW_STATUS_BAR:
        case ID_APP_ABOUT:
            return true;
        default:
            // The services come with their own windows and dialogs.
            return false;
    }
}

void CMainFrame::UpdateCommandStates() {
    const FrameFlags flags = Flags();
    for (const FrameMenuDef& menu : FrameMenus()) {
        for (const FrameCmdDef& cmd : menu.items) {
            if (cmd.id == 0) continue;
            QAction* action = m_actions[cmd.id];
            const bool enabled = FrameCmdEnabled(cmd, flags, Handled(cmd.id));
            if (action->isEnabled() != enabled) action->setEnabled(enabled);
        }
    }
}

void CMainFrame::RunCommand(uint32_t id) {
    UpdateCommandStates();
    if (QAction* action = Action(id); action != nullptr && action->isEnabled()) action->trigger();
}

void CMainFrame::SetTraceWndFactory(TraceWndFactory factory) {
    m_traceFactory = std::move(factory);
    UpdateCommandStates();
}

void CMainFrame::SetGraphWndFactory(GraphWndFactory factory) {
    m_graphFactory = std::move(factory);
    UpdateCommandStates();
}

void CMainFrame::SetSendWndFactory(SendWndFactory factory) {
    m_sendFactory = std::move(factory);
    UpdateCommandStates();
}

void CMainFrame::SetServiceDlgFactory(ServiceDlgFactory factory) {
    m_serviceFactory = std::move(factory);
    UpdateCommandStates();
}

// ---- The tick ----

void CMainFrame::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (m_firstShow) {
        m_firstShow = false;
        if (m_tickMs > 0) m_timer->start();
    }
}

void CMainFrame::OnTimer() {
    m_tick->OnTimer();
    m_status->RefreshLocks();
    settleLayoutBaseline();
    UpdateCommandStates();
}

void CMainFrame::ShowBusStatus(const BusStatusTexts& texts) {
    m_status->ShowBusStatus(texts);
}

void CMainFrame::ShowAlert(const tINFO_MSG& msg) {
    m_status->ShowAlert(msg);
}

void CMainFrame::UpdateTitle(const std::string& path) {
    setWindowTitle(QStringLiteral("Vexarium %1 - [%2]").arg(qs(GetProductVersion()), qs(path)));
}

// ---- Child windows ----

tWND_CHILD_LAYOUT& CMainFrame::childLayout(Child child) const {
    tWND_LAYOUT& layout = m_ws.Cfg().WndLayout;
    switch (child) {
        case kTrace:
            return layout.Trace;
        case kGraph:
            return layout.Graph;
        case kSend:
            return layout.Send;
        default:
            return layout.Info;
    }
}

QMdiSubWindow* CMainFrame::subWindow(Child child) const {
    return m_sub[child].data();
}

QRect CMainFrame::defaultChildRect() {
    // Three quarters of the area, each new window a step further down and right.
    const QSize area = m_mdi->viewport()->size();
    const QSize size(std::max(area.width() * 3 / 4, 480), std::max(area.height() * 3 / 4, 300));
    const int step = 25 * (m_childrenMade++ % 8);
    return QRect(QPoint(step, step), size);
}

QMdiSubWindow* CMainFrame::addChildWidget(QWidget* widget, const char* title) {
    widget->setWindowTitle(QString::fromUtf8(title));
    QMdiSubWindow* sub = m_mdi->addSubWindow(widget);
    // Child windows are only hidden once made: closing must not delete them.
    sub->setAttribute(Qt::WA_DeleteOnClose, false);
    sub->installEventFilter(this);
    sub->setGeometry(defaultChildRect());
    sub->show();
    return sub;
}

void CMainFrame::createChild(Child child) {
    switch (child) {
        case kTrace:
            m_trace = m_traceFactory(m_ws);
            m_sub[child] = addChildWidget(m_trace->Widget(), kChildTitles[child]);
            break;
        case kGraph:
            m_graph = m_graphFactory(m_ws);
            m_sub[child] = addChildWidget(m_graph->Widget(), kChildTitles[child]);
            break;
        case kSend:
            m_send = m_sendFactory(m_ws);
            m_sub[child] = addChildWidget(m_send->Widget(), kChildTitles[child]);
            break;
        default:
            m_info = CInfoWnd::CreateWnd(defaultChildRect(), m_mdi, m_ws.InfoRing());
            m_sub[child] = m_info->subWindow();
            m_sub[child]->installEventFilter(this);
            break;
    }
}

void CMainFrame::hideChild(QMdiSubWindow* sub) {
    if (sub->isMinimized() || sub->isMaximized()) sub->showNormal();
    sub->hide();
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Close) {
        for (int c = 0; c < kChildCount; ++c) {
            if (watched != m_sub[c].data()) continue;
            // The user closed a child window: it is hidden with everything it shows, and not reopened
            // with the configuration.
            event->ignore();
            hideChild(m_sub[c]);
            childLayout(static_cast<Child>(c)).Show = 0;
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::openChild(Child child) {
    if (!childExists(child)) {
        createChild(child);
        const bool online = m_ws.IsOnline();
        const bool replaying = m_ws.IsReplaying();
        switch (child) {
            case kTrace:
                m_trace->ClearTrace();
                if (online || replaying) m_trace->ResumeLive();
                break;
            case kGraph:
                m_graph->ApplyGraphSigCfg();
                if (online) {
                    m_graph->StartGraph();
                } else if (replaying) {
                    m_graph->SetReplayPage(true);
                    m_graph->StartGraph();
                }
                break;
            case kSend:
                if (m_send->HasMsgView()) m_send->ReloadMsgList();
                if (m_send->HasSigView()) m_send->ResetSigList();
                if (online && m_send->HasMsgView()) m_send->CheckSingleChanDev();
                break;
            default:
                break;
        }
    } else {
        QMdiSubWindow* sub = subWindow(child);
        sub->show();
        m_mdi->setActiveSubWindow(sub);
        // The active window may lie below others (a restored stacking order puts it there): activating it
        // again does not raise it, and a window opened for the user must be in front.
        sub->raise();
    }
    childLayout(child).Show = 1;
    UpdateTitle(m_ws.CfgPath());
}

void CMainFrame::ApplyConfigWindows() {
    constexpr Child kOrder[] = {kTrace, kGraph, kSend, kInfo};
    for (Child c : kOrder) {
        if (childLayout(c).Show == 0) {
            if (QMdiSubWindow* sub = subWindow(c)) hideChild(sub);
        } else if (!childExists(c)) {
            // A window whose library is not part of this build stays closed.
            const bool creatable = c == kInfo || (c == kTrace && m_traceFactory) ||
                                   (c == kGraph && m_graphFactory) || (c == kSend && m_sendFactory);
            if (creatable) createChild(c);
        } else {
            QMdiSubWindow* sub = subWindow(c);
            sub->show();
            m_mdi->setActiveSubWindow(sub);
        }
    }

    const tWND_LAYOUT& layout = m_ws.Cfg().WndLayout;
    const QScreen* display = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
    if (display != nullptr && layout.ScreenWidth == display->size().width() &&
        layout.ScreenHigh == display->size().height()) {
        const QRect frameRect = PlacementRect(layout.MainFrame);
        if (frameRect.isValid() && display->availableGeometry().intersects(frameRect)) {
            if (isMaximized() || isMinimized()) showNormal();
            setGeometry(frameRect);
            if (PlacementState(layout.MainFrame) == WndShowState::Maximized && isVisible()) showMaximized();
        }
        for (Child c : kOrder) {
            QMdiSubWindow* sub = subWindow(c);
            if (sub == nullptr) continue;
            const tWND_PLACEMENT& placement = childLayout(c).Placement;
            if (const QRect rect = PlacementRect(placement); rect.isValid()) {
                if (sub->isMinimized() || sub->isMaximized()) sub->showNormal();
                sub->setGeometry(rect);
            }
            if (sub->isVisible()) {
                if (PlacementState(placement) == WndShowState::Maximized)
                    sub->showMaximized();
                else if (PlacementState(placement) == WndShowState::Minimized)
                    sub->showMinimized();
            }
            if (c == kGraph && m_graph) m_graph->RestoreLayout(layout.Graph.Splitter);
            if (c == kSend && m_send) m_send->RestoreLayout(layout.Send.Splitter);
        }
    }

    // The lowest order value ends on top; values outside 0 ... 100 are left where they are.
    QMdiSubWindow* top = nullptr;
    for (int v = 100; v >= 0; --v) {
        for (Child c : kOrder) {
            QMdiSubWindow* sub = subWindow(c);
            if (sub != nullptr && childLayout(c).Order == static_cast<uint32_t>(v)) {
                sub->raise();
                if (sub->isVisible()) top = sub;
            }
        }
    }
    // The window brought to the top is the active one, as bringing an MDI child to the top makes it: the
    // keyboard goes to the window the user sees in front, not to the last one shown above.
    if (top != nullptr) m_mdi->setActiveSubWindow(top);
}

void CMainFrame::RefreshChildWindows() {
    if (m_trace) m_trace->ClearTrace();
    if (m_graph) m_graph->ApplyGraphSigCfg();
    if (m_send) {
        if (m_send->HasMsgView()) m_send->ReloadMsgList();
        if (m_send->HasSigView()) m_send->ResetSigList();
    }
}

void CMainFrame::CaptureLayout() {
    tWND_LAYOUT& layout = m_ws.Cfg().WndLayout;
    // Visible child windows from the top down: 0 is the topmost. The order is the rank among the child
    // windows, not a count of every visible descendant widget: a Qt window holds dozens of those (scroll
    // bars, headers, viewports), so a count would pass 100, where the order is no longer restored.
    const QList<QMdiSubWindow*> stacking = m_mdi->subWindowList(QMdiArea::StackingOrder);
    uint32_t order = 0;
    for (auto it = stacking.rbegin(); it != stacking.rend(); ++it) {
        QMdiSubWindow* sub = *it;
        if (!sub->isVisible()) continue;
        for (int c = 0; c < kChildCount; ++c) {
            if (sub != m_sub[c].data()) continue;
            tWND_CHILD_LAYOUT& child = childLayout(static_cast<Child>(c));
            child.Order = order;
            const WndShowState state = sub->isMaximized()   ? WndShowState::Maximized
                                       : sub->isMinimized() ? WndShowState::Minimized
                                                            : WndShowState::Normal;
            StorePlacement(child.Placement, state == WndShowState::Normal ? sub->geometry() : QRect(), state);
            if (c == kGraph && m_graph) m_graph->SaveLayout(layout.Graph.Splitter);
            if (c == kSend && m_send) m_send->SaveLayout(layout.Send.Splitter);
        }
        ++order;
    }
    if (const QScreen* display = screen()) {
        layout.ScreenWidth = display->size().width();
        layout.ScreenHigh = display->size().height();
    }
    const WndShowState state = isMaximized()   ? WndShowState::Maximized
                               : isMinimized() ? WndShowState::Minimized
                                               : WndShowState::Normal;
    StorePlacement(layout.MainFrame, normalGeometry().isValid() ? normalGeometry() : geometry(), state);
}

// ---- Commands ----

void CMainFrame::onCommand(uint32_t id) {
    switch (id) {
        case ID_WND_TRACE:
            openChild(kTrace);
            break;
        case ID_WND_GRAPH:
            openChild(kGraph);
            break;
        case ID_WND_SEND:
            openChild(kSend);
            break;
        case ID_WND_INFO:
            openChild(kInfo);
            break;
        case ID_CFG_NEW:
            onCfgNew();
            break;
        case ID_CFG_LOAD:
            onCfgLoad();
            break;
        case ID_CFG_SAVE:
            onCfgSave();
            break;
        case ID_CFG_SAVE_AS:
            onCfgSaveAs();
            break;
        case ID_APP_EXIT_CFG:
            close();
            break;
        case ID_START_LISTEN:
            if (!startListening()) showInfoWnd();
            break;
        case ID_STOP_LISTEN:
            StopListening();
            break;
        case ID_START_LOG:
            onStartLogging();
            break;
        case ID_STOP_LOG:
            m_ws.Hub().StopLogging();
            break;
        case ID_REPLAY:
            onReplay();
            break;
        case ID_CFG_LOG:
            onLogSettings();
            break;
        case ID_CFG_DEVICE:
            onDevice();
            break;
        case ID_CFG_CANDB:
            editCanDatabases(this);
            break;
        case ID_TK_LOG_CVT:
        case ID_TK_LOG_CVT_OTHER:
        case ID_TK_LOG_TO_MDF:
        case ID_TK_MDF_TO_CSV:
            onTool(id);
            break;
        case ID_EXT_QUEUE_TX:
        case ID_EXT_VEH_SIM:
        case ID_EXT_J1939_DMX:
            openService(id);
            break;
        case ID_VIEW_TOOLBAR:
            m_toolBar->setVisible(m_actions[ID_VIEW_TOOLBAR]->isChecked());
            break;
        case ID_VIEW_STATUS_BAR:
            statusBar()->setVisible(m_actions[ID_VIEW_STATUS_BAR]->isChecked());
            break;
        case ID_APP_ABOUT:
            emit aboutRequested();
            break;
        default:
            break;
    }
    UpdateCommandStates();
}

void CMainFrame::StartListening() {
    startListening();
}

bool CMainFrame::startListening() {
    if (m_sibling->IsPresent()) {
        vex::ShowMessage(this, QStringLiteral("请先确认ZYL程序是否已经关闭。"));
        return true;
    }
    // A failure is in the info ring already.
    if (!m_ws.GoOnline()) return false;
    if (m_graph) m_graph->StartGraph();
    if (m_send && m_send->HasMsgView()) m_send->CheckSingleChanDev();
    if (m_trace) m_trace->ResumeLive();
    return true;
}

void CMainFrame::showInfoWnd() {
    openChild(kInfo);
}

void CMainFrame::StopListening() {
    m_ws.GoOffline();
    if (m_graph) m_graph->StopGraph();
    if (m_send && m_send->HasMsgView()) m_send->ResetCycColumn();
}

void CMainFrame::onStartLogging() {
    if (!m_ws.Hub().StartLogging(m_ws.Cfg().Log.LogFileNameId)) {
        const ICanMsgLogSink* logger = m_ws.Hub().LogSink();
        m_ws.AddInfoMsg(
            "开始记录", 2,
            "记录文件没有创建，报文没有记录。" + (logger != nullptr ? logger->LastError() : std::string()));
        showInfoWnd();
    }
}

void CMainFrame::onLogSettings() {
    // Looked at, not changed, while the bus is open or a replay runs.
    const bool readOnly = m_ws.IsOnline() || m_ws.IsReplaying();
    EditLogSettings(
        m_ws.Cfg().Log, readOnly,
        [](CCanMsgFilter& filter, bool filterReadOnly, QWidget* parent) {
            CCanMsgFilterSetDlg dlg(filter, filterReadOnly, parent);
            if (dlg.exec() != QDialog::Accepted) return false;
            CCanMsgFilter::Assign(filter, dlg.filter());
            return true;
        },
        this);
}

void CMainFrame::onReplay() {
    if (m_replayDlg) {
        m_replayDlg->raise();
        m_replayDlg->activateWindow();
        return;
    }
    CCanReplay& replay = WorkspaceReplay(m_ws);
    if (!BeginReplay(m_ws, replay)) return;
    auto* dlg = new CCanReplayControlDlg(replay, m_ws.Cfg().Replay, this);
    dlg->setAttribute(Qt::WA_DeleteOnClose);
    // Each page starts the trace and the graph afresh, the graph stopping at the page's end.
    dlg->SetPageHook([this] {
        if (m_trace) m_trace->ResumeLive();
        if (m_graph) {
            m_graph->SetReplayPage(true);
            m_graph->StartGraph();
        }
    });
    connect(dlg, &QDialog::finished, this, [this, &replay] {
        // The closed control deletes itself later; a new replay gets a new one.
        m_replayDlg = nullptr;
        EndReplay(m_ws, replay);
        UpdateCommandStates();
    });
    m_replayDlg = dlg;
    dlg->show();
}

void CMainFrame::onDevice() {
    EditCanDevices(m_ws.Cfg(), m_ws.IsOnline(), this);
}

// The database list edits the live configuration's databases; afterwards they are written into the
// current file, every other section as the file holds it. A file that does not read cleanly is left as
// it is and the reason shown.
void CMainFrame::editCanDatabases(QWidget* parent) {
    {
        CCanDbCfgDlg dlg(m_ws, parent);
        dlg.exec();
    }
    CAppCfg file;
    std::string error;
    if (!CAppCfg::SaveCanDatabases(file, m_ws.Cfg(), m_ws.CfgPath(), error))
        vex::CurrentPrompt().message(parent, qs(error), QStringLiteral("CAN数据库"), vex::MsgButtons::Ok,
                                     vex::MsgIcon::Error);
}

// The log tools run modally; the export's database button is the frame's database command.
void CMainFrame::onTool(uint32_t id) {
    switch (id) {
        case ID_TK_LOG_CVT: {
            CTkCanMsgLogFileCvtDlg dlg(this);
            dlg.exec();
            break;
        }
        case ID_TK_LOG_CVT_OTHER: {
            CTkCanMsgLogFileCvtOtherDlg dlg(this);
            dlg.exec();
            break;
        }
        case ID_TK_LOG_TO_MDF: {
            CTkCanMsgLogFileToSigMdfDlg dlg(
                m_ws.Hub(), [this](QWidget* parent) { editCanDatabases(parent); }, this);
            dlg.exec();
            break;
        }
        case ID_TK_MDF_TO_CSV: {
            CTkMdfToCsvDlg dlg(this);
            dlg.exec();
            break;
        }
        default:
            break;
    }
}

bool CMainFrame::saveCfgTo(const std::string& path, const QString& caption) {
    std::string error;
    if (m_ws.Cfg().SaveConfigAs(path, error)) return true;
    vex::CurrentPrompt().message(this, QStringLiteral("配置文件没有保存：%1").arg(qs(error)), caption,
                                 vex::MsgButtons::Ok, vex::MsgIcon::Error);
    return false;
}

void CMainFrame::rememberLayoutBaseline() {
    CAppCfg& cfg = m_ws.Cfg();
    LayoutBaseline baseline;
    baseline.file = cfg.WndLayout;
    CaptureLayout();
    baseline.shown = std::exchange(cfg.WndLayout, baseline.file);
    m_layoutBaseline = baseline;
}

void CMainFrame::settleLayoutBaseline() {
    if (!m_layoutBaseline) {
        // The first tick applied the configuration's windows (or found no file).
        rememberLayoutBaseline();
        m_layoutSettleTicks = kLayoutSettleTicks;
        m_inputWatch = std::make_unique<CUserInputWatch>();
        return;
    }
    if (m_layoutSettleTicks == 0) return;
    if (m_inputWatch->Seen()) {
        m_layoutSettleTicks = 0;
    } else {
        rememberLayoutBaseline();
        --m_layoutSettleTicks;
    }
    if (m_layoutSettleTicks == 0) m_inputWatch.reset();
}

bool CMainFrame::modifiedAtClose() {
    CAppCfg& cfg = m_ws.Cfg();
    // Windows that stand where the configuration put them are the layout the file holds, even when the
    // file's placements were not for this screen or are the placeholders of a new file.
    if (!m_layoutBaseline || !(cfg.WndLayout == m_layoutBaseline->shown)) return cfg.IsModified();
    const tWND_LAYOUT captured = std::exchange(cfg.WndLayout, m_layoutBaseline->file);
    const bool modified = cfg.IsModified();
    cfg.WndLayout = captured;
    return modified;
}

bool CMainFrame::askSaveModified(bool modified) {
    if (!modified) return true;
    const QString caption = QStringLiteral("保存配置");
    switch (vex::CurrentPrompt().message(this, QStringLiteral("是否保存当前配置?"), caption,
                                         vex::MsgButtons::YesNoCancel, vex::MsgIcon::Question)) {
        case vex::MsgResult::Yes:
            // A save that failed keeps the changes on screen: nothing goes on that would drop them.
            return saveCfgTo(m_ws.CfgPath(), caption);
        case vex::MsgResult::No:
            return true;
        default:
            return false;
    }
}

void CMainFrame::onCfgNew() {
    if (!askSaveModified(m_ws.Cfg().IsModified())) return;
    const QString path =
        AskSaveFile(this, cfgFileQuestion(m_ws.CfgPath(), "新建配置文件名称为空。", "新建配置"));
    if (path.isEmpty()) return;
    CAppCfg& cfg = m_ws.Cfg();
    m_ws.SetCfgPath(path.toStdString());
    cfg.SetDefaults();
    cfg.SetFileState(0);
    cfg.ClearFileText();
    saveCfgTo(m_ws.CfgPath(), QStringLiteral("新建配置"));
    ApplyConfigWindows();
    RefreshChildWindows();
    UpdateTitle(m_ws.CfgPath());
    rememberLayoutBaseline();
}

void CMainFrame::onCfgLoad() {
    if (!askSaveModified(m_ws.Cfg().IsModified())) return;
    const QString caption = QStringLiteral("载入配置");
    const QString path =
        AskOpenFile(this, cfgFileQuestion(m_ws.CfgPath(), "载入配置文件名称为空。", "载入配置"));
    if (path.isEmpty()) return;
    std::string message;
    if (!m_ws.Cfg().OpenConfig(path.toStdString(), message)) {
        // The working file stays the one in use: a later save must not write over a file that was not read.
        vex::CurrentPrompt().message(this, QStringLiteral("配置文件没有载入：%1").arg(qs(message)), caption,
                                     vex::MsgButtons::Ok, vex::MsgIcon::Warning);
        return;
    }
    m_ws.SetCfgPath(path.toStdString());
    ApplyConfigWindows();
    RefreshChildWindows();
    UpdateTitle(m_ws.CfgPath());
    rememberLayoutBaseline();
    // What was not read of the file is the user's to see now, beside the windows the file asked for.
    if (!message.empty()) {
        m_ws.AddInfoMsg(CCanWorkspace::kCfgSource, 1, message);
        showInfoWnd();
    }
}

void CMainFrame::onCfgSave() {
    CaptureLayout();
    if (saveCfgTo(m_ws.CfgPath(), QStringLiteral("保存配置"))) rememberLayoutBaseline();
}

void CMainFrame::onCfgSaveAs() {
    const QString caption = QStringLiteral("配置另存为");
    const QString path =
        AskSaveFile(this, cfgFileQuestion(m_ws.CfgPath(), "配置文件名称为空。", "配置另存为"));
    if (path.isEmpty()) return;
    CaptureLayout();
    // The chosen file is a copy: the working file and the title stay.
    if (!saveCfgTo(m_ws.CfgPath(), caption)) return;
    rememberLayoutBaseline();
    saveCfgTo(path.toStdString(), caption);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (m_shutDown) {
        event->accept();
        return;
    }
    CaptureLayout();
    if (!askSaveModified(modifiedAtClose())) {
        event->ignore();
        return;
    }
    shutDown();
    event->accept();
    emit closed();
}

void CMainFrame::openService(uint32_t id) {
    if (m_serviceDlg || !m_serviceFactory || m_ws.RxThread().ActiveService() != nullptr) return;
    const FrameServiceDlg made = m_serviceFactory(id, m_ws);
    if (made.dialog == nullptr) return;
    m_ws.RxThread().SetActiveService(made.service);
    m_serviceDlg = made.dialog;
    QDialog* dialog = made.dialog;
    connect(dialog, &QDialog::finished, this, [this, dialog] { serviceFinished(dialog); });
    dialog->show();
    UpdateCommandStates();
}

void CMainFrame::serviceFinished(QDialog* dialog) {
    // The dialog stopped its service's threads as it ended; no frame reaches the service from here on.
    m_ws.RxThread().SetActiveService(nullptr);
    if (m_serviceDlg == dialog) m_serviceDlg = nullptr;
    dialog->deleteLater();
    UpdateCommandStates();
}

void CMainFrame::shutDown() {
    if (m_shutDown) return;
    m_shutDown = true;
    m_timer->stop();
    // An open service window ends first: it stops and joins its service's threads.
    if (QDialog* dialog = m_serviceDlg.data()) {
        dialog->reject();
        delete dialog;
    }
    // A running replay ends first: its control closes and the replay flags are cleared.
    if (m_replayDlg) m_replayDlg->reject();
    // Nothing may keep running into the workspace once the frame is gone.
    m_ws.RxThread().SetActiveService(nullptr);
    if (m_ws.IsOnline()) StopListening();
    m_ws.GoOffline();
}
