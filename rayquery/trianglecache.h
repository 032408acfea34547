// The ray-triangle test with everything that depends on the triangle alone
// (or on the ray alone) computed once. It performs the very float operations
// of the plain test, in the same order on the same operands, so its t and hit
// point carry the same bits.
#pragma once

#include <cstdint>

#include "core/raytriangle.h"
#include "core/vecmath.h"

// What the plain test recomputes on every call and what gives the same floats
// when computed once: the normal N, its unit form, N . P0, and per edge the
// start corner, the edge vector B - A and the unit reference normal.
struct CachedTriangle {
  vertex3f N;
  vertex3f n_hat;
  float N_dot_P0;
  vertex3f corner[3];  // A of the edges (P0, P1, P2), (P1, P2, P0), (P2, P0, P1)
  vertex3f edge[3];    // B - A
  vertex3f R_hat[3];   // unit (B - A) x (C - A)
};

// A query ray with its unit direction, formed once.
struct CachedRay {
  vertex3f O;
  vertex3f d;
  vertex3f d_hat;
};

CachedTriangle CacheTriangle(CV_triangle triangle);
// Inline: it runs once per query, before anything else.
inline CachedRay CacheRay(vector3f ray) { return CachedRay{ray.origin, ray.direction, UnitDirection(ray.direction)}; }

// Which results of the plain test count as a hit.
enum CachedHitKind {
  kFrontAheadOnly,  // result 1: a scene triangle
  kEitherAhead      // result 1 or 2: a box triangle
};

// The plane stage of the test: the facing and the plane parameter, which
// must pass the limit; `Plane` holds n_hat, N and N_dot_P0. Inline: it
// rules out most triangles a hierarchy offers, before any call.
template <typename Plane>
inline bool PlaneHit(const CachedRay& ray, const Plane& c, CachedHitKind kind, float limit, bool ties_win,
                     float& t_plane) {
  // Result 1 needs -1.0001 < m < -0.0001, result 2 needs 0.0001 < m < 1.0001;
  // a NaN m fails both, as it fails the edges of the plain test.
  float m = DotProduct(ray.d_hat, c.n_hat);
  bool front = -kUnitHigh < m && m < -kNearZero;
  bool back = kNearZero < m && m < kUnitHigh;
  if (!(front || (kind == kEitherAhead && back))) return false;

  t_plane = PlaneParameter(c.N, c.N_dot_P0, ray.O, ray.d);
  // Both accepted results need t > 0.0001 (which also rules out result 5).
  if (!(t_plane > kNearZero)) return false;
  return !(t_plane > limit || (t_plane == limit && !ties_win));
}

// True exactly when IntersectionRayTriangle gives a result of the kind asked
// for AND its t passes the limit (t < limit, or t == limit when ties_win);
// then t and hit are written with the plain test's values. A triangle whose t
// fails the limit is rejected before its edges are looked at.
bool CachedHit(const CachedRay& ray, const CachedTriangle& triangle, CachedHitKind kind, float limit, bool ties_win,
               float& t, vertex3f& hit);

// A cached triangle in two parts, for arrays that are read mostly by the
// plane stage: the 32 bytes it reads (with the triangle's index), and the
// edges read only when the plane point is worth testing.
struct CachedPlane {
  vertex3f n_hat;
  vertex3f N;
  float N_dot_P0;
  int32_t triangle;
};

struct CachedEdges {
  vertex3f corner[3];
  vertex3f edge[3];
  vertex3f R_hat[3];
  // For a triangle CertifyFace accepts (see rayquery/facecertificate.h): its axis,
  // -1 otherwise, and the edges' weights, negated where R_hat points to
  // -axis. Its edges are then mostly judged by one cross term each.
  int8_t face_axis;
  float face_signed_weight[3];
};

void SplitCachedTriangle(const CachedTriangle& cached, int32_t triangle, CachedPlane& plane, CachedEdges& edges);

// CachedHit on a triangle kept in two parts: the same answer, bit for bit.
bool CachedHit(const CachedRay& ray, const CachedPlane& plane, const CachedEdges& edges, CachedHitKind kind,
               float limit, bool ties_win, float& t, vertex3f& hit);

// The edge stage of that CachedHit at a plane parameter its plane stage
// passed: true when every edge passes. Its t is then t_plane and its hit
// PlanePoint(ray, t_plane), which the caller forms once it keeps the hit.
bool CachedEdgesPass(const CachedRay& ray, const CachedEdges& edges, float t_plane);

// The point at plane parameter t, as the edge stage forms it.
inline vertex3f PlanePoint(const CachedRay& ray, float t) { return PointAlong(ray.O, ray.d, t); }
