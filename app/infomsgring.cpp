#include "app/infomsgring.h"

#include <cstdio>
#include <cstring>
#include <utility>

void CInfoMsgRing::Push(std::string_view timeText, std::string_view source, uint8_t level,
                        std::string_view text) {
    Push(timeText, source, level, text, {});
}

void CInfoMsgRing::Push(std::string_view timeText, std::string_view source, uint8_t level,
                        std::string_view text, std::vector<std::string> details) {
    std::lock_guard<std::mutex> lock(m_lock);
    tINFO_MSG& e = m_entries[m_writeIdx];
    e.Source.assign(source);
    e.TimeText.assign(timeText);
    e.Level = level;
    e.Text.assign(text);
    e.Details = std::move(details);
    m_writeIdx = (m_writeIdx + 1) % kCapacity;
    if (++m_count > kCapacity) {
        m_count = kCapacity;
        m_readIdx = (m_readIdx + 1) % kCapacity;
        ++m_dropped;
    }
    const bool alertStands = m_alert.Level == 1 || m_alert.Level == 2;
    if (level == 1 || level == 2 || (level == 0 && alertStands && m_alert.Source == e.Source)) {
        m_alert.Source = e.Source;
        m_alert.TimeText = e.TimeText;
        m_alert.Level = e.Level;
        m_alert.Text = e.Text;
        ++m_alertSerial;
    }
}

bool CInfoMsgRing::NewerAlert(uint64_t& serial, tINFO_MSG& msg) const {
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_alertSerial == serial) return false;
    serial = m_alertSerial;
    msg = m_alert;
    return true;
}

bool CInfoMsgRing::Pop(tINFO_MSG& msg) {
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_count == 0) return false;
    // A popped entry is never read again (the next push overwrites it), so its strings move out.
    msg = std::move(m_entries[m_readIdx]);
    m_readIdx = (m_readIdx + 1) % kCapacity;
    --m_count;
    return true;
}

uint64_t CInfoMsgRing::PopAll(std::vector<tINFO_MSG>& out) {
    std::lock_guard<std::mutex> lock(m_lock);
    out.reserve(out.size() + m_count);
    for (; m_count > 0; --m_count) {
        out.push_back(std::move(m_entries[m_readIdx]));
        m_readIdx = (m_readIdx + 1) % kCapacity;
    }
    return m_dropped;
}

uint32_t CInfoMsgRing::Count() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_count;
}

uint64_t CInfoMsgRing::Dropped() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_dropped;
}

std::string InfoTimeText(int hour, int minute, int second) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", hour, minute, second);
    return buf;
}

std::string InfoTimeTextNow() {
    const vex::LocalTime now = vex::NowLocal();
    return InfoTimeText(now.hour, now.minute, now.second);
}

void PushInfoMsgNow(CInfoMsgRing& ring, std::string_view source, uint8_t level, std::string_view text,
                    std::vector<std::string> details) {
    ring.Push(InfoTimeTextNow(), source, level, text, std::move(details));
}

void PushDevReport(CInfoMsgRing& ring, std::string_view source, uint8_t severity, uint8_t hour,
                   uint8_t minute, uint8_t second, const char* text, size_t textCapacity) {
    const size_t length = text == nullptr ? 0 : ::strnlen(text, textCapacity);
    ring.Push(InfoTimeText(hour, minute, second), source, severity, std::string_view(text, length));
}
