// The sampling loop on several threads against the plain loop in reference/:
// the same data set to the byte, the same end, the same progress reports and
// the generator left at the same word, on scenes built to make the threads'
// guesses fail (misses, glossy redraws, choices of samples still outstanding).
#include "transport/samplingpipeline.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/mt19937.h"
#include "rayquery/rayquery.h"
#include "reference/plainsampling.h"
#include "tests/mesh_scene.h"
#include "tests/random_meshes.h"
#include "tests/recorded_progress.h"

namespace {

struct Material {
  float kd, ks, n;
};

// Objects with their materials, and point lights; the caller releases it.
CV_scene MakeScene(const std::vector<Mesh>& meshes, const std::vector<Material>& materials,
                   const std::vector<vertex3f>& lights) {
  CV_scene scene = SceneFromMeshes(meshes);
  for (size_t i = 0; i < materials.size(); ++i) {
    scene.objects[i].diffuse = materials[i].kd;
    scene.objects[i].specular = materials[i].ks;
    scene.objects[i].exponent = materials[i].n;
  }
  scene.light_count = int32_t(lights.size());
  scene.lights = static_cast<CV_light*>(std::calloc(lights.size() + 1, sizeof(CV_light)));
  for (size_t i = 0; i < lights.size(); ++i) scene.lights[i] = CV_light{lights[i], {1, 1, 1}, 1};
  BuildRayQuery(scene);
  return scene;
}

void Release(CV_scene& scene) {
  FreeRayQuery(scene);
  FreeScene(scene);
}

// Every field of every stored sample, bit for bit (padding left out).
std::string SampleBytes(const CVDataSet& set) {
  std::string bytes;
  auto add = [&bytes](const auto& field) { bytes.append(reinterpret_cast<const char*>(&field), sizeof field); };
  for (uint32_t i = 0; i < set.count; ++i) {
    const CVSample& s = set.samples[i];
    add(s.object), add(s.reserved), add(s.position), add(s.incoming), add(s.normal);
    add(s.weight), add(s.brightness), add(s.absorbed), add(s.visible);
  }
  return bytes;
}

struct FillRun {
  SamplingEnd end;
  uint32_t count;
  std::string samples;
  std::vector<uint32_t> progress;  // the done count of every report
  std::vector<uint32_t> next_words;
};

template <typename Fill>
FillRun RunWith(uint32_t capacity, Fill fill) {
  init_genrand(50);
  CVDataSet set{0, 0, nullptr};
  AllocateDataSet(set, capacity);
  RecordedProgress progress;
  FillRun run;
  run.end = fill(set, progress);
  run.count = set.count;
  run.samples = SampleBytes(set);
  for (const ProgressReport& report : progress.reports) run.progress.push_back(report.done);
  for (int k = 0; k < 3; ++k) run.next_words.push_back(genrand_int32());
  FreeDataSet(set);
  return run;
}

// The plain loop against FillDataSet on 1, 2, 3, 8 and 64 threads; returns
// the plain loop's run and keeps the pipeline's counts of the 2-thread run.
FillRun ExpectSameAsPlain(CV_scene scene, uint32_t capacity, float chance, uint64_t miss_limit = kStepsWithoutHitLimit,
                          PipelineCounts* counts = nullptr) {
  FillRun plain = RunWith(capacity, [&](CVDataSet& set, Progress& progress) {
    return FillDataSetPlain(scene, set, chance, progress, miss_limit);
  });
  for (unsigned threads : {1u, 2u, 3u, 8u, 64u}) {
    FillRun run = RunWith(capacity, [&](CVDataSet& set, Progress& progress) {
      return FillDataSet(scene, set, chance, progress, miss_limit, IntersectionRayScene, threads);
    });
    EXPECT_EQ(run.end, plain.end) << threads << " threads";
    EXPECT_EQ(run.count, plain.count) << threads << " threads";
    EXPECT_TRUE(run.samples == plain.samples) << threads << " threads: the stored samples differ";
    EXPECT_EQ(run.progress, plain.progress) << threads << " threads";
    EXPECT_EQ(run.next_words, plain.next_words) << threads << " threads: the generator is elsewhere";
    if (threads == 2 && counts != nullptr) *counts = LastPipelineCounts();
  }
  return plain;
}

// A closed room with boxes inside; glossy walls with a wide lobe redraw often.
CV_scene GlossyRoom(float wall_ks, float wall_n) {
  Random random(7);
  std::vector<Mesh> meshes = {ClosedBox({-10, -10, -10}, {10, 10, 10}, true),
                              ClosedBox({-3, -9, -3}, {3, -5, 3}, false), Tiny({4, 2, 4}, 20, random)};
  return MakeScene(meshes, {{0.1f, wall_ks, wall_n}, {0.6f, 0.3f, 50}, {0.8f, 0, 0}}, {{0, 9.9f, 0}, {-9, -9, 9}});
}

}  // namespace

TEST(SamplingPipeline, ClosedRoomGivesThePlainLoopsDataSet) {
  CV_scene room = GlossyRoom(0.3f, 20);
  ExpectSameAsPlain(room, 20000, 0.3f);
  Release(room);
}

TEST(SamplingPipeline, GlossyLobesNearGrazingThatRedrawGiveThePlainLoopsDataSet) {
  // A wide lobe about mirror directions that graze the wall is rejected
  // again and again; a light just above the floor makes every first path graze.
  Random random(3);
  std::vector<Mesh> meshes = {ClosedBox({-10, -0.5f, -10}, {10, 0.5f, 10}, true), Slivers({0, 0, 0}, 30, random)};
  CV_scene flat = MakeScene(meshes, {{0.0f, 1.0f, 1}, {0.05f, 0.9f, 3}}, {{9.5f, -0.45f, 0}});
  PipelineCounts counts{};
  ExpectSameAsPlain(flat, 5000, 0.2f, kStepsWithoutHitLimit, &counts);
  EXPECT_GT(counts.retraced, 100u) << "redraws are traced again in order";
  Release(flat);
  CV_scene room = GlossyRoom(0.95f, 0.5f);
  ExpectSameAsPlain(room, 5000, 0.0f, kStepsWithoutHitLimit, &counts);
  EXPECT_GT(counts.retraced, 100u);
  Release(room);
}

TEST(SamplingPipeline, OpenScenesWhereMostRaysMissGiveThePlainLoopsDataSet) {
  // Two squares facing the light between them, open on every side, and a few triangles in between: most rays leave the
  // scene.
  Random random(11);
  std::vector<Mesh> meshes = {
      {CV_triangle{{-5, -5, -5}, {5, -5, -5}, {5, 5, -5}}, CV_triangle{{-5, -5, -5}, {5, 5, -5}, {-5, 5, -5}}},
      {CV_triangle{{-5, -5, 5}, {5, 5, 5}, {5, -5, 5}}, CV_triangle{{-5, -5, 5}, {-5, 5, 5}, {5, 5, 5}}},
      Soup(-2, 2, 10, random)};
  CV_scene open = MakeScene(meshes, {{0.5f, 0.2f, 10}, {0.7f, 0, 0}, {0.3f, 0.6f, 4}}, {{0, 0, 0}});
  for (float chance : {0.0f, 0.5f, 1.0f}) {
    PipelineCounts counts{};
    FillRun plain = ExpectSameAsPlain(open, 2000, chance, kStepsWithoutHitLimit, &counts);
    EXPECT_EQ(plain.count, 2000u) << chance;
    EXPECT_GT(counts.taken_back, 0u) << chance << ": misses throw steps traced ahead away";
  }
  Release(open);
}

TEST(SamplingPipeline, LongStretchesTracedInOrderGiveThePlainLoopsDataSet) {
  // A ceiling over the light: every continued ray leaves downwards, so misses
  // keep the pipeline tracing in order long enough to hand over to the plain
  // loop and back, and the data set fills during such a stretch.
  CV_scene ceiling = MakeScene({{CV_triangle{{-1e3f, 20, -1e3f}, {1e3f, 20, -1e3f}, {1e3f, 20, 1e3f}}}},
                               {{0.5f, 0.2f, 10}}, {{0, 10, 0}});
  PipelineCounts counts{};
  FillRun plain = ExpectSameAsPlain(ceiling, 40000, 0.5f, kStepsWithoutHitLimit, &counts);
  EXPECT_EQ(plain.end, kSamplingFull);
  EXPECT_GT(counts.parked, 100000u) << "the other threads sleep while misses persist";
  EXPECT_GE(counts.committed - counts.parked, 2 * 4096u) << "the pipeline tries again after a stretch";
  // Every ray but the first misses: the miss limit ends a stretch in order.
  ExpectSameAsPlain(ceiling, 100, 0.0f, 20000, &counts);
  EXPECT_GT(counts.parked, 0u);
  Release(ceiling);
}

TEST(SamplingPipeline, TinyDataSetsAndBothExtremesOfLightChanceGiveThePlainLoopsDataSet) {
  CV_scene room = GlossyRoom(0.3f, 20);
  for (uint32_t capacity : {0u, 1u, 2u, 3u, 5u}) {
    for (float chance : {0.0f, 0.5f, 1.0f}) ExpectSameAsPlain(room, capacity, chance);
  }
  Release(room);
}

TEST(SamplingPipeline, MissLimitEndsWhereThePlainLoopEnds) {
  // A floor under the light: continued rays leave it upwards into nothing.
  CV_scene floor =
      MakeScene({{CV_triangle{{-1e4f, -1e4f, 0}, {1e4f, -1e4f, 0}, {0, 1e4f, 0}}}}, {{0.5f, 0, 0}}, {{0, 0, 1}});
  for (uint64_t limit : {1u, 2u, 700u}) {
    ExpectSameAsPlain(floor, 100, 0.0f, limit);
    ExpectSameAsPlain(floor, 100, 0.3f, limit);
  }
  Release(floor);
}

TEST(SamplingPipeline, SceneWithoutLightOrFirstHitEndsLikeThePlainLoop) {
  CV_scene dark = MakeScene({ClosedBox({-1, -1, -1}, {1, 1, 1}, true)}, {{0.5f, 0, 0}}, {});
  ExpectSameAsPlain(dark, 100, 0.5f);
  Release(dark);
  CV_scene away = MakeScene({{CV_triangle{{-100, 0, -100}, {100, 0, -100}, {0, 0, 100}}}}, {{0.5f, 0, 0}}, {{0, 5, 0}});
  ExpectSameAsPlain(away, 100, 0.5f);
  Release(away);
}

TEST(SamplingPipeline, CountsItsStepsAndTheStepsItTookBack) {
  CV_scene room = GlossyRoom(0.3f, 20);
  CVDataSet set{0, 0, nullptr};
  AllocateDataSet(set, 3000);
  init_genrand(50);
  NoProgress progress;
  ASSERT_EQ(FillDataSet(room, set, 0.3f, progress, kStepsWithoutHitLimit, IntersectionRayScene, 2), kSamplingFull);
  PipelineCounts counts = LastPipelineCounts();
  EXPECT_EQ(counts.committed, 3000u) << "every stored sample and the refused one, after the first";
  EXPECT_LE(counts.retraced, counts.committed);
  FreeDataSet(set);
  Release(room);
}
