#include "app/views.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/aim.h"
#include "tests/example_camera.h"
#include "tests/support.h"
#include "tests/test_files.h"

namespace {

void ExpectSameCorners(const Camera& a, const Camera& b) {
  EXPECT_TRUE(SameBits(a.ul, b.ul) && SameBits(a.ur, b.ur) && SameBits(a.dl, b.dl) && SameBits(a.dr, b.dr));
}

TEST(Views, NumberedNamesKeepTheExtensionLast) {
  const std::pair<const char*, const char*> rows[] = {
      {"out.ppm", "out-0003.ppm"}, {"/a/b.c/pic.png", "/a/b.c/pic-0003.png"},
      {"pic", "pic-0003"},         {"dir.d/pic", "dir.d/pic-0003"},
      {".hidden", ".hidden-0003"}, {"a.b.exr", "a.b-0003.exr"},
  };
  for (const auto& [name, numbered] : rows) EXPECT_EQ(NumberedName(name, 3), numbered) << name;
  EXPECT_EQ(NumberedName("out.ppm", 9999), "out-9999.ppm");
}

TEST(Views, FileLinesHoldTenOrTwelveNumbersAndComments) {
  TempDir dir;
  std::string name = dir.Write("views.txt",
                               "# eye, point looked at, up, field of view\n"
                               "\n"
                               "0 100 700, 0 100 0, 0 1 0, 25  # from the front\n"
                               "-110 210 110 110 210 110 -110 -10 110 110 -10 110\n"
                               "   \t\n");
  std::vector<ViewLine> lines;
  std::string problem;
  ASSERT_TRUE(ReadViewsFile(name, lines, problem)) << problem;
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].place, name + ":3");
  EXPECT_EQ(lines[0].numbers, (std::vector<double>{0, 100, 700, 0, 100, 0, 0, 1, 0, 25}));
  EXPECT_EQ(lines[1].place, name + ":4");
  EXPECT_EQ(lines[1].numbers.size(), 12u);
}

TEST(Views, FilesThatHoldNoViewsAreRefusedNamingTheLine) {
  TempDir dir;
  const std::pair<const char*, const char*> rows[] = {
      {"1 2 3 4 5 6 7 8 9\n",
       ":1: the line has 9 numbers; a view has 10 (eye, point looked at, up, field of view) "
       "or 12 (the sensor's corners)"},
      {"# nothing\n0 0 1 0 0 0 0 1 0 x\n", ":2: 'x' is not a finite number"},
      {"0 0 1 0 0 0 0 1 0 inf\n", ":1: 'inf' is not a finite number"},
      {"# only comments\n\n", " holds no view"},
  };
  for (const auto& [text, message] : rows) {
    std::string name = dir.Write("views.txt", text);
    std::vector<ViewLine> lines;
    std::string problem;
    EXPECT_FALSE(ReadViewsFile(name, lines, problem)) << text;
    EXPECT_NE(problem.find(message), std::string::npos) << problem;
  }
  std::vector<ViewLine> lines;
  std::string problem;
  EXPECT_FALSE(ReadViewsFile(dir.File("missing.txt"), lines, problem));
  EXPECT_EQ(problem, "cannot read the views file " + dir.File("missing.txt"));
}

TEST(Views, PlanKeepsTheSettingsSensorUnlessAskedToAim) {
  Camera camera = ExampleCamera();
  ViewPlan plan;
  EXPECT_EQ(PlanViews(AimOptions{}, {}, camera, plan), "");
  ASSERT_EQ(plan.views.size(), 1u);
  EXPECT_FALSE(plan.sequence);
  EXPECT_FALSE(plan.views[0].aimed);
  ExpectSameCorners(plan.views[0].camera, ExampleCamera());
  // Without --fov the run's field of view is what the settings' sensor spans.
  EXPECT_NEAR(plan.fov, 2 * std::atan(110.0 / 590.0) * 180 / 3.141592653589793, 1e-9);
}

TEST(Views, PlanAimsWithTheGivenEyeAndTheDefaultFieldOfView) {
  Camera camera = ExampleCamera();
  AimOptions aim;
  aim.eye_given = true;
  aim.eye = {50, 150, 600};
  ViewPlan plan;
  EXPECT_EQ(PlanViews(aim, {}, camera, plan), "");
  ASSERT_EQ(plan.views.size(), 1u);
  EXPECT_FALSE(plan.sequence);
  EXPECT_TRUE(plan.views[0].aimed);
  EXPECT_EQ(plan.views[0].fov, SpannedFieldOfView(ExampleCamera()));
  ExpectVertex(plan.views[0].camera.eye, {50, 150, 600});
  ExpectVertex(camera.eye, {50, 150, 600});
}

TEST(Views, OrbitTurnsTheEyeAboutUpFromTheFirstView) {
  Camera camera = ExampleCamera();
  AimOptions aim;
  aim.orbit = 4;
  aim.fov_given = true;
  aim.fov = 30;
  ViewPlan plan;
  EXPECT_EQ(PlanViews(aim, {}, camera, plan), "");
  ASSERT_EQ(plan.views.size(), 4u);
  EXPECT_TRUE(plan.sequence);
  EXPECT_TRUE(SameBits(plan.views[0].camera.eye, camera.eye));
  ExpectVertex(plan.views[1].camera.eye, {700, 100, 0}, 1e-3f);
  ExpectVertex(plan.views[2].camera.eye, {0, 100, -700}, 1e-3f);
  ExpectVertex(plan.views[3].camera.eye, {-700, 100, 0}, 1e-3f);
  for (const View& view : plan.views) {
    EXPECT_TRUE(view.aimed);
    EXPECT_EQ(view.fov, 30);
  }
}

TEST(Views, PlanRefusesAViewThatCannotBeAimed) {
  Camera unset;
  AimOptions orbit;
  orbit.orbit = 2;
  ViewPlan plan;
  EXPECT_EQ(PlanViews(orbit, {}, unset, plan),
            "corvane.cfg's sensor spans no angle as seen from the eye, so the view needs --fov");
  Camera camera = ExampleCamera();
  AimOptions up;
  up.up_given = true;
  up.up = {0, 0, 2};
  EXPECT_EQ(PlanViews(up, {}, camera, plan), "the up direction runs along the line of sight, so the picture has no up");
  std::vector<ViewLine> lines{{{0, 0, 10, 0, 0, 0, 0, 1, 0, 45}, "v:1"}, {{0, 0, 10, 0, 0, 0, 0, 1, 0, 190}, "v:2"}};
  camera = ExampleCamera();
  EXPECT_EQ(PlanViews(AimOptions{}, lines, camera, plan),
            "v:2: the field of view must lie between 0 and 180 degrees, both left out");
}

TEST(Views, FileViewsAimOrKeepTheRunsEyeWithTheirCorners) {
  Camera camera = ExampleCamera();
  std::vector<ViewLine> lines{{{1, 2, 30, 1, 2, 0, 0, 1, 0, 45}, "v:1"},
                              {{-1, 1, 5, 1, 1, 5, -1, -1, 5, 1, -1, 5}, "v:2"}};
  ViewPlan plan;
  EXPECT_EQ(PlanViews(AimOptions{}, lines, camera, plan), "");
  ASSERT_EQ(plan.views.size(), 2u);
  EXPECT_TRUE(plan.sequence);
  EXPECT_TRUE(plan.views[0].aimed);
  EXPECT_EQ(plan.views[0].fov, 45);
  ExpectVertex(plan.views[0].camera.eye, {1, 2, 30});
  ExpectVertex(plan.views[0].camera.center, {1, 2, 0});
  EXPECT_FALSE(plan.views[1].aimed);
  ExpectVertex(plan.views[1].camera.eye, {0, 100, 700});
  ExpectVertex(plan.views[1].camera.ul, {-1, 1, 5});
  ExpectVertex(plan.views[1].camera.dr, {1, -1, 5});
}

TEST(Views, AimedSensorStandsInFrontOfTheNearestSampleInView) {
  CVSample samples[3] = {};
  samples[0].position = {0, 0, 5};   // depth 5, in view
  samples[1].position = {8, 0, 9};   // depth 1, but beside the view
  samples[2].position = {0, 0, 20};  // behind the eye
  CVDataSet dataset{3, 3, samples};
  View view;
  view.camera.eye = {0, 0, 10};
  view.camera.center = {0, 0, 0};
  view.camera.up = {0, 1, 0};
  view.aimed = true;
  view.fov = 90;
  Camera camera = ViewCamera(view, dataset);
  float depth = float(kSensorDepthShare * 5);
  ExpectVertex(camera.ul, {-depth, depth, 10 - depth}, 1e-5f);
  ExpectVertex(camera.dr, {depth, -depth, 10 - depth}, 1e-5f);
  View plain;
  plain.camera = ExampleCamera();
  ExpectSameCorners(ViewCamera(plain, dataset), ExampleCamera());
}

TEST(Views, WindowCameraMovesTheEyeAgainstTheWindowsTurns) {
  const Camera first = ExampleCamera();
  Camera same = WindowCamera(first, 0, 0, 0, 1);
  EXPECT_TRUE(SameBits(same.eye, first.eye) && SameBits(same.center, first.center) && SameBits(same.up, first.up));
  // The window turns the scene by 90 degrees about y: the eye goes the other way.
  ExpectVertex(WindowCamera(first, 90, 0, 0, 1).eye, {-700, 100, 0}, 1e-3f);
  ExpectVertex(WindowCamera(first, 60, 30, 0, 1).eye, {-700, 100, 0}, 1e-3f);
  // Twice the zoom is half the distance.
  ExpectVertex(WindowCamera(first, 0, 0, 0, 2).eye, {0, 100, 350}, 1e-3f);
  // Tilting the scene's top towards the eye lifts the eye and leans up back.
  Camera tilted = WindowCamera(first, 0, 0, 90, 1);
  ExpectVertex(tilted.eye, {0, 800, 0}, 1e-3f);
  ExpectVertex(tilted.up, {0, 0, -1}, 1e-6f);
  ExpectVertex(tilted.center, first.center);
}

}  // namespace
