#pragma once
// The send window as the main frame sees it: the frame places the widget into its "SEND" child window,
// keeps its placement and "Show" flag, and calls the lists when a configuration takes effect, when
// listening starts and stops, and when the layout is saved or restored.
#include <QPointer>

#include "app/ui/framechildwnd.h"

class CSendWnd;

class CSendFrameWnd final : public CFrameSendWnd {
public:
    explicit CSendFrameWnd(CCanWorkspace& workspace);
    // The widget belongs to the frame's child window once placed there; one never placed goes with this.
    ~CSendFrameWnd() override;
    CSendFrameWnd(const CSendFrameWnd&) = delete;
    CSendFrameWnd& operator=(const CSendFrameWnd&) = delete;

    QWidget* Widget() override;
    CSendWnd* Wnd() const;

    bool HasMsgView() const override;
    bool HasSigView() const override;
    void ReloadMsgList() override;
    void CheckSingleChanDev() override;
    void ResetCycColumn() override;
    void ResetSigList() override;
    void SaveLayout(tWND_SPLITTER& splitter) override;
    void RestoreLayout(const tWND_SPLITTER& splitter) override;

private:
    QPointer<CSendWnd> m_wnd;
};

// The factory the main frame takes (CMainFrame::SetSendWndFactory).
std::unique_ptr<CFrameSendWnd> MakeSendFrameWnd(CCanWorkspace& workspace);
