// Rays that start light paths: from the point lights, a given point, or a triangle.
#include "transport/emission.h"

#include <cmath>

#include "core/check.h"
#include "core/mt19937.h"

namespace {

// A uniform direction over the whole sphere (z uniform, then phi), not yet
// normalised. Two draws.
vertex3f UniformSphereDirection() {
  double u1 = genrand_real3();
  float z = float(2.0 * u1 - 1.0);
  double u2 = genrand_real3();
  float phi = float(kTwoPi * u2);
  float r = float(std::sqrt(double(1.0f - z * z)));
  return vertex3f{float(double(r) * std::cos(double(phi))), float(double(r) * std::sin(double(phi))), z};
}

// Turns d, sampled about the pole +z, so that the pole falls on the unit
// normal n. Only an angle of exactly zero leaves d as it is; near -z the
// cross product with z vanishes and the x axis is taken instead.
vertex3f RotatePoleOntoNormal(vertex3f d, vector3f n) {
  vector3f z_axis = NormalizeVector(BaseAxis(3));
  float alpha = float(ClampedAcos(double(ScalarMultiply(n, z_axis))));
  if (alpha == 0.0f) return d;
  double sin_alpha = std::sin(double(alpha));
  vector3f axis = NormalizeVector(VectorMultiply(n, BaseAxis(3)));
  if (sin_alpha > -0.0001 && sin_alpha < 0.0001) axis = BaseAxis(1);
  quat3f q = QuaternionRotate(-alpha, axis);
  return RotateByQuaternion(q, d);
}

}  // namespace

int ChooseLight(float u0, int light_count) {
  if (light_count < 1) return 0;
  double step = 1.0 / double(light_count);
  for (int i = 0; i < light_count; ++i) {
    if (double(i) * step < double(u0) && double(u0) < double(i + 1) * step) return i;
  }
  return 0;
}

vector3f LSShootFromLights(CV_scene scene) {
  // The light-choice draw comes first and is made even with a single light.
  float u0 = float(genrand_real3());
  int light = ChooseLight(u0, scene.light_count);
  CORVANE_CHECK(light == 0 || (light > 0 && light < scene.light_count));
  vertex3f origin{0, 0, 0};
  if (scene.light_count >= 1 && scene.lights != nullptr) origin = scene.lights[light].location;
  return LSShootPoint(origin);
}

vector3f LSShootPoint(vertex3f point) {
  vertex3f direction = UniformSphereDirection();
  return NormalizeVector(vector3f{point, direction});
}

vector3f LSShootTriangle(CV_triangle triangle) {
  const vertex3f& a = triangle.a;
  const vertex3f& b = triangle.b;
  const vertex3f& c = triangle.c;
  vector3f n = NormalizeVector(VectorMultiply(VectorizeVertices(a, b), VectorizeVertices(a, c)));

  // Barycentric weights s, t, w of the start point.
  float s = float(genrand_real3());
  double t_draw = genrand_real3();
  float one_minus_s = 1.0f - s;
  float t = float(t_draw * double(one_minus_s));
  float w = one_minus_s - t;

  // Which corner receives which weight; the thresholds are not exact sixths.
  float v = float(genrand_real3());
  float ka, kb, kc;
  if (double(v) < 0.16666) {
    ka = w, kb = s, kc = t;
  } else if (double(v) < 0.33333) {
    ka = w, kb = t, kc = s;
  } else if (double(v) < 0.49999) {
    ka = s, kb = w, kc = t;
  } else if (double(v) < 0.66666) {
    ka = s, kb = t, kc = w;
  } else if (double(v) < 0.83333) {
    ka = t, kb = w, kc = s;
  } else {
    ka = t, kb = s, kc = w;
  }
  vertex3f p{ka * a.x + kb * b.x + kc * c.x, ka * a.y + kb * b.y + kc * c.y, ka * a.z + kb * b.z + kc * c.z};

  // Uniform in solid angle over the hemisphere about +z: cos theta is the draw.
  float theta = float(std::acos(genrand_real3()));
  float phi = float(kTwoPi * genrand_real3());
  return NormalizeVector(vector3f{p, RotatePoleOntoNormal(SphericalDirection(theta, phi), n)});
}
