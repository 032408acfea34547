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

// |v| below kNearZero, strictly (NaN fails); shared with every faster variant of the test.
inline bool StrictlyNearZero(float v) { return -kNearZero < v && v < kNearZero; }

// The parameter of the ray's plane point for the normal N and N_dot_P0 = N . P0:
// the terms of N . O are taken off N . P0 one by one, then divided by N . d.
inline float PlaneParameter(vertex3f N, float N_dot_P0, vertex3f O, vertex3f d) {
  float numerator = N_dot_P0;
  numerator = numerator - N.x * O.x;
  numerator = numerator - N.y * O.y;
  numerator = numerator - N.z * O.z;
  return numerator / DotProduct(N, d);
}

// Classifies the ray against the triangle. t (in units of ray.direction) and
// hit are written only when the plane point lies inside (every result but 0).
int IntersectionRayTriangle(vector3f ray, CV_triangle triangle, float& t, vertex3f& hit);
