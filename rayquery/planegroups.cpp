#include "rayquery/planegroups.h"

#include <emmintrin.h>

#include <algorithm>
#include <limits>
#include <numeric>

#include "core/bits.h"
#include "core/check.h"
#include "core/raytriangle.h"

std::vector<PlaneGroup> GroupPlanes(const CachedPlane* planes, size_t count) {
  CORVANE_CHECK(count <= kFewTriangles);
  std::vector<size_t> order(count);
  std::iota(order.begin(), order.end(), size_t(0));
  std::sort(order.begin(), order.end(),
            [planes](size_t p, size_t q) { return planes[p].triangle < planes[q].triangle; });
  std::vector<PlaneGroup> groups((count + 3) / 4);
  const float none = std::numeric_limits<float>::quiet_NaN();
  for (size_t g = 0; g < groups.size(); ++g) {
    for (size_t k = 0; k < 4; ++k) {
      size_t s = 4 * g + k < count ? order[4 * g + k] : count;
      const CachedPlane p = s < count ? planes[s] : CachedPlane{{none, none, none}, {0, 0, 0}, 0, -1};
      groups[g].triangle[k] = p.triangle;
      groups[g].slot[k] = s < count ? int32_t(s) : -1;
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

// Each lane computes m = d_hat . n_hat, the numerator N . P0 - N.x O.x -
// N.y O.y - N.z O.z and the denominator N . d in the scalar stage's order,
// and divides: single-precision SSE operations round as the scalar ones do.
PassedPlanes FrontPlanes(const PlaneGroup* groups, size_t group_count, const CachedRay& ray, float limit) {
  const __m128 d_hat[3] = {_mm_set1_ps(ray.d_hat.x), _mm_set1_ps(ray.d_hat.y), _mm_set1_ps(ray.d_hat.z)};
  const __m128 O[3] = {_mm_set1_ps(ray.O.x), _mm_set1_ps(ray.O.y), _mm_set1_ps(ray.O.z)};
  const __m128 d[3] = {_mm_set1_ps(ray.d.x), _mm_set1_ps(ray.d.y), _mm_set1_ps(ray.d.z)};
  const __m128 infinity = _mm_set1_ps(kInfinity);
  CORVANE_CHECK(group_count <= kMostPlaneGroups);
  PassedPlanes front;
  front.group_count = group_count;
  int any = 0;
  __m128 nearest = infinity;
  for (size_t g = 0; g < group_count; ++g) {
    const PlaneGroup& p = groups[g];
    front.lanes[g] = 0;
    __m128 m = _mm_add_ps(
        _mm_add_ps(_mm_mul_ps(d_hat[0], _mm_load_ps(p.n_hat[0])), _mm_mul_ps(d_hat[1], _mm_load_ps(p.n_hat[1]))),
        _mm_mul_ps(d_hat[2], _mm_load_ps(p.n_hat[2])));
    __m128 facing = _mm_and_ps(_mm_cmplt_ps(_mm_set1_ps(-kUnitHigh), m), _mm_cmplt_ps(m, _mm_set1_ps(-kNearZero)));
    if (_mm_movemask_ps(facing) == 0) continue;
    __m128 numerator = _mm_load_ps(p.N_dot_P0);
    for (int i = 0; i < 3; ++i) numerator = _mm_sub_ps(numerator, _mm_mul_ps(_mm_load_ps(p.N[i]), O[i]));
    __m128 denominator =
        _mm_add_ps(_mm_add_ps(_mm_mul_ps(_mm_load_ps(p.N[0]), d[0]), _mm_mul_ps(_mm_load_ps(p.N[1]), d[1])),
                   _mm_mul_ps(_mm_load_ps(p.N[2]), d[2]));
    __m128 t = _mm_div_ps(numerator, denominator);
    __m128 pass =
        _mm_and_ps(facing, _mm_and_ps(_mm_cmpgt_ps(t, _mm_set1_ps(kNearZero)), _mm_cmple_ps(t, _mm_set1_ps(limit))));
    front.lanes[g] = _mm_movemask_ps(pass);
    any |= front.lanes[g];
    _mm_store_ps(front.t[g], t);
    nearest = _mm_min_ps(nearest, _mm_or_ps(_mm_and_ps(pass, t), _mm_andnot_ps(pass, infinity)));
  }
  nearest = _mm_min_ps(nearest, _mm_shuffle_ps(nearest, nearest, _MM_SHUFFLE(1, 0, 3, 2)));
  nearest = _mm_min_ps(nearest, _mm_shuffle_ps(nearest, nearest, _MM_SHUFFLE(2, 3, 0, 1)));
  front.nearest = _mm_cvtss_f32(nearest);
  front.any = any != 0;
  return front;
}

bool NearestLeft(PassedPlanes& front) {
  bool any = false;
  float least = kInfinity;
  for (size_t g = 0; g < front.group_count; ++g) {
    for (int bits = front.lanes[g]; bits != 0; bits &= bits - 1) {
      least = std::min(least, front.t[g][LowestSetBit(unsigned(bits))]);
      any = true;
    }
  }
  front.nearest = least;
  return any;
}
