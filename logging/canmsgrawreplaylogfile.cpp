#include "logging/canmsgrawreplaylogfile.h"

#include <algorithm>
#include <cmath>

bool CCanMsgRawReplayLogFile::OpenRead(const std::string& path, uint32_t& count, double& durationMs) {
    forgetPages();
    m_Duration = m_FirstTime = 0.0;
    m_RecordCount = 0;
    if (!m_Reader.Open(path, m_LastError)) return false;
    m_RecordCount = count = m_Reader.Count();
    m_FirstTime = m_Reader.FirstTime();
    m_Duration = durationMs = m_Reader.Duration();
    return true;
}

void CCanMsgRawReplayLogFile::CloseRead() {
    m_Reader.Close();
    forgetPages();
}

void CCanMsgRawReplayLogFile::forgetPages() {
    m_Paging = Paging::None;
    m_PageCount = 0;
}

bool CCanMsgRawReplayLogFile::ReadByTime(double offsetMs, double spanMs, tCAN_RAW_MSG* buffer,
                                         uint32_t capacity, uint32_t& count) {
    return m_Reader.ReadByTime(offsetMs, spanMs, buffer, capacity, count);
}

bool CCanMsgRawReplayLogFile::ReadByIndex(uint32_t start, uint32_t number, tCAN_RAW_MSG* buffer,
                                          uint32_t capacity, uint32_t& count) {
    return m_Reader.ReadByIndex(start, number, buffer, capacity, count);
}

void CCanMsgRawReplayLogFile::ReadPageByTime(double offsetMs, double spanMs, uint32_t& pageCount) {
    if (!m_Reader.IsOpen() || m_Duration == 0.0 || !(spanMs > 0.0) || !std::isfinite(spanMs) ||
        !std::isfinite(offsetMs))
        return;
    // Rounded up, so the last page reaches the last record whatever the span (a fraction of a
    // millisecond included).
    const double pages = std::ceil((m_Duration - offsetMs) / spanMs);
    if (!(pages < 4294967296.0)) return;  // too many to number, or not a number (times that are not)
    m_Paging = Paging::ByTime;
    m_PageCount = pages >= 1.0 ? static_cast<uint32_t>(pages) : 0;
    m_PageStart = m_FirstTime + offsetMs;
    m_PageSpan = spanMs;
    pageCount = m_PageCount;
}

void CCanMsgRawReplayLogFile::ReadPageByIndex(uint32_t start, uint32_t perPage, uint32_t& pageCount) {
    if (!m_Reader.IsOpen() || m_RecordCount == 0 || perPage == 0 || start >= m_RecordCount) return;
    m_Paging = Paging::ByIndex;
    m_PageCount = static_cast<uint32_t>((uint64_t{m_RecordCount} - start + perPage - 1) / perPage);
    m_StartIndex = start;
    m_PerPage = perPage;
    pageCount = m_PageCount;
}

bool CCanMsgRawReplayLogFile::FindPage(uint32_t page, tREPLAY_PAGE_INFO& info) {
    if (!m_Reader.IsOpen() || page >= m_PageCount) return false;
    if (m_Paging == Paging::ByIndex) {
        const uint64_t first = uint64_t{m_StartIndex} + uint64_t{page} * m_PerPage;
        const uint64_t last = std::min<uint64_t>(first + m_PerPage, m_RecordCount - 1);
        info.FirstIndex = static_cast<uint32_t>(first);
        info.LastIndex = static_cast<uint32_t>(last);
        info.PageStartTime = m_Reader.RecordTime(info.FirstIndex);
        info.PageEndTime = m_Reader.RecordTime(info.LastIndex);
        return true;
    }
    if (m_Paging == Paging::ByTime) {
        const double start = m_PageStart + page * m_PageSpan;
        uint32_t first = 0, last = 0;
        if (!m_Reader.FindByTime(start, first) || !m_Reader.FindByTime(start + m_PageSpan, last))
            return false;
        info = {start, m_Reader.RecordTime(last), first, last};
        return true;
    }
    return false;
}
