// The lanes of core/lanes.h as AArch64 NEON registers; included only from
// there. NEON's own min, max and conversions differ from SSE2's at NaN,
// signed zeros and out-of-range values, so those are built from
// comparisons and selects that give SSE2's answers. Inlined by force, as
// the intrinsics are.
#pragma once

#include <arm_neon.h>

#include <cstdint>

#include "core/hints.h"

namespace neon_lanes {

// The registers themselves, so that the compiler sees the intrinsics alone.
using Lanes4f = float32x4_t;
using Lanes4i = int32x4_t;
using Lanes2d = float64x2_t;

CORVANE_ALWAYS_INLINE float32x4_t FromMask(uint32x4_t m) { return vreinterpretq_f32_u32(m); }
CORVANE_ALWAYS_INLINE uint32x4_t ToMask(float32x4_t a) { return vreinterpretq_u32_f32(a); }
CORVANE_ALWAYS_INLINE float64x2_t FromMask(uint64x2_t m) { return vreinterpretq_f64_u64(m); }
CORVANE_ALWAYS_INLINE uint64x2_t ToMask(float64x2_t a) { return vreinterpretq_u64_f64(a); }

CORVANE_ALWAYS_INLINE Lanes4f Load4f(const float* p) { return vld1q_f32(p); }
CORVANE_ALWAYS_INLINE void Store(float* p, Lanes4f a) { vst1q_f32(p, a); }
CORVANE_ALWAYS_INLINE void StoreUnaligned(float* p, Lanes4f a) { vst1q_f32(p, a); }
CORVANE_ALWAYS_INLINE Lanes4f Broadcast4f(float x) { return vdupq_n_f32(x); }
CORVANE_ALWAYS_INLINE Lanes4f Set4f(float x0, float x1, float x2, float x3) {
  const float x[4] = {x0, x1, x2, x3};
  return vld1q_f32(x);
}
CORVANE_ALWAYS_INLINE Lanes4f Zero4f() { return vdupq_n_f32(0.0f); }
CORVANE_ALWAYS_INLINE Lanes4f MagnitudeMask4f() { return FromMask(vdupq_n_u32(0x7fffffff)); }

CORVANE_ALWAYS_INLINE Lanes4f Add(Lanes4f a, Lanes4f b) { return vaddq_f32(a, b); }
CORVANE_ALWAYS_INLINE Lanes4f Sub(Lanes4f a, Lanes4f b) { return vsubq_f32(a, b); }
CORVANE_ALWAYS_INLINE Lanes4f Mul(Lanes4f a, Lanes4f b) { return vmulq_f32(a, b); }
CORVANE_ALWAYS_INLINE Lanes4f Div(Lanes4f a, Lanes4f b) { return vdivq_f32(a, b); }
CORVANE_ALWAYS_INLINE Lanes4f Min(Lanes4f a, Lanes4f b) { return vbslq_f32(vcltq_f32(a, b), a, b); }
CORVANE_ALWAYS_INLINE Lanes4f Max(Lanes4f a, Lanes4f b) { return vbslq_f32(vcgtq_f32(a, b), a, b); }
CORVANE_ALWAYS_INLINE Lanes4f LessMask(Lanes4f a, Lanes4f b) { return FromMask(vcltq_f32(a, b)); }
CORVANE_ALWAYS_INLINE Lanes4f LessEqualMask(Lanes4f a, Lanes4f b) { return FromMask(vcleq_f32(a, b)); }
CORVANE_ALWAYS_INLINE Lanes4f GreaterMask(Lanes4f a, Lanes4f b) { return FromMask(vcgtq_f32(a, b)); }
CORVANE_ALWAYS_INLINE Lanes4f GreaterEqualMask(Lanes4f a, Lanes4f b) { return FromMask(vcgeq_f32(a, b)); }
CORVANE_ALWAYS_INLINE Lanes4f EqualMask(Lanes4f a, Lanes4f b) { return FromMask(vceqq_f32(a, b)); }
CORVANE_ALWAYS_INLINE Lanes4f And(Lanes4f a, Lanes4f b) { return FromMask(vandq_u32(ToMask(a), ToMask(b))); }
CORVANE_ALWAYS_INLINE Lanes4f Or(Lanes4f a, Lanes4f b) { return FromMask(vorrq_u32(ToMask(a), ToMask(b))); }
CORVANE_ALWAYS_INLINE Lanes4f AndNot(Lanes4f mask, Lanes4f b) { return FromMask(vbicq_u32(ToMask(b), ToMask(mask))); }
CORVANE_ALWAYS_INLINE int MaskBits(Lanes4f a) {
  const uint32_t weights[4] = {1, 2, 4, 8};
  return int(vaddvq_u32(vmulq_u32(vshrq_n_u32(ToMask(a), 31), vld1q_u32(weights))));
}
template <int k>
CORVANE_ALWAYS_INLINE Lanes4f BroadcastLane(Lanes4f a) {
  return vdupq_laneq_f32(a, k);
}
CORVANE_ALWAYS_INLINE Lanes4f SwapHalves(Lanes4f a) { return vextq_f32(a, a, 2); }
CORVANE_ALWAYS_INLINE Lanes4f SwapNeighbours(Lanes4f a) { return vrev64q_f32(a); }
CORVANE_ALWAYS_INLINE float FirstLane(Lanes4f a) { return vgetq_lane_f32(a, 0); }

CORVANE_ALWAYS_INLINE Lanes4i Load4i(const int32_t* p) { return vld1q_s32(p); }
CORVANE_ALWAYS_INLINE Lanes4i Zero4i() { return vdupq_n_s32(0); }
CORVANE_ALWAYS_INLINE Lanes4i GreaterMask(Lanes4i a, Lanes4i b) { return vreinterpretq_s32_u32(vcgtq_s32(a, b)); }
CORVANE_ALWAYS_INLINE int MaskBits(Lanes4i a) {
  const uint32_t weights[4] = {1, 2, 4, 8};
  return int(vaddvq_u32(vmulq_u32(vshrq_n_u32(vreinterpretq_u32_s32(a), 31), vld1q_u32(weights))));
}

CORVANE_ALWAYS_INLINE Lanes2d LoadUnaligned2d(const double* p) { return vld1q_f64(p); }
CORVANE_ALWAYS_INLINE Lanes2d Broadcast2d(double x) { return vdupq_n_f64(x); }
CORVANE_ALWAYS_INLINE void StoreUnaligned(double* p, Lanes2d a) { vst1q_f64(p, a); }
CORVANE_ALWAYS_INLINE Lanes2d Add(Lanes2d a, Lanes2d b) { return vaddq_f64(a, b); }
CORVANE_ALWAYS_INLINE Lanes2d Sub(Lanes2d a, Lanes2d b) { return vsubq_f64(a, b); }
CORVANE_ALWAYS_INLINE Lanes2d Mul(Lanes2d a, Lanes2d b) { return vmulq_f64(a, b); }
CORVANE_ALWAYS_INLINE Lanes2d Min(Lanes2d a, Lanes2d b) { return vbslq_f64(vcltq_f64(a, b), a, b); }
CORVANE_ALWAYS_INLINE Lanes2d GreaterEqualMask(Lanes2d a, Lanes2d b) { return FromMask(vcgeq_f64(a, b)); }
CORVANE_ALWAYS_INLINE Lanes2d And(Lanes2d a, Lanes2d b) { return FromMask(vandq_u64(ToMask(a), ToMask(b))); }
CORVANE_ALWAYS_INLINE Lanes2d AndNot(Lanes2d mask, Lanes2d b) { return FromMask(vbicq_u64(ToMask(b), ToMask(mask))); }
CORVANE_ALWAYS_INLINE int MaskBits(Lanes2d a) {
  uint64x2_t signs = vshrq_n_u64(ToMask(a), 63);
  return int(vgetq_lane_u64(signs, 0) | vgetq_lane_u64(signs, 1) << 1);
}
// Through int64, exact for every value that fits an int32 and +0 for a
// zero of either sign; INT32_MIN for NaN and the values beyond, as SSE2.
CORVANE_ALWAYS_INLINE Lanes2d TruncatedToInt32(Lanes2d a) {
  uint64x2_t fits = vandq_u64(vcgtq_f64(a, vdupq_n_f64(-2147483649.0)), vcltq_f64(a, vdupq_n_f64(2147483648.0)));
  float64x2_t whole = vcvtq_f64_s64(vcvtq_s64_f64(a));
  return vbslq_f64(fits, whole, vdupq_n_f64(-2147483648.0));
}

}  // namespace neon_lanes
