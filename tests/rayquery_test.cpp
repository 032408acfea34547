// The query as the program builds it, against the plain scan, bit for bit:
// on the example scenes and in whole runs.
#include "rayquery/rayquery.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "config/settings.h"
#include "core/mt19937.h"
#include "rayquery/bvhbuild.h"
#include "rayquery/rayscene.h"
#include "reference/rayscan.h"
#include "sensor/image.h"
#include "sensor/sensor.h"
#include "test_files.h"
#include "tests/mesh_scene.h"
#include "tests/owned_scene.h"
#include "tests/random_meshes.h"
#include "tests/reference_compare.h"
#include "transport/sampling.h"

namespace {

TEST(RayQuery, ScansObjectsBuiltByHandWithoutAHierarchy) {
  CV_triangle floor{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  CV_triangle box[12];
  BuildBoxTriangles({0, 0, 0}, {1, 1, 0}, box);
  CV_object object{0, 1, 1, 1, &floor, 12, box};
  CV_scene scene{1, &object, 0, nullptr};
  EXPECT_TRUE(Same(vector3f{{0.25f, 0.25f, 1}, {0, 0, -1}}, scene));
  EXPECT_EQ(AnswerOf(vector3f{{0.25f, 0.25f, 1}, {0, 0, -1}}, scene, false).result, 1);
}

// The build hangs a hierarchy on every object and the tree on the scene; the
// release takes them all off again and may be repeated, so that FreeScene
// finds only records.
TEST(RayQuery, ReleaseClearsEveryStructureTheBuildHungOnTheRecords) {
  Random random(29);
  std::vector<Mesh> meshes;
  for (int i = 0; i < 10; ++i) meshes.push_back(Soup(float(i), float(i) + 1, 6, random));
  CV_scene scene = SceneFromMeshes(meshes);
  BuildRayQuery(scene);
  EXPECT_NE(scene.object_tree, nullptr);
  for (int32_t i = 0; i < scene.object_count; ++i) EXPECT_NE(scene.objects[i].acceleration, nullptr) << i;
  for (int round = 0; round < 2; ++round) {
    FreeRayQuery(scene);
    EXPECT_EQ(scene.object_tree, nullptr);
    for (int32_t i = 0; i < scene.object_count; ++i) EXPECT_EQ(scene.objects[i].acceleration, nullptr) << i;
  }
  FreeScene(scene);
}

// Threads share the build of a large object; what they build is what one
// thread builds, to the byte.
TEST(RayQuery, BuildsTheSameHierarchiesOnAnyNumberOfThreads) {
  Random random(31);
  const std::vector<Mesh> meshes{Soup(-10, 10, 30000, random), Soup(20, 21, 50, random)};
  CV_scene alone = SceneFromMeshes(meshes);
  CV_scene shared = SceneFromMeshes(meshes);
  BuildRayQuery(alone, 1);
  for (unsigned threads : {2u, 5u}) {
    SCOPED_TRACE(threads);
    BuildRayQuery(shared, threads);
    const Acceleration& a = *alone.objects[0].acceleration;
    const Acceleration& b = *shared.objects[0].acceleration;
    ASSERT_EQ(a.nodes.size(), b.nodes.size());
    ASSERT_EQ(a.wide.size(), b.wide.size());
    ASSERT_EQ(a.slot_planes.size(), b.slot_planes.size());
    EXPECT_EQ(std::memcmp(a.nodes.data(), b.nodes.data(), a.nodes.size() * sizeof(BvhNode)), 0);
    EXPECT_EQ(std::memcmp(a.wide.data(), b.wide.data(), a.wide.size() * sizeof(WideNode)), 0);
    EXPECT_EQ(std::memcmp(a.slot_planes.data(), b.slot_planes.data(), a.slot_planes.size() * sizeof(CachedPlane)), 0);
    EXPECT_EQ(a.unbounded_planes.size(), b.unbounded_planes.size());
    EXPECT_EQ(a.max_abs, b.max_abs);
    FreeRayQuery(shared);
  }
  FreeRayQuery(alone);
  FreeScene(alone);
  FreeScene(shared);
}

// The example scenes: rays leaving the lights and rays leaving the hit points.
TEST(RayQuery, MatchesTheReferenceInTheExampleScenes) {
  for (const char* name : {"room", "lights", "rotated", "glossy"}) {
    SCOPED_TRACE(name);
    OwnedScene owned;
    std::string dir = std::string(CORVANE_SOURCE_DIR) + "/examples/" + name + "/";
    std::string wrl;
    std::ifstream cfg(dir + "corvane.cfg");
    for (std::string line; std::getline(cfg, line);) {
      if (line.rfind("SCENEFILENAME=", 0) == 0) wrl = line.substr(14, line.find(';') - 14);
    }
    ASSERT_EQ(owned.Read(dir + wrl), 1);
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
  Settings settings;
  OwnedScene owned;
  init_genrand(50);
  bool read = false;
  InDirectory(dir, [&] { read = ReadSettings(settings) && owned.Read(settings.filename) == 1; });
  CVDataSet dataset{0, 0, nullptr};
  if (!read || !AllocateDataSet(dataset, settings.dataset_size)) return "";
  NoProgress progress;
  FillDataSet(owned.scene, dataset, settings.light_chance, progress, kStepsWithoutHitLimit, query);
  CVSensor sensor{};
  AllocateSensor(sensor, settings.camera);
  std::string bytes;
  if (VisualizeDataSet(dataset, sensor, owned.scene, 2, query) == 1) {
    int side = 1 << sensor.level;
    myImage image(side, side);
    SensorToImage(sensor, image);
    bytes.assign(reinterpret_cast<const char*>(image.data), size_t(side) * size_t(side));
  }
  std::free(sensor.pixels);
  FreeDataSet(dataset);
  return bytes;
}

// Whole runs of every example (with a smaller data set) give the same image
// through the hierarchy and through the reference scan.
TEST(RayQuery, WholeRunsOfTheExamplesGiveTheSameImage) {
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
