#include "app/canmsgdatahub.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "config/appcfg.h"

CCanMsgDataHub::CCanMsgDataHub(CAppCfg& cfg, CInfoMsgRing& info, const vex::Clock& clock)
    : m_Cfg(cfg), m_Info(info), m_Clock(clock) {}

void CCanMsgDataHub::ProcessRxQueue() {
    const CCanMsgFilter& display = m_Cfg.Trace.Filter;
    const CCanMsgFilter& log = m_Cfg.Log.Filter;
    uint32_t left = CCanRxMsgQueue::kCapacity;
    while (left > 0) {
        const uint32_t n = m_Queue.PopMany(m_Batch.data(), std::min(left, kDrainBatch));
        if (n == 0) break;
        left -= n;
        for (uint32_t i = 0; i < n; ++i) {
            const tCAN_RAW_MSG& m = m_Batch[i];
            UpdateSignalSamples(m);
            if (display.IsPass(m.Ext, m.Remote, m.Id, m.Chan)) AddToTraceMap(m);
            // The log stage runs whatever the display stage decided.
            if (m_LogSink != nullptr && log.IsPass(m.Ext, m.Remote, m.Id, m.Chan)) m_LogSink->WriteMsg(m);
        }
    }
    if (m_LogSink != nullptr) m_LogSink->OnDrainTick();
    reportDrops();
}

void CCanMsgDataHub::reportDrops() {
    m_DropsPending += m_Queue.TakeDropped();
    if (m_DropsPending == 0) return;
    const int64_t now = m_Clock.Ticks();
    if (m_DropReported && now - m_LastDropReportTicks < m_Clock.Frequency()) return;
    char text[160];
    std::snprintf(text, sizeof text, "接收队列已满，丢失了%" PRIu64 "帧报文，跟踪和记录中缺少这些报文。",
                  m_DropsPending);
    PushInfoMsgNow(m_Info, kDropSource, 1, text);
    m_DropsPending = 0;
    m_LastDropReportTicks = now;
    m_DropReported = true;
}

void CCanMsgDataHub::AddToTraceMap(const tCAN_RAW_MSG& msg) {
    std::unique_lock<std::mutex> lock(m_TraceLock);
    bool inserted = false;
    tCAN_MSG_TRACE_DATA& row = m_LiveTraceMap.Touch(TraceKey(msg.Chan, msg.Id, msg.Ext), inserted);
    row.DeltaMs = inserted ? 0.0 : msg.TimeMs - row.TimeMs;
    row.MsgId = msg.Id;
    row.Ext = msg.Ext;
    row.Remote = msg.Remote;
    row.Dir = msg.Dir;
    row.Chan = msg.Chan;
    row.Dlc = msg.Dlc;
    row.TimeMs = msg.TimeMs;
    std::copy(std::begin(msg.Data), std::end(msg.Data), std::begin(row.Data));
    // Once a key is known its definition is not looked up again until the maps are cleared.
    if (row.Known == 0) {
        if (const tCAN_MSG_GLOBAL_DATA* g = FindGlobalMsg(MsgKey(msg.Id, msg.Ext))) {
            row.CanMsg = g->CanMsg;
            row.Known = 1;
        }
    }
    // The map's row keeps sequence number 0; the ring's copy gets the counter.
    m_TraceRing.Push(row);
    if (!inserted || m_TraceKeysReported || m_LiveTraceMap.Evicted() == 0) return;
    // Once per trace (until it is cleared: going online, a replay page, the window's clear), outside the
    // trace lock.
    m_TraceKeysReported = true;
    const size_t capacity = m_LiveTraceMap.Capacity();
    lock.unlock();
    char text[256];
    std::snprintf(text, sizeof text,
                  "跟踪中的报文标识符超过了%zu个，最久未出现的标识符已从树形跟踪中删除；"
                  "报文列表和记录不受影响。",
                  capacity);
    PushInfoMsgNow(m_Info, kTraceKeysSource, 1, text);
}

void CCanMsgDataHub::ClearTrace() {
    std::lock_guard<std::mutex> lock(m_TraceLock);
    m_TraceRing.Clear();
    m_LiveTraceMap.clear();
    m_ViewTraceMap.clear();
    m_TraceKeysReported = false;
}

void CCanMsgDataHub::SnapshotTraceMap() {
    std::lock_guard<std::mutex> lock(m_TraceLock);
    m_ViewTraceMap = m_LiveTraceMap;
}

void CCanMsgDataHub::Reset() {
    BuildGlobalMaps();
    BuildGraphSigData();
    m_Queue.Clear();
    m_SampleFifo.Clear();
    ClearTrace();
    m_Ready = true;
}

void CCanMsgDataHub::ClearBuffers() {
    if (!m_Ready) {
        Reset();
        return;
    }
    m_Queue.Clear();
    m_SampleFifo.Clear();
    ClearTrace();
}

void CCanMsgDataHub::SetNotReady() {
    m_Ready = false;
    m_GlobalMsgMap.clear();
    m_GlobalSigMap.clear();
}

bool CCanMsgDataHub::StartLogging(const std::string& prefix) {
    return m_LogSink != nullptr && m_LogSink->Start(prefix);
}

void CCanMsgDataHub::StopLogging() {
    if (m_LogSink != nullptr) m_LogSink->Stop();
}
