#include "import/coinlimits.h"

#include <zlib.h>

#include <cstring>

namespace {

// Where the scan stands in the text.
struct TextScan {
  long line = 1;
  long word = 0;   // characters of the word being read
  long depth = 0;  // brackets open
  bool in_comment = false;
  bool in_string = false;
  bool escaped = false;  // the character before, inside a string, was a backslash
};

bool IsSeparator(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ',' || c == '{' || c == '}' || c == '[' || c == ']' ||
         c == '"' || c == '#';
}

// Moves the scan over one character; false, with reason set, at a limit.
bool Step(TextScan& s, char c, std::string& reason) {
  if (c == '\n') ++s.line;
  if (s.in_comment) {
    s.in_comment = c != '\n' && c != '\r';
    return true;
  }
  if (s.in_string) {
    s.in_string = s.escaped || c != '"';
    s.escaped = !s.escaped && c == '\\';
    return true;
  }
  if (!IsSeparator(c)) {
    if (++s.word <= kLongestCoinWord) return true;
    reason = "line " + std::to_string(s.line) + " holds a word of more than " + std::to_string(kLongestCoinWord) +
             " characters; Coin takes no longer names and numbers";
    return false;
  }
  s.word = 0;
  s.in_comment = c == '#';
  s.in_string = c == '"';
  if (c == '{' || c == '[') ++s.depth;
  if ((c == '}' || c == ']') && s.depth > 0) --s.depth;
  if (s.depth <= kDeepestCoinNesting) return true;
  reason = "line " + std::to_string(s.line) + " nests brackets more than " + std::to_string(kDeepestCoinNesting) +
           " deep; Coin takes no deeper nesting";
  return false;
}

}  // namespace

bool WithinCoinLimits(const std::string& path, std::string& reason) {
  gzFile file = gzopen(path.c_str(), "rb");  // reads plain files as they are
  if (file == nullptr) return true;
  char buffer[1 << 16];
  TextScan scan;
  bool first = true;
  bool within = true;
  int got = 0;
  while (within && (got = gzread(file, buffer, sizeof buffer)) > 0) {
    // Binary Inventor has no words to scan; its header says so on its first line.
    if (first && std::strncmp(buffer, "#Inventor", 9) == 0) {
      const char* end = static_cast<const char*>(std::memchr(buffer, '\n', size_t(got)));
      std::string header(buffer, end != nullptr ? size_t(end - buffer) : size_t(got));
      if (header.find("binary") != std::string::npos) break;
    }
    first = false;
    for (int i = 0; i < got && within; ++i) within = Step(scan, buffer[i], reason);
  }
  gzclose(file);
  return within;
}
