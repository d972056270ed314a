// Value extraction from a record and the MDF 3 conversion formulas.
#include <cmath>
#include <cstring>

#include "mdf/mdfimage.h"

namespace lorimar {

uint64_t extractBitsSlow(const MdfReadChannel& ch, const uint8_t* record) {
    const uint8_t* p = record + ch.firstByte;
    const unsigned n = ch.byteCount;
    const unsigned low = n < 8 ? n : 8;
    uint64_t v = 0;
    unsigned top = 0;  // a ninth byte when the bits start inside the first byte and span 64 bits
    if (!ch.big) {
        for (unsigned i = 0; i < low; ++i) v |= uint64_t{p[i]} << (8 * i);
        if (n == 9) top = p[8];
    } else {
        for (unsigned i = 0; i < low; ++i) v |= uint64_t{p[n - 1 - i]} << (8 * i);
        if (n == 9) top = p[0];
    }
    v >>= ch.shift;
    if (n == 9) v |= uint64_t{top} << (64 - ch.shift);
    return v & ch.mask;
}

uint32_t convertToPhysical(const tMDF_CN_INFO& cn, double x, double& y) {
    if (!cn.convPresent) {
        y = x;
        return MDF_OK;
    }
    const double* p = cn.params;  // p[0] is P1
    switch (cn.convType) {
        case MDF_CONV_LINEAR:
            y = x * p[1] + p[0];
            return MDF_OK;
        case MDF_CONV_TAB_INTERP:
        case MDF_CONV_TAB: {
            const auto& t = cn.valuePairs;
            if (t.empty()) {
                y = x;
                return MDF_OK;
            }
            // At or below the first point: the first point's value. Without interpolation a raw value equal
            // to a point takes that point's value, the first point included (not the next point's).
            if (x <= t.front().raw) {
                y = t.front().phys;
                return MDF_OK;
            }
            if (x > t.back().raw) {
                y = t.back().phys;
                return MDF_OK;
            }
            for (size_t i = 0; i + 1 < t.size(); ++i) {
                const tMDF_CN_VALUE_PAIR& a = t[i];
                const tMDF_CN_VALUE_PAIR& b = t[i + 1];
                if (!(a.raw <= x && x <= b.raw)) continue;
                if (cn.convType == MDF_CONV_TAB)
                    y = b.phys;
                else
                    y = a.phys + (x - a.raw) * (b.phys - a.phys) / (b.raw - a.raw);  // a.raw < x here
                return MDF_OK;
            }
            // NaN, or a table whose points are not in ascending order around the value.
            return MDF_ERR_CONVERSION;
        }
        case MDF_CONV_POLYNOMIAL: {
            const double d = x - p[4] - p[5];
            y = (p[1] - p[3] * d) / (p[2] * d - p[0]);
            return MDF_OK;
        }
        case MDF_CONV_EXPONENTIAL:
        case MDF_CONV_LOGARITHMIC: {
            // Both forms share their argument: exponential conversions take its logarithm, logarithmic ones
            // its exponential. A form applies only when P4 (first) or P1 (second) is zero.
            double arg, divisor;
            if (p[3] == 0.0) {
                arg = ((x - p[6]) * p[5] - p[2]) / p[0];
                divisor = p[1];
            } else if (p[0] == 0.0) {
                arg = (p[2] / (x - p[6]) - p[5]) / p[3];
                divisor = p[4];
            } else {
                return MDF_ERR_CONVERSION;
            }
            y = (cn.convType == MDF_CONV_EXPONENTIAL ? std::log(arg) : std::exp(arg)) / divisor;
            return MDF_OK;
        }
        case MDF_CONV_RATIONAL:
            y = (p[0] * x * x + p[1] * x + p[2]) / (p[3] * x * x + p[4] * x + p[5]);
            return MDF_OK;
        case MDF_CONV_TEXT_TABLE:
        case MDF_CONV_TEXT_RANGE:
        case MDF_CONV_IDENTITY:
            y = x;
            return MDF_OK;
        default:
            return MDF_ERR_CONVERSION;  // text formulas and types MDF 3 does not define
    }
}

}  // namespace lorimar
