// Whole runs of the corvane binary in a temporary directory, without a
// terminal and without a display, as a script or a batch job runs it.
#include <gtest/gtest.h>

#include <string>

#include "tests/program_runner.h"
#include "tests/test_files.h"

namespace {

bool EveryPixelIsGrey(const PpmImage& image) {
  for (size_t i = 0; i + 2 < image.raster.size(); i += 3) {
    if (image.raster[i] != image.raster[i + 1] || image.raster[i] != image.raster[i + 2]) return false;
  }
  return true;
}

size_t LitPixels(const PpmImage& image) {
  size_t lit = 0;
  for (size_t i = 0; i < image.raster.size(); i += 3) lit += image.raster[i] != 0 ? 1 : 0;
  return lit;
}

}  // namespace

TEST(Program, RunWithoutTerminalOrDisplayWritesAGreyImage) {
  TempDir dir;
  WriteSmallRoom(dir.path(), 3000);
  ProgramResult run = RunCorvane(dir.path());
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("no display is available"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find(dir.File("out.ppm")), std::string::npos) << run.output;

  PpmImage image;
  ASSERT_TRUE(ParsePpm(ReadFileBytes(dir.File("out.ppm")), image));
  EXPECT_EQ(image.width, 1024);
  EXPECT_EQ(image.height, 1024);
  EXPECT_TRUE(EveryPixelIsGrey(image));
  EXPECT_GT(LitPixels(image), 500u);
}

TEST(Program, TwoRunsOnTheSameFilesGiveTheSameBytes) {
  TempDir first;
  TempDir second;
  WriteSmallRoom(first.path(), 2000);
  WriteSmallRoom(second.path(), 2000);
  ASSERT_EQ(RunCorvane(first.path()).status, 0);
  ASSERT_EQ(RunCorvane(second.path()).status, 0);
  std::string a = ReadFileBytes(first.File("out.ppm"));
  EXPECT_FALSE(a.empty());
  EXPECT_EQ(a, ReadFileBytes(second.File("out.ppm")));
}

TEST(Program, MissingSettingsAndSceneGiveABlackImageAndSayWhy) {
  TempDir dir;
  ProgramResult run = RunCorvane(dir.path());
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("no light"), std::string::npos) << run.output;
  PpmImage image;
  ASSERT_TRUE(ParsePpm(ReadFileBytes(dir.File("out.ppm")), image));
  EXPECT_EQ(LitPixels(image), 0u);
}
