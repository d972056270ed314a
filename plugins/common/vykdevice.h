#pragma once
// What the two device plug-ins do alike: the operator reports of opening and closing, the bus open and
// close retries, the report of a cyclic operation, and watching the interface's connection. Not part of
// the program's view of a device.
#include <chrono>
#include <functional>
#include <mutex>
#include <vector>

#include "plugins/common/frametimeline.h"
#include "plugins/include/candevice.h"

// The connection as a driver library counts it: losses, reconnections after them, the code of the last loss.
struct VykLink {
    uint32_t losses = 0;
    uint32_t recoveries = 0;
    uint32_t lossCode = 0;
};

class CCanDeviceVyk : public CCanDevice {
protected:
    enum class CyclicOp { Add, Remove, Period, Data };

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
    // Runs a cyclic operation (`call`, the driver's result) and reports it: okFormat with the identifier, or
    // failFormat with the code and identifier; 0 done, 1 failed. The plug-in keeps what cycles in the device
    // so that it can put it back after a reconnection: an entry added is kept under `key` (what the device
    // tells entries apart by); a removal forgets the entry whatever the result (the user wants it stopped);
    // an update changes the kept entry's period or data whatever the result (the send list shows it so).
    uint32_t RunCyclic(CyclicOp op, const tCAN_CYCTX_MSG& msg, uint64_t key,
                       const std::function<uint32_t()>& call, const char* okFormat, const char* failFormat);
    // The bus opened (`link` as the driver counts now) or closed: nothing is kept, nothing to report, and
    // frames of the connection open now keep the device's times.
    void StartWatching(const VykLink& link);
    void StopWatching();
    // Reports every loss and reconnection counted since the last call once, with the device's status word
    // (the reconnection also saying that frame times go on from the time line before the loss), and after a
    // reconnection puts every kept entry back with `add` (a failure reported with
    // addFailFormat). A count-limited entry goes back with the transmissions it had left when the loss was
    // noticed, and not at all once they were all due.
    void WatchLink(const VykLink& link, const std::function<uint32_t(const tCAN_CYCTX_MSG&)>& add,
                   const char* addFailFormat);
    // Read: readBlock stores up to `max` frames at `out` in one go, all from one connection of the
    // interface (its number in `connection`, counted as VykLink counts recoveries), and returns how many
    // (fewer only when no more of that connection wait). Stores at most min(capacity, kReadMaxFrames); with
    // the array full it sets the receive event again, so that the rest is read next. The frames' times are
    // kept ascending across reconnections (CFrameTimeLine).
    using ReadBlockFn = int32_t (*)(tCAN_RAW_MSG* out, int32_t max, uint32_t& connection);
    uint32_t ReadFrames(tCAN_RAW_MSG* msgs, int32_t capacity, int32_t& count, ReadBlockFn readBlock);

private:
    using Clock = std::chrono::steady_clock;
    struct KeptCyclic {
        uint64_t key = 0;
        tCAN_CYCTX_MSG msg;
        Clock::time_point since;  // the first transmission of the current count
    };
    void CountDownOnLoss(Clock::time_point now);
    void PutBack(const std::function<uint32_t(const tCAN_CYCTX_MSG&)>& add, const char* addFailFormat);

    // Held across each cyclic operation's driver call and across WatchLink, so that a removal never races
    // with putting the entry back.
    std::mutex m_linkLock;
    std::vector<KeptCyclic> m_cyclic;
    uint32_t m_seenLosses = 0;
    uint32_t m_seenRecoveries = 0;
    bool m_lost = false;
    // Read's time line, reset when the bus opens.
    std::mutex m_timeLock;
    CFrameTimeLine m_timeLine;
};
