#pragma once
// Sending on the bus the program listens on: single frames and the device's own cyclic-transmit list. The
// online flag and the current device are those of the receive-thread record, read anew for every call, so
// a sender serves every online session. The send window and the extension services send only through
// this class. No widgets; callable from any thread (the device's operations are).
#include <string>

#include "config/cfgrecords.h"
#include "plugins/include/candevice.h"

class CCanRxThread;

class CCanMsgSender {
public:
    enum class Result {
        Ok,
        Offline,       // not listening ("请先开启监听总线。")
        NoDevice,      // listening but no device (nothing sent, nothing said)
        BadFrame,      // the record makes no frame as its row shows it (the refusal names the entry)
        DeviceFailed,  // the device answered nonzero
    };

    explicit CCanMsgSender(const CCanRxThread& rx) : m_rx(rx) {}

    bool IsOnline() const;

    // The frame a transmit record stands for: transmitted, time 0, its period and count. A record that
    // makes no frame as its row shows it (SendMsgFault: an identifier beyond its type, a length above 8, a
    // channel above 1) gives the refusal, naming the entry; an empty text otherwise.
    static std::string BuildFrame(const tCFG_SET_SEND_MSG& rec, tCAN_CYCTX_MSG& out);
    // The two halves of that, for every kind of record that sends a frame (the send list's, the queue's):
    // the refusal of a record whose check found `fault`, and the frame of one that passed (transmitted,
    // time 0).
    static std::string Refusal(const std::string& name, uint32_t id, const std::string& fault);
    static tCAN_RAW_MSG FrameOf(uint32_t id, bool ext, bool remote, uint8_t chan, uint8_t dl,
                                const uint8_t (&data)[8]);

    // The device operations on a record. All but StopCyclic need the bus online; StopCyclic removes the
    // entry whenever a device is there. A refused record reaches no device; its text goes into `refusal`.
    Result SendOnce(const tCFG_SET_SEND_MSG& rec, std::string* refusal = nullptr) const;
    Result StartCyclic(const tCFG_SET_SEND_MSG& rec, std::string* refusal = nullptr) const;
    Result StopCyclic(const tCFG_SET_SEND_MSG& rec) const;
    Result UpdatePeriod(const tCFG_SET_SEND_MSG& rec, std::string* refusal = nullptr) const;
    Result UpdateData(const tCFG_SET_SEND_MSG& rec, std::string* refusal = nullptr) const;

    // A frame the caller built (services): sent once, transmitted direction set.
    Result Write(const tCAN_RAW_MSG& msg) const;

    static constexpr const char* kOfflineText = "请先开启监听总线。";

private:
    enum class Op { Once, Start, Stop, Period, Data };
    Result deviceOp(const tCFG_SET_SEND_MSG& rec, Op op, std::string* refusal) const;

    const CCanRxThread& m_rx;
};
