// Opens the input as an MDF log (an in-memory file reached by its /proc path). A file the reader refuses
// says why; one it opens reads by index and by time within the buffers given, lengths as stored.
#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "logging/canmsgmdflogfile.h"

namespace {

int memoryFile() {
    static const int fd = ::memfd_create("mdflog_read", MFD_CLOEXEC);
    return fd;
}

void check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int fd = memoryFile();
    if (fd < 0 || ::ftruncate(fd, 0) != 0) return 0;
    if (size > 0 && ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) return 0;
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    CCanMsgMdfLogFile file;
    uint32_t count = 0;
    double duration = -1.0;
    if (!file.OpenRead(path, count, duration)) {
        check(!file.LastError().empty());
        return 0;
    }
    check(duration >= 0.0 || std::isnan(duration));
    tCAN_RAW_MSG buf[7];
    uint32_t n = 0;
    // A few thousand records suffice: records of a declared count beyond the file are never delivered.
    const uint32_t limit = count < 4096 ? count : 4096;
    for (uint32_t start = 0; start < limit; start += 7) {
        n = 99;
        const bool ok = file.ReadByIndex(start, 7, buf, 7, n);
        check(n <= 7);
        if (start + 7 > count) check(!ok && n == 0);
    }
    check(!file.ReadByIndex(0, 8, buf, 7, n) || count < 8);
    check(!file.ReadByIndex(1, 0xFFFFFFFFu, buf, 7, n));
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
