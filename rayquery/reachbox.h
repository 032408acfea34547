// The reach box: the root bounds of an object's hierarchy grown by the
// rounding margin of the farthest origin it serves, the query's first look
// at an object, which needs no ray set up for it.
#pragma once

#include "core/lanes.h"
#include "rayquery/boundsray.h"
#include "rayquery/bvhbuild.h"
#include "rayquery/bvhray.h"

// The reach test one axis at a time, for rays that keep a coordinate.
bool MayReachAlongAxes(const Acceleration& a, const BvhRay& ray, float best_t);

// False when the ray surely meets nothing of the object's hierarchy at or before
// best_t: it misses the reach box, which holds every point an answered ray
// can be accepted at (its margin is at least this ray's RoundingDelta). The
// interval is bounded and widened as RayEntersBounds bounds and widens it.
// Inline: it rules out most objects of most queries.
inline bool BvhMayReach(const Acceleration& a, const BvhRay& ray, float best_t) {
  if (ray.any_flat) return MayReachAlongAxes(a, ray, best_t);
  Lanes4f to_lo = Mul(Sub(Load4f(a.reach_lo), ray.origin_lanes), ray.inverse_lanes);
  Lanes4f to_hi = Mul(Sub(Load4f(a.reach_hi), ray.origin_lanes), ray.inverse_lanes);
  float near = LargestOfThree(Min(to_lo, to_hi));
  float far = SmallestOfThree(Max(to_lo, to_hi));
  return Widened(near, far, best_t);
}
