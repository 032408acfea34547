// Rays the hierarchies cannot bound go to the plain scan.
#include "rayquery/bvhray.h"

#include <gtest/gtest.h>

#include <cmath>

#include "tests/mesh_scene.h"
#include "tests/owned_scene.h"
#include "tests/random_meshes.h"
#include "tests/reference_compare.h"

namespace {

TEST(BvhRay, TakesRaysItCannotBoundToTheReference) {
  Random random(9);
  OwnedScene owned(SceneFromMeshes({ClosedBox({-3, -3, -3}, {3, 3, 3}, true), Soup(-1, 1, 10, random)}));
  const vector3f odd[] = {{{0, 0, 0}, {0, 0, 0}},      {{0, 0, 0}, {NAN, 1, 0}},   {{INFINITY, 0, 0}, {1, 0, 0}},
                          {{0, 0, 0}, {1e-30f, 1, 0}}, {{0, 0, 0}, {1e20f, 1, 0}}, {{0, 0, 0}, {1e-38f, 0, 0}}};
  for (const vector3f& ray : odd) EXPECT_TRUE(Same(ray, owned.scene));
}

}  // namespace
