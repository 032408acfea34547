// The tree over a scene's objects against the plain scan, bit for bit.
#include "rayquery/objecttree.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/mesh_scene.h"
#include "tests/owned_scene.h"
#include "tests/random_meshes.h"
#include "tests/reference_compare.h"

namespace {

// Many small objects for the tree over objects: closed boxes on a lattice
// that share faces, boxes and soups that overlap, and exact copies of earlier
// objects, so that objects tie on t and the lower index must win.
std::vector<Mesh> ManySmallObjects(int count, Random& random) {
  std::vector<Mesh> meshes;
  while (int(meshes.size()) < count) {
    int kind = random.Below(8);
    if (kind < 3) {
      float x = float(random.Below(12) - 6);
      float y = float(random.Below(12) - 6);
      float z = float(random.Below(12) - 6);
      meshes.push_back(ClosedBox({x, y, z}, {x + 1, y + 1, z + 1}, kind == 0));
    } else if (kind < 6) {
      vertex3f c = random.Point(-6, 6);
      Mesh soup = Soup(-0.4f, 0.4f, 12 + random.Below(13), random);
      for (CV_triangle& t : soup) {
        for (vertex3f* v : {&t.a, &t.b, &t.c}) *v = vertex3f{v->x + c.x, v->y + c.y, v->z + c.z};
      }
      meshes.push_back(soup);
    } else if (kind == 6 && !meshes.empty()) {
      meshes.push_back(meshes[size_t(random.Below(int(meshes.size())))]);
    } else {
      Mesh grid = Grid(random.Point(-6, 6), 0.25f, 3, random.Below(2) ? 0 : 0.05f, random);
      meshes.push_back(grid);
    }
  }
  return meshes;
}

TEST(ObjectTree, MatchesTheReferenceAmongThousandsOfSmallObjectsThatTouchOverlapAndRepeat) {
  Random random(17);
  OwnedScene owned(SceneFromMeshes(ManySmallObjects(2000, random)));
  ASSERT_NE(owned.scene.object_tree, nullptr);
  // The reference scans every object for each ray: a few thousand rays do.
  int hits = CompareOnRays(owned.scene, kRaysPerScene / 250, 4, 7);
  EXPECT_GT(hits, kRaysPerScene / 500);
  // Rays from beyond the boxes' reach, and rays no box holds for, take the
  // loop over every object instead of the tree.
  for (int n = 0; n < 200; ++n) {
    float far = std::pow(10.0f, random.Uniform(4, 9));
    vertex3f from = random.Direction();
    from = vertex3f{from.x * far, from.y * far, from.z * far};
    const CV_object& some = owned.scene.objects[random.Below(owned.scene.object_count)];
    ASSERT_TRUE(Same(VectorizeVertices(from, PointOn(some.triangles[0], random)), owned.scene)) << "ray " << n;
  }
  for (const vector3f& ray : {vector3f{{0, 0, 0}, {1e-30f, 1, 0}}, vector3f{{0, 0, 0}, {NAN, 1, 0}}}) {
    EXPECT_TRUE(Same(ray, owned.scene));
  }
}

}  // namespace
