#pragma once
// Inside CVYK7K: the rings, the device handle and the two threads.
//
// Locks: the receive lock and the transmit lock guard their rings and are held only for copies and counter
// changes; the port lock guards the handle pointer only (I/O runs on a shared copy, so closing never pulls
// the device out from under a transfer); the control lock serialises opening, closing and reconnection;
// the thread lock serialises starting and stopping the threads.
#include <array>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "driver/vyk7k.h"
#include "driver/vyk7k_wire.h"
#include "platform/deviceport/deviceport.h"

template <size_t N>
struct tVYK_RING {
    static constexpr uint16_t kSize = N;
    std::array<uint8_t, vyk7k::kRecordSize> Records[N];  // records as they travel on the pipe
    uint16_t Count = 0;
    uint16_t ReadIdx = 0;
    uint16_t WriteIdx = 0;
    void Zero() { Count = ReadIdx = WriteIdx = 0; }
};
using tCAN_RX_QUEUE = tVYK_RING<2048>;
using tCAN_TX_QUEUE = tVYK_RING<256>;

struct CVYK7K::Impl {
    using Port = std::shared_ptr<vex::devport::DevicePort>;

    Port CurrentPort();
    // Opens the first present interface (closing an open one first); kVykOk or kVykNoDevice. Both empty
    // the rings; a reconnection keeps what was received (`keepReceived`).
    uint32_t OpenDevice(bool keepReceived = false);
    uint32_t OpenBus(const tVYK_CAN_CONFIG& config, bool keepReceived = false);
    uint32_t Control(uint32_t code, const uint8_t* in, size_t inLength, uint8_t* out, size_t outCapacity,
                     size_t& returned);
    uint32_t Periodic(uint32_t code, const tVYK_CAN_CYCTX_MSG& msg, bool clearTail);
    void ZeroRings(bool received);
    uint32_t StartThreads();
    void StopThreads();
    // Waits up to ms, returning early when the thread is asked to stop.
    void Pause(const std::atomic<bool>& running, int ms);
    void ReadLoop();
    void WriteLoop();
    bool Reconnect();

    tCAN_RX_QUEUE rx;
    // Per receive slot: the connection its record came from (recoveries counted when it was read).
    // Non-decreasing from the read index on, since only the receive thread counts recoveries.
    uint32_t rxConnection[tCAN_RX_QUEUE::kSize] = {};
    tCAN_TX_QUEUE tx;
    std::mutex rxLock;
    std::mutex txLock;
    std::atomic<vex::AutoResetEvent*> rcvEvent{nullptr};
    vex::AutoResetEvent txPending;

    std::mutex threadLock;
    std::thread readThread;
    std::thread writeThread;
    std::atomic<bool> readRunning{false};
    std::atomic<bool> writeRunning{false};
    std::mutex pauseLock;
    std::condition_variable pauseCv;

    std::mutex portLock;
    Port port;
    std::mutex controlLock;
    tVYK_CAN_CONFIG keptConfig;  // the caller's last valid configuration, for reconnection
    bool haveConfig = false;
    std::atomic<uint32_t> bitRate{0};  // bit/s of the kept configuration, for the bus load
    std::atomic<float> busLoad{0.0f};
    std::atomic<bool> reconnectPending{false};
    std::atomic<uint32_t> losses{0};
    std::atomic<uint32_t> recoveries{0};
    std::atomic<uint32_t> lastLossCode{0};
    uint8_t readBuffer[4096];
    // CAN_ReadBlock's copy of a block of records, taken off the ring under one hold of the lock.
    static constexpr uint32_t kReadBlock = 256;
    uint8_t readBlock[kReadBlock][vyk7k::kRecordSize];
};
