// Queries per second through the tree over objects against the loop over
// every object, on a room holding 10,000 small closed objects of 12 to 24
// triangles each. Prints a table; nothing passes or fails.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <vector>

#include "bench/raybench.h"
#include "rayquery/rayquery.h"
#include "rayquery/rayscene.h"
#include "reference/rayscan.h"
#include "scene/scene.h"
#include "tests/mesh_scene.h"

namespace {

// The reference scans all 10,000 objects for every ray: a few hundred rays
// check the answers without dominating the run.
constexpr int kCompared = 500;

// A double pyramid of `sides` sides (2 * sides triangles, facing out) around c.
Mesh Bipyramid(vertex3f c, float radius, float height, int sides) {
  Mesh mesh;
  vertex3f top{c.x, c.y + height, c.z};
  vertex3f bottom{c.x, c.y - height, c.z};
  for (int k = 0; k < sides; ++k) {
    double a0 = 6.283185307179586 * double(k) / double(sides);
    double a1 = 6.283185307179586 * double(k + 1) / double(sides);
    vertex3f p{c.x + float(double(radius) * std::cos(a0)), c.y, c.z + float(double(radius) * std::sin(a0))};
    vertex3f q{c.x + float(double(radius) * std::cos(a1)), c.y, c.z + float(double(radius) * std::sin(a1))};
    mesh.push_back(CV_triangle{p, top, q});
    mesh.push_back(CV_triangle{p, q, bottom});
  }
  return mesh;
}

Mesh Box(vertex3f lo, vertex3f hi, bool inward) {
  CV_triangle box[kBoxTriangleCount];
  BuildBoxTriangles(lo, hi, box);
  Mesh mesh;
  for (const CV_triangle& t : box) mesh.push_back(inward ? CV_triangle{t.a, t.c, t.b} : t);
  return mesh;
}

// The room (object 0, seen from inside) and `count` objects scattered in it.
std::vector<Mesh> Objects(int count) {
  std::mt19937 engine(3);
  std::uniform_real_distribution<float> place(-95, 95);
  std::uniform_real_distribution<float> size(0.5f, 2.0f);
  std::vector<Mesh> meshes{Box({-100, -100, -100}, {100, 100, 100}, true)};
  while (int(meshes.size()) <= count) {
    vertex3f c{place(engine), place(engine), place(engine)};
    float s = size(engine);
    if (engine() % 2 == 0) {
      meshes.push_back(Box({c.x - s, c.y - s, c.z - s}, {c.x + s, c.y + s, c.z + s}, false));
    } else {
      meshes.push_back(Bipyramid(c, s, s, 6 + int(engine() % 7)));
    }
  }
  return meshes;
}

// Rays from the room's centre, and rays leaving the front faces those hit.
void MakeRays(CV_scene scene, int count, std::vector<vector3f>& from_centre, std::vector<vector3f>& from_surface) {
  std::mt19937 engine(1);
  while (int(from_surface.size()) < count) {
    vector3f ray{{0.5f, 0.25f, 0.125f}, RandomDirection(engine)};
    if (int(from_centre.size()) < count) from_centre.push_back(ray);
    vertex3f hit;
    vector3f normal;
    int object = 0;
    if (IntersectionRayScene(ray, scene, hit, normal, object) != 1) continue;
    from_surface.push_back(LeavingRay(hit, normal, engine));
  }
}

void Row(const char* label, CV_scene scene, const std::vector<vector3f>& rays) {
  int done_loop = 0, done_tree = 0;
  double loop = QueryRate(scene, rays, IntersectionRaySceneEveryObject, 2.0, done_loop);
  double tree = QueryRate(scene, rays, IntersectionRayScene, 2.0, done_tree);
  int differ = Mismatches(scene, rays, kCompared);
  std::printf("%-14s %14.0f %14.0f %8.1f %8d\n", label, loop, tree, tree / loop, differ);
  std::fflush(stdout);
}

}  // namespace

// objecttree_bench [objects]: the number of small objects (default 10000).
int main(int argc, char** argv) {
  int count = argc > 1 ? std::atoi(argv[1]) : 10000;
  std::vector<Mesh> meshes = Objects(count);
  auto start = std::chrono::steady_clock::now();
  CV_scene scene = SceneFromMeshes(meshes);
  BuildRayQuery(scene);
  double build = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::vector<vector3f> from_centre, from_surface;
  MakeRays(scene, 200000, from_centre, from_surface);
  std::printf(
      "Ray queries among %d objects of 12 to 24 triangles in a room (one core, queries per second of\n"
      "processor time; scene with its hierarchies built in %.2f s)\n",
      count, build);
  std::printf("%-14s %14s %14s %8s %8s\n", "rays", "every object", "object tree", "ratio", "differ");
  Row("from centre", scene, from_centre);
  Row("from surfaces", scene, from_surface);
  std::printf("(\"differ\" compares 500 answers of the tree with the reference scan)\n");
  FreeRayQuery(scene);
  FreeScene(scene);
  return 0;
}
