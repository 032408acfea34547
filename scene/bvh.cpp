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
// Leaves hold kLeafSize triangles, or up to kLargestLeaf when the
// surface-area estimate finds no split worth its cost.
constexpr int kLeafSize = 1;
constexpr int kLargestLeaf = 8;
constexpr int kBins = 16;
// From this depth on the build splits at the median, so that no path exceeds
// kSurfaceAreaDepth + 32 nodes and the traversal stack (one entry per level) holds.
constexpr int kSurfaceAreaDepth = 48;
constexpr int kStackSize = 128;
// See TriangleBounds.
constexpr double kSlope = 1e-6;
constexpr double kOffPlane = 2e-6;
constexpr double kOffPlaneOrigin = 4e-6;
// Rays whose direction is shorter than this are left to the plain scan: with
// |N| >= kSmallestNormal the denominator N . d stays far above the smallest
// normal float, so its rounding is relative.
constexpr float kShortestDirection = 1e-12f;
constexpr double kSmallestNormal = 1e-12;

struct Item {
  float lo[3];
  float hi[3];
  float centre[3];
  int32_t triangle;
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

// Bounds of the points the triangle test accepts. Let A be an edge's start
// corner, E its float edge vector and R its float unit reference normal, as
// the test uses them, and m the unit vector R x E (in the triangle's plane,
// across the edge, towards the third corner). The edge passes a float point
// X only when
//  - the band clause holds: every |T| component of T = fl(E x fl(X - A)) is
//    below 1e-4, so |E x (X - A)| < sqrt(3) 1e-4 + (rounding of T, below
//    3 ulp |E| |X - A|) and X lies within w = sqrt(3) 1e-4 / |E| + 3 ulp
//    |X - A| of the edge's line; or
//  - the computed cosine exceeds 0.9999, so R . T > 0 up to the rounding of
//    the unit vector and dot, and (X - A) . m > -(3 ulp + 1 ulp) |X - A|.
// Either way (X - A) . m >= -(w + kSlope |X - A|) with kSlope = 1e-6 (four
// times the 2.5e-7 found). X itself is the computed plane point: it lies off
// the float plane N . Y = N . P0 by at most ulp (11 |O| + 6 |P0| + 6 |X|)
// (the numerator's rounding over |N|, the denominator's relative rounding
// times the distance travelled, which |m| > 1e-4 keeps small, and X's own
// rounding), i.e. below kOffPlane (|P0| + |X|) + kOffPlaneOrigin |O| in the
// largest coordinates, both factors three times the bound. Projected on that
// plane the half-spaces are lines pushed out by w + kSlope L plus the
// off-plane height times their tilt against the plane, where L bounds
// |X - A| (found by iteration). The accepted points thus lie in the
// enlarged triangle these three lines cut out, within the off-plane height
// of the plane; its corners are computed in double and the box is widened
// by 1e-9 of the coordinates for that rounding.
// For the hierarchy the part of the height that grows with the ray's origin
// is added at query time (see RoundingDelta), and the tilt term assumes
// origins up to origin_limit; origin_in_box is the origin size whose height
// is put into the box itself.
int TriangleBounds(CV_triangle triangle, double origin_limit, double origin_in_box, float lo[3], float hi[3]) {
  CV_cached_triangle c = CacheTriangle(triangle);
  // A zero float normal makes m NaN: the plain test never accepts.
  if (c.N.x == 0 && c.N.y == 0 && c.N.z == 0) return 0;
  const vertex3f corners[3] = {triangle.a, triangle.b, triangle.c};
  double3 P[3];
  double M = 0;
  for (int k = 0; k < 3; ++k) {
    if (!FiniteVertex(corners[k])) return -1;
    P[k] = ToDouble3(corners[k]);
    for (int i = 0; i < 3; ++i) M = std::max(M, std::fabs(Component(P[k], i)));
  }
  if (M > kLargestBoundedCoordinate) return -1;

  double3 n = ToDouble3(c.N);
  double n_length = Length(n);
  if (!(n_length >= kSmallestNormal) || !std::isfinite(n_length)) return -1;
  n = Divide(n, n_length);

  double w[3];
  double tilt[3];
  double across[3];  // |m projected on the plane|
  double height_of_corner[3];
  double nu[3][2];  // the in-plane unit normals of the edge lines, in the basis (b1, b2)
  double at[3][2];  // the corners projected on the plane, in that basis
  double3 b1;
  double3 b2;
  for (int e = 0; e < 3; ++e) {
    const double3 E = ToDouble3(c.edge[e]);
    const double3 R = ToDouble3(c.R_hat[e]);
    double edge_length = Length(E);
    double r_length = Length(R);
    if (!(edge_length > 1e-20) || !(r_length > 0.999 && r_length < 1.001)) return -1;
    double3 m = Cross(R, E);
    double m_length = Length(m);
    if (!(m_length > 0.999 * edge_length)) return -1;
    m = Divide(m, m_length);
    w[e] = 1.7321e-4 / edge_length * (1 + 1e-9);
    tilt[e] = Dot(m, n);
    double3 mu = Sub(m, Scale(tilt[e], n));
    across[e] = Length(mu);
    if (!(across[e] > 0.99)) return -1;
    double3 offset = Sub(P[e], P[0]);
    height_of_corner[e] = Dot(offset, n);
    if (e == 0) {
      double edge_length_in_plane = Length(mu);
      // b1 along the first edge's line normal turned in the plane: b1 = mu0 x n is
      // in the plane; any orthonormal basis of the plane serves.
      b1 = Cross(mu, n);
      double b1_length = Length(b1);
      if (!(b1_length > 0.5 * edge_length_in_plane)) return -1;
      b1 = Divide(b1, b1_length);
      b2 = Cross(n, b1);
    }
    double x = Dot(mu, b1);
    double y = Dot(mu, b2);
    double l = std::sqrt(x * x + y * y);
    if (!(l > 0.5)) return -1;
    nu[e][0] = x / l;
    nu[e][1] = y / l;
    at[e][0] = Dot(offset, b1);
    at[e][1] = Dot(offset, b2);
  }
  // The three lines must cut out a triangle: their normals turn the same way.
  double turn[3];
  for (int e = 0; e < 3; ++e) {
    int f = (e + 1) % 3;
    turn[e] = nu[e][0] * nu[f][1] - nu[e][1] * nu[f][0];
  }
  bool positive = turn[0] > 1e-6 && turn[1] > 1e-6 && turn[2] > 1e-6;
  bool negative = turn[0] < -1e-6 && turn[1] < -1e-6 && turn[2] < -1e-6;
  if (!positive && !negative) return -1;

  double D = 0;
  for (int k = 0; k < 3; ++k) D = std::max(D, Length(Sub(P[(k + 1) % 3], P[k])));
  double L = 2 * D + 1e-30;
  double3 corner3[3];
  for (int round = 0;; ++round) {
    if (round == 8) return -1;
    double extent = M + L;
    double height = kOffPlane * (M + extent) + kOffPlaneOrigin * origin_limit;
    double limit[3];
    for (int e = 0; e < 3; ++e) {
      double push = (w[e] + kSlope * L + (height + std::fabs(height_of_corner[e])) * std::fabs(tilt[e])) / across[e];
      push = push * (1 + 1e-9) + 1e-12 * extent;
      limit[e] = nu[e][0] * at[e][0] + nu[e][1] * at[e][1] - push;
    }
    // Corner k joins the lines of edges k - 1 and k.
    for (int k = 0; k < 3; ++k) {
      int p = (k + 2) % 3;
      double det = nu[p][0] * nu[k][1] - nu[p][1] * nu[k][0];
      double u = (limit[p] * nu[k][1] - nu[p][1] * limit[k]) / det;
      double v = (nu[p][0] * limit[k] - limit[p] * nu[k][0]) / det;
      corner3[k] = Add(Add(P[0], Scale(u, b1)), Scale(v, b2));
    }
    double reach = 0;
    for (int k = 0; k < 3; ++k) {
      for (int j = 0; j < 3; ++j) reach = std::max(reach, Length(Sub(corner3[k], P[j])));
    }
    reach += height;
    if (!std::isfinite(reach)) return -1;
    if (reach <= L) break;
    L = reach * 1.25;
  }
  double extent = M + L;
  double height = kOffPlane * (M + extent) + kOffPlaneOrigin * origin_in_box;
  for (int i = 0; i < 3; ++i) {
    double low = std::min(Component(corner3[0], i), std::min(Component(corner3[1], i), Component(corner3[2], i)));
    double high = std::max(Component(corner3[0], i), std::max(Component(corner3[1], i), Component(corner3[2], i)));
    double grow = height * std::fabs(Component(n, i)) + 1e-9 * extent + 1e-30;
    lo[i] = FloatBelow(low - grow);
    hi[i] = FloatAbove(high + grow);
    if (!std::isfinite(lo[i]) || !std::isfinite(hi[i])) return -1;
    if (std::fabs(lo[i]) > kLargestBoundedCoordinate || std::fabs(hi[i]) > kLargestBoundedCoordinate) return -1;
  }
  return 1;
}


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

// A ray prepared against one object's boxes: every box is grown by delta
// (see RoundingDelta), folded into the origin as O + delta and O - delta.
// Per axis, the face the ray enters by (0: lo, 1: hi) and the origin to
// measure it from, and the same for the face it leaves by.
struct BoxRay {
  int enter_side[3];
  int leave_side[3];
  float enter_origin[3];
  float leave_origin[3];
  float inverse[3];
  bool any_flat;
  bool flat[3];  // the direction component is zero: the ray keeps its coordinate
};

// The grown box's faces lie delta beyond the box: a plane point X = O + t d
// is off the ray's exact line by at most 2^-24 (2 |X| + |O|) per coordinate,
// off the triangle's float plane (the boxes hold the plane's part) by
// kOffPlaneOrigin |O| more, and O + delta and O - delta are rounded by one
// ulp of |O| + delta; 2e-6 |X| + 6e-6 |O| covers these several times over.
float RoundingDelta(const CV_acceleration& a, const CV_bvh_ray& ray) {
  return 2e-6f * a.max_abs + 6e-6f * ray.origin_max_abs + 1e-30f;
}

BoxRay PrepareBoxRay(const CV_acceleration& a, const CV_bvh_ray& ray) {
  float delta = RoundingDelta(a, ray);
  const float O[3] = {ray.cached.O.x, ray.cached.O.y, ray.cached.O.z};
  BoxRay r;
  r.any_flat = ray.any_flat;
  for (int i = 0; i < 3; ++i) {
    // The lower face lo - delta is reached at (lo - (O + delta)) / d, the
    // upper one hi + delta at (hi - (O - delta)) / d.
    float low_origin = O[i] + delta;
    float high_origin = O[i] - delta;
    bool negative = ray.inverse[i] < 0;
    r.enter_side[i] = negative ? 1 : 0;
    r.leave_side[i] = negative ? 0 : 1;
    r.enter_origin[i] = negative ? high_origin : low_origin;
    r.leave_origin[i] = negative ? low_origin : high_origin;
    r.inverse[i] = ray.inverse[i];
    r.flat[i] = ray.flat[i];
  }
  return r;
}

// The parameter interval in which the ray runs through the grown box,
// widened for the rounding of its own computation (each bound is a
// difference and a product with a rounded inverse: at most 3 ulp off). True,
// with the interval's start, unless it is empty, ends before 0.0001, or
// starts after best_t (strictly: a node entered exactly at best_t may hold an
// earlier triangle of the same object that ties).
// Inlined by force: it runs for every node visited.
__attribute__((always_inline)) inline bool RayEntersBox(const float lo[3], const float hi[3], const BoxRay& r,
                                                        float best_t, float& entry) {
  const float* face[2] = {lo, hi};
  float near = -kInfinity;
  float far = kInfinity;
  if (r.any_flat) {
    for (int i = 0; i < 3; ++i) {
      if (r.flat[i]) {
        // The ray keeps O: it must lie in lo - delta .. hi + delta (the
        // enter origin is O + delta, the leave origin O - delta).
        if (lo[i] > r.enter_origin[i] || hi[i] < r.leave_origin[i]) return false;
        continue;
      }
      near = std::max(near, (face[r.enter_side[i]][i] - r.enter_origin[i]) * r.inverse[i]);
      far = std::min(far, (face[r.leave_side[i]][i] - r.leave_origin[i]) * r.inverse[i]);
    }
  } else {
    float n0 = (face[r.enter_side[0]][0] - r.enter_origin[0]) * r.inverse[0];
    float n1 = (face[r.enter_side[1]][1] - r.enter_origin[1]) * r.inverse[1];
    float n2 = (face[r.enter_side[2]][2] - r.enter_origin[2]) * r.inverse[2];
    float f0 = (face[r.leave_side[0]][0] - r.leave_origin[0]) * r.inverse[0];
    float f1 = (face[r.leave_side[1]][1] - r.leave_origin[1]) * r.inverse[1];
    float f2 = (face[r.leave_side[2]][2] - r.leave_origin[2]) * r.inverse[2];
    near = std::max(n0, std::max(n1, n2));
    far = std::min(f0, std::min(f1, f2));
  }
  near = near - std::fabs(near) * 2e-6f - 1e-30f;
  far = far + std::fabs(far) * 2e-6f + 1e-30f;
  entry = near;
  return near <= far && far >= kNearZero && near <= best_t;
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

int AcceptanceBounds(CV_triangle triangle, float lo[3], float hi[3]) {
  return TriangleBounds(triangle, 1e3, 1e3, lo, hi);
}

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

  CV_acceleration* a = static_cast<CV_acceleration*>(std::calloc(1, sizeof(CV_acceleration)));
  if (a == nullptr) return nullptr;
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
  a->slot_count = int32_t(items.size());
  a->slot_planes =
      static_cast<CV_cached_plane*>(std::aligned_alloc(64, (items.size() * sizeof(CV_cached_plane) / 64 + 1) * 64));
  a->slot_edges = static_cast<CV_cached_edges*>(std::malloc(items.size() * sizeof(CV_cached_edges) + 1));
  a->node_count = int32_t(nodes.size());
  a->nodes = static_cast<CV_bvh_node*>(std::aligned_alloc(64, (nodes.size() * sizeof(CV_bvh_node) / 64 + 1) * 64));
  a->unbounded_count = int32_t(unbounded.size());
  a->unbounded = static_cast<CV_cached_triangle*>(std::malloc(unbounded.size() * sizeof(CV_cached_triangle) + 1));
  a->unbounded_triangle = static_cast<int32_t*>(std::malloc(unbounded.size() * sizeof(int32_t) + 1));
  if (a->slot_planes == nullptr || a->slot_edges == nullptr || a->nodes == nullptr || a->unbounded == nullptr ||
      a->unbounded_triangle == nullptr) {
    FreeAcceleration(a);
    return nullptr;
  }
  for (size_t s = 0; s < items.size(); ++s) {
    SplitCachedTriangle(CacheTriangle(triangles[items[s].triangle]), items[s].triangle, a->slot_planes[s],
                        a->slot_edges[s]);
  }
  std::copy(nodes.begin(), nodes.end(), a->nodes);
  for (size_t u = 0; u < unbounded.size(); ++u) {
    a->unbounded[u] = CacheTriangle(triangles[unbounded[u]]);
    a->unbounded_triangle[u] = unbounded[u];
  }
  a->bytes = sizeof(CV_acceleration) + items.size() * (sizeof(CV_cached_plane) + sizeof(CV_cached_edges)) +
             nodes.size() * sizeof(CV_bvh_node) + unbounded.size() * (sizeof(CV_cached_triangle) + sizeof(int32_t));
  return a;
}

void FreeAcceleration(CV_acceleration* a) {
  if (a == nullptr) return;
  std::free(a->slot_planes);
  std::free(a->slot_edges);
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
  r.any_flat = false;
  float longest = 0;
  for (int i = 0; i < 3; ++i) {
    if (!std::isfinite(O[i]) || !std::isfinite(d[i]) || std::fabs(O[i]) > kLargestBoundedCoordinate ||
        std::fabs(d[i]) > kLargestBoundedCoordinate) {
      r.usable = false;
    }
    if (d[i] != 0 && std::fabs(d[i]) < 1e-15f) r.usable = false;
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

namespace {

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
  for (int k = 0; k < 12; ++k) {
    int s = order[k];
    if (a.box_kind[s] == 0) continue;
    if (a.box_kind[s] > 0 && !RayEntersBox(a.box_triangle_lo[s], a.box_triangle_hi[s], r, kInfinity, entry)) continue;
    float t = 0;
    vertex3f point;
    if (CachedHit(ray.cached, a.box[s], kEitherAhead, kInfinity, true, t, point)) return true;
  }
  return false;
}

bool NearestFrontHit(const CV_acceleration& a, const CV_bvh_ray& ray, const BoxRay& r, int object, float& best_t,
                     int& best_object, int& best_triangle, vertex3f& hit) {
  bool replaced = false;
  for (int32_t u = 0; u < a.unbounded_count; ++u) {
    TestSlot(a.unbounded[u], a.unbounded_triangle[u], ray, object, best_t, best_object, best_triangle, hit,
             replaced);
  }
  if (a.node_count == 0) return replaced;

  struct Pending {
    int32_t node;
    float entry;
  };
  Pending stack[kStackSize];
  int top = 0;
  float entry = 0;
  if (!RayEntersBox(a.nodes[0].lo, a.nodes[0].hi, r, best_t, entry)) return replaced;
  int32_t current = 0;
  for (;;) {
    const CV_bvh_node& node = a.nodes[current];
    if (node.count == 0) {
      // Both children are tested here; the nearer is taken first and the
      // other waits with its entry parameter.
      float entry_left = 0;
      float entry_right = 0;
      bool left = RayEntersBox(a.nodes[node.first].lo, a.nodes[node.first].hi, r, best_t, entry_left);
      bool right = RayEntersBox(a.nodes[node.first + 1].lo, a.nodes[node.first + 1].hi, r, best_t, entry_right);
      if (left && right) {
        if (entry_right < entry_left) {
          stack[top++] = Pending{node.first, entry_left};
          current = node.first + 1;
        } else {
          stack[top++] = Pending{node.first + 1, entry_right};
          current = node.first;
        }
        continue;
      }
      if (left || right) {
        current = left ? node.first : node.first + 1;
        continue;
      }
    } else {
      for (int32_t s = node.first; s < node.first + node.count; ++s) {
        const CV_cached_plane& plane = a.slot_planes[s];
        bool ties_win = best_object == object && plane.triangle < best_triangle;
        float t = 0;
        vertex3f point;
        if (!CachedHit(ray.cached, plane, a.slot_edges[s], kFrontAheadOnly, best_t, ties_win, t, point)) continue;
        best_t = t;
        best_object = object;
        best_triangle = plane.triangle;
        hit = point;
        replaced = true;
      }
    }
    // Take the next waiting node that the best so far does not rule out: it
    // is skipped only when it starts strictly beyond best_t.
    current = -1;
    while (top > 0) {
      Pending next = stack[--top];
      if (next.entry <= best_t) {
        current = next.node;
        break;
      }
    }
    if (current < 0) return replaced;
  }
}

}  // namespace

bool BvhRayMeetsBox(const CV_acceleration& a, const CV_bvh_ray& ray) { return MeetsBox(a, ray, PrepareBoxRay(a, ray)); }

bool BvhNearestFrontHit(const CV_acceleration& a, const CV_bvh_ray& ray, int object, float& best_t,
                        int& best_object, int& best_triangle, vertex3f& hit) {
  return NearestFrontHit(a, ray, PrepareBoxRay(a, ray), object, best_t, best_object, best_triangle, hit);
}

bool BvhObjectFrontHit(const CV_acceleration& a, const CV_bvh_ray& ray, int object, float& best_t, int& best_object,
                       int& best_triangle, vertex3f& hit) {
  BoxRay r = PrepareBoxRay(a, ray);
  if (!MeetsBox(a, ray, r)) return false;
  return NearestFrontHit(a, ray, r, object, best_t, best_object, best_triangle, hit);
}
