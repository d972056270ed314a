#pragma once
// CCanMsgDataHub: the store between the bus and the windows. Frames enter through the frame queue (the
// receive thread, or the replay engine); on every main-frame tick the GUI thread drains the queue and,
// for each frame in arrival order, feeds the graph samples, applies the display filter and records the
// frame in the trace ring and the per-identifier trace map, then applies the log filter and hands the
// frame to the logger. It also keeps the global message and signal maps: one database message per
// message key, and every signal of those messages numbered from 0.
//
// Threads: Queue() is safe from any thread. Everything else runs on the GUI thread (the replay engine
// included). Readers of the trace ring and the trace maps hold TraceLock().
#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "app/canmsglogsink.h"
#include "app/hubstores.h"
#include "app/infomsgring.h"
#include "platform/clock.h"

class CAppCfg;

class CCanMsgDataHub {
public:
    // Source of the operator message that reports lost frames.
    static constexpr const char* kDropSource = "接收队列";
    // Source of the operator message that says the trace map dropped keys to stay within its bound.
    static constexpr const char* kTraceKeysSource = "跟踪";

    // Reads the filters, the graph settings and the databases of cfg when it works; reports lost frames
    // into info, at most once a second by clock.
    CCanMsgDataHub(CAppCfg& cfg, CInfoMsgRing& info, const vex::Clock& clock = vex::SystemClock());
    CCanMsgDataHub(const CCanMsgDataHub&) = delete;
    CCanMsgDataHub& operator=(const CCanMsgDataHub&) = delete;

    CCanRxMsgQueue& Queue() { return m_Queue; }
    CCanSigSampleFifo& SampleFifo() { return m_SampleFifo; }

    // Drains the frame queue: samples, display filter and trace, log filter and logger, frame by frame
    // in order. One call takes at most a queue's worth of frames, so it ends even while frames keep
    // coming. Then reports frames the queue dropped since the last report (at most once a second).
    void ProcessRxQueue();
    // Records one frame in the live trace map and the trace ring (under the trace lock). The first time
    // since the trace was last cleared that a key leaves the full map to make room, says so in the info
    // ring, once.
    void AddToTraceMap(const tCAN_RAW_MSG& msg);
    // Empties the trace ring and both trace maps.
    void ClearTrace();
    // The view map becomes a copy of the live map.
    void SnapshotTraceMap();
    // Before going online or replaying: global maps (unless ready), graph signal definitions, empties
    // queue, FIFO and trace; ready.
    void Reset();
    // Before a replay page: empties queue, FIFO and trace when ready, else Reset.
    void ClearBuffers();
    // After going offline or a replay: not ready, both global maps emptied (so the next Reset rebuilds
    // them from the current databases). Queue, FIFO and trace keep their contents.
    void SetNotReady();
    bool IsReady() const { return m_Ready.load(); }
    // The receive clock: the hub's clock, against which windows measure how long the bus has been silent.
    const vex::Clock& Clock() const { return m_Clock; }

    // The logger; null (the default) logs nothing. Not owned.
    void SetLogSink(ICanMsgLogSink* sink) { m_LogSink = sink; }
    ICanMsgLogSink* LogSink() const { return m_LogSink; }
    // Starts a log with the prefix; false when there is no logger or it did not start.
    bool StartLogging(const std::string& prefix);
    void StopLogging();
    bool IsLogging() const { return m_LogSink != nullptr && m_LogSink->IsOpen(); }

    // ---- Global message and signal maps, graph samples ----
    // Rebuilds both maps from the configuration's databases; does nothing while ready. A message key
    // defined by several databases takes the message of the highest PriorityLevel, the earlier database
    // on equal levels.
    void BuildGlobalMaps();
    // Copies the current definition (by message key and signal name) over every graphed signal that has
    // one in the global maps.
    void BuildGraphSigData();
    // Pushes one sample per graphed signal of the frame's message key that decodes, then advances the
    // graphed message's update counter (wrapping at 256).
    void UpdateSignalSamples(const tCAN_RAW_MSG& msg);

    // The entry of a message key, or null.
    const tCAN_MSG_GLOBAL_DATA* FindGlobalMsg(uint32_t msgKey) const;
    // Copies the entry out; false, `out` untouched, when the key is absent.
    bool LookupGlobalMsg(uint32_t msgKey, tCAN_MSG_GLOBAL_DATA& out) const;
    // In ascending key order.
    const std::map<uint32_t, tCAN_MSG_GLOBAL_DATA>& GlobalMsgMap() const { return m_GlobalMsgMap; }
    // Indexed by signal number.
    const std::vector<tCAN_SIG_GLOBAL_DATA>& GlobalSigMap() const { return m_GlobalSigMap; }

    // ---- Trace (hold TraceLock() while reading) ----
    std::mutex& TraceLock() { return m_TraceLock; }
    CCanMsgTraceRing& TraceRing() { return m_TraceRing; }
    const CCanMsgTraceMap& LiveTraceMap() const { return m_LiveTraceMap; }
    const CCanMsgTraceMap& ViewTraceMap() const { return m_ViewTraceMap; }

private:
    void reportDrops();

    static constexpr uint32_t kDrainBatch = 256;

    CAppCfg& m_Cfg;
    CInfoMsgRing& m_Info;
    const vex::Clock& m_Clock;

    std::atomic<bool> m_Ready{false};
    // Ascending key order: signal numbers follow it.
    std::map<uint32_t, tCAN_MSG_GLOBAL_DATA> m_GlobalMsgMap;
    std::vector<tCAN_SIG_GLOBAL_DATA> m_GlobalSigMap;
    CCanRxMsgQueue m_Queue;
    ICanMsgLogSink* m_LogSink = nullptr;
    std::mutex m_TraceLock;
    CCanSigSampleFifo m_SampleFifo;
    CCanMsgTraceRing m_TraceRing;
    CCanMsgTraceMap m_LiveTraceMap;
    CCanMsgTraceMap m_ViewTraceMap;
    bool m_TraceKeysReported = false;  // the info ring was told that keys left the live map

    // Drain scratch, reused so the drain does not allocate.
    std::array<tCAN_RAW_MSG, kDrainBatch> m_Batch;
    tCAN_SIG_SAMPLE_DATA m_Sample;

    // Lost-frame reports.
    uint64_t m_DropsPending = 0;
    int64_t m_LastDropReportTicks = 0;
    bool m_DropReported = false;
};
