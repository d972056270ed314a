#pragma once
// CCanMsgAscTxtFile: the text log (".txt") as a CCanMsgFile. A text log is four header lines (a banner,
// the creation date and time, an empty line, a rule of 74 '-') and one line per frame, every line ended by
// CR LF:
//   "   %4.6f " time in seconds, "%d  " channel, the identifier in upper-case hexadecimal with an "x"
//   after an extended one, left-justified in 16 columns, "Tx   " or "Rx   ", "r " or "d ", "%d " of the
//   length code, "%02X " of each data byte (at most eight, however large the length code).
//
// Reading parses the whole text once into a private temporary ".crm" file in the temporary folder, which has
// no name (so it never outlives the reader, however the process ends, and never touches a file of the
// user's), and serves every read from it, so reads behave exactly as on a ".crm" file. Lines that are not
// frame lines (other tools' event lines, corrupted lines) are skipped and counted; LF and CR LF line ends
// are both read. A FIFO or a device is read as a stream; the stop flag ends a parse that takes too long
// or never ends.
//
// Writing goes through the atomic writer: the target appears, complete, at CloseWrite. A frame the reader
// could not read back (a time that is not finite, a length code above 15, an identifier beyond 11 bits, or
// 29 bits for an extended one) is left out and counted rather than written as a different frame (a cut
// identifier or length would be another frame, and a text time cannot be NaN). An object either reads or
// writes at a time.
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>

#include "logging/canmsgfile.h"
#include "logging/crmreader.h"
#include "platform/util/filewrite.h"

inline constexpr std::string_view kAscTxtBanner = "Talby Varesk Control System Co.,Ltd  Vexar Log File.";
// The longest frame line FormatAscTxtLine writes, CR LF included (a time of 1e308 s has 309 digits).
inline constexpr size_t kAscTxtLineMax = 400;
// Longer lines are not frame lines: the reader skips them without keeping them.
inline constexpr size_t kAscTxtLineLimit = 4096;

// The four header lines for a file created at `local`, CR LF after each.
std::string AscTxtHeader(const std::tm& local);
// The frame's line with its CR LF into out (at least kAscTxtLineMax bytes); returns its length.
size_t FormatAscTxtLine(const tCAN_RAW_MSG& msg, char* out);
// Whether ParseAscTxtLine reads the frame's line back as the frame.
bool AscTxtWritable(const tCAN_RAW_MSG& msg);

// Reads one line (without its line end; surrounding white space is ignored) into `msg`, which it resets
// first (data bytes 0). Tokens are separated by runs of blanks:
//   1 time in seconds (a finite decimal number), 2 channel (decimal 0..255), 3 identifier (hexadecimal,
//   up to 0x7FF, or up to 0x1FFFFFFF when followed by "x"), 4 "Tx" or "Rx", 5 "d" or "r", 6 length code
//   (decimal 0..15), then one hexadecimal byte (one or two digits) for each of the first min(length, 8)
//   data bytes. A remote frame may leave its data bytes out. Tokens after the data are ignored.
// False, `msg` unspecified, for any other line: every token must be a number of its kind within its range.
bool ParseAscTxtLine(std::string_view line, tCAN_RAW_MSG& msg);

class CCanMsgAscTxtFile final : public CCanMsgFile {
public:
    using LocalTime = std::tm (*)();

    // `now` gives the local time written into a new file's header; null: the system clock.
    explicit CCanMsgAscTxtFile(LocalTime now = nullptr);
    ~CCanMsgAscTxtFile() override;
    CCanMsgAscTxtFile(const CCanMsgAscTxtFile&) = delete;
    CCanMsgAscTxtFile& operator=(const CCanMsgAscTxtFile&) = delete;

    // Parses the file; the count is the number of frame lines. A file without frame lines opens with 0.
    // False, with the reason in LastError, when the file or the temporary file cannot be read or written,
    // or the stop flag was set.
    bool OpenRead(const std::string& path, uint32_t& count, double& durationMs) override;
    void CloseRead() override;
    bool ReadByTime(double offsetMs, double spanMs, tCAN_RAW_MSG* buffer, uint32_t capacity,
                    uint32_t& count) override;
    bool ReadByIndex(uint32_t start, uint32_t number, tCAN_RAW_MSG* buffer, uint32_t capacity,
                     uint32_t& count) override;
    // Refused while the object reads or writes another file.
    bool OpenWrite(const std::string& path) override;
    // Frames that AscTxtWritable refuses are counted, not written.
    void WriteMsg(const tCAN_RAW_MSG& msg) override;
    // True without an open file; otherwise true only when every line reached the target.
    bool CloseWrite() override;

    // Non-empty lines of the last OpenRead that are neither frame lines nor the header lines this format
    // writes (the banner, the date line, the rule).
    uint64_t SkippedLines() const { return m_Skipped; }
    // Frames left out since the last OpenWrite.
    uint64_t UnwritableFrames() const { return m_Unwritable; }

private:
    bool parseInto(int textFd, int crmFd, uint32_t& frames);
    void flush();

    LocalTime m_Now;
    CCrmFileReader m_Crm;
    bool m_Reading = false;
    bool m_Writing = false;
    uint64_t m_Skipped = 0;
    uint64_t m_Unwritable = 0;
    vex::AtomicFile m_File;
    std::string m_WritePath;
    std::unique_ptr<char[]> m_Buffer;
    size_t m_Used = 0;
};
