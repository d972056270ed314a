#include "platform/util/heapwarm.h"

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <mutex>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

namespace vex {

void WarmHeap(size_t bytes) {
    if (bytes == 0 || bytes > kMaxHeapWarmBytes) return;
    static std::once_flag once;
    std::call_once(once, [] {
        // A warmed block must come from the heap (not a mapping of its own, which a free unmaps) and stay
        // there when freed (not be trimmed back to the system at once).
        mallopt(M_MMAP_THRESHOLD, static_cast<int>(kMaxHeapWarmBytes));
        mallopt(M_TRIM_THRESHOLD, static_cast<int>(kMaxHeapWarmBytes));
    });
    void* block = std::malloc(bytes);
    if (block == nullptr) return;
    const auto page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
    const uintptr_t start = (reinterpret_cast<uintptr_t>(block) + page - 1) & ~(page - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(block) + bytes) & ~(page - 1);
    if (end > start) ::madvise(reinterpret_cast<void*>(start), end - start, MADV_POPULATE_WRITE);
    std::free(block);
}

}  // namespace vex
