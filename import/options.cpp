#include "import/options.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "config/settings.h"

std::string ImportUsage() {
  return "Usage: corvane-import [options] MODEL\n"
         "\n"
         "Reads a 3-D model and writes a Corvane scene from it: MODEL's name in lower\n"
         "case with .wrl, and corvane.cfg with a camera and sensor that frame the model.\n"
         "Run corvane in that folder to trace it. VRML 97, VRML 1.0 and Open Inventor\n"
         "(.wrl, .wrz, .iv, also gzip-compressed) are read with Coin; OBJ, PLY, STL, glTF,\n"
         "3DS, Collada, FBX and the other formats Assimp reads, with Assimp.\n"
         "\n"
         "Options:\n"
         "  -o, --output DIR    folder to write the two files to, made when missing\n"
         "                      (default: the current one)\n"
         "  --size L            scale the model so that its largest extent is L scene units\n"
         "                      (default 400; Corvane's tolerances suit a few hundred)\n"
         "  --scale S           multiply the model's coordinates by S instead\n"
         "  --no-room           leave out the room; by default a closed dark box whose\n"
         "                      walls face inwards surrounds the model, so that light\n"
         "                      bounces and every light path meets a surface (without\n"
         "                      it, a first light path that misses the model leaves\n"
         "                      Corvane's picture empty)\n"
         "  --light X,Y,Z       one point light at X,Y,Z (scene units) instead of the\n"
         "                      model's point lights and the light placed on the\n"
         "                      camera's side of the model\n"
         "  --samples N         samples of the run, DATASETSIZE (default 1000000)\n"
         "  --view X,Y,Z        direction from the model towards the eye\n"
         "                      (default 0.4,0.3,1: from the front, right and above)\n"
         "  --z-up              the model's up axis is z (common in CAD and 3DS files)\n"
         "  --flip-winding      turn every triangle round; use it when the importer\n"
         "                      warns that a closed mesh faces inwards\n"
         "  --max-memory BYTES  stop when reading the model takes more memory than this,\n"
         "                      so that a hostile file fails fast instead of taking the\n"
         "                      machine; K, M and G multiply by 1024, 1024^2 and 1024^3\n"
         "                      (default: half of the machine's memory)\n"
         "  -q, --quiet         print errors only, as corvane -q does\n"
         "  -v, --verbose       also print the placement, the camera and the times\n"
         "  -h, --help          show this text\n"
         "  --version           show the version\n"
         "\n"
         "The model is placed with its box centred on the y axis and its lowest point at\n"
         "y = 0: scene point = scale * model point + offset. Its triangles keep their\n"
         "corner order; fronts are the sides from which the corners run counter-clockwise.\n"
         "The sensor's corners are named as seen from the eye, so that corvane --png\n"
         "shows the model upright and unmirrored.\n"
         "\n"
         "Exit status: 0 written; 1 the model could not be used (also when reading it\n"
         "passed --max-memory); 2 wrong options;\n"
         "3 a file could not be written.\n";
}

namespace {

// A finite number that the whole text forms.
bool ParseNumber(const std::string& text, double& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtod(text.c_str(), &end);
  return *end == '\0' && errno == 0 && std::isfinite(value);
}

// Three numbers separated by commas, each within the range of float.
bool ParseTriple(const std::string& text, vertex3f& value) {
  double v[3];
  size_t start = 0;
  for (int k = 0; k < 3; ++k) {
    size_t comma = k < 2 ? text.find(',', start) : text.size();
    if (comma == std::string::npos) return false;
    if (!ParseNumber(text.substr(start, comma - start), v[k]) || std::fabs(v[k]) > 1e30) return false;
    start = comma + 1;
  }
  value = vertex3f{float(v[0]), float(v[1]), float(v[2])};
  return true;
}

// A whole number of bytes above 0, with an optional K, M or G (powers of 1024).
bool ParseByteCount(const std::string& text, uint64_t& bytes) {
  size_t digits = 0;
  while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits]))) ++digits;
  if (digits == 0 || digits > 18) return false;  // 18 digits stay below 2^63 before the unit
  uint64_t unit = 1;
  std::string suffix = text.substr(digits);
  if (suffix == "K" || suffix == "k") unit = uint64_t(1) << 10;
  if (suffix == "M" || suffix == "m") unit = uint64_t(1) << 20;
  if (suffix == "G" || suffix == "g") unit = uint64_t(1) << 30;
  if (!suffix.empty() && unit == 1) return false;
  uint64_t count = std::stoull(text.substr(0, digits));
  if (count == 0 || count > UINT64_MAX / unit) return false;
  bytes = count * unit;
  return true;
}

// Sets the option that flag arg stands for; false when arg is no flag.
bool ReadFlag(const std::string& arg, CVImportOptions& options) {
  if (arg == "--no-room") options.room = false;
  if (arg == "--z-up") options.z_up = true;
  if (arg == "--flip-winding") options.flip_winding = true;
  if (arg == "-q" || arg == "--quiet") options.quiet = true;
  if (arg == "-v" || arg == "--verbose") options.verbose = true;
  return arg == "--no-room" || arg == "--z-up" || arg == "--flip-winding" || arg == "-q" || arg == "--quiet" ||
         arg == "-v" || arg == "--verbose";
}

bool TakesValue(const std::string& arg) {
  return arg == "-o" || arg == "--output" || arg == "--size" || arg == "--scale" || arg == "--light" ||
         arg == "--samples" || arg == "--view" || arg == "--max-memory";
}

// Reads the value of option arg into options; what is wrong with it, or "".
std::string ReadValue(const std::string& arg, const std::string& value, CVImportOptions& options) {
  const std::string given = ", not \"" + value + "\"";
  double number = 0.0;
  if (arg == "-o" || arg == "--output") {
    options.output_dir = value;
  } else if (arg == "--size" || arg == "--scale") {
    if (!ParseNumber(value, number) || number <= 0.0) return arg + " needs a number above 0" + given;
    if (arg == "--size") options.size = number;
    if (arg == "--scale") options.scale = number;
  } else if (arg == "--samples") {
    if (!ParseNumber(value, number) || number < 1.0 || number > double(kDataSetSizeLimit) ||
        number != std::floor(number)) {
      return "--samples needs a whole number from 1 to " + std::to_string(kDataSetSizeLimit) + given;
    }
    options.samples = uint32_t(number);
  } else if (arg == "--max-memory") {
    if (!ParseByteCount(value, options.max_memory)) {
      return "--max-memory needs a whole number of bytes above 0, optionally with K, M or G" + given;
    }
  } else if (arg == "--light") {
    if (!ParseTriple(value, options.light)) return "--light needs X,Y,Z" + given;
    options.light_given = true;
  } else if (arg == "--view") {
    vertex3f view;
    if (!ParseTriple(value, view) || (view.x == 0.0f && view.y == 0.0f && view.z == 0.0f)) {
      return "--view needs a direction X,Y,Z other than 0,0,0" + given;
    }
    options.view = view;
  }
  return "";
}

// "--view=1,0,0" stands for "--view" "1,0,0".
std::vector<std::string> SplitAtEquals(const std::vector<std::string>& args) {
  std::vector<std::string> split;
  for (const std::string& arg : args) {
    size_t equals = arg.find('=');
    if (arg.rfind("--", 0) == 0 && equals != std::string::npos) {
      split.push_back(arg.substr(0, equals));
      split.push_back(arg.substr(equals + 1));
    } else {
      split.push_back(arg);
    }
  }
  return split;
}

}  // namespace

CVOptionsResult ParseImportOptions(const std::vector<std::string>& args, CVImportOptions& options, std::string& error) {
  auto bad = [&error](const std::string& message) {
    error = "corvane-import: " + message + " (corvane-import --help lists the options)";
    return kOptionsBad;
  };
  std::vector<std::string> split = SplitAtEquals(args);
  for (size_t i = 0; i < split.size(); ++i) {
    const std::string& arg = split[i];
    if (arg == "-h" || arg == "--help") return kOptionsHelp;
    if (arg == "--version") return kOptionsVersion;
    if (ReadFlag(arg, options)) continue;
    if (TakesValue(arg)) {
      if (i + 1 >= split.size()) return bad(arg + " needs a value");
      std::string wrong = ReadValue(arg, split[++i], options);
      if (!wrong.empty()) return bad(wrong);
      continue;
    }
    if (arg.size() > 1 && arg[0] == '-') return bad("unknown option " + arg);
    if (!options.model_path.empty()) return bad("one model at a time: " + options.model_path + " and " + arg);
    options.model_path = arg;
  }
  if (options.model_path.empty()) return bad("no model file given");
  return kOptionsRun;
}
