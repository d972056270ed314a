// Opens the input as a measurement file through the public interface (an in-memory file reached by its
// /proc path) and reads every channel raw, converted and as text, value by value and in bulk.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "mdf/lorimar.h"

namespace {
int memoryFile() {
    static const int fd = ::memfd_create("mdf_read", MFD_CLOEXEC);
    return fd;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int fd = memoryFile();
    if (fd < 0 || ::ftruncate(fd, 0) != 0) return 0;
    if (size > 0 && ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) return 0;
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    CLorimar lib;
    if (lib.OpenMdfFile(path.data(), static_cast<int32_t>(path.size())) != MDF_OK) return 0;
    const tMDF_FILE& info = lib.GetMdfFileInfo();
    for (const tMDF_DG_INFO& dg : info.dataGroups) {
        for (const tMDF_CG_INFO& cg : dg.channelGroups) {
            // A group holds at most the records its block declares.
            if (cg.recordCount > cg.declaredRecordCount) std::abort();
            // Records of zero bytes may be declared by the billion: a few suffice.
            const uint32_t records = cg.recordCount < 4096 ? cg.recordCount + 1 : 4096;
            const uint32_t stored = cg.recordCount < 4096 ? cg.recordCount : 4096;
            std::vector<double> bulk(stored + 1);
            for (const tMDF_CN_INFO& cn : cg.channels) {
                const uint16_t n = static_cast<uint16_t>(cn.channelNumber);
                // In bulk: from the first record, from a third of the way, and one record too many.
                lib.GetChannelPhyData(n, 0, stored, bulk.data());
                lib.GetChannelPhyData(n, stored / 3, stored - stored / 3, bulk.data());
                lib.GetChannelPhyData(n, 0, stored + 1, bulk.data());
                for (uint32_t r = 0; r < records; ++r) {
                    uint32_t u;
                    int32_t i;
                    float f;
                    double d;
                    std::string text;
                    lib.GetChannelRawData(n, r, u);
                    lib.GetChannelRawData(n, r, i);
                    lib.GetChannelRawData(n, r, f);
                    lib.GetChannelRawData(n, r, d);
                    lib.GetChannelPhyData(n, r, d);
                    lib.GetChannelPhyData(n, r, text);
                }
            }
        }
    }
    lib.CloseMdfFile();
    return 0;
}
