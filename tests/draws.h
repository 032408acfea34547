// Counting and predicting the generator's draws with the standard library's
// MT19937 as an independent reference.
#pragma once

#include <cstdint>
#include <random>

#include "core/mt19937.h"

// How many words `body` drew after init_genrand(seed): the word drawn next is
// matched against the reference advanced by 0, 1, 2, ...
template <typename Body>
int WordsDrawn(uint32_t seed, Body body) {
  init_genrand(seed);
  body();
  uint32_t next = genrand_int32();
  std::mt19937 reference(seed);
  for (int n = 0; n < 100000; ++n) {
    if (reference() == next) return n;
  }
  return -1;
}

// The k-th genrand_real2 value after init_genrand(seed).
inline double Real2Draw(uint32_t seed, int k) {
  std::mt19937 reference(seed);
  reference.discard(k);
  return double(reference()) * (1.0 / 4294967296.0);
}

// The k-th genrand_real3 value after init_genrand(seed).
inline double Real3Draw(uint32_t seed, int k) {
  std::mt19937 reference(seed);
  reference.discard(k);
  return (double(reference()) + 0.5) * (1.0 / 4294967296.0);
}
