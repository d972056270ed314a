#include "windows/sendwnd.h"

#include <QCloseEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QSplitter>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>

#include "config/appcfg.h"

#include "windows/sendmsgdlg.h"
#include "windows/sendmsgview.h"
#include "windows/sendsigview.h"

CSendWnd::CSendWnd(CAppCfg& cfg, CCanMsgDataHub& hub, const CCanMsgSender& sender, QWidget* parent)
    : QWidget(parent),
      m_cfg(cfg),
      m_hub(hub),
      m_toolBar(new QToolBar(this)),
      m_splitter(new QSplitter(Qt::Vertical, this)),
      m_msgView(new CSendMsgView(cfg, sender, m_splitter)),
      m_sigView(new CSendSigView(cfg.Send, m_splitter)) {
    setWindowTitle(QStringLiteral("SEND"));
    m_toolBar->setObjectName(QStringLiteral("sendToolBar"));
    m_toolBar->setMovable(false);
    m_toolBar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    QAction* add = m_toolBar->addAction(QStringLiteral("添加报文"), this, &CSendWnd::OnAddMsg);
    add->setObjectName(QStringLiteral("actAddMsg"));
    QAction* del = m_toolBar->addAction(QStringLiteral("删除报文"), this, &CSendWnd::OnDeleteMsg);
    del->setObjectName(QStringLiteral("actDeleteMsg"));

    m_splitter->setChildrenCollapsible(false);
    m_splitter->addWidget(m_msgView);
    m_splitter->addWidget(m_sigView);
    // As the window grows or shrinks, the signal list takes the change.
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_toolBar);
    layout->addWidget(m_splitter, 1);

    connect(m_msgView, &CSendMsgView::rowActivated, m_sigView, &CSendSigView::LoadSignals);
    connect(m_msgView, &CSendMsgView::recordEdited, m_sigView, &CSendSigView::LoadSignals);
    connect(m_msgView, &CSendMsgView::rowDeleted, m_sigView, &CSendSigView::OnMsgDeleted);
    connect(m_sigView, &CSendSigView::dataBytesChanged, m_msgView, &CSendMsgView::UpdateRowData);
    m_sigView->ResetSigList();
    m_msgView->ReloadMsgList();
}

CSendWnd* CSendWnd::CreateWnd(QMdiArea* area, CAppCfg& cfg, CCanMsgDataHub& hub,
                              const CCanMsgSender& sender) {
    auto* wnd = new CSendWnd(cfg, hub, sender);
    QMdiSubWindow* sub = area->addSubWindow(wnd);
    // Closing only hides the window, so it must outlive its close box.
    sub->setAttribute(Qt::WA_DeleteOnClose, false);
    sub->show();
    return wnd;
}

QMdiSubWindow* CSendWnd::subWindow() const {
    return qobject_cast<QMdiSubWindow*>(parentWidget());
}

void CSendWnd::OnAddMsg() {
    CSendMsgDlg dlg(m_hub, m_cfg.Send, this);
    if (dlg.exec() == QDialog::Accepted) m_msgView->AddRow(dlg.m_Msg);
}

void CSendWnd::OnDeleteMsg() {
    m_msgView->DeleteSelected();
}

void CSendWnd::SaveLayout(tWND_SPLITTER& splitter) const {
    const QList<int> rows = m_splitter->sizes();
    splitter.C0 = splitter.C1 = m_splitter->width();
    splitter.C0Min = splitter.C1Min = m_splitter->minimumWidth();
    splitter.R0 = rows.value(0);
    splitter.R0Min = m_msgView->minimumHeight();
    splitter.R1 = rows.value(1);
    splitter.R1Min = m_sigView->minimumHeight();
}

void CSendWnd::RestoreLayout(const tWND_SPLITTER& splitter) {
    m_msgView->setMinimumHeight(std::max(0, splitter.R0Min));
    m_sigView->setMinimumHeight(std::max(0, splitter.R1Min));
    m_firstShow.Restore(m_splitter, {std::max(0, splitter.R0), std::max(0, splitter.R1)});
}

void CSendWnd::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The first time without a saved layout the message list takes a fifth of the height.
    m_firstShow.Shown(m_splitter);
}

void CSendWnd::closeEvent(QCloseEvent* event) {
    event->ignore();
    QWidget* window = subWindow() != nullptr ? static_cast<QWidget*>(subWindow()) : this;
    if (window->isMinimized() || window->isMaximized()) window->showNormal();
    window->hide();
    emit hiddenByClose();
}
