#include "rayquery/trianglecache.h"

#include <cmath>

#include "core/raytriangle.h"
#include "rayquery/facecertificate.h"

namespace {

// The bounds of the square-free shortcut of PassesEdge (see there): below
// kFiniteSquares, T and R_hat . T are finite; a^2 above kSurePassShare of s
// means a cosine above 0.99995, below kSureFailShare one below 0.99986.
constexpr float kFiniteSquares = 1e30f;
constexpr float kSurePassShare = 0.99991f;
constexpr float kSureFailShare = 0.9997f;

// The plain test's edge clause, with exits that cannot change its outcome.
// The band clause is tried first: it alone lets the edge pass. When it fails,
// some |T| component is at least 0.0001, so s = T . T (the very s the unit
// vector divides by the root of) neither underflows nor is tiny. When s is
// also below 1e30, T and a = R_hat . T are finite, and
//  - a <= 0: the true cosine is at most a few ulp above zero (the dot's
//    rounding is below 4e-7 |T|), so the computed one cannot exceed 0.9999;
//  - otherwise a^2 / s estimates the squared cosine within 1e-6, the
//    computed cosine is within 5e-7 of the true one and never reaches 1.0001
//    (|R_hat|, |unit T| and the dot are each within a few ulp of 1), so
//    a^2 > 0.99991 s (cosine above 0.99995) passes and a^2 < 0.9997 s
//    (cosine below 0.99986) fails, as the full computation would.
// Only the thin shell between them, and non-finite T, take the square root.
template <typename Edges>
inline bool PassesEdge(const Edges& c, int e, vertex3f X) {
  vertex3f T = CrossProduct(c.edge[e], PointDifference(X, c.corner[e]));
  if (StrictlyNearZero(T.x) && StrictlyNearZero(T.y) && StrictlyNearZero(T.z)) return true;
  float against = DotProduct(c.R_hat[e], T);
  float s = DotProduct(T, T);
  if (s < kFiniteSquares) {
    if (against <= 0) return false;
    float a2 = against * against;
    if (a2 > kSurePassShare * s) return true;
    if (a2 < kSureFailShare * s) return false;
  }
  float cosine = DotProduct(c.R_hat[e], UnitDirection(T));
  return kUnitLow < cosine && cosine < kUnitHigh;
}

// Edge e of a triangle whose edges CertifyFace accepted on axis kAxis,
// judged by its cross term and, when that is undecided, by PassesEdge; off
// is |D_i|. Only T's component on the axis is formed, with the plain test's
// operations: D_j and D_k of D = X - A, then E_j D_k - E_k D_j.
template <int kAxis>
inline bool FaceEdgePasses(const CachedEdges& c, int e, vertex3f X, float off) {
  constexpr int j = (kAxis + 1) % 3;
  constexpr int k = (kAxis + 2) % 3;
  float Dj = Component(X, j) - Component(c.corner[e], j);
  float Dk = Component(X, k) - Component(c.corner[e], k);
  float Ti = Component(c.edge[e], j) * Dk - Component(c.edge[e], k) * Dj;
  FaceEdgeVerdict v = JudgeFaceEdge(Ti, off, c.face_signed_weight[e]);
  return v == kFaceEdgePasses || (v == kFaceEdgeUndecided && PassesEdge(c, e, X));
}

template <int kAxis>
inline bool FaceEdgesPassOn(const CachedEdges& c, vertex3f X) {
  float off = std::fabs(Component(X, kAxis) - Component(c.corner[0], kAxis));
  return FaceEdgePasses<kAxis>(c, 0, X, off) && FaceEdgePasses<kAxis>(c, 1, X, off) &&
         FaceEdgePasses<kAxis>(c, 2, X, off);
}

// The edge clause of any triangle kept in two parts.
inline bool EdgesPass(const CachedEdges& c, vertex3f X) {
  switch (c.face_axis) {
    case 0:
      return FaceEdgesPassOn<0>(c, X);
    case 1:
      return FaceEdgesPassOn<1>(c, X);
    case 2:
      return FaceEdgesPassOn<2>(c, X);
    default:
      return PassesEdge(c, 0, X) && PassesEdge(c, 1, X) && PassesEdge(c, 2, X);
  }
}

}  // namespace

CachedTriangle CacheTriangle(CV_triangle triangle) {
  const vertex3f P[3] = {triangle.a, triangle.b, triangle.c};
  CachedTriangle c;
  c.N = CrossProduct(PointDifference(P[1], P[0]), PointDifference(P[2], P[0]));
  c.n_hat = UnitDirection(c.N);
  c.N_dot_P0 = DotProduct(c.N, P[0]);
  for (int e = 0; e < 3; ++e) {
    vertex3f A = P[e];
    vertex3f B = P[(e + 1) % 3];
    vertex3f C = P[(e + 2) % 3];
    c.corner[e] = A;
    c.edge[e] = PointDifference(B, A);
    c.R_hat[e] = UnitDirection(CrossProduct(c.edge[e], PointDifference(C, A)));
  }
  return c;
}

namespace {

// The edge stage at the plane point; `Edges` holds corner, edge and R_hat.
template <typename Edges>
inline bool EdgesHit(const CachedRay& ray, const Edges& c, float t_plane, float& t, vertex3f& hit) {
  vertex3f X = PlanePoint(ray, t_plane);
  if (!PassesEdge(c, 0, X) || !PassesEdge(c, 1, X) || !PassesEdge(c, 2, X)) return false;
  t = t_plane;
  hit = X;
  return true;
}

// The same for a triangle kept in two parts, whose edges may be judged the
// quick way.
inline bool EdgesHit(const CachedRay& ray, const CachedEdges& c, float t_plane, float& t, vertex3f& hit) {
  vertex3f X = PlanePoint(ray, t_plane);
  if (!EdgesPass(c, X)) return false;
  t = t_plane;
  hit = X;
  return true;
}

}  // namespace

bool CachedHit(const CachedRay& ray, const CachedTriangle& c, CachedHitKind kind, float limit, bool ties_win, float& t,
               vertex3f& hit) {
  float t_plane = 0;
  return PlaneHit(ray, c, kind, limit, ties_win, t_plane) && EdgesHit(ray, c, t_plane, t, hit);
}

bool CachedHit(const CachedRay& ray, const CachedPlane& plane, const CachedEdges& edges, CachedHitKind kind,
               float limit, bool ties_win, float& t, vertex3f& hit) {
  float t_plane = 0;
  return PlaneHit(ray, plane, kind, limit, ties_win, t_plane) && EdgesHit(ray, edges, t_plane, t, hit);
}

bool CachedEdgesPass(const CachedRay& ray, const CachedEdges& edges, float t_plane) {
  return EdgesPass(edges, PlanePoint(ray, t_plane));
}

void SplitCachedTriangle(const CachedTriangle& c, int32_t triangle, CachedPlane& plane, CachedEdges& edges) {
  plane = CachedPlane{c.n_hat, c.N, c.N_dot_P0, triangle};
  FaceCertificate face = CertifyFace(c);
  edges.face_axis = int8_t(face.axis);
  for (int e = 0; e < 3; ++e) {
    edges.corner[e] = c.corner[e];
    edges.edge[e] = c.edge[e];
    edges.R_hat[e] = c.R_hat[e];
    edges.face_signed_weight[e] = face.positive[e] ? face.weight[e] : -face.weight[e];
  }
}
