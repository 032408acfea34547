// The command line: corvane [OPTIONS] [SCENE_DIR]. Parsing reads and writes
// nothing, so that a wrong option is refused before any file is touched.
#pragma once

#include <string>
#include <vector>

#include "app/aimoptions.h"
#include "config/settings.h"
#include "core/version.h"

// The PNG's side without --png-size. Each of its pixels pools four of the
// sensor's: the examples' traces of one or two million samples then fill
// their surfaces instead of reading as scattered dots, while at 256 their
// brightest single samples begin to sparkle and the picture gets small.
constexpr unsigned kDefaultPngSize = 512;

// Most threads -t accepts: more than any machine has cores, so a larger
// count is a typing error rather than a wish.
constexpr unsigned kMostThreads = 1024;

// What the command line asks for. Empty names and zero counts mean the default.
struct CommandLine {
  std::string scene_dir;  // the folder to run in; empty: the working directory
  std::string output;     // -o: the PPM's name; empty: out.ppm in the scene folder
  std::string png;        // --png: the picture to look at; empty: none
  std::string exr;        // --exr: the float values; empty: none

  std::string save_samples;  // --save-samples: the data set as traced; empty: none
  std::string samples;       // --samples: the data set to load instead of tracing; empty: trace

  unsigned png_size = kDefaultPngSize;  // --png-size: the PNG's side, a power of two up to the sensor's

  bool exposure_given = false;
  double exposure = 1.0;                   // --exposure: the PNG's factor, when exposure_given
  unsigned threads = 0;                    // -t: threads of the build, sampling and sensor; 0: every core
  std::vector<SettingOverride> overrides;  // -D, in the order given
  AimOptions aim;                          // --fov, --eye, --look-at, --up, --views, --orbit
  bool no_window = false;
  bool quiet = false;
  bool verbose = false;
  bool help = false;
  bool version = false;
  // The X options (-display NAME, -geometry SPEC, -iconic, -sync) in the order
  // given, each value after its option, for the window toolkit's argv.
  std::vector<std::string> window_options;
};

// A parsed command line, or the reason it was refused.
struct ParsedCommandLine {
  bool ok = false;
  CommandLine options;
  std::string error;  // when !ok: "corvane: <what is wrong>\n" then the usage line
};

// Parses argv[1] to argv[argc - 1]. A wrong option, a missing or wrong value,
// or a second scene folder is refused, also beside --help. After "--" every
// argument is the scene folder.
ParsedCommandLine ParseCommandLine(int argc, const char* const* argv);

// "usage: corvane [OPTIONS] [SCENE_DIR]" and a pointer to --help, with a newline.
std::string UsageLine();

// The usage, every option and the exit statuses, for --help.
std::string HelpText();

// "corvane " and the version, with a newline.
std::string VersionText();
