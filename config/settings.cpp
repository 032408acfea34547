#include "config/settings.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "config/settingswarnings.h"
#include "core/linetext.h"
#include "core/messages.h"
#include "core/vecmath.h"

const std::string CONFIG_FILENAME = "corvane.cfg";
const std::string P_SEMICOLON = ";";
const std::string P_DATASETSIZE = "DATASETSIZE";
const std::string P_LIGHTCHANCE = "LIGHTCHANCE";
const std::string P_SCENEFILENAME = "SCENEFILENAME";
const std::string P_WIREFRAME = "WIREFRAME";
const std::string P_CAMERAPOSITION = "CAMERAPOSITION";
const std::string P_SENSORPOSITION = "SENSORPOSITION";

std::string ReadLineFromTill(std::string line, int position, std::string stop) {
  long long start = (long long)position + 1;
  if (start < 0) start = 0;
  if (start >= (long long)line.size()) return P_NONE;
  size_t end = line.size();
  // Only a one-character stop string can equal a character.
  if (stop.size() == 1) {
    size_t found = line.find(stop[0], size_t(start));
    if (found != std::string::npos) end = found;
  }
  return line.substr(size_t(start), end - size_t(start));
}

namespace {

// The lines of one -D, read after the file's.
struct OverrideLines {
  std::string name;  // "-D KEY=VALUE", for messages
  std::vector<std::string> lines;
};

struct SettingsLines {
  std::ifstream file;
  std::string line;
  int number = 0;
  std::vector<OverrideLines> overrides;
  size_t source = 0;  // 0: the file; k: overrides[k - 1]
  size_t next = 0;    // the next line of the current override
};

// The next line of the current source, the file or one override; false at
// its end, so that a block never reaches into the next source.
bool NextLine(SettingsLines& lines) {
  if (lines.source == 0) {
    if (!std::getline(lines.file, lines.line)) return false;
    lines.number++;
    return true;
  }
  const std::vector<std::string>& given = lines.overrides[lines.source - 1].lines;
  if (lines.next >= given.size()) return false;
  lines.line = given[lines.next++];
  return true;
}

// The next line of the file or, after its end, of the overrides in turn.
bool NextSettingLine(SettingsLines& lines) {
  while (!NextLine(lines)) {
    if (lines.source >= lines.overrides.size()) return false;
    lines.source++;
    lines.next = 0;
  }
  return true;
}

std::string Place(const SettingsLines& lines) {
  if (lines.source > 0) return lines.overrides[lines.source - 1].name;
  return CONFIG_FILENAME + ":" + std::to_string(lines.number);
}

std::string Where(const SettingsLines& lines) { return "corvane: " + Place(lines) + ": "; }

bool IsPointKey(const std::string& key) { return key == P_CAMERAPOSITION || key == P_SENSORPOSITION; }

// An override as the lines of corvane.cfg that say the same.
OverrideLines LinesOf(const SettingOverride& setting) {
  OverrideLines given{"-D " + setting.key + "=" + setting.value, {}};
  if (!IsPointKey(setting.key)) {
    given.lines.push_back(setting.key + "=" + setting.value + P_SEMICOLON);
    return given;
  }
  given.lines.push_back(setting.key);
  size_t start = 0;
  while (start < setting.value.size()) {
    size_t end = setting.value.find(P_SEMICOLON[0], start);
    if (end == std::string::npos) end = setting.value.size();
    given.lines.push_back(setting.value.substr(start, end - start) + P_SEMICOLON);
    start = end + 1;
  }
  return given;
}

// The value as the user wrote it, without the blanks around it, for messages.
std::string Shown(const std::string& value) {
  size_t begin = 0;
  size_t end = value.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(value[begin]))) begin++;
  while (end > begin && std::isspace(static_cast<unsigned char>(value[end - 1]))) end--;
  return value.substr(begin, end - begin);
}

// x, y and z from a camera or sensor line. A number counts only when a
// blank, comma or semicolon follows it; a line that ends before the third
// one does leaves the point unchanged.
bool ParsePointLine(const std::string& line, vertex3f& point) {
  std::string token = P_NONE;
  float values[3] = {0, 0, 0};
  int taken = 0;
  for (char c : line) {
    if (c != P_SPC[0] && c != P_COLON[0] && c != P_SEMICOLON[0]) {
      token += c;
      continue;
    }
    if (token == P_NONE) continue;
    values[taken++] = float(std::atof(token.c_str()));
    token = P_NONE;
    if (taken == 3) {
      point = vertex3f{values[0], values[1], values[2]};
      return true;
    }
  }
  return false;
}

// Reads the points of a block from the lines after the key line; the last
// line read stays current. False when the file (or the override) ends
// inside the block.
bool ReadPointBlock(SettingsLines& lines, const std::string& key, vertex3f* const points[], const char* const names[],
                    int count) {
  for (int k = 0; k < count; ++k) {
    if (!NextLine(lines)) {
      std::string source = lines.source == 0 ? "the file" : "the value";
      ReportInputProblem(Where(lines) + source + " ends after " + std::to_string(k) + " of the " +
                         std::to_string(count) + " lines of " + key + "; the other points keep their values");
      return false;
    }
    if (!ParsePointLine(lines.line, *points[k])) {
      ReportInputProblem(Where(lines) +
                         "the line does not give three numbers each followed by a blank, comma or semicolon; the " +
                         names[k] + " keeps its value");
    }
  }
  return true;
}

}  // namespace

bool KeyValue(const std::string& line, const std::string& key, std::string& value) {
  uint32_t position = 0;
  if (!ContainsStr(key, line, position)) return false;
  long long after_key = (long long)position + (long long)key.size();
  value = after_key > INT_MAX ? P_NONE : ReadLineFromTill(line, int(after_key), P_SEMICOLON);
  return true;
}

bool IntegerValue(const std::string& value, int& result) {
  errno = 0;
  long wide = std::strtol(value.c_str(), nullptr, 10);
  if (errno == ERANGE || wide < INT_MIN || wide > INT_MAX) return false;
  result = std::atoi(value.c_str());
  return true;
}

std::string OverrideProblem(const SettingOverride& setting) {
  const std::string keys[] = {P_DATASETSIZE, P_LIGHTCHANCE,    P_SCENEFILENAME,
                              P_WIREFRAME,   P_CAMERAPOSITION, P_SENSORPOSITION};
  std::string known;
  for (const std::string& key : keys) known += (known.empty() ? "" : ", ") + key;
  if (std::find(std::begin(keys), std::end(keys), setting.key) == std::end(keys)) {
    return setting.key + " is not a setting of " + CONFIG_FILENAME + ", which has " + known;
  }
  if (setting.value.find_first_of("\r\n") != std::string::npos) return "a value cannot hold a line break";
  if (!IsPointKey(setting.key) && setting.value.find(P_SEMICOLON) != std::string::npos) {
    return "a value of " + setting.key + " cannot hold \"" + P_SEMICOLON + "\"; give each setting its own -D";
  }
  return "";
}

bool ReadSettings(Settings& settings) { return ReadSettings(settings, {}); }

bool ReadSettings(Settings& settings, const std::vector<SettingOverride>& overrides) {
  SettingsLines lines;
  // A missing file has no lines; the overrides are read all the same.
  lines.file.open(CONFIG_FILENAME);
  if (!lines.file.is_open()) ReportMissingSettings();
  for (const SettingOverride& setting : overrides) lines.overrides.push_back(LinesOf(setting));

  vertex3f* const camera[] = {&settings.camera.eye, &settings.camera.center, &settings.camera.up};
  const char* const camera_names[] = {"eye point", "point looked at", "up direction"};
  vertex3f* const sensor[] = {&settings.camera.ul, &settings.camera.ur, &settings.camera.dl, &settings.camera.dr};
  const char* const sensor_names[] = {"upper left sensor corner", "upper right sensor corner",
                                      "lower left sensor corner", "lower right sensor corner"};
  bool accepted = true;
  std::string value;

  // A -D is meant to replace the file's value: only a key given twice
  // within the file, or within the overrides, is remarked on.
  SettingsKeysSeen seen_in_file;
  SettingsKeysSeen seen_in_overrides;
  while (NextSettingLine(lines)) {
    WarnAboutSettingsLine(lines.line, Place(lines), lines.source == 0 ? seen_in_file : seen_in_overrides);
    if (KeyValue(lines.line, P_DATASETSIZE, value)) {
      int size = 0;
      if (IntegerValue(value, size) && size >= 0 && uint32_t(size) <= kDataSetSizeLimit) {
        settings.dataset_size = uint32_t(size);
      } else {
        ReportInputProblem(Where(lines) + P_DATASETSIZE + " " + Shown(value) +
                           " is out of range; it must be from 0 to " + std::to_string(kDataSetSizeLimit));
        accepted = false;
      }
    }
    if (KeyValue(lines.line, P_LIGHTCHANCE, value)) {
      settings.light_chance = float(std::atof(value.c_str()));
    }
    if (KeyValue(lines.line, P_SCENEFILENAME, value)) {
      settings.filename = value;
    }
    if (KeyValue(lines.line, P_WIREFRAME, value)) {
      int on = 0;
      if (IntegerValue(value, on)) {
        settings.wireframe = on != 0;
      } else {
        ReportInputProblem(Where(lines) + P_WIREFRAME + " " + Shown(value) + " is out of range; it must be from " +
                           std::to_string(INT_MIN) + " to " + std::to_string(INT_MAX));
        accepted = false;
      }
    }
    uint32_t position = 0;
    if (ContainsStr(P_CAMERAPOSITION, lines.line, position)) {
      if (!ReadPointBlock(lines, P_CAMERAPOSITION, camera, camera_names, 3)) continue;
    }
    // Tested on the current line, which after a camera block is its third
    // line: a sensor key there starts the sensor block at once.
    if (ContainsStr(P_SENSORPOSITION, lines.line, position)) {
      if (!ReadPointBlock(lines, P_SENSORPOSITION, sensor, sensor_names, 4)) continue;
    }
  }
  return accepted;
}
