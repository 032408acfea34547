// The cached triangle test against the plain ray-triangle test, bit for bit.
#include "rayquery/trianglecache.h"

#include <gtest/gtest.h>

#include <cmath>

#include "core/raytriangle.h"
#include "tests/random_meshes.h"
#include "tests/support.h"

namespace {

// A third of the triangles are laid into a plane across an axis, whose
// edges the split form judges by one cross term each.
TEST(CachedTriangle, GivesThePlainTestsAcceptedResultsWithTheSameBits) {
  Random random(7);
  int certified = 0;
  for (int n = 0; n < 300000; ++n) {
    CV_triangle t;
    int shape = random.Below(4);
    if (shape == 0) t = Soup(-2, 2, 1, random)[0];
    if (shape == 1) t = Slivers(random.Point(-1, 1), 1, random)[0];
    if (shape == 2) t = Tiny(random.Point(-1, 1), 1, random)[0];
    if (shape == 3) t = CV_triangle{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    int flat_axis = random.Below(9);
    if (flat_axis == 0) t.b.x = t.c.x = t.a.x;
    if (flat_axis == 1) t.b.y = t.c.y = t.a.y;
    if (flat_axis == 2) t.b.z = t.c.z = t.a.z;
    vertex3f target = random.Below(2) ? PointOnEdge(t, random) : PointOn(t, random);
    vector3f ray = VectorizeVertices(random.Point(-3, 3), target);
    if (random.Below(8) == 0) ray.origin = PointOn(t, random);
    float t_plain = 5;
    vertex3f hit_plain{5, 5, 5};
    int result = IntersectionRayTriangle(ray, t, t_plain, hit_plain);
    CachedRay r = CacheRay(ray);
    CachedTriangle c = CacheTriangle(t);
    CachedPlane plane;
    CachedEdges edges;
    SplitCachedTriangle(c, 0, plane, edges);
    certified += edges.face_axis >= 0;
    for (CachedHitKind kind : {kFrontAheadOnly, kEitherAhead}) {
      bool expected = result == kRayFrontAhead || (kind == kEitherAhead && result == kRayBackAhead);
      float t_cached = 5;
      vertex3f hit_cached{5, 5, 5};
      bool got = CachedHit(r, c, kind, INFINITY, true, t_cached, hit_cached);
      ASSERT_EQ(got, expected) << "ray " << n << " result " << result;
      float t_split = 5;
      vertex3f hit_split{5, 5, 5};
      ASSERT_EQ(CachedHit(r, plane, edges, kind, INFINITY, true, t_split, hit_split), expected)
          << "ray " << n << " result " << result << " axis " << int(edges.face_axis);
      if (got) {
        ASSERT_EQ(Bits(t_cached), Bits(t_plain)) << "ray " << n;
        ASSERT_TRUE(SameBits(hit_cached, hit_plain)) << "ray " << n;
        ASSERT_EQ(Bits(t_split), Bits(t_plain)) << "ray " << n;
        ASSERT_TRUE(SameBits(hit_split, hit_plain)) << "ray " << n;
      }
    }
  }
  EXPECT_GT(certified, 300000 / 4);
}

}  // namespace
