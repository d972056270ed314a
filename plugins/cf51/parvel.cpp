#include "plugins/cf51/parvel.h"

#include <algorithm>
#include <cstring>

#include "driver/vyk7k.h"

namespace {

// The module's driver object, shared by every device object of this module.
CVYK7K& Driver() {
    static CVYK7K driver;
    return driver;
}

// Read's staging array: Read runs on one thread at a time.
tVYK_CAN_MSG* Staging() {
    static tVYK_CAN_MSG stage[CCanDevice::kReadMaxFrames];
    return stage;
}

// The module's bus configuration: the constructor's defaults, channel 1's bit rate set by BusOpen.
tVYK_CAN_CONFIG& Config() {
    static tVYK_CAN_CONFIG config;
    return config;
}

uint8_t FrameFlags(const tCAN_RAW_MSG& msg) {
    return static_cast<uint8_t>((msg.Ext ? kVykFlagExt : 0) | (msg.Remote ? kVykFlagRemote : 0) |
                                (msg.Dir ? kVykFlagDir : 0));
}

// Built per call: Write and the cyclic operations run on several threads at once.
tVYK_CAN_CYCTX_MSG CycEntry(const tCAN_CYCTX_MSG& msg) {
    tVYK_CAN_CYCTX_MSG e;
    e.Id = msg.Msg.Id;
    std::memcpy(e.Data, msg.Msg.Data, sizeof(e.Data));
    e.Len = msg.Msg.Dlc;
    e.Flags = FrameFlags(msg.Msg);
    e.PeriodMs = msg.CycTxTime;
    e.Count = msg.CycTxCount;
    return e;
}

// The device tells its periodic entries apart by the identifier word: identifier, extended and remote.
uint64_t CycKey(const tCAN_CYCTX_MSG& msg) {
    return uint64_t{msg.Msg.Id} | (msg.Msg.Ext ? 1ull << 32 : 0) | (msg.Msg.Remote ? 1ull << 33 : 0);
}

VykLink Link() {
    tVYK_LINK_STATE st;
    Driver().GetLinkState(st);
    return {st.Losses, st.Recoveries, st.LastLossCode};
}

constexpr const char* kAddOk = "执行添加循环发送报文操作成功。报文ID:%08X";
constexpr const char* kAddFail = "执行添加循环发送报文操作失败，故障代码：%08X，报文ID:%08X";

uint32_t AddToDevice(const tCAN_CYCTX_MSG& msg) {
    return Driver().AddPeriodicTxMsg(CycEntry(msg));
}

}  // namespace

CCanDeviceVykCf51::CCanDeviceVykCf51() {
    m_ChanCount = 0;
    tVYK_CAN_CONFIG& c = Config();
    c = tVYK_CAN_CONFIG{};
    c.ClockSel = 0xA0;
    c.Timing0 = 11;
    c.Timing1 = 4;
    c.BitRateCode = 250;
    c.AccMask1 = 0xFFFFFFFFu;
    c.AccMask2 = 0xFFFFFFFFu;
}

CCanDeviceVykCf51::~CCanDeviceVykCf51() {
    // The driver must not signal this object's event once the object is gone.
    if (m_receiving) Driver().SetRcvEvent(nullptr);
}

uint32_t CCanDeviceVykCf51::DeviceOpen() {
    return ReportDeviceOpen(Driver().OpenVyk());
}

uint32_t CCanDeviceVykCf51::DeviceClose() {
    m_receiving = false;
    StopWatching();
    return ReportDeviceClose(Driver().CloseVYK());
}

uint32_t CCanDeviceVykCf51::BusOpen() {
    tVYK_CAN_CONFIG& c = Config();
    const tCAN_DEV_CHAN_CFG& chan = m_ChanCfg[1];
    c.BitRateCode = chan.BitRateCode;
    c.Timing0 = chan.BitRateCode != 0 ? 0 : chan.Timing0;
    c.Timing1 = chan.BitRateCode != 0 ? 0 : chan.Timing1;
    StartWatching(Link());
    return OpenBusWithRetries([&] { return Driver().OpenCANBus(c); },
                              [&] {
                                  const uint32_t rc = Driver().SetRcvEvent(&m_RcvEvent);
                                  m_receiving = rc == 0;
                                  return rc;
                              });
}

uint32_t CCanDeviceVykCf51::BusClose() {
    return CloseBusWithRetries(
        [&] {
            Driver().SetRcvEvent(nullptr);
            m_receiving = false;
            StopWatching();
        },
        [] { return Driver().CloseCANBus(); });
}

uint32_t CCanDeviceVykCf51::Write(const tCAN_RAW_MSG& msg) {
    tVYK_CAN_MSG rec;  // per call: Write runs on several threads at once
    rec.Id = msg.Id;
    rec.Flags = FrameFlags(msg);
    std::memset(rec.Data, 0, sizeof(rec.Data));
    std::memcpy(rec.Data, msg.Data, std::min<size_t>(msg.Dlc, sizeof(rec.Data)));
    rec.Len = msg.Dlc;
    return Driver().CAN_Write(rec) == 0 ? 0 : 1;
}

uint32_t CCanDeviceVykCf51::Read(tCAN_RAW_MSG* msgs, int32_t capacity, int32_t& count) {
    WatchLink(Link(), AddToDevice, kAddFail);
    return ReadFrames(msgs, capacity, count, [](tCAN_RAW_MSG* out, int32_t max, uint32_t& connection) {
        // Status and error records are passed over by the driver (it keeps their bus load): only an
        // empty ring or a later connection ends a read.
        tVYK_CAN_MSG* stage = Staging();
        const uint32_t n = Driver().CAN_ReadBlock(stage, static_cast<uint32_t>(max), &connection);
        for (uint32_t i = 0; i < n; ++i) {
            const tVYK_CAN_MSG& rec = stage[i];
            tCAN_RAW_MSG& m = out[i];
            m.Id = rec.Id;
            m.Dir = rec.Flags & kVykFlagDir ? 1 : 0;
            m.Remote = rec.Flags & kVykFlagRemote ? 1 : 0;
            m.Ext = rec.Flags & kVykFlagExt ? 1 : 0;
            m.Chan = 1;
            m.Dlc = rec.Len;
            const size_t len = std::min<size_t>(rec.Len, sizeof(m.Data));
            std::memcpy(m.Data, rec.Data, len);
            std::memset(m.Data + len, 0, sizeof(m.Data) - len);
            m.TimeMs = static_cast<double>(rec.TimeMs) + static_cast<double>(rec.TimeUs) / 1000.0;
        }
        return static_cast<int32_t>(n);
    });
}

uint32_t CCanDeviceVykCf51::AddCycTxMsg(const tCAN_CYCTX_MSG& msg) {
    return RunCyclic(
        CyclicOp::Add, msg, CycKey(msg), [&] { return AddToDevice(msg); }, kAddOk, kAddFail);
}

uint32_t CCanDeviceVykCf51::RmvCycTxMsg(const tCAN_CYCTX_MSG& msg) {
    return RunCyclic(
        CyclicOp::Remove, msg, CycKey(msg), [&] { return Driver().RemovePeriodicTxMsg(CycEntry(msg)); },
        "执行移除循环发送报文操作成功。报文ID:%08X",
        "执行移除循环发送报文操作失败。故障代码：%08X，报文ID:%08X");
}

uint32_t CCanDeviceVykCf51::UpdateCycTxMsgPeriod(const tCAN_CYCTX_MSG& msg) {
    return RunCyclic(
        CyclicOp::Period, msg, CycKey(msg), [&] { return Driver().UpdatePeriodicTxMsgPeriod(CycEntry(msg)); },
        "执行更新循环发送报文之周期操作成功。报文ID:%08X",
        "执行更新循环发送报文之周期操作失败。故障代码：%08X，报文ID:%08X");
}

uint32_t CCanDeviceVykCf51::UpdateCycTxMsgData(const tCAN_CYCTX_MSG& msg) {
    return RunCyclic(
        CyclicOp::Data, msg, CycKey(msg), [&] { return Driver().UpdatePeriodicTxMsgData(CycEntry(msg)); },
        "执行更新循环发送报文之数据操作成功。报文ID:%08X",
        "执行更新循环发送报文之数据操作失败，故障代码：%08X，报文ID:%08X");
}

uint32_t CCanDeviceVykCf51::GetBusStatus(tCAN_DEV_STATUS& status) {
    if (m_receiving) WatchLink(Link(), AddToDevice, kAddFail);
    status = tCAN_DEV_STATUS{};
    status.Chan[1].BusLoad = static_cast<double>(Driver().GetCanBusLoad());
    return 0;
}
