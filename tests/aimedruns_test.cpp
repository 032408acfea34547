// Aimed cameras and sequences of views in the real binary: each test works
// in a fresh copy of the small room, without a terminal and without a display.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/program_runner.h"
#include "tests/test_files.h"

namespace {

constexpr int kSamples = 2000;

ProgramResult RunInRoom(const TempDir& dir, const std::string& arguments) {
  return RunCommand("unset DISPLAY; export TERM=dumb; " + ShellQuote(CORVANE_BINARY) + " --no-window " + arguments,
                    dir.path());
}

// The nine lines of corvane.cfg (CAMERAPOSITION and SENSORPOSITION) that -v
// printed after heading; empty when it printed none.
std::string PrintedCamera(const std::string& output, const std::string& heading) {
  size_t at = output.find(heading);
  if (at == std::string::npos) return "";
  size_t begin = output.find("CAMERAPOSITION\n", at);
  size_t end = begin;
  for (int line = 0; line < 9 && end != std::string::npos; ++line) end = output.find('\n', end) + 1;
  return end == std::string::npos ? "" : output.substr(begin, end - begin);
}

// Replaces the camera lines, which close the room's corvane.cfg, by camera.
void SetCamera(const TempDir& dir, const std::string& camera) {
  std::string settings = ReadFileBytes(dir.File("corvane.cfg"));
  settings = settings.substr(0, settings.find("CAMERAPOSITION")) + camera;
  std::ofstream(dir.File("corvane.cfg"), std::ios::binary | std::ios::trunc) << settings;
}

bool Exists(const TempDir& dir, const std::string& name) { return std::filesystem::exists(dir.File(name)); }

TEST(AimedRuns, PrintedCameraRepeatsTheRunFromCorvaneCfgAlone) {
  TempDir dir;
  WriteSmallRoom(dir.path(), kSamples);
  ProgramResult aimed = RunInRoom(dir, "-v --fov 30 --eye 40,160,600 --up 0.1,1,0 -o aimed.ppm --png aimed.png");
  ASSERT_EQ(aimed.status, 0) << aimed.output;
  std::string camera = PrintedCamera(aimed.output, "corvane: camera and sensor, as corvane.cfg gives them:\n");
  ASSERT_EQ(camera.rfind("CAMERAPOSITION\n40 160 600;\n0 100 0;\n0.1 1 0;\nSENSORPOSITION\n", 0), 0u) << aimed.output;
  // The picture carries the computed corners in its settings.
  EXPECT_NE(ReadFileBytes(dir.File("aimed.png")).find(camera), std::string::npos);

  SetCamera(dir, camera);
  ProgramResult plain = RunInRoom(dir, "-q -o plain.ppm");
  ASSERT_EQ(plain.status, 0) << plain.output;
  EXPECT_TRUE(ReadFileBytes(dir.File("plain.ppm")) == ReadFileBytes(dir.File("aimed.ppm")));
}

TEST(AimedRuns, AnAimThatGivesNoPictureIsRefusedWithOneMessage) {
  struct Row {
    const char* arguments;
    const char* message;
  };
  const Row rows[] = {
      {"--up 0,0,1", "corvane: the up direction runs along the line of sight, so the picture has no up\n"},
      {"--fov 40 --up 0,0,-2", "corvane: the up direction runs along the line of sight, so the picture has no up\n"},
      {"--look-at 0,100,700", "corvane: the eye stands on the point it looks at, so there is no line of sight\n"},
      {"--orbit 2 -D 'SENSORPOSITION=0 0 0;0 0 0;0 0 0;0 0 0'",
       "corvane: corvane.cfg's sensor spans no angle as seen from the eye, so the view needs --fov\n"},
      {"--fov 0", "corvane: option --fov wants an angle in degrees between 0 and 180, not '0'\n"},
      {"--fov 180", "corvane: option --fov wants an angle in degrees between 0 and 180, not '180'\n"},
  };
  for (const Row& row : rows) {
    TempDir dir;
    WriteSmallRoom(dir.path(), kSamples);
    ProgramResult run = RunInRoom(dir, row.arguments);
    EXPECT_EQ(run.status, 2) << row.arguments;
    EXPECT_EQ(run.output.rfind(row.message, 0), 0u) << row.arguments << "\n" << run.output;
    EXPECT_FALSE(Exists(dir, "out.ppm") || Exists(dir, "out-0001.ppm")) << row.arguments;
  }
}

TEST(AimedRuns, EachViewOfAnOrbitIsThePlainRunOfItsCamera) {
  TempDir dir;
  WriteSmallRoom(dir.path(), kSamples);
  ProgramResult single = RunInRoom(dir, "--fov 40 -o single.ppm");
  ASSERT_EQ(single.status, 0) << single.output;
  ProgramResult orbit = RunInRoom(dir, "-v --orbit 3 --fov 40 -o orbit.ppm --png orbit.png");
  ASSERT_EQ(orbit.status, 0) << orbit.output;
  EXPECT_NE(orbit.output.find("the images are " + dir.path() + "/orbit-0001.ppm to " + dir.path() +
                              "/orbit-0003.ppm and the pictures " + dir.path() + "/orbit-0001.png to "),
            std::string::npos)
      << orbit.output;
  for (const char* name : {"orbit-0001.png", "orbit-0002.png", "orbit-0003.png"}) EXPECT_TRUE(Exists(dir, name));
  EXPECT_FALSE(Exists(dir, "orbit.ppm") || Exists(dir, "orbit-0004.ppm") || Exists(dir, "out.ppm"));
  // The first view is the view of the eye itself.
  EXPECT_TRUE(ReadFileBytes(dir.File("orbit-0001.ppm")) == ReadFileBytes(dir.File("single.ppm")));

  const std::string settings = ReadFileBytes(dir.File("corvane.cfg"));
  for (int view : {2, 3}) {
    std::string camera = PrintedCamera(orbit.output, "corvane: view " + std::to_string(view) + ": camera and sensor");
    ASSERT_NE(camera, "") << orbit.output;
    SetCamera(dir, camera);
    ProgramResult plain = RunInRoom(dir, "-q -o plain.ppm");
    ASSERT_EQ(plain.status, 0) << plain.output;
    EXPECT_TRUE(ReadFileBytes(dir.File("plain.ppm")) ==
                ReadFileBytes(dir.File("orbit-000" + std::to_string(view) + ".ppm")))
        << "view " << view;
    std::ofstream(dir.File("corvane.cfg"), std::ios::binary | std::ios::trunc) << settings;
  }
}

TEST(AimedRuns, ViewsFileRendersEachLineIntoNumberedFiles) {
  TempDir dir;
  WriteSmallRoom(dir.path(), kSamples);
  dir.Write("views.txt",
            "# the settings' own sensor, then an aimed view from the left\n"
            "-110 210 110  110 210 110  -110 -10 110  110 -10 110\n"
            "\n"
            "-300,150,600 0,100,0 0,1,0 25  # eye, point looked at, up, field of view\n");
  ProgramResult views = RunInRoom(dir, "--views views.txt --exr e.exr");
  ASSERT_EQ(views.status, 0) << views.output;
  ProgramResult plain = RunInRoom(dir, "-q -o plain.ppm");
  ASSERT_EQ(plain.status, 0) << plain.output;
  EXPECT_TRUE(ReadFileBytes(dir.File("out-0001.ppm")) == ReadFileBytes(dir.File("plain.ppm")));
  EXPECT_FALSE(ReadFileBytes(dir.File("out-0002.ppm")) == ReadFileBytes(dir.File("plain.ppm")));
  EXPECT_TRUE(Exists(dir, "e-0001.exr") && Exists(dir, "e-0002.exr"));
  EXPECT_FALSE(Exists(dir, "out.ppm") || Exists(dir, "out-0003.ppm"));

  dir.Write("bad.txt", "0 100 700 0 100 0 0 1 0\n");
  ProgramResult bad = RunInRoom(dir, "--views bad.txt -o bad.ppm");
  EXPECT_EQ(bad.status, 2);
  EXPECT_EQ(bad.output,
            "corvane: bad.txt:1: the line has 9 numbers; a view has 10 (eye, point looked at, up, field "
            "of view) or 12 (the sensor's corners)\n");
  EXPECT_FALSE(Exists(dir, "bad-0001.ppm"));

  // A view that no sample reaches says why once, its sensor's shape inside the reason.
  dir.Write("flat.txt", "-110 210 110  110 210 110  -110 -10 110  110 -10 110\n0 0 0  1 1 1  2 2 2  3 3 3\n");
  ProgramResult flat = RunInRoom(dir, "--views flat.txt -o flat.ppm");
  EXPECT_EQ(flat.status, 0) << flat.output;
  size_t said = flat.output.find("corvane: view 2: ");
  ASSERT_NE(said, std::string::npos) << flat.output;
  EXPECT_NE(flat.output.find("lie on one line", said), std::string::npos) << flat.output;
  EXPECT_EQ(flat.output.find("lie on one line", flat.output.find("lie on one line") + 1), std::string::npos)
      << flat.output;
}

}  // namespace
