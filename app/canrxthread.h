#pragma once
// CCanRxThread: the receive-thread record. Start opens a device and its bus and starts a thread that
// waits on the device's receive event (at most 50 ms at a time), reads up to 1024 frames at once, pushes
// the block into the data hub's frame queue (one lock per block) and then hands its frames, in order, to
// the active extension service; after a block short of 1024 it lets frames gather for 5 ms before the next
// read. Stop ends the thread (joined) and closes bus and device.
//
// Start and Stop run on one thread (the GUI thread). The accessors may be read from any thread: every
// field shared with the receive thread is atomic.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

#include "app/externservice.h"
#include "plugins/include/candevice.h"

class CCanMsgDataHub;

class CCanRxThread {
public:
    enum class StartResult {
        Ok,
        Refused,           // no hub, no device, or the thread still exists
        DeviceOpenFailed,  // nothing was closed
        BusOpenFailed,     // the device was closed again
        ThreadFailed,      // bus and device were closed again
    };

    CCanRxThread() = default;
    ~CCanRxThread();  // Stop
    CCanRxThread(const CCanRxThread&) = delete;
    CCanRxThread& operator=(const CCanRxThread&) = delete;

    StartResult Start(CCanDevice* device);
    // Running flag cleared, thread joined (it sees the flag within about 50 ms and first takes what the
    // device has received), then BusClose and DeviceClose of the current device; device null. Harmless
    // when nothing runs.
    void Stop();

    // Where received frames are queued; null: they are not queued.
    void SetHub(CCanMsgDataHub* hub) { m_Hub.store(hub); }
    CCanMsgDataHub* Hub() const { return m_Hub.load(); }
    // The device listening runs on, set once Start has succeeded and null after Stop. Senders read it
    // anew every time they send.
    CCanDevice* CurDevice() const { return m_Device.load(); }
    // The running flag: set while the bus is open and the receive thread runs. This is the online flag
    // that senders look at before sending.
    bool IsRunning() const { return m_Running.load(); }

    // Makes a service the active one (null: none). Once it returns, the previous service's OnRxMsg is
    // neither running nor called again, so its owner may close it.
    void SetActiveService(CExternService* service);
    CExternService* ActiveService() const { return m_ActiveService.load(); }

private:
    void loop(CCanDevice* device);
    void deliverToService(const tCAN_RAW_MSG* msgs, int32_t count);

    std::atomic<CCanMsgDataHub*> m_Hub{nullptr};
    std::atomic<CCanDevice*> m_Device{nullptr};
    std::atomic<CExternService*> m_ActiveService{nullptr};
    std::atomic<bool> m_Running{false};
    std::thread m_Thread;
    // Held by the receive thread around each block's OnRxMsg calls and by SetActiveService; never across
    // Read.
    std::mutex m_ServiceCall;
};
