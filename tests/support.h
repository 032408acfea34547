// Comparisons of floats and points that the unit tests share.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "core/vecmath.h"

// The bit pattern of a float: tells -0 from 0 and one NaN from another, where
// == cannot.
inline uint32_t Bits(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

// True when every coordinate of a has the bits of the same coordinate of b.
inline bool SameBits(vertex3f a, vertex3f b) {
  return Bits(a.x) == Bits(b.x) && Bits(a.y) == Bits(b.y) && Bits(a.z) == Bits(b.z);
}

// Expects each coordinate of v to equal that of expected (== as floats, so -0
// equals 0 and an infinity equals itself), or to lie within tolerance of it.
inline void ExpectVertex(vertex3f v, vertex3f expected, float tolerance = 0) {
  const float got[3] = {v.x, v.y, v.z};
  const float want[3] = {expected.x, expected.y, expected.z};
  for (int i = 0; i < 3; ++i) {
    if (got[i] == want[i]) continue;
    EXPECT_NEAR(got[i], want[i], tolerance) << "coordinate "
                                            << "xyz"[i];
  }
}
