#include "ui/app/framechildren.h"

#include <QPointer>
#include <QTimer>

#include "app/canworkspace.h"
#include "services/extservices.h"
#include "ui/app/canmsgfiltersetdlg.h"
#include "ui/app/mainframe.h"
#include "windows/graphwnd.h"
#include "ui/services/j1939dmxdlg.h"
#include "ui/services/queuetxdlg.h"
#include "ui/services/vehsimdlg.h"
#include "windows/sendmsgview.h"
#include "windows/sendsigview.h"
#include "windows/sendwnd.h"
#include "windows/tracewnd.h"

namespace {

// The trace window as the frame drives it; its display-filter command edits in the filter dialog,
// always editable (the drain reads the filter only on the GUI thread).
class FrameTraceWnd final : public CFrameTraceWnd {
public:
    explicit FrameTraceWnd(CCanWorkspace& ws) : m_wnd(new CTraceWnd(ws.Hub(), ws.Cfg().Trace)) {
        m_wnd->view()->SetOnlineProbe([&ws] { return ws.IsOnline(); });
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

// The send window as the frame drives it: the frame's calls reach its two lists and its splitter.
class FrameSendWnd final : public CFrameSendWnd {
public:
    explicit FrameSendWnd(CCanWorkspace& ws) : m_wnd(new CSendWnd(ws.Cfg(), ws.Hub(), ws.Sender())) {}
    // The widget belongs to the frame's child window once placed there; one never placed goes with this.
    ~FrameSendWnd() override {
        if (m_wnd && m_wnd->parent() == nullptr) delete m_wnd.data();
    }
    FrameSendWnd(const FrameSendWnd&) = delete;
    FrameSendWnd& operator=(const FrameSendWnd&) = delete;

    QWidget* Widget() override { return m_wnd.data(); }
    bool HasMsgView() const override { return m_wnd && m_wnd->msgView() != nullptr; }
    bool HasSigView() const override { return m_wnd && m_wnd->sigView() != nullptr; }
    void ReloadMsgList() override {
        if (HasMsgView()) m_wnd->msgView()->ReloadMsgList();
    }
    void CheckSingleChanDev() override {
        if (HasMsgView()) m_wnd->msgView()->CheckSingleChanDev();
    }
    void ResetCycColumn() override {
        if (HasMsgView()) m_wnd->msgView()->ResetCycColumn();
    }
    void ResetSigList() override {
        if (HasSigView()) m_wnd->sigView()->ResetSigList();
    }
    void SaveLayout(tWND_SPLITTER& splitter) override {
        if (m_wnd) m_wnd->SaveLayout(splitter);
    }
    void RestoreLayout(const tWND_SPLITTER& splitter) override {
        if (m_wnd) m_wnd->RestoreLayout(splitter);
    }

private:
    QPointer<CSendWnd> m_wnd;
};

// The graph window as the frame drives it.
class FrameGraphWnd final : public CFrameGraphWnd {
public:
    explicit FrameGraphWnd(CCanWorkspace& ws)
        : m_wnd(new CGraphWnd(GraphWndDeps{ws.Hub(), ws.Cfg().Graph, ws.Colors(),
                                           [&ws] { return ws.IsOnline(); },
                                           [&ws] { return ws.IsReplaying(); }})) {
        // The replay watch stops plotting once the page's end time is drawn.
        m_wnd->SetPageEndSource([&ws] {
            const ICanReplayState* replay = ws.Replay();
            return replay != nullptr ? replay->PageEndTime() : 0.0;
        });
    }
    // The widget belongs to the frame's child window once placed there; one never placed goes with this.
    ~FrameGraphWnd() override {
        if (m_wnd && m_wnd->parent() == nullptr) delete m_wnd.data();
    }
    FrameGraphWnd(const FrameGraphWnd&) = delete;
    FrameGraphWnd& operator=(const FrameGraphWnd&) = delete;

    QWidget* Widget() override { return m_wnd.data(); }
    void ApplyGraphSigCfg() override {
        if (m_wnd) m_wnd->ApplyGraphSigCfg();
    }
    void StartGraph() override {
        if (m_wnd) m_wnd->StartGraph();
    }
    void StopGraph() override {
        if (m_wnd) m_wnd->StopGraph();
    }
    void SetReplayPage(bool on) override {
        if (m_wnd) m_wnd->SetReplayWatch(on);
    }
    void SaveLayout(tWND_SPLITTER& splitter) override {
        if (m_wnd) m_wnd->SaveLayout(splitter);
    }
    void RestoreLayout(const tWND_SPLITTER& splitter) override {
        if (m_wnd) m_wnd->RestoreLayout(splitter);
    }
    bool IsPlotting() const { return m_wnd && m_wnd->IsPlotting(); }

private:
    QPointer<CGraphWnd> m_wnd;
};

}  // namespace

void DrainIdleGraphSamples(CMainFrame& frame) {
    CCanWorkspace& ws = frame.Workspace();
    if (!ws.IsOnline()) return;
    const auto* graph = dynamic_cast<const FrameGraphWnd*>(frame.GraphWnd());
    if (graph == nullptr || !graph->IsPlotting()) ws.Hub().SampleFifo().Clear();
}

// Each monitoring window's library adds its factory here (CMainFrame::SetTraceWndFactory ...); a window
// without one keeps its command disabled.
void InstallFrameChildren(CMainFrame& frame) {
    frame.SetSendWndFactory([](CCanWorkspace& ws) { return std::make_unique<FrameSendWnd>(ws); });
    frame.SetTraceWndFactory([](CCanWorkspace& ws) { return std::make_unique<FrameTraceWnd>(ws); });
    frame.SetGraphWndFactory([](CCanWorkspace& ws) { return std::make_unique<FrameGraphWnd>(ws); });
    // The sample FIFO fills whenever graphed signals arrive; while no graph window plots them, it is
    // emptied at the graph's pace so that it never holds more than a tick's samples.
    auto* drain = new QTimer(&frame);
    drain->setInterval(CGraphWnd::kDrainTimerMs);
    QObject::connect(drain, &QTimer::timeout, &frame, [&frame] { DrainIdleGraphSamples(frame); });
    drain->start();
    frame.SetServiceDlgFactory([](uint32_t id, CCanWorkspace& ws) -> FrameServiceDlg {
        CExtServices* services = CExtServices::Of(ws);
        if (services == nullptr) return {};
        switch (id) {
            case ID_EXT_QUEUE_TX:
                return {&services->QueueTx(), new CExtSerCanMsgQueueTxDlg(ws, services->QueueTx())};
            case ID_EXT_VEH_SIM:
                return {&services->VehSim(), new CExtSerVehEnvSimulatorDlg(ws, services->VehSim())};
            case ID_EXT_J1939_DMX:
                return {&services->J1939(), new CExtSerCanJ1939DmxNodeDlg(ws, services->J1939())};
            default:
                return {};
        }
    });
}
