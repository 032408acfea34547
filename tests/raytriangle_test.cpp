#include "core/raytriangle.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

// Normal (0, 0, 1): the front face looks towards +z.
const CV_triangle kUnitTriangle{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};

// Values the reference arguments hold before the call, to see whether it wrote them.
constexpr float kSentinelT = 12345.0f;
constexpr vertex3f kSentinelHit{-7, -7, -7};

struct Row {
  const char* name;
  vertex3f origin;
  vertex3f direction;
  int result;
  float t;       // expected t; ignored for result 0 (t must stay the sentinel)
  vertex3f hit;  // expected hit; ignored for result 0
};

std::string Describe(const Row& row) {
  return std::string(row.name) + " (origin " + std::to_string(row.origin.x) + ", " + std::to_string(row.origin.y) +
         ", " + std::to_string(row.origin.z) + ")";
}

TEST(RayTriangle, ClassifiesRaysAgainstTheUnitTriangle) {
  const Row rows[] = {
      {"front face ahead", {0.25f, 0.25f, 1}, {0, 0, -1}, kRayFrontAhead, 1, {0.25f, 0.25f, 0}},
      {"t counts in direction lengths", {0.25f, 0.25f, 1}, {0, 0, -2}, kRayFrontAhead, 0.5f, {0.25f, 0.25f, 0}},
      {"back face ahead", {0.25f, 0.25f, -1}, {0, 0, 1}, kRayBackAhead, 1, {0.25f, 0.25f, 0}},
      {"front face behind", {0.25f, 0.25f, -1}, {0, 0, -1}, kRayFrontBehind, -1, {0.25f, 0.25f, 0}},
      {"back face behind", {0.25f, 0.25f, 1}, {0, 0, 1}, kRayBackBehind, -1, {0.25f, 0.25f, 0}},
      {"origin on the plane, front", {0.25f, 0.25f, 0}, {0, 0, -1}, kRayAtOrigin, 0, {0.25f, 0.25f, 0}},
      {"origin on the plane, back", {0.25f, 0.25f, 0}, {0, 0, 1}, kRayAtOrigin, 0, {0.25f, 0.25f, 0}},
      {"origin within the near band", {0.25f, 0.25f, 0.00005f}, {0, 0, -1}, kRayAtOrigin, 0.00005f, {0.25f, 0.25f, 0}},
      {"t exactly on the near bound",
       {0.25f, 0.25f, 0.0001f},
       {0, 0, -1},
       kRayUnclassified,
       0.0001f,
       {0.25f, 0.25f, 0}},
      {"slanted ray", {-0.75f, 0.25f, 2}, {1, 0, -2}, kRayFrontAhead, 1, {0.25f, 0.25f, 0}},
      {"plane point outside", {2, 2, 1}, {0, 0, -1}, kRayMiss, 0, {}},
      {"plane point on edge P1-P2", {0.5f, 0.5f, 1}, {0, 0, -1}, kRayFrontAhead, 1, {0.5f, 0.5f, 0}},
      {"plane point at corner P0", {0, 0, 1}, {0, 0, -1}, kRayFrontAhead, 1, {0, 0, 0}},
      {"plane point at corner P1", {1, 0, 1}, {0, 0, -1}, kRayFrontAhead, 1, {1, 0, 0}},
      {"plane point at corner P2", {0, 1, 1}, {0, 0, -1}, kRayFrontAhead, 1, {0, 1, 0}},
      {"just beyond P1, in both edge bands", {1.00005f, 0, 1}, {0, 0, -1}, kRayFrontAhead, 1, {1.00005f, 0, 0}},
      {"beyond P1, outside the bands", {1.001f, 0, 1}, {0, 0, -1}, kRayMiss, 0, {}},
      {"just outside edge P2-P0, in its band",
       {-0.00005f, 0.5f, 1},
       {0, 0, -1},
       kRayFrontAhead,
       1,
       {-0.00005f, 0.5f, 0}},
      {"outside edge P2-P0, beyond its band", {-0.001f, 0.5f, 1}, {0, 0, -1}, kRayMiss, 0, {}},
      {"outside edge P0-P1", {0.5f, -0.01f, 1}, {0, 0, -1}, kRayMiss, 0, {}},
      {"outside edge P1-P2", {0.51f, 0.51f, 1}, {0, 0, -1}, kRayMiss, 0, {}},
      {"parallel to the plane", {0, 0, 1}, {1, 0, 0}, kRayMiss, 0, {}},
      {"nearly parallel, plane point inside", {0.25f, 0.25f, -0.00001f}, {0, 1, 0.00005f}, kRayMiss, 0, {}},
      {"zero direction", {0.25f, 0.25f, 1}, {0, 0, 0}, kRayMiss, 0, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(Describe(row));
    float t = kSentinelT;
    vertex3f hit = kSentinelHit;
    int result = IntersectionRayTriangle(vector3f{row.origin, row.direction}, kUnitTriangle, t, hit);
    EXPECT_EQ(row.result, result);
    if (row.result == kRayMiss) {
      EXPECT_EQ(kSentinelT, t) << "t written on a miss";
      EXPECT_EQ(kSentinelHit.x, hit.x) << "hit written on a miss";
      EXPECT_EQ(kSentinelHit.y, hit.y);
      EXPECT_EQ(kSentinelHit.z, hit.z);
    } else {
      EXPECT_EQ(row.t, t);
      EXPECT_EQ(row.hit.x, hit.x);
      EXPECT_EQ(row.hit.y, hit.y);
      EXPECT_EQ(row.hit.z, hit.z);
    }
  }
}

TEST(RayTriangle, NearlyParallelRayIsRejectedAlthoughItsPlanePointIsInside) {
  // The plane point of this ray, (0.25, 0.45, 0), is inside: only the
  // parallel test turns it away.
  const vertex3f O{0.25f, 0.25f, -0.00001f};
  const vertex3f d{0, 1, 0.00005f};
  const float t_plane = -O.z / d.z;
  EXPECT_NEAR(0.45, O.y + t_plane * d.y, 1e-6);
  float t = kSentinelT;
  vertex3f hit = kSentinelHit;
  EXPECT_EQ(kRayMiss, IntersectionRayTriangle(vector3f{O, d}, kUnitTriangle, t, hit));
  EXPECT_EQ(kSentinelT, t);
  // The same plane point reached steeply is a hit.
  EXPECT_EQ(kRayBackAhead, IntersectionRayTriangle(vector3f{{0.25f, 0.45f, -1}, {0, 0, 1}}, kUnitTriangle, t, hit));
}

TEST(RayTriangle, DegenerateTriangleOrZeroDirectionNeverHits) {
  const CV_triangle degenerate[] = {
      {{0, 0, 0}, {1, 0, 0}, {1, 0, 0}},  // P2 = P1
      {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}},  // a point
      {{0, 0, 0}, {1, 1, 0}, {2, 2, 0}},  // collinear corners
  };
  int rays = 0;
  for (int i = 0; i < 9; i++) {
    for (int j = 0; j < 9; j++) {
      const vertex3f origin{-1 + 0.25f * i, -1 + 0.25f * j, (i + j) % 3 - 1.0f};
      const vertex3f directions[] = {{0, 0, -1}, {0, 0, 1}, {1, 0, 0}, {0.3f, -0.2f, -1}, {-1, -1, 0.5f}};
      for (vertex3f direction : directions) {
        for (const CV_triangle& triangle : degenerate) {
          float t = kSentinelT;
          vertex3f hit = kSentinelHit;
          EXPECT_EQ(kRayMiss, IntersectionRayTriangle(vector3f{origin, direction}, triangle, t, hit));
          EXPECT_EQ(kSentinelT, t);
        }
        float t = kSentinelT;
        vertex3f hit = kSentinelHit;
        EXPECT_EQ(kRayMiss, IntersectionRayTriangle(vector3f{origin, {0, 0, 0}}, kUnitTriangle, t, hit));
        EXPECT_EQ(kSentinelT, t);
        rays++;
      }
    }
  }
  EXPECT_EQ(405, rays);
}

TEST(RayTriangle, FrontFaceIsTheSideWhereCornersRunCounterClockwise) {
  // A tilted triangle away from the axes; points well inside it, approached
  // from either side along its normal and along slanted directions.
  const CV_triangle tri{{1, 2, 3}, {4, 2.5f, 2}, {2, 5, 4}};
  const vector3f N = TriNormale(tri);
  const float len = float(std::sqrt(double(ScalarMultiply(N, N))));
  const vertex3f n{N.direction.x / len, N.direction.y / len, N.direction.z / len};
  const float weights[][3] = {{1 / 3.0f, 1 / 3.0f, 1 / 3.0f}, {0.6f, 0.2f, 0.2f}, {0.1f, 0.45f, 0.45f}};
  const vertex3f tilts[] = {{0, 0, 0}, {0.2f, -0.1f, 0.05f}};
  for (const auto& w : weights) {
    const vertex3f p{w[0] * tri.a.x + w[1] * tri.b.x + w[2] * tri.c.x, w[0] * tri.a.y + w[1] * tri.b.y + w[2] * tri.c.y,
                     w[0] * tri.a.z + w[1] * tri.b.z + w[2] * tri.c.z};
    for (vertex3f tilt : tilts) {
      for (float side : {1.0f, -1.0f}) {
        // Start 2 units off the plane on `side`, aim at p with a direction of length about 0.5.
        const vertex3f offset{side * n.x + tilt.x, side * n.y + tilt.y, side * n.z + tilt.z};
        const vertex3f origin{p.x + 2 * offset.x, p.y + 2 * offset.y, p.z + 2 * offset.z};
        const vertex3f direction{-0.5f * offset.x, -0.5f * offset.y, -0.5f * offset.z};
        float t = kSentinelT;
        vertex3f hit = kSentinelHit;
        int result = IntersectionRayTriangle(vector3f{origin, direction}, tri, t, hit);
        SCOPED_TRACE("side " + std::to_string(side) + ", weight " + std::to_string(w[0]));
        EXPECT_EQ(side > 0 ? kRayFrontAhead : kRayBackAhead, result);
        EXPECT_NEAR(4.0, t, 1e-4);
        EXPECT_NEAR(p.x, hit.x, 1e-5);
        EXPECT_NEAR(p.y, hit.y, 1e-5);
        EXPECT_NEAR(p.z, hit.z, 1e-5);
      }
    }
  }
}

}  // namespace
