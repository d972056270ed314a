#pragma once
// What the two device plug-ins do alike: the operator reports of opening and closing, the bus open and
// close retries, the report of a cyclic operation. Not part of the program's view of a device.
#include <functional>

#include "plugins/include/candevice.h"

class CCanDeviceVyk : public CCanDevice {
protected:
    // 0 opened; 1 failed. `rc` is the driver's result.
    uint32_t ReportDeviceOpen(uint32_t rc);
    uint32_t ReportDeviceClose(uint32_t rc);
    // openBus up to 5 times without pause, then startReceive: 0 open and receiving; 1 the bus did not open
    // (reported with the last code); 2 reception did not start (not reported).
    uint32_t OpenBusWithRetries(const std::function<uint32_t()>& openBus,
                                const std::function<uint32_t()>& startReceive);
    // stopReceive, then closeBus up to 5 times 50 ms apart: 0 closed; 1 failed (reported).
    uint32_t CloseBusWithRetries(const std::function<void()>& stopReceive,
                                 const std::function<uint32_t()>& closeBus);
    // Reports a cyclic operation: okFormat with the identifier, or failFormat with the code and identifier.
    uint32_t ReportCyclic(uint32_t rc, uint32_t id, const char* okFormat, const char* failFormat);
    // Read's loop: readOne stores the next frame and returns true, or returns false when none waits.
    // Stores at most min(capacity, kReadMaxFrames); with the array full it sets the receive event again.
    uint32_t ReadFrames(tCAN_RAW_MSG* msgs, int32_t capacity, int32_t& count,
                        const std::function<bool(tCAN_RAW_MSG&)>& readOne);
};
