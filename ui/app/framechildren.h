#pragma once
// Gives the main frame the factories of the monitoring windows that this build has (trace, graph, send).
class CMainFrame;

void InstallFrameChildren(CMainFrame& frame);

// While online and no graph window plots (none opened yet, or stopped), empties the sample FIFO; the
// frame runs it at the graph's 200 ms pace.
void DrainIdleGraphSamples(CMainFrame& frame);
