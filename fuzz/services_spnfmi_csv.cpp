// The SPN-FMI description reader over any text: what it stores is in range and under its own key, what it
// rejects is out of range or no number, named by a line of the text.
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "services/spnfmicsv.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    SpnFmiDescMap map;
    std::vector<SpnFmiRejected> rejected;
    ParseSpnFmiText(text, map, rejected);
    for (const auto& [key, e] : map)
        if (e.SPN > 0x7FFFF || e.FMI > 31 || key != SpnFmiKey(e.SPN, e.FMI)) std::abort();
    for (const SpnFmiRejected& r : rejected) {
        if (r.line == 0 || r.line > size) std::abort();
        if (!r.notNumber && r.spn >= 0 && r.spn <= 0x7FFFF && r.fmi >= 0 && r.fmi <= 31) std::abort();
        if (SpnFmiRejectedText(r).empty()) std::abort();
    }
    return 0;
}
