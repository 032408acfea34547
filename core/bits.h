// Bit scans over small lane masks.
#pragma once

#include "core/check.h"

// The index of the lowest set bit of bits, which must not be 0.
inline int LowestSetBit(unsigned bits) {
  CORVANE_CHECK(bits != 0);
#if defined(__GNUC__)
  return __builtin_ctz(bits);
#else
  int k = 0;
  for (; (bits & 1u) == 0; bits >>= 1) ++k;
  return k;
#endif
}
