#include "app/canmsgsender.h"

#include <cstdio>
#include <cstring>

#include "app/canrxthread.h"
#include "config/cfgsections.h"

bool CCanMsgSender::IsOnline() const {
    return m_rx.IsRunning();
}

std::string CCanMsgSender::Refusal(const std::string& name, uint32_t id, const std::string& fault) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08X", id);
    return "发送报文 " + name + "（ID " + hex + "）：" + fault + "。";
}

tCAN_RAW_MSG CCanMsgSender::FrameOf(uint32_t id, bool ext, bool remote, uint8_t chan, uint8_t dl,
                                    const uint8_t (&data)[8]) {
    tCAN_RAW_MSG msg{};
    msg.Id = id;
    msg.Ext = ext ? 1 : 0;
    msg.Remote = remote ? 1 : 0;
    msg.Dir = 1;
    msg.Chan = chan;
    std::memcpy(msg.Data, data, sizeof msg.Data);
    msg.Dlc = dl;
    msg.TimeMs = 0.0;
    return msg;
}

std::string CCanMsgSender::BuildFrame(const tCFG_SET_SEND_MSG& rec, tCAN_CYCTX_MSG& out) {
    if (const std::string fault = SendMsgFault(rec); !fault.empty())
        return Refusal(rec.MsgName, rec.MsgID, fault);
    out = tCAN_CYCTX_MSG{};
    out.Msg = FrameOf(rec.MsgID, rec.Ext != 0, rec.Rmt != 0, rec.Chan, rec.DL, rec.TxData);
    out.CycTxTime = rec.CycTxTime;
    out.CycTxCount = rec.CycTxCount;
    return {};
}

CCanMsgSender::Result CCanMsgSender::SendOnce(const tCFG_SET_SEND_MSG& rec, std::string* refusal) const {
    return deviceOp(rec, Op::Once, refusal);
}
CCanMsgSender::Result CCanMsgSender::StartCyclic(const tCFG_SET_SEND_MSG& rec, std::string* refusal) const {
    return deviceOp(rec, Op::Start, refusal);
}
CCanMsgSender::Result CCanMsgSender::StopCyclic(const tCFG_SET_SEND_MSG& rec) const {
    return deviceOp(rec, Op::Stop, nullptr);
}
CCanMsgSender::Result CCanMsgSender::UpdatePeriod(const tCFG_SET_SEND_MSG& rec, std::string* refusal) const {
    return deviceOp(rec, Op::Period, refusal);
}
CCanMsgSender::Result CCanMsgSender::UpdateData(const tCFG_SET_SEND_MSG& rec, std::string* refusal) const {
    return deviceOp(rec, Op::Data, refusal);
}

CCanMsgSender::Result CCanMsgSender::Write(const tCAN_RAW_MSG& msg) const {
    if (!m_rx.IsRunning()) return Result::Offline;
    CCanDevice* device = m_rx.CurDevice();
    if (device == nullptr) return Result::NoDevice;
    tCAN_RAW_MSG frame = msg;
    frame.Dir = 1;
    return device->Write(frame) == 0 ? Result::Ok : Result::DeviceFailed;
}

CCanMsgSender::Result CCanMsgSender::deviceOp(const tCFG_SET_SEND_MSG& rec, Op op,
                                              std::string* refusal) const {
    if (op != Op::Stop && !m_rx.IsRunning()) return Result::Offline;
    tCAN_CYCTX_MSG msg;
    // A refused record never reached the device, so there is nothing to stop either.
    if (std::string why = BuildFrame(rec, msg); !why.empty()) {
        if (refusal) *refusal = std::move(why);
        return Result::BadFrame;
    }
    CCanDevice* device = m_rx.CurDevice();
    if (device == nullptr) return Result::NoDevice;
    uint32_t rc = 0;
    switch (op) {
        case Op::Once:
            rc = device->Write(msg.Msg);
            break;
        case Op::Start:
            rc = device->AddCycTxMsg(msg);
            break;
        case Op::Stop:
            rc = device->RmvCycTxMsg(msg);
            break;
        case Op::Period:
            rc = device->UpdateCycTxMsgPeriod(msg);
            break;
        case Op::Data:
            rc = device->UpdateCycTxMsgData(msg);
            break;
    }
    return rc == 0 ? Result::Ok : Result::DeviceFailed;
}
