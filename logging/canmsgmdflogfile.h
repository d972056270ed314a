#pragma once
// CCanMsgMdfLogFile: the MDF log (".log") as a CCanMsgFile: an MDF 3.00 file with one data group, one
// channel group "CAN message" and fifteen channels, one record of 22 bytes per frame, written and read only
// through the measurement-file library.
//
//   channel   start bit  bits  type      value
//   type       0          8    unsigned  0
//   can        8         16    signed    channel number
//   id        24         32    signed    identifier, bit 31 set for an extended frame
//   dir       56          8    unsigned  1 transmitted, 0 received
//   rtr       64          8    unsigned  1 remote frame, 0 data frame
//   dlc       72          8    unsigned  data length code as the frame carried it
//   msg[k]    80 + 8k     8    unsigned  data byte k, all eight
//   msgtime  144         32    unsigned  time stamp in units of 10 us (the time channel), low 32 bits
//
// Every channel has a one-to-one conversion. The time channel wraps every 2^32 units (about 11.9 hours of
// device time); the reader unwraps it: a step back of more than half the range starts the next lap (so
// frames up to about six hours out of order, and gaps up to a lap, are read right).
// Reads follow the rules of the ".crm" format (the same time search, both window ends included). An
// object either reads or writes at a time.
#include <cstdint>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "logging/canmsgfile.h"
#include "mdf/lorimar.h"

inline constexpr int kMdfLogChannels = 15;

// The file header of a new measurement file created at `local`, without data groups: MDF 3.00, little-endian
// IEEE numbers, the date and time of `local`, the given program identifier, comment and author.
tMDF_FILE MdfCreatedFileDesc(const std::tm& local, std::string programId, std::string comment,
                             std::string author);
// What a failed CreateMdfFile (`creating`) or SaveMdfFile of `mdf` for the target `path` says to the user:
// the file that failed (the target, or the temporary record store in its folder) and the system's reason.
std::string MdfWriteFailureText(const CLorimar& mdf, const std::string& path, uint32_t result, bool creating);
// Why OpenMdfFile refused `path` with `result`, as a sentence.
std::string MdfOpenFailureText(const CLorimar& mdf, const std::string& path, uint32_t result);
// What the user is told of an opened file `path` whose channel groups declare more records than the file
// holds (a damaged record count, a file cut short): that it is damaged, then, a line each, every such group
// by its data-group and channel-group index with the count it declares and the records it holds (at most
// kMdfDamageLines of them, then how many more); empty when no group does.
inline constexpr size_t kMdfDamageLines = 8;
std::string MdfDamageText(const tMDF_FILE& file, const std::string& path);
// The description of a new MDF log created at `local`: header texts and the channel table above.
tMDF_FILE MdfLogFileDesc(const std::tm& local);
// Why a file's description is not an MDF log's layout (one data group, one channel group, fifteen integer
// channels with one-to-one conversions, each at its start bit and width); empty when it is. On success
// `numbers` holds the channel numbers in table order, whatever order the file lists them in.
std::string CheckMdfLogLayout(const tMDF_FILE& desc, uint16_t (&numbers)[kMdfLogChannels]);
// The time channel's value for a time stamp: units of 10 us truncated toward zero, low 32 bits (NaN and
// values beyond 64 bits saturate first).
uint32_t MdfLogTimeUnits(double timeMs);

class CCanMsgMdfLogFile final : public CCanMsgFile {
public:
    using LocalTime = std::tm (*)();

    // Records read from the library at once.
    static constexpr uint32_t kRunRecords = 4096;

    // `now` gives the local time written into a new file's header; null: the system clock.
    explicit CCanMsgMdfLogFile(LocalTime now = nullptr);
    // A file being written is dropped; the target stays as it was.
    ~CCanMsgMdfLogFile() override;
    CCanMsgMdfLogFile(const CCanMsgMdfLogFile&) = delete;
    CCanMsgMdfLogFile& operator=(const CCanMsgMdfLogFile&) = delete;

    // False, with the reason in LastError, while reading or writing, when the library refuses the file, or
    // when its layout is not an MDF log's (the file is closed again). A log without records opens with 0.
    bool OpenRead(const std::string& path, uint32_t& count, double& durationMs) override;
    // After an OpenRead that succeeded: MdfDamageText of the file (empty for a whole file), for the user to
    // be told that fewer records were read than the file declares.
    const std::string& DamageText() const { return m_Damage; }
    void CloseRead() override;
    bool ReadByTime(double offsetMs, double spanMs, tCAN_RAW_MSG* buffer, uint32_t capacity,
                    uint32_t& count) override;
    // Nothing is delivered (false) when the records asked for run past the record count or the buffer.
    // All eight data bytes are read, as the file holds them.
    bool ReadByIndex(uint32_t start, uint32_t number, tCAN_RAW_MSG* buffer, uint32_t capacity,
                     uint32_t& count) override;
    bool OpenWrite(const std::string& path) override;
    void WriteMsg(const tCAN_RAW_MSG& msg) override;
    // Saves the file; false (the target as it was) without an open file or when the save failed.
    bool CloseWrite() override;

    // The unwrapped time stamp of a record of the file open for reading (ms); 0.0 when it cannot be read.
    double RecordTime(uint32_t index) const;

private:
    enum State : uint8_t { kNone, kWriting, kReading };

    bool scanTimes();
    double unwrapped(uint32_t index, double raw) const;
    bool readRun(uint32_t first, uint32_t n, tCAN_RAW_MSG* out);

    LocalTime m_Now;
    double m_FirstTime = 0.0;
    double m_Duration = 0.0;
    uint32_t m_Count = 0;
    uint8_t m_Slot = 0;
    State m_State = kNone;
    uint16_t m_Numbers[kMdfLogChannels] = {};
    CLorimar m_Mdf;
    std::string m_Path;
    std::string m_Damage;
    // Where the time channel starts another lap: (first record of the lap, laps before it).
    std::vector<std::pair<uint32_t, int64_t>> m_Laps;
    std::vector<double> m_Columns;  // kMdfLogChannels runs of kRunRecords values
};
