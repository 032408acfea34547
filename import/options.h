// The command line of corvane-import.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/vecmath.h"
#include "import/framing.h"
#include "import/placement.h"

struct CVImportOptions {
  std::string model_path;
  std::string output_dir = ".";
  double scale = 0.0;  // 0: fit the model to size
  double size = kDefaultModelSize;
  bool room = true;
  bool light_given = false;
  vertex3f light{0, 0, 0};  // scene units, when light_given
  uint32_t samples = 1000000;
  vertex3f view = kDefaultView;
  bool z_up = false;
  bool flip_winding = false;
  uint64_t max_memory = 0;  // bytes a reader may take; 0: half of the machine's memory
  bool quiet = false;       // errors only: no warnings, no closing line
  bool verbose = false;     // also the placement, the camera and the times
};

enum CVOptionsResult { kOptionsRun, kOptionsHelp, kOptionsVersion, kOptionsBad };

// Reads the arguments (without the program name) into options. kOptionsBad
// leaves a whole message in error.
CVOptionsResult ParseImportOptions(const std::vector<std::string>& args, CVImportOptions& options, std::string& error);

// The text that --help prints.
std::string ImportUsage();
