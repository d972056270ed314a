#include "logging/canmsgmdflogfile.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "platform/clock.h"
#include "platform/numconv.h"

namespace {

struct ChannelRole {
    const char* name;
    uint16_t startBit;
    uint16_t bits;
    uint16_t dataType;
    uint16_t channelType;
};

constexpr ChannelRole kRoles[kMdfLogChannels] = {
    {"type", 0, 8, MDF_UINT, 0},     {"can", 8, 16, MDF_SINT, 0},     {"id", 24, 32, MDF_SINT, 0},
    {"dir", 56, 8, MDF_UINT, 0},     {"rtr", 64, 8, MDF_UINT, 0},     {"dlc", 72, 8, MDF_UINT, 0},
    {"msg[0]", 80, 8, MDF_UINT, 0},  {"msg[1]", 88, 8, MDF_UINT, 0},  {"msg[2]", 96, 8, MDF_UINT, 0},
    {"msg[3]", 104, 8, MDF_UINT, 0}, {"msg[4]", 112, 8, MDF_UINT, 0}, {"msg[5]", 120, 8, MDF_UINT, 0},
    {"msg[6]", 128, 8, MDF_UINT, 0}, {"msg[7]", 136, 8, MDF_UINT, 0}, {"msgtime", 144, 32, MDF_UINT, 1},
};
enum Role { kType, kCan, kId, kDir, kRtr, kDlc, kMsg0, kTime = 14 };

constexpr double kLap = 4294967296.0;

std::string printf2(const char* format, int a, int b, int c) {
    char text[64];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

// The low bits of an integer channel's value (integers of at most 32 bits are exact as doubles).
int64_t whole(double value) {
    return vex::SaturateTrunc<int64_t>(value);
}

bool identity(const tMDF_CN_INFO& cn) {
    if (cn.convPresent == 0 || cn.convType == MDF_CONV_IDENTITY) return true;
    return cn.convType == MDF_CONV_LINEAR && cn.params[0] == 0.0 && cn.params[1] == 1.0;
}

}  // namespace

tMDF_FILE MdfCreatedFileDesc(const std::tm& local, std::string programId, std::string comment,
                             std::string author) {
    tMDF_FILE desc;
    desc.fileId = "MDF     ";
    desc.formatId = "3.00";
    desc.programId = std::move(programId);
    desc.byteOrder = 0;
    desc.floatFormat = 0;
    desc.version = 300;
    desc.comment = std::move(comment);
    desc.date = printf2("%02d:%02d:%04d", local.tm_mday, local.tm_mon + 1, local.tm_year + 1900);
    desc.time = printf2("%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
    desc.author = std::move(author);
    desc.organisation = "Mdf file create";
    desc.project = "mdf create test project";
    desc.subject = "mdf(ver300) create";
    return desc;
}

std::string MdfWriteFailureText(const CLorimar& mdf, const std::string& path, uint32_t result,
                                bool creating) {
    const std::string lead = (creating ? "无法创建文件 " : "无法写入文件 ") + path;
    const tMDF_FILE_ERROR& error = mdf.LastFileError();
    if (error.reason.empty()) return lead + "（" + std::to_string(result) + "）。";
    if (error.temporaryStore)
        return lead + "：临时文件夹 " + error.path + " 中的临时记录存储" +
               (creating ? "无法创建" : "写入失败") + "：" + error.reason;
    return lead + "：" + error.reason;
}

std::string MdfOpenFailureText(const CLorimar& mdf, const std::string& path, uint32_t result) {
    const std::string lead = "无法打开文件 " + path + "：";
    if (result == MDF_ERR_FILE && !mdf.LastFileError().reason.empty())
        return lead + mdf.LastFileError().reason;
    if (result == MDF_ERR_TOO_LARGE) return lead + "文件太大，或通道、数据组过多。";
    return lead + "不是可读的MDF文件（" + std::to_string(result) + "）。";
}

std::string MdfDamageText(const tMDF_FILE& file, const std::string& path) {
    std::string lines;
    size_t damaged = 0;
    for (size_t d = 0; d < file.dataGroups.size(); ++d) {
        const std::vector<tMDF_CG_INFO>& groups = file.dataGroups[d].channelGroups;
        for (size_t g = 0; g < groups.size(); ++g) {
            const tMDF_CG_INFO& cg = groups[g];
            if (cg.declaredRecordCount <= cg.recordCount) continue;
            if (++damaged > kMdfDamageLines) continue;
            lines += "\n数据组[" + std::to_string(d) + "]的通道组[" + std::to_string(g) + "]声明有" +
                     std::to_string(cg.declaredRecordCount) + "条记录，文件中只有" +
                     std::to_string(cg.recordCount) + "条。";
        }
    }
    if (damaged == 0) return {};
    if (damaged > kMdfDamageLines)
        lines += "\n另有" + std::to_string(damaged - kMdfDamageLines) + "个通道组的记录少于声明的数目。";
    return "文件 " + path + " 已损坏，只读取文件中完整的记录：" + lines;
}

tMDF_FILE MdfLogFileDesc(const std::tm& local) {
    tMDF_FILE desc = MdfCreatedFileDesc(local, "Vexarium", "Vexar mdf log file.", "Vexarium");
    tMDF_DG_INFO& dg = desc.dataGroups.emplace_back();
    dg.recordIdCount = 1;
    tMDF_CG_INFO& cg = dg.channelGroups.emplace_back();
    cg.comment = "CAN message";
    for (const ChannelRole& role : kRoles) {
        tMDF_CN_INFO& cn = cg.channels.emplace_back();
        cn.channelType = role.channelType;
        cn.shortName = role.name;
        cn.bitCount = role.bits;
        cn.dataType = role.dataType;
        cn.rangeValid = 0;
        cn.minimum = cn.maximum = cn.samplingRate = 0.0;
        cn.convPresent = 1;
        cn.convType = MDF_CONV_IDENTITY;
    }
    return desc;
}

std::string CheckMdfLogLayout(const tMDF_FILE& desc, uint16_t (&numbers)[kMdfLogChannels]) {
    const std::string lead = "不是MDF记录文件：";
    if (desc.dataGroups.size() != 1)
        return lead + "文件有" + std::to_string(desc.dataGroups.size()) + "个数据组，应为1个。";
    const tMDF_DG_INFO& dg = desc.dataGroups[0];
    if (dg.channelGroups.size() != 1)
        return lead + "数据组有" + std::to_string(dg.channelGroups.size()) + "个通道组，应为1个。";
    const tMDF_CG_INFO& cg = dg.channelGroups[0];
    if (cg.channels.size() != kMdfLogChannels)
        return lead + "通道组有" + std::to_string(cg.channels.size()) + "个通道，应为15个。";
    bool found[kMdfLogChannels] = {};
    for (const tMDF_CN_INFO& cn : cg.channels) {
        const ChannelRole* role = std::find_if(
            std::begin(kRoles), std::end(kRoles),
            [&](const ChannelRole& r) { return r.startBit == cn.startBit && r.bits == cn.bitCount; });
        const std::string name = "通道[" + cn.shortName + "]";
        if (role == std::end(kRoles))
            return lead + name + "的位置(" + std::to_string(cn.startBit) + "," + std::to_string(cn.bitCount) +
                   ")不在记录格式中。";
        const size_t k = static_cast<size_t>(role - kRoles);
        if (found[k]) return lead + name + "与另一通道的位置相同。";
        if (cn.dataType != MDF_UINT && cn.dataType != MDF_SINT) return lead + name + "不是整数通道。";
        if (!identity(cn)) return lead + name + "的转换不是一对一转换。";
        found[k] = true;
        numbers[k] = static_cast<uint16_t>(cn.channelNumber);
    }
    return {};
}

uint32_t MdfLogTimeUnits(double timeMs) {
    return static_cast<uint32_t>(static_cast<uint64_t>(vex::SaturateTrunc<int64_t>(timeMs * 100.0)));
}

CCanMsgMdfLogFile::CCanMsgMdfLogFile(LocalTime now) : m_Now(now != nullptr ? now : vex::NowLocalTm) {}

CCanMsgMdfLogFile::~CCanMsgMdfLogFile() = default;

bool CCanMsgMdfLogFile::OpenRead(const std::string& path, uint32_t& count, double& durationMs) {
    if (m_State != kNone) {
        m_LastError = "记录文件仍在使用，不能同时读取 " + path + "。";
        return false;
    }
    m_Damage.clear();
    if (const uint32_t result = m_Mdf.OpenMdfFile(path.data(), static_cast<int32_t>(path.size()));
        result != MDF_OK) {
        m_LastError = MdfOpenFailureText(m_Mdf, path, result);
        return false;
    }
    const std::string layout = CheckMdfLogLayout(m_Mdf.GetMdfFileInfo(), m_Numbers);
    if (!layout.empty()) {
        m_Mdf.CloseMdfFile();
        m_LastError = "文件 " + path + " " + layout;
        return false;
    }
    m_Count = m_Mdf.GetMdfFileInfo().dataGroups[0].channelGroups[0].recordCount;
    m_Damage = MdfDamageText(m_Mdf.GetMdfFileInfo(), path);
    m_State = kReading;
    if (!scanTimes()) {
        CloseRead();
        m_LastError = stopRequested() ? "读取记录文件已中断。" : "无法读取文件 " + path + " 的时间通道。";
        return false;
    }
    count = m_Count;
    durationMs = m_Duration;
    return true;
}

bool CCanMsgMdfLogFile::scanTimes() {
    m_Laps.clear();
    m_FirstTime = m_Duration = 0.0;
    if (m_Count == 0) return true;
    std::vector<double> run(kRunRecords);
    int64_t laps = 0;
    uint32_t previous = 0;
    for (uint32_t first = 0; first < m_Count; first += kRunRecords) {
        if (stopRequested()) return false;
        const uint32_t n = std::min(kRunRecords, m_Count - first);
        if (m_Mdf.GetChannelPhyData(m_Numbers[kTime], first, n, run.data()) != MDF_OK) return false;
        for (uint32_t k = 0; k < n; ++k) {
            const uint32_t raw = static_cast<uint32_t>(whole(run[k]));
            if (first + k > 0) {
                // A rising value never starts a lap (one across the wrap would be a gap of more than a
                // lap, which no reader can tell); a small step back is a frame out of order.
                if (int64_t{previous} - int64_t{raw} > int64_t{0x80000000})
                    m_Laps.emplace_back(first + k, ++laps);
            }
            previous = raw;
        }
    }
    m_FirstTime = RecordTime(0);
    // A file whose last record lies before its first has no duration.
    m_Duration = std::max(0.0, RecordTime(m_Count - 1) - m_FirstTime);
    return true;
}

double CCanMsgMdfLogFile::unwrapped(uint32_t index, double raw) const {
    const auto after =
        std::upper_bound(m_Laps.begin(), m_Laps.end(), index,
                         [](uint32_t i, const std::pair<uint32_t, int64_t>& lap) { return i < lap.first; });
    const int64_t laps = after == m_Laps.begin() ? 0 : std::prev(after)->second;
    return (static_cast<double>(laps) * kLap + raw) / 100.0;
}

double CCanMsgMdfLogFile::RecordTime(uint32_t index) const {
    double raw = 0.0;
    if (m_State != kReading || index >= m_Count ||
        m_Mdf.GetChannelPhyData(m_Numbers[kTime], index, raw) != MDF_OK)
        return 0.0;
    return unwrapped(index, static_cast<uint32_t>(whole(raw)));
}

void CCanMsgMdfLogFile::CloseRead() {
    if (m_State != kReading) return;
    m_Mdf.CloseMdfFile();
    m_State = kNone;
    m_Count = 0;
    m_FirstTime = m_Duration = 0.0;
    m_Laps.clear();
}

bool CCanMsgMdfLogFile::readRun(uint32_t first, uint32_t n, tCAN_RAW_MSG* out) {
    m_Columns.resize(size_t{kMdfLogChannels} * kRunRecords);
    for (int c = 0; c < kMdfLogChannels; ++c)
        if (m_Mdf.GetChannelPhyData(m_Numbers[c], first, n, m_Columns.data() + size_t(c) * kRunRecords) !=
            MDF_OK)
            return false;
    auto column = [&](int c, uint32_t k) { return whole(m_Columns[size_t(c) * kRunRecords + k]); };
    for (uint32_t k = 0; k < n; ++k) {
        tCAN_RAW_MSG& msg = out[k];
        const uint32_t id = static_cast<uint32_t>(column(kId, k));
        msg.Ext = (id & 0x80000000u) != 0 ? 1 : 0;
        msg.Id = msg.Ext ? id & 0x1FFFFFFFu : id & 0x7FFu;
        msg.Remote = column(kRtr, k) != 0 ? 1 : 0;
        msg.Dir = column(kDir, k) != 0 ? 1 : 0;
        msg.Chan = static_cast<uint8_t>(column(kCan, k));
        msg.Dlc = static_cast<uint8_t>(column(kDlc, k));
        for (int b = 0; b < 8; ++b) msg.Data[b] = static_cast<uint8_t>(column(kMsg0 + b, k));
        msg.TimeMs = unwrapped(first + k, static_cast<uint32_t>(column(kTime, k)));
    }
    return true;
}

bool CCanMsgMdfLogFile::ReadByIndex(uint32_t start, uint32_t number, tCAN_RAW_MSG* buffer, uint32_t capacity,
                                    uint32_t& count) {
    if (buffer == nullptr || m_State != kReading || start >= m_Count) return false;
    count = 0;
    if (uint64_t{start} + number > m_Count || number > capacity) return false;
    for (uint32_t done = 0; done < number;) {
        const uint32_t n = std::min(kRunRecords, number - done);
        if (!readRun(start + done, n, buffer + done)) return false;
        done += n;
        count = done;
    }
    return true;
}

bool CCanMsgMdfLogFile::ReadByTime(double offsetMs, double spanMs, tCAN_RAW_MSG* buffer, uint32_t capacity,
                                   uint32_t& count) {
    if (buffer == nullptr || m_State != kReading || m_Count == 0) return false;
    // The index of a record whose time equals the instant, else the first one after it, clamped to the
    // first and the last record (the ".crm" search).
    auto find = [&](double instant) {
        uint32_t low = 0, high = m_Count - 1;
        if (instant <= m_FirstTime) return low;
        if (instant >= RecordTime(high) || high <= 1) return high;
        while (high - low > 1) {
            const uint32_t mid = low + (high - low) / 2;
            const double t = RecordTime(mid);
            if (instant < t)
                high = mid;
            else if (instant == t)
                return mid;
            else
                low = mid;
        }
        return high;
    };
    const uint32_t a = find(m_FirstTime + offsetMs);
    const uint32_t b = find(m_FirstTime + offsetMs + spanMs);
    count = 0;
    if (b < a) return true;
    const uint64_t wanted = uint64_t{b} - a + 1;
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(wanted, capacity));
    for (uint32_t done = 0; done < n;) {
        const uint32_t run = std::min(kRunRecords, n - done);
        if (!readRun(a + done, run, buffer + done)) return false;
        done += run;
        count = done;
    }
    return wanted <= capacity;
}

bool CCanMsgMdfLogFile::OpenWrite(const std::string& path) {
    if (m_State != kNone) {
        m_LastError = "记录文件仍在使用，不能同时写入 " + path + "。";
        return false;
    }
    tMDF_FILE desc = MdfLogFileDesc(m_Now());
    if (const uint32_t result = m_Mdf.CreateMdfFile(desc); result != MDF_OK) {
        m_LastError = MdfWriteFailureText(m_Mdf, path, result, true);
        return false;
    }
    const tMDF_CG_INFO& cg = desc.dataGroups[0].channelGroups[0];
    for (int c = 0; c < kMdfLogChannels; ++c)
        m_Numbers[c] = static_cast<uint16_t>(cg.channels[c].channelNumber);
    m_Path = path;
    m_Slot = 0;
    m_State = kWriting;
    return true;
}

void CCanMsgMdfLogFile::WriteMsg(const tCAN_RAW_MSG& msg) {
    if (m_State != kWriting) return;
    const uint8_t slot = m_Slot++;
    m_Mdf.InputSamplingData(m_Numbers[kType], slot, uint32_t{0});
    m_Mdf.InputSamplingData(m_Numbers[kCan], slot, int32_t{msg.Chan});
    const uint32_t id = msg.Ext ? msg.Id | 0x80000000u : msg.Id;
    m_Mdf.InputSamplingData(m_Numbers[kId], slot, static_cast<int32_t>(id));
    m_Mdf.InputSamplingData(m_Numbers[kDir], slot, uint32_t{msg.Dir != 0});
    m_Mdf.InputSamplingData(m_Numbers[kRtr], slot, uint32_t{msg.Remote != 0});
    m_Mdf.InputSamplingData(m_Numbers[kDlc], slot, uint32_t{msg.Dlc});
    for (int b = 0; b < 8; ++b) m_Mdf.InputSamplingData(m_Numbers[kMsg0 + b], slot, uint32_t{msg.Data[b]});
    m_Mdf.InputSamplingData(m_Numbers[kTime], slot, MdfLogTimeUnits(msg.TimeMs));
}

bool CCanMsgMdfLogFile::CloseWrite() {
    if (m_State != kWriting) {
        m_LastError = "没有正在写入的MDF记录文件。";
        return false;
    }
    m_State = kNone;
    if (const uint32_t result = m_Mdf.SaveMdfFile(m_Path.data(), static_cast<int32_t>(m_Path.size()));
        result != MDF_OK) {
        m_LastError = MdfWriteFailureText(m_Mdf, m_Path, result, false);
        return false;
    }
    return true;
}
