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

uint32_t CCanDeviceVyk::ReportCyclic(uint32_t rc, uint32_t id, const char* okFormat, const char* failFormat) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    if (rc != 0) {
        OperatorReportF(2, failFormat, rc, id);
        return 1;
    }
    OperatorReportF(0, okFormat, id);
#pragma GCC diagnostic pop
    return 0;
}

uint32_t CCanDeviceVyk::ReadFrames(tCAN_RAW_MSG* msgs, int32_t capacity, int32_t& count,
                                   const std::function<bool(tCAN_RAW_MSG&)>& readOne) {
    count = 0;
    if (!msgs || capacity <= 0) return 0;
    const int32_t max = std::min(capacity, kReadMaxFrames);
    while (count < max && readOne(msgs[count])) ++count;
    if (count == max) m_RcvEvent.Set();  // more may wait: the next Read takes them without a new batch
    return 0;
}
