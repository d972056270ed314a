// The two-channel driver library stand-in over the emulated interface.
//
// Behaviour chosen where the plug-in leaves it to the library, after what such a library does:
// - No threads of its own: the interface hands received frames to its buffer, and the receive event is
//   set as soon as the buffer stops being empty (the plug-in reads until kNxpNoFrame, so no frame waits
//   without a signal).
// - A lost interface is looked for again on the next calls, at most once per 100 ms, and its bus reopened
//   with the words last given to OpenCANBus; the periodic list is the interface's and is gone with it.
// - Bus load: bits the interface counted in the last whole second over the channel's bit rate.
#include "platform/nxpdrv/vyk7m_nxp.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>

#include "platform/deviceport/deviceport.h"
#include "platform/deviceport/twochannel.h"

namespace vyk7m_nxp {

using namespace vex::devport;
using vex::emu::Frame;
using vex::emu::PeriodicOp;
using vex::emu::TwoChannelFrame;
using vex::emu::TwoChannelLink;
using vex::emu::TwoChannelPeriodic;
using vex::emu::TwoChannelStatus;

namespace {

constexpr auto kRetryPause = std::chrono::milliseconds(100);

uint32_t FromSystem(uint32_t rc) {
    switch (rc) {
        case kOk:
            return kNxpOk;
        case kErrDeviceNotConnected:
            return kNxpDeviceLost;
        case kErrNotReady:
            return kNxpBusClosed;
        case kErrNotEnoughMemory:
            return kNxpListFull;
        case kErrNotFound:
            return kNxpNoEntry;
        case kErrInvalidParameter:
            return kNxpBadConfig;
        case kErrBusy:
            return kNxpTxBusy;
        default:
            return kNxpFailed;
    }
}

Frame FrameOf(uint32_t id, uint8_t info, uint8_t len, const uint8_t* data) {
    Frame f;
    f.ext = (id & kIdExt) != 0;
    f.id = id & 0x1FFFFFFFu;
    f.remote = (info & kInfoRemote) != 0;
    f.dlc = len & 0x0F;
    std::memcpy(f.data.data(), data, 8);
    return f;
}

void ToRecord(const TwoChannelFrame& f, tVYK_CAN_MSG& msg) {
    msg.Id = f.frame.id | (f.frame.ext ? kIdExt : 0);
    std::memcpy(msg.Data, f.frame.data.data(), 8);
    msg.Len = f.frame.dlc;
    msg.Info = static_cast<uint8_t>((f.chan & kInfoChanMask) | (f.frame.remote ? kInfoRemote : 0) |
                                    (f.tx ? kInfoDir : 0));
    msg.TimeHigh = static_cast<uint16_t>(f.timeUs >> 32);
    msg.TimeLow = static_cast<uint32_t>(f.timeUs);
}

}  // namespace

struct CVYK7K::Impl {
    using Link = std::shared_ptr<TwoChannelLink>;

    // The open link; after a loss, reopens it when due. Null when none is usable; rc says why. With
    // `connection`, the link's connection number.
    Link Acquire(uint32_t& rc, uint32_t* connection = nullptr);
    void Lost(const Link& link);
    void Notify(const Link& link);

    std::mutex lock;  // guards every member below
    Link link;
    uint32_t linkConnection = 0;  // reopenings counted when `link` was opened
    bool opened = false;          // OpenVyk succeeded and CloseVYK has not been called
    bool busOpen = false;         // OpenCANBus succeeded and CloseCANBus has not been called
    tVYK_CAN_CONFIG config;
    vex::AutoResetEvent* event = nullptr;
    std::chrono::steady_clock::time_point lastTry{};
    tVYK_LINK_STATE linkState;
    // CAN_ReadBlock's frames as the interface hands them over (one reader thread).
    static constexpr size_t kBlock = 256;
    TwoChannelFrame block[kBlock];
};

void CVYK7K::Impl::Notify(const Link& l) {
    vex::AutoResetEvent* ev = event;
    l->SetNotify(ev ? std::function<void()>([ev] { ev->Set(); }) : std::function<void()>());
}

CVYK7K::Impl::Link CVYK7K::Impl::Acquire(uint32_t& rc, uint32_t* connection) {
    std::lock_guard<std::mutex> guard(lock);
    if (connection) *connection = linkState.Recoveries;
    if (link) {
        if (connection) *connection = linkConnection;
        return link;
    }
    if (!opened) {
        rc = kNxpNotOpen;
        return nullptr;
    }
    rc = kNxpDeviceLost;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastTry < kRetryPause) return nullptr;
    lastTry = now;
    const auto paths = vex::emu::PresentTwoChannelInterfaces();
    if (paths.empty()) return nullptr;
    uint32_t err = 0;
    Link fresh = vex::emu::OpenTwoChannelInterface(paths.front(), err);
    if (!fresh) return nullptr;
    if (busOpen) {
        const uint16_t words[4] = {config.Chan0Word, config.Chan0Timing, config.Chan1Word,
                                   config.Chan1Timing};
        if (fresh->OpenBus(words) != kOk) return nullptr;
    }
    Notify(fresh);
    link = fresh;
    linkConnection = ++linkState.Recoveries;
    if (connection) *connection = linkConnection;
    if (event) event->Set();
    return link;
}

void CVYK7K::Impl::Lost(const Link& l) {
    std::lock_guard<std::mutex> guard(lock);
    if (link != l) return;
    link.reset();
    ++linkState.Losses;
    linkState.LastLossCode = kNxpDeviceLost;
    if (event) event->Set();
}

CVYK7K::CVYK7K() : m_impl(std::make_unique<Impl>()) {}

CVYK7K::~CVYK7K() {
    CloseVYK();
}

uint32_t CVYK7K::OpenVyk() {
    std::lock_guard<std::mutex> guard(m_impl->lock);
    m_impl->link.reset();  // an open interface is closed before the next one is opened
    m_impl->opened = false;
    m_impl->busOpen = false;
    const auto paths = vex::emu::PresentTwoChannelInterfaces();
    if (paths.empty()) return kNxpNoDevice;
    uint32_t err = 0;
    Impl::Link fresh = vex::emu::OpenTwoChannelInterface(paths.front(), err);
    if (!fresh) return kNxpNoDevice;
    m_impl->Notify(fresh);
    m_impl->link = fresh;
    m_impl->linkConnection = m_impl->linkState.Recoveries;
    m_impl->opened = true;
    return kNxpOk;
}

uint32_t CVYK7K::CloseVYK() {
    std::lock_guard<std::mutex> guard(m_impl->lock);
    const bool wasOpen = m_impl->opened;
    m_impl->link.reset();
    m_impl->opened = false;
    m_impl->busOpen = false;
    return wasOpen ? kNxpOk : kNxpNotOpen;
}

uint32_t CVYK7K::OpenCANBus(const tVYK_CAN_CONFIG& config) {
    uint32_t rc = kNxpOk;
    const Impl::Link l = m_impl->Acquire(rc);
    if (!l) return rc;
    const uint16_t words[4] = {config.Chan0Word, config.Chan0Timing, config.Chan1Word, config.Chan1Timing};
    rc = l->OpenBus(words);
    if (rc == kErrDeviceNotConnected) m_impl->Lost(l);
    if (rc != kOk) return FromSystem(rc);
    std::lock_guard<std::mutex> guard(m_impl->lock);
    m_impl->config = config;
    m_impl->busOpen = true;
    return kNxpOk;
}

uint32_t CVYK7K::CloseCANBus() {
    uint32_t rc = kNxpOk;
    const Impl::Link l = m_impl->Acquire(rc);
    if (!l) return rc;
    rc = l->CloseBus();
    if (rc == kErrDeviceNotConnected) m_impl->Lost(l);
    if (rc != kOk) return FromSystem(rc);
    std::lock_guard<std::mutex> guard(m_impl->lock);
    m_impl->busOpen = false;
    return kNxpOk;
}

uint32_t CVYK7K::SetRcvEvent(vex::AutoResetEvent* event) {
    std::lock_guard<std::mutex> guard(m_impl->lock);
    m_impl->event = event;
    if (m_impl->link) m_impl->Notify(m_impl->link);
    if (!event) return kNxpOk;
    return m_impl->opened ? kNxpOk : kNxpNotOpen;
}

uint32_t CVYK7K::CAN_Read(tVYK_CAN_MSG& msg) {
    uint32_t rc = kNxpOk;
    const Impl::Link l = m_impl->Acquire(rc);
    if (!l) return rc;
    TwoChannelFrame f;
    rc = l->Receive(f);
    if (rc == kErrNotFound) return kNxpNoFrame;
    if (rc == kErrDeviceNotConnected) m_impl->Lost(l);
    if (rc != kOk) return FromSystem(rc);
    ToRecord(f, msg);
    return kNxpOk;
}

uint32_t CVYK7K::CAN_ReadBlock(tVYK_CAN_MSG* out, uint32_t max, uint32_t& count, uint32_t* connection) {
    count = 0;
    uint32_t rc = kNxpOk;
    const Impl::Link l = m_impl->Acquire(rc, connection);
    if (!l) return rc;
    while (count < max) {
        const size_t want = std::min<size_t>(max - count, Impl::kBlock);
        size_t n = 0;
        rc = l->ReceiveMany(m_impl->block, want, n);
        if (rc == kErrDeviceNotConnected) m_impl->Lost(l);
        if (rc != kOk) return count > 0 ? kNxpOk : FromSystem(rc);
        for (size_t i = 0; i < n; ++i) ToRecord(m_impl->block[i], out[count++]);
        if (n < want) break;  // none left
    }
    return count > 0 ? kNxpOk : kNxpNoFrame;
}

uint32_t CVYK7K::CAN_Write(const tVYK_CAN_MSG& msg) {
    const uint8_t chan = msg.Info & kInfoChanMask;
    if (chan > 1) return kNxpBadChannel;
    uint32_t rc = kNxpOk;
    const Impl::Link l = m_impl->Acquire(rc);
    if (!l) return rc;
    rc = l->Transmit(chan, FrameOf(msg.Id, msg.Info, msg.Len, msg.Data));
    if (rc == kErrDeviceNotConnected) m_impl->Lost(l);
    return FromSystem(rc);
}

namespace {

uint32_t PeriodicCall(CVYK7K::Impl& impl, PeriodicOp op, const tVYK_CAN_CYCTX_MSG& msg) {
    TwoChannelPeriodic e;
    e.chan = msg.Info & kInfoChanMask;
    if (e.chan > 1) return kNxpBadChannel;
    e.frame = FrameOf(msg.Id, msg.Info, msg.Len, msg.Data);
    e.periodMs = msg.PeriodMs;
    e.count = msg.Count;
    uint32_t rc = kNxpOk;
    const CVYK7K::Impl::Link l = impl.Acquire(rc);
    if (!l) return rc;
    rc = l->Periodic(op, e);
    if (rc == kErrDeviceNotConnected) impl.Lost(l);
    return FromSystem(rc);
}

}  // namespace

uint32_t CVYK7K::AddPeriodicTxMsg(const tVYK_CAN_CYCTX_MSG& msg) {
    return PeriodicCall(*m_impl, PeriodicOp::Add, msg);
}

uint32_t CVYK7K::RemovePeriodicTxMsg(const tVYK_CAN_CYCTX_MSG& msg) {
    return PeriodicCall(*m_impl, PeriodicOp::Remove, msg);
}

uint32_t CVYK7K::UpdatePeriodicTxMsgData(const tVYK_CAN_CYCTX_MSG& msg) {
    return PeriodicCall(*m_impl, PeriodicOp::UpdateData, msg);
}

uint32_t CVYK7K::UpdatePeriodicTxMsgPeriod(const tVYK_CAN_CYCTX_MSG& msg) {
    return PeriodicCall(*m_impl, PeriodicOp::UpdatePeriod, msg);
}

uint32_t CVYK7K::GetCanStatus(tVYK_CAN_STATUS& status) {
    status = tVYK_CAN_STATUS{};
    uint32_t rc = kNxpOk;
    const Impl::Link l = m_impl->Acquire(rc);
    TwoChannelStatus st;
    if (l) {
        rc = l->Status(st);
        if (rc == kErrDeviceNotConnected) m_impl->Lost(l);
        rc = FromSystem(rc);
    }
    if (rc != kNxpOk) {
        status.DevStatus = rc;
        return rc;
    }
    const auto load = [](const TwoChannelStatus::Chan& c) {
        if (c.bitRate == 0) return 0.0f;
        return static_cast<float>(std::min(100.0, c.bitsLastSecond * 100.0 / c.bitRate));
    };
    status.DevStatus = st.device;
    status.Chan0Counter1 = st.chan[0].txErrors;
    status.Chan0Counter2 = st.chan[0].rxErrors;
    status.Chan0Status = st.chan[0].status;
    status.Chan0Load = load(st.chan[0]);
    status.Chan1Counter1 = st.chan[1].txErrors;
    status.Chan1Counter2 = st.chan[1].rxErrors;
    status.Chan1Status = st.chan[1].status;
    status.Chan1Load = load(st.chan[1]);
    return kNxpOk;
}

void CVYK7K::GetLinkState(tVYK_LINK_STATE& state) {
    std::lock_guard<std::mutex> guard(m_impl->lock);
    state = m_impl->linkState;
}

uint32_t CVYK7K::GetVYKInfo(tVYK_ID_INFO& info) {
    uint32_t rc = kNxpOk;
    if (!m_impl->Acquire(rc)) return rc;
    info = tVYK_ID_INFO{};
    std::memcpy(info.Name, "VYK NXP", 7);
    info.Serial = 0x00C5A002;
    info.Channels = 2;
    return kNxpOk;
}

void CVYK7K::GetDLLInfo(tVYK_DLL_INFO& info) {
    info = tVYK_DLL_INFO{};
    std::memcpy(info.Text1, "KTW", 3);
    std::memcpy(info.Text2, "1.0.0", 5);
    std::memcpy(info.Text3, "VYK7M_NXP", 9);
}

}  // namespace vyk7m_nxp
