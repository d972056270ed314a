#include "app/ui/framechildren.h"

#include "app/ui/mainframe.h"

// Each monitoring window's library adds its factory here (CMainFrame::SetTraceWndFactory ...); a window
// without one keeps its command disabled.
void InstallFrameChildren(CMainFrame& frame) {
    (void)frame;
}
