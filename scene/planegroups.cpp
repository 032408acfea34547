#include "scene/planegroups.h"

#include <emmintrin.h>

#include <limits>

#include "core/raytriangle.h"

std::vector<CV_plane_group> GroupPlanes(const CV_cached_plane* planes, size_t count) {
  std::vector<CV_plane_group> groups((count + 3) / 4);
  const float none = std::numeric_limits<float>::quiet_NaN();
  for (size_t g = 0; g < groups.size(); ++g) {
    for (size_t k = 0; k < 4; ++k) {
      size_t s = 4 * g + k;
      const CV_cached_plane p = s < count ? planes[s] : CV_cached_plane{{none, none, none}, {0, 0, 0}, 0, -1};
      groups[g].triangle[k] = p.triangle;
      const float n_hat[3] = {p.n_hat.x, p.n_hat.y, p.n_hat.z};
      const float N[3] = {p.N.x, p.N.y, p.N.z};
      for (int i = 0; i < 3; ++i) {
        groups[g].n_hat[i][k] = n_hat[i];
        groups[g].N[i][k] = N[i];
      }
      groups[g].N_dot_P0[k] = p.N_dot_P0;
    }
  }
  return groups;
}

CV_plane_candidate TakeNearest(CV_plane_candidate* candidates, size_t& count) {
  size_t least = 0;
  for (size_t k = 1; k < count; ++k) {
    const CV_plane_candidate& c = candidates[k];
    const CV_plane_candidate& l = candidates[least];
    if (c.t < l.t || (c.t == l.t && c.triangle < l.triangle)) least = k;
  }
  CV_plane_candidate taken = candidates[least];
  candidates[least] = candidates[--count];
  return taken;
}

// Each lane computes m = d_hat . n_hat, the numerator N . P0 - N.x O.x -
// N.y O.y - N.z O.z and the denominator N . d in the scalar stage's order,
// and divides: single-precision SSE operations round as the scalar ones do.
size_t FrontCandidates(const CV_plane_group* groups, size_t count, const CV_cached_ray& ray, float limit,
                       CV_plane_candidate* candidates) {
  const __m128 d_hat[3] = {_mm_set1_ps(ray.d_hat.x), _mm_set1_ps(ray.d_hat.y), _mm_set1_ps(ray.d_hat.z)};
  const __m128 O[3] = {_mm_set1_ps(ray.O.x), _mm_set1_ps(ray.O.y), _mm_set1_ps(ray.O.z)};
  const __m128 d[3] = {_mm_set1_ps(ray.d.x), _mm_set1_ps(ray.d.y), _mm_set1_ps(ray.d.z)};
  const __m128 unit_high = _mm_set1_ps(-kUnitHigh);
  const __m128 near_zero = _mm_set1_ps(kNearZero);
  const __m128 minus_near_zero = _mm_set1_ps(-kNearZero);
  const __m128 most = _mm_set1_ps(limit);
  size_t n = 0;
  for (size_t g = 0; 4 * g < count; ++g) {
    const CV_plane_group& p = groups[g];
    auto lane = [](const float* v) { return _mm_load_ps(v); };
    __m128 m = _mm_add_ps(_mm_add_ps(_mm_mul_ps(d_hat[0], lane(p.n_hat[0])), _mm_mul_ps(d_hat[1], lane(p.n_hat[1]))),
                          _mm_mul_ps(d_hat[2], lane(p.n_hat[2])));
    __m128 front = _mm_and_ps(_mm_cmplt_ps(unit_high, m), _mm_cmplt_ps(m, minus_near_zero));
    if (_mm_movemask_ps(front) == 0) continue;
    __m128 numerator = lane(p.N_dot_P0);
    for (int i = 0; i < 3; ++i) numerator = _mm_sub_ps(numerator, _mm_mul_ps(lane(p.N[i]), O[i]));
    __m128 denominator = _mm_add_ps(_mm_add_ps(_mm_mul_ps(lane(p.N[0]), d[0]), _mm_mul_ps(lane(p.N[1]), d[1])),
                                    _mm_mul_ps(lane(p.N[2]), d[2]));
    __m128 t = _mm_div_ps(numerator, denominator);
    __m128 pass = _mm_and_ps(front, _mm_and_ps(_mm_cmpgt_ps(t, near_zero), _mm_cmple_ps(t, most)));
    int bits = _mm_movemask_ps(pass);
    if (bits == 0) continue;
    float lanes[4];
    _mm_storeu_ps(lanes, t);
    for (; bits != 0; bits &= bits - 1) {
      int k = __builtin_ctz(unsigned(bits));
      candidates[n++] = CV_plane_candidate{lanes[k], p.triangle[k], int32_t(4 * g + size_t(k))};
    }
  }
  return n;
}
