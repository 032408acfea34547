#include "core/raytriangle.h"

namespace {

// X lies on the inner side of the edge from a to b (with c the third corner),
// or on the edge's line within the absolute band. NaN fails both clauses.
bool PassesEdge(vertex3f a, vertex3f b, vertex3f c, vertex3f X) {
  vertex3f edge = PointDifference(b, a);
  vertex3f R = CrossProduct(edge, PointDifference(c, a));
  vertex3f T = CrossProduct(edge, PointDifference(X, a));
  float cosine = DotProduct(UnitDirection(R), UnitDirection(T));
  if (kUnitLow < cosine && cosine < kUnitHigh) return true;
  return StrictlyNearZero(T.x) && StrictlyNearZero(T.y) && StrictlyNearZero(T.z);
}

}  // namespace

int IntersectionRayTriangle(vector3f ray, CV_triangle triangle, float& t, vertex3f& hit) {
  const vertex3f& O = ray.origin;
  const vertex3f& d = ray.direction;
  const vertex3f& P0 = triangle.a;
  const vertex3f& P1 = triangle.b;
  const vertex3f& P2 = triangle.c;

  vertex3f N = CrossProduct(PointDifference(P1, P0), PointDifference(P2, P0));
  vertex3f n_hat = UnitDirection(N);
  vertex3f d_hat = UnitDirection(d);
  float m = DotProduct(d_hat, n_hat);
  // A NaN m (degenerate triangle, zero direction) passes here and fails the edges.
  if (-kNearZero < m && m < kNearZero) return kRayMiss;

  float t_plane = PlaneParameter(N, DotProduct(N, P0), O, d);
  vertex3f X = PointAlong(O, d, t_plane);

  if (!PassesEdge(P0, P1, P2, X)) return kRayMiss;
  if (!PassesEdge(P1, P2, P0, X)) return kRayMiss;
  if (!PassesEdge(P2, P0, P1, X)) return kRayMiss;

  hit = X;
  t = t_plane;

  if (StrictlyNearZero(t_plane)) return kRayAtOrigin;
  if (kNearZero < m && m < kUnitHigh) {
    if (t_plane > kNearZero) return kRayBackAhead;
    if (t_plane < -kNearZero) return kRayBackBehind;
  }
  if (-kUnitHigh < m && m < -kNearZero) {
    if (t_plane > kNearZero) return kRayFrontAhead;
    if (t_plane < -kNearZero) return kRayFrontBehind;
  }
  return kRayUnclassified;
}
