// The lanes of core/lanes.h as AArch64 NEON registers; included only from
// there. NEON's own min, max and conversions differ from SSE2's at NaN,
// signed zeros and out-of-range values, so those are built from
// comparisons and selects that give SSE2's answers.
#pragma once

#include <arm_neon.h>

#include <cstdint>

namespace neon_lanes {

struct Lanes4f {
  float32x4_t v;
};
struct Lanes4i {
  int32x4_t v;
};
struct Lanes2d {
  float64x2_t v;
};

inline float32x4_t FromMask(uint32x4_t m) { return vreinterpretq_f32_u32(m); }
inline uint32x4_t ToMask(float32x4_t a) { return vreinterpretq_u32_f32(a); }
inline float64x2_t FromMask(uint64x2_t m) { return vreinterpretq_f64_u64(m); }
inline uint64x2_t ToMask(float64x2_t a) { return vreinterpretq_u64_f64(a); }

inline Lanes4f Load4f(const float* p) { return {vld1q_f32(p)}; }
inline void Store(float* p, Lanes4f a) { vst1q_f32(p, a.v); }
inline void StoreUnaligned(float* p, Lanes4f a) { vst1q_f32(p, a.v); }
inline Lanes4f Broadcast4f(float x) { return {vdupq_n_f32(x)}; }
inline Lanes4f Set4f(float x0, float x1, float x2, float x3) {
  const float x[4] = {x0, x1, x2, x3};
  return {vld1q_f32(x)};
}
inline Lanes4f Zero4f() { return {vdupq_n_f32(0.0f)}; }
inline Lanes4f MagnitudeMask4f() { return {FromMask(vdupq_n_u32(0x7fffffff))}; }

inline Lanes4f Add(Lanes4f a, Lanes4f b) { return {vaddq_f32(a.v, b.v)}; }
inline Lanes4f Sub(Lanes4f a, Lanes4f b) { return {vsubq_f32(a.v, b.v)}; }
inline Lanes4f Mul(Lanes4f a, Lanes4f b) { return {vmulq_f32(a.v, b.v)}; }
inline Lanes4f Div(Lanes4f a, Lanes4f b) { return {vdivq_f32(a.v, b.v)}; }
inline Lanes4f Min(Lanes4f a, Lanes4f b) { return {vbslq_f32(vcltq_f32(a.v, b.v), a.v, b.v)}; }
inline Lanes4f Max(Lanes4f a, Lanes4f b) { return {vbslq_f32(vcgtq_f32(a.v, b.v), a.v, b.v)}; }
inline Lanes4f LessMask(Lanes4f a, Lanes4f b) { return {FromMask(vcltq_f32(a.v, b.v))}; }
inline Lanes4f LessEqualMask(Lanes4f a, Lanes4f b) { return {FromMask(vcleq_f32(a.v, b.v))}; }
inline Lanes4f GreaterMask(Lanes4f a, Lanes4f b) { return {FromMask(vcgtq_f32(a.v, b.v))}; }
inline Lanes4f GreaterEqualMask(Lanes4f a, Lanes4f b) { return {FromMask(vcgeq_f32(a.v, b.v))}; }
inline Lanes4f EqualMask(Lanes4f a, Lanes4f b) { return {FromMask(vceqq_f32(a.v, b.v))}; }
inline Lanes4f And(Lanes4f a, Lanes4f b) { return {FromMask(vandq_u32(ToMask(a.v), ToMask(b.v)))}; }
inline Lanes4f Or(Lanes4f a, Lanes4f b) { return {FromMask(vorrq_u32(ToMask(a.v), ToMask(b.v)))}; }
inline Lanes4f AndNot(Lanes4f mask, Lanes4f b) { return {FromMask(vbicq_u32(ToMask(b.v), ToMask(mask.v)))}; }
inline int MaskBits(Lanes4f a) {
  const uint32_t weights[4] = {1, 2, 4, 8};
  return int(vaddvq_u32(vmulq_u32(vshrq_n_u32(ToMask(a.v), 31), vld1q_u32(weights))));
}
template <int k>
inline Lanes4f BroadcastLane(Lanes4f a) {
  return {vdupq_laneq_f32(a.v, k)};
}
inline Lanes4f SwapHalves(Lanes4f a) { return {vextq_f32(a.v, a.v, 2)}; }
inline Lanes4f SwapNeighbours(Lanes4f a) { return {vrev64q_f32(a.v)}; }
inline float FirstLane(Lanes4f a) { return vgetq_lane_f32(a.v, 0); }

inline Lanes4i Load4i(const int32_t* p) { return {vld1q_s32(p)}; }
inline Lanes4i Zero4i() { return {vdupq_n_s32(0)}; }
inline Lanes4i GreaterMask(Lanes4i a, Lanes4i b) { return {vreinterpretq_s32_u32(vcgtq_s32(a.v, b.v))}; }
inline int MaskBits(Lanes4i a) {
  const uint32_t weights[4] = {1, 2, 4, 8};
  return int(vaddvq_u32(vmulq_u32(vshrq_n_u32(vreinterpretq_u32_s32(a.v), 31), vld1q_u32(weights))));
}

inline Lanes2d LoadUnaligned2d(const double* p) { return {vld1q_f64(p)}; }
inline Lanes2d Broadcast2d(double x) { return {vdupq_n_f64(x)}; }
inline void StoreUnaligned(double* p, Lanes2d a) { vst1q_f64(p, a.v); }
inline Lanes2d Add(Lanes2d a, Lanes2d b) { return {vaddq_f64(a.v, b.v)}; }
inline Lanes2d Sub(Lanes2d a, Lanes2d b) { return {vsubq_f64(a.v, b.v)}; }
inline Lanes2d Mul(Lanes2d a, Lanes2d b) { return {vmulq_f64(a.v, b.v)}; }
inline Lanes2d Min(Lanes2d a, Lanes2d b) { return {vbslq_f64(vcltq_f64(a.v, b.v), a.v, b.v)}; }
inline Lanes2d GreaterEqualMask(Lanes2d a, Lanes2d b) { return {FromMask(vcgeq_f64(a.v, b.v))}; }
inline Lanes2d And(Lanes2d a, Lanes2d b) { return {FromMask(vandq_u64(ToMask(a.v), ToMask(b.v)))}; }
inline Lanes2d AndNot(Lanes2d mask, Lanes2d b) { return {FromMask(vbicq_u64(ToMask(b.v), ToMask(mask.v)))}; }
inline int MaskBits(Lanes2d a) {
  uint64x2_t signs = vshrq_n_u64(ToMask(a.v), 63);
  return int(vgetq_lane_u64(signs, 0) | vgetq_lane_u64(signs, 1) << 1);
}
// Through int64, exact for every value that fits an int32 and +0 for a
// zero of either sign; INT32_MIN for NaN and the values beyond, as SSE2.
inline Lanes2d TruncatedToInt32(Lanes2d a) {
  uint64x2_t fits = vandq_u64(vcgtq_f64(a.v, vdupq_n_f64(-2147483649.0)), vcltq_f64(a.v, vdupq_n_f64(2147483648.0)));
  float64x2_t whole = vcvtq_f64_s64(vcvtq_s64_f64(a.v));
  return {vbslq_f64(fits, whole, vdupq_n_f64(-2147483648.0))};
}

}  // namespace neon_lanes
