#include "core/check.h"

#include <cstdio>
#include <cstdlib>

#if defined(CORVANE_CHECKS)

void CheckFailed(const char* condition, const char* file, int line) {
  std::fprintf(stderr, "corvane: %s:%d: check failed: %s\n", file, line, condition);
  std::abort();
}

#endif
