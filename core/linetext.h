// The words both text readers share: the separators between values, the
// substring search that finds keywords on a line, the tokens and numbers on
// a line, and the way their messages show text from a file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

extern const std::string P_SPC;    // " "
extern const std::string P_COLON;  // "," (a comma)
extern const std::string P_NONE;   // ""

// True when needle occurs in haystack; position receives the index of the
// first occurrence, or 0xffffffff when there is none.
bool ContainsStr(std::string needle, std::string haystack, uint32_t& position);

// ContainsStr's answer without the position and without copying: lines can be
// megabytes long and every line is tested several times.
bool LineContains(const std::string& line, const std::string& keyword);

// Calls closed(token) for every non-empty run of text ended by one of the
// separators, in order, and returns the run still open at the end of the text
// (possibly empty).
template <typename Closed>
std::string_view ScanTokens(std::string_view text, std::string_view separators, Closed closed) {
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (separators.find(text[i]) == std::string_view::npos) continue;
    if (i > start) closed(text.substr(start, i - start));
    start = i + 1;
  }
  return text.substr(start);
}

// The number atof reads from the token, narrowed to float.
float FloatFromToken(std::string_view token);

// The text as it can be shown on one line of a message: a carriage return (left
// from a line end of another system) and other control characters are written
// as escapes.
std::string Printable(const std::string& text);
