#include "app/canmsgsender.h"

#include <cstdio>
#include <cstring>

#include "app/canrxthread.h"
#include "config/cfgsections.h"

bool CCanMsgSender::IsOnline() const {
    return m_rx.IsRunning();
}

std::string CCanMsgSender::BuildFrame(const tCFG_SET_SEND_MSG& rec, tCAN_CYCTX_MSG& out) {
    if (const std::string fault = SendMsgFault(rec); !fault.empty()) {
        char id[16];
        std::snprintf(id, sizeof id, "%08X", rec.MsgID);
        return "发送报文 " + rec.MsgName + "（ID " + id + "）：" + fault + "。";
    }
    out = tCAN_CYCTX_MSG{};
    out.Msg.Id = rec.MsgID;
    out.Msg.Ext = rec.Ext ? 1 : 0;
    out.Msg.Remote = rec.Rmt ? 1 : 0;
    out.Msg.Dir = 1;
    out.Msg.Chan = rec.Chan;
    std::memcpy(out.Msg.Data, rec.TxData, sizeof out.Msg.Data);
    out.Msg.Dlc = rec.DL;
    out.Msg.TimeMs = 0.0;
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

CCanMsgSender::Result CCanMsgSender::deviceOp(const tCFG_SET_SEND_MSG& rec, Op op, std::string* refusal) const {
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
