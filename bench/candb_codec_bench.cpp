// Decoding a 64-signal message the way every decoder does it: signed signals through GetSignedRawValue and
// SignedRawToPhyText, unsigned ones through GetRawValue and UnsignedRawToPhyText (raw value, physical value
// and its text). The figure to watch is signals per second (target: at least 20 M/s).
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "candb/canmodel.h"

namespace {

// 64 signals over the eight bytes: both byte orders, lengths 1..32, signed and unsigned, scaled and
// offset, a few shown through a value table. Signals overlap; the codec does not care.
CCanMsg makeMessage() {
    CCanMsg m;
    m.Name = "BENCH";
    m.id = 0x18FEF100;
    m.Ext = 1;
    m.DL = 8;
    const int lengths[] = {1, 2, 4, 8, 12, 16, 24, 32};
    for (int i = 0; i < 64; ++i) {
        CCanSignal s;
        s.Name = std::to_string(i);
        s.Name.insert(0, 1, 'S');
        s.ByteFmtIntel = (i % 2) ? 1 : 0;
        s.BitLen = static_cast<uint8_t>(lengths[i % 8]);
        const int room = 64 - s.BitLen;  // keep every bit inside the eight bytes
        const int pos = (i * 7) % (room + 1);
        // Intel: the start bit is the lowest bit. Motorola: the start bit is the highest, and bit b of byte k
        // is k * 8 + (7 - b) bits below the top of the frame, i.e. the start bit with its low three bits
        // inverted.
        s.BitOffset = static_cast<uint8_t>(s.ByteFmtIntel ? pos : (pos ^ 7));
        s.Sign = (i % 3 == 0) ? 1 : 0;
        s.ValFactor = (i % 4 == 0) ? 1.0 : 0.125 * (1 + i % 5);
        s.ValOffset = (i % 5 == 0) ? -40.0 : 0.0;
        if (i % 16 == 5) {
            s.Enum = 1;
            s.SigEnum.Name = "VT";
            for (int v = 0; v < 8; ++v) s.SigEnum.Items.push_back({"state" + std::to_string(v), v});
        }
        m.Signals.push_back(s);
    }
    return m;
}

std::vector<std::array<uint8_t, 8>> makeFrames() {
    std::mt19937 rng(42);
    std::vector<std::array<uint8_t, 8>> frames(256);
    for (auto& f : frames)
        for (auto& b : f) b = static_cast<uint8_t>(rng());
    return frames;
}

void BM_DecodeMessage(benchmark::State& state) {
    const CCanMsg msg = makeMessage();
    const auto frames = makeFrames();
    std::string text;
    double phy = 0;
    size_t frame = 0;
    int64_t decoded = 0;
    for (auto _ : state) {
        const auto& data = frames[frame++ & 255];
        for (const CCanSignal& s : msg.Signals) {
            bool ok;
            if (s.Sign) {
                int32_t raw;
                ok = s.GetSignedRawValue(data, raw) && s.SignedRawToPhyText(raw, phy, text);
            } else {
                uint32_t raw;
                ok = s.GetRawValue(data, raw) && s.UnsignedRawToPhyText(raw, phy, text);
            }
            decoded += ok;
            benchmark::DoNotOptimize(phy);
            benchmark::DoNotOptimize(text.data());
        }
    }
    if (decoded != static_cast<int64_t>(state.iterations()) * 64)
        state.SkipWithError("a signal failed to decode");
    state.SetItemsProcessed(decoded);
    state.counters["Msignals/s"] =
        benchmark::Counter(static_cast<double>(decoded) / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DecodeMessage);

void BM_ExtractOnly(benchmark::State& state) {
    const CCanMsg msg = makeMessage();
    const auto frames = makeFrames();
    size_t frame = 0;
    for (auto _ : state) {
        const auto& data = frames[frame++ & 255];
        for (const CCanSignal& s : msg.Signals) {
            uint32_t raw = 0;
            benchmark::DoNotOptimize(s.GetRawValue(data, raw));
            benchmark::DoNotOptimize(raw);
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 64);
    state.counters["Msignals/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * 64 / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ExtractOnly);

}  // namespace

BENCHMARK_MAIN();
