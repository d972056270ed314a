// The two-channel driver library stand-in over the emulated interface.
//
// Behaviour chosen where the plug-in leaves it to the library, after what such a library does:
// - Frames need no thread: the interface hands received frames to its buffer, and the receive event is
//   set as soon as the buffer stops being empty (the plug-in reads until kNxpNoFrame, so no frame waits
//   without a signal).
// - One thread per open interface (OpenVyk to CloseVYK) finds it again after a loss: a caller reads only
//   when the receive event says so, and nothing signals while the interface is away, so reopening cannot
//   wait for calls. The thread sleeps while the interface is there, looks for it every kNxpReopenMs while
//   it is lost, reopens it and its bus with the words last given to OpenCANBus, and sets the receive
//   event. The periodic list is the interface's and is gone with it.
// - Bus load: bits the interface counted in the last whole second over the channel's bit rate.
#include "platform/nxpdrv/vyk7m_nxp.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

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

constexpr auto kReopenPause = std::chrono::milliseconds(kNxpReopenMs);

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

    // The open link. Null when none is usable; rc says why. With `connection`, the link's connection number.
    Link Acquire(uint32_t& rc, uint32_t* connection = nullptr);
    void Lost(const Link& link);
    void Notify(const Link& link);
    // The first present interface, opened; null when none is there or it cannot be opened.
    static Link OpenFirst();
    // Under `lock`, with the link lost: opens the interface again and its bus as it was. True when done.
    bool Reopen();
    void Watch();  // the watcher thread
    // Starts the watcher unless it runs: false when it cannot start. Under `control`.
    bool StartWatcher();
    // Ends the watcher and waits for it. Under `control`, never under `lock` (the watcher takes it).
    void StopWatcher();

    std::mutex control;   // held by OpenVyk and CloseVYK, which start and end the watcher
    std::thread watcher;  // under `control`

    std::mutex lock;               // guards every member below
    std::condition_variable wake;  // the link was lost, or the watcher is to end
    bool stopWatching = false;
    Link link;
    uint32_t linkConnection = 0;  // reopenings counted when `link` was opened
    bool opened = false;          // OpenVyk succeeded and CloseVYK has not been called
    bool busOpen = false;         // OpenCANBus succeeded and CloseCANBus has not been called
    tVYK_CAN_CONFIG config;
    vex::AutoResetEvent* event = nullptr;
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
    if (connection) *connection = link ? linkConnection : linkState.Recoveries;
    if (!link) rc = opened ? kNxpDeviceLost : kNxpNotOpen;
    return link;
}

void CVYK7K::Impl::Lost(const Link& l) {
    {
        std::lock_guard<std::mutex> guard(lock);
        if (link != l) return;
        link.reset();
        ++linkState.Losses;
        linkState.LastLossCode = kNxpDeviceLost;
        if (event) event->Set();
    }
    wake.notify_all();
}

CVYK7K::Impl::Link CVYK7K::Impl::OpenFirst() {
    const auto paths = vex::emu::PresentTwoChannelInterfaces();
    if (paths.empty()) return nullptr;
    uint32_t err = 0;
    return vex::emu::OpenTwoChannelInterface(paths.front(), err);
}

bool CVYK7K::Impl::Reopen() {
    Link fresh = OpenFirst();
    if (!fresh) return false;
    if (busOpen) {
        const uint16_t words[4] = {config.Chan0Word, config.Chan0Timing, config.Chan1Word,
                                   config.Chan1Timing};
        if (fresh->OpenBus(words) != kOk) return false;  // gone again already: looked for again
    }
    Notify(fresh);
    link = fresh;
    linkConnection = ++linkState.Recoveries;
    if (event) event->Set();
    return true;
}

void CVYK7K::Impl::Watch() {
    pthread_setname_np(pthread_self(), "vyk7m-watch");
    std::unique_lock<std::mutex> guard(lock);
    while (!stopWatching) {
        if (link || !opened) {
            wake.wait(guard, [this] { return stopWatching || (opened && !link); });
        } else if (!Reopen()) {
            wake.wait_for(guard, kReopenPause, [this] { return stopWatching; });
        }
    }
}

bool CVYK7K::Impl::StartWatcher() {
    if (watcher.joinable()) return true;
    try {
        watcher = std::thread([this] { Watch(); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void CVYK7K::Impl::StopWatcher() {
    if (!watcher.joinable()) return;
    {
        std::lock_guard<std::mutex> guard(lock);
        stopWatching = true;
    }
    wake.notify_all();
    watcher.join();
    std::lock_guard<std::mutex> guard(lock);
    stopWatching = false;
}

CVYK7K::CVYK7K() : m_impl(std::make_unique<Impl>()) {}

CVYK7K::~CVYK7K() {
    CloseVYK();
}

uint32_t CVYK7K::OpenVyk() {
    std::lock_guard<std::mutex> control(m_impl->control);
    bool found = false;
    {
        std::lock_guard<std::mutex> guard(m_impl->lock);
        m_impl->link.reset();  // an open interface is closed before the next one is opened
        m_impl->opened = false;
        m_impl->busOpen = false;
        Impl::Link fresh = Impl::OpenFirst();
        found = fresh != nullptr;
        // A watcher of the interface open before goes on, serving this one.
        if (found && m_impl->StartWatcher()) {
            m_impl->Notify(fresh);
            m_impl->link = fresh;
            m_impl->linkConnection = m_impl->linkState.Recoveries;
            m_impl->opened = true;
            return kNxpOk;
        }
    }
    m_impl->StopWatcher();  // nothing open, nothing to watch
    return found ? kNxpFailed : kNxpNoDevice;
}

uint32_t CVYK7K::CloseVYK() {
    std::lock_guard<std::mutex> control(m_impl->control);
    m_impl->StopWatcher();  // first, so that it cannot reopen what is closed here
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
