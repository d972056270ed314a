// The data hub's global message and signal maps, and the graph samples made from them.
#include <algorithm>

#include "app/canmsgdatahub.h"
#include "config/appcfg.h"

void CCanMsgDataHub::BuildGlobalMaps() {
    if (m_Ready) return;
    m_GlobalMsgMap.clear();
    for (const tCFG_CAN_DATABASE& db : m_Cfg.CanDatabases) {
        for (const CCanMsg& msg : db.Database.Messages) {
            const uint32_t key = MsgKey(msg.id, msg.Ext);
            auto [it, inserted] = m_GlobalMsgMap.try_emplace(key);
            // A higher level replaces; on equal levels the earlier database stays.
            if (inserted || db.PriorityLevel > it->second.Priority) {
                it->second.MsgKey = key;
                it->second.CanMsg = std::make_shared<const CCanMsg>(msg);
                it->second.Priority = db.PriorityLevel;
            }
        }
    }
    // Signals are numbered from 0 in ascending message-key order, each message's in array order.
    m_GlobalSigMap.clear();
    for (const auto& [key, entry] : m_GlobalMsgMap) {
        for (const CCanSignal& sig : entry.CanMsg->Signals) {
            tCAN_SIG_GLOBAL_DATA& s = m_GlobalSigMap.emplace_back();
            s.SigNo = static_cast<uint32_t>(m_GlobalSigMap.size() - 1);
            s.MsgName = entry.CanMsg->Name;
            s.MsgKey = key;
            s.CanSig = sig;
        }
    }
}

void CCanMsgDataHub::BuildGraphSigData() {
    for (auto& [key, graphMsg] : m_Cfg.Graph.MsgMap) {
        const tCAN_MSG_GLOBAL_DATA* g = FindGlobalMsg(graphMsg.MsgAppId);
        if (g == nullptr) continue;
        // The lowest-numbered signal of that key and name: the first of the message's array.
        for (tCFG_SET_GRAPH_SIG& graphed : graphMsg.SigArray) {
            const auto& sigs = g->CanMsg->Signals;
            const auto found = std::find_if(
                sigs.begin(), sigs.end(), [&](const CCanSignal& s) { return s.Name == graphed.CanSig.Name; });
            if (found != sigs.end()) graphed.CanSig = *found;
        }
    }
}

void CCanMsgDataHub::UpdateSignalSamples(const tCAN_RAW_MSG& msg) {
    const uint32_t key = MsgKey(msg.Id, msg.Ext);
    const auto it = m_Cfg.Graph.MsgMap.find(key);
    if (it == m_Cfg.Graph.MsgMap.end()) return;
    tCFG_SET_GRAPH_MSG& graphMsg = it->second;
    const CCanSignal::ConstData data(msg.Data);
    m_Sample.MsgKey = static_cast<int32_t>(key);
    m_Sample.UpdateCount = graphMsg.UpdateCounter;
    for (const tCFG_SET_GRAPH_SIG& graphed : graphMsg.SigArray) {
        const CCanSignal& sig = graphed.CanSig;
        bool ok = false;
        if (sig.Sign != 0) {
            int32_t raw = 0;
            ok = sig.GetSignedRawValue(data, raw) &&
                 sig.SignedRawToPhyText(raw, m_Sample.PhyValue, m_Sample.ValueText);
        } else {
            uint32_t raw = 0;
            ok = sig.GetRawValue(data, raw) &&
                 sig.UnsignedRawToPhyText(raw, m_Sample.PhyValue, m_Sample.ValueText);
        }
        if (!ok) continue;  // this signal only
        m_Sample.SigName.assign(sig.Name);
        m_Sample.TimeMs = msg.TimeMs;
        m_SampleFifo.Push(m_Sample);
    }
    ++graphMsg.UpdateCounter;  // u8: wraps from 255 to 0
}

const tCAN_MSG_GLOBAL_DATA* CCanMsgDataHub::FindGlobalMsg(uint32_t msgKey) const {
    const auto it = m_GlobalMsgMap.find(msgKey);
    return it == m_GlobalMsgMap.end() ? nullptr : &it->second;
}

bool CCanMsgDataHub::LookupGlobalMsg(uint32_t msgKey, tCAN_MSG_GLOBAL_DATA& out) const {
    const tCAN_MSG_GLOBAL_DATA* g = FindGlobalMsg(msgKey);
    if (g == nullptr) return false;
    out = *g;
    return true;
}
