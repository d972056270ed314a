#pragma once
// VYK7M_NXP stand-in: the driver library of the two-channel interface, with the operations, records and
// codes its device plug-in relies on, backed by the emulated two-channel interface. Its own namespace keeps
// its CVYK7K and records apart from the single-channel driver library's.
//
// Results: 0 on success, kNxpNoFrame from CAN_Read when nothing waits, kNxp* codes otherwise. After the
// interface is unplugged every operation fails with kNxpDeviceLost. From OpenVyk until CloseVYK the library
// keeps a thread of its own that looks for a lost interface every kNxpReopenMs and reopens it as soon as it
// is back, with its bus as it was last opened, whether or not the caller calls meanwhile. The loss and the
// reopening are counted (GetLinkState) and set the receive event, so the caller learns of them at its next
// read.
#include <cstdint>
#include <memory>

#include "platform/event.h"

namespace vyk7m_nxp {

// Per channel a rate word (0x2000 + kbit/s) or 0 with a timing word (timing byte 0 x 256 + byte 1).
struct tVYK_CAN_CONFIG {
    uint16_t Chan0Word = 0;
    uint16_t Chan0Timing = 0;
    uint16_t Chan1Word = 0;
    uint16_t Chan1Timing = 0;
};

inline constexpr uint32_t kIdExt = 0x40000000u;  // tVYK_CAN_MSG::Id and tVYK_CAN_CYCTX_MSG::Id
inline constexpr uint8_t kInfoChanMask = 0x0F;   // Info: channel
inline constexpr uint8_t kInfoRemote = 0x40;
inline constexpr uint8_t kInfoDir = 0x80;  // transmitted by this interface

// One frame, 20 bytes: the 48-bit time stamp counts microseconds (TimeHigh x 2^32 + TimeLow).
struct tVYK_CAN_MSG {
    uint32_t Id = 0;  // bits 28-0 identifier, kIdExt for a 29-bit one
    uint8_t Data[8] = {};
    uint8_t Len = 0;
    uint8_t Info = 0;
    uint16_t TimeHigh = 0;
    uint32_t TimeLow = 0;
};
static_assert(sizeof(tVYK_CAN_MSG) == 20);

struct tVYK_CAN_CYCTX_MSG {
    uint32_t Id = 0;  // + kIdExt
    uint8_t Data[8] = {};
    uint8_t Len = 0;
    uint8_t Info = 0;   // channel, + kInfoRemote
    uint8_t Flags = 0;  // not used by the interface
    uint8_t Reserved15 = 0;
    uint32_t PeriodMs = 0;
    uint16_t Count = 0;  // 0: until removed
    uint16_t Reserved22 = 0;
    uint32_t Reserved24 = 0;
};
static_assert(sizeof(tVYK_CAN_CYCTX_MSG) == 28);

// 20 bytes: device word, then per channel the transmit and receive error counters, the controller status
// register and the bus load in percent over the last whole second.
struct tVYK_CAN_STATUS {
    uint32_t DevStatus = 0;  // 0 working, else the code of the failed query
    uint8_t Chan0Counter1 = 0;
    uint8_t Chan0Counter2 = 0;
    uint8_t Chan0Status = 0;
    float Chan0Load = 0.0f;
    uint8_t Chan1Counter1 = 0;
    uint8_t Chan1Counter2 = 0;
    uint8_t Chan1Status = 0;
    float Chan1Load = 0.0f;
};
static_assert(sizeof(tVYK_CAN_STATUS) == 20);

struct tVYK_ID_INFO {
    char Name[16] = {};
    uint32_t Serial = 0;
    uint16_t Channels = 0;
};

struct tVYK_DLL_INFO {
    char Text1[64] = {};
    char Text2[64] = {};
    char Text3[64] = {};
    uint8_t Byte = 0;
};

inline constexpr uint32_t kNxpOk = 0;
inline constexpr uint32_t kNxpNotOpen = 0x20000001;     // OpenVyk has not succeeded
inline constexpr uint32_t kNxpNoDevice = 0x20000002;    // no interface present, or it is in use
inline constexpr uint32_t kNxpBadConfig = 0x20000003;   // a channel's word the controller cannot run
inline constexpr uint32_t kNxpBadChannel = 0x20000004;  // channel other than 0 or 1
inline constexpr uint32_t kNxpBusClosed = 0x20000005;   // CAN_Write before OpenCANBus
inline constexpr uint32_t kNxpDeviceLost = 0x20000006;  // unplugged; retried on later calls
inline constexpr uint32_t kNxpListFull = 0x20000007;    // periodic list holds 32 entries
inline constexpr uint32_t kNxpNoEntry = 0x20000008;     // no such periodic entry to update
inline constexpr uint32_t kNxpFailed = 0x20000009;      // any other failure of the interface
inline constexpr uint32_t kNxpTxBusy = 0x2000000A;      // the channel's transmit queue is full
inline constexpr uint32_t kNxpNoFrame = 0x2000002F;     // CAN_Read: nothing waits

// How often a lost interface is looked for.
inline constexpr uint32_t kNxpReopenMs = 100;

// The interface's connection: losses and the reopenings after them, counted since the object was made,
// and the code that ended the connection last.
struct tVYK_LINK_STATE {
    uint32_t Losses = 0;
    uint32_t Recoveries = 0;
    uint32_t LastLossCode = 0;
};

class CVYK7K {
public:
    CVYK7K();
    virtual ~CVYK7K();
    CVYK7K(const CVYK7K&) = delete;
    CVYK7K& operator=(const CVYK7K&) = delete;

    // An open interface is closed first. kNxpFailed when the library's thread cannot start.
    uint32_t OpenVyk();
    uint32_t CloseVYK();  // returns once the library's thread has ended
    uint32_t OpenCANBus(const tVYK_CAN_CONFIG& config);
    uint32_t CloseCANBus();
    // Sets the event whenever frames start to wait (and at once when some already do); null stops it.
    // Once it returns, an event given before is not touched any more.
    uint32_t SetRcvEvent(vex::AutoResetEvent* event);
    uint32_t CAN_Read(tVYK_CAN_MSG& msg);  // one caller thread at a time
    // Up to `max` frames at once, in order, as CAN_Read gives them: kNxpOk with their number in `count`,
    // kNxpNoFrame when none waits, else as CAN_Read. The frames come from one connection, whose number
    // (the reopenings counted before it, as GetLinkState counts them) is stored in `connection`: a
    // reopened interface starts its clock again. The same caller thread as CAN_Read.
    uint32_t CAN_ReadBlock(tVYK_CAN_MSG* out, uint32_t max, uint32_t& count, uint32_t* connection = nullptr);
    uint32_t CAN_Write(const tVYK_CAN_MSG& msg);
    uint32_t AddPeriodicTxMsg(const tVYK_CAN_CYCTX_MSG& msg);
    uint32_t RemovePeriodicTxMsg(const tVYK_CAN_CYCTX_MSG& msg);
    uint32_t UpdatePeriodicTxMsgData(const tVYK_CAN_CYCTX_MSG& msg);
    uint32_t UpdatePeriodicTxMsgPeriod(const tVYK_CAN_CYCTX_MSG& msg);
    uint32_t GetCanStatus(tVYK_CAN_STATUS& status);
    void GetLinkState(tVYK_LINK_STATE& state);
    uint32_t GetVYKInfo(tVYK_ID_INFO& info);
    void GetDLLInfo(tVYK_DLL_INFO& info);

    struct Impl;

private:
    std::unique_ptr<Impl> m_impl;
};

}  // namespace vyk7m_nxp
