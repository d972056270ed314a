#include "plugins/nxp/morvan.h"

#include <algorithm>
#include <cstring>

#include "platform/nxpdrv/vyk7m_nxp.h"

using namespace vyk7m_nxp;

namespace {

// The module's driver object, shared by every device object of this module.
vyk7m_nxp::CVYK7K& Driver() {
    static vyk7m_nxp::CVYK7K driver;
    return driver;
}

// Read's staging array: Read runs on one thread at a time.
tVYK_CAN_MSG* Staging() {
    static tVYK_CAN_MSG stage[CCanDevice::kReadMaxFrames];
    return stage;
}

uint32_t IdWord(const tCAN_RAW_MSG& msg) {
    return msg.Id | (msg.Ext ? kIdExt : 0);
}

uint8_t Info(const tCAN_RAW_MSG& msg) {
    return static_cast<uint8_t>((msg.Chan & kInfoChanMask) | (msg.Remote ? kInfoRemote : 0));
}

// Built per call: the cyclic operations run on several threads at once. `flags` as the operation wants.
tVYK_CAN_CYCTX_MSG CycEntry(const tCAN_CYCTX_MSG& msg, bool withFlags) {
    tVYK_CAN_CYCTX_MSG e;
    e.Id = IdWord(msg.Msg);
    std::memcpy(e.Data, msg.Msg.Data, sizeof(e.Data));
    e.Len = msg.Msg.Dlc;
    e.Info = Info(msg.Msg);
    if (withFlags) e.Flags = static_cast<uint8_t>((msg.Msg.Remote ? 2 : 0) | (msg.Msg.Dir ? 1 : 0));
    e.PeriodMs = msg.CycTxTime;
    e.Count = msg.CycTxCount;
    return e;
}

// The device tells its periodic entries apart by channel and identifier.
uint64_t CycKey(const tCAN_CYCTX_MSG& msg) {
    return uint64_t{IdWord(msg.Msg)} | (uint64_t{msg.Msg.Chan} << 32);
}

VykLink Link() {
    tVYK_LINK_STATE st;
    Driver().GetLinkState(st);
    return {st.Losses, st.Recoveries, st.LastLossCode};
}

constexpr const char* kAddOk = "VYK:执行添加循环发送报文操作成功。";
constexpr const char* kAddFail = "VYK执行添加循环发送报文操作失败,故障代码：%08X，报文ID:%08X";

uint32_t AddToDevice(const tCAN_CYCTX_MSG& msg) {
    return Driver().AddPeriodicTxMsg(CycEntry(msg, false));
}

}  // namespace

void NxpConfigWords(const tCAN_DEV_CHAN_CFG (&chan)[2], uint16_t words[4]) {
    for (int c = 0; c < 2; ++c) {
        const tCAN_DEV_CHAN_CFG& cfg = chan[c];
        if (cfg.BitRateCode != 0) {
            words[2 * c] = static_cast<uint16_t>((cfg.BitRateCode & 0x0FFF) + 0x2000);
            words[2 * c + 1] = 0;
        } else {
            words[2 * c] = 0;
            words[2 * c + 1] = static_cast<uint16_t>(cfg.Timing0 * 256 + cfg.Timing1);
        }
    }
}

CCanDeviceVykNxp::CCanDeviceVykNxp() {
    m_ChanCount = 2;
}

CCanDeviceVykNxp::~CCanDeviceVykNxp() {
    // The driver must not signal this object's event once the object is gone.
    if (m_receiving) Driver().SetRcvEvent(nullptr);
}

uint32_t CCanDeviceVykNxp::DeviceOpen() {
    return ReportDeviceOpen(Driver().OpenVyk());
}

uint32_t CCanDeviceVykNxp::DeviceClose() {
    Driver().SetRcvEvent(nullptr);
    m_receiving = false;
    StopWatching();
    return ReportDeviceClose(Driver().CloseVYK());
}

uint32_t CCanDeviceVykNxp::BusOpen() {
    uint16_t words[4];
    NxpConfigWords(m_ChanCfg, words);
    tVYK_CAN_CONFIG config;
    config.Chan0Word = words[0];
    config.Chan0Timing = words[1];
    config.Chan1Word = words[2];
    config.Chan1Timing = words[3];
    StartWatching(Link());
    return OpenBusWithRetries([&] { return Driver().OpenCANBus(config); },
                              [&] {
                                  const uint32_t rc = Driver().SetRcvEvent(&m_RcvEvent);
                                  m_receiving = rc == 0;
                                  return rc;
                              });
}

uint32_t CCanDeviceVykNxp::BusClose() {
    return CloseBusWithRetries(
        [&] {
            Driver().SetRcvEvent(nullptr);
            m_receiving = false;
            StopWatching();
        },
        [] { return Driver().CloseCANBus(); });
}

uint32_t CCanDeviceVykNxp::Write(const tCAN_RAW_MSG& msg) {
    tVYK_CAN_MSG rec;  // per call: Write runs on several threads at once
    rec.Id = IdWord(msg);
    rec.Info = Info(msg);
    std::memcpy(rec.Data, msg.Data, std::min<size_t>(msg.Dlc, sizeof(rec.Data)));
    rec.Len = msg.Dlc;
    return Driver().CAN_Write(rec) == 0 ? 0 : 1;
}

uint32_t CCanDeviceVykNxp::Read(tCAN_RAW_MSG* msgs, int32_t capacity, int32_t& count) {
    WatchLink(Link(), AddToDevice, kAddFail);
    return ReadFrames(msgs, capacity, count, [](tCAN_RAW_MSG* out, int32_t max, uint32_t& connection) {
        tVYK_CAN_MSG* stage = Staging();
        uint32_t n = 0;
        if (Driver().CAN_ReadBlock(stage, static_cast<uint32_t>(max), n, &connection) != 0) return 0;
        for (uint32_t i = 0; i < n; ++i) {
            const tVYK_CAN_MSG& rec = stage[i];
            tCAN_RAW_MSG& m = out[i];
            m.Id = rec.Id & 0x1FFFFFFFu;
            m.Ext = rec.Id & kIdExt ? 1 : 0;
            m.Remote = rec.Info & kInfoRemote ? 1 : 0;
            m.Dir = rec.Info & kInfoDir ? 1 : 0;
            m.Chan = rec.Info & kInfoChanMask;
            m.Dlc = rec.Len;
            const size_t len = std::min<size_t>(rec.Len, sizeof(m.Data));
            std::memcpy(m.Data, rec.Data, len);
            std::memset(m.Data + len, 0, sizeof(m.Data) - len);
            const uint64_t us = (uint64_t{rec.TimeHigh} << 32) | rec.TimeLow;
            m.TimeMs = static_cast<double>(us) / 1000.0;
        }
        return static_cast<int32_t>(n);
    });
}

uint32_t CCanDeviceVykNxp::AddCycTxMsg(const tCAN_CYCTX_MSG& msg) {
    return RunCyclic(
        CyclicOp::Add, msg, CycKey(msg), [&] { return AddToDevice(msg); }, kAddOk, kAddFail);
}

uint32_t CCanDeviceVykNxp::RmvCycTxMsg(const tCAN_CYCTX_MSG& msg) {
    return RunCyclic(
        CyclicOp::Remove, msg, CycKey(msg), [&] { return Driver().RemovePeriodicTxMsg(CycEntry(msg, true)); },
        "VYK:执行移除循环发送报文操作成功。", "VYK执行移除循环发送报文操作失败,故障代码：%08X，报文ID:%08X");
}

uint32_t CCanDeviceVykNxp::UpdateCycTxMsgPeriod(const tCAN_CYCTX_MSG& msg) {
    return RunCyclic(
        CyclicOp::Period, msg, CycKey(msg),
        [&] { return Driver().UpdatePeriodicTxMsgPeriod(CycEntry(msg, true)); },
        "VYK:执行更新循环发送报文周期操作成功。",
        "VYK执行更新循环发送报文周期操作失败,故障代码：%08X，报文ID:%08X");
}

uint32_t CCanDeviceVykNxp::UpdateCycTxMsgData(const tCAN_CYCTX_MSG& msg) {
    return RunCyclic(
        CyclicOp::Data, msg, CycKey(msg),
        [&] { return Driver().UpdatePeriodicTxMsgData(CycEntry(msg, true)); },
        "VYK:执行更新循环发送报文数据操作成功。",
        "VYK执行更新循环发送报文数据操作失败,故障代码：%08X，报文ID:%08X");
}

uint32_t CCanDeviceVykNxp::GetBusStatus(tCAN_DEV_STATUS& status) {
    tVYK_CAN_STATUS st;
    Driver().GetCanStatus(st);
    if (m_receiving) WatchLink(Link(), AddToDevice, kAddFail);
    status = tCAN_DEV_STATUS{};
    status.Chan[0].BusLoad = static_cast<double>(st.Chan0Load);
    status.Chan[0].Counter1 = st.Chan0Counter1;
    status.Chan[0].Counter2 = st.Chan0Counter2;
    status.Chan[0].Status = st.Chan0Status;
    status.Chan[1].BusLoad = static_cast<double>(st.Chan1Load);
    status.Chan[1].Counter1 = st.Chan1Counter1;
    status.Chan[1].Counter2 = st.Chan1Counter2;
    status.Chan[1].Status = st.Chan1Status;
    status.DevStatus = st.DevStatus;
    return 0;
}
