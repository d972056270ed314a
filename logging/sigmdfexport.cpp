#include "logging/sigmdfexport.h"

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <unordered_set>
#include <utility>

#include "logging/canmsgmdflogfile.h"
#include "platform/clock.h"

namespace {

// The value-table entries that the trace shows, each with the raw value it is shown for: an entry that no
// raw value is shown through never appears in the trace and is left out, and of two entries for one value
// the later text counts, as in the trace (at the place of the first).
struct ShownEntry {
    int32_t val;
    int64_t raw;
    std::string_view txt;
};
std::vector<ShownEntry> shownEntries(const CCanSignal& s) {
    std::vector<ShownEntry> shown;
    for (const tCAN_SIGNAL_ENUM_ITEM& item : s.SigEnum.Items) {
        int64_t raw = 0;
        int32_t val = 0;
        if (!s.EnumValueToRaw(item.val, raw) || !s.RawToEnumValue(raw, val) || val != item.val) continue;
        auto same =
            std::find_if(shown.begin(), shown.end(), [val](const ShownEntry& e) { return e.val == val; });
        if (same != shown.end())
            same->txt = item.txt;
        else
            shown.push_back({val, raw, item.txt});
    }
    return shown;
}

// Whether a value-table signal's channel holds its texts as a value-to-text table: only where raw and
// physical values agree. A table over raw values under a physical unit would show a scaled signal's raw
// numbers as physical ones (gearbox oil at 80 degC as 140 degC), so a scaled signal keeps its linear
// conversion and names its texts in the channel comment.
bool keepsTextTable(const CCanSignal& s) {
    return s.Enum && s.ValFactor == 1.0 && s.ValOffset == 0.0;
}

// The value-to-text table of an unscaled value-table signal, keyed by the raw values the channel holds,
// so a reader shows the text the trace shows for that raw value. Cut at kMaxTextTableItems entries.
std::vector<tMDF_CN_TEXT_ITEM> textTableOf(const CCanSignal& s) {
    std::vector<tMDF_CN_TEXT_ITEM> table;
    for (const ShownEntry& e : shownEntries(s)) {
        if (table.size() == kMaxTextTableItems) break;
        table.push_back({static_cast<double>(e.raw), std::string(e.txt)});
    }
    return table;
}

// The texts of a scaled value-table signal for its channel comment, "194=NoDataExists; 195=Faulty", by
// physical value. Whole entries only, ending in "..." when more did not fit: the comment stays within what a
// text block of the file keeps (UTF-8 never takes fewer bytes than its GBK form), so no entry is cut.
std::string valueTableComment(const CCanSignal& s) {
    static constexpr std::string_view kMore = "...";
    static constexpr std::string_view kSep = "; ";
    const std::vector<ShownEntry> entries = shownEntries(s);
    std::string comment;
    for (size_t i = 0; i < entries.size(); ++i) {
        std::string item = std::to_string(entries[i].val) + "=" + std::string(entries[i].txt);
        if (!comment.empty()) item.insert(0, kSep);
        const size_t reserve = i + 1 == entries.size() ? 0 : kSep.size() + kMore.size();
        if (comment.size() + item.size() + reserve > kMdfMaxBlockText) {
            if (!comment.empty()) comment += kSep;
            comment += kMore;
            break;
        }
        comment += item;
    }
    return comment;
}

// The raw value sign-extended from `bits` bits (two's complement over the whole range).
int32_t signExtend(uint32_t raw, uint8_t bits) {
    if (bits >= 32) return static_cast<int32_t>(raw);
    const uint32_t sign = 1u << (bits - 1);
    return static_cast<int32_t>((raw ^ sign) - sign);
}

}  // namespace

std::string ExportSignalProblem(const CCanSignal& signal) {
    static constexpr uint8_t kZeros[8] = {};
    uint32_t raw = 0;
    if (signal.GetRawValue(CCanSignal::ConstData(kZeros), raw)) return {};
    return "信号[" + signal.Name + "]的位置区域(" + std::to_string(signal.BitOffset) + "," +
           std::to_string(signal.BitLen) + ")不在报文的8个数据字节之内，不能导出。";
}

bool BuildExportList(std::span<const tEXPORT_SIG_SEL> selection, const ExportMsgLookup& lookup,
                     std::vector<tEXPORT_MSG>& list, std::string& error) {
    list.clear();
    for (const tEXPORT_SIG_SEL& sel : selection) {
        if (sel.MsgKey == kFreeMsgKey || !sel.Selected) continue;
        auto msg = std::find_if(list.begin(), list.end(),
                                [&](const tEXPORT_MSG& m) { return m.MsgKey == sel.MsgKey; });
        if (msg == list.end()) {
            msg = list.emplace(list.end());
            msg->MsgKey = sel.MsgKey;
        }
        msg->Sigs.emplace_back().Name = sel.SigName;
    }
    for (tEXPORT_MSG& msg : list) {
        const CCanMsg* db = lookup ? lookup(msg.MsgKey) : nullptr;
        char key[16];
        std::snprintf(key, sizeof key, "%X", msg.MsgKey & 0x1FFFFFFFu);
        if (db == nullptr) {
            error = std::string("CAN数据库中没有报文[") + key + "]。";
            return false;
        }
        for (tEXPORT_SIG& sig : msg.Sigs) {
            auto found = std::find_if(db->Signals.begin(), db->Signals.end(),
                                      [&](const CCanSignal& s) { return s.Name == sig.Name; });
            if (found == db->Signals.end()) {
                error = "CAN数据库的报文[" + db->Name + "]中没有信号[" + sig.Name + "]。";
                return false;
            }
            sig.Signal = *found;
            if (std::string problem = ExportSignalProblem(sig.Signal); !problem.empty()) {
                error = std::move(problem);
                return false;
            }
        }
    }
    return true;
}

tMDF_FILE BuildMdfFileDesc(const std::vector<tEXPORT_MSG>& list, const std::tm& local) {
    tMDF_FILE desc = MdfCreatedFileDesc(local, "Dolmek 7", "Vexar mdf file.", "Vexar2");
    for (const tEXPORT_MSG& msg : list) {
        tMDF_DG_INFO& dg = desc.dataGroups.emplace_back();
        dg.recordIdCount = 0;
        tMDF_CG_INFO& cg = dg.channelGroups.emplace_back();
        for (const tEXPORT_SIG& sig : msg.Sigs) {
            const CCanSignal& s = sig.Signal;
            tMDF_CN_INFO& cn = cg.channels.emplace_back();
            cn.channelType = 0;
            cn.shortName = s.Name;
            cn.bitCount = s.BitLen;
            cn.dataType = s.Sign ? MDF_SINT : MDF_UINT;
            cn.convPresent = 1;
            if (keepsTextTable(s)) {
                cn.convType = MDF_CONV_TEXT_TABLE;
                cn.textTable = textTableOf(s);
            } else {
                cn.convType = MDF_CONV_LINEAR;
                cn.params[0] = s.ValOffset;
                cn.params[1] = s.ValFactor;
                if (s.Enum) cn.comment = valueTableComment(s);
            }
            cn.unit = s.Unit;
        }
        tMDF_CN_INFO& time = cg.channels.emplace_back();
        time.channelType = 1;
        time.shortName = "timestamp";
        time.bitCount = 64;
        time.dataType = MDF_DOUBLE;
        time.convPresent = 1;
        time.convType = MDF_CONV_LINEAR;
        time.params[0] = 0.0;
        time.params[1] = 0.001;
        time.unit = "s";
    }
    return desc;
}

bool CollectMsgKeys(CCanMsgFile& log, uint32_t count, std::vector<uint32_t>& keys,
                    const std::function<bool(uint32_t done)>& progress) {
    keys.clear();
    std::unordered_set<uint32_t> seen;
    std::vector<tCAN_RAW_MSG> frames(CSigMdfExportJob::kChunk);
    auto add = [&](const tCAN_RAW_MSG& msg) {
        if (seen.insert(MsgKeyOf(msg)).second) keys.push_back(MsgKeyOf(msg));
    };
    for (uint32_t i = 0; i < count;) {
        const uint32_t n = std::min(CSigMdfExportJob::kChunk, count - i);
        uint32_t got = 0;
        if (log.ReadByIndex(i, n, frames.data(), n, got) && got == n) {
            for (uint32_t k = 0; k < n; ++k) add(frames[k]);
        } else {
            // Record by record: one that cannot be read adds nothing.
            for (uint32_t k = 0; k < n; ++k)
                if (log.ReadByIndex(i + k, 1, frames.data(), 1, got) && got == 1) add(frames[0]);
        }
        i += n;
        if (progress && !progress(i)) return false;
    }
    return true;
}

CLogScanJob::CLogScanJob(CCanMsgFile& log, std::string path) : m_Log(log), m_Path(std::move(path)) {}

CLogScanJob::~CLogScanJob() {
    Finish();
}

bool CLogScanJob::Run() {
    m_Log.CloseRead();
    m_Log.SetStopFlag(&StopFlag());
    uint32_t count = 0;
    double duration = 0.0;
    const bool opened = m_Log.OpenRead(m_Path, count, duration);
    m_Log.SetStopFlag(nullptr);
    if (!opened) return StopRequested() ? false : fail(m_Log.LastError());
    setCount(count);
    setPhase(Phase::Running);
    const bool read = CollectMsgKeys(m_Log, count, m_Keys, [this, count](uint32_t done) {
        setIndex(done, count);
        return !StopRequested();
    });
    if (!read) {
        m_Log.CloseRead();
        m_Keys.clear();
        return false;
    }
    m_RecordCount = count;
    m_Duration = duration;
    return true;
}

CSigMdfExportJob::CSigMdfExportJob(CCanMsgFile& log, uint32_t count, std::vector<tEXPORT_MSG> list,
                                   std::string path, LocalTime now)
    : m_Log(log),
      m_RecordCount(count),
      m_List(std::move(list)),
      m_Path(std::move(path)),
      m_Now(now != nullptr ? now : vex::NowLocalTm) {}

CSigMdfExportJob::~CSigMdfExportJob() {
    Finish();
}

bool CSigMdfExportJob::Run() {
    setCount(m_RecordCount);
    if (m_List.empty()) return fail("没有选择导出的信号。");
    for (const tEXPORT_MSG& msg : m_List)
        for (const tEXPORT_SIG& sig : msg.Sigs)
            if (std::string problem = ExportSignalProblem(sig.Signal); !problem.empty()) return fail(problem);

    // Dropping the library object without a save leaves no file: every failure below does so.
    CLorimar mdf;
    tMDF_FILE desc = BuildMdfFileDesc(m_List, m_Now());
    if (const uint32_t result = mdf.CreateMdfFile(desc); result != MDF_OK)
        return fail(MdfWriteFailureText(mdf, m_Path, result, true));
    for (size_t g = 0; g < m_List.size(); ++g) {
        tEXPORT_MSG& msg = m_List[g];
        const std::vector<tMDF_CN_INFO>& channels = desc.dataGroups[g].channelGroups[0].channels;
        for (size_t s = 0; s < msg.Sigs.size(); ++s)
            msg.Sigs[s].ChanNo = static_cast<uint16_t>(channels[s].channelNumber);
        msg.TimeChanNo = static_cast<uint16_t>(channels.back().channelNumber);
        msg.Slot = 0;
    }
    // Message keys in ascending order with their list position, for the per-frame search.
    std::vector<std::pair<uint32_t, uint32_t>> byKey;
    for (uint32_t g = 0; g < m_List.size(); ++g) byKey.emplace_back(m_List[g].MsgKey, g);
    std::sort(byKey.begin(), byKey.end());

    setPhase(Phase::Started);
    setPhase(Phase::Running);
    std::vector<tCAN_RAW_MSG> frames(kChunk);
    for (uint32_t i = 0; i < m_RecordCount;) {
        if (StopRequested()) return false;
        const uint32_t n = std::min(kChunk, m_RecordCount - i);
        uint32_t got = 0;
        if (!m_Log.ReadByIndex(i, n, frames.data(), kChunk, got) || got != n) {
            // Record by record: one that cannot be read is skipped.
            got = 0;
            for (uint32_t k = 0; k < n; ++k) {
                tCAN_RAW_MSG one;
                uint32_t single = 0;
                if (m_Log.ReadByIndex(i + k, 1, &one, 1, single) && single == 1) frames[got++] = one;
            }
        }
        for (uint32_t k = 0; k < got; ++k) {
            const tCAN_RAW_MSG& frame = frames[k];
            const uint32_t key = MsgKeyOf(frame);
            const auto at = std::lower_bound(byKey.begin(), byKey.end(), std::make_pair(key, 0u));
            if (at == byKey.end() || at->first != key) continue;
            tEXPORT_MSG& msg = m_List[at->second];
            const uint8_t slot = msg.Slot++;
            for (const tEXPORT_SIG& sig : msg.Sigs) {
                uint32_t raw = 0;
                sig.Signal.GetRawValue(CCanSignal::ConstData(frame.Data), raw);
                if (sig.Signal.Sign)
                    mdf.InputSamplingData(sig.ChanNo, slot, signExtend(raw, sig.Signal.BitLen));
                else
                    mdf.InputSamplingData(sig.ChanNo, slot, raw);
            }
            mdf.InputSamplingData(msg.TimeChanNo, slot, frame.TimeMs);
        }
        i += n;
        setIndex(i, m_RecordCount);
    }
    setPhase(Phase::Saving);
    if (const uint32_t result = mdf.SaveMdfFile(m_Path.data(), static_cast<int32_t>(m_Path.size()));
        result != MDF_OK)
        return fail(MdfWriteFailureText(mdf, m_Path, result, false));
    return true;
}
