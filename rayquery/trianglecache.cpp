#include "rayquery/trianglecache.h"

#include <emmintrin.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "core/raytriangle.h"
#include "rayquery/bvhbounds.h"

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

// The quick face test's bounds (see SurelyHitsFace): the in-plane term must
// outweigh the off-plane ones kOffAxisShare times; below kFaceTermLimit the
// squares stay under kFiniteSquares; a unit reference normal along an axis
// is within 2 ulp of length 1.
constexpr double kOffAxisShare = 256.0;
constexpr float kFaceTermLimit = 1e14f;
constexpr float kLeastUnitComponent = 1.0f - 0x1p-22f;

float Coordinate(vertex3f v, int axis) { return axis == 0 ? v.x : axis == 1 ? v.y : v.z; }

// True when v is zero (of either sign) off `axis`.
bool Along(vertex3f v, int axis) { return Coordinate(v, (axis + 1) % 3) == 0 && Coordinate(v, (axis + 2) % 3) == 0; }

// The triangle's edges all lie in a plane perpendicular to `axis`, and its
// normals and every unit reference normal are along it.
bool FaceAlong(const CV_cached_triangle& c, int axis) {
  if (!Along(c.N, axis) || !Along(c.n_hat, axis)) return false;
  for (int e = 0; e < 3; ++e) {
    if (!FiniteVertex(c.corner[e]) || !FiniteVertex(c.edge[e])) return false;
    if (Coordinate(c.edge[e], axis) != 0) return false;
    if (!Along(c.R_hat[e], axis)) return false;
    if (!(std::fabs(Coordinate(c.R_hat[e], axis)) >= kLeastUnitComponent)) return false;
  }
  return true;
}

// What one edge's cross term T_i says (see the argument above
// SurelyHitsFace): with a = |T_i| below kFaceTermLimit and at least
// weight |D_i|, T_i on R_i's side passes the edge, and on the other side
// fails it once a >= 1e-4 (the band clause then fails and R_hat . T < 0).
// The weight carries R_i's sign, so the side is the sign of their product;
// a product that underflows to zero decides nothing.
enum FaceEdgeVerdict { kFaceEdgeFails, kFaceEdgePasses, kFaceEdgeUndecided };

inline FaceEdgeVerdict JudgeFaceEdge(float Ti, float off, float signed_weight) {
  float a = std::fabs(Ti);
  if (!(a < kFaceTermLimit && a >= std::fabs(signed_weight) * off)) return kFaceEdgeUndecided;
  float side = Ti * signed_weight;
  if (side > 0) return kFaceEdgePasses;
  return side < 0 && a >= kNearZero ? kFaceEdgeFails : kFaceEdgeUndecided;
}

// Edge e of a triangle whose edges CertifyFace accepted on axis kAxis,
// judged by its cross term and, when that is undecided, by PassesEdge; off
// is |D_i|. Only T's component on the axis is formed, with the plain test's
// operations: D_j and D_k of D = X - A, then E_j D_k - E_k D_j.
template <int kAxis>
inline bool FaceEdgePasses(const CV_cached_edges& c, int e, vertex3f X, float off) {
  constexpr int j = (kAxis + 1) % 3;
  constexpr int k = (kAxis + 2) % 3;
  float Dj = Coordinate(X, j) - Coordinate(c.corner[e], j);
  float Dk = Coordinate(X, k) - Coordinate(c.corner[e], k);
  float Ti = Coordinate(c.edge[e], j) * Dk - Coordinate(c.edge[e], k) * Dj;
  FaceEdgeVerdict v = JudgeFaceEdge(Ti, off, c.face_signed_weight[e]);
  return v == kFaceEdgePasses || (v == kFaceEdgeUndecided && PassesEdge(c, e, X));
}

template <int kAxis>
inline bool FaceEdgesPassOn(const CV_cached_edges& c, vertex3f X) {
  float off = std::fabs(Coordinate(X, kAxis) - Coordinate(c.corner[0], kAxis));
  return FaceEdgePasses<kAxis>(c, 0, X, off) && FaceEdgePasses<kAxis>(c, 1, X, off) &&
         FaceEdgePasses<kAxis>(c, 2, X, off);
}

// The edge clause of any triangle kept in two parts.
inline bool EdgesPass(const CV_cached_edges& c, vertex3f X) {
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

CV_cached_triangle CacheTriangle(CV_triangle triangle) {
  const vertex3f P[3] = {triangle.a, triangle.b, triangle.c};
  CV_cached_triangle c;
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
inline bool EdgesHit(const CV_cached_ray& ray, const Edges& c, float t_plane, float& t, vertex3f& hit) {
  vertex3f X = PointAlong(ray.O, ray.d, t_plane);
  if (!PassesEdge(c, 0, X) || !PassesEdge(c, 1, X) || !PassesEdge(c, 2, X)) return false;
  t = t_plane;
  hit = X;
  return true;
}

// The same for a triangle kept in two parts, whose edges may be judged the
// quick way.
inline bool EdgesHit(const CV_cached_ray& ray, const CV_cached_edges& c, float t_plane, float& t, vertex3f& hit) {
  vertex3f X = PointAlong(ray.O, ray.d, t_plane);
  if (!EdgesPass(c, X)) return false;
  t = t_plane;
  hit = X;
  return true;
}

}  // namespace

bool CachedHit(const CV_cached_ray& ray, const CV_cached_triangle& c, CachedHitKind kind, float limit, bool ties_win,
               float& t, vertex3f& hit) {
  float t_plane = 0;
  return PlaneHit(ray, c, kind, limit, ties_win, t_plane) && EdgesHit(ray, c, t_plane, t, hit);
}

bool CachedHit(const CV_cached_ray& ray, const CV_cached_plane& plane, const CV_cached_edges& edges, CachedHitKind kind,
               float limit, bool ties_win, float& t, vertex3f& hit) {
  float t_plane = 0;
  return PlaneHit(ray, plane, kind, limit, ties_win, t_plane) && EdgesHit(ray, edges, t_plane, t, hit);
}

bool CachedEdgesHit(const CV_cached_ray& ray, const CV_cached_edges& edges, float t_plane, float& t, vertex3f& hit) {
  return EdgesHit(ray, edges, t_plane, t, hit);
}

void SplitCachedTriangle(const CV_cached_triangle& c, int32_t triangle, CV_cached_plane& plane,
                         CV_cached_edges& edges) {
  plane = CV_cached_plane{c.n_hat, c.N, c.N_dot_P0, triangle};
  CV_face_certificate face = CertifyFace(c);
  edges.face_axis = int8_t(face.axis);
  for (int e = 0; e < 3; ++e) {
    edges.corner[e] = c.corner[e];
    edges.edge[e] = c.edge[e];
    edges.R_hat[e] = c.R_hat[e];
    edges.face_signed_weight[e] = face.positive[e] ? face.weight[e] : -face.weight[e];
  }
}

CV_face_certificate CertifyFace(const CV_cached_triangle& c) {
  CV_face_certificate f{};
  f.axis = -1;
  for (int axis = 0; axis < 3; ++axis) {
    if (!FaceAlong(c, axis)) continue;
    int j = (axis + 1) % 3;
    int k = (axis + 2) % 3;
    f.plane = Coordinate(c.corner[0], axis);
    for (int e = 0; e < 3; ++e) {
      f.positive[e] = Coordinate(c.R_hat[e], axis) > 0;
      f.corner_j[e] = Coordinate(c.corner[e], j);
      f.corner_k[e] = Coordinate(c.corner[e], k);
      f.edge_j[e] = f.positive[e] ? Coordinate(c.edge[e], j) : -Coordinate(c.edge[e], j);
      f.edge_k[e] = f.positive[e] ? Coordinate(c.edge[e], k) : -Coordinate(c.edge[e], k);
      double weight = kOffAxisShare * (std::fabs(double(f.edge_j[e])) + std::fabs(double(f.edge_k[e])));
      // Rounded up: a larger weight only asks more of the in-plane term.
      f.weight[e] = std::nextafter(float(weight), std::numeric_limits<float>::infinity());
      if (!std::isfinite(f.weight[e])) {
        CV_face_certificate none{};
        none.axis = -1;
        return none;
      }
    }
    f.n_along = Coordinate(c.n_hat, axis);
    f.N_along = Coordinate(c.N, axis);
    f.N_dot_P0 = c.N_dot_P0;
    f.axis = axis;
    return f;
  }
  return f;
}

namespace {

// The plane point of a ray against a certified face: its j and k
// coordinates and off = |X_i - c|; false when the plane stage fails.
struct FacePoint {
  float j;
  float k;
  float off;
};

template <int kAxis>
inline bool FacePlanePointOn(const CV_cached_ray& ray, const CV_face_certificate& f, FacePoint& p) {
  // |m| strictly between 0.0001 and 1.0001 is a facing of either kind; NaN fails.
  float m = Coordinate(ray.d_hat, kAxis) * f.n_along;
  float facing = std::fabs(m);
  if (!(kNearZero < facing && facing < kUnitHigh)) return false;
  float numerator = f.N_dot_P0 - f.N_along * Coordinate(ray.O, kAxis);
  float t_plane = numerator / (f.N_along * Coordinate(ray.d, kAxis));
  if (!(t_plane > kNearZero)) return false;
  vertex3f X = PointAlong(ray.O, ray.d, t_plane);
  p.off = std::fabs(Coordinate(X, kAxis) - f.plane);
  p.j = Coordinate(X, (kAxis + 1) % 3);
  p.k = Coordinate(X, (kAxis + 2) % 3);
  return true;
}

// The same on the face's axis, picked at run time; false for a face not certified.
inline bool FacePlanePoint(const CV_cached_ray& ray, const CV_face_certificate& f, FacePoint& p) {
  switch (f.axis) {
    case 0:
      return FacePlanePointOn<0>(ray, f, p);
    case 1:
      return FacePlanePointOn<1>(ray, f, p);
    case 2:
      return FacePlanePointOn<2>(ray, f, p);
    default:
      return false;
  }
}

// Every edge's term on R_hat's side, below kFaceTermLimit and at least
// weight |D_i|. The three edges take a lane each, with the very float
// operations of the single term.
inline bool FaceEdgesSurelyPass(const CV_face_certificate& f, const FacePoint& p) {
  __m128 Dj = _mm_sub_ps(_mm_set1_ps(p.j), _mm_load_ps(f.corner_j));
  __m128 Dk = _mm_sub_ps(_mm_set1_ps(p.k), _mm_load_ps(f.corner_k));
  __m128 term = _mm_sub_ps(_mm_mul_ps(_mm_load_ps(f.edge_j), Dk), _mm_mul_ps(_mm_load_ps(f.edge_k), Dj));
  __m128 least = _mm_mul_ps(_mm_load_ps(f.weight), _mm_set1_ps(p.off));
  __m128 pass = _mm_and_ps(_mm_cmpgt_ps(term, _mm_setzero_ps()), _mm_cmplt_ps(term, _mm_set1_ps(kFaceTermLimit)));
  pass = _mm_and_ps(pass, _mm_cmpge_ps(term, least));
  return (_mm_movemask_ps(pass) & 7) == 7;
}

// SurelyHitsFace's answer.
inline bool SurelyHitsCertified(const CV_cached_ray& ray, const CV_face_certificate& f) {
  FacePoint p;
  return FacePlanePoint(ray, f, p) && FaceEdgesSurelyPass(f, p);
}

// The same for either triangle of a pair with one plane stage, whose plane
// point is then the same bits for both. A ray through the face mostly meets
// one triangle or the other: trying both costs a second look at the edges alone.
template <int kAxis>
inline bool SurelyHitsOnePlane(const CV_cached_ray& ray, const CV_face_pair& pair) {
  FacePoint p;
  if (!FacePlanePointOn<kAxis>(ray, pair.first, p)) return false;
  return FaceEdgesSurelyPass(pair.first, p) || FaceEdgesSurelyPass(pair.second, p);
}

}  // namespace

// Why a certified face passes. Let i be the face's axis, j and k the next
// two in turn, c the corners' shared coordinate; every edge vector E has
// E_i = 0 and every R_hat is (R_i, 0, 0) in (i, j, k) with |R_i| >= 1 - 2^-22.
// The plain test's T = fl(E x fl(X - A)) then has T_i = fl(E_j D_k - E_k D_j)
// with D = fl(X - A), D_i = fl(X_i - c) for every edge, and off-plane
// components fl(E_k D_i) and -fl(E_j D_i) (the terms with E_i are zeros), so
// their magnitudes sum to b <= (|E_j| + |E_k|) |D_i| (1 + u) (u = 2^-24,
// plus underflow far below what matters). We ask, per edge, that T_i
// have R_i's sign and a = |T_i| >= fl(weight |D_i|) with weight >= 256
// (|E_j| + |E_k|), so b <= a / 255.9 (up to the same tiny underflow). If
// every |T| component is below 1e-4, the band clause passes. Otherwise
// a >= 1e-4 (b is smaller than a); the dot R_hat . T is fl(R_i T_i) (the
// other terms are zeros), positive; with a < 1e14, s = fl(T . T) is below
// 1e30 and at most a^2 (1 + 1.53e-5) (1 + 2e-7); a2 = fl((R_hat . T)^2) is
// at least a^2 (1 - 7e-7) > 0.99991 s, so PassesEdge takes its sure pass.
// With T_i on the other side and a >= 1e-4, the band clause fails, s is
// below 1e30 as before and R_hat . T = fl(R_i T_i) < 0: PassesEdge fails.
// Only T_i need be formed: the bound on the off-plane components holds
// whatever their values, and an undecided edge takes PassesEdge, which
// forms T in full.
// The certificate's edge vector is E's j and k negated when R_i < 0: rounding
// to nearest is symmetric, so fl(-E_j D_k - -E_k D_j) is exactly -T_i, and
// "T_i on R_i's side" becomes "the term is positive".
// The plane stage is taken on the axis alone. For a finite ray the zero
// components of n_hat and N make zero products, and adding or taking off a
// zero leaves a sum unchanged unless it is zero too: m, the numerator and
// the denominator are the plain stage's whenever they are not zero, and a
// zero m or numerator fails the stage either way, a zero denominator gives
// an infinite point at which no edge is judged to pass. (With no limit and
// ties winning, the stage asks only for a facing m and t above 0.0001.)
bool SurelyHitsFace(const CV_cached_ray& ray, const CV_cached_triangle&, const CV_face_certificate& f) {
  return SurelyHitsCertified(ray, f);
}

CV_face_pair PairFaces(const CV_face_certificate& first, const CV_face_certificate& second) {
  auto same = [](float p, float q) { return std::memcmp(&p, &q, sizeof p) == 0; };
  bool one_plane = first.axis >= 0 && first.axis == second.axis && same(first.plane, second.plane) &&
                   same(first.n_along, second.n_along) && same(first.N_along, second.N_along) &&
                   same(first.N_dot_P0, second.N_dot_P0);
  return CV_face_pair{first, second, one_plane};
}

bool SurelyHitsFacePair(const CV_cached_ray& ray, const CV_face_pair& pair) {
  if (!pair.one_plane) return SurelyHitsCertified(ray, pair.first) || SurelyHitsCertified(ray, pair.second);
  switch (pair.first.axis) {
    case 0:
      return SurelyHitsOnePlane<0>(ray, pair);
    case 1:
      return SurelyHitsOnePlane<1>(ray, pair);
    default:
      return SurelyHitsOnePlane<2>(ray, pair);
  }
}
