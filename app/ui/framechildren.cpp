#include "app/ui/framechildren.h"

#include "app/canworkspace.h"
#include "app/ui/canmsgfiltersetdlg.h"
#include "app/ui/mainframe.h"
#include "windows/sendframewnd.h"
#include "windows/tracewnd.h"

namespace {

// The trace window as the frame drives it; its display-filter command edits in the filter dialog,
// always editable (the drain reads the filter only on the GUI thread).
class FrameTraceWnd final : public CFrameTraceWnd {
public:
    explicit FrameTraceWnd(CCanWorkspace& ws) : m_wnd(new CTraceWnd(ws.Hub(), ws.Cfg().Trace)) {
        m_wnd->SetFilterEditor([](CCanMsgFilter& filter, QWidget* parent) {
            CCanMsgFilterSetDlg dlg(filter, false, parent);
            if (dlg.exec() != QDialog::Accepted) return false;
            CCanMsgFilter::Assign(filter, dlg.filter());
            return true;
        });
    }
    QWidget* Widget() override { return m_wnd; }
    void ClearTrace() override { m_wnd->ClearTrace(); }
    void ResumeLive() override { m_wnd->view()->SetPaused(false); }

private:
    CTraceWnd* m_wnd;  // owned by the frame's MDI child once placed
};

}  // namespace

// Each monitoring window's library adds its factory here (CMainFrame::SetTraceWndFactory ...); a window
// without one keeps its command disabled.
void InstallFrameChildren(CMainFrame& frame) {
    frame.SetSendWndFactory(MakeSendFrameWnd);
    frame.SetTraceWndFactory([](CCanWorkspace& ws) { return std::make_unique<FrameTraceWnd>(ws); });
}
