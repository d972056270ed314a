#pragma once
// The worker of a log tool (conversion, signal export, measurement file to CSV): one run on a thread of its
// own, stopped through a flag, its progress published in atomics that the GUI reads on a timer, its end
// handed to a callback. Nothing of a job blocks on the GUI thread, so a dialog may stop and join it at any
// time.
//
// A derived job must call Finish() at the start of its destructor, before its own members go.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

// i / count in hundredths of a percent (0..10000), without overflow for any count; 0 for a count of 0.
inline uint32_t ToolProgress(uint64_t index, uint64_t count) {
    return count == 0 ? 0 : static_cast<uint32_t>(std::min<uint64_t>(index, count) * 10000 / count);
}

// A computed time or span as a field shows it: rounded to `decimals` decimals, trailing zeros and a bare
// point dropped ("20450.508", "3"), so that no binary rounding residue ("20450.508000000147") is shown.
std::string ToolTimeText(double value, int decimals);

class CLogToolJob {
public:
    // What the job is doing; the dialogs show a status text for each.
    enum class Phase : uint8_t {
        Idle,     // not started
        Started,  // the inputs are open, nothing processed yet
        Running,  // processing records (Index of Count)
        Saving,   // every record processed, the result being written
        Done,     // ended successfully
        Failed,   // ended with Error(), or stopped
    };

    CLogToolJob() = default;
    virtual ~CLogToolJob();
    CLogToolJob(const CLogToolJob&) = delete;
    CLogToolJob& operator=(const CLogToolJob&) = delete;

    // Starts the run once; `ended` runs on the worker as its last act (not after Finish returned).
    void Start(std::function<void()> ended = {});
    // Asks the run to stop; it ends soon after, failed. May come before Start.
    void Stop() { m_Stop.store(true); }
    bool StopRequested() const { return m_Stop.load(); }
    // The flag Stop sets, for readers that look at it while they work (CCanMsgFile::SetStopFlag).
    const std::atomic<bool>& StopFlag() const { return m_Stop; }
    // Stops the run and waits for its end.
    void Finish();
    // Waits for the end of the run (without stopping it).
    void Join();

    Phase phase() const { return m_Phase.load(std::memory_order_acquire); }
    bool Ended() const { return phase() == Phase::Done || phase() == Phase::Failed; }
    bool Succeeded() const { return phase() == Phase::Done; }
    uint32_t Index() const { return m_Index.load(std::memory_order_relaxed); }
    uint32_t Count() const { return m_Count.load(std::memory_order_relaxed); }
    // Hundredths of a percent, rising monotonically to 10000.
    uint32_t Progress() const { return m_Progress.load(std::memory_order_relaxed); }
    // Why the run failed; empty for a stop or a success. Valid once Ended().
    const std::string& Error() const { return m_Error; }

protected:
    // The work; true on success. Failing: set the reason with fail() and return false.
    virtual bool Run() = 0;

    void setPhase(Phase phase) { m_Phase.store(phase, std::memory_order_release); }
    void setCount(uint32_t count) { m_Count.store(count, std::memory_order_relaxed); }
    // Publishes the records done and the progress they make.
    void setIndex(uint64_t index, uint64_t of);
    bool fail(std::string reason);

private:
    std::atomic<bool> m_Stop{false};
    std::atomic<Phase> m_Phase{Phase::Idle};
    std::atomic<uint32_t> m_Index{0};
    std::atomic<uint32_t> m_Count{0};
    std::atomic<uint32_t> m_Progress{0};
    std::string m_Error;
    std::thread m_Thread;
};
