#include "app/options.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

#include "sensor/sensor.h"

namespace {

// Applies an option's value to the command line; returns what is wrong with
// it, or nothing. `written` is the option as the user typed it.
using ApplyOption = std::string (*)(const std::string& written, const std::string& value, CommandLine& line);

struct KnownOption {
  const char* short_name;   // "-o", or "" when there is none
  const char* long_name;    // "--output", "-display", or "" when there is none
  const char* value_name;   // "FILE", or nullptr for an option without a value
  bool CommandLine::*flag;  // what an option without a value sets, or nullptr
  ApplyOption apply;        // what takes the value, or nullptr
  bool for_window;          // passed on to the window toolkit with its value
  const char* help;         // lines after the first are indented under it
};

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

std::string FileName(const std::string& written, const std::string& value, std::string& field) {
  if (value.empty()) return "option " + written + " wants a file name, not an empty one";
  field = value;
  return "";
}

std::string ApplyOutput(const std::string& written, const std::string& value, CommandLine& line) {
  return FileName(written, value, line.output);
}

std::string ApplyPng(const std::string& written, const std::string& value, CommandLine& line) {
  return FileName(written, value, line.png);
}

std::string ApplyExr(const std::string& written, const std::string& value, CommandLine& line) {
  return FileName(written, value, line.exr);
}

std::string ApplySaveSamples(const std::string& written, const std::string& value, CommandLine& line) {
  return FileName(written, value, line.save_samples);
}

std::string ApplySamples(const std::string& written, const std::string& value, CommandLine& line) {
  return FileName(written, value, line.samples);
}

std::string ApplyPngSize(const std::string& written, const std::string& value, CommandLine& line) {
  const unsigned largest = 1u << kSensorLevel;
  unsigned long size = 0;
  bool digits = !value.empty() && value.size() <= 9;  // nine digits cannot overflow the size
  for (char c : value) digits = digits && c >= '0' && c <= '9';
  if (digits) size = std::strtoul(value.c_str(), nullptr, 10);
  bool power_of_two = size > 0 && (size & (size - 1)) == 0;
  if (!power_of_two || size > largest) {
    return "option " + written + " wants a power of two from 1 to " + std::to_string(largest) + ", not " +
           Quoted(value);
  }
  line.png_size = unsigned(size);
  return "";
}

std::string ApplyExposure(const std::string& written, const std::string& value, CommandLine& line) {
  const char* text = value.c_str();
  char* end = nullptr;
  double exposure = std::strtod(text, &end);
  bool whole = !value.empty() && !std::isspace((unsigned char)value[0]) && *end == '\0';
  if (!whole || !std::isfinite(exposure) || !(exposure > 0.0)) {
    return "option " + written + " wants a positive number, not " + Quoted(value);
  }
  line.exposure_given = true;
  line.exposure = exposure;
  return "";
}

std::string ApplyThreads(const std::string& written, const std::string& value, CommandLine& line) {
  unsigned long count = 0;
  bool digits = !value.empty() && value.size() <= 9;  // nine digits cannot overflow the count
  for (char c : value) digits = digits && c >= '0' && c <= '9';
  if (digits) count = std::strtoul(value.c_str(), nullptr, 10);
  if (!digits || count < 1 || count > kMostThreads) {
    return "option " + written + " wants a thread count from 1 to " + std::to_string(kMostThreads) + ", not " +
           Quoted(value);
  }
  line.threads = unsigned(count);
  return "";
}

std::string ApplyDefine(const std::string& written, const std::string& value, CommandLine& line) {
  size_t equals = value.find('=');
  if (equals == std::string::npos || equals == 0) {
    return "option " + written + " wants KEY=VALUE, not " + Quoted(value);
  }
  SettingOverride setting{value.substr(0, equals), value.substr(equals + 1)};
  // The key and the value's form are checked now, before anything is read; the
  // value itself is checked by the file's rules when the settings are read.
  std::string problem = OverrideProblem(setting);
  if (!problem.empty()) return "option " + written + " " + Quoted(value) + ": " + problem;
  line.overrides.push_back(setting);
  return "";
}

const KnownOption kOptions[] = {
    {"-h", "--help", nullptr, &CommandLine::help, nullptr, false, "show this help and exit"},
    {"", "--version", nullptr, &CommandLine::version, nullptr, false, "show the version and exit"},
    {"-o", "--output", "FILE", nullptr, ApplyOutput, false, "the PPM image's name (default: out.ppm in SCENE_DIR)"},
    {"", "--png", "FILE", nullptr, ApplyPng, false, "also write a grey sRGB PNG, as seen from the eye"},
    {"", "--exr", "FILE", nullptr, ApplyExr, false, "also write the sensor's float values as OpenEXR"},
    {"", "--png-size", "N", nullptr, ApplyPngSize, false,
     "the PNG's side: 1024, 512, 256, ... 1 pixels, each\n"
     "the largest of the sensor's pixels it covers\n"
     "(default: 512; sparse traces read better smaller)"},
    {"", "--exposure", "X", nullptr, ApplyExposure, false,
     "multiply the PNG's values by X (default: the 99.5th\npercentile of the lit pixels becomes white)"},
    {"", "--save-samples", "FILE", nullptr, ApplySaveSamples, false,
     "also write the data set as traced, before the eye\nlooks at it, for later runs with --samples"},
    {"", "--samples", "FILE", nullptr, ApplySamples, false,
     "take the data set from FILE instead of tracing it;\n"
     "it must come from the same scene file, DATASETSIZE\n"
     "and LIGHTCHANCE; the camera and sensor may differ"},
    {"", "--fov", "DEGREES", nullptr,
     [](const std::string& w, const std::string& v, CommandLine& l) { return ApplyFov(w, v, l.aim); }, false,
     "aim the camera: a square sensor across the line of\nsight, DEGREES wide as seen from the eye"},
    {"", "--eye", "X,Y,Z", nullptr,
     [](const std::string& w, const std::string& v, CommandLine& l) { return ApplyEye(w, v, l.aim); }, false,
     "the eye of CAMERAPOSITION for this run; aims the camera"},
    {"", "--look-at", "X,Y,Z", nullptr,
     [](const std::string& w, const std::string& v, CommandLine& l) { return ApplyLookAt(w, v, l.aim); }, false,
     "the point looked at, likewise"},
    {"", "--up", "X,Y,Z", nullptr,
     [](const std::string& w, const std::string& v, CommandLine& l) { return ApplyUp(w, v, l.aim); }, false,
     "the up direction, likewise"},
    {"", "--views", "FILE", nullptr,
     [](const std::string& w, const std::string& v, CommandLine& l) { return ApplyViews(w, v, l.aim); }, false,
     "render each view of FILE from the one trace into\nnumbered files: NAME-0001.png for --png NAME.png,\n"
     "the same for -o and --exr, out-0001.ppm without -o"},
    {"", "--orbit", "N", nullptr,
     [](const std::string& w, const std::string& v, CommandLine& l) { return ApplyOrbit(w, v, l.aim); }, false,
     "render N views around the point looked at, at the\neye's height and distance, numbered as --views"},
    {"-t", "--threads", "N", nullptr, ApplyThreads, false,
     "threads of the ray query's build, the sampling and\nthe sensor stages, 1 to 1024 (default: every core;\nthe "
     "image is the same for any N)"},
    {"-D", "", "KEY=VALUE", nullptr, ApplyDefine, false,
     "override a setting of corvane.cfg for this run,\ne.g. -D DATASETSIZE=1000000; repeatable"},
    {"", "--no-window", nullptr, &CommandLine::no_window, nullptr, false, "open no window"},
    {"-q", "--quiet", nullptr, &CommandLine::quiet, nullptr, false,
     "no console screen; print errors only,\nand why an image is black"},
    {"-v", "--verbose", nullptr, &CommandLine::verbose, nullptr, false, "print a summary of the run on standard error"},
    {"", "-display", "NAME", nullptr, nullptr, true, "the X display to open the window on"},
    {"", "-geometry", "WxH+X+Y", nullptr, nullptr, true, "the window's size and place"},
    {"", "-iconic", nullptr, nullptr, nullptr, true, "open the window as an icon"},
    {"", "-sync", nullptr, nullptr, nullptr, true, "talk to the X server synchronously"},
};

bool StartsWith(const std::string& text, const std::string& start) { return text.compare(0, start.size(), start) == 0; }

const KnownOption* FindOption(const std::string& name) {
  for (const KnownOption& known : kOptions) {
    if (name == known.short_name || name == known.long_name) return &known;
  }
  return nullptr;
}

// A short option with its value attached, as in -t4 or -DKEY=VALUE.
const KnownOption* FindAttached(const std::string& argument) {
  for (const KnownOption& known : kOptions) {
    if (known.value_name != nullptr && known.short_name[0] != '\0' && StartsWith(argument, known.short_name)) {
      return &known;
    }
  }
  return nullptr;
}

// Applies the option argv[i], taking its value from argv[i + 1] when it is not
// attached (i then moves past it). Returns what is wrong, or nothing.
std::string ApplyArgument(int argc, const char* const* argv, int& i, CommandLine& line) {
  const std::string argument = argv[i];
  std::string name = argument;
  std::string value;
  bool attached = false;
  size_t equals = argument.find('=');
  if (StartsWith(argument, "--") && equals != std::string::npos) {
    name = argument.substr(0, equals);
    value = argument.substr(equals + 1);
    attached = true;
  }
  const KnownOption* known = FindOption(name);
  if (known == nullptr && !StartsWith(argument, "--")) {
    known = FindAttached(argument);
    if (known != nullptr) {
      name = known->short_name;
      value = argument.substr(name.size());
      attached = true;
    }
  }
  if (known == nullptr) return "unknown option " + Quoted(name);
  if (known->value_name == nullptr && attached) return "option " + name + " takes no value";
  if (known->value_name != nullptr && !attached) {
    if (i + 1 >= argc) return "option " + name + " wants " + known->value_name + " after it";
    value = argv[++i];
  }
  if (known->for_window) {
    line.window_options.push_back(name);
    if (known->value_name != nullptr) line.window_options.push_back(value);
  }
  if (known->flag != nullptr) line.*(known->flag) = true;
  return known->apply != nullptr ? known->apply(name, value, line) : "";
}

std::string SetSceneDir(const std::string& argument, CommandLine& line) {
  if (argument.empty()) return "the scene folder is an empty name";
  if (!line.scene_dir.empty()) {
    return "one scene folder at a time, not " + Quoted(line.scene_dir) + " and " + Quoted(argument);
  }
  line.scene_dir = argument;
  return "";
}

// Column of the option names in the help.
constexpr size_t kHelpColumn = 24;

std::string HelpEntry(const KnownOption& known) {
  std::string names = known.short_name;
  if (known.long_name[0] != '\0') names += (names.empty() ? "" : ", ") + std::string(known.long_name);
  if (known.value_name != nullptr) names += " " + std::string(known.value_name);
  std::string entry = "  " + names;
  // A name that reaches the help's column puts its help on the next line.
  entry +=
      entry.size() < kHelpColumn ? std::string(kHelpColumn - entry.size(), ' ') : "\n" + std::string(kHelpColumn, ' ');
  for (const char* c = known.help; *c != '\0'; ++c) {
    entry += *c;
    if (*c == '\n') entry += std::string(kHelpColumn, ' ');
  }
  return entry + "\n";
}

}  // namespace

ParsedCommandLine ParseCommandLine(int argc, const char* const* argv) {
  ParsedCommandLine parsed;
  bool only_scene_dir = false;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    std::string problem;
    if (!only_scene_dir && argument == "--") {
      only_scene_dir = true;
    } else if (!only_scene_dir && argument.size() > 1 && argument[0] == '-') {
      problem = ApplyArgument(argc, argv, i, parsed.options);
    } else {
      problem = SetSceneDir(argument, parsed.options);
    }
    if (!problem.empty()) {
      parsed.error = "corvane: " + problem + "\n" + UsageLine();
      return parsed;
    }
  }
  std::string conflict = AimConflict(parsed.options.aim);
  if (!conflict.empty()) {
    parsed.error = "corvane: " + conflict + "\n" + UsageLine();
    return parsed;
  }
  parsed.ok = true;
  return parsed;
}

std::string UsageLine() { return "usage: corvane [OPTIONS] [SCENE_DIR]; corvane --help lists the options\n"; }

std::string HelpText() {
  std::string text =
      "usage: corvane [OPTIONS] [SCENE_DIR]\n\n"
      "Simulates the light of the scene in SCENE_DIR (default: the working\n"
      "directory) as its corvane.cfg sets it, writes the grey image out.ppm there,\n"
      "and shows the samples seen from the eye in a window when a display is there.\n\n"
      "Options:\n";
  for (const KnownOption& known : kOptions) {
    if (!known.for_window) text += HelpEntry(known);
  }
  text += "  --                    what follows is SCENE_DIR, even when it starts with -\n\n";
  text +=
      "The names given to -o, --png, --exr, --save-samples and --samples are\n"
      "relative to the folder corvane starts in. -D takes DATASETSIZE,\n"
      "LIGHTCHANCE, SCENEFILENAME, WIREFRAME, CAMERAPOSITION and SENSORPOSITION\n"
      "(the block's lines separated by \";\").\n\n";
  text +=
      "--fov, --eye, --look-at, --up and --orbit work out the sensor's corners\n"
      "in front of the nearest sample in view; without --fov the field of view is\n"
      "the angle corvane.cfg's sensor spans from its eye. A line of a --views file\n"
      "holds 10 numbers (eye, point looked at, up, field of view) or 12 (the\n"
      "sensor's corners ul, ur, dl, dr, seen from the run's eye); # starts a\n"
      "comment. All views of a sequence use the first one's exposure unless\n"
      "--exposure is given.\n\n";
  text += "Window options, passed on to the window:\n";
  for (const KnownOption& known : kOptions) {
    if (known.for_window) text += HelpEntry(known);
  }
  text +=
      "\nWindow keys: Esc or q closes it, space pauses the turning, a left drag\n"
      "turns the view, the wheel or a right drag zooms, r returns to the first view,\n"
      "p saves the view as the next numbered PNG (NAME-0001.png after --png NAME.png,\n"
      "else named after the PPM) with the run's field of view and exposure.\n\n"
      "Exit status:\n"
      "  0       the image was written\n"
      "  1       memory could not be obtained\n"
      "  2       the command line, corvane.cfg, the scene or --samples was refused\n"
      "  3       the image, or a file asked for beside it, could not be written\n"
      "  4       the image was written, but no pixel is lit (the last line says why)\n"
      "  128+N   the run was ended by signal N (130 for Ctrl-C)\n";
  return text;
}

std::string VersionText() { return "corvane " + std::string(kCorvaneVersion) + "\n"; }
