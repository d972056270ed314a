#include "app/hubstores.h"

#include <algorithm>
#include <iterator>
#include <utility>

const std::string& tCAN_MSG_TRACE_DATA::MsgName() const {
    static const std::string empty;
    return CanMsg ? CanMsg->Name : empty;
}

const CCanMsg& tCAN_MSG_TRACE_DATA::Msg() const {
    static const CCanMsg empty;
    return CanMsg ? *CanMsg : empty;
}

void CCanRxMsgQueue::Push(const tCAN_RAW_MSG& msg) {
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_ring.Push(msg)) ++m_dropped;
}

void CCanRxMsgQueue::PushMany(const tCAN_RAW_MSG* msgs, uint32_t count) {
    std::lock_guard<std::mutex> lock(m_lock);
    for (uint32_t i = 0; i < count; ++i) {
        if (m_ring.Push(msgs[i])) ++m_dropped;
    }
}

bool CCanRxMsgQueue::Pop(tCAN_RAW_MSG& msg) {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_ring.Pop(msg);
}

uint32_t CCanRxMsgQueue::PopMany(tCAN_RAW_MSG* out, uint32_t max) {
    std::lock_guard<std::mutex> lock(m_lock);
    const uint32_t n = std::min(max, m_ring.Count());
    for (uint32_t i = 0; i < n; ++i) m_ring.Pop(out[i]);
    return n;
}

uint32_t CCanRxMsgQueue::Count() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_ring.Count();
}

void CCanRxMsgQueue::Clear() {
    std::lock_guard<std::mutex> lock(m_lock);
    m_ring.Clear();
    m_dropped = 0;
}

uint64_t CCanRxMsgQueue::TakeDropped() {
    std::lock_guard<std::mutex> lock(m_lock);
    return std::exchange(m_dropped, 0);
}

void CCanSigSampleFifo::Push(const tCAN_SIG_SAMPLE_DATA& sample) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_ring.RewindIfEmpty();
    m_ring.Push(sample);
}

bool CCanSigSampleFifo::Pop(tCAN_SIG_SAMPLE_DATA& sample) {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_ring.Pop(sample);
}

uint32_t CCanSigSampleFifo::PopMany(tCAN_SIG_SAMPLE_DATA* out, uint32_t max) {
    std::lock_guard<std::mutex> lock(m_lock);
    const uint32_t n = std::min(max, m_ring.Count());
    for (uint32_t i = 0; i < n; ++i) m_ring.Pop(out[i]);
    return n;
}

uint32_t CCanSigSampleFifo::Count() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_ring.Count();
}

void CCanSigSampleFifo::Clear() {
    std::lock_guard<std::mutex> lock(m_lock);
    m_ring.Clear();
}

void CCanMsgTraceRing::Push(const tCAN_MSG_TRACE_DATA& row) {
    m_ring.Push(row);
    m_ring.Newest().SeqNo = ++m_seq;
    m_changed = true;
}

void CCanMsgTraceRing::Clear() {
    m_ring.Clear();
    m_seq = 0;
    ++m_clears;
    m_changed = true;
}

CCanMsgTraceMap& CCanMsgTraceMap::operator=(const CCanMsgTraceMap& other) {
    if (this == &other) return *this;
    m_capacity = other.m_capacity;
    m_map = other.m_map;
    // The entries keep their slots and links; only the slot table points into this map.
    m_slots.resize(m_map.size());
    for (auto it = m_map.begin(); it != m_map.end(); ++it) m_slots[it->second.m_slot] = it;
    m_oldest = other.m_oldest;
    m_newest = other.m_newest;
    m_evicted = other.m_evicted;
    return *this;
}

tCAN_MSG_TRACE_DATA& CCanMsgTraceMap::insertNew(Map::iterator at, uint64_t key) {
    Map::iterator it;
    if (m_map.size() < m_capacity) {
        it = m_map.emplace_hint(at, key, Entry{});
        it->second.m_slot = static_cast<uint32_t>(m_slots.size());
        m_slots.push_back(it);
    } else {
        // The node of the key seen longest ago takes the new key, with its slot: no allocation, and no
        // search for the node that leaves.
        const uint32_t s = m_oldest;
        const Map::iterator leaving = m_slots[s];
        unlink(leaving->second);
        // The new key goes just before `at`, or just after the key that leaves when that is `at`.
        const auto hint = at == leaving ? std::next(at) : at;
        auto node = m_map.extract(leaving);
        node.key() = key;
        static_cast<tCAN_MSG_TRACE_DATA&>(node.mapped()) = tCAN_MSG_TRACE_DATA{};
        it = m_map.insert(hint, std::move(node));
        m_slots[s] = it;
        ++m_evicted;
    }
    it->second.m_key = key;
    linkNewest(it->second);
    return it->second;
}

void CCanMsgTraceMap::clear() {
    m_map.clear();
    m_slots.clear();
    m_oldest = m_newest = kNone;
    m_evicted = 0;
}
