// The nearest front-face hit of one object found through its ray hierarchy,
// checked against the object's box triangles.
#pragma once

#include "rayquery/bvhbuild.h"
#include "rayquery/bvhray.h"

// True when the object's hierarchy answers this (usable) ray; otherwise the
// object is scanned triangle by triangle. Inline: it runs per object per query.
inline bool BvhAnswersRay(const Acceleration& acceleration, const BvhRay& ray) {
  return ray.usable && ray.origin_max_abs <= acceleration.origin_limit;
}

// The best front face so far, the least in the order (t, object, triangle):
// its hit point and its triangle's TriNormale. object is -1 while there is
// none; triangle is -1 for an object that was scanned.
struct BestHit {
  float t;
  int object;
  int triangle;
  vertex3f hit;
  vector3f normal;
};

// Offers the triangles of object (whose hierarchy answers the ray, and
// whose reach box BvhMayReach found the ray may enter) to the best so far: a
// front face ahead replaces it when it is nearer, or as near and before it
// in (object, triangle) order, and the object's box triangles give result 1
// or 2. True when it was replaced.
bool BvhOfferObject(const Acceleration& acceleration, const BvhRay& ray, int object, BestHit& best);
