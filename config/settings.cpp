#include "config/settings.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "core/linetext.h"
#include "core/messages.h"

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

// The value of key on line: one character after the key is skipped, and the
// value runs to the next ";" or the end of the line. False when the key is absent.
bool KeyValue(const std::string& line, const std::string& key, std::string& value) {
  uint32_t position = 0;
  if (!ContainsStr(key, line, position)) return false;
  long long after_key = (long long)position + (long long)key.size();
  value = after_key > INT_MAX ? P_NONE : ReadLineFromTill(line, int(after_key), P_SEMICOLON);
  return true;
}

// The value as the user wrote it, without the blanks around it, for messages.
std::string Shown(const std::string& value) {
  size_t begin = 0;
  size_t end = value.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(value[begin]))) begin++;
  while (end > begin && std::isspace(static_cast<unsigned char>(value[end - 1]))) end--;
  return value.substr(begin, end - begin);
}

// atoi of the value, or false when atoi cannot represent it (outside int):
// strtol reads the same prefix and tells when it overflows.
bool IntegerValue(const std::string& value, int& result) {
  errno = 0;
  long wide = std::strtol(value.c_str(), nullptr, 10);
  if (errno == ERANGE || wide < INT_MIN || wide > INT_MAX) return false;
  result = std::atoi(value.c_str());
  return true;
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

const std::string* const kValueKeys[] = {&P_DATASETSIZE, &P_LIGHTCHANCE, &P_SCENEFILENAME, &P_WIREFRAME};
const std::string* const kAllKeys[] = {&P_DATASETSIZE, &P_LIGHTCHANCE,    &P_SCENEFILENAME,
                                       &P_WIREFRAME,   &P_CAMERAPOSITION, &P_SENSORPOSITION};

// A lone word this close to a block key is taken for a misspelt one; free
// text rarely comes so near.
constexpr size_t kMisspeltBlockKeyDistance = 3;

// Blanks a settings line can hold; a carriage return is left from a line
// end of another system.
bool IsBlankChar(char c) { return c == ' ' || c == '\t' || c == '\r'; }

bool IsKeyChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// Blanks after a number change nothing that atoi or atof reads.
std::string WithoutTrailingBlanks(const std::string& text) {
  size_t end = text.size();
  while (end > 0 && IsBlankChar(text[end - 1])) end--;
  return text.substr(0, end);
}

// The text in quotes, shown on one line.
std::string Quoted(const std::string& text) { return "\"" + Printable(text) + "\""; }

// Only the characters of a whole number, all of them read by the conversion.
bool CleanInteger(const std::string& text) {
  char* end = nullptr;
  std::strtol(text.c_str(), &end, 10);
  return !text.empty() && text.find_first_not_of("+-0123456789") == std::string::npos && *end == '\0';
}

// Only the characters of a decimal number, all of them read by the
// conversion: no inf, nan or hexadecimal, which atof reads otherwise.
bool CleanDecimal(const std::string& text) {
  char* end = nullptr;
  std::strtod(text.c_str(), &end);
  return !text.empty() && text.find_first_not_of("+-.eE0123456789") == std::string::npos && *end == '\0';
}

// What the reader makes of a numeric value, as a message shows it.
std::string ReadAs(const std::string& key, const std::string& value) {
  if (key != P_LIGHTCHANCE) return std::to_string(std::atoi(value.c_str()));
  char text[32];
  std::snprintf(text, sizeof text, "%g", std::atof(value.c_str()));
  return text;
}

// True for the values ReadSettings refuses with a message of its own.
bool Refused(const std::string& key, const std::string& value) {
  int number = 0;
  if (key == P_DATASETSIZE) {
    return !IntegerValue(value, number) || number < 0 || uint32_t(number) > kDataSetSizeLimit;
  }
  return key == P_WIREFRAME && !IntegerValue(value, number);
}

// The first half of a message about a value: what the run takes from it.
std::string ValueReading(const std::string& key, const std::string& value) {
  if (key == P_SCENEFILENAME) return key + " looks for the file " + Quoted(value);
  return key + " " + Quoted(value) + " is read as " + ReadAs(key, value);
}

// "KEY = value", "KEY =value" and "KEY= value": the reader skips the one
// character after the key, so the value keeps the rest.
bool SpacesAroundEquals(const std::string& after_key) {
  size_t equals = 0;
  while (equals < after_key.size() && IsBlankChar(after_key[equals])) equals++;
  if (equals == after_key.size() || after_key[equals] != '=') return false;
  return equals > 0 || (after_key.size() > 1 && IsBlankChar(after_key[1]));
}

// The value with the blanks around "=" and itself left out, as it was meant.
std::string MeantValue(const std::string& after_key) {
  size_t begin = after_key.find('=') + 1;
  size_t end = std::min(after_key.find(P_SEMICOLON), after_key.size());
  while (begin < end && IsBlankChar(after_key[begin])) begin++;
  while (end > begin && IsBlankChar(after_key[end - 1])) end--;
  return after_key.substr(begin, end - begin);
}

// One message about the value of key on line, or none when it reads as it looks.
void WarnAboutValue(const std::string& line, const std::string& key, const std::string& where) {
  std::string value;
  if (!KeyValue(line, key, value) || Refused(key, value)) return;
  uint32_t position = 0;
  ContainsStr(key, line, position);
  std::string after_key = line.substr(position + key.size());
  if (SpacesAroundEquals(after_key)) {
    ReportInputProblem(where + ValueReading(key, value) + "; write " + key + "=" + MeantValue(after_key) + P_SEMICOLON +
                       " with no spaces around \"=\"");
  } else if (key == P_SCENEFILENAME) {
    if (!value.empty() && value.back() == '\r') {
      ReportInputProblem(where + ValueReading(key, value) +
                         "; end the name with \";\" (the line ends in a carriage return)");
    } else if (!value.empty() && (IsBlankChar(value.front()) || IsBlankChar(value.back()))) {
      ReportInputProblem(where + ValueReading(key, value) + "; write the name with no blanks around it");
    }
  } else if (key == P_LIGHTCHANCE ? !CleanDecimal(WithoutTrailingBlanks(value))
                                  : !CleanInteger(WithoutTrailingBlanks(value))) {
    ReportInputProblem(where + ValueReading(key, value) + "; write " +
                       (key == P_LIGHTCHANCE ? "a decimal number such as 0.5" : "a whole number in digits"));
  }
}

// The fewest single-character insertions, deletions and substitutions
// that turn a into b.
size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// The known key nearest to word, compared in upper case as keys are written.
const std::string& NearestKey(const std::string& word, size_t& distance) {
  std::string upper;
  for (char c : word) upper += char(std::toupper(static_cast<unsigned char>(c)));
  const std::string* nearest = kAllKeys[0];
  distance = EditDistance(upper, *nearest);
  for (const std::string* key : kAllKeys) {
    size_t d = EditDistance(upper, *key);
    if (d < distance) {
      nearest = key;
      distance = d;
    }
  }
  return *nearest;
}

// A line without a known key that starts like one: a word before "=", or a
// lone word close to a block key. Free text and comments stay unremarked.
void WarnAboutUnknownKey(const std::string& line, const std::string& where) {
  size_t begin = 0;
  while (begin < line.size() && IsBlankChar(line[begin])) begin++;
  size_t end = begin;
  while (end < line.size() && IsKeyChar(line[end])) end++;
  if (end == begin) return;
  std::string word = line.substr(begin, end - begin);
  size_t next = end;
  while (next < line.size() && IsBlankChar(line[next])) next++;
  bool assignment = next < line.size() && line[next] == '=';
  bool lone = next == line.size() || (line[next] == P_SEMICOLON[0] && next + 1 == line.size());
  size_t distance = 0;
  const std::string& nearest = NearestKey(word, distance);
  bool near_block_key =
      (nearest == P_CAMERAPOSITION || nearest == P_SENSORPOSITION) && distance <= kMisspeltBlockKeyDistance;
  if (!assignment && !(lone && near_block_key)) return;
  bool upper_case =
      std::none_of(word.begin(), word.end(), [](char c) { return std::islower(static_cast<unsigned char>(c)); });
  ReportInputProblem(where + "unknown key " + Quoted(word) + " is ignored; the nearest known key is " + nearest +
                     (upper_case ? "" : " (keys are upper case)"));
}

// A run in a folder without settings still runs, on values the user may not
// know of.
void ReportMissingSettings() {
  std::error_code error;
  std::string folder = std::filesystem::current_path(error).string();
  if (error) folder = ".";
  bool exists = std::filesystem::exists(CONFIG_FILENAME, error);
  ReportInputProblem("corvane: " +
                     (exists ? CONFIG_FILENAME + " in " + folder + " could not be read"
                             : "there is no " + CONFIG_FILENAME + " in " + folder) +
                     ", so the built-in values are used");
}

}  // namespace

void WarnAboutSettingsLine(const std::string& line, const std::string& place, SettingsKeysSeen& seen) {
  const std::string where = "corvane: " + place + ": ";
  bool any_key = false;
  for (const std::string* key : kAllKeys) {
    uint32_t position = 0;
    if (!ContainsStr(*key, line, position)) continue;
    any_key = true;
    auto first = seen.first_place.emplace(*key, place);
    std::string value;
    // A refused value stops the run with its own message; the earlier one was not replaced.
    bool refused = KeyValue(line, *key, value) && Refused(*key, value);
    if (!first.second && !refused) {
      bool block = *key == P_CAMERAPOSITION || *key == P_SENSORPOSITION;
      ReportInputProblem(where + *key + " was already given at " + first.first->second + "; this later " +
                         (block ? "block" : "value") + " is used");
    }
  }
  for (const std::string* key : kValueKeys) WarnAboutValue(line, *key, where);
  if (!any_key) WarnAboutUnknownKey(line, where);
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

bool ReadSettings(uint32_t& dataset_size, float& light_chance, std::string& filename, bool& wireframe, vertex3f& eyev,
                  vertex3f& centerv, vertex3f& upv, vertex3f& ulv, vertex3f& urv, vertex3f& dlv, vertex3f& drv) {
  return ReadSettings(dataset_size, light_chance, filename, wireframe, eyev, centerv, upv, ulv, urv, dlv, drv, {});
}

bool ReadSettings(uint32_t& dataset_size, float& light_chance, std::string& filename, bool& wireframe, vertex3f& eyev,
                  vertex3f& centerv, vertex3f& upv, vertex3f& ulv, vertex3f& urv, vertex3f& dlv, vertex3f& drv,
                  const std::vector<SettingOverride>& overrides) {
  SettingsLines lines;
  // A missing file has no lines; the overrides are read all the same.
  lines.file.open(CONFIG_FILENAME);
  if (!lines.file.is_open()) ReportMissingSettings();
  for (const SettingOverride& setting : overrides) lines.overrides.push_back(LinesOf(setting));

  vertex3f* const camera[] = {&eyev, &centerv, &upv};
  const char* const camera_names[] = {"eye point", "point looked at", "up direction"};
  vertex3f* const sensor[] = {&ulv, &urv, &dlv, &drv};
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
        dataset_size = uint32_t(size);
      } else {
        ReportInputProblem(Where(lines) + P_DATASETSIZE + " " + Shown(value) +
                           " is out of range; it must be from 0 to " + std::to_string(kDataSetSizeLimit));
        accepted = false;
      }
    }
    if (KeyValue(lines.line, P_LIGHTCHANCE, value)) {
      light_chance = float(std::atof(value.c_str()));
    }
    if (KeyValue(lines.line, P_SCENEFILENAME, value)) {
      filename = value;
    }
    if (KeyValue(lines.line, P_WIREFRAME, value)) {
      int on = 0;
      if (IntegerValue(value, on)) {
        wireframe = on != 0;
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
