// The viewer window under a virtual X server: its title and size, the grey
// sample points, and the red line of sight once the view has turned.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "tests/program_runner.h"
#include "tests/test_files.h"

namespace {

struct PixelCounts {
  size_t grey = 0;
  size_t red = 0;
};

// Grey pixels above the caption strip at the bottom, and clearly red pixels.
PixelCounts CountPixels(const PpmImage& image) {
  PixelCounts counts;
  for (int y = 0; y < image.height - 30; y++) {
    for (int x = 0; x < image.width; x++) {
      size_t i = (size_t(y) * image.width + x) * 3;
      unsigned char r = image.raster[i];
      unsigned char g = image.raster[i + 1];
      unsigned char b = image.raster[i + 2];
      if (r > 0 && r == g && g == b) counts.grey++;
      if (r > 128 && g < 32 && b < 32) counts.red++;
    }
  }
  return counts;
}

}  // namespace

TEST(Window, ShowsGreyPointsAndTheTurningLineOfSight) {
  if (RunCommand("command -v xvfb-run && command -v xwininfo && command -v xwd && command -v xwdtopnm", "/").status !=
      0) {
    GTEST_SKIP() << "xvfb-run, xwininfo, xwd or xwdtopnm is not installed";
  }
  TempDir dir;
  CopyExample("room", dir.path());
  std::string settings = ReadFileBytes(dir.File("corvane.cfg"));
  dir.Write("corvane.cfg", std::regex_replace(settings, std::regex("DATASETSIZE=[0-9]+"), "DATASETSIZE=5000"));
  dir.Write("look.sh",
            "\"$1\" >/dev/null 2>corvane.err & pid=$!\n"
            "i=0\n"
            "until xwininfo -name Corvane >/dev/null 2>&1; do\n"
            "  i=$((i+1)); [ $i -gt 1200 ] && exit 1; sleep 0.1\n"
            "done\n"
            "xwininfo -name Corvane > window.txt\n"
            "sleep 4\n"
            "xwd -name Corvane -silent | xwdtopnm > shot.ppm 2>/dev/null\n"
            "kill $pid\n"
            "wait $pid\n"
            "echo status $? > status.txt\n");
  ProgramResult run = RunCommand("xvfb-run -a -s '-screen 0 800x600x24' sh look.sh " + ShellQuote(CORVANE_BINARY),
                                 dir.path(), 300);
  ASSERT_EQ(run.status, 0) << run.output << ReadFileBytes(dir.File("corvane.err"));

  std::string window = ReadFileBytes(dir.File("window.txt"));
  EXPECT_NE(window.find("\"Corvane\""), std::string::npos) << window;
  EXPECT_NE(window.find("Width: 500"), std::string::npos) << window;
  EXPECT_NE(window.find("Height: 500"), std::string::npos) << window;

  PpmImage shot;
  ASSERT_TRUE(ParsePpm(ReadFileBytes(dir.File("shot.ppm")), shot));
  EXPECT_EQ(shot.width, 500);
  EXPECT_EQ(shot.height, 500);
  PixelCounts counts = CountPixels(shot);
  EXPECT_GT(counts.grey, 100u);
  EXPECT_GT(counts.red, 20u);
}
