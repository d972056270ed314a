#include "plugins/common/vykdevice.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace {
constexpr int kBusTries = 5;
}

uint32_t CCanDeviceVyk::ReportDeviceOpen(uint32_t rc) {
    if (rc != 0) {
        OperatorReportF(2, "开启设备操作失败，故障代码为：[0x%08X]，请检查设备驱动程序是否正确安装。", rc);
        return 1;
    }
    OperatorReport("设备开启操作成功。", 0);
    return 0;
}

uint32_t CCanDeviceVyk::ReportDeviceClose(uint32_t rc) {
    if (rc != 0) {
        OperatorReportF(2, "设备关闭操作失败，故障代码：%08X，请检查设备驱动程序是否正确安装。", rc);
        return 1;
    }
    OperatorReport("设备关闭操作成功。", 0);
    return 0;
}

uint32_t CCanDeviceVyk::OpenBusWithRetries(const std::function<uint32_t()>& openBus,
                                           const std::function<uint32_t()>& startReceive) {
    uint32_t rc = 0;
    for (int i = 0; i < kBusTries; ++i) {
        rc = openBus();
        if (rc == 0) break;
    }
    if (rc != 0) {
        OperatorReportF(2, "开启CAN总线操作失败，故障代码：0x%08X", rc);
        return 1;
    }
    if (startReceive() != 0) return 2;
    OperatorReport("开启CAN总线操作成功。", 0);
    return 0;
}

uint32_t CCanDeviceVyk::CloseBusWithRetries(const std::function<void()>& stopReceive,
                                            const std::function<uint32_t()>& closeBus) {
    stopReceive();
    uint32_t rc = 0;
    for (int i = 0; i < kBusTries; ++i) {
        rc = closeBus();
        if (rc == 0) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (rc != 0) {
        OperatorReportF(2, "关闭CAN总线操作失败，故障代码：0x%08X", rc);
        return 1;
    }
    OperatorReport("关闭CAN总线操作成功。", 0);
    return 0;
}

uint32_t CCanDeviceVyk::RunCyclic(CyclicOp op, const tCAN_CYCTX_MSG& msg, uint64_t key,
                                  const std::function<uint32_t()>& call, const char* okFormat,
                                  const char* failFormat) {
    std::lock_guard<std::mutex> lock(m_linkLock);
    const uint32_t rc = call();
    const auto kept =
        std::find_if(m_cyclic.begin(), m_cyclic.end(), [key](const KeptCyclic& k) { return k.key == key; });
    switch (op) {
        case CyclicOp::Add:
            if (rc != 0) break;
            if (kept != m_cyclic.end()) {
                *kept = {key, msg, Clock::now()};
            } else {
                m_cyclic.push_back({key, msg, Clock::now()});
            }
            break;
        case CyclicOp::Remove:
            if (kept != m_cyclic.end()) m_cyclic.erase(kept);
            break;
        case CyclicOp::Period:
            if (kept != m_cyclic.end()) kept->msg.CycTxTime = msg.CycTxTime;
            break;
        case CyclicOp::Data:
            if (kept != m_cyclic.end()) kept->msg.Msg = msg.Msg;
            break;
    }
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    if (rc != 0) {
        OperatorReportF(2, failFormat, rc, msg.Msg.Id);
        return 1;
    }
    OperatorReportF(0, okFormat, msg.Msg.Id);
#pragma GCC diagnostic pop
    return 0;
}

void CCanDeviceVyk::StartWatching(const VykLink& link) {
    {
        std::lock_guard<std::mutex> lock(m_linkLock);
        m_cyclic.clear();
        m_seenLosses = link.losses;
        m_seenRecoveries = link.recoveries;
        m_lost = false;
    }
    std::lock_guard<std::mutex> lock(m_timeLock);
    m_timeLine.Start(link.recoveries);
}

void CCanDeviceVyk::StopWatching() {
    std::lock_guard<std::mutex> lock(m_linkLock);
    m_cyclic.clear();
    m_lost = false;
}

void CCanDeviceVyk::CountDownOnLoss(Clock::time_point now) {
    std::erase_if(m_cyclic, [now](KeptCyclic& k) {
        const uint16_t count = k.msg.CycTxCount;
        if (count == 0) return false;  // endless
        // The device sends the first at once and one per period (at least 1 ms) after it.
        const auto period = std::chrono::milliseconds(std::max<uint16_t>(k.msg.CycTxTime, 1));
        const int64_t due = (now - k.since) / period + 1;
        if (due >= count) return true;
        k.msg.CycTxCount = static_cast<uint16_t>(count - due);
        return false;
    });
}

void CCanDeviceVyk::PutBack(const std::function<uint32_t(const tCAN_CYCTX_MSG&)>& add,
                            const char* addFailFormat) {
    for (KeptCyclic& k : m_cyclic) {
        const uint32_t rc = add(k.msg);
        k.since = Clock::now();
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
        if (rc != 0) OperatorReportF(2, addFailFormat, rc, k.msg.Msg.Id);
#pragma GCC diagnostic pop
    }
}

void CCanDeviceVyk::WatchLink(const VykLink& link, const std::function<uint32_t(const tCAN_CYCTX_MSG&)>& add,
                              const char* addFailFormat) {
    std::lock_guard<std::mutex> lock(m_linkLock);
    bool recovered = false;
    // Losses and reconnections alternate, a loss first; counts that changed together are told in that order.
    for (;;) {
        if (!m_lost && m_seenLosses != link.losses) {
            ++m_seenLosses;
            m_lost = true;
            CountDownOnLoss(Clock::now());
            OperatorReportF(2, "设备连接中断，设备状态字：0x%08X", link.lossCode);
        } else if (m_lost && m_seenRecoveries != link.recoveries) {
            ++m_seenRecoveries;
            m_lost = false;
            recovered = true;
            // Working now unless a loss not yet told has no reconnection after it; counted from this
            // session's start, since a loss left by an earlier session never got one.
            const bool working = link.losses - m_seenLosses == link.recoveries - m_seenRecoveries;
            const uint32_t status = working ? 0 : link.lossCode;
            OperatorReportF(0, "设备已重新连接，设备状态字：0x%08X，报文时间已按断开时长接续原时间轴。",
                            status);
        } else {
            break;
        }
    }
    if (recovered && !m_lost) PutBack(add, addFailFormat);
}

uint32_t CCanDeviceVyk::ReadFrames(tCAN_RAW_MSG* msgs, int32_t capacity, int32_t& count,
                                   ReadBlockFn readBlock) {
    count = 0;
    if (!msgs || capacity <= 0) return 0;
    const int32_t max = std::min(capacity, kReadMaxFrames);
    uint32_t connection = 0;
    count = std::clamp(readBlock(msgs, max, connection), 0, max);
    if (count == max) m_RcvEvent.Set();  // more may wait: the next Read takes them without a new batch
    if (count > 0) {
        const double hostMs =
            std::chrono::duration<double, std::milli>(Clock::now().time_since_epoch()).count();
        std::lock_guard<std::mutex> lock(m_timeLock);
        m_timeLine.Apply(msgs, count, connection, hostMs);
    }
    return 0;
}
