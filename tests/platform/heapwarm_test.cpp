#include "platform/util/heapwarm.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <vector>

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kOtherAllocator = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kOtherAllocator = true;
#else
constexpr bool kOtherAllocator = false;
#endif
#else
constexpr bool kOtherAllocator = false;
#endif

constexpr size_t kBytes = size_t{2} << 20;

// In a child process (a heap of its own past the parent's pages): the fresh pages that 2 MB of small
// blocks touch, with or without warming first. -1 when the child failed.
long freshPagesForSmallBlocks(bool warm) {
    int fds[2];
    if (::pipe(fds) != 0) return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        if (warm) vex::WarmHeap(kBytes);
        rusage before{};
        ::getrusage(RUSAGE_SELF, &before);
        std::vector<char*> blocks;
        blocks.reserve(kBytes / 48);  // the vector's own pages count before the blocks
        rusage start{};
        ::getrusage(RUSAGE_SELF, &start);
        for (size_t done = 0; done + 64 <= kBytes; done += 64) {
            char* b = static_cast<char*>(std::malloc(48));
            std::memset(b, 1, 48);
            blocks.push_back(b);
        }
        rusage end{};
        ::getrusage(RUSAGE_SELF, &end);
        const long faults = end.ru_minflt - start.ru_minflt;
        const bool sent = ::write(fds[1], &faults, sizeof faults) == sizeof faults;
        ::_exit(sent ? 0 : 1);
    }
    ::close(fds[1]);
    long faults = -1;
    if (pid < 0 || ::read(fds[0], &faults, sizeof faults) != sizeof faults) faults = -1;
    ::close(fds[0]);
    int status = 0;
    if (pid > 0) ::waitpid(pid, &status, 0);
    return faults;
}

}  // namespace

// The point of warming: the blocks of a reader that follows land on pages already there, so it does not
// pay a fault per fresh page. A heap that gave the warmed pages back at once would fail this.
TEST(WarmHeap, SmallBlocksAfterwardsLandOnPagesAlreadyThere) {
    if (kOtherAllocator) GTEST_SKIP() << "the sanitizers' allocator keeps its own heap";
    const long cold = freshPagesForSmallBlocks(false);
    const long warm = freshPagesForSmallBlocks(true);
    ASSERT_GE(cold, 0);
    ASSERT_GE(warm, 0);
    EXPECT_GT(cold, 300);  // 2 MB of blocks on fresh pages: about 500
    EXPECT_LT(warm, cold / 4);
}

// Sizes it does not warm leave the heap usable: nothing, zero and beyond the limit.
TEST(WarmHeap, SizesOutsideItsRangeDoNothing) {
    vex::WarmHeap(0);
    vex::WarmHeap(vex::kMaxHeapWarmBytes + 1);
    std::vector<char> after(1 << 20, 7);
    EXPECT_EQ(after.back(), 7);
}
