#include "core/paging.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

void PageInForWriting(void* begin, size_t bytes) {
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
  static const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
  uintptr_t first = (uintptr_t(begin) + page - 1) & ~(page - 1);
  uintptr_t end = (uintptr_t(begin) + bytes) & ~(page - 1);
  // A system without it (before Linux 5.14) refuses, and the pages are
  // then faulted in one by one as they are written.
  if (first < end) madvise(reinterpret_cast<void*>(first), size_t(end - first), MADV_POPULATE_WRITE);
#else
  static_cast<void>(begin);
  static_cast<void>(bytes);
#endif
}

void AskForLargePages(void* begin, size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  uintptr_t first = (uintptr_t(begin) + kLargePageBytes - 1) & ~uintptr_t(kLargePageBytes - 1);
  uintptr_t end = (uintptr_t(begin) + bytes) & ~uintptr_t(kLargePageBytes - 1);
  // Refused where the system has no large pages or keeps them off.
  if (first < end) madvise(reinterpret_cast<void*>(first), size_t(end - first), MADV_HUGEPAGE);
#else
  static_cast<void>(begin);
  static_cast<void>(bytes);
#endif
}
