#pragma once
// Warming the heap before a reader builds a large structure. On virtual machines the first touch of each
// fresh page costs tens of microseconds (a fault that the hypervisor must back); a reader that allocates
// a few hundred pages one small block at a time pays that for every page. Warming takes the pages in one
// call instead and gives them back to the allocator, so the reader's blocks land on pages already there.
#include <cstddef>

namespace vex {

// Leaves at least about `bytes` of touched memory free at the top of this thread's heap, for the
// allocations that follow on this thread. Best effort: sizes beyond kMaxHeapWarmBytes, a kernel without
// the populate call or another allocator (sanitizers) make it do nothing more than an allocation and a
// free. The first call also keeps freed memory up to kMaxHeapWarmBytes in the heap instead of returning it
// at once, within the bounds the C library's own adaptive policy reaches (32 MB).
void WarmHeap(size_t bytes);

inline constexpr size_t kMaxHeapWarmBytes = size_t{32} << 20;

}  // namespace vex
