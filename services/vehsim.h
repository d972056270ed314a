#pragma once
// CExtSerVehEnvSimulator: the vehicle-environment simulator. It plays a CSV file of timed samples (a time in
// seconds and seven vehicle quantities) onto the bus: for every sample it waits the sample's time step at
// 5.5 times the recorded speed, encodes the quantities into five fixed J1939 frames and sends them, and
// plays the whole file a chosen number of times.
//
// LoadDataFile, StartSimulation and StopSimulation are called on one thread (the GUI thread). The playback
// thread is joined by StopSimulation, by a new start and by the destructor, so at most one runs; the
// samples are never changed while it runs.
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "app/externservice.h"
#include "platform/clock.h"

class CCanMsgSender;

// One sample: slot 0 the time in seconds, slots 1 to 7 the quantities (CSV fields 0, 2, 4, 5, 7, 3, 1, 6).
struct tSIMULATOR_DATA {
    double v[8] = {};

    bool operator==(const tSIMULATOR_DATA&) const = default;
};

// The samples of a CSV text: the first two lines skipped, then one sample per line of at least eight
// comma-separated fields (each read as a number by the C rule, text that is none being 0). False, `out`
// untouched and the reason in `why`, when a line has fewer than eight fields (a blank line among the
// samples has one), when a line's time is not a finite number (no wait follows from it) or lies before the
// previous line's (equal times are taken), or when no sample line follows the two header lines (an empty
// file, a file of NUL bytes).
bool ParseSimulatorCsv(std::string_view text, std::vector<tSIMULATOR_DATA>& out, std::string* why = nullptr);

// The five frames A to E (0x0CF00300, 0x0CF00400, 0x18FD3E3D, 0x18FEF100, 0x0CFF6000): extended, data,
// transmitted, channel 1, length 8.
struct tSIMULATOR_FRAMES {
    tCAN_RAW_MSG msg[5];
};
tSIMULATOR_FRAMES SimulatorFrames();
// Encodes a sample into the bytes of the frames that carry it (other bytes are left as they are). Each
// value is scaled by its J1939 encoding and clamped to the encoding's valid range instead of wrapping
// around; a value that is not a number gives the raw value 0x80000000, whose low bytes are 0.
void EncodeSimulatorSample(const tSIMULATOR_DATA& sample, tSIMULATOR_FRAMES& frames);
// The wait before a sample: (time - previous) x 1000 / 5.5 ms cut to whole milliseconds; a step back in
// time (or not a number) waits nothing, a step longer than 55 s waits 10000 ms.
uint32_t SimulatorWaitMs(double previousTime, double time);

class CExtSerVehEnvSimulator final : public CExternService {
public:
    explicit CExtSerVehEnvSimulator(const CCanMsgSender& sender,
                                    const vex::Clock& clock = vex::SystemClock());
    ~CExtSerVehEnvSimulator();  // StopSimulation
    CExtSerVehEnvSimulator(const CExtSerVehEnvSimulator&) = delete;
    CExtSerVehEnvSimulator& operator=(const CExtSerVehEnvSimulator&) = delete;

    // Reads a CSV file into a new sample array and, when it is whole, puts it in place with its record count
    // and total time ((last time - first time) x 1000 ms with two samples or more, else 0) and remembers
    // the path. False, with the previous samples and path kept and the reason in `why`, when the file
    // cannot be read (vex::ReadInputFile), ParseSimulatorCsv refuses it, or a run is in progress.
    bool LoadDataFile(const std::string& path, std::string* why = nullptr);
    // Takes the samples of a text as LoadDataFile does (tests and the file reader); the path is forgotten.
    bool LoadDataText(std::string_view text, std::string* why = nullptr);
    // The file the samples came from; empty before a file was loaded.
    const std::string& LoadedPath() const { return m_loadedPath; }

    // False while running, with a repeat count below 1, without samples or while the program is offline.
    // Otherwise starts the playback thread.
    bool StartSimulation();
    // Clears the running flag and joins the playback thread; a wait in progress ends at once.
    void StopSimulation();

    int32_t RecordCount() const { return m_recordCount; }
    double TotalTime() const { return m_totalTime; }
    size_t SampleCount() const { return m_samples.size(); }
    bool IsRunning() const { return m_running.load(); }
    // Progress of the run, written by the playback thread.
    int32_t CurRecordIndex() const { return m_curRecord.load(); }
    int32_t CurRepeat() const { return m_curRepeat.load(); }
    // 1 to 10000; set back to 1 when a run ends.
    int32_t RepeatCount() const { return m_repeatCount.load(); }
    void SetRepeatCount(int32_t count) { m_repeatCount = count; }
    // The frames as the playback thread last encoded them; read only while no run is in progress.
    const tSIMULATOR_FRAMES& Frames() const { return m_frames; }

private:
    void play();
    template <class KeepGoing>
    bool sendPaced(const tCAN_RAW_MSG& msg, KeepGoing keepGoing);

    const CCanMsgSender& m_sender;
    const vex::Clock& m_clock;
    tSIMULATOR_FRAMES m_frames;
    std::vector<tSIMULATOR_DATA> m_samples;
    std::string m_loadedPath;
    int32_t m_recordCount = 0;
    double m_totalTime = 0.0;
    std::atomic<int32_t> m_curRecord{0};
    std::atomic<int32_t> m_curRepeat{0};
    std::atomic<bool> m_running{false};
    std::atomic<int32_t> m_repeatCount{1};
    std::thread m_thread;
};
