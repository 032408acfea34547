#include "sensor/sensor.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <limits>
#include <vector>

#include "reference/sensorstages.h"
#include "reference/sensortree.h"
#include "tests/square_sensor.h"

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();

// A scene assembled object by object; the triangle arrays live as long as it.
class TestScene {
 public:
  // An object with a material and no geometry: no ray ever hits it.
  void AddMaterialOnly(float kd, float ks, float n) {
    std::vector<CV_triangle>& box = storage_.emplace_back(12, CV_triangle{});
    objects_.push_back(CV_object{ks, kd, n, 0, nullptr, 12, box.data()});
  }

  // A large horizontal triangle at height z whose front faces down (-z),
  // covering every point with x + y < 2000.
  void AddOccluder(float z, float kd) {
    std::vector<CV_triangle>& triangle =
        storage_.emplace_back(1, CV_triangle{{-1000, -1000, z}, {-1000, 3000, z}, {3000, -1000, z}});
    std::vector<CV_triangle>& box = storage_.emplace_back(12, CV_triangle{});
    BuildBoxTriangles(vertex3f{-1000, -1000, z - 1}, vertex3f{3000, 3000, z + 1}, box.data());
    objects_.push_back(CV_object{0, kd, 1, 1, triangle.data(), 12, box.data()});
  }

  CV_scene Scene() { return CV_scene{int32_t(objects_.size()), objects_.data(), 0, nullptr}; }

 private:
  std::deque<std::vector<CV_triangle>> storage_;
  std::vector<CV_object> objects_;
};

// The same sensor with left and right swapped: its front faces the eye.
CVSensor MirroredSensor() {
  CVSensor sensor = SquareSensor();
  std::swap(sensor.ul, sensor.ur);
  std::swap(sensor.dl, sensor.dr);
  return sensor;
}

struct Visualized {
  int result;
  int level;
  std::vector<float> pixels;
};

// Runs the three stages over samples (changed in place) and takes the pixels.
Visualized Visualize(std::vector<CVSample>& samples, CVSensor sensor, CV_scene scene) {
  CVDataSet dataset{uint32_t(samples.size()), uint32_t(samples.size()), samples.data()};
  Visualized out;
  out.result = VisualizeDataSet(dataset, sensor, scene);
  out.level = sensor.level;
  if (sensor.pixels != nullptr) out.pixels.assign(sensor.pixels, sensor.pixels + SensorCellCount(kSensorLevel));
  std::free(sensor.pixels);
  return out;
}

size_t NonZeroPixels(const std::vector<float>& pixels) {
  size_t n = 0;
  for (float p : pixels) n += (p != 0.0f);
  return n;
}

const double kOneOverPi = 1.0 / 3.141592653589793;

}  // namespace

TEST(Sensor, AllocateSensorCopiesTheSevenPointsOnly) {
  CVSensor sensor{};
  float marker = 0;
  sensor.pixels = &marker;
  sensor.level = 3;
  vertex3f p[7] = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {10, 11, 12}, {13, 14, 15}, {16, 17, 18}, {19, 20, 21}};
  EXPECT_EQ(AllocateSensor(sensor, Camera{p[0], p[1], p[2], p[3], p[4], p[5], p[6]}), 1);
  const vertex3f* stored[7] = {&sensor.eye, &sensor.center, &sensor.up, &sensor.ul, &sensor.ur, &sensor.dl, &sensor.dr};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(stored[i]->x, p[i].x) << "point " << i;
  EXPECT_EQ(sensor.pixels, &marker);
  EXPECT_EQ(sensor.level, 3);
}

TEST(SensorTree, LinesThroughPixelCentresFindThatPixel) {
  CVSensor sensor = SquareSensor();
  CVSensorTree tree;
  ASSERT_TRUE(BuildSensorTree(sensor.ul, sensor.ur, sensor.dl, sensor.dr, tree));
  const int places[][2] = {{0, 0}, {0, 1023}, {1023, 0}, {1023, 1023}, {386, 642}, {511, 512}, {700, 13}};
  for (const auto& rc : places) {
    // The sample below the centre, so that the line crosses it halfway to the eye.
    float x = 2.0f * (-100.0f + (rc[1] + 0.5f) * 0.1953125f);
    float y = 2.0f * (100.0f - (rc[0] + 0.5f) * 0.1953125f);
    vector3f line = VectorizeVertices(vertex3f{x, y, -100}, sensor.eye);
    EXPECT_EQ(FindSensorPixel(line, tree), rc[0] * 1024 + rc[1]) << "row " << rc[0] << " column " << rc[1];
  }
  FreeSensorTree(tree);
}

TEST(SensorTree, LineFromTheDescribedSampleReachesItsPixel) {
  CVSensor sensor = SquareSensor();
  CVSensorTree tree;
  ASSERT_TRUE(BuildSensorTree(sensor.ul, sensor.ur, sensor.dl, sensor.dr, tree));
  vector3f line = VectorizeVertices(vertex3f{51, 49, -100}, sensor.eye);
  EXPECT_EQ(FindSensorPixel(line, tree), 395906);
  FreeSensorTree(tree);
}

TEST(SensorTree, LinesThatMissTheFrontOfTheSensorAreLost) {
  CVSensor sensor = SquareSensor();
  CVSensorTree tree;
  ASSERT_TRUE(BuildSensorTree(sensor.ul, sensor.ur, sensor.dl, sensor.dr, tree));
  const struct {
    const char* why;
    vertex3f sample;
  } rows[] = {
      {"crosses the plane outside the square", {300, 0, -100}},
      {"sample between the eye and the sensor", {10, 10, 50}},
      {"sample beyond the eye meets the back", {0, 0, 200}},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(FindSensorPixel(VectorizeVertices(row.sample, sensor.eye), tree), -1) << row.why;
  }
  FreeSensorTree(tree);
}

TEST(Sensor, VisibleSampleLandsInThePixelItsLineToTheEyeCrosses) {
  TestScene scene;
  scene.AddMaterialOnly(1, 0, 1);
  std::vector<CVSample> samples = {SampleAt({51, 49, -100}, 0.5f)};
  Visualized v = Visualize(samples, SquareSensor(), scene.Scene());
  ASSERT_EQ(v.result, 1);
  EXPECT_EQ(v.level, 10);
  ASSERT_EQ(v.pixels.size(), 1048576u);
  EXPECT_TRUE(samples[0].visible);
  EXPECT_GT(samples[0].brightness, 0.0f);
  EXPECT_EQ(v.pixels[395906], samples[0].brightness);
  EXPECT_EQ(NonZeroPixels(v.pixels), 1u);
}

TEST(Sensor, EmptyDataSetGivesBlackPixelsAndLevelTen) {
  TestScene scene;
  std::vector<CVSample> samples;
  Visualized v = Visualize(samples, SquareSensor(), scene.Scene());
  EXPECT_EQ(v.result, 1);
  EXPECT_EQ(v.level, 10);
  ASSERT_EQ(v.pixels.size(), 1048576u);
  EXPECT_EQ(NonZeroPixels(v.pixels), 0u);
}

TEST(Sensor, MirroredSensorIsMetFromBehindAndStaysBlack) {
  TestScene scene;
  scene.AddMaterialOnly(1, 0, 1);
  std::vector<CVSample> samples = {SampleAt({51, 49, -100}, 0.5f), SampleAt({-20, 7, -100}, 1.0f)};
  Visualized v = Visualize(samples, MirroredSensor(), scene.Scene());
  EXPECT_TRUE(samples[0].visible);
  EXPECT_TRUE(samples[1].visible);
  EXPECT_EQ(NonZeroPixels(v.pixels), 0u);
}

TEST(Sensor, SampleFacingAwayFromTheEyeIsInvisibleAndKeepsItsBrightness) {
  TestScene scene;
  scene.AddMaterialOnly(1, 0, 1);
  CVSample sample = SampleAt({51, 49, -100}, 0.5f);
  sample.normal.direction = vertex3f{0, 0, -1};
  sample.brightness = 0.3f;
  std::vector<CVSample> samples = {sample};
  Visualized v = Visualize(samples, SquareSensor(), scene.Scene());
  EXPECT_FALSE(samples[0].visible);
  EXPECT_EQ(samples[0].brightness, 0.3f);
  EXPECT_EQ(NonZeroPixels(v.pixels), 0u);
}

TEST(Sensor, EveryObjectButTheFirstHidesTheSample) {
  const struct {
    const char* why;
    bool occluder_is_object_0;
    float occluder_z;
    bool visible;
  } rows[] = {
      {"object 1 between sample and eye", false, -50, false},
      {"object 1 beyond the eye", false, 150, false},
      {"object 0 between sample and eye", true, -50, true},
  };
  for (const auto& row : rows) {
    TestScene scene;
    if (row.occluder_is_object_0) {
      scene.AddOccluder(row.occluder_z, 1);
    } else {
      scene.AddMaterialOnly(1, 0, 1);
      scene.AddOccluder(row.occluder_z, 1);
    }
    std::vector<CVSample> samples = {SampleAt({51, 49, -100}, 0.5f)};
    Visualized v = Visualize(samples, SquareSensor(), scene.Scene());
    EXPECT_EQ(samples[0].visible, row.visible) << row.why;
    EXPECT_EQ(NonZeroPixels(v.pixels), row.visible ? 1u : 0u) << row.why;
  }
}

TEST(Sensor, DegenerateNormalLeavesVisibilityToTheScene) {
  TestScene scene;
  CVSample sample = SampleAt({0, 0, -100}, 1);
  sample.normal.direction = vertex3f{0, 0, 0};
  EXPECT_TRUE(SampleVisibleFromEye(sample, vertex3f{0, 0, 100}, scene.Scene()));
}

TEST(Sensor, PixelKeepsTheLargerBrightnessInSampleOrder) {
  const struct {
    const char* why;
    float first_weight, second_weight;
    int winner;  // index of the sample whose brightness the pixel keeps
  } rows[] = {
      {"larger second", 0.2f, 0.6f, 1},
      {"larger first", 0.6f, 0.2f, 0},
      {"NaN stored first stays", kNaN, 0.6f, 0},
      {"NaN arriving later is not greater", 0.6f, kNaN, 0},
  };
  for (const auto& row : rows) {
    TestScene scene;
    scene.AddMaterialOnly(1, 0, 1);
    std::vector<CVSample> samples = {SampleAt({51, 49, -100}, row.first_weight),
                                     SampleAt({51, 49, -100}, row.second_weight)};
    Visualized v = Visualize(samples, SquareSensor(), scene.Scene());
    float expected = samples[row.winner].brightness;
    float got = v.pixels[395906];
    if (std::isnan(expected)) {
      EXPECT_TRUE(std::isnan(got)) << row.why;
    } else {
      EXPECT_EQ(got, expected) << row.why;
    }
  }
}

TEST(Sensor, DiffuseBrightnessIsWeightTimesCosineOverPi) {
  TestScene scene;
  scene.AddMaterialOnly(1, 0, 1);
  const struct {
    vertex3f incoming;
    float weight;
  } rows[] = {{{0, 0, -1}, 1.0f}, {{1, 0, -1}, 0.5f}, {{3, -4, -2}, 0.25f}, {{0, 2, -7}, 2.0f}};
  for (const auto& row : rows) {
    CVSample sample = SampleAt({10, 20, -100}, row.weight);
    sample.incoming.direction = row.incoming;
    const vertex3f& d = row.incoming;
    double cosine = -d.z / std::sqrt(double(d.x) * d.x + double(d.y) * d.y + double(d.z) * d.z);
    EXPECT_FLOAT_EQ(BrightnessTowardsEye(sample, vertex3f{0, 0, 100}, scene.Scene()),
                    float(row.weight * cosine * kOneOverPi))
        << row.incoming.x << "," << row.incoming.y << "," << row.incoming.z;
  }
}

TEST(Sensor, GlossyBrightnessPeaksOnTheMirrorDirection) {
  // Light falling straight down is mirrored straight at the eye: alpha = 0,
  // beta = pi, so the brightness is weight * ks (n + 2) / (2 pi).
  TestScene scene;
  scene.AddMaterialOnly(0, 1, 3);
  CVSample sample = SampleAt({0, 0, -100}, 0.5f);
  EXPECT_FLOAT_EQ(BrightnessTowardsEye(sample, vertex3f{0, 0, 100}, scene.Scene()),
                  float(0.5 * 5.0 * kOneOverPi / 2.0));
}

TEST(Sensor, SampleOfAnObjectMissingFromTheSceneReflectsNothing) {
  TestScene scene;  // no objects at all
  std::vector<CVSample> samples = {SampleAt({51, 49, -100}, 1)};
  Visualized v = Visualize(samples, SquareSensor(), scene.Scene());
  EXPECT_TRUE(samples[0].visible);
  EXPECT_EQ(samples[0].brightness, 0.0f);
  EXPECT_EQ(v.result, 1);
  EXPECT_EQ(NonZeroPixels(v.pixels), 0u);
}

#if !defined(__SANITIZE_ADDRESS__)
namespace {

// Caps the address space of this process at what it uses now plus headroom.
// Ends the process with status 2 when that cannot be done.
void LimitAddressSpaceToCurrentPlus(rlim_t headroom) {
  long pages = 0;
  std::FILE* statm = std::fopen("/proc/self/statm", "r");
  if (statm == nullptr || std::fscanf(statm, "%ld", &pages) != 1) std::_Exit(2);
  std::fclose(statm);
  rlim_t limit = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + headroom;
  rlimit cap{limit, limit};
  if (setrlimit(RLIMIT_AS, &cap) != 0) std::_Exit(2);
}

}  // namespace

TEST(SensorDeathTest, WithoutMemoryForTheStoredSubdivisionNoPixelsAreLeft) {
  auto run = [] {
    // Room for the pixel buffer (4 MB) but not for the subdivision (95 MB).
    LimitAddressSpaceToCurrentPlus(24u << 20);
    TestScene scene;
    std::vector<CVSample> samples;
    CVDataSet dataset{0, 0, samples.data()};
    CVSensor sensor = SquareSensor();
    int result = VisualizeDataSetWithStoredTree(dataset, sensor, scene.Scene());
    std::_Exit(result == 0 && sensor.pixels == nullptr && sensor.level == 0 ? 0 : 1);
  };
  EXPECT_EXIT(run(), testing::ExitedWithCode(0), "");
}

TEST(SensorDeathTest, WithoutMemoryForThreadsOrPixelsTheStagesStillRunAndNoPixelsAreLeft) {
  auto run = [] {
    TestScene scene;
    scene.AddMaterialOnly(1, 0, 1);
    std::vector<CVSample> samples(5000, SampleAt({51, 49, -100}, 0.5f));
    CVDataSet dataset{uint32_t(samples.size()), uint32_t(samples.size()), samples.data()};
    CVSensor sensor = SquareSensor();
    // Too little for a thread's stack or the pixel buffer (4 MB): the calling
    // thread does the work of the first two stages alone.
    LimitAddressSpaceToCurrentPlus(1u << 20);
    int result = VisualizeDataSet(dataset, sensor, scene.Scene(), 3);
    bool staged = samples.back().visible && samples.back().brightness != 1.0f;
    std::_Exit(result == 0 && staged && sensor.pixels == nullptr && sensor.level == 0 ? 0 : 1);
  };
  EXPECT_EXIT(run(), testing::ExitedWithCode(0), "");
}
#endif
