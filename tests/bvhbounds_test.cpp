// The acceptance bounds hold every point the plain test accepts.
#include "rayquery/bvhbounds.h"

#include <gtest/gtest.h>

#include <cmath>

#include "core/raytriangle.h"
#include "tests/random_meshes.h"

namespace {

TEST(AcceptanceBounds, HoldEveryPointThePlainTestAccepts) {
  Random random(11);
  int inside = 0;
  for (int n = 0; n < 300000; ++n) {
    CV_triangle t;
    int shape = random.Below(4);
    if (shape == 0) t = Soup(-100, 100, 1, random)[0];
    if (shape == 1) t = Slivers(random.Point(-1, 1), 1, random)[0];
    if (shape == 2) t = Tiny(random.Point(-1, 1), 1, random)[0];
    if (shape == 3) {
      // In a plane z = const: the box is as thin as the rounding of the hit point allows.
      t = Soup(-2, 2, 1, random)[0];
      t.b.z = t.a.z;
      t.c.z = t.a.z;
    }
    float lo[3];
    float hi[3];
    int kind = AcceptanceBounds(t, lo, hi);
    // Grazing rays and rays aimed just outside the edges probe the bands.
    vertex3f target = PointOnEdge(t, random);
    vertex3f push = random.Direction();
    float reach = std::pow(10.0f, random.Uniform(-7, -2));
    target = vertex3f{target.x + push.x * reach, target.y + push.y * reach, target.z + push.z * reach};
    vector3f ray = VectorizeVertices(random.Point(-3, 3), target);
    float t_plain = 0;
    vertex3f X{0, 0, 0};
    int result = IntersectionRayTriangle(ray, t, t_plain, X);
    if (result == kRayMiss) continue;
    ASSERT_NE(kind, 0) << "a triangle said never to accept accepted ray " << n;
    if (kind < 0) continue;
    ++inside;
    ASSERT_TRUE(lo[0] <= X.x && X.x <= hi[0] && lo[1] <= X.y && X.y <= hi[1] && lo[2] <= X.z && X.z <= hi[2])
        << "ray " << n;
  }
  EXPECT_GT(inside, 1000);
}

TEST(AcceptanceBounds, LeaveDegenerateTrianglesOutAndGiveNoBoxForNonFiniteOnes) {
  float lo[3];
  float hi[3];
  EXPECT_EQ(AcceptanceBounds(CV_triangle{{0, 0, 0}, {1, 1, 1}, {2, 2, 2}}, lo, hi), 0);
  EXPECT_EQ(AcceptanceBounds(CV_triangle{{1, 2, 3}, {1, 2, 3}, {0, 1, 0}}, lo, hi), 0);
  EXPECT_EQ(AcceptanceBounds(CV_triangle{{0, 0, 0}, {INFINITY, 0, 0}, {0, 1, 0}}, lo, hi), -1);
  EXPECT_EQ(AcceptanceBounds(CV_triangle{{0, 0, 0}, {NAN, 0, 0}, {0, 1, 0}}, lo, hi), -1);
  EXPECT_EQ(AcceptanceBounds(CV_triangle{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, lo, hi), 1);
}

// A needle whose short edge has a wide tolerance band is still boxed tightly
// across its length: the band pushes the short edge's line out along the
// needle, not sideways.
TEST(AcceptanceBounds, StayNarrowAcrossANeedleWithAWideBand) {
  // Long along x, 0.002 wide along z, in the plane y = 0 (the band of the
  // short edge is about 0.087 wide).
  CV_triangle needle{{0, 0, 0}, {0.3f, 0, 0.001f}, {0.3f, 0, -0.001f}};
  float lo[3];
  float hi[3];
  ASSERT_EQ(AcceptanceBounds(needle, lo, hi), 1);
  EXPECT_LT(hi[0] - lo[0], 0.9f);
  EXPECT_LT(hi[2] - lo[2], 0.02f);
  EXPECT_LT(hi[1] - lo[1], 0.01f);
}

}  // namespace
