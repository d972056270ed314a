#include "windows/graphsigcfg.h"

#include <algorithm>
#include <cmath>

#include "config/colortable.h"
#include "windows/canselectsigdlg.h"

void GraphSigDefaultRange(const CCanSignal& sig, double& minimum, double& maximum) {
    if (sig.PhyMin != sig.PhyMax) {
        minimum = sig.PhyMin;
        maximum = sig.PhyMax;
        return;
    }
    const int bits = sig.BitLen;
    double rawMin = 0.0;
    double rawMax = 0.0;
    if (sig.Sign != 0) {
        rawMax = std::ldexp(1.0, bits - 1) - 1.0;
        rawMin = -rawMax;
    } else {
        rawMax = std::ldexp(1.0, bits) - 1.0;
    }
    minimum = rawMin * sig.ValFactor + sig.ValOffset;
    maximum = rawMax * sig.ValFactor + sig.ValOffset;
}

int32_t AddPickedGraphSignals(tCFG_SET_GRAPH& graph, const std::vector<tCAN_DB_SEL_CAN_SIG>& picked,
                              CColorTable& colors) {
    int32_t added = 0;
    for (const tCAN_DB_SEL_CAN_SIG& p : picked) {
        auto [it, inserted] = graph.MsgMap.try_emplace(p.MsgKey);
        tCFG_SET_GRAPH_MSG& msg = it->second;
        if (inserted) msg.MsgAppId = p.MsgKey;
        const bool known =
            std::any_of(msg.SigArray.begin(), msg.SigArray.end(),
                        [&](const tCFG_SET_GRAPH_SIG& s) { return s.CanSig.Name == p.CanSig.Name; });
        if (known) continue;
        tCFG_SET_GRAPH_SIG sig;
        sig.CanSig = p.CanSig;
        sig.PointType = 1;
        sig.Color = colors.NextColor();
        GraphSigDefaultRange(sig.CanSig, sig.ShowMin, sig.ShowMax);
        msg.SigArray.push_back(std::move(sig));
        ++added;
    }
    return added;
}

bool RemoveGraphSignalCfg(tCFG_SET_GRAPH& graph, uint32_t msgKey, const std::string& name) {
    const auto it = graph.MsgMap.find(msgKey);
    if (it == graph.MsgMap.end()) return false;
    auto& sigs = it->second.SigArray;
    const auto found = std::find_if(sigs.begin(), sigs.end(),
                                    [&](const tCFG_SET_GRAPH_SIG& s) { return s.CanSig.Name == name; });
    if (found == sigs.end()) return false;
    sigs.erase(found);
    return true;
}

std::vector<tCAN_DB_SEL_CAN_SIG> GraphedSignals(const tCFG_SET_GRAPH& graph) {
    std::vector<tCAN_DB_SEL_CAN_SIG> out;
    for (const auto& [key, msg] : graph.MsgMap)
        for (const tCFG_SET_GRAPH_SIG& s : msg.SigArray) out.push_back({key, 0xFFFFFFFFu, s.CanSig});
    return out;
}

void CGraphSignalIndex::Add(uint32_t msgKey, const std::string& name, int32_t value) {
    auto& entries = m_map[msgKey];
    for (const auto& e : entries)
        if (e.first == name) return;
    entries.emplace_back(name, value);
}
