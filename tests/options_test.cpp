#include "app/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

ParsedCommandLine Parse(const std::vector<std::string>& arguments) {
  std::vector<const char*> argv{"corvane"};
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  return ParseCommandLine(int(argv.size()), argv.data());
}

// The fields that differ from a plain run, one word each, in a fixed order.
std::string Describe(const CommandLine& line) {
  std::string text;
  auto add = [&text](const std::string& word) { text += (text.empty() ? "" : " ") + word; };
  if (!line.scene_dir.empty()) add("dir=" + line.scene_dir);
  if (!line.output.empty()) add("output=" + line.output);
  if (!line.png.empty()) add("png=" + line.png);
  if (!line.exr.empty()) add("exr=" + line.exr);
  if (!line.save_samples.empty()) add("save-samples=" + line.save_samples);
  if (!line.samples.empty()) add("samples=" + line.samples);
  if (line.png_size != kDefaultPngSize) add("png-size=" + std::to_string(line.png_size));
  if (line.exposure_given) add("exposure=" + std::to_string(line.exposure));
  if (line.threads != 0) add("threads=" + std::to_string(line.threads));
  if (line.aim.fov_given) add("fov=" + std::to_string(line.aim.fov));
  if (line.aim.eye_given) add("eye");
  if (!line.aim.views.empty()) add("views=" + line.aim.views);
  if (line.aim.orbit != 0) add("orbit=" + std::to_string(line.aim.orbit));
  for (const SettingOverride& o : line.overrides) add("D[" + o.key + "]=[" + o.value + "]");
  if (line.no_window) add("no-window");
  if (line.quiet) add("quiet");
  if (line.verbose) add("verbose");
  if (line.help) add("help");
  if (line.version) add("version");
  for (const std::string& x : line.window_options) add("x:" + x);
  return text;
}

}  // namespace

TEST(Options, ReadEveryOptionInItsForms) {
  struct Row {
    std::vector<std::string> arguments;
    std::string expected;
  };
  const Row rows[] = {
      {{}, ""},
      {{"scenes/room"}, "dir=scenes/room"},
      {{"-h"}, "help"},
      {{"--help"}, "help"},
      {{"--version"}, "version"},
      {{"-o", "a.ppm"}, "output=a.ppm"},
      {{"--output", "a.ppm"}, "output=a.ppm"},
      {{"--output=a.ppm"}, "output=a.ppm"},
      {{"-oa.ppm"}, "output=a.ppm"},
      {{"-o", "first.ppm", "-o", "last.ppm"}, "output=last.ppm"},
      {{"-o", "-q"}, "output=-q"},
      {{"--png", "room.png", "--exr=room.exr"}, "png=room.png exr=room.exr"},
      {{"--save-samples", "a.cvs", "--samples=b.cvs"}, "save-samples=a.cvs samples=b.cvs"},
      {{"--png-size", "256"}, "png-size=256"},
      {{"--png-size=1024"}, "png-size=1024"},
      {{"--png-size=1"}, "png-size=1"},
      {{"--exposure", "2.5"}, "exposure=2.500000"},
      {{"--exposure=1e-3"}, "exposure=0.001000"},
      {{"-t", "4"}, "threads=4"},
      {{"--threads", "1"}, "threads=1"},
      {{"--threads=1024"}, "threads=1024"},
      {{"-t16"}, "threads=16"},
      {{"-D", "DATASETSIZE=200000"}, "D[DATASETSIZE]=[200000]"},
      {{"-DLIGHTCHANCE=0.3", "-D", "SCENEFILENAME=other.wrl", "-D", "WIREFRAME=1"},
       "D[LIGHTCHANCE]=[0.3] D[SCENEFILENAME]=[other.wrl] D[WIREFRAME]=[1]"},
      {{"-D", "SCENEFILENAME=a=b.wrl"}, "D[SCENEFILENAME]=[a=b.wrl]"},
      {{"-D", "WIREFRAME="}, "D[WIREFRAME]=[]"},
      {{"--no-window", "-q", "-v"}, "no-window quiet verbose"},
      {{"--quiet", "--verbose"}, "quiet verbose"},
      {{"-display", ":1", "-geometry", "640x480+0+0", "-iconic", "-sync"},
       "x:-display x::1 x:-geometry x:640x480+0+0 x:-iconic x:-sync"},
      {{"room", "-q", "-sync"}, "dir=room quiet x:-sync"},
      {{"--", "-odd folder"}, "dir=-odd folder"},
      {{"-q", "--", "--help"}, "dir=--help quiet"},
      {{"--", "--"}, "dir=--"},
      {{"-"}, "dir=-"},
      {{"--fov", "30", "--eye=1,2,3", "--orbit", "36"}, "fov=30.000000 eye orbit=36"},
      {{"--views", "v.txt", "--fov=45"}, "fov=45.000000 views=v.txt"},
  };
  for (const Row& row : rows) {
    ParsedCommandLine parsed = Parse(row.arguments);
    std::string line;
    for (const std::string& argument : row.arguments) line += " " + argument;
    ASSERT_TRUE(parsed.ok) << line << "\n" << parsed.error;
    EXPECT_EQ(Describe(parsed.options), row.expected) << line;
  }
}

// Each refusal names the option or value in one line, then the usage line.
TEST(Options, RefuseWrongOptionsAndValuesNamingThem) {
  struct Row {
    std::vector<std::string> arguments;
    std::string message;
  };
  const Row rows[] = {
      {{"--bogus"}, "unknown option '--bogus'"},
      {{"--bogus=1"}, "unknown option '--bogus'"},
      {{"-x"}, "unknown option '-x'"},
      {{"-qv"}, "unknown option '-qv'"},
      {{"-help"}, "unknown option '-help'"},
      {{"--display", ":1"}, "unknown option '--display'"},
      {{"--help", "--bogus"}, "unknown option '--bogus'"},
      {{"--quiet=yes"}, "option --quiet takes no value"},
      {{"--no-window=1"}, "option --no-window takes no value"},
      {{"-o"}, "option -o wants FILE after it"},
      {{"--output"}, "option --output wants FILE after it"},
      {{"--png"}, "option --png wants FILE after it"},
      {{"--exr"}, "option --exr wants FILE after it"},
      {{"-o", ""}, "option -o wants a file name, not an empty one"},
      {{"--png="}, "option --png wants a file name, not an empty one"},
      {{"--exr", ""}, "option --exr wants a file name, not an empty one"},
      {{"--samples"}, "option --samples wants FILE after it"},
      {{"--save-samples="}, "option --save-samples wants a file name, not an empty one"},
      {{"--png-size", "300"}, "option --png-size wants a power of two from 1 to 1024, not '300'"},
      {{"--png-size", "2048"}, "option --png-size wants a power of two from 1 to 1024, not '2048'"},
      {{"--png-size", "0"}, "option --png-size wants a power of two from 1 to 1024, not '0'"},
      {{"--png-size", "-256"}, "option --png-size wants a power of two from 1 to 1024, not '-256'"},
      {{"--png-size", "big"}, "option --png-size wants a power of two from 1 to 1024, not 'big'"},
      {{"--exposure"}, "option --exposure wants X after it"},
      {{"--exposure", "0"}, "option --exposure wants a positive number, not '0'"},
      {{"--exposure", "-2"}, "option --exposure wants a positive number, not '-2'"},
      {{"--exposure", "bright"}, "option --exposure wants a positive number, not 'bright'"},
      {{"--exposure", "2x"}, "option --exposure wants a positive number, not '2x'"},
      {{"--exposure", " 2"}, "option --exposure wants a positive number, not ' 2'"},
      {{"--exposure", "inf"}, "option --exposure wants a positive number, not 'inf'"},
      {{"--exposure", "nan"}, "option --exposure wants a positive number, not 'nan'"},
      {{"--exposure", "1e999"}, "option --exposure wants a positive number, not '1e999'"},
      {{"--exposure="}, "option --exposure wants a positive number, not ''"},
      {{"-t"}, "option -t wants N after it"},
      {{"-t", "0"}, "option -t wants a thread count from 1 to 1024, not '0'"},
      {{"--threads", "1025"}, "option --threads wants a thread count from 1 to 1024, not '1025'"},
      {{"-t", "-1"}, "option -t wants a thread count from 1 to 1024, not '-1'"},
      {{"-t", "+4"}, "option -t wants a thread count from 1 to 1024, not '+4'"},
      {{"-t", "four"}, "option -t wants a thread count from 1 to 1024, not 'four'"},
      {{"-t", "99999999999999999999"}, "option -t wants a thread count from 1 to 1024, not '99999999999999999999'"},
      {{"-t4x"}, "option -t wants a thread count from 1 to 1024, not '4x'"},
      {{"-D"}, "option -D wants KEY=VALUE after it"},
      {{"-D", "DATASETSIZE"}, "option -D wants KEY=VALUE, not 'DATASETSIZE'"},
      {{"-D", "=5"}, "option -D wants KEY=VALUE, not '=5'"},
      {{"-D", ""}, "option -D wants KEY=VALUE, not ''"},
      {{"-display"}, "option -display wants NAME after it"},
      {{"-geometry"}, "option -geometry wants WxH+X+Y after it"},
      {{"-iconic=1"}, "unknown option '-iconic=1'"},
      {{"room", "hall"}, "one scene folder at a time, not 'room' and 'hall'"},
      {{"--", "room", "hall"}, "one scene folder at a time, not 'room' and 'hall'"},
      {{""}, "the scene folder is an empty name"},
      {{"--fov"}, "option --fov wants DEGREES after it"},
      {{"--fov", "180"}, "option --fov wants an angle in degrees between 0 and 180, not '180'"},
      {{"--eye=1,2"}, "option --eye wants three numbers X,Y,Z, not '1,2'"},
      {{"--look-at", "a,b,c"}, "option --look-at wants three numbers X,Y,Z, not 'a,b,c'"},
      {{"--up", "0,1"}, "option --up wants three numbers X,Y,Z, not '0,1'"},
      {{"--views", ""}, "option --views wants a file name, not an empty one"},
      {{"--orbit", "0"}, "option --orbit wants a number of views from 1 to 9999, not '0'"},
      {{"--views", "v.txt", "--orbit", "3"}, "--views and --orbit both ask for the views; give one of them"},
  };
  for (const Row& row : rows) {
    ParsedCommandLine parsed = Parse(row.arguments);
    std::string line;
    for (const std::string& argument : row.arguments) line += " [" + argument + "]";
    ASSERT_FALSE(parsed.ok) << line;
    EXPECT_EQ(parsed.error, "corvane: " + row.message + "\n" + UsageLine()) << line;
  }
}

TEST(Options, HelpNamesEveryOptionAndExitStatus) {
  const std::string help = HelpText();
  for (const char* word : {"usage: corvane [OPTIONS] [SCENE_DIR]",
                           "-h, --help",
                           "--version",
                           "-o, --output FILE",
                           "--png FILE",
                           "--exr FILE",
                           "--png-size N",
                           "--exposure X",
                           "--save-samples FILE",
                           "--samples FILE",
                           "-t, --threads N",
                           "--fov DEGREES",
                           "--eye X,Y,Z",
                           "--look-at X,Y,Z",
                           "--up X,Y,Z",
                           "--views FILE",
                           "--orbit N",
                           "-D KEY=VALUE",
                           "--no-window",
                           "-q, --quiet",
                           "-v, --verbose",
                           "  --  ",
                           "-display NAME",
                           "-geometry WxH+X+Y",
                           "-iconic",
                           "-sync",
                           "Esc or q",
                           "  0 ",
                           "  1 ",
                           "  2 ",
                           "  3 ",
                           "128+N",
                           "130 for Ctrl-C"}) {
    EXPECT_NE(help.find(word), std::string::npos) << word;
  }
  EXPECT_NE(help.find("(default: " + std::to_string(kDefaultPngSize) + ";"), std::string::npos);
  size_t longest = 0;
  for (size_t start = 0, end; start < help.size(); start = end + 1) {
    end = help.find('\n', start);
    longest = std::max(longest, end - start);
  }
  EXPECT_LE(longest, 80u) << "the help fits a terminal of 80 columns";
  EXPECT_EQ(VersionText(), std::string("corvane ") + kCorvaneVersion + "\n");
}
