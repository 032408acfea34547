#include "scene/bvhbounds.h"

#include <algorithm>
#include <limits>

#include "scene/trianglecache.h"

namespace {

float FloatBelow(double v) {
  float f = float(v);
  if (double(f) > v) f = std::nextafter(f, -std::numeric_limits<float>::infinity());
  return f;
}

float FloatAbove(double v) {
  float f = float(v);
  if (double(f) < v) f = std::nextafter(f, std::numeric_limits<float>::infinity());
  return f;
}

}  // namespace

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

int AcceptanceBounds(CV_triangle triangle, float lo[3], float hi[3]) {
  return TriangleBounds(triangle, 1e3, 1e3, lo, hi);
}
