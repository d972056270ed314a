#pragma once
// Helpers of the plug-in suites.
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "plugins/include/candevice.h"
#include "tests/deviceport/emutest.h"

// The device's reports taken out of its ring, each as "<severity>:<text>".
inline std::vector<std::string> Reports(CCanDevice& dev) {
    std::vector<std::string> out;
    tCAN_DEV_REPORT r;
    while (PopDevReport(dev.m_ReportRing, r)) out.emplace_back(std::to_string(r.Severity) + ":" + r.Text);
    return out;
}

// A receive thread as the program runs one: waits up to 50 ms on the device's receive event and reads up
// to `capacity` frames only when it was set (a pause of 5 ms after a read that did not fill the array), and
// keeps everything it read. Nothing else calls the device: no bus-status queries.
class RxThread {
public:
    explicit RxThread(CCanDevice& dev, int32_t capacity = 1024) : m_dev(dev), m_capacity(capacity) {
        m_thread = std::thread([this] { Run(); });
    }
    ~RxThread() { Stop(); }
    void Stop() {
        m_running = false;
        if (m_thread.joinable()) m_thread.join();
    }
    std::vector<tCAN_RAW_MSG> Frames() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_frames;
    }
    size_t Count() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_frames.size();
    }
    int32_t LargestRead() const { return m_largest; }

private:
    void Run() {
        std::vector<tCAN_RAW_MSG> buf(static_cast<size_t>(m_capacity) + 8);
        while (m_running) {
            if (!m_dev.m_RcvEvent.Wait(50)) continue;
            int32_t n = -1;
            m_dev.Read(buf.data(), m_capacity, n);
            if (n > m_largest) m_largest = n;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_frames.insert(m_frames.end(), buf.begin(), buf.begin() + n);
            }
            if (n < m_capacity) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    CCanDevice& m_dev;
    const int32_t m_capacity;
    std::atomic<bool> m_running{true};
    std::atomic<int32_t> m_largest{0};
    mutable std::mutex m_mutex;
    std::vector<tCAN_RAW_MSG> m_frames;
    std::thread m_thread;
};

// With the device online (baseline taken before): receives peer traffic on `segment` through a receive
// thread, goes offline, and checks that no thread of the device, its driver or the emulation is left.
inline void ExpectNoThreadAfterOffline(CCanDevice& dev, int segment, int baseline) {
    vex::emu::peer::AddPeriodic(segment, emutest::MakeFrame(1, false, {}), 1);
    {
        RxThread rx(dev);
        ASSERT_TRUE(emutest::WaitFor([&] { return rx.Count() > 10; }, 2000));
    }
    EXPECT_EQ(dev.BusClose(), 0u);
    EXPECT_EQ(dev.DeviceClose(), 0u);
    EXPECT_TRUE(emutest::WaitFor([&] { return emutest::ThreadCount() <= baseline; }, 2000))
        << emutest::ThreadCount() << " threads, " << baseline << " before";
}
