#pragma once
// CCanReplay: the replay engine, one per workspace. It opens a recorded log, pages it through its reader,
// and loads a page into the data hub as if its frames had just been received: the hub's buffers are
// emptied, then the page's frames go into the hub's frame queue in file order.
//
// The queue takes 20,240 frames; a longer page is pushed as the queue drains (PushPending on every
// pass of the caller's timer), so no frame of a page is dropped.
//
// GUI thread only, like the hub's drain.
#include <cstdint>
#include <string>

#include "app/canreplaystate.h"
#include "logging/canmsgrawreplaylogfile.h"

class CCanMsgDataHub;
class CCanWorkspace;

class CCanReplay final : public ICanReplayState {
public:
    // Frames read from the file per step while pushing.
    static constexpr uint32_t kReadChunk = 1024;

    // Closes the file open before (no current page, nothing left to push). A ".crm" file is opened by the
    // reader; a ".log" file (MDF log) or any other kind, or a path that names nothing, gives false.
    bool Open(const std::string& path, uint32_t& count, double& durationMs);
    // Why the last Open gave false, naming the file; empty after one that opened.
    const std::string& LastError() const { return m_Error; }
    // No file: the reader closed and dropped, no file type, no current page.
    void CloseFile();

    // Page the open file; the current page is forgotten, so the next load shows the new pages.
    void PageByTime(double offsetMs, double spanMs, uint32_t& pageCount);
    void PageByIndex(uint32_t start, uint32_t perPage, uint32_t& pageCount);
    bool FindPage(uint32_t page, tREPLAY_PAGE_INFO& info);

    // Whether LoadPage(page) would push frames: a hub and a file are set, the page is not the current
    // one, and it exists.
    bool WillLoadPage(int32_t page);
    // Nothing without a hub or a file, or when the page is the current one. Otherwise the page becomes
    // the current one (even when it does not exist, which loads nothing); an existing page sets the page
    // end time, empties the hub's buffers and starts pushing its frames.
    void LoadPage(int32_t page);
    // Pushes frames of the page loaded last while the hub's frame queue has room; true while frames are
    // left. A record that cannot be read is skipped.
    bool PushPending();
    bool HasPending() const { return m_Pending; }
    // Drops what is left to push.
    void StopPending() { m_Pending = false; }

    int32_t CurrentPage() const { return m_CurrentPage; }
    // "crm", "log" or empty.
    const std::string& FileType() const { return m_FileType; }
    // The reader of the open file's kind; null when none.
    CCanMsgReplayLogFile* Reader() const { return m_Reader; }
    CCanMsgDataHub* Hub() const { return m_Hub; }
    void SetHub(CCanMsgDataHub* hub) { m_Hub = hub; }
    void SetReplayActive(bool active) { m_Active = active; }

    bool IsReplayActive() const override { return m_Active; }
    double PageEndTime() const override { return m_PageEndTime; }

private:
    int32_t m_CurrentPage = -1;
    bool m_Active = false;
    std::string m_FileType;
    CCanMsgDataHub* m_Hub = nullptr;
    double m_PageEndTime = 0.0;
    CCanMsgReplayLogFile* m_Reader = nullptr;
    CCanMsgRawReplayLogFile m_RawReader;
    std::string m_Error;
    // The rest of the loaded page still to push.
    bool m_Pending = false;
    uint64_t m_NextIndex = 0;
    uint64_t m_LastIndex = 0;
};

// Replay mode, as the main frame's replay command runs it around the replay control. BeginReplay, only
// when the program is neither online nor replaying: the hub is reset, becomes the engine's hub, and the
// engine's and the workspace's replay flags are set; false (nothing changed) otherwise.
bool BeginReplay(CCanWorkspace& ws, CCanReplay& replay);
// Clears both flags, drops what is left to push, marks the hub not ready (its global maps emptied). The
// engine keeps its file and pages.
void EndReplay(CCanWorkspace& ws, CCanReplay& replay);
