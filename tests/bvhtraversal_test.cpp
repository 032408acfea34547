// The walk of an object's hierarchy against the plain scan, bit for bit.
#include "rayquery/bvhtraversal.h"

#include <gtest/gtest.h>

#include <cmath>

#include "rayquery/bvhbuild.h"
#include "tests/mesh_scene.h"
#include "tests/owned_scene.h"
#include "tests/random_meshes.h"
#include "tests/reference_compare.h"

namespace {

TEST(BvhTraversal, MatchesTheReferenceInAGeneratedRoomOfThinTinyAndFlatObjects) {
  Random random(3);
  OwnedScene owned;
  // One object holds a flat grid, a bumpy grid, slivers, tiny triangles and a
  // duplicated triangle; the last object repeats two of its triangles.
  Mesh mixed = Grid({-2, -2, -1}, 1.0f, 2, 0, random);
  for (const Mesh& part : {Grid({-1, -1, 0.5f}, 0.5f, 2, 0.05f, random), Slivers({0.5f, 0.5f, 0.5f}, 6, random),
                           Tiny({-0.5f, 0.5f, 0}, 4, random), Soup(-1, 1, 2, random)}) {
    mixed.insert(mixed.end(), part.begin(), part.end());
  }
  Mesh repeated{mixed.back(), mixed[9]};
  owned.Adopt(SceneFromMeshes({ClosedBox({-3, -3, -3}, {3, 3, 3}, true), mixed, repeated}));
  int hits = CompareOnRays(owned.scene, kRaysPerScene, 1, 3.5f);
  EXPECT_GT(hits, kRaysPerScene / 2);
}

// Rays from far outside a small object's reach scan that object; the answers
// stay the same.
TEST(BvhTraversal, ScansObjectsForRaysFromFarAway) {
  Random random(15);
  OwnedScene owned(SceneFromMeshes({Soup(-1, 1, 40, random), Grid({-1, -1, 0}, 0.25f, 8, 0.01f, random)}));
  int hits = 0;
  for (int n = 0; n < 2000; ++n) {
    float far = std::pow(10.0f, random.Uniform(4, 9));
    vertex3f from = random.Direction();
    from = vertex3f{from.x * far, from.y * far, from.z * far};
    vector3f ray = VectorizeVertices(from, PointOn(owned.scene.objects[random.Below(2)].triangles[0], random));
    Answer r;
    ASSERT_TRUE(Same(ray, owned.scene, &r)) << "ray " << n;
    hits += r.result == 1;
  }
  EXPECT_GT(hits, 100);
}

// A point on the box lo..hi: at a corner, on an edge or on a face, pushed
// off it by 1e-7 to 1e-2 now and then.
vertex3f PointOnBox(const float lo[3], const float hi[3], Random& random) {
  float p[3];
  int free_axes = random.Below(3);
  for (int i = 0; i < 3; ++i) p[i] = random.Below(2) ? lo[i] : hi[i];
  for (int k = 0; k < free_axes; ++k) {
    int i = random.Below(3);
    p[i] = random.Uniform(lo[i], hi[i]);
  }
  vertex3f v{p[0], p[1], p[2]};
  if (random.Below(2)) {
    vertex3f push = random.Direction();
    float reach = std::pow(10.0f, random.Uniform(-7, -2));
    v = vertex3f{v.x + push.x * reach, v.y + push.y * reach, v.z + push.z * reach};
  }
  return v;
}

// Rays at the boxes the hierarchies are walked by (the nodes, which are the
// wide nodes' lanes, and the reach boxes): aimed at their corners, edges and
// faces, starting on them or inside them, along the axes.
TEST(BvhTraversal, MatchesTheReferenceAtTheEdgesOfTheHierarchysBoxes) {
  Random random(23);
  OwnedScene owned;
  owned.Adopt(SceneFromMeshes({ClosedBox({-3, -3, -3}, {3, 3, 3}, true), Grid({-2, -2, -1}, 0.5f, 6, 0.05f, random),
                               Soup(-2, 2, 60, random), Slivers({0.5f, 0.5f, 0.5f}, 20, random)}));
  int failures = 0;
  for (int n = 0; n < kRaysPerScene / 10 && failures < 5; ++n) {
    const Acceleration* a = owned.scene.objects[random.Below(owned.scene.object_count)].acceleration;
    ASSERT_NE(a, nullptr);
    const BvhNode& node = a->nodes[size_t(random.Below(int(a->nodes.size())))];
    bool reach = random.Below(4) == 0 && a->has_reach;
    const float* lo = reach ? a->reach_lo : node.lo;
    const float* hi = reach ? a->reach_hi : node.hi;
    vertex3f on = PointOnBox(lo, hi, random);
    vector3f ray;
    int kind = random.Below(4);
    if (kind == 0) ray = VectorizeVertices(random.Point(-4, 4), on);
    if (kind == 1) ray = vector3f{on, random.Direction()};
    if (kind == 2)
      ray = vector3f{{random.Uniform(lo[0], hi[0]), random.Uniform(lo[1], hi[1]), random.Uniform(lo[2], hi[2])},
                     random.Direction()};
    if (kind == 3) {
      vertex3f d{0, 0, 0};
      float sign = random.Below(2) ? 1.0f : -1.0f;
      int axis = random.Below(3);
      if (axis == 0) d.x = sign;
      if (axis == 1) d.y = sign;
      if (axis == 2) d.z = sign;
      ray = vector3f{on, d};
    }
    ::testing::AssertionResult same = Same(ray, owned.scene);
    if (!same) {
      ++failures;
      ADD_FAILURE() << same.message();
    }
  }
}

}  // namespace
