// The plane stage of the cached triangle test four triangles at a time, for
// objects of so few triangles that walking boxes costs more than testing
// every plane.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "scene/trianglecache.h"

// Objects with at most this many triangles to test are searched plane by
// plane instead of through their boxes: for a room of twelve around a
// sphere, rays leaving its surfaces took a tenth fewer instructions.
constexpr size_t kFewTriangles = 16;

// The plane records of four triangles side by side; a lane without a
// triangle has a NaN n_hat, whose facing test fails.
struct alignas(16) CV_plane_group {
  float n_hat[3][4];
  float N[3][4];
  float N_dot_P0[4];
  int32_t triangle[4];
};

// The groups over planes[0 .. count), four to a group in order.
std::vector<CV_plane_group> GroupPlanes(const CV_cached_plane* planes, size_t count);

// A triangle whose plane stage passed: its parameter and its place in the planes.
struct CV_plane_candidate {
  float t;
  int32_t triangle;
  int32_t slot;
};

// Writes the triangles of the groups over count planes that the ray meets
// from the front at t above 0.0001 and at most limit; returns how many.
// These are exactly the triangles whose plane stage passes the limit with
// ties winning: each lane takes the float operations of the scalar stage.
size_t FrontCandidates(const CV_plane_group* groups, size_t count, const CV_cached_ray& ray, float limit,
                       CV_plane_candidate* candidates);

// Takes the least candidate in the order (t, triangle) out of
// candidates[0 .. count) (not empty), which keeps the others.
CV_plane_candidate TakeNearest(CV_plane_candidate* candidates, size_t& count);
