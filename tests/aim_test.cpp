#include "core/aim.h"

#include <gtest/gtest.h>

#include <cmath>

#include "tests/example_camera.h"
#include "tests/support.h"

namespace {

Camera Aimed(vertex3f eye, vertex3f center, vertex3f up) {
  Camera camera;
  camera.eye = eye;
  camera.center = center;
  camera.up = up;
  return camera;
}

double3 Edge(vertex3f from, vertex3f to) { return Sub(ToDouble3(to), ToDouble3(from)); }

TEST(Aim, ExampleAimGivesTheExampleSensorUprightAndUnmirrored) {
  Camera example = ExampleCamera();
  Camera aimed = Aimed(example.eye, example.center, example.up);
  double fov = SpannedFieldOfView(example);
  EXPECT_NEAR(fov, 2 * std::atan(110.0 / 590.0) * 180 / 3.141592653589793, 1e-9);
  // The examples' sensor stands 590 in front of the eye.
  PlaceSensor(MakeViewFrame(aimed, fov), 590, aimed);
  ExpectVertex(aimed.ul, example.ul, 1e-4f);
  ExpectVertex(aimed.ur, example.ur, 1e-4f);
  ExpectVertex(aimed.dl, example.dl, 1e-4f);
  ExpectVertex(aimed.dr, example.dr, 1e-4f);
}

TEST(Aim, SensorIsASquareAcrossTheLineOfSightWithUpAtTheTop) {
  Camera camera = Aimed({3, -40, 25}, {-7, 12, 1}, {0.2f, 0.1f, 1});
  const double fov = 50;
  const double depth = 30;
  ViewFrame frame = MakeViewFrame(camera, fov);
  PlaceSensor(frame, depth, camera);
  double3 across = Edge(camera.ul, camera.ur);
  double3 down = Edge(camera.ul, camera.dl);
  double side = 2 * depth * std::tan(fov / 2 * 3.141592653589793 / 180);
  const double tolerance = 1e-5 * side;
  EXPECT_NEAR(Length(across), side, tolerance);
  EXPECT_NEAR(Length(down), side, tolerance);
  EXPECT_NEAR(Length(Sub(Edge(camera.dl, camera.dr), across)), 0, tolerance);
  EXPECT_NEAR(Dot(across, down), 0, tolerance * side);
  double3 sight = Unit(Edge(camera.eye, camera.center));
  EXPECT_NEAR(Dot(across, sight), 0, tolerance);
  EXPECT_NEAR(Dot(down, sight), 0, tolerance);
  // The middle lies on the line of sight, depth in front of the eye.
  double3 middle = Scale(0.5, Add(ToDouble3(camera.ul), ToDouble3(camera.dr)));
  EXPECT_NEAR(Length(Sub(middle, Add(ToDouble3(camera.eye), Scale(depth, sight)))), 0, tolerance);
  // Up in the scene is up on the sensor, and the right as the eye sees it is right.
  EXPECT_GT(Dot(Scale(-1, down), ToDouble3(camera.up)), 0);
  EXPECT_GT(Dot(across, Cross(sight, ToDouble3(camera.up))), 0);
}

TEST(Aim, RefusesAnAimThatCannotGiveAPicture) {
  struct Row {
    const char* what;
    Camera camera;
    double fov;
  };
  const Camera good = Aimed({0, 0, 10}, {0, 0, 0}, {0, 1, 0});
  const Row rows[] = {
      {"no field of view", good, 0},
      {"a half turn", good, 180},
      {"a negative field", good, -20},
      {"beyond a half turn", good, 200},
      {"NaN field", good, NAN},
      {"up along the line of sight", Aimed({0, 0, 10}, {0, 0, 0}, {0, 0, -3}), 40},
      {"up against the line of sight", Aimed({0, 0, 10}, {0, 0, 0}, {0, 0, 1}), 40},
      {"no up", Aimed({0, 0, 10}, {0, 0, 0}, {0, 0, 0}), 40},
      {"eye on the point looked at", Aimed({1, 2, 3}, {1, 2, 3}, {0, 1, 0}), 40},
      {"eye at infinity", Aimed({0, 0, INFINITY}, {0, 0, 0}, {0, 1, 0}), 40},
  };
  for (const Row& row : rows) {
    EXPECT_NE(AimProblem(row.camera, row.fov), "") << row.what;
  }
  EXPECT_EQ(AimProblem(good, 179.9), "");
  EXPECT_EQ(AimProblem(good, 0.01), "");
}

TEST(Aim, DepthInViewCountsOnlyPointsInFrontAndInsideTheView) {
  ViewFrame frame = MakeViewFrame(Aimed({0, 0, 10}, {0, 0, 0}, {0, 1, 0}), 90);
  EXPECT_DOUBLE_EQ(DepthInView(frame, {0, 0, 0}), 10);
  EXPECT_DOUBLE_EQ(DepthInView(frame, {4, -4, 5}), 5);
  EXPECT_TRUE(std::isinf(DepthInView(frame, {6, 0, 5})));
  EXPECT_TRUE(std::isinf(DepthInView(frame, {0, 0, 12})));
  EXPECT_TRUE(std::isinf(DepthInView(frame, {0, 0, 10})));
}

TEST(Aim, SensorStandsInFrontOfTheNearestSampleOrOfThePointLookedAt) {
  Camera camera = Aimed({0, 0, 10}, {0, 0, 0}, {0, 1, 0});
  ViewFrame frame = MakeViewFrame(camera, 60);
  EXPECT_DOUBLE_EQ(SensorDepth(frame, camera, 4), kSensorDepthShare * 4);
  EXPECT_DOUBLE_EQ(SensorDepth(frame, camera, INFINITY), kSensorDepthShare * 10);
  EXPECT_LT(kSensorDepthShare, 1);
}

TEST(Aim, SpannedFieldOfViewIsNaNForASensorWithoutWidth) {
  EXPECT_TRUE(std::isnan(SpannedFieldOfView(Camera{})));
  Camera point = ExampleCamera();
  point.ul = point.ur = point.dl = point.dr = vertex3f{0, 0, 0};
  EXPECT_TRUE(std::isnan(SpannedFieldOfView(point)));
}

TEST(Aim, TurningAboutUpKeepsHeightAndDistance) {
  Camera camera = ExampleCamera();
  EXPECT_TRUE(SameBits(TurnedAboutUp(camera, 0).eye, camera.eye));
  EXPECT_TRUE(SameBits(TurnedAboutUp(camera, 360).eye, camera.eye));
  ExpectVertex(TurnedAboutUp(camera, 90).eye, {700, 100, 0}, 1e-3f);
  ExpectVertex(TurnedAboutUp(camera, 180).eye, {0, 100, -700}, 1e-3f);
  Camera turned = TurnedAboutUp(camera, 123);
  EXPECT_EQ(turned.eye.y, camera.eye.y);
  EXPECT_NEAR(Length(Edge(turned.center, turned.eye)), 700, 1e-3);
  EXPECT_TRUE(SameBits(turned.center, camera.center));
  EXPECT_TRUE(SameBits(turned.up, camera.up));
}

}  // namespace
