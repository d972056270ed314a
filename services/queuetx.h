#pragma once
// CExtSerCanMsgQueueTx: the message-queue transmit service. It sends a list of frames one after another,
// each after its own before-delay and followed by its own after-delay, once through the list or over and
// over until stopped. The list itself lives in the configuration's queue-transmit section; sending works on
// a snapshot of it taken when sending starts, so the configuration may change (or be loaded anew) meanwhile.
//
// Start, Stop and Abort are called on one thread (the GUI thread); the worker reports on its own thread
// through the events. At most one worker exists: Start refuses while one runs and joins a finished one.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/externservice.h"
#include "config/cfgrecords.h"
#include "platform/clock.h"

class CCanMsgSender;

// One frame of a pass, copied from its record when sending starts.
struct tQUEUE_TX_ITEM {
    uint32_t Key = 0;
    bool Missing = false;  // the key had no record: the pass ends when it comes to it
    tCAN_RAW_MSG Msg;
    uint16_t BeforeDelayTime = 0;  // ms
    uint16_t AfterDelayTime = 0;   // ms
};

// The frame of a queued record: its identifier, type, channel, length and bytes, not remote, transmitted,
// time 0. Empty on success; otherwise why the record cannot be sent as it stands (QueueTxMsgFault: an
// identifier beyond its type, a length above 8, a channel above 1, a delay read out of range), naming the
// entry: "发送报文 <name>（ID %08X）：<fault>。".
std::string BuildQueueTxFrame(const tCFG_SET_EXT_QUEUE_TX_MSG& rec, tCAN_RAW_MSG& out);
// The items of the keys, in order; a key without a record gives a Missing item. Empty on success, else the
// refusal of the first record that makes no frame (nothing is sent then).
std::string BuildQueueTxItems(const tCFG_SET_EXT_QUEUE_TX_SERVICE& section, const std::vector<uint32_t>& keys,
                              std::vector<tQUEUE_TX_ITEM>& items);

class CExtSerCanMsgQueueTx final : public CExternService {
public:
    enum class Mode { Once, Repeat };
    // Why the last pass ended.
    enum class End { None, Finished, Stopped, Offline, WriteFailed, Missing, Aborted };

    struct Events {
        // Worker thread: the item of this index is about to be sent (its before-delay starts).
        std::function<void(size_t index)> sending;
        // Worker thread, once per pass, as the worker's last act: the pass ended (IsRunning is false).
        std::function<void(End end)> ended;
    };

    explicit CExtSerCanMsgQueueTx(const CCanMsgSender& sender, const vex::Clock& clock = vex::SystemClock());
    ~CExtSerCanMsgQueueTx();  // Abort
    CExtSerCanMsgQueueTx(const CExtSerCanMsgQueueTx&) = delete;
    CExtSerCanMsgQueueTx& operator=(const CExtSerCanMsgQueueTx&) = delete;

    // Starts a worker over the items. False while a worker runs or the program is not online.
    //
    // For each item, while sending is on and the program is online: the before-delay, the frame written to
    // the device, the after-delay. Delays are busy waits (at most 10 s each) counted from the moment the
    // previous frame was handed to the device, so a frame's own write time never stretches the gap to the
    // next. A missing record, a refused write or no device ends the pass. Repeat starts over after the last
    // item; with no items it waits for Stop.
    bool Start(std::vector<tQUEUE_TX_ITEM> items, Mode mode, Events events);
    // Ends the pass after the frame in progress and its after-delay. Returns at once.
    void Stop();
    // Ends the pass at once (a delay in progress is cut short, the frame waiting for it is not sent) and
    // joins the worker: for closing the window and the program.
    void Abort();

    // While the worker runs (from Start until its ended event).
    bool IsRunning() const { return m_running.load(); }
    // The sending flag: set by Start, cleared by Stop, Abort or the end of the pass.
    bool IsSending() const { return m_sending.load(); }
    End LastEnd() const { return m_lastEnd.load(); }

private:
    void work(std::vector<tQUEUE_TX_ITEM> items, Mode mode, Events events);
    End pass(const std::vector<tQUEUE_TX_ITEM>& items, const Events& events, int64_t& mark);
    bool keepWaiting() const { return !m_abort.load(); }

    const CCanMsgSender& m_sender;
    const vex::Clock& m_clock;
    std::atomic<bool> m_sending{false};
    std::atomic<bool> m_abort{false};
    std::atomic<bool> m_running{false};
    std::atomic<End> m_lastEnd{End::None};
    std::mutex m_wakeLock;
    std::condition_variable m_wake;
    std::thread m_thread;
};
