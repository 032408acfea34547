#include "core/paging.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

#if defined(__linux__) && (defined(MADV_POPULATE_WRITE) || defined(MADV_HUGEPAGE))
// Gives the system `advice` for the whole units of `unit` bytes (a power of
// two) within [begin, begin + bytes). A system that does not know the
// advice refuses it, and nothing changes.
void AdviseWholeUnits(void* begin, size_t bytes, uintptr_t unit, int advice) {
  uintptr_t first = (uintptr_t(begin) + unit - 1) & ~(unit - 1);
  uintptr_t end = (uintptr_t(begin) + bytes) & ~(unit - 1);
  if (first < end) madvise(reinterpret_cast<void*>(first), size_t(end - first), advice);
}
#endif

}  // namespace

void PageInForWriting(void* begin, size_t bytes) {
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
  // Before Linux 5.14 the pages are faulted in one by one as they are written.
  static const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
  AdviseWholeUnits(begin, bytes, page, MADV_POPULATE_WRITE);
#else
  static_cast<void>(begin);
  static_cast<void>(bytes);
#endif
}

void AskForLargePages(void* begin, size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  // Refused where the system has no large pages or keeps them off.
  AdviseWholeUnits(begin, bytes, kLargePageBytes, MADV_HUGEPAGE);
#else
  static_cast<void>(begin);
  static_cast<void>(bytes);
#endif
}
