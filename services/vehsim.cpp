#include "services/vehsim.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>
#include <system_error>

#include "app/canmsgsender.h"
#include "platform/numconv.h"
#include "platform/numparse.h"
#include "platform/util/fileread.h"
#include "services/servicefile.h"
#include "services/svcwait.h"

namespace {

constexpr double kSpeedUp = 5.5;
constexpr const char* kRunningText = "仿真正在运行，不能载入文件。";
// A frame the device does not take is offered again every millisecond for up to a second.
constexpr auto kRetryPause = std::chrono::milliseconds(1);
constexpr int kRetries = 1000;
constexpr int kSkippedLines = 2;
constexpr int kFields = 8;
// CSV field of each sample slot.
constexpr int kFieldOfSlot[kFields] = {0, 2, 4, 5, 7, 3, 1, 6};
constexpr uint32_t kFrameIds[5] = {0x0CF00300, 0x0CF00400, 0x18FD3E3D, 0x18FEF100, 0x0CFF6000};
enum Frame { A, B, C, D, E };

// J1939 valid-data ranges: one byte carries 0 to 250, two bytes 0 to 64255 (the values above mean "error"
// and "not available").
constexpr int32_t kByteMax = 250;
constexpr int32_t kWordMax = 64255;

// A scaled value as the raw number its bytes carry: cut toward zero (quotients within a rounding error of a
// whole number count as that number), clamped to [lo, hi]; not a number gives 0x80000000.
int32_t rawValue(double scaled, int32_t lo, int32_t hi) {
    if (std::isnan(scaled)) return std::numeric_limits<int32_t>::min();
    const double t = vex::TruncTolerant(scaled);
    if (t <= lo) return lo;
    if (t >= hi) return hi;
    return static_cast<int32_t>(t);
}

void putByte(tCAN_RAW_MSG& m, int at, int32_t raw) {
    m.Data[at] = static_cast<uint8_t>(static_cast<uint32_t>(raw));
}

void putWord(tCAN_RAW_MSG& m, int at, int32_t raw) {
    const uint32_t u = static_cast<uint32_t>(raw);
    m.Data[at] = static_cast<uint8_t>(u);
    m.Data[at + 1] = static_cast<uint8_t>(u >> 8);
}

}  // namespace

bool ParseSimulatorCsv(std::string_view text, std::vector<tSIMULATOR_DATA>& out, std::string* why) {
    std::vector<tSIMULATOR_DATA> samples;
    int line = 0;
    std::string refusal;
    vex::svc::ForEachLine(text, [&](std::string_view l) {
        if (line++ < kSkippedLines) return true;
        std::string_view fields[kFields];
        int n = 0;
        size_t pos = 0;
        for (; n < kFields; ++n) {
            const size_t comma = l.find(',', pos);
            fields[n] = l.substr(pos, comma == std::string_view::npos ? std::string_view::npos : comma - pos);
            if (comma == std::string_view::npos) {
                ++n;
                break;
            }
            pos = comma + 1;
        }
        if (n < kFields) {
            refusal = "第" + std::to_string(line) + "行只有" + std::to_string(n) + "个字段，需要" +
                      std::to_string(kFields) + "个。";
            return false;
        }
        tSIMULATOR_DATA sample;
        for (int slot = 0; slot < kFields; ++slot)
            sample.v[slot] = vex::ParseReal(fields[kFieldOfSlot[slot]]);
        // A time that is no finite number gives no wait: refused like a short line, not played as a
        // run of samples with no time between them.
        if (!std::isfinite(sample.v[0])) {
            refusal = "第" + std::to_string(line) + "行的时间不是有限的数值。";
            return false;
        }
        // A time before the previous one has no step to wait and would make the total time negative.
        if (!samples.empty() && sample.v[0] < samples.back().v[0]) {
            refusal = "第" + std::to_string(line) + "行的时间" + vex::FormatShortest(sample.v[0]) +
                      "秒早于上一行的" + vex::FormatShortest(samples.back().v[0]) + "秒。";
            return false;
        }
        samples.push_back(sample);
        return true;
    });
    // A file without samples would replace the loaded ones by nothing to play.
    if (refusal.empty() && samples.empty()) refusal = "文件中没有数据行（前两行是表头）。";
    if (!refusal.empty()) {
        if (why != nullptr) *why = std::move(refusal);
        return false;
    }
    out = std::move(samples);
    return true;
}

tSIMULATOR_FRAMES SimulatorFrames() {
    tSIMULATOR_FRAMES f;
    for (int i = 0; i < 5; ++i) {
        tCAN_RAW_MSG& m = f.msg[i];
        m = tCAN_RAW_MSG{};
        m.Id = kFrameIds[i];
        m.Ext = 1;
        m.Remote = 0;
        m.Dir = 1;
        m.Chan = 1;
        m.Dlc = 8;
        std::fill(std::begin(m.Data), std::end(m.Data), uint8_t{0});
        m.TimeMs = 0.0;
    }
    return f;
}

void EncodeSimulatorSample(const tSIMULATOR_DATA& s, tSIMULATOR_FRAMES& f) {
    // Accelerator pedal position, 0.4 %/bit.
    putByte(f.msg[A], 1, rawValue(s.v[1] / 0.4, 0, kByteMax));
    // Engine speed, 0.125 rpm/bit.
    putWord(f.msg[B], 3, rawValue(s.v[2] * 8.0, 0, kWordMax));
    // Temperature, 0.03125 degree/bit, offset -273.
    putWord(f.msg[C], 0, rawValue((s.v[3] + 273.0) * 32.0, 0, kWordMax));
    // Wheel-based vehicle speed, 1/256 km/h per bit.
    putWord(f.msg[D], 1, rawValue(s.v[4] * 256.0, 0, kWordMax));
    // Actual engine torque against the 1345 reference torque, 1 %/bit, offset -125.
    putByte(f.msg[B], 2, rawValue(s.v[5] * 100.0 / 1345.0 + 125.0, 0, kByteMax));
    // Two proprietary values, 0.01/bit, 16 bits read signed or unsigned by the receiver: both readings keep
    // their value; only what fits neither is clamped.
    putWord(f.msg[E], 0, rawValue(s.v[6] / 0.01, INT16_MIN, UINT16_MAX));
    putWord(f.msg[E], 2, rawValue(s.v[7] / 0.01, INT16_MIN, UINT16_MAX));
}

uint32_t SimulatorWaitMs(double previousTime, double time) {
    const double ms = vex::TruncTolerant((time - previousTime) * 1000.0 / kSpeedUp);
    if (!(ms > 0.0)) return 0;
    if (ms >= vex::svc::kMaxWaitMs) return vex::svc::kMaxWaitMs;
    return static_cast<uint32_t>(ms);
}

CExtSerVehEnvSimulator::CExtSerVehEnvSimulator(const CCanMsgSender& sender, const vex::Clock& clock)
    : m_sender(sender), m_clock(clock), m_frames(SimulatorFrames()) {}

CExtSerVehEnvSimulator::~CExtSerVehEnvSimulator() {
    StopSimulation();
}

bool CExtSerVehEnvSimulator::LoadDataFile(const std::string& path, std::string* why) {
    if (m_running.load()) {
        if (why != nullptr) *why = kRunningText;
        return false;
    }
    std::string text;
    if (std::string reason = vex::ReadInputFile(path, vex::kMaxInputFileBytes, text); !reason.empty()) {
        if (why != nullptr) *why = std::move(reason);
        return false;
    }
    if (!LoadDataText(text, why)) return false;
    m_loadedPath = path;
    return true;
}

bool CExtSerVehEnvSimulator::LoadDataText(std::string_view text, std::string* why) {
    if (m_running.load()) {
        if (why != nullptr) *why = kRunningText;
        return false;
    }
    std::vector<tSIMULATOR_DATA> samples;
    if (!ParseSimulatorCsv(text, samples, why)) return false;
    m_loadedPath.clear();
    // A run that ended by itself has left the samples alone; its thread only remains to be joined.
    if (m_thread.joinable()) m_thread.join();
    m_samples = std::move(samples);
    m_recordCount = static_cast<int32_t>(std::min<size_t>(m_samples.size(), INT32_MAX));
    m_totalTime = m_samples.size() >= 2 ? (m_samples.back().v[0] - m_samples.front().v[0]) * 1000.0 : 0.0;
    return true;
}

bool CExtSerVehEnvSimulator::StartSimulation() {
    if (m_running.load() || m_repeatCount.load() < 1 || m_samples.empty() || !m_sender.IsOnline())
        return false;
    if (m_thread.joinable()) m_thread.join();
    m_running = true;
    try {
        m_thread = std::thread([this] { play(); });
    } catch (const std::system_error&) {
        m_running = false;
        return false;
    }
    return true;
}

void CExtSerVehEnvSimulator::StopSimulation() {
    m_running = false;
    if (m_thread.joinable()) m_thread.join();
}

// Samples with equal times send their frames back to back: faster than any bus takes them, so the device's
// transmit queue fills and refuses. A refused frame is offered again after a short sleep until the bus has
// made room, so every frame goes out at the pace the bus takes them and the thread never spins. A device
// that refuses a frame for a whole second (lost, or not sending) has that frame passed over, as a failed
// write always was. False when the run is to end (stopped, offline).
template <class KeepGoing>
bool CExtSerVehEnvSimulator::sendPaced(const tCAN_RAW_MSG& msg, KeepGoing keepGoing) {
    for (int attempt = 0; attempt <= kRetries; ++attempt) {
        if (attempt > 0) std::this_thread::sleep_for(kRetryPause);
        if (!keepGoing()) return false;
        if (m_sender.Write(msg) == CCanMsgSender::Result::Ok) return true;
    }
    return true;
}

void CExtSerVehEnvSimulator::play() {
    vex::svc::PrepareWorkerThread("vex-vehsim", true);
    auto keep = [this] { return m_running.load() && m_sender.IsOnline(); };
    const int32_t repeats = m_repeatCount.load();
    bool go = true;
    for (int32_t r = 0; go && r < repeats; ++r) {
        m_curRepeat = r;
        double previous = 0.0;
        for (size_t i = 0; i < m_samples.size(); ++i) {
            m_curRecord = static_cast<int32_t>(std::min<size_t>(i, INT32_MAX));
            if (!keep()) {
                go = false;
                break;
            }
            const tSIMULATOR_DATA& sample = m_samples[i];
            EncodeSimulatorSample(sample, m_frames);
            if (i > 0) {
                // Waited in a loop that watches the flag and the bus, so a stop or going offline ends it.
                const uint32_t w = SimulatorWaitMs(previous, sample.v[0]);
                if (w != 0 && !vex::svc::BusyWaitMs(m_clock, w, keep)) {
                    go = false;
                    break;
                }
            }
            for (const tCAN_RAW_MSG& m : m_frames.msg) {
                if (!sendPaced(m, keep)) {
                    go = false;
                    break;
                }
            }
            if (!go) break;
            previous = sample.v[0];
        }
    }
    m_curRecord = 0;
    m_repeatCount = 1;
    // Last: once the flag is clear the thread touches nothing of the service.
    m_running = false;
}
