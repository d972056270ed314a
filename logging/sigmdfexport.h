#pragma once
// Exporting chosen signals of a log file into an MDF 3.00 measurement file. Every message that carries a
// chosen signal becomes one data group with one channel group: one integer channel per chosen signal, then
// a time channel of the frames' time stamps in ms converted to seconds. Each frame of such a message adds
// one record. A signal's channel has the database's linear conversion, so every reader gets its physical
// values; a value-table signal whose raw and physical values agree (factor 1, offset 0) has its table as a
// value-to-text table instead, and a scaled one names its texts in the channel comment.
//
// The export list is a snapshot: the database messages it needs are copied out on the GUI thread (the
// data hub's global map is read there only) before the worker starts, so the worker touches nothing that
// the GUI may change.
#include <cstdint>
#include <ctime>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "candb/canmodel.h"
#include "logging/canmsgfile.h"
#include "logging/logtooljob.h"
#include "mdf/lorimar.h"

inline constexpr uint32_t kExportSigSelCount = 512;
inline constexpr uint32_t kFreeMsgKey = 0xFFFFFFFFu;
// Entries of a channel's value-to-text table: a value table beyond it is cut there.
inline constexpr size_t kMaxTextTableItems = 128;

// One row of the export dialog's signal list.
struct tEXPORT_SIG_SEL {
    uint32_t MsgKey = kFreeMsgKey;  // identifier + 0x40000000 for an extended frame; kFreeMsgKey: unused
    std::string SigName;
    uint8_t Selected = 0;
};

// One exported signal: the database signal copied, its name, its channel number in the file.
struct tEXPORT_SIG {
    CCanSignal Signal;
    std::string Name;
    uint16_t ChanNo = 0;
};

// One exported message (one data group).
struct tEXPORT_MSG {
    uint32_t MsgKey = kFreeMsgKey;
    uint8_t Slot = 0;  // record slot of the next frame, wrapping at 256
    uint16_t TimeChanNo = 0;
    std::vector<tEXPORT_SIG> Sigs;
};

// The message key of a frame: identifier, plus 0x40000000 for an extended one.
inline uint32_t MsgKeyOf(const tCAN_RAW_MSG& msg) {
    return msg.Id + (msg.Ext ? 0x40000000u : 0u);
}

// Why a signal cannot be exported: its bits (1..32 of them) do not lie within the eight data bytes, so no
// frame would ever give it a value (and its message no record). Empty when it can be.
std::string ExportSignalProblem(const CCanSignal& signal);

// The database message of a key, or null; called on the GUI thread.
using ExportMsgLookup = std::function<const CCanMsg*(uint32_t msgKey)>;
// The export list of the selected entries: messages in the order their first selected signal appears,
// signals in table order, each a copy of the database signal of that name (the first one). False with
// the reason when a key or a signal name is not in the databases, or a signal cannot be exported.
bool BuildExportList(std::span<const tEXPORT_SIG_SEL> selection, const ExportMsgLookup& lookup,
                     std::vector<tEXPORT_MSG>& list, std::string& error);
// The measurement-file description of an export list created at `local`.
tMDF_FILE BuildMdfFileDesc(const std::vector<tEXPORT_MSG>& list, const std::tm& local);

// The message keys of a log in the order they first occur; records that cannot be read add nothing.
// `progress`, when given, hears the records done after each run of them and stops the collection (false)
// by returning false.
bool CollectMsgKeys(CCanMsgFile& log, uint32_t count, std::vector<uint32_t>& keys,
                    const std::function<bool(uint32_t done)>& progress = {});

// Reading the log the export dialog shows, on a worker: OpenRead (a text log is parsed whole), then the
// message keys of every record. Stop ends either part; the log is closed again then, and on any failure.
class CLogScanJob final : public CLogToolJob {
public:
    CLogScanJob(CCanMsgFile& log, std::string path);
    ~CLogScanJob() override;

    // Valid once the job has succeeded.
    uint32_t RecordCount() const { return m_RecordCount; }
    double Duration() const { return m_Duration; }
    const std::vector<uint32_t>& Keys() const { return m_Keys; }

protected:
    bool Run() override;

private:
    CCanMsgFile& m_Log;
    std::string m_Path;
    uint32_t m_RecordCount = 0;
    double m_Duration = 0.0;
    std::vector<uint32_t> m_Keys;
};

class CSigMdfExportJob final : public CLogToolJob {
public:
    using LocalTime = std::tm (*)();
    static constexpr uint32_t kChunk = 4096;

    // Reads `count` records of a log that is open for reading (not touched by anyone else until the job
    // has ended) and writes the file at `path`. `now` dates the file; null: the system clock.
    CSigMdfExportJob(CCanMsgFile& log, uint32_t count, std::vector<tEXPORT_MSG> list, std::string path,
                     LocalTime now = nullptr);
    ~CSigMdfExportJob() override;

    // The list with the channel numbers of the file (once ended).
    const std::vector<tEXPORT_MSG>& List() const { return m_List; }

protected:
    bool Run() override;

private:
    CCanMsgFile& m_Log;
    uint32_t m_RecordCount;
    std::vector<tEXPORT_MSG> m_List;
    std::string m_Path;
    LocalTime m_Now;
};
