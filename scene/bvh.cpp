#include "scene/bvh.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

#include "core/raytriangle.h"

namespace {

constexpr float kInfinity = std::numeric_limits<float>::infinity();
// Coordinates beyond this are left to the plain scan: the margins below stay
// far from overflow for everything smaller.
constexpr double kLargestBoundedCoordinate = 1e15;
constexpr int kLeafSize = 4;

struct Item {
  float lo[3];
  float hi[3];
  float centre[3];
  int32_t triangle;
  CV_cached_triangle cached;
};

float FloatBelow(double v) {
  float f = float(v);
  if (double(f) > v) f = std::nextafter(f, -kInfinity);
  return f;
}

float FloatAbove(double v) {
  float f = float(v);
  if (double(f) < v) f = std::nextafter(f, kInfinity);
  return f;
}

bool FiniteVertex(vertex3f v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

void Sub(const double a[3], const double b[3], double r[3]) {
  for (int i = 0; i < 3; ++i) r[i] = a[i] - b[i];
}

double Length(const double v[3]) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

// Recursive median split along the longest axis of the centres.
int32_t BuildNode(std::vector<Item>& items, int32_t begin, int32_t end, std::vector<CV_bvh_node>& nodes,
                  int32_t at) {
  CV_bvh_node node;
  for (int i = 0; i < 3; ++i) {
    node.lo[i] = kInfinity;
    node.hi[i] = -kInfinity;
  }
  float clo[3] = {kInfinity, kInfinity, kInfinity};
  float chi[3] = {-kInfinity, -kInfinity, -kInfinity};
  for (int32_t k = begin; k < end; ++k) {
    for (int i = 0; i < 3; ++i) {
      node.lo[i] = std::min(node.lo[i], items[k].lo[i]);
      node.hi[i] = std::max(node.hi[i], items[k].hi[i]);
      clo[i] = std::min(clo[i], items[k].centre[i]);
      chi[i] = std::max(chi[i], items[k].centre[i]);
    }
  }
  if (end - begin <= kLeafSize) {
    node.first = begin;
    node.count = end - begin;
    nodes[at] = node;
    return at;
  }
  int axis = 0;
  for (int i = 1; i < 3; ++i) {
    if (chi[i] - clo[i] > chi[axis] - clo[axis]) axis = i;
  }
  int32_t middle = begin + (end - begin) / 2;
  std::nth_element(items.begin() + begin, items.begin() + middle, items.begin() + end,
                   [axis](const Item& p, const Item& q) { return p.centre[axis] < q.centre[axis]; });
  int32_t left = int32_t(nodes.size());
  nodes.push_back(CV_bvh_node{});
  nodes.push_back(CV_bvh_node{});
  node.first = left;
  node.count = 0;
  nodes[at] = node;
  BuildNode(items, begin, middle, nodes, left);
  BuildNode(items, middle, end, nodes, left + 1);
  return at;
}

// The parameter interval in which the ray runs through the node's box grown
// by delta, widened for the rounding of its own computation (each bound is a
// difference and a product: at most 4 ulp off). False when the interval is
// empty, ends before 0.0001, or starts after best_t.
bool RayEntersBox(const float lo[3], const float hi[3], const CV_bvh_ray& ray, float delta, float best_t) {
  float near = -kInfinity;
  float far = kInfinity;
  const float O[3] = {ray.cached.O.x, ray.cached.O.y, ray.cached.O.z};
  for (int i = 0; i < 3; ++i) {
    float low = lo[i] - delta;
    float high = hi[i] + delta;
    if (ray.flat[i]) {
      if (O[i] < low || O[i] > high) return false;
      continue;
    }
    float a = (low - O[i]) * ray.inverse[i];
    float b = (high - O[i]) * ray.inverse[i];
    if (a > b) std::swap(a, b);
    near = std::max(near, a);
    far = std::min(far, b);
  }
  near = near - std::fabs(near) * 2e-6f - 1e-30f;
  far = far + std::fabs(far) * 2e-6f + 1e-30f;
  return near <= far && far >= kNearZero && near <= best_t;
}


// The ray's distance from the parameter interval of every box: a plane point
// X = O + t d is rounded by at most 2^-24 (2|X| + |O|) per coordinate, and
// lo - delta is rounded too; 1e-6 covers both sixteen times over.
float RoundingDelta(const CV_acceleration& a, const CV_bvh_ray& ray) {
  return 1e-6f * (2.0f * a.max_abs + ray.origin_max_abs) + 1e-30f;
}

void TestSlot(const CV_cached_triangle& cached, int32_t triangle, const CV_bvh_ray& ray, int object,
              float& best_t, int& best_object, int& best_triangle, vertex3f& hit, bool& replaced) {
  bool ties_win = best_object == object && triangle < best_triangle;
  float t = 0;
  vertex3f point;
  if (!CachedHit(ray.cached, cached, kFrontAheadOnly, best_t, ties_win, t, point)) return;
  best_t = t;
  best_object = object;
  best_triangle = triangle;
  hit = point;
  replaced = true;
}

}  // namespace

// Margin of the boxes. An edge (A, B) passes X when T = (B - A) x (X - A) has
// every component below 1e-4 (X within w = sqrt(3) 1e-4 / |B - A| of the edge's
// line) or when T lies within acos(0.9999) = 0.0142 rad of the edge's unit
// reference normal, which is itself within 0.01 rad of the true normal (else
// the triangle gets no box). T's own rounding is below 6 ulp |B - A| |X - A|,
// so beyond 4e-5 |X - A| from the line it turns T by under 0.01 rad. Hence an
// accepted X projects into the triangle with every edge pushed out by
// w + rho (rho = 1e-4 times the grown size, a factor 2.5 over 4e-5), whose
// corners move at most 2 (w + rho) / sin(smallest angle), and lies off the
// plane by at most max(w + rho, 0.05 times the grown size) (tan 0.035 < 0.05).
int AcceptanceBounds(CV_triangle triangle, float lo[3], float hi[3]) {
  CV_cached_triangle c = CacheTriangle(triangle);
  // A zero float normal makes m NaN: the plain test never accepts.
  if (c.N.x == 0 && c.N.y == 0 && c.N.z == 0) return 0;
  const vertex3f corners[3] = {triangle.a, triangle.b, triangle.c};
  double P[3][3];
  double M = 0;
  for (int k = 0; k < 3; ++k) {
    if (!FiniteVertex(corners[k])) return -1;
    P[k][0] = corners[k].x;
    P[k][1] = corners[k].y;
    P[k][2] = corners[k].z;
    for (int i = 0; i < 3; ++i) M = std::max(M, std::fabs(P[k][i]));
  }
  if (M > kLargestBoundedCoordinate) return -1;

  double e[3][3];
  double length[3];
  for (int k = 0; k < 3; ++k) {
    Sub(P[(k + 1) % 3], P[k], e[k]);
    length[k] = Length(e[k]);
  }
  double f[3];
  Sub(P[2], P[0], f);
  double N[3] = {e[0][1] * f[2] - e[0][2] * f[1], e[0][2] * f[0] - e[0][0] * f[2], e[0][0] * f[1] - e[0][1] * f[0]};
  double area2 = Length(N);
  if (!(area2 > 0) || !std::isfinite(area2)) return -1;
  double n[3] = {N[0] / area2, N[1] / area2, N[2] / area2};
  for (int k = 0; k < 3; ++k) {
    const vertex3f& r = c.R_hat[k];
    double along = double(r.x) * n[0] + double(r.y) * n[1] + double(r.z) * n[2];
    if (!(along >= 0.99995)) return -1;  // cos(0.01)
  }

  double D = std::max(length[0], std::max(length[1], length[2]));
  double shortest = std::min(length[0], std::min(length[1], length[2]));
  double sine = kInfinity;
  for (int k = 0; k < 3; ++k) sine = std::min(sine, area2 / (length[k] * length[(k + 2) % 3]));
  constexpr double kSlope = 1e-4;
  if (!(sine > 8 * kSlope)) return -1;
  double w = 1.7321e-4 / shortest * 1.001;
  // rho = kSlope (D + 4 (w + rho) / sine) + 1e-6 M, solved for rho.
  double rho = (kSlope * (D + 4 * w / sine) + 1e-6 * M) / (1 - 4 * kSlope / sine);
  double band = w + rho;
  double corner_growth = 2 * band / sine;
  double grown_size = D + 2 * corner_growth;
  double height = std::max(band, 0.05 * grown_size);
  for (int i = 0; i < 3; ++i) {
    double low = std::min(P[0][i], std::min(P[1][i], P[2][i]));
    double high = std::max(P[0][i], std::max(P[1][i], P[2][i]));
    double grow = corner_growth + height * (std::fabs(n[i]) + 1e-6) + rho + 1e-6 * M;
    lo[i] = FloatBelow(low - grow);
    hi[i] = FloatAbove(high + grow);
    if (!std::isfinite(lo[i]) || !std::isfinite(hi[i])) return -1;
    if (std::fabs(lo[i]) > kLargestBoundedCoordinate || std::fabs(hi[i]) > kLargestBoundedCoordinate) return -1;
  }
  return 1;
}

CV_acceleration* BuildAcceleration(const CV_triangle* triangles, int32_t triangle_count,
                                   const CV_triangle* box_triangles) {
  if (triangle_count < 0 || (triangle_count > 0 && triangles == nullptr) || box_triangles == nullptr) return nullptr;
  for (int32_t k = 0; k < triangle_count; ++k) {
    const CV_triangle& t = triangles[k];
    if (!FiniteVertex(t.a) || !FiniteVertex(t.b) || !FiniteVertex(t.c)) return nullptr;
  }

  std::vector<Item> items;
  items.reserve(size_t(triangle_count));
  std::vector<int32_t> unbounded;
  float max_abs = 0;
  for (int32_t k = 0; k < triangle_count; ++k) {
    Item item;
    int kind = AcceptanceBounds(triangles[k], item.lo, item.hi);
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
    item.cached = CacheTriangle(triangles[k]);
    items.push_back(item);
  }

  CV_acceleration* a = static_cast<CV_acceleration*>(std::calloc(1, sizeof(CV_acceleration)));
  if (a == nullptr) return nullptr;
  a->source = triangles;
  a->source_count = triangle_count;
  a->box_has_bounds = true;
  for (int i = 0; i < 3; ++i) {
    a->box_lo[i] = kInfinity;
    a->box_hi[i] = -kInfinity;
  }
  for (int s = 0; s < 12; ++s) {
    a->box[s] = CacheTriangle(box_triangles[s]);
    float lo[3];
    float hi[3];
    int kind = AcceptanceBounds(box_triangles[s], lo, hi);
    if (kind < 0) a->box_has_bounds = false;
    if (kind <= 0) continue;
    for (int i = 0; i < 3; ++i) {
      a->box_lo[i] = std::min(a->box_lo[i], lo[i]);
      a->box_hi[i] = std::max(a->box_hi[i], hi[i]);
      max_abs = std::max(max_abs, std::max(std::fabs(lo[i]), std::fabs(hi[i])));
    }
  }
  a->max_abs = max_abs;

  std::vector<CV_bvh_node> nodes;
  if (!items.empty()) {
    nodes.reserve(2 * items.size() / kLeafSize + 2);
    nodes.push_back(CV_bvh_node{});
    BuildNode(items, 0, int32_t(items.size()), nodes, 0);
  }
  a->slot_count = int32_t(items.size());
  a->slots = static_cast<CV_cached_triangle*>(std::malloc(items.size() * sizeof(CV_cached_triangle) + 1));
  a->slot_triangle = static_cast<int32_t*>(std::malloc(items.size() * sizeof(int32_t) + 1));
  a->node_count = int32_t(nodes.size());
  a->nodes = static_cast<CV_bvh_node*>(std::malloc(nodes.size() * sizeof(CV_bvh_node) + 1));
  a->unbounded_count = int32_t(unbounded.size());
  a->unbounded = static_cast<CV_cached_triangle*>(std::malloc(unbounded.size() * sizeof(CV_cached_triangle) + 1));
  a->unbounded_triangle = static_cast<int32_t*>(std::malloc(unbounded.size() * sizeof(int32_t) + 1));
  if (a->slots == nullptr || a->slot_triangle == nullptr || a->nodes == nullptr || a->unbounded == nullptr ||
      a->unbounded_triangle == nullptr) {
    FreeAcceleration(a);
    return nullptr;
  }
  for (size_t s = 0; s < items.size(); ++s) {
    a->slots[s] = items[s].cached;
    a->slot_triangle[s] = items[s].triangle;
  }
  std::copy(nodes.begin(), nodes.end(), a->nodes);
  for (size_t u = 0; u < unbounded.size(); ++u) {
    a->unbounded[u] = CacheTriangle(triangles[unbounded[u]]);
    a->unbounded_triangle[u] = unbounded[u];
  }
  a->bytes = sizeof(CV_acceleration) + items.size() * (sizeof(CV_cached_triangle) + sizeof(int32_t)) +
             nodes.size() * sizeof(CV_bvh_node) + unbounded.size() * (sizeof(CV_cached_triangle) + sizeof(int32_t));
  return a;
}

void FreeAcceleration(CV_acceleration* a) {
  if (a == nullptr) return;
  std::free(a->slots);
  std::free(a->slot_triangle);
  std::free(a->nodes);
  std::free(a->unbounded);
  std::free(a->unbounded_triangle);
  std::free(a);
}

CV_bvh_ray PrepareBvhRay(vector3f ray) {
  CV_bvh_ray r;
  r.cached = CacheRay(ray);
  const float O[3] = {ray.origin.x, ray.origin.y, ray.origin.z};
  const float d[3] = {ray.direction.x, ray.direction.y, ray.direction.z};
  r.usable = true;
  r.origin_max_abs = 0;
  bool moving = false;
  for (int i = 0; i < 3; ++i) {
    if (!std::isfinite(O[i]) || !std::isfinite(d[i]) || std::fabs(O[i]) > kLargestBoundedCoordinate ||
        std::fabs(d[i]) > kLargestBoundedCoordinate) {
      r.usable = false;
    }
    if (d[i] != 0 && std::fabs(d[i]) < 1e-15f) r.usable = false;
    r.flat[i] = d[i] == 0;
    r.inverse[i] = r.flat[i] ? 0.0f : 1.0f / d[i];
    moving = moving || !r.flat[i];
    r.origin_max_abs = std::max(r.origin_max_abs, std::fabs(O[i]));
  }
  if (!moving) r.usable = false;
  return r;
}

bool BvhRayMeetsBox(const CV_acceleration& a, const CV_bvh_ray& ray) {
  if (a.box_has_bounds && !RayEntersBox(a.box_lo, a.box_hi, ray, RoundingDelta(a, ray), kInfinity)) return false;
  for (int s = 0; s < 12; ++s) {
    float t = 0;
    vertex3f point;
    if (CachedHit(ray.cached, a.box[s], kEitherAhead, kInfinity, true, t, point)) return true;
  }
  return false;
}

bool BvhNearestFrontHit(const CV_acceleration& a, const CV_bvh_ray& ray, int object, float& best_t,
                        int& best_object, int& best_triangle, vertex3f& hit) {
  bool replaced = false;
  for (int32_t u = 0; u < a.unbounded_count; ++u) {
    TestSlot(a.unbounded[u], a.unbounded_triangle[u], ray, object, best_t, best_object, best_triangle, hit,
             replaced);
  }
  if (a.node_count == 0) return replaced;

  float delta = RoundingDelta(a, ray);
  // The median split halves every node: the depth stays below 32.
  int32_t stack[128];
  const float d[3] = {ray.cached.d.x, ray.cached.d.y, ray.cached.d.z};
  int axis = 0;
  for (int i = 1; i < 3; ++i) {
    if (std::fabs(d[i]) > std::fabs(d[axis])) axis = i;
  }
  int top = 0;
  stack[top++] = 0;
  while (top > 0) {
    const CV_bvh_node& node = a.nodes[stack[--top]];
    // A node entered exactly at best_t is still visited: an earlier triangle
    // of the same object may tie.
    if (!RayEntersBox(node.lo, node.hi, ray, delta, best_t)) continue;
    if (node.count > 0) {
      for (int32_t s = node.first; s < node.first + node.count; ++s) {
        TestSlot(a.slots[s], a.slot_triangle[s], ray, object, best_t, best_object, best_triangle, hit, replaced);
      }
      continue;
    }
    // Visit the child nearer along the ray's dominant axis first.
    int32_t first = node.first;
    int32_t second = node.first + 1;
    const CV_bvh_node& left = a.nodes[first];
    const CV_bvh_node& right = a.nodes[second];
    bool right_first = d[axis] > 0 ? (right.lo[axis] + right.hi[axis] < left.lo[axis] + left.hi[axis])
                                   : (right.lo[axis] + right.hi[axis] > left.lo[axis] + left.hi[axis]);
    if (right_first) std::swap(first, second);
    stack[top++] = second;
    stack[top++] = first;
  }
  return replaced;
}
