// Energy-normalised Phong scattering: the reflectance, the choice and sampling
// of a lobe, and the two path factors of a scattering.
#include "transport/scattering.h"

#include <cmath>

#include "core/mt19937.h"

namespace {

// A glossy candidate is kept when its angle to the normal is below
// float(pi/2) - 0.0001, formed in double.
constexpr double kGlossyAcceptBound = 1.5706963705062866;

// Turns d, sampled about the pole +z, so that the pole falls on the direction
// of v (any length). Angles up to 0.0001 leave d as it is; near -z, where the
// cross product with z vanishes, the turn is about the x axis.
vertex3f RotatePoleOnto(vertex3f d, vector3f v) {
  vector3f z_axis = NormalizeVector(BaseAxis(3));
  float gamma = float(ClampedAcos(double(ScalarMultiply(NormalizeVector(v), z_axis))));
  if (gamma <= 0.0001f) return d;
  double sin_minus_gamma = std::sin(double(-gamma));
  vector3f axis = NormalizeVector(VectorMultiply(v, BaseAxis(3)));
  if (sin_minus_gamma > -0.0001 && sin_minus_gamma < 0.0001) axis = BaseAxis(1);
  quat3f q = QuaternionRotate(-gamma, axis);
  return RotateByQuaternion(q, d);
}

// Cosine-weighted direction about the normal. Two draws.
vertex3f SampleDiffuseLobe(vector3f normal) {
  float u1 = float(genrand_real3());
  float u2 = float(genrand_real3());
  float theta = float(std::acos(std::sqrt(double(u1))));
  float phi = float(kTwoPi * double(u2));
  return RotatePoleOnto(SphericalDirection(theta, phi), normal);
}

// Phong-lobe direction about the mirror direction, redrawn until it leaves on
// the normal's side. Two draws per attempt. False (and d unset) after
// kGlossyAttemptLimit rejected candidates: with a mirror direction far behind
// the surface, or a meaningless exponent, no candidate may ever be accepted.
bool SampleGlossyLobe(vector3f mirror, vector3f normal, float n, vertex3f& d) {
  double power = 1.0 / (double(n) + 1.0);
  vector3f unit_normal = NormalizeVector(normal);
  for (int attempt = 0; attempt < kGlossyAttemptLimit; ++attempt) {
    float u1 = float(genrand_real3());
    float u2 = float(genrand_real3());
    float theta = float(ClampedAcos(std::pow(double(u1), power)));
    float phi = float(kTwoPi * double(u2));
    vertex3f candidate = RotatePoleOnto(SphericalDirection(theta, phi), mirror);
    vector3f unit_candidate = NormalizeVector(vector3f{{0, 0, 0}, candidate});
    float angle_to_normal = float(ClampedAcos(double(ScalarMultiply(unit_normal, unit_candidate))));
    if (double(angle_to_normal) < kGlossyAcceptBound) {
      d = candidate;
      return true;
    }
  }
  return false;
}

// True when the glossy scale ks (n + 2) times the lobe |cos angle|^n is the
// same for every finite angle: ks is 0 and n is not negative (a NaN n is
// not). The lobe then lies in 0 .. 1, and the scale is a zero of ks's sign,
// which any such lobe keeps, or NaN for an infinite n, which it keeps too.
inline bool GlossyPartVanishes(float ks, float n) { return ks == 0.0f && n >= 0.0f; }

}  // namespace

float PhongBRDF(float kd, float ks, float angle, float n) {
  float total = kd + ks;
  if (total > 1.0f) return 0.0f;  // such a material would create energy
  double diffuse = double(kd) / kPi;
  double glossy_scale = double(ks) * (double(n) + 2.0);
  // The lobe's cos and pow are skipped where any lobe in 0 .. 1 gives the
  // same product; 1 stands for it.
  double lobe = GlossyPartVanishes(ks, n) && std::isfinite(angle)
                    ? 1.0
                    : std::pow(std::fabs(std::cos(double(angle))), double(n));
  float glossy = float(lobe * glossy_scale);
  return float(double(glossy) / kTwoPi + diffuse);
}

float PhongBRDFAtCosine(float kd, float ks, float cosine, float n) {
  // The clamped acos is finite unless the cosine is NaN; without a glossy
  // part any finite angle gives the same value.
  if (GlossyPartVanishes(ks, n) && !std::isnan(cosine)) return PhongBRDF(kd, ks, 0.0f, n);
  return PhongBRDF(kd, ks, float(std::fabs(ClampedAcos(double(cosine)))), n);
}

int ShootNewRay(vector3f mirror, vector3f normal, float kd, float ks, float n, vector3f& new_direction,
                float& lobe_cosine) {
  // The lobe draw comes first and is made even when the sum is 0. A NaN ratio
  // compares false and takes the diffuse lobe.
  double u = genrand_real3();
  double sum = double(kd) + double(ks);
  bool glossy = sum == 0.0 || u > double(kd) / sum;

  vertex3f d;
  if (!glossy) {
    d = SampleDiffuseLobe(normal);
  } else if (!SampleGlossyLobe(mirror, normal, n, d)) {
    d = normal.direction;  // no acceptable candidate: leave along the normal
  }
  new_direction = NormalizeVector(vector3f{{0, 0, 0}, d});
  lobe_cosine = std::fabs(ScalarMultiply(NormalizeVector(new_direction), NormalizeVector(mirror)));
  return glossy ? 2 : 1;
}

int MaterialNewRay(vector3f incoming, vector3f normal, vertex3f hit_point, float kd, float ks, float n,
                   float& lobe_factor, vector3f& new_ray, float& reflectance_factor) {
  vector3f mirror = FermatReflection2(incoming, normal, hit_point);
  vector3f direction;
  float lobe_cosine;
  int result = ShootNewRay(mirror, normal, kd, ks, n, direction, lobe_cosine);

  float alpha_cosine = ScalarMultiply(NormalizeVector(mirror), NormalizeVector(direction));
  float beta =
      float(std::fabs(ClampedAcos(double(ScalarMultiply(NormalizeVector(incoming), NormalizeVector(normal))))));
  float f = PhongBRDFAtCosine(kd, ks, alpha_cosine, n);

  lobe_factor = lobe_cosine;
  new_ray = vector3f{hit_point, direction.direction};
  reflectance_factor = float(std::fabs(double(f) * std::cos(double(beta))));
  return result;
}
