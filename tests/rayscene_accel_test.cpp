// The accelerated ray query against the plain scan, bit for bit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "config/settings.h"
#include "core/mt19937.h"
#include "core/raytriangle.h"
#include "rayquery/bvh.h"
#include "rayquery/objecttree.h"
#include "rayquery/rayquery.h"
#include "rayquery/rayscene.h"
#include "rayquery/trianglecache.h"
#include "reference/rayscan.h"
#include "sensor/image.h"
#include "sensor/sensor.h"
#include "test_files.h"
#include "tests/mesh_scene.h"
#include "tests/support.h"
#include "transport/sampling.h"

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kRaysPerScene = 20000;
#else
constexpr int kRaysPerScene = 1000000;
#endif

// A scene built the way the program builds it, released at the end.
struct OwnedScene {
  CV_scene scene{};
  OwnedScene() = default;
  OwnedScene(const OwnedScene&) = delete;
  OwnedScene& operator=(const OwnedScene&) = delete;
  ~OwnedScene() {
    FreeRayQuery(scene);
    FreeScene(scene);
  }
};

void Build(const std::vector<Mesh>& meshes, OwnedScene& owned) {
  owned.scene = SceneFromMeshes(meshes);
  BuildRayQuery(owned.scene);
}

class Random {
 public:
  explicit Random(uint32_t seed) : engine_(seed) {}
  float Uniform(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(engine_); }
  int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(engine_); }
  vertex3f Point(float lo, float hi) {
    float x = Uniform(lo, hi);
    float y = Uniform(lo, hi);
    float z = Uniform(lo, hi);
    return vertex3f{x, y, z};
  }
  vertex3f Direction() {
    for (;;) {
      vertex3f v = Point(-1, 1);
      float s = v.x * v.x + v.y * v.y + v.z * v.z;
      if (s > 1e-4f && s <= 1) return v;
    }
  }

 private:
  std::mt19937 engine_;
};

// A point of the triangle at barycentric weights formed in float, as a hit point would be.
vertex3f PointOn(CV_triangle t, Random& random) {
  float u = random.Uniform(0, 1);
  float v = random.Uniform(0, 1 - u);
  float w = 1 - u - v;
  return vertex3f{t.a.x * w + t.b.x * u + t.c.x * v, t.a.y * w + t.b.y * u + t.c.y * v,
                  t.a.z * w + t.b.z * u + t.c.z * v};
}

// A point on one of the triangle's edges or at a corner.
vertex3f PointOnEdge(CV_triangle t, Random& random) {
  const vertex3f P[3] = {t.a, t.b, t.c};
  int e = random.Below(3);
  float s = random.Below(4) == 0 ? float(random.Below(2)) : random.Uniform(0, 1);
  vertex3f A = P[e];
  vertex3f B = P[(e + 1) % 3];
  return vertex3f{A.x + (B.x - A.x) * s, A.y + (B.y - A.y) * s, A.z + (B.z - A.z) * s};
}

Mesh ClosedBox(vertex3f lo, vertex3f hi, bool inward) {
  CV_triangle box[12];
  BuildBoxTriangles(lo, hi, box);
  Mesh mesh;
  for (const CV_triangle& t : box) mesh.push_back(inward ? CV_triangle{t.a, t.c, t.b} : t);
  return mesh;
}

// A bumpy grid of quads sharing their edges, as two triangles each.
Mesh Grid(vertex3f origin, float cell, int n, float bump, Random& random) {
  std::vector<vertex3f> points;
  for (int i = 0; i <= n; ++i) {
    for (int j = 0; j <= n; ++j) {
      float h = bump == 0 ? 0 : random.Uniform(-bump, bump);
      points.push_back(vertex3f{origin.x + cell * float(i), origin.y + cell * float(j), origin.z + h});
    }
  }
  Mesh mesh;
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      vertex3f p00 = points[size_t(i * (n + 1) + j)];
      vertex3f p10 = points[size_t((i + 1) * (n + 1) + j)];
      vertex3f p01 = points[size_t(i * (n + 1) + j + 1)];
      vertex3f p11 = points[size_t((i + 1) * (n + 1) + j + 1)];
      mesh.push_back(CV_triangle{p00, p10, p11});
      mesh.push_back(CV_triangle{p00, p11, p01});
    }
  }
  return mesh;
}

// Slivers: a fan of needles around a point, each a few thousandths wide.
Mesh Slivers(vertex3f centre, int n, Random& random) {
  Mesh mesh;
  for (int k = 0; k < n; ++k) {
    vertex3f d = random.Direction();
    vertex3f side = random.Direction();
    float width = random.Uniform(1e-5f, 3e-3f);
    vertex3f b{centre.x + d.x, centre.y + d.y, centre.z + d.z};
    vertex3f c{b.x + side.x * width, b.y + side.y * width, b.z + side.z * width};
    mesh.push_back(random.Below(2) ? CV_triangle{centre, b, c} : CV_triangle{centre, c, b});
  }
  return mesh;
}

// Tiny triangles (edges 1e-5 to 1e-3) in a cloud, with some exact duplicates
// and some degenerate ones.
Mesh Tiny(vertex3f centre, int n, Random& random) {
  Mesh mesh;
  for (int k = 0; k < n; ++k) {
    vertex3f a = random.Point(-0.3f, 0.3f);
    a = vertex3f{centre.x + a.x, centre.y + a.y, centre.z + a.z};
    float size = std::pow(10.0f, random.Uniform(-5, -3));
    vertex3f u = random.Direction();
    vertex3f v = random.Direction();
    CV_triangle t{a,
                  {a.x + u.x * size, a.y + u.y * size, a.z + u.z * size},
                  {a.x + v.x * size, a.y + v.y * size, a.z + v.z * size}};
    mesh.push_back(t);
    if (k % 7 == 0) mesh.push_back(t);
    if (k % 11 == 0) mesh.push_back(CV_triangle{a, a, t.b});
  }
  return mesh;
}

Mesh Soup(float lo, float hi, int n, Random& random) {
  Mesh mesh;
  for (int k = 0; k < n; ++k) {
    vertex3f a = random.Point(lo, hi);
    vertex3f d1 = random.Direction();
    vertex3f d2 = random.Direction();
    mesh.push_back(CV_triangle{a, {a.x + d1.x, a.y + d1.y, a.z + d1.z}, {a.x + d2.x, a.y + d2.y, a.z + d2.z}});
  }
  return mesh;
}

struct Answer {
  int result;
  vertex3f hit;
  vector3f normal;
  int object;
};

Answer Ask(vector3f ray, CV_scene scene, bool reference) {
  Answer q{-7, {9, 9, 9}, {{9, 9, 9}, {9, 9, 9}}, -7};
  q.result = reference ? IntersectionRaySceneReference(ray, scene, q.hit, q.normal, q.object)
                       : IntersectionRayScene(ray, scene, q.hit, q.normal, q.object);
  return q;
}

::testing::AssertionResult Same(vector3f ray, CV_scene scene, Answer* out = nullptr) {
  Answer r = Ask(ray, scene, true);
  Answer a = Ask(ray, scene, false);
  if (out != nullptr) *out = r;
  if (r.result == a.result && SameBits(r.hit, a.hit) && SameBits(r.normal.origin, a.normal.origin) &&
      SameBits(r.normal.direction, a.normal.direction) && r.object == a.object) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "ray (" << ray.origin.x << ", " << ray.origin.y << ", " << ray.origin.z
                                       << ") -> (" << ray.direction.x << ", " << ray.direction.y << ", "
                                       << ray.direction.z << "): reference " << r.result << " object " << r.object
                                       << ", accelerated " << a.result << " object " << a.object;
}

std::vector<CV_triangle> AllTriangles(CV_scene scene) {
  std::vector<CV_triangle> all;
  for (int32_t i = 0; i < scene.object_count; ++i) {
    for (int32_t k = 0; k < scene.objects[i].triangle_count; ++k) all.push_back(scene.objects[i].triangles[k]);
  }
  return all;
}

// Rays of every kind the run makes and some it rarely makes: from hit points
// (as the sampling loop continues a path), from points on and at the edges of
// triangles, from inside boxes, towards corners and edges, along the axes.
int CompareOnRays(CV_scene scene, int rays, uint32_t seed, float extent) {
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
// edges the split form judges by one cross term each.
TEST(CachedTriangle, GivesThePlainTestsAcceptedResultsWithTheSameBits) {
  Random random(7);
  int certified = 0;
  for (int n = 0; n < 300000; ++n) {
    CV_triangle t;
    int shape = random.Below(4);
    if (shape == 0) t = Soup(-2, 2, 1, random)[0];
    if (shape == 1) t = Slivers(random.Point(-1, 1), 1, random)[0];
    if (shape == 2) t = Tiny(random.Point(-1, 1), 1, random)[0];
    if (shape == 3) t = CV_triangle{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    int flat_axis = random.Below(9);
    if (flat_axis == 0) t.b.x = t.c.x = t.a.x;
    if (flat_axis == 1) t.b.y = t.c.y = t.a.y;
    if (flat_axis == 2) t.b.z = t.c.z = t.a.z;
    vertex3f target = random.Below(2) ? PointOnEdge(t, random) : PointOn(t, random);
    vector3f ray = VectorizeVertices(random.Point(-3, 3), target);
    if (random.Below(8) == 0) ray.origin = PointOn(t, random);
    float t_plain = 5;
    vertex3f hit_plain{5, 5, 5};
    int result = IntersectionRayTriangle(ray, t, t_plain, hit_plain);
    CachedRay r = CacheRay(ray);
    CachedTriangle c = CacheTriangle(t);
    CachedPlane plane;
    CachedEdges edges;
    SplitCachedTriangle(c, 0, plane, edges);
    certified += edges.face_axis >= 0;
    for (CachedHitKind kind : {kFrontAheadOnly, kEitherAhead}) {
      bool expected = result == kRayFrontAhead || (kind == kEitherAhead && result == kRayBackAhead);
      float t_cached = 5;
      vertex3f hit_cached{5, 5, 5};
      bool got = CachedHit(r, c, kind, INFINITY, true, t_cached, hit_cached);
      ASSERT_EQ(got, expected) << "ray " << n << " result " << result;
      float t_split = 5;
      vertex3f hit_split{5, 5, 5};
      ASSERT_EQ(CachedHit(r, plane, edges, kind, INFINITY, true, t_split, hit_split), expected)
          << "ray " << n << " result " << result << " axis " << int(edges.face_axis);
      if (got) {
        ASSERT_EQ(Bits(t_cached), Bits(t_plain)) << "ray " << n;
        ASSERT_TRUE(SameBits(hit_cached, hit_plain)) << "ray " << n;
        ASSERT_EQ(Bits(t_split), Bits(t_plain)) << "ray " << n;
        ASSERT_TRUE(SameBits(hit_split, hit_plain)) << "ray " << n;
      }
    }
  }
  EXPECT_GT(certified, 300000 / 4);
}

TEST(AcceptanceBounds, HoldEveryPointThePlainTestAccepts) {
  Random random(11);
  int inside = 0;
  for (int n = 0; n < 300000; ++n) {
    CV_triangle t;
    int shape = random.Below(4);
    if (shape == 0) t = Soup(-100, 100, 1, random)[0];
    if (shape == 1) t = Slivers(random.Point(-1, 1), 1, random)[0];
    if (shape == 2) t = Tiny(random.Point(-1, 1), 1, random)[0];
    if (shape == 3) {
      // In a plane z = const: the box is as thin as the rounding of the hit point allows.
      t = Soup(-2, 2, 1, random)[0];
      t.b.z = t.a.z;
      t.c.z = t.a.z;
    }
    float lo[3];
    float hi[3];
    int kind = AcceptanceBounds(t, lo, hi);
    // Grazing rays and rays aimed just outside the edges probe the bands.
    vertex3f target = PointOnEdge(t, random);
    vertex3f push = random.Direction();
    float reach = std::pow(10.0f, random.Uniform(-7, -2));
    target = vertex3f{target.x + push.x * reach, target.y + push.y * reach, target.z + push.z * reach};
    vector3f ray = VectorizeVertices(random.Point(-3, 3), target);
    float t_plain = 0;
    vertex3f X{0, 0, 0};
    int result = IntersectionRayTriangle(ray, t, t_plain, X);
    if (result == kRayMiss) continue;
    ASSERT_NE(kind, 0) << "a triangle said never to accept accepted ray " << n;
    if (kind < 0) continue;
    ++inside;
    ASSERT_TRUE(lo[0] <= X.x && X.x <= hi[0] && lo[1] <= X.y && X.y <= hi[1] && lo[2] <= X.z && X.z <= hi[2])
        << "ray " << n;
  }
  EXPECT_GT(inside, 1000);
}

TEST(AcceptanceBounds, LeaveDegenerateTrianglesOutAndGiveNoBoxForNonFiniteOnes) {
  float lo[3];
  float hi[3];
  EXPECT_EQ(AcceptanceBounds(CV_triangle{{0, 0, 0}, {1, 1, 1}, {2, 2, 2}}, lo, hi), 0);
  EXPECT_EQ(AcceptanceBounds(CV_triangle{{1, 2, 3}, {1, 2, 3}, {0, 1, 0}}, lo, hi), 0);
  EXPECT_EQ(AcceptanceBounds(CV_triangle{{0, 0, 0}, {INFINITY, 0, 0}, {0, 1, 0}}, lo, hi), -1);
  EXPECT_EQ(AcceptanceBounds(CV_triangle{{0, 0, 0}, {NAN, 0, 0}, {0, 1, 0}}, lo, hi), -1);
  EXPECT_EQ(AcceptanceBounds(CV_triangle{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, lo, hi), 1);
}

// A needle whose short edge has a wide tolerance band is still boxed tightly
// across its length: the band pushes the short edge's line out along the
// needle, not sideways.
TEST(AcceptanceBounds, StayNarrowAcrossANeedleWithAWideBand) {
  // Long along x, 0.002 wide along z, in the plane y = 0 (the band of the
  // short edge is about 0.087 wide).
  CV_triangle needle{{0, 0, 0}, {0.3f, 0, 0.001f}, {0.3f, 0, -0.001f}};
  float lo[3];
  float hi[3];
  ASSERT_EQ(AcceptanceBounds(needle, lo, hi), 1);
  EXPECT_LT(hi[0] - lo[0], 0.9f);
  EXPECT_LT(hi[2] - lo[2], 0.02f);
  EXPECT_LT(hi[1] - lo[1], 0.01f);
}

TEST(RaySceneAccelerated, MatchesTheReferenceInAGeneratedRoomOfThinTinyAndFlatObjects) {
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
  Build({ClosedBox({-3, -3, -3}, {3, 3, 3}, true), mixed, repeated}, owned);
  int hits = CompareOnRays(owned.scene, kRaysPerScene, 1, 3.5f);
  EXPECT_GT(hits, kRaysPerScene / 2);
}

TEST(RaySceneAccelerated, MatchesTheReferenceAmongOverlappingObjectsAndLargeCoordinates) {
  Random random(5);
  OwnedScene owned;
  // The last object is flat in z: its boxes are as thin as rounding allows.
  Build({Soup(900, 1000, 10, random), Soup(950, 1000, 4, random), Mesh{}, Grid({950, 950, 990}, 10.0f, 4, 0, random)},
        owned);
  int hits = CompareOnRays(owned.scene, kRaysPerScene, 2, 1010);
  EXPECT_GT(hits, kRaysPerScene / 40);
}

TEST(RaySceneAccelerated, ScansObjectsBuiltByHandWithoutAHierarchy) {
  CV_triangle floor{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  CV_triangle box[12];
  BuildBoxTriangles({0, 0, 0}, {1, 1, 0}, box);
  CV_object object{0, 1, 1, 1, &floor, 12, box};
  CV_scene scene{1, &object, 0, nullptr};
  EXPECT_TRUE(Same(vector3f{{0.25f, 0.25f, 1}, {0, 0, -1}}, scene));
  EXPECT_EQ(Ask(vector3f{{0.25f, 0.25f, 1}, {0, 0, -1}}, scene, false).result, 1);
}

// Rays from far outside a small object's reach scan that object; the answers
// stay the same.
TEST(RaySceneAccelerated, ScansObjectsForRaysFromFarAway) {
  Random random(15);
  OwnedScene owned;
  Build({Soup(-1, 1, 40, random), Grid({-1, -1, 0}, 0.25f, 8, 0.01f, random)}, owned);
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

TEST(RaySceneAccelerated, TakesRaysItCannotBoundToTheReference) {
  Random random(9);
  OwnedScene owned;
  Build({ClosedBox({-3, -3, -3}, {3, 3, 3}, true), Soup(-1, 1, 10, random)}, owned);
  const vector3f odd[] = {{{0, 0, 0}, {0, 0, 0}},      {{0, 0, 0}, {NAN, 1, 0}},   {{INFINITY, 0, 0}, {1, 0, 0}},
                          {{0, 0, 0}, {1e-30f, 1, 0}}, {{0, 0, 0}, {1e20f, 1, 0}}, {{0, 0, 0}, {1e-38f, 0, 0}}};
  for (const vector3f& ray : odd) EXPECT_TRUE(Same(ray, owned.scene));
}

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

TEST(RaySceneAccelerated, MatchesTheReferenceAmongThousandsOfSmallObjectsThatTouchOverlapAndRepeat) {
  Random random(17);
  OwnedScene owned;
  Build(ManySmallObjects(2000, random), owned);
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
TEST(RaySceneAccelerated, MatchesTheReferenceAtTheEdgesOfTheHierarchysBoxes) {
  Random random(23);
  OwnedScene owned;
  Build({ClosedBox({-3, -3, -3}, {3, 3, 3}, true), Grid({-2, -2, -1}, 0.5f, 6, 0.05f, random), Soup(-2, 2, 60, random),
         Slivers({0.5f, 0.5f, 0.5f}, 20, random)},
        owned);
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

// The example scenes: rays leaving the lights and rays leaving the hit points.
TEST(RaySceneAccelerated, MatchesTheReferenceInTheExampleScenes) {
  for (const char* name : {"room", "lights", "rotated", "glossy"}) {
    SCOPED_TRACE(name);
    OwnedScene owned;
    std::string dir = std::string(CORVANE_SOURCE_DIR) + "/examples/" + name + "/";
    std::string wrl;
    std::ifstream cfg(dir + "corvane.cfg");
    for (std::string line; std::getline(cfg, line);) {
      if (line.rfind("SCENEFILENAME=", 0) == 0) wrl = line.substr(14, line.find(';') - 14);
    }
    ASSERT_EQ(CreateScene(dir + wrl, owned.scene), 1);
    BuildRayQuery(owned.scene);
    ASSERT_GT(owned.scene.light_count, 0);
    Random random(13);
    vertex3f from = owned.scene.lights[0].location;
    int hits = 0;
    for (int n = 0; n < kRaysPerScene / 50; ++n) {
      vector3f ray{from, random.Direction()};
      if (n % 2 == 0) ray.origin = owned.scene.lights[random.Below(owned.scene.light_count)].location;
      Answer r;
      ASSERT_TRUE(Same(ray, owned.scene, &r)) << "ray " << n;
      if (r.result == 1 && n % 2 == 1) {
        ++hits;
        from = r.hit;
      }
      if (n % 50 == 0) from = owned.scene.lights[0].location;
    }
    EXPECT_GT(hits, kRaysPerScene / 1000);
  }
}

// The image of a whole run in dir, made with the program's steps and seed,
// every ray of the sampling and of the visibility stage traced with query.
std::string WholeRunImage(const std::string& dir, RayQuery query) {
  uint32_t size = 0;
  float chance = 0;
  std::string name;
  bool wire = false;
  vertex3f eye{0, 0, 0}, center{0, 0, 0}, up{0, 0, 0}, ul{0, 0, 0}, ur{0, 0, 0}, dl{0, 0, 0}, dr{0, 0, 0};
  CV_scene scene{0, nullptr, 0, nullptr};
  init_genrand(50);
  bool read = false;
  InDirectory(dir, [&] {
    read = ReadSettings(size, chance, name, wire, eye, center, up, ul, ur, dl, dr) && CreateScene(name, scene) == 1;
  });
  BuildRayQuery(scene);
  CVDataSet dataset{0, 0, nullptr};
  if (!read || !AllocateDataSet(dataset, size)) return "";
  counter progress{-1, -1, nullptr, 0, 0};
  FillDataSet(scene, dataset, chance, progress, kStepsWithoutHitLimit, query);
  CVSensor sensor{};
  AllocateSensor(sensor, eye, center, up, ul, ur, dl, dr);
  std::string bytes;
  if (VisualizeDataSet(dataset, sensor, scene, 2, query) == 1) {
    int side = 1 << sensor.level;
    myImage image(side, side);
    SensorToImage(sensor, image);
    bytes.assign(reinterpret_cast<const char*>(image.data), size_t(side) * size_t(side));
  }
  std::free(sensor.pixels);
  FreeDataSet(dataset);
  FreeRayQuery(scene);
  FreeScene(scene);
  return bytes;
}

// Whole runs of every example (with a smaller data set) give the same image
// through the hierarchy and through the reference scan.
TEST(RaySceneAccelerated, WholeRunsOfTheExamplesGiveTheSameImage) {
  for (const char* name : {"room", "lights", "rotated", "glossy"}) {
    SCOPED_TRACE(name);
    TempDir dir;
    std::string source = std::string(CORVANE_SOURCE_DIR) + "/examples/" + name + "/";
    std::ifstream cfg(source + "corvane.cfg");
    std::string settings;
    for (std::string line; std::getline(cfg, line);) {
      if (line.rfind("DATASETSIZE=", 0) == 0) line = "DATASETSIZE=20000;";
      if (line.rfind("SCENEFILENAME=", 0) == 0) {
        std::string wrl = line.substr(14, line.find(';') - 14);
        dir.Write(wrl, ReadFileBytes(source + wrl));
      }
      settings += line + "\n";
    }
    dir.Write("corvane.cfg", settings);
    std::string accelerated = WholeRunImage(dir.path(), IntersectionRayScene);
    std::string reference = WholeRunImage(dir.path(), IntersectionRaySceneReference);
    EXPECT_GT(accelerated.size(), 1000000u);
    EXPECT_TRUE(accelerated == reference);
  }
}

}  // namespace
