// The signal codec with an arbitrary signal definition, data bytes, raw and physical values and value table.
// Beyond the sanitizers it checks what every caller relies on: a refusal leaves everything untouched, an
// insertion changes only the signal's bits and reads back, the value text is the "%f" form where no table
// entry names the value, and a table value stands for a raw value that is shown through it.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "candb/canmodel.h"
#include "tests/candb/printf_value_text.h"

namespace {

struct Input {
    const uint8_t* p;
    size_t n;
    template <class T>
    T take() {
        T v{};
        const size_t k = n < sizeof(T) ? n : sizeof(T);
        if (k == 0) return v;  // p may be null once the input is used up (or empty)
        std::memcpy(&v, p, k);
        p += k;
        n -= k;
        return v;
    }
    std::string text() {
        const size_t len = take<uint8_t>() % 8;
        const size_t k = len < n ? len : n;
        if (k == 0) return {};
        std::string s(reinterpret_cast<const char*>(p), k);
        p += k;
        n -= k;
        return s;
    }
};

void check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in{data, size};
    CCanSignal s;
    s.Sign = in.take<uint8_t>() & 1;
    s.ByteFmtIntel = in.take<uint8_t>() & 1;
    s.Enum = in.take<uint8_t>() & 1;
    s.BitLen = in.take<uint8_t>() % 40;
    s.BitOffset = in.take<uint8_t>();
    const uint8_t scaleKind = in.take<uint8_t>();
    s.ValFactor = (scaleKind & 1) ? in.take<double>() : 0.001 * (in.take<int16_t>());
    s.ValOffset = (scaleKind & 2) ? in.take<double>() : in.take<int16_t>();
    uint8_t bytes[8];
    for (auto& b : bytes) b = in.take<uint8_t>();
    const uint32_t rawIn = in.take<uint32_t>();
    const double phyIn = (scaleKind & 4) ? in.take<double>() : 0.01 * in.take<int32_t>();
    const std::string textIn = in.text();
    for (int i = in.take<uint8_t>() % 6; i > 0 && in.n > 0; --i)
        s.SigEnum.Items.push_back({in.text(), in.take<int32_t>()});

    uint8_t original[8];
    std::memcpy(original, bytes, 8);

    // Extract and insert agree; an insertion changes only the signal's bits and reads back masked.
    uint32_t raw = 0x5A5A5A5A;
    const bool located = s.GetRawValue(bytes, raw);
    check(located || raw == 0x5A5A5A5A);
    check(s.SetRawValue(bytes, rawIn) == located);
    if (located) {
        const uint32_t mask = s.BitLen == 32 ? 0xFFFFFFFFu : (1u << s.BitLen) - 1;
        uint32_t back = 0;
        check(s.GetRawValue(bytes, back) && back == (rawIn & mask));
        check(s.SetRawValue(bytes, raw));
    }
    check(std::memcmp(bytes, original, 8) == 0);

    // Signed forms.
    int32_t sraw = 77;
    const bool signedOk = s.GetSignedRawValue(bytes, sraw);
    check(signedOk == (located && s.Sign != 0));
    if (!signedOk) check(sraw == 77);
    check(s.SetSignedRawValue(static_cast<int32_t>(rawIn), bytes) == signedOk);
    if (signedOk) {
        int32_t back = 0;
        check(s.GetSignedRawValue(bytes, back));
        if (static_cast<int32_t>(rawIn) < 0) check(back < 0);  // a negative value always keeps its sign bit
        check(s.SetSignedRawValue(sraw, bytes));
    }
    check(std::memcmp(bytes, original, 8) == 0);

    // Raw to physical text.
    double phy = -1.5;
    std::string text = "keep";
    const bool textOk = s.Sign ? s.SignedRawToPhyText(static_cast<int32_t>(rawIn), phy, text)
                               : s.UnsignedRawToPhyText(rawIn, phy, text);
    check(textOk);
    check(!(s.Sign ? s.UnsignedRawToPhyText(rawIn, phy, text) : s.SignedRawToPhyText(0, phy, text)));
    const int64_t rawValue = s.Sign ? int64_t{static_cast<int32_t>(rawIn)} : int64_t{rawIn};
    int32_t tableValue = 0;
    const bool hasTableValue = s.RawToEnumValue(rawValue, tableValue);
    bool named = false;
    for (const tCAN_SIGNAL_ENUM_ITEM& item : s.SigEnum.Items)
        named = named || (hasTableValue && item.val == tableValue);
    // A value the table does not name shows as its number, as without a table.
    if ((!s.Enum || !named) && !std::isnan(phy)) check(text == printfValueText(phy));

    // A table value that a raw value is shown through stands for a raw value shown through it (for the
    // scalings a database holds; far beyond them the double arithmetic no longer tells raw values apart).
    const double f = std::fabs(s.ValFactor);
    if (hasTableValue && f >= 1e-6 && f <= 1e6 && std::fabs(s.ValOffset) <= 1e9) {
        int64_t back = 0;
        int32_t again = 0;
        check(s.EnumValueToRaw(tableValue, back) && s.RawToEnumValue(back, again) && again == tableValue);
    }

    // Physical to raw and the encoder; a failed encoding leaves the bytes as they were.
    int32_t pr = 5;
    uint32_t pu = 6;
    const bool convOk = s.Sign ? s.PhyToSignedRaw(textIn, pr, phyIn) : s.PhyToUnsignedRaw(textIn, pu, phyIn);
    if (!convOk) check(pr == 5 && pu == 6);
    const bool setOk = s.SetPhyValue(bytes, textIn, phyIn);
    check(setOk == (convOk && located));
    if (!setOk) check(std::memcmp(bytes, original, 8) == 0);

    double lo = 0, hi = 0;
    s.CalcPhyRange(lo, hi);
    return 0;
}
