#include "plugins/include/candevice.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/clock.h"
#include "platform/textcodec.h"

CCanDevice::CCanDevice() {
    InitDevReportRing(m_ReportRing);
}

CCanDevice::~CCanDevice() = default;

uint32_t CCanDevice::DeviceOpen() {
    return kNotImplemented;
}
uint32_t CCanDevice::DeviceClose() {
    return kNotImplemented;
}
uint32_t CCanDevice::BusOpen() {
    return kNotImplemented;
}
uint32_t CCanDevice::BusClose() {
    return kNotImplemented;
}
uint32_t CCanDevice::Write(const tCAN_RAW_MSG&) {
    return kNotImplemented;
}
uint32_t CCanDevice::Read(tCAN_RAW_MSG*, int32_t, int32_t&) {
    return kNotImplemented;
}
uint32_t CCanDevice::AddCycTxMsg(const tCAN_CYCTX_MSG&) {
    return kNotImplemented;
}
uint32_t CCanDevice::RmvCycTxMsg(const tCAN_CYCTX_MSG&) {
    return kNotImplemented;
}
uint32_t CCanDevice::UpdateCycTxMsgPeriod(const tCAN_CYCTX_MSG&) {
    return kNotImplemented;
}
uint32_t CCanDevice::UpdateCycTxMsgData(const tCAN_CYCTX_MSG&) {
    return kNotImplemented;
}
uint32_t CCanDevice::GetBusStatus(tCAN_DEV_STATUS&) {
    return kNotImplemented;
}

void CCanDevice::OperatorReport(std::string_view text, uint8_t severity) {
    const vex::LocalTime now = vex::NowLocal();
    tCAN_DEV_REPORT report;
    report.Severity = severity;
    report.Hour = static_cast<uint8_t>(now.hour);
    report.Minute = static_cast<uint8_t>(now.minute);
    report.Second = static_cast<uint8_t>(now.second);
    const size_t n = vex::Utf8PrefixBytes(text, sizeof(report.Text) - 1);
    std::memcpy(report.Text, text.data(), n);
    PushDevReport(report, m_ReportRing);
}

void CCanDevice::OperatorReportF(uint8_t severity, const char* format, ...) {
    char text[sizeof(tCAN_DEV_REPORT::Text) + 4];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    if (n < 0) return;
    OperatorReport(std::string_view(text, std::min<size_t>(static_cast<size_t>(n), sizeof(text) - 1)),
                   severity);
}

void InitDevReportRing(tCAN_DEV_REPORT_RING& ring) {
    std::lock_guard<std::mutex> lock(ring.Lock);
    std::fill(std::begin(ring.Records), std::end(ring.Records), tCAN_DEV_REPORT{});
    ring.Count = 0;
    ring.ReadIdx = 0;
    ring.WriteIdx = 0;
}

void PushDevReport(const tCAN_DEV_REPORT& report, tCAN_DEV_REPORT_RING& ring) {
    constexpr uint32_t n = tCAN_DEV_REPORT_RING::kSize;
    std::lock_guard<std::mutex> lock(ring.Lock);
    ring.Records[ring.WriteIdx % n] = report;
    ring.Records[ring.WriteIdx % n].Text[sizeof(report.Text) - 1] = '\0';
    ring.WriteIdx = (ring.WriteIdx + 1) % n;
    if (ring.Count < n) {
        ++ring.Count;
    } else {
        ring.ReadIdx = (ring.ReadIdx + 1) % n;  // the oldest report is dropped
    }
}

bool PopDevReport(tCAN_DEV_REPORT_RING& ring, tCAN_DEV_REPORT& report) {
    constexpr uint32_t n = tCAN_DEV_REPORT_RING::kSize;
    std::lock_guard<std::mutex> lock(ring.Lock);
    if (ring.Count == 0) return false;
    report = ring.Records[ring.ReadIdx % n];
    ring.ReadIdx = (ring.ReadIdx + 1) % n;
    --ring.Count;
    return true;
}
