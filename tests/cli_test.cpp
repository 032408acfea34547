// The command line of the real binary, row by row: each row runs in a fresh
// folder that holds a small copy of the room example in room/, without a
// terminal and without a display, and names every file the run leaves.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/program_runner.h"
#include "tests/test_files.h"

namespace {

// What the first PPM among the written files holds.
enum Image { kNoImage, kPlainImage, kOtherImage };

struct Row {
  std::string command;  // a shell line; $C is the binary
  int status;
  std::optional<std::string> said;   // a part of the output; nullopt: the output is empty
  std::vector<std::string> written;  // the files the run adds, sorted
  Image image;
};

ProgramResult Run(const TempDir& dir, const std::string& command) {
  return RunCommand("unset DISPLAY; export TERM=dumb; C=" + ShellQuote(CORVANE_BINARY) + "; " + command, dir.path());
}

// The files under dir, besides the room's own two, as sorted relative names.
std::vector<std::string> AddedFiles(const TempDir& dir) {
  std::vector<std::string> added;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path())) {
    if (!entry.is_regular_file()) continue;
    std::string name = std::filesystem::relative(entry.path(), dir.path()).string();
    if (name != "room/corvane.cfg" && name != "room/room.wrl") added.push_back(name);
  }
  std::sort(added.begin(), added.end());
  return added;
}

// out.ppm of a run with no arguments in the room folder.
const std::string& PlainImage() {
  static const std::string image = [] {
    TempDir dir;
    WriteSmallRoom(dir.File("room"), 2000);
    Run(dir, "cd room && $C");
    return ReadFileBytes(dir.File("room/out.ppm"));
  }();
  return image;
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The run's status, output and files; the PNG and EXR files by their magic bytes.
void CheckRow(const Row& row) {
  TempDir dir;
  WriteSmallRoom(dir.File("room"), 2000);
  ProgramResult run = Run(dir, row.command);
  EXPECT_EQ(run.status, row.status) << row.command << "\n" << run.output;
  if (row.said) {
    EXPECT_NE(run.output.find(*row.said), std::string::npos) << row.command << "\n" << run.output;
  } else {
    EXPECT_EQ(run.output, "") << row.command;
  }
  std::vector<std::string> added = AddedFiles(dir);
  EXPECT_EQ(added, row.written) << row.command;
  for (const std::string& name : added) {
    std::string bytes = ReadFileBytes(dir.File(name));
    std::string magic = EndsWith(name, ".png") ? "\x89PNG\r\n\x1a\n" : EndsWith(name, ".exr") ? "\x76\x2f\x31\x01" : "";
    EXPECT_EQ(bytes.substr(0, magic.size()), magic) << row.command << ": " << name;
    if (!EndsWith(name, ".ppm") || row.image == kNoImage) continue;
    EXPECT_EQ(bytes == PlainImage(), row.image == kPlainImage) << row.command << ": " << name;
    break;
  }
}

const std::string kUsage = "\nusage: corvane [OPTIONS] [SCENE_DIR]";

}  // namespace

TEST(Cli, RunsWhatEachOptionAsks) {
  const std::vector<std::string> out{"room/out.ppm"};
  const Row rows[] = {
      {"cd room && $C", 0, "no display is available, so no window opens; the image is /", out, kPlainImage},
      {"$C room", 0, "/room/out.ppm\n", out, kPlainImage},
      {"$C --help", 0, "  128+N   the run was ended by signal N (130 for Ctrl-C)\n", {}, kNoImage},
      {"$C -h room", 0, "-D KEY=VALUE", {}, kNoImage},
      {"$C --version", 0, "corvane 1.0.0\n", {}, kNoImage},
      {"$C room -o a.ppm", 0, "/a.ppm\n", {"a.ppm"}, kPlainImage},
      {"$C --output=room/b.ppm -- room", 0, "", {"room/b.ppm"}, kPlainImage},
      {"$C room --png p.png --exr e.exr -t 1",
       0,
       "/room/out.ppm, the picture /",
       {"e.exr", "p.png", "room/out.ppm"},
       kPlainImage},
      {"$C room --png p.png --exposure 4 --threads=3",
       0,
       "/room/out.ppm and the picture /",
       {"p.png", "room/out.ppm"},
       kPlainImage},
      {"$C --no-window room --exr e.exr",
       0,
       "/room/out.ppm and the sensor values /",
       {"e.exr", "room/out.ppm"},
       kPlainImage},
      {"$C -q room -D SCENEFILENAME=gone.wrl", 4, "/room/gone.wrl: No such file or directory", out, kOtherImage},
      {"$C -v room", 0, "corvane: 2000 samples stored, ", out, kPlainImage},
      {"$C --no-window room", 0, "corvane: the image is /", out, kPlainImage},
      {"$C room -display :4321 -sync -iconic -geometry 10x10", 0, "no display is available", out, kPlainImage},
      {"mkdir ./-room && cp room/* ./-room && $C -- -room",
       0,
       "",
       {"-room/corvane.cfg", "-room/out.ppm", "-room/room.wrl"},
       kPlainImage},
      {"$C room -D DATASETSIZE=1000 -v", 0, "corvane: 1000 samples stored, ", out, kOtherImage},
      {"$C room -DLIGHTCHANCE=0.3", 0, "", out, kOtherImage},
      {"$C room -D SCENEFILENAME=gone.wrl", 4, "could not be read", out, kOtherImage},
      {"sed -i s/room.wrl/gone.wrl/ room/corvane.cfg && $C room -D SCENEFILENAME=room.wrl", 0, "", out, kPlainImage},
      {"$C room -D WIREFRAME=1", 0, "", out, kPlainImage},
      {"$C room -D 'CAMERAPOSITION=0 100 700;0 100 0;0 1 0' "
       "-D 'SENSORPOSITION=-110 210 110; 110 210 110; -110 -10 110; 110 -10 110;'",
       0, "", out, kPlainImage},
      {"$C room -D 'SENSORPOSITION=1 2 3'", 0,
       "corvane: -D SENSORPOSITION=1 2 3: the value ends after 1 of the 4 lines of SENSORPOSITION", out, kOtherImage},
      {"$C room -D 'SENSORPOSITION=-110 210 110; -110 -10 110; 110 210 110; 110 -10 110'", 4,
       "but none reaches the sensor: its corners dl, ul, ur (the third, first and second lines of SENSORPOSITION) "
       "must run clockwise as seen from the eye, and they run counter-clockwise; the image is black\n",
       out, kOtherImage},
      {"$C room -D 'SENSORPOSITION=110 210 110; -110 210 110; -110 -10 110; 110 -10 110'", 0,
       "corvane: the sensor's corners are not close to a parallelogram: the lower right corner lies 440 units (141% "
       "of its longer side) from where the other three put it; the upper left and upper right corners look swapped",
       out, kOtherImage},
      {"$C room -D 'SENSORPOSITION=0 0 0; 1 1 1; 2 2 2; 3 3 3'", 4,
       "none reaches the sensor: the sensor's upper left, upper right and lower left corners lie on one line, so the "
       "sensor has no "
       "area",
       out, kOtherImage},
      {"$C room -D 'SENSORPOSITION=-110 210 900; 110 210 900; -110 -10 900; 110 -10 900'", 0,
       "corvane: the sensor lies behind the eye", out, kOtherImage},
      {"$C room -D 'CAMERAPOSITION=-40 20 -25; 0 100 0; 0 1 0'", 4,
       "corvane: no sample is seen from the eye (2000 stored)", out, kOtherImage},
  };
  for (const Row& row : rows) CheckRow(row);
}

TEST(Cli, RefusesWrongOptionsAndValuesWritingNothing) {
  const Row rows[] = {
      {"$C --bogus room", 2, ("corvane: unknown option '--bogus'" + kUsage), {}, kNoImage},
      {"$C --help --bogus", 2, "unknown option '--bogus'", {}, kNoImage},
      {"$C room -t 0", 2, "corvane: option -t wants a thread count from 1 to 1024, not '0'", {}, kNoImage},
      {"$C room --exposure=-1", 2, "option --exposure wants a positive number, not '-1'", {}, kNoImage},
      {"$C room -o ''", 2, "option -o wants a file name, not an empty one", {}, kNoImage},
      {"$C room --png", 2, "option --png wants FILE after it", {}, kNoImage},
      {"$C room -geometry", 2, "option -geometry wants WxH+X+Y after it", {}, kNoImage},
      {"$C room --png p.png --png-size 768",
       2,
       "option --png-size wants a power of two from 1 to 1024, not '768'",
       {},
       kNoImage},
      {"$C room hall", 2, "one scene folder at a time, not 'room' and 'hall'", {}, kNoImage},
      {"$C hall", 2, "corvane: cannot enter the scene folder hall: No such file or directory\n", {}, kNoImage},
      {"$C room -D FOO=1",
       2,
       ("corvane: option -D 'FOO=1': FOO is not a setting of corvane.cfg, which has DATASETSIZE, LIGHTCHANCE, "
        "SCENEFILENAME, WIREFRAME, CAMERAPOSITION, SENSORPOSITION" +
        kUsage),
       {},
       kNoImage},
      {"$C room -D 'LIGHTCHANCE=0.3;DATASETSIZE=9'", 2, "a value of LIGHTCHANCE cannot hold \";\"", {}, kNoImage},
      {"$C room -D DATASETSIZE=-1",
       2,
       "corvane: -D DATASETSIZE=-1: DATASETSIZE -1 is out of range; it must be from 0 to 50000000\n",
       {},
       kNoImage},
      {"$C room -D WIREFRAME=99999999999",
       2,
       "corvane: -D WIREFRAME=99999999999: WIREFRAME 99999999999 is out",
       {},
       kNoImage},
  };
  for (const Row& row : rows) CheckRow(row);
}

// The samples are saved as the sampling left them: a later run that loads
// them gives the image of a whole run, from the same eye or another. A file
// that cannot serve the run is refused before any image is written.
TEST(Cli, LoadsTheSamplesItSavedAndRefusesOthers) {
  const std::string save =
      "eye='CAMERAPOSITION=30 120 690;0 100 0;0 1 0'; $C room --save-samples s.cvs >/dev/null 2>&1 && ";
  const std::vector<std::string> saved{"room/out.ppm", "s.cvs"};
  const Row rows[] = {
      {"$C room --save-samples s.cvs", 0, "/room/out.ppm and the samples /", saved, kPlainImage},
      {save + "$C room --samples s.cvs -o b.ppm -v",
       0,
       "corvane: 2000 samples loaded from /",
       {"b.ppm", "room/out.ppm", "s.cvs"},
       kPlainImage},
      {save + "cd room && $C --samples=../s.cvs -q -o ../c.ppm -D \"$eye\" && $C -q -o ../d.ppm -D \"$eye\" && "
              "cmp ../c.ppm ../d.ppm",
       0,
       std::nullopt,
       {"c.ppm", "d.ppm", "room/out.ppm", "s.cvs"},
       kOtherImage},
      {save + "$C room --samples s.cvs -D DATASETSIZE=1000", 2, "corvane: cannot use the samples file /", saved,
       kNoImage},
      {save + "$C room --samples s.cvs -D LIGHTCHANCE=0.3 -o b.ppm", 2,
       "/s.cvs: it was made with another LIGHTCHANCE\n", saved, kNoImage},
      {save + "echo >> room/room.wrl && $C room --samples s.cvs -o b.ppm", 2,
       "/s.cvs: it was made for another scene file\n", saved, kNoImage},
      {save + "head -c 100 s.cvs > t.cvs && $C room --samples t.cvs -o b.ppm",
       2,
       "/t.cvs: it ends after 0 of its 2000 samples\n",
       {"room/out.ppm", "s.cvs", "t.cvs"},
       kNoImage},
      {"$C room --samples none.cvs", 2, "/none.cvs: it cannot be opened: No such file or directory\n", {}, kNoImage},
      {"$C room --samples room/room.wrl", 2, "/room/room.wrl: it is not a samples file\n", {}, kNoImage},
      {"$C room --save-samples no/s.cvs", 3, "corvane: could not write the samples /", {"room/out.ppm"}, kPlainImage},
      {"$C room --samples", 2, "option --samples wants FILE after it", {}, kNoImage},
      {"$C room --save-samples ''", 2, "option --save-samples wants a file name, not an empty one", {}, kNoImage},
  };
  for (const Row& row : rows) CheckRow(row);
}

// The PNG's side is --png-size, 512 without it; out.ppm keeps the sensor's
// 1024 pixels whatever the PNG's size.
TEST(Cli, PoolsThePngAloneToTheSizeAsked) {
  const std::pair<std::string, unsigned> rows[] = {{"", 512}, {" --png-size 1024", 1024}, {" --png-size=128", 128}};
  for (const auto& [options, side] : rows) {
    TempDir dir;
    WriteSmallRoom(dir.File("room"), 2000);
    ProgramResult run = ::Run(dir, "$C -q room --png p.png" + options);
    EXPECT_EQ(run.status, 0) << options << "\n" << run.output;
    std::string png = ReadFileBytes(dir.File("p.png"));
    ASSERT_GE(png.size(), 24u) << options;
    auto big_endian = [&png](size_t at) {
      return unsigned((unsigned char)png[at]) << 24 | unsigned((unsigned char)png[at + 1]) << 16 |
             unsigned((unsigned char)png[at + 2]) << 8 | unsigned((unsigned char)png[at + 3]);
    };
    EXPECT_EQ(big_endian(16), side) << options << ": the width in the header";
    EXPECT_EQ(big_endian(20), side) << options << ": the height in the header";
    EXPECT_EQ(ReadFileBytes(dir.File("room/out.ppm")), PlainImage()) << options;
  }
}
