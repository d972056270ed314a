#pragma once
// The main frame's tick without widgets: what runs on every timer pass, in order, and the state it keeps
// from one pass to the next (first pass, bus-status countdown, sibling suspension). The frame supplies the
// window side through CFrameTickHost.
#include <cstdint>
#include <string>

class CCanWorkspace;
struct tCAN_DEV_STATUS;
struct tINFO_MSG;
namespace vex {
class SiblingProbe;
}

// The name of the sibling program's mutex, held while it uses the interface.
inline constexpr const char* kSiblingMutexName = "VYK_ZYL_MUTEX_OPEN";

// The two status-bar texts of a bus status: the load pane "总线负载：CAN0[%0.2f%%] CAN1[%0.2f%%]" and the
// state pane "总线状态：CAN0[%d %d %02X] CAN1[%d %d %02X]" (counters in decimal, status byte in hex).
struct BusStatusTexts {
    std::string load;
    std::string state;
};
BusStatusTexts FormatBusStatus(const tCAN_DEV_STATUS& status);

class CFrameTickHost {
public:
    virtual ~CFrameTickHost() = default;
    virtual void ApplyConfigWindows() = 0;
    virtual void RefreshChildWindows() = 0;
    virtual void UpdateTitle(const std::string& path) = 0;
    virtual void ShowBusStatus(const BusStatusTexts& texts) = 0;
    // The newest warning or error of the info ring, or the normal message of its source that ended it;
    // once per message.
    virtual void ShowAlert(const tINFO_MSG& msg) = 0;
    // The start- and stop-listening commands.
    virtual void StartListening() = 0;
    virtual void StopListening() = 0;
};

class CMainFrameTick {
public:
    // The bus status is shown on the first pass after going online, then on every this many passes.
    static constexpr int32_t kBusStatusPeriod = 15;

    CMainFrameTick(CCanWorkspace& ws, vex::SiblingProbe& sibling, CFrameTickHost& host);

    // One pass: on the first pass only, the configuration's windows and the title; then the data hub's
    // drain; the device reports into the info ring (NXP device first, then CF51); the newest warning or
    // error when there is a new one; the bus status when due; the sibling watch.
    void OnTimer();

    // Set when the frame went offline because the sibling program took the interface; cleared once the
    // sibling has let it go (and the frame went online again unless it already was).
    bool SiblingSuspended() const { return m_siblingSuspend; }
    int32_t BusStatusCountdown() const { return m_busStatusCountdown; }

private:
    void showBusStatusWhenDue();
    void watchSibling();
    void watchSiblingOnce();

    CCanWorkspace& m_ws;
    vex::SiblingProbe& m_sibling;
    CFrameTickHost& m_host;
    bool m_firstTick = true;
    bool m_wasOnline = false;
    int32_t m_busStatusCountdown = 0;
    bool m_siblingSuspend = false;
    bool m_inSiblingWatch = false;
    uint64_t m_alertShown = 0;
};
