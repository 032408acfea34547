#include "reference/plainbrdf.h"

#include <cmath>

#include "core/vecmath.h"

float PlainPhongBRDF(float kd, float ks, float angle, float n) {
  float total = kd + ks;
  if (total > 1.0f) return 0.0f;
  double diffuse = double(kd) / kPi;
  double glossy_scale = double(ks) * (double(n) + 2.0);
  double lobe = std::pow(std::fabs(std::cos(double(angle))), double(n));
  float glossy = float(lobe * glossy_scale);
  return float(double(glossy) / kTwoPi + diffuse);
}

float PlainPhongBRDFAtCosine(float kd, float ks, float cosine, float n) {
  return PlainPhongBRDF(kd, ks, float(std::fabs(ClampedAcos(double(cosine)))), n);
}
