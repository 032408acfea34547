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
  const Lanes4f O = Set4f(ray.origin.x, ray.origin.y, ray.origin.z, 0);
  const Lanes4f d = Set4f(ray.direction.x, ray.direction.y, ray.direction.z, 1);
  const Lanes4f magnitude = MagnitudeMask4f();
  const Lanes4f o = And(O, magnitude);
  const Lanes4f e = And(d, magnitude);
  const Lanes4f bound = Broadcast4f(kLargestBoundedFloat);
  const Lanes4f zero = Zero4f();
  Lanes4f fine = And(LessEqualMask(o, bound), LessEqualMask(e, bound));
  fine = And(fine, Or(EqualMask(e, zero), GreaterEqualMask(e, Broadcast4f(kSmallestDirectionComponent))));
  const Lanes4f flat = EqualMask(d, zero);
  const Lanes4f inverse = AndNot(flat, Div(Broadcast4f(1.0f), d));
  float inverses[4];
  StoreUnaligned(inverses, inverse);
  int flat_bits = MaskBits(flat);
  for (int i = 0; i < 3; ++i) {
    r.flat[i] = (flat_bits >> i & 1) != 0;
    r.inverse[i] = inverses[i];
  }
  r.any_flat = flat_bits != 0;
  r.origin_lanes = O;
  r.inverse_lanes = inverse;
  r.origin_max_abs = LargestOfThree(o);
  r.usable = MaskBits(fine) == 0xf && LargestOfThree(e) >= kShortestDirection;
  return r;
}
