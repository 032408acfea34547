// The sensor without its stored subdivision and on several threads gives the
// same bits as the stored subdivision on one thread.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "config/settings.h"
#include "core/mt19937.h"
#include "rayquery/rayquery.h"
#include "reference/sensordescent.h"
#include "reference/sensorstages.h"
#include "reference/sensortree.h"
#include "sensor/pixelsearch.h"
#include "sensor/sensor.h"
#include "tests/recorded_progress.h"
#include "tests/square_sensor.h"
#include "tests/support.h"
#include "tests/test_files.h"
#include "transport/sampling.h"

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();

struct Quad {
  const char* name;
  vertex3f eye, ul, ur, dl, dr;
};

// Sensors seen from their eye: a square, a skewed non-planar one, the room
// example's, and one so small that the cell test's absolute edge tolerance
// lets neighbouring cells both accept a line (then test order decides).
const Quad kQuads[] = {
    {"square", {0, 0, 100}, {-100, 100, 0}, {100, 100, 0}, {-100, -100, 0}, {100, -100, 0}},
    {"skewed", {3, -2, 90}, {-80, 120, 7}, {110, 90, -5}, {-95, -70, 2}, {70, -110, 12}},
    {"room", {0, 100, 700}, {110, 210, 110}, {110, -10, 110}, {-110, 210, 110}, {-110, -10, 110}},
    {"tiny", {0, 0, 100}, {-1, 1, 0}, {1, 1, 0}, {-1, -1, 0}, {1, -1, 0}},
};

// The line from a sample on the far side of point (seen from the eye) to the eye.
vector3f LineThrough(vertex3f eye, vertex3f point) {
  vertex3f sample{eye.x + 2 * (point.x - eye.x), eye.y + 2 * (point.y - eye.y), eye.z + 2 * (point.z - eye.z)};
  return VectorizeVertices(sample, eye);
}

// Points on the sensor along cell borders and at cell corners, made with the
// same midpoints as the cells: the corners and edge midpoints of the cells of
// the first levels, followed down a few random paths to the last level.
std::vector<vertex3f> BorderPoints(const Quad& q, std::mt19937& random) {
  std::vector<vertex3f> points;
  for (int path = 0; path < 40; ++path) {
    vertex3f ul = q.ul, ur = q.ur, dl = q.dl, dr = q.dr;
    for (int k = 0; k < kSensorLevel; ++k) {
      vertex3f up = MiddleVertex(ul, ur), left = MiddleVertex(ul, dl), right = MiddleVertex(ur, dr),
               down = MiddleVertex(dl, dr), middle = MiddleVertex(left, right);
      points.insert(points.end(), {ul, up, left, middle, MiddleVertex(up, middle), MiddleVertex(left, middle)});
      switch (random() % 4) {
        case 0:
          ur = up, dl = left, dr = middle;
          break;
        case 1:
          ul = up, dl = middle, dr = right;
          break;
        case 2:
          ul = left, ur = middle, dr = down;
          break;
        default:
          ul = middle, ur = right, dl = down;
          break;
      }
    }
    points.insert(points.end(), {ul, ur, dl, dr});
  }
  return points;
}

}  // namespace

TEST(SensorDescent, FindsThePixelOfTheStoredTreeOnEveryLine) {
  std::mt19937 random(7);
  for (const Quad& q : kQuads) {
    CVSensorTree tree;
    ASSERT_TRUE(BuildSensorTree(q.ul, q.ur, q.dl, q.dr, tree));
    CVSensorProjection projection = PrepareSensorProjection(q.ul, q.ur, q.dl, q.dr);
    std::vector<vector3f> lines;
    for (vertex3f point : BorderPoints(q, random)) lines.push_back(LineThrough(q.eye, point));
    // Random points over and around the quadrilateral (some miss it).
    std::uniform_real_distribution<float> u(-0.2f, 1.2f);
    for (int n = 0; n < 3000; ++n) {
      float s = u(random), t = u(random);
      vertex3f top = {q.ul.x + s * (q.ur.x - q.ul.x), q.ul.y + s * (q.ur.y - q.ul.y), q.ul.z + s * (q.ur.z - q.ul.z)};
      vertex3f bottom = {q.dl.x + s * (q.dr.x - q.dl.x), q.dl.y + s * (q.dr.y - q.dl.y),
                         q.dl.z + s * (q.dr.z - q.dl.z)};
      lines.push_back(LineThrough(
          q.eye, {top.x + t * (bottom.x - top.x), top.y + t * (bottom.y - top.y), top.z + t * (bottom.z - top.z)}));
    }
    // Lines that meet the sensor's back or start beyond it.
    lines.push_back(VectorizeVertices(MiddleVertex(q.eye, MiddleVertex(q.ul, q.dr)), q.eye));
    lines.push_back(VectorizeVertices(q.eye, MiddleVertex(q.ul, q.dr)));

    int found = 0, lost = 0;
    for (size_t n = 0; n < lines.size(); ++n) {
      int stored = FindSensorPixel(lines[n], tree);
      ASSERT_EQ(FindSensorPixelByDescent(lines[n], q.ul, q.ur, q.dl, q.dr), stored) << q.name << " line " << n;
      ASSERT_EQ(FindSensorPixelByProjection(lines[n], projection), stored) << q.name << " line " << n;
      (stored >= 0 ? found : lost)++;
    }
    // Both outcomes were exercised.
    EXPECT_GT(found, 1000) << q.name;
    EXPECT_GT(lost, 2) << q.name;
    FreeSensorTree(tree);
  }
}

namespace {

// What a visualisation leaves behind, as bits.
struct Outcome {
  int result = 0;
  int level = 0;
  std::vector<uint32_t> pixels;
  std::vector<bool> visible;
  std::vector<uint32_t> brightness;
};

// Stands for the stored tree on one thread in place of a thread count.
constexpr unsigned kStoredTree = ~0u;

// Runs a visualisation on a copy of samples: the descent on `threads` threads,
// or the stored tree on one thread.
Outcome Visualize(std::vector<CVSample> samples, const CVSensor& sensor_points, CV_scene scene, unsigned threads) {
  CVDataSet dataset{uint32_t(samples.size()), uint32_t(samples.size()), samples.data()};
  CVSensor sensor = sensor_points;
  Outcome out;
  out.result = threads == kStoredTree ? VisualizeDataSetWithStoredTree(dataset, sensor, scene)
                                      : VisualizeDataSet(dataset, sensor, scene, threads);
  out.level = sensor.level;
  if (sensor.pixels != nullptr) {
    for (size_t p = 0; p < SensorCellCount(kSensorLevel); ++p) out.pixels.push_back(Bits(sensor.pixels[p]));
  }
  std::free(sensor.pixels);
  for (const CVSample& s : samples) {
    out.visible.push_back(s.visible);
    out.brightness.push_back(Bits(s.brightness));
  }
  return out;
}

// Compares with the reference field by field and names the first difference.
void ExpectSameBits(const Outcome& got, const Outcome& reference, const std::string& what) {
  EXPECT_EQ(got.result, reference.result) << what;
  EXPECT_EQ(got.level, reference.level) << what;
  ASSERT_EQ(got.pixels.size(), reference.pixels.size()) << what;
  for (size_t p = 0; p < got.pixels.size(); ++p) {
    ASSERT_EQ(got.pixels[p], reference.pixels[p]) << what << ": pixel " << p;
  }
  for (size_t i = 0; i < got.visible.size(); ++i) {
    ASSERT_EQ(got.visible[i], reference.visible[i]) << what << ": visible of sample " << i;
    ASSERT_EQ(got.brightness[i], reference.brightness[i]) << what << ": brightness of sample " << i;
  }
}

size_t LitPixels(const Outcome& out) {
  size_t n = 0;
  for (uint32_t bits : out.pixels) n += (bits != 0);
  return n;
}

size_t NaNPixels(const Outcome& out) {
  size_t n = 0;
  for (uint32_t bits : out.pixels) n += ((bits & 0x7fffffffu) > 0x7f800000u);
  return n;
}

}  // namespace

TEST(SensorThreads, RoomExampleGivesTheSameBitsOnOneTwoAndThreeThreads) {
  Settings settings;
  CV_scene room{0, nullptr, 0, nullptr};
  InDirectory(std::string(CORVANE_SOURCE_DIR) + "/examples/room", [&] {
    ASSERT_TRUE(ReadSettings(settings));
    ASSERT_EQ(CreateScene(settings.filename, room), 1);
  });
  BuildRayQuery(room);
  // A fifth of the example's samples keeps the test quick; the scene and the
  // sensor are the example's own.
  CVDataSet filled{0, 0, nullptr};
  ASSERT_TRUE(AllocateDataSet(filled, settings.dataset_size / 5));
  init_genrand(50);
  NoProgress progress;
  ASSERT_EQ(FillDataSet(room, filled, settings.light_chance, progress), kSamplingFull);
  std::vector<CVSample> samples(filled.samples, filled.samples + filled.count);
  FreeDataSet(filled);

  CVSensor sensor{};
  AllocateSensor(sensor, settings.camera);
  Outcome reference = Visualize(samples, sensor, room, kStoredTree);
  ASSERT_EQ(reference.result, 1);
  EXPECT_GT(LitPixels(reference), 1000u);
  for (unsigned threads : {1u, 2u, 3u}) {
    ExpectSameBits(Visualize(samples, sensor, room, threads), reference, std::to_string(threads) + " threads");
  }
  FreeRayQuery(room);
  FreeScene(room);
}

TEST(SensorThreads, NaNBrightnessInSharedPixelsGivesTheSameBitsOnAnyThreadCount) {
  // One diffuse object without geometry: nothing hides a sample.
  CV_triangle box[12] = {};
  CV_object object{0, 1, 1, 0, nullptr, 12, box};
  CV_scene scene{1, &object, 0, nullptr};

  // Many chunks' worth of samples falling into four pixels, NaN weights among
  // them: a NaN that reaches an empty pixel stays, one arriving later is not
  // greater, so the pixels depend on the order.
  const vertex3f spots[] = {{51, 49, -100}, {-20, 7, -100}, {0.3f, -90, -100}, {150, 150, -100}};
  std::mt19937 random(3);
  std::vector<CVSample> samples;
  for (uint32_t i = 0; i < 12 * kSamplesPerChunk; ++i) {
    uint32_t spot = random() % 4;
    float weight = (random() % 7 == 0) ? kNaN : float(random() % 1000) / 1000.0f;
    samples.push_back(SampleAt(spots[spot], weight));
    if (i % 97 == 5) samples.back().normal.direction = vertex3f{0, 0, -1};  // faces away: invisible
  }
  // Spots 0 and 1 are reached first by a NaN, spots 2 and 3 by a number.
  samples[0] = SampleAt(spots[0], kNaN);
  samples[1] = SampleAt(spots[1], kNaN);
  samples[2] = SampleAt(spots[2], 0.25f);
  samples[3] = SampleAt(spots[3], 0.5f);

  Outcome reference = Visualize(samples, SquareSensor(), scene, kStoredTree);
  ASSERT_EQ(reference.result, 1);
  EXPECT_EQ(LitPixels(reference), 4u);
  EXPECT_EQ(NaNPixels(reference), 2u);
  for (unsigned threads : {1u, 2u, 3u, 16u}) {
    ExpectSameBits(Visualize(samples, SquareSensor(), scene, threads), reference, std::to_string(threads) + " threads");
  }
}

TEST(SensorThreads, ZeroThreadsWorksLikeOne) {
  CV_triangle box[12] = {};
  CV_object object{0, 1, 1, 0, nullptr, 12, box};
  CV_scene scene{1, &object, 0, nullptr};
  std::vector<CVSample> samples = {SampleAt({51, 49, -100}, 0.5f), SampleAt({-20, 7, -100}, 0.75f)};
  Outcome one = Visualize(samples, SquareSensor(), scene, 1);
  EXPECT_EQ(LitPixels(one), 2u);
  ExpectSameBits(Visualize(samples, SquareSensor(), scene, 0), one, "0 threads");
}

TEST(SensorThreads, EmptyDataSetGivesBlackPixelsOnAnyThreadCount) {
  CV_scene scene{0, nullptr, 0, nullptr};
  for (unsigned threads : {1u, 2u, 3u}) {
    Outcome out = Visualize({}, SquareSensor(), scene, threads);
    EXPECT_EQ(out.result, 1);
    EXPECT_EQ(out.level, kSensorLevel);
    EXPECT_EQ(out.pixels.size(), 1048576u);
    EXPECT_EQ(LitPixels(out), 0u);
  }
}

TEST(SensorThreads, OnlyTheCallingThreadReportsEachPhaseUpToEverySample) {
  CV_triangle box[12] = {};
  CV_object object{0, 1, 1, 0, nullptr, 12, box};
  CV_scene scene{1, &object, 0, nullptr};
  std::vector<CVSample> samples(9 * kSamplesPerChunk + 5, SampleAt({51, 49, -100}, 0.5f));
  const ProgressPhase phases[] = {kVisibilityPhase, kBrightnessPhase, kProjectionPhase};
  for (size_t count : {samples.size(), size_t(0)}) {
    CVDataSet dataset{uint32_t(count), uint32_t(count), samples.data()};
    CVSensor sensor = SquareSensor();
    RecordedProgress progress;
    SensorCounts counts;
    ASSERT_EQ(VisualizeDataSet(dataset, sensor, scene, 3, IntersectionRayScene, progress, counts), 1);
    std::free(sensor.pixels);
    // Counted chunk by chunk on the threads: none may be lost.
    uint32_t visible = 0;
    for (size_t i = 0; i < count; ++i) visible += samples[i].visible ? 1 : 0;
    EXPECT_EQ(visible, count);
    EXPECT_EQ(counts.visible, visible);
    EXPECT_EQ(counts.projected, visible);

    size_t k = 0;
    for (ProgressPhase phase : phases) {
      std::string where = std::to_string(count) + " samples, phase " + std::to_string(phase);
      ASSERT_LT(k, progress.reports.size()) << where;
      EXPECT_EQ(progress.reports[k].kind, ProgressReport::kBegin) << where;
      EXPECT_EQ(progress.reports[k].phase, phase) << where;
      uint32_t done = 0;
      for (++k; k < progress.reports.size() && progress.reports[k].kind == ProgressReport::kAdvance; ++k) {
        EXPECT_EQ(progress.reports[k].total, count) << where;
        EXPECT_GE(progress.reports[k].done, done) << where;
        done = progress.reports[k].done;
      }
      EXPECT_EQ(done, count) << where;
      ASSERT_LT(k, progress.reports.size()) << where;
      EXPECT_EQ(progress.reports[k].kind, ProgressReport::kEnd) << where;
      ++k;
    }
    EXPECT_EQ(k, progress.reports.size());
    for (const ProgressReport& report : progress.reports) EXPECT_EQ(report.thread, std::this_thread::get_id());
  }
}
