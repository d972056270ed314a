#include "plugins/common/frametimeline.h"

#include <algorithm>

namespace {
constexpr double kLagWindowMs = 1000.0;
}

void CFrameTimeLine::Start(uint32_t connection) {
    *this = CFrameTimeLine{};
    m_connection = connection;
}

double CFrameTimeLine::Lag() const {
    return std::min(m_lagNow, m_lagBefore);
}

void CFrameTimeLine::Sample(double lag, double hostMs) {
    if (!m_handedOn) {
        m_lagNow = m_lagBefore = lag;
        m_windowStart = hostMs;
    } else if (hostMs - m_windowStart >= kLagWindowMs) {
        m_lagBefore = m_lagNow;
        m_lagNow = lag;
        m_windowStart = hostMs;
    } else {
        m_lagNow = std::min(m_lagNow, lag);
    }
}

void CFrameTimeLine::Apply(tCAN_RAW_MSG* msgs, int32_t count, uint32_t connection, double hostMs) {
    if (!msgs || count <= 0) return;
    const auto [oldest, newest] = std::minmax_element(
        msgs, msgs + count, [](const tCAN_RAW_MSG& a, const tCAN_RAW_MSG& b) { return a.TimeMs < b.TimeMs; });
    const double first = oldest->TimeMs;
    const double last = newest->TimeMs;
    if (connection != m_connection) {
        m_connection = connection;
        m_offset = 0.0;
        if (m_handedOn) {
            // The newest frame of this read stands where the host says the time line is now; a read that
            // came late would put the first ones before frames already handed on, so they follow those.
            m_offset = std::max(hostMs - Lag() - last, m_last - first);
        }
    }
    if (m_offset != 0.0) {
        for (int32_t i = 0; i < count; ++i) msgs[i].TimeMs += m_offset;
    }
    m_last = std::max(m_last, last + m_offset);
    Sample(hostMs - (last + m_offset), hostMs);
    m_handedOn = true;
}
