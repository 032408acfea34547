// The words both text readers share: the separators between values, the
// substring search that finds keywords on a line, and the way their
// messages show text from a file.
#pragma once

#include <cstdint>
#include <string>

extern const std::string P_SPC;    // " "
extern const std::string P_COLON;  // "," (a comma)
extern const std::string P_NONE;   // ""

// True when needle occurs in haystack; position receives the index of the
// first occurrence, or 0xffffffff when there is none.
bool ContainsStr(std::string needle, std::string haystack, uint32_t& position);

// The text as it can be shown on one line of a message: a carriage return (left
// from a line end of another system) and other control characters are written
// as escapes.
std::string Printable(const std::string& text);
