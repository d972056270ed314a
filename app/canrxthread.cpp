#include "app/canrxthread.h"

#include <pthread.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <system_error>

#include "app/canmsgdatahub.h"
#include "platform/sysutil.h"

namespace {
constexpr uint32_t kWaitMs = 50;
// After a block that did not fill the array the device had no more: what arrives meanwhile is read as one
// block after this pause instead of waking the thread for every few frames, since a wake-up costs as much
// as hundreds of frames. Half the main frame's 10 ms tick: every tick still finds the frames of the last
// one queued. The frames wait in the device's buffers, which hold far more than a pause's worth.
constexpr auto kGather = std::chrono::milliseconds(5);
}  // namespace

CCanRxThread::~CCanRxThread() {
    Stop();
}

CCanRxThread::StartResult CCanRxThread::Start(CCanDevice* device) {
    if (m_Hub.load() == nullptr || device == nullptr || m_Thread.joinable()) return StartResult::Refused;
    if (device->DeviceOpen() != 0) return StartResult::DeviceOpenFailed;
    if (device->BusOpen() != 0) {
        device->DeviceClose();
        return StartResult::BusOpenFailed;
    }
    m_Running = true;
    try {
        m_Thread = std::thread([this, device] { loop(device); });
    } catch (const std::system_error&) {
        m_Running = false;
        device->BusClose();
        device->DeviceClose();
        return StartResult::ThreadFailed;
    }
    m_Device = device;
    return StartResult::Ok;
}

void CCanRxThread::Stop() {
    m_Running = false;
    if (m_Thread.joinable()) m_Thread.join();
    if (CCanDevice* device = m_Device.exchange(nullptr)) {
        device->BusClose();
        device->DeviceClose();
    }
}

void CCanRxThread::SetActiveService(CExternService* service) {
    std::lock_guard<std::mutex> lock(m_ServiceCall);
    m_ActiveService = service;
}

void CCanRxThread::deliverToService(const tCAN_RAW_MSG* msgs, int32_t count) {
    if (m_ActiveService.load() == nullptr) return;
    std::lock_guard<std::mutex> lock(m_ServiceCall);
    CExternService* service = m_ActiveService.load();
    if (service == nullptr) return;
    for (int32_t i = 0; i < count; ++i) service->OnRxMsg(&msgs[i]);
}

void CCanRxThread::loop(CCanDevice* device) {
    pthread_setname_np(pthread_self(), "vex-rx");
    // Above normal where the system allows it; the loop works the same without.
    vex::RaiseThreadPriorityBestEffort();
    std::array<tCAN_RAW_MSG, CCanDevice::kReadMaxFrames> frames{};
    // One block: read, queued first, then the service sees it; both pointers read afresh per block. True
    // when the array came back full (more may wait).
    const auto readBlock = [&] {
        int32_t count = 0;
        device->Read(frames.data(), static_cast<int32_t>(frames.size()), count);
        count = std::clamp<int32_t>(count, 0, static_cast<int32_t>(frames.size()));
        if (count == 0) return false;
        if (CCanMsgDataHub* hub = m_Hub.load())
            hub->Queue().PushMany(frames.data(), static_cast<uint32_t>(count));
        deliverToService(frames.data(), count);
        return count == static_cast<int32_t>(frames.size());
    };
    while (m_Running.load()) {
        if (!device->m_RcvEvent.Wait(kWaitMs)) continue;
        if (!readBlock()) std::this_thread::sleep_for(kGather);
    }
    // Going offline: what the device received until now is still taken, not left behind with the bus (at
    // most a device buffer's worth, so traffic that goes on cannot hold the stop up).
    for (int blocks = 0; blocks < 64 && readBlock(); ++blocks) {
    }
}
