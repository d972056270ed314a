#pragma once
// Gives the main frame the factories of the monitoring windows that this build has (trace, graph, send).
class CMainFrame;

void InstallFrameChildren(CMainFrame& frame);
