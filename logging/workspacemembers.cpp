#include "logging/workspacemembers.h"

#include <memory>

#include "app/canworkspace.h"
#include "logging/canmsgdatalog.h"
#include "logging/canreplay.h"

CCanMsgDataLog& WorkspaceLogger(CCanWorkspace& ws) {
    if (auto* logger = dynamic_cast<CCanMsgDataLog*>(ws.Logger())) return *logger;
    auto logger = std::make_unique<CCanMsgDataLog>(ws.InfoRing(), ws.AppFolder() + "/log");
    CCanMsgDataLog& made = *logger;
    ws.InstallLogger(std::move(logger));
    return made;
}

CCanReplay& WorkspaceReplay(CCanWorkspace& ws) {
    if (auto* replay = dynamic_cast<CCanReplay*>(ws.Replay())) return *replay;
    auto replay = std::make_unique<CCanReplay>();
    CCanReplay& made = *replay;
    ws.InstallReplay(std::move(replay));
    return made;
}
