#pragma once
// What the graph window does to the graph configuration, without widgets: the Y range a new graphed
// signal starts with, adding picked signals, removing one, and a fast look-up from (message key, signal
// name) to an index that the views use for every sample.
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "config/cfgrecords.h"

class CColorTable;
struct tCAN_DB_SEL_CAN_SIG;

// The signal's physical minimum and maximum when they differ; otherwise the physical values of its raw
// range: -(2^(n-1) - 1) to 2^(n-1) - 1 for a signed signal of n bits, 0 to 2^n - 1 for an unsigned one,
// each as raw x factor + offset.
void GraphSigDefaultRange(const CCanSignal& sig, double& minimum, double& maximum);

// Adds each picked signal, in order, to its message's entry (made when missing: the message key, counter
// 0, no signals): a copy of the signal, point type 1, the next colour of the table and the default range.
// A signal whose name the message already graphs is skipped. Returns how many were added.
int32_t AddPickedGraphSignals(tCFG_SET_GRAPH& graph, const std::vector<tCAN_DB_SEL_CAN_SIG>& picked,
                              CColorTable& colors);

// Removes the first signal of that name from the message's entry (an emptied entry stays); false when
// there was none.
bool RemoveGraphSignalCfg(tCFG_SET_GRAPH& graph, uint32_t msgKey, const std::string& name);

// Every graphed signal as the signal picker's list of signals already shown.
std::vector<tCAN_DB_SEL_CAN_SIG> GraphedSignals(const tCFG_SET_GRAPH& graph);

// (message key, signal name) to a number; the first entry added for a pair wins.
class CGraphSignalIndex {
public:
    void Clear() { m_map.clear(); }
    void Add(uint32_t msgKey, const std::string& name, int32_t value);
    // -1 when the pair is unknown.
    int32_t Find(uint32_t msgKey, std::string_view name) const {
        const auto it = m_map.find(msgKey);
        if (it == m_map.end()) return -1;
        for (const auto& [n, v] : it->second)
            if (n == name) return v;
        return -1;
    }

private:
    std::unordered_map<uint32_t, std::vector<std::pair<std::string, int32_t>>> m_map;
};
