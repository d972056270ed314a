#include "windows/sendframewnd.h"

#include "windows/sendmsgview.h"
#include "windows/sendsigview.h"
#include "windows/sendwnd.h"

CSendFrameWnd::CSendFrameWnd(CCanWorkspace& workspace) : m_wnd(new CSendWnd(workspace)) {}

CSendFrameWnd::~CSendFrameWnd() {
    if (m_wnd && m_wnd->parent() == nullptr) delete m_wnd.data();
}

QWidget* CSendFrameWnd::Widget() {
    return m_wnd.data();
}

CSendWnd* CSendFrameWnd::Wnd() const {
    return m_wnd.data();
}

bool CSendFrameWnd::HasMsgView() const {
    return m_wnd && m_wnd->msgView() != nullptr;
}

bool CSendFrameWnd::HasSigView() const {
    return m_wnd && m_wnd->sigView() != nullptr;
}

void CSendFrameWnd::ReloadMsgList() {
    if (HasMsgView()) m_wnd->msgView()->ReloadMsgList();
}

void CSendFrameWnd::CheckSingleChanDev() {
    if (HasMsgView()) m_wnd->msgView()->CheckSingleChanDev();
}

void CSendFrameWnd::ResetCycColumn() {
    if (HasMsgView()) m_wnd->msgView()->ResetCycColumn();
}

void CSendFrameWnd::ResetSigList() {
    if (HasSigView()) m_wnd->sigView()->ResetSigList();
}

void CSendFrameWnd::SaveLayout(tWND_SPLITTER& splitter) {
    if (m_wnd) m_wnd->SaveLayout(splitter);
}

void CSendFrameWnd::RestoreLayout(const tWND_SPLITTER& splitter) {
    if (m_wnd) m_wnd->RestoreLayout(splitter);
}

std::unique_ptr<CFrameSendWnd> MakeSendFrameWnd(CCanWorkspace& workspace) {
    return std::make_unique<CSendFrameWnd>(workspace);
}
