#include "import/framing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "config/settings.h"
#include "core/raytriangle.h"
#include "rayquery/rayquery.h"
#include "rayquery/rayscene.h"
#include "scene/scene.h"
#include "tests/import_runs.h"
#include "tests/test_files.h"

namespace {

// Where the line from p to the eye crosses the sensor's plane, as shares of
// the sensor's sides from ul (along ul-ur, along ul-dl), and how far along
// the line (0 at p, 1 at the eye).
struct OnSensor {
  double along_ur, along_dl, t;
};

OnSensor Project(vertex3f p, const Camera& c) {
  double3 a = Sub(ToDouble3(c.ur), ToDouble3(c.ul)), b = Sub(ToDouble3(c.dl), ToDouble3(c.ul)), n = Cross(a, b);
  double3 line = Sub(ToDouble3(c.eye), ToDouble3(p));
  double t = Dot(Sub(ToDouble3(c.ul), ToDouble3(p)), n) / Dot(line, n);
  double3 hit = Sub(double3{p.x + t * line.x, p.y + t * line.y, p.z + t * line.z}, ToDouble3(c.ul));
  return OnSensor{Dot(hit, a) / Dot(a, a), Dot(hit, b) / Dot(b, b), t};
}

Camera ReadCamera(const std::string& dir) {
  Settings settings;
  InDirectory(dir, [&] { ReadSettings(settings); });
  return settings.camera;
}

// The point of the sensor at shares u along ul-ur and v along ul-dl.
vertex3f SensorPoint(const Camera& c, float u, float v) {
  return vertex3f{c.ul.x + u * (c.ur.x - c.ul.x) + v * (c.dl.x - c.ul.x),
                  c.ul.y + u * (c.ur.y - c.ul.y) + v * (c.dl.y - c.ul.y),
                  c.ul.z + u * (c.ur.z - c.ul.z) + v * (c.dl.z - c.ul.z)};
}

bool SeesLight(vertex3f p, vector3f normal, vertex3f light, const CV_scene& scene) {
  vector3f towards = NormalizeVector(VectorizeVertices(p, light));
  if (!(ScalarMultiply(NormalizeVector(normal), towards) > 0.0f)) return false;
  vertex3f hit{};
  vector3f ignored = ZeroVector();
  int object = -1;
  return IntersectionRayScene(towards, scene, hit, ignored, object) != 1 ||
         VertexDistance(p, hit) >= VertexDistance(p, light);
}

// What the eye sees through a grid over the sensor, the picture's upper and
// lower half apart (its rows run along ul-ur): how much is in direct light
// of some light.
struct LitShares {
  int seen[2] = {0, 0}, lit[2] = {0, 0};
  int model_seen = 0, model_lit = 0;
};

LitShares LookThroughSensor(const Camera& camera, const CV_scene& scene) {
  constexpr int kGrid = 48;
  LitShares shares;
  for (int i = 0; i < kGrid; ++i) {
    for (int j = 0; j < kGrid; ++j) {
      float u = (float(i) + 0.5f) / kGrid, v = (float(j) + 0.5f) / kGrid;
      vector3f ray = NormalizeVector(VectorizeVertices(camera.eye, SensorPoint(camera, u, v)));
      vertex3f hit{};
      vector3f normal = ZeroVector();
      int object = -1;
      if (IntersectionRayScene(ray, scene, hit, normal, object) != 1) continue;
      bool lit = false;
      for (int l = 0; l < scene.light_count; ++l) lit = lit || SeesLight(hit, normal, scene.lights[l].location, scene);
      int half = v < 0.5f ? 0 : 1;
      shares.seen[half] += 1;
      shares.lit[half] += lit ? 1 : 0;
      shares.model_seen += object > 0 ? 1 : 0;
      shares.model_lit += object > 0 && lit ? 1 : 0;
    }
  }
  return shares;
}

}  // namespace

TEST(Framing, EveryCornerOfTheBoxProjectsOntoTheSensorFrontBetweenItAndTheEye) {
  vertex3f low{-200, 0, -120}, high{200, 150, 120};
  const vertex3f views[] = {kDefaultView, {0, 0, 1}, {1, 0, 0}, {-1, 0.5f, -0.2f}, {0, 1, 0}, {0.1f, -1, 0}};
  for (vertex3f view : views) {
    Camera camera = FrameBox(low, high, view);
    float width = VertexDistance(camera.ul, camera.dl);
    EXPECT_GT(width, 100.0f);
    EXPECT_LT(width, 1000.0f);
    for (int corner = 0; corner < 8; ++corner) {
      vertex3f p{(corner & 1) ? high.x : low.x, (corner & 2) ? high.y : low.y, (corner & 4) ? high.z : low.z};
      vector3f line = VectorizeVertices(p, camera.eye);
      float t = 0;
      vertex3f hit{};
      int first = IntersectionRayTriangle(line, CV_triangle{camera.dl, camera.ul, camera.ur}, t, hit);
      if (first != kRayFrontAhead) {
        EXPECT_EQ(IntersectionRayTriangle(line, CV_triangle{camera.dl, camera.ur, camera.dr}, t, hit), kRayFrontAhead)
            << "view " << view.x << "," << view.y << "," << view.z << " corner " << corner;
      }
      EXPECT_LT(t, 1.0f) << "the sensor lies between the box and the eye";
    }
  }
}

TEST(Framing, UpInTheSceneIsUpAndRightIsRightInThePicture) {
  // The picture's top row runs from ul to ur, its left column from ul to dl;
  // right is right as the eye sees it.
  vertex3f low{-100, 0, -100}, high{100, 200, 100};
  for (vertex3f view : {kDefaultView, vertex3f{1, 0.2f, 0}, vertex3f{-1, 0.4f, 0.6f}, vertex3f{0, 1, 0}}) {
    Camera camera = FrameBox(low, high, view);
    auto along = [&](vertex3f p, vertex3f to) {
      vector3f line = VectorizeVertices(p, camera.eye);
      float t = 0;
      vertex3f hit{};
      if (IntersectionRayTriangle(line, CV_triangle{camera.dl, camera.ul, camera.ur}, t, hit) != kRayFrontAhead) {
        IntersectionRayTriangle(line, CV_triangle{camera.dl, camera.ur, camera.dr}, t, hit);
      }
      return ScalarMultiply(VectorizeVertices(camera.ul, hit), VectorizeVertices(camera.ul, to));
    };
    vertex3f right = UnitDirection(CrossProduct(camera.up, PointDifference(camera.eye, camera.center)));
    vertex3f higher = PointAlong(camera.center, camera.up, 10.0f);
    vertex3f further_right = PointAlong(camera.center, right, 10.0f);
    std::string where = std::to_string(view.x) + "," + std::to_string(view.y) + "," + std::to_string(view.z);
    EXPECT_LT(along(higher, camera.dl), along(camera.center, camera.dl)) << where;
    EXPECT_GT(along(further_right, camera.ur), along(camera.center, camera.ur)) << where;
  }
}

// Real models from the four sides, from above (straight, and nearly so, the
// view that once left the picture's upper half in the model's shadow) and
// from below: every point of the model lands on the sensor at least the
// margin from each edge, and the widest extent exactly so; of what the eye
// sees, most of the model and a good part of each half of the picture is in
// direct light.
TEST(Framing, EveryViewShowsTheWholeModelWithItsMarginAndLitWhereTheEyeLooks) {
  const char* models[] = {"OBJ/spider.obj", "glTF2/2CylinderEngine-glTF-Binary/2CylinderEngine.glb", "Collada/duck.dae",
                          "PLY/Wuson.ply", "WRL/MotionCaptureROM.WRL"};
  const char* views[] = {"1,0,0", "-1,0,0", "0,0,1", "0,0,-1", "0,1,0", "0,1,0.01", "0,-1,0"};
  constexpr double kRounding = 1e-3;  // float corners and points of a few hundred units
  for (const char* name : models) {
    std::string model = kModels + name;
    if (!std::filesystem::exists(model)) GTEST_SKIP() << "assimp-testmodels is not installed";
    for (const char* view : views) {
      std::string where = std::string(name) + " --view " + view;
      TempDir dir;
      ASSERT_EQ(Import({model, "-o", dir.path(), "--view", view}).status, 0) << where;
      Camera camera = ReadCamera(dir.path());
      std::string scene_file;
      for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        if (entry.path().extension() == ".wrl") scene_file = entry.path().string();
      }
      CV_parser_data data{};
      ReadDataFile(scene_file, data);
      double nearest_edge = 1.0;
      for (int o = 1; o < data.object_count; ++o) {  // object 0 is the room
        for (int p = 0; p < data.objects[o].point_count; ++p) {
          OnSensor s = Project(data.objects[o].points[p], camera);
          ASSERT_GT(s.t, 0.0) << where;
          ASSERT_LT(s.t, 1.0) << where;
          nearest_edge = std::min({nearest_edge, s.along_ur, 1.0 - s.along_ur, s.along_dl, 1.0 - s.along_dl});
        }
      }
      FreeParserData(data);
      EXPECT_NEAR(nearest_edge, kFrameMargin, kRounding) << where;

      CV_scene scene{};
      ASSERT_EQ(CreateScene(scene_file, scene), 1);
      BuildRayQuery(scene);
      LitShares shares = LookThroughSensor(camera, scene);
      FreeRayQuery(scene);
      FreeScene(scene);
      EXPECT_GE(shares.model_lit, 0.6 * shares.model_seen) << where;
      for (int half = 0; half < 2; ++half) {
        EXPECT_GE(shares.lit[half], 0.25 * shares.seen[half]) << where << (half == 0 ? " upper" : " lower") << " half";
      }
    }
  }
}
