#pragma once
// What the main frame asks of the monitoring windows that come with their own library (trace, graph,
// send). The window's library provides an object of the matching interface through a factory given to
// the frame (CMainFrame::SetTraceWndFactory ...); until a factory is given, the window's command stays
// disabled. The frame creates a window on first demand, places its widget into an MDI child titled
// "TRACE", "GRAPH" or "SEND", keeps the child's placement, stacking order and "Show" flag itself, and only
// hides the window afterwards: the object lives until the frame goes (it is destroyed before the widgets).
#include <cstdint>
#include <functional>
#include <memory>

#include "config/cfgrecords.h"

class CCanWorkspace;
class CExternService;
class QDialog;
class QWidget;

class CFrameChildWnd {
public:
    virtual ~CFrameChildWnd() = default;
    // The window's widget, made by the factory without a parent; the frame's MDI child takes it over.
    virtual QWidget* Widget() = 0;
};

class CFrameTraceWnd : public CFrameChildWnd {
public:
    // Empties the data hub's trace ring and trace maps and repaints.
    virtual void ClearTrace() = 0;
    // Clears the paused flags of the view and of its tree, so both bodies show live data: on going online,
    // and when opened while online or replaying.
    virtual void ResumeLive() = 0;
};

class CFrameGraphWnd : public CFrameChildWnd {
public:
    // Rebuilds the value list and the curves from the configuration's graph settings.
    virtual void ApplyGraphSigCfg() = 0;
    virtual void StartGraph() = 0;
    virtual void StopGraph() = 0;
    // While set, the graph stops itself once the replayed page's end is shown.
    virtual void SetReplayPage(bool on) = 0;
    // The splitter sizes into and from the configuration's layout (the frame keeps the placement).
    virtual void SaveLayout(tWND_SPLITTER& splitter) = 0;
    virtual void RestoreLayout(const tWND_SPLITTER& splitter) = 0;
};

class CFrameSendWnd : public CFrameChildWnd {
public:
    virtual bool HasMsgView() const = 0;
    virtual bool HasSigView() const = 0;
    // Message view: rebuilds the transmit list from the configuration's send map.
    virtual void ReloadMsgList() = 0;
    // Message view: the single-channel notice when the single-channel interface is chosen and a row
    // sends on channel 0.
    virtual void CheckSingleChanDev() = 0;
    // Message view: every cyclic-send cell shows "0".
    virtual void ResetCycColumn() = 0;
    // Signal view: empties the signal list and sets its raw-value heading.
    virtual void ResetSigList() = 0;
    virtual void SaveLayout(tWND_SPLITTER& splitter) = 0;
    virtual void RestoreLayout(const tWND_SPLITTER& splitter) = 0;
};

using TraceWndFactory = std::function<std::unique_ptr<CFrameTraceWnd>(CCanWorkspace&)>;
using GraphWndFactory = std::function<std::unique_ptr<CFrameGraphWnd>(CCanWorkspace&)>;
using SendWndFactory = std::function<std::unique_ptr<CFrameSendWnd>(CCanWorkspace&)>;

// An extension service's window as the frame runs it (by its command's id): the service that is the active
// one while the dialog is open, and the dialog, made without a parent and not yet shown. The frame shows it
// beside the main window, makes the service active first and clears it once the dialog has finished. A null
// dialog: nothing to run.
struct FrameServiceDlg {
    CExternService* service = nullptr;
    QDialog* dialog = nullptr;
};
using ServiceDlgFactory = std::function<FrameServiceDlg(uint32_t id, CCanWorkspace&)>;
