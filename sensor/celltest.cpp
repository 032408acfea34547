#include "sensor/celltest.h"

#include <cmath>

#include "core/raytriangle.h"

namespace {

// A cosine computed by the plain test from two float vectors lies within
// 1e-6 of the exact cosine of those vectors (each unit vector carries a few
// ulp, the dot a few more). Squared products formed in double carry 1e-15.
// So an exact cosine beyond these bounds decides the float comparison with
// the tolerance it straddles; between them the plain computation decides.
constexpr double kFacingSure = 1.02e-4;   // |m| above: m < -0.0001 holds
constexpr double kFacingNever = 0.98e-4;  // |m| below: m < -0.0001 fails
constexpr double kEdgeSure = 0.99995;     // cosine above: 0.9999 < cos holds
constexpr double kEdgeNever = 0.99985;    // cosine below: 0.9999 < cos fails

// -1.0001 < m < -0.0001 for m = d_hat . n_hat. |m| never reaches 1.0001
// for two finite unit vectors, so only the upper bound can fail.
bool FacesFront(vertex3f d, vertex3f N) {
  double dn = Dot(ToDouble3(d), ToDouble3(N));
  double squares = Dot(ToDouble3(d), ToDouble3(d)) * Dot(ToDouble3(N), ToDouble3(N));
  if (std::isfinite(squares) && std::isfinite(dn) && squares > 0) {
    if (dn >= 0) return false;
    if (dn * dn > kFacingSure * kFacingSure * squares) return true;
    if (dn * dn < kFacingNever * kFacingNever * squares) return false;
  }
  float m = DotProduct(UnitDirection(d), UnitDirection(N));
  return -kUnitHigh < m && m < -kNearZero;
}

// The plain test's edge clause for the edge from A to B, with C the third
// corner: the band first, then the cosine of R and T from their squares.
bool PassesEdge(vertex3f A, vertex3f B, vertex3f C, vertex3f X) {
  vertex3f edge = PointDifference(B, A);
  vertex3f T = CrossProduct(edge, PointDifference(X, A));
  if (StrictlyNearZero(T.x) && StrictlyNearZero(T.y) && StrictlyNearZero(T.z)) return true;
  vertex3f R = CrossProduct(edge, PointDifference(C, A));
  double against = Dot(ToDouble3(R), ToDouble3(T));
  double squares = Dot(ToDouble3(R), ToDouble3(R)) * Dot(ToDouble3(T), ToDouble3(T));
  if (std::isfinite(squares) && std::isfinite(against)) {
    // Also a zero R (then the plain cosine is NaN and fails).
    if (against <= 0) return false;
    if (against * against > kEdgeSure * kEdgeSure * squares) return true;
    if (against * against < kEdgeNever * kEdgeNever * squares) return false;
  }
  float cosine = DotProduct(UnitDirection(R), UnitDirection(T));
  return kUnitLow < cosine && cosine < kUnitHigh;
}

}  // namespace

bool FrontAheadWithoutRoots(vector3f line, vertex3f P0, vertex3f P1, vertex3f P2) {
  const vertex3f& O = line.origin;
  const vertex3f& d = line.direction;
  vertex3f N = CrossProduct(PointDifference(P1, P0), PointDifference(P2, P0));
  // Result 1 needs the front face and t > 0.0001 as well as the edges; the
  // plain test's order does not matter when only that result counts.
  if (!FacesFront(d, N)) return false;
  float t = PlaneParameter(N, DotProduct(N, P0), O, d);
  if (!(t > kNearZero)) return false;
  vertex3f X = PointAlong(O, d, t);
  return PassesEdge(P0, P1, P2, X) && PassesEdge(P1, P2, P0, X) && PassesEdge(P2, P0, P1, X);
}

bool FrontAheadOnEdges(vector3f line, vertex3f P0, vertex3f P1, vertex3f P2, unsigned edges) {
  const vertex3f& O = line.origin;
  const vertex3f& d = line.direction;
  vertex3f N = CrossProduct(PointDifference(P1, P0), PointDifference(P2, P0));
  float t = PlaneParameter(N, DotProduct(N, P0), O, d);
  if (!(t > kNearZero)) return false;
  vertex3f X = PointAlong(O, d, t);
  return (!(edges & 1u) || PassesEdge(P0, P1, P2, X)) && (!(edges & 2u) || PassesEdge(P1, P2, P0, X)) &&
         (!(edges & 4u) || PassesEdge(P2, P0, P1, X));
}

bool CellHitByLineWithoutRoots(vector3f line, const CVSensorCell& cell) {
  return FrontAheadWithoutRoots(line, cell.dl, cell.ul, cell.ur) ||
         FrontAheadWithoutRoots(line, cell.dl, cell.ur, cell.dr);
}
