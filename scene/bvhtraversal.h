// The nearest front-face hit of one object found through its ray hierarchy,
// and whether a ray meets the object's box at all.
#pragma once

#include <emmintrin.h>

#include "scene/bvhbuild.h"

// A query ray prepared for the hierarchies; `usable` is false for rays the
// hierarchies cannot bound safely (coordinates not finite or beyond 1e15,
// direction components that are zero in total or below 1e-15 but not zero).
struct CV_bvh_ray {
  CV_cached_ray cached;
  // The origin and the inverses in the first three lanes, for the tests of
  // several axes at once.
  __m128 origin_lanes;
  __m128 inverse_lanes;
  bool usable;
  float origin_max_abs;
  float inverse[3];
  bool flat[3];  // the direction component is zero: the ray keeps its coordinate
  bool any_flat;
};

// True when the object's hierarchy answers this (usable) ray; otherwise the
// object is scanned triangle by triangle. Inline: it runs per object per query.
inline bool BvhAnswersRay(const CV_acceleration& acceleration, const CV_bvh_ray& ray) {
  return ray.usable && ray.origin_max_abs <= acceleration.origin_limit;
}

CV_bvh_ray PrepareBvhRay(vector3f ray);

// True when one of the twelve box triangles gives result 1 or 2.
bool BvhRayMeetsBox(const CV_acceleration& acceleration, const CV_bvh_ray& ray);

// The best front face ahead in the order (t, object, triangle): a triangle of
// `object` replaces (best_t, best_object, best_triangle) when its t is
// smaller, or equal with the same object and a lower triangle index. Returns
// true and writes hit, the triangle's TriNormale and the new best when
// something replaced it.
bool BvhNearestFrontHit(const CV_acceleration& acceleration, const CV_bvh_ray& ray, int object, float& best_t,
                        int& best_object, int& best_triangle, vertex3f& hit, vector3f& normal);

// BvhNearestFrontHit when BvhRayMeetsBox says the object is a candidate, and
// false otherwise, preparing the ray for the object's boxes once.
bool BvhObjectFrontHit(const CV_acceleration& acceleration, const CV_bvh_ray& ray, int object, float& best_t,
                       int& best_object, int& best_triangle, vertex3f& hit, vector3f& normal);
