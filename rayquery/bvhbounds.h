// Acceptance bounds: boxes that hold every point the ray-triangle test can
// accept for a triangle, with the rounding argument that makes them safe to
// skip by.
#pragma once

#include <cmath>

#include "core/vecmath.h"

// Coordinates beyond this are left to the plain scan: the margins of the
// bounds stay far from overflow for everything smaller.
constexpr double kLargestBoundedCoordinate = 1e15;
// A plane point lies off the triangle's float plane by up to this much per
// unit of the ray origin's largest coordinate (see TriangleBounds).
constexpr double kOffPlaneOrigin = 4e-6;
// An absolute floor under the relative margins, for values near zero; the
// float margins of the bounds' slab test add it rounded to float.
constexpr double kLeastMargin = 1e-30;
// Rays whose direction is shorter than this are left to the plain scan: with
// |N| >= kSmallestNormal the denominator N . d stays far above the smallest
// normal float, so its rounding is relative.
constexpr float kShortestDirection = 1e-12f;
constexpr double kSmallestNormal = 1e-12;

inline bool FiniteVertex(vertex3f v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// The box of every point the triangle test can accept for the triangle from
// rays whose origin coordinates are at most origin_limit in magnitude, as lo
// and hi; the part of the off-plane height that grows with the origin is in
// the box only up to origin_in_box (the rest is added at query time). Returns
// 1 with the box, 0 when the triangle never gives result 1 or 2 (zero float
// normal), -1 when no safe box is known.
int TriangleBounds(CV_triangle triangle, double origin_limit, double origin_in_box, float lo[3], float hi[3]);

// TriangleBounds for rays whose origin coordinates are at most 1000 in
// magnitude, with all of the off-plane height in the box.
int AcceptanceBounds(CV_triangle triangle, float lo[3], float hi[3]);
