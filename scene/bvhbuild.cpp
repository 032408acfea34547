#include "scene/bvhbuild.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "scene/bvhbounds.h"

namespace {

// Leaves hold kLeafSize triangles, or up to kLargestLeaf when the
// surface-area estimate finds no split worth its cost.
constexpr int kLeafSize = 1;
constexpr int kLargestLeaf = 8;
constexpr int kBins = 16;

struct Item {
  float lo[3];
  float hi[3];
  float centre[3];
  int32_t triangle;
};

double HalfArea(const float lo[3], const float hi[3]) {
  double x = double(hi[0]) - lo[0];
  double y = double(hi[1]) - lo[1];
  double z = double(hi[2]) - lo[2];
  return x * y + y * z + z * x;
}

void Grow(float lo[3], float hi[3], const Item& item) {
  for (int i = 0; i < 3; ++i) {
    lo[i] = std::min(lo[i], item.lo[i]);
    hi[i] = std::max(hi[i], item.hi[i]);
  }
}

void Empty(float lo[3], float hi[3]) {
  for (int i = 0; i < 3; ++i) {
    lo[i] = kInfinity;
    hi[i] = -kInfinity;
  }
}

// Binned surface-area split (a median split on the longest axis of the
// centres below kSurfaceAreaDepth levels or when no binned split separates
// the items). Children are stored side by side; leaves take consecutive items.
void BuildNode(std::vector<Item>& items, int32_t begin, int32_t end, std::vector<CV_bvh_node>& nodes, int32_t at,
               int depth) {
  CV_bvh_node node;
  Empty(node.lo, node.hi);
  float clo[3] = {kInfinity, kInfinity, kInfinity};
  float chi[3] = {-kInfinity, -kInfinity, -kInfinity};
  for (int32_t k = begin; k < end; ++k) {
    Grow(node.lo, node.hi, items[size_t(k)]);
    for (int i = 0; i < 3; ++i) {
      clo[i] = std::min(clo[i], items[size_t(k)].centre[i]);
      chi[i] = std::max(chi[i], items[size_t(k)].centre[i]);
    }
  }
  int32_t count = end - begin;
  if (count <= kLeafSize) {
    node.first = begin;
    node.count = count;
    nodes[size_t(at)] = node;
    return;
  }

  int32_t middle = -1;
  if (depth < kSurfaceAreaDepth) {
    int best_axis = -1;
    int best_bin = -1;
    double best_cost = std::numeric_limits<double>::infinity();
    for (int axis = 0; axis < 3; ++axis) {
      double extent = double(chi[axis]) - clo[axis];
      if (!(extent > 0)) continue;
      double scale = kBins / extent;
      int32_t bin_count[kBins] = {};
      float bin_lo[kBins][3];
      float bin_hi[kBins][3];
      for (int b = 0; b < kBins; ++b) Empty(bin_lo[b], bin_hi[b]);
      for (int32_t k = begin; k < end; ++k) {
        int b = std::min(kBins - 1, int((double(items[size_t(k)].centre[axis]) - clo[axis]) * scale));
        ++bin_count[b];
        Grow(bin_lo[b], bin_hi[b], items[size_t(k)]);
      }
      double right_area[kBins];
      int32_t right_count[kBins];
      float lo[3];
      float hi[3];
      Empty(lo, hi);
      int32_t n = 0;
      for (int b = kBins - 1; b > 0; --b) {
        for (int i = 0; i < 3; ++i) {
          lo[i] = std::min(lo[i], bin_lo[b][i]);
          hi[i] = std::max(hi[i], bin_hi[b][i]);
        }
        n += bin_count[b];
        right_area[b] = n > 0 ? HalfArea(lo, hi) : 0;
        right_count[b] = n;
      }
      Empty(lo, hi);
      n = 0;
      for (int b = 0; b + 1 < kBins; ++b) {
        for (int i = 0; i < 3; ++i) {
          lo[i] = std::min(lo[i], bin_lo[b][i]);
          hi[i] = std::max(hi[i], bin_hi[b][i]);
        }
        n += bin_count[b];
        if (n == 0 || right_count[b + 1] == 0) continue;
        double cost = HalfArea(lo, hi) * n + right_area[b + 1] * right_count[b + 1];
        if (cost < best_cost) {
          best_cost = cost;
          best_axis = axis;
          best_bin = b;
        }
      }
    }
    double node_area = HalfArea(node.lo, node.hi);
    if (count <= kLargestLeaf && !(best_cost + node_area < node_area * count)) {
      node.first = begin;
      node.count = count;
      nodes[size_t(at)] = node;
      return;
    }
    if (best_axis >= 0) {
      double scale = kBins / (double(chi[best_axis]) - clo[best_axis]);
      double low = clo[best_axis];
      auto split = std::partition(items.begin() + begin, items.begin() + end, [&](const Item& item) {
        return std::min(kBins - 1, int((double(item.centre[best_axis]) - low) * scale)) <= best_bin;
      });
      middle = int32_t(split - items.begin());
      if (middle == begin || middle == end) middle = -1;
    }
  }
  if (middle < 0) {
    int axis = 0;
    for (int i = 1; i < 3; ++i) {
      if (chi[i] - clo[i] > chi[axis] - clo[axis]) axis = i;
    }
    middle = begin + count / 2;
    std::nth_element(items.begin() + begin, items.begin() + middle, items.begin() + end,
                     [axis](const Item& p, const Item& q) { return p.centre[axis] < q.centre[axis]; });
  }
  int32_t left = int32_t(nodes.size());
  nodes.push_back(CV_bvh_node{});
  nodes.push_back(CV_bvh_node{});
  node.first = left;
  node.count = 0;
  nodes[size_t(at)] = node;
  BuildNode(items, begin, middle, nodes, left, depth + 1);
  BuildNode(items, middle, end, nodes, left + 1, depth + 1);
}

}  // namespace

CV_acceleration* BuildAcceleration(const CV_triangle* triangles, int32_t triangle_count,
                                   const CV_triangle* box_triangles) {
  if (triangle_count < 0 || (triangle_count > 0 && triangles == nullptr) || box_triangles == nullptr) return nullptr;
  float coordinates = 0;
  for (int32_t k = 0; k < triangle_count; ++k) {
    const CV_triangle& t = triangles[k];
    if (!FiniteVertex(t.a) || !FiniteVertex(t.b) || !FiniteVertex(t.c)) return nullptr;
    for (const vertex3f& v : {t.a, t.b, t.c}) {
      coordinates = std::max(coordinates, std::max(std::fabs(v.x), std::max(std::fabs(v.y), std::fabs(v.z))));
    }
  }
  for (int s = 0; s < 12; ++s) {
    const CV_triangle& t = box_triangles[s];
    for (const vertex3f& v : {t.a, t.b, t.c}) {
      if (!FiniteVertex(v)) continue;
      coordinates = std::max(coordinates, std::max(std::fabs(v.x), std::max(std::fabs(v.y), std::fabs(v.z))));
    }
  }
  // Rays from farther away are rare (the scene's own rays start inside it);
  // they scan the object.
  double origin_limit = std::max(1e5, 16.0 * double(coordinates));
  if (!(origin_limit < kLargestBoundedCoordinate)) origin_limit = kLargestBoundedCoordinate;

  std::vector<Item> items;
  items.reserve(size_t(triangle_count));
  std::vector<int32_t> unbounded;
  float max_abs = 0;
  for (int32_t k = 0; k < triangle_count; ++k) {
    Item item;
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

  CV_acceleration* a = new CV_acceleration{};
  a->source = triangles;
  a->source_count = triangle_count;
  a->origin_limit = float(origin_limit);
  a->box_has_bounds = true;
  Empty(a->box_lo, a->box_hi);
  for (int s = 0; s < 12; ++s) {
    a->box[s] = CacheTriangle(box_triangles[s]);
    float lo[3];
    float hi[3];
    int kind = TriangleBounds(box_triangles[s], origin_limit, 0, lo, hi);
    a->box_kind[s] = int8_t(kind);
    if (kind < 0) a->box_has_bounds = false;
    if (kind <= 0) continue;
    for (int i = 0; i < 3; ++i) {
      a->box_triangle_lo[s][i] = lo[i];
      a->box_triangle_hi[s][i] = hi[i];
      a->box_lo[i] = std::min(a->box_lo[i], lo[i]);
      a->box_hi[i] = std::max(a->box_hi[i], hi[i]);
      max_abs = std::max(max_abs, std::max(std::fabs(lo[i]), std::fabs(hi[i])));
    }
  }
  a->max_abs = max_abs;
  // For a ray leaving the box through the face on `axis` and `side`, the box
  // triangles most nearly facing that way come first.
  for (int axis = 0; axis < 3; ++axis) {
    for (int side = 0; side < 2; ++side) {
      double facing[12];
      for (int s = 0; s < 12; ++s) {
        const vertex3f& n = a->box[s].n_hat;
        double along = axis == 0 ? n.x : axis == 1 ? n.y : n.z;
        facing[s] = std::isfinite(along) ? (side == 1 ? along : -along) : -2;
      }
      int order[12];
      for (int s = 0; s < 12; ++s) order[s] = s;
      std::stable_sort(order, order + 12, [&facing](int p, int q) { return facing[p] > facing[q]; });
      for (int s = 0; s < 12; ++s) a->box_order[axis][side][s] = int8_t(order[s]);
    }
  }

  std::vector<CV_bvh_node> nodes;
  if (!items.empty()) {
    nodes.reserve(2 * items.size() / kLeafSize + 2);
    // The root, then an unused node, so that every pair of children starts
    // at an even index: in the 64-byte aligned array a pair shares one cache line.
    nodes.push_back(CV_bvh_node{});
    nodes.push_back(CV_bvh_node{{0, 0, 0}, {0, 0, 0}, 0, 0});
    BuildNode(items, 0, int32_t(items.size()), nodes, 0, 0);
  }
  a->slot_planes.resize(items.size());
  a->slot_edges.resize(items.size());
  for (size_t s = 0; s < items.size(); ++s) {
    SplitCachedTriangle(CacheTriangle(triangles[items[s].triangle]), items[s].triangle, a->slot_planes[s],
                        a->slot_edges[s]);
  }
  a->nodes.assign(nodes.begin(), nodes.end());
  for (int32_t u : unbounded) a->unbounded.push_back(CacheTriangle(triangles[u]));
  a->unbounded_triangle = unbounded;
  a->bytes = sizeof(CV_acceleration) + items.size() * (sizeof(CV_cached_plane) + sizeof(CV_cached_edges)) +
             nodes.size() * sizeof(CV_bvh_node) + unbounded.size() * (sizeof(CV_cached_triangle) + sizeof(int32_t));
  return a;
}

void FreeAcceleration(CV_acceleration* a) { delete a; }
