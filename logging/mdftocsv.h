#pragma once
// Measurement file to CSV: the data channels of a measurement file, listed with where they lie and the
// time span of their group, and the export of chosen channels on a fixed time grid. Each line of the CSV
// holds the time t = start + k * step (k = 0, 1, ... while t stays within the end, a quotient within 1e-9
// of a whole number counting as that number) and, per channel, the sample in force at t: the last record
// whose time is not after t, provided the next record's time is after t (so the last record of a group is
// never used and a time before the first or at or after the last sample gives "--"). Values are never
// interpolated. Lines end with a single CR; the header lines (names, then units) are GBK.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "logging/logtooljob.h"
#include "mdf/lorimar.h"

// One data channel of the file.
struct tTK_MDF_TO_CSV_CHAN_ITEM {
    std::string Name;
    std::string Unit;  // of the channel's conversion
    uint16_t DgIndex = 0;
    uint16_t CgIndex = 0;
    uint16_t ChanIndex = 0;
    uint16_t TimeChan = 0;  // channel number of its group's time channel
    uint16_t ChanNo = 0;
    uint32_t RecordCount = 0;
};

// The channels of an open file: their items with the rows the dialog lists ("信号名称", "位置描述", "类型",
// "单位", "采样点数量", "时间段"), the earliest and latest time of the listed groups, and the unit of the
// time channels (the last group's). Groups without a time channel or without records are left out.
struct MdfCsvListing {
    std::vector<tTK_MDF_TO_CSV_CHAN_ITEM> Items;
    std::vector<std::array<std::string, 6>> Rows;
    double Start = 0.0;
    double End = 0.0;
    std::string TimeUnit;
};
MdfCsvListing ListMdfCsvChannels(const CLorimar& mdf);

// "UINT8", "SINT16", "float", "double" or "UNKNOW" for a channel's data type and width.
std::string MdfChannelTypeText(uint16_t dataType, uint16_t bitCount);
// Lines of a grid from start to end with a step above 0; 0 when end lies before start.
uint64_t MdfCsvLineCount(double start, double end, double step);

struct MdfToCsvRequest {
    std::string CsvPath;
    bool Absolute = true;  // time stamps as t; false: t - start
    double Start = 0.0;
    double End = 0.0;
    double Step = 0.0;
    std::string TimeUnit;
    std::vector<tTK_MDF_TO_CSV_CHAN_ITEM> Channels;
};

class CMdfToCsvJob final : public CLogToolJob {
public:
    // Records of a channel read from the file at once.
    static constexpr uint32_t kRun = 4096;

    // Reads the open file of `mdf`, which nothing else touches until the job has ended. The request's step
    // must be above 0 and its end not before its start (the dialog refuses other values).
    CMdfToCsvJob(const CLorimar& mdf, MdfToCsvRequest request);
    ~CMdfToCsvJob() override;

    // The lines written after the two header lines (once ended).
    uint64_t Lines() const { return m_Lines; }

protected:
    bool Run() override;

private:
    // Fails naming the CSV file and the system's reason.
    bool failWrite(int error);

    const CLorimar& m_Mdf;
    MdfToCsvRequest m_Request;
    uint64_t m_Lines = 0;
};
