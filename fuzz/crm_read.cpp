// Opens the input as a ".crm" log (an in-memory file reached by its /proc path) through the log-file
// class and the replay engine (an input whose first record is no frame is refused, then read with that
// record made plausible): reads every record by index in small buffers, reads by time around the
// file's own time stamps, pages by count and by time with arguments taken from the input, and looks up the
// first and last pages. Every delivered count must fit the buffer given.
#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "logging/canmsgbincrmfile.h"
#include "logging/canreplay.h"
#include "logging/crmreader.h"

namespace {

int memoryFile() {
    static const int fd = ::memfd_create("crm_read", MFD_CLOEXEC);
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
    // The engine knows a replay file by its ".crm" extension: a link named so points at the memory file.
    static const std::string link = [] {
        char dir[] = "/tmp/crmfuzz-XXXXXX";
        if (::mkdtemp(dir) == nullptr) std::abort();
        const std::string l = std::string(dir) + "/in.crm";
        if (::symlink(("/proc/self/fd/" + std::to_string(memoryFile())).c_str(), l.c_str()) != 0)
            std::abort();
        static std::string made = l;
        std::atexit([] {
            ::unlink(made.c_str());
            ::rmdir(made.substr(0, made.rfind('/')).c_str());
        });
        return l;
    }();

    CCanMsgBinCrmFile file;
    uint32_t count = 0;
    double duration = 0.0;
    // An input whose first record is no frame is refused. Its records are then read behind a first record
    // made plausible (flags, identifier, time and length cleared), so that every input reaches the reads.
    if (size >= kCrmRecordSize && !PlausibleCrmRecord(data)) {
        if (file.OpenRead(link, count, duration)) std::abort();
        uint8_t first[kCrmRecordSize];
        std::memcpy(first, data, kCrmRecordSize);
        std::memset(first, 0, 15);
        first[16] = 0;
        if (!PlausibleCrmRecord(first) ||
            ::pwrite(fd, first, kCrmRecordSize, 0) != static_cast<ssize_t>(kCrmRecordSize))
            std::abort();
    }
    if (!file.OpenRead(link, count, duration)) std::abort();  // any other input opens
    check(count == size / kCrmRecordSize);
    tCAN_RAW_MSG buf[7];
    uint32_t n = 0;
    for (uint32_t start = 0; start < count; start += 7) {
        check(file.ReadByIndex(start, 7, buf, 7, n) == (start + 7 <= count));
        check(n <= 7);
    }
    const double spans[] = {0.0, 1.0, duration / 3.0, duration, -duration, NAN, INFINITY};
    for (double offset : {-1.0, 0.0, duration / 2.0, duration}) {
        for (double span : spans) {
            n = 0;
            file.ReadByTime(offset, span, buf, 7, n);
            check(n <= 7);
        }
    }
    file.CloseRead();

    CCanReplay replay;
    if (!replay.Open(link, count, duration)) std::abort();
    const uint32_t param = size >= 4 ? uint32_t{data[0]} | uint32_t{data[1]} << 8 : 1;
    uint32_t pages = 0;
    tREPLAY_PAGE_INFO info;
    auto lookUp = [&] {
        for (uint32_t p : {0u, 1u, pages / 2, pages - 1, pages}) {
            if (replay.FindPage(p, info))
                check(p < pages && info.FirstIndex <= count && info.LastIndex < count);
        }
    };
    replay.PageByIndex(static_cast<uint32_t>(param % (uint64_t{count} + 1)), 1 + param % 13, pages);
    lookUp();
    for (double span : spans) {
        replay.PageByTime(static_cast<double>(param % 5) - 1.0, span, pages);
        lookUp();
    }
    replay.CloseFile();
    return 0;
}
