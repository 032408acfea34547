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

// Each row breaks the small room in one way that leaves the image black.
TEST(Program, EveryBlackImageEndsWithItsReasonEvenWhenQuiet) {
  struct Row {
    std::string command;  // a shell line; $C runs the binary without a window
    std::string reason;   // a part of the last line
  };
  const Row rows[] = {
      {"mkdir -p empty && cd empty && $C", "/empty holds no corvane.cfg and no scene was named"},
      {"$C room -D SCENEFILENAME=rooom.wrl", "/room/rooom.wrl: No such file or directory; the scene is empty"},
      {"sed -i 's/DATASETSIZE=/DATASETSIZE = /' room/corvane.cfg && $C room", "DATASETSIZE is 0"},
      {"printf '#VRML V2.0 utf8\\nPointLight {\\n' > room/room.wrl && $C room", "found no face in this file"},
      {"sed -i s/PointLight/PointLamp/ room/room.wrl && $C room", "the scene has no light"},
      {"sed -i 's/location 0 185 0/location 0 200 0/' room/room.wrl && $C room", "the first light path met no surface"},
      {"$C room -D 'CAMERAPOSITION=-40 20 -25; 0 100 0; 0 1 0'", "no sample is seen from the eye (2000 stored)"},
      {"$C room -D 'SENSORPOSITION=-110 210 110; -110 -10 110; 110 210 110; 110 -10 110'",
       "none reaches the sensor: its corners dl, ul, ur"},
      {"sed -i 's/diffuseColor .*/diffuseColor 0 0 0/' room/room.wrl && $C room", "none is bright enough"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.command);
    std::string last_line;
    TempDir dir;
    WriteSmallRoom(dir.File("room"), 2000);
    for (const char* quiet : {"-q", ""}) {
      ProgramResult run =
          RunCommand("unset DISPLAY; C='" + std::string(CORVANE_BINARY) + " --no-window " + quiet + "'; " + row.command,
                     dir.path());
      EXPECT_EQ(run.status, 4) << run.output;
      ASSERT_FALSE(run.output.empty());
      std::string output = run.output.substr(0, run.output.size() - 1);
      std::string last = output.substr(output.rfind('\n') + 1);
      EXPECT_NE(last.find(row.reason), std::string::npos) << run.output;
      EXPECT_NE(last.find("the image is black"), std::string::npos) << last;
      if (*quiet != '\0') {
        EXPECT_EQ(last, output) << "the one line of a quiet run";
        last_line = last;
      } else {
        EXPECT_EQ(last, last_line);
        bool no_light = row.reason.find("has no light") != std::string::npos;
        EXPECT_EQ(output.find("has no light") != std::string::npos, no_light)
            << "one reason, not what follows from it: " << output;
      }
    }
  }
}
