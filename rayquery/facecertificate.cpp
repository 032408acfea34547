#include "rayquery/facecertificate.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "core/lanes.h"
#include "core/raytriangle.h"
#include "rayquery/bvhbounds.h"

namespace {

// CertifyFace's bounds (see SurelyHitsFace): the in-plane term must
// outweigh the off-plane ones kOffAxisShare times; a unit reference normal
// along an axis is within 2 ulp of length 1.
constexpr double kOffAxisShare = 256.0;
constexpr float kLeastUnitComponent = 1.0f - 0x1p-22f;

// True when v is zero (of either sign) off `axis`.
bool Along(vertex3f v, int axis) { return Component(v, (axis + 1) % 3) == 0 && Component(v, (axis + 2) % 3) == 0; }

// The triangle's edges all lie in a plane perpendicular to `axis`, and its
// normals and every unit reference normal are along it.
bool FaceAlong(const CachedTriangle& c, int axis) {
  if (!Along(c.N, axis) || !Along(c.n_hat, axis)) return false;
  for (int e = 0; e < 3; ++e) {
    if (!FiniteVertex(c.corner[e]) || !FiniteVertex(c.edge[e])) return false;
    if (Component(c.edge[e], axis) != 0) return false;
    if (!Along(c.R_hat[e], axis)) return false;
    if (!(std::fabs(Component(c.R_hat[e], axis)) >= kLeastUnitComponent)) return false;
  }
  return true;
}

}  // namespace

FaceCertificate CertifyFace(const CachedTriangle& c) {
  FaceCertificate f{};
  f.axis = -1;
  for (int axis = 0; axis < 3; ++axis) {
    if (!FaceAlong(c, axis)) continue;
    int j = (axis + 1) % 3;
    int k = (axis + 2) % 3;
    f.plane = Component(c.corner[0], axis);
    for (int e = 0; e < 3; ++e) {
      f.positive[e] = Component(c.R_hat[e], axis) > 0;
      f.corner_j[e] = Component(c.corner[e], j);
      f.corner_k[e] = Component(c.corner[e], k);
      f.edge_j[e] = f.positive[e] ? Component(c.edge[e], j) : -Component(c.edge[e], j);
      f.edge_k[e] = f.positive[e] ? Component(c.edge[e], k) : -Component(c.edge[e], k);
      double weight = kOffAxisShare * (std::fabs(double(f.edge_j[e])) + std::fabs(double(f.edge_k[e])));
      // Rounded up: a larger weight only asks more of the in-plane term.
      f.weight[e] = std::nextafter(float(weight), std::numeric_limits<float>::infinity());
      if (!std::isfinite(f.weight[e])) {
        FaceCertificate none{};
        none.axis = -1;
        return none;
      }
    }
    f.n_along = Component(c.n_hat, axis);
    f.N_along = Component(c.N, axis);
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
inline bool FacePlanePointOn(const CachedRay& ray, const FaceCertificate& f, FacePoint& p) {
  // |m| strictly between 0.0001 and 1.0001 is a facing of either kind; NaN fails.
  float m = Component(ray.d_hat, kAxis) * f.n_along;
  float facing = std::fabs(m);
  if (!(kNearZero < facing && facing < kUnitHigh)) return false;
  float numerator = f.N_dot_P0 - f.N_along * Component(ray.O, kAxis);
  float t_plane = numerator / (f.N_along * Component(ray.d, kAxis));
  if (!(t_plane > kNearZero)) return false;
  vertex3f X = PointAlong(ray.O, ray.d, t_plane);
  p.off = std::fabs(Component(X, kAxis) - f.plane);
  p.j = Component(X, (kAxis + 1) % 3);
  p.k = Component(X, (kAxis + 2) % 3);
  return true;
}

// The same on the face's axis, picked at run time; false for a face not certified.
inline bool FacePlanePoint(const CachedRay& ray, const FaceCertificate& f, FacePoint& p) {
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
inline bool FaceEdgesSurelyPass(const FaceCertificate& f, const FacePoint& p) {
  Lanes4f Dj = Sub(Broadcast4f(p.j), Load4f(f.corner_j));
  Lanes4f Dk = Sub(Broadcast4f(p.k), Load4f(f.corner_k));
  Lanes4f term = Sub(Mul(Load4f(f.edge_j), Dk), Mul(Load4f(f.edge_k), Dj));
  Lanes4f least = Mul(Load4f(f.weight), Broadcast4f(p.off));
  Lanes4f pass = And(GreaterMask(term, Zero4f()), LessMask(term, Broadcast4f(kFaceTermLimit)));
  pass = And(pass, GreaterEqualMask(term, least));
  return (MaskBits(pass) & 7) == 7;
}

// SurelyHitsFace's answer.
inline bool SurelyHitsCertified(const CachedRay& ray, const FaceCertificate& f) {
  FacePoint p;
  return FacePlanePoint(ray, f, p) && FaceEdgesSurelyPass(f, p);
}

// The same for either triangle of a pair with one plane stage, whose plane
// point is then the same bits for both. A ray through the face mostly meets
// one triangle or the other: trying both costs a second look at the edges alone.
template <int kAxis>
inline bool SurelyHitsOnePlane(const CachedRay& ray, const FacePair& pair) {
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
bool SurelyHitsFace(const CachedRay& ray, const FaceCertificate& f) { return SurelyHitsCertified(ray, f); }

FacePair PairFaces(const FaceCertificate& first, const FaceCertificate& second) {
  auto same = [](float p, float q) { return std::memcmp(&p, &q, sizeof p) == 0; };
  bool one_plane = first.axis >= 0 && first.axis == second.axis && same(first.plane, second.plane) &&
                   same(first.n_along, second.n_along) && same(first.N_along, second.N_along) &&
                   same(first.N_dot_P0, second.N_dot_P0);
  return FacePair{first, second, one_plane};
}

bool SurelyHitsFacePair(const CachedRay& ray, const FacePair& pair) {
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
