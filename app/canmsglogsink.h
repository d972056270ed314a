#pragma once
// What the data hub and the workspace use of the continuous logger: the drain hands it every frame that
// passes the log filter, going online may start it, going offline stops it. All calls on the GUI thread.
#include <string>

#include "plugins/include/candevice.h"

class ICanMsgLogSink {
public:
    virtual ~ICanMsgLogSink() = default;

    // Begins a new log file named from the prefix; false when a log is already open (it goes on) or
    // the file cannot be made.
    virtual bool Start(const std::string& prefix) = 0;
    // Appends one frame while a log is open; does nothing otherwise.
    virtual void WriteMsg(const tCAN_RAW_MSG& msg) = 0;
    // Ends the open log, if any.
    virtual void Stop() = 0;
    // Once per drain, after its frames: a logger writes out what it has held for about a second.
    virtual void OnDrainTick() {}
    virtual bool IsOpen() const = 0;
    // Why the last Start failed or the last log ended early, as a sentence for the info window; empty
    // when nothing failed.
    virtual std::string LastError() const { return {}; }
};
