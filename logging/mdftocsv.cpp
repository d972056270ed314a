#include "logging/mdftocsv.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "platform/numconv.h"
#include "platform/numparse.h"
#include "platform/textcodec.h"
#include "platform/util/filewrite.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// printf("%0.6f") in the C locale.
void appendFixed6(std::string& out, double value) {
    char text[400];
    const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 6).ptr;
    out.append(text, end);
}

// Reads one channel's records in runs and finds the sample in force at rising times.
class ChannelCursor {
public:
    ChannelCursor(const CLorimar& mdf, const tTK_MDF_TO_CSV_CHAN_ITEM& item)
        : m_Mdf(mdf), m_Item(item), m_Times(CMdfToCsvJob::kRun), m_Values(CMdfToCsvJob::kRun) {}

    // The value of the last record whose time is not after t, when the next record's time is after t.
    // Every record passed on the way is also passed for any later t, so the search resumes where it
    // stopped: one export reads each record's time about once.
    bool valueAt(double t, double& value) {
        if (m_Item.RecordCount < 2) return false;
        const uint32_t last = m_Item.RecordCount - 1;
        uint32_t r = m_Record;
        bool found = false;
        while (r < last) {
            ensure(r);
            const double a = m_Times[r - m_Base];
            if (std::isnan(a)) {  // a time that cannot be read: the record is skipped
                ++r;
                continue;
            }
            if (t < a) break;
            if (t < m_Times[r + 1 - m_Base]) {
                found = true;
                break;
            }
            ++r;
        }
        m_Record = r;
        if (!found) return false;
        if (!m_ValuesLoaded) {
            read(m_Item.ChanNo, m_Values);
            m_ValuesLoaded = true;
        }
        value = m_Values[r - m_Base];
        return !std::isnan(value);
    }

private:
    // Records r and r + 1 in the current run.
    void ensure(uint32_t r) {
        if (r >= m_Base && r + 1 < m_Base + m_Count) return;
        m_Base = r;
        m_Count = std::min(CMdfToCsvJob::kRun, m_Item.RecordCount - r);
        read(m_Item.TimeChan, m_Times);
        m_ValuesLoaded = false;
    }
    // A run of a channel's physical values; values that cannot be read are NaN.
    void read(uint16_t channel, std::vector<double>& out) {
        const uint32_t result = m_Mdf.GetChannelPhyData(channel, m_Base, m_Count, out.data());
        if (result != MDF_OK && result != MDF_ERR_CONVERSION) std::fill_n(out.begin(), m_Count, kNaN);
    }

    const CLorimar& m_Mdf;
    const tTK_MDF_TO_CSV_CHAN_ITEM& m_Item;
    uint32_t m_Record = 0;
    uint32_t m_Base = 0;
    uint32_t m_Count = 0;
    bool m_ValuesLoaded = false;
    std::vector<double> m_Times;
    std::vector<double> m_Values;
};

}  // namespace

std::string MdfChannelTypeText(uint16_t dataType, uint16_t bitCount) {
    switch (dataType) {
        case MDF_UINT:
            return "UINT" + std::to_string(bitCount);
        case MDF_SINT:
            return "SINT" + std::to_string(bitCount);
        case MDF_FLOAT:
            return "float";
        case MDF_DOUBLE:
            return "double";
        default:
            return "UNKNOW";
    }
}

MdfCsvListing ListMdfCsvChannels(const CLorimar& mdf) {
    MdfCsvListing listing;
    bool first = true;
    const tMDF_FILE& file = mdf.GetMdfFileInfo();
    for (size_t d = 0; d < file.dataGroups.size(); ++d) {
        const tMDF_DG_INFO& dg = file.dataGroups[d];
        for (size_t g = 0; g < dg.channelGroups.size(); ++g) {
            const tMDF_CG_INFO& cg = dg.channelGroups[g];
            const auto time = std::find_if(cg.channels.begin(), cg.channels.end(),
                                           [](const tMDF_CN_INFO& cn) { return cn.channelType == 1; });
            if (time == cg.channels.end() || cg.recordCount == 0) continue;
            const uint16_t timeNo = static_cast<uint16_t>(time->channelNumber);
            double t0 = 0.0, t1 = 0.0;
            if (mdf.GetChannelPhyData(timeNo, 0, t0) != MDF_OK ||
                mdf.GetChannelPhyData(timeNo, cg.recordCount - 1, t1) != MDF_OK || !std::isfinite(t0) ||
                !std::isfinite(t1))
                continue;
            const std::string unit = time->convPresent ? time->unit : std::string();
            listing.TimeUnit = unit;
            const std::string span =
                "[" + vex::FormatFixed(t0, 6) + " , " + vex::FormatFixed(t1, 6) + "](" + unit + ")";
            if (first) {
                listing.Start = t0;
                listing.End = t1;
                first = false;
            } else {
                listing.Start = std::min(listing.Start, t0);
                listing.End = std::max(listing.End, t1);
            }
            for (size_t c = 0; c < cg.channels.size(); ++c) {
                const tMDF_CN_INFO& cn = cg.channels[c];
                if (cn.channelType != 0) continue;
                tTK_MDF_TO_CSV_CHAN_ITEM& item = listing.Items.emplace_back();
                item.Name = cn.shortName;
                item.Unit = cn.convPresent ? cn.unit : std::string();
                item.DgIndex = static_cast<uint16_t>(d);
                item.CgIndex = static_cast<uint16_t>(g);
                item.ChanIndex = static_cast<uint16_t>(c);
                item.TimeChan = timeNo;
                item.ChanNo = static_cast<uint16_t>(cn.channelNumber);
                item.RecordCount = cg.recordCount;
                listing.Rows.push_back(
                    {item.Name,
                     "(" + std::to_string(d) + "," + std::to_string(g) + "," + std::to_string(c) + ")",
                     MdfChannelTypeText(cn.dataType, cn.bitCount), item.Unit,
                     std::to_string(item.RecordCount), span});
            }
        }
    }
    return listing;
}

uint64_t MdfCsvLineCount(double start, double end, double step) {
    if (!(step > 0.0) || !(end >= start)) return 0;
    const double steps = vex::TruncTolerant((end - start) / step);
    if (!(steps < 1.8e19)) return UINT64_MAX;
    return static_cast<uint64_t>(steps) + 1;
}

CMdfToCsvJob::CMdfToCsvJob(const CLorimar& mdf, MdfToCsvRequest request)
    : m_Mdf(mdf), m_Request(std::move(request)) {}

CMdfToCsvJob::~CMdfToCsvJob() {
    Finish();
}

bool CMdfToCsvJob::failWrite(int error) {
    return fail("CSV文件 " + m_Request.CsvPath + " 写入失败：" + ErrorText(error));
}

bool CMdfToCsvJob::Run() {
    const MdfToCsvRequest& req = m_Request;
    // The CSV appears only when complete; a failed or stopped export leaves the target as it was.
    vex::AtomicFile file;
    if (const int error = file.Open(req.CsvPath); error != 0)
        return fail("CSV文件 " + req.CsvPath + " 创建失败：" + ErrorText(error));
    setPhase(Phase::Started);

    std::string out = "timestamp";
    for (const tTK_MDF_TO_CSV_CHAN_ITEM& ch : req.Channels) out += "," + vex::Utf8ToGbk(ch.Name);
    out += '\r';
    out += vex::Utf8ToGbk(req.TimeUnit);
    for (const tTK_MDF_TO_CSV_CHAN_ITEM& ch : req.Channels) out += "," + vex::Utf8ToGbk(ch.Unit);
    out += '\r';

    const uint64_t lines = MdfCsvLineCount(req.Start, req.End, req.Step);
    setCount(static_cast<uint32_t>(std::min<uint64_t>(lines, UINT32_MAX)));
    std::vector<ChannelCursor> cursors;
    cursors.reserve(req.Channels.size());
    for (const tTK_MDF_TO_CSV_CHAN_ITEM& ch : req.Channels) cursors.emplace_back(m_Mdf, ch);
    setPhase(Phase::Running);

    for (uint64_t k = 0; k < lines; ++k) {
        if ((k & 63) == 0) {
            if (StopRequested()) return false;
            setIndex(k, lines);
        }
        const double t = req.Start + static_cast<double>(k) * req.Step;
        appendFixed6(out, req.Absolute ? t : t - req.Start);
        for (ChannelCursor& cursor : cursors) {
            double value = 0.0;
            if (cursor.valueAt(t, value)) {
                out += ',';
                appendFixed6(out, value);
            } else {
                out += ",--";
            }
        }
        out += '\r';
        if (out.size() >= (size_t{1} << 16)) {
            if (file.Error() == 0) file.Write(out);
            out.clear();
            if (file.Error() != 0) return failWrite(file.Error());
        }
    }
    if (file.Error() == 0) file.Write(out);
    setIndex(lines, lines);
    setPhase(Phase::Saving);
    if (const int error = file.Commit(); error != 0) return failWrite(error);
    m_Lines = lines;
    return true;
}
