// The simulator's CSV reader over any text: a text that reads gives at least one sample, each with a finite
// time not before the previous one, and every sample encodes and yields a wait within the cap; a refused
// text says why.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "services/vehsim.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<tSIMULATOR_DATA> samples(1);
    std::string why;
    if (!ParseSimulatorCsv(text, samples, &why)) {
        if (samples.size() != 1 || why.empty()) std::abort();  // a failed read leaves the previous samples
        return 0;
    }
    if (samples.empty()) std::abort();
    tSIMULATOR_FRAMES frames = SimulatorFrames();
    double previous = samples.front().v[0];
    for (const tSIMULATOR_DATA& s : samples) {
        if (!std::isfinite(s.v[0]) || s.v[0] < previous) std::abort();
        EncodeSimulatorSample(s, frames);
        if (SimulatorWaitMs(previous, s.v[0]) > 10000) std::abort();
        previous = s.v[0];
    }
    for (const tCAN_RAW_MSG& m : frames.msg)
        if (m.Dlc != 8 || !m.Ext) std::abort();
    return 0;
}
