#include "ui/services/queuetxdlg.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMetaObject>
#include <QStyle>
#include <QToolBar>
#include <QVBoxLayout>

#include "app/canworkspace.h"
#include "config/queuetxfile.h"
#include "platform/qt/prompt.h"
#include "ui/services/queuetxadddlg.h"
#include "ui/services/queuetxmsgview.h"
#include "ui/services/svcfilechoose.h"
#include "windows/sendsigview.h"
#include "windows/xsplitterwnd.h"

namespace {

using F = CExtSerCanMsgQueueTxFrameWnd;

constexpr int kTopBand = 30;

SvcFileQuestion listFile(const char* emptyText, const char* caption) {
    return {QStringLiteral("xml files(*.xml);;所有文件(*)"), QStringLiteral("xml"),
            QString::fromUtf8(emptyText), QString::fromUtf8(caption)};
}

}  // namespace

// ---- CExtSerCanMsgQueueTxFrameWnd ----

CExtSerCanMsgQueueTxFrameWnd::CExtSerCanMsgQueueTxFrameWnd(CCanWorkspace& ws, CExtSerCanMsgQueueTx& service,
                                                           QWidget* parent)
    : QWidget(parent),
      m_ws(ws),
      m_service(service),
      m_msgView(nullptr),
      m_sigView(nullptr),
      m_splitter(new CxSplitterWnd(Qt::Vertical, this)),
      m_toolBar(new QToolBar(this)) {
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setCursor(Qt::ArrowCursor);
    resize(600, 600);

    m_toolBar->setObjectName(QStringLiteral("queueTxToolBar"));
    m_toolBar->setMovable(false);
    m_toolBar->setIconSize(QSize(18, 16));
    const QStyle* st = style();
    const struct {
        uint32_t id;
        QStyle::StandardPixmap icon;
    } buttons[] = {{F::ID_NEW_LIST, QStyle::SP_FileIcon},
                   {F::ID_SAVE_LIST, QStyle::SP_DialogSaveButton},
                   {F::ID_LOAD_LIST, QStyle::SP_DialogOpenButton},
                   {0, {}},
                   {F::ID_ADD, QStyle::SP_FileDialogNewFolder},
                   {F::ID_DELETE, QStyle::SP_TrashIcon},
                   {F::ID_UP, QStyle::SP_ArrowUp},
                   {F::ID_DOWN, QStyle::SP_ArrowDown},
                   {0, {}},
                   {F::ID_SEND_ONCE, QStyle::SP_MediaPlay},
                   {F::ID_SEND_REPEAT, QStyle::SP_BrowserReload},
                   {F::ID_STOP, QStyle::SP_MediaStop}};
    for (const auto& b : buttons) {
        if (b.id == 0) {
            m_toolBar->addSeparator();
            continue;
        }
        QAction* action = m_toolBar->addAction(st->standardIcon(b.icon), QString());
        action->setObjectName(QStringLiteral("cmd%1").arg(b.id));
        m_actions[b.id] = action;
    }
    connect(m_actions[ID_NEW_LIST], &QAction::triggered, this, &F::OnNewList);
    connect(m_actions[ID_SAVE_LIST], &QAction::triggered, this, &F::OnSaveList);
    connect(m_actions[ID_LOAD_LIST], &QAction::triggered, this, &F::OnLoadList);
    connect(m_actions[ID_ADD], &QAction::triggered, this, &F::OnAddFrames);
    connect(m_actions[ID_DELETE], &QAction::triggered, this, [this] { m_msgView->DeleteSelected(); });
    connect(m_actions[ID_UP], &QAction::triggered, this, [this] { m_msgView->MoveSelected(-1); });
    connect(m_actions[ID_DOWN], &QAction::triggered, this, [this] { m_msgView->MoveSelected(+1); });
    connect(m_actions[ID_SEND_ONCE], &QAction::triggered, this,
            [this] { OnSend(CExtSerCanMsgQueueTx::Mode::Once); });
    connect(m_actions[ID_SEND_REPEAT], &QAction::triggered, this,
            [this] { OnSend(CExtSerCanMsgQueueTx::Mode::Repeat); });
    connect(m_actions[ID_STOP], &QAction::triggered, this, &F::OnStop);

    tCFG_SET_EXT_QUEUE_TX_SERVICE& section = ws.Cfg().QueueTx;
    m_msgView = new CExtSerCanMsgQueueTxMsgListView(section, m_splitter);
    m_sigView = new CSendSigView(SigListStore::Of(section), m_splitter);
    m_splitter->setChildrenCollapsible(false);
    m_splitter->addWidget(m_msgView);
    m_splitter->addWidget(m_sigView);
    m_splitter->setStretchFactor(0, 6);
    m_splitter->setStretchFactor(1, 4);
    m_splitter->setSizes({360, 240});

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_toolBar);
    layout->addWidget(m_splitter, 1);

    connect(m_msgView, &CExtSerCanMsgQueueTxMsgListView::rowActivated, m_sigView, &CSendSigView::LoadSignals);
    connect(m_msgView, &CExtSerCanMsgQueueTxMsgListView::recordEdited, m_sigView, [this](uint32_t key) {
        if (m_sigView->CurrentKey() == static_cast<int64_t>(key)) m_sigView->RefreshValues(key);
    });
    connect(m_msgView, &CExtSerCanMsgQueueTxMsgListView::rowDeleted, m_sigView, &CSendSigView::OnMsgDeleted);
    connect(m_sigView, &CSendSigView::dataBytesChanged, m_msgView,
            &CExtSerCanMsgQueueTxMsgListView::UpdateRowData);
    UpdateToolBar();
}

CExtSerCanMsgQueueTxFrameWnd::~CExtSerCanMsgQueueTxFrameWnd() {
    Shutdown();
}

QAction* CExtSerCanMsgQueueTxFrameWnd::Action(uint32_t id) const {
    const auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second;
}

void CExtSerCanMsgQueueTxFrameWnd::RunCommand(uint32_t id) {
    UpdateToolBar();
    if (QAction* action = Action(id); action != nullptr && action->isEnabled()) action->trigger();
}

void CExtSerCanMsgQueueTxFrameWnd::UpdateToolBar() {
    for (const auto& [id, action] : m_actions) action->setEnabled(id == ID_STOP ? m_sending : !m_sending);
}

void CExtSerCanMsgQueueTxFrameWnd::OnNewList() {
    tCFG_SET_EXT_QUEUE_TX_SERVICE& section = m_ws.Cfg().QueueTx;
    section.SigRawValShowHex = 1;
    section.NextKey = 0;
    section.MsgMap.clear();
    m_msgView->ReloadMsgList();
    m_sigView->ResetSigList();
}

void CExtSerCanMsgQueueTxFrameWnd::OnSaveList() {
    const QString path = AskServiceSaveFile(this, listFile("文件名称为空。", "配置存储"));
    if (path.isEmpty()) return;
    m_msgView->StoreOrder();
    std::string error;
    if (!SaveQueueTxMsgFile(m_ws.Cfg(), path.toStdString(), error))
        vex::CurrentPrompt().message(
            this, QStringLiteral("列表文件没有保存：%1").arg(QString::fromStdString(error)),
            QStringLiteral("配置存储"), vex::MsgButtons::Ok, vex::MsgIcon::Error);
}

void CExtSerCanMsgQueueTxFrameWnd::OnLoadList() {
    const QString path = AskServiceOpenFile(this, listFile("载入文件名称为空。", "载入配置"));
    if (path.isEmpty()) return;
    std::string error, notice;
    if (!LoadQueueTxMsgFile(m_ws.Cfg(), path.toStdString(), error, &notice)) {
        vex::CurrentPrompt().message(
            this, QStringLiteral("列表文件没有载入：%1").arg(QString::fromStdString(error)),
            QStringLiteral("载入配置"), vex::MsgButtons::Ok, vex::MsgIcon::Warning);
        return;
    }
    m_msgView->ReloadMsgList();
    m_sigView->ResetSigList();
    if (!notice.empty())
        vex::CurrentPrompt().message(this, QString::fromStdString(notice), QStringLiteral("载入配置"),
                                     vex::MsgButtons::Ok, vex::MsgIcon::Warning);
}

void CExtSerCanMsgQueueTxFrameWnd::OnAddFrames() {
    CExtSerQueueTxMsgAddDlg dlg(m_ws.Hub(), this);
    if (dlg.exec() == QDialog::Accepted) m_msgView->AddFrames(dlg.m_Msg, dlg.m_Count);
}

void CExtSerCanMsgQueueTxFrameWnd::OnSend(CExtSerCanMsgQueueTx::Mode mode) {
    if (!m_ws.Sender().IsOnline()) {
        vex::ShowMessage(this, QStringLiteral("请先开启监听。"));
        return;
    }
    if (m_sending || m_msgView->IsSending()) return;
    const std::vector<uint32_t> keys = m_msgView->TakeSnapshot();
    std::vector<tQUEUE_TX_ITEM> items;
    if (const std::string why = BuildQueueTxItems(m_ws.Cfg().QueueTx, keys, items); !why.empty()) {
        vex::ShowMessage(this, QString::fromStdString(why));
        return;
    }
    // The worker reports on its own thread; the reports reach this window through its event loop. The
    // window joins the worker before it goes, and reports still queued then go with it.
    CExtSerCanMsgQueueTx::Events events;
    events.sending = [this](size_t index) {
        QMetaObject::invokeMethod(
            this, [this, index] { onWorkerSending(index); }, Qt::QueuedConnection);
    };
    events.ended = [this](CExtSerCanMsgQueueTx::End) {
        QMetaObject::invokeMethod(
            this, [this] { onWorkerEnded(); }, Qt::QueuedConnection);
    };
    m_msgView->BeginSending();
    if (!m_service.Start(std::move(items), mode, std::move(events))) {
        m_msgView->EndSending();
        return;
    }
    m_sending = true;
    UpdateToolBar();
}

void CExtSerCanMsgQueueTxFrameWnd::onWorkerSending(size_t index) {
    if (m_sending) m_msgView->ShowSendingRow(static_cast<int>(index));
}

void CExtSerCanMsgQueueTxFrameWnd::onWorkerEnded() {
    // A later pass may already run when the report of an earlier one arrives.
    if (!m_sending || m_service.IsRunning()) return;
    m_sending = false;
    m_msgView->EndSending();
    UpdateToolBar();
}

void CExtSerCanMsgQueueTxFrameWnd::OnStop() {
    m_service.Stop();
}

void CExtSerCanMsgQueueTxFrameWnd::Shutdown() {
    m_service.Abort();
    if (m_sending) {
        m_sending = false;
        m_msgView->EndSending();
        UpdateToolBar();
    }
}

// ---- CExtSerCanMsgQueueTxDlg ----

CExtSerCanMsgQueueTxDlg::CExtSerCanMsgQueueTxDlg(CCanWorkspace& ws, CExtSerCanMsgQueueTx& service,
                                                 QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("CAN报文队列发送"));
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    setSizeGripEnabled(true);
    m_pFrameWnd = new CExtSerCanMsgQueueTxFrameWnd(ws, service, this);
    resize(1080, 600);
}

void CExtSerCanMsgQueueTxDlg::placeFrame() {
    if (m_pFrameWnd == nullptr) return;
    const QRect client = rect();
    m_pFrameWnd->setGeometry(0, kTopBand, client.width(), std::max(0, client.height() - kTopBand));
}

void CExtSerCanMsgQueueTxDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (m_bLaidOut) return;
    placeFrame();
    m_pFrameWnd->show();
    m_bLaidOut = true;
    m_pFrameWnd->msgView()->ReloadMsgList();
    m_pFrameWnd->sigView()->ResetSigList();
}

void CExtSerCanMsgQueueTxDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    if (m_bLaidOut) placeFrame();
}

void CExtSerCanMsgQueueTxDlg::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            event->accept();
            return;
        default:
            QDialog::keyPressEvent(event);
    }
}

void CExtSerCanMsgQueueTxDlg::done(int result) {
    if (m_pFrameWnd != nullptr) m_pFrameWnd->Shutdown();
    QDialog::done(result);
}
