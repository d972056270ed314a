#include "logging/canreplay.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>

#include "app/canworkspace.h"
#include "platform/util/filewrite.h"

bool CCanReplay::Open(const std::string& path, uint32_t& count, double& durationMs) {
    CloseFile();
    m_Error.clear();
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        m_Error = "无法打开文件 " + path + "：" + ErrorText(errno);
        return false;
    }
    const size_t dot = path.rfind('.');
    std::string ext = dot == std::string::npos ? std::string() : path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    if (ext == "crm") {
        m_FileType = "crm";
        m_Reader = &m_RawReader;
        if (m_RawReader.OpenRead(path, count, durationMs)) return true;
        m_Error = m_RawReader.LastError();
        return false;
    }
    // MDF logs cannot be replayed.
    if (ext == "log") m_FileType = "log";
    m_Error = "文件 " + path + " 不是crm格式的记录文件，只能回放crm格式的记录文件。";
    return false;
}

void CCanReplay::CloseFile() {
    if (m_Reader != nullptr) m_Reader->CloseRead();
    m_Reader = nullptr;
    m_FileType.clear();
    m_CurrentPage = -1;
    m_Pending = false;
}

void CCanReplay::PageByTime(double offsetMs, double spanMs, uint32_t& pageCount) {
    if (m_Reader == nullptr) return;
    m_Reader->ReadPageByTime(offsetMs, spanMs, pageCount);
    m_CurrentPage = -1;
}

void CCanReplay::PageByIndex(uint32_t start, uint32_t perPage, uint32_t& pageCount) {
    if (m_Reader == nullptr) return;
    m_Reader->ReadPageByIndex(start, perPage, pageCount);
    m_CurrentPage = -1;
}

bool CCanReplay::FindPage(uint32_t page, tREPLAY_PAGE_INFO& info) {
    return m_Reader != nullptr && m_Reader->FindPage(page, info);
}

bool CCanReplay::WillLoadPage(int32_t page) {
    tREPLAY_PAGE_INFO info;
    return m_Hub != nullptr && m_Reader != nullptr && page != m_CurrentPage && page >= 0 &&
           FindPage(static_cast<uint32_t>(page), info);
}

void CCanReplay::LoadPage(int32_t page) {
    if (m_Hub == nullptr || m_Reader == nullptr || page == m_CurrentPage) return;
    m_CurrentPage = page;
    m_Pending = false;
    tREPLAY_PAGE_INFO info;
    if (page < 0 || !FindPage(static_cast<uint32_t>(page), info)) return;
    m_PageEndTime = info.PageEndTime;
    m_Hub->ClearBuffers();
    m_NextIndex = info.FirstIndex;
    m_LastIndex = info.LastIndex;
    m_Pending = m_NextIndex <= m_LastIndex;
    PushPending();
}

bool CCanReplay::PushPending() {
    if (!m_Pending || m_Hub == nullptr || m_Reader == nullptr) return m_Pending = false;
    CCanRxMsgQueue& queue = m_Hub->Queue();
    std::array<tCAN_RAW_MSG, kReadChunk> frames;
    uint32_t room = CCanRxMsgQueue::kCapacity - std::min(queue.Count(), CCanRxMsgQueue::kCapacity);
    while (room > 0 && m_NextIndex <= m_LastIndex) {
        const auto want =
            static_cast<uint32_t>(std::min<uint64_t>({room, kReadChunk, m_LastIndex - m_NextIndex + 1}));
        uint32_t got = 0;
        const bool whole =
            m_Reader->ReadByIndex(static_cast<uint32_t>(m_NextIndex), want, frames.data(), kReadChunk, got);
        for (uint32_t i = 0; i < got; ++i) queue.Push(frames[i]);
        m_NextIndex += got;
        // The record after the delivered ones could not be read: it is left out (and counts against the
        // room, so a file cut short meanwhile costs a bounded number of reads per pass).
        const uint32_t used = got + (whole ? 0 : 1);
        room -= std::min(room, used);
        if (!whole) ++m_NextIndex;
    }
    m_Pending = m_NextIndex <= m_LastIndex;
    return m_Pending;
}

bool BeginReplay(CCanWorkspace& ws, CCanReplay& replay) {
    if (ws.IsReplaying() || ws.IsOnline()) return false;
    ws.Hub().Reset();
    replay.SetHub(&ws.Hub());
    replay.SetReplayActive(true);
    ws.SetReplayFlag(true);
    return true;
}

void EndReplay(CCanWorkspace& ws, CCanReplay& replay) {
    replay.SetReplayActive(false);
    replay.StopPending();
    ws.Hub().SetNotReady();
    ws.SetReplayFlag(false);
}
