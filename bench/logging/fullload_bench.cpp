// Continuous logging at full bus load: the emulated two-channel interface receives back-to-back frames on
// both channels at 1 Mbit/s for about 60 s (VEX_FULLLOAD_FRAMES per channel overrides the count); the
// drain runs every 10 ms as the main frame's tick does, with the largest real database, graph and filters,
// and logs every frame into a ".crm" file. The file is then read back and checked frame by frame: each
// channel's sequence numbers complete and in order.
//
// Figures: seconds, frames_per_s, lost (frames missing from the file), tick_p50_ms / tick_p95_ms /
// tick_max_ms (one drain pass including the logger's writes), log_MB.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

#include "app/canrxthread.h"
#include "bench/app/benchsetup.h"
#include "logging/canmsgbincrmfile.h"
#include "logging/canmsgdatalog.h"
#include "platform/deviceport/emupeer.h"

using namespace vex::emu;

namespace {

Frame SeqFrame(uint32_t seq) {
    Frame f;
    f.id = 0x555;
    f.dlc = 4;
    std::memcpy(f.data.data(), &seq, 4);
    return f;
}

// Frames of the file missing or out of order, channel by channel.
uint64_t CheckFile(const std::string& path, uint32_t perChannel) {
    CCanMsgBinCrmFile file;
    uint32_t count = 0;
    double duration = 0;
    if (!file.OpenRead(path, count, duration)) return 2ull * perChannel;
    std::vector<tCAN_RAW_MSG> chunk(4096);
    uint32_t next[2] = {0, 0};
    uint64_t wrong = 0;
    for (uint32_t start = 0; start < count; start += 4096) {
        uint32_t n = 0;
        file.ReadByIndex(start, std::min<uint32_t>(4096, count - start), chunk.data(), 4096, n);
        for (uint32_t k = 0; k < n; ++k) {
            const tCAN_RAW_MSG& f = chunk[k];
            uint32_t seq;
            std::memcpy(&seq, f.Data, 4);
            if (f.Chan > 1 || seq != next[f.Chan]) {
                ++wrong;
                if (f.Chan <= 1) next[f.Chan] = seq + 1;
                continue;
            }
            ++next[f.Chan];
        }
    }
    const uint64_t missing =
        2ull * perChannel - std::min<uint64_t>(2ull * perChannel, uint64_t{next[0]} + next[1]);
    return missing + wrong;
}

void BM_LogFullLoadTwoChannels(benchmark::State& state) {
    const char* env = std::getenv("VEX_FULLLOAD_FRAMES");
    const uint32_t perChannel = env ? static_cast<uint32_t>(std::strtoul(env, nullptr, 10)) : 740'000;
    peer::Reset();
    hubbench::HubRig rig;
    const std::string dir = (std::filesystem::temp_directory_path() / "fullload-bench").string();
    std::filesystem::remove_all(dir);
    CCanMsgDataLog logger(rig.info, dir);
    rig.hub.SetLogSink(&logger);
    CAppCfg& cfg = rig.cfg;
    for (size_t i = 0; i < 3; ++i) {
        cfg.CanDev[i].Active = i == CAppCfg::kDevNxp;
        cfg.CanDev[i].CHAN0.Baudrate = cfg.CanDev[i].CHAN1.Baudrate = 1000;
    }
    CCanRxThread rx;
    rx.SetHub(&rig.hub);
    if (rx.Start(cfg.GetSelectedDevice()) != CCanRxThread::StartResult::Ok) {
        state.SkipWithError("device did not open");
        return;
    }
    std::vector<double> ticks;
    double seconds = 0;
    uint64_t lost = 0;
    for (auto _ : state) {
        if (!logger.Start("FULL")) std::abort();
        const auto t0 = std::chrono::steady_clock::now();
        for (int seg = 0; seg < 2; ++seg) peer::SendBurst(seg, perChannel, SeqFrame, Pace::BusRate);
        auto next = t0;
        bool idle = false;
        while (!idle) {
            next += std::chrono::milliseconds(10);
            std::this_thread::sleep_until(next);
            idle = peer::WaitIdle(0);
            const auto a = std::chrono::steady_clock::now();
            rig.hub.ProcessRxQueue();
            rig.PopSamples();
            ticks.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - a).count());
        }
        // What the interface heard last still passes the receive thread.
        for (int i = 0; i < 20; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            rig.hub.ProcessRxQueue();
        }
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        logger.Stop();
        state.SetIterationTime(seconds);
        lost = CheckFile(logger.FileName(), perChannel);
        state.counters["log_MB"] = static_cast<double>(std::filesystem::file_size(logger.FileName())) / 1e6;
    }
    rx.Stop();
    std::filesystem::remove_all(dir);
    std::sort(ticks.begin(), ticks.end());
    const auto at = [&](double p) {
        return ticks[std::min(ticks.size() - 1, static_cast<size_t>(p * ticks.size()))];
    };
    state.counters["seconds"] = seconds;
    state.counters["frames_per_s"] = 2.0 * perChannel / seconds;
    state.counters["lost"] = static_cast<double>(lost);
    state.counters["tick_p50_ms"] = at(0.50);
    state.counters["tick_p95_ms"] = at(0.95);
    state.counters["tick_max_ms"] = ticks.back();
    if (lost != 0) state.SkipWithError("frames lost");
}

}  // namespace

BENCHMARK(BM_LogFullLoadTwoChannels)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_MAIN();
