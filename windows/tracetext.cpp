#include "windows/tracetext.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <string>

#include "platform/numparse.h"

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

template <class... Args>
QString format(const char* fmt, Args... args) {
    char buf[64];
    const int n = std::snprintf(buf, sizeof buf, fmt, args...);
    return QString::fromLatin1(buf, n < 0 ? 0 : std::min<int>(n, sizeof buf - 1));
}

QString dataByte(const tCAN_MSG_TRACE_DATA& row, int n, bool numHex) {
    if (n >= row.Dlc) return QStringLiteral("--");
    return numHex ? format("%02X", unsigned{row.Data[n]}) : format("%u", unsigned{row.Data[n]});
}

// "%f" without trailing zeros and then without a trailing point.
QString trimmedFixed(double value) {
    std::string text = vex::FormatFixed(value, 6);
    if (text.find('.') != std::string::npos) {
        while (!text.empty() && text.back() == '0') text.pop_back();
        if (!text.empty() && text.back() == '.') text.pop_back();
    }
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

QString ColumnTitle(int column) {
    return QString::fromUtf8(kColumns[column].title);
}

int ColumnWidth(int column) {
    return kColumns[column].width;
}

QString ListText(const tCAN_MSG_TRACE_DATA& row, int column, const tCFG_SET_TRACE& settings) {
    switch (column) {
        case kName:
            if (settings.OnLine == 0) return {};
            return format("%" PRIu32 "  ", row.SeqNo) + QString::fromStdString(row.MsgName());
        case kId:
            return settings.NumHex ? format("0x%08" PRIX32, row.MsgId) : format("%" PRIu32, row.MsgId);
        case kIdType:
            return row.Ext ? QStringLiteral("Extended") : QStringLiteral("Standard");
        case kFrameType:
            return row.Remote ? QStringLiteral("Remote") : QStringLiteral("Data");
        case kTime:
            return QString::fromStdString(vex::FormatFixed(settings.DeltaTime ? row.DeltaMs : row.TimeMs, 3));
        case kDir:
            return row.Dir ? QStringLiteral("Tx") : QStringLiteral("Rx");
        case kChan:
            return format("%u", unsigned{row.Chan});
        case kLen:
            return format("%u", unsigned{row.Dlc});
        default:
            if (column > kLen && column < kColumnCount)
                return dataByte(row, column - kData0, settings.NumHex);
            return {};
    }
}

QString TreeText(const tCAN_MSG_TRACE_DATA& row, int column, const tCFG_SET_TRACE& settings) {
    switch (column) {
        case kName:
            return QString::fromStdString(row.MsgName());
        case kId:
            if (!settings.NumHex) return format("%" PRIu32, row.MsgId);
            return row.Ext ? format("0x%08" PRIX32, row.MsgId) : format("0x%03" PRIX32, row.MsgId);
        case kIdType:
            return row.Ext ? QStringLiteral("ext") : QStringLiteral("std");
        case kFrameType:
            return row.Remote ? QStringLiteral("rmt") : QStringLiteral("dat");
        case kTime:
            return trimmedFixed(settings.DeltaTime ? row.DeltaMs : row.TimeMs);
        case kDir:
            return row.Dir ? QStringLiteral("tx") : QStringLiteral("rx");
        default:
            return ListText(row, column, settings);
    }
}

QString SignalText(const CCanSignal& signal, const uint8_t (&data)[8], int column, bool numHex) {
    const CCanSignal::ConstData bytes(data);
    switch (column) {
        case 0:
            return QString::fromStdString(signal.Name);
        case 1:
        case 2: {
            double phy = 0.0;
            std::string text;
            if (signal.Sign) {
                int32_t raw = 0;
                if (!signal.GetSignedRawValue(bytes, raw)) return QStringLiteral("--");
                if (column == 1) {
                    return numHex ? format("%" PRIX32, static_cast<uint32_t>(raw)) : format("%" PRId32, raw);
                }
                if (!signal.SignedRawToPhyText(raw, phy, text)) return QStringLiteral("--");
            } else {
                uint32_t raw = 0;
                if (!signal.GetRawValue(bytes, raw)) return QStringLiteral("--");
                if (column == 1) return numHex ? format("%" PRIX32, raw) : format("%" PRIu32, raw);
                if (!signal.UnsignedRawToPhyText(raw, phy, text)) return QStringLiteral("--");
            }
            return QString::fromStdString(text);
        }
        case 3:
            return QString::fromStdString(signal.Unit);
        default:
            return {};
    }
}

}  // namespace trace
