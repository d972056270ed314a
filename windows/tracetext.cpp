#include "windows/tracetext.h"

#include <charconv>
#include <cstring>

namespace trace {
namespace {

struct ColumnDef {
    const char* title;
    int width;
};
constexpr ColumnDef kColumns[kColumnCount] = {
    {"名称", 180}, {"ID", 90},   {"报文类型", 80}, {"帧类型", 80}, {"时间[ms]", 120}, {"方向", 80},
    {"通道", 80},  {"长度", 80}, {"d[0]", 40},     {"d[1]", 40},   {"d[2]", 40},      {"d[3]", 40},
    {"d[4]", 40},  {"d[5]", 40}, {"d[6]", 40},     {"d[7]", 40},
};

void appendDataByte(const tCAN_MSG_TRACE_DATA& row, int n, bool numHex, CellText& out) {
    if (n >= row.Dlc) {
        out.Append("--");
    } else if (numHex) {
        out.AppendHex(row.Data[n], 2);
    } else {
        out.AppendUnsigned(row.Data[n]);
    }
}

// The largest double in fixed notation with up to six decimals fits.
constexpr size_t kFixedChars = 400;

std::string_view fixedChars(double value, int decimals, char (&buf)[kFixedChars]) {
    const auto r = std::to_chars(buf, buf + kFixedChars, value, std::chars_format::fixed, decimals);
    if (r.ec != std::errc()) return "0";
    return std::string_view(buf, static_cast<size_t>(r.ptr - buf));
}

QString toQString(const CellText& text) {
    const std::string_view v = text.View();
    return QString::fromUtf8(v.data(), static_cast<qsizetype>(v.size()));
}

}  // namespace

void CellText::Append(std::string_view text) {
    if (!m_long && m_len + text.size() <= kInline) {
        if (!text.empty()) std::memcpy(m_buf + m_len, text.data(), text.size());
        m_len += text.size();
        return;
    }
    if (!m_long) {
        m_spill.assign(m_buf, m_len);
        m_long = true;
    }
    m_spill.append(text);
}

void CellText::AppendUnsigned(uint32_t value) {
    char buf[16];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    Append(std::string_view(buf, static_cast<size_t>(r.ptr - buf)));
}

void CellText::AppendSigned(int32_t value) {
    char buf[16];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    Append(std::string_view(buf, static_cast<size_t>(r.ptr - buf)));
}

void CellText::AppendHex(uint32_t value, int width) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    char buf[8];
    int n = 0;
    do {
        buf[7 - n++] = kDigits[value & 0xFu];
        value >>= 4;
    } while (value != 0);
    for (; n < width && n < 8; ++n) buf[7 - n] = '0';
    Append(std::string_view(buf + 8 - n, static_cast<size_t>(n)));
}

void CellText::AppendFixed(double value, int decimals) {
    char buf[kFixedChars];
    Append(fixedChars(value, decimals, buf));
}

QString ColumnTitle(int column) {
    return QString::fromUtf8(kColumns[column].title);
}

int ColumnWidth(int column) {
    return kColumns[column].width;
}

Qt::Alignment ColumnAlignment(int column) {
    return column == kName ? (Qt::AlignLeft | Qt::AlignVCenter) : Qt::AlignCenter;
}

void FormListCell(const tCAN_MSG_TRACE_DATA& row, int column, const tCFG_SET_TRACE& settings, CellText& out) {
    out.Clear();
    switch (column) {
        case kName:
            if (settings.OnLine == 0) return;
            out.AppendUnsigned(row.SeqNo);
            out.Append("  ");
            out.Append(row.MsgName());
            return;
        case kId:
            if (settings.NumHex) {
                out.Append("0x");
                out.AppendHex(row.MsgId, 8);
            } else {
                out.AppendUnsigned(row.MsgId);
            }
            return;
        case kIdType:
            out.Append(row.Ext ? "Extended" : "Standard");
            return;
        case kFrameType:
            out.Append(row.Remote ? "Remote" : "Data");
            return;
        case kTime:
            out.AppendFixed(settings.DeltaTime ? row.DeltaMs : row.TimeMs, 3);
            return;
        case kDir:
            out.Append(row.Dir ? "Tx" : "Rx");
            return;
        case kChan:
            out.AppendUnsigned(row.Chan);
            return;
        case kLen:
            out.AppendUnsigned(row.Dlc);
            return;
        default:
            if (column > kLen && column < kColumnCount)
                appendDataByte(row, column - kData0, settings.NumHex, out);
            return;
    }
}

QString ListText(const tCAN_MSG_TRACE_DATA& row, int column, const tCFG_SET_TRACE& settings) {
    CellText text;
    FormListCell(row, column, settings, text);
    return toQString(text);
}

void FormTreeCell(const tCAN_MSG_TRACE_DATA& row, int column, const tCFG_SET_TRACE& settings, CellText& out) {
    out.Clear();
    switch (column) {
        case kName:
            out.Append(row.MsgName());
            return;
        case kId:
            if (!settings.NumHex) {
                out.AppendUnsigned(row.MsgId);
            } else {
                out.Append("0x");
                out.AppendHex(row.MsgId, row.Ext ? 8 : 3);
            }
            return;
        case kIdType:
            out.Append(row.Ext ? "ext" : "std");
            return;
        case kFrameType:
            out.Append(row.Remote ? "rmt" : "dat");
            return;
        case kTime: {
            // "%f" without trailing zeros and then without a trailing point.
            char buf[kFixedChars];
            std::string_view text = fixedChars(settings.DeltaTime ? row.DeltaMs : row.TimeMs, 6, buf);
            if (text.find('.') != std::string_view::npos) {
                while (!text.empty() && text.back() == '0') text.remove_suffix(1);
                if (!text.empty() && text.back() == '.') text.remove_suffix(1);
            }
            out.Append(text);
            return;
        }
        case kDir:
            out.Append(row.Dir ? "tx" : "rx");
            return;
        default:
            FormListCell(row, column, settings, out);
            return;
    }
}

QString TreeText(const tCAN_MSG_TRACE_DATA& row, int column, const tCFG_SET_TRACE& settings) {
    CellText text;
    FormTreeCell(row, column, settings, text);
    return toQString(text);
}

void FormSignalCell(const CCanSignal& signal, const uint8_t (&data)[8], int column, bool numHex,
                    CellText& out) {
    out.Clear();
    const CCanSignal::ConstData bytes(data);
    switch (column) {
        case 0:
            out.Append(signal.Name);
            return;
        case 1:
        case 2: {
            double phy = 0.0;
            std::string& text = out.Scratch();
            text.clear();
            if (signal.Sign) {
                int32_t raw = 0;
                if (!signal.GetSignedRawValue(bytes, raw)) return out.Append("--");
                if (column == 1) {
                    return numHex ? out.AppendHex(static_cast<uint32_t>(raw)) : out.AppendSigned(raw);
                }
                if (!signal.SignedRawToPhyText(raw, phy, text)) return out.Append("--");
            } else {
                uint32_t raw = 0;
                if (!signal.GetRawValue(bytes, raw)) return out.Append("--");
                if (column == 1) return numHex ? out.AppendHex(raw) : out.AppendUnsigned(raw);
                if (!signal.UnsignedRawToPhyText(raw, phy, text)) return out.Append("--");
            }
            out.Append(text);
            return;
        }
        case 3:
            out.Append(signal.Unit);
            return;
        default:
            return;
    }
}

QString SignalText(const CCanSignal& signal, const uint8_t (&data)[8], int column, bool numHex) {
    CellText text;
    FormSignalCell(signal, data, column, numHex, text);
    return toQString(text);
}

}  // namespace trace
