// What the ray query benchmarks share: processor time, random directions,
// the rate of a query over a list of rays and the count of answers that
// differ from the plain scan's.
#pragma once

#include <cstdint>
#include <cstring>
#include <ctime>
#include <random>
#include <vector>

#include "rayquery/rayscene.h"
#include "reference/rayscan.h"

// Seconds of processor time of the calling thread.
inline double CpuSeconds() {
  timespec now;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return double(now.tv_sec) + 1e-9 * double(now.tv_nsec);
}

// A direction from the unit ball (not normalised), never nearly zero.
inline vertex3f RandomDirection(std::mt19937& engine) {
  std::uniform_real_distribution<float> u(-1, 1);
  for (;;) {
    vertex3f v{u(engine), u(engine), u(engine)};
    float s = v.x * v.x + v.y * v.y + v.z * v.z;
    if (s > 1e-4f && s <= 1) return v;
  }
}

// A random ray leaving hit to the side the normal faces.
inline vector3f LeavingRay(vertex3f hit, vector3f normal, std::mt19937& engine) {
  vertex3f d = RandomDirection(engine);
  const vertex3f& n = normal.direction;
  if (d.x * n.x + d.y * n.y + d.z * n.z < 0) d = vertex3f{-d.x, -d.y, -d.z};
  return vector3f{hit, d};
}

// Queries per second of processor time over the rays, stopping after about
// `budget` seconds; done receives the number of queries made.
inline double QueryRate(CV_scene scene, const std::vector<vector3f>& rays, RayQuery query, double budget, int& done) {
  double start = CpuSeconds();
  done = 0;
  for (const vector3f& ray : rays) {
    vertex3f hit;
    vector3f normal;
    int object = 0;
    query(ray, scene, hit, normal, object);
    ++done;
    if ((done & 63) == 0 && CpuSeconds() - start > budget) break;
  }
  return done / (CpuSeconds() - start);
}

// Answers of IntersectionRayScene that differ from the plain scan's, over
// the first count rays.
inline int Mismatches(CV_scene scene, const std::vector<vector3f>& rays, int count) {
  int differ = 0;
  for (int k = 0; k < count; ++k) {
    vertex3f h1{0, 0, 0}, h2{0, 0, 0};
    vector3f n1 = ZeroVector(), n2 = ZeroVector();
    int o1 = -1, o2 = -1;
    int r1 = IntersectionRaySceneReference(rays[size_t(k)], scene, h1, n1, o1);
    int r2 = IntersectionRayScene(rays[size_t(k)], scene, h2, n2, o2);
    if (r1 != r2 || o1 != o2 || std::memcmp(&h1, &h2, sizeof h1) != 0 || std::memcmp(&n1, &n2, sizeof n1) != 0) {
      ++differ;
    }
  }
  return differ;
}

// A digest of IntersectionRayScene's answers to the rays (result, object,
// hit and normal bits), to tell whether a change kept every answer.
inline uint64_t AnswerDigest(CV_scene scene, const std::vector<vector3f>& rays) {
  uint64_t digest = 14695981039346656037ull;
  auto mix = [&digest](const void* bytes, size_t size) {
    const unsigned char* p = static_cast<const unsigned char*>(bytes);
    for (size_t k = 0; k < size; ++k) digest = (digest ^ p[k]) * 1099511628211ull;
  };
  for (const vector3f& ray : rays) {
    vertex3f hit{0, 0, 0};
    vector3f normal = ZeroVector();
    int object = -1;
    int result = IntersectionRayScene(ray, scene, hit, normal, object);
    mix(&result, sizeof result);
    mix(&object, sizeof object);
    mix(&hit, sizeof hit);
    mix(&normal, sizeof normal);
  }
  return digest;
}
