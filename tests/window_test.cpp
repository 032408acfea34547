// The viewer window under a virtual X server: its title and size, the grey
// sample points, the red line of sight once the view has turned, and the keys
// and mouse buttons that handle it, driven by xdotool.
#include <gtest/gtest.h>

#include <filesystem>
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

// Starts corvane ($1, with its options after it) in the background, waits for its window (as $wid, with
// the pointer in it so that keys reach it) and defines `grab FILE`, which saves
// the window as a PPM, `shot FILE`, which first waits until the frame no
// longer changes (a paused view), and `close KEY`, which presses KEY and
// records the status and the milliseconds until the program ended. In a
// sanitizer build the leak check is off for the windowed program only: the
// GL driver that the toolkit loads and unloads leaves blocks behind whose
// module is gone by then, so they cannot be suppressed by name. Every run
// without a window is still checked.
const char* const kWindowScriptStart =
    "ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0\" \"$@\" >/dev/null 2>corvane.err & pid=$!\n"
    "i=0\n"
    "until wid=$(xdotool search --name '^Corvane$' 2>/dev/null); do\n"
    "  i=$((i+1)); [ $i -gt 1200 ] && exit 1; sleep 0.1\n"
    "done\n"
    "xdotool mousemove --window $wid 250 250\n"
    "grab() { xwd -id $wid -silent | xwdtopnm > $1 2>/dev/null; }\n"
    "shot() {\n"
    "  sleep 0.3; grab $1; i=0\n"
    "  until sleep 0.2; grab $1.next; cmp -s $1 $1.next || [ $i -gt 20 ]; do mv $1.next $1; i=$((i+1)); done\n"
    "}\n"
    "close() {\n"
    "  start=$(date +%s%N); xdotool key $1; wait $pid; echo $? > status.txt\n"
    "  echo $(( ($(date +%s%N) - start) / 1000000 )) > close_ms.txt\n"
    "}\n";

// Few samples, so that the window opens soon.
const int kWindowSamples = 5000;

// Runs the script (after kWindowScriptStart) under a virtual X server in
// dir, corvane with the given options (shell words). The server must not
// reset when its last client leaves: the script's window search connects
// and leaves every tenth of a second, and a program that looks for the
// display during a reset finds none.
ProgramResult RunWithWindow(const TempDir& dir, const std::string& script, const std::string& options = "") {
  dir.Write("look.sh", kWindowScriptStart + script);
  return RunCommand(
      "xvfb-run -a -s '-noreset -screen 0 800x600x24' sh look.sh " + ShellQuote(CORVANE_BINARY) + " " + options,
      dir.path(), 300);
}

bool WindowToolsMissing() {
  return RunCommand(
             "command -v xvfb-run && command -v xwininfo && command -v xwd && command -v xwdtopnm && "
             "command -v xdotool",
             "/")
             .status != 0;
}

constexpr const char* kToolsMissing = "xvfb-run, xwininfo, xwd, xwdtopnm or xdotool is not installed";

}  // namespace

TEST(Window, ShowsGreyPointsAndTheTurningLineOfSight) {
  if (WindowToolsMissing()) GTEST_SKIP() << kToolsMissing;
  TempDir dir;
  WriteSmallRoom(dir.path(), kWindowSamples);
  ProgramResult run = RunWithWindow(dir,
                                    "xwininfo -id $wid > window.txt\n"
                                    "sleep 4\n"
                                    "grab shot.ppm\n"
                                    "close Escape\n");
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

// Space pauses, so that frames can be compared; r brings back the view at
// the start, the eye's own, where the line of sight is seen end on; a left
// drag turns, the wheel and a right drag zoom; space again resumes the turning.
TEST(Window, PausesTurnsZoomsAndReturnsToTheFirstView) {
  if (WindowToolsMissing()) GTEST_SKIP() << kToolsMissing;
  TempDir dir;
  WriteSmallRoom(dir.path(), kWindowSamples);
  ProgramResult run = RunWithWindow(dir,
                                    "sleep 1; xdotool key space; shot turned.ppm\n"
                                    "xdotool key r; shot first.ppm; sleep 0.5; grab paused.ppm\n"
                                    "xdotool mousedown 1 mousemove_relative 60 30 mouseup 1; shot dragged.ppm\n"
                                    "xdotool key r; shot back.ppm\n"
                                    "xdotool click 4 click 4; shot wheel.ppm; xdotool key r\n"
                                    "xdotool mousedown 3 mousemove_relative 0 -80 mouseup 3; shot zoomed.ppm\n"
                                    "xdotool key r key space; sleep 0.5; grab resumed.ppm\n"
                                    "close Escape\n");
  ASSERT_EQ(run.status, 0) << run.output << ReadFileBytes(dir.File("corvane.err"));

  PpmImage image;
  ASSERT_TRUE(ParsePpm(ReadFileBytes(dir.File("turned.ppm")), image));
  EXPECT_GT(CountPixels(image).red, 20u);
  std::string first = ReadFileBytes(dir.File("first.ppm"));
  ASSERT_TRUE(ParsePpm(first, image));
  EXPECT_GT(CountPixels(image).grey, 100u);
  EXPECT_EQ(CountPixels(image).red, 0u);
  EXPECT_EQ(ReadFileBytes(dir.File("paused.ppm")), first);
  EXPECT_EQ(ReadFileBytes(dir.File("back.ppm")), first);
  for (const char* changed : {"turned.ppm", "dragged.ppm", "wheel.ppm", "zoomed.ppm", "resumed.ppm"}) {
    std::string shot = ReadFileBytes(dir.File(changed));
    EXPECT_TRUE(ParsePpm(shot, image)) << changed;
    EXPECT_NE(shot, first) << changed;
  }
}

// p renders the window's view into the next numbered PNG with the run's
// field of view and exposure, and the window goes on showing the run's
// samples: at the first view that is the aimed run of the eye's own camera.
TEST(Window, PSavesTheViewAsTheNextNumberedPicture) {
  if (WindowToolsMissing()) GTEST_SKIP() << kToolsMissing;
  TempDir dir;
  WriteSmallRoom(dir.path(), kWindowSamples);
  dir.Write("out-0001.png", "an earlier picture");
  ProgramResult run = RunWithWindow(dir,
                                    "sleep 1; xdotool key space key r; shot first.ppm\n"
                                    "xdotool key p; i=0\n"
                                    "until [ -f out-0002.png ] || [ $i -gt 300 ]; do i=$((i+1)); sleep 0.1; done\n"
                                    "shot after.ppm\n"
                                    "close Escape\n",
                                    "--exposure 3");
  ASSERT_EQ(run.status, 0) << run.output << ReadFileBytes(dir.File("corvane.err"));
  EXPECT_NE(ReadFileBytes(dir.File("corvane.err")).find("corvane: the window's view is in " + dir.File("out-0002.png")),
            std::string::npos)
      << ReadFileBytes(dir.File("corvane.err"));
  EXPECT_EQ(ReadFileBytes(dir.File("out-0001.png")), "an earlier picture");
  EXPECT_EQ(ReadFileBytes(dir.File("after.ppm")), ReadFileBytes(dir.File("first.ppm")));

  ProgramResult aimed = RunCommand("unset DISPLAY; " + ShellQuote(CORVANE_BINARY) +
                                       " --no-window -q --eye 0,100,700 --exposure 3 --png aimed.png -o aimed.ppm",
                                   dir.path());
  ASSERT_EQ(aimed.status, 0) << aimed.output;
  std::string picture = ReadFileBytes(dir.File("out-0002.png"));
  EXPECT_FALSE(picture.empty());
  EXPECT_TRUE(picture == ReadFileBytes(dir.File("aimed.png")));
}

// Escape and q close the window at once; the program ends with the status of
// the run, 3 when out.ppm could not be written (a folder stands in its way),
// and says where the image is when it was written.
TEST(Window, EscapeOrQClosesItAndTheProgramEndsWithTheRunsStatus) {
  if (WindowToolsMissing()) GTEST_SKIP() << kToolsMissing;
  struct Row {
    const char* key;
    bool image_blocked;
    const char* status;
  };
  for (Row row : {Row{"Escape", false, "0\n"}, Row{"q", false, "0\n"}, Row{"q", true, "3\n"}}) {
    TempDir dir;
    WriteSmallRoom(dir.path(), kWindowSamples);
    if (row.image_blocked) std::filesystem::create_directory(dir.File("out.ppm"));
    ProgramResult run = RunWithWindow(dir, std::string("close ") + row.key + "\n");
    ASSERT_EQ(run.status, 0) << row.key << run.output << ReadFileBytes(dir.File("corvane.err"));
    EXPECT_EQ(ReadFileBytes(dir.File("status.txt")), row.status) << row.key;
    EXPECT_LT(std::stoi(ReadFileBytes(dir.File("close_ms.txt"))), 1000) << row.key;
    std::string said = ReadFileBytes(dir.File("corvane.err"));
    // The title names no keys, so one line does as the window opens.
    std::string keys =
        "corvane: window keys: Esc or q closes it, space pauses the turning, a left drag turns the view, the wheel "
        "or a right drag zooms, r returns to the first view, p saves the view as a numbered PNG\n";
    std::string where = "corvane: the window is closed; the image is " + dir.File("out.ppm") + "\n";
    EXPECT_EQ(said, row.image_blocked ? "corvane: could not write the image " + dir.File("out.ppm") + "\n" + keys
                                      : keys + where)
        << row.key;
  }
}

// The X options of the command line reach the window: -geometry sets its
// size (the pointer at 250, 250 stays inside, so that Escape reaches it).
TEST(Window, TakesTheXOptionsOfTheCommandLine) {
  if (WindowToolsMissing()) GTEST_SKIP() << kToolsMissing;
  TempDir dir;
  WriteSmallRoom(dir.path(), kWindowSamples);
  ProgramResult run =
      RunWithWindow(dir, "xwininfo -id $wid > window.txt\nclose Escape\n", "-sync -geometry 400x300+0+0");
  ASSERT_EQ(run.status, 0) << run.output << ReadFileBytes(dir.File("corvane.err"));
  std::string window = ReadFileBytes(dir.File("window.txt"));
  EXPECT_NE(window.find("Width: 400"), std::string::npos) << window;
  EXPECT_NE(window.find("Height: 300"), std::string::npos) << window;
}
