#include "rayquery/bvhtraversal.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/bits.h"
#include "core/check.h"
#include "core/hints.h"
#include "core/lanes.h"
#include "core/raytriangle.h"
#include "rayquery/boundsray.h"
#include "rayquery/bvhbounds.h"
#include "rayquery/bvhwide.h"
#include "rayquery/planegroups.h"

namespace {

// A wide node visited puts at most three children on the stack (the nearest
// is visited at once), and a path has at most kLongestPath nodes.
constexpr int kStackSize = 3 * kLongestPath + 4;
// The best so far as one object's search sees it: its t, object and
// triangle, and once one of the object's triangles replaced it, that
// triangle's records. Its hit point and normal are formed once, when the
// object's answer is taken (in BvhOfferObject): a search may replace the
// best many times, and copying points through memory each time stalled.
struct ObjectSearch {
  float t;
  int object;
  int triangle;
  const CachedPlane* plane;  // null until the object replaced the best
  const CachedEdges* edges;
};

// Puts the triangle in the best's place.
inline void Replace(ObjectSearch& best, float t, int object, const CachedPlane& plane, const CachedEdges& edges) {
  best.t = t;
  best.object = object;
  best.triangle = plane.triangle;
  best.plane = &plane;
  best.edges = &edges;
}

// Offers one triangle of `object` to the best so far: it takes the place
// when it is nearer, or as near and an earlier triangle of the same object.
inline void OfferSlot(const CachedPlane& plane, const CachedEdges& edges, const BvhRay& ray, int object,
                      ObjectSearch& best) {
  bool ties_win = best.object == object && plane.triangle < best.triangle;
  float t_plane = 0;
  if (!PlaneHit(ray.cached, plane, kFrontAheadOnly, best.t, ties_win, t_plane)) return;
  if (!CachedEdgesPass(ray.cached, edges, t_plane)) return;
  Replace(best, t_plane, object, plane, edges);
}

// The face by which the ray leaves the box triangles' bounds: its axis, and
// its side (0: lo, 1: hi). Only a guess of where to look first, so ties, NaN
// and the bounds' rounding margin may go any way.
inline int ExitAxis(const Acceleration& a, const BvhRay& ray, int& side) {
  const Lanes4f to_lo = Mul(Sub(Load4f(a.box_triangles_bounds_lo), ray.origin_lanes), ray.inverse_lanes);
  const Lanes4f to_hi = Mul(Sub(Load4f(a.box_triangles_bounds_hi), ray.origin_lanes), ray.inverse_lanes);
  const Lanes4f negative = LessMask(ray.inverse_lanes, Zero4f());
  Lanes4f leave = Select(negative, to_lo, to_hi);
  // A flat axis (inverse 0) keeps its coordinate: the ray never leaves by it.
  const Lanes4f flat = EqualMask(ray.inverse_lanes, Zero4f());
  leave = Select(flat, Broadcast4f(kInfinity), leave);
  int at_least = MaskBits(EqualMask(leave, Broadcast4f(SmallestOfThree(leave)))) & 7;
  int axis = at_least == 0 ? 0 : LowestSetBit(unsigned(at_least));
  side = (MaskBits(negative) >> axis & 1) != 0 ? 0 : 1;
  return axis;
}

// Whether any box triangle gives result 1 or 2, by the full test, in the
// order for the face the ray leaves by.
CORVANE_NOINLINE bool MeetsAnyBoxTriangle(const Acceleration& a, const BvhRay& ray, const int8_t* order) {
  const BoundsRay r = PrepareBoundsRay(a.max_abs, ray);
  float entry = 0;
  if (a.box_triangles_bounded &&
      !RayEntersBounds(a.box_triangles_bounds_lo, a.box_triangles_bounds_hi, r, kInfinity, entry))
    return false;
  for (int k = 0; k < kBoxTriangleCount; ++k) {
    int s = order[k];
    if (a.box_triangle_kind[s] == 0) continue;
    if (a.box_triangle_kind[s] > 0 &&
        !RayEntersBounds(a.box_triangle_bounds_lo[s], a.box_triangle_bounds_hi[s], r, kInfinity, entry))
      continue;
    float t = 0;
    vertex3f point;
    if (CachedHit(ray.cached, a.box_triangles[s], kEitherAhead, kInfinity, true, t, point)) return true;
  }
  return false;
}

// Whether any box triangle gives result 1 or 2. Inlined by force, with the
// full test apart: the quick path then saves no registers for a call.
CORVANE_ALWAYS_INLINE bool MeetsBoxTriangles(const Acceleration& a, const BvhRay& ray) {
  // Any of the twelve decides, so they may be tried in any order: first
  // those facing the way the ray leaves the box (the face it meets last),
  // then, unless their bounds together rule the ray out, each after its own
  // bounds show the ray can meet it.
  int exit_side = 0;
  int exit_axis = ExitAxis(a, ray, exit_side);
  // The two triangles of that face mostly settle it without the full test.
  if (SurelyHitsFacePair(ray.cached, a.box_face_pairs[exit_axis][exit_side])) return true;
  return MeetsAnyBoxTriangle(a, ray, a.box_triangle_order[exit_axis][exit_side]);
}

// Offers the slots of one leaf.
inline void OfferLeaf(const Acceleration& a, const BvhRay& ray, int32_t first, int32_t count, int object,
                      ObjectSearch& best) {
  CORVANE_CHECK(first >= 0 && count > 0 && size_t(first) + size_t(count) <= a.slot_planes.size());
  const CachedPlane* planes = a.slot_planes.data();
  const CachedEdges* edges = a.slot_edges.data();
  for (int32_t s = first; s < first + count; ++s) OfferSlot(planes[s], edges[s], ray, object, best);
}

// Offers the leaves among the lanes in bits, nearest first, each unless the
// best so far already lies before it.
inline void OfferLeaves(const Acceleration& a, const WideNode& node, int bits, const float entry[4], const BvhRay& ray,
                        int object, ObjectSearch& best) {
  while (bits != 0) {
    int k = NearestLane(bits, entry);
    bits &= ~(1 << k);
    if (entry[k] <= best.t) OfferLeaf(a, ray, node.first[k], node.count[k], object, best);
  }
}

// Offers the triangles tested on every query, then walks the wide nodes
// nearest first, offering the slots of every leaf the ray enters before best.t.
void NearestFrontHit(const Acceleration& a, const BvhRay& ray, const BoundsRay& r, int object, ObjectSearch& best) {
  for (size_t u = 0; u < a.unbounded_planes.size(); ++u) {
    OfferSlot(a.unbounded_planes[u], a.unbounded_edges[u], ray, object, best);
  }
  if (a.wide.empty()) return;
  // Most rays miss most objects: one box tells before the lanes are set up.
  float entry = 0;
  if (!RayEntersBounds(a.nodes[0].lo, a.nodes[0].hi, r, best.t, entry)) return;
  const WideNode* nodes = a.wide.data();
  const FourBoundsRay f = PrepareFourBoundsRay(r);
  Pending stack[kStackSize];
  int top = 0;
  int32_t current = 0;
  for (;;) {
    CORVANE_CHECK(current >= 0 && size_t(current) < a.wide.size());
    const WideNode& node = nodes[current];
    float entry[4];
    int mask = RayEntersFourBounds(node, r, f, best.t, entry);
    int leaves = mask & LeafLanes(node);
    int inner = mask & ~leaves;
    // The children's two cache lines are fetched while the leaves are offered.
    for (int bits = inner; bits != 0; bits &= bits - 1) {
      const char* child = reinterpret_cast<const char*>(nodes + node.first[LowestSetBit(unsigned(bits))]);
      PrefetchForReading(child);
      PrefetchForReading(child + 64);
    }
    if (leaves != 0) OfferLeaves(a, node, leaves, entry, ray, object, best);
    current = inner != 0 ? EnterInner(node, inner, entry, stack, top, kStackSize) : -1;
    if (current < 0) current = NextWaiting(stack, top, best.t);
    if (current < 0) return;
  }
}

// The nearest front face of an object with plane groups: every plane is
// tested, and the edges of those it passes are tried in order of (t,
// triangle), so the first whose edges pass is the object's answer.
void NearestFrontHitOfFew(const Acceleration& a, const BvhRay& ray, int object, ObjectSearch& best) {
  const PlaneGroup* groups = a.plane_groups.data();
  PassedPlanes front = FrontPlanes(groups, a.plane_groups.size(), ray.cached, best.t);
  for (bool left = front.any; left; left = NearestLeft(front)) {
    float t_plane = front.nearest;
    for (size_t g = 0; g < front.group_count; ++g) {
      if (front.lanes[g] == 0) continue;
      for (int bits = TakeNearestLanes(front, g); bits != 0; bits &= bits - 1) {
        int k = LowestSetBit(unsigned(bits));
        int32_t triangle = groups[g].triangle[k];
        // A tie with the best so far wins only for an earlier triangle of its object.
        bool ties_win = best.object == object && triangle < best.triangle;
        if (t_plane == best.t && !ties_win) continue;
        CORVANE_CHECK(groups[g].slot[k] >= 0 && size_t(groups[g].slot[k]) < a.slot_edges.size());
        size_t slot = size_t(groups[g].slot[k]);
        const CachedEdges& edges = a.slot_edges[slot];
        if (!CachedEdgesPass(ray.cached, edges, t_plane)) continue;
        Replace(best, t_plane, object, a.slot_planes[slot], edges);
        return;
      }
    }
  }
}

// The object's nearest front face that replaces the best so far, by its
// planes or through its nodes.
void SearchObject(const Acceleration& a, const BvhRay& ray, int object, ObjectSearch& best) {
  if (!a.plane_groups.empty()) {
    NearestFrontHitOfFew(a, ray, object, best);
  } else {
    NearestFrontHit(a, ray, PrepareBoundsRay(a.max_abs, ray), object, best);
  }
}

}  // namespace

bool BvhOfferObject(const Acceleration& a, const BvhRay& ray, int object, BestHit& best) {
  ObjectSearch found{best.t, best.object, best.triangle, nullptr, nullptr};
  // An object before the best's takes every tie of t: it is told that it
  // holds the best itself, with no triangle yet.
  if (best.object == -1 || object < best.object) {
    found.object = object;
    found.triangle = std::numeric_limits<int>::max();
  }
  SearchObject(a, ray, object, found);
  // The box triangles only say whether the object may answer at all, so they
  // are looked at only when the object's answer would replace the best so far.
  if (found.plane == nullptr || !MeetsBoxTriangles(a, ray)) return false;
  // The triangle's TriNormale, from the very corner and cross product the cache holds.
  best = BestHit{found.t, found.object, found.triangle, PlanePoint(ray.cached, found.t),
                 vector3f{found.edges->corner[0], found.plane->N}};
  return true;
}
