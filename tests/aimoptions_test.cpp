#include "app/aimoptions.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support.h"

namespace {

using Apply = std::string (*)(const std::string&, const std::string&, AimOptions&);

TEST(AimOptions, ReadAnglesPointsFilesAndCounts) {
  AimOptions aim;
  EXPECT_EQ(ApplyFov("--fov", "37.5", aim), "");
  EXPECT_TRUE(aim.fov_given);
  EXPECT_EQ(aim.fov, 37.5);
  EXPECT_EQ(ApplyEye("--eye", "1,-2.5,3e2", aim), "");
  EXPECT_TRUE(aim.eye_given);
  ExpectVertex(aim.eye, {1, -2.5f, 300});
  EXPECT_EQ(ApplyLookAt("--look-at", "0,0.1,0", aim), "");
  EXPECT_TRUE(aim.look_at_given);
  ExpectVertex(aim.look_at, {0, 0.1f, 0});
  EXPECT_EQ(ApplyUp("--up", "0,1,0", aim), "");
  EXPECT_TRUE(aim.up_given);
  ExpectVertex(aim.up, {0, 1, 0});
  EXPECT_EQ(ApplyViews("--views", "views.txt", aim), "");
  EXPECT_EQ(aim.views, "views.txt");
  EXPECT_EQ(ApplyOrbit("--orbit", "9999", aim), "");
  EXPECT_EQ(aim.orbit, 9999u);
}

TEST(AimOptions, RefuseWrongValuesNamingThem) {
  struct Row {
    Apply apply;
    const char* written;
    const char* value;
    const char* message;
  };
  const char* angle = "option --fov wants an angle in degrees between 0 and 180, not '";
  const char* point = "option --eye wants three numbers X,Y,Z, not '";
  const char* count = "option --orbit wants a number of views from 1 to 9999, not '";
  const Row rows[] = {
      {ApplyFov, "--fov", "0", angle},       {ApplyFov, "--fov", "180", angle},
      {ApplyFov, "--fov", "-5", angle},      {ApplyFov, "--fov", "nan", angle},
      {ApplyFov, "--fov", "inf", angle},     {ApplyFov, "--fov", "40x", angle},
      {ApplyFov, "--fov", " 40", angle},     {ApplyFov, "--fov", "", angle},
      {ApplyEye, "--eye", "1,2", point},     {ApplyEye, "--eye", "1,2,3,4", point},
      {ApplyEye, "--eye", "1,,3", point},    {ApplyEye, "--eye", "a,b,c", point},
      {ApplyEye, "--eye", "1,2,inf", point}, {ApplyEye, "--eye", "1 2 3", point},
      {ApplyOrbit, "--orbit", "0", count},   {ApplyOrbit, "--orbit", "10000", count},
      {ApplyOrbit, "--orbit", "-3", count},  {ApplyOrbit, "--orbit", "", count},
  };
  for (const Row& row : rows) {
    AimOptions aim;
    EXPECT_EQ(row.apply(row.written, row.value, aim), std::string(row.message) + row.value + "'") << row.value;
    EXPECT_FALSE(aim.fov_given || aim.eye_given || aim.orbit > 0) << row.value;
  }
  AimOptions aim;
  EXPECT_EQ(ApplyViews("--views", "", aim), "option --views wants a file name, not an empty one");
}

TEST(AimOptions, ViewsGoWithAnAimButNotWithAnOrbit) {
  AimOptions aim;
  aim.views = "views.txt";
  aim.fov_given = true;
  aim.eye_given = true;
  EXPECT_EQ(AimConflict(aim), "");
  aim.orbit = 4;
  EXPECT_EQ(AimConflict(aim), "--views and --orbit both ask for the views; give one of them");
  aim.views.clear();
  EXPECT_EQ(AimConflict(aim), "");
}

}  // namespace
