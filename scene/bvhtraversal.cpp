#include "scene/bvhtraversal.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/raytriangle.h"
#include "scene/boxray.h"
#include "scene/bvhbounds.h"

namespace {

// One entry per level of the deepest path the build makes.
constexpr int kStackSize = 128;
static_assert(kStackSize >= kLongestPath, "the traversal stack must hold the deepest path");
// Keeps every inverse of a non-zero direction component at most 1e15, so that a
// box parameter (a coordinate difference up to 2e15 times it) stays far from overflow.
constexpr float kSmallestDirectionComponent = 1e-15f;

// The best front face so far in the order (t, object, triangle), and whether
// this object replaced it.
struct BestHit {
  float t;
  int object;
  int triangle;
  vertex3f hit;
  bool replaced;
};

// Offers one triangle of `object` to the best so far: it takes the place
// when it is nearer, or as near and an earlier triangle of the same object.
inline void OfferSlot(const CV_cached_plane& plane, const CV_cached_edges& edges, const CV_bvh_ray& ray, int object,
                      BestHit& best) {
  bool ties_win = best.object == object && plane.triangle < best.triangle;
  float t = 0;
  vertex3f point;
  if (!CachedHit(ray.cached, plane, edges, kFrontAheadOnly, best.t, ties_win, t, point)) return;
  best = BestHit{t, object, plane.triangle, point, true};
}

bool MeetsBox(const CV_acceleration& a, const CV_bvh_ray& ray, const BoxRay& r) {
  float entry = 0;
  if (a.box_has_bounds && !RayEntersBox(a.box_lo, a.box_hi, r, kInfinity, entry)) return false;
  // Any of the twelve decides, so they may be tried in any order: first
  // those facing the way the ray leaves the box (the face it meets last),
  // each after its own box shows the ray can meet it.
  int exit_axis = 0;
  float exit_t = kInfinity;
  const float* face[2] = {a.box_lo, a.box_hi};
  for (int i = 0; i < 3; ++i) {
    if (r.flat[i]) continue;
    float leave = (face[r.leave_side[i]][i] - r.leave_origin[i]) * r.inverse[i];
    if (leave < exit_t) {
      exit_t = leave;
      exit_axis = i;
    }
  }
  const int8_t* order = a.box_order[exit_axis][r.leave_side[exit_axis]];
  for (int k = 0; k < kBoxTriangleCount; ++k) {
    int s = order[k];
    if (a.box_kind[s] == 0) continue;
    if (a.box_kind[s] > 0 && !RayEntersBox(a.box_triangle_lo[s], a.box_triangle_hi[s], r, kInfinity, entry)) continue;
    float t = 0;
    vertex3f point;
    if (CachedHit(ray.cached, a.box[s], kEitherAhead, kInfinity, true, t, point)) return true;
  }
  return false;
}

// A node waiting on the traversal stack, with the parameter at which the ray enters it.
struct Pending {
  int32_t node;
  float entry;
};

// Tests both children of an inner node. True with the nearer one the ray
// enters in `next`; when it enters both, the other waits on the stack.
inline bool EnterChildren(const CV_bvh_node* nodes, const CV_bvh_node& node, const BoxRay& r, float best_t,
                          Pending* stack, int& top, int32_t& next) {
  float entry_left = 0;
  float entry_right = 0;
  bool left = RayEntersBox(nodes[node.first].lo, nodes[node.first].hi, r, best_t, entry_left);
  bool right = RayEntersBox(nodes[node.first + 1].lo, nodes[node.first + 1].hi, r, best_t, entry_right);
  if (left && right) {
    if (entry_right < entry_left) {
      stack[top++] = Pending{node.first, entry_left};
      next = node.first + 1;
    } else {
      stack[top++] = Pending{node.first + 1, entry_right};
      next = node.first;
    }
    return true;
  }
  if (!left && !right) return false;
  next = left ? node.first : node.first + 1;
  return true;
}

// The next waiting node that the best so far does not rule out (it is
// skipped only when it starts strictly beyond best_t), or -1.
inline int32_t NextWaiting(const Pending* stack, int& top, float best_t) {
  while (top > 0) {
    Pending next = stack[--top];
    if (next.entry <= best_t) return next.node;
  }
  return -1;
}

// Offers the triangles tested on every query, then walks the nodes nearest
// first, offering the slots of every leaf the ray enters before best.t.
void NearestFrontHit(const CV_acceleration& a, const CV_bvh_ray& ray, const BoxRay& r, int object, BestHit& best) {
  for (size_t u = 0; u < a.unbounded_planes.size(); ++u) {
    OfferSlot(a.unbounded_planes[u], a.unbounded_edges[u], ray, object, best);
  }
  if (a.nodes.empty()) return;
  const CV_bvh_node* nodes = a.nodes.data();
  const CV_cached_plane* planes = a.slot_planes.data();
  const CV_cached_edges* edges = a.slot_edges.data();
  float entry = 0;
  if (!RayEntersBox(nodes[0].lo, nodes[0].hi, r, best.t, entry)) return;
  Pending stack[kStackSize];
  int top = 0;
  int32_t current = 0;
  for (;;) {
    const CV_bvh_node& node = nodes[current];
    if (node.count == 0) {
      if (EnterChildren(nodes, node, r, best.t, stack, top, current)) continue;
    } else {
      for (int32_t s = node.first; s < node.first + node.count; ++s) {
        OfferSlot(planes[s], edges[s], ray, object, best);
      }
    }
    current = NextWaiting(stack, top, best.t);
    if (current < 0) return;
  }
}

// NearestFrontHit on the best so far held as the four values of the
// interface; true when the object replaced it.
bool OfferObject(const CV_acceleration& a, const CV_bvh_ray& ray, const BoxRay& r, int object, float& best_t,
                 int& best_object, int& best_triangle, vertex3f& hit) {
  BestHit best{best_t, best_object, best_triangle, vertex3f{0, 0, 0}, false};
  NearestFrontHit(a, ray, r, object, best);
  if (!best.replaced) return false;
  best_t = best.t;
  best_object = best.object;
  best_triangle = best.triangle;
  hit = best.hit;
  return true;
}

}  // namespace

CV_bvh_ray PrepareBvhRay(vector3f ray) {
  CV_bvh_ray r;
  r.cached = CacheRay(ray);
  const float O[3] = {ray.origin.x, ray.origin.y, ray.origin.z};
  const float d[3] = {ray.direction.x, ray.direction.y, ray.direction.z};
  r.usable = true;
  r.origin_max_abs = 0;
  r.any_flat = false;
  float longest = 0;
  for (int i = 0; i < 3; ++i) {
    if (!std::isfinite(O[i]) || !std::isfinite(d[i]) || std::fabs(O[i]) > kLargestBoundedCoordinate ||
        std::fabs(d[i]) > kLargestBoundedCoordinate) {
      r.usable = false;
    }
    if (d[i] != 0 && std::fabs(d[i]) < kSmallestDirectionComponent) r.usable = false;
    r.flat[i] = d[i] == 0;
    r.any_flat = r.any_flat || r.flat[i];
    r.inverse[i] = r.flat[i] ? 0.0f : 1.0f / d[i];
    longest = std::max(longest, std::fabs(d[i]));
    r.origin_max_abs = std::max(r.origin_max_abs, std::fabs(O[i]));
  }
  if (!(longest >= kShortestDirection)) r.usable = false;
  return r;
}

bool BvhAnswersRay(const CV_acceleration& a, const CV_bvh_ray& ray) {
  return ray.usable && ray.origin_max_abs <= a.origin_limit;
}

bool BvhRayMeetsBox(const CV_acceleration& a, const CV_bvh_ray& ray) {
  return MeetsBox(a, ray, PrepareBoxRay(a.max_abs, ray));
}

bool BvhNearestFrontHit(const CV_acceleration& a, const CV_bvh_ray& ray, int object, float& best_t, int& best_object,
                        int& best_triangle, vertex3f& hit) {
  return OfferObject(a, ray, PrepareBoxRay(a.max_abs, ray), object, best_t, best_object, best_triangle, hit);
}

bool BvhObjectFrontHit(const CV_acceleration& a, const CV_bvh_ray& ray, int object, float& best_t, int& best_object,
                       int& best_triangle, vertex3f& hit) {
  BoxRay r = PrepareBoxRay(a.max_abs, ray);
  if (!MeetsBox(a, ray, r)) return false;
  return OfferObject(a, ray, r, object, best_t, best_object, best_triangle, hit);
}
