#pragma once
// The workspace's continuous logger and replay engine: made and installed into the workspace on first
// use, so every caller reaches the same two objects. The logger writes into the "log" folder below the
// program's folder. GUI thread.
class CCanMsgDataLog;
class CCanReplay;
class CCanWorkspace;

CCanMsgDataLog& WorkspaceLogger(CCanWorkspace& ws);
CCanReplay& WorkspaceReplay(CCanWorkspace& ws);
