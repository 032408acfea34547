// The plane stage of the cached triangle test four triangles at a time, for
// objects of so few triangles that walking boxes costs more than testing
// every plane.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/lanes.h"
#include "rayquery/trianglecache.h"

// Objects with at most this many triangles to test are searched plane by
// plane instead of through their boxes: for a room of twelve around a
// sphere, rays leaving its surfaces took a tenth fewer instructions.
constexpr size_t kFewTriangles = 16;
constexpr size_t kMostPlaneGroups = kFewTriangles / 4;

// The plane records of four triangles side by side; a lane without a
// triangle has a NaN n_hat, whose facing test fails.
struct alignas(16) PlaneGroup {
  float n_hat[3][4];
  float N[3][4];
  float N_dot_P0[4];
  int32_t triangle[4];  // the triangle's index in its object (-1: no triangle)
  int32_t slot[4];      // and its place among the hierarchy's slots
};

// The groups over the slots' planes (at most kFewTriangles), in the order
// of the triangles' indices.
std::vector<PlaneGroup> GroupPlanes(const CachedPlane* planes, size_t count);

// The lanes whose plane stage passed: the ray meets the plane from the
// front at t above 0.0001 and at most the limit. Each lane takes the float
// operations of the scalar stage, so these are exactly the triangles that
// stage passes with ties winning, with the same t.
struct PassedPlanes {
  alignas(16) float t[kMostPlaneGroups][4];
  int lanes[kMostPlaneGroups];  // bit k: lane k passed and is not yet taken
  size_t group_count;
  float nearest;  // the least t among the lanes not yet taken
  bool any;       // a lane passed
};

PassedPlanes FrontPlanes(const PlaneGroup* groups, size_t group_count, const CachedRay& ray, float limit);

// The lanes of group g at front.nearest, which it takes out of front; the
// caller sets front.nearest anew (NearestLeft) once it has taken them all.
inline int TakeNearestLanes(PassedPlanes& front, size_t g) {
  Lanes4f at_nearest = EqualMask(Load4f(front.t[g]), Broadcast4f(front.nearest));
  int at = front.lanes[g] & MaskBits(at_nearest);
  front.lanes[g] &= ~at;
  return at;
}

// The least t among the lanes left; false when none is left.
bool NearestLeft(PassedPlanes& front);
