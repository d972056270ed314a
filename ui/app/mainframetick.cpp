#include "ui/app/mainframetick.h"

#include <unistd.h>

#include <cstdarg>
#include <cstdio>

#include "app/canworkspace.h"
#include "platform/qt/namedmutex.h"

namespace {

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...) {
    char buf[256];
    va_list args;
    va_start(args, fmt);
    const int n = std::vsnprintf(buf, sizeof buf, fmt, args);
    va_end(args);
    if (n < 0) return {};
    if (static_cast<size_t>(n) < sizeof buf) return std::string(buf, static_cast<size_t>(n));
    std::string out(static_cast<size_t>(n) + 1, '\0');
    va_start(args, fmt);
    std::vsnprintf(out.data(), out.size(), fmt, args);
    va_end(args);
    out.resize(static_cast<size_t>(n));
    return out;
}

}  // namespace

BusStatusTexts FormatBusStatus(const tCAN_DEV_STATUS& s) {
    const tCAN_DEV_CHAN_STATUS& c0 = s.Chan[0];
    const tCAN_DEV_CHAN_STATUS& c1 = s.Chan[1];
    return {format("总线负载：CAN0[%0.2f%%] CAN1[%0.2f%%]", c0.BusLoad, c1.BusLoad),
            format("总线状态：CAN0[%u %u %02X] CAN1[%u %u %02X]", c0.Counter1, c0.Counter2,
                   unsigned{c0.Status}, c1.Counter1, c1.Counter2, unsigned{c1.Status})};
}

CMainFrameTick::CMainFrameTick(CCanWorkspace& ws, vex::SiblingProbe& sibling, CFrameTickHost& host)
    : m_ws(ws), m_sibling(sibling), m_host(host) {}

void CMainFrameTick::OnTimer() {
    if (m_firstTick) {
        m_firstTick = false;
        const std::string& path = m_ws.CfgPath();
        if (!path.empty() && ::access(path.c_str(), F_OK) == 0) {
            m_host.ApplyConfigWindows();
            m_host.RefreshChildWindows();
            m_host.UpdateTitle(path);
        } else {
            m_host.UpdateTitle("--");
        }
    }
    m_ws.Hub().ProcessRxQueue();
    m_ws.MoveDeviceReports();
    // Failures reach the info ring from every part of the program; the frame shows the newest at once,
    // even while the info window is closed.
    if (tINFO_MSG alert; m_ws.InfoRing().NewerAlert(m_alertShown, alert)) m_host.ShowAlert(alert);
    showBusStatusWhenDue();
    watchSibling();
}

void CMainFrameTick::showBusStatusWhenDue() {
    const bool online = m_ws.IsOnline();
    // The countdown starts afresh with every going online, and rests at 0 while offline.
    if (online && !m_wasOnline) m_busStatusCountdown = 0;
    m_wasOnline = online;
    if (m_busStatusCountdown <= 0 && online) {
        m_busStatusCountdown = kBusStatusPeriod;
        tCAN_DEV_STATUS status{};
        if (CCanDevice* device = m_ws.RxThread().CurDevice()) device->GetBusStatus(status);
        m_host.ShowBusStatus(FormatBusStatus(status));
    }
    if (m_busStatusCountdown > 0) --m_busStatusCountdown;
}

void CMainFrameTick::watchSibling() {
    // Going online may show a message box, whose event loop runs further ticks: they leave the watch alone.
    if (m_inSiblingWatch) return;
    m_inSiblingWatch = true;
    watchSiblingOnce();
    m_inSiblingWatch = false;
}

void CMainFrameTick::watchSiblingOnce() {
    if (m_ws.IsOnline()) {
        if (m_sibling.IsPresent()) {
            m_host.StopListening();
            m_siblingSuspend = true;
        } else if (!m_siblingSuspend) {
            return;
        }
    }
    if (!m_ws.IsOnline() && !m_siblingSuspend) return;
    if (m_sibling.IsPresent()) return;
    m_siblingSuspend = false;
    if (!m_ws.IsOnline()) m_host.StartListening();
}
