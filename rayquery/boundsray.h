// The slab test of a ray against bounds (axis-aligned boxes: a node's, a
// triangle's acceptance bounds) grown by a margin that rounding cannot
// cross: the object hierarchies and the tree over objects share it.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

#include "core/hints.h"
#include "core/lanes.h"
#include "core/raytriangle.h"
#include "rayquery/bvhbounds.h"
#include "rayquery/bvhray.h"
#include "rayquery/bvhwide.h"

// The open ends of a parameter interval, and the limit of a query without one.
// The grown boxes' margin per unit of the boxes' and the origin's largest
// coordinates (see RoundingDelta).
constexpr float kDeltaPerCoordinate = 2e-6f;
constexpr float kDeltaPerOrigin = 6e-6f;
// Each bound of a box's parameter interval is a difference and a product with
// a rounded inverse, 3 ulp (3.6e-7) off at most: this covers it five times.
constexpr float kParameterRounding = 2e-6f;
// The float margins below add kLeastMargin (bvhbounds.h) rounded to float.
static_assert(float(kLeastMargin) == 1e-30f, "the float stages' least margin is 1e-30f");

// A ray prepared against a set of boxes whose coordinates are at most
// max_abs in magnitude: every box is grown by delta
// (see RoundingDelta), folded into the origin as O + delta and O - delta.
// Per axis, the face the ray enters by (0: lo, 1: hi) and the origin to
// measure it from, and the same for the face it leaves by.
struct BoundsRay {
  int enter_side[3];
  int leave_side[3];
  float enter_origin[3];
  float leave_origin[3];
  float inverse[3];
  bool any_flat;
  bool flat[3];  // the direction component is zero: the ray keeps its coordinate
};

// The grown box's faces lie delta beyond the box: a plane point X = O + t d
// is off the ray's exact line by at most 2^-24 (2 |X| + |O|) per coordinate,
// off the triangle's float plane (the boxes hold the plane's part) by
// kOffPlaneOrigin |O| more, and O + delta and O - delta are rounded by one
// ulp of |O| + delta; 2e-6 |X| + 6e-6 |O| covers these several times over.
inline float RoundingDelta(float max_abs, const BvhRay& ray) {
  return kDeltaPerCoordinate * max_abs + kDeltaPerOrigin * ray.origin_max_abs + float(kLeastMargin);
}

inline BoundsRay PrepareBoundsRay(float max_abs, const BvhRay& ray) {
  float delta = RoundingDelta(max_abs, ray);
  const float O[3] = {ray.cached.O.x, ray.cached.O.y, ray.cached.O.z};
  BoundsRay r;
  r.any_flat = ray.any_flat;
  for (int i = 0; i < 3; ++i) {
    // The lower face lo - delta is reached at (lo - (O + delta)) / d, the
    // upper one hi + delta at (hi - (O - delta)) / d.
    float low_origin = O[i] + delta;
    float high_origin = O[i] - delta;
    bool negative = ray.inverse[i] < 0;
    r.enter_side[i] = negative ? 1 : 0;
    r.leave_side[i] = negative ? 0 : 1;
    r.enter_origin[i] = negative ? high_origin : low_origin;
    r.leave_origin[i] = negative ? low_origin : high_origin;
    r.inverse[i] = ray.inverse[i];
    r.flat[i] = ray.flat[i];
  }
  return r;
}

// The parameter interval in which the ray runs through the grown box,
// widened for the rounding of its own computation (each bound is a
// difference and a product with a rounded inverse: at most 3 ulp off). True,
// with the interval's start, unless it is empty, ends before 0.0001, or
// starts after best_t (strictly: a node entered exactly at best_t may hold an
// earlier triangle of the same object that ties).
// Inlined by force: it runs for every node visited.
CORVANE_ALWAYS_INLINE bool RayEntersBounds(const float lo[3], const float hi[3], const BoundsRay& r, float best_t,
                                           float& entry) {
  const float* face[2] = {lo, hi};
  float near = -kInfinity;
  float far = kInfinity;
  if (r.any_flat) {
    for (int i = 0; i < 3; ++i) {
      if (r.flat[i]) {
        // The ray keeps O: it must lie in lo - delta .. hi + delta (the
        // enter origin is O + delta, the leave origin O - delta).
        if (lo[i] > r.enter_origin[i] || hi[i] < r.leave_origin[i]) return false;
        continue;
      }
      near = std::max(near, (face[r.enter_side[i]][i] - r.enter_origin[i]) * r.inverse[i]);
      far = std::min(far, (face[r.leave_side[i]][i] - r.leave_origin[i]) * r.inverse[i]);
    }
  } else {
    float n0 = (face[r.enter_side[0]][0] - r.enter_origin[0]) * r.inverse[0];
    float n1 = (face[r.enter_side[1]][1] - r.enter_origin[1]) * r.inverse[1];
    float n2 = (face[r.enter_side[2]][2] - r.enter_origin[2]) * r.inverse[2];
    float f0 = (face[r.leave_side[0]][0] - r.leave_origin[0]) * r.inverse[0];
    float f1 = (face[r.leave_side[1]][1] - r.leave_origin[1]) * r.inverse[1];
    float f2 = (face[r.leave_side[2]][2] - r.leave_origin[2]) * r.inverse[2];
    near = std::max(n0, std::max(n1, n2));
    far = std::min(f0, std::min(f1, f2));
  }
  near = near - std::fabs(near) * kParameterRounding - float(kLeastMargin);
  far = far + std::fabs(far) * kParameterRounding + float(kLeastMargin);
  entry = near;
  return near <= far && far >= kNearZero && near <= best_t;
}

// The largest of the first three lanes.
inline float LargestOfThree(Lanes4f v) {
  Lanes4f m = Max(v, BroadcastLane<1>(v));
  return FirstLane(Max(m, BroadcastLane<2>(v)));
}

// The smallest of the first three lanes.
inline float SmallestOfThree(Lanes4f v) {
  Lanes4f m = Min(v, BroadcastLane<1>(v));
  return FirstLane(Min(m, BroadcastLane<2>(v)));
}

// The parameter interval near .. far widened as RayEntersBounds widens it:
// true unless it is empty, ends before 0.0001 or starts after best_t.
inline bool Widened(float near, float far, float best_t) {
  near = near - std::fabs(near) * kParameterRounding - float(kLeastMargin);
  far = far + std::fabs(far) * kParameterRounding + float(kLeastMargin);
  return near <= far && far >= kNearZero && near <= best_t;
}

// BoundsRay's values in all four lanes, and per axis where in a wide node the
// faces lie that the ray enters and leaves by (byte offsets).
struct FourBoundsRay {
  Lanes4f enter_origin[3];
  Lanes4f leave_origin[3];
  Lanes4f inverse[3];
  size_t enter_offset[3];
  size_t leave_offset[3];
  // The constants of the widening and the comparisons, held here so that
  // the walk does not set them up again for every node.
  Lanes4f magnitude;
  Lanes4f rounding;
  Lanes4f least;
  Lanes4f near_zero;
};

inline FourBoundsRay PrepareFourBoundsRay(const BoundsRay& r) {
  FourBoundsRay f;
  for (int i = 0; i < 3; ++i) {
    f.enter_origin[i] = Broadcast4f(r.enter_origin[i]);
    f.leave_origin[i] = Broadcast4f(r.leave_origin[i]);
    f.inverse[i] = Broadcast4f(r.inverse[i]);
    size_t lanes = sizeof(float[4]) * size_t(i);
    f.enter_offset[i] = (r.enter_side[i] == 1 ? offsetof(WideNode, hi) : offsetof(WideNode, lo)) + lanes;
    f.leave_offset[i] = (r.leave_side[i] == 1 ? offsetof(WideNode, hi) : offsetof(WideNode, lo)) + lanes;
  }
  f.magnitude = MagnitudeMask4f();
  f.rounding = Broadcast4f(kParameterRounding);
  f.least = Broadcast4f(float(kLeastMargin));
  f.near_zero = Broadcast4f(kNearZero);
  return f;
}

// RayEntersBounds for the four lanes of a wide node: bit k of the result is set
// when lane k's box lets the ray in, with its entry in entry[k]. Each lane
// takes the very float operations of RayEntersBounds (with no NaN among them,
// the order of max and min does not matter, and a zero's sign is lost in the
// widening), so the answers are the same; rays with a flat axis take
// RayEntersBounds lane by lane. An empty lane's infinite box makes its widened
// interval NaN, which fails every comparison.
CORVANE_ALWAYS_INLINE int RayEntersFourBounds(const WideNode& node, const BoundsRay& r, const FourBoundsRay& f,
                                              float best_t, float entry[4]) {
  if (r.any_flat) {
    int mask = 0;
    for (int k = 0; k < 4; ++k) {
      if (node.count[k] == kNoChild) continue;
      const float lo[3] = {node.lo[0][k], node.lo[1][k], node.lo[2][k]};
      const float hi[3] = {node.hi[0][k], node.hi[1][k], node.hi[2][k]};
      if (RayEntersBounds(lo, hi, r, best_t, entry[k])) mask |= 1 << k;
    }
    return mask;
  }
  const char* bytes = reinterpret_cast<const char*>(&node);
  auto lanes = [bytes](size_t offset) { return Load4f(reinterpret_cast<const float*>(bytes + offset)); };
  auto enter = [&](int i) { return Mul(Sub(lanes(f.enter_offset[i]), f.enter_origin[i]), f.inverse[i]); };
  auto leave = [&](int i) { return Mul(Sub(lanes(f.leave_offset[i]), f.leave_origin[i]), f.inverse[i]); };
  Lanes4f near = Max(Max(enter(0), enter(1)), enter(2));
  Lanes4f far = Min(Min(leave(0), leave(1)), leave(2));
  near = Sub(Sub(near, Mul(And(near, f.magnitude), f.rounding)), f.least);
  far = Add(Add(far, Mul(And(far, f.magnitude), f.rounding)), f.least);
  StoreUnaligned(entry, near);
  Lanes4f in = And(LessEqualMask(near, far), GreaterEqualMask(far, f.near_zero));
  in = And(in, LessEqualMask(near, Broadcast4f(best_t)));
  return MaskBits(in);
}

// The lanes of a wide node that hold leaves, as bits.
inline int LeafLanes(const WideNode& node) { return MaskBits(GreaterMask(Load4i(node.count), Zero4i())); }
