// The sampling loop: how it starts and ends, and how new and continued
// samples are filled.
#include "transport/sampling.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/mt19937.h"
#include "rayquery/rayquery.h"
#include "scene/scene.h"
#include "tests/draws.h"
#include "tests/recorded_progress.h"
#include "tests/test_files.h"

namespace {

struct Triangle {
  vertex3f a, b, c;
};

// A scene file in the reader's layout: one object per triangle list, then
// the lights.
std::string SceneText(const std::vector<std::vector<Triangle>>& objects, const std::vector<vertex3f>& lights,
                      const std::string& material = "0.5 0.2 10") {
  auto point = [](vertex3f p) {
    return std::to_string(p.x) + " " + std::to_string(p.y) + " " + std::to_string(p.z) + ",\n";
  };
  std::string text = "#VRML V2.0 utf8\n";
  for (vertex3f light : lights) {
    text += "PointLight {\nlocation " + std::to_string(light.x) + " " + std::to_string(light.y) + " " +
            std::to_string(light.z) + "\ncolor 1 1 1\nintensity 1\n}\n";
  }
  for (const auto& triangles : objects) {
    text += "Transform {\ntranslation 0 0 0\nrotation 0 1 0 0\ndiffuseColor " + material + "\ngeometry\npoint [\n";
    for (const Triangle& t : triangles) text += point(t.a) + point(t.b) + point(t.c);
    text += "]\ncoordIndex [\n";
    for (size_t k = 0; k < triangles.size(); k++) {
      text += std::to_string(3 * k) + ", " + std::to_string(3 * k + 1) + ", " + std::to_string(3 * k + 2) + ", -1,\n";
    }
    text += "]\n}\n";
  }
  return text;
}

// The inside of a cube from -size to size: every face turned inwards.
std::vector<Triangle> ClosedRoom(float s) {
  vertex3f p[8] = {{-s, -s, -s}, {s, -s, -s}, {s, s, -s}, {-s, s, -s}, {-s, -s, s}, {s, -s, s}, {s, s, s}, {-s, s, s}};
  int quads[6][4] = {{0, 1, 2, 3}, {4, 7, 6, 5}, {0, 4, 5, 1}, {3, 2, 6, 7}, {0, 3, 7, 4}, {1, 5, 6, 2}};
  std::vector<Triangle> triangles;
  for (auto& q : quads) {
    triangles.push_back({p[q[0]], p[q[1]], p[q[2]]});
    triangles.push_back({p[q[0]], p[q[2]], p[q[3]]});
  }
  return triangles;
}

CV_scene LoadScene(const TempDir& dir, const std::string& text) {
  std::string path = dir.Write("scene.wrl", text);
  CV_scene loaded{};
  CreateScene(path, loaded);
  BuildRayQuery(loaded);
  return loaded;
}

void Release(CV_scene& scene) {
  FreeRayQuery(scene);
  FreeScene(scene);
}

struct Filled {
  SamplingEnd end;
  CVDataSet set;
};

Filled Fill(CV_scene scene, uint32_t capacity, float chance) {
  init_genrand(50);
  Filled run{};
  AllocateDataSet(run.set, capacity);
  NoProgress progress;
  run.end = FillDataSet(scene, run.set, chance, progress);
  return run;
}

}  // namespace

TEST(Sampling, ContinuedSampleMultipliesTheParentsFactors) {
  CVSample parent = NewPathSample(vector3f{{0, 0, 0}, {0, 0, 1}}, {1, 2, 3}, vector3f{{0, 0, 0}, {0, 0, -1}}, 4);
  EXPECT_EQ(parent.weight, 1.0f);
  EXPECT_EQ(parent.brightness, 1.0f);
  EXPECT_EQ(parent.object, 4);
  parent.weight = 0.5f;
  parent.brightness = 0.25f;
  parent.reserved = 7;
  CVSample child = ContinuedSample(parent, vector3f{{1, 2, 3}, {0, 1, 0}}, {1, 5, 3}, vector3f{{0, 0, 0}, {0, -1, 0}},
                                   2, 0.5f, 0.3f);
  EXPECT_EQ(child.weight, 0.3f * 0.5f);
  EXPECT_EQ(child.brightness, 0.5f * 0.25f);
  EXPECT_EQ(child.reserved, 7);
  EXPECT_EQ(child.object, 2);
  EXPECT_EQ(child.position.y, 5.0f);
  EXPECT_FALSE(child.visible);
}

TEST(Sampling, ClosedRoomFillsTheDataSetExactly) {
  TempDir dir;
  CV_scene room = LoadScene(dir, SceneText({ClosedRoom(10)}, {{0, 5, 0}}));
  Filled run = Fill(room, 500, 0.5f);
  EXPECT_EQ(run.end, kSamplingFull);
  EXPECT_EQ(run.set.count, 500u);
  FreeDataSet(run.set);
  Release(room);
}

TEST(Sampling, CapacityZeroOrOneEndsTheLoopAtOnce) {
  TempDir dir;
  CV_scene room = LoadScene(dir, SceneText({ClosedRoom(10)}, {{0, 5, 0}}));
  Filled none;
  EXPECT_EQ(WordsDrawn(50, [&] { none = Fill(room, 0, 0.5f); }), 3) << "only the first path's draws";
  EXPECT_EQ(none.end, kSamplingEmpty);
  EXPECT_EQ(none.set.count, 0u);

  Filled one = Fill(room, 1, 0.5f);
  EXPECT_EQ(one.end, kSamplingFull);
  EXPECT_EQ(one.set.count, 1u);
  FreeDataSet(one.set);
  Release(room);
}

TEST(Sampling, SceneWithoutLightDrawsNothingAndStaysEmpty) {
  TempDir dir;
  CV_scene dark = LoadScene(dir, SceneText({ClosedRoom(10)}, {}));
  Filled run;
  EXPECT_EQ(WordsDrawn(50, [&] { run = Fill(dark, 100, 0.5f); }), 0);
  EXPECT_EQ(run.end, kSamplingNoLight);
  EXPECT_EQ(run.set.count, 0u);
  FreeDataSet(run.set);
  Release(dark);
}

TEST(Sampling, ReportsTheFillBeforeEveryStepWithinItsPhase) {
  TempDir dir;
  CV_scene room = LoadScene(dir, SceneText({ClosedRoom(10)}, {{0, 5, 0}}));
  CVDataSet set{0, 0, nullptr};
  AllocateDataSet(set, 40);
  init_genrand(50);
  RecordedProgress progress;
  ASSERT_EQ(FillDataSet(room, set, 0.5f, progress), kSamplingFull);
  const std::vector<ProgressReport>& reports = progress.reports;
  ASSERT_GE(reports.size(), 3u);
  EXPECT_EQ(reports.front().kind, ProgressReport::kBegin);
  EXPECT_EQ(reports.front().phase, kSamplingPhase);
  EXPECT_EQ(reports.back().kind, ProgressReport::kEnd);
  uint32_t done = 1;  // the first path's sample
  for (size_t k = 1; k + 1 < reports.size(); ++k) {
    ASSERT_EQ(reports[k].kind, ProgressReport::kAdvance) << "report " << k;
    EXPECT_EQ(reports[k].total, 40u) << "report " << k;
    EXPECT_GE(reports[k].done, done) << "report " << k;
    done = reports[k].done;
  }
  EXPECT_EQ(done, 40u) << "the full set is reported before the refused sample";
  FreeDataSet(set);

  CV_scene dark = LoadScene(dir, SceneText({ClosedRoom(10)}, {}));
  AllocateDataSet(set, 40);
  RecordedProgress none;
  ASSERT_EQ(FillDataSet(dark, set, 0.5f, none), kSamplingNoLight);
  ASSERT_EQ(none.reports.size(), 2u) << "the heading still shows without light";
  EXPECT_EQ(none.reports[0].kind, ProgressReport::kBegin);
  EXPECT_EQ(none.reports[1].kind, ProgressReport::kEnd);
  FreeDataSet(set);
  Release(dark);
  Release(room);
}

TEST(Sampling, FirstPathThatMissesLeavesTheSetEmpty) {
  TempDir dir;
  // One triangle that turns its back to the light: no ray can hit its front.
  CV_scene away = LoadScene(dir, SceneText({{{{-100, 0, -100}, {100, 0, -100}, {0, 0, 100}}}}, {{0, 5, 0}}));
  Filled run = Fill(away, 100, 0.5f);
  EXPECT_EQ(run.end, kSamplingEmpty);
  EXPECT_EQ(run.set.count, 0u);
  FreeDataSet(run.set);
  Release(away);
}

TEST(Sampling, LightChanceDecidesBetweenNewAndContinuedPaths) {
  TempDir dir;
  CV_scene room = LoadScene(dir, SceneText({ClosedRoom(10)}, {{0, 5, 0}}));
  auto new_paths = [](const CVDataSet& set) {
    uint32_t count = 0;
    for (uint32_t i = 0; i < set.count; i++) count += set.samples[i].weight == 1.0f ? 1 : 0;
    return count;
  };
  Filled always_new = Fill(room, 300, 1.0f);
  EXPECT_EQ(new_paths(always_new.set), 300u);
  Filled never_new = Fill(room, 300, 0.0f);
  EXPECT_EQ(new_paths(never_new.set), 1u) << "only the first path starts at the light";
  Filled negative = Fill(room, 300, -1.0f);
  EXPECT_EQ(new_paths(negative.set), 1u);
  FreeDataSet(always_new.set);
  FreeDataSet(never_new.set);
  FreeDataSet(negative.set);
  Release(room);
}

TEST(Sampling, LoopThatCanNeverFillGivesUp) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "ten million steps are too slow under the sanitizers";
#endif
  TempDir dir;
  // A floor under the light: the first path lands on it, and every
  // continued ray leaves it upwards into nothing.
  CV_scene floor = LoadScene(dir, SceneText({{{{-1e4f, -1e4f, 0}, {1e4f, -1e4f, 0}, {0, 1e4f, 0}}}}, {{0, 0, 1}}));
  Filled run = Fill(floor, 100, 0.0f);
  EXPECT_EQ(run.end, kSamplingNoHits);
  EXPECT_EQ(run.set.count, 1u);
  FreeDataSet(run.set);
  Release(floor);
}
