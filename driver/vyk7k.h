#pragma once
// VYK7K: the driver library of the single-channel USB CAN interface. One CVYK7K stands for one interface:
// OpenVyk finds and opens it, OpenCANBus starts its bus, SetRcvEvent starts the library's receive and
// transmit threads, CAN_Read and CAN_Write move frames through the library's rings, four operations keep
// the device's own periodic-transmit list. Every operation returns 0 on success (codes below).
//
// While receiving, a lost interface is reopened by the receive thread as soon as it is present again, and
// its bus reopened with the configuration last given to OpenCANBus. Both the loss and the reconnection are
// counted (GetLinkState) and signal the receive event, so the caller learns of them at its next read.
#include <cstdint>
#include <memory>

#include "platform/event.h"

// Bus configuration given to OpenCANBus; a new record is all zero.
struct tVYK_CAN_CONFIG {
    uint8_t AccMode = 0;       // acceptance mode, passed to the device unchanged
    uint8_t ClockSel = 0;      // custom timing: 0 = 12 MHz controller clock, nonzero = 24 MHz
    uint8_t Timing0 = 0;       // custom timing: bits 5-0 prescaler - 1
    uint8_t Timing1 = 0;       // custom timing: bits 3-0 segment 1 - 1, bits 6-4 segment 2 - 1
    uint8_t Timing2 = 0;       // fourth custom byte, passed unchanged
    uint8_t Reserved5 = 0;     // passed unchanged
    uint16_t BitRateCode = 0;  // kbit/s (10, 20, 50, 100, 125, 250, 500, 1000), 0 = custom timing
    uint32_t AccCode1 = 0;
    uint32_t AccMask1 = 0;
    uint32_t AccCode2 = 0;
    uint32_t AccMask2 = 0;
};

// Record flags of tVYK_CAN_MSG::Flags.
inline constexpr uint8_t kVykFlagStatus = 0x80;
inline constexpr uint8_t kVykFlagStatus2 = 0x40;
inline constexpr uint8_t kVykFlagError = 0x20;
inline constexpr uint8_t kVykFlagExt = 0x04;     // frames after CAN_Read, and CAN_Write
inline constexpr uint8_t kVykFlagRemote = 0x02;  // frames after CAN_Read, and CAN_Write
inline constexpr uint8_t kVykFlagDir = 0x01;     // sent by this device

// One frame or status record, host byte order. After CAN_Read of a frame: plain identifier, TimeUs in
// microseconds within TimeMs, Flags of kVykFlagExt / kVykFlagRemote / kVykFlagDir.
struct tVYK_CAN_MSG {
    uint32_t Id = 0xFFFFFFFFu;
    uint8_t Data[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    uint8_t Len = 0;  // low four bits used
    uint8_t Reserved13 = 0;
    uint16_t TimeUs = 0;
    uint32_t TimeMs = 0;  // milliseconds since the device started
    uint32_t Reserved20 = 0;
    uint8_t Flags = 0;
    uint8_t CtrlStatus = 0;  // bits 3-2 transmitter level, bits 5-4 receiver level
    uint8_t Reserved26 = 0;
    uint8_t Reserved27 = 0;
    uint32_t BusBits = 0;  // bits counted on the bus in the last second
};

// One entry of the device's periodic-transmit list; the caller's record is not changed. Copying takes the
// fields the device uses and sets the two reserved words at offsets 22 and 24 to 0, so an entry built from
// another never carries leftovers to the device.
struct tVYK_CAN_CYCTX_MSG {
    tVYK_CAN_CYCTX_MSG() = default;
    tVYK_CAN_CYCTX_MSG(const tVYK_CAN_CYCTX_MSG& other) { *this = other; }
    tVYK_CAN_CYCTX_MSG& operator=(const tVYK_CAN_CYCTX_MSG& other);

    uint32_t Id = 0xFFFFFFFFu;  // plain identifier
    uint8_t Data[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    uint8_t Len = 0;
    uint8_t Reserved13 = 0;
    uint8_t Flags = 0;  // kVykFlagExt, kVykFlagRemote, kVykFlagDir
    uint8_t Reserved15 = 0;
    uint32_t PeriodMs = 0;
    uint16_t Count = 0;
    uint16_t Reserved22 = 0;
    uint32_t Reserved24 = 0;
};

static_assert(sizeof(tVYK_CAN_CYCTX_MSG) == 28);

// The interface's connection while receiving: losses and the reconnections after them, counted since the
// object was made, and the system error that ended the connection last.
struct tVYK_LINK_STATE {
    uint32_t Losses = 0;
    uint32_t Recoveries = 0;
    uint32_t LastLossCode = 0;
};

// Device identity, 48 bytes exactly as the device returns them; not interpreted.
struct tVYK_ID_INFO {
    uint32_t Word0 = 0;
    uint16_t Half4 = 0, Half6 = 0, Half8 = 0, Half10 = 0;
    char Text12[16] = {};
    char Text28[16] = {};
    uint16_t Half44 = 0, Half46 = 0;
};
static_assert(sizeof(tVYK_ID_INFO) == 48);

struct tVYK_DLL_INFO {
    char Text1[64] = {};
    char Text2[64] = {};
    char Text3[64] = {};
    uint8_t Byte = 0;
};

// Results.
inline constexpr uint32_t kVykOk = 0;
inline constexpr uint32_t kVykNotOpen = 1;        // device not open
inline constexpr uint32_t kVykBadBitRate = 2;     // unknown bit-rate code
inline constexpr uint32_t kVykNoDevice = 16;      // OpenVyk: none found or open refused
inline constexpr uint32_t kVykErrorRecord = 16;   // CAN_Read: error record
inline constexpr uint32_t kVykTxFull = 64;        // CAN_Write: transmit ring full
inline constexpr uint32_t kVykRxEmpty = 128;      // CAN_Read: nothing waiting
inline constexpr uint32_t kVykBadReply = 0x8000;  // unexpected reply from the device
inline constexpr uint32_t kVykFailed =
    0xFFFFFFFFu;  // thread not created; nothing to close; level-less status
// CAN_Read of a status record: 0x400, 0x800, 0x1000, 0x2000 or 0x4000 by the controller levels.
// Any other value is the system error code of a failed device call.

class CVYK7K {
public:
    CVYK7K();
    virtual ~CVYK7K();  // stops and joins the threads, closes the device
    CVYK7K(const CVYK7K&) = delete;
    CVYK7K& operator=(const CVYK7K&) = delete;

    uint32_t OpenVyk();   // an open device is closed first
    uint32_t CloseVYK();  // stops the threads first
    uint32_t OpenCANBus(const tVYK_CAN_CONFIG& config);
    uint32_t CloseCANBus();
    // Non-null: signal this event after each batch of received records, starting the threads if needed.
    // Null: stop and join both threads. Device not open: 1.
    uint32_t SetRcvEvent(vex::AutoResetEvent* event);
    // One caller thread at a time.
    uint32_t CAN_Read(tVYK_CAN_MSG& msg);
    // Up to `max` frames at once, in order, as CAN_Read gives them, taking each block of records off the
    // ring under one hold of the lock; status and error records among them set the bus load as CAN_Read
    // does and are passed over. Returns the number of frames stored: fewer than `max` only once the ring
    // is empty or at the first record of a later connection. The frames of one call come from one
    // connection, whose number (the reconnections counted before it, as GetLinkState counts them) is
    // stored in `connection`: a reconnected interface starts its clock again, so the caller can tell the
    // two time lines apart. Stopped at a later connection, it sets the receive event so that the rest is
    // read next. The same caller thread as CAN_Read.
    uint32_t CAN_ReadBlock(tVYK_CAN_MSG* out, uint32_t max, uint32_t* connection = nullptr);
    // Any number of threads at once; the caller fills Id, Data, Len and Flags. While the device is not open
    // or is lost (until it is reconnected) the frame is refused with kVykNotOpen: it could not be sent.
    uint32_t CAN_Write(const tVYK_CAN_MSG& msg);
    uint32_t AddPeriodicTxMsg(const tVYK_CAN_CYCTX_MSG& msg);
    uint32_t RemovePeriodicTxMsg(const tVYK_CAN_CYCTX_MSG& msg);
    uint32_t UpdatePeriodicTxMsgData(const tVYK_CAN_CYCTX_MSG& msg);
    uint32_t UpdatePeriodicTxMsgPeriod(const tVYK_CAN_CYCTX_MSG& msg);
    float GetCanBusLoad() const;  // percent, 0 to 100
    void GetLinkState(tVYK_LINK_STATE& state) const;
    uint32_t GetVYKInfo(tVYK_ID_INFO& info);
    void GetDLLInfo(tVYK_DLL_INFO& info);

    struct Impl;

private:
    std::unique_ptr<Impl> m_impl;
};
