// The accelerated ray query against the plain scan of the reference, bit for
// bit, on single rays and on many rays of every kind.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "core/raytriangle.h"
#include "rayquery/rayscene.h"
#include "reference/rayscan.h"
#include "tests/random_meshes.h"
#include "tests/support.h"

// Rays per scene: fewer under the sanitizers, which slow every query down.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kRaysPerScene = 20000;
#else
constexpr int kRaysPerScene = 1000000;
#endif

struct Answer {
  int result;
  vertex3f hit;
  vector3f normal;
  int object;
};

inline Answer AnswerOf(vector3f ray, CV_scene scene, bool reference) {
  Answer q{-7, {9, 9, 9}, {{9, 9, 9}, {9, 9, 9}}, -7};
  q.result = reference ? IntersectionRaySceneReference(ray, scene, q.hit, q.normal, q.object)
                       : IntersectionRayScene(ray, scene, q.hit, q.normal, q.object);
  return q;
}

// Also checks, for the first object and one from the middle, whether the ray
// meets another object first: that answer searches the object left out last.
inline ::testing::AssertionResult Same(vector3f ray, CV_scene scene, Answer* out = nullptr) {
  Answer r = AnswerOf(ray, scene, true);
  Answer a = AnswerOf(ray, scene, false);
  if (out != nullptr) *out = r;
  bool others_same = true;
  for (int32_t left_out : {0, scene.object_count / 2}) {
    bool another = r.result == 1 && r.object != left_out;
    if (MeetsAnotherObjectFirst(ray, scene, left_out) != another) others_same = false;
  }
  if (r.result == a.result && SameBits(r.hit, a.hit) && SameBits(r.normal.origin, a.normal.origin) &&
      SameBits(r.normal.direction, a.normal.direction) && r.object == a.object && others_same) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "ray (" << ray.origin.x << ", " << ray.origin.y << ", " << ray.origin.z
                                       << ") -> (" << ray.direction.x << ", " << ray.direction.y << ", "
                                       << ray.direction.z << "): reference " << r.result << " object " << r.object
                                       << ", accelerated " << a.result << " object " << a.object
                                       << (others_same ? "" : ", another object first differs");
}

inline std::vector<CV_triangle> AllTriangles(CV_scene scene) {
  std::vector<CV_triangle> all;
  for (int32_t i = 0; i < scene.object_count; ++i) {
    for (int32_t k = 0; k < scene.objects[i].triangle_count; ++k) all.push_back(scene.objects[i].triangles[k]);
  }
  return all;
}

// Rays of every kind the run makes and some it rarely makes: from hit points
// (as the sampling loop continues a path), from points on and at the edges of
// triangles, from inside boxes, towards corners and edges, along the axes.
inline int CompareOnRays(CV_scene scene, int rays, uint32_t seed, float extent) {
  Random random(seed);
  std::vector<CV_triangle> all = AllTriangles(scene);
  vector3f previous{{0, 0, 0}, {1, 0, 0}};
  int hits = 0;
  int failures = 0;
  for (int n = 0; n < rays && failures < 5; ++n) {
    vector3f ray;
    int kind = random.Below(6);
    const CV_triangle& some = all[size_t(random.Below(int(all.size())))];
    const CV_triangle& other = all[size_t(random.Below(int(all.size())))];
    if (kind == 0) {
      ray = vector3f{random.Point(-extent, extent), random.Direction()};
    } else if (kind == 1) {
      ray = vector3f{previous.origin, random.Direction()};
    } else if (kind == 2) {
      ray = VectorizeVertices(PointOn(some, random), PointOnEdge(other, random));
    } else if (kind == 3) {
      ray = VectorizeVertices(random.Point(-extent, extent), PointOnEdge(other, random));
    } else if (kind == 4) {
      ray = vector3f{PointOnEdge(some, random), random.Direction()};
    } else {
      vertex3f d{0, 0, 0};
      int axis = random.Below(3);
      float sign = random.Below(2) ? 1.0f : -1.0f;
      if (axis == 0) d.x = sign;
      if (axis == 1) d.y = sign;
      if (axis == 2) d.z = sign;
      if (random.Below(2)) d.y = random.Uniform(-1, 1);
      ray = vector3f{PointOn(some, random), d};
    }
    Answer r;
    ::testing::AssertionResult same = Same(ray, scene, &r);
    if (!same) {
      ++failures;
      ADD_FAILURE() << same.message();
    }
    if (r.result == 1) {
      ++hits;
      previous = vector3f{r.hit, r.normal.direction};
    }
  }
  return hits;
}

// A third of the triangles are laid into a plane across an axis, whose
