#include "windows/sendwnd.h"

#include <QCloseEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QSplitter>
#include <QToolBar>
#include <QVBoxLayout>

#include "windows/sendmsgdlg.h"
#include "windows/sendmsgview.h"
#include "windows/sendsigview.h"

CSendWnd::CSendWnd(CCanWorkspace& workspace, QWidget* parent)
    : QWidget(parent),
      m_ws(workspace),
      m_toolBar(new QToolBar(this)),
      m_splitter(new QSplitter(Qt::Vertical, this)),
      m_msgView(new CSendMsgView(workspace, m_splitter)),
      m_sigView(new CSendSigView(workspace, m_splitter)) {
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
    m_splitter->setStretchFactor(0, 1);
    m_splitter->setStretchFactor(1, 4);

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

CSendWnd* CSendWnd::CreateWnd(QMdiArea* area, CCanWorkspace& workspace) {
    auto* wnd = new CSendWnd(workspace);
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
    CSendMsgDlg dlg(m_ws, this);
    if (dlg.exec() == QDialog::Accepted) m_msgView->AddRow(dlg.m_Msg);
}

void CSendWnd::OnDeleteMsg() {
    m_msgView->DeleteSelected();
}

void CSendWnd::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The first time: the message list takes a fifth of the height, the signal list the rest.
    if (m_sized) return;
    m_sized = true;
    const int h = m_splitter->height();
    m_splitter->setSizes({h / 5, h - h / 5});
}

void CSendWnd::closeEvent(QCloseEvent* event) {
    event->ignore();
    QWidget* window = subWindow() != nullptr ? static_cast<QWidget*>(subWindow()) : this;
    if (window->isMinimized() || window->isMaximized()) window->showNormal();
    window->hide();
    emit hiddenByClose();
}
