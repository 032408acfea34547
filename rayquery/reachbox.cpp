#include "rayquery/reachbox.h"

#include <algorithm>

bool MayReachAlongAxes(const Acceleration& a, const BvhRay& ray, float best_t) {
  const float O[3] = {ray.cached.O.x, ray.cached.O.y, ray.cached.O.z};
  float near = -kInfinity;
  float far = kInfinity;
  for (int i = 0; i < 3; ++i) {
    if (ray.flat[i]) {
      if (O[i] < a.reach_lo[i] || O[i] > a.reach_hi[i]) return false;
      continue;
    }
    float to_lo = (a.reach_lo[i] - O[i]) * ray.inverse[i];
    float to_hi = (a.reach_hi[i] - O[i]) * ray.inverse[i];
    near = std::max(near, std::min(to_lo, to_hi));
    far = std::min(far, std::max(to_lo, to_hi));
  }
  return Widened(near, far, best_t);
}
