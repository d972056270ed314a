#pragma once
// The device interface through which the program drives a CAN interface, and the records that cross it.
// The program and both device plug-ins share this declaration and one copy of its code (libvex_candevice).
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string_view>

#include "platform/event.h"

// One CAN frame as devices, the data hub, log files, views and services exchange it.
struct tCAN_RAW_MSG {
    uint32_t Id = 0;     // 11- or 29-bit identifier, no flag bits
    uint8_t Ext = 0;     // nonzero: 29-bit identifier
    uint8_t Remote = 0;  // nonzero: remote frame
    uint8_t Dir = 0;     // nonzero: transmitted by this node
    uint8_t Chan = 0;    // CAN channel number
    uint8_t Data[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};  // 0 at and beyond Dlc from a device
    uint8_t Dlc = 0;      // data length code; a device may deliver up to 15, at most 8 bytes are meaningful
    double TimeMs = 0.0;  // time stamp in milliseconds
};
static_assert(offsetof(tCAN_RAW_MSG, Ext) == 4 && offsetof(tCAN_RAW_MSG, Data) == 8 &&
              offsetof(tCAN_RAW_MSG, Dlc) == 16 && offsetof(tCAN_RAW_MSG, TimeMs) == 24 &&
              sizeof(tCAN_RAW_MSG) == 32);

// A cyclic-transmit request: the frame, its period in milliseconds and its number of transmissions,
// handed to the device's own periodic-transmit list unchanged (the device decides what a count means).
struct tCAN_CYCTX_MSG {
    tCAN_RAW_MSG Msg;
    uint16_t CycTxTime = 0;
    uint16_t CycTxCount = 0;
};
static_assert(offsetof(tCAN_CYCTX_MSG, CycTxTime) == 32 && offsetof(tCAN_CYCTX_MSG, CycTxCount) == 34);

struct tCAN_DEV_CHAN_STATUS {
    double BusLoad = 0.0;   // percent
    uint32_t Counter1 = 0;  // first counter the device reports (shown in decimal)
    uint32_t Counter2 = 0;  // second counter the device reports (shown in decimal)
    uint8_t Status = 0;     // controller status byte (shown in hexadecimal)
};

// Bus status filled by GetBusStatus.
struct tCAN_DEV_STATUS {
    tCAN_DEV_CHAN_STATUS Chan[2];
    uint32_t DevStatus = 0;
};

// One operator report: severity 0 information, 2 failure; local time; NUL-terminated UTF-8 text of at most
// 1023 bytes, never cut inside a character.
struct tCAN_DEV_REPORT {
    uint8_t Severity = 0;
    uint8_t Hour = 0;
    uint8_t Minute = 0;
    uint8_t Second = 0;
    char Text[1024] = {};
};

// The last 20 reports of a device object; the oldest is dropped when a 21st arrives. Every field is
// touched only under Lock.
struct tCAN_DEV_REPORT_RING {
    static constexpr uint32_t kSize = 20;
    tCAN_DEV_REPORT Records[kSize];
    uint32_t Count = 0;
    uint32_t ReadIdx = 0;   // oldest report
    uint32_t WriteIdx = 0;  // next slot
    std::mutex Lock;
};

// Bus configuration of one channel: bit rate in kbit/s (10 ... 1000), or 0 for the two timing bytes.
struct tCAN_DEV_CHAN_CFG {
    uint16_t BitRateCode = 0;
    uint8_t Timing0 = 0;
    uint8_t Timing1 = 0;
};

// Every operation returns 0 on success; the base class's own operations do nothing and return 0xFFFFFFFF.
// Expected order: DeviceOpen, BusOpen, then any number of Read, Write, cyclic operations and GetBusStatus,
// then BusClose and DeviceClose. Write and the cyclic operations may be called from several threads at
// once; Read from one thread at a time.
class CCanDevice {
public:
    static constexpr uint32_t kNotImplemented = 0xFFFFFFFFu;
    // Read never stores more than this many frames in one call.
    static constexpr int32_t kReadMaxFrames = 1024;

    CCanDevice();
    virtual ~CCanDevice();
    CCanDevice(const CCanDevice&) = delete;
    CCanDevice& operator=(const CCanDevice&) = delete;

    virtual uint32_t DeviceOpen();
    virtual uint32_t DeviceClose();
    virtual uint32_t BusOpen();
    virtual uint32_t BusClose();
    virtual uint32_t Write(const tCAN_RAW_MSG& msg);
    // Stores at most min(capacity, kReadMaxFrames) frames at msgs and their number in count. When it
    // stops because the array is full, it sets the receive event again so that the rest is read next.
    // Times never go back when the interface is reconnected and starts its clock again: they go on from
    // the frames before, by the time that passed.
    virtual uint32_t Read(tCAN_RAW_MSG* msgs, int32_t capacity, int32_t& count);
    virtual uint32_t AddCycTxMsg(const tCAN_CYCTX_MSG& msg);
    virtual uint32_t RmvCycTxMsg(const tCAN_CYCTX_MSG& msg);
    virtual uint32_t UpdateCycTxMsgPeriod(const tCAN_CYCTX_MSG& msg);
    virtual uint32_t UpdateCycTxMsgData(const tCAN_CYCTX_MSG& msg);
    virtual uint32_t GetBusStatus(tCAN_DEV_STATUS& status);

    // Auto-reset; set by the driver when received frames wait.
    vex::AutoResetEvent m_RcvEvent;
    // Written by the program before BusOpen: channel 0, then channel 1.
    tCAN_DEV_CHAN_CFG m_ChanCfg[2];
    // Channels the device class offers: 2 for the two-channel interface, 0 for the single-channel one.
    uint8_t m_ChanCount = 0;
    tCAN_DEV_REPORT_RING m_ReportRing;

protected:
    // Appends a report stamped with the local time; the text is cut to 1023 bytes on a character boundary.
    void OperatorReport(std::string_view text, uint8_t severity);
    // The same with a printf format (C locale rules for the numbers it formats).
    void OperatorReportF(uint8_t severity, const char* format, ...) __attribute__((format(printf, 3, 4)));
};

// Ring operations, each under the ring's lock.
void InitDevReportRing(tCAN_DEV_REPORT_RING& ring);
void PushDevReport(const tCAN_DEV_REPORT& report, tCAN_DEV_REPORT_RING& ring);
// Takes the oldest report out; false when the ring is empty.
bool PopDevReport(tCAN_DEV_REPORT_RING& ring, tCAN_DEV_REPORT& report);
