#pragma once
// CCanMsgRawReplayLogFile: the replay reader of ".crm" files. Reads as the ".crm" log file does and
// divides the file into pages by a time span or by a number of records.
//
// A page's last record is also the next page's first, so the boundary frame shows on both pages. Pages
// are described by the paging's arguments and worked out when asked for, so any number of them takes no
// memory; paging anew or opening another file forgets the pages before.
#include <cstdint>
#include <string>

#include "logging/canmsgfile.h"
#include "logging/crmreader.h"

class CCanMsgRawReplayLogFile final : public CCanMsgReplayLogFile {
public:
    bool OpenRead(const std::string& path, uint32_t& count, double& durationMs) override;
    void CloseRead() override;
    bool ReadByTime(double offsetMs, double spanMs, tCAN_RAW_MSG* buffer, uint32_t capacity,
                    uint32_t& count) override;
    bool ReadByIndex(uint32_t start, uint32_t number, tCAN_RAW_MSG* buffer, uint32_t capacity,
                     uint32_t& count) override;
    // ceil((duration - offset) / span) pages, page i from first time + offset + i x span to one span later,
    // each reaching from the record the time search finds for its start to the one it finds for its end.
    // No file, a duration or span of 0 (or a span that is not a positive number), or more pages than 32
    // bits can number, leave the pages as they were; a count below 1 gives no pages.
    void ReadPageByTime(double offsetMs, double spanMs, uint32_t& pageCount) override;
    // ceil((records - start) / perPage) pages, page i from record start + i x perPage to start + (i + 1) x
    // perPage, the last page ending at the last record. No file, no records, perPage 0 or a start at or past
    // the last record leave the pages as they were.
    void ReadPageByIndex(uint32_t start, uint32_t perPage, uint32_t& pageCount) override;
    bool FindPage(uint32_t page, tREPLAY_PAGE_INFO& info) override;

    uint32_t PageCount() const { return m_PageCount; }
    const std::string& LastError() const { return m_LastError; }

private:
    enum class Paging { None, ByTime, ByIndex };

    void forgetPages();

    CCrmFileReader m_Reader;
    std::string m_LastError;
    Paging m_Paging = Paging::None;
    uint32_t m_PageCount = 0;
    double m_PageStart = 0.0;  // by time: first time + offset
    double m_PageSpan = 0.0;
    uint32_t m_StartIndex = 0;  // by index
    uint32_t m_PerPage = 0;
};
