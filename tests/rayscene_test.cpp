#include "rayquery/rayscene.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "core/raytriangle.h"
#include "tests/mesh_scene.h"
#include "tests/owned_scene.h"
#include "tests/support.h"

namespace {

OwnedScene SceneOf(const std::vector<Mesh>& meshes) { return OwnedScene(SceneFromMeshes(meshes)); }

CV_triangle Lifted(CV_triangle t, float z) {
  t.a.z += z;
  t.b.z += z;
  t.c.z += z;
  return t;
}

CV_triangle Flipped(CV_triangle t) { return CV_triangle{t.a, t.c, t.b}; }

const CV_triangle kFloor{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
const vector3f kDown{{0.25f, 0.25f, 1}, {0, 0, -1}};

struct Query {
  int result;
  vertex3f hit;
  vector3f normal;
  int object;
};

// Outputs start at a sentinel so that an untouched output can be seen.
Query Ask(vector3f ray, const OwnedScene& owned) {
  CV_scene scene = owned.scene;
  Query q{-7, {9, 9, 9}, {{9, 9, 9}, {9, 9, 9}}, -7};
  q.result = IntersectionRayScene(ray, scene, q.hit, q.normal, q.object);
  return q;
}

void ExpectUntouched(const Query& q) {
  EXPECT_EQ(q.result, 0);
  ExpectVertex(q.hit, {9, 9, 9});
  ExpectVertex(q.normal.origin, {9, 9, 9});
  ExpectVertex(q.normal.direction, {9, 9, 9});
  EXPECT_EQ(q.object, -7);
}

}  // namespace

TEST(RayScene, FrontFaceAheadIsReportedWithItsTriangleNormal) {
  OwnedScene scene = SceneOf({{kFloor}});
  for (vector3f ray : {kDown, vector3f{{0.25f, 0.25f, 1}, {0, 0, -2}}}) {
    Query q = Ask(ray, scene);
    EXPECT_EQ(q.result, 1);
    ExpectVertex(q.hit, {0.25f, 0.25f, 0});
    ExpectVertex(q.normal.origin, {0, 0, 0});
    ExpectVertex(q.normal.direction, {0, 0, 1});
    EXPECT_EQ(q.object, 0);
  }
}

TEST(RayScene, NothingFoundLeavesTheOutputsUntouched) {
  ExpectUntouched(Ask(kDown, SceneOf({})));
  OwnedScene scene = SceneOf({{kFloor}});
  ExpectUntouched(Ask(vector3f{{5, 5, 1}, {0, 0, -1}}, scene));           // misses the box
  ExpectUntouched(Ask(vector3f{{0.9f, 0.9f, 1}, {0, 0, -1}}, scene));     // in the box, beside the triangle
  ExpectUntouched(Ask(vector3f{{0.25f, 0.25f, -1}, {0, 0, 1}}, scene));   // back face only
  ExpectUntouched(Ask(vector3f{{0.25f, 0.25f, -1}, {0, 0, -1}}, scene));  // behind the origin
  ExpectUntouched(Ask(vector3f{{0.25f, 0.25f, 0}, {0, 0, -1}}, scene));   // starts on it
  ExpectUntouched(Ask(kDown, SceneOf({Mesh{}})));                         // an object without triangles
}

TEST(RayScene, NearestObjectWinsAndBackFacesAreSeenThrough) {
  OwnedScene above = SceneOf({{kFloor}, {Lifted(kFloor, 0.5f)}});
  Query q = Ask(kDown, above);
  EXPECT_EQ(q.result, 1);
  EXPECT_EQ(q.object, 1);
  ExpectVertex(q.hit, {0.25f, 0.25f, 0.5f});
  ExpectVertex(q.normal.origin, {0, 0, 0.5f});
  ExpectVertex(q.normal.direction, {0, 0, 1});

  // Object 1 turned face down: met from behind, so object 0 is found through it.
  OwnedScene flipped = SceneOf({{kFloor}, {Flipped(Lifted(kFloor, 0.5f))}});
  q = Ask(kDown, flipped);
  EXPECT_EQ(q.object, 0);
  ExpectVertex(q.hit, {0.25f, 0.25f, 0});

  // Leaving object 0's surface upward: parameter 0 there, object 1 is next.
  q = Ask(vector3f{{0.25f, 0.25f, 0}, {0, 0, 1}}, flipped);
  EXPECT_EQ(q.result, 1);
  EXPECT_EQ(q.object, 1);
  ExpectVertex(q.normal.direction, {0, 0, -1});
}

TEST(RayScene, FartherFrontFaceOfTheSameObjectIsFoundBehindABackFace) {
  OwnedScene scene = SceneOf({{Flipped(Lifted(kFloor, 0.5f)), kFloor}});
  Query q = Ask(kDown, scene);
  EXPECT_EQ(q.result, 1);
  ExpectVertex(q.hit, {0.25f, 0.25f, 0});
}

TEST(RayScene, TiesKeepTheLowerObjectAndTheEarlierTriangle) {
  // The same plane with the corners listed from another start: equal
  // parameters, told apart by the normal's origin.
  const CV_triangle rotated{kFloor.b, kFloor.c, kFloor.a};
  Query q = Ask(kDown, SceneOf({{kFloor}, {rotated}}));
  EXPECT_EQ(q.object, 0);
  ExpectVertex(q.normal.origin, kFloor.a);
  q = Ask(kDown, SceneOf({{rotated}, {kFloor}}));
  EXPECT_EQ(q.object, 0);
  ExpectVertex(q.normal.origin, rotated.a);

  // A ray through the shared diagonal of a square hits both triangles at t = 1.
  const CV_triangle lower{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}};
  const CV_triangle upper{{1, 1, 0}, {0, 1, 0}, {0, 0, 0}};
  const vector3f diagonal{{0.5f, 0.5f, 1}, {0, 0, -1}};
  q = Ask(diagonal, SceneOf({{lower, upper}}));
  EXPECT_EQ(q.result, 1);
  ExpectVertex(q.normal.origin, lower.a);
  q = Ask(diagonal, SceneOf({{upper, lower}}));
  ExpectVertex(q.normal.origin, upper.a);
}

TEST(RayScene, BoxMetFromInsideMakesItsObjectACandidate) {
  // A floor triangle and a second one higher up give a box from z = 0 to 2;
  // the ray starts inside it and meets the box only from behind.
  OwnedScene scene = SceneOf({{kFloor, Lifted(CV_triangle{{5, 5, 0}, {6, 5, 0}, {5, 6, 0}}, 2)}});
  const CV_object& o = scene.scene.objects[0];
  bool front_ahead = false;
  bool back_ahead = false;
  for (int s = 0; s < 12; ++s) {
    float t = 0;
    vertex3f x{};
    int r = IntersectionRayTriangle(kDown, o.box_triangles[s], t, x);
    front_ahead = front_ahead || r == kRayFrontAhead;
    back_ahead = back_ahead || r == kRayBackAhead;
  }
  ASSERT_FALSE(front_ahead);
  ASSERT_TRUE(back_ahead);
  Query q = Ask(kDown, scene);
  EXPECT_EQ(q.result, 1);
  ExpectVertex(q.hit, {0.25f, 0.25f, 0});
}
