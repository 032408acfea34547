#include "config/settingswarnings.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "config/settings.h"
#include "core/linetext.h"
#include "core/messages.h"

namespace {

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
  } else if (key == P_LIGHTCHANCE) {
    // The loop starts a new path when a draw from (0, 1) falls below the
    // chance, so a chance outside 0 to 1 still runs, but not as meant.
    float chance = float(std::atof(value.c_str()));
    if (chance > 1) {
      ReportInputProblem(where + ValueReading(key, value) +
                         "; above 1, every step starts a new light path, so no light bounces; write a chance from 0 "
                         "to 1");
    } else if (chance < 0) {
      ReportInputProblem(where + ValueReading(key, value) +
                         "; below 0, no step after the first starts a new light path, so every path runs on from "
                         "the one before; write a chance from 0 to 1");
    }
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

}  // namespace

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
