#pragma once
// The stores of the received-frame data hub and the records they hold: the frame queue between the
// receive thread and the GUI thread, the sample FIFO that feeds the graph, the trace ring, and the
// records of the global message and signal maps.
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/dropring.h"
#include "candb/canmodel.h"
#include "config/cfgrecords.h"
#include "plugins/include/candevice.h"

// Trace key: channel x 2^32 + message key. The same identifier on two channels gives two keys.
constexpr uint64_t TraceKey(uint8_t chan, uint32_t id, uint8_t ext) {
    return (uint64_t{chan} << 32) + MsgKey(id, ext);
}

// One decoded signal value for the graph. An empty slot has key -1, empty strings and numbers 0.
struct tCAN_SIG_SAMPLE_DATA {
    int32_t MsgKey = -1;  // the frame's message key
    std::string SigName;
    uint8_t UpdateCount = 0;  // the graphed message's update counter before this frame
    double TimeMs = 0.0;      // the frame's time stamp
    double PhyValue = 0.0;
    std::string ValueText;  // the formatted physical value, or the value-table text
};

// One trace row. The database message is shared, never copied per frame: it is immutable once the
// global map has made it, and stays alive as long as any row holds it. An empty row has all numbers 0
// and no message.
struct tCAN_MSG_TRACE_DATA {
    uint32_t MsgId = 0;  // without flag bits
    uint8_t Ext = 0;
    uint8_t Remote = 0;
    uint8_t Dir = 0;
    uint8_t Chan = 0;
    uint8_t Dlc = 0;
    double TimeMs = 0.0;
    double DeltaMs = 0.0;  // time since the previous frame of the same trace key; 0.0 for a key's first
    uint8_t Data[8] = {};
    uint8_t Known = 0;                      // 1 once the global message map has defined the key
    std::shared_ptr<const CCanMsg> CanMsg;  // the database message; null while no database defines it
    uint32_t SeqNo = 0;                     // the ring's sequence counter for this row; 0 in the maps

    // The database message's name, empty while no database defines the key.
    const std::string& MsgName() const;
    // The database message, an empty one while no database defines the key.
    const CCanMsg& Msg() const;
};

// Value of the global message map.
struct tCAN_MSG_GLOBAL_DATA {
    uint32_t MsgKey = 0;
    std::shared_ptr<const CCanMsg> CanMsg;  // set in every map entry
    int32_t Priority = -1;                  // PriorityLevel of the database the message came from
};

// Value of the global signal map; the signal number is the entry's index.
struct tCAN_SIG_GLOBAL_DATA {
    uint32_t SigNo = 0xFFFFFFFFu;
    std::string MsgName;
    uint32_t MsgKey = 0xFFFFFFFFu;  // of the owning message
    CCanSignal CanSig;
};

// Frames from the receive thread (or the replay engine) to the GUI thread: 20,240 slots under a lock;
// a push into a full queue drops the oldest frame and counts it.
class CCanRxMsgQueue {
public:
    static constexpr uint32_t kCapacity = 20240;

    CCanRxMsgQueue() : m_ring(kCapacity) {}
    CCanRxMsgQueue(const CCanRxMsgQueue&) = delete;
    CCanRxMsgQueue& operator=(const CCanRxMsgQueue&) = delete;

    void Push(const tCAN_RAW_MSG& msg);
    // Pushes `count` frames in order under one hold of the lock, each as Push does.
    void PushMany(const tCAN_RAW_MSG* msgs, uint32_t count);
    bool Pop(tCAN_RAW_MSG& msg);
    // Takes up to `max` of the oldest frames out at once, in order; returns how many.
    uint32_t PopMany(tCAN_RAW_MSG* out, uint32_t max);
    uint32_t Count() const;
    // Empties the queue and forgets the drops not yet taken.
    void Clear();
    // Frames dropped since the last call.
    uint64_t TakeDropped();

private:
    mutable std::mutex m_lock;
    CDropOldestRing<tCAN_RAW_MSG> m_ring;
    uint64_t m_dropped = 0;
};

// Signal samples from the drain to the graph: 2,000,000 slots under a lock; a push into a full FIFO
// drops the oldest sample. Slots keep their string capacity, so steady use does not allocate.
class CCanSigSampleFifo {
public:
    static constexpr uint32_t kCapacity = 2'000'000;

    CCanSigSampleFifo() : m_ring(kCapacity) {}
    CCanSigSampleFifo(const CCanSigSampleFifo&) = delete;
    CCanSigSampleFifo& operator=(const CCanSigSampleFifo&) = delete;

    void Push(const tCAN_SIG_SAMPLE_DATA& sample);
    // Takes the oldest sample out; false, and `sample` untouched, when empty.
    bool Pop(tCAN_SIG_SAMPLE_DATA& sample);
    // Takes up to `max` of the oldest samples out at once, in order, under one lock; returns how many.
    uint32_t PopMany(tCAN_SIG_SAMPLE_DATA* out, uint32_t max);
    uint32_t Count() const;
    void Clear();

private:
    mutable std::mutex m_lock;
    CDropOldestRing<tCAN_SIG_SAMPLE_DATA> m_ring;
};

// The last 20,000 trace rows. Not locked itself: the hub writes it under its trace lock, and readers
// take the same lock (CCanMsgDataHub::TraceLock).
class CCanMsgTraceRing {
public:
    static constexpr uint32_t kCapacity = 20000;

    CCanMsgTraceRing() : m_ring(kCapacity) {}
    CCanMsgTraceRing(const CCanMsgTraceRing&) = delete;
    CCanMsgTraceRing& operator=(const CCanMsgTraceRing&) = delete;

    // Stores a copy of the row numbered with the sequence counter + 1 and sets the changed flag; a full
    // ring drops its oldest row.
    void Push(const tCAN_MSG_TRACE_DATA& row);
    // Counters to 0, changed flag set, clear count + 1.
    void Clear();

    uint32_t Count() const { return m_ring.Count(); }
    uint32_t ReadIndex() const { return m_ring.ReadIndex(); }
    uint32_t WriteIndex() const { return m_ring.WriteIndex(); }
    uint32_t SeqCounter() const { return m_seq; }
    // How often the ring was cleared: a reader that keeps copies of rows learns from it that the sequence
    // numbers started again.
    uint32_t ClearCount() const { return m_clears; }
    // The n-th oldest row held (0 = the oldest); n < Count().
    const tCAN_MSG_TRACE_DATA& Row(uint32_t n) const { return m_ring.At(n); }
    // Set by every push and clear; the reader clears it once it has looked.
    bool Changed() const { return m_changed; }
    void ClearChanged() { m_changed = false; }

private:
    CDropOldestRing<tCAN_MSG_TRACE_DATA> m_ring;
    uint32_t m_seq = 0;
    uint32_t m_clears = 0;
    bool m_changed = false;
};

// Per-identifier trace map: trace key to the newest row of that key, in ascending key order, for at most
// Capacity() keys. The keys are also kept in the order they were last seen: when a new key comes to a
// full map, the key seen longest ago makes room, so the map holds the keys of the recent traffic however
// many keys a flood brought before. Seeing a key that is held costs a lookup and two relinks; a new key
// in a full map takes over the node of the key it replaces, so a full map allocates nothing.
class CCanMsgTraceMap {
public:
    // Every identifier of a real bus fits many times over; each key costs about 150 bytes.
    static constexpr size_t kCapacity = 65536;

    // A row of the map, linked into the order in which the keys were last seen.
    class Entry : public tCAN_MSG_TRACE_DATA {
    public:
        uint64_t Key() const { return m_key; }

    private:
        friend class CCanMsgTraceMap;
        uint64_t m_key = 0;
        // Links by slot (the index of the entry's iterator in the map's slot table), so that a copy of the
        // map keeps them as they are.
        uint32_t m_slot = 0;
        uint32_t m_older = kNone;
        uint32_t m_newer = kNone;
    };
    using Map = std::map<uint64_t, Entry>;
    using const_iterator = Map::const_iterator;

    // 1 <= capacity < 2^32 - 1.
    explicit CCanMsgTraceMap(size_t capacity = kCapacity) : m_capacity(capacity) {}
    // A copy holds the same keys and rows in the same last-seen order.
    CCanMsgTraceMap(const CCanMsgTraceMap& other) : m_capacity(other.m_capacity) { *this = other; }
    CCanMsgTraceMap& operator=(const CCanMsgTraceMap& other);

    // The row of `key`, which becomes the key seen last. A key not held gets an empty row (`added` true);
    // in a full map the key seen longest ago leaves first, counted by Evicted().
    tCAN_MSG_TRACE_DATA& Touch(uint64_t key, bool& added) {
        // Inline: a key that is held, the case of every frame of a bus, costs the lookup and the relinks.
        const auto it = m_map.lower_bound(key);
        added = it == m_map.end() || it->first != key;
        if (added) return insertNew(it, key);
        if (it->second.m_slot != m_newest) {
            unlink(it->second);
            linkNewest(it->second);
        }
        return it->second;
    }
    // Empties the map and its eviction count.
    void clear();

    size_t Capacity() const { return m_capacity; }
    size_t size() const { return m_map.size(); }
    bool empty() const { return m_map.empty(); }
    size_t count(uint64_t key) const { return m_map.count(key); }
    const Entry& at(uint64_t key) const { return m_map.at(key); }
    const_iterator find(uint64_t key) const { return m_map.find(key); }
    const_iterator begin() const { return m_map.begin(); }
    const_iterator end() const { return m_map.end(); }
    // The entry seen last, null when the map is empty.
    const Entry* Newest() const { return m_newest == kNone ? nullptr : &slot(m_newest); }
    // The entry seen just before `e`, null when `e` is the one seen longest ago.
    const Entry* Older(const Entry& e) const { return e.m_older == kNone ? nullptr : &slot(e.m_older); }
    // Keys that left to make room since the map was last emptied.
    uint64_t Evicted() const { return m_evicted; }

private:
    static constexpr uint32_t kNone = 0xFFFFFFFFu;

    Entry& slot(uint32_t s) const { return m_slots[s]->second; }
    void unlink(Entry& e) {
        (e.m_older != kNone ? slot(e.m_older).m_newer : m_oldest) = e.m_newer;
        (e.m_newer != kNone ? slot(e.m_newer).m_older : m_newest) = e.m_older;
        e.m_older = e.m_newer = kNone;
    }
    void linkNewest(Entry& e) {
        e.m_older = m_newest;
        e.m_newer = kNone;
        (m_newest != kNone ? slot(m_newest).m_newer : m_oldest) = e.m_slot;
        m_newest = e.m_slot;
    }
    // Adds `key`, which is not held and goes just before `at`, as the key seen last.
    tCAN_MSG_TRACE_DATA& insertNew(Map::iterator at, uint64_t key);

    size_t m_capacity;
    Map m_map;
    // The node of every slot; a slot is given to a node once and passes with it to the key it takes.
    std::vector<Map::iterator> m_slots;
    uint32_t m_oldest = kNone;
    uint32_t m_newest = kNone;
    uint64_t m_evicted = 0;
};
