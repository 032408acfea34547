// The lanes of core/lanes.h as SSE2 registers; included only from there.
// Each operation is inlined by force, as the intrinsics are, so that the
// compiler weighs and places the code as if the intrinsics stood there.
#pragma once

#include <emmintrin.h>

#include <cstdint>

#include "core/hints.h"

namespace sse2_lanes {

// The registers themselves, so that the compiler sees the intrinsics alone.
using Lanes4f = __m128;
using Lanes4i = __m128i;
using Lanes2d = __m128d;

CORVANE_ALWAYS_INLINE Lanes4f Load4f(const float* p) { return _mm_load_ps(p); }
CORVANE_ALWAYS_INLINE void Store(float* p, Lanes4f a) { _mm_store_ps(p, a); }
CORVANE_ALWAYS_INLINE void StoreUnaligned(float* p, Lanes4f a) { _mm_storeu_ps(p, a); }
CORVANE_ALWAYS_INLINE Lanes4f Broadcast4f(float x) { return _mm_set1_ps(x); }
CORVANE_ALWAYS_INLINE Lanes4f Set4f(float x0, float x1, float x2, float x3) { return _mm_setr_ps(x0, x1, x2, x3); }
CORVANE_ALWAYS_INLINE Lanes4f Zero4f() { return _mm_setzero_ps(); }
CORVANE_ALWAYS_INLINE Lanes4f MagnitudeMask4f() { return _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff)); }

CORVANE_ALWAYS_INLINE Lanes4f Add(Lanes4f a, Lanes4f b) { return _mm_add_ps(a, b); }
CORVANE_ALWAYS_INLINE Lanes4f Sub(Lanes4f a, Lanes4f b) { return _mm_sub_ps(a, b); }
CORVANE_ALWAYS_INLINE Lanes4f Mul(Lanes4f a, Lanes4f b) { return _mm_mul_ps(a, b); }
CORVANE_ALWAYS_INLINE Lanes4f Div(Lanes4f a, Lanes4f b) { return _mm_div_ps(a, b); }
CORVANE_ALWAYS_INLINE Lanes4f Min(Lanes4f a, Lanes4f b) { return _mm_min_ps(a, b); }
CORVANE_ALWAYS_INLINE Lanes4f Max(Lanes4f a, Lanes4f b) { return _mm_max_ps(a, b); }
CORVANE_ALWAYS_INLINE Lanes4f LessMask(Lanes4f a, Lanes4f b) { return _mm_cmplt_ps(a, b); }
CORVANE_ALWAYS_INLINE Lanes4f LessEqualMask(Lanes4f a, Lanes4f b) { return _mm_cmple_ps(a, b); }
CORVANE_ALWAYS_INLINE Lanes4f GreaterMask(Lanes4f a, Lanes4f b) { return _mm_cmpgt_ps(a, b); }
CORVANE_ALWAYS_INLINE Lanes4f GreaterEqualMask(Lanes4f a, Lanes4f b) { return _mm_cmpge_ps(a, b); }
CORVANE_ALWAYS_INLINE Lanes4f EqualMask(Lanes4f a, Lanes4f b) { return _mm_cmpeq_ps(a, b); }
CORVANE_ALWAYS_INLINE Lanes4f And(Lanes4f a, Lanes4f b) { return _mm_and_ps(a, b); }
CORVANE_ALWAYS_INLINE Lanes4f Or(Lanes4f a, Lanes4f b) { return _mm_or_ps(a, b); }
CORVANE_ALWAYS_INLINE Lanes4f AndNot(Lanes4f mask, Lanes4f b) { return _mm_andnot_ps(mask, b); }
CORVANE_ALWAYS_INLINE int MaskBits(Lanes4f a) { return _mm_movemask_ps(a); }
template <int k>
CORVANE_ALWAYS_INLINE Lanes4f BroadcastLane(Lanes4f a) {
  return _mm_shuffle_ps(a, a, _MM_SHUFFLE(k, k, k, k));
}
CORVANE_ALWAYS_INLINE Lanes4f SwapHalves(Lanes4f a) { return _mm_shuffle_ps(a, a, _MM_SHUFFLE(1, 0, 3, 2)); }
CORVANE_ALWAYS_INLINE Lanes4f SwapNeighbours(Lanes4f a) { return _mm_shuffle_ps(a, a, _MM_SHUFFLE(2, 3, 0, 1)); }
CORVANE_ALWAYS_INLINE float FirstLane(Lanes4f a) { return _mm_cvtss_f32(a); }

CORVANE_ALWAYS_INLINE Lanes4i Load4i(const int32_t* p) { return _mm_load_si128(reinterpret_cast<const __m128i*>(p)); }
CORVANE_ALWAYS_INLINE Lanes4i Zero4i() { return _mm_setzero_si128(); }
CORVANE_ALWAYS_INLINE Lanes4i GreaterMask(Lanes4i a, Lanes4i b) { return _mm_cmpgt_epi32(a, b); }
CORVANE_ALWAYS_INLINE int MaskBits(Lanes4i a) { return _mm_movemask_ps(_mm_castsi128_ps(a)); }

CORVANE_ALWAYS_INLINE Lanes2d LoadUnaligned2d(const double* p) { return _mm_loadu_pd(p); }
CORVANE_ALWAYS_INLINE Lanes2d Broadcast2d(double x) { return _mm_set1_pd(x); }
CORVANE_ALWAYS_INLINE void StoreUnaligned(double* p, Lanes2d a) { _mm_storeu_pd(p, a); }
CORVANE_ALWAYS_INLINE Lanes2d Add(Lanes2d a, Lanes2d b) { return _mm_add_pd(a, b); }
CORVANE_ALWAYS_INLINE Lanes2d Sub(Lanes2d a, Lanes2d b) { return _mm_sub_pd(a, b); }
CORVANE_ALWAYS_INLINE Lanes2d Mul(Lanes2d a, Lanes2d b) { return _mm_mul_pd(a, b); }
CORVANE_ALWAYS_INLINE Lanes2d Min(Lanes2d a, Lanes2d b) { return _mm_min_pd(a, b); }
CORVANE_ALWAYS_INLINE Lanes2d GreaterEqualMask(Lanes2d a, Lanes2d b) { return _mm_cmpge_pd(a, b); }
CORVANE_ALWAYS_INLINE Lanes2d And(Lanes2d a, Lanes2d b) { return _mm_and_pd(a, b); }
CORVANE_ALWAYS_INLINE Lanes2d AndNot(Lanes2d mask, Lanes2d b) { return _mm_andnot_pd(mask, b); }
CORVANE_ALWAYS_INLINE int MaskBits(Lanes2d a) { return _mm_movemask_pd(a); }
CORVANE_ALWAYS_INLINE Lanes2d TruncatedToInt32(Lanes2d a) { return _mm_cvtepi32_pd(_mm_cvttpd_epi32(a)); }

}  // namespace sse2_lanes
