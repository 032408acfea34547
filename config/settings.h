// The settings file "corvane.cfg".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/camera.h"

extern const std::string CONFIG_FILENAME;   // "corvane.cfg"
extern const std::string P_SEMICOLON;       // ";"
extern const std::string P_DATASETSIZE;     // "DATASETSIZE"
extern const std::string P_LIGHTCHANCE;     // "LIGHTCHANCE"
extern const std::string P_SCENEFILENAME;   // "SCENEFILENAME"
extern const std::string P_WIREFRAME;       // "WIREFRAME"
extern const std::string P_CAMERAPOSITION;  // "CAMERAPOSITION"
extern const std::string P_SENSORPOSITION;  // "SENSORPOSITION"

// The largest data set a run may ask for: 1000 times the default, about 4 GB
// of samples.
constexpr uint32_t kDataSetSizeLimit = 50000000;

// What corvane.cfg sets, with the values a run has when the file does not.
struct Settings {
  uint32_t dataset_size = 50000;  // DATASETSIZE
  float light_chance = 0.5f;      // LIGHTCHANCE
  std::string filename;           // SCENEFILENAME
  bool wireframe = false;         // WIREFRAME
  Camera camera;                  // CAMERAPOSITION and SENSORPOSITION
};

// Reads CONFIG_FILENAME from the working directory into the members whose
// keys it finds; the others keep their values. A missing file changes nothing
// (and is reported); every line the keys are looked for on is checked with
// WarnAboutSettingsLine (config/settingswarnings.h).
// Returns false when a value is refused (an integer outside the range of int,
// a DATASETSIZE below 0 or above kDataSetSizeLimit); the reason has then been
// reported with ReportInputProblem.
bool ReadSettings(Settings& settings);

// The value of key on line: one character after the key is skipped, and the
// value runs to the next ";" or the end of the line. False when the key is absent.
bool KeyValue(const std::string& line, const std::string& key, std::string& value);

// atoi of the value, or false when atoi cannot represent it (outside int):
// strtol reads the same prefix and tells when it overflows.
bool IntegerValue(const std::string& value, int& result);

// One -D KEY=VALUE of the command line: a setting of corvane.cfg for one run.
struct SettingOverride {
  std::string key;
  std::string value;
};

// What keeps an override from being read as a line of corvane.cfg, or
// nothing: a key the file does not have, or a line break in the value, or a
// ";" in a one-line value (it would end the value there and start another).
std::string OverrideProblem(const SettingOverride& setting);

// ReadSettings, then each override in turn, read by the same rules as the
// file's lines: KEY=VALUE; as one line, and for CAMERAPOSITION and
// SENSORPOSITION the key followed by the value's ";"-separated lines. Messages
// about an override name it as "-D KEY=VALUE".
bool ReadSettings(Settings& settings, const std::vector<SettingOverride>& overrides);

// The characters of line from position + 1 on, up to the first character equal
// to stop (a one-character string) or the end of the line.
std::string ReadLineFromTill(std::string line, int position, std::string stop);
