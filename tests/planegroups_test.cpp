// Objects of few triangles, searched four planes at a time, against the
// plain scan, bit for bit.
#include "rayquery/planegroups.h"

#include <gtest/gtest.h>

#include "tests/mesh_scene.h"
#include "tests/owned_scene.h"
#include "tests/random_meshes.h"
#include "tests/reference_compare.h"

namespace {

TEST(PlaneGroups, MatchesTheReferenceAmongOverlappingObjectsAndLargeCoordinates) {
  Random random(5);
  OwnedScene owned;
  // The last object is flat in z: its boxes are as thin as rounding allows.
  owned.Adopt(SceneFromMeshes(
      {Soup(900, 1000, 10, random), Soup(950, 1000, 4, random), Mesh{}, Grid({950, 950, 990}, 10.0f, 4, 0, random)}));
  int hits = CompareOnRays(owned.scene, kRaysPerScene, 2, 1010);
  EXPECT_GT(hits, kRaysPerScene / 40);
}

}  // namespace
