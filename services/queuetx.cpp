#include "services/queuetx.h"

#include <chrono>
#include <system_error>

#include "app/canmsgsender.h"
#include "config/cfgsections.h"
#include "services/svcwait.h"

std::string BuildQueueTxFrame(const tCFG_SET_EXT_QUEUE_TX_MSG& rec, tCAN_RAW_MSG& out) {
    // A queued frame is refused by the send-window record's rule (and for its delays), named the same way.
    if (const std::string fault = QueueTxMsgFault(rec); !fault.empty())
        return CCanMsgSender::Refusal(rec.MsgName, rec.MsgID, fault);
    out = CCanMsgSender::FrameOf(rec.MsgID, rec.Ext != 0, false, rec.Chan, rec.DL, rec.TxData);
    return {};
}

std::string BuildQueueTxItems(const tCFG_SET_EXT_QUEUE_TX_SERVICE& section, const std::vector<uint32_t>& keys,
                              std::vector<tQUEUE_TX_ITEM>& items) {
    std::vector<tQUEUE_TX_ITEM> out;
    out.reserve(keys.size());
    for (uint32_t key : keys) {
        tQUEUE_TX_ITEM item;
        item.Key = key;
        const auto it = section.MsgMap.find(key);
        if (it == section.MsgMap.end()) {
            item.Missing = true;
        } else {
            if (std::string why = BuildQueueTxFrame(it->second, item.Msg); !why.empty()) return why;
            item.BeforeDelayTime = it->second.BeforeDelayTime;
            item.AfterDelayTime = it->second.AfterDelayTime;
        }
        out.push_back(item);
    }
    items = std::move(out);
    return {};
}

CExtSerCanMsgQueueTx::CExtSerCanMsgQueueTx(const CCanMsgSender& sender, const vex::Clock& clock)
    : m_sender(sender), m_clock(clock) {}

CExtSerCanMsgQueueTx::~CExtSerCanMsgQueueTx() {
    Abort();
}

bool CExtSerCanMsgQueueTx::Start(std::vector<tQUEUE_TX_ITEM> items, Mode mode, Events events) {
    if (m_running.load() || !m_sender.IsOnline()) return false;
    // The previous worker has sent its ended event and is leaving: join it before another starts.
    if (m_thread.joinable()) m_thread.join();
    m_abort = false;
    m_sending = true;
    m_running = true;
    m_lastEnd = End::None;
    try {
        m_thread = std::thread([this, items = std::move(items), mode, events = std::move(events)]() mutable {
            work(std::move(items), mode, std::move(events));
        });
    } catch (const std::system_error&) {
        m_sending = false;
        m_running = false;
        return false;
    }
    return true;
}

void CExtSerCanMsgQueueTx::Stop() {
    {
        std::lock_guard<std::mutex> lock(m_wakeLock);
        m_sending = false;
    }
    m_wake.notify_all();
}

void CExtSerCanMsgQueueTx::Abort() {
    {
        std::lock_guard<std::mutex> lock(m_wakeLock);
        m_abort = true;
        m_sending = false;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

void CExtSerCanMsgQueueTx::work(std::vector<tQUEUE_TX_ITEM> items, Mode mode, Events events) {
    vex::svc::PrepareWorkerThread("vex-queuetx", false);
    int64_t mark = m_clock.Ticks();
    End end = End::Finished;
    if (items.empty() && mode == Mode::Repeat) {
        std::unique_lock<std::mutex> lock(m_wakeLock);
        m_wake.wait(lock, [this] { return !m_sending.load(); });
        end = m_abort.load() ? End::Aborted : End::Stopped;
    } else {
        do {
            end = pass(items, events, mark);
        } while (end == End::Finished && mode == Mode::Repeat);
    }
    m_sending = false;
    m_lastEnd = end;
    m_running = false;
    if (events.ended) events.ended(end);
}

CExtSerCanMsgQueueTx::End CExtSerCanMsgQueueTx::pass(const std::vector<tQUEUE_TX_ITEM>& items,
                                                     const Events& events, int64_t& mark) {
    auto keep = [this] { return keepWaiting(); };
    for (size_t i = 0; i < items.size(); ++i) {
        if (!m_sending.load()) return m_abort.load() ? End::Aborted : End::Stopped;
        if (!m_sender.IsOnline()) return End::Offline;
        const tQUEUE_TX_ITEM& item = items[i];
        if (events.sending) events.sending(i);
        if (item.Missing) return End::Missing;
        if (!vex::svc::BusyWaitUntil(m_clock, mark + vex::svc::MsToTicks(m_clock, item.BeforeDelayTime),
                                     keep))
            return End::Aborted;
        // Delays count from the moment a frame is handed to the device.
        mark = m_clock.Ticks();
        switch (m_sender.Write(item.Msg)) {
            case CCanMsgSender::Result::Ok:
                break;
            case CCanMsgSender::Result::Offline:
                return End::Offline;
            default:
                // Going offline while the frame was written closes the device under it: that is the
                // end of listening, not a failing device.
                return m_sender.IsOnline() ? End::WriteFailed : End::Offline;
        }
        if (!vex::svc::BusyWaitUntil(m_clock, mark + vex::svc::MsToTicks(m_clock, item.AfterDelayTime), keep))
            return End::Aborted;
        mark += vex::svc::MsToTicks(m_clock, item.AfterDelayTime);
    }
    return End::Finished;
}
