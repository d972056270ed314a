#include "logging/canmsgasctxtfile.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/clock.h"
#include "platform/util/fileread.h"

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr size_t kWriteChunk = size_t{1} << 16;
constexpr size_t kReadChunk = size_t{1} << 20;
constexpr size_t kCrmChunkRecords = 2621;

char* putUnsigned(char* p, uint32_t v) {
    return std::to_chars(p, p + 10, v).ptr;
}

// printf("%.6f") of a time in seconds. Non-negative times below 2^53 microseconds are rounded to a whole
// number of microseconds exactly as printf rounds (the product's error is recovered with an FMA, so ties
// are decided on the exact value, to even); every other value goes through to_chars, which prints as
// printf does.
char* putSeconds(char* p, double seconds) {
    const double scaled = seconds * 1e6;
    if (!std::signbit(seconds) && scaled < 9007199254740992.0) {
        const double error = std::fma(seconds, 1e6, -scaled);  // seconds * 1e6 == scaled + error exactly
        double whole = std::nearbyint(scaled);                 // a tie of `scaled` goes to even
        const double frac = scaled - whole;                    // exact, within [-0.5, 0.5]
        // Off a tie of `scaled` the error is below the distance to the next half: `whole` is right. On one,
        // the exact value lies above, below or on it.
        if (frac == 0.5 && error > 0)
            whole += 1.0;
        else if (frac == -0.5 && error < 0)
            whole -= 1.0;
        const uint64_t micros = static_cast<uint64_t>(whole);
        p = std::to_chars(p, p + 20, micros / 1000000).ptr;
        *p++ = '.';
        uint64_t fraction = micros % 1000000;
        for (int i = 5; i >= 0; --i) {
            p[i] = static_cast<char>('0' + fraction % 10);
            fraction /= 10;
        }
        return p + 6;
    }
    return std::to_chars(p, p + 340, seconds, std::chars_format::fixed, 6).ptr;
}

bool isBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// The next blank-separated token from `pos`, empty at the end of the line.
std::string_view nextToken(std::string_view line, size_t& pos) {
    while (pos < line.size() && isBlank(line[pos])) ++pos;
    const size_t begin = pos;
    while (pos < line.size() && !isBlank(line[pos])) ++pos;
    return line.substr(begin, pos - begin);
}

// A time in seconds as milliseconds. Up to nine integer digits and six decimals (every time the writer
// makes below 31 years) are read as whole microseconds, so the result is the double nearest to the written
// value: 2.010000 s gives 2010.0 ms, not 2009.9999999999998. Other numbers (exponents, more decimals) as
// from_chars reads them. False for anything that is not a finite number.
bool parseSecondsAsMs(std::string_view token, double& ms) {
    size_t i = 0;
    const bool negative = !token.empty() && token[0] == '-';
    if (negative) ++i;
    uint64_t micros = 0;
    int digits = 0;
    while (i < token.size() && token[i] >= '0' && token[i] <= '9' && digits < 10) {
        micros = micros * 10 + static_cast<uint64_t>(token[i++] - '0');
        ++digits;
    }
    if (digits > 0 && digits <= 9 && (i == token.size() || token[i] == '.')) {
        int decimals = 0;
        if (i < token.size()) {
            ++i;
            while (i < token.size() && token[i] >= '0' && token[i] <= '9' && decimals < 7) {
                micros = micros * 10 + static_cast<uint64_t>(token[i++] - '0');
                ++decimals;
            }
        }
        if (i == token.size() && decimals <= 6) {
            for (; decimals < 6; ++decimals) micros *= 10;
            ms = static_cast<double>(micros) / 1000.0;
            if (negative) ms = -ms;
            return true;
        }
    }
    double seconds = 0.0;
    const auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), seconds);
    if (ec != std::errc() || end != token.data() + token.size() || !std::isfinite(seconds)) return false;
    ms = seconds * 1000.0;
    return std::isfinite(ms);
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Hexadecimal digits only, at most `limit`.
bool parseHex(std::string_view token, uint32_t limit, uint32_t& value) {
    if (token.empty()) return false;
    uint64_t v = 0;
    for (char c : token) {
        const int d = hexValue(c);
        if (d < 0) return false;
        v = v * 16 + static_cast<uint32_t>(d);
        if (v > limit) return false;
    }
    value = static_cast<uint32_t>(v);
    return true;
}

// Decimal digits only, at most `limit`.
bool parseDecimal(std::string_view token, uint32_t limit, uint32_t& value) {
    if (token.empty()) return false;
    uint64_t v = 0;
    for (char c : token) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<uint32_t>(c - '0');
        if (v > limit) return false;
    }
    value = static_cast<uint32_t>(v);
    return true;
}

// The banner, the date line and the rule that this format writes above the frames.
bool isHeaderLine(std::string_view line) {
    while (!line.empty() && isBlank(line.front())) line.remove_prefix(1);
    while (!line.empty() && isBlank(line.back())) line.remove_suffix(1);
    if (line == kAscTxtBanner || line.rfind("Date:", 0) == 0) return true;
    return !line.empty() && line.find_first_not_of('-') == std::string_view::npos;
}

bool writeAll(int fd, const uint8_t* data, size_t size, int& error) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            error = errno;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

std::string AscTxtHeader(const std::tm& local) {
    char date[96];
    std::snprintf(date, sizeof date, "  Date: %d.%d.%d    Time: %d:%d ", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min);
    std::string header(kAscTxtBanner);
    header += "\r\n";
    header += date;
    header += "\r\n\r\n";
    header.append(74, '-');
    header += "\r\n";
    return header;
}

size_t FormatAscTxtLine(const tCAN_RAW_MSG& msg, char* out) {
    char* p = out;
    std::memcpy(p, "   ", 3);
    char* time = p + 3;
    p = putSeconds(time, msg.TimeMs / 1000.0);
    if (p - time < 4) {  // "%4.6f": "inf" and "nan" are right-aligned in four columns
        const size_t len = static_cast<size_t>(p - time);
        std::memmove(time + 4 - len, time, len);
        std::memset(time, ' ', 4 - len);
        p = time + 4;
    }
    *p++ = ' ';
    p = putUnsigned(p, msg.Chan);
    *p++ = ' ';
    *p++ = ' ';
    // The identifier (and its "x") left-justified in 16 columns.
    char* idStart = p;
    char digits[8];
    int n = 0;
    uint32_t id = msg.Id;
    do {
        digits[n++] = kHexDigits[id & 0xF];
        id >>= 4;
    } while (id != 0);
    while (n > 0) *p++ = digits[--n];
    if (msg.Ext) *p++ = 'x';
    while (p - idStart < 16) *p++ = ' ';
    std::memcpy(p, msg.Dir ? "Tx   " : "Rx   ", 5);
    p += 5;
    *p++ = msg.Remote ? 'r' : 'd';
    *p++ = ' ';
    p = putUnsigned(p, msg.Dlc);
    *p++ = ' ';
    // At most the eight bytes a frame holds, whatever its length code says.
    const int bytes = msg.Dlc < 8 ? msg.Dlc : 8;
    for (int i = 0; i < bytes; ++i) {
        p[0] = kHexDigits[msg.Data[i] >> 4];
        p[1] = kHexDigits[msg.Data[i] & 0xF];
        p[2] = ' ';
        p += 3;
    }
    *p++ = '\r';
    *p++ = '\n';
    return static_cast<size_t>(p - out);
}

bool AscTxtWritable(const tCAN_RAW_MSG& msg) {
    return std::isfinite(msg.TimeMs) && msg.Dlc <= 15 && msg.Id <= (msg.Ext ? 0x1FFFFFFFu : 0x7FFu);
}

bool ParseAscTxtLine(std::string_view line, tCAN_RAW_MSG& msg) {
    msg = tCAN_RAW_MSG{};
    std::memset(msg.Data, 0, sizeof msg.Data);
    size_t pos = 0;

    if (!parseSecondsAsMs(nextToken(line, pos), msg.TimeMs)) return false;

    uint32_t value = 0;
    if (!parseDecimal(nextToken(line, pos), 255, value)) return false;
    msg.Chan = static_cast<uint8_t>(value);

    std::string_view id = nextToken(line, pos);
    if (!id.empty() && (id.back() == 'x' || id.back() == 'X')) {
        msg.Ext = 1;
        id.remove_suffix(1);
    }
    if (!parseHex(id, msg.Ext ? 0x1FFFFFFFu : 0x7FFu, msg.Id)) return false;

    const std::string_view dir = nextToken(line, pos);
    if (dir == "Tx")
        msg.Dir = 1;
    else if (dir != "Rx")
        return false;

    const std::string_view kind = nextToken(line, pos);
    if (kind == "r")
        msg.Remote = 1;
    else if (kind != "d")
        return false;

    if (!parseDecimal(nextToken(line, pos), 15, value)) return false;
    msg.Dlc = static_cast<uint8_t>(value);

    const int bytes = msg.Dlc < 8 ? msg.Dlc : 8;
    for (int i = 0; i < bytes; ++i) {
        const size_t before = pos;
        const std::string_view token = nextToken(line, pos);
        // A remote frame carries no data: its data tokens may be left out altogether.
        if (i == 0 && msg.Remote && (token.empty() || token.size() > 2 || !parseHex(token, 0xFF, value))) {
            pos = before;
            break;
        }
        if (token.size() > 2 || !parseHex(token, 0xFF, value)) return false;
        msg.Data[i] = static_cast<uint8_t>(value);
    }
    return true;
}

CCanMsgAscTxtFile::CCanMsgAscTxtFile(LocalTime now) : m_Now(now != nullptr ? now : vex::NowLocalTm) {}

CCanMsgAscTxtFile::~CCanMsgAscTxtFile() {
    CloseRead();
}

bool CCanMsgAscTxtFile::parseInto(int textFd, int crmFd, uint32_t& frames) {
    // A block of up to 1 MiB, never smaller than two of the longest lines kept, so a kept line always fits.
    struct stat st {};
    size_t chunk = kReadChunk;
    if (::fstat(textFd, &st) == 0 && st.st_size >= 0 && static_cast<uint64_t>(st.st_size) < kReadChunk)
        chunk = std::max<size_t>(2 * kAscTxtLineLimit, static_cast<size_t>(st.st_size) + 1);
    std::unique_ptr<char[]> text(new char[chunk]);
    std::unique_ptr<uint8_t[]> records(new uint8_t[kCrmChunkRecords * kCrmRecordSize]);
    size_t buffered = 0;
    uint64_t accepted = 0;
    int error = 0;
    tCAN_RAW_MSG msg;

    auto flushRecords = [&] {
        const bool ok = writeAll(crmFd, records.get(), buffered * kCrmRecordSize, error);
        buffered = 0;
        return ok;
    };
    auto handle = [&](std::string_view line) {
        if (ParseAscTxtLine(line, msg)) {
            EncodeCrmMsg(msg, records.get() + buffered * kCrmRecordSize);
            ++accepted;
            if (++buffered == kCrmChunkRecords) return flushRecords();
        } else if (std::any_of(line.begin(), line.end(), [](char c) { return !isBlank(c); }) &&
                   !isHeaderLine(line)) {
            ++m_Skipped;
        }
        return true;
    };
    const std::string tempError = "无法写入临时文件（" + vex::TempFolder() + "）：";

    size_t have = 0;
    bool overlong = false;  // the bytes at the start of the buffer continue a line too long to be a frame
    for (;;) {
        if (stopRequested()) {
            m_LastError = "读取记录文件已中断。";
            return false;
        }
        const ssize_t n = ::read(textFd, text.get() + have, chunk - have);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN) {
                // A FIFO or device with nothing to read yet: waits a little, then looks at the stop flag.
                pollfd p{textFd, POLLIN, 0};
                ::poll(&p, 1, 100);
                continue;
            }
            m_LastError = "无法读取记录文件：" + ErrorText(errno);
            return false;
        }
        have += static_cast<size_t>(n);
        size_t pos = 0;
        while (pos < have) {
            const char* nl = static_cast<const char*>(std::memchr(text.get() + pos, '\n', have - pos));
            if (nl == nullptr) break;
            const size_t len = static_cast<size_t>(nl - (text.get() + pos));
            if (overlong || len > kAscTxtLineLimit) {
                ++m_Skipped;
                overlong = false;
            } else if (!handle(std::string_view(text.get() + pos, len))) {
                m_LastError = tempError + ErrorText(error);
                return false;
            }
            pos += len + 1;
        }
        const size_t rest = have - pos;
        if (n == 0) {
            if (overlong || rest > kAscTxtLineLimit)
                ++m_Skipped;
            else if (rest > 0 && !handle(std::string_view(text.get() + pos, rest))) {
                m_LastError = tempError + ErrorText(error);
                return false;
            }
            break;
        }
        if (rest > kAscTxtLineLimit) {
            overlong = true;
            have = 0;
        } else {
            std::memmove(text.get(), text.get() + pos, rest);
            have = rest;
        }
        if (accepted > UINT32_MAX) {
            m_LastError = "记录文件的报文超过4294967295条，不能打开。";
            return false;
        }
    }
    if (buffered > 0 && !flushRecords()) {
        m_LastError = tempError + ErrorText(error);
        return false;
    }
    if (accepted > UINT32_MAX) {
        m_LastError = "记录文件的报文超过4294967295条，不能打开。";
        return false;
    }
    frames = static_cast<uint32_t>(accepted);
    return true;
}

bool CCanMsgAscTxtFile::OpenRead(const std::string& path, uint32_t& count, double& durationMs) {
    if (m_Writing) {
        m_LastError = "文件 " + m_WritePath + " 仍在写入，不能同时读取 " + path + "。";
        return false;
    }
    CloseRead();
    m_Skipped = 0;
    std::string reason;
    const int textFd = vex::OpenInputFile(path, reason, false);
    if (textFd < 0) {
        m_LastError = "无法打开文件 " + path + "：" + reason;
        return false;
    }
    ::posix_fadvise(textFd, 0, 0, POSIX_FADV_SEQUENTIAL);
    const std::string folder = vex::TempFolder();
    const int crmFd = vex::OpenUnnamedTempFile(folder);
    if (crmFd < 0) {
        m_LastError = "无法创建临时文件（" + folder + "）：" + ErrorText(errno);
        ::close(textFd);
        return false;
    }
    uint32_t frames = 0;
    const bool parsed = parseInto(textFd, crmFd, frames);
    ::close(textFd);
    if (!parsed) {
        ::close(crmFd);
        return false;
    }
    // The reader takes the temporary's descriptor: the file goes when the reader closes it.
    if (!m_Crm.Adopt(crmFd, path, m_LastError)) return false;
    if (m_Crm.Count() != frames) {
        m_Crm.Close();
        m_LastError = "临时文件不完整。";
        return false;
    }
    count = m_Crm.Count();
    durationMs = m_Crm.Duration();
    m_Reading = true;
    return true;
}

void CCanMsgAscTxtFile::CloseRead() {
    m_Crm.Close();
    m_Reading = false;
}

bool CCanMsgAscTxtFile::ReadByTime(double offsetMs, double spanMs, tCAN_RAW_MSG* buffer, uint32_t capacity,
                                   uint32_t& count) {
    return m_Reading && m_Crm.ReadByTime(offsetMs, spanMs, buffer, capacity, count);
}

bool CCanMsgAscTxtFile::ReadByIndex(uint32_t start, uint32_t number, tCAN_RAW_MSG* buffer, uint32_t capacity,
                                    uint32_t& count) {
    return m_Reading && m_Crm.ReadByIndex(start, number, buffer, capacity, count);
}

bool CCanMsgAscTxtFile::OpenWrite(const std::string& path) {
    if (m_Writing || m_Reading) {
        m_LastError = "记录文件仍在使用，不能同时写入 " + path + "。";
        return false;
    }
    if (const int error = m_File.Open(path); error != 0) {
        m_LastError = "无法创建文件 " + path + "：" + ErrorText(error);
        return false;
    }
    if (!m_Buffer) m_Buffer = std::make_unique<char[]>(kWriteChunk + kAscTxtLineMax);
    const std::string header = AscTxtHeader(m_Now());
    std::memcpy(m_Buffer.get(), header.data(), header.size());
    m_Used = header.size();
    m_WritePath = path;
    m_Writing = true;
    m_Unwritable = 0;
    return true;
}

void CCanMsgAscTxtFile::WriteMsg(const tCAN_RAW_MSG& msg) {
    if (!m_Writing) return;
    if (!AscTxtWritable(msg)) {
        ++m_Unwritable;
        return;
    }
    m_Used += FormatAscTxtLine(msg, m_Buffer.get() + m_Used);
    if (m_Used >= kWriteChunk) flush();
}

void CCanMsgAscTxtFile::flush() {
    // After a failure the writer drops what comes: the first error sticks and CloseWrite reports it.
    if (m_Used > 0 && m_File.Error() == 0) m_File.Write(m_Buffer.get(), m_Used);
    m_Used = 0;
}

bool CCanMsgAscTxtFile::CloseWrite() {
    if (!m_Writing) return true;
    flush();
    m_Writing = false;
    if (const int error = m_File.Commit(); error != 0) {
        m_LastError = "无法写入文件 " + m_WritePath + "：" + ErrorText(error);
        return false;
    }
    return true;
}
