#pragma once
// What the core and the windows read of the replay engine: whether a replay runs and where the page
// loaded last ends. All calls on the GUI thread.

class ICanReplayState {
public:
    virtual ~ICanReplayState() = default;

    // Set while the replay control is open: pages may be pushed into the data hub.
    virtual bool IsReplayActive() const = 0;
    // Time stamp (ms) of the last frame of the page loaded last; 0.0 before any. The graph stops plotting
    // a replayed page once it has drawn up to this time.
    virtual double PageEndTime() const = 0;
};
