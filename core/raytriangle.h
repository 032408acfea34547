// Ray against one triangle: where, how far along the ray, and from which side.
#pragma once

#include "core/vecmath.h"

// Absolute tolerances of the test. All comparisons with them are strict and
// made in single precision.
constexpr float kNearZero = 0.0001f;
constexpr float kUnitLow = 0.9999f;
constexpr float kUnitHigh = 1.0001f;

enum RayTriangleResult : int {
  kRayMiss = 0,          // parallel, degenerate, or the plane point lies outside
  kRayFrontAhead = 1,    // against the normal, t > 0.0001
  kRayBackAhead = 2,     // along the normal, t > 0.0001
  kRayFrontBehind = 3,   // against the normal, t < -0.0001
  kRayBackBehind = 4,    // along the normal, t < -0.0001
  kRayAtOrigin = 5,      // |t| < 0.0001, either face
  kRayUnclassified = -1  // inside, but t or the cosine lies on a bound, or |cosine| >= 1.0001
};

// Building blocks of the test, shared with every faster variant of it so that
// all of them make the same float operations in the same order.
inline vertex3f PointDifference(vertex3f a, vertex3f b) { return vertex3f{a.x - b.x, a.y - b.y, a.z - b.z}; }

inline vertex3f CrossProduct(vertex3f p, vertex3f q) {
  return vertex3f{p.y * q.z - p.z * q.y, p.z * q.x - p.x * q.z, p.x * q.y - p.y * q.x};
}

inline float DotProduct(vertex3f p, vertex3f q) { return p.x * q.x + p.y * q.y + p.z * q.z; }

inline vertex3f UnitDirection(vertex3f v) { return NormalizeVector(vector3f{{0, 0, 0}, v}).direction; }

inline bool StrictlyNearZero(float v) { return -kNearZero < v && v < kNearZero; }

// Classifies the ray against the triangle. t (in units of ray.direction) and
// hit are written only when the plane point lies inside (every result but 0).
int IntersectionRayTriangle(vector3f ray, CV_triangle triangle, float& t, vertex3f& hit);
