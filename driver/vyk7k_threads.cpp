// CVYK7K: the receive and transmit threads and the caller's side of the rings.
//
// Threads are stopped by clearing their running flag and joining them: every wait of theirs is bounded
// (pipe reads 50 ms, the transmit event 100 ms, pauses end early on a stop), so a stop takes at most one
// such wait. Nothing is dropped in the library: the receive thread only asks the device for as many records
// as the ring has room for, and the device keeps the rest until the caller has read.
//
// Starting the threads neither empties the rings nor pauses: the rings were emptied when the bus was
// opened, so what they hold was queued since with a success result and must still go out; and a thread is
// ready when it has been created, so a pause would only delay going online.
#include <pthread.h>

#include <algorithm>
#include <cstring>
#include <system_error>

#include "driver/vyk7k_impl.h"
#include "platform/sysutil.h"

using namespace vex::devport;

namespace {

constexpr uint32_t kReadTimeoutMs = 50;
constexpr uint32_t kWriteTimeoutMs = 1000;
constexpr uint32_t kTxWaitMs = 100;
constexpr int kReconnectPauseMs = 100;
constexpr size_t kMaxRecordsPerRead = 128;

bool DeviceLost(uint32_t rc) {
    return rc == kErrGenFailure || rc == kErrDeviceNotConnected || rc == kErrOperationAborted;
}

}  // namespace

void CVYK7K::Impl::Pause(const std::atomic<bool>& running, int ms) {
    std::unique_lock<std::mutex> lock(pauseLock);
    pauseCv.wait_for(lock, std::chrono::milliseconds(ms), [&] { return !running.load(); });
}

uint32_t CVYK7K::Impl::StartThreads() {
    std::lock_guard<std::mutex> lock(threadLock);
    try {
        if (!readThread.joinable()) {
            readRunning = true;  // set before the thread exists, so a stop right after the start is seen
            readThread = std::thread([this] { ReadLoop(); });
        }
        if (!writeThread.joinable()) {
            writeRunning = true;
            writeThread = std::thread([this] { WriteLoop(); });
        }
    } catch (const std::system_error&) {
        readRunning = readRunning.load() && readThread.joinable();
        writeRunning = false;
        return kVykFailed;
    }
    return kVykOk;
}

void CVYK7K::Impl::StopThreads() {
    std::lock_guard<std::mutex> lock(threadLock);
    {
        std::lock_guard<std::mutex> pause(pauseLock);
        readRunning = false;
        writeRunning = false;
    }
    pauseCv.notify_all();
    txPending.Set();
    if (readThread.joinable()) readThread.join();
    if (writeThread.joinable()) writeThread.join();
}

bool CVYK7K::Impl::Reconnect() {
    std::lock_guard<std::mutex> lock(controlLock);
    if (!reconnectPending) return true;  // the caller reopened or closed the device meanwhile
    if (!CurrentPort() && OpenDevice(true) != kVykOk) return false;
    if (!haveConfig || OpenBus(keptConfig, true) != kVykOk) return false;
    reconnectPending = false;  // only once device and bus are open again
    ++recoveries;
    if (vex::AutoResetEvent* ev = rcvEvent.load()) ev->Set();  // the caller learns of it at its next read
    return true;
}

void CVYK7K::Impl::ReadLoop() {
    pthread_setname_np(pthread_self(), "vyk7k-read");
    vex::RaiseThreadPriorityBestEffort();
    while (readRunning) {
        if (reconnectPending && !Reconnect()) {
            Pause(readRunning, kReconnectPauseMs);
            continue;
        }
        const Port p = CurrentPort();
        if (!p) {
            Pause(readRunning, 10);
            continue;
        }
        size_t room;
        {
            std::lock_guard<std::mutex> lock(rxLock);
            room = std::min<size_t>(tCAN_RX_QUEUE::kSize - rx.Count, kMaxRecordsPerRead);
        }
        if (room == 0) {
            Pause(readRunning, 1);
            continue;
        }
        size_t bytes = 0;
        const uint32_t rc = p->ReadPipe(readBuffer, room * vyk7k::kRecordSize, kReadTimeoutMs, bytes);
        if (rc == kOk) {
            const size_t n = std::min(bytes / vyk7k::kRecordSize, room);  // a short tail is no record
            if (n == 0) continue;
            const uint32_t connection = recoveries.load();  // counted on this thread only
            {
                std::lock_guard<std::mutex> lock(rxLock);
                for (size_t i = 0; i < n && rx.Count < tCAN_RX_QUEUE::kSize; ++i) {
                    std::memcpy(rx.Records[rx.WriteIdx].data(), readBuffer + i * vyk7k::kRecordSize,
                                vyk7k::kRecordSize);
                    rxConnection[rx.WriteIdx] = connection;
                    rx.WriteIdx = static_cast<uint16_t>((rx.WriteIdx + 1) % tCAN_RX_QUEUE::kSize);
                    ++rx.Count;
                }
            }
            if (vex::AutoResetEvent* ev = rcvEvent.load()) ev->Set();
            continue;
        }
        if (rc == kErrTimeout) continue;
        if (DeviceLost(rc)) {
            p->CancelIo();
            bool lost = false;
            {
                std::lock_guard<std::mutex> lock(portLock);
                if (port == p) {
                    port.reset();
                    reconnectPending = true;
                    lastLossCode = rc;
                    ++losses;
                    lost = true;
                }
            }
            if (vex::AutoResetEvent* ev = rcvEvent.load(); ev && lost) ev->Set();
        }
        Pause(readRunning, 10);
    }
}

void CVYK7K::Impl::WriteLoop() {
    pthread_setname_np(pthread_self(), "vyk7k-write");
    vex::RaiseThreadPriorityBestEffort();
    uint8_t out[2 * vyk7k::kRecordSize];
    while (writeRunning) {
        const Port p = CurrentPort();
        if (!p) {
            Pause(writeRunning, 100);
            continue;
        }
        size_t n = 0;
        {
            std::lock_guard<std::mutex> lock(txLock);
            while (n < 2 && tx.Count > 0) {
                std::memcpy(out + n * vyk7k::kRecordSize, tx.Records[tx.ReadIdx].data(), vyk7k::kRecordSize);
                tx.ReadIdx = static_cast<uint16_t>((tx.ReadIdx + 1) % tCAN_TX_QUEUE::kSize);
                --tx.Count;
                ++n;
            }
        }
        if (n == 0) {
            txPending.Wait(kTxWaitMs);
            continue;
        }
        // A device without room takes nothing of the transfer, as a pending write waits: the records are
        // offered again until it takes them, so the ring fills and CAN_Write refuses instead of anything
        // being dropped. Any other failure drops them; a lost device is noticed by the receive thread.
        uint32_t rc;
        while ((rc = p->WritePipe(out, n * vyk7k::kRecordSize, kWriteTimeoutMs)) == kErrBusy &&
               writeRunning) {
            Pause(writeRunning, 1);
        }
        if (rc != kOk) Pause(writeRunning, 1);
    }
}

uint32_t CVYK7K::SetRcvEvent(vex::AutoResetEvent* event) {
    if (!event) {
        m_impl->StopThreads();
        return kVykOk;
    }
    if (!m_impl->CurrentPort()) return kVykNotOpen;
    m_impl->rcvEvent = event;
    return m_impl->StartThreads();
}

uint32_t CVYK7K::CAN_Write(const tVYK_CAN_MSG& msg) {
    // A lost device's frames would wait for a reconnection that empties the ring: refused, not queued.
    if (m_impl->reconnectPending || !m_impl->CurrentPort()) return kVykNotOpen;
    uint8_t record[vyk7k::kRecordSize];
    vyk7k::EncodeTxRecord(msg, record);
    {
        // Room check and store under one hold: concurrent writers never overfill the ring.
        std::lock_guard<std::mutex> lock(m_impl->txLock);
        tCAN_TX_QUEUE& tx = m_impl->tx;
        if (tx.Count >= tCAN_TX_QUEUE::kSize) return kVykTxFull;
        std::memcpy(tx.Records[tx.WriteIdx].data(), record, sizeof(record));
        tx.WriteIdx = static_cast<uint16_t>((tx.WriteIdx + 1) % tCAN_TX_QUEUE::kSize);
        ++tx.Count;
    }
    m_impl->txPending.Set();
    return kVykOk;
}

uint32_t CVYK7K::CAN_ReadBlock(tVYK_CAN_MSG* out, uint32_t max, uint32_t* connection) {
    Impl& d = *m_impl;
    uint32_t stored = 0;
    bool haveConnection = false;
    uint32_t blockConnection = d.recoveries.load();
    bool laterWaits = false;
    while (stored < max && !laterWaits) {
        uint32_t taken = 0;
        {
            std::lock_guard<std::mutex> lock(d.rxLock);
            tCAN_RX_QUEUE& rx = d.rx;
            taken = std::min<uint32_t>({max - stored, Impl::kReadBlock, rx.Count});
            const auto connectionAt = [&](uint32_t i) {
                return d.rxConnection[(rx.ReadIdx + i) % tCAN_RX_QUEUE::kSize];
            };
            if (taken > 0) {
                if (!haveConnection) {
                    blockConnection = connectionAt(0);
                    haveConnection = true;
                }
                // Connections only grow along the ring: the run of this call's connection ends at the
                // first slot of another, and checking the last slot taken settles the usual case at once.
                if (connectionAt(taken - 1) != blockConnection) {
                    uint32_t run = 0;
                    while (run < taken && connectionAt(run) == blockConnection) ++run;
                    taken = run;
                    laterWaits = true;
                }
            }
            // At most two runs: up to the end of the array, then from its start.
            const uint32_t first = std::min<uint32_t>(taken, tCAN_RX_QUEUE::kSize - rx.ReadIdx);
            std::memcpy(d.readBlock, rx.Records[rx.ReadIdx].data(), first * vyk7k::kRecordSize);
            if (taken > first) {
                std::memcpy(d.readBlock[first], rx.Records[0].data(), (taken - first) * vyk7k::kRecordSize);
            }
            rx.ReadIdx = static_cast<uint16_t>((rx.ReadIdx + taken) % tCAN_RX_QUEUE::kSize);
            rx.Count = static_cast<uint16_t>(rx.Count - taken);
        }
        if (taken == 0) break;
        // The bus load ends as the block's last frame, status or error record leaves it (as CAN_Read would
        // record by record). Records are decoded into the caller's next slot; only frames keep theirs.
        enum class Load { Unchanged, Bits, Cleared } load = Load::Unchanged;
        uint32_t bits = 0;
        for (uint32_t i = 0; i < taken; ++i) {
            tVYK_CAN_MSG& m = out[stored];
            vyk7k::DecodeRxRecord(d.readBlock[i], m);
            if ((m.Flags & (kVykFlagStatus | kVykFlagStatus2)) == 0 && (m.Flags & kVykFlagError)) {
                load = Load::Cleared;
                continue;
            }
            load = Load::Bits;
            bits = m.BusBits;
            if ((m.Flags & (kVykFlagStatus | kVykFlagStatus2)) == 0) ++stored;
        }
        const uint32_t rate = d.bitRate.load();
        if (load == Load::Cleared) {
            d.busLoad = 0.0f;
        } else if (load == Load::Bits && rate != 0) {
            d.busLoad = vyk7k::BusLoad(bits, rate);
        }
    }
    if (laterWaits) {
        if (vex::AutoResetEvent* ev = d.rcvEvent.load()) ev->Set();
    }
    if (connection) *connection = blockConnection;
    return stored;
}

uint32_t CVYK7K::CAN_Read(tVYK_CAN_MSG& msg) {
    uint8_t record[vyk7k::kRecordSize];
    {
        std::lock_guard<std::mutex> lock(m_impl->rxLock);
        tCAN_RX_QUEUE& rx = m_impl->rx;
        if (rx.Count == 0) return kVykRxEmpty;
        std::memcpy(record, rx.Records[rx.ReadIdx].data(), sizeof(record));
        rx.ReadIdx = static_cast<uint16_t>((rx.ReadIdx + 1) % tCAN_RX_QUEUE::kSize);
        --rx.Count;
    }
    vyk7k::DecodeRxRecord(record, msg);
    const uint32_t rate = m_impl->bitRate.load();
    const auto updateLoad = [&] {
        if (rate != 0) m_impl->busLoad = vyk7k::BusLoad(msg.BusBits, rate);
    };
    if (msg.Flags & kVykFlagStatus) {
        updateLoad();
        return vyk7k::StatusRecordCode(msg.CtrlStatus, false);
    }
    if (msg.Flags & kVykFlagStatus2) {
        updateLoad();
        return vyk7k::StatusRecordCode(msg.CtrlStatus, true);
    }
    if (msg.Flags & kVykFlagError) {
        m_impl->busLoad = 0.0f;
        return kVykErrorRecord;
    }
    updateLoad();
    return kVykOk;
}
