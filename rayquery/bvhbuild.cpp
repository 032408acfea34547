#include "rayquery/bvhbuild.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <system_error>
#include <thread>
#include <vector>

#include "rayquery/boundsray.h"
#include "rayquery/bvhbounds.h"
#include "rayquery/bvhnodes.h"

namespace {

// Fewer triangles are not worth a thread of their own.
constexpr size_t kTrianglesPerThread = 4096;
// Every object's boxes serve rays from at least kLeastOriginLimit away, and
// from kOriginReach times the object's own coordinates.
constexpr double kLeastOriginLimit = 1e5;
constexpr double kOriginReach = 16.0;
// Below every cosine: box triangles with a normal that is not finite go last.
constexpr double kNotFacing = -2.0;
// The float RoundingDelta is a sum of two products, a few ulp above the
// exact value at most; the reach's delta is taken this much larger.
constexpr double kDeltaRounding = 1e-5;

// v rounded to a float on the side of `towards` (an infinity).
float FloatOutward(double v, float towards) {
  float f = float(v);
  if (towards < 0 ? double(f) > v : double(f) < v) f = std::nextafter(f, towards);
  return f;
}

// The largest coordinate magnitude of the triangles and of the finite box
// corners; false when a triangle has a corner that is not finite.
bool LargestCoordinate(const CV_triangle* triangles, int32_t triangle_count, const CV_triangle* box_triangles,
                       float& coordinates) {
  coordinates = 0;
  for (int32_t k = 0; k < triangle_count; ++k) {
    const CV_triangle& t = triangles[k];
    if (!FiniteVertex(t.a) || !FiniteVertex(t.b) || !FiniteVertex(t.c)) return false;
    for (const vertex3f& v : {t.a, t.b, t.c}) {
      coordinates = std::max(coordinates, std::max(std::fabs(v.x), std::max(std::fabs(v.y), std::fabs(v.z))));
    }
  }
  for (int s = 0; s < kBoxTriangleCount; ++s) {
    const CV_triangle& t = box_triangles[s];
    for (const vertex3f& v : {t.a, t.b, t.c}) {
      if (!FiniteVertex(v)) continue;
      coordinates = std::max(coordinates, std::max(std::fabs(v.x), std::max(std::fabs(v.y), std::fabs(v.z))));
    }
  }
  return true;
}

// The largest origin coordinate the boxes are made for. Rays from farther
// away are rare (the scene's own rays start inside it); they scan the object.
double OriginLimit(float coordinates) {
  double origin_limit = std::max(kLeastOriginLimit, kOriginReach * double(coordinates));
  if (!(origin_limit < kLargestBoundedCoordinate)) origin_limit = kLargestBoundedCoordinate;
  return origin_limit;
}

// The number of parts ForEachPart splits count into for `threads` threads.
size_t PartCount(size_t count, unsigned threads) {
  return std::max<size_t>(1, std::min<size_t>(threads, count / kTrianglesPerThread));
}

// Runs work(part, begin, end) over the PartCount parts of 0..count, each
// on a thread of its own, the calling thread among them; what a part gives
// does not depend on the thread that runs it. A part whose thread cannot be
// started runs here.
template <typename Work>
void ForEachPart(size_t count, unsigned threads, const Work& work) {
  size_t parts = PartCount(count, threads);
  std::vector<std::thread> helpers;
  helpers.reserve(parts);
  for (size_t p = 1; p < parts; ++p) {
    size_t begin = p * count / parts;
    size_t end = (p + 1) * count / parts;
    try {
      helpers.emplace_back(work, p, begin, end);
    } catch (const std::system_error&) {
      work(p, begin, end);
    }
  }
  work(size_t(0), size_t(0), count / parts);
  for (std::thread& helper : helpers) helper.join();
}

// What BoundTriangles finds in one part of the triangles.
struct BoundPart {
  std::vector<BvhItem> items;
  std::vector<int32_t> unbounded;
  float max_abs = 0;
};

// An item per triangle with a safe box; the triangles without one go to
// unbounded, those the test never accepts nowhere. max_abs grows to hold every box.
void BoundTriangles(const CV_triangle* triangles, int32_t triangle_count, double origin_limit, unsigned threads,
                    std::vector<BvhItem>& items, std::vector<int32_t>& unbounded, float& max_abs) {
  std::vector<BoundPart> parts(PartCount(size_t(triangle_count), threads));
  ForEachPart(size_t(triangle_count), threads, [&](size_t p, size_t begin, size_t end) {
    BoundPart& part = parts[p];
    part.items.reserve(end - begin);
    for (size_t k = begin; k < end; ++k) {
      BvhItem item{};
      int kind = TriangleBounds(triangles[k], origin_limit, 0, item.lo, item.hi);
      if (kind == 0) continue;
      if (kind < 0) {
        part.unbounded.push_back(int32_t(k));
        continue;
      }
      for (int i = 0; i < 3; ++i) {
        item.centre[i] = item.lo[i] * 0.5f + item.hi[i] * 0.5f;
        part.max_abs = std::max(part.max_abs, std::max(std::fabs(item.lo[i]), std::fabs(item.hi[i])));
      }
      item.triangle = int32_t(k);
      part.items.push_back(item);
    }
  });
  // The parts in triangle order; the largest magnitude is the same in any order.
  items = std::move(parts[0].items);
  unbounded = std::move(parts[0].unbounded);
  for (size_t p = 0; p < parts.size(); ++p) {
    if (p > 0) {
      items.insert(items.end(), parts[p].items.begin(), parts[p].items.end());
      unbounded.insert(unbounded.end(), parts[p].unbounded.begin(), parts[p].unbounded.end());
    }
    max_abs = std::max(max_abs, parts[p].max_abs);
  }
}

// The box triangles, cached, with their acceptance bounds, each and together.
void BoundBoxTriangles(const CV_triangle* box_triangles, double origin_limit, Acceleration& a, float& max_abs) {
  a.box_triangles_bounded = true;
  Empty(a.box_triangles_bounds_lo, a.box_triangles_bounds_hi);
  for (int s = 0; s < kBoxTriangleCount; ++s) {
    a.box_triangles[s] = CacheTriangle(box_triangles[s]);
    float lo[3];
    float hi[3];
    int kind = TriangleBounds(box_triangles[s], origin_limit, 0, lo, hi);
    a.box_triangle_kind[s] = int8_t(kind);
    if (kind < 0) a.box_triangles_bounded = false;
    if (kind <= 0) continue;
    for (int i = 0; i < 3; ++i) {
      a.box_triangle_bounds_lo[s][i] = lo[i];
      a.box_triangle_bounds_hi[s][i] = hi[i];
      max_abs = std::max(max_abs, std::max(std::fabs(lo[i]), std::fabs(hi[i])));
    }
    Grow(a.box_triangles_bounds_lo, a.box_triangles_bounds_hi, lo, hi);
  }
}

// For a ray leaving the box through the face on `axis` and `side`, the box
// triangles most nearly facing that way come first; the first two are
// certified for the quick test.
void OrderBoxTriangles(Acceleration& a) {
  for (int axis = 0; axis < 3; ++axis) {
    for (int side = 0; side < 2; ++side) {
      double facing[kBoxTriangleCount];
      for (int s = 0; s < kBoxTriangleCount; ++s) {
        const vertex3f& n = a.box_triangles[s].n_hat;
        double along = axis == 0 ? n.x : axis == 1 ? n.y : n.z;
        facing[s] = std::isfinite(along) ? (side == 1 ? along : -along) : kNotFacing;
      }
      int order[kBoxTriangleCount];
      for (int s = 0; s < kBoxTriangleCount; ++s) order[s] = s;
      std::stable_sort(order, order + kBoxTriangleCount, [&facing](int p, int q) { return facing[p] > facing[q]; });
      for (int s = 0; s < kBoxTriangleCount; ++s) a.box_triangle_order[axis][side][s] = int8_t(order[s]);
      a.box_face_pairs[axis][side] =
          PairFaces(CertifyFace(a.box_triangles[order[0]]), CertifyFace(a.box_triangles[order[1]]));
    }
  }
}

// The root box grown by the largest RoundingDelta of a ray the hierarchy
// answers (origin coordinates up to origin_limit), with room for the float
// rounding of that delta, each face rounded outwards.
void SetReach(Acceleration& a) {
  a.has_reach = !a.nodes.empty() && a.unbounded_planes.empty();
  if (!a.has_reach) return;
  double delta = double(kDeltaPerCoordinate) * double(a.max_abs) + double(kDeltaPerOrigin) * double(a.origin_limit);
  // RoundingDelta adds the margin rounded to float.
  delta = (delta + double(float(kLeastMargin))) * (1 + kDeltaRounding);
  for (int i = 0; i < 3; ++i) {
    a.reach_lo[i] = FloatOutward(double(a.nodes[0].lo[i]) - delta, -kInfinity);
    a.reach_hi[i] = FloatOutward(double(a.nodes[0].hi[i]) + delta, kInfinity);
  }
}

}  // namespace

Acceleration* BuildAcceleration(const CV_triangle* triangles, int32_t triangle_count, const CV_triangle* box_triangles,
                                unsigned threads) {
  if (triangle_count < 0 || (triangle_count > 0 && triangles == nullptr) || box_triangles == nullptr) return nullptr;
  float coordinates = 0;
  if (!LargestCoordinate(triangles, triangle_count, box_triangles, coordinates)) return nullptr;
  double origin_limit = OriginLimit(coordinates);
  std::vector<BvhItem> items;
  std::vector<int32_t> unbounded;
  float max_abs = 0;
  BoundTriangles(triangles, triangle_count, origin_limit, threads, items, unbounded, max_abs);

  Acceleration* a = new Acceleration{};
  a->source = triangles;
  a->source_count = triangle_count;
  a->origin_limit = float(origin_limit);
  BoundBoxTriangles(box_triangles, origin_limit, *a, max_abs);
  a->max_abs = max_abs;
  OrderBoxTriangles(*a);

  a->nodes = LayOutNodes(items, threads);
  std::vector<WideNode> wide = CollapseNodes(a->nodes.data(), a->nodes.size());
  a->wide.assign(wide.begin(), wide.end());
  a->slot_planes.resize(items.size());
  a->slot_edges.resize(items.size());
  ForEachPart(items.size(), threads, [&](size_t, size_t begin, size_t end) {
    for (size_t s = begin; s < end; ++s) {
      SplitCachedTriangle(CacheTriangle(triangles[items[s].triangle]), items[s].triangle, a->slot_planes[s],
                          a->slot_edges[s]);
    }
  });
  a->unbounded_planes.resize(unbounded.size());
  a->unbounded_edges.resize(unbounded.size());
  for (size_t u = 0; u < unbounded.size(); ++u) {
    SplitCachedTriangle(CacheTriangle(triangles[unbounded[u]]), unbounded[u], a->unbounded_planes[u],
                        a->unbounded_edges[u]);
  }
  if (unbounded.empty() && items.size() <= kFewTriangles) {
    a->plane_groups = GroupPlanes(a->slot_planes.data(), a->slot_planes.size());
  }
  SetReach(*a);
  a->bytes = sizeof(Acceleration) + (items.size() + unbounded.size()) * (sizeof(CachedPlane) + sizeof(CachedEdges)) +
             a->nodes.size() * sizeof(BvhNode) + wide.size() * sizeof(WideNode) +
             a->plane_groups.size() * sizeof(PlaneGroup);
  return a;
}

void FreeAcceleration(Acceleration* a) { delete a; }
