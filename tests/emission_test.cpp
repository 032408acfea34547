#include "transport/emission.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "core/mt19937.h"
#include "tests/draws.h"

namespace {

double Length(vertex3f d) { return std::sqrt(double(d.x) * d.x + double(d.y) * d.y + double(d.z) * d.z); }

double Dot(vertex3f a, vertex3f b) { return double(a.x) * b.x + double(a.y) * b.y + double(a.z) * b.z; }

TEST(Emission, LightChoiceSplitsTheUnitIntervalEvenly) {
  struct Row {
    float u0;
    int lights;
    int expected;
  };
  const Row rows[] = {
      {0.25f, 2, 0},   {0.5f, 2, 0},    {0.75f, 2, 1}, {0.4999f, 2, 0}, {0.5001f, 2, 1}, {1.0f, 2, 0},
      {0.9999f, 4, 3}, {0.2501f, 4, 1}, {0.25f, 4, 0}, {0.7f, 1, 0},    {1.0f, 1, 0},    {0.5f, 0, 0},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(ChooseLight(row.u0, row.lights), row.expected) << "u0 " << row.u0 << ", " << row.lights << " lights";
  }
}

TEST(Emission, ShootFromLightsDrawsThreeTimesAndLeavesTheChosenLight) {
  CV_light lights[2] = {};
  lights[0].location = {1, 2, 3};
  lights[1].location = {-4, 5, -6};
  CV_scene two{0, nullptr, 2, lights};
  CV_scene one{0, nullptr, 1, lights + 1};

  EXPECT_EQ(WordsDrawn(50, [&] { LSShootFromLights(one); }), 3);
  EXPECT_EQ(WordsDrawn(50, [&] { LSShootFromLights(two); }), 3);

  for (uint32_t seed = 1; seed <= 20; ++seed) {
    int light = ChooseLight(float(Real3Draw(seed, 0)), 2);
    init_genrand(seed);
    vector3f ray = LSShootFromLights(two);
    EXPECT_EQ(ray.origin.x, lights[light].location.x) << "seed " << seed;
    EXPECT_EQ(ray.origin.y, lights[light].location.y) << "seed " << seed;
    init_genrand(seed);
    EXPECT_EQ(LSShootFromLights(one).origin.z, -6.0f);
  }
}

TEST(Emission, ShootFromLightsDirectionFollowsTheSecondAndThirdDraws) {
  CV_light light{};
  CV_scene scene{0, nullptr, 1, &light};
  for (uint32_t seed = 1; seed <= 20; ++seed) {
    init_genrand(seed);
    vector3f ray = LSShootFromLights(scene);
    EXPECT_NEAR(ray.direction.z, 2.0 * Real3Draw(seed, 1) - 1.0, 1e-6) << "seed " << seed;
    double phi = std::atan2(double(ray.direction.y), double(ray.direction.x));
    if (phi < 0) phi += kTwoPi;
    EXPECT_NEAR(phi, kTwoPi * Real3Draw(seed, 2), 1e-4) << "seed " << seed;
  }
}

TEST(Emission, ShootPointGivesUnitDirectionsUniformOverTheSphere) {
  EXPECT_EQ(WordsDrawn(3, [] { LSShootPoint({0, 0, 0}); }), 2);
  init_genrand(50);
  const int n = 20000;
  double sum_x = 0, sum_y = 0, sum_z = 0, sum_z2 = 0;
  for (int i = 0; i < n; ++i) {
    vector3f ray = LSShootPoint({7, 8, 9});
    ASSERT_EQ(ray.origin.x, 7.0f);
    ASSERT_EQ(ray.origin.z, 9.0f);
    ASSERT_NEAR(Length(ray.direction), 1.0, 1e-6);
    sum_x += ray.direction.x;
    sum_y += ray.direction.y;
    sum_z += ray.direction.z;
    sum_z2 += double(ray.direction.z) * ray.direction.z;
  }
  // Uniform on the sphere: every coordinate has mean 0 and mean square 1/3.
  EXPECT_NEAR(sum_x / n, 0.0, 0.02);
  EXPECT_NEAR(sum_y / n, 0.0, 0.02);
  EXPECT_NEAR(sum_z / n, 0.0, 0.02);
  EXPECT_NEAR(sum_z2 / n, 1.0 / 3.0, 0.02);
}

TEST(Emission, ShootTriangleDrawsFiveTimes) {
  CV_triangle tri{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  EXPECT_EQ(WordsDrawn(9, [&] { LSShootTriangle(tri); }), 5);
}

TEST(Emission, ShootTriangleStartsInsideTheTriangle) {
  CV_triangle tri{{1, 0, 0}, {0, 2, 0}, {0, 0, 3}};
  init_genrand(50);
  for (int i = 0; i < 3000; ++i) {
    vertex3f p = LSShootTriangle(tri).origin;
    // In the plane x + y/2 + z/3 = 1 with every coordinate non-negative.
    ASSERT_NEAR(p.x + p.y / 2 + p.z / 3, 1.0, 1e-5) << "call " << i;
    ASSERT_GE(p.x, -1e-6f);
    ASSERT_GE(p.y, -1e-6f);
    ASSERT_GE(p.z, -1e-6f);
  }
}

TEST(Emission, ShootTriangleLeavesUniformlyOverTheHemisphereOfItsNormal) {
  CV_triangle tri{{0, 0, 0}, {1, 0, 1}, {0, 1, 1}};
  vertex3f n{-1, -1, 1};  // (b - a) x (c - a), counter-clockwise side
  double n_length = Length(n);
  init_genrand(50);
  const int count = 20000;
  double sum_cos = 0;
  for (int i = 0; i < count; ++i) {
    vector3f ray = LSShootTriangle(tri);
    ASSERT_NEAR(Length(ray.direction), 1.0, 1e-6);
    double c = Dot(ray.direction, n) / n_length;
    ASSERT_GT(c, -1e-6) << "call " << i;
    sum_cos += c;
  }
  // Uniform in solid angle over a hemisphere: the mean cosine is 1/2.
  EXPECT_NEAR(sum_cos / count, 0.5, 0.01);
}

TEST(Emission, ShootTriangleFacingDownTurnsHalfATurnAboutX) {
  CV_triangle up{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  CV_triangle down{{0, 0, 0}, {0, 1, 0}, {1, 0, 0}};
  for (uint32_t seed = 1; seed <= 20; ++seed) {
    init_genrand(seed);
    vertex3f d_up = LSShootTriangle(up).direction;
    init_genrand(seed);
    vertex3f d_down = LSShootTriangle(down).direction;
    // Facing +z the local direction is unrotated: its z is the theta draw.
    EXPECT_NEAR(d_up.z, Real3Draw(seed, 3), 1e-6) << "seed " << seed;
    EXPECT_NEAR(d_down.x, d_up.x, 1e-6) << "seed " << seed;
    EXPECT_NEAR(d_down.y, -d_up.y, 1e-6) << "seed " << seed;
    EXPECT_NEAR(d_down.z, -d_up.z, 1e-6) << "seed " << seed;
  }
}

}  // namespace
