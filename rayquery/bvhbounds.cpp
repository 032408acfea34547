#include "rayquery/bvhbounds.h"

#include <algorithm>
#include <limits>

#include "rayquery/trianglecache.h"

namespace {

// The rounding argument's margins (see TriangleBounds): the edge test's slope
// term and the off-plane height per unit of the largest corner coordinate.
constexpr double kSlope = 1e-6;
constexpr double kOffPlane = 2e-6;
// sqrt(3) times the band 1e-4 of each |T| component, rounded up.
constexpr double kBandRadius = 1.7321e-4;
// Shorter float edges give a band wider than any coordinate that is bounded.
constexpr double kShortestEdge = 1e-20;
// R_hat is a float unit vector, a few ulp from length 1; farther off, it came
// from an underflowed or overflowed cross product and the argument fails.
constexpr double kLeastUnitLength = 0.999;
constexpr double kMostUnitLength = 1.001;
// R_hat is perpendicular to E up to rounding, so |R_hat x E| is |E| within a
// few ulp; a shorter product means m does not point across the edge.
constexpr double kLeastCrossShare = 0.999;
// m lies in the float plane up to rounding; a larger tilt means R_hat and N
// disagree and the lines cannot be projected on the plane.
constexpr double kLeastAcross = 0.99;
// Vectors in the plane keep their length in the plane's basis; keeping less
// than half of it means the basis is ill-conditioned.
constexpr double kLeastInPlaneShare = 0.5;
// Lines nearer to parallel meet far away at ill-conditioned corners.
constexpr double kLeastTurn = 1e-6;
// Relative widening for the bounds' own double roundings (about 1e-16 each).
constexpr double kDoubleRounding = 1e-9;
// The double rounding of a line's offset, relative to the coordinates it is measured at.
constexpr double kLineRounding = 1e-12;
// Most triangles settle in one or two rounds; one still growing after this
// many gets no box and is tested on every query.
constexpr int kReachRounds = 8;
// Grows L past the reach found, so that the next round can confirm it.
constexpr double kReachGrowth = 1.25;
// The origins AcceptanceBounds answers for.
constexpr double kAcceptanceOriginLimit = 1e3;

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

// The triangle's plane as the bounds see it: the corners in double, their
// largest coordinate magnitude M, the unit normal n of the float normal N,
// and an orthonormal basis (b1, b2) of the plane.
struct BoundPlane {
  double3 P[3];
  double M;
  double3 n;
  double3 b1;
  double3 b2;
};

// One edge's half-space as the bounds see it (see TriangleBounds).
struct EdgeLine {
  double w;        // the band's half-width over the edge's line
  double tilt;     // m . n: how far m leans out of the plane
  double across;   // |m projected on the plane|
  double height;   // the start corner's height over the plane through P0
  double3 mu;      // m projected on the plane
  double3 offset;  // the start corner A - P0
  double nu[2];    // the line's in-plane unit normal, in the basis (b1, b2)
  double at[2];    // the start corner projected on the plane, in that basis
};

// The corners widened to double and their largest magnitude; false for a
// corner that is not finite or too large to bound.
bool ReadCorners(CV_triangle triangle, BoundPlane& plane) {
  const vertex3f corners[3] = {triangle.a, triangle.b, triangle.c};
  plane.M = 0;
  for (int k = 0; k < 3; ++k) {
    if (!FiniteVertex(corners[k])) return false;
    plane.P[k] = ToDouble3(corners[k]);
    for (int i = 0; i < 3; ++i) plane.M = std::max(plane.M, std::fabs(Component(plane.P[k], i)));
  }
  return !(plane.M > kLargestBoundedCoordinate);
}

// The unit normal of the float normal N; false when N is too short (or not
// finite) for the test's denominator to round relatively.
bool UnitNormal(vertex3f N, double3& n) {
  n = ToDouble3(N);
  double n_length = Length(n);
  if (!(n_length >= kSmallestNormal) || !std::isfinite(n_length)) return false;
  n = Divide(n, n_length);
  return true;
}

// Edge e's band, tilt and height from the test's own float edge vector E and
// unit reference normal R; false when E or R is too degenerate for the
// argument to hold.
bool MeasureEdge(const CachedTriangle& c, int e, const BoundPlane& plane, EdgeLine& line) {
  const double3 E = ToDouble3(c.edge[e]);
  const double3 R = ToDouble3(c.R_hat[e]);
  double edge_length = Length(E);
  double r_length = Length(R);
  if (!(edge_length > kShortestEdge) || !(r_length > kLeastUnitLength && r_length < kMostUnitLength)) return false;
  double3 m = Cross(R, E);
  double m_length = Length(m);
  if (!(m_length > kLeastCrossShare * edge_length)) return false;
  m = Divide(m, m_length);
  line.w = kBandRadius / edge_length * (1 + kDoubleRounding);
  line.tilt = Dot(m, plane.n);
  line.mu = Sub(m, Scale(line.tilt, plane.n));
  line.across = Length(line.mu);
  if (!(line.across > kLeastAcross)) return false;
  line.offset = Sub(plane.P[e], plane.P[0]);
  line.height = Dot(line.offset, plane.n);
  return true;
}

// b1 along the first edge's line normal turned in the plane: b1 = mu0 x n is
// in the plane; any orthonormal basis of the plane serves.
bool PlaneBasis(const EdgeLine& first, BoundPlane& plane) {
  plane.b1 = Cross(first.mu, plane.n);
  double b1_length = Length(plane.b1);
  if (!(b1_length > kLeastInPlaneShare * first.across)) return false;
  plane.b1 = Divide(plane.b1, b1_length);
  plane.b2 = Cross(plane.n, plane.b1);
  return true;
}

// The line's normal and start corner in the plane's basis.
bool ProjectEdge(const BoundPlane& plane, EdgeLine& line) {
  double x = Dot(line.mu, plane.b1);
  double y = Dot(line.mu, plane.b2);
  double l = std::sqrt(x * x + y * y);
  if (!(l > kLeastInPlaneShare)) return false;
  line.nu[0] = x / l;
  line.nu[1] = y / l;
  line.at[0] = Dot(line.offset, plane.b1);
  line.at[1] = Dot(line.offset, plane.b2);
  return true;
}

// The three lines cut out a triangle: their normals turn the same way.
bool LinesCutOutATriangle(const EdgeLine lines[3]) {
  double turn[3];
  for (int e = 0; e < 3; ++e) {
    int f = (e + 1) % 3;
    turn[e] = lines[e].nu[0] * lines[f].nu[1] - lines[e].nu[1] * lines[f].nu[0];
  }
  bool positive = turn[0] > kLeastTurn && turn[1] > kLeastTurn && turn[2] > kLeastTurn;
  bool negative = turn[0] < -kLeastTurn && turn[1] < -kLeastTurn && turn[2] < -kLeastTurn;
  return positive || negative;
}

// How far an accepted point can lie off the float plane, for coordinates up
// to extent and origins up to origin.
double OffPlaneHeight(double M, double extent, double origin) {
  return kOffPlane * (M + extent) + kOffPlaneOrigin * origin;
}

// The corners of the enlarged triangle: each line pushed out by its band,
// kSlope L and the off-plane height times its tilt; corner k joins the lines
// of edges k - 1 and k.
void PushedCorners(const BoundPlane& plane, const EdgeLine lines[3], double L, double height, double3 corners[3]) {
  double extent = plane.M + L;
  double limit[3];
  for (int e = 0; e < 3; ++e) {
    const EdgeLine& line = lines[e];
    double push = (line.w + kSlope * L + (height + std::fabs(line.height)) * std::fabs(line.tilt)) / line.across;
    push = push * (1 + kDoubleRounding) + kLineRounding * extent;
    limit[e] = line.nu[0] * line.at[0] + line.nu[1] * line.at[1] - push;
  }
  for (int k = 0; k < 3; ++k) {
    const double* np = lines[(k + 2) % 3].nu;
    const double* nk = lines[k].nu;
    double lp = limit[(k + 2) % 3];
    double det = np[0] * nk[1] - np[1] * nk[0];
    double u = (lp * nk[1] - np[1] * limit[k]) / det;
    double v = (np[0] * limit[k] - lp * nk[0]) / det;
    corners[k] = Add(Add(plane.P[0], Scale(u, plane.b1)), Scale(v, plane.b2));
  }
}

// The enlarged triangle's corners for a bound L on |X - A| that they confirm:
// L starts at twice the longest edge and grows until every corner lies
// within it. False when no such L is found in kReachRounds rounds.
bool EnlargedCorners(const BoundPlane& plane, const EdgeLine lines[3], double origin_limit, double3 corners[3],
                     double& L) {
  double D = 0;
  for (int k = 0; k < 3; ++k) D = std::max(D, Length(Sub(plane.P[(k + 1) % 3], plane.P[k])));
  L = 2 * D + kLeastMargin;
  for (int round = 0; round < kReachRounds; ++round) {
    double height = OffPlaneHeight(plane.M, plane.M + L, origin_limit);
    PushedCorners(plane, lines, L, height, corners);
    double reach = 0;
    for (int k = 0; k < 3; ++k) {
      for (int j = 0; j < 3; ++j) reach = std::max(reach, Length(Sub(corners[k], plane.P[j])));
    }
    reach += height;
    if (!std::isfinite(reach)) return false;
    if (reach <= L) return true;
    L = reach * kReachGrowth;
  }
  return false;
}

// The float box around the corners, grown by the off-plane height along the
// normal and by the rounding of the corners; false when it is not finite or
// too large to bound.
bool BoxOfCorners(const BoundPlane& plane, const double3 corners[3], double L, double origin_in_box, float lo[3],
                  float hi[3]) {
  double extent = plane.M + L;
  double height = OffPlaneHeight(plane.M, extent, origin_in_box);
  for (int i = 0; i < 3; ++i) {
    double low = std::min(Component(corners[0], i), std::min(Component(corners[1], i), Component(corners[2], i)));
    double high = std::max(Component(corners[0], i), std::max(Component(corners[1], i), Component(corners[2], i)));
    double grow = height * std::fabs(Component(plane.n, i)) + kDoubleRounding * extent + kLeastMargin;
    lo[i] = FloatBelow(low - grow);
    hi[i] = FloatAbove(high + grow);
    if (!std::isfinite(lo[i]) || !std::isfinite(hi[i])) return false;
    if (std::fabs(lo[i]) > kLargestBoundedCoordinate || std::fabs(hi[i]) > kLargestBoundedCoordinate) return false;
  }
  return true;
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
  CachedTriangle c = CacheTriangle(triangle);
  // A zero float normal makes m NaN: the plain test never accepts.
  if (c.N.x == 0 && c.N.y == 0 && c.N.z == 0) return 0;
  BoundPlane plane;
  if (!ReadCorners(triangle, plane) || !UnitNormal(c.N, plane.n)) return -1;
  EdgeLine lines[3];
  for (int e = 0; e < 3; ++e) {
    if (!MeasureEdge(c, e, plane, lines[e])) return -1;
    if (e == 0 && !PlaneBasis(lines[0], plane)) return -1;
    if (!ProjectEdge(plane, lines[e])) return -1;
  }
  if (!LinesCutOutATriangle(lines)) return -1;
  double3 corners[3];
  double L = 0;
  if (!EnlargedCorners(plane, lines, origin_limit, corners, L)) return -1;
  return BoxOfCorners(plane, corners, L, origin_in_box, lo, hi) ? 1 : -1;
}

int AcceptanceBounds(CV_triangle triangle, float lo[3], float hi[3]) {
  return TriangleBounds(triangle, kAcceptanceOriginLimit, kAcceptanceOriginLimit, lo, hi);
}
