// A bounding volume hierarchy over one object's triangles, whose boxes hold
// every point the ray-triangle test can accept, and the object's nearest
// front-face hit found through it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "scene/trianglecache.h"

struct CV_bvh_node {
  float lo[3];
  float hi[3];
  int32_t first;  // inner node: index of the left child (the right one follows); leaf: first slot
  int32_t count;  // 0 for an inner node; the leaf's number of slots otherwise
};

struct CV_acceleration {
  const CV_triangle* source;     // the object's triangle array this was built from
  int32_t source_count;          // and its length: a mismatch makes the query scan
  float max_abs;                 // largest coordinate magnitude of every box below
  float origin_limit;            // rays whose origin has a larger coordinate scan the object
  int32_t slot_count;            // triangles in the hierarchy
  CV_cached_plane* slot_planes;  // in leaf order, with each slot's triangle index
  CV_cached_edges* slot_edges;
  int32_t node_count;
  CV_bvh_node* nodes;            // node 0 is the root
  int32_t unbounded_count;       // triangles tested on every query (no safe box)
  CV_cached_triangle* unbounded;
  int32_t* unbounded_triangle;
  CV_cached_triangle box[12];
  bool box_has_bounds;           // box_lo..box_hi holds every point a box triangle can accept
  float box_lo[3];
  float box_hi[3];
  int8_t box_kind[12];           // AcceptanceBounds of each box triangle (1, 0 or -1)
  float box_triangle_lo[12][3];  // and its box when the kind is 1
  float box_triangle_hi[12][3];
  int8_t box_order[3][2][12];    // the order to try them in, by the axis and side the ray leaves by
  size_t bytes;                  // memory held by this record and its arrays
};

// The hierarchy of the object's triangles and box triangles, or null when the
// object has a coordinate that is not finite or beyond 1e15 (such an object is
// scanned triangle by triangle).
CV_acceleration* BuildAcceleration(const CV_triangle* triangles, int32_t triangle_count,
                                   const CV_triangle* box_triangles);
void FreeAcceleration(CV_acceleration* acceleration);

// A query ray prepared for the hierarchies; `usable` is false for rays the
// hierarchies cannot bound safely (coordinates not finite or beyond 1e15,
// direction components that are zero in total or below 1e-15 but not zero).
struct CV_bvh_ray {
  CV_cached_ray cached;
  bool usable;
  float origin_max_abs;
  float inverse[3];
  bool flat[3];  // the direction component is zero: the ray keeps its coordinate
  bool any_flat;
};

// True when the object's hierarchy answers this (usable) ray; otherwise the
// object is scanned triangle by triangle.
bool BvhAnswersRay(const CV_acceleration& acceleration, const CV_bvh_ray& ray);

CV_bvh_ray PrepareBvhRay(vector3f ray);

// True when one of the twelve box triangles gives result 1 or 2.
bool BvhRayMeetsBox(const CV_acceleration& acceleration, const CV_bvh_ray& ray);

// The best front face ahead in the order (t, object, triangle): a triangle of
// `object` replaces (best_t, best_object, best_triangle) when its t is
// smaller, or equal with the same object and a lower triangle index. Returns
// true and writes hit and the new best when something replaced it.
bool BvhNearestFrontHit(const CV_acceleration& acceleration, const CV_bvh_ray& ray, int object, float& best_t,
                        int& best_object, int& best_triangle, vertex3f& hit);

// BvhNearestFrontHit when BvhRayMeetsBox says the object is a candidate, and
// false otherwise, preparing the ray for the object's boxes once.
bool BvhObjectFrontHit(const CV_acceleration& acceleration, const CV_bvh_ray& ray, int object, float& best_t,
                       int& best_object, int& best_triangle, vertex3f& hit);

// The box of every point the ray-triangle test can accept for the triangle,
// from rays whose origin coordinates are at most 1000 in magnitude, as lo
// and hi. Returns 1 with the box, 0 when the triangle never gives result 1
// or 2 (zero float normal), -1 when no safe box is known.
int AcceptanceBounds(CV_triangle triangle, float lo[3], float hi[3]);
