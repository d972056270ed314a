#pragma once
// A ring of fixed capacity. A push into a full ring overwrites the oldest entry; a pop on an empty ring
// fails. Slots are allocated in chunks the first time a push reaches them and are kept until the ring is
// destroyed, so a large ring costs memory only for the part it has used. Entries are copied in and out by
// assignment, so slots keep what storage their members own (strings keep their capacity) and steady
// pushing does not allocate. Not locked: the owner guards it.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

template <class T>
class CDropOldestRing {
public:
    // capacity >= 1.
    explicit CDropOldestRing(uint32_t capacity)
        : m_capacity(capacity), m_chunks((uint64_t{capacity} + kChunk - 1) / kChunk) {}

    uint32_t Capacity() const { return m_capacity; }
    uint32_t Count() const { return m_count; }
    uint32_t ReadIndex() const { return m_readIdx; }
    uint32_t WriteIndex() const { return m_writeIdx; }

    // Copies the entry into the slot at the write index; true when that dropped the oldest entry.
    bool Push(const T& entry) {
        writable(m_writeIdx) = entry;
        m_writeIdx = next(m_writeIdx);
        if (++m_count <= Capacity()) return false;
        m_count = Capacity();
        m_readIdx = next(m_readIdx);
        return true;
    }

    // Copies the oldest entry out; false, and `entry` untouched, when the ring is empty.
    bool Pop(T& entry) {
        if (m_count == 0) return false;
        entry = slot(m_readIdx);
        m_readIdx = next(m_readIdx);
        --m_count;
        return true;
    }

    // Empties the ring; slots keep their contents until overwritten.
    void Clear() { m_count = m_readIdx = m_writeIdx = 0; }

    // Empty: starts again at slot 0, so a ring that its reader keeps empty reuses its first slots
    // (warm storage, warm cache) instead of walking the whole array. Invisible to push and pop order.
    void RewindIfEmpty() {
        if (m_count == 0) m_readIdx = m_writeIdx = 0;
    }

    // The n-th oldest entry held (0 = the oldest); n < Count().
    const T& At(uint32_t n) const {
        return slot(static_cast<uint32_t>((uint64_t{m_readIdx} + n) % Capacity()));
    }
    // The entry pushed last; the ring is not empty.
    T& Newest() { return writable(m_writeIdx == 0 ? Capacity() - 1 : m_writeIdx - 1); }
    // A slot by its index in the array; i < Capacity(). A slot never written reads as a default entry.
    const T& Slot(uint32_t i) const { return slot(i); }

private:
    static constexpr uint32_t kChunk = 4096;

    uint32_t next(uint32_t i) const { return i + 1 == Capacity() ? 0 : i + 1; }

    T& writable(uint32_t i) {
        std::unique_ptr<T[]>& chunk = m_chunks[i / kChunk];
        if (!chunk)
            chunk = std::make_unique<T[]>(std::min<uint32_t>(kChunk, m_capacity - i / kChunk * kChunk));
        return chunk[i % kChunk];
    }
    const T& slot(uint32_t i) const {
        static const T empty{};
        const std::unique_ptr<T[]>& chunk = m_chunks[i / kChunk];
        return chunk ? chunk[i % kChunk] : empty;
    }

    uint32_t m_capacity;
    std::vector<std::unique_ptr<T[]>> m_chunks;
    uint32_t m_count = 0;
    uint32_t m_readIdx = 0;
    uint32_t m_writeIdx = 0;
};
