#include "transport/scattering.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "core/mt19937.h"
#include "reference/plainbrdf.h"
#include "tests/draws.h"

namespace {

vector3f Dir(float x, float y, float z) { return vector3f{{0, 0, 0}, {x, y, z}}; }

double Length(vertex3f d) { return std::sqrt(double(d.x) * d.x + double(d.y) * d.y + double(d.z) * d.z); }

// Cosine of the angle between two directions of any length.
double Cosine(vertex3f a, vertex3f b) {
  return (double(a.x) * b.x + double(a.y) * b.y + double(a.z) * b.z) / (Length(a) * Length(b));
}

TEST(PhongBRDF, MatchesClosedFormValues) {
  const double pi = 3.141592653589793;
  struct Row {
    float kd, ks, angle, n;
    double expected;
  };
  const Row rows[] = {
      {1, 0, 0.0f, 0, 1 / pi},
      {1, 0, 1.2f, 7, 1 / pi},
      {1, 0, 3.0f, 0.5f, 1 / pi},
      {0, 1, 0.0f, 0, 2 / (2 * pi)},
      {0, 1, 0.0f, 10, 12 / (2 * pi)},
      {0.5f, 0.5f, 0.0f, 1, 0.5 / pi + 0.5 * 3 / (2 * pi)},  // sum exactly 1 is allowed
      {0, 1, float(pi / 3), 2, 4 * 0.25 / (2 * pi)},         // cos = 1/2
      {0.6f, 0.5f, 0.0f, 1, 0},                              // would create energy
      {1.1f, 0, 0.0f, 1, 0},
  };
  for (const Row& row : rows) {
    EXPECT_NEAR(PhongBRDF(row.kd, row.ks, row.angle, row.n), row.expected, 1e-6)
        << "kd " << row.kd << " ks " << row.ks << " angle " << row.angle << " n " << row.n;
  }
}

TEST(PhongBRDF, GlossyTermIsSymmetricAboutARightAngle) {
  for (float a : {0.1f, 0.7f, 1.3f}) {
    float mirrored = float(3.141592653589793 - double(a));
    EXPECT_NEAR(PhongBRDF(0.2f, 0.7f, a, 5), PhongBRDF(0.2f, 0.7f, mirrored, 5), 1e-5) << "angle " << a;
  }
}

// The same bits, or both NaN: which NaN a product of two NaNs gives follows
// the operand order the compiler picks, on any path.
bool SameFloat(float a, float b) {
  uint32_t p = 0, q = 0;
  std::memcpy(&p, &a, sizeof p);
  std::memcpy(&q, &b, sizeof q);
  return p == q || (std::isnan(a) && std::isnan(b));
}

// The lobe is left out only for materials without a glossy part; the value
// must keep every bit of the full formula, zeros' signs included.
TEST(PhongBRDF, GivesTheFullFormulasBitsWhereverItLeavesTheLobeOut) {
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float most = std::numeric_limits<float>::max();
  std::vector<float> inputs = {-inf, -1.5f, -1, -0.5f, -0.0f, 0, 1e-40f, 1e-30f, 0.3f, 1, 1.5707964f, 3, 1e30f, inf, nan};
  std::mt19937 engine(7);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  for (int k = 0; k < 200; ++k) inputs.push_back(unit(engine));
  for (float kd : {0.0f, -0.0f, 0.3f, 1.0f, 1.5f, nan}) {
    for (float ks : {0.0f, -0.0f, 1e-30f, 0.25f}) {
      for (float n : {0.0f, -0.0f, 1e-40f, 1.0f, 3.5f, 200.0f, most, inf, -1.0f, -3.0f, -1e30f, -inf, nan}) {
        for (float x : inputs) {
          EXPECT_TRUE(SameFloat(PhongBRDF(kd, ks, x, n), PlainPhongBRDF(kd, ks, x, n)))
              << "kd " << kd << " ks " << ks << " n " << n << " angle " << x;
          EXPECT_TRUE(SameFloat(PhongBRDFAtCosine(kd, ks, x, n), PlainPhongBRDFAtCosine(kd, ks, x, n)))
              << "kd " << kd << " ks " << ks << " n " << n << " cosine " << x;
        }
      }
    }
  }
}

// Fraction of calls over seeds 1..calls that sampled the glossy lobe.
double GlossyFraction(float kd, float ks, int calls) {
  int glossy = 0;
  vector3f d;
  float c;
  for (int seed = 1; seed <= calls; ++seed) {
    init_genrand(seed);
    if (ShootNewRay(Dir(0, 0, 1), Dir(0, 0, 1), kd, ks, 5, d, c) == 2) glossy++;
  }
  return double(glossy) / calls;
}

TEST(ShootNewRay, LobeChoiceFollowsTheReflectanceRatio) {
  EXPECT_EQ(GlossyFraction(0, 0.8f, 300), 1.0) << "kd 0: always glossy";
  EXPECT_EQ(GlossyFraction(0.8f, 0, 300), 0.0) << "ks 0: always diffuse";
  EXPECT_EQ(GlossyFraction(0, 0, 300), 1.0) << "kd + ks 0: glossy";
  EXPECT_EQ(GlossyFraction(std::numeric_limits<float>::quiet_NaN(), 0.5f, 50), 0.0) << "NaN ratio: diffuse";
  EXPECT_NEAR(GlossyFraction(0.25f, 0.75f, 2000), 0.75, 0.04);
}

TEST(ShootNewRay, DiffuseDrawsThreeTimesAndGlossyTwoPerAttempt) {
  vector3f d;
  float c;
  EXPECT_EQ(WordsDrawn(4, [&] { ShootNewRay(Dir(0, 0, 1), Dir(0, 0, 1), 1, 0, 1, d, c); }), 3);
  // A tight lobe about the normal is accepted at the first attempt.
  EXPECT_EQ(WordsDrawn(4, [&] { ShootNewRay(Dir(0, 0, 1), Dir(0, 0, 1), 0, 1, 1000, d, c); }), 3);
  float reflectance;
  EXPECT_EQ(
      WordsDrawn(4,
                 [&] {
                   MaterialNewRay(Dir(0.1f, 0.2f, -1), Dir(0.3f, -0.2f, 1), {0, 0, 0}, 1, 0, 1, c, d, reflectance);
                 }),
      3);
}

TEST(ShootNewRay, DiffuseAlongPlusZIsUnrotated) {
  for (uint32_t seed = 1; seed <= 20; ++seed) {
    init_genrand(seed);
    vector3f d;
    float c;
    ASSERT_EQ(ShootNewRay(Dir(0, 0, 1), Dir(0, 0, 2), 1, 0, 1, d, c), 1);
    EXPECT_NEAR(d.direction.z, std::sqrt(double(float(Real3Draw(seed, 1)))), 1e-6) << "seed " << seed;
  }
}

TEST(ShootNewRay, DiffuseAlongMinusZTurnsHalfATurnAboutX) {
  for (uint32_t seed = 1; seed <= 20; ++seed) {
    vector3f up, down;
    float c;
    init_genrand(seed);
    ShootNewRay(Dir(0, 0, 1), Dir(0, 0, 1), 1, 0, 1, up, c);
    init_genrand(seed);
    ShootNewRay(Dir(0, 0, 1), Dir(0, 0, -1), 1, 0, 1, down, c);
    EXPECT_LT(down.direction.z, 0.0f);
    EXPECT_NEAR(down.direction.x, up.direction.x, 1e-6);
    EXPECT_NEAR(down.direction.y, -up.direction.y, 1e-6);
    EXPECT_NEAR(down.direction.z, -up.direction.z, 1e-6);
  }
}

TEST(ShootNewRay, DiffuseLobeIsCosineWeightedAboutTheNormal) {
  vertex3f n{1, -2, 0.5f};
  init_genrand(50);
  const int count = 20000;
  double sum_cos = 0;
  for (int i = 0; i < count; ++i) {
    vector3f d;
    float c;
    ShootNewRay(Dir(0, 0, 1), vector3f{{0, 0, 0}, n}, 1, 0, 1, d, c);
    ASSERT_EQ(d.origin.x, 0.0f);
    ASSERT_NEAR(Length(d.direction), 1.0, 1e-6);
    double cos_n = Cosine(d.direction, n);
    ASSERT_GT(cos_n, -1e-6) << "call " << i;
    sum_cos += cos_n;
  }
  EXPECT_NEAR(sum_cos / count, 2.0 / 3.0, 0.01);
}

TEST(ShootNewRay, GlossyLobeConcentratesAboutTheMirrorOnTheNormalSide) {
  // For a Phong lobe the mean cosine to its centre is (n + 1) / (n + 2); a
  // mirror well above the surface loses almost nothing to rejection.
  vertex3f n{0, 0, 1};
  vertex3f mirror{0.3f, 0.1f, 1};
  vector3f unit_mirror = NormalizeVector(vector3f{{0, 0, 0}, mirror});
  init_genrand(50);
  const int count = 10000;
  double sum_cos = 0;
  for (int i = 0; i < count; ++i) {
    vector3f d;
    float c;
    ASSERT_EQ(ShootNewRay(unit_mirror, vector3f{{0, 0, 0}, n}, 0, 1, 10, d, c), 2);
    ASSERT_GT(Cosine(d.direction, n), 0.0) << "call " << i;
    ASSERT_NEAR(c, std::fabs(Cosine(d.direction, mirror)), 1e-6);
    sum_cos += c;
  }
  EXPECT_NEAR(sum_cos / count, 11.0 / 12.0, 0.01);
}

TEST(ShootNewRay, ExponentZeroGivesAUniformHemisphere) {
  init_genrand(50);
  const int count = 20000;
  double sum_cos = 0;
  for (int i = 0; i < count; ++i) {
    vector3f d;
    float c;
    ShootNewRay(Dir(0, 0, 1), Dir(0, 0, 1), 0, 1, 0, d, c);
    sum_cos += c;
  }
  EXPECT_NEAR(sum_cos / count, 0.5, 0.01);
}

TEST(ShootNewRay, GlossyGivesUpAlongTheNormalWhenNoCandidateCanBeAccepted) {
  // The mirror points straight behind the surface: every candidate of the
  // uniform lobe about it leaves below the surface.
  vector3f d;
  float c = -1;
  int result = 0;
  int drawn = WordsDrawn(8, [&] { result = ShootNewRay(Dir(0, 0, -1), Dir(0, 0, 3), 0, 1, 0, d, c); });
  EXPECT_EQ(result, 2);
  EXPECT_EQ(drawn, 1 + 2 * kGlossyAttemptLimit);
  EXPECT_EQ(d.direction.x, 0.0f);
  EXPECT_EQ(d.direction.y, 0.0f);
  EXPECT_EQ(d.direction.z, 1.0f);
  EXPECT_EQ(c, 1.0f);

  // A NaN exponent never yields an acceptable candidate either.
  result = ShootNewRay(Dir(0, 0, 1), Dir(0, 0, 1), 0, 1, std::numeric_limits<float>::quiet_NaN(), d, c);
  EXPECT_EQ(result, 2);
  EXPECT_EQ(d.direction.z, 1.0f);
}

TEST(MaterialNewRay, LeavesTheHitPointWithAUnitDirection) {
  vertex3f hit{1.5f, -2.25f, 3.125f};
  init_genrand(50);
  for (int i = 0; i < 200; ++i) {
    float lobe, reflectance;
    vector3f ray;
    MaterialNewRay(Dir(0.2f, -0.1f, -1), Dir(0, 0, 1), hit, 0.4f, 0.5f, 8, lobe, ray, reflectance);
    ASSERT_EQ(ray.origin.x, hit.x);
    ASSERT_EQ(ray.origin.y, hit.y);
    ASSERT_EQ(ray.origin.z, hit.z);
    ASSERT_NEAR(Length(ray.direction), 1.0, 1e-6);
    ASSERT_GE(lobe, 0.0f);
    ASSERT_GT(reflectance, 0.0f);
  }
}

TEST(MaterialNewRay, ReflectanceFactorIsTheBrdfTimesTheCosineOfIncidence) {
  const double pi = 3.141592653589793;
  float lobe, reflectance;
  vector3f ray;
  init_genrand(50);
  // Lambertian, arriving straight down: f = 1/pi, cos beta = 1.
  MaterialNewRay(Dir(0, 0, -1), Dir(0, 0, 1), {0, 0, 0}, 1, 0, 1, lobe, ray, reflectance);
  EXPECT_NEAR(reflectance, 1 / pi, 1e-6);
  EXPECT_NEAR(lobe, Cosine(ray.direction, {0, 0, 1}), 1e-6) << "lobe factor: cosine to the mirror";
  // Arriving at 60 degrees from the normal: cos beta = 1/2.
  MaterialNewRay(Dir(std::sqrt(3.0f), 0, -1), Dir(0, 0, 1), {0, 0, 0}, 1, 0, 1, lobe, ray, reflectance);
  EXPECT_NEAR(reflectance, 0.5 / pi, 1e-6);
}

TEST(MaterialNewRay, EnergyCreatingMaterialStillScattersWithReflectanceZero) {
  float lobe, reflectance;
  vector3f ray;
  init_genrand(50);
  MaterialNewRay(Dir(0, 0, -1), Dir(0, 0, 1), {0, 0, 0}, 0.6f, 0.5f, 4, lobe, ray, reflectance);
  EXPECT_EQ(reflectance, 0.0f);
  EXPECT_NEAR(Length(ray.direction), 1.0, 1e-6);
  init_genrand(50);
  MaterialNewRay(Dir(0, 0, -1), Dir(0, 0, 1), {0, 0, 0}, 0.5f, 0.5f, 4, lobe, ray, reflectance);
  EXPECT_GT(reflectance, 0.0f);
}

}  // namespace
