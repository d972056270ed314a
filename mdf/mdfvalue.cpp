// Value extraction from a record, the decoders that turn a run of records of one channel into physical
// values, the record windows they read from, the bulk read, and the MDF 3 conversion formulas.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>

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

namespace {

using Conv = MdfReadChannel::Conv;

// Everything a decoder needs of a channel, in locals: stores into the output cannot alias them.
struct Extractor {
    const uint8_t* data;
    uint64_t stride, mask;
    uint32_t loadByte;
    uint8_t loadShift, signShift;
    uint8_t signLeft;  // signed values: the left shift that puts the sign bit at bit 63 of the loaded bits
    double factor, offset;
};

// The raw value of a channel in a record. Word loads take 8 bytes and shift the channel's bits down (signed
// values: up to bit 63 and back down, which also sign-extends); bits above the channel's width hold its
// neighbours' bits, which the mask or the shifts drop.
template <BitLoad L, uint16_t T>
inline double rawValue(const Extractor& x, const MdfReadChannel& ch, const uint8_t* record) {
    uint64_t bits;
    if constexpr (L == BitLoad::WordLittle)
        bits = loadLittle64(record + x.loadByte);
    else if constexpr (L == BitLoad::WordBig)
        bits = loadBig64(record + x.loadByte);
    else
        bits = extractBitsSlow(ch, record);  // already shifted down and masked
    if constexpr (T == MDF_SINT) {
        return static_cast<double>(static_cast<int64_t>(bits << x.signLeft) >> x.signShift);
    } else {
        if constexpr (L != BitLoad::Bytes) bits >>= x.loadShift;
        if constexpr (T == MDF_UINT) {
            return static_cast<double>(bits & x.mask);
        } else if constexpr (T == MDF_FLOAT) {
            const uint32_t u = static_cast<uint32_t>(bits);
            float f;
            std::memcpy(&f, &u, sizeof f);
            return f;
        } else {
            double d;
            std::memcpy(&d, &bits, sizeof d);
            return d;
        }
    }
}

// One decoder per way of loading bits, data type and conversion kind: the loop over the records decides
// nothing per value.
template <BitLoad L, uint16_t T, Conv C>
void decodeColumn(const MdfReadChannel& ch, const uint8_t* data, const uint32_t* offsets, uint64_t stride,
                  uint32_t n, double* out, uint8_t* codes) {
    // Word loads: loadShift + bitCount <= 64, so the sign bit reaches bit 63 with 64 - bitCount - loadShift.
    const uint8_t signLeft =
        static_cast<uint8_t>(L == BitLoad::Bytes ? ch.signShift : ch.signShift - ch.loadShift);
    const Extractor x{data,         stride,   ch.mask,   ch.loadByte, ch.loadShift,
                      ch.signShift, signLeft, ch.factor, ch.offset};
    auto one = [&](const uint8_t* record, uint32_t i) {
        const double raw = rawValue<L, T>(x, ch, record);
        if constexpr (C == Conv::None) {
            out[i] = raw;
        } else if constexpr (C == Conv::Linear) {
            out[i] = raw * x.factor + x.offset;
        } else {
            double y = 0.0;
            codes[i] = static_cast<uint8_t>(convertToPhysical(*ch.info, raw, y));
            out[i] = y;
        }
    };
    if (offsets) {
        for (uint32_t i = 0; i < n; ++i) one(x.data + offsets[i], i);
    } else {
        const uint8_t* record = x.data;
        for (uint32_t i = 0; i < n; ++i, record += x.stride) one(record, i);
    }
}

template <BitLoad L, uint16_t T>
MdfColumnDecoder withConversion(Conv c) {
    switch (c) {
        case Conv::None:
            return &decodeColumn<L, T, Conv::None>;
        case Conv::Linear:
            return &decodeColumn<L, T, Conv::Linear>;
        default:
            return &decodeColumn<L, T, Conv::Other>;
    }
}

template <BitLoad L>
MdfColumnDecoder withType(uint16_t type, Conv c) {
    switch (type) {
        case MDF_UINT:
            return withConversion<L, MDF_UINT>(c);
        case MDF_SINT:
            return withConversion<L, MDF_SINT>(c);
        case MDF_FLOAT:
            return withConversion<L, MDF_FLOAT>(c);
        default:
            return withConversion<L, MDF_DOUBLE>(c);
    }
}

}  // namespace

MdfColumnDecoder columnDecoder(const MdfReadChannel& ch) {
    if (!ch.readable || ch.bitCount == 0) return nullptr;
    if (ch.dataType > MDF_DOUBLE || (ch.dataType == MDF_FLOAT && ch.bitCount != 32) ||
        (ch.dataType == MDF_DOUBLE && ch.bitCount != 64))
        return nullptr;
    switch (ch.load) {
        case BitLoad::WordLittle:
            return withType<BitLoad::WordLittle>(ch.dataType, ch.conv);
        case BitLoad::WordBig:
            return withType<BitLoad::WordBig>(ch.dataType, ch.conv);
        default:
            return withType<BitLoad::Bytes>(ch.dataType, ch.conv);
    }
}

uint32_t MdfFileImage::physicalSlow(uint16_t channel, uint32_t record, double& out) const {
    const MdfReadChannel* ch = nullptr;
    const uint8_t* rec = nullptr;
    if (const uint32_t rc = locate(channel, record, ch, rec); rc != MDF_OK) return rc;
    if (!ch->readable) return MDF_ERR_DATA_TYPE;
    if (!ch->decode) {
        double raw, phys;
        if (!rawAsDouble(*ch, extractBits(*ch, rec), raw)) return MDF_ERR_DATA_TYPE;
        if (const uint32_t rc = toPhysical(*ch, raw, phys); rc != MDF_OK) return rc;
        out = phys;
        return MDF_OK;
    }
    MdfGroupRuns& group = m_runs[ch->group];
    const uint32_t run = group.run;
    const size_t storage = size_t{group.channels} * (run + MdfGroupRuns::kColumnPad);
    if (!group.values) group.values.reset(new double[storage]);
    if (ch->conv == Conv::Other && !group.codes) group.codes.reset(new uint8_t[storage]);
    const size_t at = size_t{channel - group.firstChannel} * (run + MdfGroupRuns::kColumnPad);
    double* values = group.values.get() + at;
    uint8_t* codes = ch->conv == Conv::Other ? group.codes.get() + at : nullptr;
    const uint32_t first = record - record % run;
    const uint32_t n = std::min(run, ch->count - first);
    decodeRecords(*ch, first, n, values, codes);
    MdfColumn& col = m_columns[channel];
    col.values = values;
    col.codes = codes;
    col.first = first;
    col.size = n;
    const uint32_t i = record - first;
    if (col.codes && col.codes[i] != MDF_OK) return col.codes[i];
    out = col.values[i];
    return MDF_OK;
}

// Record `first` in one of the group's windows, with the rest of its window after it: the window that holds
// it, or the least recently used one read over. Null when the group is decoded from the mapping (its windows
// are off, there is no file, or the read fails).
const uint8_t* MdfFileImage::recordWindow(MdfGroupRuns& group, uint32_t first) const {
    if (!group.block || m_fd < 0) return nullptr;
    const uint32_t start = first - first % group.window;
    MdfRecordWindow* w = nullptr;
    for (MdfRecordWindow& candidate : group.windows) {
        if (candidate.size > 0 && candidate.first == start) {
            w = &candidate;
            break;
        }
        if (!w || candidate.used < w->used) w = &candidate;
    }
    w->used = ++m_windowUses;
    if (w->size == 0 || w->first != start) {
        if (!w->bytes) w->bytes.reset(new uint8_t[group.window * group.stride]);
        w->size = 0;
        const uint32_t n = std::min(group.window, group.count - start);
        const uint64_t bytes = n * group.stride;
        uint64_t done = 0;
        while (done < bytes) {
            const ssize_t got = ::pread(m_fd, w->bytes.get() + done, bytes - done,
                                        static_cast<off_t>(group.start + start * group.stride + done));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return nullptr;
            done += static_cast<uint64_t>(got);
        }
        w->first = start;
        w->size = n;
    }
    return w->bytes.get() + (first - start) * group.stride;
}

// Records first .. first + n - 1 of a channel through its decoder, window by window from the group's block,
// or from the mapping.
void MdfFileImage::decodeRecords(const MdfReadChannel& ch, uint32_t first, uint32_t n, double* out,
                                 uint8_t* codes) const {
    if (ch.offsets) {
        ch.decode(ch, m_data, ch.offsets + first, 0, n, out, codes);
        return;
    }
    MdfGroupRuns& group = m_runs[ch.group];
    while (n > 0) {
        const uint32_t piece = std::min(n, group.window - first % group.window);
        const uint8_t* records = recordWindow(group, first);
        if (!records) break;
        ch.decode(ch, records + ch.idBytes, nullptr, ch.stride, piece, out, codes);
        first += piece;
        n -= piece;
        out += piece;
        if (codes) codes += piece;
    }
    if (n > 0)
        ch.decode(ch, m_data + ch.baseOffset + uint64_t{first} * ch.stride, nullptr, ch.stride, n, out,
                  codes);
}

uint32_t MdfFileImage::physicalRange(uint16_t channel, uint32_t first, uint32_t count, double* out) const {
    if (!m_data) return MDF_ERR_NO_DATA;
    if (channel >= m_readChannelCount) return MDF_ERR_CHANNEL;
    const MdfReadChannel& ch = m_readChannels[channel];
    if (first > ch.count || count > ch.count - first) return MDF_ERR_RECORD_INDEX;
    if (!ch.readable) return MDF_ERR_DATA_TYPE;
    if (count == 0) return MDF_OK;
    uint32_t result = MDF_OK;
    if (!ch.decode) {
        double raw;
        if (!rawAsDouble(ch, 0, raw)) return MDF_ERR_DATA_TYPE;  // the data type, whatever the bits
        for (uint32_t i = 0; i < count; ++i) {
            rawAsDouble(
                ch,
                extractBits(ch, m_data + (ch.offsets ? ch.offsets[first + i]
                                                     : ch.baseOffset + uint64_t{first + i} * ch.stride)),
                raw);
            if (const uint32_t rc = toPhysical(ch, raw, out[i]); rc != MDF_OK) {
                out[i] = std::numeric_limits<double>::quiet_NaN();
                result = rc;
            }
        }
        return result;
    }
    if (ch.conv != Conv::Other) {
        decodeRecords(ch, first, count, out, nullptr);
        return MDF_OK;
    }
    // Conversions that can fail: decoded piece by piece with each value's result code.
    uint8_t codes[1024];
    while (count > 0) {
        const uint32_t piece = std::min<uint32_t>(count, sizeof codes);
        decodeRecords(ch, first, piece, out, codes);
        for (uint32_t i = 0; i < piece; ++i) {
            if (codes[i] == MDF_OK) continue;
            out[i] = std::numeric_limits<double>::quiet_NaN();
            result = codes[i];
        }
        first += piece;
        count -= piece;
        out += piece;
    }
    return result;
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
