#include "import/memoryceiling.h"

#include <sys/resource.h>
#include <unistd.h>

#include <new>

namespace {

// Set when operator new failed while a ceiling was in force.
bool allocation_failed = false;

// Runs instead of the default failure of operator new: notes it, then fails
// the same way.
void NoteFailedAllocation() {
  allocation_failed = true;
  throw std::bad_alloc();
}

// What the reader said, without the program's prefix and the file name that
// the memory note names already.
std::string ReaderReason(const std::string& error, const std::string& path) {
  const std::string prefix = "corvane-import: cannot read the model " + path + ": ";
  if (error.rfind(prefix, 0) == 0) return error.substr(prefix.size());
  return error.empty() ? "out of memory" : error;
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kCanLimitAddressSpace = false;
#else
constexpr bool kCanLimitAddressSpace = true;
#endif

}  // namespace

uint64_t DefaultMemoryCeiling() {
  long pages = sysconf(_SC_PHYS_PAGES);
  long page_size = sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || page_size <= 0) return UINT64_MAX;  // unknown: no ceiling
  return uint64_t(pages) * uint64_t(page_size) / 2;
}

bool LoadUnderCeiling(const CVModelLoad& load, uint64_t ceiling, const std::string& path, CVImportModel& model,
                      std::string& error) {
  rlimit before{};
  bool limited = kCanLimitAddressSpace && getrlimit(RLIMIT_AS, &before) == 0;
  if (limited) {
    rlimit ceiling_limit = before;
    if (before.rlim_max == RLIM_INFINITY || rlim_t(ceiling) < before.rlim_max) ceiling_limit.rlim_cur = rlim_t(ceiling);
    limited = setrlimit(RLIMIT_AS, &ceiling_limit) == 0;
  }
  allocation_failed = false;
  std::new_handler previous = std::set_new_handler(NoteFailedAllocation);
  bool loaded = false;
  try {
    loaded = load(model, error);
  } catch (const std::bad_alloc&) {
    allocation_failed = true;
    error.clear();
  }
  std::set_new_handler(previous);
  if (limited) setrlimit(RLIMIT_AS, &before);
  if (loaded || !allocation_failed) return loaded;
  model = CVImportModel{};
  error = "corvane-import: reading " + path + " needed more than " + std::to_string(ceiling) +
          " bytes of memory (--max-memory); the reader stopped with \"" + ReaderReason(error, path) +
          "\"; if the model is sound, a larger --max-memory reads it";
  return false;
}
