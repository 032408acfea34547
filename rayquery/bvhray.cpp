#include "rayquery/bvhray.h"

#include "rayquery/boundsray.h"
#include "rayquery/bvhbounds.h"

namespace {

// Keeps every inverse of a non-zero direction component at most 1e15, so that a
// box parameter (a coordinate difference up to 2e15 times it) stays far from overflow.
constexpr float kSmallestDirectionComponent = 1e-15f;
// kLargestBoundedCoordinate as a float: it rounds down, so a float is at
// most the one exactly when it is at most the other.
constexpr float kLargestBoundedFloat = float(kLargestBoundedCoordinate);
static_assert(double(kLargestBoundedFloat) <= kLargestBoundedCoordinate, "the float bound must not exceed the double");

}  // namespace

// The three axes at once; the fourth lane holds an origin of 0 and a
// direction of 1, which pass every test. A coordinate that is not finite
// fails the comparisons, so the ray is not usable; for usable rays the
// largest magnitudes are exact and each inverse is the scalar 1 / d (0 for
// a flat axis).
BvhRay PrepareBvhRay(vector3f ray) {
  BvhRay r;
  r.cached = CacheRay(ray);
  const __m128 O = _mm_setr_ps(ray.origin.x, ray.origin.y, ray.origin.z, 0);
  const __m128 d = _mm_setr_ps(ray.direction.x, ray.direction.y, ray.direction.z, 1);
  const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
  const __m128 o = _mm_and_ps(O, magnitude);
  const __m128 e = _mm_and_ps(d, magnitude);
  const __m128 bound = _mm_set1_ps(kLargestBoundedFloat);
  const __m128 zero = _mm_setzero_ps();
  __m128 fine = _mm_and_ps(_mm_cmple_ps(o, bound), _mm_cmple_ps(e, bound));
  fine = _mm_and_ps(fine, _mm_or_ps(_mm_cmpeq_ps(e, zero), _mm_cmpge_ps(e, _mm_set1_ps(kSmallestDirectionComponent))));
  const __m128 flat = _mm_cmpeq_ps(d, zero);
  const __m128 inverse = _mm_andnot_ps(flat, _mm_div_ps(_mm_set1_ps(1.0f), d));
  float inverses[4];
  _mm_storeu_ps(inverses, inverse);
  int flat_bits = _mm_movemask_ps(flat);
  for (int i = 0; i < 3; ++i) {
    r.flat[i] = (flat_bits >> i & 1) != 0;
    r.inverse[i] = inverses[i];
  }
  r.any_flat = flat_bits != 0;
  r.origin_lanes = O;
  r.inverse_lanes = inverse;
  r.origin_max_abs = LargestOfThree(o);
  r.usable = _mm_movemask_ps(fine) == 0xf && LargestOfThree(e) >= kShortestDirection;
  return r;
}
