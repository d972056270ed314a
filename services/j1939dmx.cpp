#include "services/j1939dmx.h"

#include <chrono>
#include <cstdio>
#include <system_error>
#include <vector>

#include "app/canmsgsender.h"
#include "platform/util/utils.h"
#include "services/svcwait.h"

namespace {

constexpr double kCycleMs = 1000.0;
constexpr uint32_t kPacketGapMs = 50;
constexpr auto kIdleSlice = std::chrono::milliseconds(20);

void defaultWait(uint32_t ms) {
    PreciseWaitMs(ms);
}

}  // namespace

CExtSerCanJ1939DMx::CExtSerCanJ1939DMx(const CCanMsgSender& sender, const vex::Clock& clock)
    : m_sender(sender),
      m_clock(clock),
      m_startTicks(clock.Ticks()),
      m_table((FillJ1939DmxTable(), DefaultJ1939DmxTable())),
      m_waitMs(&defaultWait),
      m_collector(m_table) {}

CExtSerCanJ1939DMx::~CExtSerCanJ1939DMx() {
    StopTx();
}

void CExtSerCanJ1939DMx::OnRxMsg(const tCAN_RAW_MSG* msg) {
    if (msg == nullptr) return;
    std::string report;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_collector.Apply(*msg) == CJ1939DmxCollector::Result::BamRefused && m_reportRefusals) {
            const uint32_t key = static_cast<uint32_t>(msg->Chan) * 256 + (msg->Id & 0xFF);
            if (m_refused[key]++ == 0) {
                const uint32_t pgn =
                    uint32_t{msg->Data[5]} | (uint32_t{msg->Data[6]} << 8) | (uint32_t{msg->Data[7]} << 16);
                char text[256];
                std::snprintf(text, sizeof text,
                              "Node[%02X](%d) 的BAM传输（PGN %04X）长度为%d字节，超过%d字节，不予接收。"
                              "此节点以后被拒收的传输只计数，在服务停止时报告。",
                              static_cast<unsigned>(msg->Id & 0xFF), msg->Chan, static_cast<unsigned>(pgn),
                              msg->Data[1] | (msg->Data[2] << 8), static_cast<int>(kJ1939DmxDataMax));
                report = text;
            }
        }
    }
    if (!report.empty() && m_reporter) m_reporter(report);
}

void CExtSerCanJ1939DMx::StartRefusalReports() {
    std::lock_guard<std::mutex> lock(m_lock);
    m_refused.clear();
    m_reportRefusals = true;
}

void CExtSerCanJ1939DMx::EndRefusalReports() {
    std::string summary;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        size_t named = 0, others = 0;
        uint64_t otherCount = 0;
        for (const auto& [key, count] : m_refused) {
            if (count < 2) continue;  // its one refusal was reported as it came
            if (named == kSummaryNodes) {
                ++others;
                otherCount += count;
                continue;
            }
            char node[64];
            std::snprintf(node, sizeof node, "%sNode[%02X](%u) %llu次", named == 0 ? "" : "，", key & 0xFF,
                          key >> 8, static_cast<unsigned long long>(count));
            summary += node;
            ++named;
        }
        if (others > 0)
            summary += "，另有" + std::to_string(others) + "个节点共" + std::to_string(otherCount) + "次";
        if (!summary.empty())
            summary =
                "BAM传输超过" + std::to_string(kJ1939DmxDataMax) + "字节被拒收的次数：" + summary + "。";
        m_refused.clear();
        m_reportRefusals = false;
    }
    if (!summary.empty() && m_reporter) m_reporter(summary);
}

bool CExtSerCanJ1939DMx::GetNodeMap(J1939DmxNodeMap& out) const {
    out.clear();
    std::lock_guard<std::mutex> lock(m_lock);
    out = m_collector.Nodes();
    return true;
}

void CExtSerCanJ1939DMx::ClearNodes() {
    std::lock_guard<std::mutex> lock(m_lock);
    m_collector.Clear();
}

bool CExtSerCanJ1939DMx::StartTx(const tEXT_J1939DMX_TX_DATA& tx) {
    if (m_sending.load() || !m_sender.IsOnline()) return false;
    if (tx.TotalSize > kJ1939DmxDataMax || tx.Packets > 255) return false;
    // A thread that ended by itself is still to be joined before another starts.
    if (m_thread.joinable()) m_thread.join();
    m_tx = tx;
    m_sending = true;
    try {
        m_thread = std::thread([this] { txLoop(); });
    } catch (const std::system_error&) {
        m_sending = false;
        return false;
    }
    return true;
}

void CExtSerCanJ1939DMx::StopTx() {
    {
        std::lock_guard<std::mutex> lock(m_wakeLock);
        m_sending = false;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

double CExtSerCanJ1939DMx::nowMs() const {
    return static_cast<double>(m_clock.Ticks() - m_startTicks) * 1000.0 /
           static_cast<double>(m_clock.Frequency());
}

void CExtSerCanJ1939DMx::txLoop() {
    vex::svc::PrepareWorkerThread("vex-j1939tx", true);
    double next = nowMs();
    while (m_sending.load()) {
        const double now = nowMs();
        if (now < next) {
            std::unique_lock<std::mutex> lock(m_wakeLock);
            m_wake.wait_for(lock, kIdleSlice, [this] { return !m_sending.load(); });
            continue;
        }
        next = now + kCycleMs;
        // Offline the cycle is skipped and the rhythm kept.
        if (m_sender.IsOnline()) sendCycle();
    }
}

void CExtSerCanJ1939DMx::sendCycle() {
    const std::vector<tCAN_RAW_MSG> frames = J1939DmxTxFrames(m_tx);
    for (size_t i = 0; i < frames.size(); ++i) {
        if (i > 0) {
            m_waitMs(kPacketGapMs);
            // A stop takes effect between packets: a whole BAM of 255 codes lasts about 7 s.
            if (!m_sending.load()) return;
        }
        (void)m_sender.Write(frames[i]);
    }
}
