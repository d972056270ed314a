#include "windows/plot/samplering.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace {

// Rings live on several threads in the tests; epochs stay unique across all of them.
std::atomic<uint64_t> g_epochs{0};

}  // namespace

CGraphSampleRing::CGraphSampleRing() {
    newEpoch();
}

void CGraphSampleRing::newEpoch() {
    m_epoch = g_epochs.fetch_add(1, std::memory_order_relaxed) + 1;
}

void CGraphSampleRing::Allocate() {
    if (m_buf.empty()) m_buf.resize(kCapacity);
    Clear();
}

void CGraphSampleRing::Release() {
    std::vector<tGR_CURVE_SAMPLE>().swap(m_buf);
    Clear();
}

void CGraphSampleRing::Clear() {
    m_start = m_write = m_count = m_descents = 0;
    m_pushed = 0;
    newEpoch();
}

void CGraphSampleRing::Push(double time, double value) {
    // Pairs of neighbours whose time goes back (or is not a number) are counted as they come and go.
    if (m_count > 0 && !(time >= At(m_count - 1).Time)) ++m_descents;
    if (m_count == kCapacity && !(At(1).Time >= At(0).Time)) --m_descents;
    m_buf[static_cast<size_t>(m_write)] = {time, value};
    m_write = m_write + 1 == kCapacity ? 0 : m_write + 1;
    if (m_count < kCapacity) {
        ++m_count;
    } else {
        m_start = m_start + 1 == kCapacity ? 0 : m_start + 1;
    }
    ++m_pushed;
}

void CGraphSampleRing::CopyFrom(const CGraphSampleRing& other) {
    newEpoch();
    if (!other.Allocated()) {
        m_start = m_write = m_count = m_descents = 0;
        m_pushed = 0;
        return;
    }
    if (!Allocated()) m_buf.resize(kCapacity);
    const Runs r = other.Contiguous();
    if (r.na > 0) std::memcpy(m_buf.data(), r.a, sizeof(tGR_CURVE_SAMPLE) * static_cast<size_t>(r.na));
    if (r.nb > 0) std::memcpy(m_buf.data() + r.na, r.b, sizeof(tGR_CURVE_SAMPLE) * static_cast<size_t>(r.nb));
    m_start = 0;
    m_count = other.m_count;
    m_write = m_count == kCapacity ? 0 : m_count;
    m_descents = other.m_descents;
    m_pushed = other.m_pushed;
}

CGraphSampleRing::Runs CGraphSampleRing::Contiguous() const {
    if (m_count == 0) return {nullptr, 0, nullptr, 0};
    const int32_t first = std::min(m_count, kCapacity - m_start);
    return {m_buf.data() + m_start, first, m_buf.data(), m_count - first};
}
