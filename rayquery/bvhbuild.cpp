#include "rayquery/bvhbuild.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "core/lanes.h"
#include "rayquery/boundsray.h"
#include "rayquery/bvhbounds.h"

namespace {

// Leaves hold kLeafSize triangles, or up to kLargestLeaf when the
// surface-area estimate finds no split worth its cost.
constexpr int kLeafSize = 1;
constexpr int kLargestLeaf = 8;
constexpr int kBins = 16;
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

// A triangle's acceptance bounds, four lanes wide (the fourth is 0), and
// their centre.
struct alignas(16) Item {
  float lo[4];
  float hi[4];
  float centre[3];
  int32_t triangle;
};

double HalfArea(const float lo[3], const float hi[3]) {
  double x = double(hi[0]) - lo[0];
  double y = double(hi[1]) - lo[1];
  double z = double(hi[2]) - lo[2];
  return x * y + y * z + z * x;
}

// Widens lo..hi to hold add_lo..add_hi.
void Grow(float lo[3], float hi[3], const float add_lo[3], const float add_hi[3]) {
  for (int i = 0; i < 3; ++i) {
    lo[i] = std::min(lo[i], add_lo[i]);
    hi[i] = std::max(hi[i], add_hi[i]);
  }
}

void Empty(float lo[3], float hi[3]) {
  for (int i = 0; i < 3; ++i) {
    lo[i] = kInfinity;
    hi[i] = -kInfinity;
  }
}

// The box of a run of items and the box of their centres.
struct ItemBounds {
  Lanes4f lo;
  Lanes4f hi;
  float centre_lo[3];
  float centre_hi[3];
};

// Lane by lane as Grow: Min(add, lo) keeps lo unless add is below it.
inline void GrowLanes(Lanes4f& lo, Lanes4f& hi, Lanes4f add_lo, Lanes4f add_hi) {
  lo = Min(add_lo, lo);
  hi = Max(add_hi, hi);
}

void EmptyBounds(ItemBounds& box) {
  box.lo = Broadcast4f(kInfinity);
  box.hi = Broadcast4f(-kInfinity);
  Empty(box.centre_lo, box.centre_hi);
}

inline void AddItem(ItemBounds& box, const Item& item) {
  GrowLanes(box.lo, box.hi, Load4f(item.lo), Load4f(item.hi));
  Grow(box.centre_lo, box.centre_hi, item.centre, item.centre);
}

ItemBounds BoundItems(const std::vector<Item>& items, int32_t begin, int32_t end) {
  ItemBounds box;
  EmptyBounds(box);
  for (int32_t k = begin; k < end; ++k) AddItem(box, items[size_t(k)]);
  return box;
}

double HalfArea(Lanes4f lo, Lanes4f hi) {
  alignas(16) float l[4];
  alignas(16) float h[4];
  Store(l, lo);
  Store(h, hi);
  return HalfArea(l, h);
}

// The bin of a centre on an axis whose centres start at low, kBins per scale.
int BinOf(float centre, double low, double scale) { return std::min(kBins - 1, int((double(centre) - low) * scale)); }

// The cheapest binned split found so far: items in bins up to `bin` on `axis` go left.
struct BinnedSplit {
  int axis = -1;
  int bin = -1;
  double cost = std::numeric_limits<double>::infinity();
};

// The items of each bin on one axis: their number and, for a bin that has
// any, their box.
struct Bins {
  int32_t count[kBins];
  Lanes4f lo[kBins];
  Lanes4f hi[kBins];
};

// Sweeps the bins of one axis from both ends and keeps in best the split
// whose surface-area cost is lowest (the first of equal ones). An empty
// bin leaves the boxes as they are, so it is passed over.
void SweepBins(const Bins& bins, int axis, BinnedSplit& best) {
  double right_area[kBins];
  int32_t right_count[kBins];
  Lanes4f lo = Broadcast4f(kInfinity);
  Lanes4f hi = Broadcast4f(-kInfinity);
  int32_t n = 0;
  for (int b = kBins - 1; b > 0; --b) {
    if (bins.count[b] > 0) {
      GrowLanes(lo, hi, bins.lo[b], bins.hi[b]);
      n += bins.count[b];
      right_area[b] = HalfArea(lo, hi);
    } else {
      right_area[b] = n > 0 ? right_area[b + 1] : 0;
    }
    right_count[b] = n;
  }
  lo = Broadcast4f(kInfinity);
  hi = Broadcast4f(-kInfinity);
  n = 0;
  double left_area = 0;
  for (int b = 0; b + 1 < kBins; ++b) {
    if (bins.count[b] > 0) {
      GrowLanes(lo, hi, bins.lo[b], bins.hi[b]);
      n += bins.count[b];
      left_area = HalfArea(lo, hi);
    }
    if (n == 0 || right_count[b + 1] == 0) continue;
    double cost = left_area * n + right_area[b + 1] * right_count[b + 1];
    if (cost < best.cost) best = BinnedSplit{axis, b, cost};
  }
}

// The cheapest binned split of items begin..end, their centres binned on
// every axis at once; an axis on which the centres coincide has none.
BinnedSplit CheapestBinnedSplit(const std::vector<Item>& items, int32_t begin, int32_t end, const ItemBounds& box) {
  Bins bins[3];
  double low[3];
  double scale[3];
  bool spread[3];
  for (int axis = 0; axis < 3; ++axis) {
    double extent = double(box.centre_hi[axis]) - box.centre_lo[axis];
    spread[axis] = extent > 0;
    low[axis] = box.centre_lo[axis];
    scale[axis] = spread[axis] ? kBins / extent : 0;
    for (int b = 0; b < kBins; ++b) bins[axis].count[b] = 0;
  }
  for (int32_t k = begin; k < end; ++k) {
    const Item& item = items[size_t(k)];
    const Lanes4f lo = Load4f(item.lo);
    const Lanes4f hi = Load4f(item.hi);
    for (int axis = 0; axis < 3; ++axis) {
      if (!spread[axis]) continue;
      Bins& on = bins[axis];
      int b = BinOf(item.centre[axis], low[axis], scale[axis]);
      // The first item sets the box: Min and Max of it and an empty box give it.
      if (on.count[b]++ == 0) {
        on.lo[b] = lo;
        on.hi[b] = hi;
      } else {
        GrowLanes(on.lo[b], on.hi[b], lo, hi);
      }
    }
  }
  BinnedSplit best;
  for (int axis = 0; axis < 3; ++axis) {
    if (spread[axis]) SweepBins(bins[axis], axis, best);
  }
  return best;
}

// Puts the items of the split's left bins first, exchanging from both ends
// as the standard library's partition does, and bounds each side on the
// way; the index of the first right item, or -1 when one side would be empty.
int32_t PartitionAtBin(std::vector<Item>& items, int32_t begin, int32_t end, const ItemBounds& box,
                       const BinnedSplit& split, ItemBounds& left, ItemBounds& right) {
  double scale = kBins / (double(box.centre_hi[split.axis]) - box.centre_lo[split.axis]);
  double low = box.centre_lo[split.axis];
  auto goes_left = [&](const Item& item) { return BinOf(item.centre[split.axis], low, scale) <= split.bin; };
  EmptyBounds(left);
  EmptyBounds(right);
  Item* first = items.data() + begin;
  Item* last = items.data() + end;
  for (;;) {
    while (first != last && goes_left(*first)) AddItem(left, *first++);
    if (first == last) break;
    AddItem(right, *first);
    --last;
    while (first != last && !goes_left(*last)) AddItem(right, *last--);
    if (first == last) break;
    AddItem(left, *last);
    std::swap(*first, *last);
    ++first;
  }
  int32_t middle = int32_t(first - items.data());
  return middle == begin || middle == end ? -1 : middle;
}

// Splits items begin..end at their median centre on the longest axis of the
// centres; returns the index of the first right item.
int32_t SplitAtMedian(std::vector<Item>& items, int32_t begin, int32_t end, const ItemBounds& box) {
  int axis = 0;
  for (int i = 1; i < 3; ++i) {
    if (box.centre_hi[i] - box.centre_lo[i] > box.centre_hi[axis] - box.centre_lo[axis]) axis = i;
  }
  int32_t middle = begin + (end - begin) / 2;
  std::nth_element(items.begin() + begin, items.begin() + middle, items.begin() + end,
                   [axis](const Item& p, const Item& q) { return p.centre[axis] < q.centre[axis]; });
  return middle;
}

// Binned surface-area split (a median split on the longest axis of the
// centres below kSurfaceAreaDepth levels or when no binned split separates
// the items) of items begin..end, whose bounds are box. Children are stored
// side by side; leaves take consecutive items.
void BuildNode(std::vector<Item>& items, int32_t begin, int32_t end, const ItemBounds& box, std::vector<BvhNode>& nodes,
               int32_t at, int depth) {
  BvhNode node;
  alignas(16) float lo[4];
  alignas(16) float hi[4];
  Store(lo, box.lo);
  Store(hi, box.hi);
  for (int i = 0; i < 3; ++i) {
    node.lo[i] = lo[i];
    node.hi[i] = hi[i];
  }
  int32_t count = end - begin;
  node.first = begin;
  node.count = count;
  if (count <= kLeafSize) {
    nodes[size_t(at)] = node;
    return;
  }
  int32_t middle = -1;
  ItemBounds left_box;
  ItemBounds right_box;
  if (depth < kSurfaceAreaDepth) {
    BinnedSplit best = CheapestBinnedSplit(items, begin, end, box);
    double node_area = HalfArea(node.lo, node.hi);
    if (count <= kLargestLeaf && !(best.cost + node_area < node_area * count)) {
      nodes[size_t(at)] = node;
      return;
    }
    if (best.axis >= 0) middle = PartitionAtBin(items, begin, end, box, best, left_box, right_box);
  }
  if (middle < 0) {
    middle = SplitAtMedian(items, begin, end, box);
    left_box = BoundItems(items, begin, middle);
    right_box = BoundItems(items, middle, end);
  }
  int32_t left = int32_t(nodes.size());
  nodes.push_back(BvhNode{});
  nodes.push_back(BvhNode{});
  node.first = left;
  node.count = 0;
  nodes[size_t(at)] = node;
  BuildNode(items, begin, middle, left_box, nodes, left, depth + 1);
  BuildNode(items, middle, end, right_box, nodes, left + 1, depth + 1);
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

// An item per triangle with a safe box; the triangles without one go to
// unbounded, those the test never accepts nowhere. max_abs grows to hold every box.
void BoundTriangles(const CV_triangle* triangles, int32_t triangle_count, double origin_limit, std::vector<Item>& items,
                    std::vector<int32_t>& unbounded, float& max_abs) {
  items.reserve(size_t(triangle_count));
  for (int32_t k = 0; k < triangle_count; ++k) {
    Item item{};
    int kind = TriangleBounds(triangles[k], origin_limit, 0, item.lo, item.hi);
    if (kind == 0) continue;
    if (kind < 0) {
      unbounded.push_back(k);
      continue;
    }
    for (int i = 0; i < 3; ++i) {
      item.centre[i] = item.lo[i] * 0.5f + item.hi[i] * 0.5f;
      max_abs = std::max(max_abs, std::max(std::fabs(item.lo[i]), std::fabs(item.hi[i])));
    }
    item.triangle = k;
    items.push_back(item);
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

// The nodes over the items, which it puts in leaf order: the root, then an
// unused node, so that every pair of children starts at an even index.
std::vector<BvhNode> LayOutNodes(std::vector<Item>& items) {
  std::vector<BvhNode> nodes;
  if (items.empty()) return nodes;
  nodes.reserve(2 * items.size() / kLeafSize + 2);
  nodes.push_back(BvhNode{});
  nodes.push_back(BvhNode{{0, 0, 0}, {0, 0, 0}, 0, 0});
  BuildNode(items, 0, int32_t(items.size()), BoundItems(items, 0, int32_t(items.size())), nodes, 0, 0);
  return nodes;
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

Acceleration* BuildAcceleration(const CV_triangle* triangles, int32_t triangle_count,
                                const CV_triangle* box_triangles) {
  if (triangle_count < 0 || (triangle_count > 0 && triangles == nullptr) || box_triangles == nullptr) return nullptr;
  float coordinates = 0;
  if (!LargestCoordinate(triangles, triangle_count, box_triangles, coordinates)) return nullptr;
  double origin_limit = OriginLimit(coordinates);
  std::vector<Item> items;
  std::vector<int32_t> unbounded;
  float max_abs = 0;
  BoundTriangles(triangles, triangle_count, origin_limit, items, unbounded, max_abs);

  Acceleration* a = new Acceleration{};
  a->source = triangles;
  a->source_count = triangle_count;
  a->origin_limit = float(origin_limit);
  BoundBoxTriangles(box_triangles, origin_limit, *a, max_abs);
  a->max_abs = max_abs;
  OrderBoxTriangles(*a);

  std::vector<BvhNode> nodes = LayOutNodes(items);
  a->nodes.assign(nodes.begin(), nodes.end());
  std::vector<WideNode> wide = CollapseNodes(nodes.data(), nodes.size());
  a->wide.assign(wide.begin(), wide.end());
  a->slot_planes.resize(items.size());
  a->slot_edges.resize(items.size());
  for (size_t s = 0; s < items.size(); ++s) {
    SplitCachedTriangle(CacheTriangle(triangles[items[s].triangle]), items[s].triangle, a->slot_planes[s],
                        a->slot_edges[s]);
  }
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
             nodes.size() * sizeof(BvhNode) + wide.size() * sizeof(WideNode) +
             a->plane_groups.size() * sizeof(PlaneGroup);
  return a;
}

void FreeAcceleration(Acceleration* a) { delete a; }
