// Opens the input as a text log (an in-memory file reached by its /proc path): any bytes open; every frame
// read back has a length code of at most 15 and reads are bounded by their buffers. Every line the parser
// accepts is one the writer takes, is written again and parsed back to the same frame (the time to a
// microsecond).
#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "logging/canmsgasctxtfile.h"

namespace {

int memoryFile() {
    static const int fd = ::memfd_create("txtlog_read", MFD_CLOEXEC);
    return fd;
}

void check(bool ok) {
    if (!ok) std::abort();
}

bool sameButTime(const tCAN_RAW_MSG& a, const tCAN_RAW_MSG& b) {
    return a.Id == b.Id && a.Ext == b.Ext && a.Remote == b.Remote && a.Dir == b.Dir && a.Chan == b.Chan &&
           a.Dlc == b.Dlc && std::memcmp(a.Data, b.Data, 8) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    uint64_t lines = 0;
    for (size_t at = 0; at <= text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        ++lines;
        tCAN_RAW_MSG msg, again;
        if (ParseAscTxtLine(text.substr(at, end - at), msg)) {
            check(msg.Dlc <= 15 && msg.Id <= (msg.Ext ? 0x1FFFFFFFu : 0x7FFu) && std::isfinite(msg.TimeMs));
            check(AscTxtWritable(msg));
            char line[kAscTxtLineMax];
            const size_t n = FormatAscTxtLine(msg, line);
            check(n <= kAscTxtLineMax && n >= 2 && line[n - 2] == '\r' && line[n - 1] == '\n');
            check(ParseAscTxtLine(std::string_view(line, n - 2), again));
            check(sameButTime(msg, again));
            check(std::fabs(again.TimeMs - msg.TimeMs) <= 0.0005 + 1e-12 * std::fabs(msg.TimeMs));
        }
        at = end + 1;
    }

    const int fd = memoryFile();
    if (fd < 0 || ::ftruncate(fd, 0) != 0) return 0;
    if (size > 0 && ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) return 0;
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    CCanMsgAscTxtFile file;
    uint32_t count = 0;
    double duration = 0.0;
    check(file.OpenRead(path, count, duration));
    check(count + file.SkippedLines() <= lines);
    tCAN_RAW_MSG buf[7];
    uint32_t n = 0;
    for (uint32_t start = 0; start < count; start += 7) {
        check(file.ReadByIndex(start, 7, buf, 7, n) == (start + 7 <= count));
        check(n <= 7);
        for (uint32_t k = 0; k < n; ++k) check(buf[k].Dlc <= 15);
    }
    for (double offset : {-1.0, 0.0, duration / 2.0, duration}) {
        for (double span : {0.0, 1.0, duration, -duration, double(NAN)}) {
            n = 0;
            file.ReadByTime(offset, span, buf, 7, n);
            check(n <= 7);
        }
    }
    file.CloseRead();
    return 0;
}
