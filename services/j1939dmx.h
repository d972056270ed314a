#pragma once
// CExtSerCanJ1939DMx: the J1939 DMx service. Its receive hook collects, per node, the last DM1/DM2 message
// of each kind from single frames and BAM transfers; its transmit thread sends one configured DMx message
// once a second, as a single frame or as a BAM with 50 ms between packets.
//
// The node map is shared by the receive thread, the dialog and ClearNodes under one lock. StartTx and
// StopTx are called on one thread (the GUI thread); the transmit thread is joined by StopTx, by a new
// StartTx and by the destructor, so at most one runs.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "app/externservice.h"
#include "platform/clock.h"
#include "services/j1939dmxdata.h"

class CCanMsgSender;

class CExtSerCanJ1939DMx final : public CExternService {
public:
    // The busy wait between the packets of a BAM (the application object's WaitMs in the program).
    using WaitFn = void (*)(uint32_t ms);
    // Told of refused BAM announcements (on the receive thread, and on the caller's thread by
    // EndRefusalReports); must not block.
    using Reporter = std::function<void(const std::string& text)>;
    // Nodes named one by one in the summary of EndRefusalReports; the rest are counted together.
    static constexpr size_t kSummaryNodes = 20;

    // Fills the program-wide DMx table. `clock` is the time base of the once-a-second rhythm.
    explicit CExtSerCanJ1939DMx(const CCanMsgSender& sender, const vex::Clock& clock = vex::SystemClock());
    ~CExtSerCanJ1939DMx();  // StopTx
    CExtSerCanJ1939DMx(const CExtSerCanJ1939DMx&) = delete;
    CExtSerCanJ1939DMx& operator=(const CExtSerCanJ1939DMx&) = delete;

    void OnRxMsg(const tCAN_RAW_MSG* msg) override;

    // Empties `out`, then copies every node into it; true.
    bool GetNodeMap(J1939DmxNodeMap& out) const;
    void ClearNodes();
    // The DMx table the service decodes with (the dialog fills its type list from it).
    const J1939DmxTable& DmxTable() const { return m_table; }

    // False while sending, while the program is not online, or for a record that does not fit the buffer
    // (more than 1024 bytes or 255 packets). Otherwise takes a copy and starts the transmit thread.
    bool StartTx(const tEXT_J1939DMX_TX_DATA& tx);
    // Clears the sending flag and joins the thread: it ends within one packet gap (50 ms).
    void StopTx();
    bool IsSending() const { return m_sending.load(); }

    void SetWaitMs(WaitFn wait) { m_waitMs = wait; }
    void SetReporter(Reporter reporter) { m_reporter = std::move(reporter); }

    // Refused transfers (a BAM announcing more than the 1024-byte buffer) are reported at most once per node
    // while the service runs, so a node that keeps announcing them cannot flood the info window: a node's
    // first refusal at once, every later one only counted. StartRefusalReports begins a running of the
    // service (its window opens): no node reported, nothing counted. EndRefusalReports ends it (the window
    // closes): one line names the nodes refused more than once with their counts, when there are any, and
    // refusals are neither reported nor counted until the next start. A service built anew reports as if
    // started.
    void StartRefusalReports();
    void EndRefusalReports();

private:
    void txLoop();
    void sendCycle();
    double nowMs() const;

    const CCanMsgSender& m_sender;
    const vex::Clock& m_clock;
    const int64_t m_startTicks;
    const J1939DmxTable m_table;
    WaitFn m_waitMs;
    Reporter m_reporter;

    mutable std::mutex m_lock;  // the node map and the refusal counts
    CJ1939DmxCollector m_collector;
    // Refused announcements per node (channel x 256 + source address) in this running of the service, and
    // whether this running reports them. Under m_lock.
    std::map<uint32_t, uint64_t> m_refused;
    bool m_reportRefusals = true;

    tEXT_J1939DMX_TX_DATA m_tx;  // written before the thread starts, then only read by it
    std::atomic<bool> m_sending{false};
    std::mutex m_wakeLock;
    std::condition_variable m_wake;
    std::thread m_thread;
};
