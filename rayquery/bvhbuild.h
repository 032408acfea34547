// The ray hierarchy over one object's triangles: its record and its build,
// a binned surface-area split over the triangles' acceptance bounds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

#include "rayquery/bvhwide.h"
#include "rayquery/facecertificate.h"
#include "rayquery/planegroups.h"
#include "rayquery/trianglecache.h"
#include "scene/scene.h"

// From this depth on the build splits at the median, so that no path exceeds
// kLongestPath nodes (halving a count below 2^31 takes at most 31 more
// levels) and the traversal stack, one entry per level, holds.
constexpr int kSurfaceAreaDepth = 48;
constexpr int kLongestPath = kSurfaceAreaDepth + 32;

// A node of a hierarchy; lo..hi are its node bounds, which hold the
// acceptance bounds of every slot below it.
struct BvhNode {
  float lo[3];
  float hi[3];
  int32_t first;  // inner node: index of the left child (the right one follows); leaf: first slot
  int32_t count;  // 0 for an inner node; the leaf's number of slots otherwise
};

// Storage that starts on a 64-byte cache line. The traversal reads the two
// children of a node together, and they sit side by side from an even index:
// 64 bytes that then share one line; a 32-byte plane record never straddles
// two lines.
template <typename T>
struct CacheLineAllocator {
  using value_type = T;
  CacheLineAllocator() = default;
  template <typename U>
  CacheLineAllocator(const CacheLineAllocator<U>&) {}
  T* allocate(size_t n) { return static_cast<T*>(::operator new(n * sizeof(T), std::align_val_t(64))); }
  void deallocate(T* p, size_t) { ::operator delete(p, std::align_val_t(64)); }
};

template <typename T, typename U>
bool operator==(const CacheLineAllocator<T>&, const CacheLineAllocator<U>&) {
  return true;
}
template <typename T, typename U>
bool operator!=(const CacheLineAllocator<T>&, const CacheLineAllocator<U>&) {
  return false;
}

struct Acceleration {
  const CV_triangle* source;  // the object's triangle array this was built from
  int32_t source_count;       // and its length: a mismatch makes the query scan
  float max_abs;              // largest coordinate magnitude of all the bounds below
  float origin_limit;         // rays whose origin has a larger coordinate scan the object
  // The triangles in the hierarchy in leaf order, each plane record with its triangle index.
  std::vector<CachedPlane, CacheLineAllocator<CachedPlane>> slot_planes;
  std::vector<CachedEdges> slot_edges;
  std::vector<BvhNode, CacheLineAllocator<BvhNode>> nodes;  // node 0 is the root
  // The reach box: the root's bounds grown by the margin of the farthest
  // origin served (see RoundingDelta), for a first look that needs no ray
  // set up for the object; has_reach is false when there is no root or
  // there are triangles tested on every query.
  // The fourth lane is 0, for the test of three axes at once.
  bool has_reach;
  alignas(16) float reach_lo[4];
  alignas(16) float reach_hi[4];
  std::vector<WideNode, CacheLineAllocator<WideNode>> wide;  // the same, four-wide
  // For an object of at most kFewTriangles slots and no triangles tested on
  // every query, the slots' planes four at a time: the query then tests
  // every plane and leaves the nodes alone. Empty otherwise.
  std::vector<PlaneGroup> plane_groups;
  // The triangles tested on every query (no safe bounds), in the slots' form.
  std::vector<CachedPlane> unbounded_planes;
  std::vector<CachedEdges> unbounded_edges;
  // The object's twelve box triangles, cached, and their acceptance bounds:
  // together (when box_triangles_bounded: they hold every point a box
  // triangle can accept; the fourth lane is 0, for the guess of the exit
  // face on three axes at once) and each on its own when its kind, the
  // AcceptanceBounds result, is 1 (0: it never accepts; -1: no bounds).
  CachedTriangle box_triangles[kBoxTriangleCount];
  bool box_triangles_bounded;
  alignas(16) float box_triangles_bounds_lo[4];
  alignas(16) float box_triangles_bounds_hi[4];
  int8_t box_triangle_kind[kBoxTriangleCount];
  float box_triangle_bounds_lo[kBoxTriangleCount][3];
  float box_triangle_bounds_hi[kBoxTriangleCount][3];
  // The order to try them in, by the axis and side the ray leaves by, and
  // the first two of each order for the quick test of the face left by.
  int8_t box_triangle_order[3][2][kBoxTriangleCount];
  FacePair box_face_pairs[3][2];
  size_t bytes;  // memory held by this record and its arrays
};

// The hierarchy of the object's triangles and box triangles, built on up to
// `threads` threads (the same hierarchy for any number), or null when the
// object has a coordinate that is not finite or beyond 1e15 (such an object is
// scanned triangle by triangle).
Acceleration* BuildAcceleration(const CV_triangle* triangles, int32_t triangle_count, const CV_triangle* box_triangles,
                                unsigned threads = 1);
void FreeAcceleration(Acceleration* acceleration);

// The object's hierarchy, when it was built from the triangles the object
// holds now; null otherwise (the query then scans the object). Inline: it
// runs per object per query.
inline const Acceleration* UsableAcceleration(const CV_object& object) {
  const Acceleration* a = object.acceleration;
  if (a == nullptr || a->source != object.triangles || a->source_count != object.triangle_count) return nullptr;
  if (object.box_triangle_count != kBoxTriangleCount) return nullptr;
  return a;
}
