// A query ray prepared once for all the hierarchies it meets: its cached
// form, its inverse direction, and whether the hierarchies may answer it.
#pragma once

#include "core/lanes.h"
#include "core/vecmath.h"
#include "rayquery/trianglecache.h"

// A query ray prepared for the hierarchies; `usable` is false for rays the
// hierarchies cannot bound safely (coordinates not finite or beyond 1e15,
// direction components that are zero in total or below 1e-15 but not zero).
struct BvhRay {
  CachedRay cached;
  // The origin and the inverses in the first three lanes, for the tests of
  // several axes at once.
  Lanes4f origin_lanes;
  Lanes4f inverse_lanes;
  bool usable;
  float origin_max_abs;
  float inverse[3];
  bool flat[3];  // the direction component is zero: the ray keeps its coordinate
  bool any_flat;
};

BvhRay PrepareBvhRay(vector3f ray);
