// The cell test without square roots gives the plain cell test's answer on
// lines aimed at edges, corners and diagonals, some nearly edge-on.
#include "sensor/celltest.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "core/raytriangle.h"

TEST(CellTest, WithoutRootsAgreesWithThePlainTest) {
  std::mt19937 random(5);
  std::uniform_real_distribution<float> coordinate(-2, 2), nudge(-1e-4f, 1e-4f);
  int hits = 0, tests = 0;
  for (int n = 0; n < 200000; ++n) {
    vertex3f ul{coordinate(random), coordinate(random), 0}, ur{ul.x + 1, ul.y, nudge(random)};
    vertex3f dl{ul.x, ul.y - 1, nudge(random)}, dr{ul.x + 1, ul.y - 1, n % 7 == 0 ? 0.5f : nudge(random)};
    if (n % 11 == 0) dr = ur;  // a degenerate second triangle
    CVSensorCell cell{0, ul, ur, dl, dr, {-1, -1, -1, -1}};
    // Aimed at the cell's edges, corners and diagonal, some nearly edge-on.
    float s = std::round(coordinate(random) * 2) / 4 + nudge(random), t = std::round(coordinate(random) * 2) / 4;
    vertex3f target{ul.x + s, ul.y - t, 0};
    vertex3f origin{target.x + coordinate(random), target.y + coordinate(random), n % 5 == 0 ? 1e-4f : -3};
    vector3f line = VectorizeVertices(origin, target);
    bool plain = CellHitByLine(line, cell);
    ASSERT_EQ(CellHitByLineWithoutRoots(line, cell), plain) << "line " << n;
    // With the facing known to pass, the partial test gives the same answer.
    vertex3f N = CrossProduct(PointDifference(ul, dl), PointDifference(ur, dl));
    float m = DotProduct(UnitDirection(line.direction), UnitDirection(N));
    if (-kUnitHigh < m && m < -kNearZero) {
      float t_plane = 0;
      vertex3f hit{0, 0, 0};
      bool first = IntersectionRayTriangle(line, CV_triangle{dl, ul, ur}, t_plane, hit) == kRayFrontAhead;
      ASSERT_EQ(FrontAheadOnEdges(line, dl, ul, ur, 7u), first) << "line " << n;
      ++tests;
    }
    hits += plain ? 1 : 0;
  }
  EXPECT_GT(hits, 20000);
  EXPECT_GT(tests, 50000);
}
