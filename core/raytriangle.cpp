#include "core/raytriangle.h"

namespace {

vertex3f Minus(vertex3f a, vertex3f b) { return vertex3f{a.x - b.x, a.y - b.y, a.z - b.z}; }

vertex3f Cross(vertex3f p, vertex3f q) {
  return vertex3f{p.y * q.z - p.z * q.y, p.z * q.x - p.x * q.z, p.x * q.y - p.y * q.x};
}

float Dot(vertex3f p, vertex3f q) { return p.x * q.x + p.y * q.y + p.z * q.z; }

vertex3f Unit(vertex3f v) { return NormalizeVector(vector3f{{0, 0, 0}, v}).direction; }

bool StrictlyNearZero(float v) { return -kNearZero < v && v < kNearZero; }

// X lies on the inner side of the edge from a to b (with c the third corner),
// or on the edge's line within the absolute band. NaN fails both clauses.
bool PassesEdge(vertex3f a, vertex3f b, vertex3f c, vertex3f X) {
  vertex3f edge = Minus(b, a);
  vertex3f R = Cross(edge, Minus(c, a));
  vertex3f T = Cross(edge, Minus(X, a));
  float cosine = Dot(Unit(R), Unit(T));
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

  vertex3f N = Cross(Minus(P1, P0), Minus(P2, P0));
  vertex3f n_hat = Unit(N);
  vertex3f d_hat = Unit(d);
  float m = Dot(d_hat, n_hat);
  // A NaN m (degenerate triangle, zero direction) passes here and fails the edges.
  if (-kNearZero < m && m < kNearZero) return kRayMiss;

  float numerator = Dot(N, P0);
  numerator = numerator - N.x * O.x;
  numerator = numerator - N.y * O.y;
  numerator = numerator - N.z * O.z;
  float t_plane = numerator / Dot(N, d);
  vertex3f X{O.x + d.x * t_plane, O.y + d.y * t_plane, O.z + d.z * t_plane};

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
