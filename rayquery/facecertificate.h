// The face certificate: a proof, made once per triangle, that lets a ray's
// hit on a triangle lying in a box face (across an axis) be vouched for
// from one cross term per edge instead of the full edge test.
#pragma once

#include <cmath>

#include "core/raytriangle.h"
#include "core/vecmath.h"
#include "rayquery/trianglecache.h"

// Below this the squares the full edge test forms stay finite (see
// PassesEdge in trianglecache.cpp).
constexpr float kFaceTermLimit = 1e14f;

// What one edge's cross term T_i says (see the argument above
// SurelyHitsFace in facecertificate.cpp): with a = |T_i| below kFaceTermLimit and at least
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

// What the quick test of a box face needs: a triangle whose corners share
// their coordinate `plane` on `axis` (-1: the triangle is not such a face,
// or its normals or unit reference normals are not along the axis). Per
// edge, one lane each (the fourth lane is unused), with j and k the axes
// after `axis` in turn: the start corner's j and k coordinates, the edge
// vector's negated when R_hat points to -axis (so that a term on R_hat's
// side is positive), and the weight that the in-plane cross term must
// exceed (see SurelyHitsFace).
struct FaceCertificate {
  int axis;
  float plane;
  // The plane record's only non-zero components, n_hat and N along the
  // axis, and N_dot_P0.
  float n_along;
  float N_along;
  float N_dot_P0;
  bool positive[3];  // R_hat of the edge points to +axis
  alignas(16) float corner_j[4];
  alignas(16) float corner_k[4];
  alignas(16) float edge_j[4];
  alignas(16) float edge_k[4];
  alignas(16) float weight[4];
};

FaceCertificate CertifyFace(const CachedTriangle& triangle);

// True only when CachedHit(ray, triangle, kEitherAhead, infinity, true, ...)
// is true for the finite ray, face being CertifyFace(triangle): the
// certificate holds all of the triangle that the answer needs. False when the
// face is not certified or the plane point lies too near an edge to be sure,
// which decides nothing.
bool SurelyHitsFace(const CachedRay& ray, const FaceCertificate& face);

// The two box triangles a ray leaving through one face tries first. When
// both are certified on one axis with the very same plane stage (plane,
// n_along, N_along and N_dot_P0, bit for bit), one plane point serves both.
struct FacePair {
  FaceCertificate first;
  FaceCertificate second;
  bool one_plane;
};

FacePair PairFaces(const FaceCertificate& first, const FaceCertificate& second);

// True only when SurelyHitsFace is true for the pair's first or second
// triangle; false decides nothing.
bool SurelyHitsFacePair(const CachedRay& ray, const FacePair& pair);
