// CVYK7K: opening and closing the interface and its bus, the periodic-transmit list, identity.
#include <cstring>

#include "driver/vyk7k_impl.h"

using namespace vex::devport;

CVYK7K::CVYK7K() : m_impl(std::make_unique<Impl>()) {}

CVYK7K::~CVYK7K() {
    m_impl->StopThreads();
    std::lock_guard<std::mutex> lock(m_impl->portLock);
    m_impl->port.reset();
}

CVYK7K::Impl::Port CVYK7K::Impl::CurrentPort() {
    std::lock_guard<std::mutex> lock(portLock);
    return port;
}

tVYK_CAN_CYCTX_MSG& tVYK_CAN_CYCTX_MSG::operator=(const tVYK_CAN_CYCTX_MSG& other) {
    Id = other.Id;
    std::memcpy(Data, other.Data, sizeof(Data));
    Len = other.Len;
    Reserved13 = other.Reserved13;
    Flags = other.Flags;
    PeriodMs = other.PeriodMs;
    Count = other.Count;
    Reserved22 = 0;
    Reserved24 = 0;
    return *this;
}

void CVYK7K::Impl::ZeroRings(bool received) {
    if (received) {
        std::lock_guard<std::mutex> lock(rxLock);
        rx.Zero();
    }
    std::lock_guard<std::mutex> lock(txLock);
    tx.Zero();
}

uint32_t CVYK7K::Impl::OpenDevice(bool keepReceived) {
    {
        std::lock_guard<std::mutex> lock(portLock);
        port.reset();  // an open device is closed before the next one is opened
    }
    ZeroRings(!keepReceived);
    const std::vector<std::string> paths = PresentDevices(kCf51InterfaceClass);
    if (paths.empty()) return kVykNoDevice;
    uint32_t error = kOk;
    Port opened = vex::devport::OpenDevice(paths.front(), error);
    if (!opened) return kVykNoDevice;
    std::lock_guard<std::mutex> lock(portLock);
    port = std::move(opened);
    return kVykOk;
}

uint32_t CVYK7K::Impl::Control(uint32_t code, const uint8_t* in, size_t inLength, uint8_t* out,
                               size_t outCapacity, size_t& returned) {
    returned = 0;
    const Port p = CurrentPort();
    if (!p) return kVykNotOpen;
    return p->Control(code, in, inLength, out, outCapacity, returned);
}

uint32_t CVYK7K::Impl::OpenBus(const tVYK_CAN_CONFIG& config, bool keepReceived) {
    // A reconnection keeps the frames received before the loss that the caller has not read yet: they are
    // the last ones before the gap, and dropping them would lose data without a word.
    ZeroRings(!keepReceived);
    busLoad = 0.0f;
    uint8_t record[24];
    const bool known = vyk7k::BuildOpenBusRecord(config, record);
    if (known) {
        // Kept as the caller gave it (custom timing stays custom), the bit rate apart: reconnection
        // reopens the bus exactly as it was asked for, and the bus load uses the real rate.
        keptConfig = config;
        haveConfig = true;
        bitRate = vyk7k::ConfigBitRate(config);
    }
    if (!CurrentPort()) return kVykNotOpen;
    if (!known) return kVykBadBitRate;
    uint8_t reply[16] = {};
    size_t returned = 0;
    const uint32_t rc = Control(vyk7k::kCtlOpenBus, record, sizeof(record), reply, sizeof(reply), returned);
    if (rc != kOk) return rc;
    return returned == 16 && reply[0] == 0x42 && reply[1] == 2 ? kVykOk : kVykBadReply;
}

uint32_t CVYK7K::Impl::Periodic(uint32_t code, const tVYK_CAN_CYCTX_MSG& msg, bool clearTail) {
    uint8_t entry[28];
    vyk7k::EncodeCycTxEntry(msg, clearTail, entry);
    uint8_t reply[128];
    size_t returned = 0;
    return Control(code, entry, sizeof(entry), reply, sizeof(reply), returned);
}

uint32_t CVYK7K::OpenVyk() {
    std::lock_guard<std::mutex> lock(m_impl->controlLock);
    m_impl->reconnectPending = false;
    return m_impl->OpenDevice();
}

uint32_t CVYK7K::CloseVYK() {
    m_impl->StopThreads();
    std::lock_guard<std::mutex> control(m_impl->controlLock);
    m_impl->reconnectPending = false;
    std::lock_guard<std::mutex> lock(m_impl->portLock);
    if (!m_impl->port) return kVykFailed;
    m_impl->port.reset();
    return kVykOk;
}

uint32_t CVYK7K::OpenCANBus(const tVYK_CAN_CONFIG& config) {
    std::lock_guard<std::mutex> lock(m_impl->controlLock);
    return m_impl->OpenBus(config);
}

uint32_t CVYK7K::CloseCANBus() {
    std::lock_guard<std::mutex> lock(m_impl->controlLock);
    uint8_t reply[2] = {};
    size_t returned = 0;
    const uint32_t rc = m_impl->Control(vyk7k::kCtlCloseBus, nullptr, 0, reply, sizeof(reply), returned);
    if (rc != kOk) return rc;
    if (returned != 2 || reply[0] != 0x47 || reply[1] != 7) return kVykBadReply;
    m_impl->busLoad = 0.0f;
    return kVykOk;
}

uint32_t CVYK7K::AddPeriodicTxMsg(const tVYK_CAN_CYCTX_MSG& msg) {
    return m_impl->Periodic(vyk7k::kCtlAddPeriodic, msg, true);
}

uint32_t CVYK7K::RemovePeriodicTxMsg(const tVYK_CAN_CYCTX_MSG& msg) {
    return m_impl->Periodic(vyk7k::kCtlRemovePeriodic, msg, false);
}

uint32_t CVYK7K::UpdatePeriodicTxMsgData(const tVYK_CAN_CYCTX_MSG& msg) {
    return m_impl->Periodic(vyk7k::kCtlUpdatePeriodicData, msg, true);
}

uint32_t CVYK7K::UpdatePeriodicTxMsgPeriod(const tVYK_CAN_CYCTX_MSG& msg) {
    return m_impl->Periodic(vyk7k::kCtlUpdatePeriodicPeriod, msg, true);
}

float CVYK7K::GetCanBusLoad() const {
    return m_impl->busLoad.load();
}

void CVYK7K::GetLinkState(tVYK_LINK_STATE& state) const {
    state.LastLossCode = m_impl->lastLossCode.load();
    state.Recoveries = m_impl->recoveries.load();
    state.Losses = m_impl->losses.load();
}

uint32_t CVYK7K::GetVYKInfo(tVYK_ID_INFO& info) {
    uint8_t reply[48] = {};
    size_t returned = 0;
    const uint32_t rc = m_impl->Control(vyk7k::kCtlIdentity, nullptr, 0, reply, sizeof(reply), returned);
    if (rc != kOk) return rc;
    std::memcpy(&info, reply, sizeof(info));  // the bytes exactly as the device returned them
    return kVykOk;
}

void CVYK7K::GetDLLInfo(tVYK_DLL_INFO& info) {
    info = tVYK_DLL_INFO{};
    std::memcpy(info.Text1, "KTW", 3);
    std::memcpy(info.Text2, "11.10.14", 8);
    std::memcpy(info.Text3, "DLL_Vexar", 9);
}
