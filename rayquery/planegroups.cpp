#include "rayquery/planegroups.h"

#include <algorithm>
#include <limits>
#include <numeric>

#include "core/bits.h"
#include "core/check.h"
#include "core/lanes.h"
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
// and divides: single-precision lane operations round as the scalar ones do.
PassedPlanes FrontPlanes(const PlaneGroup* groups, size_t group_count, const CachedRay& ray, float limit) {
  const Lanes4f d_hat[3] = {Broadcast4f(ray.d_hat.x), Broadcast4f(ray.d_hat.y), Broadcast4f(ray.d_hat.z)};
  const Lanes4f O[3] = {Broadcast4f(ray.O.x), Broadcast4f(ray.O.y), Broadcast4f(ray.O.z)};
  const Lanes4f d[3] = {Broadcast4f(ray.d.x), Broadcast4f(ray.d.y), Broadcast4f(ray.d.z)};
  const Lanes4f infinity = Broadcast4f(kInfinity);
  CORVANE_CHECK(group_count <= kMostPlaneGroups);
  PassedPlanes front;
  front.group_count = group_count;
  int any = 0;
  Lanes4f nearest = infinity;
  for (size_t g = 0; g < group_count; ++g) {
    const PlaneGroup& p = groups[g];
    front.lanes[g] = 0;
    Lanes4f m = Add(Add(Mul(d_hat[0], Load4f(p.n_hat[0])), Mul(d_hat[1], Load4f(p.n_hat[1]))),
                    Mul(d_hat[2], Load4f(p.n_hat[2])));
    Lanes4f facing = And(LessMask(Broadcast4f(-kUnitHigh), m), LessMask(m, Broadcast4f(-kNearZero)));
    if (MaskBits(facing) == 0) continue;
    Lanes4f numerator = Load4f(p.N_dot_P0);
    for (int i = 0; i < 3; ++i) numerator = Sub(numerator, Mul(Load4f(p.N[i]), O[i]));
    Lanes4f denominator = Add(Add(Mul(Load4f(p.N[0]), d[0]), Mul(Load4f(p.N[1]), d[1])), Mul(Load4f(p.N[2]), d[2]));
    Lanes4f t = Div(numerator, denominator);
    Lanes4f pass = And(facing, And(GreaterMask(t, Broadcast4f(kNearZero)), LessEqualMask(t, Broadcast4f(limit))));
    front.lanes[g] = MaskBits(pass);
    any |= front.lanes[g];
    Store(front.t[g], t);
    nearest = Min(nearest, Select(pass, t, infinity));
  }
  nearest = Min(nearest, SwapHalves(nearest));
  nearest = Min(nearest, SwapNeighbours(nearest));
  front.nearest = FirstLane(nearest);
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
