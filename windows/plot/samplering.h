#pragma once
// The sample ring of a plot curve: the last 20,000 time-stamped samples, allocated once when the curve is
// added, never per sample. Plain C++, no locking (the plot engine runs on the GUI thread; drawing threads
// read rings only while the GUI thread waits for them).
#include <cstddef>
#include <cstdint>
#include <vector>

struct tGR_CURVE_SAMPLE {
    double Time = 0.0;  // ms
    double Value = 0.0;
};

// A ring of the last kCapacity samples; sample i (0 = the oldest) is at (start + i) wrapped. Every sample
// pushed gets the next sequence number, so that what was derived from the samples can tell which of them
// it has seen and which have been overwritten since.
class CGraphSampleRing {
public:
    static constexpr int32_t kCapacity = 20000;

    CGraphSampleRing();

    void Allocate();
    void Release();
    bool Allocated() const { return !m_buf.empty(); }
    // Empties the ring; its contents count as replaced (a new epoch).
    void Clear();
    // Stores the sample at the write index; a full ring overwrites its oldest sample.
    void Push(double time, double value);
    // This ring becomes a copy of `other`'s samples, the oldest at index 0, with their sequence numbers.
    void CopyFrom(const CGraphSampleRing& other);

    int32_t Count() const { return m_count; }
    // No sample's time is earlier than its predecessor's (nor not a number): the ring can be searched by
    // time.
    bool TimesInOrder() const { return m_descents == 0; }
    int32_t Start() const { return m_start; }
    int32_t WriteIndex() const { return m_write; }
    const tGR_CURVE_SAMPLE& At(int32_t i) const {
        const int32_t at = m_start + i;
        return m_buf[static_cast<size_t>(at >= kCapacity ? at - kCapacity : at)];
    }
    // The sequence number the next sample gets; sample i has Pushed() - Count() + i.
    uint64_t Pushed() const { return m_pushed; }
    uint64_t OldestSeq() const { return m_pushed - static_cast<uint64_t>(m_count); }
    // Changes whenever the contents are replaced other than by pushing (cleared, copied, allocated): no two
    // rings ever share an epoch.
    uint64_t Epoch() const { return m_epoch; }
    // The samples as at most two contiguous runs, oldest first; the second may be empty.
    struct Runs {
        const tGR_CURVE_SAMPLE* a;
        int32_t na;
        const tGR_CURVE_SAMPLE* b;
        int32_t nb;
    };
    Runs Contiguous() const;

private:
    void newEpoch();

    std::vector<tGR_CURVE_SAMPLE> m_buf;
    int32_t m_start = 0;
    int32_t m_write = 0;
    int32_t m_count = 0;
    int32_t m_descents = 0;
    uint64_t m_pushed = 0;
    uint64_t m_epoch = 0;
};
